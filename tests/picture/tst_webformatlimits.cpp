#include "picture/PictureDecoder.h"
#include "picture/decode/PngDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <atomic>
#include <ctime>

namespace {
// This thread's processor time in milliseconds: what a decode costs,
// however busy the machine running the test is.
qint64 threadMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& body) {
    const QByteArray typed = QByteArray(type) + body;
    return bigEndian32(quint32(body.size())) + typed + bigEndian32(crc32(typed));
}

// A PNG of the given header whose zlib stream holds rows (each led by its
// filter byte), with chunks before the pixels; no end chunk, which the
// decoder does not need.
QByteArray pngBytes(quint32 width, quint32 height, int depth, int colourType,
                    const QByteArray& rows, const QByteArray& chunks = {}) {
    QByteArray header = bigEndian32(width) + bigEndian32(height);
    header += char(depth);
    header += char(colourType);
    header += QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1A\n") + pngChunk("IHDR", header) + chunks +
           pngChunk("IDAT", qCompress(rows, 9).mid(4)) + pngChunk("IEND", {});
}

QByteArray rgbBytes(QRgb colour) {
    QByteArray bytes;
    bytes += char(qRed(colour));
    bytes += char(qGreen(colour));
    bytes += char(qBlue(colour));
    return bytes;
}

// A flat RGB PNG of w x h of one colour.
QByteArray flatPng(int width, int height, QRgb colour, const QByteArray& chunks = {}) {
    QByteArray row(1, '\0');
    for (int x = 0; x < width; ++x)
        row += rgbBytes(colour);
    return pngBytes(quint32(width), quint32(height), 8, 2, row.repeated(height), chunks);
}

// The first image descriptor of a GIF written by ImageMagick: where its
// width and height lie.
qsizetype frameSizeAt(const QByteArray& gif) {
    const qsizetype at = gif.indexOf(QByteArray::fromRawData("\x2C\0\0\0\0", 5));
    return at < 0 ? -1 : at + 5;
}

QByteArray riff(const char* fourcc, const QByteArray& body) {
    QByteArray chunk = QByteArray(fourcc) + QByteArray(4, '\0') + body;
    qToLittleEndian<quint32>(quint32(body.size()), chunk.data() + 4);
    if (body.size() % 2)
        chunk += '\0';
    QByteArray file = "RIFF" + QByteArray(4, '\0') + "WEBP" + chunk;
    qToLittleEndian<quint32>(quint32(file.size() - 8), file.data() + 4);
    return file;
}

// A lossless WebP's header declaring width x height, and a little data.
QByteArray losslessWebpHeader(int width, int height) {
    QByteArray body(5, '\0');
    body[0] = '\x2F';
    qToLittleEndian<quint32>(quint32(width - 1) | quint32(height - 1) << 14, body.data() + 1);
    return riff("VP8L", body + QByteArray(64, '\0'));
}

// A lossy WebP's key frame header declaring width x height, and a little
// data.
QByteArray lossyWebpHeader(int width, int height) {
    QByteArray body = QByteArray::fromHex("5000009d012a") + QByteArray(4, '\0');
    qToLittleEndian<quint16>(quint16(width), body.data() + 6);
    qToLittleEndian<quint16>(quint16(height), body.data() + 8);
    return riff("VP8 ", body + QByteArray(64, '\x55'));
}

QByteArray madeBy(const QStringList& command, const QString& output) {
    if (!runTool(command.first(), command.mid(1)).isEmpty())
        return {};
    return readBytes(output);
}
} // namespace

