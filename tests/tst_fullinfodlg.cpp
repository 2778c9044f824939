// "Expression details...": what the dialog reports about a pattern, and
// that it runs modally and goes away when closed.

#include "TesterDriver.h"

#include "CFullInfoDlg.h"
#include "CListBox.h"

#include <QPushButton>
#include <QTest>

namespace {

// What the details dialog showed while it ran.
struct Details
{
    bool opened = false;
    bool modal = false;
    QHash<int, QString> texts;   // control id -> text
    QByteArrayList names;
};

// Runs `open`, which runs the details dialog modally; reads the dialog while
// it runs and closes it with "OK".
template <class Open>
Details readDetails(Open open)
{
    Details seen;
    // Owned here, so a timer that found no dialog dies with this call.
    QTimer reader;
    reader.setSingleShot(true);
    QObject::connect(&reader, &QTimer::timeout, [&seen] {
        auto *dialog = qobject_cast<CFullInfoDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.opened = true;
        seen.modal = dialog->isModal();
        for (int id = IDC_INFO_PATTERN; id <= IDC_INFO_NAMEENTRYSIZE; ++id)
            seen.texts[id] = dialog->GetDlgItemText(id);
        auto *names = qobject_cast<CListBox *>(dialog->GetDlgItem(IDC_INFO_NAMES));
        for (int i = 0; i < names->GetCount(); ++i)
            seen.names << names->GetText(i);
        qobject_cast<QPushButton *>(dialog->GetDlgItem(IDOK))->click();
    });
    reader.start(0);
    open();
    return seen;
}

Details openDetails(TesterDriver &t)
{
    return readDetails([&t] { t.click(IDC_DETAILS); });
}

bool anyDetailsDialogLeft()
{
    for (QWidget *w : QApplication::allWidgets()) {
        if (qobject_cast<CFullInfoDlg *>(w))
            return true;
    }
    return false;
}

// The sizes the engine reports for `pattern` compiled and studied alone.
std::pair<size_t, size_t> engineSizes(const QByteArray &pattern, bool &studied)
{
    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile(pattern.constData(), &error, &errorOffset, false));
    PcreExtraPtr extra(PcreStudy(code.get(), &error));
    size_t size = 0, studySize = 0;
    PcreBinding.pcre_fullinfo(code.get(), extra.get(), PCRE_INFO_SIZE, &size);
    PcreBinding.pcre_fullinfo(code.get(), extra.get(), PCRE_INFO_STUDYSIZE, &studySize);
    studied = extra != nullptr;
    return {size, studySize};
}

} // namespace

class tst_FullInfoDlg : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void report_data();
    void report();
    void valueAbove255();
    void optionWords_data();
    void optionWords();
    void noLibraryOpensNothing();
    void noPatternShowsNoValues();
};

void tst_FullInfoDlg::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->windowTitle() + " left open"));
    QVERIFY(!PcreIsLoaded());
}

void tst_FullInfoDlg::report_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QStringList>("values");   // back refs, captures, first byte, table, last byte, options
    QTest::addColumn<bool>("studied");
    QTest::addColumn<QByteArrayList>("names");
    QTest::newRow("abc") << QByteArray("abc") << QStringList{"0", "0", "97 (a)", "No", "99 (c)", ""} << true
                         << QByteArrayList{};
    QTest::newRow("^abc") << QByteArray("^abc")
                          << QStringList{"0", "0", "No (only anchored)", "No", "No such byte", "ANCHORED "}
                          << true << QByteArrayList{};
    QTest::newRow("[ab]c") << QByteArray("[ab]c") << QStringList{"0", "0", "No (only anchored)", "Yes", "99 (c)", ""}
                           << true << QByteArrayList{};
    QTest::newRow(".*c") << QByteArray(".*c") << QStringList{"0", "0", "No (only at the start)", "No", "99 (c)", ""}
                         << true << QByteArrayList{};
    QTest::newRow("back reference") << QByteArray("(a)(b)\\2") << QStringList{"2", "2", "97 (a)", "No", "98 (b)", ""}
                                    << true << QByteArrayList{};
    QTest::newRow("year and month") << QByteArray("(?<year>\\d{4})-(?<mon>\\d\\d)")
                                    << QStringList{"0", "2", "No (only anchored)", "Yes", "45 (-)", ""} << true
                                    << QByteArrayList{"1 year", "2 mon"};
    QTest::newRow("study finds nothing") << QByteArray("x*") << QStringList{"0", "0", "No (only anchored)", "No",
                                                                            "No such byte", ""}
                                         << false << QByteArrayList{};
}

