// Object trees: creation, copies, deletion, walks, attributes and forms.
#include <cstdint>
#include <utility>

#include "host/kelt_db.h"
#include "platform/kelt/Records.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {
namespace {

int g_noiseLevel = 1;

void InitLists(document_object_t* object) {
    object->components = GL_create();
    object->attributes = GL_create();
}

void FreeAttribute(attribute_t* attribute) {
    if (attribute == nullptr) {
        return;
    }
    if (paint_info_t* info = attribute->info) {
        if (transparency_t* transparency = info->transparency) {
            if (opacity_mask_t* mask = transparency->mask) {
                FreeObjectTree(mask->maskContent);
                delete mask;
            }
            delete transparency;
        }
        delete info;
    }
    delete attribute;
}

attribute_t* CopyAttribute(const attribute_t* source) {
    attribute_t* copy = new attribute_t();
    copy->containsAlfa = source->containsAlfa;
    if (const paint_info_t* info = source->info) {
        copy->info = new paint_info_t{info->paint, nullptr};
        if (const transparency_t* transparency = info->transparency) {
            copy->info->transparency = new transparency_t{nullptr};
            if (const opacity_mask_t* mask = transparency->mask) {
                document_object_t* content = nullptr;
                if (mask->maskContent != nullptr) {
                    content = CopyObjectTree(mask->maskContent);
                    if (content != nullptr) {
                        Extra(content).contentRoot = true;
                    }
                }
                copy->info->transparency->mask = new opacity_mask_t{mask->maskKind, content};
            }
        }
    }
    return copy;
}

/// The document an attached object belongs to, or null.
DocumentRec* OwningDocument(document_object_t* object) {
    while (object != nullptr && object->kind != OBJ_KIND_DOCUMENT) {
        object = object->parent;
    }
    return AsDocument(object);
}

bool IsAncestorOrSelf(const document_object_t* ancestor, const document_object_t* object) {
    for (; object != nullptr; object = object->parent) {
        if (object == ancestor) {
            return true;
        }
    }
    return false;
}

/// True when a placement at or below `object` (mask and form content
/// included) shows `definition`.
bool ShowsDefinition(const document_object_t* object, const ct_def_t* definition) {
    if (object == nullptr) {
        return false;
    }
    if (object->kind == OBJ_KIND_CT_OBJECT &&
        static_cast<const ct_object_t*>(object)->definition == definition) {
        return true;
    }
    for (void* item : object->attributes->items) {
        const paint_info_t* info = static_cast<const attribute_t*>(item)->info;
        if (info != nullptr && info->transparency != nullptr &&
            info->transparency->mask != nullptr &&
            ShowsDefinition(info->transparency->mask->maskContent, definition)) {
            return true;
        }
    }
    if (ShowsDefinition(object->formContent, definition)) {
        return true;
    }
    for (void* item : object->components->items) {
        if (ShowsDefinition(static_cast<const document_object_t*>(item), definition)) {
            return true;
        }
    }
    return false;
}

void Collect(obj_predicate_f predicate, document_object_t* object, gen_list_type* list) {
    if (predicate(object) != 0) {
        GL_append_after_last(list, object);
    }
    for (std::size_t i = 0; i < object->components->items.size(); ++i) {
        Collect(predicate, static_cast<document_object_t*>(object->components->items[i]), list);
    }
}

/// Replaces a content root that is itself a form by a copy of the form's
/// content; returns how many forms it replaced.
int ExpandRoot(document_object_t*& root) {
    int count = 0;
    while (root != nullptr && root->kind == OBJ_KIND_FORM) {
        document_object_t* form = root;
        root = form->formContent != nullptr ? CopyObjectTree(form->formContent) : nullptr;
        if (root != nullptr) {
            Extra(root).contentRoot = true;
        }
        FreeObjectTree(form);
        ++count;
    }
    return count;
}

}  // namespace

ObjectExtra& Extra(document_object_t* object) {
    switch (object->kind) {
        case OBJ_KIND_DOCUMENT:
            return static_cast<DocumentRec*>(object)->extra;
        case OBJ_KIND_CT_OBJECT:
            return static_cast<CtObjectRec*>(object)->extra;
        case OBJ_KIND_CT_DEF:
            return static_cast<CtDefRec*>(object)->extra;
        default:
            return static_cast<ObjectRec*>(object)->extra;
    }
}

const ObjectExtra& Extra(const document_object_t* object) {
    return Extra(const_cast<document_object_t*>(object));
}

