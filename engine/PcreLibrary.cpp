#include "PcreLibrary.h"

#include "ContainedCall.h"
#include "SafeRead.h"

#include <cstring>

#include <utility>

namespace {

template <typename Fn>
bool LookUp(const SharedLibrary &file, const char *name, Fn &entry, std::string &reason)
{
    entry = reinterpret_cast<Fn>(file.ownSymbol(name, &reason));
    return entry != nullptr;
}

} // namespace

PcreLibrary::PcreLibrary(SharedLibrary file, const PcreEntryPoints &api)
    : m_file(std::move(file))
    , m_api(api)
{
}

namespace {

// What a rehearsal of a load got to, in its shared block.
enum class Stage : int { Loading, TryingOut, Unloading, Done };

} // namespace

PcreLibrary::LoadResult PcreLibrary::Load(const std::string &path)
{
    std::string block;
    const ContainedCall::Outcome outcome = ContainedCall::Rehearse(
        [&path](void *shared) {
            auto *stage = static_cast<Stage *>(shared);
            LoadResult here = LoadHere(path);
            *stage = Stage::TryingOut;
            if (here.library)
                here.library->TryOutEverything();
            *stage = Stage::Unloading;
            here = LoadResult{};
            *stage = Stage::Done;
        },
        kRehearsalLimit, sizeof(Stage), &block);
    if (outcome.ending == ContainedCall::Ending::Returned)
        return LoadHere(path);
    LoadResult refused;
    Stage stage;
    std::memcpy(&stage, block.data(), sizeof stage);
    if (stage == Stage::Loading) {
        refused.status = LoadStatus::NotLoadable;
        refused.reason = "it " + outcome.Describe() + " while being loaded";
    } else {
        refused.status = LoadStatus::Misbehaves;
        refused.reason = "it " + outcome.Describe()
                         + (stage == Stage::Unloading ? " while being unloaded" : " on a trial compile and match");
    }
    return refused;
}

// A pattern with a name, a capture and study data, matched once; and one
// that does not compile.
void PcreLibrary::TryOutEverything() const
{
    TryOut("(?<n>a)|b", 0, nullptr);
    TryOut("(", 0, nullptr);
    const char *error = nullptr;
    int offset = 0;
    pcre *code = m_api.pcre_compile("(?<n>a)|b", 0, &error, &offset, nullptr);
    int offsets[6];
    m_api.pcre_exec(code, nullptr, "xa", 2, 0, 0, offsets, 6);
    m_api.pcre_free_substring(reinterpret_cast<const char *>(code));
    (void)Version();
    if (auto config = reinterpret_cast<PcreConfigFn>(OptionalSymbol("pcre_config"))) {
        int newline = 0;
        config(PCRE_CONFIG_NEWLINE, &newline);
    }
}

void PcreLibrary::TryOut(const char *pattern, int options, const unsigned char *tables, const Use &use) const
{
    const char *error = nullptr;
    int offset = 0;
    pcre *code = m_api.pcre_compile(pattern, options, &error, &offset, tables);
    if (!code) {
        (void)SafeReadString(error, 256);
        return;
    }
    pcre_extra *extra = m_api.pcre_study(code, 0, &error);
    FullInfo<PCRE_INFO_OPTIONS>(code, extra);
    FullInfo<PCRE_INFO_SIZE>(code, extra);
    FullInfo<PCRE_INFO_CAPTURECOUNT>(code, extra);
    FullInfo<PCRE_INFO_BACKREFMAX>(code, extra);
    FullInfo<PCRE_INFO_FIRSTBYTE>(code, extra);
    FullInfo<PCRE_INFO_FIRSTTABLE>(code, extra);
    FullInfo<PCRE_INFO_LASTLITERAL>(code, extra);
    FullInfo<PCRE_INFO_NAMEENTRYSIZE>(code, extra);
    FullInfo<PCRE_INFO_NAMECOUNT>(code, extra);
    FullInfo<PCRE_INFO_NAMETABLE>(code, extra);
    FullInfo<PCRE_INFO_STUDYSIZE>(code, extra);
    if (use)
        use(code, extra);
    m_api.pcre_free_substring(reinterpret_cast<const char *>(extra));
    m_api.pcre_free_substring(reinterpret_cast<const char *>(code));
}

PcreLibrary::LoadResult PcreLibrary::LoadHere(const std::string &path)
{
    LoadResult result;
    SharedLibrary file = SharedLibrary::open(path, &result.reason);
    if (!file)
        return result;

    // The seven names, in this order; the first one missing is the reason.
    PcreEntryPoints api;
    std::string &reason = result.reason;
    const bool complete = LookUp(file, "pcre_version", api.pcre_version, reason)
                          && LookUp(file, "pcre_fullinfo", api.pcre_fullinfo, reason)
                          && LookUp(file, "pcre_compile", api.pcre_compile, reason)
                          && LookUp(file, "pcre_exec", api.pcre_exec, reason)
                          && LookUp(file, "pcre_study", api.pcre_study, reason)
                          && LookUp(file, "pcre_malloc", api.pcre_malloc, reason)
                          && LookUp(file, "pcre_free_substring", api.pcre_free_substring, reason);
    if (!complete) {
        result.status = LoadStatus::MissingEntryPoint;
        return result;
    }
    result.reason.clear();
    result.status = LoadStatus::Loaded;
    result.library = std::make_shared<const PcreLibrary>(std::move(file), api);
    return result;
}

std::string PcreLibrary::Version() const
{
    return SafeReadString(m_api.pcre_version(), kMaxVersionLength);
}
