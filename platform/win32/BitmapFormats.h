// Windows bitmap formats as LittleCMS pixel formats.
#pragma once

#include <lcms2.h>

#include "host/win32_icm.h"

namespace rdz_win32 {

struct BitmapLayout {
    cmsUInt32Number format;      // LittleCMS pixel format
    unsigned int bytesPerPixel;  // in memory, padding included
};

/// The memory layout of `format`. Windows names a format after a packed
/// little-endian value read from its high end, so the bytes come in the
/// reverse of the name: BM_RGBTRIPLETS is blue, green, red in memory,
/// BM_BGRTRIPLETS red, green, blue, BM_KYMCQUADS cyan, magenta, yellow,
/// black, BM_CMYKQUADS black first, BM_XYZTRIPLETS Z, Y, X, BM_LabTRIPLETS
/// b, a, L; the x of the quads is a padding byte that is left alone. The
/// five- to eight-channel formats and BM_GRAY keep their channels in order.
/// Only the 8-bit formats are provided; false for the others.
bool LookUpBitmapLayout(BMFORMAT format, BitmapLayout& layout);

}  // namespace rdz_win32
