#pragma once

#include <QtGlobal>

// The show's pace: how many seconds each slide stays. The player's + and -
// keys move it one second at a time within 1..50; the options dialog may
// have stored up to 54, which the keys leave alone until they move it down.
namespace SlidePace {
constexpr qint16 Fastest = 1;
constexpr qint16 Slowest = 50;

qint16 slower(qint16 seconds);
qint16 faster(qint16 seconds);
// The timer interval for a pace, in milliseconds: 600 per second, kept as a
// 16-bit product as the program always has (1..54 seconds fit).
int intervalMs(qint16 seconds);
} // namespace SlidePace
