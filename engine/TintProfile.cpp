#include "engine/TintProfile.h"

#include "engine/TintException.h"

TintProfile::TintProfile(TintEngineProfile* profile, unsigned int engineId)
    : m_profile(profile), m_engineId(engineId) {}

const TintEngineProfile& TintProfile::Checked() const {
    if (!m_profile) {
        throw TintException("profile invalid");
    }
    return *m_profile.Get();
}

TintRenderingIntent TintProfile::GetRenderingIntent() const {
    return Checked().GetRenderingIntent();
}

TintColorSpace TintProfile::GetColorSpace() const {
    return Checked().GetColorSpace();
}

int TintProfile::GetNumberOfChannels() const {
    return Checked().GetNumberOfChannels();
}

std::string TintProfile::GetColorantName(unsigned int index) const {
    return Checked().GetColorantName(index);
}
