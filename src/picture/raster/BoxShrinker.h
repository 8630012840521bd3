#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <vector>

// Shrinks a picture fed to it row by row, top to bottom, into a target
// image by averaging every source pixel into the target pixel it falls in
// (source column x lands in target column x * tw / w, rows alike). Holds
// only one target row of sums, so a picture of any height shrinks in the
// memory of its result. Pixels are 32-bit ARGB; with alpha they must be
// premultiplied, so that the averages are too.
class BoxShrinker {
public:
    // target: allocated at the shrunk size, no larger than source.
    BoxShrinker(QSize source, QImage& target);

    // Adds the next source row of source.width() pixels.
    void addRow(const QRgb* row) { addRows(row, 1); }
    // Adds the same row count times, in the time of one row for each
    // target row it reaches.
    void addRows(const QRgb* row, int count) { addSparseRows(row, 0, source_.width(), 0, count); }
    // The same for a row that is background but for pixels from to to
    // (row[x] is read only there), in the time of those pixels and the
    // columns they fall in.
    void addSparseRows(const QRgb* row, int from, int to, QRgb background, int count);
    bool isComplete() const { return sourceRow_ == source_.height(); }

    // The working memory for shrinking into a target of the given size.
    static qint64 workingBytes(QSize target);

private:
    void finishRow();
    int rowEnd(int targetRow) const;

    QSize source_;
    QImage& target_;
    std::vector<int> columnEnd_;
    // Per target column: blue, green, red, alpha, less the background's
    // share; the background's own sums over the box's rows are backSums_.
    std::vector<qint64> rowSums_;
    std::vector<qint64> boxSums_;
    qint64 backSums_[4] = {};
    int sourceRow_ = 0;
    int rowsInBox_ = 0;
    int targetRow_ = 0;
    // The source row that starts the next target row.
    int boxEnd_ = 0;
};
