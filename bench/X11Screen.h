#pragma once

// The X session as a user meets it, for the burst measured on a real X
// server: keys sent through XTest, as a keyboard sends them, and the
// screen's pixels read back from the root window. Each object opens its own
// connection to the display, so that it can be used on a thread of its own
// beside Qt's; neither touches a widget.

#include <QImage>
#include <QRect>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

using SteadyTime = std::chrono::steady_clock::time_point;

// Whether this build can reach an X server (XTest found at build time).
bool x11BenchAvailable();

// Presses and releases Return count times, gapMs apart, from the time of the
// call. Returns when the last key is sent, with the time each was sent;
// empty when the display cannot be opened.
std::vector<SteadyTime> sendReturnKeys(int count, int gapMs);

// Moves the pointer to the screen's corner, so that it hides nothing the
// probe reads.
void parkPointer();

// Watches one small block of the screen and tells which of the given
// signatures it shows: the pixels each picture puts there, taken from its
// decoded copy beforehand. A polling thread reads the block about every
// millisecond and notes every change of what it shows.
class ScreenProbe {
public:
    struct Sighting {
        // Index in the signatures, -1 for none of them (a picture half
        // written, a scaled one, the background).
        int picture;
        SteadyTime at;
    };

    // block: root window coordinates; each signature has the block's size.
    ScreenProbe(QRect block, std::vector<QImage> signatures);
    ~ScreenProbe();
    bool ok() const;

    // The signature the screen shows now, -1 for none; on the caller's
    // thread.
    int showing();
    // Polls on a thread of its own until the screen shows stopAt or stop()
    // is called.
    void start(int stopAt);
    bool finished() const { return finished_; }
    // Ends the polling; the sightings are the caller's afterwards.
    std::vector<Sighting> stop();
    // The least mean difference, in levels, between two signatures: how
    // surely the probe tells the pictures apart.
    double leastDifference() const;
    // Mean difference of the block as read now from signature index, in
    // levels.
    double differenceNow(int index);

private:
    struct Connection;
    // The picture block shows, trying likely and the one after it first;
    // -1 when none.
    int classify(const QImage& block, int likely = -1) const;
    QImage read();

    QRect block_;
    std::vector<QImage> signatures_;
    std::unique_ptr<Connection> connection_;
    std::atomic_bool stopping_{false};
    std::atomic_bool finished_{false};
    std::vector<Sighting> sightings_;
    struct Poller;
    std::unique_ptr<Poller> poller_;
};
