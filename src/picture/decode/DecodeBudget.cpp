#include "picture/decode/DecodeBudget.h"

#include <chrono>

qint64 DecodeBudget::inUse() const {
    const std::lock_guard lock(mutex_);
    return used_;
}

bool DecodeBudget::acquire(qint64 bytes, const std::atomic_bool* cancelled) {
    if (bytes > total_)
        return false;
    std::unique_lock lock(mutex_);
    // The cancel flag is not tied to this lock, so the wait looks again now
    // and then instead of relying on a notification.
    while (used_ + bytes > total_) {
        if (cancelled && cancelled->load())
            return false;
        freed_.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (cancelled && cancelled->load())
        return false;
    used_ += bytes;
    return true;
}

void DecodeBudget::release(qint64 bytes) {
    {
        const std::lock_guard lock(mutex_);
        used_ -= bytes;
    }
    freed_.notify_all();
}
