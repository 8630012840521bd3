#pragma once

#include <tiffio.h>

// What a TIFF's first extra sample, after the colour ones, holds.
enum class TiffAlpha { None, Associated, Unassociated };

// The alpha of the TIFF's current directory, whose pixels start with
// colourSamples colour samples: the kind of its first extra sample where
// that is alpha (premultiplied, associated, or not), else None.
TiffAlpha tiffAlphaOf(TIFF* tiff, int colourSamples);
