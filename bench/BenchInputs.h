#pragma once
// Inputs of a given size and shape for the benchmarks, each with a marker
// that a pattern can find near the start and near the end.

#include <QByteArray>
#include <QString>

#include <chrono>

enum class InputShape { Lines, OneLine, MultiByte, RandomBytes };

QString ShapeName(InputShape shape);

// `size` bytes of the shape with a marker ending in "42" about 1000 bytes
// in, and one ending in "43" about 1 KiB before the end.
QByteArray MakeInput(InputShape shape, qsizetype size);

QByteArray MarkerFor(InputShape shape, bool nearEnd);
// Finds either marker.
QByteArray MarkerPatternFor(InputShape shape);

// Wall time of one call, in milliseconds.
template <class F>
double TimeMs(F &&call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Best of `runs` calls.
template <class F>
double BestMs(int runs, F &&call)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, TimeMs(call));
    return best;
}

// Peak resident set of the process so far, in bytes (VmHWM).
qint64 PeakRss();
qint64 CurrentRss();
// Processor time this process has used, user and system, in milliseconds.
double CpuMs();
