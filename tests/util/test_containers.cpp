// The foundation's containers and small pieces: hash table, doubly linked list, binary tree,
// growable array, argument splitting and MD5.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/argv.h"
#include "util/hash.h"
#include "util/list.h"
#include "util/md5.h"
#include "util/scrarray.h"
#include "util/tree.h"
#include "util/trymem.h"

namespace {

struct FailGuard {
    ~FailGuard() { TryMemFailAfter(-1); }
};

// ---------------------------------------------------------------------------
// HashTable

TEST(HashTable, StringHashOfTheTwoByteKeyAb) {
    HashTable* t = HashCreate(101, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(HashBucket(t, "ab"), 66u);  // 97, then 0 + 98 + 97 * 8 = 874; 874 % 101
    HashDestroy(t);
}

TEST(HashTable, StringHashOfHighBytesStaysInRange) {
    HashTable* t = HashCreate(7, 0);
    const char* keys[] = {"\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6", "\x80\x80\x80\x80\x80\x80\x80\x80\x80",
                          "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"};
    for (const char* k : keys) EXPECT_LT(HashBucket(t, k), 7u);
    HashDestroy(t);
}

TEST(HashTable, OneBucketTableChainsAndFindsEverything) {
    HashTable* t = HashCreate(0, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->size, 1);
    int vals[50];
    std::vector<std::string> keys;
    for (int i = 0; i < 50; ++i) keys.push_back("key" + std::to_string(i));
    for (int i = 0; i < 50; ++i) ASSERT_NE(HashPut(t, keys[i].c_str(), &vals[i]), nullptr);
    EXPECT_EQ(t->entries, 50);
    EXPECT_EQ(t->collisions, 49);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(HashGet(t, keys[i].c_str()), &vals[i]);
    EXPECT_EQ(HashGet(t, "absent"), nullptr);
    HashDestroy(t);
}

TEST(HashTable, PutExistingKeyReplacesWithoutCounting) {
    HashTable* t = HashCreate(1, 0);
    int a = 1, b = 2, c = 3;
    HashPut(t, "x", &a);
    HashPut(t, "y", &b);
    HashEntry* e = HashPut(t, "x", &c);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->value, &c);
    EXPECT_EQ(t->entries, 2);
    EXPECT_EQ(t->collisions, 1);
    EXPECT_EQ(HashGet(t, "x"), &c);
    HashDestroy(t);
}

TEST(HashTable, RemovalAdjustsEntriesAndCollisions) {
    HashTable* t = HashCreate(1, 0);
    int v = 0;
    HashPut(t, "a", &v);
    HashPut(t, "b", &v);
    HashPut(t, "c", &v);
    EXPECT_EQ(t->collisions, 2);
    EXPECT_EQ(HashRemove(t, "b"), 1);
    EXPECT_EQ(t->entries, 2);
    EXPECT_EQ(t->collisions, 1);
    EXPECT_EQ(HashRemove(t, "b"), 0);
    HashEntry* e = HashUnlink(t, "a");
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(static_cast<char*>(e->key), "a");
    HashEntryFree(e);
    EXPECT_EQ(t->collisions, 0);
    // Removing the only entry of its bucket lowers entries, not collisions.
    HashTable* u = HashCreate(101, 0);
    HashPut(u, "ab", &v);
    HashPut(u, "zz", &v);
    ASSERT_NE(HashBucket(u, "ab"), HashBucket(u, "zz"));
    EXPECT_EQ(u->collisions, 0);
    EXPECT_EQ(HashRemove(u, "ab"), 1);
    EXPECT_EQ(u->entries, 1);
    EXPECT_EQ(u->collisions, 0);
    HashDestroy(u);
    HashDestroy(t);
}

TEST(HashTable, FixedLengthKeysCompareWholeKeys) {
    HashTable* t = HashCreate(101, 4);
    uint32_t k1 = (5u << 16) | 3, k2 = (5u << 16) | 4, k3 = 5u << 16;
    int a = 1, b = 2;
    HashPut(t, &k1, &a);
    HashPut(t, &k2, &b);
    EXPECT_EQ(HashGet(t, &k1), &a);
    EXPECT_EQ(HashGet(t, &k2), &b);
    EXPECT_EQ(HashGet(t, &k3), nullptr);
    // The key is copied: changing the caller's variable does not change the entry.
    k1 = 99;
    uint32_t probe = (5u << 16) | 3;
    EXPECT_EQ(HashGet(t, &probe), &a);
    HashDestroy(t);
}

int CollectValues(void* value, const void* key, void* arg) {
    auto* out = static_cast<std::vector<std::pair<std::string, int>>*>(arg);
    out->push_back({static_cast<const char*>(key), *static_cast<int*>(value)});
    return 0;
}

TEST(HashTable, ForEachVisitsBucketsInOrderNewestFirst) {
    HashTable* t = HashCreate(1, 0);
    int v1 = 1, v2 = 2, v3 = 3;
    HashPut(t, "one", &v1);
    HashPut(t, "two", &v2);
    HashPut(t, "three", &v3);
    std::vector<std::pair<std::string, int>> seen;
    EXPECT_EQ(HashForEach(t, CollectValues, &seen), 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].second, 3);
    EXPECT_EQ(seen[2].second, 1);
    HashDestroy(t);
}

