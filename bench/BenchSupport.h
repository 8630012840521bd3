#pragma once

// What the benchmarks share: memory readings and the spread of repeated
// timings. Their pictures and the fakes their windows run on come from the
// tests' support (support/PictureFiles.h, support/Fakes.h).

#include <QString>
#include <vector>

class QElapsedTimer;

// The resident size now (VmRSS) and at its peak (VmHWM), in KiB; -1 when
// the system does not tell.
qint64 residentKb();
qint64 peakResidentKb();
// Resets the peak resident size to the current one, so that a measurement
// is not dominated by generating its inputs.
bool resetPeakMemory();
// The peak resident size of another process (a decode helper).
qint64 peakResidentKbOf(qint64 pid);
double kbToMb(qint64 kb);

double elapsedMs(const QElapsedTimer& timer);

// Repeated timings: the middle one and the extremes.
struct Spread {
    double median;
    double least;
    double most;
};
Spread spreadOf(std::vector<double> values);
