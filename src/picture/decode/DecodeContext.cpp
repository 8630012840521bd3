#include "picture/decode/DecodeContext.h"

#include "picture/decode/DecodeBudget.h"
#include "picture/raster/PictureFit.h"

#include <algorithm>

DecodeContext::DecodeContext(QSize bound, qint64 limit, DecodeBudget* shared,
                             const std::atomic_bool* cancelled)
    : bound_(bound)
    , limit_(shared ? std::min(limit, shared->total()) : limit)
    , shared_(shared)
    , cancelled_(cancelled) {}

QSize DecodeContext::shownSize(QSize upright) const {
    const QSize shown = shrinkToFit(upright, bound_);
    if (!drawSize_)
        return shown;
    const QSize drawn = drawSize_(upright);
    // A drawn size larger than the bound (or none) leaves the bound's.
    return !drawn.isEmpty() && drawn.width() <= shown.width() && drawn.height() <= shown.height()
               ? drawn
               : shown;
}

DecodeContext::~DecodeContext() {
    if (shared_ && held_ > 0)
        shared_->release(held_);
}

bool DecodeContext::reserve(qint64 totalBytes) {
    if (totalBytes > limit_ || isCancelled())
        return false;
    if (totalBytes <= held_)
        return true;
    if (shared_) {
        // Let go before waiting for the larger claim: a decode that held
        // part of the budget while waiting for more could wait on another
        // doing the same.
        shared_->release(held_);
        held_ = 0;
        if (!shared_->acquire(totalBytes, cancelled_))
            return false;
    }
    held_ = totalBytes;
    return true;
}

bool DecodeContext::isCancelled() const {
    return cancelled_ && cancelled_->load(std::memory_order_relaxed);
}
