#include "picture/decode/CodedColours.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {
// The nits of diffuse white (ITU-R BT.2408) and the peak mastered for.
constexpr double whiteNits = 203;
constexpr double peakNits = 1000;
// Below this share of white, light is shown as it is.
constexpr double knee = 0.75;

double pqToNits(double e) {
    const double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096,
                 c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(std::clamp(e, 0.0, 1.0), 1 / m2);
    return 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

double hlgToNits(double e) {
    const double a = 0.17883277, b = 0.28466892, c = 0.55991073;
    e = std::clamp(e, 0.0, 1.0);
    const double scene = e <= 0.5 ? e * e / 3 : (std::exp((e - c) / a) + b) / 12;
    return peakNits * std::pow(scene, 1.2);
}

// Light as a share of white, rolled off into 0-1.
double rolledOff(double light) {
    if (light <= knee)
        return light;
    const double room = 1 - knee;
    const double y = (light - knee) / room;
    const double top = (peakNits / whiteNits - knee) / room;
    return std::min(1.0, knee + room * y * (1 + y / (top * top)) / (1 + y));
}

double srgbEncoded(double linear) {
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

struct ProfileFree {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct CurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
} // namespace

bool CodedColours::isSrgb() const {
    const double reference[8] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
    for (int i = 0; i < 8; ++i)
        if (std::abs(primaries[i] - reference[i]) > 0.001)
            return false;
    return transfer == srgb || transfer == unspecified;
}

QByteArray CodedColours::iccProfile() const {
    if (isSrgb())
        return {};
    // Parametric curves of lcms2's type 4: Y = (aX + b)^g above d, cX below.
    cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    switch (transfer) {
    case bt709:
    case bt601:
    case bt2020Ten:
    case bt2020Twelve:
        params[0] = 1 / 0.45;
        params[1] = 1 / 1.099;
        params[2] = 0.099 / 1.099;
        params[3] = 1 / 4.5;
        params[4] = 0.081;
        break;
    case gamma22:
    case gamma28:
    case linear:
        params[0] = transfer == gamma22 ? 2.2 : transfer == gamma28 ? 2.8 : 1.0;
        params[1] = 1;
        params[2] = 0;
        params[3] = 0;
        params[4] = 0;
        break;
    default:
        break;
    }
    const std::unique_ptr<cmsToneCurve, CurveFree> curve(
        cmsBuildParametricToneCurve(nullptr, 4, params));
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const cmsCIExyY white = {primaries[6], primaries[7], 1};
    const cmsCIExyYTRIPLE rgb = {{primaries[0], primaries[1], 1},
                                 {primaries[2], primaries[3], 1},
                                 {primaries[4], primaries[5], 1}};
    const std::unique_ptr<void, ProfileFree> profile(cmsCreateRGBProfile(&white, &rgb, curves));
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0)
        return {};
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size))
        return {};
    return bytes;
}

std::vector<uchar> CodedColours::hdrTable(int bits) const {
    const int top = (1 << bits) - 1;
    std::vector<uchar> table(size_t(top) + 1);
    for (int v = 0; v <= top; ++v) {
        const double e = double(v) / top;
        double out = e;
        if (isHdr()) {
            const double nits = transfer == pq ? pqToNits(e) : hlgToNits(e);
            out = srgbEncoded(rolledOff(nits / whiteNits));
        }
        table[size_t(v)] = uchar(std::lround(std::clamp(out, 0.0, 1.0) * 255));
    }
    return table;
}
