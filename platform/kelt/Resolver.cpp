// The resolver: keeps what it is told in the document's resolver record and
// turns a component's content into one resolved layer.
#include <algorithm>
#include <utility>

#include "host/kelt_db.h"
#include "platform/kelt/Records.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::kelt {
namespace {

ResolverSession* SessionOf(kelt_resolver_t* resolver) {
    if (resolver == nullptr || resolver->document == nullptr) {
        return nullptr;
    }
    return &resolver->document->sessions[resolver->session];
}

void Record(kelt_resolver_t* resolver, ResolverStep step, document_object_t* component,
            int result) {
    if (ResolverSession* session = SessionOf(resolver)) {
        session->events.push_back({step, component, result});
    }
}

/// A new layer holding copies of the component's children, forms expanded.
document_object_t* PrepareResolvedLayer(const document_object_t* component) {
    document_object_t* layer = NewPlainObject(OBJ_KIND_LAYER, "resolved");
    for (void* item : component->components->items) {
        document_object_t* copy = CopyObjectTree(static_cast<document_object_t*>(item));
        if (copy != nullptr) {
            AttachChild(layer, copy);
        }
    }
    ExpandFormsBelow(layer);
    return layer;
}

}  // namespace

void SetResolverAvailable(document_object_t* object, bool available) {
    if (DocumentRec* document = AsDocument(object)) {
        document->resolverAvailable = available;
    }
}

const std::vector<ResolverSession>& ResolverSessions(const document_object_t* object) {
    static const std::vector<ResolverSession> none;
    const DocumentRec* document = AsDocument(object);
    return document != nullptr ? document->sessions : none;
}

}  // namespace rdz::kelt

using namespace rdz::kelt;

kelt_resolver_t* KELT_Reso_CreateResolver(void) {
    DocumentRec* document = CurrentDocument();
    if (document == nullptr || !document->resolverAvailable) {
        return nullptr;
    }
    kelt_resolver_t* resolver = new kelt_resolver_t();
    resolver->document = document;
    resolver->session = document->sessions.size();
    document->sessions.emplace_back();
    document->liveResolvers.push_back(resolver);
    return resolver;
}

int KELT_Reso_SetOption(kelt_resolver_t* resolver, const char* key, int kind, const void* value) {
    ResolverSession* session = SessionOf(resolver);
    if (session == nullptr || key == nullptr || value == nullptr) {
        return -1;
    }
    ResolverOption option;
    option.key = key;
    option.kind = kind;
    switch (kind) {
        case KELT_RESO_INT:
            option.intValue = *static_cast<const int*>(value);
            break;
        case KELT_RESO_DOUBLE:
            option.doubleValue = *static_cast<const double*>(value);
            break;
        case KELT_RESO_TEXT:
            option.textValue = static_cast<const char*>(value);
            break;
        default:
            return -1;
    }
    session->options.push_back(std::move(option));
    return 0;
}

int KELT_Reso_Resolve(kelt_resolver_t* resolver, document_object_t* component) {
    if (SessionOf(resolver) == nullptr) {
        return -1;
    }
    FreeObjectTree(resolver->pending);
    resolver->pending = nullptr;
    resolver->lastResolved = component;
    int result = -1;
    if (component != nullptr && component->kind != OBJ_KIND_DOCUMENT) {
        resolver->pending = PrepareResolvedLayer(component);
        result = 0;
    } else {
        resolver->lastResolved = nullptr;
    }
    Record(resolver, ResolverStep::Resolve, component, result);
    return result;
}

int KELT_Reso_Apply(kelt_resolver_t* resolver) {
    if (SessionOf(resolver) == nullptr) {
        return -1;
    }
    document_object_t* component = resolver->lastResolved;
    int result = -1;
    if (component != nullptr && resolver->pending != nullptr) {
        document_object_t* layer = resolver->pending;
        resolver->pending = nullptr;
        layer->parent = component;
        std::vector<void*>& children = component->components->items;
        children.insert(children.begin(), layer);
        result = 0;
    }
    Record(resolver, ResolverStep::Apply, component, result);
    return result;
}

int KELT_Reso_Flush(kelt_resolver_t* resolver) {
    if (SessionOf(resolver) == nullptr) {
        return -1;
    }
    FreeObjectTree(resolver->pending);
    resolver->pending = nullptr;
    Record(resolver, ResolverStep::Flush, resolver->lastResolved, 0);
    return 0;
}

void KELT_Reso_DeleteResolver(kelt_resolver_t* resolver) {
    if (resolver == nullptr) {
        return;
    }
    FreeObjectTree(resolver->pending);
    if (DocumentRec* document = resolver->document) {
        document->sessions[resolver->session].deleted = true;
        auto& live = document->liveResolvers;
        live.erase(std::remove(live.begin(), live.end(), resolver), live.end());
    }
    delete resolver;
}
