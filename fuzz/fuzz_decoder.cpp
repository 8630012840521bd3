// Feeds raw bytes straight to one of the decoders, chosen when the target
// is built (KAVELO_FUZZ_DECODER: decodeJpeg, decodeTiff, decodeBmp,
// decodePng, decodeGif, decodeWebp, decodeHeif or decodeJxl), so a run spends its time inside that
// decoder and its seeds and dictionary can be that format's alone. The bound is the explorer
// preview's (381 x 341 pixels), so that a run's time goes into reading the
// file rather than into writing out a large result (fuzz_picture decodes at
// the player's size); the budget is the program's. The runner's memory and
// time limits turn a decode that outgrows its budget or takes too long into
// a finding.

#include "picture/PictureDecoder.h"
#include "picture/decode/BmpDecoder.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/GifDecoder.h"
#include "picture/decode/HeifDecoder.h"
#include "picture/decode/JpegDecoder.h"
#include "picture/decode/JxlDecoder.h"
#include "picture/decode/PngDecoder.h"
#include "picture/decode/TiffDecoder.h"
#include "picture/decode/WebpDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QSize bound(381, 341);
    DecodeContext context(bound, PictureDecoder::defaultMemoryBudget);
    QString error;
    const auto picture = KAVELO_FUZZ_DECODER(buffer, context, error);
    // A success hands over a picture that fits the bound; a failure says why.
    if (picture ? picture->image.isNull() || picture->image.width() > bound.width() ||
                      picture->image.height() > bound.height()
                : error.isEmpty())
        std::abort();
    return 0;
}
