#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QWidget>

// The picture display component: loads a picture file and draws it centred,
// scaled down to fit with its proportions kept, never enlarged, on its
// background colour. Picture() reports the full picture's extent in
// HIMETRIC (1/100 mm at 96 dpi) even though only a screen-sized copy is kept.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // Makes path's picture the current one. On failure returns false and
    // keeps what was shown before.
    bool LoadFile(const QString& path);
    bool hasPicture() const { return !fullSize_.isEmpty(); }

    void setBackColor(const QColor& color);
    QColor backColor() const { return backColor_; }
    // Inert: kept for the callers that set it before each layout.
    void setProperty9(bool value) { property9_ = value; }

    // Extent in HIMETRIC: round(pixels x 2540 / 96); empty when no picture.
    QSize Picture() const;
    // The picture's full size in pixels as shown (EXIF orientation applied).
    QSize pictureSize() const { return fullSize_; }
    // The decoded copy, at most about the size of the screen.
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    QSize fullSize_;
    QColor backColor_;
    bool property9_ = false;
};

// HIMETRIC from pixels at 96 dots per inch.
long pixelsToHimetric(long pixels);
