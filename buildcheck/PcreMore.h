#pragma once
// The parts of the PCRE 8.x 8-bit interface that only the build checker
// needs, on top of engine/PcreApi.h: more option bits, more pcre_fullinfo()
// queries, and the public layout of the pcre_extra block (needed to ask for
// backtracking-verb names and match limits). All are stable ABI of 8.x.

#include "PcreApi.h"

inline constexpr int PCRE_AUTO_CALLOUT = 0x00004000;
inline constexpr int PCRE_PARTIAL_SOFT = 0x00008000;
inline constexpr int PCRE_NEVER_UTF = 0x00010000;
inline constexpr int PCRE_NO_AUTO_POSSESS = 0x00020000;
inline constexpr int PCRE_FIRSTLINE = 0x00040000;
inline constexpr int PCRE_DUPNAMES = 0x00080000;
inline constexpr int PCRE_NEWLINE_CR = 0x00100000;
inline constexpr int PCRE_NEWLINE_LF = 0x00200000;
inline constexpr int PCRE_NEWLINE_CRLF = 0x00300000;
inline constexpr int PCRE_NEWLINE_ANY = 0x00400000;
inline constexpr int PCRE_NEWLINE_ANYCRLF = 0x00500000;
inline constexpr int PCRE_NEWLINE_BITS = 0x00700000;
inline constexpr int PCRE_BSR_ANYCRLF = 0x00800000;
inline constexpr int PCRE_BSR_UNICODE = 0x01000000;
inline constexpr int PCRE_JAVASCRIPT_COMPAT = 0x02000000;
inline constexpr int PCRE_NO_START_OPTIMIZE = 0x04000000;
inline constexpr int PCRE_PARTIAL_HARD = 0x08000000;
inline constexpr int PCRE_NOTEMPTY_ATSTART = 0x10000000;
inline constexpr int PCRE_UCP = 0x20000000;

inline constexpr int PCRE_STUDY_EXTRA_NEEDED = 0x0008;

inline constexpr int PCRE_INFO_OKPARTIAL = 12;
inline constexpr int PCRE_INFO_JCHANGED = 13;
inline constexpr int PCRE_INFO_HASCRORLF = 14;
inline constexpr int PCRE_INFO_MINLENGTH = 15;
inline constexpr int PCRE_INFO_MAXLOOKBEHIND = 18;
inline constexpr int PCRE_INFO_FIRSTCHARACTER = 19;      // uint32_t
inline constexpr int PCRE_INFO_FIRSTCHARACTERFLAGS = 20;
inline constexpr int PCRE_INFO_REQUIREDCHAR = 21;        // uint32_t
inline constexpr int PCRE_INFO_REQUIREDCHARFLAGS = 22;
inline constexpr int PCRE_INFO_MATCHLIMIT = 23;          // uint32_t
inline constexpr int PCRE_INFO_RECURSIONLIMIT = 24;      // uint32_t
inline constexpr int PCRE_INFO_MATCH_EMPTY = 25;

inline constexpr unsigned long PCRE_EXTRA_MATCH_LIMIT = 0x0002;
inline constexpr unsigned long PCRE_EXTRA_MATCH_LIMIT_RECURSION = 0x0010;
inline constexpr unsigned long PCRE_EXTRA_MARK = 0x0020;

// pcre_extra as pcre.h lays it out; a block from pcre_study() has this
// shape, and one of our own can be passed to pcre_exec() in its place.
struct PcreExtraBlock
{
    unsigned long flags;
    void *study_data;
    unsigned long match_limit;
    void *callout_data;
    const unsigned char *tables;
    unsigned long match_limit_recursion;
    unsigned char **mark;
    void *executable_jit;
};
