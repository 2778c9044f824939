#include "Comparison.h"

#include <algorithm>
#include <cstdint>

namespace {

// One step of the edit script: ' ' keeps expected[a] (== actual[b]), '-'
// drops expected[a], '+' adds actual[b]. a and b are the positions before
// the step.
struct Edit
{
    char kind;
    std::size_t a;
    std::size_t b;
};

// Blocks beyond this many cells are not aligned line by line.
constexpr std::size_t kMaxTableCells = 16u * 1024 * 1024;

std::vector<Edit> editScript(const std::vector<std::string> &a, const std::vector<std::string> &b)
{
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix
           && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const std::size_t n = a.size() - prefix - suffix;
    const std::size_t m = b.size() - prefix - suffix;

    // lcs[i][j]: longest common subsequence of the middle parts from i and j on.
    const bool align = (n + 1) * (m + 1) <= kMaxTableCells;
    std::vector<std::uint32_t> lcs(align ? (n + 1) * (m + 1) : 0, 0);
    auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t & { return lcs[i * (m + 1) + j]; };
    for (std::size_t i = n; align && i-- > 0;) {
        for (std::size_t j = m; j-- > 0;)
            at(i, j) = a[prefix + i] == b[prefix + j] ? at(i + 1, j + 1) + 1
                                                      : std::max(at(i + 1, j), at(i, j + 1));
    }

    std::vector<Edit> edits;
    for (std::size_t k = 0; k < prefix; ++k)
        edits.push_back({' ', k, k});
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        const std::size_t ai = prefix + i;
        const std::size_t bj = prefix + j;
        if (align && i < n && j < m && a[ai] == b[bj]) {
            edits.push_back({' ', ai, bj});
            ++i, ++j;
        } else if (i < n && (j == m || !align || at(i + 1, j) >= at(i, j + 1))) {
            edits.push_back({'-', ai, bj});
            ++i;
        } else {
            edits.push_back({'+', ai, bj});
            ++j;
        }
    }
    for (std::size_t k = 0; k < suffix; ++k)
        edits.push_back({' ', prefix + n + k, prefix + m + k});
    return edits;
}

std::string rangeText(std::size_t firstLine, std::size_t start, std::size_t count)
{
    // An empty range names the line before it, as diff(1) does.
    const std::size_t line = count == 0 ? firstLine + start - 1 : firstLine + start;
    return std::to_string(line) + "," + std::to_string(count);
}

} // namespace

ExpectedLayout LocateCases(const TestScript &script, const std::vector<std::string> &expected)
{
    ExpectedLayout layout;
    std::vector<std::size_t> starts;
    std::size_t pos = 0;
    for (const TestCase &testCase : script.cases) {
        const std::string_view echo = WithoutLineEnd(testCase.patternLines.front());
        const auto found = std::find(expected.begin() + std::ptrdiff_t(pos), expected.end(), echo);
        starts.push_back(std::size_t(found - expected.begin()));
        pos = std::min(expected.size(), starts.back() + testCase.patternLines.size());
    }
    layout.leading = {0, starts.empty() ? expected.size() : starts.front()};
    for (std::size_t k = 0; k < starts.size(); ++k)
        layout.cases.push_back({starts[k], k + 1 < starts.size() ? starts[k + 1] : expected.size()});
    return layout;
}

std::string CheckUnrunPart(const TestCase &testCase, const std::vector<std::string> &part)
{
    const std::size_t echoed = testCase.patternLines.size();
    if (part.size() < echoed)
        return "the expected output has no echo of this pattern";
    for (std::size_t i = 0; i < echoed; ++i) {
        if (part[i] != WithoutLineEnd(testCase.patternLines[i]))
            return "the expected output has no echo of this pattern";
    }
    std::vector<std::string> trailer;
    for (const std::string &line : testCase.trailer)
        trailer.emplace_back(WithoutLineEnd(line));
    std::vector<std::string> skippedForm = trailer;    // subjects passed over after an error
    if (!skippedForm.empty())
        skippedForm.front().clear();
    const auto endsWith = [&](const std::vector<std::string> &tail) {
        return part.size() >= echoed + tail.size() && std::equal(tail.begin(), tail.end(), part.end() - std::ptrdiff_t(tail.size()));
    };
    if (!endsWith(trailer) && !endsWith(skippedForm))
        return "the expected output does not end this case where the input does";
    // Result lines are never empty; the echo of a blank input line is.
    const auto isEmpty = [](const std::string &line) { return line.empty(); };
    if (std::any_of(part.begin() + std::ptrdiff_t(echoed), part.end() - std::ptrdiff_t(trailer.size()), isEmpty))
        return "the expected output runs on past the end of this case's input";
    return {};
}

std::vector<std::string> UnifiedDiff(const std::vector<std::string> &expected, std::size_t expectedFirstLine,
                                     const std::vector<std::string> &actual, std::size_t actualFirstLine,
                                     const std::string &label, std::size_t context)
{
    const std::vector<Edit> edits = editScript(expected, actual);
    std::vector<std::string> lines;
    std::size_t k = 0;
    while (k < edits.size()) {
        while (k < edits.size() && edits[k].kind == ' ')
            ++k;
        if (k == edits.size())
            break;
        // A hunk: from `context` lines before this change to `context`
        // lines after the last change that follows closer than 2 * context.
        const std::size_t begin = k >= context ? k - context : 0;
        std::size_t end = k;
        std::size_t unchanged = 0;
        for (std::size_t s = k; s < edits.size() && unchanged <= 2 * context; ++s) {
            if (edits[s].kind == ' ') {
                ++unchanged;
            } else {
                unchanged = 0;
                end = s + 1;
            }
        }
        end = std::min(edits.size(), end + context);

        std::size_t expectedCount = 0;
        std::size_t actualCount = 0;
        std::vector<std::string> body;
        for (std::size_t s = begin; s < end; ++s) {
            const Edit &edit = edits[s];
            const std::string &text = edit.kind == '+' ? actual[edit.b] : expected[edit.a];
            body.push_back(edit.kind + text);
            expectedCount += edit.kind != '+';
            actualCount += edit.kind != '-';
        }
        lines.push_back("@@ -" + rangeText(expectedFirstLine, edits[begin].a, expectedCount) + " +"
                        + rangeText(actualFirstLine, edits[begin].b, actualCount) + " @@ " + label);
        lines.insert(lines.end(), body.begin(), body.end());
        k = end;
    }
    return lines;
}
