// The engine binding against the real libpcre.so.3 and the fake libraries
// built in tests/fakes.

#include "PcreBinding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QString canonical(const QString &path) { return QFileInfo(path).canonicalFilePath(); }
QString modulePath() { return QString::fromStdString(PcreGetModulePath()); }
int load(const QString &path) { return PcreLoad(path.toLocal8Bit().constData()); }
QString refusal() { return QString::fromStdString(PcreBinding.lastLoad.refusal); }

// Nothing loaded and nothing left over from a library.
bool isReset()
{
    return !PcreBinding.loaded && !PcreIsLoaded() && !PcreBinding.library && !PcreBinding.tables
        && PcreGetModulePath().empty() && PcreVersionText().empty();
}

// Replaces the library's exported `pcre_free` variable with a recorder while
// it lives.
struct FreeRecorder
{
    static inline void (*real)(void *) = nullptr;
    static inline QList<void *> freed;
    void (**variable)(void *);
    explicit FreeRecorder(void *library) : variable(static_cast<void (**)(void *)>(dlsym(library, "pcre_free")))
    {
        real = std::exchange(*variable, [](void *pointer) { freed << pointer; real(pointer); });
        freed.clear();
    }
    ~FreeRecorder() { *variable = real; }
};

} // namespace

class TestPcreBinding : public QObject
{
    Q_OBJECT

    QString m_defaultPath;           // canonical path of libpcre.so.3, found without the binding
    QString m_startDirectory = QDir::currentPath();
    void *m_realHandle = nullptr;    // the test's own reference to libpcre.so.3

private slots:
    void initTestCase()
    {
        m_realHandle = dlopen("libpcre.so.3", RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_realHandle, "libpcre.so.3 (Debian package libpcre3) is required");
        Dl_info info{};
        QVERIFY(dladdr(dlsym(m_realHandle, "pcre_compile"), &info) != 0);
        m_defaultPath = canonical(QString::fromLocal8Bit(info.dli_fname));
    }

    void cleanupTestCase() { dlclose(m_realHandle); }

    void cleanup()
    {
        PcreUnload();
        PcreSetDefaultLibraryNames({"libpcre.so.3", "libpcre.so.1"});
        QDir::setCurrent(m_startDirectory);
    }

    void loads_data()
    {
        QTest::addColumn<QString>("path");           // "<null>": nullptr
        QTest::addColumn<QStringList>("defaults");
        QTest::addColumn<QString>("expected");       // empty: libpcre.so.3
        const QStringList standard{"libpcre.so.3", "libpcre.so.1"};
        QTest::newRow("null path") << "<null>" << standard << QString();
        QTest::newRow("bare soname") << "libpcre.so.3" << standard << QString();
        QTest::newRow("full fake") << fakePath("full") << standard << canonical(fakePath("full"));
        QTest::newRow("first default missing") << "<null>" << QStringList{"libpcre_missing.so.42", "libpcre.so.3"}
                                               << QString();
        QTest::newRow("first default wins") << "" << QStringList{fakePath("full"), "libpcre.so.3"}
                                            << canonical(fakePath("full"));
    }

