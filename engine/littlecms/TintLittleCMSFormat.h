// LittleCMS parameters derived from the engine layer's values: pixel
// formats, intents and flags.
#pragma once

#include <lcms2.h>

#include "engine/TintColorSpace.h"
#include "engine/TintRenderingIntent.h"

/// LittleCMS pixel format for one link side: chunky channels, 1 byte per
/// sample for 8 bits and 2 for 16, no extra channels, no swapping. XYZ, Lab,
/// RGB, Gray and CMYK use LittleCMS's own spaces; the generic 3- to
/// 8-colour spaces use its multi-channel spaces (so '4CLR' is four 8-bit
/// channels of PT_MCH4), in both sample sizes.
/// Throws TintException("bitsPerSample not 8 or 16") for any other sample
/// size, whatever the space, and TintException("Error creating Link") for a
/// space without a format (TintCS_Unknown and beyond), so that LittleCMS is
/// never asked for a transform without formats.
cmsUInt32Number TintLittleCMSFormat(TintColorSpace space, int bitsPerSample);

/// Intent as handed to LittleCMS: 0 to 3 unchanged, everything else 20
/// (an intent LittleCMS does not know, so building the transform fails).
cmsUInt32Number TintLittleCMSIntent(TintRenderingIntent intent);

/// Transform flags: cmsFLAGS_BLACKPOINTCOMPENSATION when asked for, else 0.
cmsUInt32Number TintLittleCMSFlags(bool blackPointCompensation);
