#pragma once
// The slice of the PCRE 8.x 8-bit interface this program uses: opaque handle
// types, entry-point signatures and the constants it needs. The engine's
// header is not required; these values are part of the engine's stable ABI.

#include <cstddef>

struct real_pcre;                 // compiled pattern, opaque
using pcre = real_pcre;
struct pcre_extra;                // study data, opaque to us

using PcreVersionFn = const char *(*)();
using PcreFullinfoFn = int (*)(const pcre *, const pcre_extra *, int what, void *where);
using PcreCompileFn = pcre *(*)(const char *pattern, int options, const char **errptr,
                                int *erroffset, const unsigned char *tables);
using PcreExecFn = int (*)(const pcre *, const pcre_extra *, const char *subject, int length,
                           int startoffset, int options, int *ovector, int ovecsize);
using PcreStudyFn = pcre_extra *(*)(const pcre *, int options, const char **errptr);
using PcreFreeSubstringFn = void (*)(const char *);

// Option bits.
inline constexpr int PCRE_CASELESS = 0x0001;
inline constexpr int PCRE_MULTILINE = 0x0002;
inline constexpr int PCRE_DOTALL = 0x0004;
inline constexpr int PCRE_EXTENDED = 0x0008;
inline constexpr int PCRE_ANCHORED = 0x0010;
inline constexpr int PCRE_DOLLAR_ENDONLY = 0x0020;
inline constexpr int PCRE_EXTRA = 0x0040;
inline constexpr int PCRE_NOTBOL = 0x0080;
inline constexpr int PCRE_NOTEOL = 0x0100;
inline constexpr int PCRE_UNGREEDY = 0x0200;
inline constexpr int PCRE_NOTEMPTY = 0x0400;
inline constexpr int PCRE_UTF8 = 0x0800;
inline constexpr int PCRE_NO_AUTO_CAPTURE = 0x1000;
inline constexpr int PCRE_NO_UTF8_CHECK = 0x2000;

// pcre_fullinfo() queries. On LP64 the engine writes different widths per
// query; PcreInfoType below gives the destination type for each.
inline constexpr int PCRE_INFO_OPTIONS = 0;         // unsigned long
inline constexpr int PCRE_INFO_SIZE = 1;            // size_t
inline constexpr int PCRE_INFO_CAPTURECOUNT = 2;    // int
inline constexpr int PCRE_INFO_BACKREFMAX = 3;      // int
inline constexpr int PCRE_INFO_FIRSTBYTE = 4;       // int
inline constexpr int PCRE_INFO_FIRSTTABLE = 5;      // const unsigned char *
inline constexpr int PCRE_INFO_LASTLITERAL = 6;     // int
inline constexpr int PCRE_INFO_NAMEENTRYSIZE = 7;   // int
inline constexpr int PCRE_INFO_NAMECOUNT = 8;       // int
inline constexpr int PCRE_INFO_NAMETABLE = 9;       // const unsigned char *
inline constexpr int PCRE_INFO_STUDYSIZE = 10;      // size_t

// pcre_exec() results.
inline constexpr int PCRE_ERROR_NOMATCH = -1;
inline constexpr int PCRE_ERROR_NULL = -2;
inline constexpr int PCRE_ERROR_BADOPTION = -3;
inline constexpr int PCRE_ERROR_BADMAGIC = -4;
inline constexpr int PCRE_ERROR_UNKNOWN_OPCODE = -5;
inline constexpr int PCRE_ERROR_NOMEMORY = -6;
inline constexpr int PCRE_ERROR_NOSUBSTRING = -7;
inline constexpr int PCRE_ERROR_MATCHLIMIT = -8;
inline constexpr int PCRE_ERROR_CALLOUT = -9;
inline constexpr int PCRE_ERROR_BADUTF8 = -10;
inline constexpr int PCRE_ERROR_BADUTF8_OFFSET = -11;
inline constexpr int PCRE_ERROR_PARTIAL = -12;
inline constexpr int PCRE_ERROR_INTERNAL = -14;
inline constexpr int PCRE_ERROR_BADCOUNT = -15;
inline constexpr int PCRE_ERROR_RECURSIONLIMIT = -21;
inline constexpr int PCRE_ERROR_BADNEWLINE = -23;
inline constexpr int PCRE_ERROR_BADOFFSET = -24;
inline constexpr int PCRE_ERROR_SHORTUTF8 = -25;
inline constexpr int PCRE_ERROR_RECURSELOOP = -26;
inline constexpr int PCRE_ERROR_JIT_STACKLIMIT = -27;

// Size of the character tables block the engine reads.
inline constexpr std::size_t PCRE_TABLES_LENGTH = 1088;
