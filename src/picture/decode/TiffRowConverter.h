#pragma once

#include "picture/decode/TiffAlpha.h"

#include <QColor>
#include <QtGlobal>
#include <array>
#include <vector>

// Turns one decoded row of TIFF samples, interleaved as libtiff delivers
// them (8 or 16-bit samples in the machine's byte order, or 1, 2 and 4-bit
// ones packed from the high bit), into 32-bit premultiplied ARGB pixels,
// inks mixed plainly (PlainInks.h), or into inks kept for their profile.
// Each kind of row has a loop of its own without branches per sample, since
// this runs for every pixel of pictures up to 150 megapixels.
class TiffRowConverter {
public:
    enum class Colour {
        // One sample looked up in a table: grey levels or a palette.
        Indexed,
        Rgb,
        // Cyan, magenta, yellow, black inks.
        Cmyk,
    };

    // samplesPerPixel counts extra samples after the colour ones; the
    // first extra one is the alpha when alpha is not None. Indexed with
    // fewer than 8 bits takes one sample a pixel.
    TiffRowConverter(Colour colour, int bitsPerSample, int samplesPerPixel, TiffAlpha alpha);

    // For Indexed: the colour of each sample value (up to 2^bits entries).
    void setTable(const std::array<QRgb, 256>& table) { table_ = table; }
    // Grey levels for 1 to 16-bit samples, white at the top unless
    // whiteIsZero; 16-bit samples look up their high byte.
    static std::array<QRgb, 256> greyTable(int bitsPerSample, bool whiteIsZero);

    bool isSupported() const;
    bool hasAlpha() const { return alpha_ != TiffAlpha::None; }
    // The scratch memory converting a row of width pixels takes.
    static qint64 workingBytes(qint64 width, int samplesPerPixel);

    void convert(const uchar* samples, int width, QRgb* out);
    // For CMYK rows without alpha: hand over the inks themselves, as
    // ColourConversion::inksFormat holds them, for a colour profile to turn
    // into colours later. False, changing nothing, for other rows.
    bool keepInks();

private:
    const uchar* eightBit(const uchar* samples, int width);

    Colour colour_;
    int bits_;
    int samples_;
    TiffAlpha alpha_;
    std::array<QRgb, 256> table_{};
    std::vector<uchar> narrowed_;
    bool inks_ = false;
};
