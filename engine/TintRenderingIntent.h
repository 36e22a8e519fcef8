// Rendering intents as the engine layer numbers them.
#pragma once

#include <cstdint>

/// A rendering intent. The type is a plain unsigned number so that values
/// outside the named ones pass through the interfaces unchanged (an engine
/// hands them to its colour system as "invalid").
enum TintRenderingIntent : unsigned int {
    TintRI_Perceptual = 0,
    TintRI_RelativeColorimetric = 1,
    TintRI_Saturation = 2,
    TintRI_AbsoluteColorimetric = 3,
    /// As a request: use the intent in the profile's header.
    TintRI_FromProfile = 4,
    /// Only returned by GetRenderingIntent: the header holds an intent
    /// other than 0 to 3.
    TintRI_InvalidInProfile = 5,
};

/// Maps the rendering-intent field of an ICC header: 0 to 3 stay as they
/// are, every other value becomes TintRI_InvalidInProfile.
TintRenderingIntent TintRenderingIntentFromHeader(std::uint32_t headerIntent);
