#include "player/SlideWindowSize.h"

#include "player/SlideFit.h"

bool SlideWindowSize::set(QSize frame, QSize client, qreal ratio) {
    const std::lock_guard lock(mutex_);
    if (known_ && frame == frame_ && client == client_ && ratio == ratio_)
        return false;
    const bool replaced = known_;
    frame_ = frame;
    client_ = client;
    ratio_ = ratio;
    known_ = true;
    return replaced;
}

QSize SlideWindowSize::deviceSize(QSize fullSize) const {
    QSize frame;
    QSize client;
    qreal ratio = 1;
    {
        const std::lock_guard lock(mutex_);
        if (!known_)
            return {};
        frame = frame_;
        client = client_;
        ratio = ratio_;
    }
    return placeSlide(fullSize, frame, client, ratio).deviceSize;
}
