#pragma once

class QWidget;

// Moves a top-level window to the middle of the primary screen's work area.
void centreOnScreen(QWidget& window);
