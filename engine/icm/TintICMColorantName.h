// Channel names of a profile side as the Windows colour engine gives them.
#pragma once

#include <string>

#include "engine/TintColorSpace.h"
#include "host/win32_icm.h"

inline constexpr TAGTYPE kTintICMColorantTableTag = 0x636C7274;     // 'clrt'
inline constexpr TAGTYPE kTintICMColorantTableOutTag = 0x636C6F74;  // 'clot'

/// Name of channel `index` of one side of `profile`:
/// - if the colour system reads tag `tag` (a colorant table: 12-byte head
///   with the entry count at byte 8, then 38-byte entries starting with a
///   32-byte name), the name of entry `index` up to its first zero byte or
///   32 characters; an empty string when `index` is not below the count or
///   the entries the count announces do not all lie within the bytes read;
/// - otherwise the default name of `space`, an empty string beyond its
///   names; TintException("unable to get colorant names") for a space
///   without default names. There is no condition on the profile version.
std::string TintICMColorantName(HPROFILE profile, TAGTYPE tag, TintColorSpace space,
                                unsigned int index);
