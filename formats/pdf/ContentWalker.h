// The walk over a PDF's pages: page contents, Form XObjects, annotation
// appearances, tiling patterns, Type 3 glyphs and the groups of soft masks,
// following the graphics state's colour spaces. Every colour operator in an
// ink space becomes a paint (PaintSlots), every shading and image is read
// (Shadings, Images), and what the writer needs is kept in the catalogue's
// content units.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>

#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "formats/pdf/PdfCatalogue.h"

namespace rdz::formats::pdf {

struct Operation;

class ContentWalker {
  public:
    explicit ContentWalker(PdfCatalogue& catalogue) : c_(catalogue) {}

    /// Walks every page. Throws InputError when the page tree cannot be read.
    void WalkDocument();

  private:
    struct State {
        InkSpacePtr fill, stroke;
        std::string fillName = "/DeviceGray", strokeName = "/DeviceGray";
        bool fillDefault = true, strokeDefault = true;
        int textRender = 0;
    };
    struct Frame {
        int unit = -1;
        int owner = -1;  // the unit whose initial colour a default state is
        int page = 0;
        int depth = 0;
        std::vector<State> stack;
    };

    /// Reads the unit's content and walks it. Leaves the unit without
    /// events (and says why) when its content cannot be read.
    void Walk(int unit, const State& initial, int owner, int page, int depth);
    void Handle(Frame& frame, const Operation& op);

    void Colour(Frame& frame, const Operation& op, bool stroke, int components);
    void SpaceColour(Frame& frame, const Operation& op, bool stroke);
    void SetSpace(Frame& frame, const Operation& op, bool stroke);
    void XObject(Frame& frame, const std::string& name);
    void GraphicsStateDict(Frame& frame, const std::string& name);
    void Font(Frame& frame, const std::string& name);
    void Pattern(Frame& frame, const std::string& name, bool stroke, int slot);
    void Painted(Frame& frame, bool fill, bool stroke);

    /// A unit for a Form-like stream (form, pattern, glyph, appearance,
    /// mask group) in `context`; -1 when it was walked already or is being
    /// walked. `inherited` serves when `holder` (the stream itself when
    /// null; a Type 3 font for its glyphs) names no resources.
    int FormUnit(QPDFObjectHandle stream, QPDFObjectHandle inherited, int context,
                 const std::string& where, QPDFObjectHandle holder = QPDFObjectHandle::newNull());
    /// Walks a stream that starts with its own initial colour (appearance,
    /// pattern cell, mask group).
    void WalkTopLevel(QPDFObjectHandle stream, QPDFObjectHandle inherited, int context, int page,
                      int depth, const std::string& where);

    ContentUnit& Unit(int index) { return c_.units[static_cast<std::size_t>(index)]; }
    std::string Where(const Frame& frame) const;

    PdfCatalogue& c_;
    std::map<std::pair<QPDFObjGen, int>, int> walked_;  // (stream, context) -> unit
    std::set<QPDFObjGen> maskedBoth_;                   // said once: used in both contexts
    std::map<QPDFObjGen, int> masks_;                   // soft-mask dictionary -> context
};

}  // namespace rdz::formats::pdf
