#include "BenchSupport.h"

#include "picture/PictureDecoder.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSize>
#include <QString>
#include <cstdio>

// Decodes one file the way the player does (bound of a full-HD screen) and
// prints what happened, how long it took and how far the decode raised the
// resident size. Run once per process (bench/hostile.sh), so that the peak
// belongs to that file alone.
int benchDecodeOne(const QString& path) {
    PictureDecoder decoder(QSize(1920, 1080));
    const qint64 before = residentKb();
    if (!resetPeakMemory())
        std::fprintf(stderr, "cannot reset the peak resident size; the peak is the process's\n");
    QElapsedTimer timer;
    timer.start();
    const auto picture = decoder.decode(path);
    const double ms = elapsedMs(timer);
    const qint64 peak = peakResidentKb();
    const QString outcome = picture ? QStringLiteral("decoded %1 x %2 (shown %3 x %4)")
                                          .arg(picture->fullSize.width())
                                          .arg(picture->fullSize.height())
                                          .arg(picture->image.width())
                                          .arg(picture->image.height())
                                    : QStringLiteral("refused: %1").arg(decoder.errorString());
    std::printf("%-34s %9.0f ms %8.1f MB  %s\n", qPrintable(QFileInfo(path).fileName()), ms,
                kbToMb(peak - before), qPrintable(outcome));
    return 0;
}
