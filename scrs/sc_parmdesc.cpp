// Parameter description by parsing: each marker of a statement is paired with the column it is
// compared with, assigned to or inserted into, and probe queries selecting those columns (with
// " WHERE 1=0 ") let the layer below describe the markers.
#include "scrs/sc_parmdesc.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "scrs/scr_node.h"
#include "util/mpl.h"
#include "util/scrarray.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

SCR_Node* DirectChild(SCR_Node* n, uint32_t kind) {
    for (SCR_Node* c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
        if (c->kind == kind) return c;
    return nullptr;
}

bool IsMarker(SCR_Node* n) { return n != nullptr && (n->kind == SCR_K_PARAM || SCR_FindIn(n, SCR_K_PARAM)); }

// Nodes of a kind inside n (not n's siblings), in pre-order, stopping at the stop kinds.
std::vector<SCR_Node*> Collect(SCR_Node* n, uint32_t kind, uint32_t stop1, uint32_t stop2) {
    std::vector<SCR_Node*> out;
    if (n == nullptr) return out;
    std::vector<SCR_Node*> st{n};
    while (!st.empty()) {
        SCR_Node* c = st.back();
        st.pop_back();
        if (c != n && (c->kind == stop1 || c->kind == stop2)) continue;
        if (c->kind == kind) out.push_back(c);
        std::vector<SCR_Node*> kids;
        for (SCR_Node* k = c->child; k != nullptr; k = k->next) kids.push_back(k);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) st.push_back(*it);
    }
    return out;
}

// A partner: the node whose type a marker takes; null stands for the default type.
using Partners = std::vector<SCR_Node*>;

uint32_t PredicatePartners(SCR_Node* pred, Partners* out) {
    SCR_Node* p = pred->child;
    if (p == nullptr) return 0;
    SCR_Node* c1 = SCR_NodeChild(p, 1);
    switch (p->kind) {
        case SCR_K_BETWEEN: {
            SCR_Node* ops[3] = {c1, SCR_NodeChild(p, 2), SCR_NodeChild(p, 3)};
            SCR_Node* other = nullptr;
            for (SCR_Node* o : ops)
                if (other == nullptr && !IsMarker(o)) other = o;
            if (other == nullptr) return 0;
            for (SCR_Node* o : ops)
                if (IsMarker(o)) out->push_back(other);
            return 0;
        }
        case SCR_K_COMPARISON: {
            SCR_Node* b = SCR_NodeChild(p, 3);
            bool am = IsMarker(c1);
            bool bm = b != nullptr && b->kind != SCR_K_SUBQUERY && IsMarker(b);
            if (am && !bm && b != nullptr) out->push_back(b);
            if (bm && !am) out->push_back(c1);
            return 0;
        }
        case SCR_K_LIKE: {
            SCR_Node* b = SCR_NodeChild(p, 2);
            bool am = IsMarker(c1), bm = IsMarker(b);
            if (am && !bm) out->push_back(b);
            if (bm && !am) out->push_back(c1);
            return 0;
        }
        case SCR_K_IN: {
            SCR_Node* list = SCR_NodeChild(p, 2);
            if (list == nullptr) return kErrGeneral;
            if (IsMarker(c1)) {
                if (list->kind == SCR_K_SUBQUERY) {
                    out->push_back(list);
                    return 0;
                }
                std::vector<SCR_Node*> values = Collect(list, 98, SCR_K_SUBQUERY, SCR_K_SUBQUERY);
                if (values.empty() || IsMarker(values[0])) return kErrGeneral;
                out->push_back(values[0]);
                return 0;
            }
            if (list->kind == SCR_K_SUBQUERY) return 0;
            for (SCR_Node* v : Collect(list, 98, SCR_K_SUBQUERY, SCR_K_SUBQUERY))
                if (IsMarker(v)) out->push_back(c1);
            return 0;
        }
        case SCR_K_QUANTIFIED: {
            SCR_Node* sub = SCR_NodeChild(p, 4);
            bool am = IsMarker(c1), bm = IsMarker(sub);
            if (am && !bm) out->push_back(sub);
            if (bm && !am) out->push_back(c1);
            return 0;
        }
        case SCR_K_NULLTEST:
            if (IsMarker(c1)) out->push_back(nullptr);
            return 0;
        default:
            return 0;
    }
}

