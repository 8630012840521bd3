#include "picture/PictureDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {
using Commands = QList<QStringList>;

// An EXIF block (big-endian TIFF, no JPEG prefix) holding only the
// orientation.
QByteArray exifWithOrientation(quint16 orientation) {
    QByteArray tiff = QByteArray::fromHex("4d4d002a00000008"         // header, directory at 8
                                          "0001"                     // one entry
                                          "011200030000000100000000" // Orientation SHORT
                                          "00000000");
    qToBigEndian<quint16>(orientation, tiff.data() + 18);
    return tiff;
}

// A photo-like picture whose alpha runs from clear on the left to opaque
// on the right, with a fully clear band, premultiplied as Qt keeps it.
QImage withAlpha(const QImage& picture) {
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const int alpha = y < out.height() / 5 ? 0 : std::min(255, x * 255 / out.width() + 40);
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), alpha);
        }
    }
    return out;
}

bool run(const QString& folder, const QStringList& command) {
    return runTool(command.first(), command.mid(1), folder).isEmpty();
}

// The command with its files' names in folder, behind any format prefix
// of ImageMagick's ("PNG24:").
QStringList inFolder(const QString& folder, QStringList command) {
    static const QRegularExpression file(
        QStringLiteral("^([A-Z0-9]+:)?([a-z]+\\.(png|gif|webp|bin))$"));
    for (QString& word : command) {
        const QRegularExpressionMatch match = file.match(word);
        if (match.hasMatch())
            word = match.captured(1) + folder + '/' + match.captured(2);
    }
    return command;
}
} // namespace

