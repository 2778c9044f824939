// Live validation, Exec, "Exec next" and highlighting, byte-exact.

#include "TesterDriver.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(QList<Range>)

class tst_Matching : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void validation_data();
    void validation();
    void validEditKeepsExecNext();
    void inputEditWithdrawsResults();
    void series_data();
    void series();
    void engineFailuresAreNamed_data();
    void engineFailuresAreNamed();
    void byteExactSelection_data();
    void byteExactSelection();
    void highlightAccumulatesAndClears();
    void seriesKeepsItsOptionWord();
    void emptyInputShowsMessage();
    void noLibraryNeverCallsEngine();
    void manyCapturingGroups();
};

void tst_Matching::cleanup()
{
    QVERIFY(!PcreIsLoaded());
}

void tst_Matching::validation_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<bool>("valid");
    QTest::newRow("lone parenthesis") << QByteArray("(") << false;
    QTest::newRow("empty group") << QByteArray("()") << true;
    QTest::newRow("empty pattern") << QByteArray("") << true;
    QTest::newRow("bad class") << QByteArray("[a") << false;
    QTest::newRow("needs /x to compile") << QByteArray("a #comment )") << false;
}

void tst_Matching::validation()
{
    QFETCH(QByteArray, pattern);
    QFETCH(bool, valid);
    TesterDriver t;
    t.typePattern("x");
    t.typeInput("xx");
    t.click(IDC_EXEC);
    QVERIFY(t.enabled(IDC_EXEC_NEXT));
    t.typePattern(pattern);
    QCOMPARE(t.enabled(IDC_EXEC), valid);
    QCOMPARE(t.enabled(IDC_DETAILS), valid);
    QVERIFY(!t.enabled(IDC_MORE));
    if (valid) {
        QCOMPARE(t.status(), QString());
    } else {
        QVERIFY(!t.enabled(IDC_EXEC_NEXT));
        QVERIFY(!t.status().isEmpty());
    }
}

void tst_Matching::validEditKeepsExecNext()
{
    TesterDriver t;
    t.typePattern("a");
    t.typeInput("aaa");
    t.click(IDC_EXEC);
    t.typePattern("b");   // valid: the series goes on with the pattern "a"
    QVERIFY(t.enabled(IDC_EXEC_NEXT));
    t.click(IDC_EXEC_NEXT);
    QCOMPARE(t.match(), (Range{1, 2}));
    t.typePattern("(");   // invalid: ends the offer of "Exec next"
    t.typePattern("b");
    QVERIFY(t.enabled(IDC_EXEC));
    QVERIFY(!t.enabled(IDC_EXEC_NEXT));
}

void tst_Matching::inputEditWithdrawsResults()
{
    TesterDriver t;
    t.typePattern("(a)");
    t.typeInput("aaa");
    t.click(IDC_EXEC);
    QVERIFY(t.enabled(IDC_MORE));
    t.input()->insertAt(QStringLiteral("b"), 0, 0);
    QVERIFY(!t.enabled(IDC_MORE));
    QVERIFY(!t.enabled(IDC_EXEC_NEXT));
    QVERIFY(t.enabled(IDC_EXEC));
}

void tst_Matching::series_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("greedy");
    QTest::addColumn<QList<Range>>("matches");
    QTest::newRow("last match is reachable") << QByteArray("a") << QByteArray("aaa") << true
                                             << QList<Range>{{0, 1}, {1, 2}, {2, 3}};
    QTest::newRow("ungreedy a+") << QByteArray("a+") << QByteArray("aaa") << false
                                 << QList<Range>{{0, 1}, {1, 2}, {2, 3}};
    QTest::newRow("greedy a+") << QByteArray("a+") << QByteArray("aaa") << true << QList<Range>{{0, 3}};
    QTest::newRow("empty matches advance, greedy")
        << QByteArray("a*") << QByteArray("baaac") << true << QList<Range>{{0, 0}, {1, 4}, {4, 4}, {5, 5}};
    QTest::newRow("empty matches advance, ungreedy")
        << QByteArray("a*") << QByteArray("baaac") << false
        << QList<Range>{{0, 0}, {1, 1}, {1, 2}, {2, 2}, {2, 3}, {3, 3}, {3, 4}, {4, 4}, {5, 5}};
    QTest::newRow("single byte, empty match") << QByteArray("x*") << QByteArray("a") << true
                                              << QList<Range>{{0, 0}, {1, 1}};
    QTest::newRow("three addresses")
        << QByteArray("(\\w+)@(\\w+)\\.com") << QByteArray("ann@x.com, bob@y.com; cy@z.com") << true
        << QList<Range>{{0, 9}, {11, 20}, {22, 30}};
    QTest::newRow("empty match steps over a UTF-8 character")
        << QByteArray("(*UTF8)x*") << QByteArray("\xC3\xA9") << true << QList<Range>{{0, 0}, {2, 2}};
}

