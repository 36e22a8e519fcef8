// What the Windows colour engine reads from profile headers.
#pragma once

#include "engine/TintColorSpace.h"
#include "engine/TintRenderingIntent.h"
#include "host/win32_icm.h"

/// The header of `profile` through GetColorProfileHeader. Throws
/// TintException("could not read profile header") when the colour system
/// does not give it.
PROFILEHEADER TintICMReadHeader(HPROFILE profile);

/// Colour space of the header's data colour space resp. connection space.
TintColorSpace TintICMDataColorSpace(const PROFILEHEADER& header);
TintColorSpace TintICMConnectionSpace(const PROFILEHEADER& header);
/// The header's rendering intent: 0 to 3, or TintRI_InvalidInProfile.
TintRenderingIntent TintICMHeaderIntent(const PROFILEHEADER& header);

/// The intent handed to the colour system: 0 to 3 unchanged, every other
/// value kTintICMInvalidIntent.
DWORD TintICMIntent(TintRenderingIntent intent);
inline constexpr DWORD kTintICMInvalidIntent = 20;
