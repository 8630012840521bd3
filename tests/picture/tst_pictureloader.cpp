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
};
KAVELO_TEST(PictureLoaderTest)

#include "tst_pictureloader.moc"
