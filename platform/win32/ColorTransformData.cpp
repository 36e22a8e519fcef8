#include "platform/win32/ColorTransformData.h"

namespace rdz_win32 {

namespace {

// Signatures are kept as plain numbers: a profile's header may hold any
// 32-bit value, and most of those are not values of LittleCMS's enum types
// (holding one in such a variable is undefined behaviour).
using Signature = cmsUInt32Number;

Signature SpaceOf(cmsHPROFILE handle) {
    return static_cast<Signature>(cmsGetColorSpace(handle));
}
Signature PcsOf(cmsHPROFILE handle) {
    return static_cast<Signature>(cmsGetPCS(handle));
}

// The colour spaces a chain enters and leaves by, decided the way LittleCMS
// decides them: a profile is read device-to-PCS while the colour flowing in
// is not a PCS, and device links always forwards.
void ChainSpaces(const std::vector<cmsHPROFILE>& handles, Signature& entry, Signature& exit) {
    Signature flowing = SpaceOf(handles.front());
    for (std::size_t i = 0; i < handles.size(); ++i) {
        const cmsHPROFILE handle = handles[i];
        const auto cls = static_cast<Signature>(cmsGetDeviceClass(handle));
        const bool fromDevice = flowing != cmsSigXYZData && flowing != cmsSigLabData;
        Signature in;
        Signature out;
        if (cls == cmsSigNamedColorClass) {
            in = cmsSig1colorData;
            out = handles.size() > 1 ? PcsOf(handle) : SpaceOf(handle);
        } else if (fromDevice || cls == cmsSigLinkClass) {
            in = SpaceOf(handle);
            out = PcsOf(handle);
        } else {
            in = PcsOf(handle);
            out = SpaceOf(handle);
        }
        if (i == 0) {
            entry = in;
        }
        flowing = out;
    }
    exit = flowing;
}

cmsUInt32Number Words(Signature space) {
    const auto pixelType = static_cast<cmsUInt32Number>(
        _cmsLCMScolorSpace(static_cast<cmsColorSpaceSignature>(space)));
    const cmsUInt32Number channels = cmsChannelsOf(static_cast<cmsColorSpaceSignature>(space));
    return COLORSPACE_SH(pixelType) | CHANNELS_SH(channels) | BYTES_SH(2);
}

}  // namespace

std::unique_ptr<ColorTransformData> ColorTransformData::Create(
    std::vector<std::shared_ptr<ColorProfileData>> profiles, std::vector<cmsUInt32Number> intents,
    bool blackPointCompensation) {
    if (profiles.empty() || profiles.size() > 255 || intents.size() != profiles.size()) {
        return nullptr;
    }
    std::unique_ptr<ColorTransformData> data(new ColorTransformData());
    data->m_profiles = std::move(profiles);
    data->m_intents = std::move(intents);
    for (const auto& profile : data->m_profiles) {
        data->m_handles.push_back(profile->Handle());
        data->m_blackPointCompensation.push_back(blackPointCompensation ? TRUE : FALSE);
        data->m_adaptationStates.push_back(cmsSetAdaptationState(-1));
    }
    data->m_flags = blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0;

    // Link the chain once, unoptimised so that it is cheap, to refuse what
    // LittleCMS cannot link now rather than at the first pixel.
    Signature entry = 0;
    Signature exit = 0;
    ChainSpaces(data->m_handles, entry, exit);
    cmsHTRANSFORM probe =
        data->Build(Words(entry), Words(exit), data->m_flags | cmsFLAGS_NOOPTIMIZE);
    if (probe == nullptr) {
        return nullptr;
    }
    cmsDeleteTransform(probe);
    return data;
}

ColorTransformData::~ColorTransformData() {
    for (const Built& built : m_built) {
        cmsDeleteTransform(built.transform);
    }
}

cmsHTRANSFORM ColorTransformData::Build(cmsUInt32Number inputFormat, cmsUInt32Number outputFormat,
                                        cmsUInt32Number flags) {
    // The same call cmsCreateMultiprofileTransform makes, with the intents
    // per profile: equal requests give the same pixels as LittleCMS itself.
    return cmsCreateExtendedTransform(nullptr, static_cast<cmsUInt32Number>(m_handles.size()),
                                      m_handles.data(), m_blackPointCompensation.data(),
                                      m_intents.data(), m_adaptationStates.data(), nullptr, 0,
                                      inputFormat, outputFormat, flags);
}

cmsHTRANSFORM ColorTransformData::For(cmsUInt32Number inputFormat, cmsUInt32Number outputFormat) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Built& built : m_built) {
        if (built.inputFormat == inputFormat && built.outputFormat == outputFormat) {
            return built.transform;
        }
    }
    cmsHTRANSFORM transform = Build(inputFormat, outputFormat, m_flags);
    if (transform != nullptr) {
        m_built.push_back(Built{inputFormat, outputFormat, transform});
    }
    return transform;
}

HandleRegistry<ColorTransformData>& TransformHandles() {
    // Never destroyed, like the profile registry.
    static auto* registry = new HandleRegistry<ColorTransformData>();
    return *registry;
}

}  // namespace rdz_win32
