#include "engine/icm/TintICMDLProfile.h"

#include "engine/icm/TintICMColorantName.h"
#include "engine/icm/TintICMHeader.h"

TintICMDLProfile::~TintICMDLProfile() {
    if (m_handle != nullptr) {
        CloseColorProfile(m_handle);
    }
}

TintRenderingIntent TintICMDLProfile::GetRenderingIntent() const {
    return TintICMHeaderIntent(TintICMReadHeader(m_handle));
}

TintColorSpace TintICMDLProfile::GetInputColorSpace() const {
    return TintICMDataColorSpace(TintICMReadHeader(m_handle));
}

TintColorSpace TintICMDLProfile::GetOutputColorSpace() const {
    return TintICMConnectionSpace(TintICMReadHeader(m_handle));
}

int TintICMDLProfile::GetNumberOfInputChannels() const {
    return TintNumberOfChannels(GetInputColorSpace());
}

int TintICMDLProfile::GetNumberOfOutputChannels() const {
    return TintNumberOfChannels(GetOutputColorSpace());
}

std::string TintICMDLProfile::GetInputColorantName(unsigned int index) const {
    return TintICMColorantName(m_handle, kTintICMColorantTableTag, GetInputColorSpace(), index);
}

std::string TintICMDLProfile::GetOutputColorantName(unsigned int index) const {
    return TintICMColorantName(m_handle, kTintICMColorantTableOutTag, GetOutputColorSpace(), index);
}
