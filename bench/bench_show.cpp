// Figures for a slide show as the user sees it, on a real player window and
// a real slide list of camera-sized pictures: how long after a tick or key
// the new picture is on screen, how long the event thread stays busy, how
// far a timed show drifts, how fast a burst of keys is worked off and how
// much memory a show with bursts takes.

#include "BenchShow.h"
#include "BenchSupport.h"
#include "FormatPictures.h"
#include "PaintWatch.h"
#include "ShowPictures.h"
#include "picture/PictureLoader.h"
#include "picture/sandbox/DecodeHelperPool.h"
#include "picture/sandbox/HelperProcess.h"
#include "player/SlideFit.h"
#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/Fakes.h"
#include "support/PlayerFixture.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
// Longer than any decode of these pictures, so that a player decoding
// ahead has its next picture ready.
constexpr int settleMs = 1000;
// Steps through each of the formats' three pictures.
constexpr int formatSteps = 12;
// A step that has not painted by then is reported as lost.
constexpr int giveUpMs = 15000;
// A burst: Enter held or pressed fast.
constexpr int burstKeys = 20;
constexpr int burstGapMs = 50;

enum class Action { Tick, Return, Tab, Five };

const char* nameOf(Action action) {
    switch (action) {
    case Action::Tick:
        return "tick";
    case Action::Return:
        return "Return";
    case Action::Tab:
        return "Tab";
    case Action::Five:
        return "5";
    }
    return "";
}

// Going on and turning round in every way: Tab turns either way, 5 turns
// a forward show back. The round ends going forwards, as it began.
constexpr Action showRound[] = {Action::Tick, Action::Return, Action::Tab,  Action::Return,
                                Action::Tab,  Action::Five,   Action::Tick, Action::Tab};

// Runs the event loop for ms milliseconds, or until quit() when given.
void runEvents(int ms, QEventLoop* loop = nullptr) {
    QEventLoop local;
    QEventLoop& running = loop ? *loop : local;
    QTimer::singleShot(ms, &running, &QEventLoop::quit);
    running.exec();
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(share * values.size()));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

void printRow(const char* kind, const char* mode, const char* action,
              const std::vector<double>& ms) {
    if (ms.empty())
        return;
    std::printf("  %-16s %-11s %-7s %8.1f %8.1f %8.1f %8.1f %6zu\n", kind, mode, action,
                percentile(ms, 0.5), percentile(ms, 0.9), percentile(ms, 0.99),
                *std::max_element(ms.begin(), ms.end()), ms.size());
}

// A player window on its own slide list, maximized as the explorer opens it,
// with its timer stopped until a measurement starts it.
struct Rig : PlayerFixture {
    Rig()
        : PlayerFixture({}) {
        open();
        window->Timer1->stop();
        // The window manager, where there is one, maximizes and frames the
        // window on its own time.
        QElapsedTimer waited;
        waited.start();
        while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
               waited.elapsed() < 5000)
            runEvents(20);
        runEvents(500);
        watch = std::make_unique<PaintWatch>(window->SlideImage, window.get());
    }

    void restart(const QStringList& pictures) {
        list.clear();
        list.append(pictures);
        state.NextIndex = 0;
        state.Direction = SlideStepper::Forwards;
    }

    void perform(Action action) {
        if (action == Action::Tick) {
            window->Timer1_Timer();
            return;
        }
        const Qt::Key key = action == Action::Return ? Qt::Key_Return
                            : action == Action::Tab  ? Qt::Key_Tab
                                                     : Qt::Key_5;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier,
                        action == Action::Five ? QStringLiteral("5") : QString());
        QApplication::sendEvent(window.get(), &press);
    }

    // From the tick or key to the end of the paint that shows its picture.
    double timed(Action action) {
        QElapsedTimer clock;
        clock.start();
        watch->arm(clock);
        QEventLoop loop;
        watch->onPainted = [&loop] {
            loop.quit();
        };
        perform(action);
        if (!watch->painted())
            runEvents(giveUpMs, &loop);
        watch->onPainted = nullptr;
        return watch->paintedMs();
    }

    std::unique_ptr<PaintWatch> watch;
};

