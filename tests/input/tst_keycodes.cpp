#include "input/KeyCodes.h"
#include "support/TestRegistry.h"

#include <QKeyEvent>
#include <QTest>

class KeyCodesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keyCodes_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("code");
        QTest::newRow("space") << int(Qt::Key_Space) << 0 << 32;
        QTest::newRow("tab") << int(Qt::Key_Tab) << 0 << 9;
        QTest::newRow("shift+tab arrives as backtab")
            << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << 9;
        QTest::newRow("5") << int(Qt::Key_5) << 0 << 53;
        QTest::newRow("shift+5 is percent") << int(Qt::Key_Percent) << int(Qt::ShiftModifier) << 53;
        QTest::newRow("keypad 5 is not 5") << int(Qt::Key_5) << int(Qt::KeypadModifier) << 101;
        QTest::newRow("return") << int(Qt::Key_Return) << 0 << 13;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 13;
        QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 27;
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << 107;
        QTest::newRow("main plus is not keypad plus") << int(Qt::Key_Plus) << 0 << 0;
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(Qt::KeypadModifier) << 109;
        QTest::newRow("main minus") << int(Qt::Key_Minus) << 0 << 0;
        QTest::newRow("letter") << int(Qt::Key_Q) << 0 << 81;
    }
    void keyCodes() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, code);
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(virtualKeyCode(event), code);
    }

    // Key presses as X11 reports them on other layouts: the native scan
    // code is the XKB key code (evdev + 8); the top row's 5 is 14.
    void keyCodesByPlace_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("scanCode");
        QTest::addColumn<int>("code");
        const int shift = Qt::ShiftModifier;
        const int keypad = Qt::KeypadModifier;
        QTest::newRow("US 5") << int(Qt::Key_5) << 0 << 14 << 53;
        QTest::newRow("US Shift+5") << int(Qt::Key_Percent) << shift << 14 << 53;
        QTest::newRow("French 5 key gives (") << int(Qt::Key_ParenLeft) << 0 << 14 << 53;
        QTest::newRow("French Shift+5") << int(Qt::Key_5) << shift << 14 << 53;
        // Czech and Slovak put a letter there: Czech r with caron, U+0159.
        QTest::newRow("Czech 5 key gives a letter") << 0x158 << 0 << 14 << 53;
        QTest::newRow("French & on the 1 key") << int(Qt::Key_Ampersand) << 0 << 10 << 49;
        QTest::newRow("French a-grave on the 0 key") << int(Qt::Key_Agrave) << 0 << 19 << 48;
        QTest::newRow("French % on the u-grave key") << int(Qt::Key_Percent) << shift << 48 << 0;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << keypad << 84 << 101;
        QTest::newRow("keypad 5 without Num Lock") << int(Qt::Key_Clear) << keypad << 84 << 0;
        // Keys whose Qt key is the same on every layout.
        QTest::newRow("French space") << int(Qt::Key_Space) << 0 << 65 << 32;
        QTest::newRow("French tab") << int(Qt::Key_Tab) << 0 << 23 << 9;
        QTest::newRow("French return") << int(Qt::Key_Return) << 0 << 36 << 13;
        QTest::newRow("French escape") << int(Qt::Key_Escape) << 0 << 9 << 27;
        QTest::newRow("French keypad plus") << int(Qt::Key_Plus) << keypad << 86 << 107;
        QTest::newRow("French keypad minus") << int(Qt::Key_Minus) << keypad << 82 << 109;
        QTest::newRow("French main-row minus on the 6 key") << int(Qt::Key_Minus) << 0 << 15 << 54;
        // Without a scan code only the character tells.
        QTest::newRow("no scan code: 5") << int(Qt::Key_5) << 0 << 0 << 53;
        QTest::newRow("no scan code: (") << int(Qt::Key_ParenLeft) << 0 << 0 << 0;
    }
    void keyCodesByPlace() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, scanCode);
        QFETCH(int, code);
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers),
                              quint32(scanCode), 0, 0);
        QCOMPARE(virtualKeyCode(event), code);
    }

    void shiftStateMasks() {
        const QKeyEvent ctrlShift(QEvent::KeyPress, Qt::Key_Tab,
                                  Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shiftState(ctrlShift), 3);
        const QKeyEvent alt(QEvent::KeyPress, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(shiftState(alt), 4);
    }
};
KAVELO_TEST(KeyCodesTest)

#include "tst_keycodes.moc"
