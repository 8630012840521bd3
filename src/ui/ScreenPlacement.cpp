#include "ui/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void centreOnScreen(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

void placeOver(QWidget& window, const QWidget& anchor) {
    // Moving a window that has not shown yet drops its maximized state.
    const Qt::WindowStates state = window.windowState();
    window.setScreen(anchor.screen());
    QRect frame(QPoint(), window.size());
    frame.moveCenter(anchor.frameGeometry().center());
    window.move(frame.topLeft());
    window.setWindowState(state);
}
