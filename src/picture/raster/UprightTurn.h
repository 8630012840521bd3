#pragma once

class QImage;

// Pictures carry how they are stored against how they are seen as an
// orientation code, the same in TIFF and EXIF: 1 as seen, 2 mirrored,
// 3 upside down, 4 flipped, and 5 to 8 with rows and columns swapped (6 is
// a camera turned right, 8 turned left). Anything else counts as 1.

// Whether the picture seen is the stored one with width and height swapped.
bool turnsSideways(int orientation);

// The stored picture, in a 32-bit format, as seen. A new image for every
// orientation but 1.
QImage turnUpright(const QImage& stored, int orientation);
