#include "ContainedCall.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

// Deep recursion in the engine (one frame per repetition of a group, about a
// kilobyte each) is what usually ends a search: the child gets room for a
// quarter of a million such frames. Only the pages it touches cost memory.
constexpr std::size_t kStackSize = std::size_t(256) << 20;
constexpr std::size_t kStackMargin = std::size_t(4) << 20;

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

// Closes every descriptor but the standard ones and `keep`: the child has
// no business with the parent's sockets and files, so nothing it runs can
// write to the display connection or to a file the parent has open.
void CloseAllBut(std::initializer_list<int> keep)
{
    std::vector<int> kept;
    for (int fd : keep) {
        if (fd > 2)
            kept.push_back(fd);
    }
    std::sort(kept.begin(), kept.end());
    unsigned first = 3;
    for (int fd : kept) {
        if (unsigned(fd) > first)
            close_range(first, unsigned(fd) - 1, 0);
        first = unsigned(fd) + 1;
    }
    close_range(first, ~0U, 0);
}

// The child starts as a copy of the forking thread: default signal actions,
// so a fault ends it at once instead of running the parent's handlers (a
// sanitizer's report, say); no core file for an expected crash; a process
// group of its own, so a stop ends whatever it started too; and it dies
// with the parent rather than run on unseen.
void PrepareChild(pid_t parent, int goFd, int returnedFd)
{
    setpgid(0, 0);
    // What the work prints goes nowhere: the parent's standard output may be
    // a report (the build checker's) that a library must not write into.
    const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere >= 0)
        dup2(nowhere, STDOUT_FILENO);
    CloseAllBut({goFd, returnedFd});
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
    // A library that calls exit() would run the exit handlers the child
    // inherited (the toolkit's, a sanitizer's leak check) on a copy of the
    // parent's state: the handler registered last runs first and leaves at
    // once with the status asked for.
    on_exit([](int status, void *) { _exit(status); }, nullptr);
}