int FreeValue(void* value, const void*, void*) {
    std::free(value);
    return 0;
}

TEST(HashTable, ValuesReleasedThroughForEachBeforeDestroy) {
    HashTable* t = HashCreate(13, 0);
    for (int i = 0; i < 20; ++i) HashPut(t, std::to_string(i).c_str(), std::malloc(8));
    HashForEach(t, FreeValue, nullptr);
    HashDestroy(t);  // leak checker: every value, entry and key copy released
}

TEST(HashTable, OutOfMemoryLeavesTableUnchanged) {
    FailGuard g;
    TryMemFailAfter(0);
    EXPECT_EQ(HashCreate(10, 0), nullptr);
    TryMemFailAfter(1);
    EXPECT_EQ(HashCreate(10, 0), nullptr);
    HashTable* t = HashCreate(1, 0);
    int v = 0;
    HashPut(t, "a", &v);
    for (long fail = 0; fail < 2; ++fail) {
        TryMemFailAfter(fail);
        EXPECT_EQ(HashPut(t, "b", &v), nullptr);
        TryMemFailAfter(-1);
        EXPECT_EQ(t->entries, 1);
        EXPECT_EQ(t->collisions, 0);
        EXPECT_EQ(HashGet(t, "b"), nullptr);
    }
    HashDestroy(t);
}

TEST(HashTable, StatsLine) {
    char buf[256] = {};
    FILE* f = fmemopen(buf, sizeof buf, "w");
    HashTable* t = HashCreate(3, 0);
    HashStats(t, f);
    int v = 0;
    HashPut(t, "a", &v);
    HashPut(t, "b", &v);
    HashPut(t, "c", &v);
    HashPut(t, "d", &v);
    HashStats(t, f);
    std::fclose(f);
    std::string expect = "size=3, entries=0, colls=0, %full=0.000000, %coll=0.000000\n";
    char line[128];
    std::snprintf(line, sizeof line, "size=3, entries=4, colls=%d, %%full=133.000000, %%coll=%f\n", t->collisions,
                  static_cast<double>(t->collisions * 100 / 4));
    expect += line;
    EXPECT_EQ(std::string(buf), expect);
    HashDestroy(t);
}

TEST(HashTable, NullArgumentsAreHarmless) {
    EXPECT_EQ(HashGet(nullptr, "a"), nullptr);
    EXPECT_EQ(HashPut(nullptr, "a", nullptr), nullptr);
    EXPECT_EQ(HashRemove(nullptr, "a"), 0);
    HashDestroy(nullptr);
    HashTable* t = HashCreate(3, 0);
    EXPECT_EQ(HashPut(t, nullptr, nullptr), nullptr);
    EXPECT_EQ(HashGet(t, nullptr), nullptr);
    HashDestroy(t);
}

// ---------------------------------------------------------------------------
// LIST

int IntCompare(const void* item, const void* key) {
    int a = *static_cast<const int*>(item), b = *static_cast<const int*>(key);
    return (a > b) - (a < b);
}

