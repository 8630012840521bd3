#include "desktop/KeepScreenOn.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QWidget>

namespace {
// The session's bus where the session runs one: named in the environment,
// or at its usual place in the runtime folder. Without either, asking Qt
// for the session bus would have libdbus start a bus of its own (X11
// autolaunch), with no service on it to answer.
QDBusConnection sessionBusIfAny() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")))))
        return QDBusConnection(QStringLiteral("no session bus"));
    return QDBusConnection::sessionBus();
}
} // namespace

KeepScreenOn::KeepScreenOn(QWidget& window)
    : QObject(&window)
    , window_(window)
    , session_(sessionBusIfAny(), QStringLiteral("Playing a slide show")) {
    window.installEventFilter(this);
}

bool KeepScreenOn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            follow();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void KeepScreenOn::follow() {
    const bool watched = window_.isVisible() && !window_.isMinimized();
    session_.setWanted(watched);
    x11_.setSuspended(watched);
}
