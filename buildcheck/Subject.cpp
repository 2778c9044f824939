#include "Subject.h"

#include "PcreMore.h"
#include "TestScript.h"

#include <cctype>

namespace {

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class EscapeDecoder
{
public:
    explicit EscapeDecoder(std::string_view text) : m_text(text) {}

    Subject decode()
    {
        while (m_pos < m_text.size() && m_subject.unsupported.empty()) {
            const char c = m_text[m_pos++];
            if (c != '\\')
                m_subject.bytes += c;
            else if (m_pos < m_text.size())   // a final backslash is dropped
                escape(m_text[m_pos++]);
        }
        return m_subject;
    }

private:
    void escape(char c)
    {
        switch (c) {
        case 'a': byte(7); break;
        case 'b': byte(8); break;
        case 'e': byte(27); break;
        case 'f': byte(12); break;
        case 'n': byte(10); break;
        case 'r': byte(13); break;
        case 't': byte(9); break;
        case 'v': byte(11); break;
        case 'x': hexEscape(); break;
        case 'o': bracedNumber(8); break;
        case 'A': m_subject.execOptions |= PCRE_ANCHORED; break;
        case 'B': m_subject.execOptions |= PCRE_NOTBOL; break;
        case 'Z': m_subject.execOptions |= PCRE_NOTEOL; break;
        case 'Y': m_subject.execOptions |= PCRE_NO_START_OPTIMIZE; break;
        case '?': m_subject.execOptions |= PCRE_NO_UTF8_CHECK; break;
        case 'N': notEmpty(); break;
        case '>': m_subject.startOffset = static_cast<int>(number(true)); break;
        case 'O': m_subject.ovectorSize = static_cast<int>(number(false)); break;
        case 'q': m_subject.matchLimit = number(false); break;
        case 'Q': m_subject.recursionLimit = number(false); break;
        case '<': newlineOption(); break;
        case 'C': unsupportedC(); break;
        case 'G': case 'L': m_subject.unsupported = "substring functions"; break;
        case 'D': case 'F': case 'R': m_subject.unsupported = "DFA matching"; break;
        case 'M': m_subject.unsupported = "match-limit discovery"; break;
        case 'P': m_subject.unsupported = "partial matching"; break;
        case 'S': m_subject.unsupported = "memory tracing"; break;
        case 'J': m_subject.unsupported = "JIT"; break;
        default:
            if (isOctal(c))
                octalEscape(c);
            else
                m_subject.bytes += c;
        }
    }

    void byte(unsigned value) { m_subject.bytes += static_cast<char>(value & 0xff); }

    // \nnn: up to three octal digits, the first already read.
    void octalEscape(char first)
    {
        unsigned value = static_cast<unsigned>(first - '0');
        for (int digits = 1; digits < 3 && m_pos < m_text.size() && isOctal(m_text[m_pos]); ++digits)
            value = value * 8 + static_cast<unsigned>(m_text[m_pos++] - '0');
        byte(value);
    }

    // \xhh with up to two digits (none means 0), or \x{hh...}.
    void hexEscape()
    {
        if (m_pos < m_text.size() && m_text[m_pos] == '{'
            && m_text.find('}', m_pos) != std::string_view::npos) {
            bracedNumber(16);
            return;
        }
        unsigned value = 0;
        for (int digits = 0; digits < 2 && m_pos < m_text.size() && hexValue(m_text[m_pos]) >= 0;
             ++digits)
            value = value * 16 + static_cast<unsigned>(hexValue(m_text[m_pos++]));
        byte(value);
    }

    // {digits} in base 8 or 16; `m_pos` is on the '{'.
    void bracedNumber(unsigned base)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != '{') {
            m_subject.bytes += 'o';
            return;
        }
        unsigned long value = 0;
        for (++m_pos; m_pos < m_text.size() && m_text[m_pos] != '}'; ++m_pos) {
            const int digit = hexValue(m_text[m_pos]);
            if (digit < 0 || static_cast<unsigned>(digit) >= base) {
                m_subject.unsupported = "malformed braced character value";
                return;
            }
            value = value * base + static_cast<unsigned>(digit);
            if (value > 0xff) {
                m_subject.unsupported = "character above 255 (UTF mode)";
                return;
            }
        }
        ++m_pos;
        byte(static_cast<unsigned>(value));
    }

    long number(bool allowMinus)
    {
        bool negative = false;
        if (allowMinus && m_pos < m_text.size() && m_text[m_pos] == '-') {
            negative = true;
            ++m_pos;
        }
        long value = 0;
        while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))
               && value < 100000000)
            value = value * 10 + (m_text[m_pos++] - '0');
        return negative ? -value : value;
    }

    // Once PCRE_NOTEMPTY, twice PCRE_NOTEMPTY_ATSTART.
    void notEmpty()
    {
        if (m_subject.execOptions & PCRE_NOTEMPTY) {
            m_subject.execOptions &= ~PCRE_NOTEMPTY;
            m_subject.execOptions |= PCRE_NOTEMPTY_ATSTART;
        } else {
            m_subject.execOptions |= PCRE_NOTEMPTY;
        }
    }

    // \<cr>, \<lf>, ...; anything else is a literal '<'.
    void newlineOption()
    {
        static constexpr struct { std::string_view name; int option; } kNames[] = {
            {"cr>", PCRE_NEWLINE_CR},   {"lf>", PCRE_NEWLINE_LF},
            {"crlf>", PCRE_NEWLINE_CRLF}, {"any>", PCRE_NEWLINE_ANY},
            {"anycrlf>", PCRE_NEWLINE_ANYCRLF},
        };
        const std::string_view rest = m_text.substr(m_pos);
        for (const auto &entry : kNames) {
            if (rest.starts_with(entry.name)) {
                m_subject.execOptions |= entry.option;
                m_pos += entry.name.size();
                return;
            }
        }
        m_subject.bytes += '<';
    }

    void unsupportedC()
    {
        const char next = m_pos < m_text.size() ? m_text[m_pos] : '\0';
        const bool calloutControl = next == '+' || next == '-' || next == '!' || next == '*';
        m_subject.unsupported = calloutControl ? "callouts" : "substring functions";
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    Subject m_subject;
};

} // namespace

Subject DecodeSubject(std::string_view line)
{
    return EscapeDecoder(Trimmed(line)).decode();
}
