#pragma once

#include <QList>
#include <optional>

class QImage;
class QIODevice;

// The turns and mirrorings a HEIF or AVIF file's primary picture carries
// (its irot and imir properties), read from the file's boxes for the
// decoder to apply itself: libheif 1.15 mirrors only pictures of 8 bits a
// sample and refuses deeper ones, which it still decodes untransformed.
struct HeifTransform {
    enum class Kind { Turn, Mirror };
    Kind kind;
    // Turn: quarter turns anticlockwise, 0-3. Mirror: the axis as libheif
    // reads it, 0 swapping top and bottom, 1 left and right.
    int value;

    bool operator==(const HeifTransform&) const = default;
};

// The primary item's transformations in the order the file lists them,
// which is the order they apply in. Nothing when the boxes cannot be read,
// are implausibly large, or the picture is also cropped (clap), which this
// does not do. Reads from the device's start, leaving its position
// anywhere.
std::optional<QList<HeifTransform>> heifTransformsOf(QIODevice& device);

// The picture with the transformations applied, exactly (whole quarter
// turns and mirrorings only move pixels).
QImage transformed(const QImage& picture, const QList<HeifTransform>& transforms);
