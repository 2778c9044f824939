#include "FileCheck.h"

#include "Comparison.h"
#include "TestScript.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::vector<std::string> slice(const std::vector<std::string> &lines, LineSpan span)
{
    return {lines.begin() + static_cast<std::ptrdiff_t>(span.begin),
            lines.begin() + static_cast<std::ptrdiff_t>(span.end)};
}

// Compares one block; a differing block adds its hunks to the report.
// `actualLine` numbers the lines of the output this run produces, in which
// a skipped case stands as its expected lines.
void compareBlock(const std::vector<std::string> &expected, LineSpan span,
                  const std::vector<std::string> &actual, std::size_t actualLine,
                  const std::string &label, FileReport &report)
{
    const std::vector<std::string> wanted = slice(expected, span);
    if (actual == wanted) {
        ++report.passed;
        return;
    }
    ++report.failed;
    const std::vector<std::string> hunks =
        UnifiedDiff(wanted, span.begin + 1, actual, actualLine, label);
    report.diff.insert(report.diff.end(), hunks.begin(), hunks.end());
}

} // namespace

bool ReadLines(const std::string &path, std::vector<std::string> &lines)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    lines = SplitLines(text.str());
    return !file.bad();
}

FileReport CheckScript(const std::vector<std::string> &input, const std::vector<std::string> &expected,
                       const std::string &inputName, const RunSettings &settings, EngineClock &clock)
{
    FileReport report;
    const TestScript script = ParseTestScript(input);
    const ExpectedLayout layout = LocateCases(script, expected);
    if (!layout.error.empty()) {
        report.error = layout.error;
        return report;
    }

    std::size_t actualLine = 1;
    if (slice(expected, layout.leading) != script.leading) {
        compareBlock(expected, layout.leading, script.leading, actualLine,
                     inputName + " (lines before the first pattern)", report);
    }
    actualLine += script.leading.size();

    for (std::size_t k = 0; k < script.cases.size(); ++k) {
        const TestCase &testCase = script.cases[k];
        const LineSpan span = layout.cases[k];
        CaseOutput output = RunCase(testCase, settings, clock);
        if (!output.skipReason.empty()) {
            ++report.skipped;
            ++report.skipReasons[output.skipReason];
            actualLine += span.end - span.begin;
            continue;
        }
        report.subjectsRun += output.subjectsRun;
        compareBlock(expected, span, output.lines, actualLine,
                     inputName + ":" + std::to_string(testCase.lineNumber), report);
        actualLine += output.lines.size();
    }
    return report;
}
