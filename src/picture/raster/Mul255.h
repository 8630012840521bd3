#pragma once

#include <QtGlobal>

// a * b / 255, rounded, for 8-bit a and b: how a colour is multiplied by
// its alpha into a premultiplied pixel. Any thread.
inline uint mul255(uint a, uint b) {
    const uint t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}
