#include "formats/pdf/PaintSlots.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace rdz::formats::pdf {
namespace {

constexpr const char* kSlotPrefix = "pdf-paint-";

std::vector<std::pair<const inkt_t*, double>> Sorted(
    const std::vector<rdz::kelt::Amount>& amounts) {
    std::vector<std::pair<const inkt_t*, double>> out;
    for (const rdz::kelt::Amount& amount : amounts) {
        out.emplace_back(amount.ink, amount.fraction);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool IsRegistration(const std::vector<rdz::kelt::Amount>& amounts) {
    if (amounts.empty()) {
        return false;
    }
    for (const rdz::kelt::Amount& amount : amounts) {
        if ((rdz::kelt::InkKinds(amount.ink) & rdz::kelt::InkRegistration) == 0) {
            return false;
        }
    }
    return true;
}

/// Reads the slot paths below `object` (mask content included).
void Collect(document_object_t* object, std::vector<paint_t*>& paints) {
    if (object->name != nullptr &&
        std::strncmp(object->name, kSlotPrefix, std::strlen(kSlotPrefix)) == 0) {
        char* end = nullptr;
        const unsigned long slot = std::strtoul(object->name + std::strlen(kSlotPrefix), &end, 10);
        if (end != nullptr && *end == '\0' && slot < paints.size() && paints[slot] == nullptr) {
            for (attribute_t* attribute : rdz::kelt::Attributes(object)) {
                if (paint_info_t* info = ATR_get_paint_info(attribute)) {
                    paints[slot] = info->paint;
                    break;
                }
            }
        }
    }
    for (attribute_t* attribute : rdz::kelt::Attributes(object)) {
        paint_info_t* info = ATR_get_paint_info(attribute);
        if (info != nullptr && info->transparency != nullptr &&
            info->transparency->mask != nullptr &&
            info->transparency->mask->maskContent != nullptr) {
            Collect(info->transparency->mask->maskContent, paints);
        }
    }
    for (document_object_t* child : rdz::kelt::Children(object)) {
        Collect(child, paints);
    }
}

}  // namespace

document_object_t* PaintSlots::PageLayer(int page) {
    document_object_t*& layer = layers_[page];
    if (layer == nullptr) {
        const std::string name = "page " + std::to_string(page);
        layer = rdz::kelt::AddLayer(rdz::kelt::AddComponent(document_, name.c_str()), name.c_str());
    }
    return layer;
}

int PaintSlots::NewMask(int page, const std::string& name) {
    masks_.push_back({page, name, nullptr});
    return static_cast<int>(masks_.size()) - 1;
}

document_object_t* PaintSlots::Parent(int mask, int page, paint_t* paint) {
    if (mask == kArtwork) {
        return PageLayer(page);
    }
    MaskRec& rec = masks_[static_cast<std::size_t>(mask)];
    if (rec.content == nullptr) {
        // The masked object: its own paint is any paint of the document (the
        // mask's first), as the conversion reads only the mask's content.
        document_object_t* masked =
            rdz::kelt::AddPath(PageLayer(rec.page), nullptr, rec.name.c_str());
        attribute_t* attribute = rdz::kelt::AddAttribute(masked, paint, true);
        rec.content = rdz::kelt::AddOpacityMask(attribute, 22);
    }
    return rec.content;
}

int PaintSlots::AddSlot(paint_t* paint, int mask, int page) {
    const int slot = static_cast<int>(slots_.size());
    const std::string name = kSlotPrefix + std::to_string(slot);
    rdz::kelt::AddPath(Parent(mask, page, paint), paint, name.c_str());
    slots_.push_back({paint});
    return slot;
}

int PaintSlots::Solid(const std::vector<rdz::kelt::Amount>& amounts, int mask, int page) {
    Key key;
    key.second = IsRegistration(amounts);
    for (const rdz::kelt::Amount& amount : amounts) {
        key.first.emplace_back(amount.ink, amount.fraction);
    }
    paint_t*& paint = solids_[key];
    if (paint == nullptr) {
        paint = rdz::kelt::AddSolid(document_, amounts, key.second);
        originals_[paint] = Sorted(amounts);
    }
    const auto found = solidSlots_.find({paint, mask});
    if (found != solidSlots_.end()) {
        return found->second;
    }
    const int slot = AddSlot(paint, mask, page);
    solidSlots_[{paint, mask}] = slot;
    return slot;
}

int PaintSlots::Vignette(const std::vector<std::vector<rdz::kelt::Amount>>& steps, int mask,
                         int page) {
    paint_t* paint = rdz::kelt::AddVignette(document_, steps);
    ++vignettes_;
    const std::vector<paint_t*> made = rdz::kelt::VignetteSteps(paint);
    for (std::size_t i = 0; i < made.size() && i < steps.size(); ++i) {
        originals_[made[i]] = Sorted(steps[i]);
    }
    return AddSlot(paint, mask, page);
}

bool PaintSlots::Changed(paint_t* paint) {
    const auto known = changed_.find(paint);
    if (known != changed_.end()) {
        return known->second;
    }
    bool changed = false;
    if (PAI_get_vignet(paint) != nullptr) {
        for (paint_t* step : rdz::kelt::VignetteSteps(paint)) {
            changed = changed || Changed(step);
        }
    } else if (rdz::kelt::ChangeCount(paint) > 0) {
        const auto original = originals_.find(paint);
        changed = original == originals_.end() ||
                  original->second != Sorted(rdz::kelt::SolidAmounts(paint));
    }
    changed_[paint] = changed;
    return changed;
}

std::vector<paint_t*> PaintSlots::Resolve() const {
    std::vector<paint_t*> paints(slots_.size(), nullptr);
    for (document_object_t* component : rdz::kelt::Children(document_)) {
        Collect(component, paints);
    }
    for (std::size_t slot = 0; slot < paints.size(); ++slot) {
        if (paints[slot] == nullptr) {
            paints[slot] = slots_[slot].paint;
        }
    }
    return paints;
}

}  // namespace rdz::formats::pdf
