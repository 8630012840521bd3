#include "player/SlideCaption.h"

#include "player/SlideFit.h"

QString slideCaption(const QString& path, const SlideLayout& layout, QSize fullSize,
                     const QString& direction) {
    const long shownWidth = layout.pixelWidth > 32767 ? fullSize.width() : layout.pixelWidth;
    const long shownHeight = layout.pixelHeight > 32767 ? fullSize.height() : layout.pixelHeight;
    return path + QLatin1Char(' ') + QString::number(shownWidth) + QLatin1Char('x') +
           QString::number(shownHeight) + QLatin1Char(' ') + direction;
}