std::vector<int> Items(const LIST* l) {
    std::vector<int> out;
    for (LIST_NODE* n = l->head; n; n = n->next) out.push_back(*static_cast<int*>(n->item));
    // The backward links agree.
    std::vector<int> back;
    for (LIST_NODE* n = l->tail; n; n = n->prev) back.insert(back.begin(), *static_cast<int*>(n->item));
    EXPECT_EQ(out, back);
    EXPECT_EQ(static_cast<size_t>(l->count), out.size());
    return out;
}

TEST(List, DefaultCompareOrdersAddressesWithoutTruncation) {
    // Addresses 2^32 apart: a difference cast to int would be 0.
    auto* a = reinterpret_cast<void*>(uintptr_t{0x100000000});
    auto* b = reinterpret_cast<void*>(uintptr_t{0x200000000});
    EXPECT_LT(list_compare_pointers(a, b), 0);
    EXPECT_GT(list_compare_pointers(b, a), 0);
    EXPECT_EQ(list_compare_pointers(a, a), 0);
    LIST* l = list_create(nullptr, nullptr);
    list_append(l, a);
    EXPECT_EQ(list_find(l, b), nullptr);
    EXPECT_EQ(list_find(l, a), a);
    list_destroy(l);
}

TEST(List, AppendPrependInsertAndPositions) {
    int v[6] = {0, 1, 2, 3, 4, 5};
    LIST* l = list_create(IntCompare, nullptr);
    EXPECT_EQ(list_head_item(l), nullptr);
    EXPECT_EQ(list_tail_node(l), nullptr);
    list_append(l, &v[2]);
    list_append(l, &v[3]);
    list_prepend(l, &v[1]);
    auto* node = static_cast<LIST_NODE*>(std::calloc(1, sizeof(LIST_NODE)));
    node->item = &v[0];
    list_insert_after(l, nullptr, node);
    auto* node5 = static_cast<LIST_NODE*>(std::calloc(1, sizeof(LIST_NODE)));
    node5->item = &v[5];
    list_append_node(l, node5);
    auto* node4 = static_cast<LIST_NODE*>(std::calloc(1, sizeof(LIST_NODE)));
    node4->item = &v[4];
    list_insert_after(l, list_node_at(l, 3), node4);
    EXPECT_EQ(Items(l), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list_item_at(l, 4), &v[4]);
    EXPECT_EQ(list_item_at(l, 6), nullptr);
    EXPECT_EQ(list_item_at(l, -1), nullptr);
    EXPECT_EQ(list_head_item(l), &v[0]);
    EXPECT_EQ(list_tail_item(l), &v[5]);
    EXPECT_EQ(list_count(l), 6);
    list_destroy(l);
}

TEST(List, InsertSortedBothDirections) {
    int v[] = {5, 1, 4, 2, 3, 3};
    LIST* up = list_create(IntCompare, nullptr);
    LIST* down = list_create(IntCompare, nullptr);
    for (int& x : v) {
        list_insert_sorted(up, &x, 1);     // walk while item > node: ascending
        list_insert_sorted(down, &x, -1);  // walk while item < node: descending
    }
    EXPECT_EQ(Items(up), (std::vector<int>{1, 2, 3, 3, 4, 5}));
    EXPECT_EQ(Items(down), (std::vector<int>{5, 4, 3, 3, 2, 1}));
    list_destroy(up);
    list_destroy(down);
}

