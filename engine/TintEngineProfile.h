// Abstract ICC profile of a colour engine.
#pragma once

#include <string>

#include "engine/TintColorSpace.h"
#include "engine/TintCountedObject.h"
#include "engine/TintRenderingIntent.h"

/// An ICC profile opened by an engine. Held through TintProfile handles;
/// each engine derives its own class holding its colour system's profile
/// handle, which the destructor closes.
class TintEngineProfile : public TintCountedObject {
  public:
    ~TintEngineProfile() override = default;

    /// The header's rendering intent: 0 to 3, or TintRI_InvalidInProfile.
    virtual TintRenderingIntent GetRenderingIntent() const = 0;
    /// The header's colour-space field as a TintColorSpace.
    virtual TintColorSpace GetColorSpace() const = 0;
    /// Channel count of GetColorSpace() (0 for an unknown space).
    virtual int GetNumberOfChannels() const = 0;
    /// Name of channel `index`: from the profile's colorant table if it has
    /// one, else the default name of the colour space (see the engine for
    /// its conditions and for the name of an index beyond the names).
    /// Throws TintException when no name can be given.
    virtual std::string GetColorantName(unsigned int index) const = 0;
};
