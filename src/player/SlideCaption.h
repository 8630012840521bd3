#pragma once

#include <QSize>
#include <QString>

struct SlideLayout;

// The player's caption: the path, the picture's size in pixels and the
// direction. The size is the layout's HIMETRIC / 26.458, which drifts from
// the true size past about 38,000 pixels; beyond the old 16-bit range the
// decoder's own count (fullSize) is taken instead.
QString slideCaption(const QString& path, const SlideLayout& layout, QSize fullSize,
                     const QString& direction);
