// The engine binding against the real libpcre.so.3 and the fake
// libraries built in tests/fakes.

#include "PcreBinding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>

namespace {

const char *const kSevenNames[] = {"pcre_version", "pcre_fullinfo", "pcre_compile", "pcre_exec",
                                   "pcre_study", "pcre_malloc", "pcre_free_substring"};

QString fakePath(const QString &name)
{
    return QStringLiteral(PC_FAKE_LIBRARY_DIR "/libfakepcre_%1.so").arg(name);
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

bool allEntryPointsNull()
{
    return !PcreBinding.pcre_version && !PcreBinding.pcre_fullinfo && !PcreBinding.pcre_compile
        && !PcreBinding.pcre_exec && !PcreBinding.pcre_study && !PcreBinding.pcre_malloc
        && !PcreBinding.pcre_free_substring;
}

bool allEntryPointsSet()
{
    return PcreBinding.pcre_version && PcreBinding.pcre_fullinfo && PcreBinding.pcre_compile
        && PcreBinding.pcre_exec && PcreBinding.pcre_study && PcreBinding.pcre_malloc
        && PcreBinding.pcre_free_substring;
}

// Counting stand-in for the real library's exported `pcre_free` variable,
// which its pcre_free_substring() calls.
void (*g_realFree)(void *) = nullptr;
int g_freeCalls = 0;
void *g_lastFreed = nullptr;
void countingFree(void *pointer)
{
    ++g_freeCalls;
    g_lastFreed = pointer;
    g_realFree(pointer);
}

template <typename T>
int fullinfo(const pcre *code, const pcre_extra *extra, int what, T *where)
{
    return PcreBinding.pcre_fullinfo(code, extra, what, where);
}

} // namespace

// The library file cases that must fall back to the default library.
enum class BadFile {
    TextFile,
    CutInElfHeader,        // truncated copies of libpcre.so.3 ...
    CutInProgramHeaders,
    CutToAThird,
    CutToNineTenths,       // ... the last inside its loadable segments
    Directory,
    Nonexistent,
    Empty
};
Q_DECLARE_METATYPE(BadFile)

class TestPcreBinding : public QObject
{
    Q_OBJECT

private:
    std::vector<std::string> m_defaultNames;
    QString m_defaultPath;       // canonical path of libpcre.so.3, found without the binding
    QString m_startDirectory;
    void *m_realHandle = nullptr;  // the test's own reference to libpcre.so.3

