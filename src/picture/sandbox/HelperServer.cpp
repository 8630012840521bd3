#include "picture/sandbox/HelperServer.h"

#include "picture/PictureDecoder.h"
#include "picture/colour/ColourConversion.h"
#include "picture/decode/DecodeBudget.h"
#include "picture/raster/LargeImage.h"
#include "picture/sandbox/HelperMessage.h"
#include "picture/sandbox/HelperSocket.h"
#include "picture/sandbox/Sandbox.h"
#include "picture/sandbox/SanitizerBuild.h"
#include "picture/sandbox/WarmUpSamples.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <cstdio>
#include <initializer_list>
#include <malloc.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {
using Kind = HelperMessage::Kind;

// Long enough that pictures previewed one after the other, or a burst of
// steps, reuse the memory of the one before (a fresh page costs a fault
// and zeroing, a tenth of a large decode's time), short enough that a
// paused show or an idle explorer does not keep it.
constexpr int idleTrimMs = 3000;
// A burst's next picture is asked for well within this; a show on its
// timer, or a preview, waits longer, and gets fresh pages rather than have
// the helper hold a screenful between them.
constexpr int spareKeptMs = 300;

// Anything from the program that is not what the protocol says comes next
// means it is gone or confused; the helper has nothing to save.
[[noreturn]] void quit(int status) {
    ::_exit(status);
}

HelperMessage await(int socket, Kind kind) {
    QByteArray packet;
    int fd = -1;
    if (HelperSocket::receive(socket, packet, fd) != HelperSocket::Received::Packet)
        quit(0);
    if (fd >= 0)
        quit(1);
    const std::optional<HelperMessage> message = parseHelperMessage(packet);
    if (!message || message->kind != kind)
        quit(1);
    return *message;
}

void sendOrQuit(int socket, const HelperMessage& message, int fd = -1) {
    if (!HelperSocket::send(socket, message.encoded(), fd))
        quit(0);
}

// The program's budget, claimed through the socket: the program acquires
// on this helper's behalf and lets go of whatever is still held when the
// decode ends or the helper dies.
class RemoteBudget : public DecodeBudget {
public:
    RemoteBudget(int socket, qint64 total)
        : DecodeBudget(total)
        , socket_(socket) {}

    bool acquire(qint64 bytes, const std::atomic_bool*) override {
        if (bytes > total())
            return false;
        HelperMessage ask;
        ask.kind = Kind::Acquire;
        ask.bytes = bytes;
        sendOrQuit(socket_, ask);
        return await(socket_, Kind::Grant).flag;
    }
    void release(qint64 bytes) override {
        if (bytes <= 0)
            return;
        HelperMessage told;
        told.kind = Kind::Release;
        told.bytes = bytes;
        sendOrQuit(socket_, told);
    }

private:
    int socket_;
};

std::function<QSize(QSize)> drawSizeAsker(int socket) {
    // Decoders may ask more than once for one size.
    return [socket, asked = QSize(), answer = QSize()](QSize full) mutable {
        if (full.width() <= 0 || full.height() <= 0 || full.width() > HelperMessage::maxSide ||
            full.height() > HelperMessage::maxSide)
            return QSize();
        if (full != asked) {
            HelperMessage ask;
            ask.kind = Kind::AskDrawSize;
            ask.width = full.width();
            ask.height = full.height();
            sendOrQuit(socket, ask);
            const HelperMessage reply = await(socket, Kind::DrawSize);
            asked = full;
            answer = QSize(reply.width, reply.height);
        }
        return answer;
    };
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t wrote =
            ::write(fd, data, static_cast<size_t>(std::min<qint64>(size, 1 << 30)));
        if (wrote <= 0)
            return false;
        data += wrote;
        size -= wrote;
    }
    return true;
}

void sendFailed(int socket, const QByteArray& reason) {
    HelperMessage failed;
    failed.kind = Kind::Failed;
    failed.reason = reason;
    sendOrQuit(socket, failed);
}

