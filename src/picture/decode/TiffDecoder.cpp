#include "picture/decode/TiffDecoder.h"

#include "picture/decode/DecodeContext.h"
#include "picture/decode/TiffReading.h"

#include <QIODevice>
#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tiffio.h>

namespace {
// libtiff's I/O on the caller's device, which belongs to the decoding
// thread for the length of the call.
tmsize_t readDevice(thandle_t handle, void* buffer, tmsize_t size) {
    return static_cast<QIODevice*>(handle)->read(static_cast<char*>(buffer), size);
}
tmsize_t writeDevice(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t seekDevice(thandle_t handle, toff_t offset, int whence) {
    auto* device = static_cast<QIODevice*>(handle);
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = device->pos();
    else if (whence == SEEK_END)
        base = device->size();
    const qint64 target = base + qint64(offset);
    // Reading never needs a place past the end, and QBuffer warns of it.
    if (target < 0 || target > device->size() || !device->seek(target))
        return toff_t(-1);
    return toff_t(target);
}
int closeDevice(thandle_t) {
    return 0;
}
toff_t deviceSize(thandle_t handle) {
    return toff_t(static_cast<QIODevice*>(handle)->size());
}
int mapDevice(thandle_t, void**, toff_t*) {
    return 0;
}
void unmapDevice(thandle_t, void*, toff_t) {}

// Keeps libtiff's first complaint about this file as the reason it failed;
// warnings are dropped. Returning 1 keeps them from the process-wide
// handlers, which print to stderr.
int keepFirstError(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    auto* first = static_cast<QString*>(userData);
    if (first->isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        *first = QString::fromUtf8(text);
        if (first->isEmpty() && module)
            *first = QString::fromUtf8(module);
    }
    return 1;
}
// Warnings are dropped, but the fax codecs only warn where their data ends
// before the page does, and fill the rest with white: a page cut short is
// marked damaged. A line without its end-of-line code, or of the wrong
// length, is a warning libtiff reads past, as every fax viewer does, and
// the page is shown; a code that cannot be decoded is an error.
int noteDamage(TIFF*, void* userData, const char* module, const char* format, va_list) {
    if (module && std::strncmp(module, "Fax", 3) == 0 && format &&
        std::strncmp(format, "Premature EOF", 13) == 0)
        *static_cast<bool*>(userData) = true;
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

} // namespace

std::optional<DecodedPicture> decodeTiff(QIODevice& device, DecodeContext& context,
                                         QString& error) {
    error.clear();
    if (!device.seek(0)) {
        error = device.errorString();
        return std::nullopt;
    }
    QString libraryError;
    const std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepFirstError, &libraryError);
    bool damaged = false;
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), noteDamage, &damaged);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(context.limit()));
    // "D": the offsets and sizes of the strips are read when first asked
    // for, after the file's claimed size has been checked.
    const std::unique_ptr<TIFF, TiffCloser> tiff(
        TIFFClientOpenExt("picture", "rDm", &device, readDevice, writeDevice, seekDevice,
                          closeDevice, deviceSize, mapDevice, unmapDevice, options.get()));
    if (!tiff) {
        error = libraryError.isEmpty() ? QStringLiteral("not a TIFF file") : libraryError;
        return std::nullopt;
    }
    TiffReading reading(tiff.get(), device.size(), context, libraryError, damaged);
    std::optional<DecodedPicture> picture = reading.decode();
    if (!picture)
        error = reading.error;
    return picture;
}
