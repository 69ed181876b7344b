// Keyset-driven and mixed cursors. A keyset-driven cursor reads the keys of every row of its
// result at execute (into the dataset cache, which spills to files for large results) and
// fetches each rowset again by its keys, so that other users' changes show; a mixed cursor
// keeps only a window of keys, read by seeking from the keys of the rowset it has.
//
// Generated statements are the application's statement edited through the analyser: the key
// set selects the keys in the statement's order extended by the keys; the fetch by keys keeps
// the select list, appends the keys (to match rows to keys by value) and adds blocks of key
// conditions. Parameter values are placed by where each marker stands in the generated text.
#include "scrs/sc_keyset.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-info.h"
#include "scrs/ks.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_scroll.h"
#include "scrs/sc_setpos.h"
#include "scrs/ss.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/hash.h"
#include "util/rowset.h"
#include "util/scrarray.h"
#include "util/trymem.h"

struct SCS_KsState {
    KS_KeysetRecord* ks = nullptr;
    SCS_DescCtx ctx{};
    SCR_Analysis own{};  // the statement as set up
    SCR_Array* tables = nullptr;
    char* text = nullptr;     // the statement text as set up (ORDER BY positions resolved)
    char* ordered = nullptr;  // the text ordered by its ORDER BY and then the keys
    uint32_t aux1 = 0;        // key sets and seeks
    uint32_t aux2 = 0;        // fetches by keys
    uint32_t aux3 = 0;        // row changes and row locks
    uint32_t aux4 = 0;        // fetches by bookmark
    uint32_t shape = 0;
    int ready = 0;
    uint32_t paramLimit = 0;
    uint32_t ownParams = 0;
    char quote = 0;
    uint16_t maxOrderCols = 0;
    // The fetch-by-keys statement prepared on aux2.
    int fetchPrepared = 0;
    uint32_t fetchPerBlock = 0;
    uint32_t fetchBefore = 0;
    // Cached result-column count of the statement.
    int described = 0;
    uint16_t resultCols = 0;
    // Mixed cursors: the key window.
    int32_t windowState = -6;
    uint32_t st = 0;          // 1-based rowset start within the window
    uint32_t windowSize = 0;  // keyset size the window was read with
    bool atStart = false;     // the window begins at the result's first row
    bool atEnd = false;       // the window ends at the result's last row
    int64_t windowAt = 0;     // the result row (from 1) of window row 0
    uint32_t maxRows = 0;     // SQL_ATTR_MAX_ROWS as the statement ran
    // Values concurrency: the concurrency columns of the rowset's rows, read by keys on aux5.
    uint32_t aux5 = 0;
    int valuesPrepared = 0;
    uint32_t valuesPerBlock = 0;
    uint32_t valuesBefore = 0;
    Dataset* values = nullptr;  // row i: rowset row i
    // Mixed cursors: the rowset's keys (key columns only) and statuses, which row changes name.
    Dataset* rowsetKeys = nullptr;
    uint16_t* rowsetStatuses = nullptr;
    uint32_t rowsetRows = 0;
};

namespace {

bool IsQuote(char ch) { return ch == '\'' || ch == '"'; }

// A keyset size makes a keyset-driven cursor mixed; a static cursor with keys ignores it.
bool Mixed(const SCS_Cursor& c) { return c.cursorType == SQL_CURSOR_KEYSET_DRIVEN && c.keysetSize > 0; }

// The rowset's keys and statuses a dynamic or mixed cursor keeps for its row changes.
bool RowsetNamed(const SCS_Cursor& c) { return Mixed(c) || c.cursorType == SQL_CURSOR_DYNAMIC; }

// Lock concurrency on rows that can be changed: locked by their read where the lower layer takes
// " FOR UPDATE", else by a no-op UPDATE of their keys after it.
bool ForUpdate(const SCS_Cursor& c, uint32_t shape) {
    return c.concurrency == SQL_CONCUR_LOCK && !c.lockByUpdate && scs_p_CheckShape(shape) == 0;
}
bool LocksByUpdate(const SCS_Cursor& c) { return c.concurrency == SQL_CONCUR_LOCK && c.lockByUpdate; }

// Markers outside literals, quoted names and comments, counted up to `stop` (null: the end).
uint32_t CountMarkers(const char* text, const char* stop) {
    uint32_t n = 0;
    for (const char* p = text; p && *p && (stop == nullptr || p < stop); ++p) {
        if (IsQuote(*p)) {
            const char q = *p++;
            while (*p && (stop == nullptr || p < stop)) {
                if (*p == q && p[1] == q) {
                    p += 2;
                    continue;
                }
                if (*p == q) break;
                ++p;
            }
            if (!*p) break;
        } else if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n') ++p;
            if (!*p) break;
        } else if (p[0] == '/' && p[1] == '*') {
            p += 2;
            while (*p && !(p[0] == '*' && p[1] == '/')) ++p;
            if (!*p) break;
            ++p;
        } else if (*p == '?') {
            ++n;
        }
    }
    return n;
}

void LogAnalyseFailure(const char* text, const SCR_Analysis* a) {
    IngLog(7, "SCR_AnalyseSQL failed: %s", text ? text : "");
    IngLog(7, "%s", a->message ? a->message : "");
    IngLog(7, "%s", a->errText ? a->errText : "");
}

uint32_t Analyse(SCR_Analysis* a, const char* text) {
    SCR_AnalysisFree(a);
    SCR_AnalysisInit(a);
    std::string copy = text ? text : "";
    uint32_t rc = SCR_AnalyseSQL(a, copy.c_str(), 1, 0);
    if (rc != 0) LogAnalyseFailure(copy.c_str(), a);
    return rc;
}

// Markers of the select list of text: those before it and those in it.
uint32_t ListMarkers(const char* text, uint32_t* pre, uint32_t* count) {
    *pre = *count = 0;
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    uint32_t rc = Analyse(&a, text);
    if (rc == 0) {
        const uint32_t total = CountMarkers(SCR_AnalysisText(&a), nullptr);
        rc = SCR_SelectListMark(&a);
        if (rc == 0) {
            const char* marked = SCR_AnalysisText(&a);
            const char* at = std::strstr(marked, SCR_EDIT_MARKER);
            if (at == nullptr) {
                rc = kErrGeneral;
            } else {
                *pre = CountMarkers(marked, at);
                const uint32_t rest = CountMarkers(marked, nullptr);
                *count = total >= rest ? total - rest : 0;
            }
        }
    }
    SCR_AnalysisFree(&a);
    return rc;
}

// Markers of text before the place a WHERE condition of the cursor layer goes.
uint32_t WhereMarkers(const char* text, uint32_t* before) {
    *before = 0;
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    uint32_t rc = Analyse(&a, text);
    if (rc == 0) rc = SCR_AddWhereCond(&a);
    if (rc == 0) {
        const int32_t n = SCS_MarkersBeforeEdit(SCR_AnalysisText(&a));
        if (n < 0)
            rc = kErrGeneral;
        else
            *before = uint32_t(n);
    }
    SCR_AnalysisFree(&a);
    return rc;
}

// The select list as written: the regenerated text without the marked list around it.
uint32_t SelectListText(const char* text, std::string* out) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    uint32_t rc = Analyse(&a, text);
    std::string whole;
    if (rc == 0) {
        whole = SCR_AnalysisText(&a);
        rc = SCR_SelectListMark(&a);
    }
    if (rc == 0) {
        std::string marked = SCR_AnalysisText(&a);
        size_t at = marked.find(SCR_EDIT_MARKER);
        if (at == std::string::npos) {
            rc = kErrGeneral;
        } else {
            const size_t tail = marked.size() - at - 3;
            if (whole.size() < at + tail || whole.compare(0, at, marked, 0, at) != 0 ||
                whole.compare(whole.size() - tail, tail, marked, at + 3, tail) != 0)
                rc = kErrGeneral;
            else
                *out = whole.substr(at, whole.size() - at - tail);
        }
    }
    SCR_AnalysisFree(&a);
    return rc;
}

