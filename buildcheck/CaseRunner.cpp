#include "CaseRunner.h"

#include "Modifiers.h"
#include "PcreBinding.h"
#include "PcreMore.h"
#include "PcreTables.h"
#include "Subject.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstdio>

namespace {

// The print class bitmap inside a tables block (see PcreTables.cpp).
constexpr std::size_t kPrintBitmapOffset = 512 + 224;

std::string format(const char *pattern, long value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

// Which bytes print as themselves: 32 to 126, or, for a pattern compiled
// under a locale, what that locale calls printable.
class BytePrinter
{
public:
    explicit BytePrinter(const unsigned char *tables) : m_tables(tables) {}

    bool printable(unsigned char c) const
    {
        if (!m_tables)
            return c >= 32 && c <= 126;
        return (m_tables[kPrintBitmapOffset + c / 8] & (1u << (c % 8))) != 0;
    }

    std::string text(std::string_view bytes) const
    {
        std::string result;
        for (const char c : bytes)
            result += printable(static_cast<unsigned char>(c)) ? std::string(1, c) : hex(c);
        return result;
    }

    static std::string hex(char c) { return format("\\x%02lx", static_cast<unsigned char>(c)); }

private:
    const unsigned char *m_tables;
};

// Reasons found before anything runs: the pattern's own features and the
// escapes of its subject lines.
std::string staticSkipReason(const TestCase &testCase, const Modifiers &modifiers,
                             const std::vector<Subject> &subjects)
{
    if (!testCase.unreadable.empty())
        return testCase.unreadable;
    if (!modifiers.unsupported.empty())
        return modifiers.unsupported;
    if (testCase.pattern.find("(?C") != std::string::npos)
        return "callouts";
    for (const Subject &subject : subjects) {
        if (!subject.unsupported.empty())
            return subject.unsupported;
    }
    return {};
}

// Character tables built under `locale`; false when the locale is missing.
bool buildLocaleTables(const std::string &locale, PcreTablesPtr &tables)
{
    const char *current = std::setlocale(LC_ALL, nullptr);
    const std::string saved = current ? current : "C";
    if (!std::setlocale(LC_ALL, locale.c_str()))
        return false;
    tables = PcreMakeTables();
    std::setlocale(LC_ALL, saved.c_str());
    return tables != nullptr;
}

std::string errorText(int code)
{
    switch (code) {
    case PCRE_ERROR_MATCHLIMIT: return "match limit exceeded";
    case PCRE_ERROR_RECURSIONLIMIT: return "recursion limit exceeded";
    case PCRE_ERROR_BADOFFSET: return "bad offset value";
    case PCRE_ERROR_RECURSELOOP: return "nested recursion at the same subject position";
    case PCRE_ERROR_JIT_STACKLIMIT: return "JIT stack limit reached";
    default: return "unexpected error";
    }
}

struct OptionName { int option; const char *name; };

// Option names in the order the pattern information lists them.
constexpr OptionName kOptionNames[] = {
    {PCRE_ANCHORED, "anchored"},        {PCRE_CASELESS, "caseless"},
    {PCRE_EXTENDED, "extended"},        {PCRE_MULTILINE, "multiline"},
    {PCRE_FIRSTLINE, "firstline"},      {PCRE_DOTALL, "dotall"},
    {PCRE_DOLLAR_ENDONLY, "dollar_endonly"}, {PCRE_EXTRA, "extra"},
    {PCRE_UNGREEDY, "ungreedy"},        {PCRE_NO_AUTO_CAPTURE, "no_auto_capture"},
    {PCRE_NO_AUTO_POSSESS, "no_auto_possessify"}, {PCRE_BSR_ANYCRLF, "bsr_anycrlf"},
    {PCRE_BSR_UNICODE, "bsr_unicode"},  {PCRE_DUPNAMES, "dupnames"},
};

constexpr struct { int bits; const char *name; } kNewlineNames[] = {
    {PCRE_NEWLINE_CR, "CR"},   {PCRE_NEWLINE_LF, "LF"},   {PCRE_NEWLINE_CRLF, "CRLF"},
    {PCRE_NEWLINE_ANY, "ANY"}, {PCRE_NEWLINE_ANYCRLF, "ANYCRLF"},
};

struct CharQuery
{
    const char *label;
    const char *noneLine;
    int valueQuery;
    int flagsQuery;
};

constexpr CharQuery kFirstChar{"First char", "No first char", PCRE_INFO_FIRSTCHARACTER,
                               PCRE_INFO_FIRSTCHARACTERFLAGS};
constexpr CharQuery kNeedChar{"Need char", "No need char", PCRE_INFO_REQUIREDCHAR,
                              PCRE_INFO_REQUIREDCHARFLAGS};

class CaseRun
{
public:
    CaseRun(const TestCase &testCase, const RunSettings &settings, EngineClock &clock)
        : m_case(testCase), m_settings(settings), m_clock(clock),
          m_modifiers(ParseModifiers(testCase.modifiers))
    {
    }

    CaseOutput run()
    {
        for (const SubjectLine &line : m_case.subjects)
            m_subjects.push_back(DecodeSubject(line.text));
        m_output.skipReason = staticSkipReason(m_case, m_modifiers, m_subjects);
        if (m_output.skipReason.empty())
            m_output.skipReason = prepareTables();
        if (m_output.skipReason.empty())
            runPrepared();
        if (!m_output.skipReason.empty())
            m_output.lines.clear();
        return std::move(m_output);
    }

private:
    std::string prepareTables()
    {
        if (m_modifiers.locale.empty())
            return {};
        const auto alias = m_settings.localeNames.find(m_modifiers.locale);
        const std::string name =
            alias == m_settings.localeNames.end() ? m_modifiers.locale : alias->second;
        if (!buildLocaleTables(name, m_tables))
            return "locale " + name + " not available";
        return {};
    }

    void runPrepared()
    {
        echo(m_case.patternLines);
        if (!compile()) {
            // The subject lines are passed over unechoed, and the blank line
            // that ends them shows as an empty one.
            std::vector<std::string> trailer = m_case.trailer;
            if (!trailer.empty())
                trailer.front().clear();
            echo(trailer);
            return;
        }
        study();
        if (m_modifiers.showInfo)
            m_output.skipReason = describePattern();
        for (std::size_t i = 0; i < m_subjects.size() && m_output.skipReason.empty(); ++i) {
            m_output.lines.push_back(m_case.subjects[i].text);
            matchSubject(m_subjects[i]);
            ++m_output.subjectsRun;
        }
        echo(m_case.trailer);
    }

    void echo(const std::vector<std::string> &lines)
    {
        m_output.lines.insert(m_output.lines.end(), lines.begin(), lines.end());
    }

    void out(std::string line) { m_output.lines.push_back(std::move(line)); }

    // --- compile and study ---------------------------------------------

    bool compile()
    {
        const char *error = nullptr;
        int errorOffset = 0;
        m_code = PcreCodePtr(m_clock.measure([&] {
            return PcreBinding.library->Api().pcre_compile(m_case.pattern.c_str(), m_modifiers.compileOptions,
                                                           &error, &errorOffset, m_tables.get());
        }), PcreCodeDeleter{PcreBinding.library, nullptr});
        if (m_code)
            return true;
        out(std::string("Failed: ") + (error ? error : "(no message)") + " at offset "
            + std::to_string(errorOffset));
        return false;
    }

    bool studyWanted() const
    {
        return m_modifiers.study == StudyRequest::Study
            || (m_settings.studyAll && m_modifiers.study != StudyRequest::NoStudy);
    }

    void study()
    {
        if (!studyWanted())
            return;
        const char *error = nullptr;
        const int options = m_modifiers.studyExtraNeeded ? PCRE_STUDY_EXTRA_NEEDED : 0;
        m_studied = PcreExtraPtr(m_clock.measure([&] {
            return PcreBinding.library->Api().pcre_study(m_code.get(), options, &error);
        }), PcreExtraDeleter{PcreBinding.library});
        if (error)
            out(std::string("Failed to study: ") + error);
        if (m_studied)
            m_studyFlags = studyBlock()->flags;
    }

    PcreExtraBlock *studyBlock() const
    {
        return reinterpret_cast<PcreExtraBlock *>(m_studied.get());
    }

    template <typename T>
    int info(int what, T &where)
    {
        return m_clock.measure([&] {
            return PcreBinding.library->Api().pcre_fullinfo(m_code.get(), m_studied.get(), what, &where);
        });
    }

    template <typename T>
    T infoValue(int what)
    {
        T value{};
        info(what, value);
        return value;
    }

    // --- pattern information (I) ---------------------------------------

    // Returns a skip reason when the information needs lines this checker
    // does not write.
    std::string describePattern()
    {
        if (infoValue<int>(PCRE_INFO_NAMECOUNT) > 0)
            return "named-subpattern listing";
        if (infoValue<int>(PCRE_INFO_JCHANGED) || !infoValue<int>(PCRE_INFO_OKPARTIAL))
            return "pattern information notes";
        std::uint32_t limit = 0;
        if (info(PCRE_INFO_MATCHLIMIT, limit) == 0 || info(PCRE_INFO_RECURSIONLIMIT, limit) == 0)
            return "pattern match limits";

        out("Capturing subpattern count = " + std::to_string(infoValue<int>(PCRE_INFO_CAPTURECOUNT)));
        if (const int backReference = infoValue<int>(PCRE_INFO_BACKREFMAX); backReference > 0)
            out("Max back reference = " + std::to_string(backReference));
        if (const int lookbehind = infoValue<int>(PCRE_INFO_MAXLOOKBEHIND); lookbehind > 0)
            out("Max lookbehind = " + std::to_string(lookbehind));
        if (infoValue<int>(PCRE_INFO_HASCRORLF))
            out("Contains explicit CR or LF match");
        if (infoValue<int>(PCRE_INFO_MATCH_EMPTY))
            out("May match empty string");
        if (std::string reason = describeOptions(); !reason.empty())
            return reason;
        if (std::string reason = describeChar(kFirstChar); !reason.empty())
            return reason;
        if (std::string reason = describeChar(kNeedChar); !reason.empty())
            return reason;
        // Like PCRE's own program: study results only when S asked for them.
        if (m_modifiers.study == StudyRequest::Study)
            describeStudy();
        return {};
    }

    std::string describeOptions()
    {
        unsigned long options = infoValue<unsigned long>(PCRE_INFO_OPTIONS);
        std::string names;
        for (const OptionName &option : kOptionNames) {
            if (options & static_cast<unsigned long>(option.option)) {
                names += ' ';
                names += option.name;
                options &= ~static_cast<unsigned long>(option.option);
            }
        }
        const unsigned long newline = options & PCRE_NEWLINE_BITS;
        if (options & ~static_cast<unsigned long>(PCRE_NEWLINE_BITS))
            return "option names in pattern information";
        // Newline bits alone still make an "Options:" line, with no names.
        out(options == 0 && names.empty() ? "No options" : "Options:" + names);
        for (const auto &entry : kNewlineNames) {
            if (newline == static_cast<unsigned long>(entry.bits))
                out(std::string("Forced newline sequence: ") + entry.name);
        }
        return {};
    }

    // "First char" and "Need char". Whether a letter is matched caselessly
    // is not reported by pcre_fullinfo(), so such a line cannot be written.
    std::string describeChar(const CharQuery &query)
    {
        const int flags = infoValue<int>(query.flagsQuery);
        const std::string label = query.label;
        if (flags == 0) {
            out(query.noneLine);
            return {};
        }
        if (flags == 2) {
            out(label + " at start or follows newline");
            return {};
        }
        const auto value = infoValue<std::uint32_t>(query.valueQuery);
        if (value > 255)
            return "character above 255 (UTF mode)";
        const auto c = static_cast<unsigned char>(value);
        if (std::isalpha(c) || (m_tables && m_tables.get()[256 + c] != c))
            return "case-folding flag of first or need char";
        const BytePrinter printer(m_tables.get());
        out(label + " = "
            + (printer.printable(c) ? "'" + std::string(1, static_cast<char>(c)) + "'"
                                    : BytePrinter::hex(static_cast<char>(c))));
        return {};
    }

    void describeStudy()
    {
        if (!m_studied) {
            out("Study returned NULL");
            return;
        }
        out("Subject length lower bound = " + std::to_string(infoValue<int>(PCRE_INFO_MINLENGTH)));
        const auto *bits = infoValue<const unsigned char *>(PCRE_INFO_FIRSTTABLE);
        if (!bits) {
            out("No starting char list");
            return;
        }
        const BytePrinter printer(m_tables.get());
        std::string line = "Starting chars: ";
        int column = 24;    // wraps where PCRE's own program wraps
        for (int c = 0; c < 256; ++c) {
            if (!(bits[c / 8] & (1u << (c % 8))))
                continue;
            if (column > 75) {
                out(line);
                line = "  ";
                column = 2;
            }
            const bool plain = printer.printable(static_cast<unsigned char>(c)) && c != ' ';
            line += plain ? std::string(1, static_cast<char>(c)) : BytePrinter::hex(static_cast<char>(c));
            line += ' ';
            column += plain ? 2 : 5;
        }
        out(line);
    }

    // --- matching ---------------------------------------------------------

    // The extra block for one call: the study data, plus the mark and
    // limit fields this subject asks for; null when nothing is needed.
    PcreExtraBlock *extraFor(const Subject &subject)
    {
        const bool limits = subject.matchLimit >= 0 || subject.recursionLimit >= 0;
        PcreExtraBlock *block = studyBlock();
        if (!block && !m_modifiers.showMarks && !limits)
            return nullptr;
        if (!block) {
            m_ownExtra = {};
            block = &m_ownExtra;
        }
        block->flags = block == &m_ownExtra ? 0 : m_studyFlags;
        m_mark = nullptr;
        if (m_modifiers.showMarks) {
            block->flags |= PCRE_EXTRA_MARK;
            block->mark = &m_mark;
        }
        if (subject.matchLimit >= 0) {
            block->flags |= PCRE_EXTRA_MATCH_LIMIT;
            block->match_limit = static_cast<unsigned long>(subject.matchLimit);
        }
        if (subject.recursionLimit >= 0) {
            block->flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
            block->match_limit_recursion = static_cast<unsigned long>(subject.recursionLimit);
        }
        return block;
    }

    bool crlfIsNewline(const Subject &subject)
    {
        int newline = subject.execOptions & PCRE_NEWLINE_BITS;
        if (!newline)
            newline = static_cast<int>(infoValue<unsigned long>(PCRE_INFO_OPTIONS)) & PCRE_NEWLINE_BITS;
        return newline == PCRE_NEWLINE_CRLF || newline == PCRE_NEWLINE_ANY
            || newline == PCRE_NEWLINE_ANYCRLF;
    }

    struct Cursor
    {
        const char *base;
        int length;
        int start;
    };

    // Finds all matches (g, G) the way Perl does: after an empty match, the
    // same place is tried again for a non-empty anchored match before
    // stepping on by one character.
    void matchSubject(const Subject &subject)
    {
        const int ovectorSize = std::max(0, subject.ovectorSize);
        std::vector<int> ovector(static_cast<std::size_t>(ovectorSize));
        Cursor cursor{subject.bytes.data(), static_cast<int>(subject.bytes.size()),
                      subject.startOffset};
        const bool global = m_modifiers.global || m_modifiers.globalShortened;
        int retryOptions = 0;
        bool matchedBefore = false;
        for (int round = 0; round < 2 * cursor.length + 16; ++round) {
            std::fill(ovector.begin(), ovector.end(), -1);
            PcreExtraBlock *extra = extraFor(subject);
            const int rc = m_clock.measure([&] {
                return PcreBinding.library->Api().pcre_exec(m_code.get(), reinterpret_cast<pcre_extra *>(extra),
                                             cursor.base, cursor.length, cursor.start,
                                             subject.execOptions | retryOptions, ovector.data(),
                                             ovectorSize);
            });
            if (rc == PCRE_ERROR_NOMATCH && retryOptions) {
                retryOptions = 0;
                const int step = crlfIsNewline(subject) && cursor.start + 1 < cursor.length
                        && cursor.base[cursor.start] == '\r' && cursor.base[cursor.start + 1] == '\n'
                    ? 2 : 1;
                if (cursor.start + step > cursor.length)
                    return;
                advance(cursor, cursor.start + step);
                continue;
            }
            if (rc == PCRE_ERROR_NOMATCH) {
                if (!matchedBefore)
                    out(noMatchLine());
                return;
            }
            if (rc < 0) {
                out("Error " + std::to_string(rc) + " (" + errorText(rc) + ")");
                return;
            }
            if (global && ovectorSize >= 2 && ovector[0] >= 0 && ovector[0] < cursor.start) {
                // \K in a lookbehind: where the next attempt starts then
                // depends on where this one began, which exec does not report.
                m_output.skipReason = "global match starting before its start offset";
                return;
            }
            printMatch(rc, ovector, cursor);
            matchedBefore = true;
            if (!global || ovectorSize < 2 || ovector[1] < 0 || ovector[1] > cursor.length)
                return;
            retryOptions = 0;
            if (ovector[0] == ovector[1]) {
                if (ovector[1] == cursor.length)
                    return;
                retryOptions = PCRE_NOTEMPTY_ATSTART | PCRE_ANCHORED;
            }
            advance(cursor, ovector[1]);
        }
        out("** global matching stopped: no progress");
    }

    void advance(Cursor &cursor, int offset) const
    {
        if (m_modifiers.globalShortened) {
            cursor.base += offset;
            cursor.length -= offset;
            cursor.start = 0;
        } else {
            cursor.start = offset;
        }
    }

    std::string noMatchLine() const
    {
        if (m_modifiers.showMarks && m_mark)
            return "No match, mark = " + markText();
        return "No match";
    }

    std::string markText() const
    {
        return BytePrinter(m_tables.get()).text(reinterpret_cast<const char *>(m_mark));
    }

    // Shows the pairs the call returned or, when it reports too small a
    // vector, the pairs the vector holds (a vector of two still holds the
    // whole match). With "=" all subpatterns show, as far as the vector
    // reaches; pairs the engine did not set show as unset.
    void printMatch(int rc, const std::vector<int> &ovector, const Cursor &cursor)
    {
        const int size = static_cast<int>(ovector.size());
        int count = rc;
        if (rc == 0) {
            out("Matched, but too many substrings");
            count = size == 2 ? 1 : size / 3;
        }
        if (m_modifiers.showAllCaptures)
            count = std::max(count, infoValue<int>(PCRE_INFO_CAPTURECOUNT) + 1);
        count = std::min(count, size / 2);
        for (int i = 0; i < count; ++i)
            printCapture(i, ovector[2 * i], ovector[2 * i + 1], cursor);
        if (m_modifiers.showMarks && m_mark)
            out("MK: " + markText());
    }

    void printCapture(int number, int start, int end, const Cursor &cursor)
    {
        const std::string label = format("%2ld: ", number);
        if (start == -1 && end == -1) {
            out(label + "<unset>");
            return;
        }
        if (start < 0 || end < 0 || start > cursor.length || end > cursor.length) {
            out(label + "<invalid offsets " + std::to_string(start) + ".." + std::to_string(end)
                + " in a subject of length " + std::to_string(cursor.length) + ">");
            return;
        }
        const BytePrinter printer(m_tables.get());
        int from = start;
        int to = end;
        if (from > to) {
            out("Start of matched string is beyond its end - displaying from end to start.");
            std::swap(from, to);
        }
        out(label + printer.text(std::string_view(cursor.base + from, static_cast<std::size_t>(to - from))));
        if (m_modifiers.showRest > (number == 0 ? 0 : 1))
            out(format("%2ld+ ", number)
                + printer.text(std::string_view(cursor.base + end,
                                                static_cast<std::size_t>(cursor.length - end))));
    }

    const TestCase &m_case;
    const RunSettings &m_settings;
    EngineClock &m_clock;
    Modifiers m_modifiers;
    std::vector<Subject> m_subjects;
    PcreTablesPtr m_tables;
    PcreCodePtr m_code;
    PcreExtraPtr m_studied;
    unsigned long m_studyFlags = 0;
    PcreExtraBlock m_ownExtra{};
    unsigned char *m_mark = nullptr;
    CaseOutput m_output;
};

} // namespace

CaseOutput RunCase(const TestCase &testCase, const RunSettings &settings, EngineClock &clock)
{
    return CaseRun(testCase, settings, clock).run();
}
