#pragma once

// The pictures of the formats beside JPEG, TIFF and BMP, made from
// camera-like pictures by the encoders Debian ships (heif-enc, avifenc,
// cwebp, ImageMagick's convert) into a cache folder and reused by later
// runs: three 12-megapixel HEICs, AVIFs and lossy WebPs and three
// 24-megapixel PNGs, each set of distinct pictures.

#include <QString>
#include <QStringList>
#include <vector>

struct FormatSet {
    // "HEIC 4000x3000" and the like.
    QString name;
    // "HEIC 12 MP", for the show's table.
    QString shortName;
    QStringList files;
};

struct FormatPictures {
    std::vector<FormatSet> sets;
    bool ok = false;
};

// The folder given, or the show pictures' cache folder's sibling "formats".
QString formatPictureFolder(const QString& given);

// Makes the missing pictures in folder and lists them all; an encoder that
// is missing or fails leaves ok false and says which. A file counts as made
// once it is complete under its final name.
FormatPictures ensureFormatPictures(const QString& folder);
