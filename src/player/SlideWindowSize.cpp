#include "player/SlideWindowSize.h"

#include "player/SlideFit.h"

bool SlideWindowSize::set(QSize frame, QSize client, qreal ratio) {
    const std::lock_guard lock(mutex_);
    if (frame == frame_ && client == client_ && ratio == ratio_)
        return false;
    frame_ = frame;
    client_ = client;
    ratio_ = ratio;
    return true;
}

QSize SlideWindowSize::deviceSize(QSize fullSize) const {
    QSize frame;
    QSize client;
    qreal ratio = 1;
    {
        const std::lock_guard lock(mutex_);
        frame = frame_;
        client = client_;
        ratio = ratio_;
    }
    return placeSlide(fullSize, frame, client, ratio).deviceSize;
}
