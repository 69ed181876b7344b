#include "util/list.h"

#include <cstdlib>

#include "util/utalloc.h"

namespace {
int Sign(int v) { return (v > 0) - (v < 0); }

LIST_NODE* NewNode(void* item) {
    auto* n = static_cast<LIST_NODE*>(s_alloc(1, sizeof(LIST_NODE)));
    n->item = item;
    return n;
}
}  // namespace

int list_compare_pointers(const void* item, const void* key) {
    // Compared, not subtracted: a 64-bit difference does not fit an int.
    auto a = reinterpret_cast<uintptr_t>(item);
    auto b = reinterpret_cast<uintptr_t>(key);
    return (a > b) - (a < b);
}

LIST* list_init(LIST* list, ListCompare compare, ListFreeItem freeItem) {
    if (!list) return nullptr;
    list->count = 0;
    list->compare = compare ? compare : list_compare_pointers;
    list->free_item = freeItem;
    list->head = list->tail = nullptr;
    return list;
}

LIST* list_create(ListCompare compare, ListFreeItem freeItem) {
    return list_init(static_cast<LIST*>(s_alloc(1, sizeof(LIST))), compare, freeItem);
}

void list_destroy(LIST* list) {
    if (!list) return;
    list_clear(list);
    std::free(list);
}

LIST* list_insert_after(LIST* list, LIST_NODE* node, LIST_NODE* newNode) {
    if (!list || !newNode) return list;
    if (!node) {
        newNode->prev = nullptr;
        newNode->next = list->head;
        if (list->head)
            list->head->prev = newNode;
        else
            list->tail = newNode;
        list->head = newNode;
    } else {
        newNode->prev = node;
        newNode->next = node->next;
        if (node->next)
            node->next->prev = newNode;
        else
            list->tail = newNode;
        node->next = newNode;
    }
    list->count++;
    return list;
}

LIST* list_append_node(LIST* list, LIST_NODE* node) { return list ? list_insert_after(list, list->tail, node) : list; }
LIST* list_prepend_node(LIST* list, LIST_NODE* node) { return list_insert_after(list, nullptr, node); }
LIST* list_append(LIST* list, void* item) { return list ? list_append_node(list, NewNode(item)) : list; }
LIST* list_prepend(LIST* list, void* item) { return list ? list_prepend_node(list, NewNode(item)) : list; }

LIST* list_append_all(LIST* dest, const LIST* src) {
    if (!dest || !src) return dest;
    // Counted first, so appending a list to itself ends.
    int32_t n = src->count;
    LIST_NODE* node = src->head;
    for (int32_t i = 0; i < n && node; ++i, node = node->next) list_append(dest, node->item);
    return dest;
}

LIST* list_insert_sorted(LIST* list, void* item, int direction) {
    if (!list) return list;
    LIST_NODE* node = list->head;
    while (node && Sign(list->compare(item, node->item)) == direction) node = node->next;
    return list_insert_after(list, node ? node->prev : list->tail, NewNode(item));
}

LIST* list_add_unique(LIST* list, void* item) {
    if (!list) return list;
    for (LIST_NODE* n = list->head; n; n = n->next)
        if (list->compare(n->item, item) == 0) return list;
    return list_prepend(list, item);
}

LIST* list_unlink(LIST* list, LIST_NODE* node) {
    if (!list || !node) return list;
    if (node->prev)
        node->prev->next = node->next;
    else
        list->head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        list->tail = node->prev;
    node->next = node->prev = nullptr;
    list->count--;
    return list;
}

LIST_NODE* list_remove_node(LIST* list, LIST_NODE* node, int freeIt) {
    if (!list || !node) return nullptr;
    LIST_NODE* next = node->next;
    list_unlink(list, node);
    if (freeIt) {
        if (list->free_item) list->free_item(node->item);
        std::free(node);
    }
    return next;
}

LIST* list_remove_head(LIST* list) {
    if (list && list->head) list_remove_node(list, list->head, 1);
    return list;
}

