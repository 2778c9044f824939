// The subpattern list: its lines, picking a line, and when the window is
// created, placed, shown, hidden and refilled.

#include "TesterDriver.h"

#include "CListBox.h"

#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArrayList linesOf(const CSubpatternListDlg *list)
{
    QByteArrayList lines;
    for (int i = 0; i < list->List()->GetCount(); ++i)
        lines << list->List()->GetText(i);
    return lines;
}

QByteArray tenGroups()
{
    QByteArray pattern;
    for (char c = 'a'; c <= 'j'; ++c)
        pattern += QByteArray("(") + c + ')';
    return pattern;
}

// Runs `pattern` over `input` and opens the list.
void execAndShowList(TesterDriver &t, const QByteArray &pattern, const QByteArray &input)
{
    t.setCheck(IDC_GREEDY, true);
    t.typePattern(pattern);
    t.typeInput(input);
    t.click(IDC_EXEC);
    t.click(IDC_MORE);
}

// Clicks line `row` with the mouse, as a user picks it.
void clickLine(CListBox *list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

} // namespace

class tst_SubpatternList : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void lines_data();
    void lines();
    void fillFromVector_data();
    void fillFromVector();
    void pickSelectsRange_data();
    void pickSelectsRange();
    void focusStaysInList();
    void placedBesideTesterOnce();
    void closingOnlyHides_data();
    void closingOnlyHides();
    void hiddenBy_data();
    void hiddenBy();
    void refillKeepsVisibility();
    void reloadLeavesNothingToList();
};

void tst_SubpatternList::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->windowTitle() + " left open"));
    QVERIFY(!PcreIsLoaded());
}

void tst_SubpatternList::lines_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArrayList>("lines");   // empty: "More..." stays disabled
    QTest::newRow("unset pair omitted") << QByteArray("(a)|(b)") << QByteArray("b")
                                        << QByteArrayList{"0 {0,1}", "2 {0,1}"};
    QTest::newRow("named") << QByteArray("(?<word>\\w{5})") << QByteArray("the quick")
                           << QByteArrayList{"0 {4,9}", "word (1) {4,9}"};
    QTest::newRow("year and month") << QByteArray("(?<year>\\d{4})-(?<mon>\\d\\d)")
                                    << QByteArray("on 2026-12 and 2027-01")
                                    << QByteArrayList{"0 {3,10}", "mon (2) {8,10}", "year (1) {3,7}"};
    QTest::newRow("ten groups sort as text")
        << tenGroups() << QByteArray("abcdefghij")
        << QByteArrayList{"0 {0,10}", "1 {0,1}", "10 {9,10}", "2 {1,2}", "3 {2,3}", "4 {3,4}",
                          "5 {4,5}", "6 {5,6}", "7 {6,7}", "8 {7,8}", "9 {8,9}"};
    QTest::newRow("names sort without case") << QByteArray("(?<B>x)(?<a>y)(?<_c>z)") << QByteArray("xyz")
                                             << QByteArrayList{"0 {0,3}", "_c (3) {2,3}", "a (2) {1,2}",
                                                               "B (1) {0,1}"};
    QTest::newRow("no subpatterns") << QByteArray("a") << QByteArray("a") << QByteArrayList{};
    QTest::newRow("only an unset subpattern") << QByteArray("a|(b)") << QByteArray("a") << QByteArrayList{};
}

void tst_SubpatternList::lines()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, input);
    QFETCH(QByteArrayList, lines);
    TesterDriver t;
    execAndShowList(t, pattern, input);
    QCOMPARE(t.enabled(IDC_MORE), !lines.isEmpty());
    if (lines.isEmpty()) {
        QVERIFY(!t.dlg->SubpatternList());
        return;
    }
    QVERIFY(t.dlg->SubpatternList()->isVisible());
    QCOMPARE(linesOf(t.dlg->SubpatternList()), lines);
    t.dlg->SubpatternList()->hide();
}

void tst_SubpatternList::fillFromVector_data()
{
    QTest::addColumn<bool>("compiled");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::newRow("half-set pairs listed, unset pair not")
        << true << 12 << QByteArrayList{"0 {0,3}", "2 {2,4294967295}", "x (1) {4294967295,1}"};
    QTest::newRow("remainder of the length dropped")
        << true << 8 << QByteArrayList{"0 {0,3}", "x (1) {4294967295,1}"};
    QTest::newRow("no compiled pattern") << false << 12 << QByteArrayList{};
}

