// Abstract colour transform of a colour engine.
#pragma once

#include "engine/TintColorSpace.h"
#include "engine/TintCountedObject.h"

/// A colour transform built by an engine, held through TintLink handles.
/// It records, in chain order, the colour space and channel count of each
/// side it was built from (device link: input, output; profile pair: source,
/// destination; chain: every profile). It keeps no reference to the profiles
/// it was built from.
class TintEngineLink : public TintCountedObject {
  public:
    ~TintEngineLink() override = default;

    /// Converts `numberOfPixels` pixels from `input` to `output`, both in the
    /// link's pixel formats (interleaved channels, 1 or 2 bytes per sample
    /// as built). Returns true on success; false for a negative count or a
    /// missing buffer, leaving `output` untouched. Engines make this and
    /// TransformValues safe to call from several threads at once.
    virtual bool Transform(int numberOfPixels, const void* input, void* output) const = 0;

    /// Converts `count` colours given as doubles (channel values of the
    /// first recorded side) into doubles of the last recorded side. Returns
    /// true on success. See the engine for the encoding and for the links
    /// it accepts.
    virtual bool TransformValues(int count, const double* input, double* output) const = 0;

    /// Used by engines while building the link: appends one side's colour
    /// space resp. channel count to the recorded chain.
    virtual void AddColorSpace(TintColorSpace space) = 0;
    virtual void AddNumberOfChannels(int channels) = 0;

    /// Colour space resp. channel count of recorded side `index`; throws
    /// TintException unless 0 <= index < GetNumberOfColorSpaces().
    virtual TintColorSpace GetColorSpace(int index) const = 0;
    virtual int GetNumberOfChannels(int index) const = 0;
    /// Number of recorded sides.
    virtual int GetNumberOfColorSpaces() const = 0;
};
