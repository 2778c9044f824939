#pragma once
// The slice of the PCRE 8.x 8-bit interface this program uses: opaque handle
// types, entry-point signatures and the constants it needs. The engine's
// header is not required; these values are part of the engine's stable ABI.

#include <cstddef>
#include <cstdint>

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
inline constexpr int PCRE_NEWLINE_CR = 0x00100000;
inline constexpr int PCRE_NEWLINE_LF = 0x00200000;
inline constexpr int PCRE_NEWLINE_CRLF = 0x00300000;
inline constexpr int PCRE_NEWLINE_ANY = 0x00400000;
inline constexpr int PCRE_NEWLINE_ANYCRLF = 0x00500000;
inline constexpr int PCRE_NEWLINE_BITS = 0x00700000;

// pcre_config() (optional: not among the entry points a library must have).
using PcreConfigFn = int (*)(int what, void *where);
inline constexpr int PCRE_CONFIG_NEWLINE = 1;

// pcre_fullinfo() queries. On LP64 the engine writes a different width per
// query: PcreInfo<code>::Type is the destination type of each, so asking
// through PcreLibrary::FullInfo() with a wrong width does not compile, and a
// code without an entry here cannot be asked at all.
inline constexpr int PCRE_INFO_OPTIONS = 0;
inline constexpr int PCRE_INFO_SIZE = 1;
inline constexpr int PCRE_INFO_CAPTURECOUNT = 2;
inline constexpr int PCRE_INFO_BACKREFMAX = 3;
inline constexpr int PCRE_INFO_FIRSTBYTE = 4;
inline constexpr int PCRE_INFO_FIRSTTABLE = 5;
inline constexpr int PCRE_INFO_LASTLITERAL = 6;
inline constexpr int PCRE_INFO_NAMEENTRYSIZE = 7;
inline constexpr int PCRE_INFO_NAMECOUNT = 8;
inline constexpr int PCRE_INFO_NAMETABLE = 9;
inline constexpr int PCRE_INFO_STUDYSIZE = 10;
inline constexpr int PCRE_INFO_DEFAULT_TABLES = 11;
inline constexpr int PCRE_INFO_OKPARTIAL = 12;
inline constexpr int PCRE_INFO_JCHANGED = 13;
inline constexpr int PCRE_INFO_HASCRORLF = 14;
inline constexpr int PCRE_INFO_MINLENGTH = 15;
inline constexpr int PCRE_INFO_JIT = 16;
inline constexpr int PCRE_INFO_JITSIZE = 17;
inline constexpr int PCRE_INFO_MAXLOOKBEHIND = 18;
inline constexpr int PCRE_INFO_FIRSTCHARACTER = 19;
inline constexpr int PCRE_INFO_FIRSTCHARACTERFLAGS = 20;
inline constexpr int PCRE_INFO_REQUIREDCHAR = 21;
inline constexpr int PCRE_INFO_REQUIREDCHARFLAGS = 22;
inline constexpr int PCRE_INFO_MATCHLIMIT = 23;
inline constexpr int PCRE_INFO_RECURSIONLIMIT = 24;
inline constexpr int PCRE_INFO_MATCH_EMPTY = 25;

template <int What> struct PcreInfo;   // no entry: the code cannot be asked
template <> struct PcreInfo<PCRE_INFO_OPTIONS> { using Type = unsigned long; };
template <> struct PcreInfo<PCRE_INFO_SIZE> { using Type = std::size_t; };
template <> struct PcreInfo<PCRE_INFO_CAPTURECOUNT> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_BACKREFMAX> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_FIRSTBYTE> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_FIRSTTABLE> { using Type = const unsigned char *; };
template <> struct PcreInfo<PCRE_INFO_LASTLITERAL> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_NAMEENTRYSIZE> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_NAMECOUNT> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_NAMETABLE> { using Type = const unsigned char *; };
template <> struct PcreInfo<PCRE_INFO_STUDYSIZE> { using Type = std::size_t; };
template <> struct PcreInfo<PCRE_INFO_DEFAULT_TABLES> { using Type = const unsigned char *; };
template <> struct PcreInfo<PCRE_INFO_OKPARTIAL> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_JCHANGED> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_HASCRORLF> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_MINLENGTH> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_JIT> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_JITSIZE> { using Type = std::size_t; };
template <> struct PcreInfo<PCRE_INFO_MAXLOOKBEHIND> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_FIRSTCHARACTER> { using Type = std::uint32_t; };
template <> struct PcreInfo<PCRE_INFO_FIRSTCHARACTERFLAGS> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_REQUIREDCHAR> { using Type = std::uint32_t; };
template <> struct PcreInfo<PCRE_INFO_REQUIREDCHARFLAGS> { using Type = int; };
template <> struct PcreInfo<PCRE_INFO_MATCHLIMIT> { using Type = std::uint32_t; };
template <> struct PcreInfo<PCRE_INFO_RECURSIONLIMIT> { using Type = std::uint32_t; };
template <> struct PcreInfo<PCRE_INFO_MATCH_EMPTY> { using Type = int; };

// Flags of the pcre_extra block, and its public layout (as pcre.h gives it,
// unchanged through 8.x): a block of our own can be passed to pcre_exec() to
// set limits on top of what pcre_study() made.
inline constexpr unsigned long PCRE_EXTRA_STUDY_DATA = 0x0001;
inline constexpr unsigned long PCRE_EXTRA_MATCH_LIMIT = 0x0002;
inline constexpr unsigned long PCRE_EXTRA_CALLOUT_DATA = 0x0004;
inline constexpr unsigned long PCRE_EXTRA_TABLES = 0x0008;
inline constexpr unsigned long PCRE_EXTRA_MATCH_LIMIT_RECURSION = 0x0010;
inline constexpr unsigned long PCRE_EXTRA_MARK = 0x0020;
inline constexpr unsigned long PCRE_EXTRA_EXECUTABLE_JIT = 0x0040;

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

// Most capturing subpatterns a pattern can have.
inline constexpr int PCRE_MAX_CAPTURES = 65535;