uint32_t ReplaceEdit(SCR_Analysis* a, const std::string& body) {
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

SCS_KsState* StateOf(const IngStmt* s) { return s ? s->cursor.ksState : nullptr; }

const AgentLink* Lower() { return SCS_LowerLink(); }

uint32_t InfoInt(uint32_t conn, uint16_t type, uint32_t fallback) {
    uint32_t v = 0;
    uint16_t len = 0;
    return AgentInfoItem(Lower(), conn, type, &v, 4, &len) == 0 ? v : fallback;
}

char* InfoText(uint32_t conn, uint16_t type) {
    char buf[256] = {};
    uint16_t len = 0;
    if (AgentInfoItem(Lower(), conn, type, buf, int16_t(sizeof buf), &len) != 0) return nullptr;
    return TryStrdup(buf);
}

uint32_t EnsureAux(uint32_t conn, uint32_t* aux) {
    if (*aux != 0) return 0;
    if (AgentCall<DRV_AllocStmt>(Lower(), conn, aux) != 0) {
        *aux = 0;
        return kErrGeneral;
    }
    return 0;
}

// Hands a parameter row to a lower statement; the row passes to it.
uint32_t GiveParams(uint32_t stmt, Dataset* params) {
    uint32_t rc = AgentCall<DRV_SetParams>(Lower(), stmt, params);
    if (Lower()->word & 1) DatasetDelete(params);
    return rc;
}

// The statement's own values for a generated text: those of markers the edit removed left out.
uint32_t OwnValues(const IngStmt* s, uint32_t dropAt, uint32_t dropCount, Dataset** out) {
    *out = nullptr;
    const SCS_Cursor& c = s->cursor;
    if (!(c.layerFlags & kScsLParamsKept) || c.keptParams == nullptr) return 0;
    if (int rc = DatasetClone(out, c.keptParams)) return uint32_t(rc);
    for (uint32_t i = 0; i < dropCount && dropAt < (*out)->col_count; ++i) {
        if (int rc = DatasetRemoveColumn(*out, uint16_t(dropAt))) {
            DatasetDelete(*out);
            *out = nullptr;
            return uint32_t(rc);
        }
    }
    if ((*out)->col_count == 0) {
        DatasetDelete(*out);
        *out = nullptr;
    }
    return 0;
}

// What the last rowset left for row changes: its concurrency values and (mixed) its keys.
void DropRowChangeState(SCS_KsState* st) {
    if (st->values) DatasetDelete(st->values);
    st->values = nullptr;
    if (st->rowsetKeys) DatasetDelete(st->rowsetKeys);
    st->rowsetKeys = nullptr;
    TryFree(st->rowsetStatuses);
    st->rowsetStatuses = nullptr;
    st->rowsetRows = 0;
}

void ReleaseAnalysis(SCS_KsState* st) {
    SCR_AnalysisFree(&st->own);
    SCR_AnalysisInit(&st->own);
    SCR_ArrayFree(&st->tables, SCR_TableRefFree);
    SCS_DescCtxRelease(&st->ctx);
    st->ctx.analysis = nullptr;
    st->ctx.tables = nullptr;
    st->ctx.shapeFlags = 0;
    st->ctx.orderColCount = 0;
    std::free(st->text);
    st->text = nullptr;
    std::free(st->ordered);
    st->ordered = nullptr;
    if (st->ks) {
        KS_KeysetClear(st->ks);
        st->ks->keyCols = nullptr;  // the context's array, freed above
    }
    st->ready = 0;
    st->fetchPrepared = 0;
    st->valuesPrepared = 0;
    DropRowChangeState(st);
    st->described = 0;
    st->windowState = -6;
    st->st = 0;
    st->atStart = st->atEnd = false;
}

uint32_t EnsureState(IngStmt* s, SCS_KsState** out) {
    if (s->cursor.ksState == nullptr) {
        auto* st = new (std::nothrow) SCS_KsState();
        if (st == nullptr) return kErrNoMemory;
        SCR_AnalysisInit(&st->own);
        if (uint32_t rc = KS_KeysetInit(&st->ks)) {
            delete st;
            return rc;
        }
        s->cursor.ksState = st;
    }
    *out = s->cursor.ksState;
    return 0;
}

// The key mapping of mixed cursors: which ORDER BY items name keys, and how many ordering
// columns the seeks order by. 0, 88, 89 or 15.
uint32_t MapKeysToOrderBy(SCS_DescCtx* ctx) {
    if (ctx->shapeFlags & SCR_F_GROUPBY) return kErrGroupBy;
    if (ctx->shapeFlags & SCR_F_UNION) return kErrUnion;
    const uint32_t keys = ctx->keyCols ? ctx->keyCols->count : 0;
    if (!(ctx->shapeFlags & SCR_F_ORDERBY) || ctx->orderBy == nullptr) {
        ctx->orderColCount = uint16_t(keys);
        return 0;
    }
    uint32_t matched = 0, unmatched = 0, lastMatch = 0;
    for (uint32_t i = 0; i < ctx->orderBy->count; ++i) {
        auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
        bool hit = false;
        for (uint32_t k = 0; k < keys && matched < keys; ++k) {
            auto* key = static_cast<ColDesc*>(SCR_ArrayAt(ctx->keyCols, k));
            if (std::strcmp(it->column, key->column) != 0) continue;
            if (it->table[0] != 0 && (std::strcmp(it->table, key->table) != 0 ||
                                      (it->owner[0] != 0 && std::strcmp(it->owner, key->owner) != 0)))
                continue;
            it->keyMatch = 1;
            it->sqlType = key->sqlType;
            it->columnSize = key->columnSize;
            it->decimalDigits = key->decimalDigits;
            ++matched;
            lastMatch = i + 1;
            hit = true;
            break;
        }
        if (!hit) {
            it->keyMatch = 0;
            ++unmatched;
        }
    }
    ctx->orderColCount = uint16_t(matched == keys ? lastMatch : unmatched + keys);
    return 0;
}

// Rows of a lower statement's result appended to `out` until it ends: a fetch of fewer rows than
// asked, or (a cursor read for update, which hands out its rows one fetch at a time) of none.
uint32_t FetchAllRows(uint32_t stmt, uint32_t block, Dataset* out, bool untilEmpty = false) {
    for (;;) {
        Dataset more{};
        uint32_t rc = AgentCall<DRV_FetchRows>(Lower(), stmt, uint16_t(block > 0xFFFF ? 0xFFFF : block), &more);
        if (rc != 0) {
            DatasetFree(&more);
            return rc;
        }
        const uint32_t got = more.rows_used;
        if (out->col_count == 0) {
            DatasetFree(out);
            *out = more;
        } else {
            int arc = got ? DatasetAppendRows(out, &more) : 0;
            DatasetFree(&more);
            if (arc != 0) return uint32_t(arc);
        }
        if (got == 0 || (got < block && !untilEmpty)) return 0;
    }
}

// Key rows first .. first + n - 1 of `src` with only the key columns.
uint32_t KeyRowsOnly(const Dataset* src, uint32_t first, uint32_t n, uint16_t keyCount, Dataset** out) {
    *out = nullptr;
    if (int rc = DatasetCreateLike(out, src, n)) return uint32_t(rc);
    for (uint32_t i = 0; i < n; ++i) {
        if (int rc = DatasetCopyRow(*out, const_cast<Dataset*>(src), i, first + i, 0)) {
            DatasetDelete(*out);
            *out = nullptr;
            return uint32_t(rc);
        }
    }
    while ((*out)->col_count > keyCount) {
        if (int rc = DatasetRemoveColumn(*out, uint16_t((*out)->col_count - 1))) {
            DatasetDelete(*out);
            *out = nullptr;
            return uint32_t(rc);
        }
    }
    return 0;
}

// What a read by keys selects and where it runs: the statement's own select list on aux2, or the
// concurrency columns of values concurrency on aux5.
struct ByKeys {
    uint32_t aux;
    int* prepared;
    uint32_t* perBlock;
    uint32_t* before;
    bool values;
};

ByKeys RowsRead(SCS_KsState* st) { return {st->aux2, &st->fetchPrepared, &st->fetchPerBlock, &st->fetchBefore, false}; }
ByKeys ValuesRead(SCS_KsState* st) {
    return {st->aux5, &st->valuesPrepared, &st->valuesPerBlock, &st->valuesBefore, true};
}

uint32_t ValuesListText(const SCS_DescCtx& ctx, std::string* out) {
    out->clear();
    if (ctx.tableCols == nullptr || ctx.tableCols->count == 0) return kErrGeneral;
    for (uint32_t i = 0; i < ctx.tableCols->count; ++i) {
        char* ref = scs_p_QualifyColName(ctx.tableCount, static_cast<const ColDesc*>(SCR_ArrayAt(ctx.tableCols, i)));
        if (ref == nullptr) return kErrNoMemory;
        if (i) *out += ", ";
        *out += ref;
        std::free(ref);
    }
    return 0;
}

// The statement read by keys: its select list := list followed by the key columns (to place each
// row at its key), then a condition of perBlock groups of key values. *before: the statement's
// own markers that stand before that condition.
uint32_t ByKeysText(const SCS_DescCtx& ctx, const char* stmtText, std::string list, uint32_t perBlock,
                    std::string* text, uint32_t* before) {
    if (ctx.keyCols == nullptr || ctx.keyCols->count == 0) return kErrGeneral;
    for (uint32_t i = 0; i < ctx.keyCols->count; ++i) {
        char* ref = scs_p_QualifyColName(ctx.tableCount, static_cast<const ColDesc*>(SCR_ArrayAt(ctx.keyCols, i)));
        if (ref == nullptr) return kErrNoMemory;
        list += ", ";
        list += ref;
        std::free(ref);
    }
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    uint32_t rc = Analyse(&a, stmtText);
    if (rc == 0) rc = SCR_SelectListMark(&a);
    if (rc == 0) rc = ReplaceEdit(&a, list);
    std::string withKeys = rc == 0 ? a.text : "";
    if (rc == 0) rc = WhereMarkers(withKeys.c_str(), before);
    if (rc == 0) rc = Analyse(&a, withKeys.c_str());
    if (rc == 0) rc = KS_BuildKeyBlockWhere(&a, ctx.keyCols, ctx.tableCount, perBlock);
    if (rc == 0) *text = a.text;
    SCR_AnalysisFree(&a);
    return rc;
}

}  // namespace

uint32_t scs_p_OptConcSelectBuild(const SCS_DescCtx& ctx, const char* stmtText, uint32_t perBlock, std::string* text,
                                  uint32_t* before) {
    std::string list;
    if (uint32_t rc = ValuesListText(ctx, &list)) return rc;
    return ByKeysText(ctx, stmtText, list, perBlock, text, before);
}

