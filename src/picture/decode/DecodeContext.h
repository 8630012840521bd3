#pragma once

#include <QSize>
#include <QtGlobal>
#include <atomic>
#include <functional>

class DecodeBudget;

// The reasons every decoder gives for the refusals they share.
inline constexpr const char* memoryMessage = "the picture needs more memory than allowed";
inline constexpr const char* cutShortMessage = "the file is cut short";

// What one decode may do: the size its picture is shown at most (upright),
// the bytes it may hold at once, and whether its caller still wants it.
// Belongs to the thread running the decode; only the shared budget and the
// cancel flag are touched by other threads.
class DecodeContext {
public:
    // shared: the budget this decode's claim comes out of, or null for a
    // decode limited only by limit. cancelled: set by the caller to stop the
    // decode at its next check, or null.
    DecodeContext(QSize bound, qint64 limit, DecodeBudget* shared = nullptr,
                  const std::atomic_bool* cancelled = nullptr);
    ~DecodeContext();
    DecodeContext(const DecodeContext&) = delete;
    DecodeContext& operator=(const DecodeContext&) = delete;

    QSize bound() const { return bound_; }
    // The size a picture of the given full size (upright) is drawn at, when
    // the caller knows it: the decode then shrinks once, straight to it,
    // rather than to the bound and again for the screen. Runs on the
    // decoding thread.
    void setDrawSize(std::function<QSize(QSize)> drawSize) { drawSize_ = std::move(drawSize); }
    // The size a picture of the given full size is decoded at: within the
    // bound, and the drawn size where that is smaller still.
    QSize shownSize(QSize upright) const;
    qint64 limit() const { return limit_; }

    // Claims room for everything the decode holds at once: the library's
    // buffers, the decoded picture and every copy made of it. A later call
    // replaces the claim with its new total. False when the total exceeds
    // the limit or the decode was cancelled while waiting for room.
    bool reserve(qint64 totalBytes);
    qint64 reserved() const { return held_; }
    bool isCancelled() const;

private:
    QSize bound_;
    std::function<QSize(QSize)> drawSize_;
    qint64 limit_;
    DecodeBudget* shared_;
    const std::atomic_bool* cancelled_;
    qint64 held_ = 0;
};
