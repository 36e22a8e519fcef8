#include "formats/pdf/InkTable.h"

#include "formats/Document.h"
#include "formats/Errors.h"
#include "formats/InkBooks.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::pdf {
namespace {

const char* const kProcessNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};
// Screen colours of the process inks, as the other formats give them.
const float kProcessRgb[4][3] = {
    {0.0f, 0.63f, 0.89f}, {0.9f, 0.0f, 0.49f}, {1.0f, 0.93f, 0.0f}, {0.14f, 0.12f, 0.13f}};

void SetRgb(rdz::kelt::InkSetup& setup, const Lab& lab) {
    const std::array<double, 3> rgb = LabToSrgb(lab);
    for (std::size_t i = 0; i < 3; ++i) {
        setup.rgb[i] = static_cast<float>(rgb[i]);
    }
}

}  // namespace

InkTable::InkTable(document_object_t* document, const InkBooks& books)
    : document_(document), books_(books) {}

inkt_t* InkTable::Process(int index) {
    inkt_t*& ink = process_[index];
    if (ink == nullptr) {
        rdz::kelt::InkSetup setup;
        setup.name = kProcessNames[index];
        const BookInk* known = books_.FindByName(setup.name, true);
        setup.book = known != nullptr && known->process ? known->book : "Process";
        setup.kinds = rdz::kelt::InkProcess;
        setup.process = "CMYK";
        if (known != nullptr) {
            SetRgb(setup, known->lab);
        } else {
            for (std::size_t i = 0; i < 3; ++i) {
                setup.rgb[i] = kProcessRgb[index][i];
            }
        }
        ink = rdz::kelt::AddInk(document_, setup);
    }
    return ink;
}

inkt_t* InkTable::Registration() {
    if (registration_ == nullptr) {
        rdz::kelt::InkSetup setup;
        setup.name = "All";
        setup.kinds = rdz::kelt::InkRegistration;
        registration_ = rdz::kelt::AddInk(document_, setup);
    }
    return registration_;
}

inkt_t* InkTable::Colorant(const std::string& name, const std::function<SpotColour()>& colour,
                           const std::string& where) {
    for (int i = 0; i < 4; ++i) {
        if (name == kProcessNames[i]) {
            return Process(i);
        }
    }
    if (name == "All") {
        return Registration();
    }
    if (name == "None") {
        return nullptr;
    }
    const auto found = spots_.find(name);
    if (found != spots_.end()) {
        return found->second;
    }
    if (name.size() > kMaxInkNameBytes) {
        throw InputError(where + ": the colorant name holds " + std::to_string(name.size()) +
                         " bytes; an ink name holds at most " + std::to_string(kMaxInkNameBytes));
    }
    rdz::kelt::InkSetup setup;
    setup.name = name;
    SpotColour spot;
    if (const BookInk* known = books_.FindByName(name, false)) {
        setup.book = known->book;
        // The document knows opaque and transparent inks only.
        setup.kinds = known->opacity >= 0.5 ? rdz::kelt::InkOpaque : 0u;
        spot.known = true;
        spot.lab = known->lab;
        // The PDF's CMYK still stands for the ink where a written space
        // needs one: it is what the file's own renderers showed.
        const SpotColour own = colour();
        spot.hasCmyk = own.hasCmyk;
        spot.cmyk = own.cmyk;
    } else {
        spot = colour();
    }
    SetRgb(setup, spot.lab);
    inkt_t* ink = rdz::kelt::AddInk(document_, setup);
    spots_[name] = ink;
    colours_[ink] = spot;
    return ink;
}

void InkTable::RememberSeparation(inkt_t* ink, QPDFObjectHandle space) {
    if (ink != nullptr && separations_.count(ink) == 0) {
        separations_[ink] = space;
    }
}

QPDFObjectHandle InkTable::SeparationOf(inkt_t* ink) const {
    const auto found = separations_.find(ink);
    return found != separations_.end() ? found->second : QPDFObjectHandle::newNull();
}

int InkTable::ProcessIndex(const inkt_t* ink) {
    if (ink == nullptr || INK_is_process(ink, nullptr) == 0) {
        return -1;
    }
    const char* book = "";
    const char* name = "";
    INK_get_group_and_name(ink, &book, &name);
    for (int i = 0; i < 4; ++i) {
        if (EqualsIgnoringCase(name, kProcessNames[i])) {
            return i;
        }
    }
    return -1;
}

Cmyk InkTable::Equivalent(inkt_t* ink, const ColourMath& math) const {
    const int process = ProcessIndex(ink);
    if (process >= 0) {
        Cmyk unit{{0.0, 0.0, 0.0, 0.0}};
        unit[static_cast<std::size_t>(process)] = 1.0;
        return unit;
    }
    if (rdz::kelt::InkKinds(ink) & rdz::kelt::InkRegistration) {
        return {{1.0, 1.0, 1.0, 1.0}};
    }
    const auto found = colours_.find(ink);
    if (found != colours_.end()) {
        return found->second.hasCmyk ? found->second.cmyk : math.LabToCmyk(found->second.lab);
    }
    // An ink the conversion brought: its ink book's colour, else its own.
    const char* book = "";
    const char* name = "";
    INK_get_group_and_name(ink, &book, &name);
    if (const BookInk* known = books_.Find(book, name)) {
        return math.LabToCmyk(known->lab);
    }
    if (const BookInk* known = books_.FindByName(name, INK_is_process(ink, nullptr) != 0)) {
        return math.LabToCmyk(known->lab);
    }
    float rgb[3] = {0.5f, 0.5f, 0.5f};
    INK_get_RGB(ink, rgb);
    return math.LabToCmyk(ColourMath::SrgbToLab({rgb[0], rgb[1], rgb[2]}));
}

}  // namespace rdz::formats::pdf
