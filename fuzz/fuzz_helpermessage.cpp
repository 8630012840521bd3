// Reads random bytes as one packet between the program and a decode helper.
// Whatever the bytes, a message taken as well formed must be one the other
// end can trust: written again it is the same message, and a picture's
// pixels fit the size and format it claims.

#include "picture/sandbox/HelperMessage.h"

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<HelperMessage> message =
        parseHelperMessage(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!message)
        return 0;
    const std::optional<HelperMessage> again = parseHelperMessage(message->encoded());
    if (!again || again->encoded() != message->encoded())
        std::abort();
    if (message->kind == HelperMessage::Kind::Picture) {
        const int depth = QImage::toPixelFormat(QImage::Format(message->format)).bitsPerPixel();
        if (message->width <= 0 || message->height <= 0 ||
            qint64(message->bytesPerLine) * 8 < qint64(message->width) * depth ||
            message->pixelBytes() <= 0)
            std::abort();
    }
    return 0;
}
