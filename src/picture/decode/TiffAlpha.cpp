#include "picture/decode/TiffAlpha.h"

TiffAlpha tiffAlphaOf(TIFF* tiff, int colourSamples) {
    uint16_t samples = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    uint16_t extraCount = 0;
    uint16_t* extraKinds = nullptr;
    if (samples <= colourSamples ||
        !TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) || extraCount == 0)
        return TiffAlpha::None;
    if (extraKinds[0] == EXTRASAMPLE_ASSOCALPHA)
        return TiffAlpha::Associated;
    if (extraKinds[0] == EXTRASAMPLE_UNASSALPHA)
        return TiffAlpha::Unassociated;
    return TiffAlpha::None;
}
