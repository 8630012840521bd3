#include "picture/decode/TiffSampleRows.h"

#include "picture/colour/PlainInks.h"
#include "picture/decode/TiffField.h"
#include "picture/raster/Mul255.h"

#include <QFloat16>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// The samples of one colour model before any extra ones.
int colourSamplesOf(int photometric) {
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_PALETTE:
        return 1;
    case PHOTOMETRIC_RGB:
        return 3;
    case PHOTOMETRIC_SEPARATED:
        return 4;
    default:
        return 0;
    }
}
} // namespace

bool TiffSampleRows::handles(TIFF* tiff) {
    const auto photometric = tiffField<quint16>(tiff, TIFFTAG_PHOTOMETRIC);
    const auto bits = tiffField<quint16>(tiff, TIFFTAG_BITSPERSAMPLE);
    const auto format = tiffField<quint16>(tiff, TIFFTAG_SAMPLEFORMAT);
    const auto samples = tiffField<quint16>(tiff, TIFFTAG_SAMPLESPERPIXEL);
    const auto compression = tiffField<quint16>(tiff, TIFFTAG_COMPRESSION);
    const int colour = colourSamplesOf(photometric);
    if (colour == 0 || samples < colour || compression == COMPRESSION_JPEG ||
        compression == COMPRESSION_OJPEG)
        return false;
    if (photometric == PHOTOMETRIC_SEPARATED &&
        tiffField<quint16>(tiff, TIFFTAG_INKSET) != INKSET_CMYK)
        return false;
    if (photometric == PHOTOMETRIC_PALETTE)
        return format == SAMPLEFORMAT_UINT && bits >= 1 && bits <= 16;
    if (format == SAMPLEFORMAT_IEEEFP)
        return bits == 16 || bits == 32 || bits == 64;
    if (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_INT)
        return (bits >= 1 && bits <= 16) || bits == 32;
    return false;
}

TiffSampleRows::TiffSampleRows(TIFF* tiff, quint32 width, quint32 height)
    : tiff_(tiff)
    , width_(width)
    , height_(height)
    , bits_(tiffField<quint16>(tiff, TIFFTAG_BITSPERSAMPLE))
    , samples_(tiffField<quint16>(tiff, TIFFTAG_SAMPLESPERPIXEL))
    , format_(tiffField<quint16>(tiff, TIFFTAG_SAMPLEFORMAT))
    , photometric_(tiffField<quint16>(tiff, TIFFTAG_PHOTOMETRIC))
    , planar_(samples_ > 1 &&
              tiffField<quint16>(tiff, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE)
    , tiled_(TIFFIsTiled(tiff))
    , colourSamples_(colourSamplesOf(photometric_))
    , alpha_(tiffAlphaOf(tiff, colourSamples_)) {
    if (tiled_) {
        quint32 tileHeight = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth_);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
        bandHeight_ = std::max(tileHeight, 1u);
        const qint64 across = (qint64(width_) + tileWidth_ - 1) / std::max(tileWidth_, 1u);
        planeRowBytes_ = across * TIFFTileRowSize64(tiff);
        // Only a tile's rows that can lie in the picture are read: a crafted
        // tile can be millions of rows taller than the picture.
        tileBytes_ = TIFFTileRowSize64(tiff) * std::min(bandHeight_, height_);
    } else {
        bandHeight_ = std::clamp(tiffField<quint32>(tiff, TIFFTAG_ROWSPERSTRIP), 1u, height_);
        tileWidth_ = width_;
        planeRowBytes_ = TIFFScanlineSize64(tiff);
        // Not with one plane a sample: each plane's strip would be decoded
        // again from its start for every row.
        scanlines_ = !planar_ && planeRowBytes_ * bandHeight_ > maxWholeStripBytes;
        if (scanlines_)
            bandHeight_ = 1;
    }
    bandBytes_ = planeRowBytes_ * std::min(bandHeight_, height_);
    if (format_ != SAMPLEFORMAT_IEEEFP && bits_ <= 16) {
        const uint top = (1u << bits_) - 1;
        levels_.resize(size_t(top) + 1);
        for (uint v = 0; v <= top; ++v)
            levels_[v] = uchar((v * 255 + top / 2) / top);
    }
    quint16* red = nullptr;
    quint16* green = nullptr;
    quint16* blue = nullptr;
    if (photometric_ == PHOTOMETRIC_PALETTE &&
        TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        const size_t entries = size_t(1) << bits_;
        palette_.resize(entries);
        for (size_t i = 0; i < entries; ++i)
            palette_[i] = qRgb(red[i] >> 8, green[i] >> 8, blue[i] >> 8);
    }
}

