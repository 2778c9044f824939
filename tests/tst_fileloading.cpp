// Loading the input and the pattern from files, the file dialog, and
// choosing the library with "Browse...". The real modal dialogs are driven
// from a timer.

#include "PromptForFile.h"
#include "ReadWholeFile.h"
#include "TesterDriver.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kRealLibrary = QFileInfo(QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre.so.3")).canonicalFilePath();
const QString kPcre2Library = QStringLiteral("/usr/lib/x86_64-linux-gnu/libpcre2-8.so.0");

// Qt's default settings folder, made an empty scratch folder before the
// application starts, so the test sees whatever would land in the user's.
QTemporaryDir &configHome()
{
    static QTemporaryDir dir;
    return dir;
}
const bool kConfigHomeSet = qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome().path()));

// Answers the file dialog that `action` opens: types `typed` into its file
// name field and accepts, or cancels when `typed` is empty. A message box the
// dialog raises, and a dialog left open, are closed so a fault cannot hang.
template <class Action>
void answerFileDialog(const QString &typed, Action action)
{
    QTimer::singleShot(0, [typed] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (typed.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(typed);
        QTimer::singleShot(0, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->close();
        });
        static_cast<QDialog *>(dialog)->accept();   // QFileDialog::accept() is protected
        if (dialog->isVisible())
            dialog->reject();
    });
    action();
}

// What a file dialog shows.
struct DialogView
{
    QString title;
    QString folder;
    QString fileName;
    QStringList filters;
    int filterIndex = -1;
    QStringList offered;       // files the first filter lets through
    QStringList offeredAll;    // files the last filter lets through
};

// The files the list offers. The model fills in the background: wait for
// the expected listing, and take what is there after a timeout.
QStringList offeredFiles(QFileDialog *dialog, const QStringList &expected)
{
    auto *list = dialog->findChild<QListView *>(QStringLiteral("listView"));
    auto offered = [list] {
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
            const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
            if (index.flags() & Qt::ItemIsEnabled)
                names << index.data().toString();
        }
        names.sort();
        return names;
    };
    static_cast<void>(QTest::qWaitFor([&] { return offered() == expected; }, 5000));
    return offered();
}

template <class Action>
DialogView viewFileDialog(const QStringList &expected, const QStringList &expectedAll, Action action)
{
    DialogView view;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        view.title = dialog->windowTitle();
        view.folder = dialog->directory().absolutePath();
        view.fileName = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; i < types->count(); ++i)
            view.filters << types->itemText(i);
        view.filterIndex = types->currentIndex();
        view.offered = offeredFiles(dialog, expected);
        dialog->selectNameFilter(dialog->nameFilters().constLast());
        view.offeredAll = offeredFiles(dialog, expectedAll);
        dialog->reject();
    });
    action();
    return view;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Counts what the loaded engine library frees from now on: its pcre_free
// variable is pointed at a counter. The hook goes with the library when the
// window unloads it; a library loaded afresh starts with its own pcre_free.
class FreeCounter
{
public:
    FreeCounter()
    {
        if (auto *slot = static_cast<FreeFn *>(PcreBinding.library.ownSymbol("pcre_free"))) {
            s_realFree = *slot;
            *slot = &CountingFree;
            m_hooked = true;
        }
        s_count = 0;
    }
    bool hooked() const { return m_hooked; }
    static int count() { return s_count; }

private:
    using FreeFn = void (*)(void *);
    static void CountingFree(void *pointer)
    {
        ++s_count;
        s_realFree(pointer);
    }
    static inline FreeFn s_realFree = nullptr;
    static inline int s_count = 0;
    bool m_hooked = false;
};

// A window with a match of "(b)" in "abcd" shown in red, "Exec next" and
// "More..." enabled.
void showRedMatch(TesterDriver &t)
{
    t.setCheck(IDC_HIGHLIGHT, true);
    t.typePattern("(b)");
    t.typeInput("abcd");
    t.click(IDC_EXEC);
    QVERIFY(t.input()->IsColoredRed(1));
    QVERIFY(t.enabled(IDC_EXEC_NEXT));
    QVERIFY(t.enabled(IDC_MORE));
}

