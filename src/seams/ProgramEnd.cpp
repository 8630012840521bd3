#include "seams/ProgramEnd.h"

#include <QApplication>
#include <QWidget>

void QuitEventLoop::endNow() {
    // Hide first so every window vanishes now, not when the event loop has
    // unwound; hiding runs no close handlers, so nothing gets stored.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->hide();
    QCoreApplication::exit(0);
}
