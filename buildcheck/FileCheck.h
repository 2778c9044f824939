#pragma once
// Checking one PCRE test input file against its expected output file.

#include "CaseRunner.h"

#include <map>
#include <string>
#include <vector>

struct FileReport
{
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    int subjectsRun = 0;
    std::map<std::string, int> skipReasons;     // reason -> cases
    std::vector<std::string> diff;              // hunks of the failed cases
    std::string error;                          // the files could not be used at all

    int cases() const { return passed + failed + skipped; }
};

// Both files are given as lines. `inputName` labels the diff hunks.
FileReport CheckScript(const std::vector<std::string> &input, const std::vector<std::string> &expected,
                       const std::string &inputName, const RunSettings &settings, EngineClock &clock);

// Reads a whole file; false when it cannot be read.
bool ReadLines(const std::string &path, std::vector<std::string> &lines);
