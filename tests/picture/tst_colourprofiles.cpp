#include "picture/colour/ColourConversion.h"
#include "picture/PictureDecoder.h"
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

// Flat swatches of 16 x 16 (whole JPEG blocks) above a band of gradients:
// reds, greens, blues, skin, greys, a saturated yellow, near black and white.
QImage swatches() {
    const QRgb colours[] = {qRgb(200, 40, 40),   qRgb(40, 160, 60),   qRgb(30, 60, 200),
                            qRgb(230, 190, 150), qRgb(128, 128, 128), qRgb(250, 230, 40),
                            qRgb(20, 20, 20),    qRgb(240, 240, 240)};
    QImage image(128, 64, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 128; ++x)
            image.setPixel(x, y, colours[(y / 16) * 4 + x / 32]);
    for (int y = 32; y < 64; ++y)
        for (int x = 0; x < 128; ++x)
            image.setPixel(x, y, qRgb(x * 2, (y - 32) * 8, 255 - x * 2));
    return image;
}

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

// CIEDE2000 between two pictures of the same size, as seen in sRGB.
struct Difference {
    double mean = 0;
    double max = 0;
};
Difference difference(const QImage& a, const QImage& b) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_BGRA_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    Difference result;
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) {
            cmsCIELab one, two;
            cmsDoTransform(toLab, first.constScanLine(y) + 4 * x, &one, 1);
            cmsDoTransform(toLab, second.constScanLine(y) + 4 * x, &two, 1);
            const double e = cmsCIE2000DeltaE(&one, &two, 1, 1, 1);
            result.mean += e;
            result.max = std::max(result.max, e);
        }
    result.mean /= double(first.width()) * first.height();
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return result;
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

QByteArray jpegOf(const QImage& image) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.jpg");
    return writeImage(path, image, "jpeg", 95) ? readBytes(path) : QByteArray();
}

// A JPEG with the profile in APP2 chunks of chunkBytes, written in the
// order given (1-based sequence numbers), right after its start marker.
QByteArray withIccChunks(const QByteArray& jpeg, const QByteArray& profile, int chunkBytes,
                         QList<int> order = {}) {
    const int count = int((profile.size() + chunkBytes - 1) / chunkBytes);
    if (order.isEmpty())
        for (int i = 1; i <= count; ++i)
            order.append(i);
    QByteArray markers;
    for (const int sequence : std::as_const(order)) {
        const QByteArray body = QByteArray("ICC_PROFILE", 12) + char(sequence) + char(count) +
                                profile.mid(qsizetype(sequence - 1) * chunkBytes, chunkBytes);
        markers += QByteArray("\xFF\xE2", 2) + char((body.size() + 2) >> 8) +
                   char((body.size() + 2) & 0xFF) + body;
    }
    return jpeg.left(2) + markers + jpeg.mid(2);
}

// An EXIF block with ColorSpace and the interoperability index, as a
// camera set to Adobe RGB (colorSpace 0xFFFF, "R03") or sRGB (1, "R98")
// writes them.
QByteArray withExifColourSpace(const QByteArray& jpeg, quint16 colourSpace, const char* index) {
    QByteArray tiff("MM\0*\0\0\0\x08", 8);
    const auto entry = [](quint16 tag, quint16 type, quint32 count, quint32 value) {
        QByteArray bytes(12, '\0');
        qToBigEndian(tag, bytes.data());
        qToBigEndian(type, bytes.data() + 2);
        qToBigEndian(count, bytes.data() + 4);
        if (type == 3)
            qToBigEndian(quint16(value), bytes.data() + 8);
        else
            qToBigEndian(value, bytes.data() + 8);
        return bytes;
    };
    // IFD0 at 8 (one entry), the EXIF directory at 26 (two), interop at 56.
    tiff += QByteArray("\0\x01", 2) + entry(0x8769, 4, 1, 26) + QByteArray(4, '\0');
    tiff += QByteArray("\0\x02", 2) + entry(0xA001, 3, 1, colourSpace) + entry(0xA005, 4, 1, 56) +
            QByteArray(4, '\0');
    QByteArray interop = entry(0x0001, 2, 4, 0);
    memcpy(interop.data() + 8, index, 4);
    tiff += QByteArray("\0\x01", 2) + interop + QByteArray(4, '\0');
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    return jpeg.left(2) + "\xFF\xE1" + char((body.size() + 2) >> 8) +
           char((body.size() + 2) & 0xFF) + body + jpeg.mid(2);
}

