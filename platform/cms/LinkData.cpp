#include "platform/cms/LinkData.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/cms/Fingerprint.h"
#include "platform/cms/LinkProfile.h"
#include "platform/cms/StandIn.h"
#include "platform/cms/TProc.h"

namespace rdz::cms {

namespace {

std::atomic<int> computed{0};
std::atomic<int> loaded{0};
std::atomic<int> accelerated{0};

}  // namespace

namespace counters {
void LinkComputed() {
    ++computed;
}
void LinkLoaded() {
    ++loaded;
}
void LinkAccelerated() {
    ++accelerated;
}
}  // namespace counters

LinkCounts GetLinkCounts() {
    return LinkCounts{computed.load(), loaded.load(), accelerated.load()};
}

void ResetLinkCounts() {
    computed = 0;
    loaded = 0;
    accelerated = 0;
}

const char* KindName(LinkKind kind) {
    return kind == LinkKind::InkSaving ? "ink-saving" : "colour-space";
}

LinkData::LinkData(Properties properties)
    : p_(std::move(properties)), fingerprint_(Fingerprint(p_.icc)) {}

std::shared_ptr<const LinkAcceleration> LinkData::Accelerate(std::string* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!acceleration_) {
        acceleration_ = LinkAcceleration::Create(*this, error);
        if (acceleration_)
            counters::LinkAccelerated();
    }
    return acceleration_;
}

void LinkData::DropAcceleration() {
    std::lock_guard<std::mutex> lock(mutex_);
    acceleration_.reset();
}

bool LinkData::Accelerated() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return acceleration_ != nullptr;
}

// ---------------------------------------------------------------------------
// LinkAcceleration

LinkAcceleration::~LinkAcceleration() = default;

std::shared_ptr<const LinkAcceleration> LinkAcceleration::Create(const LinkData& link,
                                                                 std::string* error) {
    std::shared_ptr<LinkAcceleration> result(new LinkAcceleration());
    const TProc& source = *link.Source();
    const TProc& destination = *link.Destination();
    result->nIn_ = source.NrChannels();
    result->nOut_ = destination.NrChannels();
    const std::uint32_t inFormat = source.PixelFormat(1);
    const std::uint32_t outFormat = destination.PixelFormat(1);

    // Grey processes count ink where the profile counts light: only
    // LittleCMS's formatters turn one into the other.
    RawLinkTable raw;
    std::string why;
    if (T_FLAVOR(inFormat) == 0 && T_FLAVOR(outFormat) == 0 &&
        ReadLinkTable(link.Icc(), &raw, &why) && raw.nIn == result->nIn_ &&
        raw.nOut == result->nOut_) {
        result->table_.reset(cmsStageAllocCLut16bitGranular(
            nullptr, raw.grid.data(), static_cast<cmsUInt32Number>(raw.nIn),
            static_cast<cmsUInt32Number>(raw.nOut), raw.entries.data()));
        if (result->table_)
            return result;
    }
    ProfileHandle profile(
        cmsOpenProfileFromMem(link.Icc().data(), static_cast<cmsUInt32Number>(link.Icc().size())));
    if (profile) {
        const int intent = std::clamp(link.RenderingIntent() - 2, 0, 3);
        // With LittleCMS's pixel cache, as the table path below keeps one.
        result->transform_.reset(cmsCreateTransform(profile.get(), inFormat, nullptr, outFormat,
                                                    static_cast<cmsUInt32Number>(intent), 0));
    }
    if (!result->transform_) {
        *error = "LittleCMS cannot apply the device link";
        return nullptr;
    }
    return result;
}

void LinkAcceleration::Convert(const unsigned char* in, unsigned char* out, int n) const {
    if (n <= 0)
        return;
    if (transform_) {
        cmsDoTransform(transform_.get(), in, out, static_cast<cmsUInt32Number>(n));
        return;
    }
    const auto* data = static_cast<const _cmsStageCLutData*>(cmsStageData(table_.get()));
    const cmsInterpParams* params = data->Params;
    const _cmsInterpFn16 lerp = params->Interpolation.Lerp16;
    cmsUInt16Number wideIn[cmsMAXCHANNELS];
    cmsUInt16Number wideOut[cmsMAXCHANNELS];
    const int nIn = nIn_;
    const int nOut = nOut_;
    // A pixel equal to the one before it (flat areas, runs in gradients)
    // takes that pixel's result, like LittleCMS's own pixel cache; the
    // result is a function of the pixel alone, so the bytes are the same.
    // The last pixel is kept aside: `in` and `out` may be one buffer.
    if (nIn == 4 && nOut == 4) {
        // CMYK to CMYK, the usual link: a pixel compared and copied as one word.
        std::uint32_t lastIn = 0;
        std::uint32_t lastOut = 0;
        bool haveLast = false;
        for (int p = 0; p < n; ++p, in += 4, out += 4) {
            std::uint32_t pixel;
            std::memcpy(&pixel, in, 4);
            if (!haveLast || pixel != lastIn) {
                unsigned char bytes[4];
                std::memcpy(bytes, &pixel, 4);
                for (int c = 0; c < 4; ++c)
                    wideIn[c] = static_cast<cmsUInt16Number>(bytes[c] * 257u);
                lerp(wideIn, wideOut, params);
                for (int c = 0; c < 4; ++c)
                    bytes[c] = static_cast<unsigned char>((wideOut[c] * 65281u + 8388608u) >> 24);
                std::memcpy(&lastOut, bytes, 4);
                lastIn = pixel;
                haveLast = true;
            }
            std::memcpy(out, &lastOut, 4);
        }
        return;
    }
    unsigned char lastIn[cmsMAXCHANNELS];
    unsigned char lastOut[cmsMAXCHANNELS];
    const auto inBytes = static_cast<size_t>(nIn);
    const auto outBytes = static_cast<size_t>(nOut);
    bool haveLast = false;
    for (int p = 0; p < n; ++p) {
        if (haveLast && std::memcmp(in, lastIn, inBytes) == 0) {
            std::memcpy(out, lastOut, outBytes);
        } else {
            std::memcpy(lastIn, in, inBytes);
            // The 8-bit to 16-bit and back conversions of LittleCMS's formatters.
            for (int c = 0; c < nIn; ++c)
                wideIn[c] = static_cast<cmsUInt16Number>(lastIn[c] * 257u);
            lerp(wideIn, wideOut, params);
            for (int c = 0; c < nOut; ++c) {
                lastOut[c] = static_cast<unsigned char>((wideOut[c] * 65281u + 8388608u) >> 24);
            }
            std::memcpy(out, lastOut, outBytes);
            haveLast = true;
        }
        in += nIn;
        out += nOut;
    }
}

}  // namespace rdz::cms
