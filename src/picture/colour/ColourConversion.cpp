#include "picture/colour/ColourConversion.h"

#include "picture/colour/InkGrid.h"
#include "picture/colour/MatrixShaper.h"
#include "picture/colour/PlainInks.h"

#include <QCryptographicHash>
#include <algorithm>
#include <array>
#include <lcms2.h>
#include <numeric>
#include <utility>
#include <vector>

namespace {
// Enough for the profiles of one folder of mixed cameras and scans; a CMYK
// transform's tables take about half a megabyte.
constexpr int cachedTransforms = 16;
constexpr cmsUInt32Number intent = INTENT_RELATIVE_COLORIMETRIC;
// Without the pixel cache a transform may run on several threads at once.
constexpr cmsUInt32Number flags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;

// QImage's 32-bit pixels as they lie in memory.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number pixelType = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number pixelType = TYPE_ARGB_8;
#endif

QByteArray displayProfileBytes;

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

Profile openProfile(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() > ColourConversion::maxProfileBytes)
        return nullptr;
    return Profile(cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size())));
}

// Profiles that describe pictures or screens; device links, abstract and
// named-colour profiles do not.
bool describesPixels(cmsHPROFILE profile) {
    switch (cmsGetDeviceClass(profile)) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigOutputClass:
    case cmsSigColorSpaceClass:
        return true;
    default:
        return false;
    }
}

// Whether convert leaves each of a grid of colours (from probe) within a
// level in every channel.
template <typename Convert, typename Probe> bool changesNothing(Convert convert, Probe probe) {
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 17) {
                const QRgb in = probe(r, g, b);
                const QRgb out = convert(in);
                if (qAbs(qRed(out) - qRed(in)) > 1 || qAbs(qGreen(out) - qGreen(in)) > 1 ||
                    qAbs(qBlue(out) - qBlue(in)) > 1)
                    return false;
            }
    return true;
}

void mixInksPlainly(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        auto* out = reinterpret_cast<QRgb*>(row);
        for (int x = 0; x < image.width(); ++x) {
            const uchar* s = row + 4 * x;
            out[x] = plainInkColour(s[0], s[1], s[2], s[3]);
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
}
} // namespace

struct ColourConversion::Transform {
    // For RGB and CMYK profiles.
    cmsHTRANSFORM handle = nullptr;
    // The same as handle for two simple RGB profiles, only faster.
    std::unique_ptr<const MatrixShaper> shaper;
    // handle's colours for inks, read from a grid of them.
    std::unique_ptr<const InkGrid> inkGrid;
    // For grey ones: each 8-bit level as the display's red, green and blue
    // of that grey, already in place in a pixel. Each channel goes through
    // its own table, so grey pixels come out exactly as lcms2 gives them.
    std::array<QRgb, 256> red{}, green{}, blue{};

    ~Transform() {
        if (handle)
            cmsDeleteTransform(handle);
    }

    // Whether it leaves every colour within a level of where it was, as an
    // embedded sRGB profile does on an sRGB screen: then it is not run.
    bool changesNothing = false;

    QRgb grey(QRgb p) const {
        return (p & 0xFF000000u) | red[qRed(p)] | green[qGreen(p)] | blue[qBlue(p)];
    }

    // Converts image, of the layout the transform was built for, in place.
    void convert(QImage& image, Layout layout) const {
        switch (layout) {
        case Layout::Opaque:
            for (int y = 0; y < image.height(); ++y)
                mapColours(rowOf(image, y), image.width());
            break;
        case Layout::Premultiplied:
            convertPremultiplied(image);
            break;
        case Layout::Inks:
            for (int y = 0; y < image.height(); ++y)
                mapInks(rowOf(image, y), image.width());
            image.reinterpretAsFormat(QImage::Format_RGB32);
            break;
        }
    }

private:
    static QRgb* rowOf(QImage& image, int y) { return reinterpret_cast<QRgb*>(image.scanLine(y)); }

    // The colours of a row in place, by whichever of the three ways the
    // transform has; the fourth byte (alpha) is left as it is.
    void mapColours(QRgb* row, int width) const {
        if (shaper) {
            shaper->map(row, width);
        } else if (handle) {
            cmsDoTransform(handle, row, row, cmsUInt32Number(width));
        } else {
            for (int x = 0; x < width; ++x)
                row[x] = grey(row[x]);
        }
    }

