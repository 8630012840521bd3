#include "ui/PictureView.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QScreen>
#include <cmath>

long pixelsToHimetric(long pixels)
{
    return std::lround(static_cast<double>(pixels) * 2540.0 / 96.0);
}

PictureView::PictureView(QWidget* parent)
    : QWidget(parent)
    , backColor_(palette().color(QPalette::Window))
{
    setAccessibleName(QStringLiteral("Picture"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool PictureView::LoadFile(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid())
        return false;
    if (reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
        size.transpose();

    QSize bound(3840, 2160);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        bound = screen->size() * screen->devicePixelRatio();
    if (reader.supportsOption(QImageIOHandler::ScaledSize) &&
        (size.width() > bound.width() || size.height() > bound.height())) {
        QSize scaled = size.scaled(bound, Qt::KeepAspectRatio);
        if (reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
            scaled.transpose();
        reader.setScaledSize(scaled);
    }
    QImage image = reader.read();
    if (image.isNull())
        return false;
    if (image.width() > bound.width() || image.height() > bound.height())
        image = image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image_ = std::move(image);
    fullSize_ = size;
    update();
    return true;
}

void PictureView::setBackColor(const QColor& color)
{
    backColor_ = color;
    update();
}

QSize PictureView::Picture() const
{
    if (fullSize_.isEmpty())
        return {};
    return QSize(static_cast<int>(pixelsToHimetric(fullSize_.width())),
                 static_cast<int>(pixelsToHimetric(fullSize_.height())));
}

void PictureView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), backColor_);
    if (image_.isNull())
        return;
    QSize target = fullSize_;
    if (target.width() > width() || target.height() > height())
        target = target.scaled(size(), Qt::KeepAspectRatio);
    const QRect area(QPoint((width() - target.width()) / 2, (height() - target.height()) / 2),
                     target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area, image_);
}