TEST(List, AddUniqueFindAndRemoveForms) {
    int v[] = {1, 2, 2, 3, 2};
    int key2 = 2, key9 = 9;
    LIST* l = list_create(IntCompare, nullptr);
    for (int& x : v) list_append(l, &x);
    int one = 1;
    list_add_unique(l, &one);  // present: nothing
    int seven = 7;
    list_add_unique(l, &seven);  // prepended
    EXPECT_EQ(Items(l), (std::vector<int>{7, 1, 2, 2, 3, 2}));
    EXPECT_EQ(list_find(l, &key2), &v[1]);
    EXPECT_EQ(list_find(l, &key9), nullptr);
    list_remove(l, &key2);
    EXPECT_EQ(Items(l), (std::vector<int>{7, 1, 2, 3, 2}));
    list_remove_all(l, &key2);
    EXPECT_EQ(Items(l), (std::vector<int>{7, 1, 3}));
    auto byParity = [](const void* item, const void* key) {
        return (*static_cast<const int*>(item) % 2) == (*static_cast<const int*>(key) % 2) ? 0 : 1;
    };
    int odd = 1;
    list_remove_with(l, &odd, byParity);
    EXPECT_EQ(Items(l), (std::vector<int>{1, 3}));
    list_remove_all_with(l, &odd, byParity);
    EXPECT_EQ(Items(l), (std::vector<int>{}));
    EXPECT_EQ(l->head, nullptr);
    EXPECT_EQ(l->tail, nullptr);
    list_destroy(l);
}

int g_freed = 0;
void CountingFree(void* item) {
    ++g_freed;
    std::free(item);
}

int* NewInt(int v) {
    auto* p = static_cast<int*>(std::malloc(sizeof(int)));
    *p = v;
    return p;
}

TEST(List, FreeingRemovalsApplyTheFreeFunction) {
    g_freed = 0;
    LIST* l = list_create(IntCompare, CountingFree);
    for (int i = 0; i < 6; ++i) list_append(l, NewInt(i));
    list_remove_head(l);
    list_remove_tail(l);
    EXPECT_EQ(g_freed, 2);
    EXPECT_EQ(Items(l), (std::vector<int>{1, 2, 3, 4}));
    LIST_NODE* second = list_node_at(l, 1);
    LIST_NODE* next = list_remove_node(l, second, 1);
    EXPECT_EQ(*static_cast<int*>(next->item), 3);
    EXPECT_EQ(g_freed, 3);
    // Unlink keeps node and item for the caller.
    LIST_NODE* first = list_head_node(l);
    list_unlink(l, first);
    EXPECT_EQ(Items(l), (std::vector<int>{3, 4}));
    EXPECT_EQ(g_freed, 3);
    CountingFree(first->item);
    std::free(first);
    list_clear(l);
    EXPECT_EQ(g_freed, 6);
    EXPECT_EQ(list_count(l), 0);
    list_destroy(l);
}

TEST(List, AppendAllCopiesItemsInOrderEvenFromItself) {
    int v[] = {1, 2, 3};
    LIST* a = list_create(IntCompare, nullptr);
    LIST* b = list_create(IntCompare, nullptr);
    for (int& x : v) list_append(b, &x);
    list_append(a, &v[2]);
    list_append_all(a, b);
    EXPECT_EQ(Items(a), (std::vector<int>{3, 1, 2, 3}));
    list_append_all(b, b);
    EXPECT_EQ(Items(b), (std::vector<int>{1, 2, 3, 1, 2, 3}));
    list_destroy(a);
    list_destroy(b);
}

TEST(List, IterationAndRemovalThroughTheCursor) {
    g_freed = 0;
    LIST* l = list_create(IntCompare, CountingFree);
    for (int i = 0; i < 4; ++i) list_append(l, NewInt(i));
    LIST_NODE* cur = nullptr;
    std::vector<int> seen;
    while (void* item = list_iter_next_item(l, &cur)) seen.push_back(*static_cast<int*>(item));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(cur, nullptr);
    // Remove every item through the cursor.
    cur = nullptr;
    void* item = list_iter_remove_next(l, &cur);  // moves to the head
    EXPECT_EQ(*static_cast<int*>(item), 0);
    item = list_iter_remove_next(l, &cur);  // removes 0, now at 1
    EXPECT_EQ(*static_cast<int*>(item), 1);
    while (list_iter_remove_next(l, &cur)) {
    }
    EXPECT_EQ(list_count(l), 0);
    EXPECT_EQ(g_freed, 4);
    cur = nullptr;
    EXPECT_EQ(list_iter_remove_next(l, &cur), nullptr);
    list_destroy(l);
}

