#pragma once

// What libjpeg-turbo itself takes to decode the show's pictures for a given
// drawn size: each file read and decoded in this process at the smallest
// eighth covering that size, into 32-bit rows as the program decodes them,
// one row at a time as djpeg does, with nothing after it (no picture held,
// no shrinking to the drawn size, no colour step, no helper process). The floor the program's own
// decode is held against.

#include <QSize>
#include <QStringList>

// The eighths libjpeg scales a picture of fullSize by to cover drawSize.
int coveringEighths(QSize fullSize, QSize drawSize);

// Decodes every file at eighths/8 with threads threads, each taking the
// next file, and returns the wall time in ms; negative when a decode fails.
double libjpegDecodeMs(const QStringList& files, int eighths, int threads);
