#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/TestRegistry.h"

#include <QSet>
#include <QTest>

namespace {
// Entries named "0", "1", ...; the presenter shows every entry except those
// it was told to pass over or to fail, and records what it was asked.
struct Show {
    explicit Show(int count) {
        for (int i = 0; i < count; ++i)
            list.append(QString::number(i));
    }
    PresentOutcome present(const QString& path) {
        asked.append(path.toInt());
        if (skipped.contains(path.toInt()))
            return PresentOutcome::Skipped;
        if (failing.contains(path.toInt()))
            return PresentOutcome::Failed;
        shown.append(path.toInt());
        return PresentOutcome::Shown;
    }
    PresentOutcome step() {
        return stepper.step(list, [this](const QString& path) { return present(path); });
    }
    QList<int> steps(int count) {
        shown.clear();
        for (int i = 0; i < count; ++i)
            step();
        return shown;
    }

    SlideListModel list;
    SlideStepper stepper;
    QSet<int> skipped;
    QSet<int> failing;
    QList<int> asked;
    QList<int> shown;
};
} // namespace

class SlideStepperTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sequences_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("direction");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("forwards wraps to 0")
            << 4 << "Forwards" << 0 << QList<int>{0, 1, 2, 3, 0, 1};
        QTest::newRow("backwards wraps to the last")
            << 4 << "Backwards" << 2 << QList<int>{2, 1, 0, 3, 2};
        QTest::newRow("one entry forwards") << 1 << "Forwards" << 0 << QList<int>{0, 0, 0};
        QTest::newRow("one entry backwards") << 1 << "Backwards" << 0 << QList<int>{0, 0, 0};
        // Only exactly "Forwards" walks forwards.
        QTest::newRow("lower-case word is backwards")
            << 3 << "forwards" << 0 << QList<int>{0, 2, 1, 0};
        QTest::newRow("position behind the end starts over")
            << 3 << "Forwards" << 7 << QList<int>{0, 1, 2};
        QTest::newRow("negative position starts over")
            << 3 << "Backwards" << -1 << QList<int>{0, 2, 1};
    }
    void sequences() {
        QFETCH(int, count);
        QFETCH(QString, direction);
        QFETCH(int, start);
        QFETCH(QList<int>, expected);
        Show show(count);
        show.stepper.Direction = direction;
        show.stepper.NextIndex = start;
        QCOMPARE(show.steps(int(expected.size())), expected);
    }

    void skippedEntriesArePassedInOneStep() {
        Show show(5);
        show.skipped = {0, 1, 2};
        QCOMPARE(show.step(), PresentOutcome::Shown);
        QCOMPARE(show.asked, (QList<int>{0, 1, 2, 3}));
        QCOMPARE(show.shown, (QList<int>{3}));
        QCOMPARE(show.stepper.NextIndex, 4);
        // Backwards over the wrap: 4 is shown, then 3, then past 2, 1, 0 to 4.
        show.stepper.Direction = SlideStepper::Backwards;
        QCOMPARE(show.steps(3), (QList<int>{4, 3, 4}));
    }

    void nothingPresentableEndsTheStep_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("direction");
        QTest::newRow("forwards") << 4 << "Forwards";
        QTest::newRow("backwards") << 4 << "Backwards";
        QTest::newRow("single entry") << 1 << "Forwards";
    }
    void nothingPresentableEndsTheStep() {
        QFETCH(int, count);
        QFETCH(QString, direction);
        Show show(count);
        show.stepper.Direction = direction;
        show.stepper.NextIndex = count - 1;
        for (int i = 0; i < count; ++i)
            show.skipped.insert(i);
        QCOMPARE(show.step(), PresentOutcome::Skipped);
        // Every entry tried exactly once; the position is where it started.
        QCOMPARE(show.asked.size(), count);
        QCOMPARE(QSet<int>(show.asked.begin(), show.asked.end()).size(), count);
        QCOMPARE(show.stepper.NextIndex, count - 1);
        // A picture that turns up later is shown at a later step.
        show.skipped.remove(0);
        QCOMPARE(show.step(), PresentOutcome::Shown);
        QCOMPARE(show.shown, (QList<int>{0}));
    }

    void emptyListEndsTheStepAtOnce() {
        Show show(0);
        show.stepper.NextIndex = 3;
        QCOMPARE(show.step(), PresentOutcome::Skipped);
        QVERIFY(show.asked.isEmpty());
        // Filled again, the show starts over at the first entry.
        show.list.append(QStringList{QStringLiteral("0"), QStringLiteral("1")});
        QCOMPARE(show.steps(2), (QList<int>{0, 1}));
    }

    void failedEntryKeepsItsPlace() {
        Show show(3);
        show.failing = {1};
        show.skipped = {0};
        QCOMPARE(show.step(), PresentOutcome::Failed);
        QCOMPARE(show.stepper.NextIndex, 1);
        QCOMPARE(show.step(), PresentOutcome::Failed);
        QCOMPARE(show.asked, (QList<int>{0, 1, 1}));
        show.failing.clear();
        QCOMPARE(show.steps(2), (QList<int>{1, 2}));
    }

    void listChangesBetweenStepsAreSeen() {
        Show show(3);
        QCOMPARE(show.steps(2), (QList<int>{0, 1}));
        // The entry due next is removed and another appended in its place.
        show.list.removeAt(2);
        show.list.append(QStringLiteral("7"));
        QCOMPARE(show.steps(2), (QList<int>{7, 0}));
        // Shortened behind the position: back to the start.
        show.stepper.NextIndex = 2;
        show.list.removeAt(2);
        show.list.removeAt(1);
        QCOMPARE(show.steps(2), (QList<int>{0, 0}));
    }
};
KAVELO_TEST(SlideStepperTest)

#include "tst_slidestepper.moc"
