#pragma once

#include <QSize>
#include <mutex>

// The player window's sizes as the pictures decoded ahead are fitted to
// them. The event thread sets them whenever the window changes size; a
// loader worker reads them when its decode is done, so a decode begun
// before the window took its size (opening maximizes it only after the load
// handler has asked for the first pictures) still comes out at the size it
// is drawn at. Shared by the player and its jobs, guarded by its own lock.
class SlideWindowSize {
public:
    // frame: the window's outer size, client: its client area, both in
    // pixels; ratio: device pixels per pixel. True when they replace other
    // sizes (not the first ones).
    bool set(QSize frame, QSize client, qreal ratio);
    // The size in device pixels a picture of fullSize is drawn at; empty
    // until the sizes are set, which leaves the decode bound's.
    QSize deviceSize(QSize fullSize) const;

private:
    mutable std::mutex mutex_;
    QSize frame_;
    QSize client_;
    qreal ratio_ = 1;
    bool known_ = false;
};
