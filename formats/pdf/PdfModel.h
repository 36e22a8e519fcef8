// What reading a PDF remembers for writing it back: the content streams with
// their colour operators, the shadings and the images, each tied to the
// paints or image definitions of the document database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/ColourSpaces.h"
#include "host/kelt_db.h"

namespace rdz::formats::pdf {

/// An operator of a content stream that matters to the colour: the writer
/// replays these to know the colour space in force when it rewrites some
/// colours and keeps others.
struct ColourEvent {
    enum Kind : std::uint8_t {
        Save,          // q
        Restore,       // Q
        SetSpace,      // cs, CS (kept as they are)
        DeviceColour,  // g G k K rg RG
        SpaceColour,   // sc scn SC SCN
        InlineImage,   // BI ... EI
    };
    Kind kind = Save;
    bool stroke = false;
    std::size_t begin = 0;  // the bytes of the operands and the operator
    std::size_t end = 0;
    /// DeviceColour, SpaceColour: the slot of its paint; -1 when the colour
    /// is not one the conversion handles (it stays as it is).
    int slot = -1;
    /// InlineImage: the image's index; -1 when it stays as it is.
    int image = -1;
    /// SpaceColour: the colour space in force, as a cs operand ("/CS0",
    /// "/DeviceGray"), set again before the colour when an earlier rewritten
    /// colour changed the space; and a pattern's name (uncoloured patterns).
    std::string space;
    std::string pattern;
};

/// One content stream (or a page's contents, which may be several streams
/// read as one) and its colour events.
struct ContentUnit {
    std::string where;      // "page 2", "form 14 0 R (page 2)"
    QPDFObjectHandle page;  // a page's contents: the page; null otherwise
    std::vector<QPDFObjectHandle> parts;
    std::vector<std::size_t> partBegins;  // offset of each part in `data`
    std::string data;                     // the decoded content, parts joined by a newline
    QPDFObjectHandle resources;           // the resources the content was read with
    /// Where the content's /Resources entry is: the page, the stream, or the
    /// Type 3 font of a glyph.
    QPDFObjectHandle resourceHolder;
    bool ownResources = false;  // the holder names them itself (not inherited)
    int context = -1;           // kArtwork or a soft mask
    std::vector<ColourEvent> events;
    /// Slots of the initial colour (DeviceGray black), when the content
    /// paints before it sets a fill or stroke colour; -1 otherwise.
    int defaultFill = -1;
    int defaultStroke = -1;
    bool HasEdits() const;
};

/// A shading converted as a vignette.
struct ShadingRecord {
    std::string where;
    QPDFObjectHandle shading;  // the shading dictionary
    int context = -1;          // kArtwork or a soft mask
    int slot = -1;             // the vignette's slot
    /// The function's domain and the bounds between its parts (a stitching
    /// function's; none for one part).
    std::vector<double> domain;
    std::vector<double> bounds;
    /// The function's input at each step, and the number of steps of each
    /// part (the steps of a part run from its start to its end).
    std::vector<double> positions;
    std::vector<int> partSteps;
    int background = -1;  // the Background colour's slot, or -1
};

/// An image (or an Indexed image's colour table) in the document database.
struct ImageRecord {
    std::string where;
    QPDFObjectHandle stream;            // the image XObject; null for an inline image
    QPDFObjectHandle inlineDictionary;  // inline images: the dictionary, keys in full
    std::string inlineText;             // inline images: the dictionary's text
    std::string inlineData;             // inline images: the data as stored
    InkSpacePtr space;
    bool palette = false;         // the definition holds the colour table only
    bool dct = false;             // the image was DCT (JPEG) compressed
    std::size_t storedBytes = 0;  // its stream's size in the file
    ct_def_t* definition = nullptr;
    const cti_image_t* read = nullptr;  // the pixel image as read: another one means converted
};

}  // namespace rdz::formats::pdf
