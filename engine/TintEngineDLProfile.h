// Abstract ICC device-link profile of a colour engine.
#pragma once

#include <string>

#include "engine/TintColorSpace.h"
#include "engine/TintCountedObject.h"
#include "engine/TintRenderingIntent.h"

/// An ICC device-link profile opened by an engine. Held through
/// TintDLProfile handles. The input side is the header's colour-space field,
/// the output side the header's PCS field (which names the output space of a
/// device link).
class TintEngineDLProfile : public TintCountedObject {
  public:
    ~TintEngineDLProfile() override = default;

    /// The header's rendering intent: 0 to 3, or TintRI_InvalidInProfile.
    virtual TintRenderingIntent GetRenderingIntent() const = 0;
    virtual TintColorSpace GetInputColorSpace() const = 0;
    virtual TintColorSpace GetOutputColorSpace() const = 0;
    virtual int GetNumberOfInputChannels() const = 0;
    virtual int GetNumberOfOutputChannels() const = 0;
    /// Name of input channel `index` (colorant table 'clrt' or defaults).
    /// Throws TintException when no name can be given.
    virtual std::string GetInputColorantName(unsigned int index) const = 0;
    /// Name of output channel `index` (colorant table 'clot' or defaults).
    /// Throws TintException when no name can be given.
    virtual std::string GetOutputColorantName(unsigned int index) const = 0;
};
