// Figures for colour profiles: what converting a picture from its embedded
// profile adds to each decode at the sizes the player shows, and a player
// step onto a prefetched profiled picture.

#include "BenchSupport.h"
#include "picture/PictureLoader.h"
#include "picture/colour/ColourConversion.h"
#include "player/frmImage.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
struct Family {
    const char* name;
    QByteArray profile;
    QImage::Format format;
};

// The processor time this thread has used, in milliseconds: on a busy
// machine the cost on one core, where the wall clock counts the waits.
double threadMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The conversion step alone, on one thread, as a decoding worker runs it.
void stepCost(const Family& family, QSize size) {
    QImage photo = photoLike(size).convertToFormat(QImage::Format_RGB32);
    if (family.format == ColourConversion::inksFormat) {
        // Inks as a separation lays them: black only in the darkest third,
        // so that both the pixels without black and those between two of
        // its levels are counted. The fourth byte is the black, stored as
        // the paper left white.
        for (int y = 0; y < photo.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
            for (int x = 0; x < photo.width(); ++x) {
                const int ink = std::max(0, 85 - qGray(row[x])) * 3;
                row[x] = (row[x] & 0x00FFFFFFu) | QRgb(255 - ink) << 24;
            }
        }
    }
    std::vector<double> times;
    for (int i = 0; i < 9; ++i) {
        QImage copy = photo.copy();
        copy.reinterpretAsFormat(family.format);
        DecodedPicture picture{std::move(copy), size, family.profile};
        const double start = threadMs();
        ColourConversion::forDisplay().apply(picture);
        times.push_back(threadMs() - start);
    }
    // The first run also built the transform.
    const double first = times.front();
    times.erase(times.begin());
    const Spread spread = spreadOf(times);
    std::printf("  %-14s %4d x %4d: median %5.1f ms of 8 (%.1f..%.1f); first, building the "
                "transform, %.1f ms\n",
                family.name, size.width(), size.height(), spread.median, spread.least, spread.most,
                first);
}

// A step onto a picture decoded ahead: the worker converted it, the step
// only swaps it in and draws it.
double prefetchedStep(frmImage& window, const QString& next) {
    bool ready = false;
    const QMetaObject::Connection connection =
        QObject::connect(window.Loader, &PictureLoader::prefetched,
                         [&](const QString& path, bool) { ready = ready || path == next; });
    QDeadlineTimer deadline(20000);
    while (!ready && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QObject::disconnect(connection);
    QElapsedTimer timer;
    timer.start();
    window.ShowNextSlide();
    window.repaint();
    return elapsedMs(timer);
}
} // namespace

void benchColour() {
    std::printf("== colour ==\n");
    const QByteArray cmyk = [] {
        QFile file(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    const std::vector<Family> families{
        {"sRGB", QColorSpace(QColorSpace::SRgb).iccProfile(), QImage::Format_RGB32},
        {"Adobe RGB", ColourConversion::adobeRgbProfile(), QImage::Format_RGB32},
        {"Display P3", QColorSpace(QColorSpace::DisplayP3).iccProfile(), QImage::Format_RGB32},
        {"ProPhoto", QColorSpace(QColorSpace::ProPhotoRgb).iccProfile(), QImage::Format_RGB32},
        {"CMYK (inks)", cmyk, ColourConversion::inksFormat},
    };
    std::printf("conversion added to each decode, processor time of its one thread:\n");
    for (const Family& family : families) {
        if (family.profile.isEmpty()) {
            std::printf("  %s: no profile (libgs-common missing)\n", family.name);
            continue;
        }
        for (const QSize size : {QSize(1920, 1080), QSize(3840, 2160)})
            stepCost(family, size);
    }

    QTemporaryDir dir;
    const QDir folder(dir.path());
    QStringList tagged, untagged;
    for (int i = 0; i < 3; ++i) {
        QImage photo = photoLike({6000, 4000}, 100 + quint32(i));
        const QString plain = folder.filePath(QStringLiteral("plain%1.jpg").arg(i));
        const QString adobe = folder.filePath(QStringLiteral("adobe%1.jpg").arg(i));
        if (!writeImage(plain, photo, "jpeg"))
            return;
        photo.setColorSpace(QColorSpace::AdobeRgb);
        if (!writeImage(adobe, photo, "jpeg"))
            return;
        untagged.append(plain);
        tagged.append(adobe);
    }
    PlayerFixture show({});
    frmImage& window = show.open();
    window.Timer1->stop();
    SlideListModel& list = show.list;
    // The window manager maximizes the window on its own time, and the
    // loader decodes for the size it has when asked.
    QDeadlineTimer settle(1000);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    for (const QStringList* pictures : {&untagged, &tagged}) {
        list.clear();
        list.append(*pictures);
        window.ShowNextSlide();
        std::vector<double> times;
        for (int i = 1; i < 3; ++i)
            times.push_back(prefetchedStep(window, pictures->at(i)));
        std::printf("step onto a prefetched 6000x4000 JPEG, %s: %.1f and %.1f ms (a frame is "
                    "16.7 ms)\n",
                    pictures == &tagged ? "Adobe RGB profile" : "no profile", times[0], times[1]);
    }
}
