#include "ui/PictureView.h"

#include "picture/PictureLoader.h"
#include "picture/raster/PictureFit.h"
#include "ui/Units.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <cmath>

PictureView::PictureView(QWidget* parent)
    : QWidget(parent)
    , backColor_(palette().color(QPalette::Window)) {
    setAccessibleName(QStringLiteral("Picture"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize PictureView::decodeBound() {
    QSize bound;
    // The player may be shown on any screen.
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens)
        bound = bound.expandedTo(screen->size() * screen->devicePixelRatio());
    return bound.isEmpty() ? QSize(3840, 2160) : bound;
}

QRect PictureView::shownArea() const {
    const QWidget* container = isWindow() ? nullptr : parentWidget();
    return container ? container->rect() : geometry();
}

QSize PictureView::deviceSize() const {
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

bool PictureView::LoadFile(const QString& path, QSize bound) {
    // Through the decode helpers, as the show decodes.
    std::optional<DecodedPicture> picture =
        PictureLoader::decodeNow(path, PictureTarget{bound, {}});
    if (!picture)
        return false;
    setPicture(std::move(*picture));
    return true;
}

void PictureView::setPicture(DecodedPicture picture) {
    image_ = std::move(picture.image);
    fullSize_ = picture.fullSize;
    pictureArea_ = QRect();
    scaled_ = QImage();
    update();
}

void PictureView::setPictureArea(QRect area) {
    // The player places its picture again at every move of its window: a
    // place it already has costs no repaint of a screen-sized picture.
    if (area == pictureArea_)
        return;
    pictureArea_ = area;
    update();
}

void PictureView::setBackColor(const QColor& color) {
    backColor_ = color;
    update();
}

QSize PictureView::Picture() const {
    if (fullSize_.isEmpty())
        return {};
    return QSize(static_cast<int>(pixelsToHimetric(fullSize_.width())),
                 static_cast<int>(pixelsToHimetric(fullSize_.height())));
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), backColor_);
        return;
    }
    // Fitted by the full size, so a picture is never drawn larger than it is,
    // and into the part of this view its window shows.
    const QRect area = pictureArea_.isValid()
                           ? pictureArea_
                           : shownPictureRect(fullSize_, geometry(), shownArea());
    // An opaque picture covers its area: the background goes only around
    // it, so a screen-sized picture is written to the screen once, not
    // twice.
    if (image_.hasAlphaChannel())
        painter.fillRect(rect(), backColor_);
    else
        for (const QRect& band : QRegion(rect()).subtracted(area))
            painter.fillRect(band, backColor_);
    const QSize devicePixels = (QSizeF(area.size()) * devicePixelRatioF()).toSize();
    if (devicePixels == image_.size()) {
        scaled_ = QImage();
        painter.drawImage(area, image_);
        return;
    }
    if (scaled_.size() != devicePixels)
        scaled_ = image_.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(area, scaled_);
}