// Steps through pictures, waiting settleMs before each step when
// prefetched, and prints a row for each action and one for all of them.
// settleMs, and then as long as the player's loader is still decoding
// ahead (a HEIC or AVIF takes a second or more on a loaded machine, and two
// are decoded at once), so that a prefetched step finds its picture ready.
void settle(Rig& rig) {
    runEvents(settleMs);
    const PictureLoader& loader = *rig.window->Loader;
    QElapsedTimer waited;
    waited.start();
    while ((loader.pendingJobs() > 0 || loader.runningThreads() > 0) && waited.elapsed() < giveUpMs)
        runEvents(20);
}

void stepFigures(Rig& rig, const char* kind, const QStringList& pictures, int steps,
                 bool prefetched) {
    rig.restart(pictures);
    rig.timed(Action::Return); // the first picture: nothing can be ahead of it
    std::map<Action, std::vector<double>> byAction;
    std::vector<double> all;
    int lost = 0;
    for (int i = 0; i < steps; ++i) {
        const Action action = showRound[i % std::size(showRound)];
        if (prefetched)
            settle(rig);
        const double ms = rig.timed(action);
        if (ms < 0) {
            ++lost;
            continue;
        }
        byAction[action].push_back(ms);
        all.push_back(ms);
    }
    const char* mode = prefetched ? "prefetched" : "cold";
    printRow(kind, mode, "all", all);
    for (const auto& [action, ms] : byAction)
        printRow(kind, mode, nameOf(action), ms);
    if (lost > 0)
        std::printf("  %s %s: %d steps never painted within %d ms\n", kind, mode, lost, giveUpMs);
    std::fflush(stdout);
}

// JPEGs with a TIFF after every fourth and the BMPs spread among them.
QStringList mixed(const ShowPictures& set) {
    QStringList list;
    for (int i = 0; i < set.jpegs.size(); ++i) {
        list.append(set.jpegs[i]);
        if (i % 4 == 3 && i / 4 < set.tiffs.size())
            list.append(set.tiffs[i / 4]);
        if (i % 6 == 5 && i / 6 < set.bmps.size())
            list.append(set.bmps[i / 6]);
    }
    return list;
}

// Timer1 ticking by itself at 600 ms while a 1 ms heartbeat notes how late
// it is ever run: its worst lateness is the event thread's longest busy
// stretch. The drift is how late the last tick's picture is painted.
void timedShow(Rig& rig, const QStringList& pictures, int ticks) {
    rig.restart(pictures);
    rig.timed(Action::Return);
    rig.window->Seconds = 1;
    rig.window->ApplyInterval();
    const int interval = rig.window->Timer1->interval();

    QElapsedTimer clock;
    std::vector<double> paints;
    QEventLoop loop;
    rig.watch->onPainted = [&] {
        paints.push_back(rig.watch->paintedMs());
        if (int(paints.size()) == ticks)
            loop.quit();
        rig.watch->arm(clock);
    };
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    double lastBeat = 0;
    double worstLateness = 0;
    int beatsLate16 = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        const double lateness = now - lastBeat - 1;
        worstLateness = std::max(worstLateness, lateness);
        beatsLate16 += lateness > 16 ? 1 : 0;
        lastBeat = now;
    });

    clock.start();
    rig.watch->arm(clock);
    rig.window->Timer1->start();
    heartbeat.start();
    runEvents(ticks * interval * 3 + giveUpMs, &loop);
    rig.window->Timer1->stop();
    heartbeat.stop();
    rig.watch->onPainted = nullptr;

    std::printf("timed show, %d ticks at %d ms (JPEG, TIFF and BMP mixed):\n", ticks, interval);
    if (int(paints.size()) < ticks) {
        std::printf("  only %zu of %d ticks painted\n", paints.size(), ticks);
        return;
    }
    std::vector<double> gaps;
    for (std::size_t i = 1; i < paints.size(); ++i)
        gaps.push_back(paints[i] - paints[i - 1]);
    const double due = double(ticks) * interval;
    std::printf("  event thread's longest busy stretch (1 ms heartbeat's worst lateness): "
                "%.1f ms; beats over 16 ms late: %d\n",
                worstLateness, beatsLate16);
    std::printf("  drift: last picture painted at %.0f ms, due %.0f ms: %+.2f %%\n", paints.back(),
                due, (paints.back() - due) / due * 100);
    std::printf("  interval between pictures: median %.0f ms, least %.0f, most %.0f\n",
                percentile(gaps, 0.5), *std::min_element(gaps.begin(), gaps.end()),
                *std::max_element(gaps.begin(), gaps.end()));
    std::fflush(stdout);
}

