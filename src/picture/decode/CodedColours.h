#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <vector>

// Colours described by code points (ITU-T H.273, as HEIF's and AVIF's nclx
// boxes carry them) rather than by an ICC profile: the primaries' and
// white's chromaticities and a transfer code. The colour step works from
// ICC profiles, so these become one, made with lcms2.
struct CodedColours {
    // x, y of red, green, blue and white.
    double primaries[8] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
    int transfer = 13;

    // Transfer codes.
    static constexpr int bt709 = 1, unspecified = 2, gamma22 = 4, gamma28 = 5, bt601 = 6,
                         linear = 8, srgb = 13, bt2020Ten = 14, bt2020Twelve = 15, pq = 16,
                         hlg = 18;

    // Whether the samples are high dynamic range (PQ or HLG), which the
    // display cannot show as they are: they go through hdrTable first.
    bool isHdr() const { return transfer == pq || transfer == hlg; }
    // Whether the colours are sRGB's, so that no profile is needed.
    bool isSrgb() const;
    // An ICC profile of these primaries and transfer, empty for sRGB. HDR
    // samples are described as hdrTable leaves them: sRGB-encoded in the
    // file's primaries.
    QByteArray iccProfile() const;

    // Turns samples of the given bit depth (0 to 2^bits - 1) into 8 bits:
    // scaled for standard range, and tone mapped for PQ and HLG: each
    // channel to light in nits (HLG through its reference display's 1000-nit
    // system gamma, per channel), scaled so that 203 nits is the display's
    // white, kept as it is below 75 % of white and rolled off above it by an
    // extended Reinhard curve that reaches white at 1000 nits, then encoded
    // with the sRGB curve.
    std::vector<uchar> hdrTable(int bits) const;
};