namespace {

// Prepares the statement read by keys for blocks of perBlock key rows.
uint32_t PrepareFetchByKeys(IngStmt* s, SCS_KsState* st, uint32_t perBlock, const ByKeys& by) {
    if (*by.prepared && *by.perBlock == perBlock) return 0;
    *by.prepared = 0;
    std::string text;
    uint32_t rc = 0;
    if (by.values) {
        rc = scs_p_OptConcSelectBuild(st->ctx, st->text, perBlock, &text, by.before);
    } else {
        std::string list;
        rc = SelectListText(st->text, &list);
        if (rc == 0) rc = ByKeysText(st->ctx, st->text, list, perBlock, &text, by.before);
    }
    // Where the lower layer takes " FOR UPDATE", the rows read are locked by the read itself.
    if (rc == 0 && !by.values && ForUpdate(s->cursor, st->shape)) text += " FOR UPDATE";
    if (rc == 0) {
        rc = AgentCall<DRV_Prepare>(Lower(), by.aux, text.c_str());
        if (rc != 0) IngLog(7, "SCS_KeysetFetch: couldn't prepare %s", text.c_str());
    }
    if (rc != 0) return rc;
    *by.prepared = 1;
    *by.perBlock = perBlock;
    return 0;
}

uint32_t KS_GetKeyBlocks(IngStmt* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, const ByKeys& by,
                         Dataset* out, uint16_t* statuses);

// Fetches the rows of key rows k0 .. k0 + n - 1 of `keys` into rs (placed by key values).
uint32_t FetchByKeys(IngStmt* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, Rowset* rs) {
    Dataset all{};
    uint32_t rc = KS_GetKeyBlocks(s, st, keys, k0, n, RowsRead(st), &all, rs->statuses);
    if (rc != 0) {
        DatasetFree(&all);
        return rc;
    }
    DatasetFree(rs->data);
    *rs->data = all;
    return 0;
}

// The column lists row changes and values concurrency name: every column of the tables, and
// the base column of each select-list item.
uint32_t EnsureChangeCols(SCS_KsState* st) {
    SCS_DescCtx& ctx = st->ctx;
    if (ctx.selectCols != nullptr) return 0;
    ctx.tableCols = SCR_ArrayCreate(sizeof(ColDesc));
    ctx.selectCols = SCR_ArrayCreate(sizeof(ColDesc));
    uint32_t rc = ctx.tableCols && ctx.selectCols ? 0u : uint32_t(kErrNoMemory);
    if (rc == 0) rc = scs_p_GetTblColDescs(&ctx, ctx.tables, ctx.tables->count, 0, ctx.tableCols);
    if (rc == 0) rc = scs_p_SelectColsGet(&ctx, ctx.selectCols, nullptr);
    if (rc == 0) rc = scs_p_SelectCol_ColDescComplete(&ctx);
    if (rc != 0) {
        SCR_ArrayFree(&ctx.tableCols, nullptr);
        SCR_ArrayFree(&ctx.selectCols, nullptr);
    }
    return rc;
}

// Values concurrency: the concurrency columns of key rows k0 .. k0 + n - 1 as they are now, one
// row per rowset row (a row gone since gets NULLs), compared again when the row is changed.
uint32_t scs_p_GetOptConcColVals(IngStmt* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n) {
    if (st->values) DatasetDelete(st->values);
    st->values = nullptr;
    if (n == 0) return 0;
    if (uint32_t rc = EnsureChangeCols(st)) return rc;
    if (EnsureAux(s->cursor.agentConn, &st->aux5) != 0) return kErrGeneral;
    auto* values = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    uint32_t rc = values && scratch ? 0u : uint32_t(kErrNoMemory);
    if (rc == 0 && DatasetInit(values, 0) != 0) rc = kErrNoMemory;
    if (rc == 0) rc = KS_GetKeyBlocks(s, st, keys, k0, n, ValuesRead(st), values, scratch);
    TryFree(scratch);
    if (rc != 0) {
        if (values) DatasetDelete(values);
        IngLog(3, "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
        return rc;
    }
    st->values = values;
    return 0;
}

// The rows of key rows k0 .. k0 + n - 1 into *out, one per key in key order; a key no row
// answers gets a NULL row and status 1.
uint32_t KS_GetKeyBlocks(IngStmt* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, const ByKeys& by,
                         Dataset* out, uint16_t* statuses) {
    const uint16_t keyCount = uint16_t(st->ctx.keyCols->count);
    uint32_t blocks = 0, lastRows = 0, perBlock = 0;
    const uint32_t own = s->cursor.keptParams && (s->cursor.layerFlags & kScsLParamsKept)
                             ? s->cursor.keptParams->col_count
                             : st->ownParams;
    uint32_t rc = SCS_PageCount(st->paramLimit, own, keyCount, n, &blocks, &lastRows, &perBlock);
    if (rc != 0) return rc;
    if ((rc = PrepareFetchByKeys(s, st, perBlock, by)) != 0) return rc;
    Dataset* keyRows = nullptr;
    if (keys->col_count > keyCount) {
        if ((rc = KeyRowsOnly(keys, k0, n, keyCount, &keyRows)) != 0) return rc;
    }
    const Dataset* src = keyRows ? keyRows : keys;
    const uint32_t base = keyRows ? 0 : k0;
    Dataset all{};
    for (uint32_t b = 0; rc == 0 && b < blocks; ++b) {
        const uint32_t rows = b + 1 == blocks ? lastRows : perBlock;
        Dataset* params = nullptr;
        rc = KS_KeyRowsToParams(src, base + b * perBlock, perBlock, rows, &params, 0, 0, 0, nullptr, nullptr);
        if (rc != 0) break;
        Dataset* ownValues = nullptr;
        if ((rc = OwnValues(s, 0, 0, &ownValues)) != 0) {
            DatasetDelete(params);
            break;
        }
        Dataset* joined = nullptr;
        rc = SCS_SpliceParams(ownValues, *by.before, params, &joined);
        if (ownValues) DatasetDelete(ownValues);
        DatasetDelete(params);
        if (rc != 0) break;
        if ((rc = GiveParams(by.aux, joined)) != 0) break;
        if ((rc = AgentCall<DRV_Execute>(Lower(), by.aux)) != 0) break;
        rc = FetchAllRows(by.aux, perBlock + 1, &all, !by.values && ForUpdate(s->cursor, st->shape));
        (void)AgentCall<DRV_CloseCursor>(Lower(), by.aux);
    }
    if (rc == 0) rc = scs_p_MarkVanishedRows(&all, keyCount, src, base, n, statuses);
    if (keyRows) DatasetDelete(keyRows);
    if (rc != 0) {
        DatasetFree(&all);
        return rc;
    }
    DatasetFree(out);
    *out = all;
    return 0;
}

}  // namespace

// --- the keyset record ----------------------------------------------------------------------

uint32_t KS_KeysetInit(KS_KeysetRecord** out) {
    if (out == nullptr) return kErrGeneral;
    auto* ks = static_cast<KS_KeysetRecord*>(TryCalloc(1, sizeof(KS_KeysetRecord)));
    if (ks == nullptr) return kErrNoMemory;
    ks->keys = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    if (ks->keys == nullptr) {
        TryFree(ks);
        return kErrNoMemory;
    }
    DSC_Init(&ks->cache);
    ks->origin = -1;
    *out = ks;
    return 0;
}

void KS_KeysetClear(KS_KeysetRecord* ks) {
    if (ks == nullptr) return;
    DatasetFree(ks->keys);
    TryFree(ks->statuses);
    ks->statuses = nullptr;
    DSC_Close(&ks->cache);
    ks->origin = -1;
    ks->count = 0;
}

void KS_KeysetDropAll(KS_KeysetRecord* ks) {
    if (ks == nullptr) return;
    KS_KeysetClear(ks);
    SCR_ArrayFree(&ks->keyCols, nullptr);
}

void KS_KeysetFree(KS_KeysetRecord** ks) {
    if (ks == nullptr || *ks == nullptr) return;
    KS_KeysetDropAll(*ks);
    DatasetDelete((*ks)->keys);
    TryFree(*ks);
    *ks = nullptr;
}

uint32_t KS_KeysetRows(KS_KeysetRecord* ks, uint32_t first, uint32_t n, uint32_t* row0) {
    if (ks == nullptr || row0 == nullptr || n == 0 || uint64_t(first) + n > ks->count) return kErrGeneral;
    if (ks->cache.state == kDscMemory) {
        if (uint64_t(first) + n > ks->keys->rows_used) return kErrGeneral;
        ks->origin = 0;
        *row0 = first;
        return 0;
    }
    uint32_t origin = ks->origin < 0 ? kDscNoWindow : uint32_t(ks->origin);
    uint32_t rc = DSC_GetRows(&ks->cache, int32_t(first), n, &origin, ks->keys);
    ks->origin = origin == kDscNoWindow ? -1 : int32_t(origin);
    if (rc != 0) return rc;
    if (ks->origin < 0 || first < uint32_t(ks->origin) || uint64_t(first - ks->origin) + n > ks->keys->rows_used)
        return kErrGeneral;
    *row0 = first - uint32_t(ks->origin);
    return 0;
}

// --- helpers with tests of their own -------------------------------------------------------

uint32_t SCS_KeysPerStatement(uint32_t paramLimit, uint32_t ownParams, uint32_t keyCount) {
    if (keyCount == 0 || paramLimit <= ownParams) return 0;
    return (paramLimit - ownParams) / keyCount;
}

uint32_t SCS_PageCount(uint32_t paramLimit, uint32_t ownParams, uint32_t keyCount, uint32_t rows, uint32_t* blocks,
                       uint32_t* lastRows, uint32_t* perBlock) {
    if (blocks == nullptr || lastRows == nullptr || perBlock == nullptr) return kErrBadArg;
    *blocks = *lastRows = *perBlock = 0;
    uint32_t per = SCS_KeysPerStatement(paramLimit, ownParams, keyCount);
    if (per == 0 || rows == 0) return kErrGeneral;
    if (per > rows) per = rows;
    *perBlock = per;
    *blocks = (rows + per - 1) / per;
    *lastRows = rows - (*blocks - 1) * per;
    return 0;
}

int32_t SCS_MarkersBeforeEdit(const char* text) {
    if (text == nullptr) return -1;
    const char* at = std::strstr(text, SCR_EDIT_MARKER);
    if (at == nullptr) return -1;
    return int32_t(CountMarkers(text, at));
}

uint32_t SCS_SpliceParams(const Dataset* own, uint32_t before, Dataset* generated, Dataset** out) {
    if (generated == nullptr || out == nullptr) return kErrBadArg;
    *out = nullptr;
    const uint32_t ownCols = own ? own->col_count : 0;
    if (before > ownCols) before = ownCols;
    const uint32_t total = ownCols + generated->col_count;
    if (total == 0 || total > 0xFFFF) return kErrGeneral;
    if (own != nullptr && own->rows_used != generated->rows_used) return kErrGeneral;
    Dataset* ownCopy = nullptr;
    if (own != nullptr) {
        if (int rc = DatasetClone(&ownCopy, own)) return uint32_t(rc);
    }
    auto* ds = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    auto* cols = static_cast<DatasetColumn*>(TryCalloc(total, sizeof(DatasetColumn)));
    if (ds == nullptr || cols == nullptr) {
        TryFree(ds);
        TryFree(cols);
        if (ownCopy) DatasetDelete(ownCopy);
        return kErrNoMemory;
    }
    uint32_t at = 0;
    auto take = [&](Dataset* from, uint32_t c) {
        cols[at++] = from->cols[c];
        from->cols[c].data = nullptr;
        from->cols[c].indicators = nullptr;
    };
    for (uint32_t c = 0; c < before; ++c) take(ownCopy, c);
    for (uint32_t c = 0; c < generated->col_count; ++c) take(generated, c);
    for (uint32_t c = before; c < ownCols; ++c) take(ownCopy, c);
    ds->cols = cols;
    ds->cols_alloc = uint16_t(total);
    ds->col_count = uint16_t(total);
    ds->rows_used = generated->rows_used;
    ds->rows_alloc = generated->rows_alloc;
    if (ownCopy != nullptr && ownCopy->rows_alloc < ds->rows_alloc) ds->rows_alloc = ownCopy->rows_alloc;
    // The donors keep their headers, now without values.
    DatasetFree(generated);
    if (ownCopy) DatasetDelete(ownCopy);
    *out = ds;
    return 0;
}

uint32_t SCS_RowsetKeyBounds(const Dataset* keys, uint32_t first, uint32_t last, Dataset** out) {
    if (keys == nullptr || out == nullptr || first >= keys->rows_used || last >= keys->rows_used) return kErrBadArg;
    *out = nullptr;
    if (int rc = DatasetCreateLike(out, keys, 2)) return uint32_t(rc);
    int rc = DatasetCopyRow(*out, const_cast<Dataset*>(keys), 0, first, 0);
    if (rc == 0) rc = DatasetCopyRow(*out, const_cast<Dataset*>(keys), 1, last, 0);
    if (rc != 0) {
        DatasetDelete(*out);
        *out = nullptr;
        return uint32_t(rc);
    }
    (*out)->rows_used = 2;
    return 0;
}

namespace {

bool CellsEqual(const DatasetColumn& a, uint32_t ra, const DatasetColumn& b, uint32_t rb) {
    const bool na = a.indicators && a.indicators[ra] == DS_IND_NULL;
    const bool nb = b.indicators && b.indicators[rb] == DS_IND_NULL;
    if (na || nb) return na && nb;
    if (a.kind != b.kind) return false;
    DsBytes x = DatasetCellBytes(&a, DatasetCell(&a, ra));
    DsBytes y = DatasetCellBytes(&b, DatasetCell(&b, rb));
    return x.size == y.size && (x.size == 0 || std::memcmp(x.bytes, y.bytes, x.size) == 0);
}

}  // namespace

uint32_t scs_p_MarkVanishedRows(Dataset* rows, uint16_t keyCount, const Dataset* keys, uint32_t k0, uint32_t n,
                                uint16_t* statuses) {
    if (rows == nullptr || keys == nullptr || statuses == nullptr || keyCount == 0 || keys->col_count < keyCount ||
        uint64_t(k0) + n > keys->rows_used)
        return kErrGeneral;
    if (rows->col_count == 0) {
        // Nothing came back: every key row is gone; the rows keep no columns.
        for (uint32_t i = 0; i < n; ++i) statuses[i] = SQL_ROW_DELETED;
        return 0;
    }
    if (rows->col_count <= keyCount) return kErrGeneral;
    const uint16_t first = uint16_t(rows->col_count - keyCount);
    Dataset* placed = nullptr;
    if (int rc = DatasetCreateLike(&placed, rows, n ? n : 1)) return uint32_t(rc);
    placed->rows_used = n;
    for (uint32_t i = 0; i < n; ++i) {
        statuses[i] = SQL_ROW_DELETED;
        for (uint32_t r = 0; r < rows->rows_used; ++r) {
            bool equal = true;
            for (uint16_t k = 0; k < keyCount && equal; ++k)
                equal = CellsEqual(rows->cols[first + k], r, keys->cols[k], k0 + i);
            if (!equal) continue;
            if (int rc = DatasetCopyRow(placed, rows, i, r, 0)) {
                DatasetDelete(placed);
                return uint32_t(rc);
            }
            statuses[i] = SQL_ROW_SUCCESS;
            break;
        }
        if (statuses[i] == SQL_ROW_DELETED) {
            for (uint16_t c = 0; c < placed->col_count; ++c)
                if (placed->cols[c].indicators) placed->cols[c].indicators[i] = DS_IND_NULL;
        }
    }
    placed->rows_used = n;
    while (placed->col_count > first) {
        if (int rc = DatasetRemoveColumn(placed, uint16_t(placed->col_count - 1))) {
            DatasetDelete(placed);
            return uint32_t(rc);
        }
    }
    DatasetFree(rows);
    *rows = *placed;
    TryFree(placed);
    return 0;
}

// --- set-up --------------------------------------------------------------------------------

bool SCS_KeysetReady(const IngStmt* s) {
    const SCS_KsState* st = StateOf(s);
    return st != nullptr && st->ready;
}

uint32_t SCS_KeysetShape(const IngStmt* s) {
    const SCS_KsState* st = StateOf(s);
    return st ? st->shape : 0;
}

void SCS_KeysetRelease(IngStmt* s) {
    if (SCS_KsState* st = StateOf(s)) ReleaseAnalysis(st);
}

void SCS_KeysetStateFree(IngStmt* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr) return;
    ReleaseAnalysis(st);
    KS_KeysetFree(&st->ks);
    std::free(const_cast<char*>(st->ctx.userName));
    std::free(const_cast<char*>(st->ctx.dbmsName));
    if (st->aux1) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux1);
    if (st->aux2) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux2);
    if (st->aux3) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux3);
    if (st->aux4) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux4);
    if (st->aux5) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux5);
    DropRowChangeState(st);
    delete st;
    s->cursor.ksState = nullptr;
}

