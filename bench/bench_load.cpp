// Loading a file into the input field until the field has painted it,
// against one plain read() of the same file into memory, measured in one
// run; then selecting the last byte, the processor time the window takes in
// the seconds after, and the peak memory of the load and of an Exec on the
// loaded text. Every load runs in a fresh child process (this program
// started again with kChildFlag), so the peak memory of one load is not
// mixed with another's.
//
// usage: bench_load [size in MB ...]   (default 1 10 50 200)
// Exits with 2 when a size misses the goal.

#include "BenchInputs.h"
#include "Painted.h"

#include "CRichEditCtrl.h"
#include "LargePages.h"
#include "CTesterDlg.h"
#include "resource.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr char kChildFlag[] = "--load-in-child";
constexpr int kRuns = 3;
// The goals: load and first paint within 3 plain reads or 30 ms, whichever
// is larger; peak memory within twice the file.
constexpr double kMaxTimeRatio = 3.0;
constexpr double kMinTimeLimitMs = 30.0;
constexpr double kMaxPeakRatio = 2.0;

constexpr int kAfterLoadMs = 2000;

struct LoadFigures
{
    double loadMs = 0;      // LoadInputFromFile until the field has painted
    double lastByteMs = 0;  // selecting the last byte, which scrolls there, until painted
    double afterCpuMs = 0;  // processor time in the kAfterLoadMs after that: the editor's idle work
    qint64 loadPeak = 0;    // growth of the resident set at its peak while loading
    qint64 execPeak = 0;    // the same with an Exec on the loaded text
};

// One read() into fresh memory, as a program that only wants the bytes
// would do it. Mapped afresh each time: memory the allocator hands out again
// would already be paged in.
double PlainReadMs(const QByteArray &path)
{
    const qint64 size = QFileInfo(QFile::decodeName(path)).size();
    void *buffer = MAP_FAILED;
    const double ms = TimeMs([&] {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        buffer = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        qint64 done = 0;
        while (fd >= 0 && buffer != MAP_FAILED && done < size) {
            const ssize_t got = ::read(fd, static_cast<char *>(buffer) + done, size_t(size - done));
            if (got <= 0)
                break;
            done += got;
        }
        ::close(fd);
    });
    if (buffer != MAP_FAILED)
        ::munmap(buffer, size_t(size));
    return ms;
}

// Sets the peak resident set back to the current one; false where the
// kernel does not offer that.
bool ResetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// In the child: one load into a shown, offscreen tester window; prints the
// figures on one line.
int RunChild(int argc, char **argv, const QString &path)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CTesterDlg dlg;
    dlg.Create();
    dlg.show();
    QCoreApplication::processEvents();

    const bool reset = ResetPeakRss();
    const qint64 before = reset ? CurrentRss() : PeakRss();
    LoadFigures figures;
    auto *input = qobject_cast<CRichEditCtrl *>(dlg.GetDlgItem(IDC_INPUT));
    PaintProbe probe(input->viewport());
    figures.loadMs = probe.Ms([&] { dlg.LoadInputFromFile(path); });
    figures.lastByteMs = probe.Ms([input] { input->SetSel(input->GetTextLength() - 1, -1); });
    figures.loadPeak = PeakRss() - before;
    const double cpu = CpuMs();
    QEventLoop after;
    QTimer::singleShot(kAfterLoadMs, &after, &QEventLoop::quit);
    after.exec();
    figures.afterCpuMs = CpuMs() - cpu;
    // The markers of every shape near the end.
    qobject_cast<CRichEditCtrl *>(dlg.GetDlgItem(IDC_PATTERN))->SetTextBytes("NEEDLE43|(?:\xD0\x96){3}43");
    dlg.OnExec();
    figures.execPeak = PeakRss() - before;
    std::printf("%f %f %f %lld %lld\n", figures.loadMs, figures.lastByteMs, figures.afterCpuMs,
                static_cast<long long>(figures.loadPeak), static_cast<long long>(figures.execPeak));
    return 0;
}

