#pragma once
// Runs the cases of a file in child processes (ContainedCall), so that a
// library that crashes, aborts or never returns costs one case, not the run.
//
// One child runs the cases one after the other (a fork per case would cost
// more than the cases), writes each case's output into the shared block and
// counts it done. When it dies, the case it was in is reported as crashed,
// and a new child goes on with the next case; a case that does not finish
// within the time limit is stopped the same way.

#include "CaseRunner.h"

#include <chrono>
#include <functional>
#include <string>

struct CaseResult
{
    enum class Status {
        Ran,
        Skipped,      // `reason` says why
        Crashed,      // `reason`: how the child ended ("crashed (SIGSEGV)")
        TimedOut,
        NotRun,       // no child could be made: `reason`
    };
    Status status = Status::NotRun;
    std::string text;                 // Ran: the output
    std::string reason;
    int subjectLine = 0;              // Crashed, TimedOut: the subject line in progress; 0 for none
    std::chrono::nanoseconds engineTime{};
};

// Calls `onResult` with each case's index and result, in order, as soon as
// the result is known.
void RunCases(const TestScript &script, const RunEnvironment &environment, std::chrono::milliseconds timeLimit,
              const std::function<void(std::size_t, CaseResult &&)> &onResult);
