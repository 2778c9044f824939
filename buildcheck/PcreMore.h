#pragma once
// The parts of the PCRE 8.x 8-bit interface that only the build checker
// needs, on top of engine/PcreApi.h: more option bits, the optional entry
// points' signatures, and the public layouts it reads (callout block,
// compiled-pattern header, study data). All are stable ABI of 8.x.

#include "PcreApi.h"

#include <cstdint>

inline constexpr int PCRE_AUTO_CALLOUT = 0x00004000;
inline constexpr int PCRE_PARTIAL_SOFT = 0x00008000;
inline constexpr int PCRE_NEVER_UTF = 0x00010000;
inline constexpr int PCRE_DFA_SHORTEST = 0x00010000;    // exec-time meaning of the same bit
inline constexpr int PCRE_NO_AUTO_POSSESS = 0x00020000;
inline constexpr int PCRE_DFA_RESTART = 0x00020000;
inline constexpr int PCRE_FIRSTLINE = 0x00040000;
inline constexpr int PCRE_DUPNAMES = 0x00080000;
inline constexpr int PCRE_BSR_ANYCRLF = 0x00800000;
inline constexpr int PCRE_BSR_UNICODE = 0x01000000;
inline constexpr int PCRE_JAVASCRIPT_COMPAT = 0x02000000;
inline constexpr int PCRE_NO_START_OPTIMIZE = 0x04000000;
inline constexpr int PCRE_PARTIAL_HARD = 0x08000000;
inline constexpr int PCRE_NOTEMPTY_ATSTART = 0x10000000;
inline constexpr int PCRE_UCP = 0x20000000;

inline constexpr int PCRE_STUDY_JIT_COMPILE = 0x0001;
inline constexpr int PCRE_STUDY_JIT_PARTIAL_SOFT_COMPILE = 0x0002;
inline constexpr int PCRE_STUDY_JIT_PARTIAL_HARD_COMPILE = 0x0004;
inline constexpr int PCRE_STUDY_ALL_JIT = 0x0007;
inline constexpr int PCRE_STUDY_EXTRA_NEEDED = 0x0008;

inline constexpr int PCRE_ERROR_BADMODE = -28;
inline constexpr int PCRE_ERROR_UNSET = -33;

// pcre_config() questions.
inline constexpr int PCRE_CONFIG_UTF8 = 0;
inline constexpr int PCRE_CONFIG_LINK_SIZE = 2;
inline constexpr int PCRE_CONFIG_UNICODE_PROPERTIES = 6;
inline constexpr int PCRE_CONFIG_JIT = 9;

struct pcre_jit_stack;
struct PcreCalloutBlock;

using PcreDfaExecFn = int (*)(const pcre *, const pcre_extra *, const char *subject, int length,
                              int startoffset, int options, int *ovector, int ovecsize, int *workspace,
                              int wscount);
using PcreFreeStudyFn = void (*)(pcre_extra *);
using PcreMakeTablesFn = const unsigned char *(*)();
using PcreJitCallback = pcre_jit_stack *(*)(void *);
using PcreJitStackAllocFn = pcre_jit_stack *(*)(int startsize, int maxsize);
using PcreJitStackFreeFn = void (*)(pcre_jit_stack *);
using PcreAssignJitStackFn = void (*)(pcre_extra *, PcreJitCallback, void *);
using PcreGetStringNumberFn = int (*)(const pcre *, const char *name);
using PcreCopySubstringFn = int (*)(const char *subject, int *ovector, int count, int number,
                                    char *buffer, int size);
using PcreCopyNamedSubstringFn = int (*)(const pcre *, const char *subject, int *ovector, int count,
                                         const char *name, char *buffer, int size);
using PcreGetSubstringFn = int (*)(const char *subject, int *ovector, int count, int number,
                                   const char **result);
using PcreGetNamedSubstringFn = int (*)(const pcre *, const char *subject, int *ovector, int count,
                                        const char *name, const char **result);
using PcreGetSubstringListFn = int (*)(const char *subject, int *ovector, int count, const char ***list);
using PcreFreeSubstringListFn = void (*)(const char **list);
using PcrePatternToHostFn = int (*)(pcre *, pcre_extra *, const unsigned char *tables);
using PcreCalloutFn = int (*)(PcreCalloutBlock *);
using PcreStackGuardFn = int (*)();

// What the engine hands a callout. Fields after `callout_data` exist from
// version 1 (pattern position) and 2 (mark) of the block on.
struct PcreCalloutBlock
{
    int version;
    int callout_number;
    int *offset_vector;
    const char *subject;
    int subject_length;
    int start_match;
    int current_position;
    int capture_top;
    int capture_last;
    void *callout_data;
    int pattern_position;
    int next_item_length;
    const unsigned char *mark;
};

// The head of a compiled pattern (8-bit library, 8.32 and later).
struct PcreCodeHeader
{
    std::uint32_t magic_number;
    std::uint32_t size;
    std::uint32_t options;
    std::uint32_t flags;
    std::uint32_t limit_match;
    std::uint32_t limit_recursion;
    std::uint16_t first_char;
    std::uint16_t req_char;
    std::uint16_t max_lookbehind;
    std::uint16_t top_bracket;
    std::uint16_t top_backref;
    std::uint16_t name_table_offset;
    std::uint16_t name_entry_size;
    std::uint16_t name_count;
    std::uint16_t ref_count;
    std::uint16_t dummy[3];
    const unsigned char *tables;
    void *nullpad;
};

inline constexpr std::uint32_t PCRE_MAGIC_NUMBER = 0x50435245;   // "PCRE"
inline constexpr std::uint32_t PCRE_REVERSED_MAGIC_NUMBER = 0x45524350;
inline constexpr std::uint32_t PCRE_HEADER_MODE_MASK = 0x0007;   // 8-, 16- or 32-bit
inline constexpr std::uint32_t PCRE_HEADER_FIRST_CASELESS = 0x0020;
inline constexpr std::uint32_t PCRE_HEADER_REQUIRED_CASELESS = 0x0080;

// What pcre_study() points pcre_extra::study_data at.
struct PcreStudyData
{
    std::uint32_t size;
    std::uint32_t flags;
    unsigned char start_bits[32];
    std::uint32_t minlength;
};
