#include "desktop/KeepScreenOn.h"

#include <QEvent>
#include <QWidget>

KeepScreenOn::KeepScreenOn(QWidget& window)
    : QObject(&window)
    , window_(window)
    , session_(QDBusConnection::sessionBus(), QStringLiteral("Playing a slide show")) {
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