bool anyRed(const CRichEditCtrl *field)
{
    for (qint64 pos = 0; pos < field->GetTextLength(); ++pos) {
        if (field->IsColoredRed(pos))
            return true;
    }
    return false;
}

} // namespace

class tst_FileLoading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void loadsFileBytes_data();
    void loadsFileBytes();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void readErrorsKeepTheField_data();
    void readErrorsKeepTheField();
    void sizeLimitIsInclusive_data();
    void sizeLimitIsInclusive();
    void browse_data();
    void browse();
    void dialogShowsStringsAndFilters_data();
    void dialogShowsStringsAndFilters();
    void dialogsPersistNothing();

private:
    QTemporaryDir m_settings;   // where the program's user settings go
    QTemporaryDir m_dir;        // the current folder; the dialogs open here
    QTemporaryDir m_libDir;     // holds a copy of the engine library
    QString m_oldCurrent;
    QString m_libCopy;
};

void tst_FileLoading::initTestCase()
{
    QVERIFY(kConfigHomeSet);
    QVERIFY(m_settings.isValid() && m_dir.isValid() && m_libDir.isValid());
    RedirectUserSettings(m_settings.path());
    m_oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_libCopy = m_libDir.filePath(QStringLiteral("libpcre-copy.so.3"));
    QVERIFY(QFile::copy(kRealLibrary, m_libCopy));
}

void tst_FileLoading::cleanupTestCase()
{
    QDir::setCurrent(m_oldCurrent);
}

void tst_FileLoading::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->metaObject()->className() + (" " + w->objectName()) + " left open"));
    QVERIFY(!PcreIsLoaded());
}

void tst_FileLoading::loadsFileBytes_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("status");   // null: unchanged

    const QString cut = QStringLiteral("The pattern file was cut at its NUL byte at offset %1.");
    const QByteArray mixed("one\r\ntwo \xff\xfe\xc3(\r\n\x80", 17);
    QTest::newRow("input: empty file") << IDC_LOAD_INPUT << "loaded.txt" << QByteArray() << QByteArray() << QString();
    QTest::newRow("input: NUL bytes kept") << IDC_LOAD_INPUT << "loaded.txt" << QByteArray("a\0b\0", 4)
                                           << QByteArray("a\0b\0", 4) << QString();
    QTest::newRow("input: CR LF, invalid UTF-8") << IDC_LOAD_INPUT << "loaded.txt" << mixed << mixed << QString();
    QTest::newRow("input: default extension") << IDC_LOAD_INPUT << "loaded" << QByteArray("x") << QByteArray("x")
                                              << QString();
    QTest::newRow("pattern: empty file") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray() << QByteArray()
                                         << QString("");
    QTest::newRow("pattern: cut at NUL") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray("a+\0b", 4)
                                         << QByteArray("a+") << cut.arg(2);
    QTest::newRow("pattern: cut, invalid") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray("x(\0)", 4)
                                           << QByteArray("x(") << "missing ) " + cut.arg(2);
    QTest::newRow("pattern: line break kept") << IDC_LOAD_PATTERN << "loaded.txt" << QByteArray("a+\r\n")
                                              << QByteArray("a+\r\n") << QString("");
}

void tst_FileLoading::loadsFileBytes()
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

    answerFileDialog(typed, [&] { t.click(button); });

    CRichEditCtrl *field = button == IDC_LOAD_INPUT ? t.input() : t.pattern();
    QCOMPARE(field->GetTextBytes(), expected);
    QCOMPARE(t.status(), status.isNull() ? statusBefore : status);
    // The field's change handler ran: the series is over.
    QVERIFY(!t.enabled(IDC_MORE));
    if (button == IDC_LOAD_INPUT) {
        QVERIFY(!t.enabled(IDC_EXEC_NEXT));
        QVERIFY(!anyRed(field));
    } else {
        QCOMPARE(t.enabled(IDC_EXEC), !status.startsWith(QLatin1String("missing")));
    }
}

void tst_FileLoading::cancelChangesNothing_data()
{
    QTest::addColumn<int>("button");
    QTest::newRow("Load file") << IDC_LOAD_INPUT;
    QTest::newRow("Load from file...") << IDC_LOAD_PATTERN;
}

