#include "engine/TintLink.h"

#include "engine/TintException.h"

TintLink::TintLink(TintEngineLink* link) : m_link(link) {}

const TintEngineLink& TintLink::Checked() const {
    if (!m_link) {
        throw TintException("Link invalid");
    }
    return *m_link.Get();
}

bool TintLink::Transform(int numberOfPixels, const void* input, void* output) const {
    return Checked().Transform(numberOfPixels, input, output);
}

bool TintLink::TransformValues(int count, const double* input, double* output) const {
    return Checked().TransformValues(count, input, output);
}

TintColorSpace TintLink::GetColorSpace(int index) const {
    return Checked().GetColorSpace(index);
}

int TintLink::GetNumberOfChannels(int index) const {
    return Checked().GetNumberOfChannels(index);
}

int TintLink::GetNumberOfColorSpaces() const {
    return Checked().GetNumberOfColorSpaces();
}
