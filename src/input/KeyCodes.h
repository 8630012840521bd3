#pragma once

class QKeyEvent;

// The virtual key codes the windows' key handlers were designed around.
namespace vk {
constexpr int Tab = 9;
constexpr int Return = 13;
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int Key5 = 53;
constexpr int Add = 107;
constexpr int Subtract = 109;

constexpr int ShiftMask = 1;
constexpr int CtrlMask = 2;
constexpr int AltMask = 4;
} // namespace vk

// The virtual key code of a key press, 0 for keys without one. Shift+Tab
// (Qt's Backtab) is Tab, keypad Enter is Enter, and keypad digits keep their
// own codes. The top row's digit keys are told by their place (the native
// scan code) whatever the layout makes them type, Shift included; without a
// scan code, by their character, with Shift+5 ('%' on a US layout) as 5.
int virtualKeyCode(const QKeyEvent& event);

// Shift 1, Ctrl 2, Alt 4.
int shiftState(const QKeyEvent& event);
