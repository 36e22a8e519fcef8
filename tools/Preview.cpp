#include "tools/Preview.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/kelt/kelt_builder.h"
#include "formats/Errors.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

constexpr int kMargin = 8;
constexpr int kSwatchHeight = 18;
constexpr int kGap = 4;
constexpr int kMaxImageHeight = 480;
constexpr std::uint8_t kBackground = 235;
constexpr std::uint8_t kRule = 190;

double ToLinear(double value) {
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double ToEncoded(double value) {
    value = std::clamp(value, 0.0, 1.0);
    return value <= 0.0031308 ? value * 12.92 : 1.055 * std::pow(value, 1.0 / 2.4) - 0.055;
}

void FillRect(Picture& picture, int x0, int y0, int w, int h, const std::uint8_t rgb[3]) {
    for (int y = std::max(y0, 0); y < std::min(y0 + h, picture.height); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x0 + w, picture.width); ++x) {
            std::memcpy(picture.At(x, y), rgb, 3);
        }
    }
}

/// The colour of a solid paint.
void SolidColour(paint_t* paint, InkPalette& palette, std::uint8_t out[3]) {
    double linear[3];
    palette.Begin(linear);
    for (const rdz::kelt::Amount& amount : rdz::kelt::SolidAmounts(paint)) {
        if (amount.ink != nullptr) {
            palette.Lay(linear, amount.ink, std::clamp(amount.fraction, 0.0, 1.0));
        }
    }
    InkPalette::Encode(linear, 1.0, out);
}

/// Draws the image scaled to `width` from `y`; returns its height.
int DrawImage(Picture& picture, ct_def_t* definition, InkPalette& palette, int x0, int y,
              int width) {
    if (rdz::kelt::IsExternal(definition)) {
        CT_make_internal(definition);
    }
    cti_image_t* image = CT_internal_handle(definition);
    if (image == nullptr || definition->width <= 0 || definition->height <= 0) {
        return 0;
    }
    const int planes = CTI_nplanes(image);
    const int inks = std::min(definition->nrInks, planes);
    const bool alpha = definition->hasAlpha != 0 && planes > inks;
    int w = width;
    int h = static_cast<int>(static_cast<long long>(definition->height) * w / definition->width);
    if (h > kMaxImageHeight) {
        h = kMaxImageHeight;
        w = static_cast<int>(static_cast<long long>(definition->width) * h / definition->height);
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    const std::size_t sourceWidth = static_cast<std::size_t>(definition->width);
    std::vector<std::uint8_t> row(sourceWidth * static_cast<std::size_t>(planes));
    for (int oy = 0; oy < h; ++oy) {
        const int sy = static_cast<int>(static_cast<long long>(oy) * definition->height / h);
        if (CTI_getrow_line_il(image, sy, 0, 0, row.data()) != 0) {
            break;
        }
        for (int ox = 0; ox < w; ++ox) {
            const std::size_t sx = static_cast<std::size_t>(ox) * sourceWidth / w;
            double linear[3];
            palette.Begin(linear);
            for (int p = 0; p < inks; ++p) {
                inkt_t* ink = definition->inks[p];
                const std::uint8_t sample = row[static_cast<std::size_t>(p) * sourceWidth + sx];
                if (ink != nullptr && sample != 0) {
                    palette.Lay(linear, ink, sample / 255.0);
                }
            }
            const double a =
                alpha ? row[static_cast<std::size_t>(inks) * sourceWidth + sx] / 255.0 : 1.0;
            InkPalette::Encode(linear, a, picture.At(x0 + ox, y + oy));
        }
    }
    return h;
}

}  // namespace

const InkPalette::Look& InkPalette::LookOf(inkt_t* ink) {
    const auto found = looks_.find(ink);
    if (found != looks_.end()) {
        return found->second;
    }
    const char* book = "";
    const char* name = "";
    INK_get_group_and_name(ink, &book, &name);
    const BookInk* known = books_.Find(book, name);
    if (known == nullptr && *book == '\0') {
        known = books_.FindByName(name, INK_is_process(ink, nullptr) != 0);
    }
    Look look{};
    double rgb[3];
    if (known != nullptr) {
        const std::array<double, 3> srgb = LabToSrgb(known->lab);
        std::copy(srgb.begin(), srgb.end(), rgb);
        look.opacity = std::clamp(known->opacity, 0.0, 1.0);
    } else {
        float documentRgb[3] = {0.0f, 0.0f, 0.0f};
        INK_get_RGB(ink, documentRgb);
        std::copy(documentRgb, documentRgb + 3, rgb);
        look.opacity = INK_is_opaque(ink) != 0 ? 1.0 : 0.0;
    }
    for (int i = 0; i < 3; ++i) {
        look.linear[i] = ToLinear(std::clamp(rgb[i], 0.0, 1.0));
    }
    return looks_.emplace(ink, look).first->second;
}

