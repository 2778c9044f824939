// What a bad library can do to the window: refuse to load, change on disk,
// or misbehave while matching (crash, abort, never return, report offsets
// or counts that cannot be). The window survives each, says what happened,
// keeps every byte of both fields, and loads a good library afterwards.

#include "SearchWait.h"
#include "CListBox.h"
#include "TesterDriver.h"

#include <QDir>
#include <QProgressDialog>
#include <QTemporaryDir>

namespace {

const QString kSystemLibrary = LibraryPath("libpcre.so.3");

QString Fake(const char *name) { return QStringLiteral(PC_FAKE_LIBRARY_DIR "/libfakepcre_%1.so").arg(name); }

// Loads `path` in the window; returns the path it shows for the library and
// the text of the message box a refusal raises (closed at once).
QPair<QString, QString> Load(TesterDriver &t, const QString &path)
{
    QString loaded = path;
    const QString told = captureModalMessage([&] { t.dlg->LoadLibraryFromPath(loaded); }).second;
    return {loaded, told};
}

int FirstByteOf(const char *pattern)
{
    std::string error;
    int offset = 0;
    const PcreCodePtr code = PcreCompile(pattern, &error, &offset, false);
    return PcreFullInfo<PCRE_INFO_FIRSTBYTE>(code, nullptr).value_or(-99);
}

// Presses "Stop" on the busy dialog once it has shown for a while.
struct StopWhenBusy
{
    QTimer timer;
    StopWhenBusy()
    {
        QObject::connect(&timer, &QTimer::timeout, [] {
            if (auto *busy = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget()))
                busy->cancel();
        });
        timer.start(200);
    }
};

} // namespace

class tst_LibraryFaults : public QObject
{
    Q_OBJECT
private slots:
    void init() { SetSearchGracePeriod(std::chrono::milliseconds(30)); }
    void cleanup() { verifyNoWindowLeftOpen(); QVERIFY(!PcreIsLoaded()); }

    void nullVersionText()
    {
        TesterDriver t;
        Load(t, Fake("nullversion"));
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

        QFile replacement(Fake("firstbyte353"));
        QFile target(inPlace ? path : dir.filePath(QStringLiteral("next.so")));
        // The new bytes go into the same file, as `cp` does, or into a new
        // one renamed over it.
        QVERIFY(replacement.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(target.write(replacement.readAll()), replacement.size());
        target.close();
        QVERIFY(inPlace || (QFile::remove(path) && QFile::rename(target.fileName(), path)));
        QCOMPARE(Load(t, path).first, QFileInfo(path).canonicalFilePath());
        QVERIFY(PcreIsLoaded());
        QCOMPARE(FirstByteOf("abc"), 353);
    }

    void pathWithSpacesAndNonAscii()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Bibliothèque de test ✓")));
        const QString path = dir.filePath(QStringLiteral("Bibliothèque de test ✓/libpcre ünïcode.so"));
        QVERIFY(QFile::copy(kSystemLibrary, path));
        TesterDriver t;
        QCOMPARE(Load(t, path).first, QFileInfo(path).canonicalFilePath());
        QVERIFY(PcreIsLoaded() && t.libraryPath() == QFileInfo(path).canonicalFilePath());
    }

