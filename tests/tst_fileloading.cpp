// Loading the input and the pattern from files, the file dialog, and
// choosing the library with "Browse...". The real modal dialogs are driven
// from a timer.

#include "TesterDriver.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kRealLibrary = LibraryPath("libpcre.so.3");
const QString kPcre2Library = LibraryPath("libpcre2-8.so.0");
QString g_closedBox;   // the text of the last message box answerFileDialog closed

// Qt's default settings folder and the temporary folder, made empty
// scratch folders before the application starts, so the test sees whatever
// would land in the user's settings or stay behind in /tmp.
QTemporaryDir g_configHome;
QTemporaryDir g_tmp;
const bool kConfigHomeSet = qputenv("XDG_CONFIG_HOME", QFile::encodeName(g_configHome.path()))
                            && qputenv("TMPDIR", QFile::encodeName(g_tmp.path()));

// Answers the file dialog that `action` opens: types `typed` into its name
// field and accepts, or cancels when `typed` is empty. Returns what the
// dialog showed: title, folder, file name, the selected filter as the user
// sees it, then all the filters with their patterns. A message box the
// dialog raises, and a dialog left open, are closed so a fault cannot hang.
template <class Action>
QStringList answerFileDialog(const QString &typed, Action action)
{
    QStringList shown;
    g_closedBox.clear();
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        shown << dialog->windowTitle() << dialog->directory().absolutePath() << name->text()
              << dialog->selectedNameFilter() << dialog->nameFilters();
        if (typed.isEmpty())
            return dialog->reject();
        name->setText(typed);
        QTimer::singleShot(0, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                g_closedBox = box->text();
                box->close();
            }
        });
        static_cast<QDialog *>(dialog)->accept();   // QFileDialog::accept() is protected
        if (dialog->isVisible())
            dialog->reject();
    });
    action();
    return shown;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

// A window with a match of "(b)" in "abcd" shown in red, "Exec next" and
// "More..." enabled.
void showRedMatch(TesterDriver &t)
{
    t.setCheck(IDC_HIGHLIGHT, true);
    typeAndExec(t, "(b)", "abcd");
    QVERIFY(t.input()->IsColoredRed(1) && t.enabled(IDC_EXEC_NEXT) && t.enabled(IDC_MORE));
}

} // namespace

class tst_FileLoading : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;        // the current folder; the dialogs open here

