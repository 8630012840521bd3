#include "picture/PictureLoader.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The loader on its own; the player's use of it is in tests/player.
class PictureLoaderTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString fresh(const char* name, QSize size) {
        return writePicture(QDir(dir.path()), name, size);
    }

private Q_SLOTS:
    void cacheStaysWithinItsBound() {
        PictureLoader loader(QSize(100, 100));
        const PictureTarget target{QSize(100, 100), {}};
        QStringList all;
        for (const char* name : {"s1.bmp", "s2.jpg", "s3.tif", "s4.jpg", "s5.bmp"})
            all.append(fresh(name, {100, 100}));
        loader.want(all, target);
        for (const QString& path : std::as_const(all))
            QVERIFY(loader.take(path, target));
        // Four pictures of the bound fill it; the oldest made room for the fifth.
        QCOMPARE(loader.cache().cost(), 4 * 100 * 100 * 4);
        QCOMPARE(loader.cache().count(), 4);
        loader.want({all.first()}, target);
        QTRY_COMPARE(loader.pendingJobs(), 0);
        QCOMPARE(loader.cache().cost(), loader.cache().capacity());
    }

    // A copy decoded ahead at another size (before the window had its
    // size, or for a window since resized) is decoded again at the drawn
    // size, not scaled a second time: the step shows what a decode at that
    // size shows. Only a copy of the file's own pixels is shrunk.
    void aCopyOfAnotherSizeIsDecodedAgain_data() {
        QTest::addColumn<QSize>("bound");
        QTest::addColumn<QSize>("drawn");
        QTest::newRow("decoded larger") << QSize(800, 800) << QSize(601, 401);
        QTest::newRow("decoded at full size") << QSize(4096, 4096) << QSize(601, 401);
    }
    void aCopyOfAnotherSizeIsDecodedAgain() {
        QFETCH(QSize, bound);
        QFETCH(QSize, drawn);
        const QString grainy = dir.filePath("grainy.bmp");
        QVERIFY(writeBytes(grainy, bmpBytes(photoLike(QSize(1499, 1001), 5), 24)));
        PictureLoader loader(bound);
        loader.want({grainy}, PictureTarget{bound, {}});
        QTRY_COMPARE(loader.pendingJobs(), 0);
        QCOMPARE(loader.cache().count(), 1);
        const PictureTarget target{bound, [drawn](QSize) {
                                       return drawn;
                                   }};
        const std::optional<DecodedPicture> taken = loader.take(grainy, target);
        const std::optional<DecodedPicture> direct = PictureLoader::decodeNow(grainy, target);
        QVERIFY(taken && direct);
        QCOMPARE(taken->image.size(), drawn);
        QCOMPARE(direct->image.size(), drawn);
        const double mean = meanDifference(taken->image, direct->image);
        QVERIFY2(mean < 0.01, qPrintable(QString::number(mean)));
    }

    // The step's picture is held by the step and the cache alone: keys
    // queued in a burst hold back the delivery of the jobs the steps took,
    // and a job still holding its picture would keep it alive until then.
    void aTakenPictureIsNotKeptByItsJob_data() {
        QTest::addColumn<bool>("wantedAhead");
        QTest::newRow("decoded for the step") << false;
        QTest::newRow("decoded ahead") << true;
    }
    void aTakenPictureIsNotKeptByItsJob() {
        QFETCH(bool, wantedAhead);
        const QString path = fresh("taken.jpg", {120, 80});
        PictureLoader loader(QSize(200, 200));
        const PictureTarget target{QSize(200, 200), {}};
        if (wantedAhead)
            loader.want({path}, target);
        std::optional<DecodedPicture> taken = loader.take(path, target);
        QVERIFY(taken);
        // No event processed since: the job is not delivered yet.
        loader.dropPrepared();
        QVERIFY(taken->image.isDetached());
    }
};
KAVELO_TEST(PictureLoaderTest)

#include "tst_pictureloader.moc"
