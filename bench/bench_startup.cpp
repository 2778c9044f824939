// Start-up time: process start to the tester window shown, next to an empty
// Qt dialog, each measured in fresh processes in the same run.
//
// usage: bench_startup [runs]    (QT_QPA_PLATFORM decides where windows go)

#include "CTesterDlg.h"

#include <QApplication>
#include <QDialog>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

long long NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void WaitUntilExposed(QWidget &window)
{
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 5);
    QApplication::processEvents();
}

// Child: show one window and print when it was on screen.
int ShowWindow(int argc, char **argv, const std::string &which)
{
    QApplication app(argc, argv);
    if (which == "tester") {
        CTesterDlg dlg;
        dlg.Create();
        WaitUntilExposed(dlg);
    } else {
        QDialog dlg;
        dlg.resize(640, 480);
        WaitUntilExposed(dlg);
    }
    std::printf("%lld\n", NowNs());
    return 0;
}

// Parent: start a child and return milliseconds from fork to its window.
double MeasureChild(const char *self, const char *which)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const long long start = NowNs();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        execl(self, self, which, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[64] = {};
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer - 1);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got <= 0)
        return -1;
    return (std::stoll(buffer) - start) / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && (std::string(argv[1]) == "tester" || std::string(argv[1]) == "empty"))
        return ShowWindow(argc, argv, argv[1]);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<double> tester, empty;
    for (int i = 0; i < runs; ++i) {
        empty.push_back(MeasureChild(argv[0], "empty"));
        tester.push_back(MeasureChild(argv[0], "tester"));
    }
    const double t = Median(tester), e = Median(empty);
    std::printf("process start to window shown (median of %d): tester window %.1f ms, empty Qt dialog %.1f ms,"
                " ratio %.2f\n", runs, t, e, t / e);
    return 0;
}