// A show opened as the explorer opens it, its timer at 600 ms from the
// start: no picture on opening, the first at the first tick. The first
// interval (first picture to second) is the one a late first picture
// shortens.
void openedShow(const QStringList& pictures, int ticks) {
    FakeWorld world;
    SlideListModel list;
    list.append(pictures);
    SlideStepper state;
    frmImage window(world.context(), list, state);
    PaintWatch watch(window.SlideImage, &window);
    QElapsedTimer clock;
    std::vector<double> paints;
    QEventLoop loop;
    watch.onPainted = [&] {
        paints.push_back(watch.paintedMs());
        if (int(paints.size()) == ticks)
            loop.quit();
        watch.arm(clock);
    };
    clock.start();
    watch.arm(clock);
    window.Form_Load();
    window.show();
    const int interval = window.Timer1->interval();
    runEvents(ticks * interval * 3 + giveUpMs, &loop);
    window.Timer1->stop();
    watch.onPainted = nullptr;

    std::printf("opened show, %d ticks at %d ms (JPEG 24 MP), timed from opening:\n", ticks,
                interval);
    if (int(paints.size()) < ticks) {
        std::printf("  only %zu of %d ticks painted\n", paints.size(), ticks);
        return;
    }
    std::vector<double> later;
    for (std::size_t i = 2; i < paints.size(); ++i)
        later.push_back(paints[i] - paints[i - 1]);
    std::printf("  first picture painted %.0f ms after opening (due %d); first interval %.0f ms, "
                "later intervals median %.0f, least %.0f, most %.0f\n",
                paints[0], interval, paints[1] - paints[0], percentile(later, 0.5),
                *std::min_element(later.begin(), later.end()),
                *std::max_element(later.begin(), later.end()));
    std::fflush(stdout);
}

// How the player draws a picture now: the decoder's bound and the size the
// window shows it at, as the player asks its loader for it.
PictureTarget targetOf(const frmImage& window) {
    const QSize frame = window.frameGeometry().size();
    const QSize client = window.size();
    const qreal ratio = window.SlideImage->devicePixelRatioF();
    return PictureTarget{PictureView::decodeBound(), [frame, client, ratio](QSize full) {
                             return placeSlide(full, frame, client, ratio).deviceSize;
                         }};
}

struct BurstFigures {
    // From the first key until the last step's picture was painted; -1
    // when it never was.
    double settledMs = -1;
    // Steps whose picture reached the screen, of burstKeys.
    int painted = 0;
};

// burstKeys Enter presses burstGapMs apart, posted from a thread of their
// own as a window system queues them while the event thread is busy; a
// mark posted after the last one tells when the last step has run.
BurstFigures burst(Rig& rig) {
    BurstFigures figures;
    QElapsedTimer clock;
    std::vector<QString> paintedCaptions;
    double lastPaintMs = -1;
    bool keysDone = false;
    QString lastCaption;
    QEventLoop loop;
    const auto finishIfShown = [&] {
        if (keysDone && !paintedCaptions.empty() && paintedCaptions.back() == lastCaption)
            loop.quit();
    };
    rig.watch->onPainted = [&] {
        lastPaintMs = rig.watch->paintedMs();
        paintedCaptions.push_back(rig.window->windowTitle());
        rig.watch->arm(clock);
        finishIfShown();
    };
    QObject mark;
    clock.start();
    rig.watch->arm(clock);
    const auto start = std::chrono::steady_clock::now();
    frmImage* window = rig.window.get();
    std::thread keys([&mark, &keysDone, &lastCaption, &finishIfShown, window, start] {
        for (int i = 0; i < burstKeys; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(i * burstGapMs));
            QCoreApplication::postEvent(
                window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
        }
        // The references are the burst's, on the event thread's stack; the
        // window pointer is copied, as this thread's own copy ends first.
        QMetaObject::invokeMethod(
            &mark,
            [&keysDone, &lastCaption, &finishIfShown, window] {
                keysDone = true;
                lastCaption = window->windowTitle();
                finishIfShown();
            },
            Qt::QueuedConnection);
    });
    runEvents(burstKeys * giveUpMs, &loop);
    keys.join();
    rig.watch->onPainted = nullptr;
    if (keysDone && !paintedCaptions.empty() && paintedCaptions.back() == lastCaption)
        figures.settledMs = lastPaintMs;
    paintedCaptions.erase(std::unique(paintedCaptions.begin(), paintedCaptions.end()),
                          paintedCaptions.end());
    figures.painted = int(paintedCaptions.size());
    return figures;
}

