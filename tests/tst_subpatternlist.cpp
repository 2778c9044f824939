// The subpattern list: its lines, picking a line, and when the window is
// created, placed, shown, hidden and refilled.

#include "TesterDriver.h"

#include "CListBox.h"

#include <QAccessible>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

// Runs `pattern` over `input` and opens the list.
CSubpatternListDlg *execAndShowList(TesterDriver &t, const QString &pattern, const QString &input)
{
    t.setCheck(IDC_GREEDY, true);
    t.typePattern(pattern.toLatin1());
    t.typeInput(input.toLatin1());
    t.click(IDC_EXEC);
    t.click(IDC_MORE);
    return t.dlg->SubpatternList();
}

QString linesOf(const CSubpatternListDlg *list) { return list->List()->AllLinesText(); }

} // namespace

class tst_SubpatternList : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        verifyNoWindowLeftOpen();
        QVERIFY(!PcreIsLoaded());
    }

    void linesAndPicks_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<int>("row");   // the line picked, and the range it selects
        QTest::addColumn<Range>("range");
        QTest::addColumn<bool>("byScreenReader");   // selected without moving the current line
        QTest::newRow("sorted as text, unset pair omitted")
            << "(?<year>\\d{4})-(?<mon>\\d\\d)(x)?(?<Day>y)(a)(b)(c)(d)(e)(f)" << "2026-12yabcdef"
            << "0 {0,14}\n10 {13,14}\n5 {8,9}\n6 {9,10}\n7 {10,11}\n8 {11,12}\n9 {12,13}\nDay (4) {7,8}\n"
               "mon (2) {5,7}\nyear (1) {0,4}" << 1 << Range{13, 14} << false;
        QTest::newRow("offsets past 65535") << "a(b)c" << QString(70000, 'x') + "abc"
                                            << "0 {70000,70003}\n1 {70001,70002}" << 1 << Range{70001, 70002} << false;
        QTest::newRow("outside the match") << "a(?=(bc))" << "xabc" << "0 {1,2}\n1 {2,4}" << 1 << Range{2, 4} << true;
        QTest::newRow("first line, after focus") << "(a)(b)" << "ab" << "0 {0,2}\n1 {0,1}\n2 {1,2}" << 0
                                                 << Range{0, 2} << false;
    }

    void linesAndPicks()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, input);
        QFETCH(QString, lines);
        QFETCH(int, row);
        QFETCH(Range, range);
        QFETCH(bool, byScreenReader);
        TesterDriver t;
        t.setCheck(IDC_HIGHLIGHT, true);
        t.dlg->show();
        CSubpatternListDlg *list = execAndShowList(t, pattern, input);
        QVERIFY(QTest::qWaitForWindowActive(list));
        QCOMPARE(linesOf(list), lines);
        const Range match = t.match();
        QSignalSpy picks(list, &CSubpatternListDlg::WM_SUBPATTERN_SELECT);
        CListBox *box = list->List();
        box->setFocus(Qt::TabFocusReason);   // reaching the list picks nothing
        if (byScreenReader)
            QAccessible::queryAccessibleInterface(box)->tableInterface()->selectRow(row);
        else
            QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualItemRect(box->item(row)).center());
        QCOMPARE(picks.size(), 1);
        QCOMPARE(t.selection(), range);
        // Only the match itself is coloured, not the picked range.
        for (int pos = std::min(range.start, match.start); pos < std::max(range.end, match.end); ++pos)
            QCOMPARE(t.input()->IsColoredRed(pos), pos >= match.start && pos < match.end);
        QCOMPARE(QApplication::focusWidget(), box);
        list->hide();
        t.dlg->hide();
    }

    void fillFromVector()
    {
        TesterDriver t;
        std::string error;
        int errorOffset = 0;
        const PcreCodePtr code = PcreCompile("(?<x>a)?(b)(c)(d)", &error, &errorOffset, false);
        const int offsets[12] = {0, 3, -1, 1, 2, -1, -1, -1};
        CSubpatternListDlg list(t.dlg.get());
        list.Fill(code, nullptr, offsets, 12);   // half-set pairs listed, the unset pair not
        QCOMPARE(linesOf(&list), "0 {0,3}\n2 {2,4294967295}\nx (1) {4294967295,1}");
        list.Fill(code, nullptr, offsets, 8);    // the remainder of the length dropped
        QCOMPARE(linesOf(&list), "0 {0,3}\nx (1) {4294967295,1}");
        list.Fill(PcreCodePtr(), nullptr, offsets, 12);
        QCOMPARE(linesOf(&list), QString());
    }

    // Placed beside the tester when first shown, where the user put it after.
    void closingOnlyHides()
    {
        TesterDriver t;
        t.dlg->show();
        QPointer<CSubpatternListDlg> list = execAndShowList(t, "(\\d)", "1 2 3");
        QVERIFY(QTest::qWaitForWindowExposed(list));
        const QRect tester = t.dlg->frameGeometry();
        QCOMPARE(list->frameGeometry().left(), tester.left() + tester.width());
        QCOMPARE(list->frameGeometry().bottom(), tester.bottom());
        t.click(IDC_EXEC_NEXT);   // refilled, still shown
        QVERIFY(list->isVisible() && linesOf(list) == "0 {2,3}\n1 {2,3}");

        list->move(10, 20);
        list->close();
        QTest::qWait(1);   // deferred deletions run, as in the event loop
        t.click(IDC_EXEC_NEXT);   // refilled, still hidden
        QVERIFY(list && !list->isVisible());
        QCOMPARE(linesOf(list), "0 {4,5}\n1 {4,5}");
        t.click(IDC_MORE);
        QVERIFY(t.dlg->SubpatternList() == list && list->isVisible());
        QCOMPARE(list->pos(), QPoint(10, 20));

        // A reload releases the pattern, its offsets kept: nothing of it is listed.
        QString path;
        t.dlg->LoadLibraryFromPath(path);
        QVERIFY(!list->isVisible() && !t.enabled(IDC_MORE));
        t.dlg->OnMore();
        QCOMPARE(linesOf(list), QString());
        list->hide();
        t.dlg->hide();
    }

    // Escape, Enter and "Close" hide the list like its close box: never destroy it.
    void keysAndCloseOnlyHide_data()
    {
        QTest::addColumn<int>("key");   // 0: the "Close" button
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Close") << 0;
    }

    void keysAndCloseOnlyHide()
    {
        QFETCH(int, key);
        TesterDriver t;
        QPointer<CSubpatternListDlg> list = execAndShowList(t, "(\\d)", "1 2");
        if (key)
            QTest::keyClick(list->List(), Qt::Key(key));
        else
            qobject_cast<QAbstractButton *>(list->GetDlgItem(IDOK))->click();
        QTest::qWait(1);
        QVERIFY(list && !list->isVisible());
        QCOMPARE(linesOf(list), "0 {0,1}\n1 {0,1}");
    }

    void hiddenBy_data()
    {
        QTest::addColumn<QString>("pattern");   // first run caseless
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("action");        // typing into the input or the pattern, a button
        QTest::newRow("input edit") << "(a)" << "a" << int(IDC_INPUT);
        QTest::newRow("pattern edit") << "(a)" << "a" << int(IDC_PATTERN);
        QTest::newRow("Exec without captures") << "(a)|A" << "A" << int(IDC_EXEC);
        QTest::newRow("failing Exec next") << "(a)" << "ab" << int(IDC_EXEC_NEXT);
    }

    void hiddenBy()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, input);
        QFETCH(int, action);
        TesterDriver t;
        t.setCheck(IDC_CASELESS, true);
        QVERIFY(execAndShowList(t, pattern, input)->isVisible());
        t.setCheck(IDC_CASELESS, false);
        if (action == IDC_INPUT || action == IDC_PATTERN)
            (action == IDC_INPUT ? t.input() : t.pattern())->SetTextBytes("b");
        else
            t.click(action);
        QVERIFY(!t.dlg->SubpatternList()->isVisible() && !t.enabled(IDC_MORE));
    }
};

QTEST_MAIN(tst_SubpatternList)
#include "tst_subpatternlist.moc"
