#pragma once

#include <QRgb>

// The colour CMYK inks show without a colour profile: each ink's paper
// (what it leaves white, 255 - ink, as Adobe's CMYK JPEGs store it) times
// the black ink's, over 255, truncated as libtiff's RGBA reader and Qt's
// JPEG reader mix them. Every decoder that meets inks no profile converts
// mixes them here, so a picture looks the same whichever format carries it.
// Any thread.

// One channel: the level left by an ink's paper and the black ink's.
inline uint plainInkLevel(uint paper, uint blackPaper) {
    return paper * blackPaper / 255;
}

// An opaque pixel from the papers of cyan, magenta, yellow and black.
inline QRgb plainInkColour(uint cyanPaper, uint magentaPaper, uint yellowPaper, uint blackPaper) {
    return qRgb(int(plainInkLevel(cyanPaper, blackPaper)),
                int(plainInkLevel(magentaPaper, blackPaper)),
                int(plainInkLevel(yellowPaper, blackPaper)));
}