// Bursts on prepared JPEGs, each beside the two-core decode limit of the
// same pictures measured just before it. With decode helpers the rounds
// alternate between them and decoding in process, so that the two are
// compared on the machine as it is at the time, in one run.
void burstFigures(Rig& rig, const QStringList& pictures, int rounds) {
    DecodeHelperPool* const helpers = DecodeHelperPool::installed();
    const bool both = helpers && !helpers->unavailable();
    std::printf("burst of %d Enter presses %d ms apart (JPEG 24 MP), from the first key%s:\n",
                burstKeys, burstGapMs,
                both ? "; rounds in decode helpers and in process in turn" : "");
    // Settled times and ratios to the limit, in process (true) or not.
    std::map<bool, std::vector<double>> settled;
    std::map<bool, std::vector<double>> ratios;
    for (int round = 0; round < rounds * (both ? 2 : 1); ++round) {
        const bool inProcess = both ? round % 2 == 1 : !helpers;
        DecodeHelperPool::install(inProcess ? nullptr : helpers);
        rig.restart(pictures);
        rig.timed(Action::Return);
        const double limit = twoCoreDecodeMs(pictures.mid(0, burstKeys), targetOf(*rig.window));
        runEvents(settleMs);
        const auto processor = [helpers] {
            const qint64 program = std::max<qint64>(processorMs(::getpid()), 0);
            qint64 helped = 0;
            if (helpers)
                for (const pid_t pid : helpers->helperPids())
                    helped += std::max<qint64>(processorMs(pid), 0);
            return std::pair(program, helped);
        };
        const auto before = processor();
        const BurstFigures figures = burst(rig);
        const auto after = processor();
        const double lastKey = (burstKeys - 1) * burstGapMs;
        std::printf("  round %d, %s: last picture painted at %.0f ms (%.0f ms after the last "
                    "key); two-core decode limit %.0f ms; ratio %.2f; pictures painted %d of %d; "
                    "processor ms: program %lld, helpers %lld\n",
                    round + 1, inProcess ? "in process" : "helpers", figures.settledMs,
                    figures.settledMs - lastKey, limit, figures.settledMs / limit, figures.painted,
                    burstKeys, after.first - before.first, after.second - before.second);
        if (figures.settledMs > 0) {
            settled[inProcess].push_back(figures.settledMs);
            ratios[inProcess].push_back(figures.settledMs / limit);
        }
        std::fflush(stdout);
    }
    DecodeHelperPool::install(helpers);
    if (both && !settled[false].empty() && !settled[true].empty()) {
        const double withHelpers = spreadOf(settled[false]).median;
        const double alone = spreadOf(settled[true]).median;
        std::printf("  medians: helpers %.0f ms (%.2f of the limit), in process %.0f ms (%.2f); "
                    "helpers / in process %.2f\n",
                    withHelpers, spreadOf(ratios[false]).median, alone,
                    spreadOf(ratios[true]).median, withHelpers / alone);
    }
}

// A show on the mixed list stepped only by bursts, each worked off before
// a pause: the peak resident memory of it all.
void burstShow(Rig& rig, const QStringList& pictures, int steps) {
    rig.restart(pictures);
    rig.timed(Action::Return);
    runEvents(settleMs);
    const qint64 before = residentKb();
    const bool reset = resetPeakMemory();
    WholeProgramMemory whole;
    QElapsedTimer clock;
    clock.start();
    int unsettled = 0;
    for (int done = 0; done < steps; done += burstKeys) {
        unsettled += burst(rig).settledMs < 0 ? 1 : 0;
        runEvents(settleMs);
    }
    const WholeProgramMemory::Peaks peaks = whole.stop();
    std::printf(
        "show with bursts, %d steps in bursts of %d (JPEG, TIFF and BMP mixed): %.0f s; "
        "resident before %.0f MB, peak %.0f MB%s, after %.0f MB; %d messages%s\n",
        (steps + burstKeys - 1) / burstKeys * burstKeys, burstKeys, clock.elapsed() / 1000.0,
        kbToMb(before), kbToMb(peakResidentKb()), reset ? "" : " (peak not reset)",
        kbToMb(residentKb()), int(rig.world.prompter.messages.size()),
        unsettled ? qPrintable(QStringLiteral("; %1 bursts never settled").arg(unsettled)) : "");
    std::printf("  the whole program with its %d decode helpers at its peak: resident %.0f MB "
                "summed, %.0f MB proportional (shared libraries counted once: the program %.0f, "
                "its helpers %.0f)\n",
                peaks.helpers, kbToMb(peaks.residentKb), kbToMb(peaks.proportionalKb),
                kbToMb(peaks.programProportionalKb), kbToMb(peaks.helpersProportionalKb));
    std::fflush(stdout);
}
} // namespace

