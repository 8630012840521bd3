#pragma once

#include <memory>
#include <tiffio.h>

class TiffRowConverter;

// The row converter for a TIFF whose rows libtiff delivers interleaved in
// a form the converter takes (grey, palette, RGB, JPEG's YCbCr as RGB, CMYK;
// unsigned samples, one plane), its table filled from the file; null for
// the rest. Sets libtiff's JPEG colour mode to RGB for JPEG-compressed
// YCbCr, which changes the sizes libtiff gives afterwards.
std::unique_ptr<TiffRowConverter> directTiffConverter(TIFF* tiff);
