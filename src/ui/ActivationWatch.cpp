#include "ui/ActivationWatch.h"

#include <QApplication>
#include <QWidget>

bool ActivationWatch::activated() {
    const bool counts = counts_;
    counts_ = false;
    return counts;
}

bool isProgramWindow(const QWindow* window) {
    if (!window)
        return false;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* widget : windows) {
        if (widget->windowHandle() == window)
            return true;
    }
    return false;
}
