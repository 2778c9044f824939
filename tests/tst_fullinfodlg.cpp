// "Expression details...": what the dialog reports about a pattern, and
// that it runs modally and goes away when closed.

#include "TesterDriver.h"

#include "CFullInfoDlg.h"
#include "CListBox.h"

#include <QPushButton>
#include <QTest>

namespace {

// Runs `open`, which runs the details dialog modally, and closes it with
// "OK"; returns the texts it showed in control id order (the list of names
// as its lines), nothing when none opened.
template <class Open>
QStringList readDetails(Open open)
{
    QStringList seen;
    QTimer reader;   // owned here, so a timer that found no dialog dies with this call
    QObject::connect(&reader, &QTimer::timeout, [&seen] {
        if (auto *dialog = qobject_cast<CFullInfoDlg *>(QApplication::activeModalWidget())) {
            for (int id = IDC_INFO_PATTERN; id <= IDC_INFO_NAMEENTRYSIZE; ++id)
                seen << (id == IDC_INFO_NAMES ? qobject_cast<CListBox *>(dialog->GetDlgItem(id))->AllLinesText()
                                              : dialog->GetDlgItemText(id));
            qobject_cast<QPushButton *>(dialog->GetDlgItem(IDOK))->click();
        }
    });
    reader.start(0);
    open();
    return seen;
}

} // namespace

class tst_FullInfoDlg : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        verifyNoWindowLeftOpen();
        QVERIFY(!PcreIsLoaded());
    }

    void report_data()
    {
        QTest::addColumn<QString>("library");   // empty: the default
        QTest::addColumn<QString>("pattern");
        // Names | options | back refs | captures | first byte | table | last byte | name count | size | study size
        // | entry size; <size> and <study>: what the engine reports.
        QTest::addColumn<QString>("shown");
        QTest::newRow("abc") << "" << "abc" << "||0|0|97 (a)|No|99 (c)|0|<size>|<study>|0";
        QTest::newRow("^abc") << "" << "^abc" << "|ANCHORED |0|0|No (only anchored)|No|No such byte|0|<size>|<study>|0";
        QTest::newRow("[ab]c") << "" << "[ab]c" << "||0|0|No (only anchored)|Yes|99 (c)|0|<size>|<study>|0";
        QTest::newRow(".*c") << "" << ".*c" << "||0|0|No (only at the start)|No|99 (c)|0|<size>|<study>|0";
        QTest::newRow("back reference") << "" << "(a)(b)\\2" << "||2|2|97 (a)|No|98 (b)|0|<size>|<study>|0";
        QTest::newRow("year and month") << "" << "(?<year>\\d{4})-(?<mon>\\d\\d)"
                                        << "1 year\n2 mon||0|2|No (only anchored)|Yes|45 (-)|2|<size>|<study>|7";
        QTest::newRow("study finds nothing") << "" << "x*" << "||0|0|No (only anchored)|No|No such byte|0|<size>|0|0";
        // The number is shown whole, the character is its low byte.
        QTest::newRow("353 from the fake") << PC_FAKE_LIBRARY_DIR "/libfakepcre_firstbyte353.so" << "abc"
                                           << "||0|0|353 (a)|No|353 (a)|0|<size>|<study>|0";
    }

    void report()
    {
        QFETCH(QString, library);
        QFETCH(QString, pattern);
        QFETCH(QString, shown);
        const bool real = library.isEmpty();
        TesterDriver t;
        t.dlg->LoadLibraryFromPath(library);
        t.setCheck(IDC_CASELESS, true);   // modifiers never reach the details
        t.typePattern(pattern.toLatin1());
        QCOMPARE(FreeCounter::Install(), real);   // the fakes forward their frees
        const QStringList seen = readDetails([&t] { t.click(IDC_DETAILS); });
        // The pattern compiled for the report, and its study data, went back
        // when the dialog closed.
        if (real)
            QCOMPARE(FreeCounter::frees, pattern == "x*" ? 1 : 2);

        std::string error;
        int errorOffset = 0;
        const PcreCodePtr code = PcreCompile(pattern.toLatin1().constData(), &error, &errorOffset, false);
        const PcreExtraPtr extra = PcreStudy(code);
        shown.replace("<size>", QString::number(*PcreFullInfo<PCRE_INFO_SIZE>(code, extra.get())))
            .replace("<study>", QString::number(*PcreFullInfo<PCRE_INFO_STUDYSIZE>(code, extra.get())));
        QCOMPARE(seen, (pattern + '|' + shown).split('|'));
    }

    // In their order, not by bit; the last without a space; unnamed bits ignored.
    void optionWords()
    {
        QCOMPARE(CFullInfoDlg::OptionWords(0x7AFF), QStringLiteral("ANCHORED CASELESS DOLLAR_ENDONLY DOTALL EXTENDED "
                                                                   "EXTRA MULTILINE NO_AUTO_CAPTURE UNGREEDY UTF8 "
                                                                   "NO_UTF8_CHECK"));
    }

    // With no library nothing opens; a pattern that no longer compiles (after a
    // library reload) leaves the dialog nothing to read but the text.
    void noLibraryOrPatternShowsNothing()
    {
        QVERIFY(readDetails([] { TesterDriver({"libpcre-not-here.so.9"}).dlg->OnExpressionDetails(); }).isEmpty());
        TesterDriver t;
        CFullInfoDlg dialog;
        dialog.FillFromPattern(PcreCodePtr(), nullptr, "(a");
        QCOMPARE(readDetails([&dialog] { dialog.DoModal(); }), QStringList{"(a"} + QStringList(11, QString()));
    }
};

QTEST_MAIN(tst_FullInfoDlg)
#include "tst_fullinfodlg.moc"
