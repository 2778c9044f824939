#pragma once
// One UTF-8 character as the editor counts and draws it: a well-formed
// sequence, or a single byte that starts none (drawn as a byte, read to a
// screen reader as U+FFFD).

#include <QtGlobal>

struct Utf8Char
{
    int length = 1;        // bytes
    char32_t code = 0xFFFD;

    static bool IsTrail(unsigned char byte) { return (byte & 0xC0) == 0x80; }

    static int LeadLength(unsigned char lead)
    {
        if (lead < 0xC2)
            return 1;
        if (lead < 0xE0)
            return 2;
        if (lead < 0xF0)
            return 3;
        return lead < 0xF5 ? 4 : 1;
    }

    // The character at `s`, of which `available` bytes can be read.
    static Utf8Char Decode(const unsigned char *s, qint64 available)
    {
        if (s[0] < 0x80)
            return {1, s[0]};
        const int length = LeadLength(s[0]);
        if (length == 1 || length > available)
            return {};
        for (int i = 1; i < length; ++i) {
            if (!IsTrail(s[i]))
                return {};
        }
        if (length == 2)
            return {2, char32_t((s[0] & 0x1F) << 6 | (s[1] & 0x3F))};
        if (length == 3) {
            if ((s[0] == 0xE0 && s[1] < 0xA0) || (s[0] == 0xED && s[1] >= 0xA0))
                return {};   // overlong, or a surrogate
            return {3, char32_t((s[0] & 0x0F) << 12 | (s[1] & 0x3F) << 6 | (s[2] & 0x3F))};
        }
        if ((s[0] == 0xF0 && s[1] < 0x90) || (s[0] == 0xF4 && s[1] > 0x8F))
            return {};   // overlong, or past U+10FFFF
        return {4, char32_t((s[0] & 0x07) << 18 | (s[1] & 0x3F) << 12 | (s[2] & 0x3F) << 6 | (s[3] & 0x3F))};
    }

    // The start of the character that holds the byte at `at` of `bytes`
    // (`size` of them): a byte starts a character unless it is a trail byte
    // of a well-formed sequence that starts at most three bytes before it.
    static qint64 StartAtOrBefore(const unsigned char *bytes, qint64 size, qint64 at)
    {
        for (qint64 lead = at - 1; lead >= 0 && lead >= at - 3; --lead) {
            if (!IsTrail(bytes[lead]))
                return Decode(bytes + lead, size - lead).length > at - lead ? lead : at;
        }
        return at;
    }
};
