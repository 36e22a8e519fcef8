#include "engine/littlecms/TintLittleCMSLink.h"

#include <cstddef>

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMSErrorCode.h"

namespace {

// Lab's a and b span -128 to +127.996 over the 16-bit range.
constexpr double kLabABRange = 255.996;

double ValueScale(TintColorSpace space) {
    if (space == TintCS_XYZ || space == TintCS_4CLR || space > TintCS_8CLR) {
        return 32768.0;
    }
    return 65535.0;
}

cmsUInt16Number Clamp16(double value) {
    // Written so that NaN lands on 0 as well.
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= 65535.0) {
        return 65535;
    }
    return static_cast<cmsUInt16Number>(value);
}

void Encode(TintColorSpace space, int channels, std::size_t count, const double* in,
            cmsUInt16Number* out) {
    const std::size_t total = count * static_cast<std::size_t>(channels);
    if (space == TintCS_Lab) {
        for (std::size_t i = 0; i < total; ++i) {
            const double v = in[i];
            const double encoded =
                (i % 3 == 0) ? v * 65535.0 / 100.0 : (v + 128.0) * 65535.0 / kLabABRange;
            out[i] = Clamp16(encoded + 0.5);
        }
        return;
    }
    const double scale = ValueScale(space);
    for (std::size_t i = 0; i < total; ++i) {
        out[i] = Clamp16(in[i] * scale + 0.5);
    }
}

void Decode(TintColorSpace space, int channels, std::size_t count, const cmsUInt16Number* in,
            double* out) {
    const std::size_t total = count * static_cast<std::size_t>(channels);
    if (space == TintCS_Lab) {
        for (std::size_t i = 0; i < total; ++i) {
            const double v = in[i] / 65535.0;
            out[i] = (i % 3 == 0) ? v * 100.0 : v * kLabABRange - 128.0;
        }
        return;
    }
    const double scale = ValueScale(space);
    for (std::size_t i = 0; i < total; ++i) {
        out[i] = in[i] / scale;
    }
}

}  // namespace

TintLittleCMSLink::~TintLittleCMSLink() {
    if (m_transform != nullptr) {
        cmsDeleteTransform(m_transform);
    }
}

bool TintLittleCMSLink::Transform(int numberOfPixels, const void* input, void* output) const {
    if (numberOfPixels < 0 || (numberOfPixels > 0 && (input == nullptr || output == nullptr))) {
        return false;
    }
    g_tintLittleCMSErrorCode = 0;
    cmsDoTransform(m_transform, input, output, static_cast<cmsUInt32Number>(numberOfPixels));
    return g_tintLittleCMSErrorCode == 0;
}

bool TintLittleCMSLink::TransformValues(int count, const double* input, double* output) const {
    if (m_bitsPerSample != 16) {
        throw TintException("TransformValues needs a link built with 16 bits per sample");
    }
    if (count < 0 || (count > 0 && (input == nullptr || output == nullptr))) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    if (m_colorSpaces.empty() || m_numberOfChannels.empty()) {
        return false;
    }
    const TintColorSpace inSpace = static_cast<TintColorSpace>(m_colorSpaces.front());
    const TintColorSpace outSpace = static_cast<TintColorSpace>(m_colorSpaces.back());
    const int inChannels = m_numberOfChannels.front();
    const int outChannels = m_numberOfChannels.back();
    const auto colours = static_cast<std::size_t>(count);

    std::vector<cmsUInt16Number> in16(colours * static_cast<std::size_t>(inChannels));
    std::vector<cmsUInt16Number> out16(colours * static_cast<std::size_t>(outChannels));
    Encode(inSpace, inChannels, colours, input, in16.data());

    g_tintLittleCMSErrorCode = 0;
    cmsDoTransform(m_transform, in16.data(), out16.data(), static_cast<cmsUInt32Number>(count));
    if (g_tintLittleCMSErrorCode != 0) {
        return false;
    }
    Decode(outSpace, outChannels, colours, out16.data(), output);
    return true;
}

void TintLittleCMSLink::AddColorSpace(TintColorSpace space) {
    m_colorSpaces.push_back(static_cast<int>(space));
}

void TintLittleCMSLink::AddNumberOfChannels(int channels) {
    m_numberOfChannels.push_back(channels);
}

TintColorSpace TintLittleCMSLink::GetColorSpace(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_colorSpaces.size()) {
        throw TintException("Link side index out of range");
    }
    return static_cast<TintColorSpace>(m_colorSpaces[static_cast<std::size_t>(index)]);
}

int TintLittleCMSLink::GetNumberOfChannels(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_numberOfChannels.size()) {
        throw TintException("Link side index out of range");
    }
    return m_numberOfChannels[static_cast<std::size_t>(index)];
}

int TintLittleCMSLink::GetNumberOfColorSpaces() const {
    return static_cast<int>(m_colorSpaces.size());
}
