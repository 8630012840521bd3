#pragma once

#include <tiffio.h>

// The value of a tag of the TIFF's current directory, or the default the
// TIFF standard gives it where the file leaves it out.
template <typename T> T tiffField(TIFF* tiff, ttag_t tag) {
    T value{};
    TIFFGetFieldDefaulted(tiff, tag, &value);
    return value;
}