// Partners of the predicates of a WHERE or HAVING clause, not inside subqueries or a UNION.
uint32_t ClausePartners(SCR_Node* clause, Partners* out) {
    if (clause == nullptr || clause->tpl == nullptr) return 0;
    for (SCR_Node* pred : Collect(clause, SCR_K_PREDICATE, SCR_K_SUBQUERY, SCR_K_UNIONSLOT)) {
        uint32_t rc = PredicatePartners(pred, out);
        if (rc != 0) return rc;
    }
    return 0;
}

bool IsArithmetic(const SCR_Node* n) {
    return (n->kind == SCR_K_EXPR || n->kind == SCR_K_TERM) && n->childCount == 2 && n->tpl != nullptr &&
           std::strstr(n->tpl, "||") == nullptr;
}

// The node of an operand whose text a probe can select: a link inside a chain of the same
// construct keeps no text of its own, so its last operand stands for it.
SCR_Node* TextOf(SCR_Node* n) {
    for (int guard = 0; n != nullptr && (n->text == nullptr || n->text[0] == '\0') && guard < 10000; ++guard) {
        SCR_Node* last = n->child;
        while (last != nullptr && last->next != nullptr) last = last->next;
        n = last;
    }
    return n != nullptr && n->text != nullptr && n->text[0] != '\0' ? n : nullptr;
}

// A number an arithmetic operand can be: no text, date or hexadecimal literal.
bool IsNumberOperand(SCR_Node* n) {
    SCR_Node* leaf = n;
    while (leaf->child != nullptr && leaf->childCount == 1) leaf = leaf->child;
    if (leaf->child == nullptr && leaf->kind == SCR_K_LITERAL && leaf->text != nullptr && leaf->text[0] == '\'')
        return false;
    return n->kind != SCR_K_HEXLIT && SCR_FindIn(n, SCR_K_HEXLIT) == nullptr && n->kind != SCR_K_DATETIME &&
           SCR_FindIn(n, SCR_K_DATETIME) == nullptr;
}

// The operand a marker is combined with by +, -, * or /: the other side of the innermost such
// operation around it, when that side holds no marker and is a number. Null when the marker
// stands elsewhere (alone, in a function's arguments, beside another marker).
SCR_Node* ArithmeticPartner(SCR_Node* item, SCR_Node* marker) {
    // The path from the item down to the marker.
    std::vector<SCR_Node*> path;
    std::vector<std::pair<SCR_Node*, size_t>> st{{item, 0}};
    while (!st.empty()) {
        auto [n, depth] = st.back();
        st.pop_back();
        path.resize(depth);
        path.push_back(n);
        if (n == marker) break;
        for (SCR_Node* k = n->child; k != nullptr; k = k->next)
            if (k->kind != SCR_K_SUBQUERY) st.push_back({k, depth + 1});
    }
    if (path.empty() || path.back() != marker) return nullptr;
    for (size_t i = path.size() - 1; i-- > 0;) {
        SCR_Node* up = path[i];
        if (IsArithmetic(up)) {
            SCR_Node* other = up->child == path[i + 1] ? up->child->next : up->child;
            if (other == nullptr || IsMarker(other)) return nullptr;
            SCR_Node* typed = TextOf(other);
            return typed != nullptr && IsNumberOperand(typed) ? typed : nullptr;
        }
        // Only parentheses, a sign and the single-operand links of expressions lie between.
        if (up->childCount != 1) return nullptr;
    }
    return nullptr;
}

