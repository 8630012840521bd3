#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// A picture as shown: a copy no larger than the decoder's bound, in the
// display format (RGB32, or ARGB32 premultiplied where it has alpha), and
// the full picture's size, both upright (EXIF or TIFF orientation applied).
struct DecodedPicture {
    QImage image;
    QSize fullSize;
    // The colour profile embedded in the file (ICC bytes), empty when it has none.
    QByteArray iccProfile;
};
