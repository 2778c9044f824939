#include "SearchWait.h"

#include "PcreSearch.h"

#include <QApplication>
#include <QProgressDialog>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

std::chrono::milliseconds g_grace{150};
std::chrono::milliseconds g_limit = std::chrono::milliseconds::max();

} // namespace

void SetSearchGracePeriod(std::chrono::milliseconds grace)
{
    g_grace = grace;
}

void SetSearchTimeLimit(std::chrono::milliseconds limit)
{
    g_limit = limit;
}

void WaitForSearch(QWidget *owner, PcreSearch &search)
{
    ContainedCall &call = search.Call();
    if (call.Wait(std::min(g_grace, g_limit)))
        return;
    if (g_limit <= g_grace) {
        search.Stop();
        return;
    }

    QApplication::setOverrideCursor(Qt::BusyCursor);
    QProgressDialog dialog(QStringLiteral("Searching..."), QStringLiteral("Stop"), 0, 0, owner);
    dialog.setWindowTitle(QStringLiteral("Searching"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoReset(false);
    // The search's end wakes the event loop; nothing polls meanwhile. The
    // notifier goes quiet before the call is collected, which closes the
    // descriptor it watches.
    std::unique_ptr<QSocketNotifier> ended;
    QTimer poll;
    auto closeWhenEnded = [&dialog, &call, &ended] {
        if (ended)
            ended->setEnabled(false);
        if (call.Wait(std::chrono::milliseconds(0)))
            dialog.accept();
        else if (ended)
            ended->setEnabled(true);
    };
    if (call.EndNotifier() >= 0) {
        ended = std::make_unique<QSocketNotifier>(call.EndNotifier(), QSocketNotifier::Read);
        QObject::connect(ended.get(), &QSocketNotifier::activated, &dialog, closeWhenEnded);
    } else {
        QObject::connect(&poll, &QTimer::timeout, &dialog, closeWhenEnded);
        poll.start(20);
    }
    if (g_limit != std::chrono::milliseconds::max())
        QTimer::singleShot(g_limit - g_grace, &dialog, &QProgressDialog::cancel);
    dialog.exec();
    ended.reset();
    if (call.IsRunning())
        search.Stop();
    QApplication::restoreOverrideCursor();
}
