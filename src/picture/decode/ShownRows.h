#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <memory>

class AreaShrinker;

// Takes a decoded picture's rows, top to bottom, and shrinks them by the
// one exact area average into the picture shown, premultiplied where it has
// alpha. The one place the HEIF and JPEG XL decoders shrink. Belongs to the
// decoding thread.
class ShownRows {
public:
    // source: the decoded size; shown: no larger either way.
    ShownRows(QSize source, QSize shown, bool alpha);
    ~ShownRows();
    ShownRows(const ShownRows&) = delete;
    ShownRows& operator=(const ShownRows&) = delete;

    // False when the shown picture could not be allocated.
    bool isValid() const { return !image_.isNull(); }
    void addRow(const QRgb* row);
    bool isComplete() const;
    QImage take() { return std::move(image_); }

    // What shrinking into a picture of the shown size holds, picture included.
    static qint64 bytes(QSize shown);

private:
    QImage image_;
    std::unique_ptr<AreaShrinker> area_;
};