void InkPalette::Lay(double linear[3], inkt_t* ink, double tint) {
    const Look& look = LookOf(ink);
    const double o = look.opacity;
    for (int i = 0; i < 3; ++i) {
        const double c = linear[i];
        const double r = look.linear[i];
        linear[i] = (1.0 - o) * c * ((1.0 - tint) + tint * r) + o * (c * (1.0 - tint) + tint * r);
    }
}

void InkPalette::Encode(const double linear[3], double alpha, std::uint8_t out[3]) {
    for (int i = 0; i < 3; ++i) {
        const double over = alpha * linear[i] + (1.0 - alpha);
        out[i] = static_cast<std::uint8_t>(std::lround(ToEncoded(over) * 255.0));
    }
}

Picture DrawDocument(document_object_t* document, InkPalette& palette, int width) {
    const int inner = width - 2 * kMargin;
    const std::vector<paint_t*> paints = rdz::kelt::Paints(document);
    const std::vector<ct_def_t*> images = rdz::kelt::ImageDefinitions(document);

    // Height first: swatches, a rule, then the images at their scaled heights.
    int height = kMargin;
    height += static_cast<int>(paints.size()) * (kSwatchHeight + kGap);
    for (ct_def_t* definition : images) {
        if (definition->width > 0 && definition->height > 0) {
            const long long h =
                static_cast<long long>(definition->height) * inner / definition->width;
            height += static_cast<int>(std::clamp<long long>(h, 1, kMaxImageHeight)) + 2 * kGap + 1;
        }
    }
    height += kMargin;

    Picture picture(width, height, kBackground);
    int y = kMargin;
    for (paint_t* paint : paints) {
        if (PAI_get_vignet(paint) != nullptr) {
            const std::vector<paint_t*> steps = rdz::kelt::VignetteSteps(paint);
            for (std::size_t k = 0; k < steps.size(); ++k) {
                std::uint8_t rgb[3];
                SolidColour(steps[k], palette, rgb);
                const int x0 = kMargin + static_cast<int>(k * inner / steps.size());
                const int x1 = kMargin + static_cast<int>((k + 1) * inner / steps.size());
                FillRect(picture, x0, y, x1 - x0, kSwatchHeight, rgb);
            }
        } else {
            std::uint8_t rgb[3];
            SolidColour(paint, palette, rgb);
            FillRect(picture, kMargin, y, inner, kSwatchHeight, rgb);
        }
        y += kSwatchHeight + kGap;
    }
    for (ct_def_t* definition : images) {
        const std::uint8_t rule[3] = {kRule, kRule, kRule};
        FillRect(picture, kMargin, y + kGap / 2, inner, 1, rule);
        y += kGap + 1;
        y += DrawImage(picture, definition, palette, kMargin, y, inner) + kGap;
    }
    return picture;
}

Picture SideBySide(const Picture& left, const Picture& right) {
    Picture picture(left.width + right.width + kGap, std::max(left.height, right.height), kRule);
    for (int y = 0; y < picture.height; ++y) {
        if (y < left.height) {
            std::memcpy(picture.At(0, y),
                        left.rgb.data() + static_cast<std::size_t>(y) * left.width * 3,
                        static_cast<std::size_t>(left.width) * 3);
        }
        if (y < right.height) {
            std::memcpy(picture.At(left.width + kGap, y),
                        right.rgb.data() + static_cast<std::size_t>(y) * right.width * 3,
                        static_cast<std::size_t>(right.width) * 3);
        }
    }
    return picture;
}

void WritePng(const Picture& picture, const std::string& temporary, const std::string& finalPath) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    const int written =
        png_image_write_to_file(&image, temporary.c_str(), 0, picture.rgb.data(), 0, nullptr);
    const std::string reason = image.message;
    png_image_free(&image);
    if (written == 0) {
        throw WorkError("cannot write '" + finalPath + "': " + reason);
    }
}

}  // namespace rdz::tools
