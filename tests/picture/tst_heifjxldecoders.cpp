#include "picture/PictureDecoder.h"
#include "picture/colour/ColourConversion.h"
#include "picture/decode/AvifDecoder.h"
#include "picture/decode/CodedColours.h"
#include "picture/decode/DecodeBudget.h"
#include "picture/decode/DecodeContext.h"
#include "picture/decode/HeifDecoder.h"
#include "picture/decode/JxlDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace {
const QSize oneToOne(8192, 8192);

// A missing tool skips the test, a failing one fails it.
#define CHECK_TOOL(result)                                                                         \
    do {                                                                                           \
        const QString outcome = (result);                                                          \
        if (outcome == toolMissing)                                                                \
            QSKIP("a tool the test needs is not installed");                                       \
        QVERIFY2(outcome.isEmpty(), qPrintable(outcome));                                          \
    } while (false)
#define RUN_TOOL(dir, program, ...)                                                                \
    CHECK_TOOL(runTool(QStringLiteral(program), {__VA_ARGS__}, (dir).path()))

// The pictures the encoders start from, made with ImageMagick: a plasma of
// colours (seeded, so the same every run), the same with an alpha ramp from
// opaque on the left to clear on the right, at 16 bits, and as the first
// frame of an animation; a larger one for grids.
QString makeSources(const QTemporaryDir& dir) {
    const QList<QStringList> commands = {
        {"-seed", "7", "-size", "96x64", "plasma:", "-blur", "0x1", "-depth", "8", "source.png"},
        {"source.png", "(", "-size", "64x96", "gradient:white-black", "-rotate", "-90", ")",
         "-alpha", "off", "-compose", "CopyOpacity", "-composite", "-depth", "8", "alpha.png"},
        {"-seed", "7", "-size", "256x128", "plasma:", "-blur", "0x1", "-depth", "8", "large.png"},
        {"source.png", "-depth", "16", "source16.png"},
        {"-delay", "10", "source.png", "(", "source.png", "-negate", ")", "animation.gif"}};
    for (const QStringList& arguments : commands) {
        const QString outcome = runTool(QStringLiteral("convert"), arguments, dir.path());
        if (!outcome.isEmpty())
            return outcome;
    }
    // A JPEG whose EXIF says to turn it a quarter right, which cjxl carries
    // into the JPEG XL's own orientation.
    QImageWriter turned(dir.filePath(QStringLiteral("turned.jpg")), "jpeg");
    turned.setQuality(95);
    turned.setTransformation(QImageIOHandler::TransformationRotate90);
    if (!turned.write(QImage(dir.filePath(QStringLiteral("source.png")))))
        return turned.errorString();
    return {};
}

// The picture laid over black, as meanDifference lays ours.
QImage overBlack(const QImage& picture) {
    QImage out(picture.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter(&out).drawImage(0, 0, picture);
    return out;
}

std::optional<DecodedPicture> decodeFile(const QString& path, QString* error = nullptr) {
    PictureDecoder decoder(oneToOne);
    auto picture = decoder.decode(path);
    if (error)
        *error = decoder.errorString();
    return picture;
}

// A small JPEG XL codestream whose header claims 32768 x 32768 pixels
// (2^30) and holds nothing more: the signature, a size header of 30-bit
// height with a 1:1 ratio, and default metadata.
QByteArray jxlClaimingGigapixel() {
    QByteArray bytes("\xFF\x0A", 2);
    quint64 bits = 0;
    int count = 0;
    const auto put = [&](quint64 value, int width) {
        bits |= value << count;
        count += width;
    };
    put(0, 1);      // not small
    put(3, 2);      // height: 30 bits
    put(32767, 30); // height - 1
    put(1, 3);      // ratio 1:1
    put(1, 1);      // all_default metadata
    for (int i = 0; i < 8; ++i)
        bytes.append(char(bits >> (8 * i) & 0xFF));
    bytes.append(QByteArray(64, '\0'));
    return bytes;
}

// Replaces the first width and height of an ispe box (or a grid's output
// size, found by its old bytes) in a file.
bool patchIspe(QByteArray& file, quint32 width, quint32 height) {
    const qsizetype at = file.indexOf("ispe");
    if (at < 0 || at + 16 > file.size())
        return false;
    qToBigEndian(width, file.data() + at + 8);
    qToBigEndian(height, file.data() + at + 12);
    return true;
}
} // namespace

class HeifJxlDecoderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each picture as the format's own tools decode it, at 1:1.
    void matchesTheLibrariesTools_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QStringList>("encode");
        QTest::addColumn<QString>("reference");
        QTest::addColumn<QStringList>("decode");
        QTest::addColumn<QSize>("fullSize");
        QTest::addColumn<bool>("alpha");
        const QSize size(96, 64);
        const QStringList heifConvert{"out.heic", "ref.png"};
        QTest::newRow("heic 8-bit")
            << "heif-enc" << QStringList{"-q", "90", "source.png", "-o", "out.heic"}
            << "heif-convert" << heifConvert << size << false;
        QTest::newRow("heic alpha")
            << "heif-enc" << QStringList{"-q", "90", "alpha.png", "-o", "out.heic"}
            << "heif-convert" << heifConvert << size << true;
        QTest::newRow("avif 8-bit")
            << "avifenc" << QStringList{"source.png", "out.avif"} << "avifdec"
            << QStringList{"-d", "8", "out.avif", "ref.png"} << size << false;
        QTest::newRow("avif 10-bit")
            << "avifenc" << QStringList{"-d", "10", "source16.png", "out.avif"} << "avifdec"
            << QStringList{"-d", "8", "out.avif", "ref.png"} << size << false;
        QTest::newRow("avif 12-bit 4:4:4")
            << "avifenc" << QStringList{"-d", "12", "-y", "444", "source16.png", "out.avif"}
            << "avifdec" << QStringList{"-d", "8", "out.avif", "ref.png"} << size << false;
        QTest::newRow("avif alpha")
            << "avifenc" << QStringList{"alpha.png", "out.avif"} << "avifdec"
            << QStringList{"-d", "8", "out.avif", "ref.png"} << size << true;
        // heif-convert cannot mirror (libheif 1.15 mirrors only what it
        // decodes into planes, and only of 8 bits a sample, refusing deeper
        // pictures, which the decoder then turns itself); the test turns
        // avifdec's picture itself.
        QTest::newRow("avif turned and mirrored")
            << "avifenc" << QStringList{"--irot", "1", "--imir", "1", "source.png", "out.avif"}
            << "avifdec" << QStringList{"-d", "8", "out.avif", "ref.png"} << size.transposed()
            << false;
        QTest::newRow("avif 10-bit mirrored left and right")
            << "avifenc" << QStringList{"-d", "10", "--imir", "1", "source16.png", "out.avif"}
            << "avifdec" << QStringList{"-d", "8", "out.avif", "ref.png"} << size << false;
        QTest::newRow("avif 12-bit turned, then mirrored top and bottom")
            << "avifenc" << QStringList{"-d", "12",     "-y", "444",          "--irot",
                                        "3",  "--imir", "0",  "source16.png", "out.avif"}
            << "avifdec" << QStringList{"-d", "8", "out.avif", "ref.png"} << size.transposed()
            << false;
        QTest::newRow("avif 10-bit alpha mirrored top and bottom")
            << "avifenc" << QStringList{"-d", "10", "--imir", "0", "alpha.png", "out.avif"}
            << "avifdec" << QStringList{"-d", "8", "out.avif", "ref.png"} << size << true;
        QTest::newRow("avif grid")
            << "avifenc" << QStringList{"-g", "2x2", "large.png", "out.avif"} << "avifdec"
            << QStringList{"-d", "8", "out.avif", "ref.png"} << QSize(256, 128) << false;
        // libheif 1.15 mirrors each tile of such a grid; libavif's planes are
        // mirrored whole here.
        QTest::newRow("avif grid mirrored left and right")
            << "avifenc" << QStringList{"-g", "2x2", "--imir", "1", "large.png", "out.avif"}
            << "avifdec" << QStringList{"-d", "8", "out.avif", "ref.png"} << QSize(256, 128)
            << false;
        QTest::newRow("jxl lossy") << "cjxl" << QStringList{"source.png", "out.jxl", "-d", "1"}
                                   << "djxl" << QStringList{"out.jxl", "ref.png"} << size << false;
        QTest::newRow("jxl lossless")
            << "cjxl" << QStringList{"source.png", "out.jxl", "-d", "0"} << "djxl"
            << QStringList{"out.jxl", "ref.png"} << size << false;
        QTest::newRow("jxl alpha")
            << "cjxl" << QStringList{"alpha.png", "out.jxl", "-d", "1"} << "djxl"
            << QStringList{"out.jxl", "ref.png", "--bits_per_sample=8"} << size << true;
        QTest::newRow("jxl turned by its orientation")
            << "cjxl" << QStringList{"turned.jpg", "out.jxl"} << "djxl"
            << QStringList{"out.jxl", "ref.png"} << size.transposed() << false;
        // The first frame, lossless, is the GIF's own first frame; GIF's
        // transparency makes a JPEG XL with alpha.
        QTest::newRow("jxl animation's first frame")
            << "cjxl" << QStringList{"animation.gif", "out.jxl", "-d", "0"} << "convert"
            << QStringList{"animation.gif[0]", "ref.png"} << size << true;
    }
    void matchesTheLibrariesTools() {
        QFETCH(QString, encoder);
        QFETCH(QStringList, encode);
        QFETCH(QString, reference);
        QFETCH(QStringList, decode);
        QFETCH(QSize, fullSize);
        QFETCH(bool, alpha);
        QTemporaryDir dir;
        CHECK_TOOL(makeSources(dir));
        CHECK_TOOL(runTool(encoder, encode, dir.path()));
        CHECK_TOOL(runTool(reference, decode, dir.path()));
        // The pixels as stored, before the colour step: the tools leave
        // colours as they are too.
        QFile file(dir.filePath(encode.contains("out.jxl")    ? "out.jxl"
                                : encode.contains("out.heic") ? "out.heic"
                                                              : "out.avif"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        DecodeContext context(oneToOne, PictureDecoder::defaultMemoryBudget);
        QString error;
        const auto picture = file.fileName().endsWith(".jxl") ? decodeJxl(file, context, error)
                                                              : decodeHeif(file, context, error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(picture->fullSize, fullSize);
        QCOMPARE(picture->image.size(), fullSize);
        QCOMPARE(picture->image.hasAlphaChannel(), alpha);
        // Both laid over black.
        QImage expected = overBlack(QImage(dir.filePath("ref.png")));
        // avifdec leaves irot and imir to its caller: a quarter turn
        // anticlockwise, then left and right swapped.
        if (reference == QLatin1String("avifdec")) {
            const auto option = [&encode](const char* name) {
                const qsizetype at = encode.indexOf(QLatin1String(name));
                return at < 0 ? -1 : encode.at(at + 1).toInt();
            };
            expected =
                expected.transformed(QTransform().rotate(-90 * std::max(option("--irot"), 0)));
            if (option("--imir") >= 0)
                expected = expected.mirrored(option("--imir") == 1, option("--imir") == 0);
        }
        QCOMPARE(expected.size(), fullSize);
        const double difference = meanDifference(picture->image, expected);
        qInfo("%s: mean difference %.3f levels", QTest::currentDataTag(), difference);
        QVERIFY2(difference < 1.0, qPrintable(QString::number(difference)));
    }

    // An embedded profile is handed on as it is stored, and the colours
    // shown are lcms2's own tools' conversion of the pixels to sRGB.
    void convertsByTheEmbeddedProfile_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QStringList>("encode");
        QTest::addColumn<QString>("file");
        QTest::newRow("avif") << "avifenc"
                              << QStringList{"-l", "--icc", "adobe.icc", "source.png", "out.avif"}
                              << "out.avif";
        QTest::newRow("heic") << "heif-enc" << QStringList{"-L",         "-p",
                                                           "chroma=444", "--matrix_coefficients=0",
                                                           "source.png", "-o",
                                                           "out.heic"}
                              << "out.heic";
        QTest::newRow("jxl") << "cjxl" << QStringList{"source.png", "out.jxl", "-d", "0"}
                             << "out.jxl";
    }
    void convertsByTheEmbeddedProfile() {
        QFETCH(QString, encoder);
        QFETCH(QStringList, encode);
        QFETCH(QString, file);
        QTemporaryDir dir;
        CHECK_TOOL(makeSources(dir));
        const QByteArray adobe = ColourConversion::adobeRgbProfile();
        {
            QFile out(dir.filePath("adobe.icc"));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(adobe) == adobe.size());
        }
        // The source carrying the profile, for the encoders that take it
        // from the picture, and as a TIFF for tificc.
        RUN_TOOL(dir, "convert", "source.png", "-profile", "adobe.icc", "source.tif");
        RUN_TOOL(dir, "convert", "source.tif", "source.png");
        CHECK_TOOL(runTool(encoder, encode, dir.path()));
        RUN_TOOL(dir, "tificc", "-t", "1", "-b", "source.tif", "expected.tif");

        QFile stored(dir.filePath(file));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        DecodeContext context(oneToOne, PictureDecoder::defaultMemoryBudget);
        QString error;
        const auto asStored = file.endsWith(".jxl") ? decodeJxl(stored, context, error)
                                                    : decodeHeif(stored, context, error);
        QVERIFY2(asStored, qPrintable(error));
        QCOMPARE(asStored->iccProfile, adobe);

        const auto shown = decodeFile(dir.filePath(file));
        QVERIFY(shown);
        QVERIFY(shown->iccProfile.isEmpty());
        const QImage expected(dir.filePath("expected.tif"));
        QCOMPARE(expected.size(), shown->image.size());
        const double difference = meanDifference(shown->image, expected);
        qInfo("%s: mean difference %.3f levels", QTest::currentDataTag(), difference);
        QVERIFY2(difference < 1.0, qPrintable(QString::number(difference)));
    }

    // Colours given as code points: no profile for sRGB, one of the
    // primaries and curve otherwise; PQ and HLG tone mapped, not clipped.
    void describesCodedColours_data() {
        QTest::addColumn<QString>("cicp");
        QTest::addColumn<bool>("profiled");
        QTest::newRow("srgb") << "1/13/6" << false;
        QTest::newRow("display p3") << "12/13/6" << true;
        QTest::newRow("bt.2020 with bt.709's curve") << "9/1/9" << true;
        QTest::newRow("bt.709 linear") << "1/8/6" << true;
        QTest::newRow("bt.2020 pq") << "9/16/9" << true;
        QTest::newRow("bt.2020 hlg") << "9/18/9" << true;
    }
    void describesCodedColours() {
        QFETCH(QString, cicp);
        QFETCH(bool, profiled);
        QTemporaryDir dir;
        CHECK_TOOL(makeSources(dir));
        RUN_TOOL(dir, "avifenc", "-d", "10", "--cicp", cicp, "source16.png", "out.avif");
        QFile file(dir.filePath("out.avif"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        DecodeContext context(oneToOne, PictureDecoder::defaultMemoryBudget);
        QString error;
        const auto picture = decodeHeif(file, context, error);
        QVERIFY2(picture, qPrintable(error));
        QCOMPARE(!picture->iccProfile.isEmpty(), profiled);
        if (profiled)
            QCOMPARE(ColourConversion::modelOf(picture->iccProfile), ColourConversion::Model::Rgb);
    }

    void tonesHighDynamicRangeDown_data() {
        QTest::addColumn<int>("transfer");
        QTest::addColumn<double>("signal");
        QTest::addColumn<int>("expected");
        // PQ signal levels of 0, 100, 203, 1000 and 10,000 nits.
        QTest::newRow("pq black") << CodedColours::pq << 0.0 << 0;
        QTest::newRow("pq 100 nits, below the knee, as sRGB's half white")
            << CodedColours::pq << 0.5081 << 186;
        QTest::newRow("pq 203 nits, rolled off a little") << CodedColours::pq << 0.5806 << 240;
        QTest::newRow("pq 1000 nits is white") << CodedColours::pq << 0.7518 << 255;
        QTest::newRow("pq 10000 nits is white") << CodedColours::pq << 1.0 << 255;
        QTest::newRow("hlg black") << CodedColours::hlg << 0.0 << 0;
        QTest::newRow("hlg peak is white") << CodedColours::hlg << 1.0 << 255;
        QTest::newRow("hlg reference white, rolled off") << CodedColours::hlg << 0.75 << 240;
        QTest::newRow("standard range is scaled") << CodedColours::srgb << 0.5 << 128;
    }
    void tonesHighDynamicRangeDown() {
        QFETCH(int, transfer);
        QFETCH(double, signal);
        QFETCH(int, expected);
        CodedColours colours;
        colours.transfer = transfer;
        const std::vector<uchar> table = colours.hdrTable(10);
        QCOMPARE(table.size(), size_t(1024));
        QVERIFY(std::is_sorted(table.begin(), table.end()));
        const int got = table[size_t(std::lround(signal * 1023))];
        QVERIFY2(std::abs(got - expected) <= 3, qPrintable(QString::number(got)));
    }

    // libavif takes the plain AVIF pictures; libheif gets the rest, and
    // what libavif cannot read, to give its own message.
    void avifLeavesTheRestToLibheif_data() {
        QTest::addColumn<QStringList>("encode");
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<bool>("declined");
        QTest::newRow("8-bit") << QStringList{"source.png", "out.avif"} << false << false;
        QTest::newRow("8-bit grid")
            << QStringList{"-g", "2x2", "large.png", "out.avif"} << false << false;
        QTest::newRow("8-bit, turned")
            << QStringList{"--irot", "3", "source.png", "out.avif"} << false << false;
        QTest::newRow("10-bit") << QStringList{"-d", "10", "source16.png", "out.avif"} << false
                                << true;
        QTest::newRow("alpha") << QStringList{"alpha.png", "out.avif"} << false << true;
        QTest::newRow("8-bit pq") << QStringList{"--cicp", "9/16/9", "source.png", "out.avif"}
                                  << false << true;
        QTest::newRow("cut short") << QStringList{"source.png", "out.avif"} << true << true;
    }
    void avifLeavesTheRestToLibheif() {
        QFETCH(QStringList, encode);
        QFETCH(bool, cutShort);
        QFETCH(bool, declined);
        QTemporaryDir dir;
        CHECK_TOOL(makeSources(dir));
        CHECK_TOOL(runTool(QStringLiteral("avifenc"), encode, dir.path()));
        QFile file(dir.filePath("out.avif"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        if (cutShort)
            bytes.truncate(bytes.size() * 2 / 3);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        DecodeContext context(oneToOne, PictureDecoder::defaultMemoryBudget);
        QString error;
        bool left = false;
        const auto picture = decodeAvif(buffer, context, error, left);
        QCOMPARE(left, declined);
        if (declined) {
            QVERIFY(!picture);
            DecodeContext again(oneToOne, PictureDecoder::defaultMemoryBudget);
            const auto fromLibheif = decodeHeif(buffer, again, error);
            QCOMPARE(!fromLibheif, cutShort);
            QCOMPARE(error.isEmpty(), !cutShort);
        } else {
            QVERIFY2(picture, qPrintable(error));
            QCOMPARE(picture->image.size(), picture->fullSize);
        }
    }

    // Hostile and damaged files are refused (or shown) quickly, within
    // the program's budget.
    void boundsHostileFiles_data() {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QStringList>("encode");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("refused");
        const QStringList heic{"-q", "50", "large.png", "-o", "out.heic"};
        const QStringList avifGrid{"-g", "2x2", "large.png", "out.heic"};
        const QStringList jxl{"large.png", "out.heic", "-d", "1"};
        QTest::newRow("heic whose ispe claims 60000 x 60000")
            << "heif-enc" << heic << "ispe" << true;
        QTest::newRow("avif grid whose ispe claims 60000 x 60000")
            << "avifenc" << avifGrid << "ispe" << true;
        QTest::newRow("avif grid whose box claims more than its ispe")
            << "avifenc" << avifGrid << "grid" << true;
        const QStringList avif{"large.png", "out.heic"};
        QTest::newRow("avif whose ispe claims 60000 x 60000")
            << "avifenc" << avif << "ispe" << true;
        QTest::newRow("avif cut short") << "avifenc" << avif << "half" << true;
        QTest::newRow("heic cut short") << "heif-enc" << heic << "half" << true;
        QTest::newRow("avif grid cut short") << "avifenc" << avifGrid << "half" << true;
        QTest::newRow("jxl cut short") << "cjxl" << jxl << "half" << true;
        QTest::newRow("jxl claiming 2^30 pixels") << "" << QStringList() << "gigapixel" << true;
    }
    void boundsHostileFiles() {
        QFETCH(QString, encoder);
        QFETCH(QStringList, encode);
        QFETCH(QString, damage);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        CHECK_TOOL(makeSources(dir));
        QByteArray bytes;
        if (damage == QLatin1String("gigapixel")) {
            bytes = jxlClaimingGigapixel();
        } else {
            CHECK_TOOL(runTool(encoder, encode, dir.path()));
            QFile file(dir.filePath("out.heic"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            bytes = file.readAll();
        }
        if (damage == QLatin1String("ispe")) {
            QVERIFY(patchIspe(bytes, 60000, 60000));
        } else if (damage == QLatin1String("grid")) {
            // The grid's payload: version, flags, 2 rows and 2 columns, then
            // 256 x 128 as 16-bit sides, made 65535 x 65535.
            const QByteArray grid("\x00\x00\x01\x01\x01\x00\x00\x80", 8);
            const qsizetype at = bytes.indexOf(grid);
            QVERIFY(at >= 0);
            bytes.replace(at, grid.size(), QByteArray("\x00\x00\x01\x01\xFF\xFF\xFF\xFF", 8));
        } else if (damage == QLatin1String("half")) {
            bytes.truncate(bytes.size() / 2);
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        DecodeBudget budget(PictureDecoder::defaultMemoryBudget);
        PictureDecoder decoder(QSize(1920, 1080), PictureDecoder::defaultMemoryBudget, &budget);
        QElapsedTimer timer;
        timer.start();
        const auto picture = decoder.decode(buffer);
        const qint64 elapsed = timer.elapsed();
        qInfo("%s: %lld ms, %s", QTest::currentDataTag(), elapsed,
              qPrintable(picture ? QStringLiteral("shown") : decoder.errorString()));
        QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
        if (refused)
            QVERIFY2(!picture && !decoder.errorString().isEmpty(),
                     qPrintable(decoder.errorString()));
        QCOMPARE(budget.inUse(), qint64(0));
    }
};

KAVELO_TEST(HeifJxlDecoderTest)

#include "tst_heifjxldecoders.moc"