    void refusedLibraryIsNamedAndKeepsTheFields_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not PCRE 8") << LibraryPath("libpcre2-8.so.0") << "pcre_version is missing";
        QTest::newRow("missing an entry point") << Fake("missing_pcre_exec") << "pcre_exec is missing";
        QTest::newRow("not a library") << QStringLiteral("/etc/hostname") << "The default library was loaded instead";
        QTest::newRow("ends the process when loaded")
            << Fake("constructor_exit") << "it ended the process with exit status 3 while being loaded";
    }
    void refusedLibraryIsNamedAndKeepsTheFields()
    {
        QFETCH(QString, library);
        QFETCH(QString, reason);
        TesterDriver t;
        const QByteArray pattern = "(\\w+)\r\n\x01\xE9";
        const QByteArray input("a\0b\r\nc\xFF", 7);
        typeAndExec(t, pattern, input);
        const QString told = Load(t, library).second;
        QVERIFY2(told.startsWith(library + " was not loaded: ") && told.contains(reason), qPrintable(told));
        QCOMPARE(t.pattern()->GetTextBytes(), pattern);
        QCOMPARE(t.input()->GetTextBytes(), input);
    }

    void misbehavingEngine_data()
    {
        QTest::addColumn<QString>("fake");
        QTest::addColumn<QString>("status");
        const QString input = QStringLiteral("the quick brown fox");
        QTest::newRow("crash") << "exec_segv" << "The engine crashed (SIGSEGV) while matching.";
        QTest::newRow("abort") << "exec_abort" << "The engine crashed (SIGABRT) while matching.";
        QTest::newRow("crash on the frame-size query") << "exec_probe" << "The engine crashed (SIGSEGV) while matching.";
        QTest::newRow("never returns") << "exec_hang" << "The search was stopped.";
        const QString impossible = QStringLiteral("Engine error: the library reported impossible ");
        QTest::newRow("negative offset")
            << "exec_negative" << impossible + "offsets: pair 0 is -7..2, outside the 19 bytes of the input.";
        QTest::newRow("reversed offsets")
            << "exec_reversed" << impossible + "offsets: pair 1 is 3..1: it starts after its end.";
        QTest::newRow("offset past the end")
            << "exec_pastend" << impossible + "offsets: pair 0 is 0..24, outside the 19 bytes of the input.";
        QTest::newRow("more pairs than room")
            << "exec_toomany" << impossible + "offsets: it reported 3 pairs of offsets, where there is room for 2.";
        QTest::newRow("huge capture count") << "captures_huge" << impossible + "2147483647 capturing subpatterns.";
        QTest::newRow("negative capture count") << "captures_negative" << impossible + "-5 capturing subpatterns.";
    }

    void misbehavingEngine()
    {
        QFETCH(QString, fake);
        const QByteArray pattern = "(o)";
        const QByteArray input = "the quick brown fox";
        TesterDriver t;
        Load(t, Fake(qPrintable(fake)));
        StopWhenBusy stopper;
        typeAndExec(t, pattern, input);
        QTEST(t.status(), "status");
        QVERIFY(!t.enabled(IDC_EXEC_NEXT) && !t.enabled(IDC_MORE) && !t.dlg->Series().CompiledPattern());
        QCOMPARE(t.selection(), (Range{0, 0}));
        QCOMPARE(t.pattern()->GetTextBytes(), pattern);
        QCOMPARE(t.input()->GetTextBytes(), input);

        Load(t, kSystemLibrary);
        t.click(IDC_EXEC);
        QCOMPARE(t.match(), (Range{12, 13}));
    }

    // Every compile is tried first where a crash cannot reach the window.
    void crashingCompile()
    {
        TesterDriver t;
        Load(t, Fake("compile_segv"));
        typeAndExec(t, "(o)", "foo");
        t.typePattern("boom");
        QCOMPARE(t.status(), QStringLiteral("The engine crashed (SIGSEGV) while compiling the pattern."));
        QVERIFY(!t.enabled(IDC_EXEC) && !t.enabled(IDC_EXEC_NEXT));
        QCOMPARE(t.input()->GetTextBytes(), QByteArray("foo"));
    }

    // A name table that cannot lie inside the pattern is not read: the
    // subpatterns are listed by number, and both windows say why.
    void impossibleNameTable()
    {
        TesterDriver t;
        Load(t, Fake("names"));
        typeAndExec(t, "(?<n>o)", "foo");
        t.click(IDC_MORE);
        const QString problem = QStringLiteral("impossible number of names: 1000000");
        QCOMPARE(t.status(), "Engine error: the library's table of names cannot be read (" + problem
                                 + "); subpatterns are listed by number.");
        QCOMPARE(t.dlg->SubpatternList()->List()->GetText(1), QByteArray("1 {1,2}"));
        t.dlg->SubpatternList()->hide();
        CFullInfoDlg details(t.dlg.get());
        details.FillFromPattern(t.dlg->Series().CompiledPattern(), t.dlg->Series().StudyData(), "(?<n>o)");
        details.Create();
        QCOMPARE(details.GetDlgItemText(IDC_INFO_NAMECOUNT), QStringLiteral("1000000"));
        auto *names = qobject_cast<CListBox *>(details.GetDlgItem(IDC_INFO_NAMES));
        QCOMPARE(names->count(), 1);
        QCOMPARE(QString::fromLatin1(names->GetText(0)), "(cannot be read: " + problem + ")");
    }
};

QTEST_MAIN(tst_LibraryFaults)
#include "tst_libraryfaults.moc"
