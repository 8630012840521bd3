#include "show/SlidePace.h"

namespace SlidePace {

qint16 slower(qint16 seconds) {
    return seconds < Slowest ? static_cast<qint16>(seconds + 1) : seconds;
}

qint16 faster(qint16 seconds) {
    return seconds > Fastest ? static_cast<qint16>(seconds - 1) : seconds;
}

int intervalMs(qint16 seconds) {
    return static_cast<qint16>(seconds * 600);
}

} // namespace SlidePace
