#pragma once

class QWidget;

// Moves a top-level window to the middle of the primary screen's work area.
void centreOnScreen(QWidget& window);

// Puts window on anchor's screen, its normal frame centred over anchor's,
// before it first shows. Setting the screen is enough where Qt tells the
// monitors apart; where it cannot (monitors that split one X screen, as
// xrandr --setmonitor makes them), the window manager still maximizes the
// window on the monitor it mostly covers. A Wayland compositor may place it
// as it likes.
void placeOver(QWidget& window, const QWidget& anchor);
