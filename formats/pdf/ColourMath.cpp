#include "formats/pdf/ColourMath.h"

#include <lcms2.h>

#include <algorithm>

namespace rdz::formats::pdf {
namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

void* SrgbToLabTransform() {
    static const TransformPtr transform = [] {
        ProfilePtr srgb(cmsCreate_sRGBProfile());
        ProfilePtr lab(cmsCreateLab4Profile(nullptr));
        return TransformPtr(cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL,
                                               INTENT_RELATIVE_COLORIMETRIC, 0));
    }();
    return transform.get();
}

void* LabToSrgbTransform() {
    static const TransformPtr transform = [] {
        ProfilePtr srgb(cmsCreate_sRGBProfile());
        ProfilePtr lab(cmsCreateLab4Profile(nullptr));
        return TransformPtr(cmsCreateTransform(lab.get(), TYPE_Lab_DBL, srgb.get(), TYPE_RGB_DBL,
                                               INTENT_RELATIVE_COLORIMETRIC, 0));
    }();
    return transform.get();
}

/// The double format of a profile's colour space, or 0 when not handled.
cmsUInt32Number DoubleFormat(cmsColorSpaceSignature space) {
    switch (space) {
        case cmsSigGrayData:
            return TYPE_GRAY_DBL;
        case cmsSigRgbData:
            return TYPE_RGB_DBL;
        case cmsSigCmykData:
            return TYPE_CMYK_DBL;
        case cmsSigLabData:
            return TYPE_Lab_DBL;
        default:
            return 0;
    }
}

}  // namespace

struct ColourMath::Transforms {
    TransformPtr toLab;
    TransformPtr fromLab;
};

struct ColourMath::Embedded {
    TransformPtr toLab;
    int channels = 0;
    cmsColorSpaceSignature space = cmsSigGrayData;
};

ColourMath::ColourMath() = default;
ColourMath::~ColourMath() = default;

bool ColourMath::SetCmykProfile(const std::vector<unsigned char>& icc) {
    if (icc.empty()) {
        return false;
    }
    ProfilePtr profile(cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
    if (!profile || cmsGetColorSpace(profile.get()) != cmsSigCmykData) {
        return false;
    }
    ProfilePtr lab(cmsCreateLab4Profile(nullptr));
    auto transforms = std::make_unique<Transforms>();
    transforms->toLab.reset(cmsCreateTransform(profile.get(), TYPE_CMYK_DBL, lab.get(),
                                               TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    transforms->fromLab.reset(cmsCreateTransform(lab.get(), TYPE_Lab_DBL, profile.get(),
                                                 TYPE_CMYK_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    if (!transforms->toLab || !transforms->fromLab) {
        return false;
    }
    cmyk_ = std::move(transforms);
    return true;
}

bool ColourMath::HasCmykProfile() const {
    return cmyk_ != nullptr;
}

Lab ColourMath::CmykToLab(const Cmyk& cmyk) const {
    if (cmyk_) {
        // LittleCMS takes CMYK doubles in percent.
        double in[4];
        for (int i = 0; i < 4; ++i) {
            in[i] = std::clamp(cmyk[static_cast<std::size_t>(i)], 0.0, 1.0) * 100.0;
        }
        cmsCIELab lab{};
        cmsDoTransform(cmyk_->toLab.get(), in, &lab, 1);
        return {lab.L, lab.a, lab.b};
    }
    const double white = 1.0 - std::clamp(cmyk[3], 0.0, 1.0);
    std::array<double, 3> rgb{};
    for (std::size_t i = 0; i < 3; ++i) {
        rgb[i] = (1.0 - std::clamp(cmyk[i], 0.0, 1.0)) * white;
    }
    return SrgbToLab(rgb);
}

Cmyk ColourMath::LabToCmyk(const Lab& lab) const {
    cmsCIELab in{lab[0], lab[1], lab[2]};
    if (cmyk_) {
        double out[4] = {0.0, 0.0, 0.0, 0.0};
        cmsDoTransform(cmyk_->fromLab.get(), &in, out, 1);
        return {std::clamp(out[0] / 100.0, 0.0, 1.0), std::clamp(out[1] / 100.0, 0.0, 1.0),
                std::clamp(out[2] / 100.0, 0.0, 1.0), std::clamp(out[3] / 100.0, 0.0, 1.0)};
    }
    double rgb[3] = {1.0, 1.0, 1.0};
    if (void* transform = LabToSrgbTransform()) {
        cmsDoTransform(transform, &in, rgb, 1);
    }
    const double r = std::clamp(rgb[0], 0.0, 1.0), g = std::clamp(rgb[1], 0.0, 1.0),
                 b = std::clamp(rgb[2], 0.0, 1.0);
    const double k = 1.0 - std::max({r, g, b});
    if (k >= 1.0) {
        return {0.0, 0.0, 0.0, 1.0};
    }
    return {(1.0 - r - k) / (1.0 - k), (1.0 - g - k) / (1.0 - k), (1.0 - b - k) / (1.0 - k), k};
}

Lab ColourMath::SrgbToLab(const std::array<double, 3>& rgb) {
    double in[3];
    for (std::size_t i = 0; i < 3; ++i) {
        in[i] = std::clamp(rgb[i], 0.0, 1.0);
    }
    cmsCIELab lab{100.0, 0.0, 0.0};
    if (void* transform = SrgbToLabTransform()) {
        cmsDoTransform(transform, in, &lab, 1);
    }
    return {lab.L, lab.a, lab.b};
}

Lab ColourMath::GrayToLab(double gray) {
    const double g = std::clamp(gray, 0.0, 1.0);
    return SrgbToLab({g, g, g});
}

bool ColourMath::IccToLab(const std::string& icc, const std::vector<double>& values,
                          Lab* lab) const {
    auto found = embedded_.find(icc);
    if (found == embedded_.end()) {
        auto entry = std::make_shared<Embedded>();
        ProfilePtr profile(
            cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
        if (profile) {
            entry->space = cmsGetColorSpace(profile.get());
            const cmsUInt32Number format = DoubleFormat(entry->space);
            if (format != 0) {
                ProfilePtr labProfile(cmsCreateLab4Profile(nullptr));
                entry->toLab.reset(cmsCreateTransform(profile.get(), format, labProfile.get(),
                                                      TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                                      0));
                entry->channels = static_cast<int>(cmsChannelsOf(entry->space));
            }
        }
        found = embedded_.emplace(icc, entry).first;
    }
    const Embedded& embedded = *found->second;
    if (!embedded.toLab || static_cast<int>(values.size()) != embedded.channels) {
        return false;
    }
    double in[4] = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < values.size() && i < 4; ++i) {
        const double v = std::clamp(values[i], 0.0, 1.0);
        // LittleCMS takes CMYK in percent, Lab in its own units; the others 0..1.
        in[i] = embedded.space == cmsSigCmykData ? v * 100.0 : v;
    }
    if (embedded.space == cmsSigLabData) {
        return false;  // an ICC Lab space is read as the Lab family instead
    }
    cmsCIELab out{};
    cmsDoTransform(embedded.toLab.get(), in, &out, 1);
    *lab = {out.L, out.a, out.b};
    return true;
}

}  // namespace rdz::formats::pdf