    QString makeBadFile(BadFile kind, const QTemporaryDir &dir);
    void badFileData();

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void sharedLibrary();
    void loadsDefault_data();
    void loadsDefault();
    void loadsGivenFile_data();
    void loadsGivenFile();
    void firstLoadableDefaultWins_data();
    void firstLoadableDefaultWins();
    void refusesLibraryLackingNames_data();
    void refusesLibraryLackingNames();
    void fallsBackToDefault_data();
    void fallsBackToDefault();
    void noDefaultNoFallback_data();
    void noDefaultNoFallback();
    void relativePathIsResolved();
    void unloadFreesTablesWithoutLibrary();
    void unloadResetsState();
    void nullVersionDoesNotCrash();
    void compileStudyExecRoundTrip();
    void compileErrorReported();
    void compileWrapperCaseless_data();
    void compileWrapperCaseless();
    void compileOptionsReported_data();
    void compileOptionsReported();
    void infoConstants();
    void execResultConstants_data();
    void execResultConstants();
    void fakesChangeOneThing();
    void freeGoesToLibraryAllocator();
    void deletersFreeWhileLoaded();
    void deletersIdleWhenUnloaded();
};

void TestPcreBinding::initTestCase()
{
    m_defaultNames = PcreDefaultLibraryNames();
    QCOMPARE(m_defaultNames.size(), std::size_t(2));
    QCOMPARE(m_defaultNames.at(0), std::string("libpcre.so.3"));
    QCOMPARE(m_defaultNames.at(1), std::string("libpcre.so.1"));
    m_startDirectory = QDir::currentPath();

    m_realHandle = dlopen("libpcre.so.3", RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_realHandle, "libpcre.so.3 (Debian package libpcre3) is required");
    Dl_info info{};
    QVERIFY(dladdr(dlsym(m_realHandle, "pcre_compile"), &info) != 0);
    m_defaultPath = canonical(QString::fromLocal8Bit(info.dli_fname));
    QVERIFY(QFileInfo(m_defaultPath).isAbsolute());
    for (const QString &name : {QStringLiteral("full"), QStringLiteral("nullversion"),
                                QStringLiteral("firstbyte353"), QStringLiteral("wrongoffset")})
        QVERIFY2(QFileInfo::exists(fakePath(name)), qPrintable(fakePath(name)));
}

void TestPcreBinding::cleanupTestCase()
{
    PcreUnload();
    if (m_realHandle)
        dlclose(m_realHandle);
}

void TestPcreBinding::init()
{
    PcreUnload();
    PcreSetDefaultLibraryNames(m_defaultNames);
    QVERIFY(!PcreBinding.loaded);
    QVERIFY(!PcreBinding.library);
    QVERIFY(!PcreBinding.tables);
    QVERIFY(allEntryPointsNull());
}

void TestPcreBinding::cleanup()
{
    PcreUnload();
    PcreSetDefaultLibraryNames(m_defaultNames);
    QDir::setCurrent(m_startDirectory);
}

QString TestPcreBinding::makeBadFile(BadFile kind, const QTemporaryDir &dir)
{
    const QString xso = dir.filePath(QStringLiteral("x.so"));
    switch (kind) {
    case BadFile::TextFile: {
        QFile file(xso);
        if (!file.open(QIODevice::WriteOnly) || file.write("not a library\n") < 0)
            return {};
        return xso;
    }
    case BadFile::CutInElfHeader:
    case BadFile::CutInProgramHeaders:
    case BadFile::CutToAThird:
    case BadFile::CutToNineTenths: {
        // glibc's loader itself dies of SIGBUS on a copy cut inside its
        // segments; the binding must turn that into a failed load.
        QFile source(m_defaultPath);
        QFile file(xso);
        if (!source.open(QIODevice::ReadOnly) || !file.open(QIODevice::WriteOnly))
            return {};
        const qint64 size = source.size();
        const qint64 keep = kind == BadFile::CutInElfHeader        ? 32
                            : kind == BadFile::CutInProgramHeaders ? 300
                            : kind == BadFile::CutToAThird         ? size / 3
                                                                   : size / 10 * 9;
        if (file.write(source.read(keep)) != keep)
            return {};
        return xso;
    }
    case BadFile::Directory:
        return QDir(dir.path()).mkdir(QStringLiteral("lib.so")) ? dir.filePath("lib.so") : QString();
    case BadFile::Nonexistent:
        return dir.filePath(QStringLiteral("missing/libpcre.so.3"));
    case BadFile::Empty:
        return QString(QLatin1String(""));
    }
    return {};
}

void TestPcreBinding::badFileData()
{
    QTest::addColumn<BadFile>("kind");
    QTest::newRow("text file named x.so") << BadFile::TextFile;
    QTest::newRow("libpcre.so.3 cut in its ELF header") << BadFile::CutInElfHeader;
    QTest::newRow("libpcre.so.3 cut in its program headers") << BadFile::CutInProgramHeaders;
    QTest::newRow("libpcre.so.3 cut to a third") << BadFile::CutToAThird;
    QTest::newRow("libpcre.so.3 cut to nine tenths") << BadFile::CutToNineTenths;
    QTest::newRow("directory") << BadFile::Directory;
    QTest::newRow("nonexistent path") << BadFile::Nonexistent;
    QTest::newRow("empty path") << BadFile::Empty;
}

void TestPcreBinding::sharedLibrary()
{
    QVERIFY(!SharedLibrary::open(""));
    QVERIFY(!SharedLibrary::open("/nonexistent/libpcre.so.3"));
    QCOMPARE(SharedLibrary().canonicalPath(), std::string());
    QVERIFY(!SharedLibrary().ownSymbol("pcre_compile"));

    SharedLibrary posix = SharedLibrary::open("libpcreposix.so.3");
    QVERIFY(posix);
    QVERIFY(QFileInfo(QString::fromStdString(posix.canonicalPath())).isAbsolute());
    QVERIFY(posix.ownSymbol("pcreposix_regcomp"));
    // Found through its dependency libpcre.so.3 by dlsym(), but not its own.
    QVERIFY(posix.ownSymbol("pcre_compile") == nullptr);
    QVERIFY(posix.ownSymbol("no_such_symbol") == nullptr);

    SharedLibrary real = SharedLibrary::open("libpcre.so.3");
    QVERIFY(real);
    QCOMPARE(QString::fromStdString(real.canonicalPath()), m_defaultPath);
    QCOMPARE(real.ownSymbol("pcre_compile"), dlsym(m_realHandle, "pcre_compile"));
    QCOMPARE(real.ownSymbol("pcre_malloc"), dlsym(m_realHandle, "pcre_malloc"));   // a variable

    SharedLibrary moved = std::move(real);
    QVERIFY(moved);
    moved.close();
    QVERIFY(!moved);
    QCOMPARE(moved.canonicalPath(), std::string());
}

void TestPcreBinding::loadsDefault_data()
{
    QTest::addColumn<bool>("nullPath");
    QTest::newRow("null path") << true;
    QTest::newRow("empty path") << false;
}

void TestPcreBinding::loadsDefault()
{
    QFETCH(bool, nullPath);
    QCOMPARE(PcreLoad(nullPath ? nullptr : ""), 1);
    QVERIFY(PcreBinding.loaded);
    QVERIFY(PcreIsLoaded());
    QVERIFY(PcreBinding.library.isOpen());
    QVERIFY(allEntryPointsSet());
    QVERIFY(PcreBinding.tables);

    const QString path = QString::fromStdString(PcreGetModulePath());
    QCOMPARE(path, m_defaultPath);
    QVERIFY(QFileInfo(path).isAbsolute());

    // The entry points are the library's own.
    for (const char *name : kSevenNames)
        QVERIFY2(PcreBinding.library.ownSymbol(name) == dlsym(m_realHandle, name), name);
    QCOMPARE(reinterpret_cast<void *>(PcreBinding.pcre_compile), dlsym(m_realHandle, "pcre_compile"));

    const auto realVersion = reinterpret_cast<PcreVersionFn>(dlsym(m_realHandle, "pcre_version"));
    const QString version = QString::fromStdString(PcreVersionText());
    QCOMPARE(version, QString::fromLatin1(realVersion()));
    QVERIFY2(QRegularExpression(QStringLiteral("^8\\.\\d+ \\d{4}-\\d{2}-\\d{2}$"))
                 .match(version).hasMatch(),
             qPrintable(version));
}

void TestPcreBinding::loadsGivenFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");   // empty: the default library
    QTest::newRow("bare soname") << QStringLiteral("libpcre.so.3") << QString();
    QTest::newRow("canonical path") << QString() << QString();
    QTest::newRow("full fake") << fakePath("full") << canonical(fakePath("full"));
    QTest::newRow("null-version fake") << fakePath("nullversion") << canonical(fakePath("nullversion"));
}

