#include "desktop/X11SaverSuspend.h"

#include <QGuiApplication>
#include <X11/extensions/scrnsaver.h>
#include <dlfcn.h>

namespace {
struct SaverLibrary {
    decltype(&XScreenSaverSuspend) suspend = nullptr;
    decltype(&XFlush) flush = nullptr;
};

// Loaded once, on first use, and kept for the run.
const SaverLibrary& saverLibrary() {
    static const SaverLibrary library = [] {
        SaverLibrary loaded;
        void* handle = dlopen("libXss.so.1", RTLD_LAZY | RTLD_LOCAL);
        if (!handle)
            return loaded;
        // XFlush comes from libX11, which libXss pulls in.
        loaded.suspend =
            reinterpret_cast<decltype(&XScreenSaverSuspend)>(dlsym(handle, "XScreenSaverSuspend"));
        loaded.flush = reinterpret_cast<decltype(&XFlush)>(dlsym(handle, "XFlush"));
        return loaded;
    }();
    return library;
}

Display* x11Display() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}
} // namespace

void X11SaverSuspend::setSuspended(bool suspended) {
    if (suspended == suspended_)
        return;
    Display* display = x11Display();
    if (!display)
        return;
    const SaverLibrary& library = saverLibrary();
    if (!library.suspend || !library.flush)
        return;
    library.suspend(display, suspended ? True : False);
    // Qt talks to the server through xcb and may not flush Xlib's queue
    // for a long while.
    library.flush(display);
    suspended_ = suspended;
}
