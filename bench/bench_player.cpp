// Figures for the slide show player: one step on large pictures in a
// 1920 x 1080 window, and the peak memory of a long show of them.

#include "app/AppContext.h"
#include "app/ProgramEnd.h"
#include "app/SettingsStore.h"
#include "player/SlideStepper.h"
#include "player/frmImage.h"
#include "ui/PictureView.h"
#include "ui/Prompter.h"
#include "ui/SlideListModel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
class CountingPrompter final : public Prompter {
public:
    void message(QWidget*, const QString&, MessageIcon) override { ++count; }
    int count = 0;
};

class NoProgramEnd final : public ProgramEnd {
public:
    void endNow() override {}
};

qint64 peakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// So that the show's peak is not the peak of generating its inputs.
bool resetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// Grain and edges, so that the encoders work as hard as on a photo.
QImage photoLike(QSize size, quint32 seed) {
    QImage image(size, QImage::Format_RGB32);
    quint32 noise = seed;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28);
            line[x] = qRgb((x * 255 / size.width() + grain) & 0xFF,
                           (y * 255 / size.height() + ((x / 40) % 2) * 60) & 0xFF,
                           ((x + y) / 16 + grain * 3) & 0xFF);
        }
    }
    return image;
}

bool write(const QImage& image, const QString& path, const QByteArray& format) {
    QImageWriter writer(path, format);
    writer.setQuality(90);
    // 1 is LZW for the TIFF writer; the others ignore it.
    writer.setCompression(1);
    return writer.write(image);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double megabytes(const QString& path) {
    return QFileInfo(path).size() / (1024.0 * 1024.0);
}

struct Show {
    explicit Show(AppContext context)
        : window(context, list, state) {
        window.Form_Load();
        window.Timer1->stop();
        // Framed 1920 x 1080 whatever the screen: the step fits pictures to
        // the window's outer size.
        window.setWindowState(Qt::WindowNoState);
        window.show();
        // The window manager frames and resizes the window on its own time.
        const QSize outer(1920, 1080);
        QDeadlineTimer deadline(5000);
        while (window.frameGeometry().size() != outer && !deadline.hasExpired()) {
            window.resize(outer - (window.frameGeometry().size() - window.size()));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }
    // One step, drawn: the picture on screen is what the user waits for.
    double timedStep() {
        QElapsedTimer timer;
        timer.start();
        window.ShowNextSlide();
        window.repaint();
        return timer.nsecsElapsed() / 1e6;
    }

    SlideListModel list;
    SlideStepper state;
    frmImage window;
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
        if (!write(photo, jpeg, "jpg") || !write(photo, tiff, "tif") || !write(photo, bmp, "bmp") ||
            !write(photoLike({12000, 3000}, 777), wide, "jpg")) {
            std::printf("could not write the pictures\n");
            return;
        }
    }
    std::printf("inputs: JPEG 6000x4000 %.1f MB, LZW TIFF 6000x4000 %.1f MB, BMP 6000x4000 "
                "%.1f MB, JPEG 12000x3000 %.1f MB; decode bound %d x %d\n",
                megabytes(jpeg), megabytes(tiff), megabytes(bmp), megabytes(wide),
                PictureView::decodeBound().width(), PictureView::decodeBound().height());

    SettingsStore settings(folder.filePath(QStringLiteral("Vantrel.conf")));
    CountingPrompter prompter;
    NoProgramEnd programEnd;
    AppContext context;
    context.info = AppInfo::current();
    context.settings = &settings;
    context.prompter = &prompter;
    context.programEnd = &programEnd;

    Show show(context);
    std::printf("window outer size %d x %d\n", show.window.frameGeometry().width(),
                show.window.frameGeometry().height());
    for (const QString& path : {jpeg, tiff}) {
        show.list.clear();
        show.list.append(path);
        std::vector<double> times;
        for (int i = 0; i < 5; ++i)
            times.push_back(show.timedStep());
        std::printf("one step, %s: median %.0f ms of 5 (%.0f..%.0f); caption \"%s\"\n",
                    qPrintable(QFileInfo(path).fileName()), median(times),
                    *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()),
                    qPrintable(show.window.windowTitle().section(QLatin1Char('/'), -1)));
    }

    show.list.clear();
    for (int i = 0; i < 50; ++i)
        show.list.append(QStringList{jpeg, tiff, bmp, wide});
    const qint64 before = residentKb();
    const bool reset = resetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 200; ++i) {
        show.window.ShowNextSlide();
        show.window.repaint();
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = timer.elapsed();
    std::printf("200-step show of large pictures (JPEG 24 MP, LZW TIFF, BMP 6000x4000, JPEG "
                "12000x3000): %.1f s, %.0f ms a step; resident before %.0f MB, peak %.0f MB%s; "
                "%d messages\n",
                elapsed / 1000.0, elapsed / 200.0, before / 1024.0, peakResidentKb() / 1024.0,
                reset ? "" : " (peak not reset: includes generating the inputs)", prompter.count);
}
