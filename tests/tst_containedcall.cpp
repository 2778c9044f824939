// Work run in a child process ends only the child, whatever it does, and
// Stop() leaves nothing running.

#include "ContainedCall.h"

#include <QTest>

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

using Ending = ContainedCall::Ending;
using namespace std::chrono_literals;

namespace {

// Recursion that the optimiser cannot turn into a loop.
int Recurse(volatile char *previous, long depth)
{
    volatile char frame[1024];
    frame[0] = previous ? previous[0] : 1;
    if (depth <= 0)
        return frame[0];
    return Recurse(frame, depth - 1) + frame[1023];
}

using Work = void (*)(void *);

void Answer(void *shared) { *static_cast<int *>(shared) = 42; }
void Segfault(void *) { std::raise(SIGSEGV); }
void Abort(void *) { std::abort(); }
void Exit3(void *) { std::_Exit(3); }
void OverflowStack(void *) { Recurse(nullptr, 1L << 40); }
// 200 MB of frames: more than a thread's default stack, within ours.
void RecurseDeep(void *shared) { *static_cast<int *>(shared) = Recurse(nullptr, 200 * 1024) ? 7 : 7; }

// Starts a process that would run for ever and gives its pid, then returns,
// crashes or exits as `ending` says.
template <Ending ending>
void StartProcessThenEnd(void *shared)
{
    const pid_t pid = fork();
    if (pid == 0) {
        for (;;)
            pause();
    }
    *static_cast<int *>(shared) = pid;
    if (ending == Ending::Crashed)
        std::raise(SIGSEGV);
    if (ending == Ending::Exited)
        std::_Exit(3);
}

// Neither gone nor a zombie.
bool IsAlive(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype state = line.lastIndexOf(')') + 2;
    return state < line.size() && line[state] != 'Z' && line[state] != 'X';
}

} // namespace

Q_DECLARE_METATYPE(Work)
Q_DECLARE_METATYPE(ContainedCall::Ending)

class tst_ContainedCall : public QObject
{
    Q_OBJECT
private slots:
    void endings_data()
    {
        QTest::addColumn<Work>("work");
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("answer");
        QTest::newRow("returns") << Work(Answer) << Ending::Returned << "returned" << 42;
        QTest::newRow("deep recursion") << Work(RecurseDeep) << Ending::Returned << "returned" << 7;
        QTest::newRow("segfault") << Work(Segfault) << Ending::Crashed << "crashed (SIGSEGV)" << 0;
        QTest::newRow("abort") << Work(Abort) << Ending::Crashed << "crashed (SIGABRT)" << 0;
        QTest::newRow("stack overflow") << Work(OverflowStack) << Ending::Crashed << "crashed (SIGSEGV)" << 0;
        QTest::newRow("exit") << Work(Exit3) << Ending::Exited << "ended the process with exit status 3" << 0;
    }

    void endings()
    {
        QFETCH(Work, work);
        ContainedCall call(sizeof(int));
        QVERIFY(call.Start(work));
        QVERIFY(call.Wait(60s));
        QTEST(call.Result().ending, "ending");
        QTEST(QString::fromStdString(call.Result().Describe()), "description");
        QTEST(*static_cast<int *>(call.Shared()), "answer");
    }

    // A process the work started ends with the call, however the call ended.
    void startedProcessesEndWithTheCall_data()
    {
        QTest::addColumn<Work>("work");
        QTest::newRow("returns") << Work(StartProcessThenEnd<Ending::Returned>);
        QTest::newRow("crashes") << Work(StartProcessThenEnd<Ending::Crashed>);
        QTest::newRow("exits") << Work(StartProcessThenEnd<Ending::Exited>);
    }
    void startedProcessesEndWithTheCall()
    {
        QFETCH(Work, work);
        ContainedCall call(sizeof(int));
        QVERIFY(call.Start(work));
        QVERIFY(call.Wait(60s));
        const pid_t started = *static_cast<int *>(call.Shared());
        QVERIFY(started > 0);
        QDeadlineTimer deadline(2s);
        while (IsAlive(started) && !deadline.hasExpired())
            QTest::qWait(10);
        const bool ended = !IsAlive(started);
        kill(started, SIGKILL);   // not to leave it running when the check fails
        QVERIFY(ended);
    }

    // A library may have set SIGCHLD to be ignored, which has the system
    // drop the statuses of children: a crash is still told as a crash.
    void crashToldWhileChildrenIgnored()
    {
        const auto previous = std::signal(SIGCHLD, SIG_IGN);
        ContainedCall call(sizeof(int));
        const bool started = call.Start(Segfault);
        const bool ended = started && call.Wait(60s);
        std::signal(SIGCHLD, previous);
        QVERIFY(ended);
        QCOMPARE(call.Result().ending, Ending::Crashed);
    }

    // Without its shared block a call neither starts nor claims the room
    // its owner would write the request into.
    void noSharedBlock()
    {
        ContainedCall call(std::size_t(1) << 62);
        QCOMPARE(call.Shared(), nullptr);
        QCOMPARE(call.SharedSize(), std::size_t(0));
        QVERIFY(!call.Start(Answer));
        QCOMPARE(call.Result().ending, Ending::Failed);
    }

    // A call that never returns is gone the moment it is stopped.
    void stopEndsTheWorkAtOnce()
    {
        ContainedCall call(sizeof(int));
        QVERIFY(call.Start([](void *) {
            for (volatile int spinning = 1; spinning;) {
            }
        }));
        QVERIFY(!call.Wait(50ms));
        QVERIFY(call.IsRunning());
        call.Stop();
        QVERIFY(!call.IsRunning());
        QCOMPARE(call.Result().ending, Ending::Stopped);
        QCOMPARE(QString::fromStdString(call.Result().Describe()), QStringLiteral("was stopped"));
    }
};

QTEST_GUILESS_MAIN(tst_ContainedCall)
#include "tst_containedcall.moc"
