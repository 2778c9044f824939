#pragma once
// Runs one test case through a library (compile, study, match, and the
// information and substring calls the case asks for) and writes what
// PCRE's own test program writes for it: the echoed input lines
// interleaved with the results.
//
// Cases change the process (the locale, the library's callout and stack
// guard hooks, files of saved patterns): they run in a child process
// (CaseBatch), never in the checker itself.

#include "LibraryFeatures.h"
#include "TestScript.h"

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <vector>

// How the test program is told to run a whole file: its -s, -s+ and -dfa.
struct Way
{
    const char *name;
    int forceStudy;           // -1: no, 0: study (-s), 1: study with the JIT (-s+)
    int forceStudyOptions;    // study options -s+ adds
    bool dfa;                 // every match with pcre_dfa_exec()
};

struct RunEnvironment
{
    const PcreLibrary *library = nullptr;
    OptionalEntryPoints optional;
    LibraryFeatures features;
    Way way{"plain", -1, 0, false};
    std::map<std::string, std::string> locales;   // name in a file -> locale to set
    std::string testdata;                         // the folder of the test files
};

// What the test program carries from one pattern of a file to the next.
struct FileState
{
    bool verifyJit = false;          // once S++ was seen
    std::vector<int> offsets;        // grows with \O, never shrinks
    std::vector<int> dfaWorkspace;
    std::map<std::string, std::string> savedPatterns;   // ">file": name -> contents
};

// The skip reason of the one feature no library exports the means for:
// the compiled-code dump needs the test program's own printer of the
// library's internal code.
inline constexpr const char *kCompiledCodeDump = "compiled-code dump (/B, /D, <!): the library exports no code printer";

struct CaseOutput
{
    std::string text;                // empty when skipped
    std::string skipReason;
};

// Time spent inside the library's entry points.
class EngineClock
{
public:
    template <typename Call>
    auto measure(Call &&call)
    {
        const auto start = std::chrono::steady_clock::now();
        auto result = call();
        m_inside += std::chrono::steady_clock::now() - start;
        return result;
    }
    std::chrono::steady_clock::duration inside() const { return m_inside; }

private:
    std::chrono::steady_clock::duration m_inside{};
};

// `subjectLine` receives the input line of each subject as it starts, so
// that a crash can be placed.
CaseOutput RunCase(const TestCase &testCase, const RunEnvironment &environment, FileState &state,
                   EngineClock &clock, std::atomic<int> *subjectLine);
