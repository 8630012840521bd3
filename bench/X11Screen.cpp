#include "X11Screen.h"

#include "support/PictureFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <pthread.h>
#include <thread>

#if KAVELO_BENCH_X11
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#endif

#if KAVELO_BENCH_X11

bool x11BenchAvailable() {
    return true;
}

namespace {
struct Display_ {
    Display* display = XOpenDisplay(nullptr);
    ~Display_() {
        if (display)
            XCloseDisplay(display);
    }
};
} // namespace

std::vector<SteadyTime> sendReturnKeys(int count, int gapMs) {
    ::pthread_setname_np(::pthread_self(), "keys");
    Display_ x;
    std::vector<SteadyTime> sent;
    if (!x.display)
        return sent;
    const KeyCode code = XKeysymToKeycode(x.display, XK_Return);
    const SteadyTime start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(i * gapMs));
        sent.push_back(std::chrono::steady_clock::now());
        XTestFakeKeyEvent(x.display, code, True, CurrentTime);
        XTestFakeKeyEvent(x.display, code, False, CurrentTime);
        XFlush(x.display);
    }
    XSync(x.display, False);
    return sent;
}

void parkPointer() {
    Display_ x;
    if (!x.display)
        return;
    const int screen = DefaultScreen(x.display);
    XTestFakeMotionEvent(x.display, screen, DisplayWidth(x.display, screen) - 1,
                         DisplayHeight(x.display, screen) - 1, CurrentTime);
    XSync(x.display, False);
}

struct ScreenProbe::Connection {
    Display_ x;
};

struct ScreenProbe::Poller {
    std::thread thread;
};

ScreenProbe::ScreenProbe(QRect block, std::vector<QImage> signatures)
    : block_(block)
    , signatures_(std::move(signatures))
    , connection_(std::make_unique<Connection>()) {}

ScreenProbe::~ScreenProbe() {
    stop();
}

bool ScreenProbe::ok() const {
    return connection_->x.display != nullptr;
}

QImage ScreenProbe::read() {
    Display* display = connection_->x.display;
    XImage* got =
        XGetImage(display, DefaultRootWindow(display), block_.x(), block_.y(),
                  unsigned(block_.width()), unsigned(block_.height()), AllPlanes, ZPixmap);
    if (!got)
        return {};
    QImage block(block_.size(), QImage::Format_RGB32);
    const bool plain = got->bits_per_pixel == 32 && got->red_mask == 0xff0000 &&
                       got->green_mask == 0xff00 && got->blue_mask == 0xff &&
                       got->byte_order == LSBFirst;
    for (int y = 0; y < block_.height(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(block.scanLine(y));
        if (plain) {
            const auto* row = reinterpret_cast<const quint32*>(got->data + y * got->bytes_per_line);
            for (int x = 0; x < block_.width(); ++x)
                out[x] = 0xff000000u | row[x];
        } else {
            for (int x = 0; x < block_.width(); ++x) {
                const unsigned long pixel = XGetPixel(got, x, y);
                out[x] = qRgb(int((pixel & got->red_mask) >> 16),
                              int((pixel & got->green_mask) >> 8), int(pixel & got->blue_mask));
            }
        }
    }
    XDestroyImage(got);
    return block;
}

int ScreenProbe::classify(const QImage& block, int likely) const {
    // A picture drawn at the size it was decoded at shows its own pixels;
    // a level and a half allows for nothing more than rounding.
    constexpr double sameBelow = 1.5;
    // The picture seen last, or the one after it, nearly always: tried
    // first, the probe spends little time between its reads.
    for (const int i : {likely, likely + 1})
        if (i >= 0 && std::size_t(i) < signatures_.size() &&
            meanDifference(block, signatures_[std::size_t(i)]) < sameBelow)
            return i;
    for (std::size_t i = 0; i < signatures_.size(); ++i)
        if (meanDifference(block, signatures_[i]) < sameBelow)
            return int(i);
    return -1;
}

int ScreenProbe::showing() {
    return classify(read());
}

double ScreenProbe::differenceNow(int index) {
    return meanDifference(read(), signatures_.at(std::size_t(index)));
}

double ScreenProbe::leastDifference() const {
    double least = 255;
    for (std::size_t i = 0; i < signatures_.size(); ++i)
        for (std::size_t j = i + 1; j < signatures_.size(); ++j)
            least = std::min(least, meanDifference(signatures_[i], signatures_[j]));
    return least;
}

void ScreenProbe::start(int stopAt) {
    stop();
    sightings_.clear();
    stopping_ = false;
    finished_ = false;
    poller_ = std::make_unique<Poller>();
    // The poller alone uses the connection until stop() joins it. It reads
    // once a millisecond: reading more often (it read every half
    // millisecond) takes the X server and this thread from the two cores the
    // show decodes on, a tenth of them, and slows what it measures.
    poller_->thread = std::thread([this, stopAt] {
        ::pthread_setname_np(::pthread_self(), "probe");
        int last = -2;
        auto next = std::chrono::steady_clock::now();
        while (!stopping_) {
            const int now = classify(read(), last);
            if (now != last) {
                sightings_.push_back({now, std::chrono::steady_clock::now()});
                last = now;
                if (now == stopAt)
                    break;
            }
            next += std::chrono::milliseconds(1);
            next = std::max(next, std::chrono::steady_clock::now());
            std::this_thread::sleep_until(next);
        }
        finished_ = true;
    });
}

std::vector<ScreenProbe::Sighting> ScreenProbe::stop() {
    if (!poller_)
        return sightings_;
    stopping_ = true;
    poller_->thread.join();
    poller_.reset();
    return sightings_;
}

#else

bool x11BenchAvailable() {
    return false;
}
std::vector<SteadyTime> sendReturnKeys(int, int) {
    return {};
}
void parkPointer() {}
struct ScreenProbe::Connection {};
struct ScreenProbe::Poller {};
ScreenProbe::ScreenProbe(QRect block, std::vector<QImage> signatures)
    : block_(block)
    , signatures_(std::move(signatures)) {}
ScreenProbe::~ScreenProbe() = default;
bool ScreenProbe::ok() const {
    return false;
}
int ScreenProbe::showing() {
    return -1;
}
double ScreenProbe::differenceNow(int) {
    return 255;
}
double ScreenProbe::leastDifference() const {
    return 0;
}
void ScreenProbe::start(int) {
    finished_ = true;
}
std::vector<ScreenProbe::Sighting> ScreenProbe::stop() {
    return {};
}
QImage ScreenProbe::read() {
    return {};
}
int ScreenProbe::classify(const QImage&, int) const {
    return -1;
}

#endif
