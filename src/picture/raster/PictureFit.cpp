#include "picture/raster/PictureFit.h"

#include <algorithm>

QSize shrinkToFit(QSize size, QSize box) {
    if (size.isEmpty() || (size.width() <= box.width() && size.height() <= box.height()))
        return size;
    const QSize fitted = size.scaled(box.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

QRect centredPictureRect(QSize picture, QSize area) {
    const QSize shown = shrinkToFit(picture, area);
    return QRect(QPoint((area.width() - shown.width()) / 2, (area.height() - shown.height()) / 2),
                 shown);
}

QRect shownPictureRect(QSize picture, QRect control, QRect visible) {
    const QRect shown = control & visible;
    if (shown.isEmpty())
        return centredPictureRect(picture, control.size());
    return centredPictureRect(picture, shown.size())
        .translated(shown.topLeft() - control.topLeft());
}
