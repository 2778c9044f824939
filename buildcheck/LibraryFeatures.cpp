#include "LibraryFeatures.h"

#include "ContainedCall.h"
#include "PcreBinding.h"

#include <chrono>
#include <cstring>
#include <type_traits>

namespace {

template <auto Member>
void store(OptionalEntryPoints &api, void *address)
{
    using Type = std::remove_reference_t<decltype(api.*Member)>;
    api.*Member = reinterpret_cast<Type>(address);
}

struct OptionalName
{
    const char *name;
    void (*store)(OptionalEntryPoints &, void *);
};

constexpr OptionalName kOptionalNames[] = {
    {"pcre_config", store<&OptionalEntryPoints::pcre_config>},
    {"pcre_dfa_exec", store<&OptionalEntryPoints::pcre_dfa_exec>},
    {"pcre_free_study", store<&OptionalEntryPoints::pcre_free_study>},
    {"pcre_maketables", store<&OptionalEntryPoints::pcre_maketables>},
    {"pcre_jit_stack_alloc", store<&OptionalEntryPoints::pcre_jit_stack_alloc>},
    {"pcre_jit_stack_free", store<&OptionalEntryPoints::pcre_jit_stack_free>},
    {"pcre_assign_jit_stack", store<&OptionalEntryPoints::pcre_assign_jit_stack>},
    {"pcre_get_stringnumber", store<&OptionalEntryPoints::pcre_get_stringnumber>},
    {"pcre_copy_substring", store<&OptionalEntryPoints::pcre_copy_substring>},
    {"pcre_copy_named_substring", store<&OptionalEntryPoints::pcre_copy_named_substring>},
    {"pcre_get_substring", store<&OptionalEntryPoints::pcre_get_substring>},
    {"pcre_get_named_substring", store<&OptionalEntryPoints::pcre_get_named_substring>},
    {"pcre_get_substring_list", store<&OptionalEntryPoints::pcre_get_substring_list>},
    {"pcre_free_substring_list", store<&OptionalEntryPoints::pcre_free_substring_list>},
    {"pcre_pattern_to_host_byte_order", store<&OptionalEntryPoints::pcre_pattern_to_host_byte_order>},
    {"pcre_callout", store<&OptionalEntryPoints::pcre_callout>},
    {"pcre_stack_guard", store<&OptionalEntryPoints::pcre_stack_guard>},
};

// What the child hands back.
struct FeatureAnswer
{
    int utf, unicodeProperties, jit, linkSize, newline, frameSize, fromConfig;
    char version[PcreLibrary::kMaxVersionLength + 1];
};

int configValue(PcreConfigFn config, int what, int fallback)
{
    int value = fallback;
    return config(what, &value) == 0 ? value : fallback;
}

bool compiles(const PcreLibrary &library, const char *pattern, int options)
{
    const char *error = nullptr;
    int offset = 0;
    pcre *code = library.Api().pcre_compile(pattern, options, &error, &offset, nullptr);
    PcreFree(library, code);
    return code != nullptr;
}

bool studiesWithJit(const PcreLibrary &library, const OptionalEntryPoints &optional)
{
    const char *error = nullptr;
    int offset = 0;
    pcre *code = library.Api().pcre_compile("a", 0, &error, &offset, nullptr);
    pcre_extra *extra = code ? library.Api().pcre_study(code, PCRE_STUDY_JIT_COMPILE, &error) : nullptr;
    const bool jit = library.FullInfo<PCRE_INFO_JIT>(code, extra).value_or(0) != 0;
    if (optional.pcre_free_study && extra)
        optional.pcre_free_study(extra);
    else
        PcreFree(library, extra);
    PcreFree(library, code);
    return jit;
}

// Without pcre_config(): what the library accepts says what it was built
// with; the link size stays unknown.
void probe(const PcreLibrary &library, const OptionalEntryPoints &optional, FeatureAnswer &answer)
{
    answer.utf = compiles(library, "a", PCRE_UTF8);
    answer.unicodeProperties = compiles(library, "\\p{L}", 0);
    answer.jit = studiesWithJit(library, optional);
}

void ask(const PcreLibrary &library, const OptionalEntryPoints &optional, FeatureAnswer &answer)
{
    const std::string version = library.Version();
    std::memcpy(answer.version, version.data(), std::min(version.size(), sizeof answer.version - 1));
    // 8.30 and later answer this special call with minus the frame size.
    const int frame = library.Api().pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
    answer.frameSize = frame < -16 && frame > -(1 << 20) ? -frame : 0;
    if (!optional.pcre_config) {
        probe(library, optional, answer);
        return;
    }
    answer.fromConfig = 1;
    answer.utf = configValue(optional.pcre_config, PCRE_CONFIG_UTF8, 0);
    answer.unicodeProperties = configValue(optional.pcre_config, PCRE_CONFIG_UNICODE_PROPERTIES, 0);
    answer.jit = configValue(optional.pcre_config, PCRE_CONFIG_JIT, 0);
    answer.linkSize = configValue(optional.pcre_config, PCRE_CONFIG_LINK_SIZE, 0);
    answer.newline = configValue(optional.pcre_config, PCRE_CONFIG_NEWLINE, '\n');
}

} // namespace

OptionalEntryPoints FindOptionalEntryPoints(const PcreLibrary &library, std::vector<std::string> &missing)
{
    OptionalEntryPoints api;
    for (const OptionalName &entry : kOptionalNames) {
        void *address = library.OptionalSymbol(entry.name);
        if (address)
            entry.store(api, address);
        else
            missing.push_back(entry.name);
    }
    return api;
}

LibraryFeatures QueryFeatures(const PcreLibrary &library, const OptionalEntryPoints &optional)
{
    LibraryFeatures features;
    ContainedCall call(sizeof(FeatureAnswer));
    auto *answer = static_cast<FeatureAnswer *>(call.Shared());
    answer->newline = '\n';
    if (call.Start([&](void *) { ask(library, optional, *answer); }) && !call.Wait(std::chrono::seconds(10)))
        call.Stop(ContainedCall::Ending::TimedOut);
    call.WaitForEnd();
    if (call.Result().ending != ContainedCall::Ending::Returned) {
        features.problem = "asking the library for its version and build options " + call.Result().Describe();
        return features;
    }
    features.version = answer->version;
    features.utf = answer->utf != 0;
    features.unicodeProperties = answer->unicodeProperties != 0;
    features.jit = answer->jit != 0;
    features.linkSize = answer->linkSize;
    features.newline = answer->newline;
    features.frameSize = answer->frameSize;
    features.fromConfig = answer->fromConfig != 0;
    return features;
}