    // A row of inks into opaque colours, in place.
    void mapInks(QRgb* row, int width) const {
        if (inkGrid) {
            inkGrid->map(row, width);
            return;
        }
        // The fourth byte, the black ink, is left by lcms2.
        cmsDoTransform(handle, row, row, cmsUInt32Number(width));
        for (int x = 0; x < width; ++x)
            row[x] |= 0xFF000000u;
    }

    // lcms2 takes colours without alpha: premultiplied rows go through a
    // row undone, and alpha is copied across.
    void convertPremultiplied(QImage& image) const {
        const int width = image.width();
        std::vector<QRgb> straight(static_cast<size_t>(width));
        for (int y = 0; y < image.height(); ++y) {
            QRgb* row = rowOf(image, y);
            for (int x = 0; x < width; ++x)
                straight[size_t(x)] = qUnpremultiply(row[x]);
            mapColours(straight.data(), width);
            for (int x = 0; x < width; ++x)
                row[x] = qPremultiply(straight[size_t(x)]);
        }
    }
};

ColourConversion::Model ColourConversion::modelOf(const QByteArray& profile) {
    // The header is 128 bytes; the colour space's signature sits at 16.
    if (profile.size() < 128)
        return Model::None;
    const QByteArray space = profile.mid(16, 4);
    if (space == "RGB ")
        return Model::Rgb;
    if (space == "GRAY")
        return Model::Grey;
    if (space == "CMYK")
        return Model::Cmyk;
    return Model::None;
}

QByteArray ColourConversion::adobeRgbProfile() {
    static const QByteArray bytes = [] {
        // Its published primaries and white point (D65), and a pure power
        // curve of 563/256.
        const cmsCIExyY white{0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
        cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        const Profile profile(cmsCreateRGBProfile(&white, &primaries, curves));
        cmsFreeToneCurve(gamma);
        cmsUInt32Number size = 0;
        if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size))
            return QByteArray();
        QByteArray out(qsizetype(size), '\0');
        if (!cmsSaveProfileToMem(profile.get(), out.data(), &size))
            return QByteArray();
        return out;
    }();
    return bytes;
}

qint64 ColourConversion::workingBytes(const QByteArray& profile) {
    // lcms2 holds a profile's tables parsed, at most a few times its bytes,
    // and a transform's own tables, up to about a megabyte for CMYK.
    return profile.isEmpty() ? 0 : qint64(profile.size()) * 4 + (qint64(2) << 20);
}

void ColourConversion::setDisplayProfile(const QByteArray& profile) {
    displayProfileBytes = profile;
}

ColourConversion& ColourConversion::forDisplay() {
    static ColourConversion conversion(displayProfileBytes);
    return conversion;
}

ColourConversion::ColourConversion(const QByteArray& displayProfile) {
    // A profile the screens are described by must take colours in, as an
    // RGB device; anything else leaves the target at sRGB.
    const Profile profile =
        modelOf(displayProfile) == Model::Rgb ? openProfile(displayProfile) : nullptr;
    if (profile && cmsGetColorSpace(profile.get()) == cmsSigRgbData &&
        describesPixels(profile.get()) &&
        cmsIsIntentSupported(profile.get(), intent, LCMS_USED_AS_OUTPUT))
        target_ = displayProfile;
}

ColourConversion::~ColourConversion() = default;

bool ColourConversion::takesInks(const QByteArray& profile) {
    if (modelOf(profile) != Model::Cmyk)
        return false;
    // Whether lcms2 reads it as a picture's CMYK profile is enough here: the
    // transform, tens of milliseconds of tables, is built when the inks are
    // converted, and inks it cannot convert are mixed plainly then.
    const Profile in = openProfile(profile);
    return in && cmsGetColorSpace(in.get()) == cmsSigCmykData && describesPixels(in.get()) &&
           cmsIsIntentSupported(in.get(), intent, LCMS_USED_AS_INPUT);
}

std::shared_ptr<const ColourConversion::Transform>
ColourConversion::transformFor(const QByteArray& profile, Layout layout) {
    const QByteArray key =
        QCryptographicHash::hash(profile, QCryptographicHash::Sha1) + char(layout);
    const std::lock_guard lock(mutex_);
    const auto found = cache_.find(key);
    if (found != cache_.end()) {
        found->lastUse = ++uses_;
        return found->transform;
    }
    if (cache_.size() >= cachedTransforms) {
        auto oldest = cache_.begin();
        for (auto it = cache_.begin(); it != cache_.end(); ++it)
            if (it->lastUse < oldest->lastUse)
                oldest = it;
        cache_.erase(oldest);
    }
    // Built under the lock, so two threads meeting a new profile build its
    // transform once. Rejected profiles are remembered as well.
    std::shared_ptr<const Transform> transform = build(profile, layout);
    cache_.insert(key, Entry{transform, ++uses_});
    return transform;
}