uint32_t SCS_KeysetPrepare(IngStmt* s, SCR_Analysis* a, const char* text) {
    if (s == nullptr || a == nullptr) return kErrBadArg;
    SCS_KsState* st = nullptr;
    if (uint32_t rc = EnsureState(s, &st)) {
        SCR_AnalysisFree(a);
        return rc;
    }
    ReleaseAnalysis(st);
    st->own = *a;
    SCR_AnalysisInit(a);
    SCS_Cursor& c = s->cursor;
    const uint32_t conn = c.agentConn;
    if (EnsureAux(conn, &st->aux1) != 0 || EnsureAux(conn, &st->aux2) != 0) return kErrGeneral;
    SCS_DescCtx& ctx = st->ctx;
    if (ctx.userName == nullptr) {
        // What the connection says of names and order, read once per statement.
        ctx.lower = Lower();
        const char* q = InfoText(conn, SQL_IDENTIFIER_QUOTE_CHAR);
        st->quote = q && q[0] != ' ' ? q[0] : 0;
        std::free(const_cast<char*>(q));
        ctx.quote = st->quote;
        ctx.identCase = InfoInt(conn, SQL_IDENTIFIER_CASE, 1);
        ctx.quotedCase = InfoInt(conn, SQL_QUOTED_IDENTIFIER_CASE, 4);
        ctx.nullCollation = uint16_t(InfoInt(conn, SQL_NULL_COLLATION, 0));
        st->maxOrderCols = uint16_t(InfoInt(conn, SQL_MAX_COLUMNS_IN_ORDER_BY, 0));
        ctx.userName = InfoText(conn, SQL_USER_NAME);
        ctx.dbmsName = InfoText(conn, SQL_DBMS_NAME);
        if (ctx.userName == nullptr) ctx.userName = TryStrdup("");
        uint32_t limit = 0;
        uint16_t len = 0;
        st->paramLimit = AgentCall<DRV_GetInfo>(Lower(), conn, 0x22010009u, &limit, uint16_t(4), &len) == 0 ? limit : 0;
    }
    ctx.auxStmt = st->aux1;
    ctx.messages = &s->messages;
    if (IngConn* conn2 = IngConnFind(conn)) ctx.keyCache = static_cast<HashTable*>(conn2->keyColCache);
    ctx.analysis = &st->own;
    st->shape = st->own.flags;
    ctx.shapeFlags = uint16_t(st->own.flags);
    st->ownParams = CountMarkers(text, nullptr);

    st->tables = SCR_ArrayCreate(sizeof(SCR_TableRef));
    if (st->tables == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_TablesGet(&st->own, st->tables, 0);
    if (rc != 0) {
        IngLog(7, "SCR_TablesGet failed");
        return rc;
    }
    if (st->tables->count == 0) return kErrPrepareCursorType;
    ctx.tables = st->tables;
    if ((rc = scs_p_GetTblDescs(&ctx, st->tables, st->tables->count)) != 0) return rc;
    std::string setUp = SCR_AnalysisText(&st->own);
    if (st->shape & SCR_F_ORDERBY) {
        if ((rc = scs_p_OrderByAnalyse(&ctx)) != 0) return rc;
        // The ORDER BY's own flags (positions among them) come with its analysis.
        st->shape |= ctx.shapeFlags;
        if (st->shape & SCR_F_ORDERPOS) {
            if ((rc = SCR_OrderByResolvePositions(&st->own, ctx.orderBy)) != 0) return rc;
            setUp = SCR_AnalysisText(&st->own);
        }
    }
    st->text = TryStrdup(setUp.c_str());
    if (st->text == nullptr) return kErrNoMemory;
    rc = KS_GetKeyColDescs(&ctx, st->tables);
    if (rc != 0) {
        if (rc != kErrNoKeys) IngLog(7, "KS_GetKeyColDescs failed");
        return rc;
    }
    if (SCS_KeysPerStatement(st->paramLimit, st->ownParams, ctx.keyCols->count) == 0) return kErrNoKeys;
    if (Mixed(c) || c.cursorType == SQL_CURSOR_DYNAMIC) {
        if ((rc = MapKeysToOrderBy(&ctx)) != 0) return rc;
    }
    if (st->shape & SCR_F_ORDERBY) scs_p_MarkKeyOrderPositions(&ctx);
    st->ks->keyCols = ctx.keyCols;
    st->ks->tableCount = ctx.tableCount;
    // The ordered text: the statement's order, then the keys no ORDER BY item names.
    SCR_Analysis ord;
    SCR_AnalysisInit(&ord);
    rc = Analyse(&ord, st->text);
    const uint32_t orderCount = ctx.orderBy ? ctx.orderBy->count : 0;
    if (rc == 0) rc = KS_BuildKeyOrderBy(&ord, ctx.keyCols, ctx.tableCount, orderCount, st->maxOrderCols);
    if (rc == 0) {
        st->ordered = TryStrdup(ord.text);
        if (st->ordered == nullptr) rc = kErrNoMemory;
    }
    SCR_AnalysisFree(&ord);
    if (rc != 0) return rc;
    st->ready = 1;
    return 0;
}

uint32_t KS_GetKeySet_KSD(IngStmt* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = s->cursor;
    KS_KeysetClear(st->ks);
    st->windowState = -6;
    st->st = 0;
    if (Mixed(c)) {
        // A mixed cursor reads its keys window by window.
        st->maxRows = uint32_t(s->maxRows);
        c.rowsFetched = -1;
        return 0;
    }
    uint32_t pre = 0, listed = 0;
    uint32_t rc = ListMarkers(st->ordered, &pre, &listed);
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    if (rc == 0) rc = Analyse(&a, st->ordered);
    if (rc == 0) rc = KS_BuildKeySelect(&a, st->ctx.keyCols, st->ctx.tableCount);
    if (rc == 0 && (rc = AgentCall<DRV_Prepare>(Lower(), st->aux1, a.text)) != 0) {
        // The server's reason reaches the application in place of the statement's own messages.
        IngDiagClear(&s->messages);
        if (IngStmt* aux = IngStmtFind(st->aux1)) {
            s->messages.first = aux->messages.first;
            aux->messages.first = nullptr;
        }
    }
    SCR_AnalysisFree(&a);
    if (rc != 0) return rc;
    Dataset* own = nullptr;
    if ((rc = OwnValues(s, pre, listed, &own)) != 0) return rc;
    if (own != nullptr && (rc = GiveParams(st->aux1, own)) != 0) return rc;
    // The result is as long as the statement's maximum rows let it be: so is its key set.
    uint32_t most = s->maxRows;
    (void)AgentCall<DRV_SetOption>(Lower(), st->aux1, kPropStmtOptionBase + SQL_MAX_ROWS, static_cast<void*>(&most));
    if ((rc = AgentCall<DRV_Execute>(Lower(), st->aux1)) != 0) return rc;
    uint32_t total = 0;
    rc = DSC_Fill(&st->ks->cache, Lower(), st->aux1, st->ks->keys, &total);
    (void)AgentCall<DRV_CloseCursor>(Lower(), st->aux1);
    if (rc != 0) {
        IngLog(3, "KS_GetKeySet_KSD: Could not fill dataset cache");
        KS_KeysetClear(st->ks);
        return rc;
    }
    st->ks->count = total;
    st->ks->origin = st->ks->cache.state == kDscOnFile ? -1 : 0;
    // A row id the back end answers with NULL names no row: fetching by it would show wrong rows.
    if (total > 0) {
        uint32_t row0 = 0;
        if ((rc = KS_KeysetRows(st->ks, 0, 1, &row0)) != 0) {
            KS_KeysetClear(st->ks);
            return rc;
        }
        bool allNull = true;
        for (uint16_t k = 0; k < st->ks->keys->col_count && allNull; ++k)
            allNull = st->ks->keys->cols[k].indicators[row0] == DS_IND_NULL;
        if (allNull) {
            IngLog(7, "KS_GetKeySet_KSD: the keys of the first row are NULL");
            KS_KeysetClear(st->ks);
            return kErrNoKeys;
        }
    }
    st->ks->statuses = static_cast<uint16_t*>(TryCalloc(total ? total : 1, sizeof(uint16_t)));
    if (st->ks->statuses == nullptr) {
        KS_KeysetClear(st->ks);
        return kErrNoMemory;
    }
    c.rowsFetched = int32_t(total);
    return 0;
}

uint32_t SCS_KeysetFetch(IngStmt* s, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = s->cursor;
    KS_KeysetRecord* ks = st->ks;
    const int64_t total = ks->count;
    const int64_t n = c.rowsetSize ? c.rowsetSize : 1;
    *resultRows = uint32_t(total);
    int64_t row = start;
    if (start == 0)
        row = total - n + 1 >= 1 ? total - n + 1 : 1;
    else if (start < 0)
        row = total + start + 1;
    if (start < 0 && row < 1 && -int64_t(start) <= n) row = 1;
    if (row < 1) {
        SCS_CursorSetPos(&c, 0);
        return kErrBeforeStart;
    }
    if (row > total) {
        SCS_CursorSetPos(&c, -3);
        return kErrBeyondEnd;
    }
    const uint32_t count = uint32_t(total - row + 1 < n ? total - row + 1 : n);
    uint32_t r0 = 0;
    if (uint32_t rc = KS_KeysetRows(ks, uint32_t(row - 1), count, &r0)) return rc;
    RowsetFree(out);
    if (uint32_t rc = RowsetCreate(out, int32_t(n))) return rc;
    Rowset* rs = *out;
    if (uint32_t rc = FetchByKeys(s, st, ks->keys, r0, count, rs)) {
        RowsetFree(out);
        return rc;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t& keyStatus = ks->statuses[row - 1 + i];
        // A key whose row went stays deleted; an error is told once.
        if (rs->statuses[i] == SQL_ROW_DELETED)
            keyStatus = SQL_ROW_DELETED;
        else if (keyStatus == SQL_ROW_ERROR)
            keyStatus = SQL_ROW_SUCCESS;
        rs->statuses[i] = keyStatus;
    }
    // Rows of a join, a grouping or a union cannot be changed: they are neither locked nor compared.
    const bool changeable = scs_p_CheckShape(st->shape) == 0;
    if (changeable && c.concurrency == SQL_CONCUR_VALUES) {
        if (uint32_t vr = scs_p_GetOptConcColVals(s, st, ks->keys, r0, count)) {
            RowsetFree(out);
            return vr;
        }
    }
    if (changeable && LocksByUpdate(c)) {
        // The rows of the rowset stay locked until the transaction ends.
        // The context names the new rowset's keys.
        const uint32_t before = c.rowsetFirst;
        c.rowsetFirst = uint32_t(row);
        SCS_RowChange rc{};
        uint32_t lr = SCS_KeysetRowChange(s, &rc);
        if (lr == 0) lr = scs_p_LockRows(&rc, uint32_t(row - 1), count);
        if (lr != 0) {
            c.rowsetFirst = before;
            if (rc.changeStmt) scs_p_MoveMessages(rc.changeStmt, s->cursor.agentStmt);
            RowsetFree(out);
            return lr;
        }
    }
    if (!c.retrieveData) {
        DatasetFree(rs->data);
        DatasetInit(rs->data, 0);
    }
    c.rowsetFirst = uint32_t(row);
    c.position2 = int32_t(row);
    c.position = 1;
    *rows = count;
    return 0;
}

namespace {

// A mixed or dynamic cursor's row changes name the rows of its rowset (key rows w .. w + count - 1
// of keys): their keys and statuses are kept here, the rows are locked or their concurrency values
// read as for keyset-driven cursors.
uint32_t RowsetChangeState(IngStmt* s, SCS_KsState* st, const Dataset* keys, uint32_t w, uint32_t count,
                           const Rowset* rs) {
    DropRowChangeState(st);
    SCS_Cursor& c = s->cursor;
    if (c.concurrency == SQL_CONCUR_READ_ONLY || count == 0 || scs_p_CheckShape(st->shape) != 0) return 0;
    const uint16_t keyCount = uint16_t(st->ctx.keyCols->count);
    uint32_t rc = KeyRowsOnly(keys, w, count, keyCount, &st->rowsetKeys);
    if (rc != 0) return rc;
    if (st->rowsetKeys == nullptr) return kErrGeneral;
    st->rowsetStatuses = static_cast<uint16_t*>(TryCalloc(count, sizeof(uint16_t)));
    if (st->rowsetStatuses == nullptr) return kErrNoMemory;
    for (uint32_t i = 0; i < count; ++i) st->rowsetStatuses[i] = rs->statuses[i];
    st->rowsetRows = count;
    if (c.concurrency == SQL_CONCUR_VALUES) return scs_p_GetOptConcColVals(s, st, st->rowsetKeys, 0, count);
    if (!LocksByUpdate(c)) return 0;
    SCS_RowChange rc2{};
    rc = SCS_KeysetRowChange(s, &rc2);
    if (rc == 0) rc = scs_p_LockRows(&rc2, 0, count);
    if (rc != 0 && rc2.changeStmt) scs_p_MoveMessages(rc2.changeStmt, s->cursor.agentStmt);
    return rc;
}

}  // namespace

// --- mixed cursors -------------------------------------------------------------------------

namespace {

uint32_t FetchRowsUpTo(uint32_t stmt, uint32_t most, Dataset* out) {
    while (out->rows_used < most || out->col_count == 0) {
        const uint32_t want = most - (out->col_count ? out->rows_used : 0);
        if (want == 0) break;
        Dataset more{};
        uint32_t rc = AgentCall<DRV_FetchRows>(Lower(), stmt, uint16_t(want > 0xFFFF ? 0xFFFF : want), &more);
        if (rc != 0) {
            DatasetFree(&more);
            return rc;
        }
        const uint32_t got = more.rows_used;
        if (out->col_count == 0) {
            DatasetFree(out);
            *out = more;
        } else {
            int arc = got ? DatasetAppendRows(out, &more) : 0;
            DatasetFree(&more);
            if (arc != 0) return uint32_t(arc);
        }
        if (got == 0) break;
    }
    return 0;
}

// Reads up to `count` key rows (the keys, then the ORDER BY columns that are not keys) by a seek
// from row fromRow of `from` (FIRST and LAST need none) into *out, in the cursor's order.
// orientation 1 NEXT, 2 FIRST, 3 LAST, 4 PRIOR; mode as the seek builders take it.
uint32_t SeekKeys(IngStmt* s, SCS_KsState* st, uint32_t orientation, uint32_t mode, const Dataset* from,
                  uint32_t fromRow, uint32_t count, Dataset* out) {
    SCS_DescCtx& ctx = st->ctx;
    Dataset* bounds = nullptr;
    uint32_t rc = 0;
    const bool seeks = orientation == 1 || orientation == 4;
    if (seeks) {
        if (from == nullptr) return kErrGeneral;
        if ((rc = SCS_RowsetKeyBounds(from, fromRow, fromRow, &bounds)) != 0) return rc;
    }
    ctx.boundKeys = bounds;
    uint32_t pre = 0, listed = 0, before = 0;
    rc = ListMarkers(st->ordered, &pre, &listed);
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    if (rc == 0 && seeks) {
        // Where the seek condition's markers stand among the statement's own.
        rc = Analyse(&a, st->ordered);
        if (rc == 0) rc = SCR_SelectListMark(&a);
        if (rc == 0) rc = ReplaceEdit(&a, "1");
        if (rc == 0) {
            std::string listless = a.text;
            rc = WhereMarkers(listless.c_str(), &before);
        }
    }
    Dataset* params = nullptr;
    if (rc == 0) rc = Analyse(&a, st->ordered);
    if (rc == 0) rc = KS_BuildSeekSelect(&ctx, &a, orientation, mode, seeks ? &params : nullptr);
    std::string text = rc == 0 ? a.text : "";
    if (rc == 0 && (orientation == 3 || orientation == 4)) {
        // Read backwards from the boundary, nearest first.
        rc = Analyse(&a, text.c_str());
        if (rc == 0) rc = SCR_OrderByReverse(&a);
        if (rc == 0) text = SCR_AnalysisText(&a);
    }
    SCR_AnalysisFree(&a);
    ctx.boundKeys = nullptr;
    if (bounds) DatasetDelete(bounds);
    Dataset* own = nullptr;
    if (rc == 0) rc = OwnValues(s, pre, listed, &own);
    Dataset* joined = nullptr;
    if (rc == 0 && params != nullptr) {
        rc = SCS_SpliceParams(own, before, params, &joined);
    } else if (rc == 0) {
        joined = own;
        own = nullptr;
    }
    if (own) DatasetDelete(own);
    if (params) DatasetDelete(params);
    uint32_t unlimited = 0;
    if (rc == 0)
        (void)AgentCall<DRV_SetOption>(Lower(), st->aux1, kPropStmtOptionBase + SQL_MAX_ROWS,
                                       static_cast<void*>(&unlimited));
    if (rc == 0) rc = AgentCall<DRV_Prepare>(Lower(), st->aux1, text.c_str());
    if (rc == 0 && joined != nullptr) {
        rc = GiveParams(st->aux1, joined);
        joined = nullptr;
    }
    if (joined) DatasetDelete(joined);
    if (rc == 0) rc = AgentCall<DRV_Execute>(Lower(), st->aux1);
    DatasetFree(out);
    if (rc == 0) rc = FetchRowsUpTo(st->aux1, count, out);
    (void)AgentCall<DRV_CloseCursor>(Lower(), st->aux1);
    if (rc == 0 && out->rows_used > count) out->rows_used = count;
    if (rc == 0 && (orientation == 3 || orientation == 4) && out->rows_used > 1) {
        Dataset* rev = out;
        // The reversal makes a new record when it cannot work in place; keep the caller's header.
        Dataset* holder = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
        if (holder == nullptr) return kErrNoMemory;
        *holder = *rev;
        *out = Dataset{};
        const uint32_t used = holder->rows_used;
        Dataset* turned = holder;
        int drc = DatasetReverseRows(&turned);
        if (drc != 0) {
            DatasetDelete(holder);
            return uint32_t(drc);
        }
        *out = *turned;
        out->rows_used = used;
        TryFree(turned);
    }
    return rc;
}

// Replaces the window by `rows`.
void TakeWindow(SCS_KsState* st, Dataset* rows) {
    KS_KeysetClear(st->ks);
    *st->ks->keys = *rows;
    *rows = Dataset{};
    st->ks->count = st->ks->keys->col_count ? st->ks->keys->rows_used : 0;
    st->ks->origin = 0;
}

}  // namespace

uint32_t SCS_MixedFetch(IngStmt* s, Rowset** out, int32_t offset, uint16_t orientation, uint32_t* rows,
                        uint32_t* resultRows) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = s->cursor;
    const uint32_t size = c.keysetSize;
    const uint32_t n = c.rowsetSize ? c.rowsetSize : 1;
    // NEXT moves on by the rowset of the last fetch, whatever the rowset size is now.
    const int64_t p = c.prevRowsetSize ? c.prevRowsetSize : n;
    if (size < n) return kErrKeysetSize;
    if (st->windowSize != size) st->windowState = -6;
    KS_KeysetRecord* ks = st->ks;
    uint32_t rc = 0;
    int64_t w = 0;
    Dataset got{};
    // SQL_ATTR_MAX_ROWS cuts the result: how many rows may follow result row `from` (from 1),
    // itself included, and whether a window of `got` rows from there ends the result.
    const int64_t most = int64_t(st->maxRows);
    auto room = [&](int64_t from) -> uint32_t {
        if (most <= 0) return size;
        const int64_t left = most - from + 1;
        return uint32_t(left <= 0 ? 0 : left < int64_t(size) ? left : size);
    };
    auto ends = [&](int64_t from, uint32_t got) { return got < size || (most > 0 && from + int64_t(got) - 1 >= most); };
    auto first = [&]() -> uint32_t {
        if (uint32_t r = SeekKeys(s, st, 2, 0, nullptr, 0, room(1), &got)) return r;
        TakeWindow(st, &got);
        st->windowState = -2;
        st->windowAt = 1;
        st->atStart = true;
        st->atEnd = ends(1, uint32_t(ks->count));
        w = 0;
        return ks->count == 0 ? uint32_t(kErrBeyondEnd) : 0u;
    };
    auto last = [&]() -> uint32_t {
        if (most > 0) {
            // The last rows are the last of the first `most`: read their keys from the start.
            if (uint32_t r = SeekKeys(s, st, 2, 0, nullptr, 0, uint32_t(most), &got)) return r;
            const uint32_t g = got.col_count ? got.rows_used : 0;
            const uint32_t keep = g < size ? g : size;
            if (g > keep) {
                Dataset* tail = nullptr;
                uint32_t r = KeyRowsOnly(&got, g - keep, keep, got.col_count, &tail);
                DatasetFree(&got);
                if (r != 0) return r;
                TakeWindow(st, tail);
                DatasetDelete(tail);
            } else {
                TakeWindow(st, &got);
            }
            st->windowAt = int64_t(g - keep) + 1;
        } else {
            if (uint32_t r = SeekKeys(s, st, 3, 0, nullptr, 0, size, &got)) return r;
            TakeWindow(st, &got);
            st->windowAt = 0;  // not known: nothing limits the result
        }
        st->windowState = -3;
        st->atEnd = true;
        st->atStart = most > 0 ? st->windowAt == 1 : ks->count < size;
        w = ks->count > n ? int64_t(ks->count) - n : 0;
        return ks->count == 0 ? uint32_t(kErrBeforeStart) : 0u;
    };
    const int64_t K = ks->count;
    const int64_t cur = int64_t(st->st) - 1;  // 0-based rowset start in the window
    switch (orientation) {
        case SQL_FETCH_FIRST:
            rc = first();
            break;
        case SQL_FETCH_LAST:
            rc = last();
            break;
        case SQL_FETCH_NEXT:
            if (st->windowState == -6) {
                rc = first();
            } else if (st->windowState == -5) {
                rc = kErrBeyondEnd;
            } else if (cur + p + int64_t(n) <= K || (st->atEnd && cur + p < K)) {
                w = cur + p;
            } else if (st->atEnd) {
                st->windowState = -5;
                rc = kErrBeyondEnd;
            } else {
                const int64_t lastRow = (cur + p < K ? cur + p : K) - 1;
                const int64_t at = st->windowAt + lastRow + 1;
                const uint32_t want = room(at);
                if (want == 0) {
                    st->windowState = -5;
                    rc = kErrBeyondEnd;
                    break;
                }
                if ((rc = SeekKeys(s, st, 1, 0, ks->keys, uint32_t(lastRow), want, &got)) != 0) break;
                if (got.col_count == 0 || got.rows_used == 0) {
                    DatasetFree(&got);
                    st->windowState = -5;
                    rc = kErrBeyondEnd;
                    break;
                }
                TakeWindow(st, &got);
                st->windowState = -1;
                st->windowAt = at;
                st->atStart = false;
                st->atEnd = ends(at, uint32_t(ks->count));
                w = 0;
            }
            break;
        case SQL_FETCH_PRIOR:
            if (st->windowState == -6) {
                rc = kErrBeforeStart;
            } else if (st->windowState == -5) {
                rc = last();
            } else if (cur - int64_t(n) >= 0) {
                w = cur - n;
            } else if (st->atStart) {
                if (cur == 0)
                    rc = kErrBeforeStart;
                else
                    w = 0;
            } else {
                if ((rc = SeekKeys(s, st, 4, 0, ks->keys, uint32_t(cur), size, &got)) != 0) break;
                const uint32_t g = got.col_count ? got.rows_used : 0;
                if (g == 0) {
                    DatasetFree(&got);
                    rc = kErrBeforeStart;
                } else if (g < n) {
                    // The rowset would overlap the first row: the first rowset.
                    DatasetFree(&got);
                    rc = first();
                } else {
                    TakeWindow(st, &got);
                    st->windowState = -1;
                    st->windowAt += cur - int64_t(g);
                    st->atStart = g < size;
                    st->atEnd = false;
                    w = int64_t(g) - n;
                }
            }
            break;
        case SQL_FETCH_RELATIVE: {
            if (st->windowState == -6 || st->windowState == -5) {
                rc = kErrFetchTypeRange;
                break;
            }
            const int64_t t = cur + offset;
            if (t >= 0 && (t + n <= K || (st->atEnd && t < K))) {
                w = t;
            } else if (t >= K && st->atEnd) {
                st->windowState = -5;
                rc = kErrBeyondEnd;
            } else if (t >= K) {
                const int64_t skip = t - K;
                if (skip + size > 0xFFFFFFFFll) {
                    rc = kErrRowRange;
                    break;
                }
                const int64_t at = st->windowAt + t;
                const uint32_t want = room(at);
                if (most > 0 && want == 0) {
                    st->windowState = -5;
                    rc = kErrBeyondEnd;
                    break;
                }
                if ((rc = SeekKeys(s, st, 1, 0, ks->keys, uint32_t(K - 1), uint32_t(skip + want), &got)) != 0) break;
                const int64_t g = got.col_count ? got.rows_used : 0;
                if (g <= skip) {
                    DatasetFree(&got);
                    st->windowState = -5;
                    rc = kErrBeyondEnd;
                    break;
                }
                Dataset* tail = nullptr;
                rc = KeyRowsOnly(&got, uint32_t(skip), uint32_t(g - skip), got.col_count, &tail);
                DatasetFree(&got);
                if (rc != 0) break;
                TakeWindow(st, tail);
                DatasetDelete(tail);
                st->windowState = -1;
                st->windowAt = at;
                st->atStart = false;
                st->atEnd = ends(at, uint32_t(g - skip));
                w = 0;
            } else if (t >= 0) {
                // The rowset runs past the window: a window from its first row.
                const int64_t at = st->windowAt + t;
                if ((rc = SeekKeys(s, st, 1, 3, ks->keys, uint32_t(t), room(at), &got)) != 0) break;
                TakeWindow(st, &got);
                st->windowState = -1;
                st->windowAt = at;
                st->atStart = st->atStart && t == 0;
                st->atEnd = ends(at, uint32_t(ks->count));
                w = 0;
            } else if (st->atStart) {
                // Window row 0 is the result's first row.
                if (t + 1 > 1 - int64_t(n))
                    rc = first();
                else
                    rc = kErrBeforeStart;
            } else {
                if ((rc = SeekKeys(s, st, 4, 0, ks->keys, 0, uint32_t(-t), &got)) != 0) break;
                const int64_t g = got.col_count ? got.rows_used : 0;
                if (g < -t) {
                    DatasetFree(&got);
                    // Window row 0 is row g + 1 of the result.
                    if (g + 1 + t > 1 - int64_t(n))
                        rc = first();
                    else
                        rc = kErrBeforeStart;
                    break;
                }
                const int64_t at = st->windowAt + t;
                Dataset target{};
                rc = SeekKeys(s, st, 1, 3, &got, 0, room(at), &target);
                DatasetFree(&got);
                if (rc != 0) {
                    DatasetFree(&target);
                    break;
                }
                TakeWindow(st, &target);
                st->windowState = -1;
                st->windowAt = at;
                st->atStart = false;
                st->atEnd = ends(at, uint32_t(ks->count));
                w = 0;
            }
            break;
        }
        default:
            rc = kErrFetchTypeRange;
            break;
    }
    DatasetFree(&got);
    if (rc != 0) {
        if (rc == kErrBeforeStart) {
            st->windowState = st->windowState == -6 ? -6 : st->windowState;
            SCS_CursorSetPos(&c, 0);
        }
        if (rc == kErrBeyondEnd) SCS_CursorSetPos(&c, -3);
        return rc;
    }
    st->windowSize = size;
    const int64_t K2 = ks->count;
    if (w >= K2) {
        st->windowState = -5;
        SCS_CursorSetPos(&c, -3);
        return kErrBeyondEnd;
    }
    const uint32_t count = uint32_t(K2 - w < int64_t(n) ? K2 - w : n);
    RowsetFree(out);
    if ((rc = RowsetCreate(out, int32_t(n))) != 0) return rc;
    if ((rc = FetchByKeys(s, st, ks->keys, uint32_t(w), count, *out)) != 0) {
        RowsetFree(out);
        return rc;
    }
    if ((rc = RowsetChangeState(s, st, st->ks->keys, uint32_t(w), count, *out)) != 0) {
        RowsetFree(out);
        return rc;
    }
    if (!c.retrieveData) {
        DatasetFree((*out)->data);
        DatasetInit((*out)->data, 0);
    }
    st->st = uint32_t(w) + 1;
    // The result's size is known once one window holds all of it.
    c.rowsFetched = st->atStart && st->atEnd ? int32_t(K2) : -1;
    *resultRows = uint32_t(c.rowsFetched);
    c.position = 1;
    *rows = count;
    return 0;
}

