#include "picture/raster/LargeImage.h"

#include <cstdint>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

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
constexpr size_t largePage = size_t(2) << 20;

// bytes of fresh pages starting on a large page's boundary: the system
// places a mapping whose length is not a whole number of large pages
// anywhere, and then only the large pages lying wholly inside it can be
// large (a picture of 1620 x 1080 got two of its seven megabytes in large
// pages, and took ten times as long to fault in). Mapped a large page
// longer and cut to its length, so no more is held than asked for.
void* mapAligned(size_t bytes) {
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    const size_t length = (bytes + page - 1) / page * page;
    const size_t spare = length >= largePage ? largePage : 0;
    void* mapped =
        ::mmap(nullptr, length + spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto begin = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t start = spare ? (begin + largePage - 1) / largePage * largePage : begin;
    if (start > begin)
        ::munmap(mapped, start - begin);
    const uintptr_t tail = start + length;
    if (begin + length + spare > tail)
        ::munmap(reinterpret_cast<void*>(tail), begin + length + spare - tail);
    return reinterpret_cast<void*>(start);
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
    void* start = mapAligned(size_t(bytes));
    if (!start)
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
