#include "desktop/PointerHider.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

PointerHider::PointerHider(QWidget& window, std::chrono::milliseconds rest)
    : QObject(&window)
    , window_(window) {
    rest_.setSingleShot(true);
    rest_.setInterval(rest);
    connect(&rest_, &QTimer::timeout, this, &PointerHider::hideNow);
    // The moves come to the window's QWindow, which exists only once the
    // window shows, and over a child without mouse tracking they reach no
    // widget's filter: the application's sees them all.
    QCoreApplication::instance()->installEventFilter(this);
}

void PointerHider::hideNow() {
    rest_.stop();
    if (hidden_)
        return;
    hidden_ = true;
    window_.setCursor(Qt::BlankCursor);
}

bool PointerHider::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        if (watched == &window_)
            rest_.start();
        break;
    case QEvent::Hide:
        if (watched == &window_)
            rest_.stop();
        break;
    case QEvent::MouseMove:
        if (watched == window_.windowHandle())
            moved(static_cast<QMouseEvent*>(event)->globalPosition());
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void PointerHider::moved(QPointF globalPosition) {
    if (globalPosition == lastPosition_)
        return;
    lastPosition_ = globalPosition;
    if (hidden_) {
        hidden_ = false;
        window_.unsetCursor();
    }
    rest_.start();
}
