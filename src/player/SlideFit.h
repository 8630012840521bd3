#pragma once

#include <QRect>
#include <QSize>

// Where the player puts a picture: the picture's extent in HIMETRIC is
// compared with the window's outer size in twips number for number, and
// used as the picture control's size in twips. A picture that fits the
// window is centred; one that is wider or higher fills the window below a
// 100-twip band. The pixel size for the caption is HIMETRIC / 26.458.
struct SlideLayout {
    bool fill = false;
    // Twips, single precision as the window keeps control geometry; the
    // centre layout's half twips are kept.
    float width = 0;
    float height = 0;
    float left = 0;
    float top = 0;
    // Pixels for the caption. Not limited to 16 bits: pictures wider or
    // higher than 32,767 pixels are captioned with their true size.
    long pixelWidth = 0;
    long pixelHeight = 0;
};

// pictureWidth, pictureHeight: the extent in HIMETRIC. windowWidth,
// windowHeight: the window's outer size in twips, title bar and border
// included. Halves round to the even neighbour, both for the whole-twip
// window size used in the comparison and for the pixel size.
SlideLayout fitSlide(long pictureWidth, long pictureHeight, float windowWidth, float windowHeight);

// Where the player shows a picture in its window: the step, the pictures
// prepared ahead and the view all take it from here, so a prepared copy has
// exactly the size it is drawn at. The control is placed by fitSlide from
// the window's outer size; the picture is drawn shrunk into the part of the
// control that the client area shows, and centred there.
struct SlidePlacement {
    SlideLayout layout;
    // The control in the client area, pixels.
    QRect control;
    // Where the picture is drawn, in the control's own pixels.
    QRect picture;
    // The drawn size in device pixels: the size a copy is prepared at.
    QSize deviceSize;
};

// fullSize: the picture's size in pixels, upright. frame: the window's
// outer size, client: its client area, both in pixels; ratio: device
// pixels per pixel.
SlidePlacement placeSlide(QSize fullSize, QSize frame, QSize client, qreal ratio);
