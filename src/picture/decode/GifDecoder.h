#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the first picture of the GIF on device, from its start, with
// giflib, read record by record: the first frame, laid on the file's
// logical screen (what it does not cover is transparent), its transparent
// colour taken from the graphics control extension before it, interlaced
// rows put in their places. Nothing after the first frame's rows is read,
// so an animation costs its first frame and LZW data that runs on past the
// frame is never inflated. Rows are shrunk into the context's bound as they
// are read; an interlaced frame's colour indexes are held whole first.
// Everything held is reserved from the context before it is allocated; a
// frame cut short is refused. Runs on the caller's thread and touches
// nothing shared but the context's budget.
std::optional<DecodedPicture> decodeGif(QIODevice& device, DecodeContext& context, QString& error);
