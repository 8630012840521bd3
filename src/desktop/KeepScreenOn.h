#pragma once

#include "desktop/SessionIdleInhibitor.h"
#include "desktop/X11SaverSuspend.h"

#include <QObject>

class QWidget;

// Keeps the screen on while a window is shown and not minimized: the
// session's idle blanking and lock through the bus, and on X11 the
// server's own screen saver too. Everything is let go when the window
// hides, is minimized or goes.
//
// Thread: the event thread, like the window it watches.
class KeepScreenOn : public QObject {
    Q_OBJECT
public:
    // A child of window, watching its shows, hides and state changes.
    explicit KeepScreenOn(QWidget& window);

    const SessionIdleInhibitor& session() const { return session_; }
    const X11SaverSuspend& x11() const { return x11_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    QWidget& window_;
    SessionIdleInhibitor session_;
    X11SaverSuspend x11_;
};
