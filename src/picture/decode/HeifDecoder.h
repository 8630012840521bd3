#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes the HEIF picture on device, from its start, with libheif: HEIC
// (HEVC through libde265), AVIF (AV1 through dav1d or aom) and the other
// brands libheif reads; the AVIF pictures decodeAvif takes (nearly all)
// go there instead. The primary picture is decoded, grid pictures
// assembled by libheif, and its rotation, mirroring and cropping applied,
// so the full size is the upright one. libheif decodes at full size: that
// decode, its planes and its RGB copy are reserved from the context before
// it starts, by the size the file declares, and libheif is told to refuse
// any picture larger than that. The rows are then shrunk into the shown
// picture. Samples of 10 and 12 bits are reduced to 8; PQ and HLG pictures
// are tone mapped (CodedColours::hdrTable). An embedded ICC profile is
// handed on; colours given as code points become a profile of their own.
// Runs on the caller's thread and touches nothing shared but the context's
// budget; libheif may decode a grid's tiles on two threads of its own.
std::optional<DecodedPicture> decodeHeif(QIODevice& device, DecodeContext& context, QString& error);
