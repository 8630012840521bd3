#include "ColourMeasures.h"

#include <algorithm>
#include <lcms2.h>

QImage swatches() {
    const QRgb colours[] = {qRgb(200, 40, 40),   qRgb(40, 160, 60),   qRgb(30, 60, 200),
                            qRgb(230, 190, 150), qRgb(128, 128, 128), qRgb(250, 230, 40),
                            qRgb(20, 20, 20),    qRgb(240, 240, 240)};
    QImage image(128, 64, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 128; ++x)
            image.setPixel(x, y, colours[(y / 16) * 4 + x / 32]);
    for (int y = 32; y < 64; ++y)
        for (int x = 0; x < 128; ++x)
            image.setPixel(x, y, qRgb(x * 2, (y - 32) * 8, 255 - x * 2));
    return image;
}

Difference difference(const QImage& a, const QImage& b) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_BGRA_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    Difference result;
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) {
            cmsCIELab one, two;
            cmsDoTransform(toLab, first.constScanLine(y) + 4 * x, &one, 1);
            cmsDoTransform(toLab, second.constScanLine(y) + 4 * x, &two, 1);
            const double e = cmsCIE2000DeltaE(&one, &two, 1, 1, 1);
            result.mean += e;
            result.max = std::max(result.max, e);
        }
    result.mean /= double(first.width()) * first.height();
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return result;
}
