// Colour transform built by the LittleCMS engine.
#pragma once

#include <lcms2.h>

#include <vector>

#include "engine/TintEngineLink.h"

/// A link held as a LittleCMS transform, which it owns and deletes, with the
/// recorded chain of colour spaces and channel counts and the bits per
/// sample it was built for.
class TintLittleCMSLink : public TintEngineLink {
  public:
    /// Takes ownership of `transform` (not null), built for `bitsPerSample`
    /// (8 or 16) bits per sample on both sides.
    TintLittleCMSLink(cmsHTRANSFORM transform, int bitsPerSample)
        : m_transform(transform), m_bitsPerSample(bitsPerSample) {}
    ~TintLittleCMSLink() override;

    /// cmsDoTransform straight on the caller's buffers, no copy. True unless
    /// the count is negative, a buffer is missing for a non-zero count, or
    /// the engine error code (one per thread) was set. Safe to call from
    /// several threads at once, as is TransformValues: a LittleCMS transform
    /// keeps no state between calls.
    bool Transform(int numberOfPixels, const void* input, void* output) const override;

    /// For links built with 16 bits per sample; any other link throws
    /// TintException. Encodes `count` colours of the first recorded side
    /// into 16-bit samples, transforms them and decodes the last recorded
    /// side into `output`:
    /// - Lab: L x 65535 / 100; a, b: (v + 128) x 65535 / 255.996;
    /// - XYZ, the four-colour space and spaces beyond 8CLR: v x 32768;
    /// - every other space: v x 65535;
    /// each rounded and clamped into 0..65535 (decoding is the inverse).
    /// Returns false, leaving `output` untouched, for a negative count, a
    /// missing buffer or a set error code; true for a count of 0.
    bool TransformValues(int count, const double* input, double* output) const override;

    void AddColorSpace(TintColorSpace space) override;
    void AddNumberOfChannels(int channels) override;
    TintColorSpace GetColorSpace(int index) const override;
    int GetNumberOfChannels(int index) const override;
    int GetNumberOfColorSpaces() const override;

    /// The LittleCMS transform; stays owned by this object.
    cmsHTRANSFORM GetTransform() const { return m_transform; }
    /// Bits per sample the link was built for.
    int GetBitsPerSample() const { return m_bitsPerSample; }

  private:
    cmsHTRANSFORM m_transform;
    std::vector<int> m_colorSpaces;
    std::vector<int> m_numberOfChannels;
    int m_bitsPerSample;
};
