#pragma once
// The parts of the PCRE 8.x 8-bit interface that only the build checker
// needs, on top of engine/PcreApi.h: more option bits. All are stable ABI
// of 8.x.

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