// PNG, GIF and WebP files made to cost far more than they show, and files
// cut short: each decoded or refused within 2 s of processor time in the
// program's budget.
// And what a PNG says of its colours and orientation, made here byte by
// byte, reaching the picture shown.
class WebFormatLimitsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hostile_data() {
        QTest::addColumn<QByteArray>("bytes");
        // Empty: shown; "*": refused for any reason.
        QTest::addColumn<QString>("error");
        const QString tooLarge = QStringLiteral("the picture is too large to decode");
        const QString cut = QStringLiteral("the file is cut short");
        const QString memory = QStringLiteral("the picture needs more memory than allowed");
        QTest::newRow("png 100000 x 100000 behind a tiny stream")
            << pngBytes(100000, 100000, 8, 2, QByteArray(4000, '\0')) << tooLarge;
        QTest::newRow("png 16-bit rgba 20000 x 20000 behind a tiny stream")
            << pngBytes(20000, 20000, 16, 6, QByteArray(4000, '\0')) << tooLarge;
        QTest::newRow("png 8000 x 8000 in a few hundred bytes")
            << pngBytes(8000, 8000, 8, 2, QByteArray(4000, '\0')) << cut;
        QTest::newRow("png 12000 x 8000 of zeros, whole")
            << pngBytes(12000, 8000, 8, 0, QByteArray(12001 * 8000, '\0')) << QString();
        const QByteArray png = flatPng(300, 200, qRgb(10, 200, 30));
        QTest::newRow("png cut in half") << png.left(png.size() / 2) << cut;
        QTest::newRow("png header only") << png.left(33) << cut;
        QTest::newRow("webp lossless 16383 x 16383") << losslessWebpHeader(16383, 16383) << memory;
        QTest::newRow("webp lossy 16383 x 16383")
            << lossyWebpHeader(16383, 16383) << QStringLiteral("*");
        QTemporaryDir dir;
        const QString webpPath = dir.filePath("p.webp");
        const QString source = dir.filePath("p.png");
        photoLike(QSize(300, 200)).save(source);
        const QByteArray webp =
            madeBy({"cwebp", "-quiet", "-q", "80", source, "-o", webpPath}, webpPath);
        if (!webp.isEmpty())
            QTest::newRow("webp cut in half") << webp.left(webp.size() / 2) << cut;
        const QString gifPath = dir.filePath("p.gif");
        const QByteArray gif = madeBy({convertProgram(), source, gifPath}, gifPath);
        if (!gif.isEmpty())
            QTest::newRow("gif cut in half") << gif.left(gif.size() / 2) << cut;
        // 16 megapixels of LZW data behind a frame of 4000 x 8.
        const QString flatPath = dir.filePath("flat.gif");
        QByteArray flat =
            madeBy({convertProgram(), "-size", "4000x4000", "xc:red", flatPath}, flatPath);
        const qsizetype size = frameSizeAt(flat);
        if (size > 0) {
            QByteArray runsOn = flat;
            qToLittleEndian<quint16>(8, runsOn.data() + size + 2);
            QTest::newRow("gif whose lzw data runs on past its frame") << runsOn << QString();
            QByteArray huge = flat;
            for (qsizetype at : {qsizetype(6), qsizetype(8), size, size + 2})
                qToLittleEndian<quint16>(65535, huge.data() + at);
            QTest::newRow("gif frame of 65535 x 65535") << huge << tooLarge;
        }
    }
    void hostile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PictureDecoder decoder(QSize(1920, 1080));
        QElapsedTimer timer;
        timer.start();
        const qint64 start = threadMilliseconds();
        const std::optional<DecodedPicture> picture = decoder.decode(buffer);
        const qint64 elapsed = threadMilliseconds() - start;
        qInfo("%s: %lld ms of processor time (%lld ms wall), %s", QTest::currentDataTag(), elapsed,
              timer.elapsed(), picture ? "shown" : qPrintable(decoder.errorString()));
        QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
        if (error.isEmpty()) {
            QVERIFY2(picture, qPrintable(decoder.errorString()));
            QVERIFY(picture->image.width() <= 1920 && picture->image.height() <= 1080);
        } else {
            QVERIFY(!picture);
            if (error != QLatin1String("*"))
                QCOMPARE(decoder.errorString(), error);
        }
    }

    // Each decoder asks the budget before it holds anything, and stops when
    // its caller no longer wants the picture.
    void budgetAndCancelling_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("png") << flatPng(64, 48, qRgb(1, 2, 3));
        QTest::newRow("gif") << QByteArray::fromHex("47494638396101000100800000000000ffffff"
                                                    "2c00000000010001000002024401003b");
        QTemporaryDir dir;
        const QString source = dir.filePath("p.png");
        testPattern().save(source);
        const QString webp = dir.filePath("p.webp");
        const QByteArray lossy = madeBy({"cwebp", "-quiet", source, "-o", webp}, webp);
        if (!lossy.isEmpty())
            QTest::newRow("webp") << lossy;
    }
    void budgetAndCancelling() {
        QFETCH(QByteArray, bytes);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PictureDecoder roomy(QSize(100, 100));
        QVERIFY2(roomy.decode(buffer), qPrintable(roomy.errorString()));
        // A small picture needs little of a small budget.
        PictureDecoder modest(QSize(100, 100), qint64(1) << 20);
        QVERIFY(buffer.seek(0));
        QVERIFY2(modest.decode(buffer), qPrintable(modest.errorString()));
        PictureDecoder tight(QSize(100, 100), 4096);
        QVERIFY(buffer.seek(0));
        QVERIFY(!tight.decode(buffer));
        QCOMPARE(tight.errorString(), QStringLiteral("the picture needs more memory than allowed"));
        const std::atomic_bool cancelled{true};
        PictureDecoder unwanted(QSize(100, 100), PictureDecoder::defaultMemoryBudget, nullptr,
                                &cancelled);
        QVERIFY(buffer.seek(0));
        QVERIFY(!unwanted.decode(buffer));
        QCOMPARE(unwanted.errorString(), QStringLiteral("cancelled"));
    }

    // A flat colour with what the file says of it, shown in sRGB.
    void gammaAndPrimaries_data() {
        QTest::addColumn<QByteArray>("chunks");
        QTest::addColumn<QRgb>("shown");
        const QByteArray gamma22 = pngChunk("gAMA", bigEndian32(45455));
        const QByteArray linear = pngChunk("gAMA", bigEndian32(100000));
        QTest::newRow("nothing said") << QByteArray() << qRgb(128, 64, 32);
        QTest::newRow("srgb chunk") << pngChunk("sRGB", QByteArray(1, '\0')) << qRgb(128, 64, 32);
        QTest::newRow("gamma 1/2.2") << gamma22 << qRgb(128, 64, 32);
        // Linear light: 0.502, 0.251, 0.125 are sRGB 188, 137, 99.
        QTest::newRow("linear") << linear << qRgb(188, 137, 99);
        QTest::newRow("sRGB chunk over a linear gamma")
            << pngChunk("sRGB", QByteArray(1, '\0')) + linear << qRgb(128, 64, 32);
        // Gamma 1/2.2 with wider primaries (Adobe RGB's): the red more
        // saturated in sRGB.
        QByteArray adobe;
        for (const quint32 value : {31270, 32900, 64000, 33000, 21000, 71000, 15000, 6000})
            adobe += bigEndian32(value);
        QTest::newRow("adobe primaries") << gamma22 + pngChunk("cHRM", adobe) << qRgb(145, 60, 26);
    }
    void gammaAndPrimaries() {
        QFETCH(QByteArray, chunks);
        QFETCH(QRgb, shown);
        QByteArray bytes = flatPng(8, 8, qRgb(128, 64, 32), chunks);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PictureDecoder decoder(QSize(100, 100));
        const std::optional<DecodedPicture> picture = decoder.decode(buffer);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        const QRgb pixel = picture->image.pixel(4, 4);
        const auto near = [](int a, int b) {
            return std::abs(a - b) <= 3;
        };
        QVERIFY2(
            near(qRed(pixel), qRed(shown)) && near(qGreen(pixel), qGreen(shown)) &&
                near(qBlue(pixel), qBlue(shown)),
            qPrintable(
                QStringLiteral("%1 %2 %3").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel))));
    }

    // An APNG whose default image is green and whose next frame, red,
    // follows in fdAT chunks: the default image is shown.
    void apngShowsItsDefaultImage() {
        // Frame sequence number, 8 x 8 at 0, 0, a delay of 1/10 s.
        const auto frameControl = [](quint32 sequence) {
            return pngChunk("fcTL", bigEndian32(sequence) + bigEndian32(8) + bigEndian32(8) +
                                        bigEndian32(0) + bigEndian32(0) +
                                        QByteArray::fromHex("0001000a0000"));
        };
        QByteArray bytes =
            flatPng(8, 8, qRgb(0, 255, 0),
                    pngChunk("acTL", bigEndian32(2) + bigEndian32(0)) + frameControl(0));
        QByteArray red(1, '\0');
        for (int x = 0; x < 8; ++x)
            red += rgbBytes(qRgb(255, 0, 0));
        // Before the end chunk.
        bytes.insert(bytes.size() - 12,
                     frameControl(1) +
                         pngChunk("fdAT", bigEndian32(2) + qCompress(red.repeated(8)).mid(4)));
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PictureDecoder decoder(QSize(100, 100));
        const std::optional<DecodedPicture> picture = decoder.decode(buffer);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        QCOMPARE(picture->image.pixel(4, 4), qRgb(0, 255, 0));
    }

    // An eXIf chunk saying the camera was turned right: the test pattern
    // stored on its side is shown upright.
    void exifOrientation() {
        const QImage upright = testPattern(QSize(64, 48));
        const QImage stored = upright.transformed(QTransform().rotate(-90));
        QByteArray rows;
        for (int y = 0; y < stored.height(); ++y) {
            rows += '\0';
            for (int x = 0; x < stored.width(); ++x) {
                const QRgb p = stored.pixel(x, y);
                rows += rgbBytes(p);
            }
        }
        QByteArray exif = QByteArray::fromHex("4d4d002a000000080001011200030000000100060000"
                                              "00000000");
        QByteArray bytes = pngBytes(quint32(stored.width()), quint32(stored.height()), 8, 2, rows,
                                    pngChunk("eXIf", exif));
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        PictureDecoder decoder(QSize(1000, 1000));
        const std::optional<DecodedPicture> picture = decoder.decode(buffer);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        QCOMPARE(picture->fullSize, upright.size());
        QCOMPARE(patternMismatch(picture->image, true), QString());
    }
};

KAVELO_TEST(WebFormatLimitsTest)
#include "tst_webformatlimits.moc"
