#pragma once
// The engine binding: one process-wide record that holds the loaded PCRE
// library, its seven entry points and the current character tables, and the
// few plain functions every other part of the program goes through.
//
// Calling order: PcreLoad; compile/study/exec/fullinfo calls and PcreFree of
// what they returned; PcreUnload. No entry point is called while `loaded` is
// false; PcreIsLoaded() is the one guard commands use for that.

#include "PcreApi.h"
#include "PcreTables.h"
#include "SharedLibrary.h"

#include <memory>
#include <string>
#include <vector>

struct PcreBindingRecord
{
    SharedLibrary library;
    bool loaded = false;            // true only after all seven names were found
    PcreVersionFn pcre_version = nullptr;
    PcreFullinfoFn pcre_fullinfo = nullptr;
    PcreCompileFn pcre_compile = nullptr;
    PcreExecFn pcre_exec = nullptr;
    PcreStudyFn pcre_study = nullptr;
    void *pcre_malloc = nullptr;    // address of the exported variable; required, never used
    PcreFreeSubstringFn pcre_free_substring = nullptr;
    PcreTablesPtr tables;           // null: the library's built-in tables
};

extern PcreBindingRecord PcreBinding;

// Loads `path` (nullptr keeps the library already stored). A file that cannot
// be loaded at all, the empty path included, falls back to the default
// library; a file that loads but lacks an entry point is refused without
// fall-back. Returns 1 on success, 0 on failure.
int PcreLoad(const char *path);
void PcreUnload();
bool PcreIsLoaded();

// Full canonical path of the loaded file, or empty with none loaded.
std::string PcreGetModulePath();

pcre *PcreCompile(const char *pattern, const char **errorText, int *errorOffset, bool caseless);
pcre_extra *PcreStudy(const pcre *code, const char **errorText);
// Gives engine memory back to the engine's own allocator; null is fine.
void PcreFree(const void *pointer);

// The default library names, tried in order. Tests point these elsewhere.
const std::vector<std::string> &PcreDefaultLibraryNames();
void PcreSetDefaultLibraryNames(std::vector<std::string> names);

// Version text of the loaded library, never null ("" when the library
// returns none).
std::string PcreVersionText();

// One owner per engine allocation, released through PcreFree while the
// library that made it is still loaded.
struct PcreCodeDeleter { void operator()(pcre *code) const; };
struct PcreExtraDeleter { void operator()(pcre_extra *extra) const; };
using PcreCodePtr = std::unique_ptr<pcre, PcreCodeDeleter>;
using PcreExtraPtr = std::unique_ptr<pcre_extra, PcreExtraDeleter>;

// A pattern compiled without options with the current tables, and studied:
// what the details report describes. Both are null when it does not compile.
struct PcreStudiedPattern
{
    PcreCodePtr code;
    PcreExtraPtr extra;
};
PcreStudiedPattern PcreCompileAndStudy(const char *pattern);
