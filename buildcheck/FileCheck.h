#pragma once
// Checking one test file, one way, against its expected output: each case's
// verdict as soon as its result comes in, failures printed (and flushed) at
// once; and, with a second library, the cases whose output differs between
// the two.

#include "CaseBatch.h"
#include "Comparison.h"
#include "Suite.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct CaseVerdict
{
    enum class Kind { Passed, Failed, Skipped };
    Kind kind = Kind::Passed;
    int line = 0;                       // of the pattern in the input file
    std::string pattern;                // its first line
    std::string message;                // Failed: what went wrong; Skipped: why
    std::vector<std::string> diff;
    std::chrono::nanoseconds engineTime{};
    // --against: how this case's output differs from the other library's.
    std::string differs;
    std::vector<std::string> otherDiff;

    bool failing() const { return kind == Kind::Failed || !differs.empty(); }
};

struct WayReport
{
    const PlannedFile *file = nullptr;
    std::string way;
    std::vector<CaseVerdict> cases;
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    int differences = 0;                // between the two libraries
    std::chrono::nanoseconds engineTime{};
    std::chrono::duration<double> time{};
};

// A test file and its expected outputs, read and lined up.
struct LoadedFile
{
    TestScript script;
    std::vector<std::vector<std::string>> expected;   // lines, per alternative
    std::vector<ExpectedLayout> layouts;
    std::string error;                                // a file could not be read
};
LoadedFile LoadFile(const PlannedFile &file);

// Writes failures as they come, up to a number of diff lines.
class FailurePrinter
{
public:
    explicit FailurePrinter(std::size_t maxDiffLines) : m_left(maxDiffLines ? maxDiffLines : SIZE_MAX) {}
    void print(const std::string &headline, const std::vector<std::string> &diff);
    std::size_t linesHeldBack() const { return m_heldBack; }

private:
    std::size_t m_left;
    std::size_t m_heldBack = 0;
};

// One way through the file; `outputs` (when given) receives each case's
// result for a comparison with another library.
WayReport CheckWay(const PlannedFile &file, const LoadedFile &loaded, const RunEnvironment &environment,
                   std::chrono::milliseconds timeLimit, FailurePrinter &printer, std::vector<CaseResult> *outputs);

// The same way with `other`: prints every case whose output differs from
// `outputs`, whatever the expected file says, and counts them in `report`.
void CompareWithOther(const PlannedFile &file, const LoadedFile &loaded, const RunEnvironment &other,
                      std::chrono::milliseconds timeLimit, const std::vector<CaseResult> &outputs,
                      const std::string &names, FailurePrinter &printer, WayReport &report);

std::vector<std::string> LinesOf(std::string_view text);
