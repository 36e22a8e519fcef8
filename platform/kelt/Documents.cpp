// Documents: creation, destruction, TheDoc and the document colour space.
#include "host/kelt_db.h"
#include "platform/kelt/Records.h"
#include "platform/kelt/kelt_builder.h"

document_object_t* TheDoc = nullptr;

namespace rdz::kelt {

document_object_t* NewDocument(const char* name) {
    DocumentRec* document = new DocumentRec();
    document->kind = OBJ_KIND_DOCUMENT;
    document->components = GL_create();
    document->attributes = GL_create();
    SetObjectName(document, name);
    document->paints = &document->paintList;
    document->ctDefinitions = NewPlainObject(OBJ_KIND_CONTAINER, nullptr);
    document->ctDefinitions->parent = document;
    TheDoc = document;
    return document;
}

void DestroyDocument(document_object_t* object) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr) {
        return;
    }
    if (TheDoc == document) {
        TheDoc = nullptr;
    }
    for (kelt_resolver_t* resolver : document->liveResolvers) {
        // The resolver outlives the document only as an empty shell.
        FreeObjectTree(resolver->pending);
        resolver->pending = nullptr;
        resolver->lastResolved = nullptr;
        resolver->document = nullptr;
    }
    // The object tree first (it refers to paints and definitions), then the
    // definitions, the paints and the inks they refer to.
    for (void* item : document->components->items) {
        FreeObjectTree(static_cast<document_object_t*>(item));
    }
    document->components->items.clear();
    FreeObjectTree(document->ctDefinitions);
    document->ctDefinitions = nullptr;
    for (void* item : document->paintList.items) {
        FreePaintRecord(static_cast<PaintRec*>(item));
    }
    for (void* item : document->inks.items) {
        FreeInkRecord(static_cast<InkRec*>(item));
    }
    for (inkbook_t* book : document->books) {
        delete book;
    }
    FreeObjectTree(document);
}

void SetColorSpace(document_object_t* object, const char* name, bool inDatabase) {
    DocumentRec* document = AsDocument(object);
    if (document == nullptr) {
        return;
    }
    document->tagged = name != nullptr;
    document->colorspace = name != nullptr ? name : "";
    document->colorspaceInDatabase = name != nullptr && inDatabase;
}

}  // namespace rdz::kelt

using namespace rdz::kelt;

int DOC_is_colorspace_tagged(document_object_t* object) {
    const DocumentRec* document = AsDocument(object);
    return document != nullptr && document->tagged ? 1 : 0;
}

const char* DOC_get_colorspace(document_object_t* object) {
    const DocumentRec* document = AsDocument(object);
    return document != nullptr && document->tagged ? document->colorspace.c_str() : nullptr;
}

int DOC_is_colorspace_in_database(document_object_t* object) {
    const DocumentRec* document = AsDocument(object);
    return document != nullptr && document->tagged && document->colorspaceInDatabase ? 1 : 0;
}
