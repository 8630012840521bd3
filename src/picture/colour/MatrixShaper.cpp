#include "picture/colour/MatrixShaper.h"

#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <lcms2.h>
#include <limits>
#include <vector>

namespace {
using Matrix = std::array<double, 9>;

constexpr cmsTagSignature colourants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                           cmsSigBlueColorantTag};
constexpr cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};

bool isSimpleRgb(cmsHPROFILE profile) {
    return cmsGetColorSpace(profile) == cmsSigRgbData && cmsIsMatrixShaper(profile);
}

// From the profile's linear red, green and blue to XYZ: its primaries as
// columns.
bool toXyz(cmsHPROFILE profile, Matrix& m) {
    for (int column = 0; column < 3; ++column) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colourants[column]));
        if (!xyz)
            return false;
        m[size_t(column)] = xyz->X;
        m[size_t(3 + column)] = xyz->Y;
        m[size_t(6 + column)] = xyz->Z;
    }
    return true;
}

bool invert(const Matrix& m, Matrix& inverse) {
    const double a = m[4] * m[8] - m[5] * m[7], b = m[5] * m[6] - m[3] * m[8],
                 c = m[3] * m[7] - m[4] * m[6];
    const double determinant = m[0] * a + m[1] * b + m[2] * c;
    if (!std::isfinite(determinant) || std::abs(determinant) < 1e-9)
        return false;
    const double f = 1 / determinant;
    inverse = {a * f, (m[2] * m[7] - m[1] * m[8]) * f, (m[1] * m[5] - m[2] * m[4]) * f,
               b * f, (m[0] * m[8] - m[2] * m[6]) * f, (m[2] * m[3] - m[0] * m[5]) * f,
               c * f, (m[1] * m[6] - m[0] * m[7]) * f, (m[0] * m[4] - m[1] * m[3]) * f};
    return true;
}

Matrix times(const Matrix& a, const Matrix& b) {
    Matrix out{};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            for (int k = 0; k < 3; ++k)
                out[size_t(3 * row + column)] += a[size_t(3 * row + k)] * b[size_t(3 * k + column)];
    return out;
}

// The colours the arithmetic is held to: a grid through the whole cube,
// with its most saturated corners (where the output clips), and every
// grey (where a curve's shape near black shows first).
std::vector<QRgb> probes() {
    std::vector<QRgb> colours;
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 15)
                colours.push_back(qRgb(r, g, b));
    for (int v = 0; v < 256; ++v)
        colours.push_back(qRgb(v, v, v));
    return colours;
}
} // namespace

std::unique_ptr<const MatrixShaper> MatrixShaper::make(void* in, void* out, void* transform) {
    if (!isSimpleRgb(in) || !isSimpleRgb(out))
        return nullptr;
    Matrix from, to, back;
    if (!toXyz(in, from) || !toXyz(out, to) || !invert(to, back))
        return nullptr;
    const Matrix m = times(back, from);
    std::array<std::array<double, 256>, 3> linear;
    std::array<cmsToneCurve*, 3> reversed{};
    const auto freeCurves = qScopeGuard([&] {
        for (cmsToneCurve* curve : reversed)
            if (curve)
                cmsFreeToneCurve(curve);
    });
    for (size_t channel = 0; channel < 3; ++channel) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(in, curves[channel]));
        const auto* outCurve = static_cast<const cmsToneCurve*>(cmsReadTag(out, curves[channel]));
        if (!curve || !outCurve || !(reversed[channel] = cmsReverseToneCurve(outCurve)))
            return nullptr;
        for (size_t level = 0; level < 256; ++level)
            linear[channel][level] = cmsEvalToneCurveFloat(curve, cmsFloat32Number(level / 255.0));
    }

    // Each output channel's 8-bit level for each step of linear light.
    std::array<std::vector<quint8>, 3> levels;
    for (size_t channel = 0; channel < 3; ++channel) {
        levels[channel].resize(steps + 1);
        for (int step = 0; step <= steps; ++step) {
            const float v =
                cmsEvalToneCurveFloat(reversed[channel], cmsFloat32Number(step) / steps);
            levels[channel][size_t(step)] = quint8(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
        }
    }

    std::unique_ptr<MatrixShaper> shaper(new MatrixShaper);
    for (size_t row = 0; row < 3; ++row) {
        // Where this output channel's sum starts, and how far it reaches.
        qint64 base = 0, span = 1;
        std::array<std::array<qint64, 256>, 3> added;
        for (size_t channel = 0; channel < 3; ++channel) {
            qint64 least = std::numeric_limits<qint64>::max(), most = 0;
            for (size_t level = 0; level < 256; ++level) {
                const double v = m[3 * row + channel] * linear[channel][level] * steps;
                if (!std::isfinite(v) || std::abs(v) > double(1 << laneBits))
                    return nullptr;
                added[channel][level] = std::llround(v);
                least = std::min(least, added[channel][level]);
                most = std::max(most, added[channel][level]);
            }
            base += least;
            span += most - least;
            for (size_t level = 0; level < 256; ++level)
                shaper->adds_[channel][level] |= quint64(added[channel][level] - least)
                                                 << (laneBits * (2 - row));
        }
        if (span >= qint64(1) << laneBits)
            return nullptr;
        std::vector<quint8>& encoded = shaper->encoded_[row];
        encoded.resize(size_t(span));
        for (qint64 i = 0; i < span; ++i)
            encoded[size_t(i)] =
                levels[row][size_t(std::clamp(base + i, qint64(0), qint64(steps)))];
    }

    // Black-point compensation, chromatic adaptation or a curve lcms2
    // reads otherwise would show as a difference here: then lcms2 stays.
    std::vector<QRgb> expected = probes(), got = expected;
    cmsDoTransform(transform, expected.data(), expected.data(), cmsUInt32Number(expected.size()));
    shaper->map(got.data(), int(got.size()));
    for (size_t i = 0; i < got.size(); ++i)
        if (std::abs(qRed(got[i]) - qRed(expected[i])) > 1 ||
            std::abs(qGreen(got[i]) - qGreen(expected[i])) > 1 ||
            std::abs(qBlue(got[i]) - qBlue(expected[i])) > 1)
            return nullptr;
    return shaper;
}

void MatrixShaper::map(QRgb* pixels, int count) const {
    constexpr quint64 lane = (quint64(1) << laneBits) - 1;
    const quint8* red = encoded_[0].data();
    const quint8* green = encoded_[1].data();
    const quint8* blue = encoded_[2].data();
    for (int i = 0; i < count; ++i) {
        const QRgb pixel = pixels[i];
        const quint64 sum = adds_[0][size_t(qRed(pixel))] + adds_[1][size_t(qGreen(pixel))] +
                            adds_[2][size_t(qBlue(pixel))];
        pixels[i] = (pixel & 0xFF000000u) | QRgb(red[sum >> (2 * laneBits)]) << 16 |
                    QRgb(green[(sum >> laneBits) & lane]) << 8 | QRgb(blue[sum & lane]);
    }
}
