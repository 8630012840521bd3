#include "ColourMeasures.h"
#include "picture/PictureDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QColorSpace>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString colord = QStringLiteral("/usr/share/color/icc/colord/");
const QSize oneToOne(8192, 8192);

// A missing tool skips the test, a failing one fails it.
#define RUN_TOOL(command, folder)                                                                  \
    do {                                                                                           \
        const QString outcome = runTool((command).first(), (command).mid(1), (folder));            \
        if (outcome == toolMissing)                                                                \
            QSKIP("a tool the test needs is not installed");                                       \
        QVERIFY2(outcome.isEmpty(), qPrintable(outcome));                                          \
    } while (false)

QImage decoded(const QString& path) {
    std::optional<DecodedPicture> picture = PictureDecoder(oneToOne).decode(path);
    return picture ? picture->image : QImage();
}
} // namespace

// PNG, WebP, HEIF, AVIF and JPEG XL pictures carrying a wide-gamut ICC
// profile (PNG's iCCP, WebP's ICCP chunk, HEIF's colr box, JPEG XL's
// colour encoding), made by each format's encoder from swatches ImageMagick
// tagged with the profile. Our decode at 1:1 is compared with lcms2's own
// conversion (tificc, relative colorimetric with black-point compensation
// into sRGB, as our colour step converts) of the format's own decoder's
// pixels in the profile that decoder kept: within a CIEDE2000 of 1 on
// average. The figures are printed for each row.
class FormatProfileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(
            writeBytes(dir.filePath("p3.icc"), QColorSpace(QColorSpace::DisplayP3).iccProfile()));
        QVERIFY(swatches().save(dir.filePath("swatches.png")));
    }

    void matchesLcmsOnTheFormatsOwnDecode_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("depth");
        // Each reads tagged.png and writes picture.*: the encoder.
        QTest::addColumn<QStringList>("encode");
        // The format's own decoder, writing decoded.png.
        QTest::addColumn<QStringList>("decode");
        // What writes the profile the format's tools kept as kept.icc.
        QTest::addColumn<QStringList>("kept");
        // What the file holds the profile in, where it can be found whole.
        QTest::addColumn<QByteArray>("box");
        const QString prophoto = colord + "ProPhotoRGB.icc";
        const QString adobe = colord + "AdobeRGB1998.icc";
        const QString p3 = dir.filePath("p3.icc");
        const QStringList fromDecoded{"convert", "decoded.png", "kept.icc"};
        const auto row = [&](const char* tag, const QString& profile, int depth,
                             const QStringList& encode, const QStringList& decode,
                             const QStringList& kept) {
            const QString format = encode.last().section('.', -1);
            const QByteArray box = format == "png"    ? "iCCP"
                                   : format == "webp" ? "ICCP"
                                   : format == "jxl"  ? ""
                                                      : "colrprof";
            QTest::newRow(tag) << profile << depth << encode << decode << kept << box;
        };
        row("png prophoto 16-bit", prophoto, 16, {"convert", "tagged.png", "PNG48:picture.png"},
            {"convert", "picture.png", "decoded.png"}, fromDecoded);
        row("png display p3", p3, 8, {"convert", "tagged.png", "PNG24:picture.png"},
            {"convert", "picture.png", "decoded.png"}, fromDecoded);
        const QStringList dwebp{"dwebp", "-quiet", "picture.webp", "-o", "decoded.png"};
        const QStringList webpIcc{"webpmux", "-get", "icc", "picture.webp", "-o", "kept.icc"};
        row("webp lossy display p3", p3, 8,
            {"cwebp", "-quiet", "-q", "95", "-metadata", "icc", "tagged.png", "-o", "picture.webp"},
            dwebp, webpIcc);
        row("webp lossless prophoto", prophoto, 8,
            {"cwebp", "-quiet", "-lossless", "-metadata", "icc", "tagged.png", "-o",
             "picture.webp"},
            dwebp, webpIcc);
        const QStringList heifConvert{"heif-convert", "picture.heic", "decoded.png"};
        row("heic adobe rgb", adobe, 8,
            {"heif-enc", "-q", "90", "tagged.png", "-o", "picture.heic"}, heifConvert, fromDecoded);
        row("heic prophoto 10-bit", prophoto, 16,
            {"heif-enc", "-q", "90", "tagged.png", "-o", "picture.heic"}, heifConvert, fromDecoded);
        const QStringList avifdec{"avifdec", "picture.avif", "decoded.png"};
        row("avif display p3", p3, 8, {"avifenc", "-s", "8", "tagged.png", "picture.avif"}, avifdec,
            fromDecoded);
        row("avif prophoto 10-bit 4:4:4", prophoto, 16,
            {"avifenc", "-s", "8", "-d", "10", "-y", "444", "tagged.png", "picture.avif"}, avifdec,
            fromDecoded);
        const QStringList djxl{"djxl", "picture.jxl", "decoded.png"};
        row("jxl lossless prophoto", prophoto, 8, {"cjxl", "-d", "0", "tagged.png", "picture.jxl"},
            djxl, fromDecoded);
        row("jxl lossy adobe rgb", adobe, 8, {"cjxl", "-d", "1", "tagged.png", "picture.jxl"}, djxl,
            fromDecoded);
        // Display P3 a JPEG XL names by its primaries and transfer, not by
        // an ICC profile.
        row("jxl lossy display p3 16-bit", p3, 16, {"cjxl", "-d", "1", "tagged.png", "picture.jxl"},
            djxl, fromDecoded);
    }
    void matchesLcmsOnTheFormatsOwnDecode() {
        QFETCH(QString, profile);
        QFETCH(int, depth);
        QFETCH(QStringList, encode);
        QFETCH(QStringList, decode);
        QFETCH(QStringList, kept);
        QFETCH(QByteArray, box);
        if (!QFile::exists(profile) || !QFile::exists(colord + "sRGB.icc"))
            QSKIP("needs colord-data's profiles");
        QTemporaryDir work;
        const QString folder = work.path();
        const auto at = [&work](const char* name) {
            return work.filePath(name);
        };
        RUN_TOOL(
            QStringList({"convert", dir.filePath("swatches.png"), "-profile", colord + "sRGB.icc",
                         "-profile", profile, "-depth", QString::number(depth), at("tagged.png")}),
            folder);
        RUN_TOOL(encode, folder);
        RUN_TOOL(decode, folder);
        RUN_TOOL(kept, folder);
        // The tool's pixels as they are, in the profile it kept, into sRGB.
        RUN_TOOL(QStringList({"convert", "decoded.png", "-strip", "plain.tif"}), folder);
        RUN_TOOL(
            QStringList({"tificc", "-n", "-t1", "-b", "-ikept.icc", "plain.tif", "reference.tif"}),
            folder);

        const QString picture = work.filePath(encode.last().section(':', -1));
        QVERIFY(readBytes(picture).contains(box));
        const QImage ours = decoded(picture);
        const QImage theirs = decoded(at("reference.tif"));
        QCOMPARE(ours.size(), swatches().size());
        QCOMPARE(theirs.size(), ours.size());
        const Difference whole = difference(ours, theirs);
        const double levels = meanDifference(ours, theirs);
        qInfo("%-28s CIEDE2000 mean %.3f max %.2f, mean level difference %.3f",
              QTest::currentDataTag(), whole.mean, whole.max, levels);
        QVERIFY2(whole.mean < 1, qPrintable(QString::number(whole.mean)));
        QVERIFY2(whole.max < 3, qPrintable(QString::number(whole.max)));
        // And not merely close to the unconverted pixels: the profile was
        // taken. The same file with its profile removed differs visibly.
        const Difference untagged = difference(decoded(at("plain.tif")), theirs);
        QVERIFY2(untagged.mean > 2, qPrintable(QString::number(untagged.mean)));
    }
};
KAVELO_TEST(FormatProfileTest)

#include "tst_formatprofiles.moc"
