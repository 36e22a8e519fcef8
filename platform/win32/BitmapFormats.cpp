#include "platform/win32/BitmapFormats.h"

namespace rdz_win32 {

namespace {

constexpr cmsUInt32Number Bytes8(cmsUInt32Number space, cmsUInt32Number channels) {
    return COLORSPACE_SH(space) | CHANNELS_SH(channels) | BYTES_SH(1);
}

// Channels stored last to first.
constexpr cmsUInt32Number Reversed(cmsUInt32Number format) {
    return format | DOSWAP_SH(1);
}

// Channels stored last to first, after a leading padding byte.
constexpr cmsUInt32Number ReversedAfterPadding(cmsUInt32Number format) {
    return format | EXTRA_SH(1) | DOSWAP_SH(1) | SWAPFIRST_SH(1);
}

struct Entry {
    BMFORMAT format;
    BitmapLayout layout;
};

constexpr Entry kEntries[] = {
    {BM_RGBTRIPLETS, {Reversed(Bytes8(PT_RGB, 3)), 3}},
    {BM_BGRTRIPLETS, {Bytes8(PT_RGB, 3), 3}},
    {BM_xRGBQUADS, {ReversedAfterPadding(Bytes8(PT_RGB, 3)), 4}},
    {BM_xBGRQUADS, {Bytes8(PT_RGB, 3) | EXTRA_SH(1), 4}},
    {BM_CMYKQUADS, {Reversed(Bytes8(PT_CMYK, 4)), 4}},
    {BM_KYMCQUADS, {Bytes8(PT_CMYK, 4), 4}},
    {BM_XYZTRIPLETS, {Reversed(Bytes8(PT_XYZ, 3)), 3}},
    {BM_YxyTRIPLETS, {Reversed(Bytes8(PT_Yxy, 3)), 3}},
    {BM_LabTRIPLETS, {Reversed(Bytes8(PT_Lab, 3)), 3}},
    {BM_G3CHTRIPLETS, {Reversed(Bytes8(PT_MCH3, 3)), 3}},
    {BM_xG3CHQUADS, {ReversedAfterPadding(Bytes8(PT_MCH3, 3)), 4}},
    {BM_5CHANNEL, {Bytes8(PT_MCH5, 5), 5}},
    {BM_6CHANNEL, {Bytes8(PT_MCH6, 6), 6}},
    {BM_7CHANNEL, {Bytes8(PT_MCH7, 7), 7}},
    {BM_8CHANNEL, {Bytes8(PT_MCH8, 8), 8}},
    {BM_GRAY, {Bytes8(PT_GRAY, 1), 1}},
};

static_assert(Bytes8(PT_RGB, 3) == TYPE_RGB_8 && Reversed(Bytes8(PT_RGB, 3)) == TYPE_BGR_8,
              "RGB layouts follow LittleCMS's own");
static_assert(ReversedAfterPadding(Bytes8(PT_RGB, 3)) == TYPE_BGRA_8 &&
                  (Bytes8(PT_RGB, 3) | EXTRA_SH(1)) == TYPE_RGBA_8,
              "quad layouts follow LittleCMS's own");
static_assert(Reversed(Bytes8(PT_CMYK, 4)) == TYPE_KYMC_8, "KYMC in memory");

}  // namespace

bool LookUpBitmapLayout(BMFORMAT format, BitmapLayout& layout) {
    for (const Entry& entry : kEntries) {
        if (entry.format == format) {
            layout = entry.layout;
            return true;
        }
    }
    return false;
}

}  // namespace rdz_win32