// Partners of the markers of a select list: each in arithmetic with a number takes it. All or
// none: a marker without one leaves the whole list undescribed.
void SelectListPartners(SCR_Node* list, Partners* out) {
    if (list == nullptr || list->tpl == nullptr) return;
    Partners found;
    for (SCR_Node* item : Collect(list, SCR_K_SELECTITEM, SCR_K_SUBQUERY, SCR_K_SUBQUERY))
        for (SCR_Node* m : Collect(item, SCR_K_PARAM, SCR_K_SUBQUERY, SCR_K_SUBQUERY)) {
            SCR_Node* partner = ArithmeticPartner(item, m);
            if (partner == nullptr) return;
            found.push_back(partner);
        }
    out->insert(out->end(), found.begin(), found.end());
}

struct Builder {
    SCS_ParmDesc* pd;

    // The aggregate form of a partner in a probe of several columns.
    void PutEntry(MPL* pool, SCR_Node* n, size_t count, const char* qualify) {
        SCR_Node* agg = n->kind == SCR_K_AGGREGATE ? n : SCR_FindIn(n, SCR_K_AGGREGATE);
        auto qualified = [&](SCR_Node* x, const char* text) {
            if (qualify != nullptr && (x->kind == SCR_K_COLNAME || SCR_FindIn(x, SCR_K_COLNAME)) &&
                !(x->kind == SCR_K_TABLENAME || SCR_FindIn(x, SCR_K_TABLENAME))) {
                mpl_grow(pool, qualify, std::strlen(qualify));
                mpl_grow(pool, ".", 1);
            }
            mpl_grow(pool, text, std::strlen(text));
        };
        if (agg != nullptr && count > 1) {
            SCR_Node* name = SCR_NodeChild(agg, 1);
            SCR_Node* arg = SCR_NodeChild(agg, 2);
            if (agg->tpl == nullptr || name == nullptr || AsciiCaseCompare(name->text, "COUNT") == 0 ||
                arg == nullptr) {
                mpl_grow(pool, "1", 1);
                return;
            }
            mpl_grow(pool, "(", 1);
            qualified(arg, arg->text);
            mpl_grow(pool, ")", 1);
            return;
        }
        qualified(n, n->text);
    }

    uint32_t Probe(const Partners& partners, const std::vector<const char*>& tables, const char* qualify) {
        if (partners.empty()) return 0;
        MPL pool;
        mpl_init(&pool);
        mpl_grow(&pool, "SELECT ", 7);
        int32_t written = 0;
        for (SCR_Node* n : partners) {
            // A subquery partner describes nothing; it is left out with its separator.
            if (n != nullptr && n->kind == SCR_K_SUBQUERY) continue;
            if (written > 0) mpl_grow(&pool, ", ", 2);
            if (n == nullptr)
                mpl_grow(&pool, pd->defaultType, std::strlen(pd->defaultType));
            else
                PutEntry(&pool, n, partners.size(), qualify);
            ++written;
        }
        if (written == 0) {
            mpl_destroy(&pool);
            return 0;
        }
        if (!tables.empty()) {
            mpl_grow(&pool, " FROM ", 6);
            for (size_t i = 0; i < tables.size(); ++i) {
                if (i > 0) mpl_grow(&pool, ", ", 2);
                mpl_grow(&pool, tables[i], std::strlen(tables[i]));
            }
        }
        mpl_grow(&pool, " WHERE 1=0 ", 12);  // with the NUL
        auto* text = static_cast<const char*>(mpl_finish(&pool));
        uint32_t rc = AddProbe(text);
        mpl_destroy(&pool);
        if (rc == 0) pd->paramCount += written;
        return rc;
    }

    uint32_t AddProbe(const char* text) {
        auto* grown = static_cast<char**>(std::realloc(pd->probes, (pd->probeCount + 1) * sizeof(char*)));
        if (grown == nullptr) return kErrNoMemory;
        pd->probes = grown;
        pd->probes[pd->probeCount] = strdup(text);
        if (pd->probes[pd->probeCount] == nullptr) return kErrNoMemory;
        ++pd->probeCount;
        return 0;
    }

    // Table texts of a FROM list (with correlation names); 15 for a list without a table.
    static uint32_t ListTables(SCR_Node* list, std::vector<const char*>* tables) {
        if (list == nullptr) return 0;
        std::vector<SCR_Node*> refs = Collect(list, SCR_K_TABLEREF, SCR_K_SUBQUERY, SCR_K_SUBQUERY);
        if (refs.empty()) return kErrGeneral;
        for (SCR_Node* r : refs) tables->push_back(r->text);
        return 0;
    }