void tst_SubpatternList::fillFromVector()
{
    QFETCH(bool, compiled);
    QFETCH(int, length);
    QFETCH(QByteArrayList, lines);
    TesterDriver t;
    const char *error = nullptr;
    int errorOffset = 0;
    PcreCodePtr code(PcreCompile("(?<x>a)?(b)(c)(d)", &error, &errorOffset, false));
    const int offsets[12] = {0, 3, -1, 1, 2, -1, -1, -1};
    CSubpatternListDlg list(t.dlg.get());
    list.Create();
    list.Fill(code.get(), nullptr, offsets, 12);   // replaced by the next fill
    list.Fill(compiled ? code.get() : nullptr, nullptr, offsets, length);
    QCOMPARE(linesOf(&list), lines);
}

void tst_SubpatternList::pickSelectsRange_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("row");
    QTest::addColumn<Range>("range");
    QTest::newRow("third line is group 10") << tenGroups() << QByteArray("abcdefghij") << 2 << Range{9, 10};
    QTest::newRow("offsets past 65535") << QByteArray("a(b)c") << QByteArray(70000, 'x') + "abc" << 1
                                        << Range{70001, 70002};
    QTest::newRow("outside the match") << QByteArray("a(?=(bc))") << QByteArray("xabc") << 1 << Range{2, 4};
}

void tst_SubpatternList::pickSelectsRange()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, input);
    QFETCH(int, row);
    QFETCH(Range, range);
    TesterDriver t;
    t.setCheck(IDC_HIGHLIGHT, true);
    execAndShowList(t, pattern, input);
    const Range match = t.match();
    CSubpatternListDlg *list = t.dlg->SubpatternList();
    QSignalSpy picks(list, &CSubpatternListDlg::WM_SUBPATTERN_SELECT);
    clickLine(list->List(), row);
    QCOMPARE(picks.size(), 1);
    QCOMPARE(picks[0], (QVariantList{qint64(range.start), qint64(range.end)}));
    QCOMPARE(t.selection(), range);
    // Only the match itself is coloured, not the picked range.
    for (int pos = std::min(range.start, match.start); pos < std::max(range.end, match.end); ++pos)
        QCOMPARE(t.input()->IsColoredRed(pos), pos >= match.start && pos < match.end);
    list->hide();
}

void tst_SubpatternList::focusStaysInList()
{
    TesterDriver t;
    t.dlg->show();
    execAndShowList(t, "(a)(b)", "ab");
    CSubpatternListDlg *list = t.dlg->SubpatternList();
    QVERIFY(QTest::qWaitForWindowActive(list));
    QSignalSpy picks(list, &CSubpatternListDlg::WM_SUBPATTERN_SELECT);
    // Reaching the list with the keyboard picks nothing by itself.
    list->List()->setFocus(Qt::TabFocusReason);
    QCOMPARE(picks.size(), 0);
    QTest::keyClick(list->List(), Qt::Key_Down);
    QCOMPARE(t.selection(), (Range{0, 1}));   // second line: "1 {0,1}"
    QCOMPARE(QApplication::focusWidget(), list->List());
    clickLine(list->List(), 0);
    QCOMPARE(t.selection(), (Range{0, 2}));
    QCOMPARE(picks.size(), 2);
    QCOMPARE(QApplication::focusWidget(), list->List());
    list->hide();
    t.dlg->hide();
}

void tst_SubpatternList::placedBesideTesterOnce()
{
    TesterDriver t;
    t.dlg->move(40, 300);
    t.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(t.dlg.get()));
    execAndShowList(t, "(a)", "a");
    CSubpatternListDlg *list = t.dlg->SubpatternList();
    QVERIFY(QTest::qWaitForWindowExposed(list));
    QCOMPARE(list->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    const QRect tester = t.dlg->frameGeometry();
    QCOMPARE(list->frameGeometry().left(), tester.left() + tester.width());
    QCOMPARE(list->frameGeometry().bottom(), tester.bottom());

    const QPoint userPlace(10, 20);
    list->move(userPlace);
    list->hide();
    t.dlg->move(200, 100);
    t.click(IDC_MORE);
    QVERIFY(list->isVisible());
    QCOMPARE(list->pos(), userPlace);
    list->hide();
    t.dlg->hide();
}

void tst_SubpatternList::closingOnlyHides_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Close") << 0;
    QTest::newRow("Enter") << 1;
    QTest::newRow("Escape") << 2;
    QTest::newRow("close box") << 3;
}

