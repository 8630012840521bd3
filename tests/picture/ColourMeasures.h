#pragma once

#include <QImage>

// What the colour tests measure pictures with: the swatches they make
// pictures of, and CIEDE2000 between two renderings.

// Flat swatches of 16 x 16 (whole JPEG blocks) above a band of gradients:
// reds, greens, blues, skin, greys, a saturated yellow, near black and white.
QImage swatches();

// CIEDE2000 between two pictures of the same size, as seen in sRGB: the
// mean over every pixel and the largest, lcms2's cmsCIE2000DeltaE on the
// Lab values lcms2 gives them.
struct Difference {
    double mean = 0;
    double max = 0;
};
Difference difference(const QImage& a, const QImage& b);
