// Unbalanced binary search tree (the SQL parser's symbol table). It does not lock.
#pragma once

#include <cstdint>

struct TREE;

struct TREE_NODE {
    TREE_NODE* left;
    TREE_NODE* right;
    TREE* tree;   // owning tree
    void* value;  // built by the tree's construct function; freed with the node
};

// Negative: the key lies left of value; positive: right; 0: match.
using TreeCompare = int (*)(const void* value, const void* key);
// Fills *value from key; non-zero on success.
using TreeConstruct = int (*)(void** value, const void* key);
// Releases what a value holds (the value's own block is freed by the tree afterwards).
using TreeDestroy = void (*)(void* value);
using TreeWalkFunc = void (*)(void* value);

struct TREE {
    TREE_NODE* root;
    TreeCompare compare;
    TreeConstruct construct;
    TreeDestroy destroy;
    int32_t count;
};

TREE* tree_create(TreeCompare compare, TreeConstruct construct, TreeDestroy destroy);
TREE_NODE* tree_find_or_insert(TREE* tree, const void* key);
TREE_NODE* tree_find(const TREE* tree, const void* key);
// In-order; the walk needs no memory and no recursion, so a degenerate tree is fine.
void tree_walk(const TREE* tree, TreeWalkFunc fn);
void tree_destroy(TREE* tree);
