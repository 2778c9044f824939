#pragma once
// PCRE's 8-bit regression suite as PCRE's RunTest runs it: which test files
// apply to a library, which expected output each is compared with, and the
// ways each is run (plain, studied, studied with the JIT, with DFA matching).

#include "CaseRunner.h"

#include <string>
#include <vector>

struct PlannedFile
{
    int number = 0;                      // 0: a pair given on the command line
    std::string title;
    std::string input;
    std::vector<std::string> expected;   // alternatives: the output may match any
    std::vector<Way> ways;
    std::string notRun;                  // why the file does not apply, as RunTest says it
};

// The ways a pair of files given by hand can be run in, by name.
const std::vector<Way> &AllWays();
const Way *WayNamed(const std::string &name);

// Files 1 to 16 of `testdata`, those in `only` (all when empty). A file
// the library's build options rule out is planned with the reason, and
// file 3 needs `frenchLocale` (empty: none available).
std::vector<PlannedFile> PlanSuite(const std::string &testdata, const LibraryFeatures &features,
                                   const std::vector<int> &only, const std::string &frenchLocale);
