#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the WebP on device, from its start, with libwebp: lossy (with
// or without alpha) and lossless stills, and of an animation its first
// frame laid on the canvas (what it does not cover is transparent). A
// still is scaled to the shown size by libwebp while it decodes, which
// averages the area each pixel covers as the shrinkers do; a first frame
// smaller than its canvas is decoded whole and shrunk. The ICCP chunk is
// handed on and the EXIF chunk's orientation turns the picture upright.
// The file is held whole, and with it what libwebp holds (a lossless
// picture's every pixel), all reserved from the context first; files cut
// short are refused. Runs on the caller's thread and touches nothing
// shared but the context's budget.
std::optional<DecodedPicture> decodeWebp(QIODevice& device, DecodeContext& context, QString& error);
