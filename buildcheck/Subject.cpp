#include "Subject.h"

#include "Modifiers.h"
#include "PcreMore.h"

#include <cctype>
#include <climits>
#include <cstdio>

namespace {

constexpr unsigned kUtf8Limits[] = {0x7f, 0x7ff, 0xffff, 0x1fffff, 0x3ffffff, 0x7fffffff};
constexpr unsigned char kUtf8LeadBits[] = {0, 0xc0, 0xe0, 0xf0, 0xf8, 0xfc};

// The largest number each escape takes. The test program reads them without
// a bound; past these they would only make it allocate or overflow.
constexpr long kMaxOvectorSize = 3L * (PCRE_MAX_CAPTURES + 1);
constexpr long kMaxStringNumber = 31;    // one bit each in a 32-bit set
constexpr long kMaxJitStackKilobytes = INT_MAX / 1024;

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isOctal(char c) { return c >= '0' && c <= '7'; }
bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

unsigned hexValue(char c)
{
    return isDigit(c) ? unsigned(c - '0') : unsigned(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
}

std::string hexText(unsigned value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", value);
    return buffer;
}

class EscapeDecoder
{
public:
    EscapeDecoder(std::string_view text, bool utf, const std::function<bool(const std::string &)> &knownName)
        : m_text(text), m_utf(utf), m_knownName(knownName)
    {
    }

    Subject decode()
    {
        if (m_utf && !wellFormed()) {
            m_subject.notes = "**Failed: invalid UTF-8 string cannot be used as input in UTF mode\n";
            m_subject.abandoned = true;
            return m_subject;
        }
        while (m_pos < m_text.size() && !m_subject.abandoned) {
            const char c = m_text[m_pos++];
            if (c == '\\')
                escape();
            else if (m_utf && static_cast<unsigned char>(c) >= 0xc0)
                copyUtf8Character();
            else
                m_subject.bytes += c;
        }
        return m_subject;
    }

private:
    bool wellFormed() const
    {
        unsigned value = 0;
        for (std::size_t at = 0; at < m_text.size();) {
            const int used = DecodeUtf8(m_text.substr(at), value);
            if (used <= 0)
                return false;
            at += std::size_t(used);
        }
        return true;
    }

    // Checked by wellFormed(): the bytes of one character, as they are.
    void copyUtf8Character()
    {
        unsigned value = 0;
        const int used = DecodeUtf8(m_text.substr(m_pos - 1), value);
        m_subject.bytes.append(m_text.substr(m_pos - 1, std::size_t(used)));
        m_pos += std::size_t(used) - 1;
    }

    char peek(std::size_t ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0';
    }

    void escape()
    {
        if (m_pos == m_text.size())
            return;    // a final backslash allows an empty line
        const char c = m_text[m_pos++];
        switch (c) {
        case 'a': character(7); break;
        case 'b': character('\b'); break;
        case 'e': character(27); break;
        case 'f': character('\f'); break;
        case 'n': character('\n'); break;
        case 'r': character('\r'); break;
        case 't': character('\t'); break;
        case 'v': character('\v'); break;
        case 'o': octalBraces(); break;
        case 'x': hexEscape(); break;
        case '>': startOffset(); break;
        case 'A': m_subject.execOptions |= PCRE_ANCHORED; break;
        case 'B': m_subject.execOptions |= PCRE_NOTBOL; break;
        case 'C': copyOrCallout(); break;
        case 'D': m_subject.dfa = true; break;
        case 'F': m_subject.execOptions |= PCRE_DFA_SHORTEST; break;
        case 'G': numberOrName(m_subject.getNumbers, m_subject.getNames); break;
        case 'J': m_subject.jitStackKilobytes = int(number(kMaxJitStackKilobytes, "\\J")); break;
        case 'L': m_subject.substringList = true; break;
        case 'M': m_subject.findLimits = true; break;
        case 'N': notEmpty(); break;
        case 'O': m_subject.ovectorSize = int(number(kMaxOvectorSize, "\\O")); break;
        case 'P': partial(); break;
        case 'Q': m_subject.recursionLimit = number(INT_MAX, "\\Q"); break;
        case 'q': m_subject.matchLimit = number(INT_MAX, "\\q"); break;
        case 'R': m_subject.execOptions |= PCRE_DFA_RESTART; break;
        case 'S': m_subject.showMemory = true; break;
        case 'Y': m_subject.execOptions |= PCRE_NO_START_OPTIMIZE; break;
        case 'Z': m_subject.execOptions |= PCRE_NOTEOL; break;
        case '?': m_subject.execOptions |= PCRE_NO_UTF8_CHECK; break;
        case '<': newlineSetting(); break;
        default:
            if (isOctal(c))
                octal(c);
            else
                character(static_cast<unsigned char>(c));
        }
    }

    // A character value: UTF-8 in UTF mode, else one byte.
    void character(unsigned value)
    {
        if (m_utf) {
            if (value > 0x7fffffff) {
                m_subject.notes += "** Character \\x{" + hexText(value)
                    + "} is greater than 0x7fffffff and so cannot be converted to UTF-8\n";
                m_subject.abandoned = true;
                return;
            }
            m_subject.bytes += EncodeUtf8(value);
            return;
        }
        if (value > 0xff) {
            m_subject.notes += "** Character \\x{" + hexText(value)
                + "} is greater than 255 and UTF-8 mode is not enabled.\n"
                  "** Truncation will probably give the wrong result.\n";
        }
        m_subject.bytes += static_cast<char>(value & 0xff);
    }

    // \d, \dd, \ddd: up to three octal digits, the first already read.
    void octal(char first)
    {
        unsigned value = unsigned(first - '0');
        for (int more = 0; more < 2 && isOctal(peek()); ++more)
            value = value * 8 + unsigned(m_text[m_pos++] - '0');
        character(value);
    }

    // \o{ddd}: the twelfth digit is dropped with a note, as the test
    // program does.
    void octalBraces()
    {
        if (peek() != '{') {
            character('o');
            return;
        }
        unsigned value = 0;
        std::size_t at = m_pos + 1;
        for (int digits = 0; at < m_text.size() && isOctal(m_text[at]); ++at) {
            if (++digits == 12)
                m_subject.notes += "** Too many octal digits in \\o{...} item; using only the first twelve.\n";
            else
                value = value * 8 + unsigned(m_text[at] - '0');
        }
        if (at < m_text.size() && m_text[at] == '}')
            m_pos = at + 1;
        else
            m_subject.notes += "** Missing } after \\o{ (assumed)\n";
        character(value);
    }

    // \x{hh...} is a character; \xhh (up to two digits) is a byte even in
    // UTF mode, which is how malformed UTF-8 gets into a subject.
    void hexEscape()
    {
        int digits = 0;
        if (peek() == '{') {
            unsigned value = 0;
            std::size_t at = m_pos + 1;
            for (; at < m_text.size() && isHex(m_text[at]); ++at) {
                if (++digits == 9)
                    m_subject.notes += "** Too many hex digits in \\x{...} item; using only the first eight.\n";
                else
                    value = value * 16 + hexValue(m_text[at]);
            }
            if (at < m_text.size() && m_text[at] == '}') {
                m_pos = at + 1;
                character(value);
                return;
            }
        }
        unsigned value = 0;
        for (; digits < 2 && isHex(peek()); ++digits)
            value = value * 16 + hexValue(m_text[m_pos++]);
        if (m_utf)
            m_subject.bytes += static_cast<char>(value);
        else
            character(value);
    }

    // Digits as a number, held at `limit`: a larger one is noted, for the
    // case to be passed over rather than run with a different value.
    long number(long limit, const char *escape)
    {
        long value = 0;
        while (isDigit(peek())) {
            value = value * 10 + (m_text[m_pos++] - '0');
            if (value > limit) {
                value = limit;
                m_subject.outOfRange = std::string("a number in ") + escape + " above " + std::to_string(limit);
            }
        }
        return value;
    }

    // The test program adds the digits of every \> to what it had, and
    // keeps the sign of the last that had one.
    void startOffset()
    {
        if (peek() == '-') {
            m_offsetSign = -1;
            ++m_pos;
        }
        long value = m_subject.startOffset;
        while (isDigit(peek())) {
            value = value * 10 + (m_text[m_pos++] - '0');
            if (value > INT_MAX / 10) {
                value = INT_MAX / 10;
                m_subject.outOfRange = "a start offset (\\>) above " + std::to_string(INT_MAX / 10);
            }
        }
        m_subject.startOffset = int(value) * m_offsetSign;
    }

    std::string name()
    {
        std::string result;
        while (std::isalnum(static_cast<unsigned char>(peek())))
            result += m_text[m_pos++];
        return result;
    }

    void numberOrName(unsigned &numbers, std::vector<std::string> &names)
    {
        if (isDigit(peek())) {
            numbers |= 1u << number(kMaxStringNumber, "\\C or \\G");
        } else if (std::isalnum(static_cast<unsigned char>(peek()))) {
            names.push_back(name());
            if (!m_knownName(names.back()))
                m_subject.notes += "no parentheses with name \"" + names.back() + "\"\n";
        }
    }

    void copyOrCallout()
    {
        const char next = peek();
        if (next == '+' || next == '-')
            ++m_pos, (next == '+' ? m_subject.calloutExtra : m_subject.calloutNone) = true;
        else if (next == '!')
            calloutFailure();
        else if (next == '*')
            calloutData();
        else
            numberOrName(m_subject.copyNumbers, m_subject.copyNames);
    }

    void calloutFailure()
    {
        ++m_pos;
        m_subject.calloutFailId = int(number(INT_MAX, "\\C!"));
        m_subject.calloutFailCount = 0;
        if (peek() == '!') {
            ++m_pos;
            m_subject.calloutFailCount = int(number(INT_MAX, "\\C!"));
        }
    }

    void calloutData()
    {
        ++m_pos;
        int sign = 1;
        if (peek() == '-') {
            sign = -1;
            ++m_pos;
        }
        m_subject.calloutData = int(number(INT_MAX, "\\C*")) * sign;
        m_subject.calloutDataSet = true;
    }

    // Once PCRE_NOTEMPTY, twice PCRE_NOTEMPTY_ATSTART.
    void notEmpty()
    {
        int &options = m_subject.execOptions;
        options = options & PCRE_NOTEMPTY ? (options & ~PCRE_NOTEMPTY) | PCRE_NOTEMPTY_ATSTART
                                          : options | PCRE_NOTEMPTY;
    }

    // Once soft, twice hard.
    void partial()
    {
        m_subject.execOptions |= m_subject.execOptions & PCRE_PARTIAL_SOFT ? PCRE_PARTIAL_HARD : PCRE_PARTIAL_SOFT;
    }

    void newlineSetting()
    {
        std::size_t length = 0;
        const int option = NamedOption(m_text.substr(m_pos), true, &length);
        if (option == 0) {
            m_subject.notes += "Unknown escape sequence at: <" + std::string(m_text.substr(m_pos)) + "\n";
            m_subject.abandoned = true;
            return;
        }
        m_subject.execOptions |= option;
        m_pos += length;
    }

    std::string_view m_text;
    bool m_utf;
    const std::function<bool(const std::string &)> &m_knownName;
    std::size_t m_pos = 0;
    int m_offsetSign = 1;
    Subject m_subject;
};

std::string_view trimmedLine(std::string_view line)
{
    if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos)
        line = line.substr(0, nul);    // where the test program's string ends
    while (!line.empty() && isSpace(line.back()))
        line.remove_suffix(1);
    while (!line.empty() && isSpace(line.front()))
        line.remove_prefix(1);
    return line;
}

} // namespace

