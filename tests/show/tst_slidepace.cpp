#include "show/SlidePace.h"
#include "support/TestRegistry.h"

#include <QTest>

class SlidePaceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void steps_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("slower");
        QTest::addColumn<int>("faster");
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("fastest") << 1 << 2 << 1 << 600;
        QTest::newRow("middle") << 7 << 8 << 6 << 4200;
        QTest::newRow("slowest") << 50 << 50 << 49 << 30000;
        // Stored by the options dialog above the keys' range.
        QTest::newRow("stored 54") << 54 << 54 << 53 << 32400;
        // Past 16 bits the product wraps, as the timer always saw it.
        QTest::newRow("wraps") << 55 << 55 << 54 << 33000 - 65536;
    }
    void steps() {
        QFETCH(int, seconds);
        const auto pace = static_cast<qint16>(seconds);
        QTEST(int(SlidePace::slower(pace)), "slower");
        QTEST(int(SlidePace::faster(pace)), "faster");
        QTEST(SlidePace::intervalMs(pace), "intervalMs");
    }
};
KAVELO_TEST(SlidePaceTest)

#include "tst_slidepace.moc"
