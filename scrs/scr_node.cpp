// Parse-tree nodes of the SQL analyser: their making by the grammar, walks and searches by kind
// (without recursion, which a deep statement could exhaust), and the regeneration of statement text
// from the nodes' templates under the text-regeneration lock; also the analyser's two locks.
#include "scrs/scr_node.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "drv_ingii/i-template.h"
#include "util/critsec.h"
#include "util/mpl.h"
#include "util/scrarray.h"

namespace {

char* DupText(const char* s) {
    if (s == nullptr) s = "";
    size_t n = std::strlen(s) + 1;
    auto* p = static_cast<char*>(std::malloc(n));
    if (p != nullptr) std::memcpy(p, s, n);
    return p;
}

// A growable stack of node pointers; the walks use it instead of recursion because a
// hostile statement can nest deep enough to exhaust the machine stack.
struct NodeStack {
    SCR_Node** items = nullptr;
    size_t count = 0;
    size_t cap = 0;
    ~NodeStack() { std::free(items); }
    bool Push(SCR_Node* n) {
        if (count == cap) {
            size_t nc = cap ? cap * 2 : 64;
            // NOLINTNEXTLINE(bugprone-sizeof-expression): an array of node pointers
            auto* p = static_cast<SCR_Node**>(std::realloc(items, nc * sizeof(SCR_Node*)));
            if (p == nullptr) return false;
            items = p;
            cap = nc;
        }
        items[count++] = n;
        return true;
    }
    SCR_Node* Pop() { return items[--count]; }
};

CritSec g_parserMutex{};
CritSec g_treeTextLock{};
std::once_flag g_locksOnce;

}  // namespace

void SCR_LocksInit() {
    std::call_once(g_locksOnce, [] {
        CritSecCreate(&g_parserMutex);
        CritSecCreate(&g_treeTextLock);
    });
}

CritSec* SCR_ParserMutex() {
    SCR_LocksInit();
    return &g_parserMutex;
}

CritSec* SCR_TreeTextLock() {
    SCR_LocksInit();
    return &g_treeTextLock;
}

SCR_Node* SCR_NodeLeaf(uint32_t kind, const char* text) {
    auto* n = static_cast<SCR_Node*>(std::calloc(1, sizeof(SCR_Node)));
    if (n == nullptr) return nullptr;
    n->kind = kind;
    n->text = DupText(text);
    if (n->text == nullptr) {
        std::free(n);
        return nullptr;
    }
    return n;
}

static SCR_Node* CreateV(uint32_t kind, const char* tpl, uint32_t count, SCR_Node** kids) {
    bool ok = true;
    for (uint32_t i = 0; i < count; ++i) ok = ok && kids[i] != nullptr;
    SCR_Node* n = nullptr;
    if (ok) n = static_cast<SCR_Node*>(std::calloc(1, sizeof(SCR_Node)));
    if (n != nullptr) {
        n->text = DupText("");
        n->tpl = DupText(tpl);
        if (n->text == nullptr || n->tpl == nullptr) {
            std::free(n->text);
            std::free(n->tpl);
            std::free(n);
            n = nullptr;
        }
    }
    if (n == nullptr) {
        for (uint32_t i = 0; i < count; ++i) SCR_NodeFreeOne(&kids[i]);
        return nullptr;
    }
    n->kind = kind;
    n->childCount = count;
    for (uint32_t i = 0; i < count; ++i) kids[i]->next = i + 1 < count ? kids[i + 1] : nullptr;
    n->child = count ? kids[0] : nullptr;
    return n;
}

SCR_Node* SCR_NodeCreate(uint32_t kind, const char* tpl, uint32_t n, ...) {
    SCR_Node* kids[8] = {};
    if (n > 8) return nullptr;
    va_list ap;
    va_start(ap, n);
    for (uint32_t i = 0; i < n; ++i) kids[i] = va_arg(ap, SCR_Node*);
    va_end(ap);
    return CreateV(kind, tpl, n, kids);
}

SCR_Node* SCR_NodeCreate1(uint32_t kind, const char* tpl, SCR_Node* child) { return CreateV(kind, tpl, 1, &child); }

