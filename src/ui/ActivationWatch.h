#pragma once

class QWindow;

// Tells a window's activations apart: the first one after the window is
// shown, and a return to it from another of the program's windows, count;
// a return from another application, with no window of the program active
// in between, does not. Qt reports both returns alike (WindowActivate), so
// the window tells the watch each time another window of its program
// becomes the focus window.
class ActivationWatch {
public:
    // The window was shown: its next activation counts.
    void shown() { counts_ = true; }
    // Another window of the program became active.
    void otherProgramWindowActivated() { counts_ = true; }
    // The window became active: whether this activation counts.
    bool activated();

private:
    bool counts_ = true;
};

// Whether window belongs to one of this program's top-level widgets; false
// for none (another application is active) and for bare QWindows.
bool isProgramWindow(const QWindow* window);