    void loads()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, defaults);
        QFETCH(QString, expected);
        std::vector<std::string> names;
        for (const QString &name : defaults)
            names.push_back(name.toStdString());
        PcreSetDefaultLibraryNames(names);
        QCOMPARE(path == "<null>" ? PcreLoad(nullptr) : load(path), 1);
        QVERIFY(PcreIsLoaded() && PcreBinding.tables && refusal().isEmpty());
        QCOMPARE(modulePath(), expected.isEmpty() ? m_defaultPath : expected);
        const auto realVersion = reinterpret_cast<PcreVersionFn>(dlsym(m_realHandle, "pcre_version"));
        QCOMPARE(PcreVersionText(), std::string(realVersion()));
    }

    // A refused file says why; only one that the loader could not take at
    // all makes way for the default library.
    void refusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("fallsBack");
        QTest::newRow("libpcre2-8.so.0") << "file" << "libpcre2-8.so.0" << "pcre_version is missing" << false;
        // Its dependency libpcre.so.3 holds all seven names; dlsym() finds them there.
        QTest::newRow("libpcreposix.so.3") << "file" << "libpcreposix.so.3"
                                           << "pcre_version comes from " + m_defaultPath << false;
        for (const char *name : kSevenNames)
            QTest::addRow("fake without %s", name) << "file" << fakePath(QStringLiteral("missing_%1").arg(name))
                                                   << QStringLiteral("%1 is missing").arg(name) << false;
        QTest::newRow("text file") << "text" << "x.so" << "invalid ELF header" << true;
        QTest::newRow("cut in the ELF header") << "32" << "x.so" << "file too short" << true;
        // glibc's loader itself dies of SIGBUS on a copy cut inside its segments.
        QTest::newRow("cut to nine tenths") << QString::number(QFileInfo(m_defaultPath).size() / 10 * 9) << "x.so"
                                            << "the file is cut short" << true;
        QTest::newRow("directory") << "dir" << "x.so" << "not a regular file" << true;
        QTest::newRow("missing path") << "missing" << "no/x.so" << "No such file or directory" << true;
    }

    void refusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, path);
        QFETCH(bool, fallsBack);
        QTemporaryDir dir;
        if (kind != "file")
            path = dir.filePath(path);
        if (kind == "dir")
            QVERIFY(QDir().mkdir(path));
        if (kind != "file" && kind != "dir" && kind != "missing") {
            QFile source(m_defaultPath), file(path);
            QVERIFY(source.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly));
            const QByteArray bytes = kind == "text" ? QByteArray("not a library\n").repeated(10) : source.read(kind.toLongLong());
            QCOMPARE(file.write(bytes), qint64(bytes.size()));
        }
        QCOMPARE(load(path), int(fallsBack));
        QFETCH(QString, reason);
        QVERIFY2(refusal().contains(reason), qPrintable(refusal()));
        QCOMPARE(PcreBinding.lastLoad.fellBack, fallsBack);
        QCOMPARE(modulePath(), fallsBack ? m_defaultPath : QString());

        PcreUnload();
        PcreSetDefaultLibraryNames({"libpcre_missing.so.42", "/nonexistent/libpcre.so.1"});
        QCOMPARE(load(path), 0);
        QVERIFY(isReset() && !PcreBinding.lastLoad.fellBack);
    }

    void modulePathIsCanonical()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath("x.so");
        QVERIFY(QFile::copy(fakePath("full"), copy));
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(PcreLoad("./x.so"), 1);
        QVERIFY(QDir::setCurrent(m_startDirectory));
        QCOMPARE(modulePath(), canonical(copy));   // still right in another directory

        // A symbolic link reports the file it points to.
        PcreUnload();
        QVERIFY(QFile::link(m_defaultPath, dir.filePath("link.so")));
        QCOMPARE(load(dir.filePath("link.so")), 1);
        QCOMPARE(modulePath(), m_defaultPath);
    }

    // A library that stays mapped after it is unloaded must not be handed
    // back for the next file loaded from a copy, nor cost one more copy at
    // every reload.
    void nextLoadRunsTheNewLibrary()
    {
        const auto openFiles = [] { return QDir("/proc/self/fd").count(); };
        QCOMPARE(load(fakePath("nodelete")), 1);
        QCOMPARE(PcreVersionText(), std::string("nodelete"));
        const auto filesOpen = openFiles();
        for (int round = 0; round < 3; ++round) {
            PcreUnload();
            QCOMPARE(load(fakePath("full")), 1);
            QCOMPARE(modulePath(), canonical(fakePath("full")));
            QVERIFY(PcreVersionText() != "nodelete");
            PcreUnload();
            QCOMPARE(load(fakePath("nodelete")), 1);
            QCOMPARE(PcreVersionText(), std::string("nodelete"));
        }
        QCOMPARE(openFiles(), filesOpen);
    }

    void unloadResetsState()
    {
        PcreSetLocale("C");   // tables with no library loaded
        QVERIFY(PcreBinding.tables);
        PcreUnload();
        QVERIFY(isReset());
        QCOMPARE(PcreLoad(nullptr), 1);
        PcreUnload();
        QVERIFY(isReset());
    }

    void versionTextIsBounded()
    {
        QCOMPARE(load(fakePath("nullversion")), 1);
        QCOMPARE(PcreVersionText(), std::string());
        PcreUnload();
        QCOMPARE(load(fakePath("longversion")), 1);
        QCOMPARE(PcreVersionText(), std::string(PcreLibrary::kMaxVersionLength, 'x'));
    }

    // Engine memory goes back through the library that made it, also once
    // the binding has let that library go.
    void releasesThroughTheLibraryThatMadeIt()
    {
        QCOMPARE(PcreLoad(nullptr), 1);
        std::string error;
        int offset = 0;
        FreeRecorder recorder(m_realHandle);
        PcreCodePtr code = PcreCompile("abc", &error, &offset, false);
        PcreExtraPtr extra = PcreStudy(code);
        const QList<void *> made{extra.get(), code.get()};
        QVERIFY(made[0] && made[1]);
        PcreUnload();
        extra.reset();
        code.reset();
        QCOMPARE(FreeRecorder::freed, made);
    }
};

QTEST_GUILESS_MAIN(TestPcreBinding)
#include "tst_pcrebinding.moc"
