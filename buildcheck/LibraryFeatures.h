#pragma once
// What a library offers beyond the seven entry points every PCRE library
// has: the other exported names of the 8-bit interface, each looked up on
// its own (a library without one still gets checked, with the cases that
// need it passed over), and the build options it was made with.

#include "PcreLibrary.h"
#include "PcreMore.h"

#include <string>
#include <vector>

struct OptionalEntryPoints
{
    PcreConfigFn pcre_config = nullptr;
    PcreDfaExecFn pcre_dfa_exec = nullptr;
    PcreFreeStudyFn pcre_free_study = nullptr;
    PcreMakeTablesFn pcre_maketables = nullptr;
    PcreJitStackAllocFn pcre_jit_stack_alloc = nullptr;
    PcreJitStackFreeFn pcre_jit_stack_free = nullptr;
    PcreAssignJitStackFn pcre_assign_jit_stack = nullptr;
    PcreGetStringNumberFn pcre_get_stringnumber = nullptr;
    PcreCopySubstringFn pcre_copy_substring = nullptr;
    PcreCopyNamedSubstringFn pcre_copy_named_substring = nullptr;
    PcreGetSubstringFn pcre_get_substring = nullptr;
    PcreGetNamedSubstringFn pcre_get_named_substring = nullptr;
    PcreGetSubstringListFn pcre_get_substring_list = nullptr;
    PcreFreeSubstringListFn pcre_free_substring_list = nullptr;
    PcrePatternToHostFn pcre_pattern_to_host_byte_order = nullptr;
    PcreCalloutFn *pcre_callout = nullptr;          // the library's variable
    PcreStackGuardFn *pcre_stack_guard = nullptr;   // the library's variable
};

// Looks every optional name up in the file itself; `missing` receives the
// names it lacks.
OptionalEntryPoints FindOptionalEntryPoints(const PcreLibrary &library, std::vector<std::string> &missing);

struct LibraryFeatures
{
    std::string version;
    bool utf = false;
    bool unicodeProperties = false;
    bool jit = false;
    int linkSize = 0;             // 0: not known
    int newline = '\n';           // as pcre_config() gives it: 10, 13, 0x0d0a, -1 (any), -2 (anycrlf)
    int frameSize = 0;            // of the recursive matcher; 0: not known
    bool fromConfig = false;      // false: found by trying, without pcre_config()
    std::string problem;          // the library failed while being asked
};

// Asks the library in a child process, so a library that crashes on the
// first call is reported rather than fatal.
LibraryFeatures QueryFeatures(const PcreLibrary &library, const OptionalEntryPoints &optional);
