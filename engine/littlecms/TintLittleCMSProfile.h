// ICC profile opened by the LittleCMS engine.
#pragma once

#include <lcms2.h>

#include <string>

#include "engine/TintEngineProfile.h"

/// A profile held as a LittleCMS profile handle, which it owns and closes.
class TintLittleCMSProfile : public TintEngineProfile {
  public:
    /// Takes ownership of `handle`, a profile LittleCMS has opened.
    explicit TintLittleCMSProfile(cmsHPROFILE handle) : m_handle(handle) {}
    ~TintLittleCMSProfile() override;

    TintRenderingIntent GetRenderingIntent() const override;
    TintColorSpace GetColorSpace() const override;
    int GetNumberOfChannels() const override;
    /// From the 'clrt' table if present ("numberOfColournts could not be
    /// found" when unreadable, "INVALID" beyond its entries), else the
    /// default names for version-2 profiles only.
    std::string GetColorantName(unsigned int index) const override;

    /// The LittleCMS handle; stays owned by this object.
    cmsHPROFILE GetHandle() const { return m_handle; }

  private:
    cmsHPROFILE m_handle;
};
