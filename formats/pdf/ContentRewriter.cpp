#include "formats/pdf/ContentRewriter.h"

#include <algorithm>

#include "formats/pdf/Images.h"
#include "formats/pdf/OutputSpaces.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

/// zlib's own default level for rewritten content.
constexpr int kContentCompression = -1;

struct Replacement {
    std::size_t begin;
    std::size_t end;
    std::string text;
};

/// Applies the replacements lying in [from, to) of `data`.
std::string Apply(const std::string& data, std::size_t from, std::size_t to,
                  const std::vector<Replacement>& replacements) {
    std::string out;
    out.reserve(to - from + 256);
    std::size_t at = from;
    for (const Replacement& r : replacements) {
        if (r.begin < from || r.begin > to || (r.end > to)) {
            continue;
        }
        out.append(data, at, r.begin - at);
        out += r.text;
        at = r.end;
    }
    out.append(data, at, to - at);
    return out;
}

void Replace(QPDFObjectHandle stream, const std::string& content) {
    FlateWriter flate(kContentCompression);
    flate.Write(content);
    stream.replaceStreamData(flate.Finish(), QPDFObjectHandle::newName("/FlateDecode"),
                             QPDFObjectHandle::newNull());
}

}  // namespace

int RewriteUnit(PdfCatalogue& c, ContentUnit& unit, const std::vector<paint_t*>& paints,
                OutputSpaces& spaces) {
    if (unit.data.empty()) {
        return 0;
    }
    auto changed = [&](int slot) -> paint_t* {
        if (slot < 0) {
            return nullptr;
        }
        paint_t* paint = paints[static_cast<std::size_t>(slot)];
        return c.slots.Changed(paint) ? paint : nullptr;
    };
    std::vector<Replacement> replacements;
    int count = 0;
    // Whether the space in force differs from the original's, per graphics
    // state level: [0] fill, [1] stroke.
    struct Differs {
        bool space[2] = {false, false};
    };
    std::vector<Differs> stack(1);

    std::string prefix;
    for (int stroke = 0; stroke < 2; ++stroke) {
        if (paint_t* paint = changed(stroke == 0 ? unit.defaultFill : unit.defaultStroke)) {
            prefix += spaces.Operator(unit, rdz::kelt::SolidAmounts(paint), stroke == 1, "") + "\n";
            stack.back().space[stroke] = true;
        }
    }
    if (!prefix.empty()) {
        replacements.push_back({0, 0, prefix});
    }
    for (const ColourEvent& event : unit.events) {
        bool& differs = stack.back().space[event.stroke ? 1 : 0];
        switch (event.kind) {
            case ColourEvent::Save:
                stack.push_back(stack.back());
                break;
            case ColourEvent::Restore:
                if (stack.size() > 1) {
                    stack.pop_back();
                }
                break;
            case ColourEvent::SetSpace:
                differs = false;
                break;
            case ColourEvent::DeviceColour:
            case ColourEvent::SpaceColour:
                if (paint_t* paint = changed(event.slot)) {
                    replacements.push_back({event.begin, event.end,
                                            spaces.Operator(unit, rdz::kelt::SolidAmounts(paint),
                                                            event.stroke, event.pattern)});
                    differs = true;
                    ++count;
                } else if (event.kind == ColourEvent::SpaceColour && differs) {
                    // The colour stays, in the space the original had here.
                    replacements.push_back({event.begin, event.begin,
                                            QPDFObjectHandle::newName(event.space).unparse() +
                                                (event.stroke ? " CS " : " cs ")});
                    differs = false;
                } else {
                    differs = false;
                }
                break;
            case ColourEvent::InlineImage: {
                const std::string text = InlineImageText(
                    c, spaces, unit, c.images[static_cast<std::size_t>(event.image)]);
                if (!text.empty()) {
                    replacements.push_back({event.begin, event.end, text});
                    ++count;
                }
                break;
            }
        }
    }
    if (replacements.empty()) {
        return 0;
    }
    const std::size_t parts = unit.parts.size();
    auto partOf = [&](std::size_t offset) {
        std::size_t p = 0;
        while (p + 1 < parts && unit.partBegins[p + 1] <= offset) {
            ++p;
        }
        return p;
    };
    bool spans = false;
    for (const Replacement& r : replacements) {
        spans = spans || (r.end > r.begin && partOf(r.begin) != partOf(r.end - 1));
    }
    if (parts > 1 && spans) {
        // One stream for the whole page.
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(c.qpdf.get());
        Replace(stream, Apply(unit.data, 0, unit.data.size(), replacements));
        unit.page.replaceKey("/Contents", stream);
        return count;
    }
    for (std::size_t p = 0; p < parts; ++p) {
        const std::size_t from = unit.partBegins[p];
        const std::size_t to = (p + 1 < parts ? unit.partBegins[p + 1] : unit.data.size()) - 1;
        std::vector<Replacement> mine;
        for (const Replacement& r : replacements) {
            if (partOf(r.begin) == p && (r.end == r.begin || partOf(r.end - 1) == p)) {
                mine.push_back(r);
            }
        }
        if (!mine.empty()) {
            Replace(unit.parts[p], Apply(unit.data, from, to, mine));
        }
    }
    return count;
}

}  // namespace rdz::formats::pdf
