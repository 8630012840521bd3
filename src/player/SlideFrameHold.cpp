#include "player/SlideFrameHold.h"

#include <algorithm>
#include <cmath>

std::chrono::nanoseconds
holdBeforeNextPicture(std::optional<std::chrono::steady_clock::time_point> lastPainted,
                      std::chrono::steady_clock::time_point now, qreal refreshRate) {
    if (!lastPainted)
        return {};
    const qreal hertz =
        std::isfinite(refreshRate) && refreshRate >= 20 && refreshRate <= 1000 ? refreshRate : 60.0;
    const std::chrono::nanoseconds frame(qint64(std::ceil(1e9 / hertz)));
    return std::max(
        std::chrono::nanoseconds::zero(),
        std::chrono::duration_cast<std::chrono::nanoseconds>(*lastPainted + frame - now));
}
