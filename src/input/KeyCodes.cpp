#include "input/KeyCodes.h"

#include <QKeyEvent>

namespace {
// X11 and Wayland report the XKB key code as the native scan code: the
// evdev code plus 8. The top row's 1 to 9 and 0 are evdev 2 to 11 on every
// layout, whatever characters the layout puts on them.
constexpr quint32 topRowFirstScanCode = 10;
constexpr quint32 topRowLastScanCode = 19;

// The digit key of the top row, by its place; 0 when the key is elsewhere.
int topRowDigitCode(quint32 scanCode) {
    if (scanCode < topRowFirstScanCode || scanCode > topRowLastScanCode)
        return 0;
    // The row runs 1 ... 9, then 0.
    return scanCode == topRowLastScanCode ? 48 : 49 + int(scanCode - topRowFirstScanCode);
}

bool isDigitRowCharacter(int key) {
    return (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Percent;
}
} // namespace

int virtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return 96 + (key - Qt::Key_0);
        switch (key) {
        case Qt::Key_Plus:
            return vk::Add;
        case Qt::Key_Minus:
            return vk::Subtract;
        case Qt::Key_Asterisk:
            return 106;
        case Qt::Key_Slash:
            return 111;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 110;
        case Qt::Key_Enter:
            return vk::Return;
        default:
            break;
        }
    }
    // The digit keys are known by their place, as their virtual key codes
    // are: on AZERTY the 5 key gives "(", on Czech a letter, and Shift
    // gives the digit. Where the platform reports no scan code (0), the
    // character is all there is to go by.
    const quint32 scanCode = event.nativeScanCode();
    if (!keypad && scanCode != 0) {
        if (const int digit = topRowDigitCode(scanCode))
            return digit;
        // A digit or "%" typed on another key (French Shift+ù gives "%")
        // is not a digit key.
        if (isDigitRowCharacter(key))
            return 0;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return 48 + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 65 + (key - Qt::Key_A);
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return vk::Return;
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_Percent:
        return vk::Key5;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    return 0;
}

int shiftState(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers();
    int state = 0;
    if (mods.testFlag(Qt::ShiftModifier))
        state |= vk::ShiftMask;
    if (mods.testFlag(Qt::ControlModifier))
        state |= vk::CtrlMask;
    if (mods.testFlag(Qt::AltModifier))
        state |= vk::AltMask;
    return state;
}
