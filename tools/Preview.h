// The preview picture: the paints and images of a document, drawn with a
// simple ink-mixing model.
//
// Every ink has a colour at full tint (the L*a*b* of its ink book in the CMS
// database, else the document's RGB) and an opacity (the book's, else 1 for
// an opaque ink and 0 otherwise). Inks are laid on white paper one after the
// other in linear sRGB: a transparent ink filters what is below in proportion
// to its tint, an opaque ink covers it in proportion to its tint (the model
// the CMS database uses for spot inks). Image alpha blends over white.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/kelt_db.h"
#include "formats/InkBooks.h"

namespace rdz::tools {

/// An 8-bit RGB picture, row after row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    Picture() = default;
    Picture(int w, int h, std::uint8_t grey)
        : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, grey) {}
    std::uint8_t* At(int x, int y) {
        return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
};

/// Colours of document inks, and of mixtures of them.
class InkPalette {
  public:
    explicit InkPalette(const rdz::formats::InkBooks& books) : books_(books) {}

    /// Starts a mixture on white paper.
    void Begin(double linear[3]) const { linear[0] = linear[1] = linear[2] = 1.0; }
    /// Lays `tint` (0..1) of `ink` on `linear`.
    void Lay(double linear[3], inkt_t* ink, double tint);
    /// The sRGB bytes of a linear colour blended over white with `alpha`.
    static void Encode(const double linear[3], double alpha, std::uint8_t out[3]);

  private:
    struct Look {
        double linear[3];
        double opacity;
    };
    const Look& LookOf(inkt_t* ink);

    const rdz::formats::InkBooks& books_;
    std::map<inkt_t*, Look> looks_;
};

/// Draws the document `width` pixels wide: one swatch per paint of the paint
/// list (vignettes as gradients of their steps), then every image definition
/// scaled to the width.
Picture DrawDocument(document_object_t* document, InkPalette& palette, int width);

/// The two pictures side by side, top-aligned, on a grey background.
Picture SideBySide(const Picture& left, const Picture& right);

/// Writes the picture as a PNG file to `temporary`; `finalPath` names it in
/// messages. Throws WorkError.
void WritePng(const Picture& picture, const std::string& temporary, const std::string& finalPath);

}  // namespace rdz::tools
