#include "picture/decode/HeifTransforms.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>

namespace {
using Transforms = QList<HeifTransform>;
using Kind = HeifTransform::Kind;

QByteArray u16(quint16 value) {
    QByteArray bytes(2, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}
QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}
QByteArray box(const char* type, const QByteArray& body) {
    return u32(quint32(8 + body.size())) + type + body;
}
QByteArray fullBox(const char* type, int version, int flags, const QByteArray& body) {
    return box(type, char(version) + u32(quint32(flags)).mid(1) + body);
}

// An ipma entry: the item and its property indices (with the essential
// bit where asked), in 7 or 15 bits as the flags say.
QByteArray entry(quint32 item, const QList<int>& indices, int version, bool wide) {
    QByteArray bytes = version < 1 ? u16(quint16(item)) : u32(item);
    bytes += char(indices.size());
    for (const int index : indices)
        bytes += wide ? u16(quint16(index)) : QByteArray(1, char(index));
    return bytes;
}

// A file whose primary item is 1: ftyp, then meta with pitm, and iprp
// holding properties (hvcC-like filler, ispe, irot 3, imir 1, imir 0, clap)
// and the ipma given.
QByteArray file(const QByteArray& ipma, int pitmVersion = 0) {
    const QByteArray ipco =
        box("ipco", box("hvcC", QByteArray(12, '\x01')) + fullBox("ispe", 0, 0, u32(96) + u32(64)) +
                        box("irot", "\x03") + box("imir", "\x01") +
                        box("imir", QByteArray(1, '\0')) + box("clap", QByteArray(32, '\0')));
    const QByteArray pitm = fullBox("pitm", pitmVersion, 0, pitmVersion ? u32(1) : u16(1));
    const QByteArray meta = fullBox("meta", 0, 0, pitm + box("iprp", ipco + ipma));
    return box("ftyp", "avif" + u32(0) + "mif1avif") + meta + box("mdat", "pixels");
}

QByteArray ipma(const QList<QByteArray>& entries, int version = 0, bool wide = false) {
    QByteArray body = u32(quint32(entries.size()));
    for (const QByteArray& e : entries)
        body += e;
    return fullBox("ipma", version, wide ? 1 : 0, body);
}
} // namespace

// Reading the turns and mirrorings from a HEIF file's boxes, which the
// decoder does for pictures libheif cannot mirror itself: the primary
// item's alone, in its order, and nothing at all from a damaged box or
// where a crop would also be needed.
class HeifTransformsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsThePrimaryItemsTransforms_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("read");
        QTest::addColumn<Transforms>("transforms");
        const Transforms turnThenMirror{{Kind::Turn, 3}, {Kind::Mirror, 1}};
        QTest::newRow("turned, then mirrored")
            << file(ipma({entry(1, {1, 2, 0x83, 4}, 0, false)})) << true << turnThenMirror;
        QTest::newRow("mirrored, then turned") << file(ipma({entry(1, {5, 3}, 0, false)})) << true
                                               << Transforms{{Kind::Mirror, 0}, {Kind::Turn, 3}};
        QTest::newRow("32-bit items, 15-bit indices")
            << file(ipma({entry(7, {4}, 1, true), entry(1, {2, 0x8003, 4}, 1, true)}, 1, true), 1)
            << true << turnThenMirror;
        QTest::newRow("another item's transforms")
            << file(ipma({entry(2, {3, 4}, 0, false), entry(1, {1, 2}, 0, false)})) << true
            << Transforms{};
        QTest::newRow("no entry for the item") << file(ipma({})) << true << Transforms{};
        QTest::newRow("cropped") << file(ipma({entry(1, {3, 6}, 0, false)})) << false
                                 << Transforms{};
        QTest::newRow("index past the properties")
            << file(ipma({entry(1, {3, 9}, 0, false)})) << false << Transforms{};
        QByteArray cut = ipma({entry(1, {3, 4}, 0, false)});
        cut[3] = char(cut.size() - 1); // claims a byte less than its entry
        QTest::newRow("entry past its box") << file(cut) << false << Transforms{};
        QByteArray tooMany = ipma({entry(1, {3}, 0, false)});
        tooMany[18] = char(200); // 200 associations in a few bytes
        QTest::newRow("associations past the box") << file(tooMany) << false << Transforms{};
        const QByteArray whole = file(ipma({entry(1, {3}, 0, false)}));
        QTest::newRow("meta cut short")
            << whole.left(whole.indexOf("iprp") + 8) << false << Transforms{};
        QTest::newRow("no meta") << box("ftyp", "avif") + box("mdat", "x") << false << Transforms{};
        QByteArray huge = whole;
        qToBigEndian<quint32>(0x7FFFFFF0, huge.data() + huge.indexOf("meta") - 4);
        QTest::newRow("meta claiming 2 GB") << huge << false << Transforms{};
        QTest::newRow("empty") << QByteArray() << false << Transforms{};
    }
    void readsThePrimaryItemsTransforms() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, read);
        QBuffer device(&bytes);
        QVERIFY(device.open(QIODevice::ReadOnly));
        const std::optional<Transforms> transforms = heifTransformsOf(device);
        QCOMPARE(transforms.has_value(), read);
        if (read)
            QTEST(*transforms, "transforms");
    }
};
KAVELO_TEST(HeifTransformsTest)

#include "tst_heiftransforms.moc"
