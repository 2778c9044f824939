#pragma once
// Reading PCRE's regression files: the input format of PCRE's own test
// program. A file is a sequence of patterns between delimiters, each with
// modifier letters and followed by subject lines up to a blank line.
//
// Lines are kept as read, line end included, because the test program
// echoes them byte for byte.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct SourceLine
{
    std::string text;           // with its '\n', when it had one
    int number = 0;             // 1-based
};

struct TestCase
{
    enum class Kind {
        Pattern,        // between delimiters
        Load,           // "<file": a compiled pattern saved by an earlier case
        UnexpectedEnd,  // the file ends before the closing delimiter
    };
    Kind kind = Kind::Pattern;
    int lineNumber = 0;                     // of the pattern's first line
    std::vector<std::string> patternLines;
    std::string pattern;                    // between the delimiters
    std::string modifiers;                  // after them, line end included
    bool badDelimiter = false;              // alphanumeric or a backslash
    std::vector<SourceLine> subjects;
    // The blank line that ends the subjects, then blank and "< forbid"
    // lines up to the next pattern.
    std::vector<std::string> trailer;
    std::string lockout;                    // letters "< forbid" locked out
};

struct TestScript
{
    std::vector<std::string> leading;       // lines before the first pattern
    std::vector<TestCase> cases;
};

TestScript ParseTestScript(std::string_view text);

// Splits after each '\n'; a final line without one counts.
std::vector<std::string> SplitRawLines(std::string_view text);
// The line without its line end.
std::string_view WithoutLineEnd(std::string_view line);

// The whole of a test file. Only a regular file of at most kMaxTestFileSize
// bytes is read; otherwise, or when reading fails, `error` says why in the
// system's words.
struct FileText
{
    std::string text;
    std::string error;
};
inline constexpr std::size_t kMaxTestFileSize = std::size_t(64) << 20;
FileText ReadTestFile(const std::string &path);
