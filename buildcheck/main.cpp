// pcre-buildcheck: runs PCRE's own regression files against a PCRE 8.x
// library loaded at run time and reports how the build behaves.

#include "FileCheck.h"
#include "PcreBinding.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: pcre-buildcheck [options] INPUT EXPECTED [INPUT EXPECTED ...]\n"
    "\n"
    "Runs PCRE 8.x test input files (testdata/testinputN of the PCRE sources)\n"
    "against a PCRE library and compares the results with the expected output\n"
    "files (testdata/testoutputN).\n"
    "\n"
    "  --library PATH           library to check (default: libpcre.so.3, then libpcre.so.1)\n"
    "  --study                  study every pattern not marked SS, like pcretest -s\n"
    "  --locale NAME=LOCALE     use LOCALE where a file asks for /LNAME\n"
    "                           (e.g. fr_FR=fr_FR.ISO-8859-1)\n"
    "  --max-skipped-percent P  fail when more than P% of the cases are skipped\n"
    "  --max-diff-lines N       print at most N lines of differences (default 400, 0: all)\n"
    "  --help                   show this text\n"
    "\n"
    "Exit status: 0 all cases run passed, 1 a case failed or too many were skipped,\n"
    "2 usage error, library or file that cannot be used.\n";

struct Arguments
{
    std::string library;
    RunSettings settings;
    double maxSkippedPercent = 100.0;
    std::size_t maxDiffLines = 400;
    std::vector<std::pair<std::string, std::string>> files;   // input, expected
};

bool parseNumber(const std::string &text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && value >= 0;
}

// Returns an error text, empty on success.
std::string parseArguments(int argc, char **argv, Arguments &arguments)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        double number = 0;
        if (option == "--library") {
            const char *path = value();
            if (!path || !*path)
                return "--library needs a path";
            arguments.library = path;
        } else if (option == "--study") {
            arguments.settings.studyAll = true;
        } else if (option == "--locale") {
            const char *pair = value();
            const std::string text = pair ? pair : "";
            const std::size_t equals = text.find('=');
            if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
                return "--locale needs NAME=LOCALE";
            arguments.settings.localeNames[text.substr(0, equals)] = text.substr(equals + 1);
        } else if (option == "--max-skipped-percent") {
            const char *text = value();
            if (!text || !parseNumber(text, number))
                return "--max-skipped-percent needs a number";
            arguments.maxSkippedPercent = number;
        } else if (option == "--max-diff-lines") {
            const char *text = value();
            if (!text || !parseNumber(text, number))
                return "--max-diff-lines needs a number";
            arguments.maxDiffLines = static_cast<std::size_t>(number);
        } else if (option.starts_with("--")) {
            return "unknown option " + option;
        } else {
            positional.push_back(option);
        }
    }
    if (positional.empty() || positional.size() % 2 != 0)
        return "give pairs of INPUT and EXPECTED files";
    for (std::size_t i = 0; i < positional.size(); i += 2)
        arguments.files.emplace_back(positional[i], positional[i + 1]);
    return {};
}

// PcreLoad falls back to the default library when a file does not load;
// a check of someone's build must not quietly check another one.
std::string loadLibrary(const std::string &path)
{
    if (path.empty())
        return PcreLoad("") ? std::string() : "no default PCRE library could be loaded";
    std::error_code error;
    const std::filesystem::path wanted = std::filesystem::canonical(path, error);
    if (error)
        return path + ": " + error.message();
    if (!PcreLoad(path.c_str()) || std::filesystem::path(PcreGetModulePath()) != wanted) {
        PcreUnload();
        return path + ": not a loadable PCRE library with the seven entry points";
    }
    return {};
}

bool readOrComplain(const std::string &path, std::vector<std::string> &lines)
{
    if (ReadLines(path, lines))
        return true;
    std::fprintf(stderr, "pcre-buildcheck: cannot read %s\n", path.c_str());
    return false;
}