TEST(List, ForEachUntilStopsAtFirstNonZero) {
    int v[] = {1, 2, 3, 4};
    LIST* l = list_create(IntCompare, nullptr);
    for (int& x : v) list_append(l, &x);
    int visited = 0;
    auto stopAt3 = [](void* item, void* arg) {
        ++*static_cast<int*>(arg);
        return *static_cast<int*>(item) == 3 ? 42 : 0;
    };
    EXPECT_EQ(list_foreach_until(l, stopAt3, &visited), 42);
    EXPECT_EQ(visited, 3);
    auto never = [](LIST_NODE*, void* arg) {
        ++*static_cast<int*>(arg);
        return 0;
    };
    visited = 0;
    EXPECT_EQ(list_foreach_node_until(l, never, &visited), 0);
    EXPECT_EQ(visited, 4);
    list_destroy(l);
}

// ---------------------------------------------------------------------------
// TREE

int TreeCmp(const void* value, const void* key) {
    // Negative goes left: the key is smaller than the value.
    int v = *static_cast<const int*>(value), k = *static_cast<const int*>(key);
    return (k > v) - (k < v);
}
int TreeMake(void** value, const void* key) {
    if (*static_cast<const int*>(key) < 0) return 0;  // refuse negatives
    *value = NewInt(*static_cast<const int*>(key));
    return 1;
}
int g_destroyed = 0;
void TreeKill(void*) { ++g_destroyed; }

std::vector<int> g_walk;
void Walk(void* value) { g_walk.push_back(*static_cast<int*>(value)); }

TEST(Tree, RequiresAllThreeFunctions) {
    EXPECT_EQ(tree_create(nullptr, TreeMake, TreeKill), nullptr);
    EXPECT_EQ(tree_create(TreeCmp, nullptr, TreeKill), nullptr);
    EXPECT_EQ(tree_create(TreeCmp, TreeMake, nullptr), nullptr);
}

TEST(Tree, FindOrInsertBuildsOnceAndWalksInOrder) {
    TREE* t = tree_create(TreeCmp, TreeMake, TreeKill);
    ASSERT_NE(t, nullptr);
    int keys[] = {50, 20, 80, 10, 30, 70, 90, 20};
    for (int& k : keys) ASSERT_NE(tree_find_or_insert(t, &k), nullptr);
    EXPECT_EQ(t->count, 7);
    int k30 = 30, k31 = 31;
    TREE_NODE* n = tree_find(t, &k30);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(*static_cast<int*>(n->value), 30);
    EXPECT_EQ(n->tree, t);
    EXPECT_EQ(tree_find_or_insert(t, &k30), n);
    EXPECT_EQ(tree_find(t, &k31), nullptr);
    g_walk.clear();
    tree_walk(t, Walk);
    EXPECT_EQ(g_walk, (std::vector<int>{10, 20, 30, 50, 70, 80, 90}));
    g_walk.clear();
    tree_walk(t, Walk);  // the walk left the tree as it found it
    EXPECT_EQ(g_walk.size(), 7u);
    g_destroyed = 0;
    tree_destroy(t);
    EXPECT_EQ(g_destroyed, 7);
}

TEST(Tree, ConstructFailureAndOutOfMemoryInsertNothing) {
    TREE* t = tree_create(TreeCmp, TreeMake, TreeKill);
    int neg = -1, ok = 1;
    EXPECT_EQ(tree_find_or_insert(t, &neg), nullptr);
    EXPECT_EQ(t->count, 0);
    {
        FailGuard g;
        TryMemFailAfter(0);
        EXPECT_EQ(tree_find_or_insert(t, &ok), nullptr);
    }
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(t->root, nullptr);
    tree_destroy(t);
}

TEST(Tree, AscendingInsertsDegenerateButStillWork) {
    TREE* t = tree_create(TreeCmp, TreeMake, TreeKill);
    const int n = 5000;
    for (int i = 0; i < n; ++i) ASSERT_NE(tree_find_or_insert(t, &i), nullptr);
    for (int i = 0; i < n; i += 997) EXPECT_NE(tree_find(t, &i), nullptr);
    g_walk.clear();
    tree_walk(t, Walk);
    ASSERT_EQ(g_walk.size(), static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) ASSERT_EQ(g_walk[i], i);
    g_destroyed = 0;
    tree_destroy(t);
    EXPECT_EQ(g_destroyed, n);
}

