// Library loading under faults, and nothing the user typed is lost by a
// refused library or an engine error.

#include "TesterDriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSystemLibrary = QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre.so.3");

QString Fake(const char *name)
{
    return QStringLiteral(PC_FAKE_LIBRARY_DIR "/") + QLatin1String(name);
}

// Copies `from` over `to` in place, as `cp` does: same file, new bytes.
bool OverwriteInPlace(const QString &from, const QString &to)
{
    QFile source(from);
    QFile target(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return target.write(source.readAll()) == source.size();
}

int FirstByteOf(const char *pattern)
{
    const char *error = nullptr;
    int offset = 0;
    PcreCodePtr code(PcreCompile(pattern, &error, &offset, false));
    int firstByte = 0;
    PcreBinding.pcre_fullinfo(code.get(), nullptr, PCRE_INFO_FIRSTBYTE, &firstByte);
    return firstByte;
}

} // namespace

class tst_LibraryFaults : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QVERIFY(!PcreIsLoaded()); }
    void nullVersionText();
    void replacedOnDiskBetweenLoads_data();
    void replacedOnDiskBetweenLoads();
    void sameFileTwiceInARow();
    void pathWithSpacesAndNonAscii();
    void refusedLibraryKeepsTheFields_data();
    void refusedLibraryKeepsTheFields();
};

void tst_LibraryFaults::nullVersionText()
{
    TesterDriver t;
    QString path = Fake("libfakepcre_nullversion.so");
    t.dlg->LoadLibraryFromPath(path);
    QVERIFY(PcreIsLoaded());
    QCOMPARE(t.status(), QStringLiteral("PCRE.dll was loaded. Version "));
}

void tst_LibraryFaults::replacedOnDiskBetweenLoads_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("renamed over") << false;
    QTest::newRow("overwritten in place while loaded") << true;
}

void tst_LibraryFaults::replacedOnDiskBetweenLoads()
{
    QFETCH(bool, inPlace);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("libpcre-under-test.so"));
    QVERIFY(QFile::copy(kSystemLibrary, path));
    TesterDriver t;
    t.typePattern("(abc)");
    t.typeInput("xabc");
    QString loaded = path;
    t.dlg->LoadLibraryFromPath(loaded);
    t.click(IDC_EXEC);   // a compiled pattern is held across the reload
    QCOMPARE(FirstByteOf("abc"), int('a'));

    if (inPlace) {
        QVERIFY(OverwriteInPlace(Fake("libfakepcre_firstbyte353.so"), path));
    } else {
        const QString next = dir.filePath(QStringLiteral("next.so"));
        QVERIFY(QFile::copy(Fake("libfakepcre_firstbyte353.so"), next));
        QVERIFY(QFile::remove(path) && QFile::rename(next, path));
    }
    loaded = path;
    t.dlg->LoadLibraryFromPath(loaded);
    QVERIFY(PcreIsLoaded());
    QCOMPARE(loaded, QFileInfo(path).canonicalFilePath());
    QCOMPARE(FirstByteOf("abc"), 353);
}

void tst_LibraryFaults::sameFileTwiceInARow()
{
    TesterDriver t;
    for (int i = 0; i < 2; ++i) {
        QString path = kSystemLibrary;
        t.dlg->LoadLibraryFromPath(path);
        QVERIFY(PcreIsLoaded());
        QCOMPARE(path, QFileInfo(kSystemLibrary).canonicalFilePath());
    }
    t.typePattern("b+");
    t.typeInput("abbc");
    t.click(IDC_EXEC);
    QCOMPARE(t.match(), (Range{1, 2}));
}

void tst_LibraryFaults::pathWithSpacesAndNonAscii()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Bibliothèque de test ✓"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/libpcre ünïcode.so");
    QVERIFY(QFile::copy(kSystemLibrary, path));
    TesterDriver t;
    QString loaded = path;
    t.dlg->LoadLibraryFromPath(loaded);
    QVERIFY(PcreIsLoaded());
    QCOMPARE(loaded, QFileInfo(path).canonicalFilePath());
    QCOMPARE(t.libraryPath(), loaded);
}

void tst_LibraryFaults::refusedLibraryKeepsTheFields_data()
{
    QTest::addColumn<QString>("library");
    QTest::newRow("not PCRE 8") << QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre2-8.so.0");
    QTest::newRow("missing an entry point") << Fake("libfakepcre_missing_pcre_exec.so");
    QTest::newRow("not a library") << QStringLiteral("/etc/hostname");
}

void tst_LibraryFaults::refusedLibraryKeepsTheFields()
{
    QFETCH(QString, library);
    TesterDriver t;
    const QByteArray pattern = "(\\w+)\r\n\x01\xE9";
    const QByteArray input("a\0b\r\nc\xFF", 7);
    t.typePattern(pattern);
    t.typeInput(input);
    t.click(IDC_EXEC);
    t.dlg->LoadLibraryFromPath(library);
    QCOMPARE(t.pattern()->GetTextBytes(), pattern);
    QCOMPARE(t.input()->GetTextBytes(), input);
    QString nothing;
    t.dlg->LoadLibraryFromPath(nothing);   // back to the default, if refused
}

QTEST_MAIN(tst_LibraryFaults)
#include "tst_libraryfaults.moc"
