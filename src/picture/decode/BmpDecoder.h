#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the BMP on device, from its start: every header the format has
// (OS/2 1.x and 2.x, Windows 40 to 124 bytes), 1 to 64 bits a pixel, bit
// fields of any width widened to the full 0-255 range, 4 and 8-bit
// run-length data, rows stored either way up. Rows are shrunk into the
// context's bound as they are read, so the decode holds memory for the
// shown picture, not the stored one; that memory is reserved from the
// context first. Files cut short, run-length data drawing outside the
// picture and damaged headers are refused. The fifth version header's
// embedded colour profile is handed on. Runs on the caller's thread and
// touches nothing shared but the context's budget.
std::optional<DecodedPicture> decodeBmp(QIODevice& device, DecodeContext& context, QString& error);
