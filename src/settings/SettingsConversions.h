#pragma once

#include <QString>
#include <QVariant>

// How the readers of the stored texts turn them into numbers.

// The player's display time in units of 600 ms. Only 1..54 keep the
// interval (value x 600 ms) inside a signed 16-bit product; anything else,
// and any text that is not a whole number, gives 1.
int playerSecondsFromText(const QString& text);

// The options slider position (1..30) from the stored "TimerSecs": a value
// outside the range shows at the nearer bound, a text that is not a number at 1.
int sliderPositionFromText(const QString& text);

// The remember-location flag holds either text (as read from the store) or a
// number (as the options dialog sets it). It is on only when it is
// numerically 1.
bool isSavePathOn(const QVariant& intSavePath);

// The number a value begins with, 0 when it begins with none ("1abc" -> 1,
// "" -> 0), as the options dialog reads the flag for its check box.
long leadingNumber(const QVariant& value);
