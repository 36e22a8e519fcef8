#include "converter/ImageFolding.h"

#include <map>

namespace {

constexpr unsigned int kLeaveUnconverted = 0x20000;

struct FoldPlan {
    std::map<ct_def_t*, std::vector<inkt_t*>> inks;
    std::map<ct_def_t*, bool> spoilt;
};

void PlanFold(void* object, obj_apply_data_t data) {
    auto* obj = static_cast<document_object_t*>(object);
    if (OBJ_is_ct_object(obj) == 0) {
        return;
    }
    auto* placement = static_cast<ct_object_t*>(obj);
    if (placement->planeMapUsed == 0 || placement->definition == nullptr) {
        return;
    }
    auto* plan = reinterpret_cast<FoldPlan*>(data);
    ct_def_t* definition = placement->definition;
    std::vector<inkt_t*> inks;
    if (!FoldedPlaneInks(placement, inks)) {
        plan->spoilt[definition] = true;
        return;
    }
    auto found = plan->inks.find(definition);
    if (found == plan->inks.end()) {
        plan->inks.emplace(definition, std::move(inks));
    } else if (found->second != inks) {
        plan->spoilt[definition] = true;
    }
}

}  // namespace

bool FoldedPlaneInks(ct_object_t* placement, std::vector<inkt_t*>& inks) {
    const ct_def_t* definition = placement->definition;
    inks.assign(static_cast<size_t>(definition->nrInks), nullptr);
    for (int p = 0; p < definition->nrInks; ++p) {
        paint_t* paint = placement->planePaints != nullptr ? placement->planePaints[p] : nullptr;
        if (paint == nullptr) {
            continue;
        }
        inkt_t* ink = PAI_one_ink(paint);
        if (ink == nullptr) {
            return false;
        }
        inks[static_cast<size_t>(p)] = ink;
    }
    return true;
}

void MarkUnfoldableDefinitions(document_object_t* document) {
    FoldPlan plan;
    OBJ_apply_recursive(PlanFold, document, reinterpret_cast<obj_apply_data_t>(&plan));
    for (const auto& entry : plan.spoilt) {
        entry.first->flags |= kLeaveUnconverted;
    }
}
