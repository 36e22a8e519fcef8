#include "tools/Preview.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/Errors.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::tools {
using namespace rdz::formats;  // errors, ink books, output files
namespace {

constexpr int kMargin = 8;
constexpr int kSwatchHeight = 18;
constexpr int kGap = 4;
constexpr int kMaxImageHeight = 480;
// Up to this many paints get a swatch line each; more are drawn as tiles.
constexpr std::size_t kMaxListedPaints = 200;
constexpr int kTile = 12;
constexpr int kTileGap = 2;
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

/// The height of an image definition drawn `width` wide (0 when it is empty).
int ScaledHeight(const ct_def_t* definition, int width) {
    if (definition->width <= 0 || definition->height <= 0) {
        return 0;
    }
    const long long h = static_cast<long long>(definition->height) * width / definition->width;
    return static_cast<int>(std::clamp<long long>(h, 1, kMaxImageHeight));
}

/// The height an image takes in the column: a rule above it and gaps.
int ImageBlockHeight(const ct_def_t* definition, int width) {
    return kGap + 1 + ScaledHeight(definition, width) + kGap;
}

/// Tiles in one row of a column `inner` pixels wide.
int TilesPerRow(int inner) {
    return std::max(1, (inner + kTileGap) / (kTile + kTileGap));
}

/// The height of `paints` paints as lines or as tiles.
long long PaintsHeight(std::size_t paints, bool tiles, int inner) {
    if (!tiles) {
        return static_cast<long long>(paints) * (kSwatchHeight + kGap);
    }
    const auto perRow = static_cast<std::size_t>(TilesPerRow(inner));
    return static_cast<long long>((paints + perRow - 1) / perRow) * (kTile + kTileGap);
}

/// How many paints fit in `height` pixels.
std::size_t PaintsWithin(long long height, bool tiles, int inner) {
    if (height <= 0) {
        return 0;
    }
    if (!tiles) {
        return static_cast<std::size_t>(height / (kSwatchHeight + kGap));
    }
    return static_cast<std::size_t>(height / (kTile + kTileGap)) *
           static_cast<std::size_t>(TilesPerRow(inner));
}

/// Fills the rectangle with the paint: a solid's colour, a vignette's steps
/// side by side.
void DrawPaint(Picture& picture, paint_t* paint, InkPalette& palette, int x, int y, int w, int h) {
    if (PAI_get_vignet(paint) != nullptr) {
        const std::vector<paint_t*> steps = rdz::kelt::VignetteSteps(paint);
        for (std::size_t k = 0; k < steps.size(); ++k) {
            std::uint8_t rgb[3];
            SolidColour(steps[k], palette, rgb);
            const int x0 = x + static_cast<int>(k * static_cast<std::size_t>(w) / steps.size());
            const int x1 =
                x + static_cast<int>((k + 1) * static_cast<std::size_t>(w) / steps.size());
            FillRect(picture, x0, y, x1 - x0, h, rgb);
        }
    } else {
        std::uint8_t rgb[3];
        SolidColour(paint, palette, rgb);
        FillRect(picture, x, y, w, h, rgb);
    }
}

/// Draws the image scaled to `width` (ScaledHeight high) from `y`.
void DrawImage(Picture& picture, ct_def_t* definition, InkPalette& palette, int x0, int y,
               int width) {
    if (rdz::kelt::IsExternal(definition)) {
        CT_make_internal(definition);
    }
    cti_image_t* image = CT_internal_handle(definition);
    if (image == nullptr || definition->width <= 0 || definition->height <= 0) {
        return;
    }
    const int planes = CTI_nplanes(image);
    const int inks = std::min(definition->nrInks, planes);
    const bool alpha = definition->hasAlpha != 0 && planes > inks;
    const int h = ScaledHeight(definition, width);
    int w = width;
    if (static_cast<long long>(definition->height) * width / definition->width > h) {
        // Too tall: narrower, at the greatest height.
        w = std::max(1, static_cast<int>(static_cast<long long>(definition->width) * h /
                                         definition->height));
    }
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

PreviewLayout PlanPreview(document_object_t* document, int width) {
    PreviewLayout layout;
    layout.width = std::max(width, 4 * kMargin);
    const int inner = layout.width - 2 * kMargin;
    const std::vector<ct_def_t*> images = rdz::kelt::ImageDefinitions(document);
    layout.totalPaints = rdz::kelt::Paints(document).size();
    layout.totalImages = images.size();
    layout.tiles = layout.totalPaints > kMaxListedPaints;

    const long long room = kMaxPreviewHeight - 2 * kMargin;
    long long imagesHeight = 0;
    for (ct_def_t* definition : images) {
        imagesHeight += ImageBlockHeight(definition, inner);
    }
    long long paintsHeight = PaintsHeight(layout.totalPaints, layout.tiles, inner);
    if (paintsHeight + imagesHeight <= room) {
        layout.paints = layout.totalPaints;
        layout.images = layout.totalImages;
    } else {
        // Paints keep at least half of the room; images take what is left,
        // in document order, as long as each fits whole.
        const long long paintRoom = std::min(paintsHeight, std::max(room / 2, room - imagesHeight));
        layout.paints = std::min(layout.totalPaints, PaintsWithin(paintRoom, layout.tiles, inner));
        paintsHeight = PaintsHeight(layout.paints, layout.tiles, inner);
        imagesHeight = 0;
        for (ct_def_t* definition : images) {
            const int block = ImageBlockHeight(definition, inner);
            if (paintsHeight + imagesHeight + block > room) {
                break;
            }
            imagesHeight += block;
            ++layout.images;
        }
    }
    layout.height = static_cast<int>(2 * kMargin + paintsHeight + imagesHeight);
    return layout;
}

std::string PreviewShortfall(const PreviewLayout& layout) {
    return "The preview shows " + std::to_string(layout.paints) + " of " +
           std::to_string(layout.totalPaints) + " paints and " + std::to_string(layout.images) +
           " of " + std::to_string(layout.totalImages) +
           " images: all of them would make the picture taller than " +
           std::to_string(kMaxPreviewHeight) + " pixels.";
}

Picture DrawDocument(document_object_t* document, InkPalette& palette,
                     const PreviewLayout& layout) {
    const int inner = layout.width - 2 * kMargin;
    const std::vector<paint_t*> paints = rdz::kelt::Paints(document);
    const std::vector<ct_def_t*> images = rdz::kelt::ImageDefinitions(document);
    const std::size_t shownPaints = std::min(layout.paints, paints.size());
    const std::size_t shownImages = std::min(layout.images, images.size());

    Picture picture(layout.width, layout.height, kBackground);
    int y = kMargin;
    if (layout.tiles) {
        const int perRow = TilesPerRow(inner);
        for (std::size_t i = 0; i < shownPaints; ++i) {
            const int column = static_cast<int>(i % static_cast<std::size_t>(perRow));
            const int row = static_cast<int>(i / static_cast<std::size_t>(perRow));
            DrawPaint(picture, paints[i], palette, kMargin + column * (kTile + kTileGap),
                      y + row * (kTile + kTileGap), kTile, kTile);
        }
    } else {
        for (std::size_t i = 0; i < shownPaints; ++i) {
            DrawPaint(picture, paints[i], palette, kMargin,
                      y + static_cast<int>(i) * (kSwatchHeight + kGap), inner, kSwatchHeight);
        }
    }
    y += static_cast<int>(PaintsHeight(shownPaints, layout.tiles, inner));
    for (std::size_t i = 0; i < shownImages; ++i) {
        const std::uint8_t rule[3] = {kRule, kRule, kRule};
        FillRect(picture, kMargin, y + kGap / 2, inner, 1, rule);
        y += kGap + 1;
        // An image that cannot be read leaves its place empty.
        DrawImage(picture, images[i], palette, kMargin, y, inner);
        y += ScaledHeight(images[i], inner) + kGap;
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