double percent(int part, int whole)
{
    return whole ? 100.0 * part / whole : 0.0;
}

void printCounts(const char *label, const FileReport &report)
{
    std::printf("%s: %d cases: %d passed, %d failed, %d skipped (%.1f%%); %d subject lines run\n",
                label, report.cases(), report.passed, report.failed, report.skipped,
                percent(report.skipped, report.cases()), report.subjectsRun);
}

void addUp(FileReport &total, const FileReport &report)
{
    total.passed += report.passed;
    total.failed += report.failed;
    total.skipped += report.skipped;
    total.subjectsRun += report.subjectsRun;
    for (const auto &[reason, count] : report.skipReasons)
        total.skipReasons[reason] += count;
}

void printDiff(const std::vector<std::pair<std::string, FileReport>> &reports, const std::string &library,
               std::size_t maxLines)
{
    std::size_t printed = 0;
    std::size_t left = 0;
    for (const auto &[expected, report] : reports) {
        if (report.diff.empty())
            continue;
        std::printf("--- %s\n+++ %s as produced by %s\n", expected.c_str(), expected.c_str(), library.c_str());
        for (const std::string &line : report.diff) {
            if (maxLines && printed >= maxLines) {
                ++left;
                continue;
            }
            std::printf("%s\n", line.c_str());
            ++printed;
        }
    }
    if (left)
        std::printf("... %zu more lines of differences not shown (--max-diff-lines)\n", left);
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
    if (const std::string error = loadLibrary(arguments.library); !error.empty()) {
        std::fprintf(stderr, "pcre-buildcheck: %s\n", error.c_str());
        return kExitUsage;
    }
    const std::string library = PcreGetModulePath();
    std::printf("Library: %s (PCRE %s)%s\n", library.c_str(), PcreVersionText().c_str(),
                arguments.settings.studyAll ? ", every pattern studied" : "");

    const auto start = std::chrono::steady_clock::now();
    EngineClock clock;
    std::vector<std::pair<std::string, FileReport>> reports;
    FileReport total;
    for (const auto &[input, expected] : arguments.files) {
        std::vector<std::string> inputLines;
        std::vector<std::string> expectedLines;
        if (!readOrComplain(input, inputLines) || !readOrComplain(expected, expectedLines))
            return kExitUsage;
        FileReport report = CheckScript(inputLines, expectedLines,
                                         std::filesystem::path(input).filename().string(),
                                         arguments.settings, clock);
        if (!report.error.empty()) {
            std::fprintf(stderr, "pcre-buildcheck: %s: %s\n", expected.c_str(), report.error.c_str());
            return kExitUsage;
        }
        addUp(total, report);
        reports.emplace_back(expected, std::move(report));
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const std::chrono::duration<double> inside = clock.inside();

    printDiff(reports, library, arguments.maxDiffLines);
    for (std::size_t i = 0; i < reports.size(); ++i)
        printCounts(arguments.files[i].first.c_str(), reports[i].second);
    for (const auto &[reason, count] : total.skipReasons)
        std::printf("  skipped %4d  %s\n", count, reason.c_str());
    printCounts("Total", total);
    std::printf("Time: %.3f s, of which %.3f s (%.0f%%) inside the engine in %ld calls\n",
                elapsed.count(), inside.count(), elapsed.count() > 0 ? 100.0 * inside / elapsed : 0.0,
                clock.calls());

    int status = kExitPassed;
    if (total.failed) {
        std::printf("FAILED: %d cases differ from the expected output\n", total.failed);
        status = kExitFailed;
    }
    const double skippedShare = percent(total.skipped, total.cases());
    if (skippedShare > arguments.maxSkippedPercent) {
        std::printf("FAILED: %.1f%% of the cases were skipped, more than the %.1f%% allowed\n", skippedShare,
                    arguments.maxSkippedPercent);
        status = kExitFailed;
    }
    if (status == kExitPassed)
        std::printf("PASSED\n");
    PcreUnload();
    return status;
}
