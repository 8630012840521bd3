#pragma once

#include <QRect>
#include <cmath>

// The program's three units: device-independent pixels, twips (window
// geometry, 15 to the pixel) and HIMETRIC (a picture's extent, 1/100 mm at
// 96 dots per inch).

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

// HIMETRIC from pixels at 96 dots per inch.
inline long pixelsToHimetric(long pixels) {
    return std::lround(static_cast<double>(pixels) * 2540.0 / 96.0);
}
