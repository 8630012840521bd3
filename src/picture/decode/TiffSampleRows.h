#pragma once

#include "picture/decode/TiffAlpha.h"

#include <QColor>
#include <QString>
#include <memory>
#include <tiffio.h>
#include <vector>

// Reads the rows of TIFFs whose samples the fast converter and libtiff's
// RGBA reader do not take: 1 to 16-bit integers of any width, 32-bit
// integers, 16, 32 and 64-bit floats, contiguous or one plane a sample,
// grey, RGB, palette or CMYK, with or without alpha. Integers are widened
// or narrowed to 0-255 from their full range (signed ones as their bits,
// as tiff2rgba shows them); floats are shown from 0 to 1, or scaled from
// the smallest to the largest value in the picture where it goes beyond
// that range, which takes a first pass over the data.
// Belongs to the decoding thread.

// Strips up to this size decoded are read whole, larger ones a row at a time.
inline constexpr qint64 maxWholeStripBytes = qint64(8) << 20;

class TiffSampleRows {
public:
    // Whether the file's layout is one this reads; false for compressed
    // colour spaces (JPEG, YCbCr, LogLuv...) left to libtiff.
    static bool handles(TIFF* tiff);

    TiffSampleRows(TIFF* tiff, quint32 width, quint32 height);

    // The memory reading holds: one strip (one row of a large one), or one
    // row of tiles, of every plane, and a row of samples.
    qint64 workingBytes() const;
    bool hasAlpha() const { return alpha_ != TiffAlpha::None; }
    bool isFloat() const { return format_ == SAMPLEFORMAT_IEEEFP; }

    // Must be called once before the rows of a float picture are read.
    bool findRange();
    // Row y, in order from the top, as premultiplied ARGB.
    bool readRow(quint32 y, QRgb* out);

private:
    bool load(quint32 y);
    // A row of samples as numbers, left unset until unpack writes it: a
    // crafted picture can be millions of samples wide.
    struct SampleRow {
        std::unique_ptr<float[]> values;
        size_t size = 0;
        float operator[](size_t i) const { return values[i]; }
    };
    void unpack(const uchar* row, SampleRow& out) const;
    uint level(float value) const;

    TIFF* tiff_;
    quint32 width_;
    quint32 height_;
    int bits_;
    int samples_;
    int format_;
    int photometric_;
    bool planar_;
    bool tiled_;
    int colourSamples_;
    TiffAlpha alpha_;
    quint32 bandHeight_ = 0;
    quint32 tileWidth_ = 0;
    qint64 planeRowBytes_ = 0;
    qint64 bandBytes_ = 0;
    // Rows read one at a time, as libtiff decodes them, from strips too
    // large to hold whole.
    bool scanlines_ = false;
    // The band of rows held, per plane; -1 before the first.
    qint64 bandTop_ = -1;
    std::vector<std::vector<uchar>> bands_;
    // One tile of a tiled picture.
    qint64 tileBytes_ = 0;
    std::vector<uchar> tile_;
    std::vector<QRgb> palette_;
    // 0-255 for each integer value of up to 16 bits.
    std::vector<uchar> levels_;
    // The current row's samples, per plane.
    std::vector<SampleRow> values_;
    double minimum_ = 0;
    double maximum_ = 1;
};
