// Live validation, Exec, "Exec next" and highlighting, byte-exact.

#include "RowCutter.h"
#include "TesterDriver.h"

#include <QSignalSpy>

Q_DECLARE_METATYPE(Range)
Q_DECLARE_METATYPE(QList<Range>)

class tst_Matching : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { verifyNoWindowLeftOpen(); QVERIFY(!PcreIsLoaded()); }

    void validation_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("valid");
        QTest::newRow("lone parenthesis") << QByteArray("(") << false;
        QTest::newRow("empty group") << QByteArray("()") << true;
        QTest::newRow("empty pattern") << QByteArray("") << true;
        QTest::newRow("needs /x to compile") << QByteArray("a #comment )") << false;
    }
    // A valid edit keeps "Exec next" going; any edit withdraws "More...".
    void validation()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(bool, valid);
        TesterDriver t;
        typeAndExec(t, "x", "xx");
        t.typePattern(pattern);
        // Exec, "Expression details..." and "Exec next" follow the validity.
        QCOMPARE(QList<bool>({t.enabled(IDC_EXEC), t.enabled(IDC_DETAILS), t.enabled(IDC_EXEC_NEXT)}),
                 QList<bool>(3, valid));
        QCOMPARE(t.status().isEmpty(), valid);
        QVERIFY(!t.enabled(IDC_MORE));
    }

    void validEditKeepsExecNext()
    {
        TesterDriver t;
        typeAndExec(t, "a", "aaa");
        t.typePattern("b");   // valid: the series goes on with the pattern "a"
        t.click(IDC_EXEC_NEXT);
        QCOMPARE(t.match(), (Range{1, 2}));
        t.typePattern("(");   // invalid: ends the offer of "Exec next"
        t.typePattern("b");
        QVERIFY(t.enabled(IDC_EXEC) && !t.enabled(IDC_EXEC_NEXT));
    }

    void inputEditWithdrawsResults()
    {
        TesterDriver t;
        typeAndExec(t, "(a)", "aaa");
        QVERIFY(t.enabled(IDC_MORE));
        t.input()->SetSel(0, 0);
        QTest::keyClick(t.input(), Qt::Key_B);
        QVERIFY(!t.enabled(IDC_MORE) && !t.enabled(IDC_EXEC_NEXT) && t.enabled(IDC_EXEC));
    }

    // The match, in bytes of the input, is what the field selects.
    void byteExactSelection_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<Range>("match");
        QTest::newRow("CR LF") << QByteArray("\\r\\n") << QByteArray("ab\r\ncd") << Range{2, 4};
        QTest::newRow("lone CR") << QByteArray("\\rc") << QByteArray("ab\rcd") << Range{2, 4};
        QTest::newRow("after NUL") << QByteArray("c") << QByteArray("ab\0cd", 5) << Range{3, 4};
        QTest::newRow("byte E9") << QByteArray("\\xE9") << QByteArray("caf\xE9!") << Range{3, 4};
        QTest::newRow("inside h\xC3\xA9llo") << QByteArray("l+") << QByteArray("h\xC3\xA9llo") << Range{3, 5};
        QTest::newRow("past 65535") << QByteArray("abc") << QByteArray(70000, 'x') + "abc" << Range{70000, 70003};
        // A long line without spaces is shown in rows of kRowBytes.
        const int row = int(CRowCutter::kRowBytes);
        QTest::newRow("to the end of a row") << QByteArray("xa")
                                             << QByteArray(4 * row - 1, 'x') + "ab" + QByteArray(5000, 'y')
                                             << Range{4 * row - 2, 4 * row};
    }
    void byteExactSelection()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, input);
        QFETCH(Range, match);
        TesterDriver t;
        t.setCheck(IDC_GREEDY, true);
        typeAndExec(t, pattern, input);
        QCOMPARE(t.match(), match);
        QCOMPARE(t.selection(), match);
        QCOMPARE(t.input()->GetTextBytes(), input);
    }

    // Each modifier as the user sees it: a pattern that matches only with
    // the box checked (or, for the locale, only with its tables).
    void modifiers_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<Range>("unchecked");
        QTest::addColumn<Range>("checked");
        const Range none{-1, -1};
        QTest::newRow("/i") << IDC_CASELESS << "" << QByteArray("A") << QByteArray("xa") << none << Range{1, 2};
        QTest::newRow("/m") << IDC_MULTILINE << "" << QByteArray("^b") << QByteArray("a\nb") << none << Range{2, 3};
        QTest::newRow("/s") << IDC_DOTALL << "" << QByteArray("a.b") << QByteArray("a\nb") << none << Range{0, 3};
        QTest::newRow("/x") << IDC_EXTENDED << "" << QByteArray("a b") << QByteArray("ab") << none << Range{0, 2};
        QTest::newRow("Greedy") << IDC_GREEDY << "" << QByteArray("a+") << QByteArray("aa") << Range{0, 1}
                                << Range{0, 2};
        QTest::newRow("Locale: de_DE") << IDC_LOCALE_CHECK << "de_DE.ISO-8859-1" << QByteArray("\\w")
                                       << QByteArray("-\xE9") << none << Range{1, 2};
        QTest::newRow("Locale: empty field") << IDC_LOCALE_CHECK << "" << QByteArray("\\w") << QByteArray("-\xE9")
                                             << none << none;
    }
    void modifiers()
    {
        QFETCH(int, box);
        QFETCH(QString, locale);
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, input);
        QFETCH(Range, unchecked);
        QFETCH(Range, checked);
        TesterDriver t;
        qobject_cast<QLineEdit *>(t.item(IDC_LOCALE))->setText(locale);
        for (const bool on : {false, true}) {
            t.setCheck(box, on);
            typeAndExec(t, pattern, input);
            const Range found = t.dlg->Series().LastResult() > 0 ? t.match() : Range{-1, -1};
            QCOMPARE(found, on ? checked : unchecked);
        }
    }

    void highlightAccumulatesAndClears()
    {
        TesterDriver t;
        const QByteArray input = "a1 b2 c3";
        auto red = [&t, &input] {   // a ^ under each byte shown red
            QByteArray marks;
            for (int i = 0; i < input.size(); ++i)
                marks += t.input()->IsColoredRed(i) ? '^' : ' ';
            return marks;
        };
        typeAndExec(t, "\\d", input);
        QCOMPARE(red(), QByteArray("        "));   // only when asked for
        t.setCheck(IDC_HIGHLIGHT, true);
        QSignalSpy edits(t.input(), &CRichEditCtrl::changeNotified);
        t.click(IDC_EXEC);
        t.click(IDC_EXEC_NEXT);
        QCOMPARE(red(), QByteArray(" ^  ^   "));
        t.setCheck(IDC_HIGHLIGHT, false);
        QCOMPARE(red(), QByteArray("        "));
        QCOMPARE(t.selection(), (Range{4, 5}));
        QCOMPARE(edits.count(), 0);
        QVERIFY(t.enabled(IDC_EXEC_NEXT));   // no edit was seen by the window
        QCOMPARE(t.input()->GetTextBytes(), input);
        QVERIFY(!t.input()->isUndoAvailable());
    }

    void seriesKeepsItsOptionWord()
    {
        TesterDriver t;
        typeAndExec(t, "a", "aAa");
        t.setCheck(IDC_CASELESS, true);
        t.click(IDC_EXEC_NEXT);
        QCOMPARE(t.match(), (Range{2, 3}));
        QCOMPARE(t.dlg->Series().Options() & (PCRE_CASELESS | PCRE_UNGREEDY), PCRE_UNGREEDY);
    }

    void emptyInputShowsMessage()
    {
        TesterDriver t;
        t.typePattern("a");
        const QString before = t.status();
        const auto box = captureModalMessage([&] { t.click(IDC_EXEC); });
        QCOMPARE(box.first, QStringLiteral("Nothing to match!"));
        QCOMPARE(box.second, QLatin1String("Your input filed is empty.\nType there something or\nimport a text vile"));
        QCOMPARE(t.status(), before);
        QVERIFY(!t.dlg->Series().CompiledPattern());
    }

    void noLibraryNeverCallsEngine()
    {
        TesterDriver t;
        typeAndExec(t, "a", "aaa");
        PcreSetDefaultLibraryNames({"libpcre-not-here.so.9"});
        QString nowhere = QStringLiteral("/nonexistent/libpcre.so");
        const QString told = captureModalMessage([&] { t.dlg->LoadLibraryFromPath(nowhere); }).second;
        QCOMPARE(told, nowhere + " was not loaded: No such file or directory.");
        QVERIFY(!PcreIsLoaded() && t.enabled(IDC_EXEC));
        t.click(IDC_EXEC);
        QCOMPARE(t.status(), QStringLiteral("First, load PCRE.dll..."));
        t.dlg->OnExecNext();
        t.dlg->OnMore();
        t.dlg->OnExpressionDetails();
        QCOMPARE(t.status(), QStringLiteral("First, load PCRE.dll..."));
    }

    void manyCapturingGroups()
    {
        TesterDriver t;
        typeAndExec(t, QByteArray("(.)").repeated(65), QByteArray(70, 'z'));
        QCOMPARE(t.dlg->Series().LastResult(), 66);
        QCOMPARE(t.dlg->Series().OffsetsSize(), 66 * 3);
        QVERIFY(t.enabled(IDC_MORE));
        QCOMPARE(t.match(), (Range{0, 65}));
    }
};

QTEST_MAIN(tst_Matching)
#include "tst_matching.moc"
