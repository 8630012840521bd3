#include "picture/decode/DecodeContext.h"
#include "picture/decode/TiffDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <atomic>
#include <thread>

namespace {
std::optional<DecodedPicture> decodeBytes(const QByteArray& bytes, DecodeContext& context,
                                          QString& error) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decodeTiff(buffer, context, error);
}

// convert's arguments for each variant, and a tag that shows it is one.
struct Variant {
    QStringList arguments;
    int tag;
    int value;
};
Variant variantFor(const QString& name) {
    const QStringList cmyk8 = {"-colorspace", "CMYK", "-depth", "8"};
    const QStringList cmyk16 = {"-colorspace", "CMYK", "-depth", "16"};
    const QStringList alpha = {"-alpha", "set"};
    const QStringList tiles = {"-define", "tiff:tile-geometry=16x16"};
    if (name == "cmyk 8")
        return {cmyk8, 262, 5};
    if (name == "cmyk 8 alpha")
        return {cmyk8 + alpha, 277, 5};
    if (name == "cmyk 16")
        return {cmyk16, 258, 16};
    if (name == "cmyk 16 alpha")
        return {cmyk16 + alpha, 277, 5};
    if (name == "cmyk 8 tiles")
        return {cmyk8 + tiles, 262, 5};
    if (name == "cmyk 16 alpha tiles")
        return {cmyk16 + alpha + tiles, 322, 16};
    if (name == "rgb 16")
        return {{"-depth", "16"}, 258, 16};
    if (name == "rgb alpha deflate")
        return {QStringList{"-compress", "zip"} + alpha, 277, 4};
    if (name == "palette")
        return {{"-type", "palette"}, 262, 3};
    if (name == "grey 1-bit")
        return {{"-monochrome", "-depth", "1"}, 258, 1};
    if (name == "min-is-white")
        return {{"-monochrome", "-depth", "1", "-define", "quantum:polarity=min-is-white"}, 262, 0};
    if (name == "jpeg in tiff")
        return {{}, 262, 6};
    if (name == "planar")
        return {{"-interlace", "plane"}, 284, 2};
    if (name == "packbits")
        return {{"-type", "truecolor", "-compress", "rle"}, 259, 32773};
    if (name == "jpeg rgb")
        return {{"-type", "truecolor", "-compress", "jpeg"}, 259, 7};
    if (name == "fax g3")
        return {{"-monochrome", "-compress", "fax"}, 259, 3};
    if (name == "fax g4")
        return {{"-monochrome", "-compress", "group4"}, 259, 4};
    return {};
}
} // namespace

class TiffDecoderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void variants_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("colour");
        QTest::addColumn<bool>("alpha");
        for (const char* name : {"cmyk 8", "cmyk 16", "cmyk 8 tiles", "rgb 16", "palette",
                                 "jpeg in tiff", "jpeg rgb", "planar", "packbits"})
            QTest::newRow(name) << QString::fromLatin1(name) << true << false;
        for (const char* name :
             {"cmyk 8 alpha", "cmyk 16 alpha", "cmyk 16 alpha tiles", "rgb alpha deflate"})
            QTest::newRow(name) << QString::fromLatin1(name) << true << true;
        for (const char* name : {"grey 1-bit", "min-is-white", "fax g3", "fax g4"})
            QTest::newRow(name) << QString::fromLatin1(name) << false << false;
    }
    void variants() {
        QFETCH(QString, name);
        QFETCH(bool, colour);
        QFETCH(bool, alpha);
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QTemporaryDir dir;
        const QString png = dir.filePath("pattern.png");
        const QString tiff = dir.filePath("variant.tif");
        QVERIFY(writeImage(png, testPattern(QSize(64, 48), colour), "png"));
        const Variant variant = variantFor(name);
        QVERIFY(runConvert(QStringList{png} + variant.arguments + QStringList{"TIFF:" + tiff}));
        // convert writes JPEG in RGB; libtiff's own tools write YCbCr.
        const QString jpeg = dir.filePath("jpeg.tif");
        if (name == "jpeg in tiff")
            QCOMPARE(QProcess::execute("tiffcp", {"-c", "jpeg", tiff, jpeg}), 0);
        const QByteArray bytes = readBytes(name == "jpeg in tiff" ? jpeg : tiff);
        QCOMPARE(tiffTag(bytes, variant.tag), variant.value);

        // Shrunk to a third, so every row and column is averaged.
        DecodeContext context(QSize(22, 22), qint64(8) << 20);
        QString error;
        const std::optional<DecodedPicture> picture = decodeBytes(bytes, context, error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->fullSize, QSize(64, 48));
        QCOMPARE(picture->image.size(), QSize(22, 16));
        QCOMPARE(picture->image.format(),
                 alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        QCOMPARE(patternMismatch(picture->image, colour), QString());
        QVERIFY(context.reserved() > 0);
    }

    void orientationTurnsThePictureUpright_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("seen");
        QTest::addColumn<QPoint>("black");
        QTest::addColumn<QPoint>("red");
        QTest::newRow("mirrored") << 2 << QSize(64, 48) << QPoint(48, 12) << QPoint(16, 36);
        QTest::newRow("turned right") << 6 << QSize(48, 64) << QPoint(36, 16) << QPoint(12, 48);
        QTest::newRow("turned left") << 8 << QSize(48, 64) << QPoint(12, 48) << QPoint(36, 16);
        QTest::newRow("transposed") << 5 << QSize(48, 64) << QPoint(12, 16) << QPoint(36, 48);
        QTest::newRow("transverse") << 7 << QSize(48, 64) << QPoint(36, 48) << QPoint(12, 16);
    }
    void orientationTurnsThePictureUpright() {
        QFETCH(int, orientation);
        QFETCH(QSize, seen);
        QFETCH(QPoint, black);
        QFETCH(QPoint, red);
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QTemporaryDir dir;
        const QString png = dir.filePath("pattern.png");
        const QString tiff = dir.filePath("turned.tif");
        QVERIFY(writeImage(png, testPattern(), "png"));
        const char* names[] = {"",         "",          "top-right",    "",           "",
                               "left-top", "right-top", "right-bottom", "left-bottom"};
        QVERIFY(runConvert({png, "-orient", names[orientation], "TIFF:" + tiff}));
        QCOMPARE(tiffTag(readBytes(tiff), 274), orientation);
        DecodeContext context(QSize(1000, 1000), qint64(8) << 20);
        QString error;
        const std::optional<DecodedPicture> picture = decodeBytes(readBytes(tiff), context, error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->fullSize, seen);
        QCOMPARE(picture->image.size(), seen);
        QCOMPARE(qGray(picture->image.pixel(black)), 0);
        QCOMPARE(picture->image.pixel(red), qRgb(255, 0, 0));
    }

    void failures_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QString>("error");
        const QByteArray rows(64 * 48, '\x80');
        const QByteArray whole = greyTiffBytes(QSize(64, 48), 8, rows);
        QTest::newRow("whole") << whole << qint64(1) << QString();
        QTest::newRow("last strip cut short")
            << whole.chopped(100) << qint64(1) << "the file is cut short";
        QTest::newRow("strips missing")
            << whole.left(whole.size() - rows.size()) << qint64(1) << "the file is cut short";
        QTest::newRow("one strip declaring 65535 x 65535")
            << greyTiffBytes(QSize(65535, 65535), 65535, QByteArray(1000, '\0'), 8) << qint64(1)
            << "the picture is too large to decode";
        QTest::newRow("beyond the memory limit")
            << whole << qint64(0) << "the picture needs more memory than allowed";
        QTest::newRow("not a tiff") << QByteArray("II*\0garbage", 11) << qint64(1) << "*";
    }
    void failures() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, limit);
        QFETCH(QString, error);
        // limit 1: the default budget; 0: less than this small picture needs.
        DecodeContext context(QSize(1920, 1080), limit ? qint64(640) << 20 : 10000);
        QString reason;
        const std::optional<DecodedPicture> picture = decodeBytes(bytes, context, reason);
        QCOMPARE(picture.has_value(), error.isEmpty());
        if (error == "*")
            QVERIFY(!reason.isEmpty());
        else
            QCOMPARE(reason, error);
        if (picture)
            QCOMPARE(picture->image.pixel(10, 10), qRgb(128, 128, 128));
    }

    // Fax pages are shown as libtiff reads them: a line ended early only
    // warns and is filled out, while data that breaks off or cannot be
    // decoded refuses the page rather than show it blank.
    void faxPages_data() {
        QTest::addColumn<QByteArray>("strip");
        QTest::addColumn<bool>("shown");
        // One-dimensional group 3 lines of 64 pixels, each after its EOL:
        // a run of 64 (makeup 64, then 0), or a line that stops at 32.
        QTest::newRow("whole page")
            << QByteArray::fromHex("001d9a800ecd400766a003b350010010010010010010") << true;
        QTest::newRow("second line ended early")
            << QByteArray::fromHex("001d9a8008d800ecd400766a002002002002002002") << true;
        QTest::newRow("data breaks off") << QByteArray::fromHex("001d9a800ecd") << false;
        QTest::newRow("no code decodes") << QByteArray(22, '\0') << false;
    }
    void faxPages() {
        QFETCH(QByteArray, strip);
        QFETCH(bool, shown);
        DecodeContext context(QSize(1920, 1080), qint64(640) << 20);
        QString error;
        const std::optional<DecodedPicture> picture =
            decodeBytes(greyTiffBytes(QSize(64, 4), 4, strip, 3, 1), context, error);
        QVERIFY2(picture.has_value() == shown, qPrintable(error));
        if (picture)
            QCOMPARE(picture->fullSize, QSize(64, 4));
    }

    // A float picture in one strip too large to hold whole is read a row at
    // a time, twice (its range first), within a budget the strip exceeds.
    void aLargeStripIsReadRowByRow() {
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QTemporaryDir dir;
        const QString tiff = dir.filePath("tall.tif");
        QVERIFY(runConvert({"-size", "600x4000", "gradient:white-black", "-depth", "32", "-define",
                            "quantum:format=floating-point", "-define", "tiff:rows-per-strip=4000",
                            "-compress", "zip", "TIFF:" + tiff}));
        const QByteArray bytes = readBytes(tiff);
        QCOMPARE(tiffTag(bytes, 278), 4000);
        DecodeContext context(QSize(1000, 1000), qint64(8) << 20);
        QString error;
        const std::optional<DecodedPicture> picture = decodeBytes(bytes, context, error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->fullSize, QSize(600, 4000));
        const QImage& image = picture->image;
        QCOMPARE(qGray(image.pixel(0, 0)), 255);
        QVERIFY(qAbs(qGray(image.pixel(0, image.height() / 2)) - 128) <= 1);
        QCOMPARE(qGray(image.pixel(0, image.height() - 1)), 0);
    }

    void aCancelledDecodeStops() {
        const QByteArray bytes = greyTiffBytes(QSize(64, 48), 8, QByteArray(64 * 48, '\0'));
        const std::atomic_bool cancelled{true};
        DecodeContext context(QSize(100, 100), qint64(8) << 20, nullptr, &cancelled);
        QString error;
        QVERIFY(!decodeBytes(bytes, context, error));
        QCOMPARE(error, QStringLiteral("cancelled"));
    }

    // Several threads decoding at once get what one alone gets.
    void decodesOnSeveralThreadsAtOnce() {
        QByteArray rows;
        for (int i = 0; i < 256 * 256; ++i)
            rows.append(char(i % 256 ^ i / 256));
        const QByteArray bytes = greyTiffBytes(QSize(256, 256), 4, rows);
        const auto decode = [&bytes] {
            DecodeContext context(QSize(50, 50), qint64(8) << 20);
            QString error;
            const std::optional<DecodedPicture> picture = decodeBytes(bytes, context, error);
            return picture ? picture->image : QImage();
        };
        const QImage alone = decode();
        QVERIFY(!alone.isNull());
        std::vector<QImage> results(4);
        std::vector<std::thread> threads;
        for (QImage& result : results)
            threads.emplace_back([&result, &decode] {
                for (int i = 0; i < 20 && result == QImage(); ++i)
                    result = decode();
            });
        for (std::thread& thread : threads)
            thread.join();
        for (const QImage& result : results)
            QCOMPARE(result, alone);
    }
};
KAVELO_TEST(TiffDecoderTest)

#include "tst_tiffdecoder.moc"
