#pragma once

#include <QImage>
#include <QSize>

// A screen-sized picture's pixels, mapped straight from the system rather
// than taken from the heap: they go back to the system the moment the last
// copy of the image goes, so the resident size follows the pictures alive
// instead of the heap's high-water mark of every thread that decoded one,
// and they are mapped in large pages where the system offers them, which
// takes a fraction of the page faults. Null when the memory is not there.
// Any thread may call it.
QImage largeImage(QSize size, QImage::Format format);
