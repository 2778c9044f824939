// The build checker on its own: reading PCRE's test-file format (patterns,
// modifiers, subject escapes), lining an expected file up with its cases and
// the unified diff, and one hand-written file pair run end to end against
// the real library.

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

Lines linesOf(const QString &text)
{
    return SplitLines(text.toStdString());
}

QStringList toQt(const Lines &lines)
{
    QStringList list;
    for (const std::string &line : lines)
        list << QString::fromStdString(line);
    return list;
}

QByteArray bytes(const std::string &text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

class TestBuildCheck : public QObject
{
    Q_OBJECT

private slots:
    void readsPatterns_data();
    void readsPatterns();
    void groupsSubjectsAndTrailers();
    void decodesSubjects_data();
    void decodesSubjects();
    void parsesModifiers_data();
    void parsesModifiers();
    void locatesCasesInExpectedOutput();
    void refusesExpectedOutputOfAnotherInput();
    void diffsBlocks_data();
    void diffsBlocks();
    void checksHandWrittenFilesAgainstTheLibrary();
};

void TestBuildCheck::readsPatterns_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("modifiers");
    QTest::addColumn<int>("patternLines");
    QTest::addColumn<bool>("readable");

    QTest::newRow("slashes") << "/abc/i\n" << "abc" << "i" << 1 << true;
    QTest::newRow("other delimiter") << "!a/b!x\n" << "a/b" << "x" << 1 << true;
    QTest::newRow("escaped delimiter stays") << "/a\\/b/\n" << "a\\/b" << "" << 1 << true;
    QTest::newRow("escaped backslash then delimiter") << "/a\\\\/m\n" << "a\\\\" << "m" << 1 << true;
    QTest::newRow("continued over lines") << "/ab\n  cd\nef/x\n" << "ab\n  cd\nef" << "x" << 3 << true;
    QTest::newRow("backslash after delimiter") << "/abc/\\\n" << "abc\\" << "" << 1 << true;
    QTest::newRow("backslash escapes line end") << "/abc\\\n/\n" << "abc\\\n" << "" << 2 << true;
    QTest::newRow("spaces around") << "  /x/ i m  \n" << "x" << "i m" << 1 << true;
    QTest::newRow("alphanumeric delimiter") << "abc\n" << "" << "" << 1 << false;
    QTest::newRow("no closing delimiter") << "/abc\ndef\n" << "" << "" << 2 << false;
    QTest::newRow("saved pattern") << "<file\n" << "" << "" << 1 << false;
}

void TestBuildCheck::readsPatterns()
{
    QFETCH(QString, input);
    QFETCH(QString, pattern);
    QFETCH(QString, modifiers);
    QFETCH(int, patternLines);
    QFETCH(bool, readable);
    const TestScript script = ParseTestScript(linesOf(input));
    QCOMPARE(script.cases.size(), 1u);
    const TestCase &testCase = script.cases.front();
    QCOMPARE(int(testCase.patternLines.size()), patternLines);
    QCOMPARE(testCase.unreadable.empty(), readable);
    if (testCase.unreadable.empty()) {
        QCOMPARE(QString::fromStdString(testCase.pattern), pattern);
        QCOMPARE(QString::fromStdString(testCase.modifiers), modifiers);
    }
}

void TestBuildCheck::groupsSubjectsAndTrailers()
{
    const TestScript script = ParseTestScript(linesOf(
        "/-- comment\n    pattern --/\n    \n< forbid 8W\n\n/a/\n    a\n  b \n   \n\n/b/\n    b"));
    QCOMPARE(toQt(script.leading), QStringList());
    QCOMPARE(script.cases.size(), 3u);

    const TestCase &comment = script.cases[0];
    QCOMPARE(comment.lineNumber, 1);
    QCOMPARE(comment.subjects.size(), 0u);
    QCOMPARE(toQt(comment.trailer), QStringList({"    ", "< forbid 8W", ""}));

    const TestCase &second = script.cases[1];
    QCOMPARE(second.lineNumber, 6);
    QCOMPARE(second.subjects.size(), 2u);
    QCOMPARE(second.subjects[1].lineNumber, 8);
    QCOMPARE(QString::fromStdString(second.subjects[1].text), "  b ");
    QCOMPARE(toQt(second.trailer), QStringList({"   ", ""}));

    QCOMPARE(script.cases[2].subjects.size(), 1u);   // ends at the end of the file
    QVERIFY(script.cases[2].trailer.empty());

    QCOMPARE(toQt(ParseTestScript(linesOf("\n< forbid x\n/a/\n")).leading),
             QStringList({"", "< forbid x"}));
}