void tst_Matching::series()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, input);
    QFETCH(bool, greedy);
    QFETCH(QList<Range>, matches);
    TesterDriver t;
    t.setCheck(IDC_GREEDY, greedy);
    t.typePattern(pattern);
    t.typeInput(input);
    t.click(IDC_EXEC);
    QList<Range> seen{t.match()};
    const bool more = seen.back().end < input.size();
    QCOMPARE(t.status(), more ? QStringLiteral("Matches found!") : QStringLiteral("Match found!"));
    while (t.enabled(IDC_EXEC_NEXT) && seen.size() <= matches.size()) {
        t.click(IDC_EXEC_NEXT);
        if (t.status() != QStringLiteral("Matches found!"))
            break;
        seen << t.match();
        QCOMPARE(t.selection(), seen.back());
    }
    QCOMPARE(seen, matches);
    QVERIFY(!t.enabled(IDC_EXEC_NEXT));
}

void tst_Matching::engineFailuresAreNamed_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("modifier");
    QTest::addColumn<QString>("statusStart");
    QTest::newRow("no match") << QByteArray("z") << QByteArray("abc") << 0 << "Not match.";
    QTest::newRow("catastrophic backtracking")
        << QByteArray("(a+)+$") << QByteArray(40, 'a') + "b" << 0 << "Engine error -";
    QTest::newRow("compiles only without /x")
        << QByteArray("(#)") << QByteArray("#") << int(IDC_EXTENDED) << "missing ) (at offset 3)";
}

void tst_Matching::engineFailuresAreNamed()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, input);
    QFETCH(int, modifier);
    QFETCH(QString, statusStart);
    TesterDriver t;
    t.setCheck(IDC_GREEDY, true);
    if (modifier)
        t.setCheck(modifier, true);
    t.typePattern(pattern);
    t.typeInput(input);
    t.click(IDC_EXEC);
    QVERIFY2(t.status().startsWith(statusStart), qPrintable(t.status()));
    QVERIFY(!t.enabled(IDC_EXEC_NEXT));
    QVERIFY(!t.enabled(IDC_MORE));
    QVERIFY(!t.dlg->CompiledPattern());
    QCOMPARE(t.input()->GetTextBytes(), input);
    QCOMPARE(t.pattern()->GetTextBytes(), pattern);
}

void tst_Matching::byteExactSelection_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<Range>("match");
    QTest::addColumn<Range>("selection");
    QTest::newRow("CR LF") << QByteArray("\\r\\n") << QByteArray("ab\r\ncd") << Range{2, 4} << Range{2, 4};
    QTest::newRow("lone CR") << QByteArray("\\rc") << QByteArray("ab\rcd") << Range{2, 4} << Range{2, 4};
    QTest::newRow("after NUL") << QByteArray("c") << QByteArray("ab\0cd", 5) << Range{3, 4} << Range{3, 4};
    QTest::newRow("byte E9") << QByteArray("\\xE9") << QByteArray("caf\xE9!") << Range{3, 4} << Range{3, 4};
    QTest::newRow("inside h\xC3\xA9llo") << QByteArray("l+") << QByteArray("h\xC3\xA9llo") << Range{3, 5}
                                        << Range{3, 5};
    QTest::newRow("past 65535") << QByteArray("abc") << QByteArray(70000, 'x') + "abc" << Range{70000, 70003}
                                << Range{70000, 70003};
}

