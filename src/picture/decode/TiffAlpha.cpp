#include "picture/decode/TiffAlpha.h"

#include "picture/decode/TiffField.h"

TiffAlpha tiffAlphaOf(TIFF* tiff, int colourSamples) {
    const auto samples = tiffField<uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL);
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
