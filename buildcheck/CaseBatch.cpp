#include "CaseBatch.h"

#include "ContainedCall.h"
#include "Modifiers.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

// Room for every case of the largest test file many times over; only the
// pages written cost memory. A child that fills it stops between two cases
// and the next one goes on.
constexpr std::size_t kSharedSize = std::size_t(32) << 20;
constexpr auto kPollInterval = std::chrono::milliseconds(20);

struct BatchHeader
{
    std::atomic<std::uint32_t> done;        // records written
    std::atomic<std::uint32_t> current;     // index of the case running
    std::atomic<int> subjectLine;           // its subject line, 0 before the first
    std::atomic<int> full;                  // stopped for want of room
};

struct RecordHeader
{
    std::uint32_t skipped;
    std::uint32_t length;
    std::int64_t engineNanoseconds;
};

class SharedLog
{
public:
    explicit SharedLog(void *block)
        : m_header(static_cast<BatchHeader *>(block)),
          m_records(static_cast<char *>(block) + sizeof(BatchHeader))
    {
    }

    BatchHeader &header() { return *m_header; }
    static constexpr std::size_t capacity() { return kSharedSize - sizeof(BatchHeader); }

    void reset(std::uint32_t first)
    {
        m_header->done.store(0);
        m_header->current.store(first);
        m_header->subjectLine.store(0);
        m_header->full.store(0);
        m_used = 0;
    }

    // Child side: false when the record does not fit behind the others.
    bool append(const CaseOutput &output, std::chrono::nanoseconds engine)
    {
        const bool skipped = !output.skipReason.empty();
        std::string_view text = skipped ? output.skipReason : output.text;
        const std::size_t room = capacity() - sizeof(RecordHeader);
        if (m_used + sizeof(RecordHeader) + text.size() > capacity()) {
            if (m_used > 0)
                return false;
            text = text.substr(0, room);    // alone and still too large: cut
        }
        const RecordHeader record{skipped, std::uint32_t(text.size()), engine.count()};
        std::memcpy(m_records + m_used, &record, sizeof record);
        std::memcpy(m_records + m_used + sizeof record, text.data(), text.size());
        m_used += sizeof record + text.size();
        m_header->done.fetch_add(1, std::memory_order_release);
        return true;
    }

    // Parent side: the next record the child has finished; nothing when the
    // block does not hold one that makes sense (the library ran in the
    // child and may have written anywhere).
    std::optional<CaseResult> take()
    {
        if (capacity() - m_used < sizeof(RecordHeader))
            return std::nullopt;
        RecordHeader record;
        std::memcpy(&record, m_records + m_used, sizeof record);
        if (record.skipped > 1 || record.length > capacity() - m_used - sizeof record)
            return std::nullopt;
        CaseResult result;
        result.status = record.skipped ? CaseResult::Status::Skipped : CaseResult::Status::Ran;
        std::string text(m_records + m_used + sizeof record, record.length);
        (record.skipped ? result.reason : result.text) = std::move(text);
        result.engineTime = std::chrono::nanoseconds(record.engineNanoseconds);
        m_used += sizeof record + record.length;
        return result;
    }

private:
    BatchHeader *m_header;
    char *m_records;
    std::size_t m_used = 0;
};

// What a child needs to start at a later case: the one thing the test
// program carries over that a crash would lose, whether S++ was seen.
FileState stateBefore(const TestScript &script, std::size_t first, const RunEnvironment &environment)
{
    FileState state;
    const auto anyLocale = [](const std::string &) { return true; };
    for (std::size_t i = 0; i < first; ++i) {
        const TestCase &testCase = script.cases[i];
        state.verifyJit = state.verifyJit
            || ParseModifiers(testCase.modifiers, testCase.lockout, environment.way.forceStudyOptions, anyLocale)
                   .verifyJit;
    }
    return state;
}

void runInChild(const TestScript &script, const RunEnvironment &environment, std::size_t first, SharedLog &log)
{
    FileState state = stateBefore(script, first, environment);
    BatchHeader &header = log.header();
    for (std::size_t i = first; i < script.cases.size(); ++i) {
        header.current.store(std::uint32_t(i), std::memory_order_relaxed);
        header.subjectLine.store(0, std::memory_order_relaxed);
        EngineClock clock;
        const CaseOutput output = RunCase(script.cases[i], environment, state, clock, &header.subjectLine);
        if (!log.append(output, clock.inside())) {
            header.full.store(1);
            return;
        }
    }
}

CaseResult lostCase(CaseResult::Status status, std::string reason, int subjectLine)
{
    CaseResult result;
    result.status = status;
    result.reason = std::move(reason);
    result.subjectLine = subjectLine;
    return result;
}

