#pragma once
// Runs one test case through the loaded engine (compile, study, exec,
// fullinfo) and writes what PCRE's own test program would write for it:
// the echoed input lines interleaved with the results.

#include "TestScript.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct RunSettings
{
    bool studyAll = false;                          // study every pattern not marked SS
    std::map<std::string, std::string> localeNames; // name in a file -> name to set
};

// Time spent inside the engine's entry points.
class EngineClock
{
public:
    template <typename Call>
    auto measure(Call &&call)
    {
        const auto start = std::chrono::steady_clock::now();
        auto result = call();
        m_inside += std::chrono::steady_clock::now() - start;
        ++m_calls;
        return result;
    }

    std::chrono::steady_clock::duration inside() const { return m_inside; }
    long calls() const { return m_calls; }

private:
    std::chrono::steady_clock::duration m_inside{};
    long m_calls = 0;
};

struct CaseOutput
{
    std::vector<std::string> lines;    // echo and results
    std::string skipReason;            // set: the case was not run, `lines` is empty
    int subjectsRun = 0;
};

// Needs a loaded library (PcreLoad).
CaseOutput RunCase(const TestCase &testCase, const RunSettings &settings, EngineClock &clock);
