#include "input/KeyPreview.h"

#include "input/KeyCodes.h"

#include <QKeyEvent>
#include <QWidget>

KeyPreview::KeyPreview(QWidget& window, Handler handler, Then then)
    : QObject(&window)
    , handler_(std::move(handler))
    , then_(then) {
    window.installEventFilter(this);
    const QList<QWidget*> children = window.findChildren<QWidget*>();
    for (QWidget* child : children)
        child->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        previewedKey_ = nullptr;
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    // The same press handed on from a control to its parent. A new press may
    // reuse the address of the last one (QTest builds them on the stack), but
    // it starts again at a control, never above where the last one went.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event == previewedKey_ && previewedAt_ && widget && widget != previewedAt_ &&
        widget->isAncestorOf(qobject_cast<QWidget*>(previewedAt_.data()))) {
        previewedAt_ = watched;
        return false;
    }
    previewedKey_ = event;
    previewedAt_ = watched;
    const auto* key = static_cast<const QKeyEvent*>(event);
    handler_(virtualKeyCode(*key), shiftState(*key));
    return then_ == Then::Consume;
}