    static SCR_Node* OwnList(SCR_Node* from) {
        return from != nullptr && from->child != nullptr && from->child->kind == SCR_K_TABLELIST ? from->child
                                                                                                 : nullptr;
    }

    // A query and each query of its UNION chain; the markers of their select lists too unless
    // those fill the columns of an INSERT.
    uint32_t Select(SCR_Node* query, bool selectLists = true) {
        for (int guard = 0; query != nullptr && guard < 100000; ++guard) {
            SCR_Node* from = DirectChild(query, SCR_K_FROMPART);
            if (from == nullptr) return kErrGeneral;
            std::vector<const char*> tables;
            uint32_t rc = ListTables(OwnList(from), &tables);
            if (rc != 0) return rc;
            Partners partners;
            if (selectLists) SelectListPartners(DirectChild(query, SCR_K_SELECTLIST), &partners);
            SCR_Node* whereSlot = DirectChild(from, SCR_K_WHERESLOT);
            SCR_Node* having = DirectChild(from, SCR_K_HAVING);
            if (whereSlot != nullptr && (rc = ClausePartners(SCR_FindIn(whereSlot, SCR_K_WHERE), &partners)) != 0)
                return rc;
            if ((rc = ClausePartners(having, &partners)) != 0) return rc;
            if ((rc = Probe(partners, tables, nullptr)) != 0) return rc;
            SCR_Node* uni = DirectChild(from, SCR_K_UNIONSLOT);
            SCR_Node* next = DirectChild(uni, SCR_K_UNION);
            query = DirectChild(next, SCR_K_QUERY);
        }
        return 0;
    }

    uint32_t Delete(SCR_Node* root) {
        SCR_Node* table = SCR_NodeChild(root, 1);
        if (table == nullptr) return kErrGeneral;
        Partners partners;
        uint32_t rc = ClausePartners(SCR_FindIn(SCR_NodeChild(root, 2), SCR_K_WHERE), &partners);
        if (rc != 0) return rc;
        return Probe(partners, {table->text}, nullptr);
    }

    uint32_t Update(SCR_Node* root) {
        SCR_Node* target = SCR_NodeChild(root, 1);
        if (target == nullptr) return kErrGeneral;
        std::vector<const char*> tables{target->text};
        SCR_Node* assignments = nullptr;
        SCR_Node* whereSlot = nullptr;
        for (SCR_Node* c = target->next; c != nullptr; c = c->next) {
            if (c->kind == SCR_K_TABLELIST) {
                uint32_t rc = ListTables(c, &tables);
                if (rc != 0) return rc;
            } else if (c->kind == SCR_K_ASSIGNLIST) {
                assignments = c;
            } else if (c->kind == SCR_K_WHERESLOT) {
                whereSlot = c;
            }
        }
        if (assignments == nullptr) return kErrGeneral;
        Partners partners;
        for (SCR_Node* as : Collect(assignments, SCR_K_ASSIGN, SCR_K_SUBQUERY, SCR_K_SUBQUERY))
            if (IsMarker(SCR_NodeChild(as, 2))) partners.push_back(SCR_NodeChild(as, 1));
        if (whereSlot != nullptr) {
            uint32_t rc = ClausePartners(SCR_FindIn(whereSlot, SCR_K_WHERE), &partners);
            if (rc != 0) return rc;
        }
        return Probe(partners, tables, target->text);
    }

