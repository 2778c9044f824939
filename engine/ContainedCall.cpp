#include "ContainedCall.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Deep recursion in the engine (one frame per repetition of a group, about a
// kilobyte each) is what usually ends a search: the child gets room for a
// quarter of a million such frames. Only the pages it touches cost memory.
constexpr std::size_t kStackSize = std::size_t(256) << 20;
constexpr std::size_t kStackMargin = std::size_t(4) << 20;

// After the caller's block, one page of our own: the child marks it when the
// work has returned, which tells a return from an exit() inside the work.
struct Trailer
{
    std::atomic<int> returned;
};

std::size_t PageSize()
{
    static const std::size_t size = std::size_t(sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t RoundUpToPages(std::size_t bytes)
{
    const std::size_t page = PageSize();
    return (bytes + page - 1) / page * page;
}

// The child starts as a copy of the forking thread: default signal actions,
// so a fault ends it at once instead of running the parent's handlers (a
// sanitizer's report, say); no core file for an expected crash; and it dies
// with the parent rather than run on unseen.
void PrepareChild(pid_t parent)
{
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    for (int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGPIPE, SIGTERM, SIGINT,
                       SIGHUP, SIGALRM}) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
}

// Forks on a thread of its own whose stack is large: the child runs on the
// stack of the thread that forked it, so it inherits the room. The thread
// blocks every signal, so process signals go to the program's own threads,
// and lives as long as the process (PR_SET_PDEATHSIG follows the thread).
class Launcher
{
public:
    static Launcher &Instance()
    {
        // Never destroyed: its thread waits on the condition variable to the
        // end, and destroying one that has a waiter blocks for good.
        static Launcher *launcher = new Launcher;
        return *launcher;
    }

    // The child's pid, or -1 with `error` set.
    pid_t Fork(const std::function<void(void *)> &work, void *shared, Trailer *trailer, int &error)
    {
        std::lock_guard serial(m_callerMutex);
        if (!m_started) {
            error = m_startError;
            return -1;
        }
        std::unique_lock lock(m_mutex);
        m_work = &work;
        m_shared = shared;
        m_trailer = trailer;
        m_done = false;
        m_requested = true;
        m_wake.notify_one();
        m_wake.wait(lock, [this] { return m_done; });
        error = m_error;
        return m_pid;
    }

private:
    Launcher()
    {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, kStackSize);
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        m_startError = pthread_create(&m_thread, &attributes, &Launcher::Run, this);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        pthread_attr_destroy(&attributes);
        m_started = m_startError == 0;
        if (m_started)
            pthread_detach(m_thread);
    }

    static void *Run(void *self)
    {
        static_cast<Launcher *>(self)->Serve();
        return nullptr;
    }

    [[noreturn]] void Serve()
    {
        const pid_t parent = getpid();
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_requested; });
            m_requested = false;
            const std::function<void(void *)> *work = m_work;
            void *shared = m_shared;
            Trailer *trailer = m_trailer;
            lock.unlock();

            const pid_t pid = fork();
            if (pid == 0) {
                PrepareChild(parent);
                (*work)(shared);
                trailer->returned.store(1);
                _exit(0);
            }
            const int error = errno;
            lock.lock();
            m_pid = pid;
            m_error = pid < 0 ? error : 0;
            m_done = true;
            m_wake.notify_all();
        }
    }

    std::mutex m_callerMutex;       // one request at a time
    std::mutex m_mutex;
    std::condition_variable m_wake;
    pthread_t m_thread{};
    bool m_started = false;
    int m_startError = 0;
    bool m_requested = false;
    bool m_done = false;
    const std::function<void(void *)> *m_work = nullptr;
    void *m_shared = nullptr;
    Trailer *m_trailer = nullptr;
    pid_t m_pid = -1;
    int m_error = 0;
};

std::string SignalName(int signal)
{
    const char *abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

} // namespace

