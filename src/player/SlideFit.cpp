#include "player/SlideFit.h"

#include "picture/raster/PictureFit.h"
#include "ui/Units.h"

#include <cmath>

namespace {
// std::nearbyint rounds in the current rounding mode, which the program
// never changes from round-to-nearest-even.
long roundHalfEven(double value) {
    return static_cast<long>(std::nearbyint(value));
}
} // namespace

SlideLayout fitSlide(long pictureWidth, long pictureHeight, float windowWidth, float windowHeight) {
    SlideLayout layout;
    const long wholeWidth = roundHalfEven(windowWidth);
    const long wholeHeight = roundHalfEven(windowHeight);
    layout.pixelWidth = roundHalfEven(static_cast<double>(pictureWidth) / 26.458);
    layout.pixelHeight = roundHalfEven(static_cast<double>(pictureHeight) / 26.458);

    if (pictureWidth > wholeWidth || pictureHeight > wholeHeight) {
        layout.fill = true;
        layout.width = windowWidth;
        layout.height = windowHeight - 100.0f;
        layout.left = 0;
        layout.top = 100;
        return layout;
    }
    layout.width = static_cast<float>(pictureWidth);
    layout.height = static_cast<float>(pictureHeight);
    // The 100 twips make room for the band the fill layout leaves at the top.
    layout.left =
        static_cast<float>((static_cast<double>(windowWidth) + 100.0 - pictureWidth) / 2.0);
    layout.top =
        static_cast<float>((static_cast<double>(windowHeight) + 100.0 - pictureHeight) / 2.0);
    return layout;
}

SlidePlacement placeSlide(QSize fullSize, QSize frame, QSize client, qreal ratio) {
    SlidePlacement placement;
    placement.layout =
        fitSlide(pixelsToHimetric(fullSize.width()), pixelsToHimetric(fullSize.height()),
                 static_cast<float>(pixelsToTwips(frame.width())),
                 static_cast<float>(pixelsToTwips(frame.height())));
    const SlideLayout& layout = placement.layout;
    placement.control = twipsRect(layout.left, layout.top, layout.width, layout.height);
    placement.picture = shownPictureRect(fullSize, placement.control, QRect(QPoint(0, 0), client));
    placement.deviceSize = (QSizeF(placement.picture.size()) * ratio).toSize();
    return placement;
}
