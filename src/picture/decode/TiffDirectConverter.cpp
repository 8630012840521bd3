#include "picture/decode/TiffDirectConverter.h"

#include "picture/decode/TiffAlpha.h"
#include "picture/decode/TiffField.h"
#include "picture/decode/TiffRowConverter.h"

#include <array>

std::unique_ptr<TiffRowConverter> directTiffConverter(TIFF* tiff) {
    using Colour = TiffRowConverter::Colour;
    const auto samples = tiffField<quint16>(tiff, TIFFTAG_SAMPLESPERPIXEL);
    const auto bits = tiffField<quint16>(tiff, TIFFTAG_BITSPERSAMPLE);
    const auto photometric = tiffField<quint16>(tiff, TIFFTAG_PHOTOMETRIC);
    if (samples > 1 && tiffField<quint16>(tiff, TIFFTAG_PLANARCONFIG) != PLANARCONFIG_CONTIG)
        return nullptr;
    if (tiffField<quint16>(tiff, TIFFTAG_SAMPLEFORMAT) != SAMPLEFORMAT_UINT)
        return nullptr;

    Colour colour = Colour::Indexed;
    int colourSamples = 1;
    std::array<QRgb, 256> table{};
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        table = TiffRowConverter::greyTable(bits, photometric == PHOTOMETRIC_MINISWHITE);
        break;
    case PHOTOMETRIC_PALETTE: {
        quint16* red = nullptr;
        quint16* green = nullptr;
        quint16* blue = nullptr;
        if (bits > 8 || samples != 1 || !TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue))
            return nullptr;
        const int entries = 1 << bits;
        // Some writers store 8-bit palette entries instead of 16-bit ones.
        bool eightBit = true;
        for (int i = 0; i < entries; ++i)
            eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
        const int shift = eightBit ? 0 : 8;
        for (int i = 0; i < entries; ++i)
            table[size_t(i)] = qRgb(red[i] >> shift, green[i] >> shift, blue[i] >> shift);
        break;
    }
    case PHOTOMETRIC_YCBCR:
        // Only libjpeg turns YCbCr into RGB while decoding; subsampled
        // YCbCr without JPEG is left to libtiff's own conversion.
        if (tiffField<quint16>(tiff, TIFFTAG_COMPRESSION) != COMPRESSION_JPEG)
            return nullptr;
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        colour = Colour::Rgb;
        colourSamples = 3;
        break;
    case PHOTOMETRIC_RGB:
        colour = Colour::Rgb;
        colourSamples = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        if (tiffField<quint16>(tiff, TIFFTAG_INKSET) != INKSET_CMYK)
            return nullptr;
        colour = Colour::Cmyk;
        colourSamples = 4;
        break;
    default:
        return nullptr;
    }

    auto converter =
        std::make_unique<TiffRowConverter>(colour, bits, samples, tiffAlphaOf(tiff, colourSamples));
    if (!converter->isSupported())
        return nullptr;
    converter->setTable(table);
    return converter;
}
