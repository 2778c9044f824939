#include "PcreBinding.h"

#include "ContainedCall.h"
#include "SafeRead.h"

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

// The first default name the loader accepts, whether or not it has the
// seven names: like a file the user gave, a default that lacks one is
// refused, not passed over for the next.
PcreLibrary::LoadResult loadDefault()
{
    PcreLibrary::LoadResult result;
    for (const std::string &name : defaultNames()) {
        result = PcreLibrary::Load(name);
        if (result.status != PcreLibrary::LoadStatus::NotLoadable)
            break;
    }
    return result;
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
    PcreLoadReport report;
    PcreLibrary::LoadResult result;
    if (path) {
        // 1. A given path replaces the stored library, whatever the outcome;
        //    the empty path loads nothing and so falls back, silently, as at
        //    start-up and when the file dialog is cancelled.
        report.requested = path;
        result = PcreLibrary::Load(path);
        if (*path && result.status != PcreLibrary::LoadStatus::Loaded)
                report.refusal = result.reason;
    } else if (PcreBinding.library) {
        result.library = PcreBinding.library;
        result.status = PcreLibrary::LoadStatus::Loaded;
    }

    // 2. A file that did not load at all: the default library in its place.
    //    One that loaded without the seven names is refused outright.
    if (result.status == PcreLibrary::LoadStatus::NotLoadable) {
        result = loadDefault();
        report.fellBack = !report.refusal.empty() && result.library;
    }
    PcreBinding.lastLoad = std::move(report);
    PcreBinding.library = result.library;
    if (!PcreBinding.library) {
        PcreBinding.loaded = false;
        return 0;
    }

    // 3. Tables under the C library's default locale, then the flag. The
    //    process itself runs in the user's locale (the toolkit picks it for
    //    its texts); the tables of a load stay those of a program that has
    //    not, until an Exec asks for a locale.
    PcreBinding.tables = PcreMakeTablesFor("C");
    PcreBinding.loaded = true;
    return 1;
}

void PcreUnload()
{
    PcreBinding.tables.reset();
    if (PcreBinding.library) {
        PcreBinding.loaded = false;
        PcreBinding.library.reset();
    }
}

bool PcreIsLoaded()
{
    return PcreBinding.loaded;
}

std::string PcreGetModulePath()
{
    return PcreBinding.library ? PcreBinding.library->ModulePath() : std::string();
}

std::string PcreVersionText()
{
    return PcreIsLoaded() ? PcreBinding.library->Version() : std::string();
}

void PcreFree(const PcreLibrary &library, const void *pointer)
{
    // The library's pcre_free_substring() hands its argument to the
    // library's own deallocator: memory goes back to whoever made it.
    library.Api().pcre_free_substring(static_cast<const char *>(pointer));
}

void PcreCodeDeleter::operator()(pcre *code) const
{
    if (code && library)
        PcreFree(*library, code);
    library.reset();
    tables.reset();
}

void PcreExtraDeleter::operator()(pcre_extra *extra) const
{
    if (extra && library)
        PcreFree(*library, extra);
    library.reset();
}

PcreCodePtr PcreCompileWithOptions(const char *pattern, int options, std::string *errorText, int *errorOffset)
{
    if (!PcreIsLoaded())
        return {};
    const PcreLibraryRef &library = PcreBinding.library;
    const PcreTablesRef &tables = PcreBinding.tables;
    const ContainedCall::Outcome rehearsal = ContainedCall::Rehearse(
        [&](void *) { library->TryOut(pattern, options, tables.get()); }, PcreLibrary::kRehearsalLimit);
    if (rehearsal.ending != ContainedCall::Ending::Returned) {
        *errorText = "The engine " + rehearsal.Describe() + " while compiling the pattern.";
        *errorOffset = -1;
        return {};
    }
    return PcreCompileWithoutRehearsal(library, tables, pattern, options, errorText, errorOffset);
}

PcreCodePtr PcreCompileWithoutRehearsal(const PcreLibraryRef &library, const PcreTablesRef &tables,
                                        const char *pattern, int options, std::string *errorText, int *errorOffset)
{
    const char *error = nullptr;
    pcre *code = library->Api().pcre_compile(pattern, options, &error, errorOffset, tables.get());
    *errorText = SafeReadString(error, kMaxErrorTextLength);
    return PcreCodePtr(code, PcreCodeDeleter{code ? library : nullptr, code ? tables : nullptr});
}

PcreCodePtr PcreCompile(const char *pattern, std::string *errorText, int *errorOffset, bool caseless)
{
    return PcreCompileWithOptions(pattern, caseless ? PCRE_CASELESS : 0, errorText, errorOffset);
}

PcreExtraPtr PcreStudy(const PcreCodePtr &code)
{
    const PcreLibraryRef &library = code.get_deleter().library;
    if (!code || !library)
        return {};
    const char *error = nullptr;   // no caller looks at it
    pcre_extra *extra = library->Api().pcre_study(code.get(), 0, &error);
    return PcreExtraPtr(extra, PcreExtraDeleter{extra ? library : nullptr});
}

PcreStudiedPattern PcreCompileAndStudy(const char *pattern)
{
    std::string errorText;
    int errorOffset = 0;
    PcreStudiedPattern studied;
    studied.code = PcreCompile(pattern, &errorText, &errorOffset, false);
    if (studied.code)
        studied.extra = PcreStudy(studied.code);
    return studied;
}
