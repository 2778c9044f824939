// The build checker on its own: reading PCRE's test-file format (patterns,
// modifiers, subject escapes), lining an expected file up with its cases and
// the unified diff, and one hand-written file pair run end to end against
// the real library (which also counts the skipped subjects, \D and \C+).

#include "Comparison.h"
#include "FileCheck.h"
#include "Modifiers.h"
#include "PcreBinding.h"
#include "PcreMore.h"
#include "Subject.h"
#include "TestScript.h"

#include <QtTest>

namespace {

using Lines = std::vector<std::string>;

Lines linesOf(const QString &text) { return SplitLines(text.toStdString()); }

QString textOf(const Lines &lines)
{
    QStringList list;
    std::transform(lines.begin(), lines.end(), std::back_inserter(list), QString::fromStdString);
    return list.join('\n');
}

} // namespace

class TestBuildCheck : public QObject
{
    Q_OBJECT

private slots:
    void readsPatternsAndModifiers_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("pattern");   // empty: unreadable
        QTest::addColumn<int>("options");
        QTest::addColumn<QString>("more");      // locale, or why the modifiers cannot be run
        QTest::newRow("other delimiter, spaces") << "  !a/b! i s  \n" << "a/b" << (PCRE_CASELESS | PCRE_DOTALL) << "";
        QTest::newRow("escaped delimiter stays") << "/a\\/b/A E U X\n" << "a\\/b"
                                                 << (PCRE_ANCHORED | PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_EXTRA)
                                                 << "";
        QTest::newRow("escaped backslash") << "/a\\\\/mx\n" << "a\\\\" << (PCRE_MULTILINE | PCRE_EXTENDED) << "";
        QTest::newRow("continued over lines") << "/ab\n  cd\nef/m<CRLF>\n" << "ab\n  cd\nef"
                                              << (PCRE_MULTILINE | PCRE_NEWLINE_CRLF) << "";
        QTest::newRow("locale last") << "/a/iLfr_FR \n" << "a" << PCRE_CASELESS << "fr_FR";
        QTest::newRow("unknown letter") << "/a/iq\n" << "a" << PCRE_CASELESS << "unknown modifier q";
        QTest::newRow("alphanumeric delimiter") << "abca\n" << "" << 0 << "";
        QTest::newRow("no closing delimiter") << "/abc\ndef\n" << "" << 0 << "";
    }

    void readsPatternsAndModifiers()
    {
        QFETCH(QString, input);
        QFETCH(QString, pattern);
        QFETCH(int, options);
        QFETCH(QString, more);
        const TestScript script = ParseTestScript(linesOf(input));
        const TestCase &testCase = script.cases.at(0);
        QCOMPARE(textOf(testCase.patternLines), input.chopped(1));   // echoed verbatim
        QCOMPARE(testCase.unreadable.empty(), !pattern.isEmpty());
        QCOMPARE(QString::fromStdString(testCase.pattern), pattern);
        const Modifiers modifiers = ParseModifiers(testCase.modifiers);
        QCOMPARE(modifiers.compileOptions, options);
        QCOMPARE(QString::fromStdString(modifiers.locale + modifiers.unsupported), more);
    }

    void decodesSubjects_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("options");
        QTest::newRow("trimmed, controls") << " \\a\\b\\e\\f\\n\\r\\t\\v \t" << QByteArray("\a\b\x1b\f\n\r\t\v") << 0;
        QTest::newRow("hex, octal") << "\\x41\\x4\\x{42}\\xg\\0\\01\\012\\0123\\101\\o{101}"
                                    << QByteArray("A\x04" "B\0g\0\x01\n\n3AA", 12) << 0;
        QTest::newRow("other escaped, options") << "\\\\\\\"\\$x\\?\\B\\Z\\A\\N\\N\\" << QByteArray("\\\"$x")
                                                << (PCRE_NO_UTF8_CHECK | PCRE_NOTBOL | PCRE_NOTEOL | PCRE_ANCHORED
                                                    | PCRE_NOTEMPTY_ATSTART);
        QTest::newRow("newline, unknown angle") << "abcd\\<crlf>\\<xy>" << QByteArray("abcd<xy>") << PCRE_NEWLINE_CRLF;
    }

    void decodesSubjects()
    {
        QFETCH(QString, line);
        QFETCH(QByteArray, bytes);
        QFETCH(int, options);
        const Subject subject = DecodeSubject(line.toStdString());
        QCOMPARE(QByteArray::fromStdString(subject.bytes), bytes);
        QCOMPARE(subject.execOptions, options);
    }

    void locatesCasesInExpectedOutput()
    {
        const TestScript script = ParseTestScript(linesOf("< forbid x\n\n/a/\n    a\n  b \n   \n\n/b/\n    /a/"));
        QCOMPARE(textOf(script.leading), "< forbid x\n");
        QCOMPARE(textOf(script.cases.at(0).trailer), "   \n");   // subjects run to a blank line
        const QString head = "< forbid x\n\n/a/\n    a\n 0: a\n  b \nNo match\n   \n\n";
        const ExpectedLayout layout = LocateCases(script, linesOf(head + "/b/\n    /a/\nNo match\n"));
        QVERIFY(layout.error.empty() && layout.cases.size() == 2);
        // A subject line that looks like an earlier pattern does not start a case.
        QCOMPARE(QList<size_t>({layout.leading.end, layout.cases[0].begin, layout.cases[1].begin, layout.cases[1].end}),
                 QList<size_t>({2, 2, 9, 12}));
        // The expected output of another input is refused.
        QVERIFY(QString::fromStdString(LocateCases(script, linesOf(head + "/c/\n")).error).contains("input line 8"));
    }

    void diffsBlocks_data()
    {
        QTest::addColumn<QString>("actual");   // against the lines 1 to 10
        QTest::addColumn<QString>("diff");
        QTest::newRow("far apart: two hunks") << "one\n2\n3\n4\n5\n6\n7\n8\n9\nten"
                                              << "@@ -11,4 +21,4 @@ L\n-1\n+one\n 2\n 3\n 4\n"
                                                 "@@ -17,4 +27,4 @@ L\n 7\n 8\n 9\n-10\n+ten";
        QTest::newRow("close together: one hunk") << "1\n2\nthree\n4\n5\n6\n7\neight\n9\n10"
                                                  << "@@ -11,10 +21,10 @@ L\n 1\n 2\n-3\n+three\n 4\n 5\n 6\n 7\n"
                                                     "-8\n+eight\n 9\n 10";
    }

    void diffsBlocks()
    {
        QFETCH(QString, actual);
        QFETCH(QString, diff);
        QCOMPARE(textOf(UnifiedDiff(linesOf("1\n2\n3\n4\n5\n6\n7\n8\n9\n10"), 11, linesOf(actual), 21, "L")), diff);
    }

    void checksHandWrittenFilesAgainstTheLibrary()
    {
        Lines input, expected;
        QVERIFY(ReadLines(PC_TEST_DATA_DIR "/buildcheck/sample-input", input)
                && ReadLines(PC_TEST_DATA_DIR "/buildcheck/sample-expected", expected));
        QVERIFY(PcreLoad(""));
        EngineClock clock;
        const FileReport report = CheckScript(input, expected, "sample", RunSettings(), clock);
        QCOMPARE(QList<int>({report.passed, report.failed, report.skipped}), QList<int>({8, 1, 3}));
        // The one wrong expectation, at its line of the expected file.
        QCOMPARE(textOf(report.diff), "@@ -59,4 +59,4 @@ sample:36\n /wrong/\n     wrong\n- 0: right\n+ 0: wrong\n ");
    }
};

QTEST_GUILESS_MAIN(TestBuildCheck)
#include "tst_buildcheck.moc"
