// Reads random bytes as a slide show file. Whatever the bytes, every entry
// read must be savable again and come back unchanged from a write and a
// second read: the list a user loads is the list that gets saved.

#include "slidefile/SlideFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    QStringList entries;
    if (!readSlideFile(in, entries) || !isSavable(entries))
        std::abort();

    QByteArray written;
    QBuffer out(&written);
    out.open(QIODevice::WriteOnly);
    if (!writeSlideFile(out, entries))
        std::abort();
    out.close();
    out.open(QIODevice::ReadOnly);
    QStringList again;
    if (!readSlideFile(out, again) || again != entries)
        std::abort();
    return 0;
}