std::shared_ptr<const ColourConversion::Transform>
ColourConversion::build(const QByteArray& profile, Layout layout) const {
    const Model model = modelOf(profile);
    if (model == Model::None || (layout == Layout::Inks) != (model == Model::Cmyk))
        return nullptr;
    const Profile in = openProfile(profile);
    const cmsColorSpaceSignature space = model == Model::Rgb    ? cmsSigRgbData
                                         : model == Model::Grey ? cmsSigGrayData
                                                                : cmsSigCmykData;
    if (!in || cmsGetColorSpace(in.get()) != space || !describesPixels(in.get()))
        return nullptr;
    const Profile out = target_.isEmpty() ? Profile(cmsCreate_sRGBProfile()) : openProfile(target_);
    if (!out)
        return nullptr;

    auto transform = std::make_shared<Transform>();
    if (model == Model::Grey) {
        cmsHTRANSFORM grey =
            cmsCreateTransform(in.get(), TYPE_GRAY_8, out.get(), TYPE_RGB_8, intent, flags);
        if (!grey)
            return nullptr;
        std::array<uchar, 256> levels;
        std::iota(levels.begin(), levels.end(), 0);
        std::array<uchar, 256 * 3> colours;
        cmsDoTransform(grey, levels.data(), colours.data(), 256);
        cmsDeleteTransform(grey);
        for (size_t v = 0; v < 256; ++v) {
            transform->red[v] = QRgb(colours[3 * v]) << 16;
            transform->green[v] = QRgb(colours[3 * v + 1]) << 8;
            transform->blue[v] = QRgb(colours[3 * v + 2]);
        }
        transform->changesNothing = changesNothing([&](QRgb p) { return transform->grey(p); },
                                                   [](int r, int, int) { return qRgb(r, r, r); });
        return transform;
    }
    // The inks' paper-left values are what lcms2 calls the reversed flavour.
    const cmsUInt32Number input = layout == Layout::Inks ? TYPE_CMYK_8_REV : pixelType;
    const cmsUInt32Number alpha = layout == Layout::Premultiplied ? cmsFLAGS_COPY_ALPHA : 0;
    transform->handle =
        cmsCreateTransform(in.get(), input, out.get(), pixelType, intent, flags | alpha);
    // Finding a CMYK profile's black point needs its way back from colours
    // to inks, which profiles made only for reading leave out.
    if (!transform->handle)
        transform->handle = cmsCreateTransform(in.get(), input, out.get(), pixelType, intent,
                                               (flags & ~cmsFLAGS_BLACKPOINTCOMPENSATION) | alpha);
    if (!transform->handle)
        return nullptr;
    if (layout == Layout::Inks) {
        transform->inkGrid = InkGrid::make([&](quint32* inks, int count) {
            cmsDoTransform(transform->handle, inks, inks, cmsUInt32Number(count));
        });
        return transform;
    }
    transform->shaper = MatrixShaper::make(in.get(), out.get(), transform->handle);
    transform->changesNothing = changesNothing(
        [&](QRgb p) {
            cmsDoTransform(transform->handle, &p, &p, 1);
            return p;
        },
        [](int r, int g, int b) { return qRgb(r, g, b); });
    return transform;
}

void ColourConversion::apply(DecodedPicture& picture) {
    QImage& image = picture.image;
    const QByteArray profile = std::exchange(picture.iccProfile, QByteArray());
    const QImage::Format format = image.format();
    // Only the formats decoders make are converted.
    if (format != inksFormat && format != QImage::Format_ARGB32_Premultiplied &&
        format != QImage::Format_RGB32)
        return;
    const Layout layout = format == inksFormat                            ? Layout::Inks
                          : format == QImage::Format_ARGB32_Premultiplied ? Layout::Premultiplied
                                                                          : Layout::Opaque;
    const std::shared_ptr<const Transform> transform =
        profile.isEmpty() ? nullptr : transformFor(profile, layout);
    if (!transform) {
        if (layout == Layout::Inks)
            mixInksPlainly(image);
        return;
    }
    if (!transform->changesNothing)
        transform->convert(image, layout);
}