// Frees without recursion: a child chain is spliced into the sibling chain being freed.
static void FreeChain(SCR_Node* n, SCR_NodeFreeFn fn) {
    while (n != nullptr) {
        if (n->child != nullptr) {
            SCR_Node* last = n->child;
            while (last->next != nullptr) last = last->next;
            last->next = n->next;
            n->next = n->child;
            n->child = nullptr;
        }
        SCR_Node* next = n->next;
        if (fn != nullptr) fn(n);
        std::free(n->text);
        std::free(n->tpl);
        std::free(n);
        n = next;
    }
}

void SCR_NodeFree(SCR_Node** root, SCR_NodeFreeFn fn) {
    if (root == nullptr) return;
    FreeChain(*root, fn);
    *root = nullptr;
}

void SCR_NodeFreeOne(SCR_Node** node) {
    if (node == nullptr || *node == nullptr) return;
    (*node)->next = nullptr;
    FreeChain(*node, nullptr);
    *node = nullptr;
}

namespace {
template <typename F>
void WalkImpl(SCR_Node* start, bool siblings, F&& visit) {
    NodeStack st;
    if (start == nullptr) return;
    if (!siblings) {
        if (!visit(start)) return;
        if (start->child == nullptr || !st.Push(start->child)) return;
    } else if (!st.Push(start)) {
        return;
    }
    while (st.count > 0) {
        SCR_Node* n = st.Pop();
        if (!visit(n)) continue;
        if (n->next != nullptr && !st.Push(n->next)) return;
        if (n->child != nullptr && !st.Push(n->child)) return;
    }
}
}  // namespace

void SCR_Walk(SCR_Node* node, SCR_WalkFn fn, uint32_t arg, void* ptr) {
    if (fn == nullptr) return;
    WalkImpl(node, true, [&](SCR_Node* n) { return fn(n, arg, ptr) != 0; });
}

void SCR_Walk2(SCR_Node* node, SCR_WalkFn2 fn, uint32_t a, uint32_t b) {
    if (fn == nullptr) return;
    WalkImpl(node, true, [&](SCR_Node* n) { return fn(n, a, b) != 0; });
}

void SCR_WalkChildren(SCR_Node* node, SCR_WalkFn fn, uint32_t arg, void* ptr) {
    if (fn == nullptr) return;
    WalkImpl(node, false, [&](SCR_Node* n) { return fn(n, arg, ptr) != 0; });
}

static int Collect(SCR_Node* node, bool siblings, uint32_t kind, bool useStop, uint32_t stop, SCR_Array* out) {
    bool ok = true;
    WalkImpl(node, siblings, [&](SCR_Node* n) {
        if (useStop && n->kind == stop) return false;
        if (n->kind == kind && ok) ok = SCR_ArrayAppend(out, &n) != 0;
        return true;
    });
    return ok ? 1 : 0;
}

int SCR_CollectKind(SCR_Node* node, uint32_t kind, SCR_Array* out) { return Collect(node, true, kind, false, 0, out); }

int SCR_CollectKindStop(SCR_Node* node, uint32_t kind, uint32_t stop, SCR_Array* out) {
    return Collect(node, true, kind, true, stop, out);
}

static SCR_Node* Find(SCR_Node* node, bool siblings, uint32_t kind, bool useStop, uint32_t stop) {
    SCR_Node* found = nullptr;
    WalkImpl(node, siblings, [&](SCR_Node* n) {
        if (found != nullptr) return false;
        if (useStop && n->kind == stop) return false;
        if (n->kind == kind) {
            found = n;
            return false;
        }
        return true;
    });
    return found;
}

void SCR_FindKind(SCR_Node* node, uint32_t kind, SCR_Node** out) {
    if (out == nullptr || *out != nullptr) return;
    *out = Find(node, true, kind, false, 0);
}

void SCR_FindKindStop(SCR_Node* node, uint32_t kind, uint32_t stop, SCR_Node** out) {
    if (out == nullptr || *out != nullptr) return;
    *out = Find(node, true, kind, true, stop);
}

SCR_Node* SCR_FindIn(SCR_Node* node, uint32_t kind) { return Find(node, false, kind, false, 0); }

SCR_Node* SCR_FindInStop(SCR_Node* node, uint32_t kind, uint32_t stop) { return Find(node, false, kind, true, stop); }

SCR_Node* SCR_NodeChild(const SCR_Node* node, uint32_t i) {
    if (node == nullptr || i == 0) return nullptr;
    SCR_Node* c = node->child;
    while (c != nullptr && --i > 0) c = c->next;
    return c;
}

