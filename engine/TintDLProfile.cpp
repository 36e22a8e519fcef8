#include "engine/TintDLProfile.h"

#include "engine/TintException.h"

TintDLProfile::TintDLProfile(TintEngineDLProfile* profile, unsigned int engineId)
    : m_profile(profile), m_engineId(engineId) {}

const TintEngineDLProfile& TintDLProfile::Checked() const {
    if (!m_profile) {
        throw TintException("profile invalid");
    }
    return *m_profile.Get();
}

TintRenderingIntent TintDLProfile::GetRenderingIntent() const {
    return Checked().GetRenderingIntent();
}

TintColorSpace TintDLProfile::GetInputColorSpace() const {
    return Checked().GetInputColorSpace();
}

TintColorSpace TintDLProfile::GetOutputColorSpace() const {
    return Checked().GetOutputColorSpace();
}

int TintDLProfile::GetNumberOfInputChannels() const {
    return Checked().GetNumberOfInputChannels();
}

int TintDLProfile::GetNumberOfOutputChannels() const {
    return Checked().GetNumberOfOutputChannels();
}

std::string TintDLProfile::GetInputColorantName(unsigned int index) const {
    return Checked().GetInputColorantName(index);
}

std::string TintDLProfile::GetOutputColorantName(unsigned int index) const {
    return Checked().GetOutputColorantName(index);
}
