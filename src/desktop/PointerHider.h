#pragma once

#include <QObject>
#include <QPointF>
#include <QTimer>
#include <chrono>

class QWidget;

// Hides the pointer over a window once the mouse has rested for a while,
// and shows it again at the first movement. The window's own cursor is
// the one hidden: other windows (dialogs, message boxes) keep theirs, and
// an application-wide override cursor, such as the hourglass of a long
// step, still shows above it.
//
// Thread: the event thread, like the window it watches.
class PointerHider : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds restTime{2000};

    // A child of window; the rest is counted from when the window shows.
    explicit PointerHider(QWidget& window, std::chrono::milliseconds rest = restTime);

    // Hides the pointer now, as when it has rested long enough.
    void hideNow();
    bool hidden() const { return hidden_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moved(QPointF globalPosition);

    QWidget& window_;
    QTimer rest_;
    bool hidden_ = false;
    // Qt sends moves of its own at an unchanged position (a widget moving
    // under the pointer); only a change counts as the user's.
    QPointF lastPosition_{-1e9, -1e9};
};
