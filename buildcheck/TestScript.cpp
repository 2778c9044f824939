#include "TestScript.h"

#include "Modifiers.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view skipSpace(std::string_view line)
{
    while (!line.empty() && isSpace(line.front()))
        line.remove_prefix(1);
    return line;
}

bool isBlank(std::string_view line)
{
    return skipSpace(line).empty();
}

// "< forbid ...", or any "< " line: an instruction, not a pattern.
bool isDirective(std::string_view line)
{
    return skipSpace(line).starts_with("< ");
}

bool isFiller(std::string_view line)
{
    return isBlank(line) || isDirective(line);
}

// The letters after "< forbid ", up to the next white space.
void applyDirective(std::string_view line, std::string &lockout)
{
    std::string_view rest = skipSpace(skipSpace(line).substr(2));
    if (!rest.starts_with("forbid "))
        return;
    rest = skipSpace(rest.substr(7));
    std::size_t length = 0;
    while (length < rest.size() && length < 23 && !isSpace(rest[length]))
        ++length;
    lockout = std::string(rest.substr(0, length));
}

// Splits the text after the opening delimiter at the closing one, which a
// backslash hides; false when there is none yet. A backslash right after
// the closing delimiter belongs to the pattern: the way to test a pattern
// that ends in one.
bool splitAtDelimiter(std::string_view text, char delimiter, TestCase &testCase)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        } else if (text[i] == delimiter) {
            testCase.pattern = std::string(text.substr(0, i));
            std::string_view rest = text.substr(i + 1);
            if (rest.starts_with('\\')) {
                testCase.pattern += '\\';
                rest.remove_prefix(1);
            }
            testCase.modifiers = std::string(rest);
            return true;
        }
    }
    return false;
}

// A pattern saved to a file ends its case at once: the next line is read
// as a pattern, as the test program does.
bool savesPattern(const TestCase &testCase)
{
    const auto anyLocale = [](const std::string &) { return true; };
    return !ParseModifiers(testCase.modifiers, "", 0, anyLocale).saveTo.empty();
}

class ScriptReader
{
public:
    explicit ScriptReader(std::string_view text) : m_lines(SplitRawLines(text)) {}

    TestScript read()
    {
        fillers(m_script.leading);
        while (m_next < m_lines.size()) {
            TestCase testCase = pattern();
            testCase.lockout = m_lockout;
            if (!savesPattern(testCase))
                subjects(testCase.subjects);
            fillers(testCase.trailer);
            m_script.cases.push_back(std::move(testCase));
        }
        return std::move(m_script);
    }

private:
    void subjects(std::vector<SourceLine> &into)
    {
        for (; m_next < m_lines.size() && !isBlank(m_lines[m_next]); ++m_next)
            into.push_back({m_lines[m_next], int(m_next) + 1});
    }

    void fillers(std::vector<std::string> &into)
    {
        for (; m_next < m_lines.size() && isFiller(m_lines[m_next]); ++m_next) {
            if (isDirective(m_lines[m_next]))
                applyDirective(m_lines[m_next], m_lockout);
            into.push_back(m_lines[m_next]);
        }
    }

    TestCase pattern()
    {
        TestCase testCase;
        testCase.lineNumber = int(m_next) + 1;
        const std::string &first = m_lines[m_next++];
        testCase.patternLines.push_back(first);
        const std::string_view text = skipSpace(first);
        if (text.front() == '<' && text.find('<', 1) == std::string_view::npos) {
            testCase.kind = TestCase::Kind::Load;
            return testCase;
        }
        const char delimiter = text.front();
        if (std::isalnum(static_cast<unsigned char>(delimiter)) || delimiter == '\\') {
            testCase.badDelimiter = true;
            return testCase;
        }
        std::string buffer(text.substr(1));
        while (!splitAtDelimiter(buffer, delimiter, testCase)) {
            if (m_next == m_lines.size()) {
                testCase.kind = TestCase::Kind::UnexpectedEnd;
                break;
            }
            buffer += m_lines[m_next];
            testCase.patternLines.push_back(m_lines[m_next++]);
        }
        return testCase;
    }

    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    std::string m_lockout;
    TestScript m_script;
};

struct FdCloser
{
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

std::string systemReason()
{
    return std::strerror(errno);
}

} // namespace

std::vector<std::string> SplitRawLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.emplace_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string_view WithoutLineEnd(std::string_view line)
{
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    return line;
}

TestScript ParseTestScript(std::string_view text)
{
    return ScriptReader(text).read();
}

FileText ReadTestFile(const std::string &path)
{
    FileText result;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        result.error = systemReason();
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.error = S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return result;
    }
    if (std::size_t(status.st_size) > kMaxTestFileSize) {
        result.error = "larger than " + std::to_string(kMaxTestFileSize >> 20) + " MB";
        return result;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = systemReason();
            return result;
        }
        if (got == 0)
            break;
        if (result.text.size() + std::size_t(got) > kMaxTestFileSize) {
            result.error = "grew past " + std::to_string(kMaxTestFileSize >> 20) + " MB while being read";
            return result;
        }
        result.text.append(buffer, std::size_t(got));
    }
    return result;
}
