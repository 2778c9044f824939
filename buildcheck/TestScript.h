#pragma once
// Reading PCRE's regression files: the input format of PCRE's own test
// program. A file is a sequence of patterns between delimiters, each with
// modifier letters and followed by subject lines up to a blank line.

#include <string>
#include <string_view>
#include <vector>

struct SubjectLine
{
    std::string text;               // as read, echoed verbatim
    int lineNumber = 0;
};

struct TestCase
{
    int lineNumber = 0;                    // of the pattern's first line
    std::vector<std::string> patternLines; // as read, echoed verbatim
    std::string pattern;                   // between the delimiters
    std::string modifiers;                 // after the closing delimiter, trimmed
    std::vector<SubjectLine> subjects;
    std::vector<std::string> trailer;      // blank and directive lines up to the next pattern
    std::string unreadable;                // why the pattern lines cannot be used
};

struct TestScript
{
    std::vector<std::string> leading;      // lines before the first pattern
    std::vector<TestCase> cases;
};

// Splits on LF; a final line without LF counts, a final empty one does not.
std::vector<std::string> SplitLines(std::string_view text);

TestScript ParseTestScript(const std::vector<std::string> &lines);

// The line with leading and trailing white space removed.
std::string_view Trimmed(std::string_view line);