std::string ContainedCall::Outcome::Describe() const
{
    switch (ending) {
    case Ending::NotStarted: return "was not started";
    case Ending::Running: return "is running";
    case Ending::Returned: return "returned";
    case Ending::Crashed: return "crashed (" + SignalName(signal) + ")";
    case Ending::Exited: return "ended the process with exit status " + std::to_string(exitStatus);
    case Ending::Stopped: return "was stopped";
    case Ending::TimedOut: return "ran past its time limit";
    case Ending::Failed: return std::string("could not be started (") + std::strerror(error) + ")";
    }
    return {};
}

ContainedCall::ContainedCall(std::size_t sharedBytes)
    : m_sharedSize(RoundUpToPages(sharedBytes ? sharedBytes : 1))
{
    void *block = mmap(nullptr, m_sharedSize + PageSize(), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                       -1, 0);
    if (block != MAP_FAILED)
        m_shared = block;
}

ContainedCall::~ContainedCall()
{
    Stop();
    if (m_shared)
        munmap(m_shared, m_sharedSize + PageSize());
}

std::size_t ContainedCall::StackSize()
{
    return kStackSize;
}

std::size_t ContainedCall::UsableStackSize()
{
    return kStackSize - kStackMargin;
}

bool ContainedCall::Start(std::function<void(void *shared)> work)
{
    if (IsRunning())
        return false;
    m_outcome = Outcome{};
    if (!m_shared) {
        m_outcome = Outcome{Ending::Failed, 0, 0, ENOMEM};
        return false;
    }
    auto *trailer = reinterpret_cast<Trailer *>(static_cast<char *>(m_shared) + m_sharedSize);
    trailer->returned.store(0);
    int error = 0;
    const pid_t pid = Launcher::Instance().Fork(work, m_shared, trailer, error);
    if (pid < 0) {
        m_outcome = Outcome{Ending::Failed, 0, 0, error};
        return false;
    }
    m_pid = pid;
    // glibc 2.36 declares pidfd_open() without C linkage; the system call
    // is the same. -1 on kernels without it: Wait() then polls.
    m_pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    m_outcome.ending = Ending::Running;
    return true;
}

bool ContainedCall::Wait(std::chrono::milliseconds timeout)
{
    if (!IsRunning())
        return true;
    if (m_pidfd >= 0) {
        pollfd watch{m_pidfd, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int ready = poll(&watch, 1, int(std::max<long long>(left.count(), 0)));
            if (ready > 0)
                return Collect(true);
            if (ready == 0 || errno != EINTR)
                return Collect(false);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Collect(false)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ContainedCall::WaitForEnd()
{
    if (IsRunning())
        Collect(true);
}

void ContainedCall::Stop(Ending reason)
{
    if (!IsRunning())
        return;
    kill(m_pid, SIGKILL);
    const bool endedByKill = Collect(true) && m_outcome.ending == Ending::Crashed && m_outcome.signal == SIGKILL;
    if (endedByKill)
        m_outcome = Outcome{reason, 0, 0, 0};
}

// Reaps the child if it has ended; true when it has.
bool ContainedCall::Collect(bool block)
{
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0)
        return false;
    Finish(reaped == m_pid ? status : -1);
    return true;
}

void ContainedCall::Finish(int status)
{
    const auto *trailer = reinterpret_cast<const Trailer *>(static_cast<char *>(m_shared) + m_sharedSize);
    if (status == -1)
        m_outcome = Outcome{Ending::Failed, 0, 0, ECHILD};
    else if (WIFSIGNALED(status))
        m_outcome = Outcome{Ending::Crashed, WTERMSIG(status), 0, 0};
    else if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && trailer->returned.load())
        m_outcome = Outcome{Ending::Returned, 0, 0, 0};
    else
        m_outcome = Outcome{Ending::Exited, 0, WIFEXITED(status) ? WEXITSTATUS(status) : status, 0};
    if (m_pidfd >= 0)
        close(m_pidfd);
    m_pidfd = -1;
    m_pid = -1;
}
