#include "picture/raster/LargeImage.h"

#include <cstdint>
#include <limits>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {
struct Mapping {
    void* start;
    size_t length;
    bool recycled;
};

// The pages of the last recyclable image gone, whole and still written
// with its pixels, and the recycling scopes alive; under spareLock.
std::mutex spareLock;
Mapping* spare = nullptr;
int recyclers = 0;

void unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    if (mapping->recycled) {
        const std::lock_guard lock(spareLock);
        if (!spare && recyclers > 0) {
            spare = mapping;
            return;
        }
    }
    ::munmap(mapping->start, mapping->length);
    delete mapping;
}

// The spare if it is length bytes long; a spare of another length is
// given back, as the pictures of a show are all of one length.
Mapping* takeSpare(size_t length) {
    Mapping* taken = nullptr;
    {
        const std::lock_guard lock(spareLock);
        std::swap(taken, spare);
    }
    if (taken && taken->length != length) {
        ::munmap(taken->start, taken->length);
        delete taken;
        return nullptr;
    }
    return taken;
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

QImage largeImage(QSize size, QImage::Format format, LargeImageUse use) {
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return {};
    const qint64 bits = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 stride = (qint64(size.width()) * bits + 31) / 32 * 4;
    const qint64 bytes = stride * size.height();
    if (stride > std::numeric_limits<int>::max())
        return {};
    const bool recycled = use == LargeImageUse::Overwritten;
    Mapping* mapping = recycled ? takeSpare(size_t(bytes)) : nullptr;
    if (!mapping) {
        void* start = mapAligned(size_t(bytes));
        if (!start)
            return {};
        // Advice only: without large pages the mapping works as well.
        ::madvise(start, size_t(bytes), MADV_HUGEPAGE);
        mapping = new Mapping{start, size_t(bytes), recycled};
    }
    void* start = mapping->start;
    QImage image(static_cast<uchar*>(start), size.width(), size.height(), qsizetype(stride), format,
                 unmap, mapping);
    if (image.isNull())
        unmap(mapping);
    return image;
}

void releaseSpareLargeImage() {
    // No mapping is 0 bytes long: whatever is kept is given back.
    takeSpare(0);
}

LargeImageRecycling::LargeImageRecycling() {
    const std::lock_guard lock(spareLock);
    ++recyclers;
}

LargeImageRecycling::~LargeImageRecycling() {
    bool last = false;
    {
        const std::lock_guard lock(spareLock);
        last = --recyclers == 0;
    }
    if (last)
        releaseSpareLargeImage();
}
