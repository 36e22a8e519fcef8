#include "platform/cms/ColorInk.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "platform/cms/LcmsHandles.h"
#include "platform/cms/TInk.h"

namespace rdz::cms {

namespace {

/// sRGB (doubles 0..1) to L*a*b* D50; built once, used read-only.
void* SrgbToLab() {
    static TransformHandle transform;
    static std::once_flag once;
    std::call_once(once, [] {
        ProfileHandle srgb(cmsCreate_sRGBProfile());
        ProfileHandle lab(cmsCreateLab4Profile(nullptr));
        transform.reset(cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL,
                                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    });
    return transform.get();
}

void Refuse(std::string* message, const std::string& why) {
    if (message != nullptr)
        *message = why;
}

}  // namespace

std::shared_ptr<TInk> BuildColorInk(const std::string& colorSpace,
                                    const std::vector<double>& values, double opacity,
                                    const char* name, const std::string& book,
                                    std::string* message) {
    const bool calibrator = colorSpace == "calibrator";
    const bool cromOffs = colorSpace == "crom_offs";
    if (!calibrator && !cromOffs) {
        Refuse(message,
               "unknown colour space '" + colorSpace + "' (known: \"crom_offs\", \"calibrator\")");
        return nullptr;
    }
    const std::size_t expected = calibrator ? 3 : 4;
    if (values.size() != expected) {
        Refuse(message, "\"" + colorSpace + "\" takes " + std::to_string(expected) +
                            " values, got " + std::to_string(values.size()));
        return nullptr;
    }
    // The name only labels the ink: a document ink is converted whatever its
    // name holds (a tab or a newline included), never left out for it.
    if (name == nullptr) {
        Refuse(message, "unusable ink name: none given");
        return nullptr;
    }
    if (!std::isfinite(opacity)) {
        Refuse(message, "the opacity is not a number");
        return nullptr;
    }
    bool clamped = false;
    std::vector<double> v(values);
    for (double& component : v) {
        if (!std::isfinite(component)) {
            Refuse(message, "a colour value is not a number");
            return nullptr;
        }
        const double inside = std::clamp(component, 0.0, 1.0);
        clamped = clamped || inside != component;
        component = inside;
    }

    double rgb[3];
    if (calibrator) {
        std::copy(v.begin(), v.end(), rgb);
    } else {
        const double white = v[3];  // 1 - black coverage
        for (int i = 0; i < 3; ++i)
            rgb[i] = v[i] * white;
    }
    void* transform = SrgbToLab();
    if (transform == nullptr) {
        Refuse(message, "LittleCMS could not build the sRGB transform");
        return nullptr;
    }
    cmsCIELab lab{};
    cmsDoTransform(transform, rgb, &lab, 1);

    TInk::Properties ink;
    ink.origin = TInk::Origin::Color;
    ink.book = book;
    ink.name = name;
    ink.lab = {{lab.L, lab.a, lab.b}};
    ink.opacity = std::clamp(opacity, 0.0, 1.0);
    ink.colorSpace = colorSpace;
    ink.sourceValues = values;
    if (message != nullptr) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: sRGB %.4f %.4f %.4f gives L*a*b* %.2f %.2f %.2f%s",
                      colorSpace.c_str(), rgb[0], rgb[1], rgb[2], lab.L, lab.a, lab.b,
                      clamped ? " (values outside 0..1 were clamped)" : "");
        *message = text;
    }
    return std::make_shared<TInk>(std::move(ink));
}

}  // namespace rdz::cms
