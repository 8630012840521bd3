#include "picture/PictureDecoder.h"
#include "picture/raster/AreaShrinker.h"
#include "picture/raster/LargeImage.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {
// The exact area average, straightforwardly: every target pixel the mean of
// the source area it covers, each source pixel weighted by the overlap, in
// doubles, on premultiplied channels. What AreaShrinker must match.
QImage referenceAverage(const QImage& picture, QSize size) {
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    const double sx = double(source.width()) / size.width();
    const double sy = double(source.height()) / size.height();
    const auto overlap = [](double lo, double hi, int i) {
        return std::max(0.0, std::min(hi, i + 1.0) - std::max(lo, double(i)));
    };
    for (int ty = 0; ty < size.height(); ++ty) {
        const double y0 = ty * sy, y1 = (ty + 1) * sy;
        for (int tx = 0; tx < size.width(); ++tx) {
            const double x0 = tx * sx, x1 = (tx + 1) * sx;
            double sums[4] = {};
            for (int y = int(y0); y < std::ceil(y1) && y < source.height(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
                for (int x = int(x0); x < std::ceil(x1) && x < source.width(); ++x) {
                    const double weight = overlap(y0, y1, y) * overlap(x0, x1, x);
                    for (int c = 0; c < 4; ++c)
                        sums[c] += weight * ((row[x] >> (8 * c)) & 0xFF);
                }
            }
            QRgb value = 0;
            for (int c = 0; c < 4; ++c)
                value |= QRgb(std::lround(sums[c] / (sx * sy))) << (8 * c);
            out.setPixel(tx, ty, value);
        }
    }
    return out;
}

// Mean difference over the four premultiplied channels, in levels.
double meanLevels(const QImage& ours, const QImage& reference) {
    const QImage a = ours.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = reference.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (a.size() != b.size())
        return 255;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 4; ++c)
                sum += std::abs(int((a.pixel(x, y) >> (8 * c)) & 0xFF) -
                                int((b.pixel(x, y) >> (8 * c)) & 0xFF));
    return double(sum) / (4.0 * a.width() * a.height());
}

// Every pixel its own colour and alpha, from seed: no run of equal pixels
// for a wrong share to hide in.
QImage speckled(QSize size, bool alpha, quint32 seed) {
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int a = alpha ? int(seed >> 24) : 255;
            image.setPixel(
                x, y,
                qRgba(int(seed >> 8) & 0xFF, int(seed >> 16) & 0xFF, x * 255 / size.width(), a));
        }
    return image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied
                                       : QImage::Format_RGB32);
}

QImage shrunkInRows(const QImage& source, QSize size, AreaShrinker::RowOrder order) {
    QImage out = largeImage(size, source.format());
    AreaShrinker shrinker(source.size(), out, order);
    for (int i = 0; i < source.height(); ++i) {
        const int y = order == AreaShrinker::RowOrder::TopDown ? i : source.height() - 1 - i;
        shrinker.addRow(reinterpret_cast<const QRgb*>(source.constScanLine(y)));
    }
    return shrinker.isComplete() ? out : QImage();
}
} // namespace