// A memfd holding parts one after the other, or -1.
int memfdHolding(std::initializer_list<QByteArrayView> parts) {
    const int memfd = ::memfd_create("kavelo-picture", MFD_CLOEXEC);
    for (const QByteArrayView part : parts) {
        if (memfd >= 0 && !writeAll(memfd, part.data(), part.size())) {
            ::close(memfd);
            return -1;
        }
    }
    return memfd;
}

// Whether the program reads pixels where they lie in this helper; it says
// so at the first picture, and the answer holds for the helper's life.
// Belongs to the helper's one decoding thread.
struct Delivery {
    bool inPlace = true;
    std::function<quintptr(quintptr)> rowsAt;
};

void sendPicture(int socket, DecodedPicture& picture, Delivery& delivery) {
    if (!isHelperPictureFormat(picture.image.format()))
        picture.image = picture.image.convertToFormat(picture.image.hasAlphaChannel()
                                                          ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32);
    const QImage& image = picture.image;
    HelperMessage done;
    done.kind = Kind::Picture;
    done.width = image.width();
    done.height = image.height();
    done.fullWidth = picture.fullSize.width();
    done.fullHeight = picture.fullSize.height();
    done.bytesPerLine = static_cast<qint32>(image.bytesPerLine());
    done.format = image.format();
    done.bytes = picture.iccProfile.size();
    if (delivery.inPlace) {
        // The program copies the rows straight out of this process
        // (process_vm_readv) into memory of its own, while they stay here
        // untouched until it says it is done: one copy, where writing them
        // into a memfd and reading them out of it took two, each filling
        // small pages. The profile, small and rare, still goes in a memfd.
        const int memfd = done.bytes > 0 ? memfdHolding({picture.iccProfile}) : -1;
        if (done.bytes > 0 && memfd < 0) {
            sendFailed(socket, "no room for the picture's profile");
            return;
        }
        done.flag = true;
        const auto rows = reinterpret_cast<quintptr>(image.constBits());
        done.shared = qint64(delivery.rowsAt ? delivery.rowsAt(rows) : rows);
        sendOrQuit(socket, done, memfd);
        if (memfd >= 0)
            ::close(memfd);
        if (await(socket, Kind::Taken).flag)
            return;
        // The program may not read this process's memory (a system that
        // allows no process to look into another): memfds from now on.
        delivery.inPlace = false;
        done.flag = false;
        done.shared = 0;
    }
    const int memfd =
        memfdHolding({QByteArrayView(image.constBits(), image.sizeInBytes()), picture.iccProfile});
    if (memfd < 0) {
        sendFailed(socket, "no room for the picture's pixels");
        return;
    }
    sendOrQuit(socket, done, memfd);
    ::close(memfd);
}

void decodeOne(int socket, const HelperMessage& request, int fd, Delivery& delivery) {
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        sendFailed(socket, file.errorString().toUtf8());
        return;
    }
    std::unique_ptr<RemoteBudget> shared;
    if (request.shared > 0)
        shared = std::make_unique<RemoteBudget>(socket, request.shared);
    PictureDecoder decoder(QSize(request.width, request.height), request.bytes, shared.get());
    if (request.flag)
        decoder.setDrawSize(drawSizeAsker(socket));
    std::optional<DecodedPicture> picture = decoder.decode(file);
    file.close();
    if (picture && !picture->image.isNull())
        sendPicture(socket, *picture, delivery);
    else
        sendFailed(socket, decoder.errorString().toUtf8());
}

QByteArray readProfile(int fd, qint64 size) {
    QByteArray profile(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, profile.data() + done, size - done, done);
        if (got <= 0)
            return {};
        done += got;
    }
    return profile;
}

