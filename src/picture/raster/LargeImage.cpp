#include "picture/raster/LargeImage.h"

#include <limits>
#include <sys/mman.h>

namespace {
struct Mapping {
    void* start;
    size_t length;
};

void unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    ::munmap(mapping->start, mapping->length);
    delete mapping;
}
} // namespace

QImage largeImage(QSize size, QImage::Format format) {
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return {};
    const qint64 bits = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 stride = (qint64(size.width()) * bits + 31) / 32 * 4;
    const qint64 bytes = stride * size.height();
    if (stride > std::numeric_limits<int>::max())
        return {};
    void* start =
        ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return {};
    // Advice only: without large pages the mapping works as well.
    ::madvise(start, size_t(bytes), MADV_HUGEPAGE);
    auto* mapping = new Mapping{start, size_t(bytes)};
    QImage image(static_cast<uchar*>(start), size.width(), size.height(), qsizetype(stride), format,
                 unmap, mapping);
    if (image.isNull())
        unmap(mapping);
    return image;
}