qint64 TiffSampleRows::workingBytes() const {
    const qint64 planes = planar_ ? samples_ : 1;
    return planes * bandBytes_ + tileBytes_ + qint64(width_) * samples_ * 4 + (qint64(1) << 16) +
           (photometric_ == PHOTOMETRIC_PALETTE ? (qint64(4) << bits_) : 0);
}

// Reads the strip, or the row of tiles, holding row y, of every plane.
bool TiffSampleRows::load(quint32 y) {
    const qint64 top = qint64(y) / bandHeight_ * bandHeight_;
    if (top == bandTop_)
        return true;
    const int planes = planar_ ? samples_ : 1;
    // Allocated here, not when made: only once the decoder has set the
    // memory aside (workingBytes).
    tile_.resize(size_t(tileBytes_));
    bands_.resize(size_t(planes));
    const quint32 rows = std::min<quint32>(bandHeight_, height_ - quint32(top));
    for (int p = 0; p < planes; ++p) {
        std::vector<uchar>& band = bands_[size_t(p)];
        band.resize(size_t(bandBytes_));
        if (scanlines_) {
            if (TIFFReadScanline(tiff_, band.data(), y, 0) < 0)
                return false;
            continue;
        }
        if (!tiled_) {
            const tmsize_t want = tmsize_t(planeRowBytes_ * rows);
            if (TIFFReadEncodedStrip(tiff_, TIFFComputeStrip(tiff_, y, tsample_t(p)), band.data(),
                                     want) < want)
                return false;
            continue;
        }
        const size_t tileRowBytes = size_t(TIFFTileRowSize64(tiff_));
        const tmsize_t want = tmsize_t(tileRowBytes * rows);
        for (quint32 x = 0, column = 0; x < width_; x += tileWidth_, ++column) {
            const ttile_t tile = TIFFComputeTile(tiff_, x, quint32(top), 0, tsample_t(p));
            if (TIFFReadEncodedTile(tiff_, tile, tile_.data(), want) < want)
                return false;
            for (quint32 r = 0; r < rows; ++r)
                std::memcpy(band.data() + r * planeRowBytes_ + column * tileRowBytes,
                            tile_.data() + r * tileRowBytes, tileRowBytes);
        }
    }
    bandTop_ = top;
    return true;
}

// The samples of one row of one plane, in order, as numbers: integers as
// their value, floats as they are. Rows of tiles hold each tile's row
// padded to whole bytes.
void TiffSampleRows::unpack(const uchar* row, SampleRow& out) const {
    const quint32 perPixel = planar_ ? 1 : quint32(samples_);
    const size_t count = size_t(width_) * perPixel;
    if (out.size != count) {
        out.values.reset(new float[count]);
        out.size = count;
    }
    const size_t unitSamples = size_t(tileWidth_) * perPixel;
    const size_t unitBytes = (unitSamples * size_t(bits_) + 7) / 8;
    float* o = out.values.get();
    for (size_t start = 0; start < count; start += unitSamples, row += unitBytes) {
        const size_t n = std::min(unitSamples, count - start);
        float* u = o + start;
        if (format_ == SAMPLEFORMAT_IEEEFP) {
            for (size_t i = 0; i < n; ++i) {
                if (bits_ == 64) {
                    double d;
                    std::memcpy(&d, row + i * 8, 8);
                    u[i] = float(d);
                } else if (bits_ == 32) {
                    std::memcpy(&u[i], row + i * 4, 4);
                } else {
                    qfloat16 h;
                    static_assert(sizeof h == 2);
                    std::memcpy(&h, row + i * 2, 2);
                    u[i] = float(h);
                }
            }
        } else if (bits_ == 8) {
            for (size_t i = 0; i < n; ++i)
                u[i] = row[i];
        } else if (bits_ == 16) {
            for (size_t i = 0; i < n; ++i) {
                quint16 v;
                std::memcpy(&v, row + i * 2, 2);
                u[i] = v;
            }
        } else if (bits_ == 32) {
            for (size_t i = 0; i < n; ++i) {
                quint32 v;
                std::memcpy(&v, row + i * 4, 4);
                u[i] = float(v);
            }
        } else {
            // Packed from the high bit, across byte boundaries.
            quint64 buffer = 0;
            int held = 0;
            const uchar* in = row;
            const quint64 mask = (quint64(1) << bits_) - 1;
            for (size_t i = 0; i < n; ++i) {
                while (held < bits_) {
                    buffer = buffer << 8 | *in++;
                    held += 8;
                }
                held -= bits_;
                u[i] = float((buffer >> held) & mask);
            }
        }
    }
}

