#include "engine/icm/TintICMProfile.h"

#include "engine/icm/TintICMColorantName.h"
#include "engine/icm/TintICMHeader.h"

TintICMProfile::~TintICMProfile() {
    if (m_handle != nullptr) {
        CloseColorProfile(m_handle);
    }
}

TintRenderingIntent TintICMProfile::GetRenderingIntent() const {
    return TintICMHeaderIntent(TintICMReadHeader(m_handle));
}

TintColorSpace TintICMProfile::GetColorSpace() const {
    return TintICMDataColorSpace(TintICMReadHeader(m_handle));
}

int TintICMProfile::GetNumberOfChannels() const {
    return TintNumberOfChannels(GetColorSpace());
}

std::string TintICMProfile::GetColorantName(unsigned int index) const {
    return TintICMColorantName(m_handle, kTintICMColorantTableTag, GetColorSpace(), index);
}