void tst_Matching::byteExactSelection()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, input);
    QFETCH(Range, match);
    QFETCH(Range, selection);
    TesterDriver t;
    t.setCheck(IDC_GREEDY, true);
    t.typePattern(pattern);
    t.typeInput(input);
    t.click(IDC_EXEC);
    QCOMPARE(t.match(), match);
    QCOMPARE(t.selection(), selection);
    QCOMPARE(t.input()->GetTextBytes(), input);
}

void tst_Matching::highlightAccumulatesAndClears()
{
    TesterDriver t;
    const QByteArray input = "a1 b2 c3";
    t.setCheck(IDC_HIGHLIGHT, true);
    t.typePattern("\\d");
    t.typeInput(input);
    QSignalSpy edits(t.input(), &CRichEditCtrl::changeNotified);
    t.click(IDC_EXEC);
    t.click(IDC_EXEC_NEXT);
    QVERIFY(t.input()->IsColoredRed(1));
    QVERIFY(t.input()->IsColoredRed(4));
    QVERIFY(!t.input()->IsColoredRed(0));
    QVERIFY(!t.input()->IsColoredRed(7));
    const Range kept = t.selection();
    t.setCheck(IDC_HIGHLIGHT, false);
    for (int i = 0; i < input.size(); ++i)
        QVERIFY(!t.input()->IsColoredRed(i));
    QCOMPARE(t.selection(), kept);
    QCOMPARE(edits.count(), 0);
    QVERIFY(t.enabled(IDC_EXEC_NEXT));   // no edit was seen by the window
    QCOMPARE(t.input()->GetTextBytes(), input);
    QVERIFY(!t.input()->isUndoAvailable());
}

void tst_Matching::seriesKeepsItsOptionWord()
{
    TesterDriver t;
    t.typePattern("a");
    t.typeInput("aAa");
    t.click(IDC_EXEC);
    t.setCheck(IDC_CASELESS, true);
    t.click(IDC_EXEC_NEXT);
    QCOMPARE(t.match(), (Range{2, 3}));
    QVERIFY(!(t.dlg->Options() & PCRE_CASELESS));
    QVERIFY(t.dlg->Options() & PCRE_UNGREEDY);
}

void tst_Matching::emptyInputShowsMessage()
{
    TesterDriver t;
    t.typePattern("a");
    const QString before = t.status();
    const auto [title, text] = captureModalMessage([&] { t.click(IDC_EXEC); });
    QCOMPARE(title, QStringLiteral("Nothing to match!"));
    QCOMPARE(text, QStringLiteral("Your input filed is empty.\nType there something or\nimport a text vile"));
    QCOMPARE(t.status(), before);
    QVERIFY(!t.dlg->CompiledPattern());
}

void tst_Matching::noLibraryNeverCallsEngine()
{
    TesterDriver t;
    t.typePattern("a");
    t.typeInput("aaa");
    t.click(IDC_EXEC);
    PcreSetDefaultLibraryNames({"libpcre-not-here.so.9"});
    QString nowhere = QStringLiteral("/nonexistent/libpcre.so");
    t.dlg->LoadLibraryFromPath(nowhere);
    QVERIFY(!PcreIsLoaded());
    QVERIFY(t.enabled(IDC_EXEC));
    t.click(IDC_EXEC);
    QCOMPARE(t.status(), QStringLiteral("First, load PCRE.dll..."));
    t.dlg->OnExecNext();
    t.dlg->OnMore();
    t.dlg->OnExpressionDetails();
    QCOMPARE(t.status(), QStringLiteral("First, load PCRE.dll..."));
    if (t.dlg->SubpatternList())
        t.dlg->SubpatternList()->hide();
}

void tst_Matching::manyCapturingGroups()
{
    TesterDriver t;
    QByteArray pattern;
    for (int i = 0; i < 65; ++i)
        pattern += "(.)";
    t.typePattern(pattern);
    t.typeInput(QByteArray(70, 'z'));
    t.click(IDC_EXEC);
    QCOMPARE(t.dlg->LastResult(), 66);
    QCOMPARE(t.dlg->OffsetsSize(), 66 * 3);
    QVERIFY(t.enabled(IDC_MORE));
    QCOMPARE(t.match(), (Range{0, 65}));
}

QTEST_MAIN(tst_Matching)
#include "tst_matching.moc"
