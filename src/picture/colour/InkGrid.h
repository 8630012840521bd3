#pragma once

#include <QRgb>
#include <QtGlobal>
#include <array>
#include <functional>
#include <memory>
#include <vector>

// A CMYK profile's conversion of inks to screen colours, sampled once on a
// grid of 17 levels per ink and interpolated between its points: each
// pixel's cyan, magenta and yellow tetrahedrally (as the ICC's lookup
// tables are read) at the two black levels around it, then between those.
// lcms2's own 8-bit path for CMYK does much the same, but at about twenty
// times the cost per pixel.
//
// Pixels come in as ColourConversion's inks (the bytes C, M, Y, K, each as
// the paper left white) and go out as opaque 0xFFRRGGBB.
//
// Immutable once made: any number of threads map rows with one grid.
class InkGrid {
public:
    // Converts count pixels of inks in place, as lcms2 would: the grid's
    // points are taken from it.
    using Sampler = std::function<void(quint32* inks, int count)>;
    static std::unique_ptr<const InkGrid> make(const Sampler& sample);

    void map(quint32* pixels, int count) const;

    static constexpr int points = 17;

private:
    InkGrid() = default;

    // A point's colour with red, green and blue in 21-bit lanes of one word,
    // so that one multiplication weights all three and the sums of both
    // interpolations stay within their lanes.
    std::vector<quint64> grid_;
    // For each 8-bit level: the grid point at or below it along an axis
    // (as an offset into the grid) and how far it lies towards the next, in
    // 256ths (in 32nds for black).
    std::array<std::array<quint32, 256>, 4> below_{};
    std::array<quint16, 256> towards_{};
};
