// Host container library: the lists through which the document database hands
// out its objects.
//
// Three kinds of list share one iteration protocol:
//   - generic lists (`gen_list_type`, GL_*): created and released by the caller;
//   - simple lists (`simple_list_t`, SL_*): owned by a database object, such as
//     the ink amounts of a solid or the steps of a vignette;
//   - sorted object lists (`sol_list_t`, SOL_*): the database's own lists, such
//     as the paints of a document or its ink database.
//
// Iteration: the *_all_items call positions an iterator before the first item;
// each *_next_item call stores the next item in `*item` and returns 1, or
// returns 0 (leaving `*item` untouched) when the list is exhausted. Items are
// visited in list order. An iterator stays valid while the list is not changed.
#pragma once

#include <cstddef>

struct gen_list_type;
struct simple_list_t;
struct sol_list_t;

/// Position in a list; filled by the *_all_items calls, advanced by *_next_item.
struct list_iterator_t {
    const void* list = nullptr;
    std::size_t next = 0;
};

/// Releases one item of a simple list (for SL_make_empty); may be null.
typedef void (*list_item_release_f)(void* item);

// Generic lists ------------------------------------------------------------
gen_list_type* GL_create(void);
void GL_release(gen_list_type* list);  // frees the list, not its items; null is allowed
void GL_append_after_last(gen_list_type* list, void* item);
void GL_all_items(gen_list_type* list, list_iterator_t* it);
int GL_next_item(list_iterator_t* it, void** item);
int GL_count_items(const gen_list_type* list);

// Simple lists -------------------------------------------------------------
void SL_all_items(simple_list_t* list, list_iterator_t* it);
int SL_next_item(list_iterator_t* it, void** item);
void SL_append_after_last(simple_list_t* list, void* item);
/// Removes every item, calling `release` (when not null) on each, in order.
void SL_make_empty(simple_list_t* list, list_item_release_f release);
int SL_count_items(const simple_list_t* list);

// Sorted object lists ------------------------------------------------------
void SOL_all_items(sol_list_t* list, list_iterator_t* it);
int SOL_next_item(list_iterator_t* it, void** item);
int SOL_count_items(const sol_list_t* list);
