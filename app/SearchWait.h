#pragma once
// Waiting for a search without freezing the window: after a short grace
// period a busy dialog with a "Stop" button appears over the window (which
// keeps repainting); the search ending closes it, and "Stop" ends the
// search at once.

#include <chrono>

class PcreSearch;
class QWidget;

void WaitForSearch(QWidget *owner, PcreSearch &search);

// How long a search runs before the busy dialog shows (tests shorten it).
void SetSearchGracePeriod(std::chrono::milliseconds grace);

// A search still running after this long is stopped as if the user had
// pressed "Stop" (none by default; the fuzz target sets one).
void SetSearchTimeLimit(std::chrono::milliseconds limit);
