#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <vector>

// Shrinks an opaque picture fed to it row by row, top to bottom, into a
// target image: each target pixel is the average of the source area it
// covers, partly covered source pixels counted by the share they cover, as
// a smooth scaling does. Holds one target row of sums, so the picture is
// shrunk without ever being held whole. Pixels are 32-bit RGB; the target
// is opaque. Source sides are at most 65,535 pixels (as in a JPEG file).
class AreaShrinker {
public:
    // target: allocated at the shrunk size, no larger than source either way.
    AreaShrinker(QSize source, QImage& target);

    // Adds the next source row of source.width() pixels.
    void addRow(const QRgb* row);
    bool isComplete() const { return sourceRow_ == source_.height(); }

    // The working memory for shrinking into a target of the given size.
    static qint64 workingBytes(QSize target);
    // A whole opaque picture (RGB32) shrunk to size, in pages of its own
    // (largeImage); null when the memory is not there.
    static QImage shrunk(const QImage& picture, QSize size);

private:
    // The source columns target column c covers: first, and how many; the
    // shares of the first and last (the others count whole), in units
    // where a source pixel is the target's width.
    struct Span {
        int first;
        int count;
        quint32 firstShare;
        quint32 lastShare;
    };
    void addToRow(quint64 share);
    void finishRow();

    QSize source_;
    QImage& target_;
    std::vector<Span> spans_;
    // Per target column: blue, green, red of the current source row, then
    // summed over the target row's share of source rows.
    std::vector<quint32> rowSums_;
    std::vector<quint64> boxSums_;
    int sourceRow_ = 0;
    int targetRow_ = 0;
};
