#include "PcreBinding.h"

#include <utility>

PcreBindingRecord PcreBinding;

namespace {

std::vector<std::string> &defaultNames()
{
    // Debian and its kin ship PCRE 8.x as libpcre.so.3, most others as
    // libpcre.so.1. The first one that loads is the default library.
    static std::vector<std::string> names{"libpcre.so.3", "libpcre.so.1"};
    return names;
}

void clearEntryPoints()
{
    PcreBinding.pcre_version = nullptr;
    PcreBinding.pcre_fullinfo = nullptr;
    PcreBinding.pcre_compile = nullptr;
    PcreBinding.pcre_exec = nullptr;
    PcreBinding.pcre_study = nullptr;
    PcreBinding.pcre_malloc = nullptr;
    PcreBinding.pcre_free_substring = nullptr;
}

template <typename Fn>
Fn lookUp(const char *name)
{
    return reinterpret_cast<Fn>(PcreBinding.library.ownSymbol(name));
}

} // namespace

const std::vector<std::string> &PcreDefaultLibraryNames()
{
    return defaultNames();
}

void PcreSetDefaultLibraryNames(std::vector<std::string> names)
{
    defaultNames() = std::move(names);
}

int PcreLoad(const char *path)
{
    // 1. A given path replaces the stored handle, whatever the outcome; the
    //    empty path opens nothing (SharedLibrary::open) and so falls back.
    if (path)
        PcreBinding.library = SharedLibrary::open(path);

    // 2. Nothing loaded: the default library.
    if (!PcreBinding.library) {
        for (const std::string &name : defaultNames()) {
            PcreBinding.library = SharedLibrary::open(name);
            if (PcreBinding.library)
                break;
        }
        if (!PcreBinding.library)
            return 0;
    }

    // 3. The seven names, in this order, each stored as it comes; only a
    //    definition inside the file itself counts.
    PcreBinding.pcre_version = lookUp<PcreVersionFn>("pcre_version");
    PcreBinding.pcre_fullinfo = lookUp<PcreFullinfoFn>("pcre_fullinfo");
    PcreBinding.pcre_compile = lookUp<PcreCompileFn>("pcre_compile");
    PcreBinding.pcre_exec = lookUp<PcreExecFn>("pcre_exec");
    PcreBinding.pcre_study = lookUp<PcreStudyFn>("pcre_study");
    PcreBinding.pcre_malloc = PcreBinding.library.ownSymbol("pcre_malloc");
    PcreBinding.pcre_free_substring = lookUp<PcreFreeSubstringFn>("pcre_free_substring");

    // 4. All found: tables under the locale in force, then the flag.
    if (PcreBinding.pcre_version && PcreBinding.pcre_fullinfo && PcreBinding.pcre_compile
        && PcreBinding.pcre_exec && PcreBinding.pcre_study && PcreBinding.pcre_malloc
        && PcreBinding.pcre_free_substring) {
        PcreBinding.tables = PcreMakeTables();
        PcreBinding.loaded = true;
        return 1;
    }

    // 5. Refused: unload, no second attempt with the default. The entry
    //    points found would dangle once the file is gone, so they go too.
    PcreBinding.library.close();
    clearEntryPoints();
    return 0;
}

void PcreUnload()
{
    PcreBinding.tables.reset();
    if (PcreBinding.library) {
        PcreBinding.loaded = false;
        PcreBinding.library.close();
        clearEntryPoints();
    }
}

bool PcreIsLoaded()
{
    return PcreBinding.loaded;
}

std::string PcreGetModulePath()
{
    return PcreBinding.library.canonicalPath();
}

pcre *PcreCompile(const char *pattern, const char **errorText, int *errorOffset, bool caseless)
{
    return PcreBinding.pcre_compile(pattern, caseless ? PCRE_CASELESS : 0, errorText, errorOffset,
                                    PcreBinding.tables.get());
}

pcre_extra *PcreStudy(const pcre *code, const char **errorText)
{
    return PcreBinding.pcre_study(code, 0, errorText);
}

void PcreFree(const void *pointer)
{
    // With no library loaded there is no engine to give the memory back to.
    if (!PcreBinding.loaded || !PcreBinding.pcre_free_substring)
        return;
    PcreBinding.pcre_free_substring(static_cast<const char *>(pointer));
}

std::string PcreVersionText()
{
    if (!PcreBinding.loaded || !PcreBinding.pcre_version)
        return {};
    const char *text = PcreBinding.pcre_version();
    return text ? std::string(text) : std::string();
}

void PcreCodeDeleter::operator()(pcre *code) const
{
    // With no library loaded the memory went with the library.
    if (code && PcreBinding.loaded)
        PcreFree(code);
}

void PcreExtraDeleter::operator()(pcre_extra *extra) const
{
    if (extra && PcreBinding.loaded)
        PcreFree(extra);
}

PcreStudiedPattern PcreCompileAndStudy(const char *pattern)
{
    const char *errorText = nullptr;
    int errorOffset = 0;
    PcreStudiedPattern studied;
    studied.code.reset(PcreCompile(pattern, &errorText, &errorOffset, false));
    if (studied.code)
        studied.extra.reset(PcreStudy(studied.code.get(), &errorText));
    return studied;
}
