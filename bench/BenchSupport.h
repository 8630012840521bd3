#pragma once

// What the benchmarks share: memory readings, a world of quiet seams for
// the windows, and the spread of repeated timings. Their pictures come from
// the tests' writers, support/PictureFiles.h.

#include "seams/AppContext.h"
#include "seams/ProgramEnd.h"
#include "settings/SettingsStore.h"
#include "seams/Prompter.h"

#include <QString>
#include <vector>

class QElapsedTimer;

// Counts the messages instead of showing them: a benchmark must not block.
class CountingPrompter final : public Prompter {
public:
    void message(QWidget*, const QString&, MessageIcon) override { ++count; }
    int count = 0;
};

class NoProgramEnd final : public ProgramEnd {
public:
    void endNow() override {}
};

// The seams a window needs, with the settings file in the given folder.
struct BenchWorld {
    explicit BenchWorld(const QString& folder);
    AppContext context();

    SettingsStore settings;
    CountingPrompter prompter;
    NoProgramEnd programEnd;
};

// The resident size now (VmRSS) and at its peak (VmHWM), in KiB; -1 when
// the system does not tell.
qint64 residentKb();
qint64 peakResidentKb();
// Resets the peak resident size to the current one, so that a measurement
// is not dominated by generating its inputs.
bool resetPeakMemory();
double kbToMb(qint64 kb);

double elapsedMs(const QElapsedTimer& timer);

// Repeated timings: the middle one and the extremes.
struct Spread {
    double median;
    double least;
    double most;
};
Spread spreadOf(std::vector<double> values);
