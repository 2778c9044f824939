#include "Suite.h"

#include "PcreMore.h"

#include <algorithm>

namespace {

constexpr int kJitForced = PCRE_STUDY_ALL_JIT;    // what -s+ adds to every study

const Way kPlain{"plain", -1, 0, false};
const Way kStudy{"study", 0, 0, false};
const Way kJit{"jit", 1, kJitForced, false};
const Way kDfa{"dfa", -1, 0, true};
const Way kDfaStudy{"dfa+study", 0, 0, true};

enum Needs : unsigned {
    kUtf = 1,
    kProperties = 2,
    kJitSupport = 4,
    kNoJit = 8,
    kLinkSize2 = 16,
    kFrench = 32,
};

// RunTest runs most files plain, studied, and studied with the JIT when
// there is one; the DFA files and file 11 plain and studied; 12 and 13 once.
enum class WaySet { Three, Dfa, Two, Once };

struct SuiteFile
{
    int number;
    const char *title;
    const char *expected[3];
    unsigned needs;
    WaySet ways;
};

constexpr SuiteFile kSuiteFiles[] = {
    {1, "Main functionality (Compatible with Perl >= 5.10)", {"testoutput1"}, 0, WaySet::Three},
    {2, "API, errors, internals, and non-Perl stuff", {"testoutput2"}, 0, WaySet::Three},
    {3, "Locale-specific features", {"testoutput3", "testoutput3A", "testoutput3B"}, kFrench, WaySet::Three},
    {4, "UTF-8 support (Compatible with Perl >= 5.10)", {"testoutput4"}, kUtf, WaySet::Three},
    {5, "API, internals, and non-Perl stuff for UTF-8 support", {"testoutput5"}, kUtf, WaySet::Three},
    {6, "Unicode property support (Compatible with Perl >= 5.10)", {"testoutput6"}, kUtf | kProperties,
     WaySet::Three},
    {7, "API, internals, and non-Perl stuff for Unicode property support", {"testoutput7"},
     kUtf | kProperties, WaySet::Three},
    {8, "DFA matching main functionality", {"testoutput8"}, 0, WaySet::Dfa},
    {9, "DFA matching with UTF-8", {"testoutput9"}, kUtf, WaySet::Dfa},
    {10, "DFA matching with Unicode properties", {"testoutput10"}, kUtf | kProperties, WaySet::Dfa},
    {11, "Internal offsets and code size tests", {"testoutput11-8"}, kLinkSize2 | kProperties, WaySet::Two},
    {12, "JIT-specific features (when JIT is available)", {"testoutput12"}, kJitSupport, WaySet::Once},
    {13, "JIT-specific features (when JIT is not available)", {"testoutput13"}, kNoJit, WaySet::Once},
    {14, "Specials for the basic 8-bit library", {"testoutput14"}, 0, WaySet::Three},
    {15, "Specials for the 8-bit library with UTF-8 support", {"testoutput15"}, kUtf, WaySet::Three},
    {16, "Specials for the 8-bit library with Unicode property support", {"testoutput16"}, kProperties,
     WaySet::Three},
};

// RunTest's reasons for passing a file over, first match wins.
std::string notRunReason(unsigned needs, const LibraryFeatures &features, const std::string &frenchLocale)
{
    if ((needs & kUtf) && !features.utf)
        return "UTF-8 support is not available";
    if ((needs & kLinkSize2) && features.linkSize != 2)
        return features.linkSize ? "link size is not 2" : "the link size is unknown (no pcre_config)";
    if ((needs & kProperties) && !features.unicodeProperties)
        return "Unicode property support is not available";
    if ((needs & kJitSupport) && !features.jit)
        return "JIT is not available";
    if ((needs & kNoJit) && features.jit)
        return "JIT is available";
    if ((needs & kFrench) && frenchLocale.empty())
        return "no French locale (fr_FR, fr_FR.ISO-8859-1, french or fr) is available";
    return {};
}

std::vector<Way> waysOf(WaySet set, bool jit)
{
    switch (set) {
    case WaySet::Three: return jit ? std::vector<Way>{kPlain, kStudy, kJit} : std::vector<Way>{kPlain, kStudy};
    case WaySet::Dfa: return {kDfa, kDfaStudy};
    case WaySet::Two: return {kPlain, kStudy};
    case WaySet::Once: return {kPlain};
    }
    return {};
}

} // namespace

const std::vector<Way> &AllWays()
{
    static const std::vector<Way> ways{kPlain, kStudy, kJit, kDfa, kDfaStudy};
    return ways;
}

const Way *WayNamed(const std::string &name)
{
    for (const Way &way : AllWays()) {
        if (name == way.name)
            return &way;
    }
    return nullptr;
}

std::vector<PlannedFile> PlanSuite(const std::string &testdata, const LibraryFeatures &features,
                                   const std::vector<int> &only, const std::string &frenchLocale)
{
    std::vector<PlannedFile> plan;
    for (const SuiteFile &file : kSuiteFiles) {
        if (!only.empty() && std::find(only.begin(), only.end(), file.number) == only.end())
            continue;
        PlannedFile planned;
        planned.number = file.number;
        planned.title = file.title;
        planned.input = testdata + "/testinput" + std::to_string(file.number);
        for (const char *expected : file.expected) {
            if (expected)
                planned.expected.push_back(testdata + "/" + expected);
        }
        planned.notRun = notRunReason(file.needs, features, frenchLocale);
        planned.ways = waysOf(file.ways, features.jit);
        plan.push_back(std::move(planned));
    }
    return plan;
}