// Pictures decoded straight to the size they are drawn at, every path
// shrinking by the one rule: the exact area average.
class DrawnSizeTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private Q_SLOTS:
    void shrinkingAveragesByTheCoveredShare_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QList<int>>("greys");
        // Source pixel (x, y) has grey 10 * x + 100 * y.
        QTest::newRow("halved") << QSize(4, 2) << QSize(2, 1) << QList<int>{55, 75};
        QTest::newRow("columns split in halves") << QSize(5, 1) << QSize(2, 1) << QList<int>{8, 32};
        QTest::newRow("rows split in halves") << QSize(1, 3) << QSize(1, 2) << QList<int>{33, 167};
        QTest::newRow("a fifth off") << QSize(5, 1) << QSize(4, 1) << QList<int>{2, 14, 26, 38};
        QTest::newRow("kept") << QSize(2, 2) << QSize(2, 2) << QList<int>{0, 10, 100, 110};
    }
    void shrinkingAveragesByTheCoveredShare() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(QList<int>, greys);
        QImage out = largeImage(target, QImage::Format_RGB32);
        AreaShrinker shrinker(source, out);
        QCOMPARE(shrunkGreys(source, out, [&](const QRgb* row) { shrinker.addRow(row); }), greys);
        QVERIFY(shrinker.isComplete());
        // The pixels outlive the image they were written through.
        const QImage copy = out;
        out = QImage();
        QCOMPARE(qGray(copy.pixel(0, 0)), greys.first());
    }

    // Against the reference: opaque and premultiplied, rows either way
    // (bottom-up rows land mirrored, with the same values), whole pictures.
    void shrinkerMatchesTheReference_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("opaque uneven") << QSize(97, 61) << QSize(23, 17) << false;
        QTest::newRow("alpha uneven") << QSize(97, 61) << QSize(23, 17) << true;
        QTest::newRow("alpha barely shrunk") << QSize(50, 41) << QSize(49, 40) << true;
        // Under twice narrower, opaque rows are summed down their columns
        // first: every way a target column covers one, two or three.
        QTest::newRow("opaque barely shrunk") << QSize(53, 41) << QSize(47, 39) << false;
        QTest::newRow("opaque under twice") << QSize(97, 61) << QSize(60, 37) << false;
        QTest::newRow("opaque not shrunk") << QSize(19, 11) << QSize(19, 11) << false;
        QTest::newRow("to one pixel") << QSize(13, 7) << QSize(1, 1) << true;
    }
    void shrinkerMatchesTheReference() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(bool, alpha);
        const QImage picture = speckled(source, alpha, 7);
        const QImage reference = referenceAverage(picture, target);
        const QImage topDown = shrunkInRows(picture, target, AreaShrinker::RowOrder::TopDown);
        const QImage bottomUp = shrunkInRows(picture, target, AreaShrinker::RowOrder::BottomUp);
        // Rounded once, from exact integer sums: off by a level at most.
        QVERIFY2(meanLevels(topDown, reference) < 0.01,
                 qPrintable(QString::number(meanLevels(topDown, reference))));
        QCOMPARE(bottomUp, topDown);
        QCOMPARE(AreaShrinker::shrunk(picture, target), topDown);
        // Other formats are averaged premultiplied as well.
        const QImage other =
            AreaShrinker::shrunk(picture.convertToFormat(QImage::Format_ARGB32), target);
        QCOMPARE(other.format(), QImage::Format_ARGB32_Premultiplied);
        QVERIFY(meanLevels(other, reference) < 0.01);
    }

    // ImageMagick's -scale is the same exact area average: checked once
    // against a tool that knows nothing of this code.
    void matchesImageMagickScale() {
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        const QImage picture = speckled(QSize(211, 97), false, 3);
        const QString in = dir.filePath("speckled.png");
        const QString out = dir.filePath("scaled.png");
        QVERIFY(picture.save(in));
        QVERIFY(runConvert({in, "-depth", "16", "-scale", "67x31!", out}));
        const QImage theirs(out);
        QVERIFY(!theirs.isNull());
        const QImage ours = AreaShrinker::shrunk(picture, QSize(67, 31));
        const double mean = meanLevels(ours, theirs.convertToFormat(QImage::Format_RGB32));
        QVERIFY2(mean < 0.02, qPrintable(QString::number(mean)));
    }

    // Rows added together land in the same target pixels as rows added
    // one by one, and a row given as background but for a span (of any
    // columns, or none) as the whole row: run-length rows take the fast way
    // to the same result.
    void repeatedRowsShrinkAsSingleOnes_data() {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<int>("repeated");
        QTest::addColumn<bool>("bottomUp");
        QTest::newRow("across rows") << QSize(7, 23) << QSize(3, 5) << 11 << false;
        QTest::newRow("across rows, bottom-up") << QSize(7, 23) << QSize(3, 5) << 11 << true;
        QTest::newRow("past the end") << QSize(4, 9) << QSize(2, 4) << 50 << false;
        QTest::newRow("one row") << QSize(5, 6) << QSize(5, 6) << 1 << false;
        QTest::newRow("wide columns") << QSize(40, 7) << QSize(3, 2) << 2 << true;
        QTest::newRow("split columns") << QSize(41, 13) << QSize(17, 5) << 3 << false;
    }
    void repeatedRowsShrinkAsSingleOnes() {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(int, repeated);
        QFETCH(bool, bottomUp);
        const auto order =
            bottomUp ? AreaShrinker::RowOrder::BottomUp : AreaShrinker::RowOrder::TopDown;
        QImage single(target, QImage::Format_ARGB32_Premultiplied);
        QImage together(target, QImage::Format_ARGB32_Premultiplied);
        AreaShrinker one(source, single, order);
        AreaShrinker many(source, together, order);
        QList<QRgb> row(source.width());
        const QRgb background = qRgba(7, 8, 9, 10);
        for (int y = 0; y < source.height();) {
            const int from = y * 5 % source.width();
            const int to = y % 4 == 3 ? from : from + (source.width() - from) * (y % 3 + 1) / 3;
            for (int x = 0; x < source.width(); ++x)
                row[x] = x >= from && x < to ? qRgba(x * 5, y * 10, 200, 230) : background;
            const int count = std::min(repeated, source.height() - y);
            for (int i = 0; i < count; ++i)
                one.addRow(row.constData());
            many.addSparseRows(row.constData(), from, to, background, repeated);
            y += count;
        }
        QVERIFY(many.isComplete());
        QCOMPARE(together, single);
    }

    // Every decoder's picture at a drawn size against the exact area
    // average of its full-size picture; a JPEG's against the exact average
    // of libjpeg's own decode at the eighth the decoder takes, the smallest
    // that covers the drawn size (its scaled decode is the format's fast
    // path: a low-pass, which the average then takes the rest of the way).
    // Inks are averaged before they are turned into colours, within a level
    // too on a photo.
    void decodersMatchTheAreaAverage_data() {
        QTest::addColumn<QString>("recipe");
        QTest::newRow("jpeg at 3/8") << "jpeg";
        QTest::newRow("jpeg at 2/8") << "jpeg large";
        QTest::newRow("tiff") << "tiff";
        QTest::newRow("tiff with alpha") << "tiff alpha";
        QTest::newRow("tiff with inks") << "tiff inks";
        QTest::newRow("png") << "png";
        QTest::newRow("png with alpha") << "png alpha";
        QTest::newRow("avif") << "avif";
        QTest::newRow("avif 4:4:4, turned and mirrored") << "avif turned";
        QTest::newRow("bmp bottom-up") << "bmp";
        QTest::newRow("bmp top-down") << "bmp top-down";
        QTest::newRow("bmp run-length bottom-up") << "bmp rle";
        QTest::newRow("bmp run-length top-down") << "bmp rle top-down";
    }
    void decodersMatchTheAreaAverage() {
        QFETCH(QString, recipe);
        const QSize size = recipe == "jpeg large" ? QSize(1203, 795) : QSize(601, 397);
        const QSize drawn(173, 114);
        const QString path = dir.filePath(recipe + QStringLiteral(".pic"));
        const bool alpha = recipe.contains("alpha");
        const QImage picture = alpha ? speckled(size, true, 11) : photoLike(size, 11);
        if (recipe.startsWith("jpeg")) {
            QVERIFY(writeImage(path, photoLike(size, 11), "jpeg", 95));
        } else if (recipe == "tiff" || recipe == "tiff alpha") {
            QVERIFY(writeImage(path, picture, "tiff"));
        } else if (recipe.startsWith("png")) {
            QVERIFY(writeImage(path, picture, "png"));
        } else if (recipe.startsWith("avif")) {
            const QString png = dir.filePath(recipe + QStringLiteral(".png"));
            QVERIFY(photoLike(size, 11).save(png));
            QStringList arguments{"-s", "8"};
            if (recipe == "avif turned")
                arguments << "-y"
                          << "444"
                          << "--irot"
                          << "1"
                          << "--imir"
                          << "1";
            const QString ran = runTool(QStringLiteral("avifenc"), arguments << png << path);
            if (ran == toolMissing)
                QSKIP("avifenc is not installed");
            QVERIFY2(ran.isEmpty(), qPrintable(ran));
        } else if (recipe == "tiff inks") {
            const QString cmyk =
                QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc");
            if (convertProgram().isEmpty() || !QFile::exists(cmyk))
                QSKIP("ImageMagick or a CMYK profile is missing");
            const QString png = dir.filePath("inks.png");
            QVERIFY(cameraLike(size, 11).save(png));
            QVERIFY(runConvert(
                {png, "-colorspace", "CMYK", "-depth", "8", "-profile", cmyk, "TIFF:" + path}));
        } else {
            // Black, white and red shapes for the palette and run-length
            // kinds, whose edges fall anywhere in the target pixels.
            QImage shapes(size, QImage::Format_RGB32);
            shapes.fill(Qt::white);
            QPainter painter(&shapes);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::red);
            painter.drawEllipse(QRect(37, 41, 333, 251));
            painter.setBrush(Qt::black);
            for (int i = 0; i < 40; ++i)
                painter.drawRect(QRect(i * 15, i * 9, 7 + i % 5, 3 + i % 7));
            painter.end();
            const bool rle = recipe.contains("rle");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bmpBytes(rle ? shapes : picture, rle ? 8 : 24,
                                rle ? BmpCompression::Rle8 : BmpCompression::None,
                                recipe.contains("top-down")));
        }
        PictureDecoder full(QSize(4096, 4096));
        const std::optional<DecodedPicture> whole = full.decode(path);
        QVERIFY(whole);
        QCOMPARE(whole->image.size(), recipe == "avif turned" ? size.transposed() : size);
        PictureDecoder decoder(QSize(300, 300));
        decoder.setDrawSize([drawn](QSize) { return drawn; });
        const std::optional<DecodedPicture> shown = decoder.decode(path);
        QVERIFY(shown);
        QCOMPARE(shown->image.size(), drawn);
        QImage source = whole->image;
        if (recipe.startsWith("jpeg")) {
            int eighths = 1;
            while ((size.width() * eighths + 7) / 8 < drawn.width() ||
                   (size.height() * eighths + 7) / 8 < drawn.height())
                ++eighths;
            const QString scaled = dir.filePath(recipe + QStringLiteral(".ppm"));
            const QString ran =
                runTool(QStringLiteral("djpeg"),
                        {"-scale", QStringLiteral("%1/8").arg(eighths), "-outfile", scaled, path});
            if (ran == toolMissing)
                QSKIP("djpeg is not installed");
            QVERIFY2(ran.isEmpty(), qPrintable(ran));
            QVERIFY(source.load(scaled));
            source = source.convertToFormat(QImage::Format_RGB32);
        }
        const double mean = meanLevels(shown->image, referenceAverage(source, drawn));
        QVERIFY2(mean < 1.0, qPrintable(QStringLiteral("mean difference %1 levels").arg(mean)));
    }

    void decodesAtTheDrawnSizeWithinTheBound_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("drawn");
        QTest::addColumn<QSize>("decoded");
        // The pictures are 600 x 400, the bound 300 x 300.
        for (const QByteArray format : {"jpeg", "bmp", "tiff"}) {
            QTest::addRow("%s smaller than the bound", format.constData())
                << format << QSize(150, 100) << QSize(150, 100);
            QTest::addRow("%s larger than the bound", format.constData())
                << format << QSize(600, 400) << QSize(300, 200);
        }
        QTest::newRow("none") << QByteArray("jpeg") << QSize() << QSize(300, 200);
    }
    void decodesAtTheDrawnSizeWithinTheBound() {
        QFETCH(QByteArray, format);
        QFETCH(QSize, drawn);
        QFETCH(QSize, decoded);
        QImage flat(600, 400, QImage::Format_RGB32);
        flat.fill(qRgb(200, 100, 50));
        const QString path = dir.filePath(QStringLiteral("flat.") + format);
        QVERIFY(writeImage(path, flat, format));
        PictureDecoder decoder(QSize(300, 300));
        decoder.setDrawSize(
            [drawn](QSize full) { return full == QSize(600, 400) ? drawn : QSize(); });
        const std::optional<DecodedPicture> picture = decoder.decode(path);
        QVERIFY(picture);
        QCOMPARE(picture->image.size(), decoded);
        QCOMPARE(picture->fullSize, QSize(600, 400));
        // Every channel where it belongs, through the shrink.
        const QColor centre = picture->image.pixelColor(decoded.width() / 2, decoded.height() / 2);
        QVERIFY2(qAbs(centre.red() - 200) <= 3 && qAbs(centre.green() - 100) <= 3 &&
                     qAbs(centre.blue() - 50) <= 3,
                 qPrintable(centre.name()));
    }
};
KAVELO_TEST(DrawnSizeTest)

#include "tst_drawnsize.moc"