void tst_FileLoading::cancelChangesNothing()
{
    QFETCH(int, button);
    TesterDriver t;
    showRedMatch(t);
    const QString status = t.status();

    answerFileDialog(QString(), [&] { t.click(button); });

    QCOMPARE(t.pattern()->GetTextBytes(), QByteArray("(b)"));
    QCOMPARE(t.input()->GetTextBytes(), QByteArray("abcd"));
    QCOMPARE(t.status(), status);
    QVERIFY(t.input()->IsColoredRed(1));
    QVERIFY(t.enabled(IDC_EXEC_NEXT));
    QVERIFY(t.enabled(IDC_MORE));
}

void tst_FileLoading::readErrorsKeepTheField_data()
{
    QTest::addColumn<bool>("intoInput");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("directory") << true << "directory" << QString::fromLocal8Bit(std::strerror(EISDIR));
    QTest::newRow("vanished after the dialog") << false << "vanished" << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("named pipe, no writer") << true << "fifo" << "not a regular file";
    QTest::newRow("longer than the engine takes") << false << "sparse" << "2147483648 bytes";
}

void tst_FileLoading::readErrorsKeepTheField()
{
    QFETCH(bool, intoInput);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(kind);
    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(QFile::exists(path) || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (kind == QLatin1String("vanished")) {
        writeFile(path, "x");
        QVERIFY(QFile::remove(path));
    } else if (kind == QLatin1String("sparse")) {
        writeFile(path, "x");
        if (::truncate(QFile::encodeName(path).constData(), off_t(1) << 31) != 0)
            QSKIP("This file system cannot hold a sparse 2 GiB file.");
    }
    TesterDriver t;
    t.typePattern("kept");
    t.typeInput("kept");
    const QString status = t.status();

    const auto [title, text] = captureModalMessage([&] {
        if (intoInput)
            t.dlg->LoadInputFromFile(path);
        else
            t.dlg->LoadPatternFromFile(path);
    });
    QFile::remove(path);

    QCOMPARE(title, t.dlg->windowTitle());
    QVERIFY2(text.contains(path) && text.contains(reason), qPrintable(text));
    QCOMPARE(t.input()->GetTextBytes(), QByteArray("kept"));
    QCOMPARE(t.pattern()->GetTextBytes(), QByteArray("kept"));
    QCOMPARE(t.status(), status);
}

void tst_FileLoading::sizeLimitIsInclusive_data()
{
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<bool>("ok");
    QTest::newRow("one byte short") << qint64(3) << false;
    QTest::newRow("exactly the limit") << qint64(4) << true;
}

void tst_FileLoading::sizeLimitIsInclusive()
{
    QFETCH(qint64, maxBytes);
    QFETCH(bool, ok);
    writeFile(QStringLiteral("four.txt"), "abcd");
    const FileReadResult result = ReadWholeFile(QStringLiteral("four.txt"), maxBytes);
    QCOMPARE(result.ok, ok);
    QCOMPARE(result.bytes, ok ? QByteArray("abcd") : QByteArray());
    QCOMPARE(result.error.isEmpty(), ok);
}

void tst_FileLoading::browse_data()
{
    QTest::addColumn<QString>("defaultName");
    QTest::addColumn<bool>("startFromCopy");
    QTest::addColumn<QString>("typed");   // empty: cancel
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("shown");

    const QString textFile = m_dir.filePath(QStringLiteral("notes.txt"));
    writeFile(textFile, "not a library");
    QTest::newRow("library without the entry points") << "libpcre.so.3" << false << kPcre2Library << false
                                                      << kPcre2Library;
    QTest::newRow("text file falls back to the default") << "libpcre.so.3" << false << textFile << true
                                                         << kRealLibrary;
    QTest::newRow("cancel reloads the default") << "libpcre.so.3" << true << QString() << true << kRealLibrary;
    QTest::newRow("cancel, no default reachable") << "libnothere.so" << true << QString() << false << QString();
}

void tst_FileLoading::browse()
{
    QFETCH(QString, defaultName);
    QFETCH(bool, startFromCopy);
    QFETCH(QString, typed);
    QFETCH(bool, loaded);
    QFETCH(QString, shown);
    if (typed == kPcre2Library && !QFile::exists(kPcre2Library))
        QSKIP("No PCRE2 library installed.");
    TesterDriver t({defaultName.toStdString()});
    if (startFromCopy) {
        QString path = m_libCopy;
        t.dlg->LoadLibraryFromPath(path);
    }
    QVERIFY(PcreIsLoaded());
    showRedMatch(t);
    const int held = int(t.dlg->CompiledPattern() != nullptr) + int(t.dlg->StudyData() != nullptr);
    QVERIFY(held > 0);
    FreeCounter frees;
    QVERIFY(frees.hooked());

    answerFileDialog(typed, [&] { t.click(IDC_BROWSE); });

    // The held pattern went back through the old library while it was
    // still loaded.
    QCOMPARE(FreeCounter::count(), held);
    QVERIFY(!t.dlg->CompiledPattern());
    QCOMPARE(PcreIsLoaded(), loaded);
    QCOMPARE(t.libraryPath(), shown);
    QCOMPARE(t.status(), loaded ? "PCRE.dll was loaded. Version " + QString::fromLatin1(PcreVersionText())
                                : QStringLiteral("First, load PCRE.dll..."));
    QCOMPARE(t.enabled(IDC_PATTERN), loaded);
    QCOMPARE(t.enabled(IDC_LOAD_PATTERN), loaded);
}

void tst_FileLoading::dialogShowsStringsAndFilters_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QStringList>("offered");

    const QStringList textFilters{"Text files (*.txt)", "Rich Text format (*.rtf)", "Microsoft Word (*.doc)",
                                  "All files (*.*)"};
    const QStringList libraryFilters{"DLL files (*.dll)", "All files (*.*)"};
    QTest::newRow("Load file") << IDC_LOAD_INPUT << "Load a text file..." << "" << textFilters
                               << QStringList{"FOO.TXT", "a.txt"};
    QTest::newRow("Load from file...") << IDC_LOAD_PATTERN << "Load a text file..." << "" << textFilters
                                       << QStringList{"FOO.TXT", "a.txt"};
    QTest::newRow("Browse...") << IDC_BROWSE << "Locate the PCRE.dll file" << "PCRE" << libraryFilters
                               << QStringList{"libx.so", "liby.so.1", "z.DLL"};
}