void SetObjectName(document_object_t* object, const char* name) {
    ObjectExtra& extra = Extra(object);
    if (name == nullptr) {
        extra.nameText.clear();
        object->name = nullptr;
    } else {
        extra.nameText = name;
        object->name = &extra.nameText[0];
    }
}

document_object_t* NewPlainObject(obj_kind_t kind, const char* name) {
    ObjectRec* object = new ObjectRec();
    object->kind = kind;
    InitLists(object);
    SetObjectName(object, name);
    return object;
}

void AttachChild(document_object_t* parent, document_object_t* child) {
    child->parent = parent;
    GL_append_after_last(parent->components, child);
}

void FreeObjectTree(document_object_t* object) {
    if (object == nullptr) {
        return;
    }
    for (void* item : object->components->items) {
        FreeObjectTree(static_cast<document_object_t*>(item));
    }
    for (void* item : object->attributes->items) {
        FreeAttribute(static_cast<attribute_t*>(item));
    }
    GL_release(object->components);
    GL_release(object->attributes);
    FreeObjectTree(object->formContent);
    switch (object->kind) {
        case OBJ_KIND_DOCUMENT:
            // Documents go through DestroyDocument, which frees their own data
            // first and then comes here for the tree.
            delete static_cast<DocumentRec*>(object);
            break;
        case OBJ_KIND_CT_OBJECT: {
            CtObjectRec* placement = static_cast<CtObjectRec*>(object);
            delete[] placement->planePaints;
            delete placement;
            break;
        }
        case OBJ_KIND_CT_DEF: {
            CtDefRec* definition = static_cast<CtDefRec*>(object);
            FreeDefinitionData(definition);
            delete definition;
            break;
        }
        default:
            delete static_cast<ObjectRec*>(object);
            break;
    }
}

document_object_t* CopyObjectTree(const document_object_t* source) {
    if (source == nullptr) {
        return nullptr;
    }
    document_object_t* copy = nullptr;
    switch (source->kind) {
        case OBJ_KIND_DOCUMENT:
        case OBJ_KIND_CT_DEF:
            // Documents and image definitions are not content; they are never
            // copied into another tree.
            return nullptr;
        case OBJ_KIND_CT_OBJECT: {
            const CtObjectRec* from = static_cast<const CtObjectRec*>(source);
            CtObjectRec* placement = new CtObjectRec();
            placement->kind = OBJ_KIND_CT_OBJECT;
            InitLists(placement);
            placement->definition = from->definition;
            placement->planeMapUsed = from->planeMapUsed;
            if (from->planePaints != nullptr && from->planePaintCount > 0) {
                placement->planePaints = new paint_t*[from->planePaintCount];
                placement->planePaintCount = from->planePaintCount;
                for (int i = 0; i < from->planePaintCount; ++i) {
                    placement->planePaints[i] = from->planePaints[i];
                }
            }
            copy = placement;
            break;
        }
        default:
            copy = NewPlainObject(source->kind, nullptr);
            break;
    }
    SetObjectName(copy, source->name);
    copy->mark = source->mark;
    if (source->formContent != nullptr) {
        copy->formContent = CopyObjectTree(source->formContent);
        if (copy->formContent != nullptr) {
            Extra(copy->formContent).contentRoot = true;
        }
    }
    for (void* item : source->attributes->items) {
        GL_append_after_last(copy->attributes, CopyAttribute(static_cast<attribute_t*>(item)));
    }
    for (void* item : source->components->items) {
        document_object_t* child = CopyObjectTree(static_cast<document_object_t*>(item));
        if (child != nullptr) {
            AttachChild(copy, child);
        }
    }
    return copy;
}

int ExpandFormsBelow(document_object_t* object) {
    int count = 0;
    for (void* item : object->attributes->items) {
        paint_info_t* info = static_cast<attribute_t*>(item)->info;
        if (info == nullptr || info->transparency == nullptr ||
            info->transparency->mask == nullptr) {
            continue;
        }
        document_object_t*& content = info->transparency->mask->maskContent;
        count += ExpandRoot(content);
        if (content != nullptr) {
            count += ExpandFormsBelow(content);
        }
    }
    std::vector<void*>& children = object->components->items;
    std::size_t i = 0;
    while (i < children.size()) {
        document_object_t* child = static_cast<document_object_t*>(children[i]);
        if (child->kind != OBJ_KIND_FORM) {
            count += ExpandFormsBelow(child);
            ++i;
            continue;
        }
        // The copy takes the form's place; it is looked at again, since its
        // own root may be a form.
        document_object_t* copy = CopyObjectTree(child->formContent);
        if (copy != nullptr) {
            copy->parent = object;
            children[i] = copy;
        } else {
            children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (object->layer == child) {
            object->layer = copy;
        }
        child->parent = nullptr;
        FreeObjectTree(child);
        ++count;
    }
    return count;
}

}  // namespace rdz::kelt