void SCS_KeysetClose(IngStmt* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr) return;
    KS_KeysetClear(st->ks);
    st->windowState = -6;
    st->st = 0;
    st->atStart = st->atEnd = false;
}

// --- row changes -----------------------------------------------------------------------------

uint32_t SCS_KeysetRowChange(IngStmt* s, SCS_RowChange* out) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || out == nullptr) return kErrNotCapable;
    SCS_Cursor& c = s->cursor;
    // A read-only cursor's context serves reading rows by bookmark; its users change nothing
    // through it.
    if ((c.cursorType != SQL_CURSOR_KEYSET_DRIVEN && c.cursorType != SQL_CURSOR_STATIC &&
         c.cursorType != SQL_CURSOR_DYNAMIC) ||
        (c.concurrency != SQL_CONCUR_LOCK && c.concurrency != SQL_CONCUR_VALUES &&
         c.concurrency != SQL_CONCUR_READ_ONLY))
        return kErrNotCapable;
    const bool mixed = RowsetNamed(c);
    const bool dynamic = c.cursorType == SQL_CURSOR_DYNAMIC;
    const bool isStatic = c.cursorType == SQL_CURSOR_STATIC;
    KS_KeysetRecord* ks = st->ks;
    SCS_DescCtx& ctx = st->ctx;
    if (ks == nullptr || ctx.keyCols == nullptr) return kErrNotCapable;
    if (!mixed && (ks->statuses == nullptr || ks->keys->col_count != ctx.keyCols->count)) return kErrNotCapable;
    const uint32_t conn = c.agentConn;
    if (EnsureAux(conn, &st->aux3) != 0 || EnsureAux(conn, &st->aux4) != 0) return kErrGeneral;
    if (uint32_t rc = EnsureChangeCols(st)) return rc;
    *out = SCS_RowChange{};
    out->desc = &ctx;
    out->changeStmt = st->aux3;
    out->fetchStmt = st->aux4;
    if (uint32_t rc = scs_p_ResultColsLoad(&c)) return rc;
    out->resultCols = c.resultDescs;
    out->resultCount = c.resultDescCount;
    out->cursorType = isStatic ? SQL_CURSOR_STATIC : dynamic ? SQL_CURSOR_DYNAMIC : SQL_CURSOR_KEYSET_DRIVEN;
    out->concurrency = c.concurrency;
    // The rows of the last fetch: a rowset size set since names no rows.
    const uint32_t fetchedSize = SCS_PosRowsetSize(&c);
    out->rowsetSize = fetchedSize;
    out->stmtText = st->text;
    out->keptParams = (c.layerFlags & kScsLParamsKept) ? c.keptParams : nullptr;
    out->forUpdate = ForUpdate(c, st->shape) ? 1 : 0;
    out->values = st->values;
    out->compareMode = 1;
    // A dynamic cursor also keeps its own update from reading as another user's at the next fetch.
    out->refreshValues = dynamic ? SCS_DynamicAfterUpdate
                         : c.concurrency == SQL_CONCUR_VALUES || c.cursorType == SQL_CURSOR_STATIC
                             ? SCS_KeysetValuesRefresh
                             : nullptr;
    out->rereadValues = c.concurrency == SQL_CONCUR_VALUES && !isStatic && !mixed ? SCS_KeysetValuesReread : nullptr;
    if (mixed) {
        // The window's rows beyond the rowset are not the application's to name.
        if (st->rowsetKeys == nullptr || st->rowsetStatuses == nullptr) return kErrNotCapable;
        out->rowsetOrigin = 1;
        out->keyStatus = st->rowsetStatuses;
        out->keysetRows = st->rowsetRows;
        out->keyValues = st->rowsetKeys;
        out->keyOrigin = 0;
        return 0;
    }
    out->rowsetOrigin = c.rowsetFirst ? c.rowsetFirst : 1;
    // After a fetch by bookmark each rowset row is the row its bookmark names (rows of the
    // rowset fetched before it).
    if (c.rowBookmarks != nullptr) {
        out->rowBookmarks = c.rowBookmarks;
        out->rowBookmarkCount = c.rowBookmarkCount;
        out->rowsetSize = c.rowBookmarkCount ? c.rowBookmarkCount : 1;
    }
    // A static cursor's values are the whole snapshot's, a keyset-driven one's the rowset's.
    out->valuesOrigin = isStatic ? 0 : out->rowsetOrigin - 1;
    out->keyStatus = ks->statuses;
    out->keysetRows = ks->count;
    // The fetched rowset's keys are made present; a key set on file holds them from keyOrigin on.
    const uint32_t first = out->rowsetOrigin - 1;
    if (first < ks->count) {
        const uint32_t n = ks->count - first < fetchedSize ? ks->count - first : fetchedSize;
        uint32_t row0 = 0;
        if (uint32_t rc = KS_KeysetRows(ks, first, n, &row0)) return rc;
        if (row0 > first) return kErrGeneral;
        out->keyOrigin = first - row0;
    }
    out->keyValues = ks->keys;
    return 0;
}

