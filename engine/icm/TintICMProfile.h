// ICC profile opened by the Windows colour engine.
#pragma once

#include <string>

#include "engine/TintEngineProfile.h"
#include "host/win32_icm.h"

/// A profile held as a colour-system profile handle, which it owns and
/// closes. Every query reads the header anew; a header the colour system
/// does not give throws TintException("could not read profile header").
class TintICMProfile : public TintEngineProfile {
  public:
    /// Takes ownership of `handle`, a profile the colour system opened.
    explicit TintICMProfile(HPROFILE handle) : m_handle(handle) {}
    ~TintICMProfile() override;

    TintRenderingIntent GetRenderingIntent() const override;
    TintColorSpace GetColorSpace() const override;
    int GetNumberOfChannels() const override;
    /// From the 'clrt' table when the profile has one (empty string for an
    /// index it does not name), else the data colour space's default names
    /// (empty string beyond them); see TintICMColorantName.
    std::string GetColorantName(unsigned int index) const override;

    /// The colour-system handle; stays owned by this object.
    HPROFILE GetHandle() const { return m_handle; }

  private:
    HPROFILE m_handle;
};
