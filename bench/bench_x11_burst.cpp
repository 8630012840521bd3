// A burst of Enter presses on the player as a user meets it: a real X
// server and window manager, the player maximized on a 4K screen, the keys
// sent through the X server and the pictures read back from the screen's
// own pixels, against the time libjpeg-turbo alone takes to decode the same
// pictures two at a time.

#include "BenchShow.h"
#include "BenchSupport.h"
#include "LibjpegLimit.h"
#include "ShowPictures.h"
#include "X11Screen.h"
#include "picture/PictureLoader.h"
#include "picture/sandbox/DecodeHelperPool.h"
#include "picture/sandbox/HelperProcess.h"
#include "player/SlideFit.h"
#include "player/frmImage.h"
#include "support/PlayerFixture.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr int burstKeys = 20;
constexpr int burstGapMs = 50;
// Longer than any decode of these pictures: the next ones are ready.
constexpr int settleMs = 1000;
constexpr int preparedSteps = 10;
constexpr int giveUpMs = 30000;
// The block the probe reads, at the middle of the picture.
constexpr QSize probeBlock(128, 8);

// Runs the event loop until done() or ms milliseconds have passed.
bool runUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > ms)
            loop.quit();
    });
    poll.start();
    if (!done())
        loop.exec();
    return done();
}

void runEvents(int ms) {
    runUntil([] { return false; }, ms);
}

double msBetween(SteadyTime from, SteadyTime to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Player : PlayerFixture {
    explicit Player(const QStringList& pictures)
        : PlayerFixture(pictures) {
        open();
        window->Timer1->stop();
        // The window manager maximizes, frames and focuses the window on its
        // own time.
        runUntil(
            [this] {
                return window->windowHandle() && window->windowHandle()->isExposed() &&
                       window->frameGeometry() == window->screen()->availableGeometry() &&
                       window->isActiveWindow();
            },
            30000);
        runEvents(500);
    }

    // From the first picture, with the next ones decoded ahead.
    void restart() {
        state.NextIndex = 0;
        state.Direction = SlideStepper::Forwards;
        window->ShowNextSlide();
        runUntil([this] { return window->Loader->pendingJobs() == 0; }, giveUpMs);
        runEvents(settleMs);
    }

    PictureTarget target() const {
        const QSize frame = window->frameGeometry().size();
        const QSize client = window->size();
        const qreal ratio = window->SlideImage->devicePixelRatioF();
        return PictureTarget{PictureView::decodeBound(), [frame, client, ratio](QSize full) {
                                 return placeSlide(full, frame, client, ratio).deviceSize;
                             }};
    }
};

// Where a step's time goes on the event thread: when the key reached the
// window and when the picture's paint ended (the backing store is flushed
// to the X server right after). Lives on the event thread.
class StepClock final : public QObject {
public:
    StepClock(QWidget* window, QWidget* picture)
        : window_(window)
        , picture_(picture) {
        window_->installEventFilter(this);
        picture_->installEventFilter(this);
    }
    std::optional<SteadyTime> keyAt;
    std::optional<SteadyTime> paintedAt;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::KeyPress && !keyAt)
            keyAt = std::chrono::steady_clock::now();
        if (watched == picture_ && event->type() == QEvent::Paint && keyAt && !paintedAt) {
            static_cast<QObject*>(picture_)->event(event);
            paintedAt = std::chrono::steady_clock::now();
            return true;
        }
        return false;
    }

private:
    QWidget* window_;
    QWidget* picture_;
};

struct Sighted {
    // First time each picture was seen, by index; empty when never.
    std::vector<std::optional<SteadyTime>> first;
    std::vector<SteadyTime> keys;
};

// Sends count keys gapMs apart and watches the screen until it shows
// picture last.
Sighted keysUntilShown(ScreenProbe& probe, int count, int gapMs, int last, int pictures) {
    Sighted sighted;
    sighted.first.resize(std::size_t(pictures));
    probe.start(last);
    std::thread keys([&sighted, count, gapMs] { sighted.keys = sendReturnKeys(count, gapMs); });
    runUntil([&probe] { return probe.finished(); }, giveUpMs);
    keys.join();
    for (const ScreenProbe::Sighting& seen : probe.stop())
        if (seen.picture >= 0 && !sighted.first[std::size_t(seen.picture)])
            sighted.first[std::size_t(seen.picture)] = seen.at;
    return sighted;
}