// A top-down 24-bit bitmap with a fifth-version header and profile
// embedded after its pixels.
QByteArray bmpV5Of(const QImage& image, const QByteArray& profile) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const qsizetype stride = (rgb.width() * 3 + 3) & ~3;
    const qsizetype pixels = stride * rgb.height();
    QByteArray bytes(14 + 124 + pixels, '\0');
    auto* file = reinterpret_cast<uchar*>(bytes.data());
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian(quint32(bytes.size() + profile.size()), file + 2);
    qToLittleEndian(quint32(14 + 124), file + 10);
    uchar* info = file + 14;
    qToLittleEndian(quint32(124), info);
    qToLittleEndian(qint32(rgb.width()), info + 4);
    qToLittleEndian(qint32(-rgb.height()), info + 8);
    qToLittleEndian(quint16(1), info + 12);
    qToLittleEndian(quint16(24), info + 14);
    qToLittleEndian(quint32(pixels), info + 20);
    qToLittleEndian(quint32(0x4D424544), info + 56); // "MBED"
    qToLittleEndian(quint32(124 + pixels), info + 112);
    qToLittleEndian(quint32(profile.size()), info + 116);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb colour = rgb.pixel(x, y);
            uchar* at = info + 124 + y * stride + x * 3;
            at[0] = uchar(qBlue(colour));
            at[1] = uchar(qGreen(colour));
            at[2] = uchar(qRed(colour));
        }
    return bytes + profile;
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
        const QByteArray untagged = jpegOf(untaggedImage);
        const QByteArray profile = QColorSpace(QColorSpace::ProPhotoRgb).iccProfile();
        QByteArray damaged = profile;
        // Every tag's offset far past the end.
        const quint32 tags = qFromBigEndian<quint32>(damaged.constData() + 128);
        for (quint32 i = 0; i < tags && 132 + i * 12 + 8 <= quint32(damaged.size()); ++i)
            qToBigEndian(quint32(0x7FFFFF00), damaged.data() + 132 + i * 12 + 4);
        QByteArray oversized = profile + QByteArray(5 << 20, '\0');
        qToBigEndian(quint32(oversized.size()), oversized.data());

        // Four chunks.
        const int quarter = int((profile.size() + 3) / 4);
        QTest::newRow("whole") << withIccChunks(untagged, profile, 65519) << true;
        QTest::newRow("chunks out of order")
            << withIccChunks(untagged, profile, quarter, {3, 1, 4, 2}) << true;
        QTest::newRow("a chunk missing")
            << withIccChunks(untagged, profile, quarter, {1, 2, 4}) << false;
        QTest::newRow("a chunk twice")
            << withIccChunks(untagged, profile, quarter, {1, 2, 2, 3, 4}) << false;
        QTest::newRow("truncated") << withIccChunks(untagged, profile.left(200), 65519) << false;
        QTest::newRow("damaged") << withIccChunks(untagged, damaged, 65519) << false;
        QTest::newRow("oversized") << withIccChunks(untagged, oversized, 65519) << false;
        QTest::newRow("cmyk profile on rgb")
            << withIccChunks(untagged, readBytes(ghostscript + "default_cmyk.icc"), 65519) << false;
        QTest::newRow("grey profile on rgb")
            << withIccChunks(untagged, greyGamma22(), 65519) << false;
        QTest::newRow("srgb") << withIccChunks(untagged,
                                               QColorSpace(QColorSpace::SRgb).iccProfile(), 65519)
                              << false;
        QTest::newRow("bmp, whole") << bmpV5Of(untaggedImage, profile) << true;
        QTest::newRow("exif adobe rgb") << withExifColourSpace(untagged, 0xFFFF, "R03") << true;
        QTest::newRow("exif srgb") << withExifColourSpace(untagged, 1, "R98") << false;
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
        const QImage asStored = decoded(jpegOf(plain));
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
