#pragma once

#include <QRect>
#include <cmath>

// Window geometry is designed in twips; 15 twips make one logical pixel.
constexpr int twipsToPixels(double twips) {
    return static_cast<int>(twips >= 0 ? twips / 15.0 + 0.5 : twips / 15.0 - 0.5);
}

constexpr double pixelsToTwips(double pixels) {
    return pixels * 15.0;
}

// Left, top, width, height in twips. The far edges are rounded too, so that
// controls that touch in twips touch in pixels.
inline QRect twipsRect(double left, double top, double width, double height) {
    const int x = twipsToPixels(left);
    const int y = twipsToPixels(top);
    return QRect(x, y, twipsToPixels(left + width) - x, twipsToPixels(top + height) - y);
}