// Processor ms spent so far by everyone sharing the cores in a burst: this
// process's threads by name (the event thread apart), the decode helpers,
// and the X server and window manager bench/x11-burst.sh started
// (KAVELO_BENCH_X_PIDS).
std::map<QString, qint64> processorByWho() {
    std::map<QString, qint64> spent;
    const QString self = QStringLiteral("/proc/%1/task").arg(::getpid());
    for (const QString& task : QDir(self).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(self + QLatin1Char('/') + task + QStringLiteral("/comm"));
        const QString name = task.toInt() == ::getpid() ? QStringLiteral("event thread")
                             : comm.open(QIODevice::ReadOnly)
                                 ? QString::fromUtf8(comm.readAll().trimmed())
                                 : QStringLiteral("?");
        spent[name] += std::max<qint64>(processorMs(::getpid(), pid_t(task.toInt())), 0);
    }
    if (const DecodeHelperPool* helpers = DecodeHelperPool::installed())
        for (const pid_t pid : helpers->helperPids())
            spent[QStringLiteral("helpers")] += std::max<qint64>(processorMs(pid), 0);
    // The cores' idle time, from the first line of /proc/stat.
    QFile stat(QStringLiteral("/proc/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
        if (fields.size() > 5)
            spent[QStringLiteral("idle")] =
                (fields.at(4).toLongLong() + fields.at(5).toLongLong()) * 1000 /
                ::sysconf(_SC_CLK_TCK);
    }
    const QStringList others = QString::fromUtf8(qgetenv("KAVELO_BENCH_X_PIDS"))
                                   .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const char* const names[] = {"X server", "window manager"};
    for (int i = 0; i < std::min<int>(others.size(), 2); ++i)
        spent[QString::fromLatin1(names[i])] +=
            std::max<qint64>(processorMs(pid_t(others[i].toInt())), 0);
    return spent;
}

double median(std::vector<double> values) {
    return values.empty() ? -1 : spreadOf(std::move(values)).median;
}
} // namespace

