#include "picture/PictureDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Writes the variant named by recipe into dir and returns its path; an
// empty path means convert is missing.
QString makeVariant(const QString& recipe, const QDir& dir, bool colour) {
    const QImage pattern = testPattern(QSize(64, 48), colour);
    const QString png = dir.filePath(QStringLiteral("pattern.png"));
    const QString out = dir.filePath(QStringLiteral("variant"));
    if (recipe == "jpeg baseline")
        return writeImage(out, pattern, "jpeg") ? out : QString();
    if (recipe == "jpeg progressive")
        return writeImage(out, pattern, "jpeg", 90, true) ? out : QString();
    if (recipe == "jpeg grayscale")
        return writeImage(out, pattern.convertToFormat(QImage::Format_Grayscale8), "jpeg")
                   ? out
                   : QString();
    if (recipe == "bmp qt")
        return writeImage(out, pattern, "bmp") ? out : QString();
    if (recipe.startsWith("bmp ")) {
        const QStringList words = recipe.split(QLatin1Char(' '));
        const int bits = words.at(1).toInt();
        const BmpCompression compression =
            words.contains("rle") ? (bits == 4 ? BmpCompression::Rle4 : BmpCompression::Rle8)
                                  : BmpCompression::None;
        return writeBytes(out, bmpBytes(pattern, bits, compression, words.contains("top-down")))
                   ? out
                   : QString();
    }
    if (recipe == "tiff none" || recipe == "tiff lzw")
        return writeImage(out, pattern, "tiff", 90, false, recipe == "tiff lzw" ? 1 : 0)
                   ? out
                   : QString();
    // The rest only ImageMagick writes. The TIFF decoder's own test covers
    // TIFF's other layouts and compressions, at a shrunk size.
    if (convertProgram().isEmpty() || !pattern.save(png))
        return {};
    QStringList arguments{png};
    if (recipe == "jpeg cmyk") {
        arguments += {"-colorspace", "CMYK", "JPEG:" + out};
    } else if (recipe == "tiff multi-page") {
        const QString second = dir.filePath(QStringLiteral("second.png"));
        QImage black(80, 80, QImage::Format_RGB32);
        black.fill(Qt::black);
        black.save(second);
        arguments += {second, "-type", "truecolor", "TIFF:" + out};
    }
    return runConvert(arguments) ? out : QString();
}

// What makes the generated file the variant it is meant to be, so a row
// cannot pass on a plainer file than it names.
QString variantMismatch(const QString& recipe, const QByteArray& bytes) {
    const auto expect = [](bool ok, const char* what) {
        return ok ? QString() : QLatin1String(what);
    };
    if (recipe == "jpeg baseline")
        return expect(jpegFrameMarker(bytes) == 0xC0, "not baseline");
    if (recipe == "jpeg progressive")
        return expect(jpegFrameMarker(bytes) == 0xC2, "not progressive");
    if (recipe == "jpeg grayscale")
        return expect(jpegComponents(bytes) == 1, "not one component");
    if (recipe == "jpeg cmyk")
        return expect(jpegComponents(bytes) == 4, "not four components");
    if (recipe == "tiff none")
        return expect(tiffTag(bytes, 259) == 1, "compressed");
    if (recipe == "tiff lzw")
        return expect(tiffTag(bytes, 259) == 5, "not LZW");
    if (recipe == "tiff multi-page")
        return expect(tiffHasSecondPage(bytes), "one page only");
    return {};
}
} // namespace

// The picture variants cameras, scanners and editors write, each checked to
// be that variant before it is decoded.
class PictureVariantsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void variants_data() {
        QTest::addColumn<QString>("recipe");
        QTest::addColumn<bool>("colour");
        for (const char* recipe :
             {"jpeg baseline", "jpeg progressive", "jpeg cmyk", "bmp qt", "bmp 4", "bmp 8",
              "bmp 16", "bmp 24", "bmp 32", "bmp 8 rle", "bmp 4 rle", "bmp 24 top-down",
              "bmp 8 top-down", "tiff none", "tiff lzw", "tiff multi-page"})
            QTest::newRow(recipe) << QString::fromLatin1(recipe) << true;
        for (const char* recipe : {"jpeg grayscale", "bmp 1"})
            QTest::newRow(recipe) << QString::fromLatin1(recipe) << false;
    }
    void variants() {
        QFETCH(QString, recipe);
        QFETCH(bool, colour);
        QTemporaryDir dir;
        const QString path = makeVariant(recipe, QDir(dir.path()), colour);
        if (path.isEmpty() && convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QVERIFY2(!path.isEmpty(), "could not write the variant");
        QCOMPARE(variantMismatch(recipe, readBytes(path)), QString());

        PictureDecoder decoder(QSize(1000, 1000));
        const std::optional<DecodedPicture> picture = decoder.decode(path);
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        QCOMPARE(picture->fullSize, QSize(64, 48));
        QCOMPARE(picture->image.size(), QSize(64, 48));
        QCOMPARE(patternMismatch(picture->image, colour), QString());
    }
};
KAVELO_TEST(PictureVariantsTest)

#include "tst_picturevariants.moc"
