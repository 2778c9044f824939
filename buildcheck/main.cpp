// pcre-buildcheck: runs PCRE's own regression files against a PCRE 8.x
// library loaded at run time and reports how the build behaves.

#include "ContainedCall.h"
#include "Report.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <locale.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: pcre-buildcheck [options] TESTDATA\n"
    "       pcre-buildcheck [options] INPUT EXPECTED [INPUT EXPECTED ...]\n"
    "\n"
    "Runs PCRE 8.x regression files against a PCRE library and compares the results\n"
    "with the expected output. Given the testdata directory of the PCRE sources, it\n"
    "runs test files 1 to 16 for the 8-bit library as PCRE's RunTest does: those the\n"
    "library's build options allow, each plain, studied and studied with the JIT\n"
    "(the DFA files with DFA matching). Given pairs of files, it runs each pair in\n"
    "the ways --ways names.\n"
    "\n"
    "  --library PATH           library to check (default: libpcre.so.3, then libpcre.so.1)\n"
    "  --against PATH           also run every case with this library and show each case\n"
    "                           whose output differs between the two\n"
    "  --files LIST             only these test files of TESTDATA (e.g. 1,2,8)\n"
    "  --ways LIST              for pairs: plain, study, jit, dfa, dfa+study (default plain)\n"
    "  --locale NAME=LOCALE     use LOCALE where a file asks for /LNAME\n"
    "                           (default for fr_FR: the first of fr_FR, fr_FR.ISO-8859-1,\n"
    "                           fr_FR.iso88591, french, fr that the system has)\n"
    "  --junit FILE             write a JUnit XML report, one test case per pattern\n"
    "  --time-limit SECONDS     stop a case that runs longer (default 10)\n"
    "  --max-skipped-percent P  fail when more than P% of the cases are skipped, not\n"
    "                           counting compiled-code dumps (default 5)\n"
    "  --max-diff-lines N       print at most N lines of differences (default 400, 0: all)\n"
    "  --help                   show this text\n"
    "\n"
    "Exit status: 0 every case run passed (and, with --against, none differs),\n"
    "1 a case failed or differs or too many were skipped, 2 usage error, a library or\n"
    "file that cannot be used.\n";

struct Arguments
{
    std::string library;
    std::string against;
    std::string junit;
    std::vector<int> files;
    std::vector<Way> ways;
    std::map<std::string, std::string> locales;
    double timeLimitSeconds = 10;
    double maxSkippedPercent = 5;
    std::size_t maxDiffLines = 400;
    std::vector<std::string> positional;
};

bool parseNumber(const char *text, double &value)
{
    char *end = nullptr;
    value = text ? std::strtod(text, &end) : 0;
    return text && *text && *end == '\0' && value >= 0 && value < 1e9;
}

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> items;
    std::stringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');)
        items.push_back(item);
    return items;
}

std::string parseList(const char *text, Arguments &arguments, bool files)
{
    if (!text || !*text)
        return files ? "--files needs a list of numbers" : "--ways needs a list of ways";
    for (const std::string &item : splitList(text)) {
        double number = 0;
        if (files && parseNumber(item.c_str(), number) && number >= 1 && number <= 16 && number == int(number))
            arguments.files.push_back(int(number));
        else if (!files && WayNamed(item))
            arguments.ways.push_back(*WayNamed(item));
        else
            return (files ? "not a test file from 1 to 16: " : "unknown way: ") + item;
    }
    return {};
}

// Returns an error text, empty on success.
std::string parseArguments(int argc, char **argv, Arguments &arguments)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        double number = 0;
        if (option == "--library" || option == "--against" || option == "--junit") {
            const char *path = value();
            if (!path || !*path)
                return option + " needs a path";
            (option == "--library" ? arguments.library : option == "--against" ? arguments.against
                                                                                 : arguments.junit) = path;
        } else if (option == "--files" || option == "--ways") {
            if (std::string error = parseList(value(), arguments, option == "--files"); !error.empty())
                return error;
        } else if (option == "--locale") {
            const char *pair = value();
            const std::string text = pair ? pair : "";
            const std::size_t equals = text.find('=');
            if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
                return "--locale needs NAME=LOCALE";
            arguments.locales[text.substr(0, equals)] = text.substr(equals + 1);
        } else if (option == "--time-limit") {
            if (!parseNumber(value(), number) || number <= 0)
                return "--time-limit needs a number of seconds";
            arguments.timeLimitSeconds = number;
        } else if (option == "--max-skipped-percent") {
            if (!parseNumber(value(), number))
                return "--max-skipped-percent needs a number";
            arguments.maxSkippedPercent = number;
        } else if (option == "--max-diff-lines") {
            if (!parseNumber(value(), number))
                return "--max-diff-lines needs a number";
            arguments.maxDiffLines = std::size_t(number);
        } else if (option.starts_with("--")) {
            return "unknown option " + option;
        } else {
            arguments.positional.push_back(option);
        }
    }
    if (arguments.positional.empty())
        return "give a testdata directory, or pairs of INPUT and EXPECTED files";
    if (arguments.positional.size() > 1 && arguments.positional.size() % 2 != 0)
        return "give pairs of INPUT and EXPECTED files";
    return {};
}

