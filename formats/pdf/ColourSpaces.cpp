#include "formats/pdf/ColourSpaces.h"

#include <algorithm>
#include <cmath>

#include "formats/pdf/ContentTokens.h"
#include "formats/pdf/Functions.h"
#include "formats/pdf/InkTable.h"
#include "formats/pdf/PdfObjects.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

constexpr int kMaxDepth = 8;
constexpr int kMaxColorants = 32;
constexpr std::size_t kMaxProfileBytes = 16u << 20;

InkSpacePtr Invalid(const std::string& fault) {
    auto space = std::make_shared<InkSpace>();
    space->family = InkSpace::Invalid;
    space->fault = fault;
    return space;
}

InkSpacePtr OtherSpace(const std::string& kind, int components) {
    auto space = std::make_shared<InkSpace>();
    space->family = InkSpace::Other;
    space->kind = kind;
    space->components = components;
    return space;
}

std::string StreamText(QPDFObjectHandle stream, std::size_t limit) {
    if (!stream.isStream()) {
        return std::string();
    }
    try {
        return DecodeStream(stream, limit);
    } catch (const ContentError&) {
        return std::string();
    }
}

/// What the alternate space `alternate` makes of `values` at full tint.
SpotColour AlternateColour(QPDFObjectHandle alternate, const std::vector<double>& values,
                           const ColourMath& math) {
    SpotColour colour;
    std::string family = NameOf(alternate);
    QPDFObjectHandle parameter;
    if (alternate.isArray() && alternate.getArrayNItems() >= 1) {
        family = NameOf(alternate.getArrayItem(0));
        if (alternate.getArrayNItems() >= 2) {
            parameter = alternate.getArrayItem(1);
        }
    }
    auto take = [&](std::size_t n) { return values.size() == n; };
    if ((family == "/DeviceCMYK" || family == "/CalCMYK") && take(4)) {
        colour.hasCmyk = true;
        colour.cmyk = {{values[0], values[1], values[2], values[3]}};
        colour.lab = math.CmykToLab(colour.cmyk);
        colour.known = true;
    } else if ((family == "/DeviceRGB" || family == "/CalRGB") && take(3)) {
        colour.lab = ColourMath::SrgbToLab({values[0], values[1], values[2]});
        colour.known = true;
    } else if ((family == "/DeviceGray" || family == "/CalGray") && take(1)) {
        colour.lab = ColourMath::GrayToLab(values[0]);
        colour.known = true;
    } else if (family == "/Lab" && take(3)) {
        colour.lab = {values[0], values[1], values[2]};
        colour.known = true;
    } else if (family == "/ICCBased" && parameter.isStream()) {
        const int n = IntegerOf(KeyOf(parameter, "/N"), 0);
        if (!take(static_cast<std::size_t>(n))) {
            return colour;
        }
        if (n == 4) {
            colour.hasCmyk = true;
            colour.cmyk = {{values[0], values[1], values[2], values[3]}};
        }
        Lab lab{};
        if (math.IccToLab(StreamText(parameter, kMaxProfileBytes), values, &lab)) {
            colour.lab = lab;
            colour.known = true;
        } else if (n == 4) {
            colour.lab = math.CmykToLab(colour.cmyk);
            colour.known = true;
        } else if (n == 3) {
            colour.lab = ColourMath::SrgbToLab({values[0], values[1], values[2]});
            colour.known = true;
        } else if (n == 1) {
            colour.lab = ColourMath::GrayToLab(values[0]);
            colour.known = true;
        }
    }
    return colour;
}

}  // namespace

bool InkSpace::HasInks() const {
    switch (family) {
        case Process:
        case Gray:
        case Colorants:
            return true;
        case Indexed:
        case Pattern:
            return base != nullptr && base->HasInks();
        default:
            return false;
    }
}

InkSpacePtr ColourSpaces::Device(int components) {
    InkSpacePtr& space = device_[components];
    if (!space) {
        if (components == 4) {
            space = Named("/DeviceCMYK");
        } else if (components == 1) {
            space = Named("/DeviceGray");
        } else {
            space = Named("/DeviceRGB");
        }
    }
    return space;
}

InkSpacePtr ColourSpaces::Named(const std::string& name) {
    auto space = std::make_shared<InkSpace>();
    if (name == "/DeviceCMYK" || name == "/CMYK") {
        space->family = InkSpace::Process;
        space->kind = "DeviceCMYK";
        space->components = 4;
        for (int i = 0; i < 4; ++i) {
            space->inks.push_back(inks_.Process(i));
        }
    } else if (name == "/DeviceGray" || name == "/G") {
        space->family = InkSpace::Gray;
        space->kind = "DeviceGray";
        space->components = 1;
        space->inks.push_back(inks_.Process(3));
    } else if (name == "/DeviceRGB" || name == "/RGB") {
        return OtherSpace("DeviceRGB", 3);
    } else if (name == "/Pattern") {
        space->family = InkSpace::Pattern;
        space->kind = "Pattern";
        space->components = 0;
    } else {
        return Invalid("unknown colour space " + name);
    }
    return space;
}

