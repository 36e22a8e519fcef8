#include "formats/pdf/OutputSpaces.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/pdf/PdfObjects.h"

namespace rdz::formats::pdf {
namespace {

bool IsRegistration(const inkt_t* ink) {
    return (rdz::kelt::InkKinds(ink) & rdz::kelt::InkRegistration) != 0;
}

std::string InkName(const inkt_t* ink) {
    const char* book = "";
    const char* name = "";
    INK_get_group_and_name(ink, &book, &name);
    return name;
}

QPDFObjectHandle NumberArray(const std::vector<double>& values) {
    QPDFObjectHandle array = QPDFObjectHandle::newArray();
    for (double v : values) {
        array.appendItem(QPDFObjectHandle::newReal(PdfNumber(v)));
    }
    return array;
}

}  // namespace

std::string PdfNumber(double value) {
    if (!std::isfinite(value) || std::fabs(value) < 0.00005) {
        return "0";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string out(text);
    while (!out.empty() && out.back() == '0') {
        out.pop_back();
    }
    if (!out.empty() && out.back() == '.') {
        out.pop_back();
    }
    return out;
}

const TargetSpace& OutputSpaces::For(const std::vector<rdz::kelt::Amount>& amounts) {
    std::vector<inkt_t*> inks;
    for (const rdz::kelt::Amount& amount : amounts) {
        inks.push_back(amount.ink);
    }
    return For(inks);
}

const TargetSpace& OutputSpaces::For(const std::vector<inkt_t*>& given) {
    // Process inks first in CMYK order, then the others as given; the
    // registration ink only when it stands alone.
    std::vector<inkt_t*> process(4, nullptr);
    std::vector<inkt_t*> others;
    inkt_t* registration = nullptr;
    for (inkt_t* ink : given) {
        if (ink == nullptr) {
            continue;
        }
        const int index = InkTable::ProcessIndex(ink);
        if (index >= 0) {
            if (process[static_cast<std::size_t>(index)] == nullptr) {
                process[static_cast<std::size_t>(index)] = ink;
            }
        } else if (IsRegistration(ink)) {
            registration = ink;
        } else if (std::find(others.begin(), others.end(), ink) == others.end()) {
            others.push_back(ink);
        }
    }
    const bool anyProcess =
        std::any_of(process.begin(), process.end(), [](inkt_t* ink) { return ink != nullptr; });
    if (registration != nullptr && !anyProcess && others.empty()) {
        others.push_back(registration);
    }
    std::vector<inkt_t*> key;
    TargetSpace target;
    if (others.empty()) {
        target.kind = TargetSpace::Cmyk;
        target.colorants = process;
        key = {};  // every process-only colour shares DeviceCMYK
    } else if (others.size() == 1 && !anyProcess) {
        target.kind = TargetSpace::Separation;
        target.colorants = others;
        key = others;
    } else {
        target.kind = TargetSpace::DeviceN;
        for (inkt_t* ink : process) {
            if (ink != nullptr) {
                target.colorants.push_back(ink);
            }
        }
        target.colorants.insert(target.colorants.end(), others.begin(), others.end());
        key = target.colorants;
    }
    auto found = spaces_.find(key);
    if (found != spaces_.end()) {
        if (target.kind == TargetSpace::Cmyk) {
            found->second.colorants = process;
        }
        return found->second;
    }
    target.space = MakeSpace(target);
    return spaces_.emplace(key, target).first->second;
}

std::vector<double> OutputSpaces::Values(const TargetSpace& space,
                                         const std::vector<rdz::kelt::Amount>& amounts) {
    std::vector<double> values(space.colorants.size(), 0.0);
    double registration = 0.0;
    for (const rdz::kelt::Amount& amount : amounts) {
        const double fraction = std::clamp(amount.fraction, 0.0, 1.0);
        if (space.kind == TargetSpace::Cmyk) {
            const int index = InkTable::ProcessIndex(amount.ink);
            if (index >= 0) {
                values[static_cast<std::size_t>(index)] = fraction;
            } else if (IsRegistration(amount.ink)) {
                registration = std::max(registration, fraction);
            }
            continue;
        }
        const auto at = std::find(space.colorants.begin(), space.colorants.end(), amount.ink);
        if (at != space.colorants.end()) {
            values[static_cast<std::size_t>(at - space.colorants.begin())] = fraction;
        } else if (IsRegistration(amount.ink)) {
            registration = std::max(registration, fraction);
        }
    }
    // A registration amount beside other inks marks every plate.
    for (double& v : values) {
        v = std::max(v, registration);
    }
    return values;
}

QPDFObjectHandle OutputSpaces::MakeSpace(const TargetSpace& target) {
    if (target.kind == TargetSpace::Cmyk) {
        return QPDFObjectHandle::newName("/DeviceCMYK");
    }
    QPDF& qpdf = *c_.qpdf;
    if (target.kind == TargetSpace::Separation) {
        QPDFObjectHandle own = c_.inks.SeparationOf(target.colorants[0]);
        if (!own.isNull()) {
            return own.isIndirect() ? own : qpdf.makeIndirectObject(own.shallowCopy());
        }
        const Cmyk e = c_.inks.Equivalent(target.colorants[0], c_.math);
        QPDFObjectHandle function = QPDFObjectHandle::newDictionary();
        function.replaceKey("/FunctionType", QPDFObjectHandle::newInteger(2));
        function.replaceKey("/Domain", NumberArray({0.0, 1.0}));
        function.replaceKey("/C0", NumberArray({0.0, 0.0, 0.0, 0.0}));
        function.replaceKey("/C1", NumberArray({e[0], e[1], e[2], e[3]}));
        function.replaceKey("/N", QPDFObjectHandle::newInteger(1));
        QPDFObjectHandle space = QPDFObjectHandle::newArray();
        space.appendItem(QPDFObjectHandle::newName("/Separation"));
        space.appendItem(QPDFObjectHandle::newName("/" + InkName(target.colorants[0])));
        space.appendItem(QPDFObjectHandle::newName("/DeviceCMYK"));
        space.appendItem(function);
        return qpdf.makeIndirectObject(space);
    }
    QPDFObjectHandle names = QPDFObjectHandle::newArray();
    for (inkt_t* ink : target.colorants) {
        names.appendItem(QPDFObjectHandle::newName("/" + InkName(ink)));
    }
    QPDFObjectHandle space = QPDFObjectHandle::newArray();
    space.appendItem(QPDFObjectHandle::newName("/DeviceN"));
    space.appendItem(names);
    space.appendItem(QPDFObjectHandle::newName("/DeviceCMYK"));
    space.appendItem(TintTransform(target.colorants));
    return qpdf.makeIndirectObject(space);
}

QPDFObjectHandle OutputSpaces::TintTransform(const std::vector<inkt_t*>& colorants) {
    const std::size_t n = colorants.size();
    std::vector<Cmyk> equivalents;
    for (inkt_t* ink : colorants) {
        equivalents.push_back(c_.inks.Equivalent(ink, c_.math));
    }
    std::string program = "{";
    for (std::size_t channel = 0; channel < 4; ++channel) {
        program += " 1";
        for (std::size_t k = 0; k < n; ++k) {
            const double e = equivalents[k][channel];
            if (e <= 0.0) {
                continue;
            }
            // Tint k lies below the `channel` results already made and the
            // running product.
            const std::size_t depth = (n - 1 - k) + channel + 1;
            program += " " + std::to_string(depth) + " index";
            if (e < 1.0) {
                program += " " + PdfNumber(e) + " mul";
            }
            program += " 1 exch sub mul";
        }
        program += " 1 exch sub";
    }
    program += " " + std::to_string(n + 4) + " 4 roll";
    for (std::size_t k = 0; k < n; ++k) {
        program += " pop";
    }
    program += " }";
    QPDFObjectHandle function = QPDFObjectHandle::newStream(c_.qpdf.get(), program);
    QPDFObjectHandle dict = function.getDict();
    std::vector<double> domain;
    for (std::size_t k = 0; k < n; ++k) {
        domain.push_back(0.0);
        domain.push_back(1.0);
    }
    dict.replaceKey("/FunctionType", QPDFObjectHandle::newInteger(4));
    dict.replaceKey("/Domain", NumberArray(domain));
    dict.replaceKey("/Range", NumberArray({0.0, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0, 1.0}));
    return function;
}

std::string OutputSpaces::ResourceName(ContentUnit& unit, QPDFObjectHandle space) {
    if (!unit.ownResources) {
        // The content used its caller's resources: it gets a copy of its own,
        // so that the new name cannot reach other content.
        // Indirect, so that a copy holding the holder itself (a Type 3
        // font among the fonts it copies) makes no loop of direct objects.
        QPDFObjectHandle copy = c_.qpdf->makeIndirectObject(
            unit.resources.isDictionary() ? unit.resources.shallowCopy()
                                          : QPDFObjectHandle::newDictionary());
        QPDFObjectHandle holder =
            unit.resourceHolder.isStream() ? unit.resourceHolder.getDict() : unit.resourceHolder;
        holder.replaceKey("/Resources", copy);
        unit.resources = holder.getKey("/Resources");
        unit.ownResources = true;
    }
    QPDFObjectHandle spaces = unit.resources.getKey("/ColorSpace");
    if (!spaces.isDictionary()) {
        unit.resources.replaceKey("/ColorSpace", QPDFObjectHandle::newDictionary());
        spaces = unit.resources.getKey("/ColorSpace");
    }
    for (auto& entry : spaces.ditems()) {
        if (entry.second.isIndirect() && space.isIndirect() &&
            entry.second.getObjGen() == space.getObjGen()) {
            return entry.first;
        }
    }
    for (int n = 1;; ++n) {
        const std::string name = "/RdzCS" + std::to_string(n);
        if (!spaces.hasKey(name)) {
            spaces.replaceKey(name, space);
            return name;
        }
    }
}

std::string OutputSpaces::Operator(ContentUnit& unit, const std::vector<rdz::kelt::Amount>& amounts,
                                   bool stroke, const std::string& pattern) {
    const TargetSpace& target = For(amounts);
    const std::vector<double> values = Values(target, amounts);
    std::string numbers;
    for (double v : values) {
        numbers += PdfNumber(v) + " ";
    }
    if (pattern.empty() && target.kind == TargetSpace::Cmyk) {
        return numbers + (stroke ? "K" : "k");
    }
    QPDFObjectHandle space = target.space;
    if (!pattern.empty()) {
        const std::string key = space.isIndirect() ? ReferenceOf(space) : "/DeviceCMYK";
        QPDFObjectHandle& patternSpace = patternSpaces_[key];
        if (!patternSpace.isInitialized()) {
            QPDFObjectHandle array = QPDFObjectHandle::newArray();
            array.appendItem(QPDFObjectHandle::newName("/Pattern"));
            array.appendItem(space);
            patternSpace = c_.qpdf->makeIndirectObject(array);
        }
        space = patternSpace;
    }
    std::string out = QPDFObjectHandle::newName(ResourceName(unit, space)).unparse() +
                      (stroke ? " CS " : " cs ") + numbers;
    if (!pattern.empty()) {
        out += QPDFObjectHandle::newName(pattern).unparse() + " ";
    }
    return out + (stroke ? "SCN" : "scn");
}

}  // namespace rdz::formats::pdf
