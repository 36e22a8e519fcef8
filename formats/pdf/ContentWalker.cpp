#include "formats/pdf/ContentWalker.h"

#include <qpdf/QPDFExc.hh>

#include "formats/Errors.h"
#include "formats/pdf/ContentTokens.h"
#include "formats/pdf/Images.h"
#include "formats/pdf/PdfObjects.h"
#include "formats/pdf/Shadings.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxStateDepth = 4096;

ColourEvent Event(ColourEvent::Kind kind, bool stroke, const Operation& op) {
    ColourEvent event;
    event.kind = kind;
    event.stroke = stroke;
    event.begin = op.begin;
    event.end = op.end;
    return event;
}

bool AllNumbers(const Operation& op, std::size_t count) {
    if (op.operands.size() != count) {
        return false;
    }
    for (const Operand& operand : op.operands) {
        if (!operand.IsNumber()) {
            return false;
        }
    }
    return true;
}

/// The resources of a page, inherited from the page tree when the page has
/// none of its own.
QPDFObjectHandle PageResources(QPDFObjectHandle page) {
    QPDFObjectHandle node = page;
    for (int depth = 0; depth < 64 && node.isDictionary(); ++depth) {
        QPDFObjectHandle resources = node.getKey("/Resources");
        if (resources.isDictionary()) {
            return resources;
        }
        node = node.getKey("/Parent");
    }
    return QPDFObjectHandle::newNull();
}

/// The painting operators that use the fill or the stroke colour.
bool FillsPath(const std::string& op) {
    return op == "f" || op == "F" || op == "f*" || op == "B" || op == "B*" || op == "b" ||
           op == "b*";
}
bool StrokesPath(const std::string& op) {
    return op == "S" || op == "s" || op == "B" || op == "B*" || op == "b" || op == "b*";
}
bool ShowsText(const std::string& op) {
    return op == "Tj" || op == "TJ" || op == "'" || op == "\"";
}

}  // namespace

std::string ContentWalker::Where(const Frame& frame) const {
    return c_.units[static_cast<std::size_t>(frame.unit)].where;
}

void ContentWalker::WalkDocument() {
    std::vector<QPDFObjectHandle> pages;
    try {
        pages = c_.qpdf->getAllPages();
    } catch (const std::exception& e) {
        throw InputError(c_.file + ": the page tree cannot be read: " + e.what());
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int page = static_cast<int>(i) + 1;
        QPDFObjectHandle pageObject = pages[i];
        c_.slots.PageLayer(page);
        ContentUnit unit;
        unit.where = "page " + std::to_string(page);
        unit.page = pageObject;
        unit.resources = PageResources(pageObject);
        unit.resourceHolder = pageObject;
        unit.ownResources = true;
        unit.context = kArtwork;
        QPDFObjectHandle contents = pageObject.getKey("/Contents");
        if (contents.isStream()) {
            unit.parts.push_back(contents);
        } else if (contents.isArray()) {
            for (int k = 0; k < contents.getArrayNItems(); ++k) {
                if (contents.getArrayItem(k).isStream()) {
                    unit.parts.push_back(contents.getArrayItem(k));
                }
            }
        }
        if (!unit.parts.empty()) {
            c_.units.push_back(std::move(unit));
            const int index = static_cast<int>(c_.units.size()) - 1;
            Walk(index, State(), index, page, 0);
        }
        // Annotation appearances start with their own initial colour.
        QPDFObjectHandle annots = pageObject.getKey("/Annots");
        if (!annots.isArray()) {
            continue;
        }
        for (int a = 0; a < annots.getArrayNItems(); ++a) {
            QPDFObjectHandle appearances = KeyOf(annots.getArrayItem(a), "/AP");
            if (!appearances.isDictionary()) {
                continue;
            }
            for (const char* key : {"/N", "/R", "/D"}) {
                QPDFObjectHandle entry = appearances.getKey(key);
                std::vector<QPDFObjectHandle> streams;
                if (entry.isStream()) {
                    streams.push_back(entry);
                } else if (entry.isDictionary()) {
                    for (auto& state : entry.ditems()) {
                        if (state.second.isStream()) {
                            streams.push_back(state.second);
                        }
                    }
                }
                for (QPDFObjectHandle& stream : streams) {
                    WalkTopLevel(stream, QPDFObjectHandle::newNull(), kArtwork, page, 1,
                                 "annotation appearance " + ReferenceOf(stream) + " (page " +
                                     std::to_string(page) + ")");
                }
            }
        }
    }
}

