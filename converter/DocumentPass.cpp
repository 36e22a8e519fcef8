// The walk over the document: preparation through the host resolver, and the
// conversion run (Init, image pass, paint pass, End).
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "converter/ImageFolding.h"
#include "converter/TColorConverter.h"
#include "converter/WorkerPool.h"

namespace {

/// Image definitions with this flag are left unconverted.
constexpr unsigned int kLeaveUnconverted = 0x20000;
/// Mask kind whose content carries paints that opacity masks need unchanged.
constexpr int kPaintedMaskKind = 22;

struct GenListDeleter {
    void operator()(gen_list_type* list) const { GL_release(list); }
};
using GenList = std::unique_ptr<gen_list_type, GenListDeleter>;

std::vector<document_object_t*> ChildrenOf(document_object_t* object) {
    std::vector<document_object_t*> children;
    list_iterator_t it;
    OBJ_all_components(object, &it);
    document_object_t* child = nullptr;
    while (OBJ_next(&it, &child)) {
        children.push_back(child);
    }
    return children;
}

std::vector<attribute_t*> AttributesOf(document_object_t* object) {
    std::vector<attribute_t*> attributes;
    list_iterator_t it;
    OBJ_all_attributes(object, &it);
    attribute_t* attribute = nullptr;
    while (ATR_next(&it, &attribute)) {
        attributes.push_back(attribute);
    }
    return attributes;
}

std::vector<void*> ItemsOf(gen_list_type* list) {
    std::vector<void*> items;
    list_iterator_t it;
    GL_all_items(list, &it);
    void* item = nullptr;
    while (GL_next_item(&it, &item)) {
        items.push_back(item);
    }
    return items;
}

}  // namespace

void TColorConverter::Resolve() {
    if (!generalOptions.GetKeepRegistrationColor()) {
        PDB_replace_registration_inks();
    }
    const int previousNoise = VGE_set_enable_noise(2);
    kelt_resolver_t* resolver = KELT_Reso_CreateResolver();
    if (resolver == nullptr) {
        VGE_set_enable_noise(previousNoise);
        return;
    }
    ExpandAllForms(document);

    const int technicalInksAsNormal = 0;
    const double accuracy = 0.01;
    const int lockTechnicalObjects = 1;
    const int expandExternalReferences = 1;
    const int useInternalImages = 1;
    const int removeDummyMasks = 0;
    KELT_Reso_SetOption(resolver, "technicalinksasnormal", KELT_RESO_INT, &technicalInksAsNormal);
    KELT_Reso_SetOption(resolver, "accuracy", KELT_RESO_DOUBLE, &accuracy);
    KELT_Reso_SetOption(resolver, "locktechnicalobjects", KELT_RESO_INT, &lockTechnicalObjects);
    KELT_Reso_SetOption(resolver, "expandexternalreferences", KELT_RESO_INT,
                        &expandExternalReferences);
    KELT_Reso_SetOption(resolver, "useinternalimages", KELT_RESO_INT, &useInternalImages);
    KELT_Reso_SetOption(resolver, "removedummymasks", KELT_RESO_INT, &removeDummyMasks);
    KELT_Reso_SetOption(resolver, "blendmodelevel", KELT_RESO_TEXT, "Opaque");
    KELT_Reso_SetOption(resolver, "transparencygrouplevel", KELT_RESO_TEXT, "All");
    KELT_Reso_SetOption(resolver, "opacitymasklevel", KELT_RESO_TEXT, "All");
    KELT_Reso_SetOption(resolver, "colormodel", KELT_RESO_TEXT, "none");

    for (document_object_t* component : ChildrenOf(document)) {
        KELT_Reso_Resolve(resolver, component);
        KELT_Reso_Apply(resolver);
        // Each component is reduced to one unnamed layer. A component that
        // came out of resolving without children has nothing to reduce and is
        // left as it is.
        const std::vector<document_object_t*> children = ChildrenOf(component);
        if (!children.empty()) {
            component->layer = children.front();
            LAY_set_name(children.front(), "");
            for (size_t i = 1; i < children.size(); ++i) {
                OBJ_delete(children[i]);
            }
        }
        KELT_Reso_Flush(resolver);
    }

    KELT_Reso_DeleteResolver(resolver);
    VGE_set_enable_noise(previousNoise);
}

