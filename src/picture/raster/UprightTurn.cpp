#include "picture/raster/UprightTurn.h"

#include <QImage>

bool turnsSideways(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

QImage turnUpright(const QImage& stored, int orientation) {
    if (orientation < 2 || orientation > 8 || stored.isNull())
        return stored;
    const int w = stored.width();
    const int h = stored.height();
    QImage seen(turnsSideways(orientation) ? QSize(h, w) : QSize(w, h), stored.format());
    if (seen.isNull())
        return seen;
    const int right = seen.width() - 1;
    const int bottom = seen.height() - 1;
    // Where the stored pixel (x, y) is seen.
    const auto place = [&](int x, int y) -> QPoint {
        switch (orientation) {
        case 2:
            return {right - x, y};
        case 3:
            return {right - x, bottom - y};
        case 4:
            return {x, bottom - y};
        case 5:
            return {y, x};
        case 6:
            return {right - y, x};
        case 7:
            return {right - y, bottom - x};
        default:
            return {y, bottom - x};
        }
    };
    uchar* bits = seen.bits();
    const qsizetype stride = seen.bytesPerLine();
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(stored.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QPoint at = place(x, y);
            reinterpret_cast<QRgb*>(bits + at.y() * stride)[at.x()] = row[x];
        }
    }
    return seen;
}
