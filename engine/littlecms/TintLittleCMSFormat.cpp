#include "engine/littlecms/TintLittleCMSFormat.h"

#include "engine/TintException.h"

namespace {

constexpr cmsUInt32Number Format8(cmsUInt32Number lcmsSpace, cmsUInt32Number channels) {
    return COLORSPACE_SH(lcmsSpace) | CHANNELS_SH(channels) | BYTES_SH(1);
}

// Indexed by TintColorSpace; 8-bit formats. The 16-bit format of each is
// the same word with two bytes per sample, i.e. the 8-bit value + 1.
constexpr cmsUInt32Number kFormats8[] = {
    Format8(PT_XYZ, 3),   // XYZ
    Format8(PT_Lab, 3),   // Lab
    Format8(PT_RGB, 3),   // RGB
    Format8(PT_GRAY, 1),  // Gray
    Format8(PT_CMYK, 4),  // CMYK
    Format8(PT_MCH3, 3),  // 3CLR
    Format8(PT_MCH5, 5),  // 5CLR
    Format8(PT_MCH4, 4),  // 4CLR
    Format8(PT_MCH6, 6),  // 6CLR
    Format8(PT_MCH7, 7),  // 7CLR
    Format8(PT_MCH8, 8),  // 8CLR
};
constexpr unsigned int kFormatCount = sizeof(kFormats8) / sizeof(kFormats8[0]);

static_assert(Format8(PT_Lab, 3) + 1 == TYPE_Lab_16, "16-bit formats are the 8-bit ones + 1");
static_assert(Format8(PT_CMYK, 4) == TYPE_CMYK_8 && Format8(PT_MCH6, 6) == TYPE_CMYK6_8,
              "8-bit formats follow LittleCMS's own");

}  // namespace

cmsUInt32Number TintLittleCMSFormat(TintColorSpace space, int bitsPerSample) {
    if (bitsPerSample != 8 && bitsPerSample != 16) {
        throw TintException("bitsPerSample not 8 or 16");
    }
    if (space >= kFormatCount) {
        throw TintException("Error creating Link");
    }
    return bitsPerSample == 8 ? kFormats8[space] : kFormats8[space] + 1;
}

cmsUInt32Number TintLittleCMSIntent(TintRenderingIntent intent) {
    return intent <= TintRI_AbsoluteColorimetric ? static_cast<cmsUInt32Number>(intent) : 20;
}

cmsUInt32Number TintLittleCMSFlags(bool blackPointCompensation) {
    return blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0;
}
