#pragma once

#include "picture/DecodedPicture.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QtGlobal>
#include <memory>
#include <mutex>

// Turns a decoded picture's colours from the ICC profile embedded in its
// file into the screen's: sRGB, or the monitor's own profile where the
// desktop publishes one. lcms2 converts with the relative colorimetric
// intent and black-point compensation, as its own tools do; between two
// RGB profiles of the simple kind it builds a MatrixShaper that gives the
// same colours several times faster. It runs after
// the decoder has shrunk the picture to the size it is shown at, so its cost
// follows screen pixels, not camera pixels. A picture without a profile, or
// with one lcms2 rejects or of another colour model than its pixels, stays
// as decoded.
//
// Decoders hand over the profile bytes they found, only where the profile's
// colour model is their pixels' (modelOf). A CMYK picture whose profile
// takesInks() keeps its inks through decoding and shrinking (inksFormat),
// so that its profile, not plain arithmetic, turns them into colours.
//
// Threads: any decoding thread calls apply() and takesInks(). The transforms
// are built once per distinct profile (by a hash of its bytes and the pixel
// layout) and kept in a small cache under this object's lock; lcms2
// transforms made without their pixel cache run on several threads at once.
// The process-wide object is made on first use from the profile main set
// before any picture was decoded, and never changes afterwards.
class ColourConversion {
public:
    enum class Model { None, Rgb, Grey, Cmyk };

    // Real profiles are a few KB to a few hundred; larger ones are ignored,
    // so that a file cannot make the decoder parse megabytes of tables.
    static constexpr qsizetype maxProfileBytes = qsizetype(4) << 20;
    // CMYK pictures travel as their inks in this format: the bytes C, M, Y,
    // K of each pixel in that order, each stored as the paper left white
    // (255 - ink, as Adobe's CMYK JPEGs store them). Qt's smooth scaling and
    // the area shrinker average them channel by channel like any other
    // premultiplied picture, and no decoder makes this format otherwise.
    static constexpr QImage::Format inksFormat = QImage::Format_RGBA8888_Premultiplied;

    // The colour model a profile's header names, without parsing the rest.
    static Model modelOf(const QByteArray& profile);
    // Adobe RGB (1998), for camera files that say so only in their EXIF.
    static QByteArray adobeRgbProfile();
    // What converting a picture with this profile holds beyond the picture:
    // the parsed profile and the transform's tables.
    static qint64 workingBytes(const QByteArray& profile);

    // The monitor's profile for the process-wide object, or empty for sRGB.
    // Called once by main before any picture is decoded.
    static void setDisplayProfile(const QByteArray& profile);
    static ColourConversion& forDisplay();

    // displayProfile: the target, or empty (or unusable) for sRGB.
    explicit ColourConversion(const QByteArray& displayProfile = {});
    ~ColourConversion();
    ColourConversion(const ColourConversion&) = delete;
    ColourConversion& operator=(const ColourConversion&) = delete;

    // Whether the target is the display profile given rather than sRGB.
    bool hasDisplayProfile() const { return !target_.isEmpty(); }
    // Whether inks described by this CMYK profile can be converted, so a
    // decoder keeps them instead of mixing colours from them plainly.
    bool takesInks(const QByteArray& profile);
    // Converts picture's colours in place from its profile, which it then
    // empties: the pixels are the display's afterwards. Inks whose profile
    // is empty or unusable are mixed into colours plainly (PlainInks.h), as
    // a CMYK picture without profile is.
    void apply(DecodedPicture& picture);

private:
    struct Transform;
    enum class Layout : char { Opaque = 'o', Premultiplied = 'p', Inks = 'i' };
    std::shared_ptr<const Transform> transformFor(const QByteArray& profile, Layout layout);
    std::shared_ptr<const Transform> build(const QByteArray& profile, Layout layout) const;

    QByteArray target_;
    std::mutex mutex_;
    // Guarded by mutex_: transforms by profile hash and layout, with the
    // use count at their last use; null for profiles lcms2 rejected.
    struct Entry {
        std::shared_ptr<const Transform> transform;
        quint64 lastUse = 0;
    };
    QHash<QByteArray, Entry> cache_;
    quint64 uses_ = 0;
};
