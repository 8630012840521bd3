#pragma once

#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <mutex>

// The bytes all decodes running at once may hold together. Each decode
// claims what it will need before allocating it and waits while others hold
// the room, so decoding ahead on several threads never raises the peak
// beyond one budget. Shared by every thread that decodes; its own lock
// guards it. A decode helper's stand-in asks the program's budget instead
// (picture/sandbox), so the two calls are virtual.
class DecodeBudget {
public:
    explicit DecodeBudget(qint64 total)
        : total_(total) {}
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;
    virtual ~DecodeBudget() = default;

    qint64 total() const { return total_; }
    qint64 inUse() const;

    // Waits until bytes are free. False at once when bytes exceed the whole
    // budget, and as soon as *cancelled turns true.
    virtual bool acquire(qint64 bytes, const std::atomic_bool* cancelled);
    virtual void release(qint64 bytes);

private:
    const qint64 total_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    qint64 used_ = 0;
};