void TestPcreBinding::loadsGivenFile()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    if (path.isEmpty())
        path = m_defaultPath;
    if (expected.isEmpty())
        expected = m_defaultPath;
    QCOMPARE(PcreLoad(path.toLocal8Bit().constData()), 1);
    QVERIFY(PcreBinding.loaded);
    QVERIFY(allEntryPointsSet());
    QCOMPARE(QString::fromStdString(PcreGetModulePath()), expected);
}

void TestPcreBinding::firstLoadableDefaultWins_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first loads") << QStringList{QStringLiteral("libpcre.so.3"), fakePath("full")}
                                 << QString();
    QTest::newRow("first missing") << QStringList{QStringLiteral("libpcre_missing.so.42"),
                                                  QStringLiteral("libpcre.so.3")}
                                   << QString();
    QTest::newRow("fake first") << QStringList{fakePath("full"), QStringLiteral("libpcre.so.3")}
                                << canonical(fakePath("full"));
}

void TestPcreBinding::firstLoadableDefaultWins()
{
    QFETCH(QStringList, names);
    QFETCH(QString, expected);
    if (expected.isEmpty())
        expected = m_defaultPath;
    std::vector<std::string> list;
    for (const QString &name : names)
        list.push_back(name.toStdString());
    PcreSetDefaultLibraryNames(list);
    QCOMPARE(PcreLoad(""), 1);
    QCOMPARE(QString::fromStdString(PcreGetModulePath()), expected);
}

