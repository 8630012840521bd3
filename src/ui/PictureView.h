#pragma once

#include "picture/DecodedPicture.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QWidget>

// The picture display component: loads a picture file and draws it centred,
// scaled down to fit with its proportions kept, never enlarged, on its
// background colour, in the part of its rectangle that its window shows. It keeps one copy of the
// picture no larger than the largest screen, while Picture() reports the full picture's extent in
// HIMETRIC (1/100 mm at 96 dpi).
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // Makes path's picture (JPEG, BMP or TIFF, told by content) the current
    // one. On failure returns false and keeps what was shown before.
    bool LoadFile(const QString& path) { return LoadFile(path, decodeBound()); }
    // The same, decoding no larger than bound.
    bool LoadFile(const QString& path, QSize bound);
    // This view's own size in device pixels: what it can show at most.
    QSize deviceSize() const;
    // The part of the container on view, in the container's coordinates:
    // the picture is drawn inside it even where this view reaches past it.
    QRect shownArea() const;
    // Shows a picture decoded elsewhere: drawn as given when its copy has
    // the size it is drawn at, else scaled at paint.
    void setPicture(DecodedPicture picture);
    // Where the current picture is drawn, in this view's pixels, as the
    // window that placed the view decided; without it (and after each new
    // picture) the picture is centred in the part of the view that shows.
    void setPictureArea(QRect area);

    void setBackColor(const QColor& color);
    QColor backColor() const { return backColor_; }

    // Extent in HIMETRIC: round(pixels x 2540 / 96); empty when no picture.
    QSize Picture() const;
    // The picture's full size in pixels as shown (EXIF orientation applied).
    QSize pictureSize() const { return fullSize_; }
    // The decoded copy, at most the size of the largest screen.
    const QImage& image() const { return image_; }

    // The size no decoded copy exceeds: the largest screen in device pixels.
    static QSize decodeBound();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    // image_ smoothly scaled to the size it was drawn at last, so repaints
    // do not rescale; never larger than the widget.
    QImage scaled_;
    QSize fullSize_;
    QRect pictureArea_;
    QColor backColor_;
};
