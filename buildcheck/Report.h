#pragma once
// The end of a run: the summary per file and way with the skips by reason,
// and the JUnit XML report that CI systems read.

#include "FileCheck.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct RunTotals
{
    int runs = 0;
    int cases = 0;
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    int dumpsSkipped = 0;               // compiled-code dumps among the skipped
    int differences = 0;
    std::map<std::string, int> skipReasons;
    std::chrono::nanoseconds engineTime{};

    double skippedPercent() const;
    // Leaving compiled-code dumps out of both counts.
    double skippedPercentWithoutDumps() const;
};

RunTotals AddUp(const std::vector<WayReport> &reports);

// One line per file and way, RunTest's reason for each file not run, the
// skips by reason and the totals.
void PrintSummary(const std::vector<PlannedFile> &plan, const std::vector<WayReport> &reports,
                  const RunTotals &totals, std::chrono::duration<double> elapsed);

// One <testsuite> per file and way, one <testcase> per pattern. False, with
// the system's reason, when the file cannot be written.
bool WriteJUnit(const std::string &path, const std::vector<WayReport> &reports, const RunTotals &totals,
                std::chrono::duration<double> elapsed, std::string &error);
