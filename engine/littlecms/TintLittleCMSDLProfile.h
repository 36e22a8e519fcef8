// ICC device-link profile opened by the LittleCMS engine.
#pragma once

#include <lcms2.h>

#include <string>

#include "engine/TintEngineDLProfile.h"

/// A device-link profile held as a LittleCMS profile handle, which it owns
/// and closes. Input side: the header's colour space; output side: its PCS.
class TintLittleCMSDLProfile : public TintEngineDLProfile {
  public:
    /// Takes ownership of `handle`.
    explicit TintLittleCMSDLProfile(cmsHPROFILE handle) : m_handle(handle) {}
    ~TintLittleCMSDLProfile() override;

    TintRenderingIntent GetRenderingIntent() const override;
    TintColorSpace GetInputColorSpace() const override;
    TintColorSpace GetOutputColorSpace() const override;
    int GetNumberOfInputChannels() const override;
    int GetNumberOfOutputChannels() const override;
    /// From the 'clrt' table if present, else defaults for version 2 only;
    /// "name of colorants could not be found" when the table is unreadable.
    std::string GetInputColorantName(unsigned int index) const override;
    /// From the 'clot' table if present, else defaults for version 2 only;
    /// "name of colorants could not be found" when the table is unreadable.
    std::string GetOutputColorantName(unsigned int index) const override;

    /// The LittleCMS handle; stays owned by this object.
    cmsHPROFILE GetHandle() const { return m_handle; }

    /// The bytes the profile was opened from, when the engine keeps them
    /// (device-link reuse); empty otherwise.
    const std::string& GetBytes() const { return m_bytes; }
    void KeepBytes(const void* data, unsigned int size) {
        m_bytes.assign(static_cast<const char*>(data), size);
    }

  private:
    cmsHPROFILE m_handle;
    std::string m_bytes;
};
