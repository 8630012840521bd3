#pragma once

#include <QRgb>
#include <QtGlobal>
#include <vector>

// An opaque target row of the area average written straight from its
// source columns' sums, each target pixel from the three source columns it
// covers (its taps): the shrinker's hot loop when a camera picture is shrunk
// to a screen, once for every target pixel.
//
// The divide by the units every pixel covers is folded into the weights:
// each tap's weight times 2^shift / units, rounded up, in 32 bits, so a
// channel is three 32 x 32-bit multiplies and a shift, four channels at a
// time in SIMD lanes. Rounding every weight up keeps the fixed-point mean at
// or above the exact one (a mean of exactly a half still rounds up), over by
// less than the sum of the taps' sums / 2^shift, which the shift is chosen
// to keep under 1/256 of a level: the rounded mean is the exact one but for
// a mean that close below a half. Built once per shrinker, used by its
// thread.
class ScaledTapRow {
public:
    // The widest SIMD the processor has (AVX2 on x86-64 where there, else
    // SSE2), or the baseline, for tests to check against the widest; both
    // give the same pixels.
    enum class Simd { Widest, Baseline };

    // Target columns whose taps weigh at most maxWeight each, out of units;
    // a source column's sums are at most 255 x columnHeight.
    ScaledTapRow(int columns, quint64 maxWeight, quint64 units, quint64 columnHeight,
                 Simd simd = Simd::Widest);

    // False when no shift keeps the weights in 32 bits and the mean within
    // 1/256 of a level: not to be used. Never for a shrinker's taps: 2^shift
    // comes to about 2^32 x units / maxWeight, at least 2^31 x columnHeight
    // when maxWeight is the target's width and units the source's pixels,
    // far above the 3 x 255 x 256 x columnHeight the bound needs; the check
    // guards other callers.
    bool isValid() const { return shift_ > 0; }
    int shift() const { return shift_; }

    // Target column column reads source columns first to first + 2 by
    // weight (in units, at most maxWeight; 0 for a tap it does not cover).
    void setTap(int column, int first, const quint32 weight[3]);

    // Writes the row into out: sums holds blue, green, red and alpha per
    // source column, up to source column first + 2 for every tap's first
    // (read with no weight where the tap does not cover it); alpha is
    // ignored, the pixels written opaque.
    void write(const quint32* sums, QRgb* out) const;

private:
    struct Tap {
        quint32 weight[3];
        qint32 first;
    };
    std::vector<Tap> taps_;
    quint64 units_;
    int shift_ = 0;
    bool avx2_ = false;
};
