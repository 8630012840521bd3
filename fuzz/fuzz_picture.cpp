// Feeds raw bytes to the picture decoder as a file's contents. The decoder
// tells JPEG, BMP and TIFF apart by content, so one target covers all three;
// the seed corpus holds each. The runner's memory and time limits turn a
// decode that outgrows its budget or takes too long into a finding.

#include "picture/PictureDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
// The one place this target uses the decoder's interface: the bound is a
// full-HD screen, as the player asks for.
void decodeOnce(const QByteArray& bytes) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    PictureDecoder decoder(QSize(1920, 1080));
    const auto picture = decoder.decode(buffer);
    // A success must hand over a picture that fits the bound.
    if (picture && (picture->image.isNull() || picture->image.width() > 1920 ||
                    picture->image.height() > 1080))
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The image plugins (JPEG, TIFF) are found through the application;
    // no window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeOnce(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
