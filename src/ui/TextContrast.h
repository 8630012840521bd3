#pragma once

#include <QColor>

// The contrast ratio of two colours as the WCAG defines it: from 1 (the
// same luminance) to 21 (black on white).
double contrastRatio(const QColor& first, const QColor& second);

// The colour for text drawn on a fixed background: the desktop scheme's
// colour where it reads well there (a ratio of at least 4.5), otherwise
// black or white, whichever reads better. A dark scheme's light text on the
// about box's white would be invisible.
QColor readableTextColor(const QColor& scheme, const QColor& background);