int ContentWalker::FormUnit(QPDFObjectHandle stream, QPDFObjectHandle inherited, int context,
                            const std::string& where, QPDFObjectHandle holder) {
    if (!stream.isStream()) {
        return -1;
    }
    const QPDFObjGen id = stream.getObjGen();
    if (walked_.count({id, context}) != 0) {
        return -1;
    }
    // A stream used both as artwork and inside a soft mask is written once:
    // as artwork, converted.
    bool both = false;
    for (const auto& entry : walked_) {
        if (entry.first.first == id && (entry.first.second == kArtwork) != (context == kArtwork)) {
            both = true;
        }
    }
    if (both && maskedBoth_.insert(id).second) {
        c_.notes.Warn(where +
                      " is used both inside a soft mask and outside it: it is converted as "
                      "artwork in both places");
    }
    ContentUnit unit;
    unit.where = where;
    unit.parts.push_back(stream);
    unit.resourceHolder = holder.isNull() ? stream : holder;
    QPDFObjectHandle own = KeyOf(unit.resourceHolder, "/Resources");
    unit.ownResources = own.isDictionary();
    unit.resources = unit.ownResources ? own : inherited;
    unit.context = context;
    c_.units.push_back(std::move(unit));
    const int index = static_cast<int>(c_.units.size()) - 1;
    walked_[{id, context}] = index;
    return index;
}

void ContentWalker::WalkTopLevel(QPDFObjectHandle stream, QPDFObjectHandle inherited, int context,
                                 int page, int depth, const std::string& where) {
    if (depth > kMaxDepth) {
        return;
    }
    const int unit = FormUnit(stream, inherited, context, where);
    if (unit >= 0) {
        Walk(unit, State(), unit, page, depth);
    }
}

void ContentWalker::Walk(int index, const State& initial, int owner, int page, int depth) {
    {
        ContentUnit& unit = Unit(index);
        try {
            for (std::size_t p = 0; p < unit.parts.size(); ++p) {
                unit.partBegins.push_back(unit.data.size());
                const std::size_t left = kMaxContentBytes - unit.data.size();
                unit.data += DecodeStream(unit.parts[p], left);
                unit.data += '\n';
            }
            // Read once without acting, so that a stream that turns out to
            // be unreadable half-way leaves nothing behind.
            ScanContent(unit.data, [](const Operation&) {});
        } catch (const ContentError& e) {
            c_.notes.Warn("the content of " + unit.where + " cannot be read (" + e.what() +
                          "): it is left as it is");
            unit.data.clear();
            unit.partBegins.clear();
            return;
        }
    }
    Frame frame;
    frame.unit = index;
    frame.owner = owner;
    frame.page = page;
    frame.depth = depth;
    frame.stack.push_back(initial);
    // Units are kept in a deque: walking nested streams adds units without
    // moving this one.
    const std::string& data = Unit(index).data;
    ScanContent(data, [&](const Operation& op) { Handle(frame, op); });
    ContentUnit& unit = Unit(index);
    if (!unit.HasEdits()) {
        unit.data.clear();
        unit.data.shrink_to_fit();
        unit.events.clear();
        unit.events.shrink_to_fit();
    }
}