void tst_FullInfoDlg::report()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QStringList, values);
    QFETCH(bool, studied);
    QFETCH(QByteArrayList, names);
    TesterDriver t;
    t.setCheck(IDC_CASELESS, true);   // modifiers never reach the details
    t.typePattern(pattern);
    const Details seen = openDetails(t);
    QVERIFY(seen.opened);
    QVERIFY(seen.modal);
    QVERIFY(!anyDetailsDialogLeft());

    QCOMPARE(seen.texts[IDC_INFO_PATTERN], QString::fromLatin1(pattern));
    const QStringList shown{seen.texts[IDC_INFO_BACKREFMAX], seen.texts[IDC_INFO_CAPTURECOUNT],
                            seen.texts[IDC_INFO_FIRSTBYTE],  seen.texts[IDC_INFO_FIRSTTABLE],
                            seen.texts[IDC_INFO_LASTLITERAL], seen.texts[IDC_INFO_OPTIONS]};
    QCOMPARE(shown, values);
    QCOMPARE(seen.texts[IDC_INFO_NAMECOUNT], QString::number(names.size()));
    QCOMPARE(seen.texts[IDC_INFO_NAMEENTRYSIZE], names.isEmpty() ? QStringLiteral("0") : QStringLiteral("7"));
    QCOMPARE(seen.names, names);

    bool engineStudied = false;
    const auto [size, studySize] = engineSizes(pattern, engineStudied);
    QCOMPARE(engineStudied, studied);
    QVERIFY(size > 0);
    QCOMPARE(seen.texts[IDC_INFO_SIZE], QString::number(size));
    QCOMPARE(seen.texts[IDC_INFO_STUDYSIZE], QString::number(studySize));
    QCOMPARE(studySize > 0, studied);
}

// The engine may report a first or last byte above 255: the number is shown
// whole, the character is its low byte.
void tst_FullInfoDlg::valueAbove255()
{
    TesterDriver t;
    QString path = QStringLiteral(PC_FAKE_LIBRARY_DIR "/libfakepcre_firstbyte353.so");
    t.dlg->LoadLibraryFromPath(path);
    QVERIFY(PcreIsLoaded());
    t.typePattern("abc");
    const Details seen = openDetails(t);
    QCOMPARE(seen.texts[IDC_INFO_FIRSTBYTE], QStringLiteral("353 (a)"));
    QCOMPARE(seen.texts[IDC_INFO_LASTLITERAL], QStringLiteral("353 (a)"));
}

void tst_FullInfoDlg::optionWords_data()
{
    QTest::addColumn<qulonglong>("options");
    QTest::addColumn<QString>("words");
    QTest::newRow("none") << qulonglong(0) << QString();
    QTest::newRow("in their order, not by bit")
        << qulonglong(PCRE_MULTILINE | PCRE_CASELESS | PCRE_ANCHORED) << "ANCHORED CASELESS MULTILINE ";
    QTest::newRow("all") << qulonglong(0x3A7F)
                         << "ANCHORED CASELESS DOLLAR_ENDONLY DOTALL EXTENDED EXTRA MULTILINE NO_AUTO_CAPTURE "
                            "UNGREEDY UTF8 NO_UTF8_CHECK";
    QTest::newRow("last word has no space") << qulonglong(PCRE_NO_UTF8_CHECK) << "NO_UTF8_CHECK";
    QTest::newRow("unnamed bits ignored") << qulonglong(0x4000 | PCRE_UTF8) << "UTF8 ";
}

void tst_FullInfoDlg::optionWords()
{
    QFETCH(qulonglong, options);
    QFETCH(QString, words);
    QCOMPARE(CFullInfoDlg::OptionWords(options), words);
}

void tst_FullInfoDlg::noLibraryOpensNothing()
{
    TesterDriver t;
    t.typePattern("(a)");
    PcreSetDefaultLibraryNames({"libpcre-not-here.so.9"});
    QString nowhere = QStringLiteral("/nonexistent/libpcre.so");
    t.dlg->LoadLibraryFromPath(nowhere);
    QVERIFY(!PcreIsLoaded());
    QVERIFY(t.enabled(IDC_DETAILS));   // the last validation's verdict stays
    QVERIFY(!openDetails(t).opened);
}

// A pattern that no longer compiles (after a library reload) leaves the
// dialog nothing to read but the text.
void tst_FullInfoDlg::noPatternShowsNoValues()
{
    TesterDriver t;
    CFullInfoDlg dialog;
    dialog.FillFromPattern(nullptr, nullptr, "(a");
    Details seen = readDetails([&dialog] { dialog.DoModal(); });
    QVERIFY(seen.opened);
    QCOMPARE(seen.texts.take(IDC_INFO_PATTERN), QStringLiteral("(a"));
    for (const QString &text : std::as_const(seen.texts))
        QCOMPARE(text, QString());
    QVERIFY(seen.names.isEmpty());
}

QTEST_MAIN(tst_FullInfoDlg)
#include "tst_fullinfodlg.moc"
