#include "ColourMeasures.h"
#include "picture/PictureDecoder.h"
#include "picture/colour/ColourConversion.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QColorSpace>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <atomic>
#include <lcms2.h>
#include <memory>
#include <thread>

namespace {
const QString colord = QStringLiteral("/usr/share/color/icc/colord/");
const QString ghostscript = QStringLiteral("/usr/share/color/icc/ghostscript/");
const QSize oneToOne(8192, 8192);

QByteArray profileBytes(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

QByteArray greyGamma22() {
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    const QByteArray bytes = profileBytes(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    return bytes;
}

// sRGB's primaries with its black raised to 3 % grey: converting it needs
// black-point compensation, which a plain matrix and curves would miss.
QByteArray raisedBlack() {
    const cmsFloat64Number params[] = {2.2, 0.9862, 0, 0, 0, 0.03, 0.03};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 5, params);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    const QByteArray bytes = profileBytes(cmsCreateRGBProfile(cmsD50_xyY(), &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

QImage decoded(const QString& path, QSize bound = oneToOne) {
    std::optional<DecodedPicture> picture = PictureDecoder(bound).decode(path);
    return picture ? picture->image : QImage();
}

QImage decoded(const QByteArray& bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.jpg");
    return writeBytes(path, bytes) ? decoded(path) : QImage();
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(QStandardPaths::findExecutable(program), arguments);
    return process.waitForFinished(60000) && process.exitCode() == 0;
}

QRgb centre(const QImage& image) {
    return image.pixel(image.width() / 2, image.height() / 2);
}

bool near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}
} // namespace

class ColourProfileTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
    // Each family made by ImageMagick from sRGB swatches, decoded by Kavelo
    // and by lcms2's own converters: the same colours, at 1:1 and shrunk.
    void matchesLcmsTools_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QStringList>("options");
        const QString p3 = dir.filePath("p3.icc");
        const QString grey = dir.filePath("grey22.icc");
        writeBytes(p3, QColorSpace(QColorSpace::DisplayP3).iccProfile());
        writeBytes(grey, greyGamma22());
        const QString raised = dir.filePath("raised.icc");
        writeBytes(raised, raisedBlack());
        const QString adobe = colord + "AdobeRGB1998.icc";
        const QString prophoto = colord + "ProPhotoRGB.icc";
        const QString cmyk = ghostscript + "default_cmyk.icc";
        QTest::newRow("adobe rgb jpeg") << adobe << "jpg" << QStringList();
        QTest::newRow("prophoto jpeg") << prophoto << "jpg" << QStringList();
        QTest::newRow("display p3 jpeg") << p3 << "jpg" << QStringList();
        QTest::newRow("grey gamma 2.2 jpeg") << grey << "jpg" << QStringList();
        QTest::newRow("raised black jpeg") << raised << "jpg" << QStringList();
        QTest::newRow("cmyk jpeg") << cmyk << "jpg" << QStringList();
        QTest::newRow("adobe rgb tiff") << adobe << "tif" << QStringList();
        QTest::newRow("prophoto tiff 16-bit") << prophoto << "tif" << QStringList{"-depth", "16"};
        QTest::newRow("grey gamma 2.2 tiff") << grey << "tif" << QStringList();
        QTest::newRow("cmyk tiff") << cmyk << "tif" << QStringList{"-compress", "lzw"};
    }
    void matchesLcmsTools() {
        QFETCH(QString, profile);
        QFETCH(QString, container);
        QFETCH(QStringList, options);
        const QString tool = container == "jpg" ? "jpgicc" : "tificc";
        if (convertProgram().isEmpty() || QStandardPaths::findExecutable(tool).isEmpty() ||
            !QFile::exists(profile) || !QFile::exists(colord + "sRGB.icc"))
            QSKIP("needs ImageMagick, liblcms2-utils, colord-data and libgs-common");
        const QString source = dir.filePath("swatches.png");
        const QString picture = dir.filePath("picture." + container);
        const QString reference = dir.filePath("reference." + container);
        QVERIFY(swatches().save(source));
        QVERIFY(runConvert(QStringList{source, "-profile", colord + "sRGB.icc", "-profile", profile,
                                       "-quality", "95"} +
                           options + QStringList{picture}));
        // Relative colorimetric with black-point compensation into sRGB.
        QStringList arguments{"-t1", "-b"};
        if (tool == "jpgicc")
            arguments << "-q100";
        QVERIFY(run(tool, arguments + QStringList{picture, reference}));

        const QImage ours = decoded(picture);
        const QImage theirs = decoded(reference);
        QCOMPARE(ours.size(), QSize(128, 64));
        QCOMPARE(theirs.size(), ours.size());
        const Difference whole = difference(ours, theirs);
        // Shrunk to half, as the player draws a large picture: inks and
        // colours survive the shrinking. Swatch centres only, as edges blend.
        const QImage half = decoded(picture, QSize(64, 32));
        const QImage theirsHalf =
            theirs.scaled(64, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const Difference shrunk = difference(half.copy(0, 0, 64, 16).scaled(4, 1),
                                             theirsHalf.copy(0, 0, 64, 16).scaled(4, 1));
        qInfo("%s: CIEDE2000 mean %.2f max %.2f at 1:1, %.2f at half size", QTest::currentDataTag(),
              whole.mean, whole.max, shrunk.max);
        QVERIFY2(whole.mean < 1 && whole.max < 3, QTest::currentDataTag());
        QVERIFY(shrunk.max < 3);
    }

    // What lcms2 or the decoder refuses, and an sRGB profile on an sRGB
    // screen, shows exactly as the same picture without a profile; what it
    // takes changes the colours.
    void profilesTakenAndRefused_data() {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<bool>("converted");
        const QImage red = flatInColourSpace(qRgb(200, 40, 40), QColorSpace::ProPhotoRgb);
        QImage untaggedImage = red;
        untaggedImage.setColorSpace(QColorSpace());
        const auto tagged = [&untaggedImage](JpegOptions options) {
            options.quality = 95;
            return jpegBytes(untaggedImage, options);
        };
        const QByteArray profile = QColorSpace(QColorSpace::ProPhotoRgb).iccProfile();
        QByteArray damaged = profile;
        // Every tag's offset far past the end.
        const quint32 tags = qFromBigEndian<quint32>(damaged.constData() + 128);
        for (quint32 i = 0; i < tags && 132 + i * 12 + 8 <= quint32(damaged.size()); ++i)
            qToBigEndian(quint32(0x7FFFFF00), damaged.data() + 132 + i * 12 + 4);
        QByteArray oversized = profile + QByteArray(5 << 20, '\0');
        qToBigEndian(quint32(oversized.size()), oversized.data());

        // The profile in four chunks, written in the order given.
        const int quarter = int((profile.size() + 3) / 4);
        const auto chunked = [&](QList<int> order) {
            return tagged(
                {.iccProfile = profile, .iccChunkBytes = quarter, .iccChunkOrder = order});
        };
        QTest::newRow("whole") << tagged({.iccProfile = profile}) << true;
        QTest::newRow("chunks out of order") << chunked({3, 1, 4, 2}) << true;
        QTest::newRow("a chunk missing") << chunked({1, 2, 4}) << false;
        QTest::newRow("a chunk twice") << chunked({1, 2, 2, 3, 4}) << false;
        QTest::newRow("truncated") << tagged({.iccProfile = profile.left(200)}) << false;
        QTest::newRow("damaged") << tagged({.iccProfile = damaged}) << false;
        QTest::newRow("oversized") << tagged({.iccProfile = oversized}) << false;
        QTest::newRow("cmyk profile on rgb")
            << tagged({.iccProfile = readBytes(ghostscript + "default_cmyk.icc")}) << false;
        QTest::newRow("grey profile on rgb") << tagged({.iccProfile = greyGamma22()}) << false;
        QTest::newRow("srgb") << tagged({.iccProfile = QColorSpace(QColorSpace::SRgb).iccProfile()})
                              << false;
        QTest::newRow("bmp, whole") << bmpV5Bytes(untaggedImage, profile) << true;
        QTest::newRow("exif adobe rgb")
            << tagged({.exif = exifBlock({.colourSpace = 0xFFFF, .interopIndex = "R03"})}) << true;
        QTest::newRow("exif srgb")
            << tagged({.exif = exifBlock({.colourSpace = 1, .interopIndex = "R98"})}) << false;
    }
    void profilesTakenAndRefused() {
        QFETCH(QByteArray, jpeg);
        QFETCH(bool, converted);
        if (QString(QTest::currentDataTag()).contains("cmyk") &&
            !QFile::exists(ghostscript + "default_cmyk.icc"))
            QSKIP("needs libgs-common");
        const QImage red = flatInColourSpace(qRgb(200, 40, 40), QColorSpace::ProPhotoRgb);
        QImage plain = red;
        plain.setColorSpace(QColorSpace());
        const QImage asStored = decoded(jpegBytes(plain, {.quality = 95}));
        const QImage image = decoded(jpeg);
        QVERIFY(!image.isNull());
        if (!converted) {
            QCOMPARE(image, asStored);
        } else if (QString(QTest::currentDataTag()).startsWith("exif")) {
            // The stored ProPhoto values read as Adobe RGB: more saturated
            // than as sRGB, but not back to the red.
            QVERIFY(qRed(centre(image)) > qRed(centre(asStored)) + 10);
        } else {
            QVERIFY2(near(centre(image), qRgb(200, 40, 40), 3),
                     qPrintable(QColor(centre(image)).name()));
        }
    }

    // The player's two workers decode at once and share the transforms.
    void decodesOnSeveralThreadsAtOnce() {
        QTemporaryDir folder;
        QStringList paths;
        for (const QColorSpace::NamedColorSpace space :
             {QColorSpace::ProPhotoRgb, QColorSpace::DisplayP3, QColorSpace::AdobeRgb}) {
            paths.append(folder.filePath(QString::number(int(space)) + ".jpg"));
            QVERIFY(writeImage(paths.last(), flatInColourSpace(qRgb(200, 40, 40), space), "jpeg"));
        }
        std::atomic_int wrong{0};
        const auto decodeAll = [&] {
            for (int i = 0; i < 20; ++i)
                for (const QString& path : std::as_const(paths))
                    if (!near(centre(decoded(path)), qRgb(200, 40, 40), 3))
                        ++wrong;
        };
        std::thread other(decodeAll);
        decodeAll();
        other.join();
        QCOMPARE(wrong.load(), 0);
    }

    // The picture in the profile main found on the screen, where that is
    // one a screen can have.
    void convertsToTheDisplayProfile_data() {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<bool>("taken");
        QTest::newRow("adobe rgb monitor") << ColourConversion::adobeRgbProfile() << true;
        QTest::newRow("grey monitor") << greyGamma22() << false;
        QTest::newRow("damaged") << ColourConversion::adobeRgbProfile().left(150) << false;
    }
    void convertsToTheDisplayProfile() {
        QFETCH(QByteArray, display);
        QFETCH(bool, taken);
        ColourConversion conversion(display);
        QCOMPARE(conversion.hasDisplayProfile(), taken);
        const QImage srgbRed = flatInColourSpace(qRgb(200, 40, 40), QColorSpace::SRgb);
        DecodedPicture picture{srgbRed.convertToFormat(QImage::Format_RGB32), srgbRed.size(),
                               QColorSpace(QColorSpace::SRgb).iccProfile()};
        conversion.apply(picture);
        QVERIFY(picture.iccProfile.isEmpty());
        const QRgb expected = taken ? QColorSpace(QColorSpace::SRgb)
                                          .transformationToColorSpace(QColorSpace::AdobeRgb)
                                          .map(qRgb(200, 40, 40))
                                    : qRgb(200, 40, 40);
        QVERIFY2(near(centre(picture.image), expected, 2),
                 qPrintable(QColor(centre(picture.image)).name()));
        // Half see-through: the same colour, the alpha kept.
        QImage seeThrough = srgbRed.convertToFormat(QImage::Format_ARGB32);
        seeThrough.fill(qRgba(200, 40, 40, 128));
        DecodedPicture halfAlpha{seeThrough.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                 srgbRed.size(), QColorSpace(QColorSpace::SRgb).iccProfile()};
        conversion.apply(halfAlpha);
        const QRgb straight = qUnpremultiply(centre(halfAlpha.image));
        QCOMPARE(qAlpha(straight), 128);
        QVERIFY2(near(straight, expected, 3), qPrintable(QColor(straight).name()));
    }
};
KAVELO_TEST(ColourProfileTest)

#include "tst_colourprofiles.moc"
