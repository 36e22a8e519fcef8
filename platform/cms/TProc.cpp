#include "platform/cms/TProc.h"

#include <lcms2.h>

#include <cstring>
#include <utility>

#include "platform/cms/TInk.h"

TProc::TProc(Properties properties) : p_(std::move(properties)) {}

std::uint32_t TProc::PixelFormat(int bytesPerChannel) const {
    const auto space = static_cast<cmsColorSpaceSignature>(p_.colorSpace);
    std::uint32_t format = COLORSPACE_SH(static_cast<std::uint32_t>(_cmsLCMScolorSpace(space))) |
                           CHANNELS_SH(static_cast<std::uint32_t>(p_.nrChannels)) |
                           BYTES_SH(static_cast<std::uint32_t>(bytesPerChannel));
    // A grey process prints one black ink: 0 means no ink, as for every other
    // process, while ICC grey counts light. The reversed flavour turns one into
    // the other.
    if (space == cmsSigGrayData)
        format |= FLAVOR_SH(1);
    return format;
}

rdz::cms::ProfileHandle TProc::OpenProfile() const {
    return rdz::cms::ProfileHandle(
        cmsOpenProfileFromMem(p_.profile.data(), static_cast<cmsUInt32Number>(p_.profile.size())));
}

bool TProc::SameProfileAs(const TProc& other) const {
    return p_.profile.size() == other.p_.profile.size() &&
           std::memcmp(p_.profile.data(), other.p_.profile.data(), p_.profile.size()) == 0;
}

namespace rdz::cms {

namespace {

std::vector<std::string> UsualChannelNames(cmsColorSpaceSignature space, int nrChannels) {
    switch (space) {
        case cmsSigCmykData:
            return {"Cyan", "Magenta", "Yellow", "Black"};
        case cmsSigCmyData:
            return {"Cyan", "Magenta", "Yellow"};
        case cmsSigRgbData:
            return {"Red", "Green", "Blue"};
        case cmsSigGrayData:
            return {"Black"};
        default: {
            std::vector<std::string> names;
            for (int i = 1; i <= nrChannels; ++i)
                names.push_back("Channel " + std::to_string(i));
            return names;
        }
    }
}

std::vector<std::string> ColorantNames(cmsHPROFILE profile, int nrChannels) {
    std::vector<std::string> names;
    if (!cmsIsTag(profile, cmsSigColorantTableTag))
        return names;
    const auto* list =
        static_cast<const cmsNAMEDCOLORLIST*>(cmsReadTag(profile, cmsSigColorantTableTag));
    if (list == nullptr || cmsNamedColorCount(list) != static_cast<cmsUInt32Number>(nrChannels)) {
        return names;
    }
    for (int i = 0; i < nrChannels; ++i) {
        char name[cmsMAX_PATH] = {0};
        if (!cmsNamedColorInfo(list, static_cast<cmsUInt32Number>(i), name, nullptr, nullptr,
                               nullptr, nullptr) ||
            name[0] == '\0') {
            return {};
        }
        names.emplace_back(name);
    }
    return names;
}

bool IsDeviceSpace(cmsColorSpaceSignature space) {
    switch (space) {
        case cmsSigXYZData:
        case cmsSigLabData:
        case cmsSigLuvData:
        case cmsSigYCbCrData:
        case cmsSigYxyData:
        case cmsSigNamedData:
            return false;
        default:
            return true;
    }
}

}  // namespace

bool InspectProfile(const std::vector<unsigned char>& bytes, ProfileFacts* facts,
                    std::string* error) {
    ProfileHandle profile(
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    if (!profile) {
        *error = "not a valid ICC profile";
        return false;
    }
    const cmsProfileClassSignature profileClass = cmsGetDeviceClass(profile.get());
    if (profileClass == cmsSigLinkClass || profileClass == cmsSigAbstractClass ||
        profileClass == cmsSigNamedColorClass) {
        *error =
            "the ICC profile is a device link, abstract or named-colour profile, not a "
            "process profile";
        return false;
    }
    const cmsColorSpaceSignature space = cmsGetColorSpace(profile.get());
    const int nrChannels = cmsChannelsOfColorSpace(space);
    if (!IsDeviceSpace(space) || nrChannels < 1 || nrChannels > cmsMAXCHANNELS) {
        *error = "the ICC profile has no device channels (its colour space is not one of inks)";
        return false;
    }
    facts->colorSpace = static_cast<std::uint32_t>(space);
    facts->nrChannels = nrChannels;
    facts->channelNames = ColorantNames(profile.get(), nrChannels);
    if (facts->channelNames.empty())
        facts->channelNames = UsualChannelNames(space, nrChannels);

    // The colour of each channel printed alone at full strength; building the
    // transforms also proves that LittleCMS can use the profile either way.
    TProc::Properties probe;
    probe.colorSpace = facts->colorSpace;
    probe.nrChannels = nrChannels;
    const TProc format(std::move(probe));
    ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    TransformHandle toLab(cmsCreateTransform(profile.get(), format.PixelFormat(2), lab.get(),
                                             TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                             cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE));
    if (!toLab) {
        *error = "the ICC profile cannot convert its channels to colours";
        return false;
    }
    TransformHandle fromLab(cmsCreateTransform(lab.get(), TYPE_Lab_DBL, profile.get(),
                                               format.PixelFormat(2), INTENT_RELATIVE_COLORIMETRIC,
                                               cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE));
    facts->usableAsDestination = fromLab != nullptr;
    facts->channelLab.clear();
    for (int c = 0; c < nrChannels; ++c) {
        cmsUInt16Number device[cmsMAXCHANNELS] = {0};
        device[c] = 0xFFFF;
        cmsCIELab colour{};
        cmsDoTransform(toLab.get(), device, &colour, 1);
        facts->channelLab.push_back({{colour.L, colour.a, colour.b}});
    }
    return true;
}

}  // namespace rdz::cms