void ContentWalker::Handle(Frame& frame, const Operation& op) {
    const std::string& o = op.op;
    State& state = frame.stack.back();
    ContentUnit& unit = Unit(frame.unit);
    if (o == "q") {
        if (frame.stack.size() < kMaxStateDepth) {
            frame.stack.push_back(state);
        }
        unit.events.push_back(Event(ColourEvent::Save, false, op));
    } else if (o == "Q") {
        if (frame.stack.size() > 1) {
            frame.stack.pop_back();
        }
        unit.events.push_back(Event(ColourEvent::Restore, false, op));
    } else if (o == "cs" || o == "CS") {
        SetSpace(frame, op, o == "CS");
    } else if (o == "g" || o == "G") {
        Colour(frame, op, o == "G", 1);
    } else if (o == "k" || o == "K") {
        Colour(frame, op, o == "K", 4);
    } else if (o == "rg" || o == "RG") {
        Colour(frame, op, o == "RG", 3);
    } else if (o == "sc" || o == "scn" || o == "SC" || o == "SCN") {
        SpaceColour(frame, op, o == "SC" || o == "SCN");
    } else if (o == "sh") {
        if (op.operands.size() == 1 && op.operands[0].type == QPDFTokenizer::tt_name) {
            QPDFObjectHandle shading =
                KeyOf(KeyOf(unit.resources, "/Shading"), op.operands[0].value.c_str());
            ReadShading(c_, shading, unit.resources, unit.context, frame.page,
                        "shading " + op.operands[0].value + " of " + Where(frame));
        }
    } else if (o == "Do") {
        if (op.operands.size() == 1 && op.operands[0].type == QPDFTokenizer::tt_name) {
            XObject(frame, op.operands[0].value);
        }
    } else if (o == "gs") {
        if (op.operands.size() == 1 && op.operands[0].type == QPDFTokenizer::tt_name) {
            GraphicsStateDict(frame, op.operands[0].value);
        }
    } else if (o == "Tf") {
        if (!op.operands.empty() && op.operands[0].type == QPDFTokenizer::tt_name) {
            Font(frame, op.operands[0].value);
        }
    } else if (o == "Tr") {
        if (op.operands.size() == 1 && op.operands[0].IsNumber()) {
            state.textRender = static_cast<int>(op.operands[0].Number());
        }
    } else if (o == "BI") {
        const std::string where = "inline image of " + Where(frame);
        ImageUse use = ReadInlineImage(c_, op, unit.resources, unit.context, frame.page, where);
        if (use.stencil) {
            Painted(frame, true, false);
        }
        if (use.image >= 0) {
            ColourEvent event = Event(ColourEvent::InlineImage, false, op);
            event.image = use.image;
            Unit(frame.unit).events.push_back(event);
        }
    } else if (FillsPath(o) || StrokesPath(o)) {
        Painted(frame, FillsPath(o), StrokesPath(o));
    } else if (ShowsText(o)) {
        const int mode = state.textRender;
        const bool fill = mode == 0 || mode == 2 || mode == 4 || mode == 6;
        const bool stroke = mode == 1 || mode == 2 || mode == 5 || mode == 6;
        Painted(frame, fill, stroke);
    }
}

void ContentWalker::Painted(Frame& frame, bool fill, bool stroke) {
    State& state = frame.stack.back();
    ContentUnit& owner = Unit(frame.owner);
    if ((fill && state.fillDefault && owner.defaultFill < 0) ||
        (stroke && state.strokeDefault && owner.defaultStroke < 0)) {
        // The initial colour, DeviceGray black, is 100% black ink.
        const std::vector<rdz::kelt::Amount> black{{c_.inks.Process(3), 1.0, 1}};
        const int slot = c_.slots.Solid(black, owner.context, frame.page);
        if (fill && state.fillDefault) {
            owner.defaultFill = slot;
        }
        if (stroke && state.strokeDefault) {
            owner.defaultStroke = slot;
        }
    }
}

void ContentWalker::SetSpace(Frame& frame, const Operation& op, bool stroke) {
    if (op.operands.size() != 1 || op.operands[0].type != QPDFTokenizer::tt_name) {
        return;
    }
    State& state = frame.stack.back();
    ContentUnit& unit = Unit(frame.unit);
    InkSpacePtr space = c_.spaces.Resolve(QPDFObjectHandle::newName(op.operands[0].value),
                                          unit.resources, false, Where(frame));
    (stroke ? state.stroke : state.fill) = space;
    (stroke ? state.strokeName : state.fillName) = op.operands[0].value;
    (stroke ? state.strokeDefault : state.fillDefault) = false;
    unit.events.push_back(Event(ColourEvent::SetSpace, stroke, op));
}

