#include "engine/littlecms/TintLittleCMSProfile.h"

#include "engine/littlecms/TintLittleCMSColorantName.h"

TintLittleCMSProfile::~TintLittleCMSProfile() {
    if (m_handle != nullptr) {
        cmsCloseProfile(m_handle);
    }
}

TintRenderingIntent TintLittleCMSProfile::GetRenderingIntent() const {
    return TintRenderingIntentFromHeader(cmsGetHeaderRenderingIntent(m_handle));
}

TintColorSpace TintLittleCMSProfile::GetColorSpace() const {
    return TintColorSpaceFromSignature(cmsGetColorSpace(m_handle));
}

int TintLittleCMSProfile::GetNumberOfChannels() const {
    return TintNumberOfChannels(GetColorSpace());
}

std::string TintLittleCMSProfile::GetColorantName(unsigned int index) const {
    return TintLittleCMSColorantName(m_handle, cmsSigColorantTableTag, GetColorSpace(),
                                     "numberOfColournts could not be found", index);
}
