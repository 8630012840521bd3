#include "picture/decode/TiffRowConverter.h"

#include "picture/colour/PlainInks.h"
#include "picture/raster/Mul255.h"

#include <algorithm>
#include <cstring>

namespace {
inline QRgb opaque(uint r, uint g, uint b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Colours already multiplied by their alpha must not exceed it, or the
// premultiplied pixel is invalid and later blending overflows.
inline QRgb associated(uint r, uint g, uint b, uint a) {
    return (a << 24) | (std::min(r, a) << 16) | (std::min(g, a) << 8) | std::min(b, a);
}

inline QRgb unassociated(uint r, uint g, uint b, uint a) {
    return (a << 24) | (mul255(r, a) << 16) | (mul255(g, a) << 8) | mul255(b, a);
}

// One colour from an ink and the black ink, both already multiplied by
// alpha: a * (1 - ink / a) * (1 - black / a).
inline uint premultipliedInk(uint ink, uint black, uint a) {
    if (a == 0)
        return 0;
    return (a - std::min(ink, a)) * (a - std::min(black, a)) / a;
}
// The samples of each byte value, first in the high bits, for 1, 2 and 4
// bits a sample.
const std::array<std::array<uchar, 8>, 256>& unpackTable(int bits) {
    static const auto make = [](int b) {
        std::array<std::array<uchar, 8>, 256> table{};
        const int perByte = 8 / b;
        for (int v = 0; v < 256; ++v)
            for (int k = 0; k < perByte; ++k)
                table[size_t(v)][size_t(k)] =
                    uchar((v >> ((perByte - 1 - k) * b)) & ((1 << b) - 1));
        return table;
    };
    static const std::array<std::array<uchar, 8>, 256> one = make(1), two = make(2), four = make(4);
    return bits == 1 ? one : bits == 2 ? two : four;
}
} // namespace

TiffRowConverter::TiffRowConverter(Colour colour, int bitsPerSample, int samplesPerPixel,
                                   TiffAlpha alpha)
    : colour_(colour)
    , bits_(bitsPerSample)
    , samples_(samplesPerPixel)
    , alpha_(alpha) {}

std::array<QRgb, 256> TiffRowConverter::greyTable(int bitsPerSample, bool whiteIsZero) {
    const int top = bitsPerSample >= 8 ? 255 : (1 << bitsPerSample) - 1;
    std::array<QRgb, 256> table{};
    for (int v = 0; v <= top; ++v) {
        const uint level = uint((v * 255 + top / 2) / top);
        const uint grey = whiteIsZero ? 255 - level : level;
        table[size_t(v)] = opaque(grey, grey, grey);
    }
    return table;
}

bool TiffRowConverter::isSupported() const {
    const int withAlpha = alpha_ == TiffAlpha::None ? 0 : 1;
    switch (colour_) {
    case Colour::Indexed:
        if (bits_ == 8 || bits_ == 16)
            return samples_ >= 1 + withAlpha;
        return (bits_ == 1 || bits_ == 2 || bits_ == 4) && samples_ == 1 && !withAlpha;
    case Colour::Rgb:
        return (bits_ == 8 || bits_ == 16) && samples_ >= 3 + withAlpha;
    case Colour::Cmyk:
        return (bits_ == 8 || bits_ == 16) && samples_ >= 4 + withAlpha;
    }
    return false;
}

qint64 TiffRowConverter::workingBytes(qint64 width, int samplesPerPixel) {
    return width * samplesPerPixel + width;
}

bool TiffRowConverter::keepInks() {
    inks_ = colour_ == Colour::Cmyk && alpha_ == TiffAlpha::None;
    return inks_;
}

const uchar* TiffRowConverter::eightBit(const uchar* samples, int width) {
    if (bits_ == 8)
        return samples;
    if (bits_ == 16) {
        const size_t count = size_t(width) * size_t(samples_);
        narrowed_.resize(count);
        const auto* wide = reinterpret_cast<const quint16*>(samples);
        for (size_t i = 0; i < count; ++i)
            narrowed_[i] = uchar(wide[i] >> 8);
        return narrowed_.data();
    }
    // 1, 2 or 4 bits, one sample a pixel, the first in the high bits: each
    // byte's samples are looked up whole, since fax pages of a billion
    // pixels come this way.
    narrowed_.resize(size_t(width) + 8);
    const int perByte = 8 / bits_;
    const auto& table = unpackTable(bits_);
    uchar* out = narrowed_.data();
    const int whole = width / perByte;
    for (int i = 0; i < whole; ++i)
        std::memcpy(out + i * perByte, table[samples[i]].data(), size_t(perByte));
    if (whole * perByte < width)
        std::memcpy(out + whole * perByte, table[samples[whole]].data(), size_t(perByte));
    return narrowed_.data();
}

void TiffRowConverter::convert(const uchar* samples, int width, QRgb* out) {
    const uchar* s = eightBit(samples, width);
    const int n = bits_ < 8 ? 1 : samples_;
    switch (colour_) {
    case Colour::Indexed:
        if (alpha_ == TiffAlpha::None) {
            for (int x = 0; x < width; ++x, s += n)
                out[x] = table_[s[0]];
        } else {
            for (int x = 0; x < width; ++x, s += n) {
                const QRgb c = table_[s[0]];
                out[x] = alpha_ == TiffAlpha::Associated
                             ? associated(qRed(c), qGreen(c), qBlue(c), s[1])
                             : unassociated(qRed(c), qGreen(c), qBlue(c), s[1]);
            }
        }
        break;
    case Colour::Rgb:
        if (alpha_ == TiffAlpha::None) {
            for (int x = 0; x < width; ++x, s += n)
                out[x] = opaque(s[0], s[1], s[2]);
        } else if (alpha_ == TiffAlpha::Associated) {
            for (int x = 0; x < width; ++x, s += n)
                out[x] = associated(s[0], s[1], s[2], s[3]);
        } else {
            for (int x = 0; x < width; ++x, s += n)
                out[x] = unassociated(s[0], s[1], s[2], s[3]);
        }
        break;
    case Colour::Cmyk:
        if (inks_) {
            // The paper left white by each ink, in the order stored.
            for (int x = 0; x < width; ++x, s += n) {
                quint32 inks;
                std::memcpy(&inks, s, 4);
                out[x] = ~inks;
            }
        } else if (alpha_ == TiffAlpha::None) {
            for (int x = 0; x < width; ++x, s += n)
                out[x] = plainInkColour(255u - s[0], 255u - s[1], 255u - s[2], 255u - s[3]);
        } else if (alpha_ == TiffAlpha::Associated) {
            for (int x = 0; x < width; ++x, s += n) {
                const uint a = s[4];
                out[x] = (a << 24) | (premultipliedInk(s[0], s[3], a) << 16) |
                         (premultipliedInk(s[1], s[3], a) << 8) | premultipliedInk(s[2], s[3], a);
            }
        } else {
            for (int x = 0; x < width; ++x, s += n) {
                const uint black = 255u - s[3];
                out[x] = unassociated(plainInkLevel(255u - s[0], black),
                                      plainInkLevel(255u - s[1], black),
                                      plainInkLevel(255u - s[2], black), s[4]);
            }
        }
        break;
    }
}
