#include "picture/colour/InkGrid.h"

#include <algorithm>

namespace {
constexpr int last = InkGrid::points - 1;
constexpr int laneBits = 21;
// Offsets of a step along each ink in the grid: cyan the fastest.
constexpr quint32 stride[4] = {1, InkGrid::points, InkGrid::points* InkGrid::points,
                               InkGrid::points* InkGrid::points* InkGrid::points};

// The second and third corners of the tetrahedron for each order of the
// cyan, magenta and yellow fractions (bit 0: c >= m, bit 1: m >= y, bit 2:
// c >= y): a step along the largest, then along the next largest too.
struct Corners {
    quint32 first, second;
};
constexpr Corners cornersByOrder[8] = {
    {stride[2], stride[2] + stride[1]}, // y > m > c
    {stride[2], stride[2] + stride[0]}, // y > c >= m
    {stride[1], stride[1] + stride[2]}, // m >= y > c
    {stride[0], stride[0] + stride[1]}, // not possible: c >= m >= y > c
    {stride[1], stride[1] + stride[0]}, // not possible: c >= y > m > c
    {stride[0], stride[0] + stride[2]}, // c >= y > m
    {stride[1], stride[1] + stride[0]}, // m > c >= y
    {stride[0], stride[0] + stride[1]}, // c >= m >= y
};

int levelOf(int point) {
    return (point * 255 + last / 2) / last;
}

quint64 lanes(quint32 colour) {
    return quint64(qRed(colour)) << (2 * laneBits) | quint64(qGreen(colour)) << laneBits |
           quint64(qBlue(colour));
}
} // namespace

std::unique_ptr<const InkGrid> InkGrid::make(const Sampler& sample) {
    std::vector<quint32> inks;
    inks.reserve(size_t(stride[3]) * points);
    for (int k = 0; k < points; ++k)
        for (int y = 0; y < points; ++y)
            for (int m = 0; m < points; ++m)
                for (int c = 0; c < points; ++c)
                    inks.push_back(quint32(levelOf(c)) | quint32(levelOf(m)) << 8 |
                                   quint32(levelOf(y)) << 16 | quint32(levelOf(k)) << 24);
    sample(inks.data(), int(inks.size()));
    std::unique_ptr<InkGrid> grid(new InkGrid);
    grid->grid_.reserve(inks.size());
    for (quint32 colour : inks)
        grid->grid_.push_back(lanes(colour));

    // Level 255 counts as all the way from the last point but one, so that
    // the next points up each axis are still inside the grid.
    int point = 0;
    for (int level = 0; level < 256; ++level) {
        while (point < last - 1 && levelOf(point + 1) <= level)
            ++point;
        const int from = levelOf(point), to = levelOf(point + 1);
        grid->towards_[size_t(level)] =
            quint16(((level - from) * 256 + (to - from) / 2) / (to - from));
        for (size_t ink = 0; ink < 4; ++ink)
            grid->below_[ink][size_t(level)] = quint32(point) * stride[ink];
    }
    return grid;
}

void InkGrid::map(quint32* pixels, int count) const {
    constexpr quint32 c1 = stride[0], m1 = stride[1], y1 = stride[2], k1 = stride[3];
    for (int i = 0; i < count; ++i) {
        const quint32 p = pixels[i];
        const size_t c = p & 0xFF, m = (p >> 8) & 0xFF, y = (p >> 16) & 0xFF, k = p >> 24;
        const quint64* at =
            grid_.data() + below_[0][c] + below_[1][m] + below_[2][y] + below_[3][k];
        const quint64 fc = towards_[c], fm = towards_[m], fy = towards_[y];
        // The cube between the points splits into six tetrahedra by the
        // order of the three fractions; each corner's weight is the gap
        // between two of them, and the weights add up to 256. The order
        // picks the corners from a table rather than by branches, which
        // a photo's noise would make the processor guess wrong half the
        // time. The same corners are read at the black level above.
        const quint64 most = std::max({fc, fm, fy}), least = std::min({fc, fm, fy});
        const quint64 middle = fc + fm + fy - most - least;
        const Corners corners =
            cornersByOrder[size_t(fc >= fm) | size_t(fm >= fy) << 1 | size_t(fc >= fy) << 2];
        const quint32 o1 = corners.first, o2 = corners.second;
        const quint64 w0 = 256 - most, w1 = most - middle, w2 = middle - least, w3 = least;
        constexpr quint32 o3 = c1 + m1 + y1;
        const auto tetrahedron = [&](const quint64* at) {
            return at[0] * w0 + at[o1] * w1 + at[o2] * w2 + at[o3] * w3;
        };
        // Between the two black levels in 32nds: each lane then holds at
        // most 255 * 256 * 32, just within its 21 bits. Most pixels of a
        // separation carry no black ink, or sit on a level of the grid:
        // then one level is read.
        const quint64 fk = (towards_[k] + 4) >> 3;
        const quint64 weighted = fk == 0 ? tetrahedron(at) * 32
                                 : fk == 32
                                     ? tetrahedron(at + k1) * 32
                                     : tetrahedron(at) * (32 - fk) + tetrahedron(at + k1) * fk;
        const quint64 sum = weighted + ((quint64(1) << 12) * 0x40000200001ull);
        pixels[i] = 0xFF000000u | quint32((sum >> (2 * laneBits + 13)) & 0xFF) << 16 |
                    quint32(((sum >> laneBits) >> 13) & 0xFF) << 8 | quint32((sum >> 13) & 0xFF);
    }
}
