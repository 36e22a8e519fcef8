// ICC device-link profile opened by the Windows colour engine.
#pragma once

#include <string>

#include "engine/TintEngineDLProfile.h"
#include "host/win32_icm.h"

/// A device-link profile held as a colour-system profile handle, which it
/// owns and closes. Input side: the header's data colour space; output
/// side: its connection space. Every query reads the header anew.
class TintICMDLProfile : public TintEngineDLProfile {
  public:
    /// Takes ownership of `handle`, a profile the colour system opened.
    explicit TintICMDLProfile(HPROFILE handle) : m_handle(handle) {}
    ~TintICMDLProfile() override;

    TintRenderingIntent GetRenderingIntent() const override;
    TintColorSpace GetInputColorSpace() const override;
    TintColorSpace GetOutputColorSpace() const override;
    int GetNumberOfInputChannels() const override;
    int GetNumberOfOutputChannels() const override;
    /// From the 'clrt' table, else the input space's default names.
    std::string GetInputColorantName(unsigned int index) const override;
    /// From the 'clot' table, else the output space's default names.
    std::string GetOutputColorantName(unsigned int index) const override;

    /// The colour-system handle; stays owned by this object.
    HPROFILE GetHandle() const { return m_handle; }

  private:
    HPROFILE m_handle;
};
