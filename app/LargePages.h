#pragma once
// Large buffers in large pages. Every search runs in a forked child, and
// fork() copies one page-table entry for each page the process holds: with
// a 200 MB input and the editor's copy of it in 4 KB pages that is 100,000
// entries and tens of milliseconds a search; in 2 MB pages, a few hundred
// and well under a millisecond. Loading a file takes fewer page faults too.
//
// glibc puts its large allocations in transparent huge pages when its
// malloc is told so at start, through the GLIBC_TUNABLES variable: this
// starts the program again with it set, once, before anything else runs.

// Returns only when the program already runs with the setting (or cannot
// be restarted, in which case it runs on without it).
void RestartWithLargePagesForLargeBuffers(char **argv);