bool TColorConverter::ConversionRan() const { return lastConversionRan; }

void TColorConverter::Convert() {
    lastConversionRan = false;
    if (Init() != 0) {
        return;
    }
    if (nrInputInks == 0) {
        End();
        lastConversionRan = true;
        return;
    }

    if (generalOptions.GetConvertCMYKImages()) {
        OBJ_apply_recursive(OBJ_reset_mark_f, document->ctDefinitions, 0);
        // Placements of one definition must agree before any of them folds its
        // plane map: a definition that some placement cannot fold, or that two
        // placements fold to different inks, is marked and keeps every map.
        MarkUnfoldableDefinitions(document);
        OBJ_apply_recursive(ConvertCTO_CB, document, reinterpret_cast<obj_apply_data_t>(this));
        // The image pass's threads (started by the first image that needs
        // them) stop when the pass ends, however it ends.
        struct StopWorkers {
            std::unique_ptr<WorkerPool>& workers;
            ~StopWorkers() { workers.reset(); }
        } stopWorkers{imageWorkers};
        for (document_object_t* object : ChildrenOf(document->ctDefinitions)) {
            if (object->kind != OBJ_KIND_CT_DEF) {
                continue;
            }
            auto* definition = static_cast<ct_def_t*>(object);
            if (CT_is_monochrome(definition) == 0 && (definition->flags & kLeaveUnconverted) == 0) {
                ConvertCTDef(definition);
            } else if (makeAllImagesInternal) {
                CT_make_internal(definition);
            }
        }
    }

    GenList paints(GL_create());
    CreatePaintListForConversion(paints.get());
    for (void* paint : ItemsOf(paints.get())) {
        ConvertPaint(static_cast<paint_t*>(paint));
    }
    paints.reset();

    End();
    lastConversionRan = true;
}

void TColorConverter::CreatePaintListForConversion(gen_list_type* list) {
    std::map<paint_t*, paint_t*> maskCopies;
    std::set<paint_t*> copies;

    if (!generalOptions.GetConvertOpacityMaskPaints() && !generalOptions.GetFlatten()) {
        GenList masked(GL_create());
        OBJ_collect(OBJ_has_opacity_mask, TheDoc, masked.get());
        for (void* item : ItemsOf(masked.get())) {
            for (attribute_t* attribute : AttributesOf(static_cast<document_object_t*>(item))) {
                const paint_info_t* info = ATR_get_paint_info(attribute);
                if (info == nullptr || ATR_contains_alfa(attribute) == 0 ||
                    info->transparency == nullptr || info->transparency->mask == nullptr ||
                    info->transparency->mask->maskKind != kPaintedMaskKind) {
                    continue;
                }
                GenList styled(GL_create());
                OBJ_collect(OBJ_has_style, info->transparency->mask->maskContent, styled.get());
                for (void* styledItem : ItemsOf(styled.get())) {
                    auto* object = static_cast<document_object_t*>(styledItem);
                    for (attribute_t* maskAttribute : AttributesOf(object)) {
                        paint_info_t* maskInfo = ATR_get_paint_info(maskAttribute);
                        // A mask content shared by several masks already refers
                        // to its copy the second time round.
                        if (maskInfo == nullptr || maskInfo->paint == nullptr ||
                            copies.count(maskInfo->paint) != 0) {
                            continue;
                        }
                        auto found = maskCopies.find(maskInfo->paint);
                        if (found == maskCopies.end()) {
                            paint_t* copy = PAI_copy(maskInfo->paint);
                            PDB_add_paint(copy);
                            found = maskCopies.emplace(maskInfo->paint, copy).first;
                            copies.insert(copy);
                        }
                        maskInfo->paint = found->second;
                    }
                }
            }
        }
    }

    // The copies were appended to the paint list: leave them out.
    int remaining = SOL_count_items(document->paints) - static_cast<int>(maskCopies.size());
    list_iterator_t it;
    SOL_all_items(document->paints, &it);
    void* paint = nullptr;
    while (remaining > 0 && SOL_next_item(&it, &paint)) {
        GL_append_after_last(list, paint);
        --remaining;
    }
}
