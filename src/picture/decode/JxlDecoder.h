#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the JPEG XL picture on device, from its start, with libjxl: bare
// codestreams and the ISO container, lossy (XYB) and lossless, with alpha,
// and of an animation its first frame. The file is handed to libjxl in
// blocks as it asks for more. Once the header has told the size, the
// decode's memory (libjxl's planes and the full-size RGBA result) is
// reserved from the context before any pixel is decoded; the rows are then
// shrunk into the shown picture. libjxl turns the picture upright by its
// orientation; the profile its pixels come out in is handed on. Runs on
// the caller's thread with two worker threads of libjxl's own, and touches
// nothing shared but the context's budget.
std::optional<DecodedPicture> decodeJxl(QIODevice& device, DecodeContext& context, QString& error);
