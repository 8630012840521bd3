// Figures for the picture display component, the preview and the slide
// list, measured through the real explorer window on generated files.

#include "BenchSupport.h"
#include "explorer/frmExplorer.h"
#include "picture/raster/AreaShrinker.h"
#include "show/SlideListModel.h"
#include "support/Fakes.h"
#include "support/PictureFiles.h"
#include "ui/DirListBox.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {
double previewMs(frmExplorer& window, const QString& path) {
    QElapsedTimer timer;
    timer.start();
    window.PictureOpened = path;
    window.ShowPreview();
    QApplication::processEvents();
    return elapsedMs(timer);
}
} // namespace

void benchPictures() {
    std::printf("== pictures ==\n");
    QTemporaryDir scratch;
    const QDir dir(scratch.path());
    const QSize bound = PictureView::decodeBound();
    std::printf("decode bound (largest screen): %d x %d\n", bound.width(), bound.height());
    {
        // The area average of a 24-megapixel JPEG's decode at 5/8 on a 4K
        // screen: opaque rows shrunk under twice, the decoders' common case.
        const QImage decoded = photoLike(QSize(3750, 2500)).convertToFormat(QImage::Format_RGB32);
        std::vector<double> shrinks;
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer shrink;
            shrink.start();
            const QImage shrunk = AreaShrinker::shrunk(decoded, QSize(3201, 2134));
            shrinks.push_back(elapsedMs(shrink));
        }
        const Spread spread = spreadOf(shrinks);
        std::printf("area average of 3750x2500 RGB32 to 3201x2134: median %.1f ms of 9 "
                    "(%.1f..%.1f)\n",
                    spread.median, spread.least, spread.most);
    }

    QElapsedTimer timer;
    timer.start();
    const QString photo = dir.filePath(QStringLiteral("photo24mp.jpg"));
    const QString huge = dir.filePath(QStringLiteral("huge9000.jpg"));
    const QString bmp = dir.filePath(QStringLiteral("large.bmp"));
    const QString tiff = dir.filePath(QStringLiteral("large.tif"));
    const QString small = dir.filePath(QStringLiteral("small.jpg"));
    const QString bomb = dir.filePath(QStringLiteral("claims20000.jpg"));
    const QString progressive = dir.filePath(QStringLiteral("progressive24mp.jpg"));
    {
        const QImage photoImage = photoLike(QSize(6000, 4000));
        if (!writeImage(photo, photoImage, "jpeg") ||
            !writeImage(progressive, photoImage, "jpeg", 90, true) ||
            !writeImage(bmp, photoImage, "bmp") ||
            !writeImage(tiff, photoImage, "tiff", 90, false, 1) ||
            !writeImage(small, photoLike(QSize(320, 240)), "jpeg")) {
            std::printf("could not write the pictures\n");
            return;
        }
    }
    if (!writeImage(huge, photoLike(QSize(9000, 9000)), "jpeg")) {
        std::printf("could not write the 9000 x 9000 picture\n");
        return;
    }
    // A small progressive JPEG whose frame header claims 20000 x 20000.
    const QByteArray crafted =
        withJpegSize(jpegBytes(photoLike(QSize(64, 64)), {.progressive = true}), 20000, 20000);
    if (crafted.isEmpty() || !writeBytes(bomb, crafted))
        return;
    dir.mkdir(QStringLiteral("many"));
    const QString many = dir.filePath(QStringLiteral("many"));
    for (int i = 0; i < 50000; ++i) {
        QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(many).arg(i, 5, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly)) {
            std::printf("could not create the 50,000 files\n");
            return;
        }
    }
    // A folder of 100 large pictures of the four kinds, as links.
    dir.mkdir(QStringLiteral("hundred"));
    QStringList hundred;
    const QString kinds[] = {photo, huge, bmp, tiff};
    for (int i = 0; i < 100; ++i) {
        const QString& target = kinds[i % 4];
        hundred.append(QStringLiteral("%1/hundred/%2-%3")
                           .arg(scratch.path())
                           .arg(i)
                           .arg(QFileInfo(target).fileName()));
        QFile::link(target, hundred.last());
    }
    std::printf("inputs generated in %.1f s (JPEG 6000x4000 %.1f MB, JPEG 9000x9000 %.1f MB, "
                "BMP 6000x4000 %.1f MB, TIFF LZW 6000x4000 %.1f MB)\n",
                timer.elapsed() / 1000.0, QFileInfo(photo).size() / 1e6,
                QFileInfo(huge).size() / 1e6, QFileInfo(bmp).size() / 1e6,
                QFileInfo(tiff).size() / 1e6);

    FakeWorld world;
    const FakePrompter& prompter = world.prompter;
    frmExplorer window(world.context(),
                       VolumeTable({{QStringLiteral("/"), QString()}}, scratch.path()));
    window.Form_Load();
    window.show();
    QApplication::processEvents();

    timer.restart();
    window.Dir->setPath(many);
    QApplication::processEvents();
    std::printf("list a folder of 50,000 files: %lld ms (%d files shown)\n", timer.elapsed(),
                window.FileLst->count());
    timer.restart();
    window.Select_Click();
    QApplication::processEvents();
    std::printf("Select All on 50,000 files: %lld ms (%d entries)\n", timer.elapsed(),
                window.slideList().count());

    previewMs(window, small); // loads the decoders
    std::vector<double> times;
    for (int i = 0; i < 3; ++i)
        times.push_back(previewMs(window, photo));
    const Spread photoSpread = spreadOf(times);
    std::printf("preview of a 24-megapixel JPEG (6000x4000): median %.0f ms of 3 (%.0f..%.0f)\n",
                photoSpread.median, photoSpread.least, photoSpread.most);
    times.clear();
    for (int i = 0; i < 3; ++i)
        times.push_back(previewMs(window, huge));
    const QSize extent = window.PVPicture->Picture();
    std::printf("load of the 9000x9000 JPEG: median %.0f ms of 3; Picture() %d x %d HIMETRIC, "
                "copy kept %d x %d\n",
                spreadOf(times).median, extent.width(), extent.height(),
                window.PVPicture->image().width(), window.PVPicture->image().height());
    const int messagesBefore = int(prompter.messages.size());
    for (const QString& kind : {bmp, tiff})
        std::printf("preview of a 6000x4000 %s: %.0f ms\n",
                    QFileInfo(kind).suffix().toUpper().toLatin1().constData(),
                    previewMs(window, kind));

    resetPeakMemory();
    const qint64 beforeProgressive = residentKb();
    const double progressiveMs = previewMs(window, progressive);
    std::printf("preview of a progressive 6000x4000 JPEG: %.0f ms; peak memory %.0f MB (%.0f MB "
                "before)\n",
                progressiveMs, kbToMb(peakResidentKb()), kbToMb(beforeProgressive));

    const bool peakReset = resetPeakMemory();
    const qint64 baseline = residentKb();
    timer.restart();
    for (const QString& path : std::as_const(hundred))
        previewMs(window, path);
    std::printf("100 large pictures previewed in turn (JPEG 24 MP, JPEG 81 MP, BMP, TIFF): "
                "%.1f s, %.0f ms each; peak memory %.0f MB (%.0f MB before)%s\n",
                timer.elapsed() / 1000.0, timer.elapsed() / 100.0, kbToMb(peakResidentKb()),
                kbToMb(baseline), peakReset ? "" : " [peak not reset]");
    if (int(prompter.messages.size()) != messagesBefore)
        std::printf("  unexpected: %d previews failed\n",
                    int(prompter.messages.size()) - messagesBefore);

    resetPeakMemory();
    const qint64 beforeBomb = residentKb();
    const double bombMs = previewMs(window, bomb);
    std::printf("tiny progressive JPEG claiming 20000x20000 (%lld bytes): %.0f ms, %s; "
                "peak memory %.0f MB (%.0f MB before)\n",
                QFileInfo(bomb).size(), bombMs,
                int(prompter.messages.size()) > messagesBefore ? "refused" : "loaded",
                kbToMb(peakResidentKb()), kbToMb(beforeBomb));
    window.hide();
}
