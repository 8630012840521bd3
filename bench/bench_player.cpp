// Figures for the slide show player: one step on large pictures in a
// 1920 x 1080 window, and the peak memory of a long show of them.

#include "BenchSupport.h"
#include "player/frmImage.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <vector>

namespace {
double megabytes(const QString& path) {
    return QFileInfo(path).size() / (1024.0 * 1024.0);
}

// The player framed at 1920 x 1080 whatever the screen: the step fits
// pictures to the window's outer size.
struct Show : PlayerFixture {
    Show()
        : PlayerFixture({}) {
        open();
        window->Timer1->stop();
        window->setWindowState(Qt::WindowNoState);
        // The window manager frames and resizes the window on its own time.
        const QSize outer(1920, 1080);
        QDeadlineTimer deadline(5000);
        while (window->frameGeometry().size() != outer && !deadline.hasExpired()) {
            window->resize(outer - (window->frameGeometry().size() - window->size()));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }
    // One step, drawn: the picture on screen is what the user waits for.
    double timedStep() {
        QElapsedTimer timer;
        timer.start();
        window->ShowNextSlide();
        window->repaint();
        return elapsedMs(timer);
    }
};
} // namespace

void benchPlayer() {
    std::printf("== player ==\n");
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const QString jpeg = folder.filePath(QStringLiteral("photo24mp.jpg"));
    const QString tiff = folder.filePath(QStringLiteral("photo6000x4000.tif"));
    const QString bmp = folder.filePath(QStringLiteral("photo6000x4000.bmp"));
    const QString wide = folder.filePath(QStringLiteral("panorama12000x3000.jpg"));
    {
        const QImage photo = photoLike({6000, 4000}, 12345);
        if (!writeImage(jpeg, photo, "jpg") || !writeImage(tiff, photo, "tif", 90, false, 1) ||
            !writeImage(bmp, photo, "bmp") ||
            !writeImage(wide, photoLike({12000, 3000}, 777), "jpg")) {
            std::printf("could not write the pictures\n");
            return;
        }
    }
    std::printf("inputs: JPEG 6000x4000 %.1f MB, LZW TIFF 6000x4000 %.1f MB, BMP 6000x4000 "
                "%.1f MB, JPEG 12000x3000 %.1f MB; decode bound %d x %d\n",
                megabytes(jpeg), megabytes(tiff), megabytes(bmp), megabytes(wide),
                PictureView::decodeBound().width(), PictureView::decodeBound().height());

    Show show;
    std::printf("window outer size %d x %d\n", show.window->frameGeometry().width(),
                show.window->frameGeometry().height());
    for (const QString& path : {jpeg, tiff}) {
        show.list.clear();
        show.list.append(path);
        std::vector<double> times;
        for (int i = 0; i < 5; ++i)
            times.push_back(show.timedStep());
        const Spread spread = spreadOf(times);
        std::printf("one step, %s: median %.0f ms of 5 (%.0f..%.0f); caption \"%s\"\n",
                    qPrintable(QFileInfo(path).fileName()), spread.median, spread.least,
                    spread.most,
                    qPrintable(show.window->windowTitle().section(QLatin1Char('/'), -1)));
    }

    show.list.clear();
    for (int i = 0; i < 50; ++i)
        show.list.append(QStringList{jpeg, tiff, bmp, wide});
    const qint64 before = residentKb();
    const bool reset = resetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 200; ++i) {
        show.window->ShowNextSlide();
        show.window->repaint();
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = timer.elapsed();
    std::printf("200-step show of large pictures (JPEG 24 MP, LZW TIFF, BMP 6000x4000, JPEG "
                "12000x3000): %.1f s, %.0f ms a step; resident before %.0f MB, peak %.0f MB%s; "
                "%d messages\n",
                elapsed / 1000.0, elapsed / 200.0, kbToMb(before), kbToMb(peakResidentKb()),
                reset ? "" : " (peak not reset: includes generating the inputs)", show.messages());
}