InkSpacePtr ColourSpaces::Resolve(QPDFObjectHandle given, QPDFObjectHandle resources,
                                  bool inlineImage, const std::string& where) {
    return Parse(given, resources, inlineImage, where, 0);
}

InkSpacePtr ColourSpaces::Parse(QPDFObjectHandle given, QPDFObjectHandle resources,
                                bool inlineImage, const std::string& where, int depth) {
    if (depth > kMaxDepth) {
        return Invalid("colour spaces nested too deeply");
    }
    if (given.isName()) {
        const std::string name = given.getName();
        static const char* const kDevice[] = {"/DeviceCMYK", "/DeviceGray", "/DeviceRGB",
                                              "/Pattern"};
        for (const char* device : kDevice) {
            if (name == device) {
                return name == "/Pattern" ? Named(name)
                                          : Device(name == "/DeviceCMYK"   ? 4
                                                   : name == "/DeviceGray" ? 1
                                                                           : 3);
            }
        }
        if (inlineImage && (name == "/CMYK" || name == "/G" || name == "/RGB")) {
            return Device(name == "/CMYK" ? 4 : name == "/G" ? 1 : 3);
        }
        QPDFObjectHandle entry = KeyOf(KeyOf(resources, "/ColorSpace"), name.c_str());
        if (entry.isNull()) {
            return Invalid("no colour space " + name + " in the resources");
        }
        if (entry.isName() && entry.getName() == name) {
            return Invalid("colour space " + name + " names itself");
        }
        return Parse(entry, resources, false, where, depth + 1);
    }
    if (!given.isArray()) {
        return Invalid("a colour space that is neither a name nor an array");
    }
    if (given.isIndirect()) {
        const auto found = cache_.find(given.getObjGen());
        if (found != cache_.end()) {
            return found->second;
        }
    }
    InkSpacePtr space = ParseArray(given, resources, inlineImage, where, depth);
    if (given.isIndirect()) {
        cache_[given.getObjGen()] = space;
    }
    return space;
}

InkSpacePtr ColourSpaces::ParseArray(QPDFObjectHandle given, QPDFObjectHandle resources,
                                     bool inlineImage, const std::string& where, int depth) {
    const int n = given.getArrayNItems();
    const std::string family = n >= 1 ? NameOf(given.getArrayItem(0)) : std::string();
    if (n == 1 && (family == "/DeviceCMYK" || family == "/DeviceGray" || family == "/DeviceRGB" ||
                   family == "/Pattern")) {
        return Parse(given.getArrayItem(0), resources, inlineImage, where, depth + 1);
    }
    if (family == "/ICCBased" && n >= 2) {
        const int channels = IntegerOf(KeyOf(given.getArrayItem(1), "/N"), 0);
        if (channels == 4 || channels == 1) {
            auto space = std::make_shared<InkSpace>(*Device(channels));
            space->kind = "ICCBased";
            return space;
        }
        if (channels == 3) {
            return OtherSpace("ICCBased RGB", 3);
        }
        return Invalid("an ICCBased space with " + std::to_string(channels) + " channels");
    }
    if (family == "/CalGray") {
        auto space = std::make_shared<InkSpace>(*Device(1));
        space->kind = "CalGray";
        return space;
    }
    if (family == "/CalCMYK") {
        auto space = std::make_shared<InkSpace>(*Device(4));
        space->kind = "CalCMYK";
        return space;
    }
    if (family == "/CalRGB") {
        return OtherSpace("CalRGB", 3);
    }
    if (family == "/Lab") {
        return OtherSpace("Lab", 3);
    }
    if (family == "/Separation" && n >= 4) {
        return Colorants(given, false, where);
    }
    if (family == "/DeviceN" && n >= 4) {
        return Colorants(given, true, where);
    }
    if ((family == "/Indexed" || (inlineImage && family == "/I")) && n >= 4) {
        auto space = std::make_shared<InkSpace>();
        space->family = InkSpace::Indexed;
        space->kind = "Indexed";
        space->components = 1;
        space->base = Parse(given.getArrayItem(1), resources, inlineImage, where, depth + 1);
        if (space->base->family == InkSpace::Indexed || space->base->family == InkSpace::Pattern ||
            space->base->family == InkSpace::Invalid) {
            return Invalid("an Indexed space over " +
                           (space->base->kind.empty() ? space->base->fault : space->base->kind));
        }
        space->hival = IntegerOf(given.getArrayItem(2), -1);
        if (space->hival < 0 || space->hival > 255) {
            return Invalid("an Indexed space with hival " + std::to_string(space->hival));
        }
        QPDFObjectHandle lookup = given.getArrayItem(3);
        std::string table =
            lookup.isString() ? lookup.getStringValue() : StreamText(lookup, 256u * 32u);
        const std::size_t size = static_cast<std::size_t>(space->hival + 1) *
                                 static_cast<std::size_t>(space->base->components);
        // A short table reads as zeros beyond its end, as viewers do.
        table.resize(size, '\0');
        space->lookup.assign(table.begin(), table.end());
        return space;
    }
    if (family == "/Pattern" && n >= 2) {
        auto space = std::make_shared<InkSpace>();
        space->family = InkSpace::Pattern;
        space->kind = "Pattern";
        space->base = Parse(given.getArrayItem(1), resources, inlineImage, where, depth + 1);
        if (space->base->family == InkSpace::Pattern || space->base->family == InkSpace::Invalid) {
            return Invalid("a Pattern space over an unusable space");
        }
        space->components = space->base->components;
        return space;
    }
    return Invalid("unknown colour space " + (family.empty() ? std::string("array") : family));
}

