#include "CEngineSearch.h"

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_running{0};
std::chrono::milliseconds g_grace{150};

struct SearchJob
{
    PcreExecFn exec = nullptr;
    const pcre *code = nullptr;
    const pcre_extra *extra = nullptr;
    QByteArray subject;             // shares the caller's bytes, read-only
    int startOffset = 0;
    int options = 0;
    std::vector<int> offsets;       // the call's own, so a stopped call writes nowhere else

    std::mutex mutex;
    std::condition_variable finishedSignal;
    bool finished = false;
    int result = 0;

    // Set when the user stops the call: what it must release on return.
    bool abandoned = false;
    pcre *ownedCode = nullptr;
    pcre_extra *ownedExtra = nullptr;
    PcreFreeSubstringFn engineFree = nullptr;
    SharedLibrary libraryReference;

    void ReleaseAbandoned()
    {
        if (engineFree) {
            engineFree(reinterpret_cast<const char *>(ownedExtra));
            engineFree(reinterpret_cast<const char *>(ownedCode));
        }
        libraryReference.close();
    }
};

void Work(std::shared_ptr<SearchJob> job)
{
    const int result = job->exec(job->code, job->extra, job->subject.constData(),
                                 static_cast<int>(job->subject.size()), job->startOffset, job->options,
                                 job->offsets.data(), static_cast<int>(job->offsets.size()));
    {
        std::lock_guard lock(job->mutex);
        job->result = result;
        job->finished = true;
        if (job->abandoned)
            job->ReleaseAbandoned();
    }
    job->finishedSignal.notify_all();
    --g_running;
}

bool WaitFinished(SearchJob &job, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(job.mutex);
    return job.finishedSignal.wait_for(lock, timeout, [&job] { return job.finished; });
}

// Shows the busy dialog until the call finishes or the user stops it.
void WaitWithBusyDialog(QWidget *owner, SearchJob &job)
{
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QProgressDialog dialog(QStringLiteral("Searching..."), QStringLiteral("Stop"), 0, 0, owner);
    dialog.setWindowTitle(QStringLiteral("Searching"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoReset(false);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&dialog, &job] {
        std::lock_guard lock(job.mutex);
        if (job.finished)
            dialog.accept();
    });
    poll.start(20);
    dialog.exec();
    QApplication::restoreOverrideCursor();
}

} // namespace

int CEngineSearch::Run(QWidget *owner, PcreCodePtr &code, PcreExtraPtr &extra, const QByteArray &subject,
                       int startOffset, int options, int *offsets, int offsetsSize)
{
    auto job = std::make_shared<SearchJob>();
    job->exec = PcreBinding.pcre_exec;
    job->code = code.get();
    job->extra = extra.get();
    job->subject = subject;
    job->startOffset = startOffset;
    job->options = options;
    job->offsets.assign(static_cast<size_t>(std::max(offsetsSize, 0)), -1);

    ++g_running;
    std::thread(Work, job).detach();
    if (!WaitFinished(*job, g_grace))
        WaitWithBusyDialog(owner, *job);

    std::lock_guard lock(job->mutex);
    if (!job->finished) {
        job->abandoned = true;
        job->engineFree = PcreBinding.pcre_free_substring;
        job->ownedCode = code.release();
        job->ownedExtra = extra.release();
        job->libraryReference = PcreBinding.library.retain();
        return kStopped;
    }
    if (!job->offsets.empty())
        std::memcpy(offsets, job->offsets.data(), job->offsets.size() * sizeof(int));
    return job->result;
}

int CEngineSearch::RunningCount()
{
    return g_running.load();
}

void CEngineSearch::SetGracePeriod(std::chrono::milliseconds grace)
{
    g_grace = grace;
}
