#include "PcreLibrary.h"

#include "SafeRead.h"

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

PcreLibrary::LoadResult PcreLibrary::Load(const std::string &path)
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