// The least time two cores take to decode the pictures for the window as it
// is, with the player's own decoder: two threads taking the next file.
double twoCoreDecodeMs(const QStringList& pictures, const PictureTarget& target) {
    std::atomic_int next{0};
    QElapsedTimer clock;
    clock.start();
    const auto work = [&] {
        for (int i = next++; i < pictures.size(); i = next++)
            PictureLoader::decodeNow(pictures[i], target);
    };
    std::thread first(work);
    std::thread second(work);
    first.join();
    second.join();
    return elapsedMs(clock);
}

void benchShow(const ShowBenchOptions& options) {
    std::printf("== show ==\n");
    const QString folder = showPictureFolder(options.pictureFolder);
    const ShowPictures set = ensureShowPictures(folder);
    if (!set.ok)
        return;
    std::printf("pictures in %s: %lld JPEG 6000x4000 (%.1f MB each), %lld LZW TIFF (%.1f MB), "
                "%lld BMP (%.1f MB)\n",
                qPrintable(folder), qlonglong(set.jpegs.size()),
                QFileInfo(set.jpegs.first()).size() / 1e6, qlonglong(set.tiffs.size()),
                QFileInfo(set.tiffs.first()).size() / 1e6, qlonglong(set.bmps.size()),
                QFileInfo(set.bmps.first()).size() / 1e6);

    // Brief: the cold first step and two ticks after it.
    openedShow(set.jpegs, options.brief ? 3 : std::min<int>(options.ticks, 20));
    Rig rig;
    const QScreen* screen = rig.window->screen();
    std::printf("platform %s, screen %d x %d, player window %d x %d outside, decode bound "
                "%d x %d\n",
                qPrintable(QGuiApplication::platformName()), screen->size().width(),
                screen->size().height(), rig.window->frameGeometry().width(),
                rig.window->frameGeometry().height(), PictureView::decodeBound().width(),
                PictureView::decodeBound().height());

    // Made before the clock starts: the first run encodes them.
    const FormatPictures formats =
        options.formats ? ensureFormatPictures(formatPictureFolder({})) : FormatPictures{};
    if (options.formats && !formats.ok)
        return;

    QElapsedTimer section;
    section.start();
    std::printf("tick or key to picture painted, ms (prefetched: %d ms wait before each "
                "step, and on while the player decodes ahead; cold: steps back to back)\n",
                settleMs);
    std::printf("  %-16s %-11s %-7s %8s %8s %8s %8s %6s\n", "pictures", "mode", "action", "median",
                "p90", "p99", "max", "steps");
    // A prepared step shows a picture decoded ahead, whatever its format
    // was: the formats' rows show that it takes as long as a JPEG's.
    if (options.brief) {
        stepFigures(rig, "JPEG 24 MP", set.jpegs, 24, true);
        for (const FormatSet& format : formats.sets)
            stepFigures(rig, qPrintable(format.shortName), format.files, formatSteps, true);
    } else {
        for (const bool prefetched : {true, false}) {
            stepFigures(rig, "JPEG 24 MP", set.jpegs, 24, prefetched);
            stepFigures(rig, "TIFF LZW 24 MP", set.tiffs, 24, prefetched);
            stepFigures(rig, "BMP 24 MP", set.bmps, 8, prefetched);
            for (const FormatSet& format : formats.sets)
                stepFigures(rig, qPrintable(format.shortName), format.files, formatSteps,
                            prefetched);
        }
    }
    burstFigures(rig, set.jpegs, 3);
    const QStringList show = mixed(set);
    if (!options.brief)
        timedShow(rig, show, options.ticks);
    burstShow(rig, show, options.longSteps);
    rig.window->hide();
    if (!options.brief)
        benchShowDecodes(set.jpegs.first(), set.tiffs.first());
    std::printf("show section took %.0f s\n", section.elapsed() / 1000.0);
}
