#include "FileCheck.h"

#include <filesystem>

namespace {

std::vector<std::string> slice(const std::vector<std::string> &lines, LineSpan span)
{
    return {lines.begin() + std::ptrdiff_t(span.begin), lines.begin() + std::ptrdiff_t(span.end)};
}

std::string baseName(const std::string &path)
{
    return std::filesystem::path(path).filename().string();
}

std::string caseLabel(const PlannedFile &file, int line, const std::string &way)
{
    return baseName(file.input) + ":" + std::to_string(line) + " (" + way + ")";
}

// What happened to a case whose child died in it.
std::string lostCaseMessage(const CaseResult &result)
{
    std::string message = result.reason;
    if (result.status == CaseResult::Status::Crashed || result.status == CaseResult::Status::TimedOut)
        message = "the library " + message;
    if (result.subjectLine > 0)
        message += " on subject line " + std::to_string(result.subjectLine);
    return message;
}

class WayChecker
{
public:
    WayChecker(const PlannedFile &file, const LoadedFile &loaded, FailurePrinter &printer, WayReport &report)
        : m_file(file), m_loaded(loaded), m_printer(printer), m_report(report)
    {
    }

    void checkLeading()
    {
        const std::vector<std::string> leading = LinesOf(joined(m_loaded.script.leading));
        const std::vector<std::string> wanted = slice(m_loaded.expected.front(), m_loaded.layouts.front().leading);
        if (leading == wanted)
            return;
        CaseVerdict verdict;
        verdict.kind = CaseVerdict::Kind::Failed;
        verdict.line = 1;
        verdict.pattern = "(lines before the first pattern)";
        verdict.message = "output differs";
        verdict.diff = UnifiedDiff(wanted, 1, leading, 1, verdict.pattern);
        record(std::move(verdict));
    }

    void check(std::size_t index, const CaseResult &result)
    {
        const TestCase &testCase = m_loaded.script.cases[index];
        CaseVerdict verdict;
        verdict.line = testCase.lineNumber;
        verdict.pattern = std::string(WithoutLineEnd(testCase.patternLines.front()));
        verdict.engineTime = result.engineTime;
        switch (result.status) {
        case CaseResult::Status::Ran: compareOutput(index, result.text, verdict); break;
        case CaseResult::Status::Skipped: checkUnrun(index, result.reason, verdict); break;
        default:
            verdict.kind = CaseVerdict::Kind::Failed;
            verdict.message = lostCaseMessage(result);
        }
        record(std::move(verdict));
    }

private:
    static std::string joined(const std::vector<std::string> &lines)
    {
        std::string text;
        for (const std::string &line : lines)
            text += line;
        return text;
    }

    std::vector<std::string> part(std::size_t alternative, std::size_t index) const
    {
        return slice(m_loaded.expected[alternative], m_loaded.layouts[alternative].cases[index]);
    }

    // Passes when the output is that of every expected file. Alternatives
    // (3, 3A, 3B) differ only where a locale's tables show, in compiled-code
    // dumps, which are not run: everywhere else each of them must hold, so a
    // damaged one cannot hide behind the others.
    void compareOutput(std::size_t index, const std::string &text, CaseVerdict &verdict)
    {
        const std::vector<std::string> actual = LinesOf(text);
        for (std::size_t alternative = 0; alternative < m_loaded.expected.size(); ++alternative) {
            if (actual == part(alternative, index))
                continue;
            const LineSpan span = m_loaded.layouts[alternative].cases[index];
            verdict.kind = CaseVerdict::Kind::Failed;
            verdict.message = span.begin == span.end ? "the expected output ends before this case"
                                                     : "output differs from the expected";
            if (alternative > 0)
                verdict.message += " in " + baseName(m_file.expected[alternative]);
            verdict.diff = UnifiedDiff(part(alternative, index), span.begin + 1, actual, span.begin + 1,
                                       caseLabel(m_file, verdict.line, m_report.way));
            return;
        }
    }

    // A case not run still has to fit its place in every expected file.
    void checkUnrun(std::size_t index, const std::string &reason, CaseVerdict &verdict)
    {
        std::string problem;
        for (std::size_t alternative = 0; alternative < m_loaded.expected.size() && problem.empty(); ++alternative) {
            problem = CheckUnrunPart(m_loaded.script.cases[index], part(alternative, index));
            if (!problem.empty() && alternative > 0)
                problem += " in " + baseName(m_file.expected[alternative]);
        }
        verdict.kind = problem.empty() ? CaseVerdict::Kind::Skipped : CaseVerdict::Kind::Failed;
        verdict.message = problem.empty() ? reason : problem + " (the case itself was not run: " + reason + ")";
    }

