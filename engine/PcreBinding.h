#pragma once
// The engine binding: the process-wide record of the library the window
// uses (at most one at a time) and the current character tables, and the
// plain functions every other part of the program goes through.
//
// Calling order: PcreLoad; compile/study/exec/fullinfo calls; PcreUnload. No
// entry point is called while `loaded` is false; PcreIsLoaded() is the one
// guard commands use for that.
//
// Ownership does not follow the record: a compiled pattern and its study
// data hold the library that made them (and the tables the pattern was
// compiled with) and give their memory back through it, so unloading or
// replacing the record's library never strands nor frees what is still in
// use.

#include "PcreApi.h"
#include "PcreLibrary.h"
#include "PcreTables.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the last PcreLoad did with the file it was given, for the window to
// tell the user: a refused file is never passed over in silence.
struct PcreLoadReport
{
    std::string requested;     // the path given; empty for the default library
    std::string refusal;       // why that file was refused; empty when it loaded
    bool fellBack = false;     // the default library was loaded in its place
};

struct PcreBindingRecord
{
    PcreLibraryRef library;         // null when none is loaded
    bool loaded = false;            // true only for a library with all seven names
    PcreTablesRef tables;           // null: the library's built-in tables
    PcreLoadReport lastLoad;
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

// Version text of the loaded library, never null ("" with none loaded).
std::string PcreVersionText();

// The default library names, tried in order. Tests point these elsewhere.
const std::vector<std::string> &PcreDefaultLibraryNames();
void PcreSetDefaultLibraryNames(std::vector<std::string> names);

// Gives memory the engine allocated back to the library that allocated it;
// null is fine.
void PcreFree(const PcreLibrary &library, const void *pointer);

// Error texts are read up to this many bytes.
inline constexpr std::size_t kMaxErrorTextLength = 256;

// Owners of engine memory: each holds the library that allocated it (and a
// compiled pattern the tables it reads) and frees through that library. The
// references go with the memory: unique_ptr::reset() keeps its deleter, and
// an emptied handle must not keep a library loaded.
struct PcreCodeDeleter
{
    mutable PcreLibraryRef library;
    mutable PcreTablesRef tables;
    void operator()(pcre *code) const;
};
struct PcreExtraDeleter
{
    mutable PcreLibraryRef library;
    void operator()(pcre_extra *extra) const;
};
using PcreCodePtr = std::unique_ptr<pcre, PcreCodeDeleter>;
using PcreExtraPtr = std::unique_ptr<pcre_extra, PcreExtraDeleter>;

// Compiles with the record's library and current tables. Null when the
// pattern does not compile (the error text and offset say why) or no library
// is loaded. The compile, the study and the queries that follow are first
// rehearsed in a child process: when the library crashes, quits or hangs
// there, nothing is compiled here, the error text says what happened and
// the offset is -1.
PcreCodePtr PcreCompile(const char *pattern, std::string *errorText, int *errorOffset, bool caseless);
PcreCodePtr PcreCompileWithOptions(const char *pattern, int options, std::string *errorText, int *errorOffset);
// The same compile without the rehearsal, with the library and tables given:
// for a caller that has just seen this compile return in a child made from
// the same state (a search that compiles its own pattern).
PcreCodePtr PcreCompileWithoutRehearsal(const PcreLibraryRef &library, const PcreTablesRef &tables,
                                        const char *pattern, int options, std::string *errorText, int *errorOffset);
// Studies through the library that compiled `code`.
PcreExtraPtr PcreStudy(const PcreCodePtr &code);

// Asks the library that compiled `code`; nothing for a null pattern.
template <int What>
std::optional<typename PcreInfo<What>::Type> PcreFullInfo(const PcreCodePtr &code, const pcre_extra *extra)
{
    const PcreLibraryRef &library = code.get_deleter().library;
    if (!code || !library)
        return std::nullopt;
    return library->FullInfo<What>(code.get(), extra);
}

// A pattern compiled without options with the current tables, and studied:
// what the details report describes. Both are null when it does not compile.
struct PcreStudiedPattern
{
    PcreCodePtr code;
    PcreExtraPtr extra;
};
PcreStudiedPattern PcreCompileAndStudy(const char *pattern);