void TestPcreBinding::refusesLibraryLackingNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("libpcre2-8.so.0") << QStringLiteral("libpcre2-8.so.0");
    // Its dependency libpcre.so.3 holds all seven names; dlsym() on its handle
    // finds them there.
    QTest::newRow("libpcreposix.so.3") << QStringLiteral("libpcreposix.so.3");
    for (const char *name : kSevenNames)
        QTest::addRow("fake without %s", name) << fakePath(QStringLiteral("missing_%1").arg(name));
}

void TestPcreBinding::refusesLibraryLackingNames()
{
    QFETCH(QString, path);
    const QByteArray file = path.toLocal8Bit();
    {
        // The file does load: this is a refusal, not a failed load.
        void *handle = dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(handle, dlerror());
        dlclose(handle);
    }
    QCOMPARE(PcreLoad(file.constData()), 0);
    QVERIFY(!PcreBinding.loaded);
    QVERIFY(!PcreIsLoaded());
    QVERIFY(!PcreBinding.library);
    QVERIFY(!PcreBinding.tables);
    QVERIFY(allEntryPointsNull());
    QCOMPARE(PcreGetModulePath(), std::string());
    QCOMPARE(PcreVersionText(), std::string());
}

void TestPcreBinding::fallsBackToDefault_data()
{
    badFileData();
}

void TestPcreBinding::fallsBackToDefault()
{
    QFETCH(BadFile, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeBadFile(kind, dir);
    QVERIFY(kind == BadFile::Empty || !path.isEmpty());
    QCOMPARE(PcreLoad(path.toLocal8Bit().constData()), 1);
    QVERIFY(PcreBinding.loaded);
    QVERIFY(PcreBinding.tables);
    QCOMPARE(QString::fromStdString(PcreGetModulePath()), m_defaultPath);
}

void TestPcreBinding::noDefaultNoFallback_data()
{
    badFileData();
}

void TestPcreBinding::noDefaultNoFallback()
{
    QFETCH(BadFile, kind);
    PcreSetDefaultLibraryNames({"libpcre_missing.so.42", "/nonexistent/libpcre.so.1"});
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = makeBadFile(kind, dir);
    QCOMPARE(PcreLoad(path.toLocal8Bit().constData()), 0);
    QVERIFY(!PcreBinding.loaded);
    QVERIFY(!PcreBinding.library);
    QVERIFY(!PcreBinding.tables);
    QVERIFY(allEntryPointsNull());
    QCOMPARE(PcreGetModulePath(), std::string());
    // And the null path, with nothing stored.
    QCOMPARE(PcreLoad(nullptr), 0);
    QVERIFY(!PcreBinding.loaded);
}

void TestPcreBinding::relativePathIsResolved()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("x.so"));
    QVERIFY(QFile::copy(fakePath("full"), copy));
    QVERIFY(QDir::setCurrent(dir.path()));
    QCOMPARE(PcreLoad("./x.so"), 1);
    const QString path = QString::fromStdString(PcreGetModulePath());
    QVERIFY(QFileInfo(path).isAbsolute());
    QCOMPARE(path, canonical(copy));
    // Still right after the current directory changes.
    QVERIFY(QDir::setCurrent(m_startDirectory));
    QCOMPARE(QString::fromStdString(PcreGetModulePath()), canonical(copy));

    // A symbolic link reports the file it points to.
    PcreUnload();
    const QString link = dir.filePath(QStringLiteral("link.so"));
    QVERIFY(QFile::link(m_defaultPath, link));
    QCOMPARE(PcreLoad(link.toLocal8Bit().constData()), 1);
    QCOMPARE(QString::fromStdString(PcreGetModulePath()), m_defaultPath);
}

void TestPcreBinding::unloadFreesTablesWithoutLibrary()
{
    PcreSetLocale("C");
    QVERIFY(PcreBinding.tables);
    QVERIFY(!PcreBinding.library);
    PcreUnload();
    QVERIFY(!PcreBinding.tables);
    QVERIFY(!PcreBinding.loaded);
    PcreUnload();   // twice is harmless
    QVERIFY(!PcreBinding.tables);
}

void TestPcreBinding::unloadResetsState()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    QVERIFY(PcreBinding.loaded);
    QVERIFY(PcreBinding.tables);
    PcreUnload();
    QVERIFY(!PcreBinding.loaded);
    QVERIFY(!PcreBinding.library);
    QVERIFY(!PcreBinding.tables);
    QVERIFY(allEntryPointsNull());
    QCOMPARE(PcreGetModulePath(), std::string());
    QCOMPARE(PcreVersionText(), std::string());

    // And it loads again.
    QCOMPARE(PcreLoad(nullptr), 1);
    QCOMPARE(QString::fromStdString(PcreGetModulePath()), m_defaultPath);
}

