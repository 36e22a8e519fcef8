#include "platform/cms/LinkData.h"

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
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
        result->transform_.reset(cmsCreateTransform(profile.get(), inFormat, nullptr, outFormat,
                                                    static_cast<cmsUInt32Number>(intent),
                                                    cmsFLAGS_NOCACHE));
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
    for (int p = 0; p < n; ++p) {
        // The 8-bit to 16-bit and back conversions of LittleCMS's formatters.
        for (int c = 0; c < nIn; ++c)
            wideIn[c] = static_cast<cmsUInt16Number>(in[c] * 257u);
        lerp(wideIn, wideOut, params);
        for (int c = 0; c < nOut; ++c) {
            out[c] = static_cast<unsigned char>((wideOut[c] * 65281u + 8388608u) >> 24);
        }
        in += nIn;
        out += nOut;
    }
}

}  // namespace rdz::cms
