#pragma once

#include <QRgb>
#include <array>
#include <memory>
#include <vector>

// The conversion between two RGB profiles of the simple kind nearly every
// camera, phone and screen profile is (a tone curve per channel and a
// matrix to XYZ), done in plain arithmetic: each level through its input
// curve, the 3 x 3 matrix from one profile's primaries to the other's, and
// a table back through the output curve. lcms2 does the same maths but
// calls out per pixel to unpack, evaluate and pack it; this is several
// times faster for a screenful of pixels.
//
// make() builds it only where the arithmetic gives what lcms2's own
// transform gives (checked on a grid of colours and every grey); anything
// else stays with lcms2.
//
// Immutable once made: any number of threads map rows with one object.
class MatrixShaper {
public:
    // in and out: lcms2 profiles (cmsHPROFILE); transform: lcms2's 32-bit
    // BGRA transform between them, the reference it must agree with.
    static std::unique_ptr<const MatrixShaper> make(void* in, void* out, void* transform);

    // Converts count 0xAARRGGBB pixels in place, keeping their alpha.
    void map(QRgb* pixels, int count) const;

private:
    MatrixShaper() = default;

    // Steps of the linear light between 0 and 1 in the output tables: fine
    // enough that the steepest curve (sRGB's near black) moves less than a
    // fifth of a level between two of them.
    static constexpr int steps = 16383;
    // Each output channel's sum in a 21-bit lane of one 64-bit word.
    static constexpr int laneBits = 21;

    // For each input channel and level: what it adds to the three output
    // channels' linear light, in steps, less the least it ever adds, so
    // that no lane goes below zero and three words simply add up.
    std::array<std::array<quint64, 256>, 3> adds_{};
    // For each output channel: from a lane's sum to the 8-bit level, the
    // values outside 0-1 (colours the output cannot show) clipped.
    std::array<std::vector<quint8>, 3> encoded_;
};
