#include "player/SlideFrameHold.h"
#include "support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

class SlideFrameHoldTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Microseconds since the last paint ended, the screen's refresh rate,
    // and the microseconds still to wait, rounded up.
    void holdsOneFrame_data() {
        QTest::addColumn<qint64>("sincePaint");
        QTest::addColumn<qreal>("refresh");
        QTest::addColumn<qint64>("wait");
        QTest::newRow("just painted, 60 Hz") << qint64(0) << 60.0 << qint64(16667);
        QTest::newRow("half a frame ago") << qint64(8000) << 60.0 << qint64(8667);
        QTest::newRow("a frame ago") << qint64(16667) << 60.0 << qint64(0);
        QTest::newRow("long ago") << qint64(5000000) << 60.0 << qint64(0);
        QTest::newRow("144 Hz") << qint64(1000) << 144.0 << qint64(5945);
        QTest::newRow("no rate said counts as 60") << qint64(0) << 0.0 << qint64(16667);
        QTest::newRow("a rate no display has counts as 60") << qint64(0) << 1e9 << qint64(16667);
        QTest::newRow("not a number counts as 60") << qint64(0) << qQNaN() << qint64(16667);
    }
    void holdsOneFrame() {
        QFETCH(qint64, sincePaint);
        QFETCH(qreal, refresh);
        QFETCH(qint64, wait);
        const auto painted = std::chrono::steady_clock::now();
        const auto hold = holdBeforeNextPicture(
            painted, painted + std::chrono::microseconds(sincePaint), refresh);
        QCOMPARE(std::chrono::ceil<std::chrono::microseconds>(hold).count(), wait);
    }

    void theFirstPictureWaitsForNothing() {
        QCOMPARE(holdBeforeNextPicture(std::nullopt, std::chrono::steady_clock::now(), 60),
                 std::chrono::nanoseconds::zero());
    }
};
KAVELO_TEST(SlideFrameHoldTest)

#include "tst_slideframehold.moc"
