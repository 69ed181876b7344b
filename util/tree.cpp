#include "util/tree.h"

#include <cstdlib>

#include "util/trymem.h"

TREE* tree_create(TreeCompare compare, TreeConstruct construct, TreeDestroy destroy) {
    if (!compare || !construct || !destroy) return nullptr;
    auto* t = static_cast<TREE*>(TryCalloc(1, sizeof(TREE)));
    if (!t) return nullptr;
    t->compare = compare;
    t->construct = construct;
    t->destroy = destroy;
    return t;
}

TREE_NODE* tree_find(const TREE* tree, const void* key) {
    if (!tree) return nullptr;
    TREE_NODE* n = tree->root;
    while (n) {
        int c = tree->compare(n->value, key);
        if (c == 0) return n;
        n = c < 0 ? n->left : n->right;
    }
    return nullptr;
}

TREE_NODE* tree_find_or_insert(TREE* tree, const void* key) {
    if (!tree) return nullptr;
    TREE_NODE** link = &tree->root;
    while (*link) {
        int c = tree->compare((*link)->value, key);
        if (c == 0) return *link;
        link = c < 0 ? &(*link)->left : &(*link)->right;
    }
    auto* n = static_cast<TREE_NODE*>(TryCalloc(1, sizeof(TREE_NODE)));
    if (!n) return nullptr;
    n->tree = tree;
    if (!tree->construct(&n->value, key)) {
        TryFree(n);
        return nullptr;
    }
    *link = n;
    tree->count++;
    return n;
}

void tree_walk(const TREE* tree, TreeWalkFunc fn) {
    if (!tree || !fn) return;
    // Threaded (Morris) in-order walk: the links it borrows are restored before it returns.
    TREE_NODE* cur = tree->root;
    while (cur) {
        if (!cur->left) {
            fn(cur->value);
            cur = cur->right;
            continue;
        }
        TREE_NODE* pred = cur->left;
        while (pred->right && pred->right != cur) pred = pred->right;
        if (!pred->right) {
            pred->right = cur;
            cur = cur->left;
        } else {
            pred->right = nullptr;
            fn(cur->value);
            cur = cur->right;
        }
    }
}

void tree_destroy(TREE* tree) {
    if (!tree) return;
    // Rotates left children up until the root has none, then frees it: no recursion.
    TREE_NODE* n = tree->root;
    while (n) {
        if (n->left) {
            TREE_NODE* l = n->left;
            n->left = l->right;
            l->right = n;
            n = l;
            continue;
        }
        TREE_NODE* next = n->right;
        tree->destroy(n->value);
        std::free(n->value);
        TryFree(n);
        n = next;
    }
    TryFree(tree);
}
