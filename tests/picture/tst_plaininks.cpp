#include "picture/PictureDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
// Flat blocks of 8 x 8 (whole JPEG blocks) in 48 colours spread over the
// cube, so that a quality-100 JPEG without subsampling keeps every block's
// inks exactly and the mix is tried on many values.
QImage inkBlocks() {
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int bx = x / 8;
            const int by = y / 8;
            image.setPixel(x, y,
                           qRgb((bx * 37 + by * 91) % 256, (bx * 113 + by * 29) % 256,
                                (bx * 59 + by * 151) % 256));
        }
    return image;
}

// Where two pictures first differ, or empty.
QString firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("(%1, %2): %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return {};
}
} // namespace

// CMYK pictures without a colour profile are mixed into colours by one
// rule, whichever format and reader carries their inks.
class PlainInksTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameInksGiveSameColoursInEveryFormat_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("bits");
        // Read by the row converter, through libtiff's RGBA reader (planes
        // the converter does not take apart), and sample by sample (12 bits
        // keep every 8-bit ink through their own rounding).
        QTest::newRow("8-bit tiff") << QStringList{"-depth", "8"} << 8;
        QTest::newRow("16-bit tiff") << QStringList{"-depth", "16"} << 16;
        QTest::newRow("8-bit planar tiff")
            << QStringList{"-depth", "8", "-interlace", "plane"} << 8;
        QTest::newRow("12-bit tiff") << QStringList{"-depth", "12"} << 12;
    }
    void sameInksGiveSameColoursInEveryFormat() {
        QFETCH(QStringList, arguments);
        QFETCH(int, bits);
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QTemporaryDir dir;
        const QString png = dir.filePath("blocks.png");
        const QString jpeg = dir.filePath("inks.jpg");
        const QString tiff = dir.filePath("inks.tif");
        QVERIFY(writeImage(png, inkBlocks(), "png"));
        // convert writes CMYK JPEGs as Adobe's programs do, each sample the
        // paper an ink leaves white, which is what libjpeg hands back.
        QVERIFY(runConvert({png, "-colorspace", "CMYK", "-quality", "100", "-sampling-factor",
                            "1x1", "JPEG:" + jpeg}));
        const QByteArray jpegBytes = readBytes(jpeg);
        QCOMPARE(jpegComponents(jpegBytes), 4);
        QVERIFY(jpegBytes.contains("Adobe"));
        // The very inks the JPEG decodes to, as a TIFF of inks.
        QVERIFY(runConvert(QStringList{jpeg} + arguments + QStringList{"TIFF:" + tiff}));
        const QByteArray tiffBytes = readBytes(tiff);
        QCOMPARE(tiffTag(tiffBytes, 262), 5);
        QCOMPARE(tiffTag(tiffBytes, 258), bits);
        QCOMPARE(tiffTag(tiffBytes, 34675), -1);

        PictureDecoder decoder(QSize(1000, 1000));
        const std::optional<DecodedPicture> fromJpeg = decoder.decode(jpeg);
        QVERIFY2(fromJpeg, qPrintable(decoder.errorString()));
        const std::optional<DecodedPicture> fromTiff = decoder.decode(tiff);
        QVERIFY2(fromTiff, qPrintable(decoder.errorString()));
        QCOMPARE(fromJpeg->image.format(), QImage::Format_RGB32);
        QCOMPARE(fromTiff->image.format(), QImage::Format_RGB32);
        QCOMPARE(firstDifference(fromTiff->image, fromJpeg->image), QString());
        // And the colours are the blocks', within what CMYK keeps of them.
        QVERIFY(meanDifference(fromJpeg->image, inkBlocks()) < 2);
    }
};
KAVELO_TEST(PlainInksTest)

#include "tst_plaininks.moc"
