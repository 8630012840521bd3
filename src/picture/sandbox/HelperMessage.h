#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

// The messages between the program and its decode helper, one a packet on
// a SOCK_SEQPACKET socket. Every message is a fixed record: its kind, then
// the fields below in the machine's own byte order (both ends are one
// build). What a packet carries besides (a descriptor) is named beside its
// kind. Either end checks each packet with parseHelperMessage before it
// believes a field: the helper decodes hostile files and may be anyone's.
struct HelperMessage {
    enum class Kind : quint32 {
        // Program to helper.
        Setup = 1,    // budget (the helper's memory), size (display profile bytes,
                      // in the memfd sent with it when not 0)
        Decode = 2,   // bound, budget (decode limit), shared (the shared budget's
                      // total, 0 for none), drawSize (1: ask for it); the picture's fd
        DrawSize = 3, // size: the drawn size of the asked full size
        Grant = 4,    // ok: whether the bytes asked for were acquired
        Taken = 5,    // ok: whether the program read a Picture's pixels where they
                      // lie; if not, the helper sends them in a memfd
        // Helper to program.
        Ready = 10,       // the sandbox is set; nothing else
        AskDrawSize = 11, // size: the full upright size
        Acquire = 12,     // bytes
        Release = 13,     // bytes
        Picture = 14,     // fullSize, size, bytesPerLine, format, iccBytes; with
                          // inPlace 0 the memfd holding the pixels' rows and then the
                          // profile; with inPlace 1, where the rows lie in the helper
                          // (at), and a memfd holding the profile when there is one
        Failed = 15,      // reason (UTF-8, at most maxReasonBytes)
    };
    static constexpr int maxReasonBytes = 512;
    // Larger than any picture the budget lets through, small enough that
    // rows times bytesPerLine never overflows.
    static constexpr int maxSide = 1 << 16;

    Kind kind = Kind::Ready;
    qint32 width = 0, height = 0;         // bound, size
    qint32 fullWidth = 0, fullHeight = 0; // Picture's full size
    qint32 bytesPerLine = 0;
    quint32 format = 0; // a QImage::Format
    qint64 bytes = 0;   // budget, Acquire, Release, iccBytes (Picture), size (Setup)
    qint64 shared = 0;  // Decode's shared budget, Picture's at
    bool flag = false;  // Grant's and Taken's ok, Decode's drawSize, Picture's inPlace
    QByteArray reason;

    QByteArray encoded() const;
    // The bytes a picture of this message's fields takes in its memfd.
    qint64 pixelBytes() const { return qint64(bytesPerLine) * height; }
};

// The message in packet, or nothing when it is not one well formed: a
// kind unknown, a length not the kind's, a size or count out of range.
std::optional<HelperMessage> parseHelperMessage(QByteArrayView packet);

// The pixel formats a Picture may carry: those the decoders hand over.
bool isHelperPictureFormat(quint32 format);
