#include "picture/PictureDecoder.h"
#include "picture/raster/PictureFit.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/stat.h>

namespace {
// Which quarter of the image is dark: "top left", ..., or "none".
QString darkQuarter(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    const struct {
        const char* name;
        QPoint at;
    } quarters[] = {{"top left", {w / 4, h / 4}},
                    {"top right", {3 * w / 4, h / 4}},
                    {"bottom left", {w / 4, 3 * h / 4}},
                    {"bottom right", {3 * w / 4, 3 * h / 4}}};
    QStringList dark;
    for (const auto& quarter : quarters)
        if (qGray(image.pixel(quarter.at)) < 96)
            dark.append(QLatin1String(quarter.name));
    return dark.isEmpty() ? QStringLiteral("none") : dark.join(QLatin1Char(','));
}

} // namespace

class PictureDecoderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fit_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QRect>("drawn");
        QTest::newRow("smaller is not enlarged")
            << QSize(50, 40) << QSize(200, 100) << QRect(75, 30, 50, 40);
        QTest::newRow("wide is shrunk to the width")
            << QSize(400, 100) << QSize(200, 100) << QRect(0, 25, 200, 50);
        QTest::newRow("tall is shrunk to the height")
            << QSize(100, 400) << QSize(200, 100) << QRect(87, 0, 25, 100);
        QTest::newRow("exact fit") << QSize(200, 100) << QSize(200, 100) << QRect(0, 0, 200, 100);
        QTest::newRow("a line keeps one pixel")
            << QSize(20000, 1) << QSize(200, 100) << QRect(0, 49, 200, 1);
    }
    void fit() {
        QFETCH(QSize, picture);
        QFETCH(QSize, area);
        QFETCH(QRect, drawn);
        QCOMPARE(centredPictureRect(picture, area), drawn);
    }

    void decodesOnlyAsLargeAsTheBound_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("bound");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("jpeg shrunk") << QByteArray("jpeg") << QSize(100, 100) << QSize(100, 75);
        QTest::newRow("bmp shrunk after decoding")
            << QByteArray("bmp") << QSize(100, 100) << QSize(100, 75);
        QTest::newRow("tiff shrunk after decoding")
            << QByteArray("tiff") << QSize(100, 100) << QSize(100, 75);
        QTest::newRow("jpeg by an odd factor")
            << QByteArray("jpeg") << QSize(300, 250) << QSize(300, 225);
        QTest::newRow("never enlarged")
            << QByteArray("jpeg") << QSize(2000, 2000) << QSize(400, 300);
    }
    void decodesOnlyAsLargeAsTheBound() {
        QFETCH(QByteArray, format);
        QFETCH(QSize, bound);
        QFETCH(QSize, shown);
        QTemporaryDir dir;
        const QString path = dir.filePath("picture");
        QVERIFY(writeImage(path, testPattern(QSize(400, 300)), format));
        PictureDecoder decoder(bound);
        const std::optional<DecodedPicture> picture = decoder.decode(path);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        QCOMPARE(picture->fullSize, QSize(400, 300));
        QCOMPARE(picture->image.size(), shown);
        QCOMPARE(patternMismatch(picture->image, true), QString());
    }

    void exifOrientationTurnsThePictureUpright_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("bound");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QString>("dark");
        QTest::newRow("as stored") << 1 << QSize(1000, 1000) << QSize(64, 48) << "top left";
        QTest::newRow("turned right") << 6 << QSize(1000, 1000) << QSize(48, 64) << "top right";
        QTest::newRow("turned left") << 8 << QSize(1000, 1000) << QSize(48, 64) << "bottom left";
        QTest::newRow("upside down") << 3 << QSize(1000, 1000) << QSize(64, 48) << "bottom right";
        QTest::newRow("turned and shrunk") << 6 << QSize(20, 20) << QSize(15, 20) << "top right";
    }
    void exifOrientationTurnsThePictureUpright() {
        QFETCH(int, orientation);
        QFETCH(QSize, bound);
        QFETCH(QSize, shown);
        QFETCH(QString, dark);
        QTemporaryDir dir;
        const QString turned = dir.filePath("turned.jpg");
        QVERIFY(writeBytes(turned, jpegBytes(testPattern(QSize(64, 48), false),
                                             {.exif = exifBlock({.orientation = orientation})})));
        PictureDecoder decoder(bound);
        const std::optional<DecodedPicture> picture = decoder.decode(turned);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        QCOMPARE(picture->fullSize, orientation >= 5 ? QSize(48, 64) : QSize(64, 48));
        QCOMPARE(picture->image.size(), shown);
        QCOMPARE(darkQuarter(picture->image), dark);
    }

    void decidesByContentNotByName() {
        QTemporaryDir dir;
        const QString jpegAsBmp = dir.filePath("photo.bmp");
        QVERIFY(writeImage(jpegAsBmp, testPattern(), "jpeg"));
        const QString bmpAsTif = dir.filePath("scan.tif");
        QVERIFY(writeImage(bmpAsTif, testPattern(), "bmp"));
        PictureDecoder decoder(QSize(1000, 1000));
        for (const QString& path : {jpegAsBmp, bmpAsTif}) {
            const std::optional<DecodedPicture> picture = decoder.decode(path);
            QVERIFY2(picture, qPrintable(decoder.errorString()));
            QCOMPARE(patternMismatch(picture->image, true), QString());
        }
    }

    // Pictures that Qt's other plugins would decode never reach them.
    void otherFormatsAreRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("ico") << "icon.bmp" << QByteArray("ico");
        QTest::newRow("tga") << "game.bmp" << QByteArray("tga");
    }
    void otherFormatsAreRefused() {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (format == "tga") {
            // An uncompressed 2 x 2 true-colour Targa, which has no signature.
            QByteArray tga = QByteArray::fromHex("000002000000000000000000020002001800");
            tga.append(QByteArray(12, '\x7f'));
            tga.append(QByteArray(8, '\0')).append("TRUEVISION-XFILE.").append('\0');
            QVERIFY(writeBytes(path, tga));
        } else {
            if (!QImageWriter::supportedImageFormats().contains(format))
                QSKIP("this Qt has no writer for the format");
            QVERIFY(writeImage(path, testPattern(QSize(32, 32)), format));
        }
        QImageReader plugin(path, format);
        if (plugin.read().isNull())
            QSKIP("no Qt plugin reads this format here, so the test shows nothing");

        PictureDecoder decoder(QSize(1000, 1000));
        QVERIFY(!decoder.decode(path));
        QCOMPARE(decoder.errorString(),
                 QStringLiteral("not a JPEG, BMP, TIFF, PNG, GIF, WebP, HEIF or JPEG XL file"));
    }

    void failures_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind :
             {"zero bytes", "text", "folder", "missing", "jpeg headers only", "jpeg cut in half",
              "progressive jpeg cut in half", "jpeg end marker without a scan", "bmp cut short",
              "rle bmp cut short", "tiff cut in half", "jpeg with garbage after the headers"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void failures() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("picture.jpg");
        const QString source = dir.filePath("source");
        const QImage picture = testPattern(QSize(300, 200));
        QByteArray bytes;
        if (kind == "text") {
            bytes = "not a picture at all\n";
        } else if (kind.contains("jpeg")) {
            QVERIFY(writeImage(source, picture, "jpeg", 90, kind.startsWith("progressive")));
            bytes = readBytes(source);
            const qsizetype scan = bytes.indexOf("\xFF\xDA");
            if (kind == "jpeg headers only")
                bytes.truncate(scan);
            else if (kind == "jpeg end marker without a scan")
                bytes = bytes.left(scan) + QByteArray("\xFF\xD9");
            else if (kind == "jpeg with garbage after the headers")
                bytes = bytes.left(scan) + QByteArray(5000, '\x55');
            else
                bytes.truncate(bytes.size() / 2);
        } else if (kind == "bmp cut short") {
            bytes = bmpBytes(picture, 24).chopped(700);
        } else if (kind == "rle bmp cut short") {
            bytes = bmpBytes(picture, 8, BmpCompression::Rle8);
            bytes.truncate(bytes.size() - 40);
        } else if (kind == "tiff cut in half") {
            QVERIFY(writeImage(source, picture, "tiff"));
            bytes = readBytes(source);
            bytes.truncate(bytes.size() / 2);
        }
        QString target = path;
        if (kind == "folder") {
            QVERIFY(QDir(dir.path()).mkdir("folder.jpg"));
            target = dir.filePath("folder.jpg");
        } else if (kind == "missing") {
            target = dir.filePath("missing.jpg");
        } else {
            QVERIFY(writeBytes(path, bytes));
        }
        PictureDecoder decoder(QSize(1000, 1000));
        QVERIFY(!decoder.decode(target));
        QVERIFY(!decoder.errorString().isEmpty());
    }

    void aPipeNeverBlocks() {
        QTemporaryDir dir;
        const QByteArray pipe = QFile::encodeName(dir.filePath("pipe.jpg"));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        PictureDecoder decoder(QSize(1000, 1000));
        QVERIFY(!decoder.decode(QFile::decodeName(pipe)));
    }

    void anUnreadableFileFails() {
        QTemporaryDir dir;
        const QString path = dir.filePath("secret.jpg");
        QVERIFY(writeImage(path, testPattern(), "jpeg"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("running with rights that read any file");
        PictureDecoder decoder(QSize(1000, 1000));
        QVERIFY(!decoder.decode(path));
    }

    // BMP is shrunk while read: the budget covers the shown picture, not
    // the 3 MB of the stored one.
    void aPictureBeyondTheBudgetFails() {
        QTemporaryDir dir;
        const QString path = dir.filePath("big.bmp");
        QVERIFY(writeBytes(path, bmpBytes(testPattern(QSize(1000, 1000)), 24)));
        PictureDecoder small(QSize(100, 100), qint64(1) << 20);
        QVERIFY2(small.decode(path), qPrintable(small.errorString()));
        PictureDecoder tight(QSize(100, 100), qint64(48) << 10);
        QVERIFY(!tight.decode(path));
        QCOMPARE(tight.errorString(), QStringLiteral("the picture needs more memory than allowed"));
        PictureDecoder roomy(QSize(100, 100));
        QVERIFY2(roomy.decode(path), qPrintable(roomy.errorString()));
    }

    void aTinyBmpClaimingAHugeSizeFails() {
        QTemporaryDir dir;
        const QString path = dir.filePath("claims.bmp");
        // 16000 x 16000 run-length encoded: a few bytes of data, seconds
        // of converting and shrinking pixels.
        // The rows are skipped by deltas, so the data reaches the last row.
        QByteArray bytes = bmpBytes(testPattern(QSize(8, 8)), 8, BmpCompression::Rle8);
        bytes.truncate(qFromLittleEndian<quint32>(bytes.constData() + 10));
        for (int row = 0; row < 16000; row += 255)
            bytes += QByteArray::fromRawData("\x00\x02\x00\xFF", 4);
        bytes += QByteArray::fromRawData("\x00\x01", 2);
        qToLittleEndian<qint32>(16000, bytes.data() + 18);
        qToLittleEndian<qint32>(16000, bytes.data() + 22);
        qToLittleEndian<quint32>(0, bytes.data() + 34);
        QVERIFY(writeBytes(path, bytes));
        PictureDecoder decoder(QSize(1920, 1080));
        QVERIFY(!decoder.decode(path));
        QCOMPARE(decoder.errorString(), QStringLiteral("the picture is too large to decode"));
    }

    // A progressive JPEG keeps every coefficient of the full picture while
    // decoding, whatever the output size; a tiny file claiming 20000 x 20000
    // would take over a gigabyte and seconds.
    void aTinyProgressiveJpegClaimingAHugeSizeFails() {
        QTemporaryDir dir;
        const QString small = dir.filePath("small.jpg");
        QVERIFY(writeImage(small, testPattern(QSize(64, 64)), "jpeg", 90, true));
        const QString path = dir.filePath("claims.jpg");
        const QByteArray crafted = withJpegSize(readBytes(small), 20000, 20000);
        QVERIFY(writeBytes(path, crafted));
        QCOMPARE(crafted.size(), readBytes(small).size());

        // The user's own setting neither loosens the limit nor is lost.
        const QByteArray userSetting = qgetenv("JPEGMEM");
        qputenv("JPEGMEM", "100000M");
        PictureDecoder decoder(QSize(1920, 1080));
        const bool loaded = decoder.decode(path).has_value();
        const QByteArray afterwards = qgetenv("JPEGMEM");
        if (userSetting.isNull())
            qunsetenv("JPEGMEM");
        else
            qputenv("JPEGMEM", userSetting);
        QVERIFY(!loaded);
        QCOMPARE(afterwards, QByteArray("100000M"));
    }

    // libjpeg's own working memory counts against the budget: a progressive
    // picture fails under a budget that a baseline one of the same size,
    // decoded to the same small output, stays within.
    // What fuzzing found crashing, slow or outgrowing its budget is shown
    // or refused with a reason; the sanitized runs check it stays clean.
    void fuzzFindingsStayFixed_data() {
        QTest::addColumn<QString>("path");
        const QDir folder(QStringLiteral(KAVELO_SOURCE_DIR "/fuzz/regressions"));
        for (const QString& name : folder.entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << folder.filePath(name);
    }
    void fuzzFindingsStayFixed() {
        QFETCH(QString, path);
        PictureDecoder decoder(QSize(1920, 1080));
        QVERIFY(decoder.decode(path) || !decoder.errorString().isEmpty());
    }

    void libjpegMemoryCountsAgainstTheBudget() {
        QTemporaryDir dir;
        const QImage picture = testPattern(QSize(1200, 1200));
        const QString progressive = dir.filePath("progressive.jpg");
        QVERIFY(writeImage(progressive, picture, "jpeg", 90, true));
        const QString baseline = dir.filePath("baseline.jpg");
        QVERIFY(writeImage(baseline, picture, "jpeg"));
        PictureDecoder tight(QSize(64, 64), qint64(1) << 20);
        QVERIFY2(tight.decode(baseline), qPrintable(tight.errorString()));
        QVERIFY(!tight.decode(progressive));
        PictureDecoder roomy(QSize(64, 64));
        QVERIFY2(roomy.decode(progressive), qPrintable(roomy.errorString()));
    }

    // By the first bytes alone; a signature cut short is none.
    void formatsAreToldByTheirFirstBytes_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("format");
        QTest::newRow("jpeg") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF") << "JPEG";
        QTest::newRow("bmp") << QByteArray("BM\x36\0\0\0") << "BMP";
        QTest::newRow("tiff, little-endian") << QByteArray("II*\0\x08\0\0\0", 8) << "TIFF";
        QTest::newRow("tiff, big-endian") << QByteArray("MM\0*\0\0\0\x08", 8) << "TIFF";
        QTest::newRow("tiff cut short") << QByteArray("II*", 3) << QString();
        QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16) << "PNG";
        QTest::newRow("gif") << QByteArray("GIF89a\x10\0") << "GIF";
        QTest::newRow("webp") << QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16) << "WebP";
        const auto ftyp = [](const char* major, const char* compatible) {
            return QByteArray("\0\0\0\x18"
                              "ftyp",
                              8) +
                   major + QByteArray(4, '\0') + compatible + "mif1";
        };
        QTest::newRow("heic") << ftyp("heic", "miaf") << "HEIF";
        QTest::newRow("avif") << ftyp("avif", "miaf") << "HEIF";
        QTest::newRow("compatible brand only") << ftyp("XXXX", "avis") << "HEIF";
        QTest::newRow("a video, not a picture") << QByteArray("\0\0\0\x14"
                                                              "ftypisom\0\0\0\0mp41",
                                                              20)
                                                << QString();
        QTest::newRow("brand past the box's end") << QByteArray("\0\0\0\x10"
                                                                "ftypisom\0\0\0\0heic",
                                                                20)
                                                  << QString();
        QTest::newRow("jxl codestream") << QByteArray("\xFF\x0A\x00", 3) << "JPEG XL";
        QTest::newRow("jxl container")
            << QByteArray("\0\0\0\x0CJXL \r\n\x87\n\0\0", 14) << "JPEG XL";
        QTest::newRow("riff of another kind")
            << QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) << QString();
        QTest::newRow("jpeg marker without a segment") << QByteArray("\xFF\xD8") << QString();
        QTest::newRow("nothing") << QByteArray() << QString();
    }
    void formatsAreToldByTheirFirstBytes() {
        QFETCH(QByteArray, head);
        QFETCH(QString, format);
        QCOMPARE(PictureDecoder::formatOf(head), format);
    }
};
KAVELO_TEST(PictureDecoderTest)

#include "tst_picturedecoder.moc"
