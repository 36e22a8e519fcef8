// Colour transform built by the Windows colour engine.
#pragma once

#include <vector>

#include "engine/TintEngineLink.h"
#include "host/win32_icm.h"

/// A link held as a colour-system transform, which it owns and deletes,
/// with the recorded chain and the bits per sample it was built for.
class TintICMLink : public TintEngineLink {
  public:
    /// Takes ownership of `transform` (not null).
    TintICMLink(HTRANSFORM transform, int bitsPerSample)
        : m_transform(transform), m_bitsPerSample(bitsPerSample) {}
    ~TintICMLink() override;

    /// 8-bit pixels of the first recorded side to the last, through
    /// TranslateBitmapBits (one row of `numberOfPixels`). XYZ and Lab
    /// inputs are handed over with bytes 0 and 2 of each pixel exchanged in
    /// a scratch copy: `input` is never changed. XYZ and Lab outputs have
    /// them exchanged back in `output`. Throws TintException:
    /// "bitsPerSample can only be 8 for this function try the other match
    /// color function" for a link not built for 8 bits; "Could not get
    /// bitmap format" when a side has no bitmap format (three- and
    /// four-colour spaces); "Unable to preform color transform" when the
    /// colour system fails. False for a negative count or a missing buffer;
    /// true for 0 pixels. Safe to call from several threads at once, as is
    /// TransformValues (the colour system's transforms are).
    bool Transform(int numberOfPixels, const void* input, void* output) const override;

    /// Colours as doubles through TranslateColors, encoded as
    /// TintICMEncodeColor says (five to eight channels: value x 255 into the
    /// record's bytes). Throws TintException: "MbitsPerSample should be 16
    /// if 8 try other match color function" for a link not built for 16
    /// bits; "Invalid Color Space" when a side has no COLOR type (the
    /// four-colour space, unknown spaces); "Unable to preform color
    /// transform" when the colour system fails. False for a negative count
    /// or a missing buffer; true for 0 colours.
    bool TransformValues(int count, const double* input, double* output) const override;

    void AddColorSpace(TintColorSpace space) override;
    void AddNumberOfChannels(int channels) override;
    /// Throw TintException("Link side index out of range") unless 0 <=
    /// index < GetNumberOfColorSpaces().
    TintColorSpace GetColorSpace(int index) const override;
    int GetNumberOfChannels(int index) const override;
    int GetNumberOfColorSpaces() const override;

    /// The colour-system transform; stays owned by this object.
    HTRANSFORM GetTransform() const { return m_transform; }
    int GetBitsPerSample() const { return m_bitsPerSample; }

  private:
    HTRANSFORM m_transform;
    std::vector<int> m_colorSpaces;
    std::vector<int> m_numberOfChannels;
    int m_bitsPerSample;
};
