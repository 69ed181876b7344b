// Parse-tree nodes of the SQL analyser and the regeneration of statement text from them.
#pragma once

#include <cstdint>

struct SCR_Array;

struct SCR_Node {
    SCR_Node* child;  // first child, null for a leaf
    SCR_Node* next;   // next child of the same parent
    uint32_t kind;    // grammar construct (the SCR_K_ list below)
    uint32_t childCount;
    uint32_t visited;  // work counter of text regeneration
    char* text;        // leaf: token text; inner node: generated text
    char* tpl;         // null for a leaf; else text with 0xFF 0x01 n child placeholders
};

// Node kinds the analysis and the cursor layer look for.
enum : uint32_t {
    SCR_K_PASS = 0,
    SCR_K_AGGNAME = 1,
    SCR_K_ARGLIST = 3,
    SCR_K_ASSIGN = 4,
    SCR_K_ASSIGNLIST = 5,
    SCR_K_BETWEEN = 6,
    SCR_K_HEXLIT = 7,
    SCR_K_ALIAS = 9,
    SCR_K_COLNAME = 10,
    SCR_K_COLREF = 11,
    SCR_K_COLREFLIST = 12,
    SCR_K_COMPARISON = 14,
    SCR_K_CORRNAME = 15,
    SCR_K_POSDELETE = 18,
    SCR_K_DELETE = 19,
    SCR_K_PARAM = 20,
    SCR_K_EXISTS = 22,
    SCR_K_EXPR = 23,
    SCR_K_FACTOR = 24,
    SCR_K_IN = 26,
    SCR_K_INSERT = 28,
    SCR_K_LIKE = 31,
    SCR_K_LITERAL = 32,
    SCR_K_NULLTEST = 33,
    SCR_K_DATETIME = 35,
    SCR_K_OJESCAPE = 38,
    SCR_K_FNESCAPE = 39,
    SCR_K_DIRECTION = 44,
    SCR_K_INSCOLS = 45,
    SCR_K_TABLEREF = 46,
    SCR_K_GROUPBY = 47,
    SCR_K_HAVING = 48,
    SCR_K_ORDERSLOT = 50,
    SCR_K_UNIONSLOT = 52,
    SCR_K_WHERESLOT = 54,
    SCR_K_ORDERBY = 55,
    SCR_K_OUTERSIDE = 56,
    SCR_K_PREDICATE = 59,
    SCR_K_PRIMARY = 60,
    SCR_K_BRACEPASS = 61,
    SCR_K_QUANTIFIED = 66,
    SCR_K_FUNCCALL = 67,
    SCR_K_QUERY = 72,
    SCR_K_SELECTLIST = 73,
    SCR_K_SELECT = 74,
    SCR_K_SELECTITEM = 75,
    SCR_K_AGGREGATE = 76,
    SCR_K_SORTITEM = 80,
    SCR_K_SUBQUERY = 85,
    SCR_K_FROMPART = 86,
    SCR_K_TABLENAME = 87,
    SCR_K_QTABLENAME = 88,
    SCR_K_TABLELIST = 90,
    SCR_K_TERM = 91,
    SCR_K_UNION = 94,
    SCR_K_INTEGER = 95,
    SCR_K_POSUPDATE = 96,
    SCR_K_UPDATE = 97,
    SCR_K_VALUELIST = 99,
    SCR_K_INSSOURCE = 100,
    SCR_K_WHERE = 101,
};

// A leaf with a copy of text; null when memory runs out.
SCR_Node* SCR_NodeLeaf(uint32_t kind, const char* text);
// An inner node over n children, linked in the order given; its text is "" until regenerated.
// Null when memory runs out or a child is null: the node then takes its children with it, so
// a failed allocation anywhere below leaves no partial tree.
SCR_Node* SCR_NodeCreate(uint32_t kind, const char* tpl, uint32_t n, ...);
SCR_Node* SCR_NodeCreate1(uint32_t kind, const char* tpl, SCR_Node* child);

using SCR_NodeFreeFn = void (*)(SCR_Node* node);
// Frees the node, its children and its later siblings; fn (may be null) sees each node first.
// The node's own text and template are always freed. Clears *root.
void SCR_NodeFree(SCR_Node** root, SCR_NodeFreeFn fn);
// The same for one node and its children, not its siblings.
void SCR_NodeFreeOne(SCR_Node** node);

using SCR_WalkFn = int (*)(SCR_Node* node, uint32_t arg, void* ptr);
using SCR_WalkFn2 = int (*)(SCR_Node* node, uint32_t a, uint32_t b);
// Pre-order over the node, its children and its later siblings; a zero result skips the
// node's children and its later siblings. Needs no recursion.
void SCR_Walk(SCR_Node* node, SCR_WalkFn fn, uint32_t arg, void* ptr);
void SCR_Walk2(SCR_Node* node, SCR_WalkFn2 fn, uint32_t a, uint32_t b);
// Calls fn on node; when non-zero walks its children only (not its siblings).
void SCR_WalkChildren(SCR_Node* node, SCR_WalkFn fn, uint32_t arg, void* ptr);

// Appends (as SCR_Node*) every node of the kind in pre-order; with a stop kind a node of that
// kind is not entered. 1, or 0 when the array cannot grow.
int SCR_CollectKind(SCR_Node* node, uint32_t kind, SCR_Array* out);
int SCR_CollectKindStop(SCR_Node* node, uint32_t kind, uint32_t stop, SCR_Array* out);
// First node of the kind in pre-order (over the node's siblings too); *out must be null.
void SCR_FindKind(SCR_Node* node, uint32_t kind, SCR_Node** out);
void SCR_FindKindStop(SCR_Node* node, uint32_t kind, uint32_t stop, SCR_Node** out);
// The same over the node and its children only: the usual question "inside this node".
SCR_Node* SCR_FindIn(SCR_Node* node, uint32_t kind);
SCR_Node* SCR_FindInStop(SCR_Node* node, uint32_t kind, uint32_t stop);

// Rebuilds every inner node's text from its template; 1, or 0 when work memory is short
// (texts then unchanged, or partly rebuilt when a node's text could not be replaced).
// The links of a left-leaning chain below its top (the "a, b" inside "a, b, c", the "x OR y"
// inside "x OR y OR z") keep an empty text: the top's text is built in one pass, so long
// lists cost linear time and memory.
int SCR_Regenerate(SCR_Node* root);

// Child i (1-based) of a node, or null.
SCR_Node* SCR_NodeChild(const SCR_Node* node, uint32_t i);
// Replaces a node's text with a copy; 1, or 0 without memory.
int SCR_NodeSetText(SCR_Node* node, const char* text);
int SCR_NodeSetTemplate(SCR_Node* node, const char* tpl);

// The analyser's two locks, created once (the cursor layer's installation calls this; the
// analyser calls it itself before first use).
struct CritSec;
void SCR_LocksInit();
CritSec* SCR_ParserMutex();
CritSec* SCR_TreeTextLock();