void TestPcreBinding::nullVersionDoesNotCrash()
{
    QCOMPARE(PcreLoad(fakePath("nullversion").toLocal8Bit().constData()), 1);
    QVERIFY(PcreBinding.pcre_version() == nullptr);
    QCOMPARE(PcreVersionText(), std::string());
}

void TestPcreBinding::compileStudyExecRoundTrip()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    const char *error = nullptr;
    int errorOffset = -1;
    PcreCodePtr code(PcreCompile("(\\d+)-(\\w+)", &error, &errorOffset, false));
    QVERIFY(code);
    QVERIFY(error == nullptr);

    int captures = -1;
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_CAPTURECOUNT, &captures), 0);
    QCOMPARE(captures, 2);

    const char *studyError = nullptr;
    PcreExtraPtr extra(PcreStudy(code.get(), &studyError));
    QVERIFY(studyError == nullptr);

    const char subject[] = "ab 123-xyz!";
    std::vector<int> ovector((captures + 1) * 3, -7);
    const int rc = PcreBinding.pcre_exec(code.get(), extra.get(), subject, int(sizeof subject - 1), 0,
                                         0, ovector.data(), int(ovector.size()));
    QCOMPARE(rc, 3);
    QCOMPARE(ovector[0], 3);
    QCOMPARE(ovector[1], 10);
    QCOMPARE(ovector[2], 3);
    QCOMPARE(ovector[3], 6);
    QCOMPARE(ovector[4], 7);
    QCOMPARE(ovector[5], 10);

    // From the end of the match: nothing more.
    QCOMPARE(PcreBinding.pcre_exec(code.get(), extra.get(), subject, int(sizeof subject - 1),
                                   ovector[1], 0, ovector.data(), int(ovector.size())),
             PCRE_ERROR_NOMATCH);
}

void TestPcreBinding::compileErrorReported()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    const char *error = nullptr;
    int errorOffset = -1;
    pcre *code = PcreCompile("ab(c", &error, &errorOffset, false);
    QVERIFY(code == nullptr);
    QVERIFY(error != nullptr);
    QVERIFY(QByteArray(error).contains("missing )"));
    QCOMPARE(errorOffset, 4);
    PcreFree(code);   // null goes to the library unchanged and releases nothing
}

void TestPcreBinding::compileWrapperCaseless_data()
{
    QTest::addColumn<bool>("caseless");
    QTest::addColumn<int>("expectedRc");
    QTest::newRow("caseless") << true << 1;
    QTest::newRow("no options") << false << PCRE_ERROR_NOMATCH;
}

void TestPcreBinding::compileWrapperCaseless()
{
    QFETCH(bool, caseless);
    QFETCH(int, expectedRc);
    QCOMPARE(PcreLoad(nullptr), 1);
    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, caseless));
    QVERIFY(code);
    unsigned long options = 0xdeadbeef;
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_OPTIONS, &options), 0);
    QCOMPARE(options & PCRE_CASELESS, caseless ? 1ul : 0ul);
    int ovector[3];
    QCOMPARE(PcreBinding.pcre_exec(code.get(), nullptr, "xABC", 4, 0, 0, ovector, 3), expectedRc);
}

