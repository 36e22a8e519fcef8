#include "engine/icm/TintICMLink.h"

#include <cstddef>
#include <cstring>

#include "engine/TintException.h"
#include "engine/icm/TintICMFormats.h"

namespace {

void ExchangeBytes02(unsigned char* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char* pixel = pixels + i * 3;
        const unsigned char first = pixel[0];
        pixel[0] = pixel[2];
        pixel[2] = first;
    }
}

}  // namespace

TintICMLink::~TintICMLink() {
    if (m_transform != nullptr) {
        DeleteColorTransform(m_transform);
    }
}

bool TintICMLink::Transform(int numberOfPixels, const void* input, void* output) const {
    if (m_bitsPerSample != 8) {
        throw TintException(
            "bitsPerSample can only be 8 for this function try the other match color function");
    }
    BMFORMAT inFormat = BM_GRAY;
    BMFORMAT outFormat = BM_GRAY;
    bool exchangeIn = false;
    bool exchangeOut = false;
    if (m_colorSpaces.empty() ||
        !TintICMBitmapFormat(static_cast<TintColorSpace>(m_colorSpaces.front()), inFormat,
                             exchangeIn) ||
        !TintICMBitmapFormat(static_cast<TintColorSpace>(m_colorSpaces.back()), outFormat,
                             exchangeOut)) {
        throw TintException("Could not get bitmap format");
    }
    if (numberOfPixels < 0 || (numberOfPixels > 0 && (input == nullptr || output == nullptr))) {
        return false;
    }
    if (numberOfPixels == 0) {
        return true;
    }
    const auto count = static_cast<std::size_t>(numberOfPixels);

    // The colour system takes a writable source; the caller's row is only
    // read, and a row that needs its bytes exchanged goes through a copy.
    std::vector<unsigned char> scratch;
    void* source = const_cast<void*>(input);
    if (exchangeIn) {
        const auto* bytes = static_cast<const unsigned char*>(input);
        scratch.assign(bytes, bytes + count * 3);
        ExchangeBytes02(scratch.data(), count);
        source = scratch.data();
    }
    if (!TranslateBitmapBits(m_transform, source, inFormat, static_cast<DWORD>(count), 1, 0, output,
                             outFormat, 0, nullptr, 0)) {
        throw TintException("Unable to preform color transform");
    }
    if (exchangeOut) {
        ExchangeBytes02(static_cast<unsigned char*>(output), count);
    }
    return true;
}

bool TintICMLink::TransformValues(int count, const double* input, double* output) const {
    if (m_bitsPerSample != 16) {
        throw TintException("MbitsPerSample should be 16 if 8 try other match color function");
    }
    COLORTYPE inType = COLOR_GRAY;
    COLORTYPE outType = COLOR_GRAY;
    if (m_colorSpaces.empty() ||
        !TintICMColorType(static_cast<TintColorSpace>(m_colorSpaces.front()), inType) ||
        !TintICMColorType(static_cast<TintColorSpace>(m_colorSpaces.back()), outType)) {
        throw TintException("Invalid Color Space");
    }
    if (count < 0 || (count > 0 && (input == nullptr || output == nullptr))) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    const auto colours = static_cast<std::size_t>(count);
    const auto inChannels = static_cast<std::size_t>(
        TintNumberOfChannels(static_cast<TintColorSpace>(m_colorSpaces.front())));
    const auto outChannels = static_cast<std::size_t>(
        TintNumberOfChannels(static_cast<TintColorSpace>(m_colorSpaces.back())));

    std::vector<COLOR> in(colours);
    std::vector<COLOR> out(colours);
    for (std::size_t i = 0; i < colours; ++i) {
        TintICMEncodeColor(inType, input + i * inChannels, in[i]);
    }
    if (TranslateColors(m_transform, in.data(), static_cast<DWORD>(colours), inType, out.data(),
                        outType) != 1) {
        throw TintException("Unable to preform color transform");
    }
    for (std::size_t i = 0; i < colours; ++i) {
        TintICMDecodeColor(outType, out[i], output + i * outChannels);
    }
    return true;
}

void TintICMLink::AddColorSpace(TintColorSpace space) {
    m_colorSpaces.push_back(static_cast<int>(space));
}

void TintICMLink::AddNumberOfChannels(int channels) {
    m_numberOfChannels.push_back(channels);
}

TintColorSpace TintICMLink::GetColorSpace(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_colorSpaces.size()) {
        throw TintException("Link side index out of range");
    }
    return static_cast<TintColorSpace>(m_colorSpaces[static_cast<std::size_t>(index)]);
}

int TintICMLink::GetNumberOfChannels(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_numberOfChannels.size()) {
        throw TintException("Link side index out of range");
    }
    return m_numberOfChannels[static_cast<std::size_t>(index)];
}

int TintICMLink::GetNumberOfColorSpaces() const {
    return static_cast<int>(m_colorSpaces.size());
}