uint TiffSampleRows::level(float value) const {
    if (format_ == SAMPLEFORMAT_IEEEFP) {
        if (!std::isfinite(value))
            return value > 0 ? 255 : 0;
        const double span = maximum_ - minimum_;
        const double scaled = (double(value) - minimum_) / span;
        return uint(std::clamp(scaled, 0.0, 1.0) * 255 + 0.5);
    }
    if (!levels_.empty())
        return levels_[size_t(value)];
    return uint(double(value) * 255 / 4294967295.0 + 0.5);
}

bool TiffSampleRows::findRange() {
    float low = INFINITY;
    float high = -INFINITY;
    const int planes = planar_ ? samples_ : 1;
    SampleRow values;
    for (quint32 y = 0; y < height_; ++y) {
        if (!load(y))
            return false;
        const qint64 offset = (qint64(y) - bandTop_) * planeRowBytes_;
        // Colour samples only: alpha is taken as 0 to 1.
        for (int p = 0; p < std::min(planes, colourSamples_); ++p) {
            unpack(bands_[size_t(p)].data() + offset, values);
            for (size_t i = 0; i < values.size; ++i) {
                if (!planar_ && int(i % size_t(samples_)) >= colourSamples_)
                    continue;
                if (std::isfinite(values[i])) {
                    low = std::min(low, values[i]);
                    high = std::max(high, values[i]);
                }
            }
        }
    }
    // Values from 0 to 1 are shown as they are; data beyond that range is
    // scaled from its own extremes.
    minimum_ = low <= high ? std::min(double(low), 0.0) : 0.0;
    maximum_ = low <= high ? std::max(double(high), 1.0) : 1.0;
    bandTop_ = -1;
    return true;
}

bool TiffSampleRows::readRow(quint32 y, QRgb* out) {
    if (!load(y))
        return false;
    const qint64 offset = (qint64(y) - bandTop_) * planeRowBytes_;
    const int planes = planar_ ? samples_ : 1;
    values_.resize(size_t(planes));
    for (int p = 0; p < planes; ++p)
        unpack(bands_[size_t(p)].data() + offset, values_[size_t(p)]);
    const auto at = [&](quint32 x, int s) {
        if (planar_)
            return values_[size_t(s)][x];
        return values_[0][size_t(x) * size_t(samples_) + size_t(s)];
    };
    for (quint32 x = 0; x < width_; ++x) {
        uint r, g, b;
        if (photometric_ == PHOTOMETRIC_PALETTE) {
            const auto index = size_t(at(x, 0));
            const QRgb c = index < palette_.size() ? palette_[index] : qRgb(0, 0, 0);
            r = uint(qRed(c));
            g = uint(qGreen(c));
            b = uint(qBlue(c));
        } else if (colourSamples_ == 1) {
            r = g = b = level(at(x, 0));
            if (photometric_ == PHOTOMETRIC_MINISWHITE)
                r = g = b = 255 - r;
        } else if (colourSamples_ == 3) {
            r = level(at(x, 0));
            g = level(at(x, 1));
            b = level(at(x, 2));
        } else {
            const uint black = 255 - level(at(x, 3));
            r = plainInkLevel(255 - level(at(x, 0)), black);
            g = plainInkLevel(255 - level(at(x, 1)), black);
            b = plainInkLevel(255 - level(at(x, 2)), black);
        }
        if (alpha_ == TiffAlpha::None) {
            out[x] = qRgb(int(r), int(g), int(b));
            continue;
        }
        // Float alpha runs from 0 to 1 whatever the colours' range; a NaN
        // is none.
        const float rawAlpha = at(x, colourSamples_);
        const uint a = format_ != SAMPLEFORMAT_IEEEFP ? level(rawAlpha)
                       : rawAlpha > 0                 ? uint(std::min(rawAlpha, 1.0f) * 255 + 0.5f)
                                                      : 0;
        if (alpha_ == TiffAlpha::Associated)
            out[x] = qRgba(int(std::min(r, a)), int(std::min(g, a)), int(std::min(b, a)), int(a));
        else
            out[x] = qRgba(int(mul255(r, a)), int(mul255(g, a)), int(mul255(b, a)), int(a));
    }
    return true;
}
