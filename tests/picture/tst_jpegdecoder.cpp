#include "picture/PictureDecoder.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/ExifReader.h"
#include "picture/decode/JpegDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>
#include <atomic>

namespace {
QImage flatGrey(int side) {
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(128);
    return image;
}

// A flat grey progressive JPEG whose last scan is repeated: every copy is
// valid and nearly empty, yet libjpeg visits every block for each.
QByteArray withRepeatedLastScan(const QByteArray& jpeg, int copies) {
    const qsizetype last = jpeg.lastIndexOf("\xFF\xDA");
    const QByteArray scan = jpeg.mid(last, jpeg.size() - 2 - last);
    return jpeg.left(jpeg.size() - 2) + scan.repeated(copies) + QByteArray("\xFF\xD9");
}

// An RLE8 BMP of the given size whose rows are all present (skipped over
// by deltas) and whose size field is 0.
QByteArray wholeRleBmp(int width, int height) {
    QByteArray bytes = bmpBytes(QImage(8, 8, QImage::Format_RGB32), 8, BmpCompression::Rle8);
    const quint32 dataOffset = qFromLittleEndian<quint32>(bytes.constData() + 10);
    bytes.truncate(dataOffset);
    for (int row = 0; row + 1 < height; row += 255)
        bytes += QByteArray::fromRawData("\x00\x02\x00", 3) + char(std::min(255, height - 1 - row));
    bytes += QByteArray::fromRawData("\x00\x01", 2);
    qToLittleEndian<qint32>(width, bytes.data() + 18);
    qToLittleEndian<qint32>(height, bytes.data() + 22);
    qToLittleEndian<quint32>(0, bytes.data() + 34);
    qToLittleEndian<quint32>(quint32(bytes.size()), bytes.data() + 2);
    return bytes;
}
} // namespace

class JpegDecoderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusals_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("error");
        const QImage pattern = testPattern(QSize(300, 200));
        const QByteArray baseline = jpegBytes(pattern);
        const QByteArray progressive = jpegBytes(pattern, {.progressive = true});
        const qint64 roomy = PictureDecoder::defaultMemoryBudget;
        const QString cut = QStringLiteral("the file is cut short");
        QTest::newRow("half with an end marker")
            << baseline.left(baseline.size() / 2) + "\xFF\xD9" << roomy << false << cut;
        QTest::newRow("half progressive with an end marker")
            << progressive.left(progressive.indexOf("\xFF\xDA", 200) + 40) + "\xFF\xD9" << roomy
            << false << cut;
        QTest::newRow("thousands of empty scans")
            << withRepeatedLastScan(jpegBytes(flatGrey(2000), {.progressive = true}), 1000) << roomy
            << false << QStringLiteral("the picture would take too long to decode");
        QTest::newRow("beyond the budget")
            << progressive << qint64(200) << false
            << QStringLiteral("the picture needs more memory than allowed");
        QTest::newRow("cancelled") << baseline << roomy << true << QStringLiteral("cancelled");
        QTest::newRow("whole rle bmp of 16000 x 16000 with no size")
            << wholeRleBmp(16000, 16000) << roomy << false
            << QStringLiteral("the picture is too large to decode");
        QByteArray halfRle = wholeRleBmp(64, 600);
        halfRle = halfRle.left(halfRle.size() / 2) + QByteArray::fromRawData("\x00\x01", 2);
        QTest::newRow("half rle bmp with its end code") << halfRle << roomy << false << cut;
        const QByteArray bmp = bmpBytes(pattern, 24);
        QTest::newRow("bmp beyond the budget")
            << bmp << qint64(2000) << false
            << QStringLiteral("the picture needs more memory than allowed");
        QTest::newRow("bmp cancelled") << bmp << roomy << true << QStringLiteral("cancelled");
    }
    void refusals() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, budget);
        QFETCH(bool, cancelled);
        QFETCH(QString, error);
        const std::atomic_bool flag(cancelled);
        PictureDecoder decoder(QSize(1920, 1080), budget, nullptr, &flag);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QVERIFY(!decoder.decode(buffer));
        QCOMPARE(decoder.errorString(), error);
    }

    // Writers store the orientation as any integer type, in either byte
    // order; the value sits at the start of the entry's value field. A
    // rational of 6 is no orientation.
    void exifOrientationInAnyIntegerType_data() {
        QTest::addColumn<bool>("little");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("orientation");
        QTest::newRow("short") << false << 3 << 6;
        QTest::newRow("long, big-endian") << false << 4 << 8;
        QTest::newRow("signed long, little-endian") << true << 9 << 6;
        QTest::newRow("signed short") << true << 8 << 3;
        QTest::newRow("byte") << true << 1 << 5;
        QTest::newRow("rational is not a number") << true << 5 << 1;
    }
    void exifOrientationInAnyIntegerType() {
        QFETCH(bool, little);
        QFETCH(int, type);
        QFETCH(int, orientation);
        const QByteArray exif = exifBlock({.orientation = type == 5 ? 6 : orientation,
                                           .orientationType = type,
                                           .littleEndian = little});
        QCOMPARE(exifOrientation(reinterpret_cast<const uchar*>(exif.constData()), exif.size()),
                 orientation);
    }

    // A device handed over after its first bytes were read (as a caller
    // telling formats apart might) is still decoded from its start.
    void decodesFromTheDevicesStart() {
        QByteArray bytes = jpegBytes(testPattern(QSize(300, 200)));
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(buffer.read(16).size(), 16);
        DecodeContext context(QSize(1000, 1000), PictureDecoder::defaultMemoryBudget);
        QString error;
        const std::optional<DecodedPicture> picture = decodeJpeg(buffer, context, error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->fullSize, QSize(300, 200));
        QCOMPARE(patternMismatch(picture->image, true), QString());
    }

    // The same files whole, and the same number of scans on a small
    // picture, decode.
    void wholeFilesDecode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::newRow("repeated scans, small picture")
            << withRepeatedLastScan(jpegBytes(flatGrey(400), {.progressive = true}), 1000)
            << QSize(400, 400);
        QTest::newRow("whole rle bmp") << wholeRleBmp(64, 600) << QSize(64, 600);
    }
    void wholeFilesDecode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        PictureDecoder decoder(QSize(1920, 1080));
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const std::optional<DecodedPicture> picture = decoder.decode(buffer);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        QCOMPARE(picture->fullSize, size);
    }
};
KAVELO_TEST(JpegDecoderTest)

#include "tst_jpegdecoder.moc"