int DecodeUtf8(std::string_view bytes, unsigned &value)
{
    auto at = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    const unsigned first = at(0);
    int extra = 0;
    while (extra < 7 && (first << extra) & 0x80)
        ++extra;
    if (extra == 0) {
        value = first;
        return 1;
    }
    --extra;    // the leading 1 bits, less the one that marks a sequence
    if (extra == 0 || extra >= 6)
        return 0;
    unsigned result = first & (0x3fu >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((at(std::size_t(i)) & 0xc0) != 0x80)
            return -i;
        result = (result << 6) | (at(std::size_t(i)) & 0x3f);
    }
    // Only the shortest encoding of a value counts.
    if (result <= kUtf8Limits[extra - 1])
        return -(extra + 1);
    value = result;
    return extra + 1;
}

std::string EncodeUtf8(unsigned value)
{
    int extra = 0;
    while (extra < 5 && value > kUtf8Limits[extra])
        ++extra;
    std::string bytes(std::size_t(extra) + 1, '\0');
    for (int i = extra; i > 0; --i) {
        bytes[std::size_t(i)] = static_cast<char>(0x80 | (value & 0x3f));
        value >>= 6;
    }
    bytes[0] = static_cast<char>(kUtf8LeadBits[extra] | value);
    return bytes;
}

Subject DecodeSubject(std::string_view line, bool utf, const std::function<bool(const std::string &)> &knownName)
{
    return EscapeDecoder(trimmedLine(line), utf, knownName).decode();
}
