#include "PcreTables.h"

#include "PcreApi.h"
#include "PcreBinding.h"

#include <cctype>
#include <clocale>
#include <cstring>

namespace {

// Layout of the block (as pcre_maketables() lays it out).
constexpr std::size_t kLowerCaseOffset = 0;
constexpr std::size_t kCaseFlipOffset = 256;
constexpr std::size_t kBitmapsOffset = 512;
constexpr std::size_t kCharTypesOffset = 832;

// Class bitmaps, 32 bytes each, in this order from kBitmapsOffset.
constexpr std::size_t kBitSpace = 0;
constexpr std::size_t kBitXdigit = 32;
constexpr std::size_t kBitDigit = 64;
constexpr std::size_t kBitUpper = 96;
constexpr std::size_t kBitLower = 128;
constexpr std::size_t kBitWord = 160;
constexpr std::size_t kBitGraph = 192;
constexpr std::size_t kBitPrint = 224;
constexpr std::size_t kBitPunct = 256;
constexpr std::size_t kBitCntrl = 288;
constexpr std::size_t kBitmapsLength = 320;

// Character-type bits.
constexpr unsigned char kTypeSpace = 0x01;
constexpr unsigned char kTypeLetter = 0x02;
constexpr unsigned char kTypeDigit = 0x04;
constexpr unsigned char kTypeXdigit = 0x08;
constexpr unsigned char kTypeWord = 0x10;
constexpr unsigned char kTypeMeta = 0x80;

static_assert(kCharTypesOffset + 256 == PCRE_TABLES_LENGTH);
static_assert(kBitmapsOffset + kBitmapsLength == kCharTypesOffset);

void setBit(unsigned char *bitmaps, std::size_t map, int ch)
{
    bitmaps[map + ch / 8] |= static_cast<unsigned char>(1u << (ch & 7));
}

// The full name of the locale in force, for all categories, as a copy:
// the text setlocale() returns is overwritten by its next call.
std::string currentLocale()
{
    const char *name = std::setlocale(LC_ALL, nullptr);
    return name ? std::string(name) : std::string("C");
}

} // namespace

PcreTablesPtr PcreMakeTables()
{
    PcreTablesPtr block(static_cast<unsigned char *>(std::malloc(PCRE_TABLES_LENGTH)));
    if (!block)
        return block;
    unsigned char *p = block.get();

    for (int ch = 0; ch < 256; ++ch) {
        p[kLowerCaseOffset + ch] = static_cast<unsigned char>(std::tolower(ch));
        p[kCaseFlipOffset + ch] =
            static_cast<unsigned char>(std::islower(ch) ? std::toupper(ch) : std::tolower(ch));
    }

    unsigned char *bitmaps = p + kBitmapsOffset;
    std::memset(bitmaps, 0, kBitmapsLength);
    for (int ch = 0; ch < 256; ++ch) {
        if (std::isdigit(ch)) {
            setBit(bitmaps, kBitDigit, ch);
            setBit(bitmaps, kBitWord, ch);
        }
        if (std::isupper(ch)) {
            setBit(bitmaps, kBitUpper, ch);
            setBit(bitmaps, kBitWord, ch);
        }
        if (std::islower(ch)) {
            setBit(bitmaps, kBitLower, ch);
            setBit(bitmaps, kBitWord, ch);
        }
        if (ch == '_')
            setBit(bitmaps, kBitWord, ch);   // bit 7 of byte 11
        if (std::isspace(ch))
            setBit(bitmaps, kBitSpace, ch);  // VT included here
        if (std::isxdigit(ch))
            setBit(bitmaps, kBitXdigit, ch);
        if (std::isgraph(ch))
            setBit(bitmaps, kBitGraph, ch);
        if (std::isprint(ch))
            setBit(bitmaps, kBitPrint, ch);
        if (std::ispunct(ch))
            setBit(bitmaps, kBitPunct, ch);
        if (std::iscntrl(ch))
            setBit(bitmaps, kBitCntrl, ch);
    }

    for (int ch = 0; ch < 256; ++ch) {
        unsigned char type = 0;
        if (ch != 0x0b && std::isspace(ch))
            type |= kTypeSpace;
        if (std::isalpha(ch))
            type |= kTypeLetter;
        if (std::isdigit(ch))
            type |= kTypeDigit;
        if (std::isxdigit(ch))
            type |= kTypeXdigit;
        if (std::isalnum(ch) || ch == '_')
            type |= kTypeWord;
        // strchr() finds the terminator too, so NUL is a meta character.
        if (std::strchr("*+?{^.$|()[", ch) != nullptr)
            type |= kTypeMeta;
        p[kCharTypesOffset + ch] = type;
    }
    return block;
}

PcreTablesPtr PcreMakeTablesFor(const char *name)
{
    const std::string previous = currentLocale();
    std::setlocale(LC_ALL, name);  // not accepted: the locale in force stays
    PcreTablesPtr tables = PcreMakeTables();
    std::setlocale(LC_ALL, previous.c_str());
    return tables;
}

void PcreSetLocale(const char *name)
{
    // Patterns compiled with the old tables keep them alive themselves.
    PcreBinding.tables.reset();
    if (name)
        PcreBinding.tables = PcreMakeTablesFor(name);
}

std::string GetAnsiLocaleName()
{
    // Linux has no ".ACP": the user's locale is what the environment names,
    // which setlocale(LC_ALL, "") reads.
    const std::string previous = currentLocale();
    const char *name = std::setlocale(LC_ALL, "");
    std::string result = name ? std::string(name) : std::string();
    std::setlocale(LC_ALL, previous.c_str());
    return result;
}