// A library that stops answering makes every case wait out the time limit:
// after this many in a row, anywhere in the run, the cases left are reported
// as not run instead of waited for (a hung build would otherwise take hours).
constexpr int kTimeOutsInARowToGiveUp = 3;
int g_timeOutsInARow = 0;

class BatchRunner
{
public:
    BatchRunner(const TestScript &script, const RunEnvironment &environment, std::chrono::milliseconds timeLimit,
                const std::function<void(std::size_t, CaseResult &&)> &onResult)
        : m_script(script), m_environment(environment), m_timeLimit(timeLimit), m_onResult(onResult),
          m_call(kSharedSize)
    {
    }

    void run()
    {
        while (m_next < m_script.cases.size()) {
            if (g_timeOutsInARow >= kTimeOutsInARowToGiveUp)
                return giveUp(CaseResult::Status::NotRun, "not run: the library stopped answering ("
                                                          + std::to_string(kTimeOutsInARowToGiveUp)
                                                          + " cases in a row ran past the time limit)");
            SharedLog log(m_call.Shared());
            if (!startChild(log))
                return giveUp(CaseResult::Status::NotRun, "no child process for the cases: " + m_call.Result().Describe());
            follow(log);
            if (!afterChild(log))
                return;
        }
    }

private:
    bool startChild(SharedLog &log)
    {
        if (!m_call.Shared())
            return false;
        const std::size_t first = m_next;
        log.reset(std::uint32_t(first));
        return m_call.Start([&](void *) { runInChild(m_script, m_environment, first, log); });
    }

    // Hands on each result as the child finishes it; stops the child when
    // a case makes no progress within the time limit.
    void follow(SharedLog &log)
    {
        std::uint32_t taken = 0;
        const std::size_t left = m_script.cases.size() - m_next;
        auto lastProgress = std::chrono::steady_clock::now();
        m_garbled = false;
        for (bool ended = false; !ended;) {
            ended = m_call.Wait(std::min(kPollInterval, m_timeLimit));
            const std::uint32_t done = log.header().done.load(std::memory_order_acquire);
            const auto now = std::chrono::steady_clock::now();
            if (done > left) {
                m_garbled = true;
            } else if (taken < done) {
                lastProgress = now;
            } else if (!ended && now - lastProgress >= m_timeLimit) {
                m_call.Stop(ContainedCall::Ending::TimedOut);
            }
            for (; taken < done && !m_garbled; ++taken) {
                std::optional<CaseResult> result = log.take();
                if (!result) {
                    m_garbled = true;
                    break;
                }
                g_timeOutsInARow = 0;
                m_onResult(m_next++, std::move(*result));
            }
            if (m_garbled) {
                m_call.Stop();
                return;
            }
        }
    }

    // False when there is nothing more to run.
    bool afterChild(SharedLog &log)
    {
        if (m_garbled) {
            m_onResult(m_next++, lostCase(CaseResult::Status::Crashed,
                                          "wrote over the checker's record of the results", 0));
            return true;
        }
        const ContainedCall::Outcome outcome = m_call.Result();
        if (outcome.ending == ContainedCall::Ending::Returned) {
            if (!log.header().full.load() && m_next < m_script.cases.size())
                giveUp(CaseResult::Status::NotRun, "the child stopped before this case");
            return log.header().full.load();
        }
        const auto status = outcome.ending == ContainedCall::Ending::TimedOut ? CaseResult::Status::TimedOut
                                                                            : CaseResult::Status::Crashed;
        g_timeOutsInARow = status == CaseResult::Status::TimedOut ? g_timeOutsInARow + 1 : 0;
        if (m_next < m_script.cases.size())
            m_onResult(m_next, lostCase(status, outcome.Describe(), log.header().subjectLine.load()));
        ++m_next;
        return true;
    }

    void giveUp(CaseResult::Status status, const std::string &reason)
    {
        for (; m_next < m_script.cases.size(); ++m_next)
            m_onResult(m_next, lostCase(status, reason, 0));
    }

    const TestScript &m_script;
    const RunEnvironment &m_environment;
    std::chrono::milliseconds m_timeLimit;
    const std::function<void(std::size_t, CaseResult &&)> &m_onResult;
    ContainedCall m_call;
    std::size_t m_next = 0;
    bool m_garbled = false;         // the child's records made no sense
};

} // namespace

void RunCases(const TestScript &script, const RunEnvironment &environment, std::chrono::milliseconds timeLimit,
              const std::function<void(std::size_t, CaseResult &&)> &onResult)
{
    BatchRunner(script, environment, timeLimit, onResult).run();
}
