#pragma once
// Runs pcre_exec on a worker thread, so that a search that takes long does
// not freeze the window: after a short grace period a busy dialog with a
// "Stop" button appears over the window (which keeps repainting), and
// stopping gives up on the call.
//
// The engine cannot be interrupted, so a stopped call runs on until it
// returns. It then owns what it needs: the compiled pattern and study data
// (given back through the engine when the call returns) and a reference to
// the library, which stays mapped until then even if the window unloads it.

#include "PcreBinding.h"

#include <QByteArray>

#include <chrono>
#include <climits>

class QWidget;

class CEngineSearch
{
public:
    // The result of a call the user stopped.
    static constexpr int kStopped = INT_MIN;

    // pcre_exec(code, extra, subject, start, options) into `offsets`. On
    // kStopped, `code` and `extra` are empty: the running call owns them.
    static int Run(QWidget *owner, PcreCodePtr &code, PcreExtraPtr &extra, const QByteArray &subject,
                   int startOffset, int options, int *offsets, int offsetsSize);

    // Calls still running, stopped ones included.
    static int RunningCount();

    static void SetGracePeriod(std::chrono::milliseconds grace);
};
