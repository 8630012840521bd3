#pragma once

#include "picture/DecodedPicture.h"

#include <optional>

class DecodeContext;
class QIODevice;
class QString;

// Decodes an AVIF picture as nearly every camera, phone and browser writes
// it, through libavif: opaque, 8 bits a sample, standard dynamic range, its
// turns and mirrorings given by irot and imir and no crop. libavif hands over
// the AV1 decoder's planes as they are, where libheif 1.15 first converts
// every picture to full-size RGB planes one pixel at a time, which doubled
// the decode's time. The planes become RGB a strip of rows at a time
// (libyuv, chroma upsampled bilinearly as avifdec does), the rows go through
// the area average at the stored orientation, and the shown picture is then
// turned and mirrored. The full-size decode is reserved from the context
// before it starts.
//
// declined is set, and nothing else done but reading the device, for a file
// this leaves to decodeHeif: one with alpha, deeper samples, PQ or HLG, a
// crop, an animation, colours coded in a way libyuv does not convert, or one
// libavif cannot parse or decode (decodeHeif then gives the usual message).
// Runs on the caller's thread and touches nothing shared but the context's
// budget; the AV1 decoder may use a second thread of its own.
std::optional<DecodedPicture> decodeAvif(QIODevice& device, DecodeContext& context, QString& error,
                                         bool& declined);
