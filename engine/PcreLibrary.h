#pragma once
// One loaded PCRE library file: its handle, the seven entry points the
// program needs, and whatever else it exports on request.
//
// A library is shared: everything allocated by it (a compiled pattern, its
// study data) holds a reference and is given back through it, so the file
// stays mapped until the last of its memory is gone, whatever library the
// window has loaded since.

#include "PcreApi.h"
#include "SharedLibrary.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct PcreEntryPoints
{
    PcreVersionFn pcre_version = nullptr;
    PcreFullinfoFn pcre_fullinfo = nullptr;
    PcreCompileFn pcre_compile = nullptr;
    PcreExecFn pcre_exec = nullptr;
    PcreStudyFn pcre_study = nullptr;
    void *pcre_malloc = nullptr;    // address of the exported variable; required, never used
    PcreFreeSubstringFn pcre_free_substring = nullptr;
};

class PcreLibrary
{
public:
    enum class LoadStatus {
        Loaded,
        NotLoadable,         // the loader refused the file (or found none), or it
                             // crashed, quit or hung while it was being loaded
        MissingEntryPoint,   // it loaded, but an entry point is missing or foreign
        Misbehaves,          // it loaded, but crashed, quit or hung on a trial
    };
    struct LoadResult
    {
        std::shared_ptr<const PcreLibrary> library;
        LoadStatus status = LoadStatus::NotLoadable;
        std::string reason;  // empty when loaded
    };

    // Loads `path`: a bare name through the loader's search, a path from a
    // snapshot of the file. The seven names must be defined in the file
    // itself. The load and a trial of the entry points are rehearsed in a
    // child process first: what ends or hangs the child is not loaded here.
    static LoadResult Load(const std::string &path);

    // Compiles `pattern` and makes every query the program makes of a
    // compiled pattern, then gives it all back: what the program will do
    // with the pattern, for a rehearsal in a child process. When it
    // compiled, `use` gets the pattern and its study data before they go.
    using Use = std::function<void(const pcre *code, const pcre_extra *extra)>;
    void TryOut(const char *pattern, int options, const unsigned char *tables, const Use &use = {}) const;

    // How long a rehearsal may take before the library counts as hung.
    static constexpr std::chrono::seconds kRehearsalLimit{10};

    const PcreEntryPoints &Api() const { return m_api; }

    // Full canonical path of the file.
    std::string ModulePath() const { return m_file.canonicalPath(); }

    // The version text, at most kMaxVersionLength bytes of it: a text
    // without its terminating NUL is cut rather than read without end.
    std::string Version() const;
    static constexpr std::size_t kMaxVersionLength = 256;

    // Another exported name of the file (pcre_config, pcre_dfa_exec, ...);
    // null when the file itself does not define it.
    void *OptionalSymbol(const char *name) const { return m_file.ownSymbol(name); }

    // pcre_fullinfo() with the destination type fixed by the code: the one
    // way the program asks the engine about a compiled pattern. Nothing when
    // the engine refuses the query; `status` (when given) receives its
    // return code. A destination wider than the type catches a library that
    // writes more than it should.
    template <int What>
    std::optional<typename PcreInfo<What>::Type> FullInfo(const pcre *code, const pcre_extra *extra,
                                                          int *status = nullptr) const
    {
        using Type = typename PcreInfo<What>::Type;
        alignas(16) unsigned char scratch[64] = {};
        const int answer = code ? m_api.pcre_fullinfo(code, extra, What, scratch) : PCRE_ERROR_NULL;
        if (status)
            *status = answer;
        if (answer != 0)
            return std::nullopt;
        Type value;
        std::memcpy(&value, scratch, sizeof value);
        return value;
    }

    explicit PcreLibrary(SharedLibrary file, const PcreEntryPoints &api);

private:
    static LoadResult LoadHere(const std::string &path);
    void TryOutEverything() const;

    SharedLibrary m_file;
    PcreEntryPoints m_api;
};

using PcreLibraryRef = std::shared_ptr<const PcreLibrary>;
