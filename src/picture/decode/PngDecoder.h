#pragma once

#include "picture/DecodedPicture.h"

#include <QByteArray>
#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the PNG on device, from its start, with libpng: every depth from
// 1 to 16 bits, palette (with its transparency), grey, grey with alpha,
// RGB and RGBA, interlaced or not; of an APNG, the default image. Rows are
// shrunk into the context's bound as libpng inflates them, so only the
// shown picture is held; an interlaced picture, whose last pass completes
// every row, is held whole first. Everything held is reserved from the
// context before it is allocated, and libpng's own limits (side, chunk
// size) are set from it. The embedded profile (iCCP) is handed on; an sRGB
// chunk means the pixels are shown as stored; a gamma (gAMA) and
// primaries (cHRM) other than sRGB's become a profile made for them. The
// EXIF orientation (eXIf before the pixels) turns the picture upright.
// Files cut short are refused. Runs on the caller's thread and touches
// nothing shared but the context's budget.
std::optional<DecodedPicture> decodePng(QIODevice& device, DecodeContext& context, QString& error);

// The ICC profile of a gamma (the file's: 0.45455 for a 2.2 display) and,
// when given, of chromaticities x, y of white, red, green, blue (8
// values); grey when asked. Empty where they describe sRGB closely
// enough to be shown as stored, or lcms2 cannot make one.
QByteArray profileOfGamma(double gamma, const double* chromaticities, bool grey);