void TestPcreBinding::compileOptionsReported_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("options");
    QTest::addColumn<unsigned long>("expected");
    // PCRE 8.x does not fold a leading (?i) into the reported options.
    QTest::newRow("(?i) at the start") << QByteArray("(?i)abc") << 0 << 0ul;
    QTest::newRow("CASELESS") << QByteArray("abc") << PCRE_CASELESS << (unsigned long)PCRE_CASELESS;
    QTest::newRow("MULTILINE") << QByteArray("^a") << PCRE_MULTILINE << (unsigned long)PCRE_MULTILINE;
    QTest::newRow("DOTALL") << QByteArray("a.b") << PCRE_DOTALL << (unsigned long)PCRE_DOTALL;
    QTest::newRow("EXTENDED") << QByteArray("a b") << PCRE_EXTENDED << (unsigned long)PCRE_EXTENDED;
    QTest::newRow("ANCHORED") << QByteArray("ab") << PCRE_ANCHORED << (unsigned long)PCRE_ANCHORED;
    QTest::newRow("DOLLAR_ENDONLY") << QByteArray("a$") << PCRE_DOLLAR_ENDONLY
                                    << (unsigned long)PCRE_DOLLAR_ENDONLY;
    QTest::newRow("EXTRA") << QByteArray("ab") << PCRE_EXTRA << (unsigned long)PCRE_EXTRA;
    QTest::newRow("UNGREEDY") << QByteArray("a+") << PCRE_UNGREEDY << (unsigned long)PCRE_UNGREEDY;
    QTest::newRow("UTF8") << QByteArray("\xc3\xa9") << PCRE_UTF8 << (unsigned long)PCRE_UTF8;
    QTest::newRow("NO_AUTO_CAPTURE") << QByteArray("(a)") << PCRE_NO_AUTO_CAPTURE
                                     << (unsigned long)PCRE_NO_AUTO_CAPTURE;
    QTest::newRow("UTF8 | NO_UTF8_CHECK") << QByteArray("a") << (PCRE_UTF8 | PCRE_NO_UTF8_CHECK)
                                          << (unsigned long)(PCRE_UTF8 | PCRE_NO_UTF8_CHECK);
}

void TestPcreBinding::compileOptionsReported()
{
    QFETCH(QByteArray, pattern);
    QFETCH(int, options);
    QFETCH(unsigned long, expected);
    QCOMPARE(PcreLoad(nullptr), 1);
    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreBinding.pcre_compile(pattern.constData(), options, &error, &errorOffset,
                                              PcreBinding.tables.get()));
    QVERIFY2(code, error);
    // PCRE_INFO_OPTIONS writes an unsigned long: fill the destination with a
    // pattern the engine must overwrite in full.
    unsigned long reported = ~0ul;
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_OPTIONS, &reported), 0);
    QCOMPARE(reported & 0xffffu, expected);
}

void TestPcreBinding::infoConstants()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile("(?P<year>\\d{4})-(?P<mo>\\d\\d)(x)\\1?z", &error, &errorOffset, false));
    QVERIFY2(code, error);

    std::size_t size = 0;
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_SIZE, &size), 0);
    QVERIFY(size > 0 && size < 4096);
    int captures = -1, backrefMax = -1, nameCount = -1, nameEntrySize = -1;
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_CAPTURECOUNT, &captures), 0);
    QCOMPARE(captures, 3);
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_BACKREFMAX, &backrefMax), 0);
    QCOMPARE(backrefMax, 1);
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_NAMECOUNT, &nameCount), 0);
    QCOMPARE(nameCount, 2);
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_NAMEENTRYSIZE, &nameEntrySize), 0);
    QCOMPARE(nameEntrySize, 2 + 4 + 1);   // number, "year", NUL
    const unsigned char *nameTable = nullptr;
    QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_NAMETABLE, &nameTable), 0);
    QVERIFY(nameTable);
    // Sorted by name: "mo" (2) then "year" (1).
    QCOMPARE((nameTable[0] << 8) | nameTable[1], 2);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(nameTable + 2)), QByteArray("mo"));
    QCOMPARE((nameTable[nameEntrySize] << 8) | nameTable[nameEntrySize + 1], 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(nameTable + nameEntrySize + 2)),
             QByteArray("year"));

    int firstByte = 0, lastLiteral = 0;
    PcreCodePtr literal(PcreCompile("abc", &error, &errorOffset, false));
    QVERIFY(literal);
    QCOMPARE(fullinfo(literal.get(), nullptr, PCRE_INFO_FIRSTBYTE, &firstByte), 0);
    QCOMPARE(firstByte, int('a'));
    QCOMPARE(fullinfo(literal.get(), nullptr, PCRE_INFO_LASTLITERAL, &lastLiteral), 0);
    QCOMPARE(lastLiteral, int('c'));

    // Study data: PCRE_INFO_STUDYSIZE (size_t) and PCRE_INFO_FIRSTTABLE.
    PcreCodePtr alternatives(PcreCompile("(?:b|c)x", &error, &errorOffset, false));
    QVERIFY(alternatives);
    PcreExtraPtr extra(PcreStudy(alternatives.get(), &error));
    QVERIFY(extra);
    std::size_t studySize = 0;
    QCOMPARE(fullinfo(alternatives.get(), extra.get(), PCRE_INFO_STUDYSIZE, &studySize), 0);
    QVERIFY(studySize > 0);
    const unsigned char *firstTable = nullptr;
    QCOMPARE(fullinfo(alternatives.get(), extra.get(), PCRE_INFO_FIRSTTABLE, &firstTable), 0);
    QVERIFY(firstTable);
    for (int ch = 0; ch < 256; ++ch)
        QCOMPARE(bool(firstTable[ch / 8] & (1 << (ch % 8))), ch == 'b' || ch == 'c');
}

