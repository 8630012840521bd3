#include "picture/PictureDecoder.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
// The picture as the maker wrote it where it left one, else as tiff2rgba
// shows a TIFF, else as ImageMagick shows the file; over black. Null when
// none of them reads it.
QImage referenceOf(const QString& path, const QString& scratch) {
    if (QFile::exists(path + ".ppm"))
        return QImage(path + ".ppm");
    QString source = path + "[0]";
    if (path.endsWith(QLatin1String(".tif")) &&
        QProcess::execute(QStringLiteral("tiff2rgba"), {path, scratch + ".tif"}) == 0)
        source = scratch + ".tif";
    if (!runConvert({source, "-background", "black", "-alpha", "remove", "-alpha", "off", "-depth",
                     "8", "PNG24:" + scratch + ".png"}))
        return {};
    return QImage(scratch + ".png");
}

struct Family {
    int shown = 0;
    int refused = 0;
    int compared = 0;
    double sum = 0;
    double worst = 0;
};
} // namespace

// The BMP and TIFF variants of tests/picture/make-variant-pictures.py,
// decoded and compared with tiff2rgba's or ImageMagick's rendering of the
// same file: good
// files within a level on average, questionable BMPs within four, bad files
// refused. The figures per family are printed at the end.
class PictureFidelityTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (convertProgram().isEmpty())
            QSKIP("ImageMagick's convert is not installed");
        QVERIFY(folder_.isValid());
        QProcess maker;
        maker.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(KAVELO_SOURCE_DIR "/tests/picture/make-variant-pictures.py"),
                     folder_.path()});
        QVERIFY(maker.waitForFinished(60000));
        QVERIFY2(maker.exitCode() == 0, maker.readAllStandardError().constData());
    }

    void variants_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("shown");
        QFile list(folder_.filePath(QStringLiteral("variants.txt")));
        QVERIFY(list.open(QIODevice::ReadOnly));
        while (!list.atEnd()) {
            const QStringList words = QString::fromUtf8(list.readLine()).simplified().split(' ');
            if (words.size() == 3)
                QTest::newRow(qPrintable(words[0]))
                    << words[0] << words[1] << (words[2] == QLatin1String("shown"));
        }
    }
    void variants() {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(bool, shown);
        const QString path = folder_.filePath(name);
        PictureDecoder decoder(QSize(4096, 4096));
        const std::optional<DecodedPicture> picture = decoder.decode(path);
        Family& figures = families_[family];
        ++(picture ? figures.shown : figures.refused);
        if (!shown) {
            QVERIFY2(!picture, "a damaged file is shown");
            QVERIFY(!decoder.errorString().isEmpty());
            return;
        }
        QVERIFY2(picture, qPrintable(decoder.errorString()));
        const QImage reference = referenceOf(path, folder_.filePath(name + "-reference"));
        if (reference.isNull())
            return;
        QCOMPARE(picture->image.size(), reference.size());
        const double difference = meanDifference(picture->image, reference);
        ++figures.compared;
        figures.sum += difference;
        figures.worst = std::max(figures.worst, difference);
        const double allowed = family == QLatin1String("bmp-questionable") ? 4 : 1;
        QVERIFY2(difference <= allowed,
                 qPrintable(QStringLiteral("differs from ImageMagick by %1").arg(difference)));
    }

    void cleanupTestCase() {
        for (auto it = families_.cbegin(); it != families_.cend(); ++it)
            qInfo("%-17s shown %3d  refused %3d  compared %3d  mean difference %.2f (worst %.2f)",
                  qPrintable(it.key()), it->shown, it->refused, it->compared,
                  it->compared ? it->sum / it->compared : 0.0, it->worst);
    }

private:
    QTemporaryDir folder_;
    QMap<QString, Family> families_;
};
KAVELO_TEST(PictureFidelityTest)

#include "tst_picturefidelity.moc"