using namespace rdz::kelt;

void OBJ_all_components(document_object_t* object, list_iterator_t* it) {
    GL_all_items(object != nullptr ? object->components : nullptr, it);
}

int OBJ_next(list_iterator_t* it, document_object_t** child) {
    void* item = nullptr;
    if (GL_next_item(it, &item) == 0) {
        return 0;
    }
    if (child != nullptr) {
        *child = static_cast<document_object_t*>(item);
    }
    return 1;
}

void OBJ_all_attributes(document_object_t* object, list_iterator_t* it) {
    GL_all_items(object != nullptr ? object->attributes : nullptr, it);
}

int ATR_next(list_iterator_t* it, attribute_t** attribute) {
    void* item = nullptr;
    if (GL_next_item(it, &item) == 0) {
        return 0;
    }
    if (attribute != nullptr) {
        *attribute = static_cast<attribute_t*>(item);
    }
    return 1;
}

void OBJ_apply_recursive(obj_apply_f function, document_object_t* object, obj_apply_data_t data) {
    if (function == nullptr || object == nullptr) {
        return;
    }
    function(object, data);
    for (std::size_t i = 0; i < object->components->items.size(); ++i) {
        OBJ_apply_recursive(function, static_cast<document_object_t*>(object->components->items[i]),
                            data);
    }
}

void OBJ_reset_mark_f(void* object, obj_apply_data_t) {
    if (object != nullptr) {
        static_cast<document_object_t*>(object)->mark = 0;
    }
}

void OBJ_collect(obj_predicate_f predicate, document_object_t* root, gen_list_type* list) {
    if (predicate != nullptr && root != nullptr && list != nullptr) {
        Collect(predicate, root, list);
    }
}

int OBJ_has_opacity_mask(document_object_t* object) {
    if (object == nullptr) {
        return 0;
    }
    for (void* item : object->attributes->items) {
        const paint_info_t* info = static_cast<attribute_t*>(item)->info;
        if (info != nullptr && info->transparency != nullptr &&
            info->transparency->mask != nullptr) {
            return 1;
        }
    }
    return 0;
}

int OBJ_has_style(document_object_t* object) {
    if (object == nullptr) {
        return 0;
    }
    for (void* item : object->attributes->items) {
        if (static_cast<attribute_t*>(item)->info != nullptr) {
            return 1;
        }
    }
    return 0;
}

void OBJ_delete(document_object_t* object) {
    if (object == nullptr) {
        return;
    }
    if (object->kind == OBJ_KIND_DOCUMENT) {
        DestroyDocument(object);
        return;
    }
    if (Extra(object).contentRoot) {
        ReportMisuse("OBJ_delete: the content of a mask or form cannot be deleted on its own");
        return;
    }
    DocumentRec* document = OwningDocument(object);
    if (document != nullptr && document->ctDefinitions == object) {
        ReportMisuse("OBJ_delete: the image-definition container belongs to its document");
        return;
    }
    if (document != nullptr && object->kind == OBJ_KIND_CT_DEF &&
        ShowsDefinition(document, static_cast<ct_def_t*>(object))) {
        ReportMisuse("OBJ_delete: the image definition is still shown by a placement");
        return;
    }
    if (document != nullptr) {
        // A resolver that prepared a layer for a component being deleted must
        // not insert it later.
        for (kelt_resolver_t* resolver : document->liveResolvers) {
            if (resolver->lastResolved != nullptr &&
                IsAncestorOrSelf(object, resolver->lastResolved)) {
                resolver->lastResolved = nullptr;
                FreeObjectTree(resolver->pending);
                resolver->pending = nullptr;
            }
        }
    }
    if (document_object_t* parent = object->parent) {
        std::vector<void*>& siblings = parent->components->items;
        const long index = IndexOf(*parent->components, object);
        if (index >= 0) {
            siblings.erase(siblings.begin() + index);
        }
        if (parent->layer == object) {
            parent->layer = nullptr;
        }
        object->parent = nullptr;
    }
    FreeObjectTree(object);
}