void TestPcreBinding::execResultConstants_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("compileOptions");
    QTest::addColumn<QByteArray>("subject");
    QTest::addColumn<int>("startOffset");
    QTest::addColumn<int>("execOptions");
    QTest::addColumn<bool>("nullCode");
    QTest::addColumn<int>("expected");
    QTest::newRow("NOMATCH") << QByteArray("abc") << 0 << QByteArray("xyz") << 0 << 0 << false
                             << PCRE_ERROR_NOMATCH;
    QTest::newRow("NULL") << QByteArray("abc") << 0 << QByteArray("abc") << 0 << 0 << true
                          << PCRE_ERROR_NULL;
    QTest::newRow("BADOPTION") << QByteArray("abc") << 0 << QByteArray("abc") << 0 << PCRE_CASELESS
                               << false << PCRE_ERROR_BADOPTION;
    QTest::newRow("BADUTF8") << QByteArray("a") << PCRE_UTF8 << QByteArray("a\xff") << 0 << 0
                             << false << PCRE_ERROR_BADUTF8;
    QTest::newRow("BADOFFSET") << QByteArray("a") << 0 << QByteArray("a") << 5 << 0 << false
                               << PCRE_ERROR_BADOFFSET;
    QTest::newRow("NOTBOL") << QByteArray("^a") << 0 << QByteArray("a") << 0 << PCRE_NOTBOL << false
                            << PCRE_ERROR_NOMATCH;
    QTest::newRow("NOTEMPTY") << QByteArray("a*") << 0 << QByteArray("b") << 0 << PCRE_NOTEMPTY
                              << false << PCRE_ERROR_NOMATCH;
}

void TestPcreBinding::execResultConstants()
{
    QFETCH(QByteArray, pattern);
    QFETCH(int, compileOptions);
    QFETCH(QByteArray, subject);
    QFETCH(int, startOffset);
    QFETCH(int, execOptions);
    QFETCH(bool, nullCode);
    QFETCH(int, expected);
    QCOMPARE(PcreLoad(nullptr), 1);
    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreBinding.pcre_compile(pattern.constData(), compileOptions, &error,
                                              &errorOffset, nullptr));
    QVERIFY2(code, error);
    int ovector[30];
    QCOMPARE(PcreBinding.pcre_exec(nullCode ? nullptr : code.get(), nullptr, subject.constData(),
                                   int(subject.size()), startOffset, execOptions, ovector, 30),
             expected);
}

void TestPcreBinding::fakesChangeOneThing()
{
    const char *error = nullptr;
    int errorOffset = 0;

    QCOMPARE(PcreLoad(fakePath("firstbyte353").toLocal8Bit().constData()), 1);
    {
        PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, false));
        QVERIFY(code);
        int firstByte = 0, lastLiteral = 0;
        QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_FIRSTBYTE, &firstByte), 0);
        QCOMPARE(firstByte, 353);
        QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_LASTLITERAL, &lastLiteral), 0);
        QCOMPARE(lastLiteral, 353);
        PcreCodePtr any(PcreCompile("(a|b)*", &error, &errorOffset, false));
        QCOMPARE(fullinfo(any.get(), nullptr, PCRE_INFO_FIRSTBYTE, &firstByte), 0);
        QCOMPARE(firstByte, -2);    // "none" stays as the engine says
        int captures = -1;
        QCOMPARE(fullinfo(code.get(), nullptr, PCRE_INFO_CAPTURECOUNT, &captures), 0);
        QCOMPARE(captures, 0);
    }
    PcreUnload();

    QCOMPARE(PcreLoad(fakePath("wrongoffset").toLocal8Bit().constData()), 1);
    {
        PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, false));
        QVERIFY(code);
        int ovector[3] = {-1, -1, -1};
        QCOMPARE(PcreBinding.pcre_exec(code.get(), nullptr, "xabcx", 5, 0, 0, ovector, 3), 1);
        QCOMPARE(ovector[0], 1);
        QCOMPARE(ovector[1], 5);   // the real engine says 4
        QCOMPARE(PcreBinding.pcre_exec(code.get(), nullptr, "xyz", 3, 0, 0, ovector, 3),
                 PCRE_ERROR_NOMATCH);
    }
    PcreUnload();

    QCOMPARE(PcreLoad(fakePath("full").toLocal8Bit().constData()), 1);
    {
        PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, false));
        QVERIFY(code);
        int ovector[3] = {-1, -1, -1};
        QCOMPARE(PcreBinding.pcre_exec(code.get(), nullptr, "xabcx", 5, 0, 0, ovector, 3), 1);
        QCOMPARE(ovector[1], 4);
        QCOMPARE(PcreVersionText(), std::string(reinterpret_cast<PcreVersionFn>(
                                        dlsym(m_realHandle, "pcre_version"))()));
    }
}

