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

// Nothing loaded and nothing left over from a library.
bool isReset()
{
    const PcreBindingRecord &b = PcreBinding;
    return !b.loaded && !PcreIsLoaded() && !b.library && !b.tables && !b.pcre_version && !b.pcre_fullinfo
        && !b.pcre_compile && !b.pcre_exec && !b.pcre_study && !b.pcre_malloc && !b.pcre_free_substring
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
        QVERIFY(PcreIsLoaded() && PcreBinding.tables);
        QCOMPARE(modulePath(), expected.isEmpty() ? m_defaultPath : expected);
        const PcreBindingRecord &b = PcreBinding;
        QVERIFY(b.pcre_version && b.pcre_fullinfo && b.pcre_compile && b.pcre_exec && b.pcre_study && b.pcre_malloc
                && b.pcre_free_substring);
        QCOMPARE(reinterpret_cast<void *>(b.pcre_exec) == dlsym(m_realHandle, "pcre_exec"), expected.isEmpty());
        const auto realVersion = reinterpret_cast<PcreVersionFn>(dlsym(m_realHandle, "pcre_version"));
        QCOMPARE(PcreVersionText(), std::string(realVersion()));
    }

    void refusesLibraryLackingNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("libpcre2-8.so.0") << "libpcre2-8.so.0";
        // Its dependency libpcre.so.3 holds all seven names; dlsym() finds them there.
        QTest::newRow("libpcreposix.so.3") << "libpcreposix.so.3";
        for (const char *name : kSevenNames)
            QTest::addRow("fake without %s", name) << fakePath(QStringLiteral("missing_%1").arg(name));
    }

    void refusesLibraryLackingNames()
    {
        QFETCH(QString, path);
        void *handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(handle, "the file loads: this is a refusal, not a failed load");
        dlclose(handle);
        // The default library is reachable, yet a refusal does not fall back to it.
        QCOMPARE(load(path), 0);
        QVERIFY(isReset());
    }

    void fallsBackToDefault_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("keep");   // bytes of libpcre.so.3 a cut copy keeps
        QTest::newRow("text file") << "text" << 0LL;
        QTest::newRow("cut in the ELF header") << "cut" << 32LL;
        QTest::newRow("cut in the program headers") << "cut" << 300LL;
        // glibc's loader itself dies of SIGBUS on a copy cut inside its segments.
        QTest::newRow("cut to nine tenths") << "cut" << QFileInfo(m_defaultPath).size() / 10 * 9;
        QTest::newRow("directory") << "dir" << 0LL;
        QTest::newRow("missing path") << "missing" << 0LL;
        QTest::newRow("empty path") << "empty" << 0LL;
    }

    void fallsBackToDefault()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, keep);
        QTemporaryDir dir;
        const QString path = kind == "empty" ? QString() : dir.filePath(kind == "missing" ? "no/x.so" : "x.so");
        if (kind == "dir")
            QVERIFY(QDir().mkdir(path));
        if (kind == "text" || kind == "cut") {
            QFile source(m_defaultPath), file(path);
            QVERIFY(source.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly));
            const QByteArray bytes = kind == "text" ? QByteArray("not a library\n") : source.read(keep);
            QCOMPARE(file.write(bytes), qint64(bytes.size()));
        }
        QCOMPARE(load(path), 1);
        QCOMPARE(modulePath(), m_defaultPath);
        QVERIFY(PcreBinding.tables);

        PcreUnload();
        PcreSetDefaultLibraryNames({"libpcre_missing.so.42", "/nonexistent/libpcre.so.1"});
        QCOMPARE(load(path), 0);
        QVERIFY(isReset());
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

    void nullVersionText()
    {
        QCOMPARE(load(fakePath("nullversion")), 1);
        QVERIFY(PcreBinding.pcre_version() == nullptr);
        QCOMPARE(PcreVersionText(), std::string());
    }

    void compileAndExecWrappers()
    {
        QCOMPARE(PcreLoad(nullptr), 1);
        const char *error = nullptr;
        int errorOffset = -1;
        QVERIFY(!PcreCompile("ab(c", &error, &errorOffset, false));
        QVERIFY(QByteArray(error).contains("missing )"));
        QCOMPARE(errorOffset, 4);

        int ovector[6] = {};
        for (const bool caseless : {false, true}) {
            PcreCodePtr code(PcreCompile("(\\d+)-abc", &error, &errorOffset, caseless));
            PcreExtraPtr extra(PcreStudy(code.get(), &error));
            QVERIFY(code && extra);
            QCOMPARE(PcreBinding.pcre_exec(code.get(), extra.get(), "x 12-ABC", 8, 0, 0, ovector, 6),
                     caseless ? 2 : PCRE_ERROR_NOMATCH);
        }
        QCOMPARE(QList<int>(ovector, ovector + 4), (QList<int>{2, 8, 2, 4}));
        // The result codes the program names.
        PcreCodePtr code(PcreCompile("a", &error, &errorOffset, false));
        QCOMPARE(PcreBinding.pcre_exec(code.get(), nullptr, "a", 1, 2, 0, ovector, 6), PCRE_ERROR_BADOFFSET);
        QCOMPARE(PcreBinding.pcre_exec(nullptr, nullptr, "a", 1, 0, 0, ovector, 6), PCRE_ERROR_NULL);
        QCOMPARE(PcreBinding.pcre_exec(code.get(), nullptr, "a", 1, 0, PCRE_CASELESS, ovector, 6),
                 PCRE_ERROR_BADOPTION);
    }

    void releasesThroughLibraryOnlyWhileLoaded()
    {
        QCOMPARE(PcreLoad(nullptr), 1);
        const char *error = nullptr;
        int errorOffset = 0;
        FreeRecorder recorder(m_realHandle);
        PcreCodePtr code(PcreCompile("abc", &error, &errorOffset, false));
        PcreExtraPtr extra(PcreStudy(code.get(), &error));
        const QList<void *> made{extra.get(), code.get()};
        QVERIFY(made[0] && made[1]);
        extra.reset();
        code.reset();
        PcreExtraPtr().reset();
        QCOMPARE(FreeRecorder::freed, made);

        // With no library loaded nothing is called.
        code.reset(PcreCompile("abc", &error, &errorOffset, false));
        pcre *const orphan = code.get();
        PcreUnload();
        code.reset();
        PcreFree(orphan);
        QCOMPARE(FreeRecorder::freed, made);
        FreeRecorder::real(orphan);   // the test still holds libpcre.so.3
    }
};

QTEST_GUILESS_MAIN(TestPcreBinding)
#include "tst_pcrebinding.moc"