// --- pieces dynamic cursors share --------------------------------------------------------------

uint32_t SCS_KsSeekKeys(IngStmt* s, uint32_t orientation, uint32_t mode, const Dataset* from, uint32_t fromRow,
                        uint32_t count, Dataset* out) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || out == nullptr) return kErrCursorState;
    return SeekKeys(s, st, orientation, mode, from, fromRow, count, out);
}

uint32_t SCS_KsFetchByKeys(IngStmt* s, const Dataset* keys, uint32_t k0, uint32_t n, Rowset* rs) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || keys == nullptr || rs == nullptr) return kErrCursorState;
    return FetchByKeys(s, st, keys, k0, n, rs);
}

uint16_t SCS_KsKeyCount(const IngStmt* s) {
    const SCS_KsState* st = StateOf(s);
    return st && st->ready && st->ctx.keyCols ? uint16_t(st->ctx.keyCols->count) : 0;
}

uint32_t SCS_KsRowsetChange(IngStmt* s, const Dataset* keys, uint32_t count, const Rowset* rs) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || keys == nullptr || rs == nullptr) return kErrCursorState;
    return RowsetChangeState(s, st, keys, 0, count, rs);
}

void SCS_KsRowsetChangeDrop(IngStmt* s) {
    if (SCS_KsState* st = StateOf(s)) DropRowChangeState(st);
}

