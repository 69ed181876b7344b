// Statement analysis of the SQL analyser: the parse of a statement under the parser mutex, its
// kind and shape, its tables, select list and ORDER BY, and the clause edits through the edit
// marker where the cursor layer later writes its own text.
#include "scrs/scr_analyse.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/scr_node.h"
#include "scrs/scr_parse.h"
#include "util/critsec.h"
#include "util/scrarray.h"
#include "util/errtable.h"
#include "util/strutil.h"
#include "util/trymem.h"

namespace {

// A list of parse-tree nodes, held by pointer.
SCR_Array* NodeList() {
    return SCR_ArrayCreate(sizeof(SCR_Node*));  // NOLINT(bugprone-sizeof-expression): an array of pointers
}

char* Dup(const char* s, size_t n) {
    auto* p = static_cast<char*>(std::malloc(n + 1));
    if (p == nullptr) return nullptr;
    std::memcpy(p, s, n);
    p[n] = '\0';
    return p;
}
char* Dup(const char* s) { return Dup(s, std::strlen(s)); }

void CopyName(char* dst, const char* src, size_t n) {
    if (n > 508) n = 508;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

bool HasTemplate(const SCR_Node* n) { return n != nullptr && n->tpl != nullptr; }

// The SELECT, its query and its FROM part; 0 or 15.
uint32_t SelectParts(const SCR_Analysis* a, SCR_Node** sel, SCR_Node** query, SCR_Node** from) {
    *sel = SCR_FindIn(a->root, SCR_K_SELECT);
    *query = *sel ? SCR_FindIn(*sel, SCR_K_QUERY) : nullptr;
    *from = *query ? SCR_FindIn(*query, SCR_K_FROMPART) : nullptr;
    return *from != nullptr ? kErrNone : kErrGeneral;
}

uint32_t Regen(SCR_Analysis* a) { return SCR_Regenerate(a->root) ? kErrNone : kErrNoMemory; }

// Table name split: "@" first (the rest names a node), then ".", then ":".
bool SplitTable(const char* name, const char* corr, int qualifiers, SCR_TableRef* out) {
    const char* qual = "";
    size_t qualLen = 0;
    const char* owner = "";
    size_t ownerLen = 0;
    const char* table = name;
    size_t tableLen = std::strlen(name);
    const char* at = std::strchr(name, '@');
    const char* lastDot = std::strrchr(name, '.');
    if (at != nullptr) {
        size_t frontLen = size_t(at - name);
        const char* dot = static_cast<const char*>(std::memchr(name, '.', frontLen));
        if (dot != nullptr) {
            owner = name;
            ownerLen = size_t(dot - name);
            table = dot + 1;
            tableLen = size_t(at - table);
        } else {
            tableLen = frontLen;
        }
    } else if (lastDot != nullptr) {
        table = lastDot + 1;
        tableLen = std::strlen(table);
        size_t restLen = size_t(lastDot - name);
        const char* dot = nullptr;
        for (size_t i = 0; i < restLen; ++i)
            if (name[i] == '.') dot = name + i;
        const char* colon = static_cast<const char*>(std::memchr(name, ':', restLen));
        const char* cut = dot != nullptr ? dot : colon;
        if (cut != nullptr) {
            qual = name;
            qualLen = size_t(cut - name);
            owner = cut + 1;
            ownerLen = size_t(lastDot - owner);
        } else {
            owner = name;
            ownerLen = restLen;
        }
    } else if (const char* colon = std::strchr(name, ':'); colon != nullptr) {
        qual = name;
        qualLen = size_t(colon - name);
        table = colon + 1;
        tableLen = std::strlen(table);
    }
    if (!qualifiers) qualLen = 0;
    out->qualifier = Dup(qual, qualLen);
    out->owner = Dup(owner, ownerLen);
    out->table = Dup(table, tableLen);
    out->alias = Dup(corr);
    if (!out->qualifier || !out->owner || !out->table || !out->alias) {
        SCR_TableRefFree(out);
        return false;
    }
    return true;
}

}  // namespace

void SCR_TableRefFree(void* element) {
    auto* t = static_cast<SCR_TableRef*>(element);
    if (t == nullptr) return;
    std::free(t->qualifier);
    std::free(t->owner);
    std::free(t->table);
    std::free(t->alias);
    *t = SCR_TableRef{};
}

void SCR_AnalysisInit(SCR_Analysis* a) {
    if (a == nullptr) return;
    *a = SCR_Analysis{};
    a->kind = -1;
}

void SCR_AnalysisFree(SCR_Analysis* a) {
    if (a == nullptr) return;
    std::free(a->text);
    std::free(a->errText);
    std::free(a->message);
    SCR_NodeFree(&a->root, nullptr);
    *a = SCR_Analysis{};
    a->kind = -1;
}

const char* SCR_AnalysisText(const SCR_Analysis* a) {
    return a != nullptr && a->root != nullptr && a->root->text != nullptr ? a->root->text : "";
}

uint32_t SCR_ParseInto(SCR_Analysis* a, const char* sql) {
    if (a == nullptr) return kErrGeneral;
    if (sql == nullptr) sql = "";
    while (*sql == ' ' || *sql == '\t' || *sql == '\r' || *sql == '\n') ++sql;
    SCR_AnalysisFree(a);
    a->text = Dup(sql);
    if (a->text == nullptr) return kErrNoMemory;
    a->kind = 0;
    int rc;
    {
        CritSecGuard guard(SCR_ParserMutex());
        rc = ScsqlParseText(a->text, std::strlen(a->text), &a->root, &a->errText, &a->message);
    }
    if (rc == 2) return kErrNoMemory;
    if (rc != 0) return kErrSyntax;
    a->kind = int32_t(a->root->kind);
    return SCR_Regenerate(a->root) ? kErrNone : kErrNoMemory;
}

uint32_t SCR_AnalyseSQL(SCR_Analysis* a, const char* sql, int parseOnly, int qualifiers) {
    uint32_t rc = SCR_ParseInto(a, sql);
    if (rc != 0) return rc;
    if (parseOnly || a->kind != int32_t(SCR_K_SELECT)) return 0;
    SCR_Node* sel;
    SCR_Node* query;
    SCR_Node* from;
    SCR_Node* order = SCR_FindIn(a->root, SCR_K_ORDERSLOT);
    if (order == nullptr) return kErrGeneral;
    a->flags = HasTemplate(order) ? uint16_t(a->flags | SCR_F_ORDERBY) : uint16_t(a->flags & ~SCR_F_ORDERBY);
    if (SelectParts(a, &sel, &query, &from) != 0) return kErrGeneral;
    SCR_Node* group = SCR_FindIn(from, SCR_K_GROUPBY);
    if (group == nullptr) return kErrGeneral;
    a->flags = HasTemplate(group) ? uint16_t(a->flags | SCR_F_GROUPBY) : uint16_t(a->flags & ~SCR_F_GROUPBY);
    SCR_Node* uni = SCR_FindIn(from, SCR_K_UNIONSLOT);
    if (uni == nullptr) return kErrGeneral;
    a->flags = HasTemplate(uni) ? uint16_t(a->flags | SCR_F_UNION) : uint16_t(a->flags & ~SCR_F_UNION);
    SCR_Array* tables = SCR_ArrayCreate(sizeof(SCR_TableRef));
    if (tables == nullptr) return kErrNoMemory;
    rc = SCR_TablesGet(a, tables, qualifiers);
    bool multi = tables->count >= 2;
    SCR_ArrayFree(&tables, SCR_TableRefFree);
    if (rc != 0) return rc;
    a->flags = multi ? uint16_t(a->flags | SCR_F_MULTITABLE) : uint16_t(a->flags & ~SCR_F_MULTITABLE);
    const SCR_Node* head = query->child;
    const bool distinct = head != nullptr && head->child != nullptr && head->child->text != nullptr &&
                          std::strcmp(head->child->text, "DISTINCT") == 0;
    a->flags = distinct ? uint16_t(a->flags | SCR_F_DISTINCT) : uint16_t(a->flags & ~SCR_F_DISTINCT);
    a->flags = SCR_FindIn(query, SCR_K_AGGREGATE) ? uint16_t(a->flags | SCR_F_AGGREGATE)
                                                  : uint16_t(a->flags & ~SCR_F_AGGREGATE);
    a->flags = SCR_FindIn(a->root, SCR_K_OUTERSIDE) ? uint16_t(a->flags | SCR_F_OUTERJOIN)
                                                    : uint16_t(a->flags & ~SCR_F_OUTERJOIN);
    return 0;
}

uint32_t SCR_TablesGet(SCR_Analysis* a, SCR_Array* tables, int qualifiers) {
    if (a == nullptr || tables == nullptr) return kErrGeneral;
    SCR_Node* sel;
    SCR_Node* query;
    SCR_Node* from;
    if (SelectParts(a, &sel, &query, &from) != 0) return kErrGeneral;
    // Only the query's own FROM list: a query without one names no table, even when a
    // subquery in its conditions does.
    SCR_Node* list = from->child != nullptr && from->child->kind == SCR_K_TABLELIST ? from->child : nullptr;
    if (list == nullptr) return 0;
    SCR_Array* refs = NodeList();
    if (refs == nullptr) return kErrNoMemory;
    uint32_t rc = 0;
    if (!SCR_CollectKind(list->child, SCR_K_TABLEREF, refs))
        rc = kErrNoMemory;
    else if (refs->count == 0)
        rc = kErrGeneral;
    for (uint32_t i = 0; rc == 0 && i < refs->count; ++i) {
        SCR_Node* ref = *static_cast<SCR_Node**>(SCR_ArrayAt(refs, i));
        SCR_Node* corr = SCR_FindIn(ref, SCR_K_CORRNAME);
        SCR_Node* name = SCR_FindIn(ref, SCR_K_QTABLENAME);
        if (name == nullptr) {
            rc = kErrGeneral;
            break;
        }
        SCR_TableRef t{};
        if (!SplitTable(name->text, corr ? corr->text : "", qualifiers, &t))
            rc = kErrNoMemory;
        else if (!SCR_ArrayAppend(tables, &t)) {
            SCR_TableRefFree(&t);
            rc = kErrNoMemory;
        }
    }
    SCR_ArrayFree(&refs, nullptr);
    return rc;
}

uint32_t SCR_SelectListMark(SCR_Analysis* a) {
    if (a == nullptr) return kErrGeneral;
    SCR_Node* sel;
    SCR_Node* query;
    SCR_Node* from;
    SelectParts(a, &sel, &query, &from);
    SCR_Node* list = query ? SCR_FindIn(query, SCR_K_SELECTLIST) : nullptr;
    if (list == nullptr) return kErrGeneral;
    if (!SCR_NodeSetText(list, SCR_EDIT_MARKER)) return kErrNoMemory;
    std::free(list->tpl);
    list->tpl = nullptr;
    SCR_NodeFree(&list->child, nullptr);
    list->childCount = 0;
    return Regen(a);
}

uint32_t SCR_AddWhereCond(SCR_Analysis* a) {
    if (a == nullptr) return kErrGeneral;
    SCR_Node* sel;
    SCR_Node* query;
    SCR_Node* from;
    if (SelectParts(a, &sel, &query, &from) != 0) return kErrGeneral;
    // The query's own condition: a derived table in the FROM list has a WHERE slot of its own,
    // which a search through the whole FROM part would find first.
    SCR_Node* slot = nullptr;
    for (SCR_Node* c = from->child; c != nullptr && slot == nullptr; c = c->next)
        if (c->kind == SCR_K_WHERESLOT) slot = c;
    if (slot == nullptr) return kErrGeneral;
    if (HasTemplate(slot)) {
        a->flags |= SCR_F_HADWHERE;
        SCR_Node* where = SCR_FindIn(slot, SCR_K_WHERE);
        if (where == nullptr) return kErrGeneral;
        if (!SCR_NodeSetTemplate(where, "WHERE " SCR_EDIT_MARKER " AND (\xFF\x01\x01)")) return kErrNoMemory;
    } else {
        a->flags &= uint16_t(~SCR_F_HADWHERE);
        if (!SCR_NodeSetText(slot, SCR_EDIT_MARKER)) return kErrNoMemory;
    }
    return Regen(a);
}

uint32_t SCR_EditMarkerReplace(SCR_Analysis* a, const char* body) {
    std::string text = SCR_AnalysisText(a);
    size_t at = text.find(SCR_EDIT_MARKER);
    if (at == std::string::npos) return kErrGeneral;
    text.replace(at, 3, body);
    char* copy = TryStrdup(text.c_str());
    if (copy == nullptr) return kErrNoMemory;
    std::free(a->text);
    a->text = copy;
    return 0;
}

uint32_t SCR_OrderByMark(SCR_Analysis* a) {
    if (a == nullptr) return kErrGeneral;
    SCR_Node* slot = SCR_FindIn(a->root, SCR_K_ORDERSLOT);
    if (slot == nullptr) return kErrGeneral;
    if (HasTemplate(slot)) {
        a->flags |= SCR_F_ORDERBY;
        SCR_Node* order = SCR_FindIn(slot, SCR_K_ORDERBY);
        if (order == nullptr) return kErrGeneral;
        size_t n = std::strlen(order->tpl);
        auto* t = static_cast<char*>(std::malloc(n + 4));
        if (t == nullptr) return kErrNoMemory;
        std::memcpy(t, order->tpl, n);
        std::memcpy(t + n, SCR_EDIT_MARKER, 4);
        std::free(order->tpl);
        order->tpl = t;
    } else {
        a->flags &= uint16_t(~SCR_F_ORDERBY);
        if (!SCR_NodeSetText(slot, SCR_EDIT_MARKER)) return kErrNoMemory;
    }
    return Regen(a);
}

uint32_t SCR_OrderByReverse(SCR_Analysis* a) {
    if (a == nullptr) return kErrGeneral;
    SCR_Node* slot = SCR_FindIn(a->root, SCR_K_ORDERSLOT);
    if (slot == nullptr) return kErrGeneral;
    SCR_Array* items = NodeList();
    if (items == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_CollectKind(slot->child, SCR_K_SORTITEM, items) ? kErrNone : kErrNoMemory;
    if (rc == 0 && items->count == 0) rc = kErrGeneral;
    for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        SCR_Node* item = *static_cast<SCR_Node**>(SCR_ArrayAt(items, i));
        SCR_Node* dir = SCR_FindIn(item, SCR_K_DIRECTION);
        if (dir == nullptr)
            rc = kErrGeneral;
        else if (!SCR_NodeSetText(dir, std::strstr(dir->text, "DESC") ? "" : "DESC"))
            rc = kErrNoMemory;
    }
    SCR_ArrayFree(&items, nullptr);
    return rc != 0 ? rc : Regen(a);
}

void SCR_NameSplit(const char* text, char* column, char* table, char* alias, char* owner, char* qualifier) {
    column[0] = table[0] = alias[0] = owner[0] = qualifier[0] = '\0';
    if (text == nullptr) return;
    const char* d1 = std::strchr(text, '.');
    const char* d2 = d1 ? std::strchr(d1 + 1, '.') : nullptr;
    if (d1 == nullptr) {
        CopyName(column, text, std::strlen(text));
    } else if (d2 == nullptr) {
        CopyName(table, text, size_t(d1 - text));
        CopyName(column, d1 + 1, std::strlen(d1 + 1));
    } else {
        CopyName(owner, text, size_t(d1 - text));
        CopyName(table, d1 + 1, size_t(d2 - d1 - 1));
        CopyName(column, d2 + 1, std::strlen(d2 + 1));
    }
}

namespace {

// Names compare as the server folds them: a quoted one exactly, any other without case.
bool SameName(const char* a, const char* b) {
    if (a[0] == '"' || b[0] == '"') return std::strcmp(a, b) == 0;
    return AsciiCaseCompare(a, b) == 0;
}

// The 1-based position of the item of the statement's own select list that `name` (a bare
// name) is the alias of; 0 when none is. ORDER BY names a result column before a table's.
uint32_t AliasPosition(const SCR_Analysis* a, const char* name, uint32_t* position) {
    *position = 0;
    if (std::strchr(name, '.') != nullptr) return 0;
    SCR_Node* list = SCR_FindIn(a->root, SCR_K_SELECTLIST);
    if (list == nullptr || list->child == nullptr) return 0;
    SCR_Array* items = NodeList();
    if (items == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_CollectKindStop(list->child, SCR_K_SELECTITEM, SCR_K_SUBQUERY, items) ? kErrNone : kErrNoMemory;
    for (uint32_t i = 0; rc == 0 && *position == 0 && i < items->count; ++i) {
        const SCR_Node* item = *static_cast<SCR_Node**>(SCR_ArrayAt(items, i));
        for (const SCR_Node* c = item->child; c != nullptr; c = c->next)
            if (c->kind == SCR_K_ALIAS && c->text != nullptr && SameName(c->text, name)) *position = i + 1;
    }
    SCR_ArrayFree(&items, nullptr);
    return rc;
}

}  // namespace

uint32_t SCR_OrderByGet(SCR_Analysis* a, SCR_Array* out) {
    if (a == nullptr || out == nullptr) return kErrGeneral;
    SCR_Node* slot = SCR_FindIn(a->root, SCR_K_ORDERSLOT);
    if (slot == nullptr) return kErrGeneral;
    SCR_Array* items = NodeList();
    if (items == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_CollectKind(slot->child, SCR_K_SORTITEM, items) ? kErrNone : kErrNoMemory;
    if (rc == 0 && items->count == 0) rc = kErrGeneral;
    auto* ob = static_cast<OrderByItem*>(std::malloc(sizeof(OrderByItem)));
    if (ob == nullptr) rc = kErrNoMemory;
    for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        SCR_Node* item = *static_cast<SCR_Node**>(SCR_ArrayAt(items, i));
        std::memset(ob, 0, sizeof *ob);
        SCR_Node* dir = SCR_FindIn(item, SCR_K_DIRECTION);
        if (dir == nullptr) {
            rc = kErrGeneral;
            break;
        }
        ob->descending = std::strstr(dir->text, "DESC") ? 1 : 0;
        SCR_Node* num = SCR_FindIn(item, SCR_K_INTEGER);
        if (num != nullptr) {
            a->flags |= SCR_F_ORDERPOS;
            // The position is kept in a byte: a larger one would silently name another column.
            unsigned long pos = std::strtoul(num->text, nullptr, 10);
            if (pos == 0 || pos > 255) {
                rc = kErrGeneral;
                break;
            }
            ob->position = uint8_t(pos);
            std::snprintf(ob->text, sizeof ob->text, "%s", num->text);
        } else {
            SCR_Node* col = SCR_FindIn(item, SCR_K_COLREF);
            if (col == nullptr) {
                rc = kErrGeneral;
                break;
            }
            std::snprintf(ob->text, sizeof ob->text, "%s", col->text);
            uint32_t pos = 0;
            if ((rc = AliasPosition(a, col->text, &pos)) != 0) break;
            if (pos > 255) {
                rc = kErrGeneral;
                break;
            }
            if (pos != 0) {
                // A result column's name orders as its position does.
                a->flags |= SCR_F_ORDERPOS;
                ob->position = uint8_t(pos);
            } else {
                SCR_NameSplit(col->text, ob->column, ob->table, ob->alias, ob->owner, ob->qualifier);
            }
        }
        if (!SCR_ArrayAppend(out, ob)) rc = kErrNoMemory;
    }
    std::free(ob);
    SCR_ArrayFree(&items, nullptr);
    return rc;
}

uint32_t SCR_OrderByResolvePositions(SCR_Analysis* a, SCR_Array* arr) {
    if (a == nullptr || arr == nullptr) return kErrGeneral;
    if (arr->count == 0) return 0;
    // The items in the order SCR_OrderByGet read them, one entry of arr each.
    SCR_Node* slot = SCR_FindIn(a->root, SCR_K_ORDERSLOT);
    if (slot == nullptr) return kErrGeneral;
    SCR_Array* items = NodeList();
    if (items == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_CollectKind(slot->child, SCR_K_SORTITEM, items) ? kErrNone : kErrNoMemory;
    if (rc == 0 && items->count != arr->count) rc = kErrGeneral;
    for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        const auto* it = static_cast<const OrderByItem*>(SCR_ArrayAt(arr, i));
        if (it->position == 0) continue;
        SCR_Node* item = *static_cast<SCR_Node**>(SCR_ArrayAt(items, i));
        // A position is a number, a result column's name a column reference over one name.
        SCR_Node* leaf = SCR_FindIn(item, SCR_K_INTEGER);
        if (leaf == nullptr) {
            SCR_Node* col = SCR_FindIn(item, SCR_K_COLREF);
            leaf = col ? SCR_FindIn(col, SCR_K_COLNAME) : nullptr;
        }
        if (leaf == nullptr || leaf->child != nullptr)
            rc = kErrGeneral;
        else if (!SCR_NodeSetText(leaf, it->text))
            rc = kErrNoMemory;
    }
    SCR_ArrayFree(&items, nullptr);
    return rc != 0 ? rc : Regen(a);
}

namespace {
// A select item is a plain column when its expression is one term of one factor whose
// primary is a column reference (possibly in brackets) with no function or aggregate.
int PlainColumn(SCR_Node* item, SCR_Node** colref) {
    SCR_Node* expr = SCR_FindIn(item, SCR_K_EXPR);
    for (int depth = 0; depth < 10000; ++depth) {
        if (expr == nullptr) return -1;
        if (expr->childCount != 1) return 0;
        SCR_Node* term = SCR_FindIn(expr, SCR_K_TERM);
        if (term == nullptr) return -1;
        if (term->childCount != 1) return 0;
        SCR_Node* factor = SCR_FindIn(term, SCR_K_FACTOR);
        if (factor == nullptr) return -1;
        if (std::strchr(factor->text, '+') || std::strchr(factor->text, '-')) return 0;
        SCR_Node* prim = SCR_FindIn(factor, SCR_K_PRIMARY);
        if (prim == nullptr) return -1;
        if (prim->text[0] == '(') return 0;
        if (SCR_FindIn(prim, SCR_K_AGGREGATE) || SCR_FindIn(prim, SCR_K_FUNCCALL) || SCR_FindIn(prim, SCR_K_FNESCAPE))
            return 0;
        SCR_Node* inner = prim->child ? SCR_FindIn(prim->child, SCR_K_EXPR) : nullptr;
        if (inner == nullptr) {
            *colref = SCR_FindIn(prim, SCR_K_COLREF);
            return *colref != nullptr ? 1 : 0;
        }
        expr = inner;
    }
    return 0;
}
}  // namespace

uint32_t SCR_SelectListExpand(SCR_Analysis* a, SCR_Array* cols) {
    if (a == nullptr || cols == nullptr) return kErrGeneral;
    SCR_Node* list = SCR_FindIn(a->root, SCR_K_SELECTLIST);
    if (list == nullptr) return kErrGeneral;
    auto* cd = static_cast<ColDesc*>(std::calloc(1, sizeof(ColDesc)));
    if (cd == nullptr) return kErrNoMemory;
    uint32_t rc = 0;
    if (list->tpl == nullptr && std::strcmp(list->text, "*") == 0) {
        cd->itemKind = 1;
        rc = SCR_ArrayAppend(cols, cd) ? kErrNone : kErrNoMemory;
        std::free(cd);
        return rc;
    }
    SCR_Array* items = NodeList();
    if (items == nullptr) rc = kErrNoMemory;
    // Items of this select list only, not of subqueries inside it.
    else if (!SCR_CollectKindStop(list->child, SCR_K_SELECTITEM, SCR_K_SUBQUERY, items))
        rc = kErrNoMemory;
    else if (items->count == 0)
        rc = kErrGeneral;
    for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        SCR_Node* item = *static_cast<SCR_Node**>(SCR_ArrayAt(items, i));
        std::memset(cd, 0, sizeof *cd);
        if (const char* star = std::strstr(item->text, ".*"); star != nullptr) {
            cd->itemKind = 2;
            CopyName(cd->table, item->text, size_t(star - item->text));
        } else {
            cd->itemKind = 3;
            CopyName(cd->column, item->text, std::strlen(item->text));
            SCR_Node* colref = nullptr;
            int plain = PlainColumn(item, &colref);
            if (plain < 0) {
                rc = kErrGeneral;
                break;
            }
            if (plain == 1) {
                cd->itemKind = 4;
                SCR_NameSplit(colref->text, cd->column, cd->table, cd->alias, cd->owner, cd->qualifier);
            }
        }
        if (!SCR_ArrayAppend(cols, cd)) rc = kErrNoMemory;
    }
    std::free(cd);
    SCR_ArrayFree(&items, nullptr);
    return rc;
}
