// Doubly linked list of opaque items. Nodes come from s_alloc (running out of memory ends
// the process). The list does not lock.
#pragma once

#include <cstdint>

struct LIST_NODE {
    LIST_NODE* next;
    LIST_NODE* prev;
    void* item;
};

// 0 when item matches key.
using ListCompare = int (*)(const void* item, const void* key);
using ListFreeItem = void (*)(void* item);
using ListItemFunc = int (*)(void* item, void* arg);
using ListNodeFunc = int (*)(LIST_NODE* node, void* arg);

struct LIST {
    int32_t count;
    ListCompare compare;     // never null once initialised
    ListFreeItem free_item;  // or null
    LIST_NODE* head;
    LIST_NODE* tail;
};

// Orders two addresses (-1, 0, 1); the default comparison.
int list_compare_pointers(const void* item, const void* key);

LIST* list_create(ListCompare compare, ListFreeItem freeItem);
LIST* list_init(LIST* list, ListCompare compare, ListFreeItem freeItem);
// list_clear, then frees the list made by list_create.
void list_destroy(LIST* list);

LIST* list_append(LIST* list, void* item);
LIST* list_prepend(LIST* list, void* item);
LIST* list_insert_after(LIST* list, LIST_NODE* node, LIST_NODE* newNode);
LIST* list_append_node(LIST* list, LIST_NODE* node);
LIST* list_prepend_node(LIST* list, LIST_NODE* node);
LIST* list_append_all(LIST* dest, const LIST* src);
LIST* list_insert_sorted(LIST* list, void* item, int direction);
LIST* list_add_unique(LIST* list, void* item);

LIST* list_unlink(LIST* list, LIST_NODE* node);
LIST_NODE* list_remove_node(LIST* list, LIST_NODE* node, int freeIt);
LIST* list_remove_head(LIST* list);
LIST* list_remove_tail(LIST* list);
LIST* list_remove_matching(LIST* list, const void* key, ListCompare compare, int all, int freeIt);
LIST* list_remove(LIST* list, const void* key);
LIST* list_remove_with(LIST* list, const void* key, ListCompare compare);
LIST* list_remove_all(LIST* list, const void* key);
LIST* list_remove_all_with(LIST* list, const void* key, ListCompare compare);
void* list_find(const LIST* list, const void* key);
LIST* list_clear(LIST* list);

int32_t list_count(const LIST* list);
void* list_head_item(const LIST* list);
void* list_tail_item(const LIST* list);
LIST_NODE* list_head_node(const LIST* list);
LIST_NODE* list_tail_node(const LIST* list);
void* list_item_at(const LIST* list, int32_t index);
LIST_NODE* list_node_at(const LIST* list, int32_t index);

// Iteration: the cursor starts null.
LIST_NODE* list_iter_next(const LIST* list, LIST_NODE** cursor);
void* list_iter_next_item(const LIST* list, LIST_NODE** cursor);
void* list_iter_remove_next(LIST* list, LIST_NODE** cursor);

int list_foreach_until(const LIST* list, ListItemFunc fn, void* arg);
int list_foreach_node_until(const LIST* list, ListNodeFunc fn, void* arg);