uint32_t SCS_KsRowsetUpdated(IngStmt* s, Dataset** keys, Dataset* rows) {
    *keys = nullptr;
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    if (st->rowsetKeys == nullptr || st->rowsetStatuses == nullptr) return 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < st->rowsetRows; ++i) n += st->rowsetStatuses[i] == SQL_ROW_UPDATED;
    if (n == 0) return 0;
    Dataset* picked = nullptr;
    if (int rc = DatasetCreateLike(&picked, st->rowsetKeys, n)) return uint32_t(rc);
    uint32_t at = 0, rc = 0;
    for (uint32_t i = 0; rc == 0 && i < st->rowsetRows; ++i)
        if (st->rowsetStatuses[i] == SQL_ROW_UPDATED) rc = uint32_t(DatasetCopyRow(picked, st->rowsetKeys, at++, i, 0));
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    if (rc == 0 && scratch == nullptr) rc = kErrNoMemory;
    if (rc == 0) {
        picked->rows_used = n;
        rc = KS_GetKeyBlocks(s, st, picked, 0, n, RowsRead(st), rows, scratch);
    }
    // A row gone since the update has no content to keep a version of.
    for (uint32_t i = 0; rc == 0 && i < n; ++i)
        if (scratch[i] == SQL_ROW_DELETED) rc = kErrGeneral;
    TryFree(scratch);
    if (rc != 0) {
        DatasetDelete(picked);
        DatasetFree(rows);
        return rc;
    }
    *keys = picked;
    return 0;
}