InkSpacePtr ColourSpaces::Colorants(QPDFObjectHandle given, bool deviceN,
                                    const std::string& where) {
    std::vector<std::string> names;
    QPDFObjectHandle first = given.getArrayItem(1);
    if (deviceN) {
        if (!first.isArray() || first.getArrayNItems() < 1 ||
            first.getArrayNItems() > kMaxColorants) {
            return Invalid("a DeviceN space without colorant names");
        }
        for (int i = 0; i < first.getArrayNItems(); ++i) {
            if (!first.getArrayItem(i).isName()) {
                return Invalid("a DeviceN colorant that is not a name");
            }
            names.push_back(PlainName(first.getArrayItem(i).getName()));
        }
    } else {
        if (!first.isName()) {
            return Invalid("a Separation space without a colorant name");
        }
        names.push_back(PlainName(first.getName()));
    }
    auto space = std::make_shared<InkSpace>();
    space->family = InkSpace::Colorants;
    space->kind = deviceN ? "DeviceN" : "Separation";
    space->components = static_cast<int>(names.size());
    if (!deviceN) {
        space->separation = given;
    }
    QPDFObjectHandle alternate = given.getArrayItem(2);
    QPDFObjectHandle tint = given.getArrayItem(3);
    const ColourMath& math = math_;
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto colour = [&, i]() {
            try {
                std::unique_ptr<PdfFunction> function = PdfFunction::ParseList(tint);
                std::vector<double> in(names.size(), 0.0);
                in[i] = 1.0;
                if (function->Inputs() != static_cast<int>(in.size())) {
                    return SpotColour();
                }
                return AlternateColour(alternate, function->Evaluate(in), math);
            } catch (const FunctionError&) {
                return SpotColour();
            }
        };
        space->inks.push_back(inks_.Colorant(names[i], colour, where));
        if (!deviceN && InkTable::ProcessIndex(space->inks.back()) < 0) {
            inks_.RememberSeparation(space->inks.back(), given);
        }
    }
    return space;
}

bool ColourAmounts(const InkSpace& space, const std::vector<double>& values,
                   std::vector<rdz::kelt::Amount>& amounts) {
    if (static_cast<int>(values.size()) != space.components) {
        return false;
    }
    switch (space.family) {
        case InkSpace::Process:
        case InkSpace::Gray:
        case InkSpace::Colorants: {
            bool any = false;
            for (std::size_t i = 0; i < space.inks.size(); ++i) {
                if (space.inks[i] == nullptr) {
                    continue;
                }
                double v = std::isfinite(values[i]) ? std::clamp(values[i], 0.0, 1.0) : 0.0;
                if (space.family == InkSpace::Gray) {
                    v = 1.0 - v;
                }
                amounts.push_back({space.inks[i], v, 1});
                any = true;
            }
            return any;
        }
        case InkSpace::Indexed: {
            const double v = values[0];
            if (!std::isfinite(v) || v < 0.0 || v > space.hival + 0.5) {
                return false;
            }
            const std::size_t index = static_cast<std::size_t>(std::lround(v));
            const std::size_t n = static_cast<std::size_t>(space.base->components);
            std::vector<double> base(n);
            for (std::size_t j = 0; j < n; ++j) {
                base[j] = space.lookup[index * n + j] / 255.0;
            }
            return ColourAmounts(*space.base, base, amounts);
        }
        case InkSpace::Pattern:
            return space.base != nullptr && ColourAmounts(*space.base, values, amounts);
        default:
            return false;
    }
}

}  // namespace rdz::formats::pdf