// ---------------------------------------------------------------------------
// SCR_Array

TEST(ScrArray, CreateAppendGrowRemoveFree) {
    EXPECT_EQ(SCR_ArrayCreate(0), nullptr);
    SCR_Array* a = SCR_ArrayCreate(sizeof(int64_t));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->capacity, 10u);
    for (int64_t i = 0; i < 10; ++i) ASSERT_EQ(SCR_ArrayAppend(a, &i), 1);
    EXPECT_EQ(a->capacity, 10u);
    int64_t eleven = 10;
    ASSERT_EQ(SCR_ArrayAppend(a, &eleven), 1);
    EXPECT_EQ(a->capacity, 20u);
    EXPECT_EQ(a->count, 11u);
    for (uint32_t i = 0; i < 11; ++i) EXPECT_EQ(*static_cast<int64_t*>(SCR_ArrayAt(a, i)), i);
    // Spare capacity is zero-filled.
    EXPECT_EQ(static_cast<int64_t*>(a->data)[19], 0);
    EXPECT_EQ(SCR_ArrayRemove(a, 0, nullptr), 1);
    EXPECT_EQ(a->count, 10u);
    EXPECT_EQ(*static_cast<int64_t*>(SCR_ArrayAt(a, 0)), 1);
    EXPECT_EQ(*static_cast<int64_t*>(SCR_ArrayAt(a, 9)), 10);
    EXPECT_EQ(SCR_ArrayRemove(a, 10, nullptr), 0);
    EXPECT_EQ(SCR_ArrayAt(a, 10), nullptr);
    EXPECT_EQ(SCR_ArrayAppend(a, nullptr), 0);
    SCR_ArrayFree(&a, nullptr);
    EXPECT_EQ(a, nullptr);
    SCR_ArrayFree(&a, nullptr);
}

void FreePointee(void* element) { std::free(*static_cast<void**>(element)); }

TEST(ScrArray, CallbacksSeeEveryElement) {
    SCR_Array* a = SCR_ArrayCreate(sizeof(void*));
    for (int i = 0; i < 25; ++i) {
        void* p = std::malloc(4);
        ASSERT_EQ(SCR_ArrayAppend(a, &p), 1);
    }
    EXPECT_EQ(SCR_ArrayRemove(a, 5, FreePointee), 1);
    SCR_ArrayFree(&a, FreePointee);  // leak checker: all 25 released
}

TEST(ScrArray, AppendAllAndItsFailures) {
    SCR_Array* a = SCR_ArrayCreate(4);
    SCR_Array* b = SCR_ArrayCreate(4);
    SCR_Array* c = SCR_ArrayCreate(8);
    for (int32_t i = 0; i < 7; ++i) {
        SCR_ArrayAppend(a, &i);
        SCR_ArrayAppend(b, &i);
    }
    EXPECT_EQ(SCR_ArrayAppendAll(a, c), 0);
    ASSERT_EQ(SCR_ArrayAppendAll(a, b), 1);
    EXPECT_EQ(a->count, 14u);
    ASSERT_EQ(SCR_ArrayAppendAll(a, a), 1);  // doubling itself across a reallocation
    EXPECT_EQ(a->count, 28u);
    for (uint32_t i = 0; i < 28; ++i) EXPECT_EQ(*static_cast<int32_t*>(SCR_ArrayAt(a, i)), static_cast<int32_t>(i % 7));
    {
        FailGuard g;
        TryMemFailAfter(0);
        EXPECT_EQ(SCR_ArrayAppendAll(a, a), 0);
        EXPECT_EQ(a->count, 28u);
        TryMemFailAfter(0);
        SCR_Array* full = SCR_ArrayCreate(1);
        TryMemFailAfter(-1);
        EXPECT_EQ(full, nullptr);
        SCR_Array* d = SCR_ArrayCreate(1);
        for (uint8_t i = 0; i < 10; ++i) SCR_ArrayAppend(d, &i);
        TryMemFailAfter(0);
        uint8_t x = 99;
        EXPECT_EQ(SCR_ArrayAppend(d, &x), 0);
        TryMemFailAfter(-1);
        EXPECT_EQ(d->count, 10u);
        EXPECT_EQ(d->capacity, 10u);
        SCR_ArrayFree(&d, nullptr);
    }
    SCR_ArrayFree(&a, nullptr);
    SCR_ArrayFree(&b, nullptr);
    SCR_ArrayFree(&c, nullptr);
}

