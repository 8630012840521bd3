#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the first picture of a TIFF file with libtiff, shrinking it to
// the context's bound while reading, so memory follows the size shown, not
// the size stored: small strips are read whole, larger ones a scanline at a
// time, tiles a row of tiles at a time, and layouts only libtiff's RGBA
// reader takes in bands of rows, each source row averaged into the output
// row it falls in (TiffReading).
// device: open for reading; read from its start whatever its position.
// Safe to run on several threads at once: it keeps no state outside the
// call and gives libtiff per-file error handlers, so nothing reaches stderr.
// On failure returns nothing and sets error to the first reason.
std::optional<DecodedPicture> decodeTiff(QIODevice& device, DecodeContext& context, QString& error);