void tst_FileLoading::dialogShowsStringsAndFilters()
{
    QFETCH(int, button);
    QFETCH(QString, title);
    QFETCH(QString, fileName);
    QFETCH(QStringList, filters);
    QFETCH(QStringList, offered);
    QStringList all{"FOO.TXT", "README", "a.txt", "b.bin", "libx.so", "liby.so.1", "r.rtf", "w.Doc", "z.DLL"};
    QDir listing(m_dir.filePath(QStringLiteral("listing")));
    QVERIFY(listing.mkpath(QStringLiteral(".")));
    for (const QString &name : all)
        writeFile(listing.filePath(name), "x");
    QVERIFY(QDir::setCurrent(listing.path()));
    TesterDriver t;
    // An earlier dialog ended elsewhere; this one still opens in the
    // current folder.
    answerFileDialog(kRealLibrary, [&] { t.click(IDC_BROWSE); });

    const DialogView view = viewFileDialog(offered, all, [&] { t.click(button); });
    QVERIFY(QDir::setCurrent(m_dir.path()));

    QCOMPARE(view.title, title);
    QCOMPARE(view.folder, listing.path());
    QCOMPARE(view.fileName, fileName);
    QCOMPARE(view.filters, filters);
    QCOMPARE(view.filterIndex, 0);
    QCOMPARE(view.offered, offered);
    QCOMPARE(view.offeredAll, all);
}

void tst_FileLoading::dialogsPersistNothing()
{
    TesterDriver t;
    writeFile(QStringLiteral("loaded.txt"), "x");
    answerFileDialog(QStringLiteral("loaded.txt"), [&] { t.click(IDC_LOAD_INPUT); });
    QCOMPARE(t.input()->GetTextBytes(), QByteArray("x"));
    // Qt's dialog saved its state, but not to the user's settings.
    QCOMPARE(QDir(configHome().path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(QFile::exists(m_settings.filePath(QStringLiteral("QtProject.conf"))));
}

QTEST_MAIN(tst_FileLoading)
#include "tst_fileloading.moc"
