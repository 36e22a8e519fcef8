#include "engine/littlecms/TintLittleCMSDLProfile.h"

#include "engine/littlecms/TintLittleCMSColorantName.h"

namespace {
const char kUnreadableTable[] = "name of colorants could not be found";
}

TintLittleCMSDLProfile::~TintLittleCMSDLProfile() {
    if (m_handle != nullptr) {
        cmsCloseProfile(m_handle);
    }
}

TintRenderingIntent TintLittleCMSDLProfile::GetRenderingIntent() const {
    return TintRenderingIntentFromHeader(cmsGetHeaderRenderingIntent(m_handle));
}

TintColorSpace TintLittleCMSDLProfile::GetInputColorSpace() const {
    return TintColorSpaceFromSignature(cmsGetColorSpace(m_handle));
}

TintColorSpace TintLittleCMSDLProfile::GetOutputColorSpace() const {
    return TintColorSpaceFromSignature(cmsGetPCS(m_handle));
}

int TintLittleCMSDLProfile::GetNumberOfInputChannels() const {
    return TintNumberOfChannels(GetInputColorSpace());
}

int TintLittleCMSDLProfile::GetNumberOfOutputChannels() const {
    return TintNumberOfChannels(GetOutputColorSpace());
}

std::string TintLittleCMSDLProfile::GetInputColorantName(unsigned int index) const {
    return TintLittleCMSColorantName(m_handle, cmsSigColorantTableTag, GetInputColorSpace(),
                                     kUnreadableTable, index);
}

std::string TintLittleCMSDLProfile::GetOutputColorantName(unsigned int index) const {
    return TintLittleCMSColorantName(m_handle, cmsSigColorantTableOutTag, GetOutputColorSpace(),
                                     kUnreadableTable, index);
}
