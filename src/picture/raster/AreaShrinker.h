#pragma once

#include "picture/raster/ScaledTapRow.h"

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <optional>
#include <vector>

// Shrinks a picture fed to it row by row into a target image: each target
// pixel is the exact average of the source area it covers, every source
// pixel counted by the share of it the target pixel covers (what
// ImageMagick's -scale does). The one resampling rule for every decoder and
// for pictures shrunk whole, so a picture looks the same whichever path
// brought it to the screen. Holds one target row of sums, so the picture is
// shrunk without ever being held whole.
//
// Pixels are 32-bit with four 8-bit channels, each averaged alike: opaque
// RGB32 (the target written opaque), premultiplied ARGB32 (alpha averaged
// with the colours, so the averages stay premultiplied) or inks. Rows come
// top-down or bottom-up: the average is symmetric, so rows fed bottom-up
// land in the mirrored target rows with the same values a top-down feed
// gives. Source sides are at most 2^24 pixels.
class AreaShrinker {
public:
    enum class RowOrder { TopDown, BottomUp };

    // target: allocated at the shrunk size, no larger than source either way.
    // simd: the processor's widest SIMD, or the baseline for tests to check
    // against it; both give the same pixels.
    AreaShrinker(QSize source, QImage& target, RowOrder order = RowOrder::TopDown,
                 ScaledTapRow::Simd simd = ScaledTapRow::Simd::Widest);

    // Adds the next source row of source.width() pixels.
    void addRow(const QRgb* row) {
        if (columnsFirst_)
            addOpaqueRow(row);
        else
            addSparseRows(row, 0, source_.width(), 0, 1);
    }
    // Adds the same row count times, in the time of one row.
    void addRows(const QRgb* row, int count) { addSparseRows(row, 0, source_.width(), 0, count); }
    // The same for a row that is background but for pixels from to to
    // (row[x] is read only there), in the time of those pixels and the
    // target columns they fall in, plus one pass over the target width for
    // each target row finished: a run-length row with a few pixels drawn
    // costs those pixels.
    void addSparseRows(const QRgb* row, int from, int to, QRgb background, int count);
    bool isComplete() const { return sourceRow_ == source_.height(); }

    // The working memory for shrinking into a target of the given size.
    static qint64 workingBytes(QSize target);
    // A whole picture shrunk to size, in pages of its own (largeImage):
    // opaque formats to RGB32, the others to premultiplied ARGB32 (inks stay
    // inks); null when the memory is not there.
    static QImage shrunk(const QImage& picture, QSize size);

    // The source columns target column c covers: first, and how many; the
    // shares of the first and last (the others count whole), in units
    // where a source pixel is the target's width.
    struct Span {
        int first;
        int count;
        quint32 firstShare;
        quint32 lastShare;
    };

private:
    // addRow onto an opaque target less than twice narrower than the
    // source, the decoders' common case (a camera picture on a 4K screen).
    void addOpaqueRow(const QRgb* row);
    // Adds row to the source columns' sums, each channel times share, or,
    // the first row since they were used, sets them to it.
    void addToColumns(const QRgb* row, quint32 share);
    void finishRow();

    QSize source_;
    QImage& target_;
    RowOrder order_;
    bool opaque_;
    std::vector<Span> spans_;
    // Per target column: blue, green, red, alpha of the current source row
    // less the background's share, then summed over the target row's share
    // of source rows; the background's own sums over those rows are
    // backSums_.
    std::vector<qint64> rowSums_;
    std::vector<qint64> boxSums_;
    qint64 backSums_[4] = {};
    // The opaque rows' fast path sums a target row's source rows down each
    // source column first, four channels at a time in 32-bit lanes the
    // compiler vectorizes (a column's sum is at most 255 x h), and spreads
    // those sums over the target columns once, when the target row is
    // finished, rather than once for every source row: nearly all the work
    // is then a plain multiply and add per byte. Empty when not taken.
    bool columnsFirst_ = false;
    // Whether columnSums_ hold this target row's rows; else they hold
    // rows already used, to be written over.
    bool columnsAdded_ = false;
    // The column sums added eight channels at a time (AVX2), else sixteen
    // in 16-bit halves (SSE2).
    bool avx2_ = false;
    // Whether the general path added to this target row's boxSums_.
    bool boxAdded_ = false;
    std::vector<quint32> columnSums_;
    // A target column's source columns, at most three, by their shares.
    struct Taps {
        int first;
        quint32 weight[3];
    };
    std::vector<Taps> taps_;
    // The same taps with the mean folded in, for the rows made of the
    // columns' sums alone; empty when not taken.
    std::optional<ScaledTapRow> scaledTaps_;
    int sourceRow_ = 0;
    int targetRow_ = 0;
};