int OBJ_is_ct_object(document_object_t* object) {
    return object != nullptr && object->kind == OBJ_KIND_CT_OBJECT ? 1 : 0;
}

paint_info_t* ATR_get_paint_info(attribute_t* attribute) {
    return attribute != nullptr ? attribute->info : nullptr;
}

int ATR_contains_alfa(attribute_t* attribute) {
    return attribute != nullptr && attribute->containsAlfa != 0 ? 1 : 0;
}

void LAY_set_name(document_object_t* layer, const char* name) {
    if (layer != nullptr) {
        SetObjectName(layer, name);
    }
}

int ExpandAllForms(document_object_t* document) {
    return document != nullptr ? ExpandFormsBelow(document) : 0;
}

int VGE_set_enable_noise(int level) {
    const int previous = g_noiseLevel;
    g_noiseLevel = level;
    return previous;
}

namespace rdz::kelt {

int NoiseLevel() {
    return g_noiseLevel;
}

document_object_t* AddComponent(document_object_t* document, const char* name) {
    if (AsDocument(document) == nullptr) {
        return nullptr;
    }
    return AddObject(document, OBJ_KIND_COMPONENT, name);
}

document_object_t* AddObject(document_object_t* parent, obj_kind_t kind, const char* name) {
    if (parent == nullptr || kind == OBJ_KIND_DOCUMENT || kind == OBJ_KIND_CT_OBJECT ||
        kind == OBJ_KIND_CT_DEF) {
        return nullptr;
    }
    document_object_t* object = NewPlainObject(kind, name);
    AttachChild(parent, object);
    return object;
}

document_object_t* AddLayer(document_object_t* parent, const char* name) {
    return AddObject(parent, OBJ_KIND_LAYER, name);
}

document_object_t* AddGroup(document_object_t* parent, const char* name) {
    return AddObject(parent, OBJ_KIND_GROUP, name);
}

document_object_t* AddPath(document_object_t* parent, paint_t* paint, const char* name) {
    document_object_t* path = AddObject(parent, OBJ_KIND_PATH, name);
    if (path != nullptr && paint != nullptr) {
        AddAttribute(path, paint, false);
    }
    return path;
}

attribute_t* AddAttribute(document_object_t* object, paint_t* paint, bool transparent) {
    if (object == nullptr) {
        return nullptr;
    }
    attribute_t* attribute = new attribute_t();
    attribute->containsAlfa = transparent ? 1 : 0;
    if (paint != nullptr) {
        attribute->info = new paint_info_t{paint, nullptr};
    }
    GL_append_after_last(object->attributes, attribute);
    return attribute;
}

document_object_t* AddOpacityMask(attribute_t* attribute, int maskKind) {
    if (attribute == nullptr || attribute->info == nullptr) {
        return nullptr;
    }
    paint_info_t* info = attribute->info;
    if (info->transparency == nullptr) {
        info->transparency = new transparency_t{nullptr};
    }
    if (info->transparency->mask == nullptr) {
        info->transparency->mask = new opacity_mask_t{maskKind, nullptr};
    }
    opacity_mask_t* mask = info->transparency->mask;
    if (mask->maskContent == nullptr) {
        mask->maskContent = NewPlainObject(OBJ_KIND_GROUP, nullptr);
        Extra(mask->maskContent).contentRoot = true;
    }
    attribute->containsAlfa = 1;
    return mask->maskContent;
}

document_object_t* AddForm(document_object_t* parent, const char* name) {
    document_object_t* form = AddObject(parent, OBJ_KIND_FORM, name);
    if (form != nullptr) {
        form->formContent = NewPlainObject(OBJ_KIND_GROUP, nullptr);
        Extra(form->formContent).contentRoot = true;
    }
    return form;
}

document_object_t* FormContent(document_object_t* form) {
    return form != nullptr ? form->formContent : nullptr;
}

std::vector<document_object_t*> Children(const document_object_t* object) {
    std::vector<document_object_t*> out;
    if (object != nullptr) {
        for (void* item : object->components->items) {
            out.push_back(static_cast<document_object_t*>(item));
        }
    }
    return out;
}

std::vector<attribute_t*> Attributes(const document_object_t* object) {
    std::vector<attribute_t*> out;
    if (object != nullptr) {
        for (void* item : object->attributes->items) {
            out.push_back(static_cast<attribute_t*>(item));
        }
    }
    return out;
}

}  // namespace rdz::kelt
