// COLOR records of TranslateColors as LittleCMS samples.
#pragma once

#include <lcms2.h>

#include <vector>

#include "host/win32_icm.h"

namespace rdz_win32 {

/// The LittleCMS format of the samples gathered from records of `type`,
/// and how many bytes one record gives. False for COLOR_NAMED and unknown
/// types.
bool LookUpRecordFormat(COLORTYPE type, cmsUInt32Number& format, unsigned int& bytesPerColor);

/// Gathers the channels of `count` records into `samples` (laid out as
/// LookUpRecordFormat says). Encodings of the records:
/// - GRAY, RGB, CMYK, the generic three channels: 0 to 0xFFFF over 0 to 1;
/// - XYZ: 0x8000 is 1.0 (X, Y, Z up to 1.99997);
/// - Yxy: handed to LittleCMS as its 16-bit Yxy samples;
/// - Lab: L 0 to 0xFFFF over 0 to 100, a and b 0 to 0xFFFF over -128 to
///   127.996;
/// - five to eight channels: one byte per channel, 0 to 255.
void GatherRecords(COLORTYPE type, const COLOR* colors, std::size_t count,
                   std::vector<BYTE>& samples);
/// Writes `count` records of `type` from `samples`; the rest of each record
/// is zero.
void ScatterRecords(COLORTYPE type, const std::vector<BYTE>& samples, std::size_t count,
                    COLOR* colors);

}  // namespace rdz_win32
