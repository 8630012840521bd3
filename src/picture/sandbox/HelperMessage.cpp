#include "picture/sandbox/HelperMessage.h"

#include "picture/colour/ColourConversion.h"

#include <QImage>
#include <cstring>

namespace {
// The fixed part every message has: kind and the fields, whatever the kind
// uses of them, so one layout serves all and a parser checks one length.
struct Record {
    quint32 kind;
    qint32 width, height, fullWidth, fullHeight, bytesPerLine;
    quint32 format;
    quint32 flag;
    qint64 bytes, shared;
};
static_assert(sizeof(Record) == 48);

bool sideOk(qint32 side) {
    return side > 0 && side <= HelperMessage::maxSide;
}
} // namespace

QByteArray HelperMessage::encoded() const {
    Record record{static_cast<quint32>(kind),
                  width,
                  height,
                  fullWidth,
                  fullHeight,
                  bytesPerLine,
                  format,
                  flag ? 1u : 0u,
                  bytes,
                  shared};
    QByteArray out(reinterpret_cast<const char*>(&record), sizeof record);
    if (kind == Kind::Failed)
        out.append(reason.left(maxReasonBytes));
    return out;
}

bool isHelperPictureFormat(quint32 format) {
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB888:
        return true;
    default:
        return false;
    }
}

std::optional<HelperMessage> parseHelperMessage(QByteArrayView packet) {
    if (packet.size() < qsizetype(sizeof(Record)))
        return std::nullopt;
    Record record;
    std::memcpy(&record, packet.data(), sizeof record);
    const QByteArrayView tail = packet.sliced(sizeof record);
    HelperMessage message;
    message.kind = static_cast<HelperMessage::Kind>(record.kind);
    if (record.flag > 1)
        return std::nullopt;
    message.flag = record.flag == 1;
    using Kind = HelperMessage::Kind;
    if (message.kind != Kind::Failed && !tail.isEmpty())
        return std::nullopt;
    switch (message.kind) {
    case Kind::Setup:
        if (record.bytes <= 0 || record.shared < 0 ||
            record.shared > ColourConversion::maxProfileBytes)
            return std::nullopt;
        message.bytes = record.bytes;
        message.shared = record.shared;
        break;
    case Kind::Decode:
        if (!sideOk(record.width) || !sideOk(record.height) || record.bytes <= 0 ||
            record.shared < 0)
            return std::nullopt;
        message.width = record.width;
        message.height = record.height;
        message.bytes = record.bytes;
        message.shared = record.shared;
        break;
    case Kind::DrawSize:
        // The caller's answer may be empty: no drawn size known.
        if (record.width < 0 || record.height < 0 || record.width > HelperMessage::maxSide ||
            record.height > HelperMessage::maxSide)
            return std::nullopt;
        message.width = record.width;
        message.height = record.height;
        break;
    case Kind::AskDrawSize:
        if (!sideOk(record.width) || !sideOk(record.height))
            return std::nullopt;
        message.width = record.width;
        message.height = record.height;
        break;
    case Kind::Grant:
    case Kind::Taken:
    case Kind::Ready:
        break;
    case Kind::Acquire:
    case Kind::Release:
        if (record.bytes <= 0)
            return std::nullopt;
        message.bytes = record.bytes;
        break;
    case Kind::Picture: {
        if (!sideOk(record.width) || !sideOk(record.height) || !sideOk(record.fullWidth) ||
            !sideOk(record.fullHeight) || !isHelperPictureFormat(record.format))
            return std::nullopt;
        const int depth = QImage::toPixelFormat(QImage::Format(record.format)).bitsPerPixel();
        const qint64 rowBytes = (qint64(record.width) * depth + 7) / 8;
        // Qt wants rows on 4-byte boundaries when it wraps memory it did not allocate.
        if (record.bytesPerLine < rowBytes || record.bytesPerLine % 4 != 0 ||
            record.bytesPerLine > rowBytes + 64)
            return std::nullopt;
        if (record.bytes < 0 || record.bytes > ColourConversion::maxProfileBytes)
            return std::nullopt;
        // Pixels in place lie somewhere in the helper's memory; in a memfd,
        // at nowhere.
        if (message.flag ? record.shared <= 0 : record.shared != 0)
            return std::nullopt;
        message.shared = record.shared;
        message.width = record.width;
        message.height = record.height;
        message.fullWidth = record.fullWidth;
        message.fullHeight = record.fullHeight;
        message.bytesPerLine = record.bytesPerLine;
        message.format = record.format;
        message.bytes = record.bytes;
        break;
    }
    case Kind::Failed:
        if (tail.size() > HelperMessage::maxReasonBytes)
            return std::nullopt;
        message.reason = tail.toByteArray();
        break;
    default:
        return std::nullopt;
    }
    return message;
}
