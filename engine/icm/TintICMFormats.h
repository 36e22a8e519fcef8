// How the Windows colour engine hands pixels and colour values to the
// colour system, per colour space.
#pragma once

#include "engine/TintColorSpace.h"
#include "host/win32_icm.h"

/// The bitmap format of 8-bit pixels of `space`, and whether bytes 0 and 2
/// of each pixel are exchanged to and from it (XYZ and Lab, which the
/// colour system holds last channel first). False for spaces without a
/// format: the three- and four-colour spaces and unknown ones.
bool TintICMBitmapFormat(TintColorSpace space, BMFORMAT& format, bool& exchange02);

/// The COLOR record type of `space`; false for the four-colour space and
/// unknown ones.
bool TintICMColorType(TintColorSpace space, COLORTYPE& type);

/// Fills `color` of `type` from `values` (TintNumberOfChannels of the
/// space): Lab as L x 65535 / 100 and (a or b + 128) x 65535 / 255.996;
/// RGB, Gray and CMYK as value x 65535; XYZ and the three-colour space as
/// value x 32768; five to eight channels as value x 255 into the record's
/// byte fields. Each rounded half up and clamped to the field's range.
void TintICMEncodeColor(COLORTYPE type, const double* values, COLOR& color);
/// The inverse of TintICMEncodeColor: w / 65535 x 100 for L, w / 65535 x
/// 255.996 - 128 for a and b, w / 65535, w / 32768, byte / 255.
void TintICMDecodeColor(COLORTYPE type, const COLOR& color, double* values);