struct CheckedLibrary
{
    PcreLibraryRef library;
    RunEnvironment environment;
    std::vector<std::string> missing;    // optional names it lacks
};

// A path that does not load is an error: a check of someone's build must
// not quietly check another library in its place.
std::string loadLibrary(const std::string &path, CheckedLibrary &checked)
{
    std::string reason;
    for (const std::string &name : path.empty() ? std::vector<std::string>{"libpcre.so.3", "libpcre.so.1"}
                                                : std::vector<std::string>{path}) {
        PcreLibrary::LoadResult result = PcreLibrary::Load(name);
        checked.library = result.library;
        if (checked.library)
            break;
        reason += (reason.empty() ? "" : "; ") + result.reason;
    }
    if (!checked.library)
        return reason.empty() ? "no PCRE library could be loaded" : reason;
    RunEnvironment &environment = checked.environment;
    environment.library = checked.library.get();
    environment.optional = FindOptionalEntryPoints(*checked.library, checked.missing);
    environment.features = QueryFeatures(*checked.library, environment.optional);
    if (!environment.features.problem.empty())
        return checked.library->ModulePath() + ": " + environment.features.problem;
    return {};
}

std::string describeLibrary(const CheckedLibrary &checked)
{
    const LibraryFeatures &features = checked.environment.features;
    std::string text = "PCRE " + features.version + " at " + checked.library->ModulePath() + "\n  built with";
    text += features.utf ? " UTF-8," : " no UTF-8,";
    text += features.unicodeProperties ? " Unicode properties," : " no Unicode properties,";
    text += features.jit ? " JIT" : " no JIT";
    if (features.linkSize)
        text += ", link size " + std::to_string(features.linkSize);
    text += features.fromConfig ? " (pcre_config)" : " (found by trying: no pcre_config)";
    text += "\n  optional entry points not exported: ";
    if (checked.missing.empty())
        text += "none";
    for (std::size_t i = 0; i < checked.missing.size(); ++i)
        text += (i ? ", " : "") + checked.missing[i];
    return text + "\n";
}

// The first of `names` the system has a locale of, or -1. Asked in a child
// process: glibc keeps memory of the names it failed to find.
int firstLocale(const std::vector<std::string> &names)
{
    ContainedCall call(sizeof(int));
    auto *found = static_cast<int *>(call.Shared());
    if (!found)
        return -1;
    *found = -1;
    call.Start([&](void *) {
        for (std::size_t i = 0; i < names.size() && *found < 0; ++i) {
            if (locale_t locale = newlocale(LC_CTYPE_MASK, names[i].c_str(), nullptr)) {
                freelocale(locale);
                *found = int(i);
            }
        }
    });
    call.WaitForEnd();
    return call.Result().ending == ContainedCall::Ending::Returned ? *found : -1;
}

// The French ISO-8859-1 locale test 3 asks for as fr_FR, under whichever
// name the system has it (RunTest tries fr_FR, french and fr).
std::string frenchLocale(std::map<std::string, std::string> &locales)
{
    if (const auto given = locales.find("fr_FR"); given != locales.end())
        return firstLocale({given->second}) == 0 ? given->second : std::string();
    const std::vector<std::string> names = {"fr_FR", "fr_FR.ISO-8859-1", "fr_FR.iso88591", "french", "fr"};
    const int found = firstLocale(names);
    if (found < 0)
        return {};
    locales["fr_FR"] = names[std::size_t(found)];
    return names[std::size_t(found)];
}

std::vector<PlannedFile> planPairs(const Arguments &arguments)
{
    std::vector<PlannedFile> plan;
    for (std::size_t i = 0; i + 1 < arguments.positional.size(); i += 2) {
        PlannedFile file;
        file.input = arguments.positional[i];
        file.expected = {arguments.positional[i + 1]};
        file.ways = arguments.ways.empty() ? std::vector<Way>{*WayNamed("plain")} : arguments.ways;
        plan.push_back(std::move(file));
    }
    return plan;
}

void printWay(const WayReport &report)
{
    std::printf("%s (%s): %zu cases, %d passed, %d failed, %d skipped\n",
                std::filesystem::path(report.file->input).filename().c_str(), report.way.c_str(),
                report.cases.size(), report.passed, report.failed, report.skipped);
    std::fflush(stdout);
}

// Every file of the plan read and lined up before anything runs, so that a
// file that cannot be used stops the run before it starts.
bool loadAll(const std::vector<PlannedFile> &plan, std::vector<LoadedFile> &loaded)
{
    for (const PlannedFile &file : plan) {
        loaded.push_back(file.notRun.empty() ? LoadFile(file) : LoadedFile{});
        if (!loaded.back().error.empty()) {
            std::fprintf(stderr, "pcre-buildcheck: %s\n", loaded.back().error.c_str());
            return false;
        }
    }
    return true;
}

