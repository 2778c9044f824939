#pragma once
// Lining up an expected output file with the cases of its input file, and a
// unified diff of the lines that differ.

#include "TestScript.h"

#include <cstddef>
#include <string>
#include <vector>

// Lines [begin, end) of the expected file.
struct LineSpan
{
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct ExpectedLayout
{
    LineSpan leading;                 // before the first case
    std::vector<LineSpan> cases;      // one per case of the script
};

// Each case's part of the expected file (lines without their line ends)
// starts at the echo of its first pattern line and runs to the start of the
// next case; the last case's runs to the end of the file, so nothing is
// left over unseen. A case whose echo is missing gets an empty part at the
// end.
ExpectedLayout LocateCases(const TestScript &script, const std::vector<std::string> &expected);

// For a case that was not run: empty when `part` could be its output (the
// echo of its pattern, result lines, and the blank and directive lines that
// follow it in the input); otherwise why not. A part that runs on into
// further cases has blank lines inside it: that is how an input file cut
// short is caught even where its last case is not run.
std::string CheckUnrunPart(const TestCase &testCase, const std::vector<std::string> &part);

// Unified diff hunks ("@@ -a,b +c,d @@ label" and ' ', '-', '+' lines) that
// turn `expected` into `actual`; the two start at the given 1-based line
// numbers of their files. Empty when the two are equal.
std::vector<std::string> UnifiedDiff(const std::vector<std::string> &expected, std::size_t expectedFirstLine,
                                     const std::vector<std::string> &actual, std::size_t actualFirstLine,
                                     const std::string &label, std::size_t context = 3);
