#include "picture/decode/HeifTransforms.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QTransform>
#include <QtEndian>

namespace {
// A meta box holds the item's properties and locations, rarely more than a
// few kilobytes; a file claiming more is not read for its transformations.
constexpr qint64 maxMetaBytes = 4 << 20;

// A box within bytes: its type and its body's extent.
struct Box {
    QByteArray type;
    qint64 body = 0;
    qint64 end = 0;
};

// The box starting at offset within [offset, limit), or nothing when its
// header does not fit or its size runs past limit.
std::optional<Box> boxAt(const QByteArray& bytes, qint64 offset, qint64 limit) {
    if (offset + 8 > limit)
        return std::nullopt;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    quint64 size = qFromBigEndian<quint32>(data + offset);
    qint64 header = 8;
    if (size == 1) {
        if (offset + 16 > limit)
            return std::nullopt;
        size = qFromBigEndian<quint64>(data + offset + 8);
        header = 16;
    } else if (size == 0) {
        size = quint64(limit - offset);
    }
    if (size < quint64(header) || size > quint64(limit - offset))
        return std::nullopt;
    return Box{bytes.mid(offset + 4, 4), offset + header, offset + qint64(size)};
}

// The first child of type within [from, to), or nothing.
std::optional<Box> child(const QByteArray& bytes, qint64 from, qint64 to, const char* type) {
    for (qint64 at = from; at < to;) {
        const std::optional<Box> box = boxAt(bytes, at, to);
        if (!box)
            return std::nullopt;
        if (box->type == type)
            return box;
        at = box->end;
    }
    return std::nullopt;
}

// Reads the top-level meta box whole, skipping the boxes before it.
QByteArray metaBox(QIODevice& device) {
    const qint64 fileSize = device.size();
    for (qint64 start = 0; start + 8 <= fileSize;) {
        if (!device.seek(start))
            return {};
        const QByteArray header = device.read(16);
        if (header.size() < 8)
            return {};
        quint64 size = qFromBigEndian<quint32>(header.constData());
        if (size == 1) {
            if (header.size() < 16)
                return {};
            size = qFromBigEndian<quint64>(header.constData() + 8);
        } else if (size == 0) {
            size = quint64(fileSize - start);
        }
        if (size < 8 || size > quint64(fileSize - start))
            return {};
        if (header.mid(4, 4) == "meta") {
            if (size > quint64(maxMetaBytes) || !device.seek(start))
                return {};
            const QByteArray meta = device.read(qint64(size));
            return meta.size() == qint64(size) ? meta : QByteArray();
        }
        start += qint64(size);
    }
    return {};
}
} // namespace

std::optional<QList<HeifTransform>> heifTransformsOf(QIODevice& device) {
    const QByteArray meta = metaBox(device);
    const std::optional<Box> root = boxAt(meta, 0, meta.size());
    // meta is a full box: version and flags before its children.
    if (!root || root->type != "meta" || root->body + 4 > root->end)
        return std::nullopt;
    const qint64 children = root->body + 4;
    const auto* data = reinterpret_cast<const uchar*>(meta.constData());
    const std::optional<Box> pitm = child(meta, children, root->end, "pitm");
    const std::optional<Box> iprp = child(meta, children, root->end, "iprp");
    if (!pitm || !iprp || pitm->body + 6 > pitm->end)
        return std::nullopt;
    const bool wideItem = data[pitm->body] != 0;
    if (wideItem && pitm->body + 8 > pitm->end)
        return std::nullopt;
    const quint32 primary = wideItem ? qFromBigEndian<quint32>(data + pitm->body + 4)
                                     : qFromBigEndian<quint16>(data + pitm->body + 4);
    const std::optional<Box> ipco = child(meta, iprp->body, iprp->end, "ipco");
    const std::optional<Box> ipma = child(meta, iprp->body, iprp->end, "ipma");
    if (!ipco || !ipma || ipma->body + 8 > ipma->end)
        return std::nullopt;

    // The properties, numbered from 1 as ipma refers to them.
    QList<Box> properties;
    for (qint64 at = ipco->body; at < ipco->end;) {
        const std::optional<Box> box = boxAt(meta, at, ipco->end);
        if (!box)
            return std::nullopt;
        properties.append(*box);
        at = box->end;
    }

    const int version = data[ipma->body];
    const bool wideIndex = data[ipma->body + 3] & 1;
    const quint32 entries = qFromBigEndian<quint32>(data + ipma->body + 4);
    qint64 at = ipma->body + 8;
    for (quint32 entry = 0; entry < entries; ++entry) {
        const qint64 idBytes = version < 1 ? 2 : 4;
        if (at + idBytes + 1 > ipma->end)
            return std::nullopt;
        const quint32 item =
            version < 1 ? qFromBigEndian<quint16>(data + at) : qFromBigEndian<quint32>(data + at);
        const int associations = data[at + idBytes];
        at += idBytes + 1;
        const qint64 indexBytes = wideIndex ? 2 : 1;
        if (at + associations * indexBytes > ipma->end)
            return std::nullopt;
        if (item != primary) {
            at += associations * indexBytes;
            continue;
        }
        QList<HeifTransform> transforms;
        for (int a = 0; a < associations; ++a, at += indexBytes) {
            const int index =
                wideIndex ? qFromBigEndian<quint16>(data + at) & 0x7FFF : data[at] & 0x7F;
            if (index == 0)
                continue;
            if (index > properties.size())
                return std::nullopt;
            const Box& property = properties.at(index - 1);
            if (property.type == "clap")
                return std::nullopt;
            const bool turn = property.type == "irot";
            if (!turn && property.type != "imir")
                continue;
            if (property.body >= property.end)
                return std::nullopt;
            const uchar value = data[property.body];
            transforms.append({turn ? HeifTransform::Kind::Turn : HeifTransform::Kind::Mirror,
                               turn ? value & 3 : value & 1});
        }
        return transforms;
    }
    // No properties listed for the item: nothing to apply.
    return QList<HeifTransform>();
}

QImage transformed(const QImage& picture, const QList<HeifTransform>& transforms) {
    QImage out = picture;
    for (const HeifTransform& t : transforms) {
        if (t.kind == HeifTransform::Kind::Turn) {
            // Anticlockwise on the screen, whose y runs down.
            if (t.value != 0)
                out = out.transformed(QTransform().rotate(-90 * t.value));
        } else {
            out = t.value == 1 ? out.mirrored(true, false) : out.mirrored(false, true);
        }
    }
    return out;
}
