#include "Modifiers.h"

#include "PcreMore.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

struct OptionLetter { char letter; int option; };

constexpr OptionLetter kOptionLetters[] = {
    {'i', PCRE_CASELESS},       {'m', PCRE_MULTILINE},        {'s', PCRE_DOTALL},
    {'x', PCRE_EXTENDED},       {'A', PCRE_ANCHORED},         {'E', PCRE_DOLLAR_ENDONLY},
    {'U', PCRE_UNGREEDY},       {'X', PCRE_EXTRA},            {'J', PCRE_DUPNAMES},
    {'N', PCRE_NO_AUTO_CAPTURE}, {'f', PCRE_FIRSTLINE},       {'O', PCRE_NO_AUTO_POSSESS},
    {'Y', PCRE_NO_START_OPTIMIZE}, {'9', PCRE_NEVER_UTF},     {'?', PCRE_NO_UTF8_CHECK},
};

struct UnsupportedLetter { char letter; const char *reason; };

// Features outside what compile/study/exec/fullinfo can show.
constexpr UnsupportedLetter kUnsupportedLetters[] = {
    {'B', "compiled-code dump"},  {'D', "compiled-code dump"},
    {'C', "callouts"},            {'P', "POSIX wrapper"},
    {'8', "UTF-8 mode"},          {'W', "Unicode properties"},
    {'F', "byte-order flip"},     {'T', "alternative built-in tables"},
    {'M', "memory size report"},  {'Q', "stack guard"},
    {'>', "saving compiled patterns"},
};

struct NamedOption { const char *name; int option; };

constexpr NamedOption kNamedOptions[] = {
    {"cr", PCRE_NEWLINE_CR},           {"lf", PCRE_NEWLINE_LF},
    {"crlf", PCRE_NEWLINE_CRLF},       {"any", PCRE_NEWLINE_ANY},
    {"anycrlf", PCRE_NEWLINE_ANYCRLF}, {"bsr_anycrlf", PCRE_BSR_ANYCRLF},
    {"bsr_unicode", PCRE_BSR_UNICODE}, {"js", PCRE_JAVASCRIPT_COMPAT},
};

std::string lowerCase(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// S and the letters that qualify it: ! (always return a block), S (never
// study), - (no JIT), + (JIT, with an optional digit).
void parseStudy(std::string_view text, std::size_t &pos, Modifiers &result)
{
    result.study = StudyRequest::Study;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '!')
            result.studyExtraNeeded = true;
        else if (c == 'S')
            result.study = StudyRequest::NoStudy;
        else if (c == '+' || (c >= '1' && c <= '7'))
            result.unsupported = "JIT";
        else if (c != '-')
            break;
    }
}

// <name> options; `pos` is on the '<'.
void parseNamedOption(std::string_view text, std::size_t &pos, Modifiers &result)
{
    const std::size_t close = text.find('>', pos);
    if (close == std::string_view::npos) {
        result.unsupported = "unknown modifier <";
        pos = text.size();
        return;
    }
    const std::string name = lowerCase(text.substr(pos + 1, close - pos - 1));
    pos = close + 1;
    for (const NamedOption &option : kNamedOptions) {
        if (name == option.name) {
            result.compileOptions |= option.option;
            return;
        }
    }
    result.unsupported = "unknown modifier <" + name + ">";
}

bool applyLetter(char c, Modifiers &result)
{
    for (const OptionLetter &option : kOptionLetters) {
        if (c == option.letter) {
            result.compileOptions |= option.option;
            return true;
        }
    }
    for (const UnsupportedLetter &unsupported : kUnsupportedLetters) {
        if (c == unsupported.letter) {
            result.unsupported = unsupported.reason;
            return true;
        }
    }
    switch (c) {
    case 'g': result.global = true; return true;
    case 'G': result.globalShortened = true; return true;
    case '+': ++result.showRest; return true;
    case '=': result.showAllCaptures = true; return true;
    case 'K': result.showMarks = true; return true;
    case 'I': result.showInfo = true; return true;
    case 'Z': return true;      // changes only the compiled-code dump
    default: return false;
    }
}

} // namespace

Modifiers ParseModifiers(std::string_view text)
{
    Modifiers result;
    std::size_t pos = 0;
    while (pos < text.size() && result.unsupported.empty()) {
        const char c = text[pos++];
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        if (c == 'S') {
            parseStudy(text, pos, result);
        } else if (c == '<') {
            parseNamedOption(text, --pos, result);
        } else if (c == 'L') {
            // The locale name runs to the end: L must be the last modifier.
            result.locale = std::string(text.substr(pos));
            while (!result.locale.empty()
                   && std::isspace(static_cast<unsigned char>(result.locale.back())))
                result.locale.pop_back();
            if (result.locale.empty())
                result.unsupported = "L without a locale name";
            break;
        } else if (!applyLetter(c, result)) {
            result.unsupported = std::string("unknown modifier ") + c;
        }
    }
    return result;
}
