// Library loading under faults, and nothing the user typed is lost by a
// refused library or an engine error.

#include "TesterDriver.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString kSystemLibrary = QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre.so.3");

QString Fake(const char *name) { return QStringLiteral(PC_FAKE_LIBRARY_DIR "/") + QLatin1String(name); }

// Loads `path` in the window and returns the path it shows for the library.
QString Load(TesterDriver &t, const QString &path)
{
    QString loaded = path;
    t.dlg->LoadLibraryFromPath(loaded);
    return loaded;
}

int FirstByteOf(const char *pattern)
{
    const char *error = nullptr;
    int offset = 0, firstByte = 0;
    PcreCodePtr code(PcreCompile(pattern, &error, &offset, false));
    PcreBinding.pcre_fullinfo(code.get(), nullptr, PCRE_INFO_FIRSTBYTE, &firstByte);
    return firstByte;
}

} // namespace

class tst_LibraryFaults : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { verifyNoWindowLeftOpen(); QVERIFY(!PcreIsLoaded()); }

    void nullVersionText()
    {
        TesterDriver t;
        Load(t, Fake("libfakepcre_nullversion.so"));
        QCOMPARE(t.status(), QStringLiteral("PCRE.dll was loaded. Version "));
    }

    void replacedOnDiskBetweenLoads_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("renamed over") << false;
        QTest::newRow("overwritten in place while loaded") << true;
    }
    void replacedOnDiskBetweenLoads()
    {
        QFETCH(bool, inPlace);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("libpcre-under-test.so"));
        QVERIFY(QFile::copy(kSystemLibrary, path));
        TesterDriver t;
        Load(t, path);
        typeAndExec(t, "(abc)", "xabc");   // a compiled pattern is held across the reload
        QCOMPARE(FirstByteOf("abc"), int('a'));

        QFile replacement(Fake("libfakepcre_firstbyte353.so"));
        QFile target(inPlace ? path : dir.filePath(QStringLiteral("next.so")));
        // The new bytes go into the same file, as `cp` does, or into a new
        // one renamed over it.
        QVERIFY(replacement.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(target.write(replacement.readAll()), replacement.size());
        target.close();
        QVERIFY(inPlace || (QFile::remove(path) && QFile::rename(target.fileName(), path)));
        QCOMPARE(Load(t, path), QFileInfo(path).canonicalFilePath());
        QVERIFY(PcreIsLoaded());
        QCOMPARE(FirstByteOf("abc"), 353);
    }

    void sameFileTwiceInARow()
    {
        TesterDriver t;
        QCOMPARE(Load(t, kSystemLibrary), QFileInfo(kSystemLibrary).canonicalFilePath());
        QCOMPARE(Load(t, kSystemLibrary), QFileInfo(kSystemLibrary).canonicalFilePath());
        typeAndExec(t, "b+", "abbc");
        QCOMPARE(t.match(), (Range{1, 2}));
    }

    void pathWithSpacesAndNonAscii()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Bibliothèque de test ✓")));
        const QString path = dir.filePath(QStringLiteral("Bibliothèque de test ✓/libpcre ünïcode.so"));
        QVERIFY(QFile::copy(kSystemLibrary, path));
        TesterDriver t;
        QCOMPARE(Load(t, path), QFileInfo(path).canonicalFilePath());
        QVERIFY(PcreIsLoaded() && t.libraryPath() == QFileInfo(path).canonicalFilePath());
    }

    void refusedLibraryKeepsTheFields_data()
    {
        QTest::addColumn<QString>("library");
        QTest::newRow("not PCRE 8") << QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre2-8.so.0");
        QTest::newRow("missing an entry point") << Fake("libfakepcre_missing_pcre_exec.so");
        QTest::newRow("not a library") << QStringLiteral("/etc/hostname");
    }
    void refusedLibraryKeepsTheFields()
    {
        QFETCH(QString, library);
        TesterDriver t;
        const QByteArray pattern = "(\\w+)\r\n\x01\xE9";
        const QByteArray input("a\0b\r\nc\xFF", 7);
        typeAndExec(t, pattern, input);
        Load(t, library);
        QCOMPARE(t.pattern()->GetTextBytes(), pattern);
        QCOMPARE(t.input()->GetTextBytes(), input);
    }
};

QTEST_MAIN(tst_LibraryFaults)
#include "tst_libraryfaults.moc"