    void record(CaseVerdict verdict)
    {
        m_report.engineTime += verdict.engineTime;
        switch (verdict.kind) {
        case CaseVerdict::Kind::Passed: ++m_report.passed; break;
        case CaseVerdict::Kind::Skipped: ++m_report.skipped; break;
        case CaseVerdict::Kind::Failed:
            ++m_report.failed;
            m_printer.print("FAIL " + caseLabel(m_file, verdict.line, m_report.way) + ": " + verdict.message,
                            verdict.diff);
            break;
        }
        m_report.cases.push_back(std::move(verdict));
    }

    const PlannedFile &m_file;
    const LoadedFile &m_loaded;
    FailurePrinter &m_printer;
    WayReport &m_report;
};

} // namespace

std::vector<std::string> LinesOf(std::string_view text)
{
    std::vector<std::string> lines;
    for (const std::string &line : SplitRawLines(text))
        lines.emplace_back(WithoutLineEnd(line));
    return lines;
}

LoadedFile LoadFile(const PlannedFile &file)
{
    LoadedFile loaded;
    const FileText input = ReadTestFile(file.input);
    if (!input.error.empty()) {
        loaded.error = file.input + ": " + input.error;
        return loaded;
    }
    loaded.script = ParseTestScript(input.text);
    for (const std::string &path : file.expected) {
        const FileText expected = ReadTestFile(path);
        if (!expected.error.empty()) {
            // Only the first is needed; the others are alternatives.
            if (loaded.expected.empty())
                loaded.error = path + ": " + expected.error;
            if (loaded.expected.empty())
                return loaded;
            continue;
        }
        loaded.expected.push_back(LinesOf(expected.text));
        loaded.layouts.push_back(LocateCases(loaded.script, loaded.expected.back()));
    }
    return loaded;
}

void FailurePrinter::print(const std::string &headline, const std::vector<std::string> &diff)
{
    std::printf("%s\n", headline.c_str());
    for (const std::string &line : diff) {
        if (m_left == 0) {
            ++m_heldBack;
            continue;
        }
        std::printf("%s\n", line.c_str());
        --m_left;
    }
    std::fflush(stdout);
}

WayReport CheckWay(const PlannedFile &file, const LoadedFile &loaded, const RunEnvironment &environment,
                   std::chrono::milliseconds timeLimit, FailurePrinter &printer, std::vector<CaseResult> *outputs)
{
    WayReport report;
    report.file = &file;
    report.way = environment.way.name;
    const auto start = std::chrono::steady_clock::now();
    WayChecker checker(file, loaded, printer, report);
    checker.checkLeading();
    RunCases(loaded.script, environment, timeLimit, [&](std::size_t index, CaseResult &&result) {
        checker.check(index, result);
        if (outputs)
            outputs->push_back(std::move(result));
    });
    report.time = std::chrono::steady_clock::now() - start;
    return report;
}

void CompareWithOther(const PlannedFile &file, const LoadedFile &loaded, const RunEnvironment &other,
                      std::chrono::milliseconds timeLimit, const std::vector<CaseResult> &outputs,
                      const std::string &names, FailurePrinter &printer, WayReport &report)
{
    const auto describe = [](const CaseResult &result) {
        if (result.status == CaseResult::Status::Ran)
            return LinesOf(result.text);
        if (result.status == CaseResult::Status::Skipped)
            return std::vector<std::string>{"(not run: " + result.reason + ")"};
        return std::vector<std::string>{"(" + lostCaseMessage(result) + ")"};
    };
    RunCases(loaded.script, other, timeLimit, [&](std::size_t index, CaseResult &&result) {
        report.engineTime += result.engineTime;
        if (index >= outputs.size())
            return;
        const std::vector<std::string> mine = describe(outputs[index]);
        const std::vector<std::string> theirs = describe(result);
        if (mine == theirs)
            return;
        ++report.differences;
        const int line = loaded.script.cases[index].lineNumber;
        const std::string label = caseLabel(file, line, report.way);
        std::vector<std::string> diff = UnifiedDiff(mine, 1, theirs, 1, label);
        printer.print("DIFFERS " + label + " between " + names, diff);
        if (index < report.cases.size()) {
            report.cases[index].differs = "output differs between " + names;
            report.cases[index].otherDiff = std::move(diff);
        }
    });
}
