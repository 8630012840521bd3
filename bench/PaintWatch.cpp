#include "PaintWatch.h"

#include <QEvent>
#include <QWidget>

PaintWatch::PaintWatch(QWidget* picture, QWidget* window)
    : picture_(picture)
    , window_(window) {
    picture_->installEventFilter(this);
}

PaintWatch::~PaintWatch() {
    picture_->removeEventFilter(this);
}

void PaintWatch::arm(const QElapsedTimer& clock) {
    clock_ = clock;
    caption_ = window_->windowTitle();
    paintedMs_ = -1;
}

bool PaintWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched != picture_ || event->type() != QEvent::Paint || painted() ||
        window_->windowTitle() == caption_)
        return false;
    // The widget paints here, inside the filter, so the time taken is that
    // of the finished drawing, smoothing of the scaled picture included.
    // QObject::event is public, and reaches the widget's own handler.
    static_cast<QObject*>(picture_)->event(event);
    paintedMs_ = clock_.nsecsElapsed() / 1e6;
    if (onPainted)
        onPainted();
    return true;
}
