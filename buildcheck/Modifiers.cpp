#include "Modifiers.h"

#include "PcreMore.h"

#include <array>
#include <cctype>

namespace {

struct OptionLetter { char letter; int option; };

constexpr OptionLetter kOptionLetters[] = {
    {'f', PCRE_FIRSTLINE},       {'i', PCRE_CASELESS},        {'m', PCRE_MULTILINE},
    {'s', PCRE_DOTALL},          {'x', PCRE_EXTENDED},        {'A', PCRE_ANCHORED},
    {'C', PCRE_AUTO_CALLOUT},    {'E', PCRE_DOLLAR_ENDONLY},  {'J', PCRE_DUPNAMES},
    {'N', PCRE_NO_AUTO_CAPTURE}, {'O', PCRE_NO_AUTO_POSSESS}, {'U', PCRE_UNGREEDY},
    {'W', PCRE_UCP},             {'X', PCRE_EXTRA},           {'Y', PCRE_NO_START_OPTIMIZE},
    {'9', PCRE_NEVER_UTF},       {'?', PCRE_NO_UTF8_CHECK},
};

struct NamedSetting { std::string_view name; int option; bool newline; };

// In the order the test program tries them: "cr>" before "crlf>" is safe
// because the '>' is part of each name.
constexpr NamedSetting kNamedSettings[] = {
    {"cr>", PCRE_NEWLINE_CR, true},           {"lf>", PCRE_NEWLINE_LF, true},
    {"crlf>", PCRE_NEWLINE_CRLF, true},       {"anycrlf>", PCRE_NEWLINE_ANYCRLF, true},
    {"any>", PCRE_NEWLINE_ANY, true},         {"bsr_anycrlf>", PCRE_BSR_ANYCRLF, true},
    {"bsr_unicode>", PCRE_BSR_UNICODE, true}, {"js>", PCRE_JAVASCRIPT_COMPAT, false},
};

// The JIT options of S+1 to S+7, and of S+ alone (the last).
constexpr std::array<int, 7> kJitStudyBits = {
    PCRE_STUDY_JIT_COMPILE,
    PCRE_STUDY_JIT_PARTIAL_SOFT_COMPILE,
    PCRE_STUDY_JIT_COMPILE | PCRE_STUDY_JIT_PARTIAL_SOFT_COMPILE,
    PCRE_STUDY_JIT_PARTIAL_HARD_COMPILE,
    PCRE_STUDY_JIT_COMPILE | PCRE_STUDY_JIT_PARTIAL_HARD_COMPILE,
    PCRE_STUDY_JIT_PARTIAL_SOFT_COMPILE | PCRE_STUDY_JIT_PARTIAL_HARD_COMPILE,
    PCRE_STUDY_ALL_JIT,
};

bool startsWithCaseless(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

class ModifierReader
{
public:
    ModifierReader(std::string_view text, std::string_view lockout, int forcedStudyOptions,
                   const std::function<bool(const std::string &)> &setLocale)
        : m_text(text), m_lockout(lockout), m_setLocale(setLocale)
    {
        m_result.studyOptions = forcedStudyOptions;
    }

    Modifiers read()
    {
        while (m_pos < m_text.size() && m_text[m_pos] != '\0' && m_result.error.empty()) {
            if (lockedOut(m_text[m_pos]))
                break;
            letter(m_text[m_pos++]);
        }
        return m_result;
    }

private:
    // A letter named on a "< forbid" line ends the run of the file in the
    // test program; here it ends the case with that message.
    bool lockedOut(char c)
    {
        if (m_lockout.find(c) == std::string_view::npos)
            return false;
        if (c == '<' && m_lockout.find('>') != std::string_view::npos)
            return lockedOutSetting();
        m_result.error = std::string("** The /") + c + " modifier is locked out - giving up.\n";
        return true;
    }

    bool lockedOutSetting()
    {
        std::size_t length = 0;
        const int wanted = NamedOption(m_text.substr(m_pos + 1), false, &length);
        if (wanted == 0)
            return false;    // reported as unknown when read
        for (std::size_t at = m_lockout.find('<'); at != std::string_view::npos;
             at = m_lockout.find('<', at + 1)) {
            if (NamedOption(m_lockout.substr(at + 1), false, nullptr) == wanted) {
                m_result.error = "** The " + std::string(m_text.substr(m_pos, length + 1))
                    + " modifier is locked out - giving up.\n";
                return true;
            }
        }
        return false;
    }

    void letter(char c)
    {
        for (const OptionLetter &option : kOptionLetters) {
            if (c == option.letter) {
                m_result.compileOptions |= option.option;
                return;
            }
        }
        switch (c) {
        case 'g': m_result.global = true; break;
        case 'G': m_result.globalShortened = true; break;
        case '+': (m_result.showRest ? m_result.showCaptureRest : m_result.showRest) = true; break;
        case '=': m_result.showAllCaptures = true; break;
        case 'B': m_result.dump = true; break;
        case 'D': m_result.dump = m_result.showInfo = true; break;
        case 'F': m_result.flip = true; break;
        case 'I': m_result.showInfo = true; break;
        case 'K': m_result.showMark = true; break;
        case 'M': m_result.showMemory = true; break;
        case 'P': m_result.posix = true; break;
        case 'Z': break;    // changes only the compiled-code dump
        case '8': m_result.compileOptions |= PCRE_UTF8; m_result.utf = true; break;
        case 'Q': stackGuard(); break;
        case 'S': study(); break;
        case 'T': tables(); break;
        case 'L': locale(); break;
        case '>': saveTo(); break;
        case '<': namedOption(); break;
        case '\r': case '\n': case ' ': break;
        default: m_result.error = std::string("** Unknown modifier '") + c + "'\n";
        }
    }

    char peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }

    void stackGuard()
    {
        if (peek() != '0' && peek() != '1') {
            m_result.error = "** Missing 0 or 1 after /Q\n";
            return;
        }
        m_result.stackGuard = m_text[m_pos++] - '0';
    }

    void study()
    {
        m_result.study = true;
        for (;;) {
            const char c = peek();
            if (c == 'S') {
                m_result.study = false;
                m_result.noForcedStudy = true;
            } else if (c == '!') {
                m_result.studyOptions |= PCRE_STUDY_EXTRA_NEEDED;
            } else if (c == '+') {
                ++m_pos;
                if (peek() == '+') {
                    m_result.verifyJit = true;
                    ++m_pos;
                }
                const char digit = peek();
                const bool numbered = digit >= '1' && digit <= '7';
                m_result.studyOptions |= kJitStudyBits[numbered ? digit - '1' : 6];
                m_pos += numbered;
                continue;
            } else if (c == '-') {
                m_result.studyOptions &= ~PCRE_STUDY_ALL_JIT;
            } else {
                return;
            }
            ++m_pos;
        }
    }

    void tables()
    {
        const char c = peek();
        ++m_pos;
        if (c == '0' || c == '1')
            m_result.tables = c == '0' ? TableChoice::Builtin0 : TableChoice::Builtin1;
        else if (c == '\r' || c == '\n' || c == ' ' || c == '\0')
            m_result.error = "** Missing table number after /T\n";
        else
            m_result.error = std::string("** Bad table number \"") + c + "\" after /T\n";
    }

    // The name runs to a space or the line end; nothing after it is read.
    void locale()
    {
        const std::size_t end = m_text.find_first_of(std::string_view(" \r\n\0", 4), m_pos);
        m_result.locale = std::string(m_text.substr(m_pos, end - m_pos));
        m_pos = m_text.size();
        if (!m_setLocale(m_result.locale))
            m_result.error = "** Failed to set locale \"" + m_result.locale + "\"\n";
        else
            m_result.tables = TableChoice::Locale;
    }

    void saveTo()
    {
        std::string_view name = m_text.substr(m_pos);
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())))
            name.remove_suffix(1);
        m_result.saveTo = std::string(name);
        m_pos = m_text.size();
    }

    void namedOption()
    {
        std::size_t length = 0;
        const int option = NamedOption(m_text.substr(m_pos), false, &length);
        if (option == 0) {
            m_result.error = "Unknown modifier at: <" + std::string(m_text.substr(m_pos)) + "\n";
            return;
        }
        m_result.compileOptions |= option;
        m_pos += length;
    }

    std::string_view m_text;
    std::string_view m_lockout;
    const std::function<bool(const std::string &)> &m_setLocale;
    std::size_t m_pos = 0;
    Modifiers m_result;
};

} // namespace

int NamedOption(std::string_view text, bool newlinesOnly, std::size_t *length)
{
    for (const NamedSetting &setting : kNamedSettings) {
        if ((setting.newline || !newlinesOnly) && startsWithCaseless(text, setting.name)) {
            if (length)
                *length = setting.name.size();
            return setting.option;
        }
    }
    return 0;
}

Modifiers ParseModifiers(std::string_view text, std::string_view lockout, int forcedStudyOptions,
                         const std::function<bool(const std::string &)> &setLocale)
{
    return ModifierReader(text, lockout, forcedStudyOptions, setLocale).read();
}