void tst_SubpatternList::closingOnlyHides()
{
    QFETCH(int, how);
    TesterDriver t;
    execAndShowList(t, "(a)", "xa");
    QPointer<CSubpatternListDlg> list = t.dlg->SubpatternList();
    const QByteArrayList before = linesOf(list);
    list->move(30, 40);
    switch (how) {
    case 0: qobject_cast<QPushButton *>(list->GetDlgItem(IDOK))->click(); break;
    case 1: QTest::keyClick(list->List(), Qt::Key_Return); break;
    case 2: QTest::keyClick(list->List(), Qt::Key_Escape); break;
    case 3: list->close(); break;
    }
    QVERIFY(list);
    QVERIFY(!list->isVisible());
    t.click(IDC_MORE);
    QCOMPARE(t.dlg->SubpatternList(), list.data());
    QVERIFY(list->isVisible());
    QCOMPARE(list->pos(), QPoint(30, 40));
    QCOMPARE(linesOf(list), before);
    list->hide();
}

enum HidingAction { EditInput, EditPattern, Exec, ExecNext };

void tst_SubpatternList::hiddenBy_data()
{
    QTest::addColumn<QByteArray>("pattern");   // first run with "/i"
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("action");
    QTest::newRow("input edit") << QByteArray("(a)") << QByteArray("a") << int(EditInput);
    QTest::newRow("pattern edit") << QByteArray("(a)") << QByteArray("a") << int(EditPattern);
    QTest::newRow("Exec without captures") << QByteArray("(a)|A") << QByteArray("A") << int(Exec);
    QTest::newRow("Exec without a match") << QByteArray("(a)") << QByteArray("A") << int(Exec);
    QTest::newRow("Exec next without captures") << QByteArray("(a)|b") << QByteArray("ab") << int(ExecNext);
    QTest::newRow("failing Exec next") << QByteArray("(a)") << QByteArray("ab") << int(ExecNext);
}

void tst_SubpatternList::hiddenBy()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, input);
    QFETCH(int, action);
    TesterDriver t;
    t.setCheck(IDC_CASELESS, true);
    execAndShowList(t, pattern, input);
    QVERIFY(t.dlg->SubpatternList()->isVisible());
    t.setCheck(IDC_CASELESS, false);
    switch (action) {
    case EditInput: t.typeInput(input + '!'); break;
    case EditPattern: t.typePattern(pattern + '?'); break;
    case Exec: t.click(IDC_EXEC); break;
    case ExecNext: t.click(IDC_EXEC_NEXT); break;
    }
    QVERIFY(!t.dlg->SubpatternList()->isVisible());
    QVERIFY(!t.enabled(IDC_MORE));
}

void tst_SubpatternList::refillKeepsVisibility()
{
    TesterDriver t;
    execAndShowList(t, "(\\d)", "1 2 3 4");
    CSubpatternListDlg *list = t.dlg->SubpatternList();
    t.click(IDC_EXEC_NEXT);
    QVERIFY(list->isVisible());
    QCOMPARE(linesOf(list), (QByteArrayList{"0 {2,3}", "1 {2,3}"}));
    list->hide();
    t.click(IDC_EXEC_NEXT);
    QVERIFY(!list->isVisible());
    QCOMPARE(linesOf(list), (QByteArrayList{"0 {4,5}", "1 {4,5}"}));
    t.click(IDC_EXEC);
    QVERIFY(!list->isVisible());
    QCOMPARE(linesOf(list), (QByteArrayList{"0 {0,1}", "1 {0,1}"}));
    t.click(IDC_MORE);
    QVERIFY(list->isVisible());
    list->hide();
}

// A reload releases the compiled pattern but keeps the old offsets; the
// list must not read names or offsets of a pattern that is gone, and with
// no library at all it must not call into the engine.
void tst_SubpatternList::reloadLeavesNothingToList()
{
    TesterDriver t;
    execAndShowList(t, "(?<n>a)", "a");
    QString path;
    t.dlg->LoadLibraryFromPath(path);
    QVERIFY(PcreIsLoaded());
    QVERIFY(!t.dlg->SubpatternList()->isVisible());
    t.dlg->OnMore();
    QVERIFY(linesOf(t.dlg->SubpatternList()).isEmpty());

    PcreSetDefaultLibraryNames({"libpcre-not-here.so.9"});
    QString nowhere = QStringLiteral("/nonexistent/libpcre.so");
    t.dlg->LoadLibraryFromPath(nowhere);
    QVERIFY(!PcreIsLoaded());
    t.dlg->OnMore();
    QVERIFY(linesOf(t.dlg->SubpatternList()).isEmpty());
    t.dlg->SubpatternList()->hide();
}

QTEST_MAIN(tst_SubpatternList)
#include "tst_subpatternlist.moc"
