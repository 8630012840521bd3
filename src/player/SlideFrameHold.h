#pragma once

#include <QtGlobal>
#include <chrono>
#include <optional>

// How much longer the picture on screen stays before the next one is drawn
// over it. A display shows what was drawn only at its next refresh, so a
// picture drawn over within the same frame (two decoded at once in a
// burst of keys) would never be seen; each one is held for a frame,
// counted from the end of its paint. lastPainted: when the last picture's
// paint ended, or nothing when none is on screen yet. refreshRate: the
// screen's, in Hz; one no display has (0, as some virtual screens say)
// counts as 60.
std::chrono::nanoseconds
holdBeforeNextPicture(std::optional<std::chrono::steady_clock::time_point> lastPainted,
                      std::chrono::steady_clock::time_point now, qreal refreshRate);