    uint32_t Insert(SCR_Node* root) {
        SCR_Node* table = SCR_NodeChild(root, 1);
        SCR_Node* cols = SCR_NodeChild(root, 2);
        SCR_Node* source = SCR_NodeChild(root, 3);
        if (table == nullptr || cols == nullptr || source == nullptr) return kErrGeneral;
        std::vector<SCR_Node*> columns = Collect(cols, SCR_K_COLREF, SCR_K_SUBQUERY, SCR_K_SUBQUERY);
        SCR_Node* values = SCR_FindIn(source, SCR_K_VALUELIST);
        SCR_Node* query = source->child != nullptr && source->child->kind == SCR_K_QUERY ? source->child : nullptr;
        if (query == nullptr && values != nullptr) {
            std::vector<SCR_Node*> vals = Collect(values, 98, SCR_K_SUBQUERY, SCR_K_SUBQUERY);
            if (cols->tpl == nullptr) {
                auto* map = static_cast<char*>(std::malloc(vals.size() + 1));
                if (map == nullptr) return kErrNoMemory;
                for (size_t i = 0; i < vals.size(); ++i) map[i] = IsMarker(vals[i]) ? '?' : 'X';
                map[vals.size()] = '\0';
                std::free(pd->markerMap);
                pd->markerMap = map;
                MPL pool;
                mpl_init(&pool);
                mpl_grow(&pool, "SELECT * FROM ", 14);
                mpl_grow(&pool, table->text, std::strlen(table->text));
                mpl_grow(&pool, " WHERE 1=0 ", 12);
                uint32_t rc = AddProbe(static_cast<const char*>(mpl_finish(&pool)));
                mpl_destroy(&pool);
                if (rc == 0) pd->paramCount += int32_t(vals.size());
                return rc;
            }
            Partners partners;
            for (size_t i = 0; i < vals.size(); ++i) {
                if (!IsMarker(vals[i])) continue;
                if (i >= columns.size()) return kErrGeneral;
                partners.push_back(columns[i]);
            }
            return Probe(partners, {table->text}, nullptr);
        }
        if (query == nullptr) return kErrGeneral;
        // Markers of the select list take the target column of their position.
        SCR_Node* list = SCR_FindIn(query, SCR_K_SELECTLIST);
        Partners partners;
        if (list != nullptr) {
            std::vector<SCR_Node*> items = Collect(list, SCR_K_SELECTITEM, SCR_K_SUBQUERY, SCR_K_SUBQUERY);
            for (size_t i = 0; i < items.size(); ++i) {
                if (!IsMarker(SCR_FindIn(items[i], SCR_K_EXPR))) continue;
                if (i >= columns.size()) return kErrGeneral;
                partners.push_back(columns[i]);
            }
        }
        uint32_t rc = Probe(partners, {table->text}, nullptr);
        if (rc != 0) return rc;
        return Select(query, false);
    }
};

}  // namespace

void scs_ParmDescInit(SCS_ParmDesc* pd, const char* defaultType) {
    if (pd == nullptr) return;
    SCR_AnalysisInit(&pd->analysis);
    pd->probes = nullptr;
    pd->probeCount = 0;
    pd->paramCount = 0;
    pd->markerMap = nullptr;
    pd->defaultType = defaultType != nullptr ? defaultType : "varchar(NULL)";
}

uint32_t SCS_DescribeParams(SCS_ParmDesc* pd, const char* sql) {
    if (pd == nullptr) return kErrBadArg;
    uint32_t rc = SCR_ParseInto(&pd->analysis, sql);
    if (rc != 0) return rc;
    SCR_Node* root = pd->analysis.root;
    Builder b{pd};
    switch (pd->analysis.kind) {
        case SCR_K_SELECT:
            b.Select(SCR_FindIn(root, SCR_K_QUERY));
            break;
        case SCR_K_DELETE:
            b.Delete(root);
            break;
        case SCR_K_POSUPDATE:
        case SCR_K_UPDATE:
            b.Update(root);
            break;
        case SCR_K_INSERT:
            b.Insert(root);
            break;
        default:
            break;
    }
    return 0;
}

void scs_ParmDescFree(SCS_ParmDesc* pd) {
    if (pd == nullptr) return;
    for (uint32_t i = 0; pd->probes != nullptr && i < pd->probeCount; ++i) std::free(pd->probes[i]);
    std::free(pd->probes);
    std::free(pd->markerMap);
    SCR_AnalysisFree(&pd->analysis);
    pd->probes = nullptr;
    pd->probeCount = 0;
    pd->markerMap = nullptr;
    pd->paramCount = 0;
}