bool LoadInChild(const char *self, const QByteArray &path, LoadFigures &figures)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    char *args[] = {const_cast<char *>(self), const_cast<char *>(kChildFlag), const_cast<char *>(path.constData()),
                    nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    QByteArray output;
    char chunk[256];
    for (ssize_t got; spawned == 0 && (got = ::read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
        output.append(chunk, got);
    ::close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    long long loadPeak = 0, execPeak = 0;
    if (std::sscanf(output.constData(), "%lf %lf %lf %lld %lld", &figures.loadMs, &figures.lastByteMs,
                    &figures.afterCpuMs, &loadPeak, &execPeak) != 5)
        return false;
    figures.loadPeak = loadPeak;
    figures.execPeak = execPeak;
    return true;
}

// Best time and highest peak of kRuns loads, each in its own process.
bool MeasureLoads(const char *self, const QByteArray &path, int runs, LoadFigures &best)
{
    for (int run = 0; run < runs; ++run) {
        LoadFigures figures;
        if (!LoadInChild(self, path, figures))
            return false;
        best.loadMs = run == 0 ? figures.loadMs : std::min(best.loadMs, figures.loadMs);
        best.lastByteMs = run == 0 ? figures.lastByteMs : std::min(best.lastByteMs, figures.lastByteMs);
        best.afterCpuMs = run == 0 ? figures.afterCpuMs : std::min(best.afterCpuMs, figures.afterCpuMs);
        best.loadPeak = std::max(best.loadPeak, figures.loadPeak);
        best.execPeak = std::max(best.execPeak, figures.execPeak);
    }
    return true;
}



// Loads, paints and scrolls one file per size of one shape; false when a
// size misses the goal.
bool MeasureShape(const char *self, const QTemporaryDir &dir, InputShape shape, const std::vector<int> &sizesMb)
{
    bool allMet = true;
    for (int sizeMb : sizesMb) {
        const qint64 size = qint64(sizeMb) << 20;
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("input-%1MB").arg(sizeMb)));
        {
            QFile file(QFile::decodeName(path));
            if (!file.open(QIODevice::WriteOnly) || file.write(MakeInput(shape, size)) != size) {
                std::fprintf(stderr, "bench_load: cannot write %s\n", path.constData());
                return false;
            }
        }
        double readMs = PlainReadMs(path);
        for (int run = 1; run < kRuns; ++run)
            readMs = std::min(readMs, PlainReadMs(path));
        LoadFigures load;
        if (!MeasureLoads(self, path, kRuns, load)) {
            std::fprintf(stderr, "bench_load: the loading process failed for %d MB\n", sizeMb);
            return false;
        }
        const double ratio = load.loadMs / readMs;
        const double limitMs = std::max(kMaxTimeRatio * readMs, kMinTimeLimitMs);
        const double loadPeak = double(load.loadPeak) / double(size);
        const double execPeak = double(load.execPeak) / double(size);
        const bool met = load.loadMs <= limitMs && std::max(loadPeak, execPeak) <= kMaxPeakRatio
                         && load.lastByteMs <= 1000;
        allMet = allMet && met;
        std::printf("%-12s %5d %9.1f %9.1f %9.1f %6.2f %11.1f %11.1f %10.2f %10.2f  %s\n", qPrintable(ShapeName(shape)),
                    sizeMb, readMs, load.loadMs, limitMs, ratio, load.lastByteMs, load.afterCpuMs, loadPeak, execPeak,
                    met ? "ok" : "OVER");
        std::fflush(stdout);
        QFile::remove(QFile::decodeName(path));
    }
    return allMet;
}

} // namespace

int main(int argc, char **argv)
{
    // As the program runs.
    RestartWithLargePagesForLargeBuffers(argv);
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0)
        return RunChild(argc, argv, QFile::decodeName(argv[2]));

    std::vector<int> sizesMb;
    for (int i = 1; i < argc; ++i)
        sizesMb.push_back(std::atoi(argv[i]));
    if (sizesMb.empty())
        sizesMb = {1, 10, 50, 200};

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "bench_load: no temporary folder\n");
        return 1;
    }
    std::printf("Loading a file into the input field (best of %d, each in a fresh process)\n", kRuns);
    std::printf("goal: load until painted <= %.0fx one read() or %.0f ms, whichever is larger; peak memory growth"
                " <= %.0fx the file size, loading and with an Exec; selecting the last byte until painted <= 1 s;"
                " no processor time while idle (\"CPU after\": in the %d s after the load)\n\n",
                kMaxTimeRatio, kMinTimeLimitMs, kMaxPeakRatio, kAfterLoadMs / 1000);
    std::printf("%-12s %5s %9s %9s %9s %6s %11s %11s %10s %10s  %s\n", "shape", "MB", "read ms", "load ms", "limit ms",
                "ratio", "last byte", "CPU after", "peak load", "peak Exec", "verdict");
    bool allMet = true;
    for (InputShape shape : {InputShape::Lines, InputShape::MultiByte, InputShape::RandomBytes, InputShape::OneLine}) {
        std::vector<int> sizes = sizesMb;
        allMet = MeasureShape(argv[0], dir, shape, sizes) && allMet;
    }
    return allMet ? 0 : 2;
}