struct Checker
{
    CheckedLibrary &primary;
    CheckedLibrary *other;
    std::chrono::milliseconds timeLimit;
    FailurePrinter printer;

    std::string names() const
    {
        return primary.library->ModulePath() + " and " + (other ? other->library->ModulePath() : std::string());
    }

    WayReport check(const PlannedFile &file, const LoadedFile &loaded, const Way &way)
    {
        std::vector<CaseResult> outputs;
        primary.environment.way = way;
        WayReport report =
            CheckWay(file, loaded, primary.environment, timeLimit, printer, other ? &outputs : nullptr);
        if (other) {
            other->environment.way = way;
            CompareWithOther(file, loaded, other->environment, timeLimit, outputs, names(), printer, report);
        }
        printWay(report);
        return report;
    }
};

int verdict(const Arguments &arguments, const RunTotals &totals, const std::string &names)
{
    const double skipped = totals.skippedPercentWithoutDumps();
    if (totals.failed)
        std::printf("FAILED: %d cases differ from the expected output\n", totals.failed);
    if (totals.differences)
        std::printf("FAILED: %d cases differ between %s\n", totals.differences, names.c_str());
    if (skipped > arguments.maxSkippedPercent)
        std::printf("FAILED: %.1f%% of the cases were skipped (compiled-code dumps aside), more than the %.1f%% "
                    "allowed\n",
                    skipped, arguments.maxSkippedPercent);
    // Skipping everything checks nothing, whatever the allowance.
    const bool noneRun = totals.cases == totals.skipped;
    if (noneRun)
        std::printf("FAILED: no case was run\n");
    if (totals.failed || totals.differences || skipped > arguments.maxSkippedPercent || noneRun)
        return kExitFailed;
    std::printf("PASSED\n");
    return kExitPassed;
}

int run(const Arguments &arguments, CheckedLibrary &primary, CheckedLibrary *other)
{
    const bool suite = arguments.positional.size() == 1;
    const std::string testdata = suite ? arguments.positional.front()
                                       : std::filesystem::path(arguments.positional.front()).parent_path().string();
    std::map<std::string, std::string> locales = arguments.locales;
    const std::string french = frenchLocale(locales);
    const std::vector<PlannedFile> plan =
        suite ? PlanSuite(testdata, primary.environment.features, arguments.files, french) : planPairs(arguments);
    std::vector<LoadedFile> loaded;
    if (!loadAll(plan, loaded))
        return kExitUsage;
    for (CheckedLibrary *checked : {&primary, other}) {
        if (checked) {
            checked->environment.locales = locales;
            checked->environment.testdata = testdata.empty() ? "." : testdata;
        }
    }
    Checker checker{primary, other, std::chrono::milliseconds(long(arguments.timeLimitSeconds * 1000)),
                    FailurePrinter(arguments.maxDiffLines)};
    std::vector<WayReport> reports;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < plan.size(); ++i) {
        for (const Way &way : plan[i].notRun.empty() ? plan[i].ways : std::vector<Way>{})
            reports.push_back(checker.check(plan[i], loaded[i], way));
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const RunTotals totals = AddUp(reports);
    if (checker.printer.linesHeldBack())
        std::printf("... %zu more lines of differences not shown (--max-diff-lines)\n",
                    checker.printer.linesHeldBack());
    PrintSummary(plan, reports, totals, elapsed);
    std::string error;
    if (!arguments.junit.empty() && !WriteJUnit(arguments.junit, reports, totals, elapsed, error)) {
        std::fprintf(stderr, "pcre-buildcheck: %s: %s\n", arguments.junit.c_str(), error.c_str());
        verdict(arguments, totals, checker.names());
        return kExitUsage;
    }
    return verdict(arguments, totals, checker.names());
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            std::fputs(kUsage, stdout);
            return kExitPassed;
        }
    }
    Arguments arguments;
    if (const std::string error = parseArguments(argc, argv, arguments); !error.empty()) {
        std::fprintf(stderr, "pcre-buildcheck: %s\n\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    CheckedLibrary primary;
    CheckedLibrary other;
    for (auto [path, checked] : {std::pair{arguments.library, &primary}, std::pair{arguments.against, &other}}) {
        if (checked == &other && arguments.against.empty())
            continue;
        if (const std::string error = loadLibrary(path, *checked); !error.empty()) {
            std::fprintf(stderr, "pcre-buildcheck: %s\n", error.c_str());
            return kExitUsage;
        }
        std::printf("%s", describeLibrary(*checked).c_str());
    }
    std::fflush(stdout);
    const int status = run(arguments, primary, arguments.against.empty() ? nullptr : &other);
    // A report that could not be written is no pass.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "pcre-buildcheck: cannot write the report: %s\n", std::strerror(errno));
        return kExitUsage;
    }
    return status;
}