void TestBuildCheck::decodesSubjects_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("startOffset");
    QTest::addColumn<QString>("unsupported");

    QTest::newRow("trimmed") << "   abc \t" << QByteArray("abc") << 0 << 0 << "";
    QTest::newRow("control escapes") << "\\a\\b\\e\\f\\n\\r\\t\\v"
                                     << QByteArray("\a\b\x1b\f\n\r\t\v") << 0 << 0 << "";
    QTest::newRow("hex") << "\\x41\\x4\\x{42}\\xg" << QByteArray("A\x04" "B\0g", 5) << 0 << 0 << "";
    QTest::newRow("octal") << "\\0\\01\\012\\0123\\101" << QByteArray("\0\x01\n\n3A", 6) << 0 << 0 << "";
    QTest::newRow("braced octal") << "\\o{101}" << QByteArray("A") << 0 << 0 << "";
    QTest::newRow("escaped anything else") << "\\\\\\\"\\$\\?" << QByteArray("\\\"$") << PCRE_NO_UTF8_CHECK
                                           << 0 << "";
    QTest::newRow("final backslash dropped") << "abc\\" << QByteArray("abc") << 0 << 0 << "";
    QTest::newRow("match options") << "x\\B\\Z\\A" << QByteArray("x")
                                   << (PCRE_NOTBOL | PCRE_NOTEOL | PCRE_ANCHORED) << 0 << "";
    QTest::newRow("start offset") << "abcd\\>2" << QByteArray("abcd") << 0 << 2 << "";
    QTest::newRow("not empty once") << "a\\N" << QByteArray("a") << PCRE_NOTEMPTY << 0 << "";
    QTest::newRow("not empty twice") << "a\\N\\N" << QByteArray("a") << PCRE_NOTEMPTY_ATSTART << 0 << "";
    QTest::newRow("newline option") << "a\\<crlf>b" << QByteArray("ab") << PCRE_NEWLINE_CRLF << 0 << "";
    QTest::newRow("unknown angle") << "a\\<xy>" << QByteArray("a<xy>") << 0 << 0 << "";
    QTest::newRow("dfa") << "a\\D" << QByteArray() << 0 << 0 << "DFA matching";
    QTest::newRow("above 255") << "\\x{100}" << QByteArray() << 0 << 0 << "character above 255 (UTF mode)";
    QTest::newRow("copy substring") << "ab\\C1" << QByteArray() << 0 << 0 << "substring functions";
    QTest::newRow("callout control") << "ab\\C+" << QByteArray() << 0 << 0 << "callouts";
    QTest::newRow("partial") << "ab\\P" << QByteArray() << 0 << 0 << "partial matching";
}

void TestBuildCheck::decodesSubjects()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, expected);
    QFETCH(int, options);
    QFETCH(int, startOffset);
    QFETCH(QString, unsupported);
    const Subject subject = DecodeSubject(line.toStdString());
    QCOMPARE(QString::fromStdString(subject.unsupported), unsupported);
    if (!unsupported.isEmpty())
        return;
    QCOMPARE(bytes(subject.bytes), expected);
    QCOMPARE(subject.execOptions, options);
    QCOMPARE(subject.startOffset, startOffset);
}

void TestBuildCheck::parsesModifiers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("study");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("unsupported");

    const int none = int(StudyRequest::Default);
    QTest::newRow("perl letters") << "imsx" << (PCRE_CASELESS | PCRE_MULTILINE | PCRE_DOTALL | PCRE_EXTENDED)
                                  << none << "" << "";
    QTest::newRow("pcre letters") << "A E U X" << (PCRE_ANCHORED | PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_EXTRA)
                                  << none << "" << "";
    QTest::newRow("study") << "iS" << PCRE_CASELESS << int(StudyRequest::Study) << "" << "";
    QTest::newRow("never study") << "KSS" << 0 << int(StudyRequest::NoStudy) << "" << "";
    QTest::newRow("study then plus") << "S+" << 0 << int(StudyRequest::Study) << "" << "JIT";
    QTest::newRow("locale last") << "iLfr_FR " << PCRE_CASELESS << none << "fr_FR" << "";
    QTest::newRow("named newline") << "m<CRLF>" << (PCRE_MULTILINE | PCRE_NEWLINE_CRLF) << none << "" << "";
    QTest::newRow("unknown name") << "<bad>" << 0 << none << "" << "unknown modifier <bad>";
    QTest::newRow("code dump") << "DZ" << 0 << none << "" << "compiled-code dump";
    QTest::newRow("unknown letter") << "iq" << PCRE_CASELESS << none << "" << "unknown modifier q";
}

void TestBuildCheck::parsesModifiers()
{
    QFETCH(QString, text);
    QFETCH(int, options);
    QFETCH(int, study);
    QFETCH(QString, locale);
    QFETCH(QString, unsupported);
    const Modifiers modifiers = ParseModifiers(text.toStdString());
    QCOMPARE(QString::fromStdString(modifiers.unsupported), unsupported);
    QCOMPARE(modifiers.compileOptions, options);
    QCOMPARE(int(modifiers.study), study);
    QCOMPARE(QString::fromStdString(modifiers.locale), locale);

    const Modifiers output = ParseModifiers("g+=+K");
    QVERIFY(output.global && !output.globalShortened && output.showAllCaptures && output.showMarks);
    QCOMPARE(output.showRest, 2);
}