LIST* list_remove_tail(LIST* list) {
    if (list && list->tail) list_remove_node(list, list->tail, 1);
    return list;
}

LIST* list_remove_matching(LIST* list, const void* key, ListCompare compare, int all, int freeIt) {
    if (!list) return list;
    ListCompare cmp = compare ? compare : list->compare;
    for (LIST_NODE* n = list->head; n;) {
        if (cmp(n->item, key) == 0) {
            LIST_NODE* next = n->next;
            if (freeIt) {
                list_remove_node(list, n, 1);
            } else {
                list_unlink(list, n);
                std::free(n);
            }
            if (!all) break;
            n = next;
        } else {
            n = n->next;
        }
    }
    return list;
}

LIST* list_remove(LIST* list, const void* key) { return list_remove_matching(list, key, nullptr, 0, 1); }
LIST* list_remove_with(LIST* list, const void* key, ListCompare compare) {
    return list_remove_matching(list, key, compare, 0, 1);
}
LIST* list_remove_all(LIST* list, const void* key) { return list_remove_matching(list, key, nullptr, 1, 1); }
LIST* list_remove_all_with(LIST* list, const void* key, ListCompare compare) {
    return list_remove_matching(list, key, compare, 1, 1);
}

void* list_find(const LIST* list, const void* key) {
    if (!list) return nullptr;
    for (LIST_NODE* n = list->head; n; n = n->next)
        if (list->compare(n->item, key) == 0) return n->item;
    return nullptr;
}

LIST* list_clear(LIST* list) {
    if (!list) return list;
    for (LIST_NODE* n = list->head; n;) {
        LIST_NODE* next = n->next;
        if (list->free_item) list->free_item(n->item);
        std::free(n);
        n = next;
    }
    list->head = list->tail = nullptr;
    list->count = 0;
    return list;
}

int32_t list_count(const LIST* list) { return list ? list->count : 0; }
void* list_head_item(const LIST* list) { return list && list->head ? list->head->item : nullptr; }
void* list_tail_item(const LIST* list) { return list && list->tail ? list->tail->item : nullptr; }
LIST_NODE* list_head_node(const LIST* list) { return list ? list->head : nullptr; }
LIST_NODE* list_tail_node(const LIST* list) { return list ? list->tail : nullptr; }

LIST_NODE* list_node_at(const LIST* list, int32_t index) {
    if (!list || index < 0) return nullptr;
    LIST_NODE* n = list->head;
    while (n && index-- > 0) n = n->next;
    return n;
}

void* list_item_at(const LIST* list, int32_t index) {
    LIST_NODE* n = list_node_at(list, index);
    return n ? n->item : nullptr;
}

LIST_NODE* list_iter_next(const LIST* list, LIST_NODE** cursor) {
    if (!list || !cursor) return nullptr;
    *cursor = *cursor ? (*cursor)->next : list->head;
    return *cursor;
}

void* list_iter_next_item(const LIST* list, LIST_NODE** cursor) {
    LIST_NODE* n = list_iter_next(list, cursor);
    return n ? n->item : nullptr;
}

void* list_iter_remove_next(LIST* list, LIST_NODE** cursor) {
    if (!list || !cursor) return nullptr;
    if (!*cursor)
        *cursor = list->head;
    else
        *cursor = list_remove_node(list, *cursor, 1);
    return *cursor ? (*cursor)->item : nullptr;
}

int list_foreach_until(const LIST* list, ListItemFunc fn, void* arg) {
    if (!list || !fn) return 0;
    for (LIST_NODE* n = list->head; n;) {
        LIST_NODE* next = n->next;
        if (int rc = fn(n->item, arg)) return rc;
        n = next;
    }
    return 0;
}

int list_foreach_node_until(const LIST* list, ListNodeFunc fn, void* arg) {
    if (!list || !fn) return 0;
    for (LIST_NODE* n = list->head; n;) {
        LIST_NODE* next = n->next;
        if (int rc = fn(n, arg)) return rc;
        n = next;
    }
    return 0;
}
