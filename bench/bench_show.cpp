// Figures for a slide show as the user sees it, on a real player window and
// a real slide list of camera-sized pictures: how long after a tick or key
// the new picture is on screen, how long the event thread stays busy, how
// far a timed show drifts and how much memory a long show takes.

#include "BenchShow.h"
#include "BenchSupport.h"
#include "PaintWatch.h"
#include "ShowPictures.h"
#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/Fakes.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {
// Longer than any decode of these pictures, so that a player decoding
// ahead has its next picture ready.
constexpr int settleMs = 1000;
// A step that has not painted by then is reported as lost.
constexpr int giveUpMs = 15000;

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
    std::printf("  %-14s %-11s %-7s %8.1f %8.1f %8.1f %6zu\n", kind, mode, action,
                percentile(ms, 0.5), percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()),
                ms.size());
}

// A player window on its own slide list, maximized as the explorer opens it,
// with its timer stopped until a measurement starts it.
struct Rig {
    Rig() {
        window = std::make_unique<frmImage>(world.context(), list, state);
        window->Form_Load();
        window->Timer1->stop();
        window->show();
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

    FakeWorld world;
    SlideListModel list;
    SlideStepper state;
    std::unique_ptr<frmImage> window;
    std::unique_ptr<PaintWatch> watch;
};

// Steps through pictures, waiting settleMs before each step when
// prefetched, and prints a row for each action and one for all of them.
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
            runEvents(settleMs);
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

void longShow(Rig& rig, const QStringList& pictures, int steps) {
    rig.restart(pictures);
    QApplication::processEvents();
    const qint64 before = residentKb();
    const bool reset = resetPeakMemory();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < steps; ++i) {
        rig.perform(Action::Return);
        QApplication::processEvents();
    }
    std::printf("long show, %d steps by Return (JPEG, TIFF and BMP mixed): %.0f s; resident "
                "before %.0f MB, peak %.0f MB%s, after %.0f MB; %d messages\n",
                steps, clock.elapsed() / 1000.0, kbToMb(before), kbToMb(peakResidentKb()),
                reset ? "" : " (peak not reset)", kbToMb(residentKb()),
                int(rig.world.prompter.messages.size()));
    std::fflush(stdout);
}
} // namespace

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

    openedShow(set.jpegs, std::min<int>(options.ticks, 20));
    Rig rig;
    const QScreen* screen = rig.window->screen();
    std::printf("platform %s, screen %d x %d, player window %d x %d outside, decode bound "
                "%d x %d\n",
                qPrintable(QGuiApplication::platformName()), screen->size().width(),
                screen->size().height(), rig.window->frameGeometry().width(),
                rig.window->frameGeometry().height(), PictureView::decodeBound().width(),
                PictureView::decodeBound().height());

    QElapsedTimer section;
    section.start();
    std::printf("tick or key to picture painted, ms (prefetched: %d ms wait before each "
                "step; cold: steps back to back)\n",
                settleMs);
    std::printf("  %-14s %-11s %-7s %8s %8s %8s %6s\n", "pictures", "mode", "action", "median",
                "p99", "max", "steps");
    for (const bool prefetched : {true, false}) {
        stepFigures(rig, "JPEG 24 MP", set.jpegs, 24, prefetched);
        stepFigures(rig, "TIFF LZW 24 MP", set.tiffs, 24, prefetched);
        stepFigures(rig, "BMP 24 MP", set.bmps, 8, prefetched);
    }
    const QStringList show = mixed(set);
    timedShow(rig, show, options.ticks);
    longShow(rig, show, options.longSteps);
    rig.window->hide();
    benchShowDecodes(set.jpegs.first(), set.tiffs.first());
    std::printf("show section took %.0f s\n", section.elapsed() / 1000.0);
}
