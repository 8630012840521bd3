#include "support/TestRegistry.h"
#include "ui/Units.h"

#include <QTest>

class UnitsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twipsRoundToPixels() {
        QCOMPARE(twipsToPixels(15), 1);
        QCOMPARE(twipsToPixels(11790), 786);
        // Far edges are rounded, so touching controls keep touching.
        const QRect left = twipsRect(240, 4620, 1515, 735);
        const QRect right = twipsRect(1755, 4620, 1515, 735);
        QCOMPARE(left.right() + 1, right.left());
    }
};
KAVELO_TEST(UnitsTest)

#include "tst_units.moc"