void benchX11Burst(const QString& pictureFolder, int rounds) {
    std::printf("== x11-burst ==\n");
    if (!x11BenchAvailable()) {
        std::printf("built without XTest (libxtst-dev): skipped\n");
        return;
    }
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::printf("needs an X server: QT_QPA_PLATFORM=xcb and DISPLAY (bench/x11-burst.sh); "
                    "skipped on %s\n",
                    qPrintable(QGuiApplication::platformName()));
        return;
    }
    const ShowPictures set = ensureShowPictures(showPictureFolder(pictureFolder));
    if (!set.ok || set.jpegs.size() < burstKeys + 1) {
        std::printf("not enough pictures for a burst of %d\n", burstKeys);
        return;
    }
    const QStringList show = set.jpegs.mid(0, burstKeys + 1);
    std::printf("load average before: %s\n", qPrintable(loadAverage()));

    Player player(show);
    frmImage& window = *player.window;
    parkPointer();
    player.restart();
    const QSize full = window.SlideImage->pictureSize();
    const SlidePlacement placement = placeSlide(full, window.frameGeometry().size(), window.size(),
                                                window.SlideImage->devicePixelRatioF());
    const QSize drawn = placement.deviceSize;
    const int eighths = coveringEighths(full, drawn);
    std::printf("display %s, screen %d x %d, window %d x %d outside, %d x %d inside, %s; "
                "%lld JPEGs %d x %d drawn at %d x %d, libjpeg scale %d/8\n",
                qgetenv("DISPLAY").constData(), window.screen()->size().width(),
                window.screen()->size().height(), window.frameGeometry().width(),
                window.frameGeometry().height(), window.width(), window.height(),
                window.isActiveWindow() ? "focused" : "NOT focused", qlonglong(show.size()),
                full.width(), full.height(), drawn.width(), drawn.height(), eighths);

    // Each picture's pixels in the probe's block, from its own decode at the
    // drawn size.
    const QPoint inPicture((drawn.width() - probeBlock.width()) / 2,
                           (drawn.height() - probeBlock.height()) / 2);
    std::vector<QImage> signatures;
    const PictureTarget target = player.target();
    for (const QString& path : show) {
        std::optional<DecodedPicture> decoded = PictureLoader::decodeNow(path, target);
        if (!decoded || decoded->image.size() != drawn) {
            std::printf("%s: not decoded at the drawn size\n", qPrintable(path));
            return;
        }
        signatures.push_back(decoded->image.copy(QRect(inPicture, probeBlock)));
    }
    const QPoint onScreen = window.SlideImage->mapToGlobal(placement.picture.topLeft() + inPicture);
    ScreenProbe probe(QRect(onScreen, probeBlock), signatures);
    if (!probe.ok()) {
        std::printf("cannot open the display for the probe\n");
        return;
    }
    std::printf("probe: %d x %d block at %d,%d on the root window; pictures differ there by at "
                "least %.1f levels; the first picture reads %.2f levels off its decode\n",
                probeBlock.width(), probeBlock.height(), onScreen.x(), onScreen.y(),
                probe.leastDifference(), probe.differenceNow(0));
    if (probe.showing() != 0) {
        std::printf("the screen does not show the first picture as decoded: no figures\n");
        return;
    }

    // Prepared steps: each onto a picture decoded ahead, key to screen.
    std::vector<double> prepared, toWindow, toPainted, toScreen;
    int preparedLost = 0;
    for (int step = 1; step <= preparedSteps; ++step) {
        runEvents(settleMs);
        StepClock clock(&window, window.SlideImage);
        const Sighted sighted = keysUntilShown(probe, 1, 0, step, int(show.size()));
        const auto& shown = sighted.first[std::size_t(step)];
        if (sighted.keys.empty() || !shown || !clock.keyAt || !clock.paintedAt) {
            ++preparedLost;
            continue;
        }
        prepared.push_back(msBetween(sighted.keys[0], *shown));
        toWindow.push_back(msBetween(sighted.keys[0], *clock.keyAt));
        toPainted.push_back(msBetween(*clock.keyAt, *clock.paintedAt));
        toScreen.push_back(msBetween(*clock.paintedAt, *shown));
    }
    if (!prepared.empty())
        std::printf("prepared steps, X key to picture on screen: median %.1f ms, most %.1f, "
                    "least %.1f, of %zu; %d never shown; medians of its parts: key to the "
                    "window %.1f, step and paint %.1f, flush to the screen %.1f\n",
                    median(prepared), *std::max_element(prepared.begin(), prepared.end()),
                    *std::min_element(prepared.begin(), prepared.end()), prepared.size(),
                    preparedLost, median(toWindow), median(toPainted), median(toScreen));

    std::printf("bursts of %d Enter presses %d ms apart through XTest; settled: first key to "
                "the last picture on screen; limit: libjpeg-turbo in this process at %d/8, "
                "two threads, no output kept (djpeg's work without its start or output); "
                "program: the player's decode two at a time, helpers included\n",
                burstKeys, burstGapMs, eighths);
    std::vector<double> settled, limits, ratios, programs;
    std::map<QString, std::vector<double>> spentBy;
    const QStringList burstPictures = show.mid(1);
    for (int round = 1; round <= rounds; ++round) {
        player.restart();
        const double limit = libjpegDecodeMs(burstPictures, eighths, 2);
        const double program = twoCoreDecodeMs(burstPictures, target);
        runEvents(settleMs);
        if (probe.showing() != 0) {
            std::printf("  round %d: the first picture is not on screen\n", round);
            continue;
        }
        const std::map<QString, qint64> before = processorByWho();
        const Sighted sighted =
            keysUntilShown(probe, burstKeys, burstGapMs, burstKeys, int(show.size()));
        QStringList spentText;
        for (const auto& [who, ms] : processorByWho()) {
            const auto was = before.find(who);
            const qint64 spent = ms - (was == before.end() ? 0 : was->second);
            if (spent > 0) {
                spentText.append(QStringLiteral("%1 %2").arg(who).arg(spent));
                spentBy[who].push_back(double(spent));
            }
        }
        QStringList missing;
        for (int i = 1; i <= burstKeys; ++i)
            if (!sighted.first[std::size_t(i)])
                missing.append(QString::number(i + 1));
        const auto& last = sighted.first[std::size_t(burstKeys)];
        if (sighted.keys.empty() || !last) {
            std::printf("  round %d: the last picture never reached the screen\n", round);
            continue;
        }
        const double ms = msBetween(sighted.keys.front(), *last);
        settled.push_back(ms);
        limits.push_back(limit);
        programs.push_back(program);
        ratios.push_back(ms / limit);
        std::printf("  round %d: settled %.0f ms (%.0f after the last key), limit %.0f ms, "
                    "ratio %.2f; program %.0f ms (%.2f of the limit); pictures seen %d of %d%s\n",
                    round, ms, msBetween(sighted.keys.back(), *last), limit, ms / limit, program,
                    program / limit, burstKeys - int(missing.size()), burstKeys,
                    missing.isEmpty() ? ""
                                      : qPrintable(QStringLiteral(" (never seen: pictures %1)")
                                                       .arg(missing.join(QStringLiteral(", ")))));
        std::printf("    processor ms in the burst: %s\n",
                    qPrintable(spentText.join(QStringLiteral(", "))));
        std::fflush(stdout);
    }
    QStringList spentMedians;
    for (const auto& [who, values] : spentBy)
        spentMedians.append(QStringLiteral("%1 %2").arg(who).arg(median(values), 0, 'f', 0));
    std::printf("processor ms in a burst, medians: %s\n",
                qPrintable(spentMedians.join(QStringLiteral(", "))));
    std::printf("medians of %zu bursts: settled %.0f ms, limit %.0f ms, ratio %.2f (target 1.30 or "
                "less); program's decode %.0f ms\n",
                settled.size(), median(settled), median(limits), median(ratios), median(programs));
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    window.hide();
}