// ---------------------------------------------------------------------------
// Argument vectors

struct ArgvCase {
    const char* text;
    std::vector<std::string> args;
};

class StrToArgvTest : public ::testing::TestWithParam<ArgvCase> {};

TEST_P(StrToArgvTest, Splits) {
    const ArgvCase& c = GetParam();
    int argc = -1;
    char** argv = nullptr;
    ASSERT_EQ(StrToArgv(c.text, &argc, &argv), 0);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(argc, static_cast<int>(c.args.size())) << c.text;
    for (int i = 0; i < argc; ++i) EXPECT_EQ(argv[i], c.args[i]) << c.text;
    EXPECT_EQ(argv[argc], nullptr);
    FreeArgv(argv);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrToArgvTest,
    ::testing::Values(ArgvCase{"-u 'my user' -G \"a\\\"b\"", {"-u", "my user", "-G", "a\"b"}}, ArgvCase{"''", {""}},
                      ArgvCase{"   \t ", {}}, ArgvCase{"", {}}, ArgvCase{"  a\tb  ", {"a", "b"}},
                      ArgvCase{"\"it's\"", {"it's"}}, ArgvCase{"'say \"hi\"'", {"say \"hi\""}},
                      ArgvCase{"a\\\\b c\\d", {"a\\b", "c\\d"}}, ArgvCase{"ab'cd ef'gh", {"abcd efgh"}},
                      ArgvCase{"\\'x", {"'x"}}, ArgvCase{"'' '' x", {"", "", "x"}},
                      ArgvCase{"'unterminated text", {"unterminated text"}}, ArgvCase{"trailing\\", {"trailing\\"}}));

TEST(StrToArgv, ManyArgumentsGrowTheVector) {
    std::string text;
    for (int i = 0; i < 37; ++i) text += "arg" + std::to_string(i) + " ";
    int argc = 0;
    char** argv = nullptr;
    ASSERT_EQ(StrToArgv(text.c_str(), &argc, &argv), 0);
    ASSERT_EQ(argc, 37);
    for (int i = 0; i < 37; ++i) EXPECT_EQ(argv[i], "arg" + std::to_string(i));
    EXPECT_EQ(argv[37], nullptr);
    FreeArgv(argv);
}

TEST(StrToArgv, LongArgumentIsKeptWhole) {
    std::string big(5000, 'x');
    std::string text = "-a '" + big + "' -b";
    int argc = 0;
    char** argv = nullptr;
    ASSERT_EQ(StrToArgv(text.c_str(), &argc, &argv), 0);
    ASSERT_EQ(argc, 3);
    EXPECT_EQ(std::string(argv[1]), big);
    EXPECT_STREQ(argv[2], "-b");
    FreeArgv(argv);
}

TEST(StrToArgv, NullTextGivesMinusOne) {
    int argc = 5;
    char** argv = reinterpret_cast<char**>(1);
    EXPECT_EQ(StrToArgv(nullptr, &argc, &argv), -1);
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(argv, nullptr);
    FreeArgv(nullptr);
}

// ---------------------------------------------------------------------------
// MD5

std::string Md5Hex(const std::string& s, size_t chunk) {
    MD5Context ctx;
    MD5Init(&ctx);
    for (size_t i = 0; i < s.size(); i += chunk)
        MD5Update(&ctx, s.data() + i, static_cast<uint32_t>(std::min(chunk, s.size() - i)));
    uint8_t d[16];
    MD5Final(d, &ctx);
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

TEST(Md5, Rfc1321TestSuite) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto& [text, hex] : cases) {
        for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}, size_t{1000}})
            EXPECT_EQ(Md5Hex(text, chunk), hex) << text << " in pieces of " << chunk;
    }
}

}  // namespace