// Whatever the decoders set up on first use, set up now, while files may
// still be opened.
void warmUp() {
    const QList<QByteArray> samples = warmUpSamples();
    for (QByteArray sample : samples) {
        QBuffer buffer(&sample);
        buffer.open(QIODevice::ReadOnly);
        PictureDecoder decoder(QSize(8, 8));
        decoder.setDrawSize([](QSize) { return QSize(4, 4); });
        decoder.decode(buffer);
    }
    // The first thread a process starts sets up glibc's thread signals; the
    // decoders of HEIF, AVIF and JPEG XL start theirs later, in the sandbox.
    std::thread([] {}).join();
    DecodedPicture tagged{QImage(16, 16, QImage::Format_RGB32), QSize(16, 16),
                          ColourConversion::adobeRgbProfile()};
    tagged.image.fill(Qt::gray);
    ColourConversion::forDisplay().apply(tagged);
}

} // namespace

int runDecodeHelper(int socket, const HelperHooks& hooks) {
    QByteArray packet;
    int fd = -1;
    if (HelperSocket::receive(socket, packet, fd) != HelperSocket::Received::Packet)
        return 1;
    const std::optional<HelperMessage> setup = parseHelperMessage(packet);
    if (!setup || setup->kind != Kind::Setup || (setup->shared > 0) != (fd >= 0))
        return 1;
    if (fd >= 0) {
        ColourConversion::setDisplayProfile(readProfile(fd, setup->shared));
        ::close(fd);
    }
    // Buffers of a large page or more (a picture, a TIFF strip, a JPEG's
    // coefficients) mapped for each decode and given back when freed: kept
    // in the heap, they stayed there between pictures, each helper holding
    // its largest decode's. The program starts the helper with glibc asking
    // for large pages for them (HelperProcess), so mapping them afresh costs
    // a few faults. Smaller blocks are kept for the next picture; the idle
    // trim below hands them back.
    ::mallopt(M_MMAP_THRESHOLD, 2 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 512 << 20);
    warmUp();
    // What it holds from here on: its socket, and a picture and a memfd at a
    // time. Sanitized builds keep stderr, where their reports go.
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    if (!sanitizedBuild)
        ::close(STDERR_FILENO);
    Sandbox::Layers layers;
    QString error;
    if (!Sandbox::enter(socket, setup->bytes, layers, error)) {
        sendFailed(socket, error.toUtf8());
        return 3;
    }
    HelperMessage ready;
    ready.kind = Kind::Ready;
    ready.flag = layers.namespaces;
    sendOrQuit(socket, ready);
    Delivery delivery;
    delivery.rowsAt = hooks.rowsAt;
    // A burst's pictures, all of one size, each decoded into the pages of
    // the one before; given back below once the helper waits a while.
    const LargeImageRecycling recycling;
    for (;;) {
        // A decode leaves its picture's pages kept for the next (LargeImage)
        // and its freed buffers in the allocator's keeping, tens of
        // megabytes after a large picture. A helper left waiting hands back
        // the pages first and then the buffers (a show between steps, the
        // explorer idle); one kept busy by a burst or by previews keeps
        // them for its next picture.
        HelperSocket::Received got = HelperSocket::receive(socket, packet, fd, spareKeptMs);
        if (got == HelperSocket::Received::TimedOut) {
            releaseSpareLargeImage();
            got = HelperSocket::receive(socket, packet, fd, idleTrimMs - spareKeptMs);
        }
        if (got == HelperSocket::Received::TimedOut) {
            ::malloc_trim(0);
            got = HelperSocket::receive(socket, packet, fd);
        }
        if (got == HelperSocket::Received::Closed)
            quit(0);
        if (got != HelperSocket::Received::Packet)
            quit(1);
        const std::optional<HelperMessage> request = parseHelperMessage(packet);
        if (!request || request->kind != Kind::Decode || fd < 0)
            quit(1);
        if (hooks.beforeDecode) {
            if (const std::optional<QByteArray> reason = hooks.beforeDecode(fd)) {
                ::close(fd);
                sendFailed(socket, *reason);
                continue;
            }
        }
        decodeOne(socket, *request, fd, delivery);
    }
}
