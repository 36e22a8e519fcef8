// Helpers for the tests of the Windows colour engine.
#pragma once

#include <lcms2.h>

#include <string>

#include "EngineFixtures.h"
#include "engine/icm/TintICM.h"

/// `bytes` opened by TintICM.
TintProfile OpenICM(const Bytes& bytes);
TintDLProfile OpenICMDL(const Bytes& bytes);

/// LittleCMS's Lab identity profile (version 4), as bytes.
Bytes LabProfile();
/// A device link made by LittleCMS from `from` to `to` (profile bytes).
Bytes DeviceLinkBetween(const Bytes& from, cmsUInt32Number fromFormat, const Bytes& to,
                        cmsUInt32Number toFormat, cmsUInt32Number intent);

/// Every combination of `steps` levels (0 to 255) on `channels` channels,
/// followed by 256 pseudo-random pixels.
Bytes PixelGrid(int channels, int steps);

/// Offset of tag `tag`'s entry in the tag directory of `bytes`, or 0.
std::size_t TagEntry(const Bytes& bytes, cmsTagSignature tag);
/// Writes the big-endian `value` at `at`.
void PutBig32(Bytes& bytes, std::size_t at, cmsUInt32Number value);
cmsUInt32Number GetBig32(const Bytes& bytes, std::size_t at);

/// The largest difference between bytes at the same place of `a` and `b`
/// (256 when their lengths differ).
int MaxDifference(const Bytes& a, const Bytes& b);
/// How far the Windows engine's 8-bit pixels may lie from the LittleCMS
/// engine's on the same link: 0 on the stand-in, which converts with
/// LittleCMS itself; 16 levels (about 6%) where the system's own CMM
/// converts with its own tables and interpolation (Wine 8 comes within 11).
/// A mistaken channel order or encoding lies far beyond either.
int PixelTolerance();
