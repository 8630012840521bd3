#pragma once

// What the benchmarks share: memory readings and the spread of repeated
// timings. Their pictures and the fakes their windows run on come from the
// tests' support (support/PictureFiles.h, support/Fakes.h).

#include <QString>
#include <atomic>
#include <thread>
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
// The system's load averages over 1, 5 and 15 minutes, as /proc gives them.
QString loadAverage();
// A "Field: 1234 kB" line of /proc/<pid>/smaps_rollup (Rss:, Pss:,
// Private_Dirty:), in KiB; -1 when not there.
qint64 rollupKb(qint64 pid, const QByteArray& field);

// The whole program's memory while it runs: this process and its decode
// helpers, read every few milliseconds on a thread of its own until
// stopped. Resident sizes summed count the libraries the processes share
// once for each; the proportional sizes (Pss) share them out, so their sum
// is what the processes together take from the machine.
class WholeProgramMemory {
public:
    WholeProgramMemory();
    ~WholeProgramMemory();
    struct Peaks {
        qint64 residentKb = 0;
        qint64 proportionalKb = 0;
        // The program's own share and its helpers' at the proportional peak.
        qint64 programProportionalKb = 0;
        qint64 helpersProportionalKb = 0;
        int helpers = 0;
    };
    Peaks stop();

private:
    std::atomic_bool stopping_{false};
    Peaks peaks_;
    std::thread sampler_;
};

double elapsedMs(const QElapsedTimer& timer);

// Repeated timings: the middle one and the extremes.
struct Spread {
    double median;
    double least;
    double most;
};
Spread spreadOf(std::vector<double> values);
