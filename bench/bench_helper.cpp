// The decode helper's cost: the same files decoded at the same drawn size
// in this process and in a sandboxed helper, one after the other in turn,
// so that both see the same machine. Wall time is what a step waits for;
// processor time (this process and the helper together) is what the
// helper's messages, the pixels' way back and its filter add to the
// decode's own work. Each picture is read once after its decode, as its
// first paint reads it: where its pixels live decides what that costs.

#include "BenchSupport.h"
#include "picture/PictureDecoder.h"
#include "picture/raster/PictureFit.h"
#include "picture/sandbox/DecodeHelperPool.h"
#include "support/PictureFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
double processCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Every thread of another process, in nanoseconds, summed from its tasks'
// schedstat (finer than /proc/<pid>/stat's clock ticks).
double helperCpuMs(pid_t pid) {
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return total;
}

// A word of every cache line, as a paint reads the picture; kept, so that
// the compiler reads them all.
volatile quint32 readSum = 0;
void readOnce(const QImage& image) {
    quint32 sum = 0;
    const auto* words = reinterpret_cast<const quint32*>(image.constBits());
    const qsizetype count = image.sizeInBytes() / 4;
    for (qsizetype i = 0; i < count; i += 16)
        sum += words[i];
    readSum = sum;
}

// What a helper holds: resident, its proportional share (libraries shared
// with the program counted once overall) and what is its own alone.
void printHelperMemory(const char* when, const QList<pid_t>& pids) {
    if (pids.isEmpty())
        return;
    const pid_t pid = pids.first();
    std::printf("helper %s: resident %.1f MB, proportional %.1f MB, private dirty %.1f MB\n", when,
                kbToMb(rollupKb(pid, "Rss:")), kbToMb(rollupKb(pid, "Pss:")),
                kbToMb(rollupKb(pid, "Private_Dirty:")));
}

struct Sample {
    std::vector<double> wall;
    std::vector<double> cpu;
};

struct Case {
    const char* name;
    QString path;
    QSize screen;
};
} // namespace

void benchHelper(int rounds) {
    std::printf("== helper ==\n");
    QTemporaryDir scratch;
    const QDir dir(scratch.path());
    const QImage photo = photoLike(QSize(6000, 4000));
    const QString jpeg = dir.filePath(QStringLiteral("photo24mp.jpg"));
    const QString progressive = dir.filePath(QStringLiteral("progressive24mp.jpg"));
    const QString bmp = dir.filePath(QStringLiteral("large.bmp"));
    const QString tiff = dir.filePath(QStringLiteral("large.tif"));
    const QString huge = dir.filePath(QStringLiteral("huge9000.jpg"));
    if (!writeImage(jpeg, photo, "jpeg") || !writeImage(progressive, photo, "jpeg", 90, true) ||
        !writeImage(bmp, photo, "bmp") || !writeImage(tiff, photo, "tiff", 90, false, 1) ||
        !writeImage(huge, photoLike(QSize(9000, 9000)), "jpeg")) {
        std::printf("could not write the pictures\n");
        return;
    }
    const QSize hd(1920, 1080);
    const QSize uhd(3840, 2160);
    const std::vector<Case> cases = {
        {"JPEG 6000x4000 at 1080p", jpeg, hd},    {"JPEG 6000x4000 at 4K", jpeg, uhd},
        {"JPEG 9000x9000 at 1080p", huge, hd},    {"progressive JPEG at 1080p", progressive, hd},
        {"BMP 6000x4000 at 1080p", bmp, hd},      {"BMP 6000x4000 at 4K", bmp, uhd},
        {"TIFF LZW 6000x4000 at 1080p", tiff, hd}};

    DecodeHelperPool::Options options;
    options.size = 1;
    DecodeHelperPool pool(options);
    {
        const QString small = dir.filePath(QStringLiteral("small.jpg"));
        writeImage(small, photoLike(QSize(64, 48)), "jpeg");
        QElapsedTimer timer;
        timer.start();
        pool.decode(small, hd, PictureDecoder::defaultMemoryBudget, {});
        const double first = elapsedMs(timer);
        timer.restart();
        pool.decode(small, hd, PictureDecoder::defaultMemoryBudget, {});
        std::printf("a 64 x 48 JPEG in a helper: %.1f ms started for it, %.1f ms once running\n",
                    first, elapsedMs(timer));
        printHelperMemory("started", pool.helperPids());
    }
    std::printf("%-28s %21s %21s %13s\n", "", "wall ms in / helper", "cpu ms in / helper",
                "ratio wall cpu");
    for (const Case& one : cases) {
        const auto drawSize = [screen = one.screen](QSize full) {
            return shrinkToFit(full, screen);
        };
        Sample in;
        Sample out;
        // One of each first, untimed: the helper starts, the file is read
        // into the page cache.
        for (int round = -1; round < rounds; ++round) {
            QElapsedTimer timer;
            double cpu = processCpuMs();
            timer.start();
            PictureDecoder decoder(one.screen);
            decoder.setDrawSize(drawSize);
            const std::optional<DecodedPicture> inPicture = decoder.decode(one.path);
            const bool decoded = bool(inPicture);
            if (inPicture)
                readOnce(inPicture->image);
            const double inWall = elapsedMs(timer);
            const double inCpu = processCpuMs() - cpu;

            const QList<pid_t> pids = pool.helperPids();
            const double helperBefore = pids.isEmpty() ? 0 : helperCpuMs(pids.first());
            cpu = processCpuMs();
            timer.restart();
            const DecodeHelperPool::Result result =
                pool.decode(one.path, one.screen, PictureDecoder::defaultMemoryBudget, drawSize);
            if (result.picture)
                readOnce(result.picture->image);
            const double outWall = elapsedMs(timer);
            const QList<pid_t> after = pool.helperPids();
            const double outCpu =
                processCpuMs() - cpu +
                (after.isEmpty() || pids.isEmpty() || after.first() != pids.first()
                     ? 0
                     : helperCpuMs(after.first()) - helperBefore);
            if (!decoded || result.outcome != DecodeHelperPool::Outcome::Decoded) {
                std::printf("%s: not decoded (%s)\n", one.name, qPrintable(result.reason));
                break;
            }
            if (round < 0 || pids.isEmpty())
                continue;
            in.wall.push_back(inWall);
            in.cpu.push_back(inCpu);
            out.wall.push_back(outWall);
            out.cpu.push_back(outCpu);
        }
        if (in.wall.empty())
            continue;
        const double inWall = spreadOf(in.wall).median;
        const double outWall = spreadOf(out.wall).median;
        const double inCpu = spreadOf(in.cpu).median;
        const double outCpu = spreadOf(out.cpu).median;
        std::printf("%-28s %10.1f / %8.1f %10.1f / %8.1f %6.2f %6.2f\n", one.name, inWall, outWall,
                    inCpu, outCpu, outWall / inWall, outCpu / inCpu);
        std::fflush(stdout);
    }
    printHelperMemory("after the decodes", pool.helperPids());
    QThread::msleep(4000);
    printHelperMemory("idle for four seconds", pool.helperPids());
    std::printf("medians of %d rounds, in process and in one helper in turn\n", rounds);
}