void ContentWalker::Colour(Frame& frame, const Operation& op, bool stroke, int components) {
    if (!AllNumbers(op, static_cast<std::size_t>(components))) {
        return;
    }
    State& state = frame.stack.back();
    InkSpacePtr space = c_.spaces.Device(components);
    (stroke ? state.stroke : state.fill) = space;
    (stroke ? state.strokeName : state.fillName) = components == 4   ? "/DeviceCMYK"
                                                   : components == 1 ? "/DeviceGray"
                                                                     : "/DeviceRGB";
    (stroke ? state.strokeDefault : state.fillDefault) = false;
    ContentUnit& unit = Unit(frame.unit);
    ColourEvent event = Event(ColourEvent::DeviceColour, stroke, op);
    std::vector<double> values;
    for (const Operand& operand : op.operands) {
        values.push_back(operand.Number());
    }
    std::vector<rdz::kelt::Amount> amounts;
    if (ColourAmounts(*space, values, amounts)) {
        event.slot = c_.slots.Solid(amounts, unit.context, frame.page);
    } else if (space->family == InkSpace::Other) {
        c_.notes.Left("colour", space->kind, Where(frame));
    }
    unit.events.push_back(event);
}

void ContentWalker::SpaceColour(Frame& frame, const Operation& op, bool stroke) {
    State& state = frame.stack.back();
    InkSpacePtr space = stroke ? state.stroke : state.fill;
    if (!space) {
        space = c_.spaces.Device(1);  // the initial colour space
    }
    std::vector<double> values;
    std::string pattern;
    for (std::size_t i = 0; i < op.operands.size(); ++i) {
        const Operand& operand = op.operands[i];
        if (operand.IsNumber()) {
            values.push_back(operand.Number());
        } else if (operand.type == QPDFTokenizer::tt_name && i + 1 == op.operands.size() &&
                   (op.op == "scn" || op.op == "SCN")) {
            pattern = operand.value;
        } else {
            return;
        }
    }
    (stroke ? state.strokeDefault : state.fillDefault) = false;
    ContentUnit& unit = Unit(frame.unit);
    ColourEvent event = Event(ColourEvent::SpaceColour, stroke, op);
    event.space = stroke ? state.strokeName : state.fillName;
    event.pattern = pattern;
    std::vector<rdz::kelt::Amount> amounts;
    if (space->family == InkSpace::Pattern) {
        // An uncoloured pattern's colour is in the base space; a coloured
        // pattern or a shading pattern brings its own colours.
        int slot = -1;
        if (space->base && !values.empty() && ColourAmounts(*space, values, amounts)) {
            slot = c_.slots.Solid(amounts, unit.context, frame.page);
        } else if (space->base && !values.empty() && space->base->family == InkSpace::Other) {
            c_.notes.Left("colour", space->base->kind, Where(frame));
        }
        event.slot = slot;
        unit.events.push_back(event);
        if (!pattern.empty()) {
            Pattern(frame, pattern, stroke, slot);
        }
        return;
    }
    if (!pattern.empty()) {
        return;
    }
    if (ColourAmounts(*space, values, amounts)) {
        event.slot = c_.slots.Solid(amounts, unit.context, frame.page);
    } else if (space->family == InkSpace::Other) {
        c_.notes.Left("colour", space->kind, Where(frame));
    } else if (space->family == InkSpace::Indexed && space->base &&
               space->base->family == InkSpace::Other) {
        c_.notes.Left("colour", "Indexed " + space->base->kind, Where(frame));
    }
    unit.events.push_back(event);
}

void ContentWalker::Pattern(Frame& frame, const std::string& name, bool stroke, int slot) {
    (void)stroke;
    ContentUnit& unit = Unit(frame.unit);
    QPDFObjectHandle pattern = KeyOf(KeyOf(unit.resources, "/Pattern"), name.c_str());
    const int type = IntegerOf(KeyOf(pattern, "/PatternType"), 0);
    const std::string where =
        "pattern " + name + " " + ReferenceOf(pattern) + " (" + Where(frame) + ")";
    if (type == 2) {
        ReadShading(c_, KeyOf(pattern, "/Shading"), unit.resources, unit.context, frame.page,
                    "shading of " + where);
        return;
    }
    // Uncoloured tiling patterns take their colour from the operator (the
    // slot above); their cells set none. Coloured ones are walked.
    if (type == 1 && pattern.isStream() && IntegerOf(KeyOf(pattern, "/PaintType"), 1) == 1 &&
        slot < 0) {
        WalkTopLevel(pattern, unit.resources, unit.context, frame.page, frame.depth + 1, where);
    }
}