private slots:
    void initTestCase()
    {
        QVERIFY(kConfigHomeSet && m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY(QFile::copy(kRealLibrary, m_dir.filePath(QStringLiteral("libpcre-copy.so.3"))));
        writeFile(m_dir.filePath(QStringLiteral("notes.txt")), "not a library");
    }
    void cleanup() { verifyNoWindowLeftOpen(); QVERIFY(!PcreIsLoaded()); }

    void loadOrCancel_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("typed");        // empty: cancel
        QTest::addColumn<QByteArray>("contents");  // of loaded.txt
        QTest::addColumn<QByteArray>("expected");  // in the field afterwards
        QTest::addColumn<QString>("status");       // null: unchanged
        const QString cut = QStringLiteral("The pattern file was cut at its NUL byte at offset 2.");
        const QByteArray mixed("a\0b\r\ntwo \xff\xfe\xc3(\r\n\x80", 17);
        QTest::newRow("input: empty") << IDC_LOAD_INPUT << "loaded.txt" << QByteArray() << QByteArray() << QString();
        // Typed without the default extension.
        QTest::newRow("input: NUL, CR LF, bad UTF-8") << IDC_LOAD_INPUT << "loaded" << mixed << mixed << QString();
        QTest::newRow("input: cancel") << IDC_LOAD_INPUT << "" << mixed << QByteArray("abcd") << QString();
        const QByteArray longLine = "\xc3\xa9t\xc3\xa9 " + QByteArray(20000, 'x') + "\r\n";   // shown in rows
        QTest::newRow("input: a long line") << IDC_LOAD_INPUT << "loaded.txt" << longLine << longLine << QString();
        // The dialog takes only a file that exists.
        QTest::newRow("input: no such file") << IDC_LOAD_INPUT << "nothere.txt" << mixed << QByteArray("abcd")
                                             << QString();
        QTest::newRow("pattern: cut at NUL") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray("a+\0b", 4)
                                             << QByteArray("a+") << cut;
        QTest::newRow("pattern: cut, invalid") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray("x(\0)", 4)
                                               << QByteArray("x(") << "missing ) " + cut;
        QTest::newRow("pattern: line break kept") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray("a+\r\n")
                                                  << QByteArray("a+\r\n") << "";
        QTest::newRow("pattern: cancel") << IDC_LOAD_PATTERN << "" << mixed << QByteArray("(b)") << QString();
    }
    void loadOrCancel()
    {
        QFETCH(int, button);
        QFETCH(QString, typed);
        QFETCH(QByteArray, contents);
        QFETCH(QByteArray, expected);
        QFETCH(QString, status);
        writeFile(QStringLiteral("loaded.txt"), contents);
        TesterDriver t;
        showRedMatch(t);
        const QString statusBefore = t.status();

        const QStringList dialog = answerFileDialog(typed, [&] { t.click(button); });

        QCOMPARE(dialog, (QStringList{"Load a text file...", m_dir.path(), "", "Text files (*.txt)",
                                      "Text files (*.txt) (*.TXT)", "Rich Text format (*.rtf) (*.RTF)",
                                      "Microsoft Word (*.doc) (*.DOC)", "All files (*.*) (*)"}));
        const bool intoInput = button == IDC_LOAD_INPUT;
        const bool cancelled = expected == (intoInput ? QByteArray("abcd") : QByteArray("(b)"));
        QCOMPARE(t.input()->GetTextBytes(), intoInput ? expected : QByteArray("abcd"));
        QCOMPARE(t.pattern()->GetTextBytes(), intoInput ? QByteArray("(b)") : expected);
        QCOMPARE(t.status(), status.isNull() ? statusBefore : status);
        // The dialog itself refused a name of no file, rather than handing it on.
        QCOMPARE(g_closedBox.contains(QLatin1String("File not found")), typed == "nothere.txt");
        // A load ran the field's change handler, which ends the series.
        QCOMPARE(t.enabled(IDC_MORE), cancelled);
        const bool valid = !status.startsWith(QLatin1String("missing"));
        QCOMPARE(t.enabled(IDC_EXEC), valid);
        QCOMPARE(t.enabled(IDC_EXEC_NEXT), cancelled || (valid && !intoInput));
        QCOMPARE(t.input()->IsColoredRed(1), cancelled || !intoInput);
        // Qt's dialog saved its state neither to the user's settings nor to
        // a scratch folder left behind.
        QVERIFY(QDir(g_configHome.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        QVERIFY(QDir(g_tmp.path()).entryList({QStringLiteral("pcrechecker-*")}, QDir::AllEntries).isEmpty());
    }

    void readErrorsKeepTheField_data()
    {
        QTest::addColumn<bool>("intoInput");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<qint64>("sparseSize");
        // The tag names the file, made as the tag says.
        const QString noRoom = QStringLiteral("bytes, more than the %1 the field holds").arg(CRichEditCtrl::kMostBytesShown);
        QTest::newRow("directory") << true << QString::fromLocal8Bit(std::strerror(EISDIR)) << 0LL;
        QTest::newRow("vanished") << false << QString::fromLocal8Bit(std::strerror(ENOENT)) << 0LL;
        QTest::newRow("fifo") << true << "not a regular file" << 0LL;
        QTest::newRow("proc") << true << "more than the 0 bytes its size states" << 0LL;   // stated 0
        // Refused before a byte is read, though only some texts of that
        // size would need all the breaks that no longer fit.
        QTest::newRow("sparse 2 GiB") << false << "2147483648 " + noRoom << (1LL << 31);
        QTest::newRow("sparse, one byte too long") << true << noRoom << CRichEditCtrl::kMostBytesShown + 1;
    }
    void readErrorsKeepTheField()
    {
        QFETCH(bool, intoInput);
        QFETCH(QString, reason);
        QFETCH(qint64, sparseSize);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        const QByteArray encoded = QFile::encodeName(path);
        if (path.endsWith(QLatin1String("directory")))
            QVERIFY(QDir().mkpath(path));
        if (path.endsWith(QLatin1String("proc")))
            QVERIFY(QFile::exists(path) || QFile::link(QStringLiteral("/proc/self/status"), path));
        if (path.endsWith(QLatin1String("fifo")))
            QVERIFY(QFile::exists(path) || ::mkfifo(encoded.constData(), 0600) == 0);
        if (sparseSize > 0) {
            writeFile(path, "x");
            if (::truncate(encoded.constData(), off_t(sparseSize)) != 0)
                QSKIP("This file system cannot hold a sparse 2 GiB file.");
        }
        TesterDriver t;
        t.typePattern("kept");
        t.typeInput("kept");

        const QString text = captureModalMessage([&] {
            intoInput ? t.dlg->LoadInputFromFile(path) : t.dlg->LoadPatternFromFile(path);
        }).second;
        QFile::remove(path);
        QVERIFY2(text.contains(path) && text.contains(reason), qPrintable(text));
        QCOMPARE(t.input()->GetTextBytes() + t.pattern()->GetTextBytes(), QByteArray("keptkept"));
        QCOMPARE(t.status(), QString());   // as the valid pattern left it
    }

    void browse_data()
    {
        QTest::addColumn<QString>("typed");   // empty: cancel, after loading a copy of the library
        QTest::addColumn<QString>("shown");   // empty: the default library is out of reach
        QTest::addColumn<QString>("told");    // what the message box says of a refused file
        QTest::newRow("library without the entry points")
            << kPcre2Library << kPcre2Library << kPcre2Library + " was not loaded: pcre_version is missing.";
        QTest::newRow("text file: the default instead")
            << m_dir.filePath(QStringLiteral("notes.txt")) << kRealLibrary
            << "The default library was loaded instead: " + kRealLibrary;
        QTest::newRow("cancel reloads the default") << QString() << kRealLibrary << QString();
        QTest::newRow("cancel, no default reachable") << QString() << QString() << QString();
    }
    void browse()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        if (typed == kPcre2Library && !QFile::exists(kPcre2Library))
            QSKIP("No PCRE2 library installed.");
        TesterDriver t({shown.isEmpty() ? "libnothere.so" : "libpcre.so.3"});
        QString copy = m_dir.filePath(QStringLiteral("libpcre-copy.so.3"));
        if (typed.isEmpty())
            t.dlg->LoadLibraryFromPath(copy);
        showRedMatch(t);
        const int held = int(t.dlg->Series().CompiledPattern() != nullptr) + int(t.dlg->Series().StudyData() != nullptr);
        QVERIFY(held > 0 && FreeCounter::Install());

        const QStringList dialog = answerFileDialog(typed, [&] { t.click(IDC_BROWSE); });

        // It opens in the current folder even after the first row's dialog
        // ended in the library's.
        QCOMPARE(dialog, (QStringList{"Locate the PCRE.dll file", m_dir.path(), "PCRE", "DLL files (*.dll)",
                                      "DLL files (*.dll) (*.DLL *.so *.so.*)", "All files (*.*) (*)"}));
        // The held pattern went back through the old library while it was
        // still loaded.
        QCOMPARE(FreeCounter::frees, held);
        const bool loaded = shown == kRealLibrary;
        QCOMPARE(PcreIsLoaded(), loaded);
        QCOMPARE(t.libraryPath(), shown);
        QCOMPARE(t.status(), loaded ? "PCRE.dll was loaded. Version " + QString::fromLatin1(PcreVersionText())
                                    : QStringLiteral("First, load PCRE.dll..."));
        QCOMPARE(t.enabled(IDC_PATTERN) + t.enabled(IDC_LOAD_PATTERN), 2 * loaded);
        QFETCH(QString, told);
        QVERIFY2(told.isEmpty() ? g_closedBox.isEmpty() : g_closedBox.contains(told), qPrintable(g_closedBox));
    }
};

QTEST_MAIN(tst_FileLoading)
#include "tst_fileloading.moc"