namespace {

// The key-set rows (0-based) of the rowset the cursor fetched last: those a fetch by bookmark
// named, else the rows from rowsetFirst on.
uint32_t RowsetKeyRows(const SCS_Cursor& c, const KS_KeysetRecord* ks, std::vector<uint32_t>* rows) {
    rows->clear();
    if (c.rowBookmarks != nullptr) {
        for (uint32_t i = 0; i < c.rowBookmarkCount; ++i) {
            if (c.rowBookmarks[i] == 0 || c.rowBookmarks[i] > ks->count) return kErrGeneral;
            rows->push_back(c.rowBookmarks[i] - 1);
        }
        return 0;
    }
    const uint32_t first = c.rowsetFirst ? c.rowsetFirst - 1 : 0;
    const uint32_t size = SCS_PosRowsetSize(&c);
    for (uint32_t r = first; r < ks->count && r - first < size; ++r) rows->push_back(r);
    return 0;
}

// Copies of the listed key rows, in list order, with every column the key set keeps.
uint32_t PickKeyRows(KS_KeysetRecord* ks, const std::vector<uint32_t>& rows, Dataset** out) {
    *out = nullptr;
    uint32_t rc = 0;
    for (uint32_t i = 0; rc == 0 && i < rows.size(); ++i) {
        uint32_t row0 = 0;
        rc = KS_KeysetRows(ks, rows[i], 1, &row0);
        if (rc == 0 && *out == nullptr) rc = uint32_t(DatasetCreateLike(out, ks->keys, uint32_t(rows.size())));
        if (rc == 0) rc = uint32_t(DatasetCopyRow(*out, ks->keys, i, row0, 0));
    }
    if (rc != 0) {
        if (*out) DatasetDelete(*out);
        *out = nullptr;
        return rc;
    }
    if (*out) (*out)->rows_used = uint32_t(rows.size());
    return 0;
}

// Copies the rows of fresh whose key-set status says updated over the rows of kept: row i of
// fresh is key-set row rows[i], kept at keptRow(i).
template <class At>
uint32_t CopyUpdated(Dataset* kept, const Dataset* fresh, const std::vector<uint32_t>& rows, const uint16_t* statuses,
                     At keptRow) {
    for (uint32_t i = 0; i < rows.size() && i < fresh->rows_used; ++i) {
        if (statuses[rows[i]] != SQL_ROW_UPDATED) continue;
        const uint32_t at = keptRow(i);
        if (kept == nullptr || at >= kept->rows_used) return kErrGeneral;
        if (int rc = DatasetCopyRow(kept, const_cast<Dataset*>(fresh), at, i, 0)) return uint32_t(rc);
    }
    return 0;
}

uint32_t StaticRefresh(IngStmt* s, SCS_KsState* st);

// Values concurrency of a keyset-driven cursor: the values of the rowset's rows read again, all
// of them (a new rowset by bookmark) or those the cursor updated itself.
uint32_t RowsetValuesRead(IngStmt* s, SCS_KsState* st, bool all) {
    SCS_Cursor& c = s->cursor;
    if (c.cursorType == SQL_CURSOR_STATIC) return all ? 0 : StaticRefresh(s, st);
    // Only the rows this cursor updated take their new values: another user's change to any
    // other row must still be found when that row is changed.
    Dataset* kept = st->values;
    if (kept == nullptr && !all) return 0;
    st->values = nullptr;
    uint32_t rc = 0;
    if (RowsetNamed(c)) {
        if (st->rowsetKeys != nullptr) rc = scs_p_GetOptConcColVals(s, st, st->rowsetKeys, 0, st->rowsetRows);
        for (uint32_t i = 0;
             rc == 0 && !all && st->values != nullptr && st->rowsetStatuses != nullptr && i < st->rowsetRows; ++i)
            if (st->rowsetStatuses[i] == SQL_ROW_UPDATED && i < kept->rows_used && i < st->values->rows_used)
                rc = uint32_t(DatasetCopyRow(kept, st->values, i, i, 0));
    } else if (st->ks != nullptr) {
        std::vector<uint32_t> rows;
        Dataset* picked = nullptr;
        rc = RowsetKeyRows(c, st->ks, &rows);
        if (rc == 0) rc = PickKeyRows(st->ks, rows, &picked);
        if (rc == 0 && picked != nullptr) rc = scs_p_GetOptConcColVals(s, st, picked, 0, uint32_t(rows.size()));
        if (picked) DatasetDelete(picked);
        if (rc == 0 && !all && st->values != nullptr)
            rc = CopyUpdated(kept, st->values, rows, st->ks->statuses, [](uint32_t i) { return i; });
    }
    if (all) {
        if (kept) DatasetDelete(kept);
        return rc;
    }
    if (st->values) DatasetDelete(st->values);
    st->values = kept;
    return rc;
}

}  // namespace

uint32_t SCS_KeysetValuesRefresh(IngStmt* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    return RowsetValuesRead(s, st, false);
}

uint32_t SCS_KeysetValuesReread(IngStmt* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    return RowsetValuesRead(s, st, true);
}

// --- updatable static cursors ----------------------------------------------------------------

namespace {

// Moves the rows of part to the end of all (all takes part over while it has no columns).
uint32_t AppendAll(Dataset* all, Dataset* part) {
    if (all->col_count == 0) {
        DatasetFree(all);
        *all = *part;
        *part = Dataset{};
        return 0;
    }
    const int rc = part->rows_used ? DatasetAppendRows(all, part) : 0;
    DatasetFree(part);
    return uint32_t(rc);
}

// A static cursor's own updates show in its snapshot: the rowset's rows (and, under values
// concurrency, their values) are read again by their keys; snapshot row i is key-set row i.
uint32_t StaticRefresh(IngStmt* s, SCS_KsState* st) {
    SCS_Cursor& c = s->cursor;
    KS_KeysetRecord* ks = st->ks;
    if (ks == nullptr || c.staticSet == nullptr) return 0;
    std::vector<uint32_t> rows;
    Dataset* picked = nullptr;
    uint32_t rc = RowsetKeyRows(c, ks, &rows);
    if (rc == 0) rc = PickKeyRows(ks, rows, &picked);
    if (rc != 0 || picked == nullptr) return rc;
    const uint32_t n = uint32_t(rows.size());
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    if (scratch == nullptr) {
        DatasetDelete(picked);
        return kErrNoMemory;
    }
    const auto atKeyRow = [&rows](uint32_t i) { return rows[i]; };
    Dataset fresh{};
    rc = KS_GetKeyBlocks(s, st, picked, 0, n, RowsRead(st), &fresh, scratch);
    if (rc == 0) rc = CopyUpdated(c.staticSet->rows, &fresh, rows, ks->statuses, atKeyRow);
    DatasetFree(&fresh);
    if (rc == 0 && c.concurrency == SQL_CONCUR_VALUES && st->values != nullptr) {
        rc = KS_GetKeyBlocks(s, st, picked, 0, n, ValuesRead(st), &fresh, scratch);
        if (rc == 0) rc = CopyUpdated(st->values, &fresh, rows, ks->statuses, atKeyRow);
        DatasetFree(&fresh);
    }
    DatasetDelete(picked);
    TryFree(scratch);
    return rc;
}

constexpr uint32_t kStaticChunk = 500;  // key rows read by keys at a time

}  // namespace

bool SCS_KeysetStatic(const IngStmt* s) {
    const SCS_KsState* st = StateOf(s);
    return st != nullptr && st->ready && s->cursor.cursorType == SQL_CURSOR_STATIC;
}

uint32_t SCS_KeysetStaticFill(IngStmt* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = s->cursor;
    KS_KeysetRecord* ks = st->ks;
    if (c.staticSet == nullptr) {
        if (uint32_t rc = SCS_StaticSetCreate(&c.staticSet)) return rc;
    }
    SCS_StaticSetReset(c.staticSet);
    DropRowChangeState(st);
    const bool byValues = c.concurrency == SQL_CONCUR_VALUES && scs_p_CheckShape(st->shape) == 0;
    const bool locks = LocksByUpdate(c) && scs_p_CheckShape(st->shape) == 0;
    uint32_t rc = byValues ? EnsureChangeCols(st) : 0;
    if (rc == 0 && byValues && EnsureAux(c.agentConn, &st->aux5) != 0) rc = kErrGeneral;
    Dataset rows{}, values{};
    auto* scratch = static_cast<uint16_t*>(TryCalloc(kStaticChunk, sizeof(uint16_t)));
    if (rc == 0 && scratch == nullptr) rc = kErrNoMemory;
    // The snapshot is read by the keys, so that its row i is the row of key row i; a row gone
    // since the keys were read is a deleted one.
    for (uint32_t first = 0; rc == 0 && first < ks->count; first += kStaticChunk) {
        const uint32_t n = ks->count - first < kStaticChunk ? ks->count - first : kStaticChunk;
        uint32_t row0 = 0;
        if ((rc = KS_KeysetRows(ks, first, n, &row0)) != 0) break;
        Dataset part{};
        rc = KS_GetKeyBlocks(s, st, ks->keys, row0, n, RowsRead(st), &part, ks->statuses + first);
        if (rc == 0) rc = AppendAll(&rows, &part);
        DatasetFree(&part);
        if (rc == 0 && byValues) {
            rc = KS_GetKeyBlocks(s, st, ks->keys, row0, n, ValuesRead(st), &part, scratch);
            if (rc == 0) rc = AppendAll(&values, &part);
            DatasetFree(&part);
        }
        if (rc == 0 && locks) {
            SCS_RowChange change{};
            const uint32_t before = c.rowsetFirst, size = c.posRowsetSize;
            c.rowsetFirst = first + 1;
            c.posRowsetSize = n;
            rc = SCS_KeysetRowChange(s, &change);
            if (rc == 0) rc = scs_p_LockRows(&change, first, n);
            c.rowsetFirst = before;
            c.posRowsetSize = size;
            if (rc != 0 && change.changeStmt) scs_p_MoveMessages(change.changeStmt, c.agentStmt);
        }
    }
    TryFree(scratch);
    if (rc != 0) {
        DatasetFree(&rows);
        DatasetFree(&values);
        return rc;
    }
    DatasetFree(c.staticSet->rows);
    *c.staticSet->rows = rows;
    c.staticSet->origin = 0;
    c.staticSet->readPos = 0;
    if (byValues) {
        st->values = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
        if (st->values == nullptr) {
            DatasetFree(&values);
            return kErrNoMemory;
        }
        *st->values = values;
    }
    c.rowsFetched = int32_t(ks->count);
    return 0;
}

uint16_t SCS_KeysetStaticStatus(const IngStmt* s, uint32_t row) {
    const SCS_KsState* st = StateOf(s);
    if (st == nullptr || st->ks == nullptr || st->ks->statuses == nullptr || row == 0 || row > st->ks->count)
        return SQL_ROW_SUCCESS;
    uint16_t& k = st->ks->statuses[row - 1];
    // A change or an error is told once; a deletion stays.
    if (k == SQL_ROW_UPDATED || k == SQL_ROW_ERROR) k = SQL_ROW_SUCCESS;
    return k;
}
