#include "picture/PictureCache.h"
#include "picture/PictureLoader.h"
#include "picture/raster/PictureFit.h"
#include "player/SlideFit.h"
#include "player/SlideLookahead.h"
#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/PictureFiles.h"
#include "support/PlayerFixture.h"
#include "support/TestRegistry.h"
#include "ui/PictureView.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
// A player whose show the test steps itself.
struct Show : PlayerFixture {
    explicit Show(const QStringList& entries)
        : PlayerFixture(entries) {
        openStill();
    }
};
} // namespace

class PrefetchTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString a, b, c, d, big;
    QString fresh(const char* name, QSize size) {
        return writePicture(QDir(dir.path()), name, size);
    }

private Q_SLOTS:
    void initTestCase() {
        a = fresh("a.jpg", {400, 300});
        b = fresh("b.bmp", {320, 200});
        c = fresh("c.tif", {200, 100});
        d = fresh("d.jpg", {100, 100});
        big = fresh("big.jpg", {3000, 2000});
    }

    void upcomingFollowsTheAdvanceRule_data() {
        QTest::addColumn<int>("next");
        QTest::addColumn<bool>("forwards");
        QTest::addColumn<QString>("expected");
        QTest::newRow("forwards") << 1 << true << "b c a";
        QTest::newRow("wraps at the end") << 3 << true << "d a c";
        QTest::newRow("backwards wraps at the start") << 0 << false << "a d b";
        QTest::newRow("missing entries passed over") << 4 << true << "a b d";
        QTest::newRow("position past the end starts over") << 9 << true << "a b d";
    }
    void upcomingFollowsTheAdvanceRule() {
        QFETCH(int, next);
        QFETCH(bool, forwards);
        QFETCH(QString, expected);
        SlideListModel list;
        list.append(QStringList{"a", "b", "c", "d", "x"});
        SlideStepper state;
        state.NextIndex = next;
        state.Direction = forwards ? SlideStepper::Forwards : SlideStepper::Backwards;
        const QStringList found = upcomingSlides(
            state, list, 2, 1, [](const QString& path) { return path != QLatin1String("x"); });
        QCOMPARE(found.join(QLatin1Char(' ')), expected);
    }

    // The next step must show the file as it is then, whatever was decoded.
    void fileChangedAfterItsPrefetch_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("messages");
        QTest::newRow("replaced") << "replace"
                                  << "60x40" << 0;
        QTest::newRow("deleted: skipped silently") << "delete"
                                                   << "" << 0;
        QTest::newRow("now no picture") << "garbage"
                                        << "" << 1;
    }
    void fileChangedAfterItsPrefetch() {
        QFETCH(QString, change);
        QFETCH(QString, caption);
        QFETCH(int, messages);
        const QString x = fresh("x.jpg", {400, 300});
        Show show({a, x, b});
        show.step();
        QTRY_VERIFY_WITH_TIMEOUT(show.window->Loader->cache().count() >= 2, 20000);
        QFile::remove(x);
        if (change == QLatin1String("replace"))
            fresh("x.jpg", {60, 40});
        else if (change == QLatin1String("garbage"))
            writeGarbage(QDir(dir.path()), QStringLiteral("x.jpg"));
        show.step();
        QCOMPARE(show.messages(), messages);
        if (!caption.isEmpty())
            QCOMPARE(show.caption(), playerCaption(x, qPrintable(caption), "Forwards"));
        else if (messages == 0)
            QCOMPARE(show.caption(), playerCaption(b, "320x200", "Forwards"));
        QFile::remove(x);
    }

    void failingEntryIsReportedAtEachOfItsSteps() {
        const QString bad = writeGarbage(QDir(dir.path()), QStringLiteral("bad.jpg"));
        Show show({a, bad});
        show.step();
        QCOMPARE(show.messages(), 0);
        for (int tries = 1; tries <= 3; ++tries) {
            show.step();
            QCOMPARE(show.messages(), tries);
            QCOMPARE(show.state.NextIndex, 1);
        }
        QCOMPARE(show.window->Loader->cache().count(), 1);
    }

    void listEditedAroundTheNextEntryShowsNoStaleOne_data() {
        QTest::addColumn<int>("remove");
        QTest::addColumn<int>("shown");
        QTest::newRow("the next one") << 1 << 2;
        QTest::newRow("the one before") << 0 << 2;
        QTest::newRow("the last one") << 3 << 1;
    }
    void listEditedAroundTheNextEntryShowsNoStaleOne() {
        QFETCH(int, remove);
        QFETCH(int, shown);
        const QStringList entries{a, b, c, d};
        Show show(entries);
        show.step();
        show.list.removeAt(remove);
        show.step();
        QVERIFY(show.caption().startsWith(entries.at(shown) + QLatin1Char(' ')));
    }

    // Opening shows nothing, but the first tick's picture is prepared at the
    // size the maximized window draws it, so that tick only swaps it in.
    void theFirstPictureIsPreparedBeforeTheFirstTick() {
        Show show({big, a});
        const auto prepared = [&] {
            PictureCache cache = show.window->Loader->cache();
            const std::optional<DecodedPicture> picture = cache.find(big, fileIdentity(big));
            return picture ? picture->image.size() : QSize();
        };
        QTRY_VERIFY(prepared().isValid());
        QCOMPARE(show.caption(), QStringLiteral("Image"));
        const QSize size = prepared();
        show.step();
        QCOMPARE(show.window->SlideImage->image().size(), size);
        QCOMPARE(show.messages(), 0);
    }

    // A step that waits for its picture (keys faster than the decodes) has
    // three decoded ahead, so that a worker whose picture is ready first
    // goes on to another; a step whose picture was ready keeps to two.
    void stepsThatWaitLookFurtherAhead() {
        const QString e = fresh("e.jpg", {90, 60});
        const QString f = fresh("f.bmp", {60, 90});
        Show show({a, b, c, d, e, f});
        PictureLoader& loader = *show.window->Loader;
        const auto cached = [&](const QString& path) {
            PictureCache cache = loader.cache();
            return cache.find(path, fileIdentity(path)).has_value();
        };
        QTRY_COMPARE_WITH_TIMEOUT(loader.pendingJobs(), 0, 20000);
        loader.dropPrepared();
        show.step();
        QVERIFY(loader.lastTakeWaited());
        QTRY_COMPARE_WITH_TIMEOUT(loader.pendingJobs(), 0, 20000);
        QVERIFY(cached(b) && cached(c) && cached(d));
        show.step();
        QVERIFY(!loader.lastTakeWaited());
        QTRY_COMPARE_WITH_TIMEOUT(loader.pendingJobs(), 0, 20000);
        QVERIFY(cached(c) && cached(d));
        QVERIFY(!cached(e));
    }

    void prefetchedStepShowsWhatADirectStepWould() {
        Show direct({big});
        direct.step();
        Show ahead({a, big});
        ahead.step();
        // Once both are decoded ahead, the second step only takes the copy
        // (under the thread sanitizer the decode of the big one takes a while).
        QTRY_COMPARE_WITH_TIMEOUT(ahead.window->Loader->cache().count(), 2, 20000);
        ahead.step();
        QCOMPARE(ahead.caption(), direct.caption());
        // When the opening's decode ahead finishes after the window got its
        // size, it is decoded again at that size, never scaled twice; a
        // wrong or stale picture is tens of levels off.
        const QImage shown = ahead.window->SlideImage->image();
        QCOMPARE(shown.size(), direct.window->SlideImage->image().size());
        QVERIFY(meanDifference(shown, direct.window->SlideImage->image()) < 0.5);
        QCOMPARE(ahead.window->SlideImage->pictureSize(), QSize(3000, 2000));
    }

    // A picture reaches the screen resampled once, however it got there:
    // the opening's decode ahead, made before the window had its size, and
    // a later step onto the same file give the same pixels. A copy scaled
    // a second time blurs the grain by several levels.
    void theFirstPictureLooksLikeALaterStepOntoIt() {
        const QString grainy = dir.filePath("grainy.bmp");
        QVERIFY(writeBytes(grainy, bmpBytes(photoLike(QSize(2999, 2001), 5), 24)));
        Show show({grainy, a});
        show.step();
        const QImage first = show.window->SlideImage->image();
        show.step();
        // The copy decoded at the opening is gone before the step back.
        show.window->Loader->dropPrepared();
        show.step();
        QCOMPARE(show.caption(), playerCaption(grainy, "2999x2001", "Forwards"));
        const QImage later = show.window->SlideImage->image();
        QCOMPARE(later.size(), first.size());
        const double mean = meanDifference(later, first);
        QVERIFY2(mean < 1.0, qPrintable(QString::number(mean)));
    }

    // A picture on show when the window changes size is drawn scaled only
    // until its copy decoded for the new size takes its place: from then
    // on it is what a decode at that size gives, resampled once, and the
    // show has not stepped.
    void resizedWindowDecodesTheShownPictureAgain_data() {
        QTest::addColumn<QSize>("client");
        // The test screen is 800 x 600, the decode bound with it.
        QTest::newRow("smaller") << QSize(700, 520);
        QTest::newRow("narrow and high") << QSize(420, 560);
        QTest::newRow("larger than the screen") << QSize(1000, 620);
    }
    void resizedWindowDecodesTheShownPictureAgain() {
        QFETCH(QSize, client);
        const QString grainy = dir.filePath("grainy-resized.bmp");
        QVERIFY(writeBytes(grainy, bmpBytes(photoLike(QSize(2999, 2001), 7), 24)));
        Show show({grainy, a});
        show.step();
        frmImage& window = *show.window;
        const QSize before = window.SlideImage->image().size();
        window.showNormal();
        window.resize(client);
        QTRY_COMPARE(window.size(), client);
        const SlidePlacement placement =
            placeSlide(window.SlideImage->pictureSize(), window.frameGeometry().size(),
                       window.size(), window.SlideImage->devicePixelRatioF());
        // No copy is decoded larger than the screen: a larger window draws
        // that one scaled.
        const QSize largest = shrinkToFit(QSize(2999, 2001), PictureView::decodeBound());
        const QSize drawn =
            placement.deviceSize.width() <= largest.width() ? placement.deviceSize : largest;
        QVERIFY(drawn != before);
        QTRY_COMPARE(window.SlideImage->image().size(), drawn);
        QCOMPARE(window.SlideImage->geometry(), placement.control);
        // Nothing goes on decoding it.
        QTRY_COMPARE(window.Loader->pendingJobs(), 0);
        QTest::qWait(200);
        QCOMPARE(window.Loader->pendingJobs(), 0);
        const std::optional<DecodedPicture> fresh = PictureLoader::decodeNow(
            grainy, PictureTarget{PictureView::decodeBound(), [drawn](QSize) {
                                      return drawn;
                                  }});
        QVERIFY(fresh);
        QCOMPARE(fresh->image.size(), drawn);
        const double mean = meanDifference(window.SlideImage->image(), fresh->image);
        QVERIFY2(mean < 1.0, qPrintable(QString::number(mean)));
        QCOMPARE(show.caption(), playerCaption(grainy, "2999x2001", "Forwards"));
    }

    void closingWhileDecodingLeavesNothingRunning_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("closed") << false;
        QTest::newRow("escape") << true;
    }
    void closingWhileDecodingLeavesNothingRunning() {
        QFETCH(bool, escape);
        Show show({a, big, big, c});
        show.window->ShowNextSlide();
        if (escape)
            QTest::keyClick(show.window.get(), Qt::Key_Escape);
        PictureLoader* loader = show.window->Loader;
        loader->stop();
        QCOMPARE(loader->runningThreads(), 0);
        QCOMPARE(loader->pendingJobs(), 0);
        show.window.reset();
        QCOMPARE(show.world.programEnd.calls, escape ? 1 : 0);
    }
};
KAVELO_TEST(PrefetchTest)

#include "tst_prefetch.moc"