int SCR_NodeSetText(SCR_Node* node, const char* text) {
    if (node == nullptr) return 0;
    char* t = DupText(text);
    if (t == nullptr) return 0;
    std::free(node->text);
    node->text = t;
    return 1;
}

int SCR_NodeSetTemplate(SCR_Node* node, const char* tpl) {
    if (node == nullptr) return 0;
    char* t = DupText(tpl);
    if (t == nullptr) return 0;
    std::free(node->tpl);
    node->tpl = t;
    return 1;
}

namespace {
bool StartsWithFirstChild(const SCR_Node* n) {
    return n->tpl != nullptr && static_cast<unsigned char>(n->tpl[0]) == 0xFF && n->tpl[1] == 0x01 && n->tpl[2] == 0x01;
}

// Expands tpl with the texts of n's children into the pool's current object (without the NUL).
void ExpandInto(MPL* pool, const char* tpl, SCR_Node* n, const char* first) {
    char* args[8];
    uint32_t cnt = 0;
    for (SCR_Node* c = n->child; c != nullptr && cnt < 8; c = c->next) args[cnt++] = c->text;
    if (first != nullptr && cnt > 0) args[0] = const_cast<char*>(first);
    SqlTemplateExpand(pool, tpl, args, int(cnt));
    // The expander closes with a NUL: take it back so the object can go on growing.
    if (mpl_object_size(pool) > 0 && pool->next[-1] == '\0') --pool->next;
}
}  // namespace

int SCR_Regenerate(SCR_Node* root) {
    if (root == nullptr) return 1;
    CritSecGuard guard(SCR_TreeTextLock());
    // Pre-order list of the inner nodes: in reverse, every node comes after all of its
    // children, so each template sees its children's fresh texts.
    NodeStack order;
    NodeStack work;
    if (!work.Push(root)) return 0;
    while (work.count > 0) {
        SCR_Node* n = work.Pop();
        if (n->tpl == nullptr) continue;
        n->visited = 0;
        if (!order.Push(n)) return 0;
        for (SCR_Node* c = n->child; c != nullptr; c = c->next)
            if (c->tpl != nullptr && !work.Push(c)) return 0;
    }
    // A left-leaning chain ("a, b, c", "x OR y OR z") would copy its growing prefix at every
    // level, quadratic in time and memory for long lists. Its links below the top are marked
    // and the top's text is built in one pass; the marked links keep an empty text.
    for (size_t i = 0; i < order.count; ++i) {
        SCR_Node* n = order.items[i];
        SCR_Node* c = n->child;
        if (c != nullptr && c->kind == n->kind && c->tpl != nullptr && StartsWithFirstChild(n)) c->visited = 1;
    }
    MPL pool;
    mpl_init(&pool);
    NodeStack chain;
    int ok = 1;
    for (size_t i = order.count; i-- > 0;) {
        SCR_Node* n = order.items[i];
        if (n->visited == 1) {
            if (!SCR_NodeSetText(n, "")) ok = 0;
            continue;
        }
        void* mark = mpl_alloc(&pool, 1);
        chain.count = 0;
        SCR_Node* link = n;
        bool chained = true;
        while (link != nullptr && chained) {
            if (!chain.Push(link)) {
                mpl_destroy(&pool);
                return 0;
            }
            link = link->child != nullptr && link->child->visited == 1 && link->child->tpl != nullptr ? link->child
                                                                                                      : nullptr;
        }
        // Bottom link whole, then each link above it without its leading first-child text.
        SCR_Node* bottom = chain.items[chain.count - 1];
        ExpandInto(&pool, bottom->tpl, bottom, nullptr);
        for (size_t k = chain.count - 1; k-- > 0;) ExpandInto(&pool, chain.items[k]->tpl + 3, chain.items[k], "");
        mpl_grow(&pool, "", 1);
        auto* text = static_cast<char*>(mpl_finish(&pool));
        if (!SCR_NodeSetText(n, text)) ok = 0;
        mpl_free_to(&pool, mark);
    }
    // Leave no marks behind for later walks.
    for (size_t i = 0; i < order.count; ++i) order.items[i]->visited = 0;
    mpl_destroy(&pool);
    return ok;
}