void TestPcreBinding::freeGoesToLibraryAllocator()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    auto freeVariable = static_cast<void (**)(void *)>(dlsym(m_realHandle, "pcre_free"));
    QVERIFY(freeVariable && *freeVariable);
    g_realFree = *freeVariable;
    *freeVariable = countingFree;
    g_freeCalls = 0;

    const char *error = nullptr;
    int errorOffset = 0;
    pcre *code = PcreCompile("abc", &error, &errorOffset, false);
    QVERIFY(code);
    PcreFree(code);
    const int calls = g_freeCalls;
    void *freed = g_lastFreed;
    *freeVariable = g_realFree;
    QCOMPARE(calls, 1);
    QCOMPARE(freed, static_cast<void *>(code));
}

void TestPcreBinding::deletersFreeWhileLoaded()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    auto freeVariable = static_cast<void (**)(void *)>(dlsym(m_realHandle, "pcre_free"));
    QVERIFY(freeVariable && *freeVariable);
    g_realFree = *freeVariable;
    *freeVariable = countingFree;
    g_freeCalls = 0;
    g_lastFreed = nullptr;

    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, false));
    PcreExtraPtr extra(PcreStudy(code.get(), &error));
    pcre *const rawCode = code.get();
    pcre_extra *const rawExtra = extra.get();
    extra.reset();
    const int afterExtra = g_freeCalls;
    void *const freedExtra = g_lastFreed;
    code.reset();
    const int afterCode = g_freeCalls;
    void *const freedCode = g_lastFreed;
    PcreExtraPtr none;   // null: nothing to release
    none.reset();
    const int afterNull = g_freeCalls;
    *freeVariable = g_realFree;

    QVERIFY(rawCode);
    QVERIFY(rawExtra);   // "abc" has a minimum length, so study records it
    QCOMPARE(afterExtra, 1);
    QCOMPARE(freedExtra, static_cast<void *>(rawExtra));
    QCOMPARE(afterCode, 2);
    QCOMPARE(freedCode, static_cast<void *>(rawCode));
    QCOMPARE(afterNull, 2);
}

void TestPcreBinding::deletersIdleWhenUnloaded()
{
    QCOMPARE(PcreLoad(nullptr), 1);
    auto freeVariable = static_cast<void (**)(void *)>(dlsym(m_realHandle, "pcre_free"));
    QVERIFY(freeVariable && *freeVariable);
    const auto realFreeSubstring =
        reinterpret_cast<PcreFreeSubstringFn>(dlsym(m_realHandle, "pcre_free_substring"));

    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, false));
    QVERIFY(code);
    pcre *const raw = code.get();
    PcreUnload();
    g_realFree = *freeVariable;
    *freeVariable = countingFree;
    g_freeCalls = 0;
    code.reset();          // no library: nothing is called
    PcreFree(raw);         // nor here
    const int calls = g_freeCalls;
    *freeVariable = g_realFree;
    QCOMPARE(calls, 0);
    // The test still holds libpcre.so.3, so give the block back itself.
    realFreeSubstring(reinterpret_cast<const char *>(raw));
}

QTEST_GUILESS_MAIN(TestPcreBinding)
#include "tst_pcrebinding.moc"