void ContentWalker::XObject(Frame& frame, const std::string& name) {
    ContentUnit& unit = Unit(frame.unit);
    QPDFObjectHandle xobject = KeyOf(KeyOf(unit.resources, "/XObject"), name.c_str());
    if (!xobject.isStream()) {
        return;
    }
    const std::string subtype = NameOf(KeyOf(xobject, "/Subtype"));
    if (subtype == "/Image") {
        const std::string where =
            "image " + name + " " + ReferenceOf(xobject) + " (" + Where(frame) + ")";
        const ImageUse use =
            ReadImage(c_, xobject, unit.resources, unit.context, frame.page, where);
        if (use.stencil) {
            Painted(frame, true, false);
        }
        return;
    }
    if (subtype != "/Form" || frame.depth >= kMaxDepth) {
        return;
    }
    const std::string where =
        "form " + name + " " + ReferenceOf(xobject) + " (" + Where(frame) + ")";
    const int form = FormUnit(xobject, unit.resources, unit.context, where);
    if (form >= 0) {
        // A form starts with the graphics state of the caller.
        Walk(form, frame.stack.back(), frame.owner, frame.page, frame.depth + 1);
    }
}

void ContentWalker::GraphicsStateDict(Frame& frame, const std::string& name) {
    ContentUnit& unit = Unit(frame.unit);
    QPDFObjectHandle state = KeyOf(KeyOf(unit.resources, "/ExtGState"), name.c_str());
    QPDFObjectHandle mask = KeyOf(state, "/SMask");
    if (!mask.isDictionary() || frame.depth >= kMaxDepth) {
        return;
    }
    QPDFObjectHandle group = mask.getKey("/G");
    if (!group.isStream()) {
        return;
    }
    const QPDFObjGen id = group.getObjGen();
    auto found = masks_.find(id);
    if (found == masks_.end()) {
        const std::string label = "soft mask " + ReferenceOf(group);
        found = masks_.emplace(id, c_.slots.NewMask(frame.page, label)).first;
    }
    // The group paints the mask with its own initial colour.
    WalkTopLevel(group, unit.resources, found->second, frame.page, frame.depth + 1,
                 "soft mask group " + ReferenceOf(group) + " (" + Where(frame) + ")");
}

void ContentWalker::Font(Frame& frame, const std::string& name) {
    ContentUnit& unit = Unit(frame.unit);
    QPDFObjectHandle font = KeyOf(KeyOf(unit.resources, "/Font"), name.c_str());
    if (NameOf(KeyOf(font, "/Subtype")) != "/Type3" || frame.depth >= kMaxDepth) {
        return;
    }
    QPDFObjectHandle procs = KeyOf(font, "/CharProcs");
    if (!procs.isDictionary()) {
        return;
    }
    for (auto& glyph : procs.ditems()) {
        const std::string where = "glyph " + glyph.first + " of font " + name + " " +
                                  ReferenceOf(font) + " (" + Where(frame) + ")";
        const int glyphUnit = FormUnit(glyph.second, unit.resources, unit.context, where, font);
        if (glyphUnit >= 0) {
            // Glyphs paint with the colour of the text that shows them.
            Walk(glyphUnit, frame.stack.back(), frame.owner, frame.page, frame.depth + 1);
        }
    }
}

bool ContentUnit::HasEdits() const {
    if (defaultFill >= 0 || defaultStroke >= 0) {
        return true;
    }
    for (const ColourEvent& event : events) {
        if (event.slot >= 0 || event.image >= 0) {
            return true;
        }
    }
    return false;
}

}  // namespace rdz::formats::pdf
