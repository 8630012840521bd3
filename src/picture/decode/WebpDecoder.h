#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the WebP on device, from its start, with libwebp: lossy (with
// or without alpha) and lossless stills, and of an animation its first
// frame laid on the canvas (what it does not cover is transparent).
// Lossless stills and those with alpha are scaled to the shown size by
// libwebp while they decode, within a level of the area average; opaque
// lossy ones, which its scaling (luma and chroma apart) leaves 1.4 levels
// from it, and a first frame smaller than its canvas are decoded whole and
// shrunk, a lossy still too large for the budget whole being scaled. The ICCP chunk is
// handed on and the EXIF chunk's orientation turns the picture upright.
// The file is held whole, and with it what libwebp holds (a lossless
// picture's every pixel), all reserved from the context first; files cut
// short are refused. Runs on the caller's thread and touches nothing
// shared but the context's budget.
std::optional<DecodedPicture> decodeWebp(QIODevice& device, DecodeContext& context, QString& error);
