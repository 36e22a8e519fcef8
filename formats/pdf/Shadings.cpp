#include "formats/pdf/Shadings.h"

#include <algorithm>
#include <cmath>

#include "formats/pdf/Functions.h"
#include "formats/pdf/OutputSpaces.h"
#include "formats/pdf/PdfObjects.h"

namespace rdz::formats::pdf {
namespace {

constexpr int kMaxSteps = 2048;

const char* ShadingKind(int type) {
    switch (type) {
        case 1:
            return "function-based";
        case 4:
            return "free-form triangle mesh";
        case 5:
            return "lattice-form triangle mesh";
        case 6:
            return "Coons patch mesh";
        case 7:
            return "tensor-product patch mesh";
        default:
            return "unknown";
    }
}

/// How many intervals a part of the colour function is sampled in.
int Intervals(const std::vector<double>& start, const std::vector<double>& end, double exponent) {
    double delta = 0.0;
    for (std::size_t i = 0; i < start.size() && i < end.size(); ++i) {
        delta = std::max(delta, std::fabs(end[i] - start[i]));
    }
    if (exponent == 1.0) {
        return std::clamp(static_cast<int>(std::ceil(delta * 128.0)), 1, 128);
    }
    return std::clamp(static_cast<int>(std::ceil(delta * 255.0)), 4, 255);
}

/// The exponent of a Type 2 function, the largest distance from 1 among the
/// parts of a list; NaN when a part is not Type 2.
double Exponent(const PdfFunction& function) {
    if (function.Type() == 2) {
        return static_cast<const ExponentialFunction&>(function).Exponent();
    }
    return std::nan("");
}

QPDFObjectHandle Numbers(const std::vector<double>& values) {
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    for (double v : values) {
        array.appendItem(QPDFObjectHandle::newReal(PdfNumber(v)));
    }
    return array;
}

/// A stitching function over [low, high] of linear pieces between
/// consecutive step colours.
QPDFObjectHandle Pieces(const std::vector<std::vector<double>>& colours,
                        const std::vector<double>& positions, std::size_t first,
                        std::size_t count) {
    QPDFObjectHandle functions = QPDFObjectHandle::newArray();
    std::vector<double> bounds;
    std::vector<double> encode;
    for (std::size_t i = first; i + 1 < first + count; ++i) {
        QPDFObjectHandle piece = QPDFObjectHandle::newDictionary();
        piece.replaceKey("/FunctionType", QPDFObjectHandle::newInteger(2));
        piece.replaceKey("/Domain", Numbers({0.0, 1.0}));
        piece.replaceKey("/C0", Numbers(colours[i]));
        piece.replaceKey("/C1", Numbers(colours[i + 1]));
        piece.replaceKey("/N", QPDFObjectHandle::newInteger(1));
        functions.appendItem(piece);
        if (i > first) {
            bounds.push_back(positions[i]);
        }
        encode.push_back(0.0);
        encode.push_back(1.0);
    }
    QPDFObjectHandle stitching = QPDFObjectHandle::newDictionary();
    stitching.replaceKey("/FunctionType", QPDFObjectHandle::newInteger(3));
    stitching.replaceKey("/Domain", Numbers({positions[first], positions[first + count - 1]}));
    stitching.replaceKey("/Functions", functions);
    stitching.replaceKey("/Bounds", Numbers(bounds));
    stitching.replaceKey("/Encode", Numbers(encode));
    return stitching;
}

}  // namespace

void ReadShading(PdfCatalogue& c, QPDFObjectHandle shading, QPDFObjectHandle resources, int context,
                 int page, const std::string& where) {
    if (!shading.isDictionary() && !shading.isStream()) {
        return;
    }
    // Each shading is read once per context (warnings included).
    if (shading.isIndirect()) {
        if (!c.shadingsSeen.insert({shading.getObjGen(), context}).second) {
            return;
        }
    } else {
        for (const ShadingRecord& record : c.shadings) {
            if (record.context == context && record.shading.isSameObjectAs(shading)) {
                return;
            }
        }
    }
    const std::string name = where + (shading.isIndirect() ? " " + ReferenceOf(shading) : "");
    const int type = IntegerOf(KeyOf(shading, "/ShadingType"), 0);
    InkSpacePtr space = c.spaces.Resolve(KeyOf(shading, "/ColorSpace"), resources, false, name);
    if (space->family == InkSpace::Other) {
        c.notes.Left("shading", space->kind, where);
        return;
    }
    if (!space->HasInks()) {
        c.notes.Warn(name + " is left as it is: " +
                     (space->fault.empty() ? "its colour space has no inks" : space->fault));
        return;
    }
    if ((type != 2 && type != 3) || !shading.isDictionary()) {
        c.notes.Warn(name + " (type " + std::to_string(type) + ", " + ShadingKind(type) +
                     ") is left as it is: only axial and radial shadings are converted");
        return;
    }
    std::unique_ptr<PdfFunction> function;
    try {
        function = PdfFunction::ParseList(KeyOf(shading, "/Function"));
    } catch (const FunctionError& e) {
        c.notes.Warn(name + " is left as it is: its function cannot be read (" + e.what() + ")");
        return;
    }
    // The parts of the function, each sampled on its own.
    struct Part {
        const PdfFunction* function;  // null: the whole function
        double low, high, exponent;
    };
    std::vector<Part> parts;
    ShadingRecord record;
    record.where = name;
    record.shading = shading;
    record.context = context;
    record.domain = function->Domain();
    const auto* stitching = dynamic_cast<const StitchingFunction*>(function.get());
    if (function->Type() == 2) {
        parts.push_back({nullptr, record.domain[0], record.domain[1], Exponent(*function)});
    } else if (stitching != nullptr) {
        record.bounds = stitching->Bounds();
        for (std::size_t i = 0; i < stitching->Parts().size(); ++i) {
            const double low = i == 0 ? record.domain[0] : record.bounds[i - 1];
            const double high = i == record.bounds.size() ? record.domain[1] : record.bounds[i];
            parts.push_back(
                {stitching->Parts()[i].get(), low, high, Exponent(*stitching->Parts()[i])});
        }
    } else if (function->Type() == -1) {
        // One exponential function per component: sampled as one part.
        double exponent = 1.0;
        QPDFObjectHandle list = KeyOf(shading, "/Function");
        for (int i = 0; i < list.getArrayNItems(); ++i) {
            QPDFObjectHandle item = list.getArrayItem(i);
            QPDFObjectHandle n = KeyOf(item, "/N");
            if (IntegerOf(KeyOf(item, "/FunctionType"), 0) != 2) {
                exponent = std::nan("");
                break;
            }
            if (n.isNumber() && n.getNumericValue() != 1.0) {
                exponent = 2.0;
            }
        }
        parts.push_back({nullptr, record.domain[0], record.domain[1], exponent});
    } else {
        parts.push_back({nullptr, 0.0, 0.0, std::nan("")});
    }
    for (const Part& part : parts) {
        if (std::isnan(part.exponent)) {
            c.notes.Warn(name +
                         " is left as it is: only exponential functions and stitchings "
                         "of them are converted (its function is of type " +
                         std::to_string(function->Type()) + ")");
            return;
        }
    }
    for (const Part& part : parts) {
        if (!(part.high > part.low)) {
            c.notes.Warn(name + " is left as it is: its function has a part of no width");
            return;
        }
    }
    auto evaluate = [&](const Part& part, double t) {
        if (part.function == nullptr) {
            return function->Evaluate({t});
        }
        const std::size_t index = static_cast<std::size_t>(&part - parts.data());
        return part.function->Evaluate({stitching->PartInput(index, t)});
    };
    std::vector<std::vector<rdz::kelt::Amount>> steps;
    try {
        std::vector<int> intervals;
        int total = 0;
        for (const Part& part : parts) {
            intervals.push_back(
                Intervals(evaluate(part, part.low), evaluate(part, part.high), part.exponent));
            total += intervals.back() + 1;
        }
        for (std::size_t p = 0; p < parts.size(); ++p) {
            int n = intervals[p];
            if (total > kMaxSteps) {
                n = std::max(1, n * kMaxSteps / total);
            }
            record.partSteps.push_back(n + 1);
            for (int i = 0; i <= n; ++i) {
                const double t = parts[p].low + (parts[p].high - parts[p].low) * i / n;
                std::vector<rdz::kelt::Amount> amounts;
                if (!ColourAmounts(*space, evaluate(parts[p], t), amounts)) {
                    return;  // no ink at all (only None colorants): nothing to convert
                }
                record.positions.push_back(t);
                steps.push_back(std::move(amounts));
            }
        }
    } catch (const FunctionError& e) {
        c.notes.Warn(name + " is left as it is: its function cannot be evaluated (" + e.what() +
                     ")");
        return;
    }
    const std::vector<double> background = NumbersOf(KeyOf(shading, "/Background"));
    std::vector<rdz::kelt::Amount> backgroundAmounts;
    if (!background.empty() && ColourAmounts(*space, background, backgroundAmounts)) {
        record.background = c.slots.Solid(backgroundAmounts, context, page);
    }
    record.slot = c.slots.Vignette(steps, context, page);
    c.shadings.push_back(std::move(record));
}

int WriteShadings(PdfCatalogue& c, const std::vector<paint_t*>& paints, OutputSpaces& spaces) {
    int written = 0;
    // Artwork last: a shading also used inside a soft mask ends as artwork.
    std::vector<const ShadingRecord*> order;
    for (const ShadingRecord& record : c.shadings) {
        if (record.context != kArtwork) {
            order.push_back(&record);
        }
    }
    for (const ShadingRecord& record : c.shadings) {
        if (record.context == kArtwork) {
            order.push_back(&record);
        }
    }
    for (const ShadingRecord* record : order) {
        const std::vector<paint_t*> steps =
            rdz::kelt::VignetteSteps(paints[static_cast<std::size_t>(record->slot)]);
        paint_t* background = record->background >= 0
                                  ? paints[static_cast<std::size_t>(record->background)]
                                  : nullptr;
        const bool changed = c.slots.Changed(paints[static_cast<std::size_t>(record->slot)]) ||
                             (background != nullptr && c.slots.Changed(background));
        if (!changed || steps.size() != record->positions.size()) {
            continue;
        }
        std::vector<std::vector<rdz::kelt::Amount>> amounts;
        std::vector<inkt_t*> inks;
        for (paint_t* step : steps) {
            amounts.push_back(rdz::kelt::SolidAmounts(step));
        }
        if (background != nullptr) {
            amounts.push_back(rdz::kelt::SolidAmounts(background));
        }
        for (const auto& make : amounts) {
            for (const rdz::kelt::Amount& amount : make) {
                inks.push_back(amount.ink);
            }
        }
        const TargetSpace& target = spaces.For(inks);
        std::vector<std::vector<double>> colours;
        for (const auto& make : amounts) {
            colours.push_back(OutputSpaces::Values(target, make));
        }
        QPDFObjectHandle function;
        if (record->partSteps.size() == 1) {
            function = Pieces(colours, record->positions, 0, steps.size());
        } else {
            QPDFObjectHandle parts = QPDFObjectHandle::newArray();
            std::vector<double> encode;
            std::size_t first = 0;
            for (int count : record->partSteps) {
                parts.appendItem(
                    Pieces(colours, record->positions, first, static_cast<std::size_t>(count)));
                encode.push_back(record->positions[first]);
                encode.push_back(record->positions[first + static_cast<std::size_t>(count) - 1]);
                first += static_cast<std::size_t>(count);
            }
            function = QPDFObjectHandle::newDictionary();
            function.replaceKey("/FunctionType", QPDFObjectHandle::newInteger(3));
            function.replaceKey("/Domain", Numbers(record->domain));
            function.replaceKey("/Functions", parts);
            function.replaceKey("/Bounds", Numbers(record->bounds));
            function.replaceKey("/Encode", Numbers(encode));
        }
        QPDFObjectHandle shading = record->shading;
        shading.replaceKey("/ColorSpace", target.space);
        shading.replaceKey("/Function", function);
        if (background != nullptr) {
            shading.replaceKey("/Background", Numbers(colours.back()));
        }
        ++written;
    }
    return written;
}

}  // namespace rdz::formats::pdf
