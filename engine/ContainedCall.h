#pragma once
// Runs a piece of work in a child process, so that nothing the work does can
// end the calling process: a crash (SIGSEGV, SIGBUS), an abort(), a stack
// overflow or a call that never returns ends only the child.
//
// The child is made with fork() once the caller has everything ready, so it
// sees the caller's memory (compiled pattern, tables, library, subject) as a
// copy-on-write snapshot without copying any of it. It runs on a large stack
// of its own, reports back only through a block of shared memory, and leaves
// with _exit(), touching nothing else of the parent's state (no Qt, no
// buffered output, no exit handlers). Stop() kills it at once, so an
// abandoned search costs no CPU afterwards.
//
// One call at a time per object; an object can run several calls one after
// the other. Not for use from more than one thread at once.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

class ContainedCall
{
public:
    enum class Ending {
        NotStarted,
        Running,
        Returned,   // the work returned normally
        Crashed,    // killed by a signal it raised (SIGSEGV, SIGBUS, SIGABRT, ...)
        Exited,     // the work called exit() or _exit() itself
        Stopped,    // Stop()
        TimedOut,   // Stop(Ending::TimedOut)
        Failed,     // no child could be made (fork or mmap failed)
    };

    struct Outcome
    {
        Ending ending = Ending::NotStarted;
        int signal = 0;         // Crashed: the signal
        int exitStatus = 0;     // Exited: the status
        int error = 0;          // Failed: errno

        // "crashed (SIGSEGV)", "ended with exit status 3", "was stopped", ...
        std::string Describe() const;
    };

    // `sharedBytes` of zero-filled memory that both sides see.
    explicit ContainedCall(std::size_t sharedBytes);
    ~ContainedCall();               // stops a child still running
    ContainedCall(const ContainedCall &) = delete;
    ContainedCall &operator=(const ContainedCall &) = delete;

    void *Shared() const { return m_shared; }
    std::size_t SharedSize() const { return m_sharedSize; }

    // Starts `work(Shared())` in a child. False (and Result() says Failed)
    // when no child could be made; the previous call must have ended.
    bool Start(std::function<void(void *shared)> work);

    // Makes the child now and has it wait: Go() then runs the work without
    // the cost of a fork. The child sees memory as it is at Prepare(), the
    // shared block as it is at Go(), where the caller puts what changed.
    // `meanwhile` runs in the child before it waits for Go().
    bool Prepare(std::function<void(void *shared)> work, std::function<void()> meanwhile = {});
    bool IsPrepared() const { return m_go >= 0; }
    bool Go();
    // Ends a prepared child that will not be needed.
    void Discard();

    // Waits up to `timeout` for the child to end; true once it has ended
    // (also when nothing runs).
    bool Wait(std::chrono::milliseconds timeout);
    // Waits as long as it takes.
    void WaitForEnd();
    // A descriptor that becomes readable when the work returns or the child
    // ends, for event loops; -1 when nothing runs.
    int EndNotifier() const { return m_returned; }

    // Kills a running child and collects it; `reason` is Stopped or TimedOut.
    void Stop(Ending reason = Ending::Stopped);

    bool IsRunning() const { return m_pid > 0 && m_go < 0; }
    Outcome Result() const { return m_outcome; }

    // Runs `work` in a child and waits up to `limit` for it; a child still
    // running then is stopped (TimedOut). `shared` bytes are handed to the
    // work, and are the caller's to read after (when `sharedOut` is given).
    static Outcome Rehearse(const std::function<void(void *shared)> &work, std::chrono::milliseconds limit,
                            std::size_t shared = 0, std::string *sharedOut = nullptr);

    // The stack the work runs on, in bytes (most of it is never touched).
    static std::size_t StackSize();
    // How much of that stack the work may use: a margin is left for the
    // frames between the fork and the work, and for signal delivery.
    static std::size_t UsableStackSize();

private:
    bool Fork(std::function<void(void *shared)> work, bool prepared, std::function<void()> meanwhile = {});
    void Collect();
    void Forget(const Outcome &outcome);
    void KillAndReap();

    void *m_shared = nullptr;
    std::size_t m_sharedSize = 0;
    pid_t m_pid = -1;
    int m_returned = -1;            // the child writes a byte when the work returns
    int m_go = -1;                  // a prepared child runs the work on a byte here
    int m_pidfd = -1;
    Outcome m_outcome;

};
