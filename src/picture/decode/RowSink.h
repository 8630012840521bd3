#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <memory>

class AreaShrinker;

// Where a decoder puts the rows it reads, top to bottom: straight into the
// target where it is the source's size, else into the one exact area
// average every picture is shrunk by (premultiplied where it has alpha).
// Belongs to the decoding thread.
class RowSink {
public:
    // target: allocated at the shown size, no larger than source; ARGB32
    // premultiplied when alpha, else RGB32.
    RowSink(QSize source, QImage& target);
    ~RowSink();
    RowSink(const RowSink&) = delete;
    RowSink& operator=(const RowSink&) = delete;

    // Adds the next source row of source.width() pixels, count times.
    void addRows(const QRgb* row, int count = 1);
    // The same for rows that are background but for pixels from to to
    // (row[x] is read only there), in the time of those pixels.
    void addSparseRows(const QRgb* row, int from, int to, QRgb background, int count = 1);
    bool isComplete() const { return row_ == source_.height(); }

    // The working memory for a target of the given size.
    static qint64 workingBytes(QSize target);

private:
    QSize source_;
    QImage& target_;
    std::unique_ptr<AreaShrinker> area_;
    int row_ = 0;
};
