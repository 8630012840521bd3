#pragma once

// Suspends the X server's own screen saver and its display power saving
// (XScreenSaverSuspend) while wanted, so that a bare window manager
// session, which has no screen saver service on the bus, stays on too. The
// server counts suspensions per client and drops them when the client goes.
// libXss is loaded only on the xcb platform: a Wayland session runs without
// any X library. Does nothing elsewhere or when the library is missing.
//
// Thread: the event thread, which owns Qt's X connection.
class X11SaverSuspend {
public:
    X11SaverSuspend() = default;
    ~X11SaverSuspend() { setSuspended(false); }
    X11SaverSuspend(const X11SaverSuspend&) = delete;
    X11SaverSuspend& operator=(const X11SaverSuspend&) = delete;

    void setSuspended(bool suspended);
    bool suspended() const { return suspended_; }

private:
    bool suspended_ = false;
};