// PNG, GIF and WebP pictures made by ImageMagick and libwebp's tools,
// decoded through the whole-picture decoder and compared with the tools'
// own rendering: at full size, and shrunk against ImageMagick's exact area
// average of that rendering (-scale), both within a level on average. The
// shrunk rows check libwebp's scaling too, which the WebP decoder uses in
// place of the shrinkers, and its shrinking of a lossy picture's samples.
class WebFormatsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QVERIFY(dir_.isValid());
        const QImage photo = photoLike(QSize(320, 240));
        QVERIFY(photo.save(dir_.filePath("source.png")));
        QVERIFY(withAlpha(photo).save(dir_.filePath("alpha.png")));
        QVERIFY(photoLike(QSize(320, 240), 777).save(dir_.filePath("second.png")));
        QVERIFY(writeBytes(dir_.filePath("exif.bin"), exifWithOrientation(6)));
    }

    void fidelity_data() {
        QTest::addColumn<Commands>("make");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reference");
        const auto row = [](const char* name, const Commands& make, const QString& file,
                            const QString& reference) {
            QTest::newRow(name) << make << file << reference;
        };
        const QString png = QStringLiteral("t.png");
        row("png 8-bit rgb", {{"convert", "source.png", "PNG24:t.png"}}, png, png);
        row("png 16-bit rgb", {{"convert", "source.png", "-depth", "16", "PNG48:t.png"}}, png, png);
        row("png palette with trns", {{"convert", "alpha.png", "-colors", "200", "PNG8:t.png"}},
            png, png);
        row("png grey 8-bit",
            {{"convert", "source.png", "-colorspace", "Gray", "-define", "png:color-type=0",
              "-define", "png:bit-depth=8", "t.png"}},
            png, png);
        row("png grey 2-bit",
            {{"convert", "source.png", "-colorspace", "Gray", "-depth", "2", "-define",
              "png:color-type=0", "-define", "png:bit-depth=2", "t.png"}},
            png, png);
        row("png grey and alpha",
            {{"convert", "alpha.png", "-colorspace", "Gray", "-define", "png:color-type=4",
              "t.png"}},
            png, png);
        row("png rgba 8-bit", {{"convert", "alpha.png", "PNG32:t.png"}}, png, png);
        row("png rgba 16-bit", {{"convert", "alpha.png", "-depth", "16", "PNG64:t.png"}}, png, png);
        row("png interlaced", {{"convert", "source.png", "-interlace", "PNG", "PNG24:t.png"}}, png,
            png);
        row("png interlaced rgba", {{"convert", "alpha.png", "-interlace", "PNG", "PNG32:t.png"}},
            png, png);
        const QString gif = QStringLiteral("t.gif");
        row("gif with transparency", {{"convert", "alpha.png", "-colors", "64", "t.gif"}}, gif,
            gif);
        row("gif interlaced", {{"convert", "source.png", "-interlace", "GIF", "t.gif"}}, gif, gif);
        row("gif animated", {{"convert", "source.png", "second.png", "-loop", "0", "t.gif"}}, gif,
            gif);
        row("gif frame off the screen's corner",
            {{"convert", "source.png", "-crop", "200x150+40+30", "t.gif"}}, gif, gif);
        const QString webp = QStringLiteral("t.webp");
        const QString dwebp = QStringLiteral("d.png");
        const QStringList decode = {"dwebp", "-quiet", "t.webp", "-o", "d.png"};
        row("webp lossy", {{"cwebp", "-quiet", "-q", "90", "source.png", "-o", "t.webp"}, decode},
            webp, dwebp);
        // Odd sides: the last chroma column and row cover one pixel each.
        row("webp lossy of odd size",
            {{"cwebp", "-quiet", "-q", "90", "-crop", "0", "0", "315", "235", "source.png", "-o",
              "t.webp"},
             decode},
            webp, dwebp);
        row("webp lossless",
            {{"cwebp", "-quiet", "-lossless", "source.png", "-o", "t.webp"}, decode}, webp, dwebp);
        row("webp lossy with alpha",
            {{"cwebp", "-quiet", "-q", "90", "alpha.png", "-o", "t.webp"}, decode}, webp, dwebp);
        row("webp lossless with alpha",
            {{"cwebp", "-quiet", "-lossless", "-exact", "alpha.png", "-o", "t.webp"}, decode}, webp,
            dwebp);
        row("webp animated",
            {{"img2webp", "-lossless", "source.png", "-lossy", "second.png", "-o", "t.webp"}}, webp,
            QStringLiteral("source.png"));
        row("webp first frame smaller than the canvas",
            {{"cwebp", "-quiet", "-lossless", "-crop", "0", "0", "160", "120", "source.png", "-o",
              "part.webp"},
             {"cwebp", "-quiet", "-lossless", "second.png", "-o", "full.webp"},
             {"webpmux", "-frame", "part.webp", "+100+20+30", "-frame", "full.webp", "+100",
              "-loop", "0", "-o", "t.webp"},
             {"convert", "-size", "320x240", "xc:none", "(", "source.png", "-crop", "160x120+0+0",
              "+repage", ")", "-geometry", "+20+30", "-composite", "PNG32:r.png"}},
            webp, QStringLiteral("r.png"));
        row("webp turned by exif",
            {{"cwebp", "-quiet", "-q", "90", "source.png", "-o", "plain.webp"},
             {"webpmux", "-set", "exif", "exif.bin", "plain.webp", "-o", "t.webp"},
             {"dwebp", "-quiet", "plain.webp", "-o", "d.png"},
             {"convert", "d.png", "-rotate", "90", "PNG32:r.png"}},
            webp, QStringLiteral("r.png"));
    }
    void fidelity() {
        QFETCH(Commands, make);
        QFETCH(QString, file);
        QFETCH(QString, reference);
        const QString folder = dir_.path();
        for (const char* made : {"t.png", "t.gif", "t.webp", "d.png", "r.png"})
            QFile::remove(dir_.filePath(made));
        for (const QStringList& command : make) {
            if (command.first() != QLatin1String("convert") &&
                QStandardPaths::findExecutable(command.first()).isEmpty())
                QSKIP(qPrintable(command.first() + " is not installed"));
            QVERIFY2(run(folder, inFolder(folder, command)), qPrintable(command.join(' ')));
        }
        // The reference over black, as the comparison lays ours.
        const QString flat = dir_.filePath("flat.png");
        QVERIFY(runConvert({dir_.filePath(reference) + "[0]", "-background", "black", "-flatten",
                            "-alpha", "off", "-depth", "8", "PNG24:" + flat}));
        const QImage expected(flat);
        QVERIFY(!expected.isNull());

        PictureDecoder whole(QSize(4000, 4000));
        const std::optional<DecodedPicture> full = whole.decode(dir_.filePath(file));
        QVERIFY2(full, qPrintable(whole.errorString()));
        QCOMPARE(full->image.size(), expected.size());
        QCOMPARE(full->fullSize, expected.size());
        const double fullDifference = meanDifference(full->image, expected);

        // 2.5 times smaller, against the exact area average.
        const QSize bound = expected.size() * 2 / 5;
        PictureDecoder shrinking(bound);
        const std::optional<DecodedPicture> shrunk = shrinking.decode(dir_.filePath(file));
        QVERIFY2(shrunk, qPrintable(shrinking.errorString()));
        QCOMPARE(shrunk->image.size(), bound);
        const QString scaled = dir_.filePath("scaled.png");
        QVERIFY(runConvert({flat, "-scale",
                            QStringLiteral("%1x%2!").arg(bound.width()).arg(bound.height()),
                            "PNG24:" + scaled}));
        const double shrunkDifference = meanDifference(shrunk->image, QImage(scaled));
        qInfo("%s: mean difference %.3f at full size, %.3f shrunk", QTest::currentDataTag(),
              fullDifference, shrunkDifference);
        QVERIFY2(fullDifference < 1, qPrintable(QString::number(fullDifference)));
        // Pictures with alpha but WebP's go through the box shrinker, which
        // at 2.5:1 counts a source pixel whole where the area average
        // shares it, until the area shrinker takes alpha.
        const double tolerance =
            shrunk->image.hasAlphaChannel() && !file.endsWith(QLatin1String(".webp")) ? 2 : 1;
        QVERIFY2(shrunkDifference < tolerance, qPrintable(QString::number(shrunkDifference)));
    }

private:
    QTemporaryDir dir_;
};

KAVELO_TEST(WebFormatsTest)
#include "tst_webformats.moc"
