#include "TestScript.h"

#include <cctype>

namespace {

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isBlank(std::string_view line)
{
    return Trimmed(line).empty();
}

// "< forbid ..." locks modifiers out in PCRE's own runs; for us it is an
// echoed line with no meaning.
bool isDirective(std::string_view line)
{
    return line.starts_with("< forbid ");
}

// Position of the closing delimiter in `buffer` from `pos`, or npos when the
// buffer ends first. A backslash escapes the next character, the delimiter
// included; a backslash at the very end escapes the line end that follows.
std::size_t findClosingDelimiter(const std::string &buffer, std::size_t &pos, char delimiter)
{
    while (pos < buffer.size()) {
        if (buffer[pos] == delimiter)
            return pos;
        if (buffer[pos] == '\\') {
            if (pos + 1 == buffer.size())
                return std::string::npos;
            pos += 2;
        } else {
            ++pos;
        }
    }
    return std::string::npos;
}

// Reads the pattern that starts at lines[i], continued over further lines
// until its closing delimiter; leaves i on the first line after it.
TestCase readPattern(const std::vector<std::string> &lines, std::size_t &i)
{
    TestCase testCase;
    testCase.lineNumber = static_cast<int>(i) + 1;
    const std::string &first = lines[i++];
    testCase.patternLines.push_back(first);

    std::string_view text = first;
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    const char delimiter = text.front();
    if (delimiter == '<' && text.find('<', 1) == std::string_view::npos) {
        testCase.unreadable = "loading a saved compiled pattern";
        return testCase;
    }
    if (std::isalnum(static_cast<unsigned char>(delimiter)) || delimiter == '\\') {
        testCase.unreadable = "delimiter is alphanumeric or a backslash";
        return testCase;
    }

    std::string buffer(text.substr(1));
    std::size_t pos = 0;
    while (findClosingDelimiter(buffer, pos, delimiter) == std::string::npos) {
        if (i == lines.size()) {
            testCase.unreadable = "pattern without closing delimiter";
            return testCase;
        }
        buffer += '\n';
        buffer += lines[i];
        testCase.patternLines.push_back(lines[i++]);
    }

    testCase.pattern = buffer.substr(0, pos);
    std::string_view after = std::string_view(buffer).substr(pos + 1);
    // A backslash right after the closing delimiter belongs to the pattern:
    // the way to test a pattern that ends in a backslash.
    if (after.starts_with('\\')) {
        testCase.pattern += '\\';
        after.remove_prefix(1);
    }
    testCase.modifiers = std::string(Trimmed(after));
    return testCase;
}

} // namespace

std::string_view Trimmed(std::string_view line)
{
    while (!line.empty() && isSpace(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && isSpace(line.back()))
        line.remove_suffix(1);
    return line;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TestScript ParseTestScript(const std::vector<std::string> &lines)
{
    TestScript script;
    std::size_t i = 0;
    auto isFiller = [&] { return isBlank(lines[i]) || isDirective(lines[i]); };

    while (i < lines.size() && isFiller())
        script.leading.push_back(lines[i++]);
    while (i < lines.size()) {
        TestCase testCase = readPattern(lines, i);
        for (; i < lines.size() && !isBlank(lines[i]); ++i)
            testCase.subjects.push_back({lines[i], static_cast<int>(i) + 1});
        while (i < lines.size() && isFiller())
            testCase.trailer.push_back(lines[i++]);
        script.cases.push_back(std::move(testCase));
    }
    return script;
}