void TestBuildCheck::locatesCasesInExpectedOutput()
{
    const TestScript script = ParseTestScript(linesOf("< forbid x\n\n/a/\n    a\n\n/b/\n    /a/\n"));
    const Lines expected = linesOf("< forbid x\n\n/a/\n    a\n 0: a\n\n/b/\n    /a/\nNo match\n");
    const ExpectedLayout layout = LocateCases(script, expected);
    QVERIFY(layout.error.empty());
    QCOMPARE(layout.leading.end, 2u);
    QCOMPARE(layout.cases.size(), 2u);
    QCOMPARE(layout.cases[0].begin, 2u);
    QCOMPARE(layout.cases[0].end, 6u);
    // A subject line that looks like an earlier pattern does not start a case.
    QCOMPARE(layout.cases[1].begin, 6u);
    QCOMPARE(layout.cases[1].end, expected.size());
}

void TestBuildCheck::refusesExpectedOutputOfAnotherInput()
{
    const TestScript script = ParseTestScript(linesOf("/a/\n    a\n\n/b/\n"));
    const ExpectedLayout layout = LocateCases(script, linesOf("/a/\n    a\n 0: a\n\n/c/\n"));
    QVERIFY(QString::fromStdString(layout.error).contains("input line 4"));
}

void TestBuildCheck::diffsBlocks_data()
{
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("actual");
    QTest::addColumn<QStringList>("diff");

    const QStringList ten{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    QStringList changedMiddle = ten;
    changedMiddle[4] = "five";
    QStringList changedEnds = ten;
    changedEnds[0] = "one";
    changedEnds[9] = "ten";
    QStringList changedNear = ten;
    changedNear[2] = "three";
    changedNear[7] = "eight";

    QTest::newRow("equal") << ten << ten << QStringList();
    QTest::newRow("one line changed")
        << ten << changedMiddle
        << QStringList{"@@ -12,7 +22,7 @@ L", " 2", " 3", " 4", "-5", "+five", " 6", " 7", " 8"};
    QTest::newRow("far apart: two hunks")
        << ten << changedEnds
        << QStringList{"@@ -11,4 +21,4 @@ L", "-1", "+one", " 2", " 3", " 4",
                       "@@ -17,4 +27,4 @@ L", " 7", " 8", " 9", "-10", "+ten"};
    QTest::newRow("close together: one hunk")
        << ten << changedNear
        << QStringList{"@@ -11,10 +21,10 @@ L", " 1", " 2", "-3", "+three", " 4", " 5", " 6", " 7",
                       "-8", "+eight", " 9", " 10"};
    QTest::newRow("lines added at the end")
        << QStringList{"a", "b"} << QStringList{"a", "b", "c", "d"}
        << QStringList{"@@ -11,2 +21,4 @@ L", " a", " b", "+c", "+d"};
    QTest::newRow("all lines removed")
        << QStringList{"a", "b"} << QStringList()
        << QStringList{"@@ -11,2 +20,0 @@ L", "-a", "-b"};
}

void TestBuildCheck::diffsBlocks()
{
    QFETCH(QStringList, expected);
    QFETCH(QStringList, actual);
    QFETCH(QStringList, diff);
    auto toStd = [](const QStringList &list) {
        Lines lines;
        for (const QString &line : list)
            lines.push_back(line.toStdString());
        return lines;
    };
    QCOMPARE(toQt(UnifiedDiff(toStd(expected), 11, toStd(actual), 21, "L")), diff);
}

void TestBuildCheck::checksHandWrittenFilesAgainstTheLibrary()
{
    QVERIFY(PcreLoad(""));
    Lines input;
    Lines expected;
    QVERIFY(ReadLines(PC_TEST_DATA_DIR "/buildcheck/sample-input", input));
    QVERIFY(ReadLines(PC_TEST_DATA_DIR "/buildcheck/sample-expected", expected));

    for (const bool studyAll : {false, true}) {
        RunSettings settings;
        settings.studyAll = studyAll;
        EngineClock clock;
        const FileReport report = CheckScript(input, expected, "sample", settings, clock);
        QVERIFY(report.error.empty());
        QCOMPARE(report.passed, 8);
        QCOMPARE(report.failed, 1);
        QCOMPARE(report.skipped, 3);
        QCOMPARE(report.skipReasons.count("callouts"), 1u);
        QCOMPARE(report.skipReasons.count("DFA matching"), 1u);
        // The one wrong expectation, at its line of the expected file.
        QCOMPARE(toQt(report.diff), QStringList({"@@ -59,4 +59,4 @@ sample:36", " /wrong/", "     wrong",
                                                 "- 0: right", "+ 0: wrong", " "}));
        QVERIFY(clock.calls() > 0);
    }
    PcreUnload();
}

QTEST_GUILESS_MAIN(TestBuildCheck)
#include "tst_buildcheck.moc"
