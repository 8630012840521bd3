#include "input/KeyPreview.h"
#include "support/TestRegistry.h"

#include <QLineEdit>
#include <QTest>

class KeyPreviewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A press the focused control passes up reaches the window through
    // every watched parent, and is still previewed once.
    void oncePerPressBeforeTheControl_data() {
        QTest::addColumn<bool>("consume");
        QTest::addColumn<QString>("controlGets");
        QTest::newRow("pass on") << false << "x";
        QTest::newRow("consume") << true << "";
    }
    void oncePerPressBeforeTheControl() {
        QFETCH(bool, consume);
        QWidget window;
        auto* frame = new QWidget(&window);
        auto* edit = new QLineEdit(frame);
        QList<int> seen;
        new KeyPreview(
            window, [&](int keyCode, int) { seen.append(keyCode); },
            consume ? KeyPreview::Then::Consume : KeyPreview::Then::PassOn);
        QTest::keyClick(edit, Qt::Key_X);
        QTest::keyClick(edit, Qt::Key_F1);
        QCOMPARE(seen, QList<int>({'X', 0x70}));
        QTEST(edit->text(), "controlGets");
    }
};
KAVELO_TEST(KeyPreviewTest)

#include "tst_keypreview.moc"
