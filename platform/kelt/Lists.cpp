// Generic, simple and sorted object lists, and the iteration they share.
#include "host/kelt_container.h"
#include "platform/kelt/Records.h"

namespace {

using rdz::kelt::ItemList;

void Begin(const ItemList* list, list_iterator_t* it) {
    if (it == nullptr) {
        return;
    }
    it->list = list;
    it->next = 0;
}

int Next(list_iterator_t* it, void** item) {
    if (it == nullptr || it->list == nullptr) {
        return 0;
    }
    // The length is read on every call, so a list changed while it is walked
    // never makes the iterator read past its end.
    const ItemList* list = static_cast<const ItemList*>(it->list);
    if (it->next >= list->items.size()) {
        return 0;
    }
    void* value = list->items[it->next++];
    if (item != nullptr) {
        *item = value;
    }
    return 1;
}

int Count(const ItemList* list) {
    return list == nullptr ? 0 : static_cast<int>(list->items.size());
}

void Append(ItemList* list, void* item) {
    if (list != nullptr) {
        list->items.push_back(item);
    }
}

}  // namespace

gen_list_type* GL_create(void) {
    return new gen_list_type();
}

void GL_release(gen_list_type* list) {
    delete list;
}

void GL_append_after_last(gen_list_type* list, void* item) {
    Append(list, item);
}

void GL_all_items(gen_list_type* list, list_iterator_t* it) {
    Begin(list, it);
}

int GL_next_item(list_iterator_t* it, void** item) {
    return Next(it, item);
}

int GL_count_items(const gen_list_type* list) {
    return Count(list);
}

void SL_all_items(simple_list_t* list, list_iterator_t* it) {
    Begin(list, it);
}

int SL_next_item(list_iterator_t* it, void** item) {
    return Next(it, item);
}

void SL_append_after_last(simple_list_t* list, void* item) {
    Append(list, item);
}

void SL_make_empty(simple_list_t* list, list_item_release_f release) {
    if (list == nullptr) {
        return;
    }
    // The list keeps its capacity: a solid is usually refilled at once.
    if (release != nullptr) {
        for (std::size_t i = 0; i < list->items.size(); ++i) {
            release(list->items[i]);
        }
    }
    list->items.clear();
}

int SL_count_items(const simple_list_t* list) {
    return Count(list);
}

void SOL_all_items(sol_list_t* list, list_iterator_t* it) {
    Begin(list, it);
}

int SOL_next_item(list_iterator_t* it, void** item) {
    return Next(it, item);
}

int SOL_count_items(const sol_list_t* list) {
    return Count(list);
}

namespace rdz::kelt {

long IndexOf(const ItemList& list, const void* item) {
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        if (list.items[i] == item) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

}  // namespace rdz::kelt
