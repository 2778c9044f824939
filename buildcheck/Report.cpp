#include "Report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

double seconds(std::chrono::nanoseconds time)
{
    return std::chrono::duration<double>(time).count();
}

double percent(int part, int whole)
{
    return whole ? 100.0 * part / whole : 0.0;
}

std::string fileName(const PlannedFile &file)
{
    return std::filesystem::path(file.input).filename().string();
}

// Attribute text: the markup characters escaped, and bytes that XML does
// not allow (controls, and anything not ASCII, which need not be UTF-8) as
// \xhh.
std::string xmlText(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        default:
            if ((byte < 0x20 && c != '\n' && c != '\t') || byte >= 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
                result += escaped;
            } else {
                result += c;
            }
        }
    }
    return result;
}

std::string caseName(const CaseVerdict &verdict)
{
    constexpr std::size_t kMaxShown = 100;
    std::string pattern = verdict.pattern.substr(0, kMaxShown);
    if (verdict.pattern.size() > kMaxShown)
        pattern += "...";
    return "line " + std::to_string(verdict.line) + ": " + pattern;
}

// Times as plain decimals: report readers reject exponents.
std::string decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

void writeFailure(std::ostream &out, const std::string &message, const std::vector<std::string> &diff)
{
    out << "      <failure message=\"" << xmlText(message) << "\">";
    for (const std::string &line : diff)
        out << xmlText(line) << "\n";
    out << "</failure>\n";
}

void writeCase(std::ostream &out, const std::string &className, const CaseVerdict &verdict)
{
    out << "    <testcase classname=\"" << xmlText(className) << "\" name=\"" << xmlText(caseName(verdict))
        << "\" time=\"" << decimal(seconds(verdict.engineTime)) << "\"";
    if (verdict.kind == CaseVerdict::Kind::Passed && verdict.differs.empty()) {
        out << "/>\n";
        return;
    }
    out << ">\n";
    if (verdict.kind == CaseVerdict::Kind::Skipped && verdict.differs.empty())
        out << "      <skipped message=\"" << xmlText(verdict.message) << "\"/>\n";
    else if (verdict.kind == CaseVerdict::Kind::Failed)
        writeFailure(out, verdict.message, verdict.diff);
    else
        writeFailure(out, verdict.differs, verdict.otherDiff);
    out << "    </testcase>\n";
}

std::size_t failingCases(const WayReport &report)
{
    return std::size_t(std::count_if(report.cases.begin(), report.cases.end(),
                                     [](const CaseVerdict &verdict) { return verdict.failing(); }));
}

} // namespace

double RunTotals::skippedPercent() const
{
    return percent(skipped, cases);
}

double RunTotals::skippedPercentWithoutDumps() const
{
    return percent(skipped - dumpsSkipped, cases - dumpsSkipped);
}

RunTotals AddUp(const std::vector<WayReport> &reports)
{
    RunTotals totals;
    for (const WayReport &report : reports) {
        ++totals.runs;
        totals.cases += int(report.cases.size());
        totals.passed += report.passed;
        totals.failed += report.failed;
        totals.skipped += report.skipped;
        totals.differences += report.differences;
        totals.engineTime += report.engineTime;
        for (const CaseVerdict &verdict : report.cases) {
            if (verdict.kind != CaseVerdict::Kind::Skipped)
                continue;
            ++totals.skipReasons[verdict.message];
            totals.dumpsSkipped += verdict.message == kCompiledCodeDump;
        }
    }
    return totals;
}

void PrintSummary(const std::vector<PlannedFile> &plan, const std::vector<WayReport> &reports,
                  const RunTotals &totals, std::chrono::duration<double> elapsed)
{
    std::printf("\n%-16s %-10s %7s %7s %7s %8s\n", "file", "way", "cases", "passed", "failed", "skipped");
    for (const PlannedFile &file : plan) {
        if (!file.notRun.empty()) {
            std::printf("%-16s not run: %s\n", fileName(file).c_str(), file.notRun.c_str());
            continue;
        }
        for (const WayReport &report : reports) {
            if (report.file != &file)
                continue;
            std::printf("%-16s %-10s %7zu %7d %7d %8d", fileName(file).c_str(), report.way.c_str(),
                        report.cases.size(), report.passed, report.failed, report.skipped);
            if (report.differences)
                std::printf("   %d differ from the other library", report.differences);
            std::printf("\n");
        }
    }
    if (!totals.skipReasons.empty())
        std::printf("\nSkipped cases by reason (every file and way):\n");
    for (const auto &[reason, count] : totals.skipReasons)
        std::printf("%8d  %s\n", count, reason.c_str());
    std::printf("\nTotal: %d runs, %d cases: %d passed, %d failed, %d skipped (%.1f%%; %.1f%% leaving out the %d "
                "compiled-code dumps)\n",
                totals.runs, totals.cases, totals.passed, totals.failed, totals.skipped, totals.skippedPercent(),
                totals.skippedPercentWithoutDumps(), totals.dumpsSkipped);
    const double inside = seconds(totals.engineTime);
    std::printf("Time: %.2f s, of which %.2f s (%.0f%%) inside the library\n", elapsed.count(), inside,
                elapsed.count() > 0 ? 100.0 * inside / elapsed.count() : 0.0);
}

bool WriteJUnit(const std::string &path, const std::vector<WayReport> &reports, const RunTotals &totals,
                std::chrono::duration<double> elapsed, std::string &error)
{
    std::ofstream out(path, std::ios::trunc);
    if (!out) {
        error = std::strerror(errno);
        return false;
    }
    std::size_t failing = 0;
    for (const WayReport &report : reports)
        failing += failingCases(report);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites name=\"pcre-buildcheck\" tests=\"" << totals.cases << "\" failures=\"" << failing
        << "\" skipped=\"" << totals.skipped << "\" time=\"" << decimal(elapsed.count()) << "\">\n";
    for (const WayReport &report : reports) {
        const std::string name = fileName(*report.file) + " (" + report.way + ")";
        out << "  <testsuite name=\"" << xmlText(name) << "\" tests=\"" << report.cases.size() << "\" failures=\""
            << failingCases(report) << "\" skipped=\"" << report.skipped << "\" time=\""
            << decimal(report.time.count()) << "\">\n";
        const std::string className = fileName(*report.file) + "." + report.way;
        for (const CaseVerdict &verdict : report.cases)
            writeCase(out, className, verdict);
        out << "  </testsuite>\n";
    }
    out << "</testsuites>\n";
    out.flush();
    if (!out) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}