// A prepared child waits for its go: a byte, or the end of the pipe when the
// parent discards it.
bool AwaitGo(int goFd)
{
    char go = 0;
    ssize_t got;
    do {
        got = read(goFd, &go, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
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

    // Collects a child that has been told to end, on the launcher's thread,
    // so no ended child stays behind as a zombie.
    void Reap(pid_t pid)
    {
        std::lock_guard lock(m_mutex);
        m_toReap.push_back(pid);
        m_wake.notify_all();
    }

    // The child's pid, or -1 with `error` set.
    pid_t Fork(const std::function<void(void *)> &work, const std::function<void()> &meanwhile, void *shared,
               int goFd, int returnedFd, int &error)
    {
        std::lock_guard serial(m_callerMutex);
        if (!m_started) {
            error = m_startError;
            return -1;
        }
        std::unique_lock lock(m_mutex);
        m_work = &work;
        m_meanwhile = &meanwhile;
        m_shared = shared;
        m_goFd = goFd;
        m_returnedFd = returnedFd;
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
            m_wake.wait(lock, [this] { return m_requested || !m_toReap.empty(); });
            if (!m_toReap.empty()) {
                const pid_t pid = m_toReap.front();
                m_toReap.pop_front();
                lock.unlock();
                while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
                continue;
            }
            m_requested = false;
            const std::function<void(void *)> *work = m_work;
            const std::function<void()> *meanwhile = m_meanwhile;
            void *shared = m_shared;
            const int goFd = m_goFd;
            const int returnedFd = m_returnedFd;
            lock.unlock();

            // A library that had the system drop its children's statuses
            // would leave every ending unknown.
            struct sigaction child {};
            if (sigaction(SIGCHLD, nullptr, &child) == 0 && child.sa_handler == SIG_IGN)
                signal(SIGCHLD, SIG_DFL);
            const pid_t pid = fork();
            if (pid == 0) {
                PrepareChild(parent, goFd, returnedFd);
                if (*meanwhile)
                    (*meanwhile)();
                if (goFd >= 0 && !AwaitGo(goFd))
                    _exit(0);
                (*work)(shared);
                // The caller reads the answer now; tearing down this copy
                // of the process costs as much as making it and need not
                // be waited for.
                const char returned = 1;
                (void)!write(returnedFd, &returned, 1);
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
    const std::function<void()> *m_meanwhile = nullptr;
    void *m_shared = nullptr;
    int m_goFd = -1;
    int m_returnedFd = -1;
    pid_t m_pid = -1;
    std::deque<pid_t> m_toReap;
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
    void *block = mmap(nullptr, m_sharedSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    // Without its block a call cannot start (Start() says so), and a
    // size of 0 has the owner make a new one next time.
    if (block != MAP_FAILED)
        m_shared = block;
    else
        m_sharedSize = 0;
}

ContainedCall::~ContainedCall()
{
    Discard();
    Stop();
    if (m_shared)
        munmap(m_shared, m_sharedSize);
}

ContainedCall::Outcome ContainedCall::Rehearse(const std::function<void(void *shared)> &work,
                                               std::chrono::milliseconds limit, std::size_t shared,
                                               std::string *sharedOut)
{
    ContainedCall call(shared);
    if (call.Start(work) && !call.Wait(limit))
        call.Stop(Ending::TimedOut);
    if (sharedOut)
        sharedOut->assign(static_cast<const char *>(call.Shared()), shared);
    return call.Result();
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
    Discard();
    if (!Fork(std::move(work), false))
        return false;
    m_outcome.ending = Ending::Running;
    return true;
}

bool ContainedCall::Prepare(std::function<void(void *shared)> work, std::function<void()> meanwhile)
{
    Discard();
    return Fork(std::move(work), true, std::move(meanwhile));
}

bool ContainedCall::Go()
{
    if (!IsPrepared())
        return false;
    const char go = 1;
    const bool sent = write(m_go, &go, 1) == 1;
    close(m_go);
    m_go = -1;
    m_outcome = Outcome{};
    m_outcome.ending = Ending::Running;
    if (!sent)
        Stop(Ending::Failed);
    return sent;
}

void ContainedCall::Discard()
{
    if (!IsPrepared())
        return;
    KillAndReap();
    Forget(Outcome{});
}

// Ends the child and whatever it started, and leaves collecting it to the
// launcher.
void ContainedCall::KillAndReap()
{
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);   // before the child has made its own group
    Launcher::Instance().Reap(m_pid);
}

bool ContainedCall::Fork(std::function<void(void *shared)> work, bool prepared, std::function<void()> meanwhile)
{
    if (IsRunning())
        return false;
    m_outcome = Outcome{};
    int returned[2] = {-1, -1};
    int go[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {returned[0], returned[1], go[0], go[1]}) {
            if (fd >= 0)
                close(fd);
        }
    };
    if (!m_shared || pipe2(returned, O_CLOEXEC) != 0 || (prepared && pipe2(go, O_CLOEXEC) != 0)) {
        m_outcome = Outcome{Ending::Failed, 0, 0, m_shared ? errno : ENOMEM};
        closeAll();
        return false;
    }
    int error = 0;
    const pid_t pid = Launcher::Instance().Fork(work, meanwhile, m_shared, go[0], returned[1], error);
    if (pid < 0) {
        closeAll();
        m_outcome = Outcome{Ending::Failed, 0, 0, error};
        return false;
    }
    close(returned[1]);
    if (prepared)
        close(go[0]);
    m_pid = pid;
    m_returned = returned[0];
    m_go = go[1];
    // glibc 2.36 declares pidfd_open() without C linkage; the system call
    // is the same. Only a safety net: the pipe ends with the child too.
    m_pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    return true;
}

bool ContainedCall::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (IsRunning()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch[2] = {{m_returned, POLLIN, 0}, {m_pidfd, POLLIN, 0}};
        const int ready = poll(watch, m_pidfd >= 0 ? 2 : 1, int(std::max<long long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        if (watch[0].revents) {
            char returned = 0;
            if (read(m_returned, &returned, 1) == 1) {
                // The answer is in the shared block; the child is leaving.
                KillAndReap();
                Forget(Outcome{Ending::Returned, 0, 0, 0});
                return true;
            }
        }
        Collect();   // ended without returning
    }
    return true;
}

void ContainedCall::WaitForEnd()
{
    while (!Wait(std::chrono::hours(1))) {
    }
}

void ContainedCall::Stop(Ending reason)
{
    if (!IsRunning())
        return;
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
    Collect();
    if (m_outcome.ending == Ending::Crashed && m_outcome.signal == SIGKILL)
        m_outcome = Outcome{reason, 0, 0, 0};
}

// Collects the child, which has ended or is about to.
void ContainedCall::Collect()
{
    // Whatever the child started ends with it, also when it crashed.
    kill(-m_pid, SIGKILL);
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(m_pid, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    if (reaped != m_pid)
        return Forget(Outcome{Ending::Failed, 0, 0, ECHILD});
    if (WIFSIGNALED(status))
        return Forget(Outcome{Ending::Crashed, WTERMSIG(status), 0, 0});
    Forget(Outcome{Ending::Exited, 0, WIFEXITED(status) ? WEXITSTATUS(status) : status, 0});
}

void ContainedCall::Forget(const Outcome &outcome)
{
    m_outcome = outcome;
    for (int *fd : {&m_returned, &m_pidfd, &m_go}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    m_pid = -1;
}
