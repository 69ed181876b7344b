// Reading rows by their keys, the step every cursor that names rows by keys takes: the statement
// edited through the analyser keeps its select list, appends the keys (to match rows to keys by
// value) and adds blocks of key conditions; parameter values are placed by where each marker
// stands in the generated text. Also the markers, analyses and lower statements those cursors'
// generated statements share.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-log.h"
#include "scrs/ks.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_fetchrows.h"
#include "scrs/sc_s.h"
#include "util/rowset.h"
#include "util/scrarray.h"
#include "util/trymem.h"

using namespace scs_bykeys;

namespace {

bool IsQuote(char ch) { return ch == '\'' || ch == '"'; }

void LogAnalyseFailure(const char* text, const SCR_Analysis* a) {
    IngLog(LOGL_DEBUG, "SCR_AnalyseSQL failed: %s", text ? text : "");
    IngLog(LOGL_DEBUG, "%s", a->message ? a->message : "");
    IngLog(LOGL_DEBUG, "%s", a->errText ? a->errText : "");
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

// Rows of a lower statement's result appended to `out` until it ends: a fetch of fewer rows than
// asked, or (a cursor read for update, which hands out its rows one fetch at a time) of none.
uint32_t FetchAllRows(uint32_t stmt, uint32_t block, Dataset* out, bool untilEmpty = false) {
    return scs_p_FetchRows(Lower(), stmt, block, kScsAllRows, !untilEmpty, out);
}

// The references of the table columns listed (every one without a list), joined by ", ".
uint32_t ValuesListText(const SCS_DescCtx& ctx, std::string* out, const std::vector<uint32_t>* only = nullptr) {
    out->clear();
    if (ctx.tableCols == nullptr || ctx.tableCols->count == 0) return kErrGeneral;
    const uint32_t n = only ? uint32_t(only->size()) : ctx.tableCols->count;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t j = only ? (*only)[i] : i;
        if (j >= ctx.tableCols->count) return kErrGeneral;
        char* ref = scs_p_QualifyColName(ctx.tableCount, static_cast<const ColDesc*>(SCR_ArrayAt(ctx.tableCols, j)));
        if (ref == nullptr) return kErrNoMemory;
        if (i) *out += ", ";
        *out += ref;
        std::free(ref);
    }
    return 0;
}

// The statement with its select list := list followed by the key columns (to place each row at
// its key) and then tail (when not empty).
uint32_t WithKeysText(const SCS_DescCtx& ctx, const char* stmtText, std::string list, const std::string& tail,
                      std::string* text) {
    if (ctx.keyCols == nullptr || ctx.keyCols->count == 0) return kErrGeneral;
    for (uint32_t i = 0; i < ctx.keyCols->count; ++i) {
        char* ref = scs_p_QualifyColName(ctx.tableCount, static_cast<const ColDesc*>(SCR_ArrayAt(ctx.keyCols, i)));
        if (ref == nullptr) return kErrNoMemory;
        list += ", ";
        list += ref;
        std::free(ref);
    }
    if (!tail.empty()) list += ", " + tail;
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    uint32_t rc = Analyse(&a, stmtText);
    if (rc == 0) rc = SCR_SelectListMark(&a);
    if (rc == 0) rc = SCR_EditMarkerReplace(&a, list.c_str());
    if (rc == 0) *text = a.text;
    SCR_AnalysisFree(&a);
    return rc;
}

// The statement read by keys: its select list := list followed by the key columns, then a
// condition of perBlock groups of key values. *before: the statement's own markers that stand
// before that condition.
uint32_t ByKeysText(const SCS_DescCtx& ctx, const char* stmtText, const std::string& list, uint32_t perBlock,
                    std::string* text, uint32_t* before) {
    std::string withKeys;
    uint32_t rc = WithKeysText(ctx, stmtText, list, std::string(), &withKeys);
    if (rc == 0) rc = WhereMarkers(withKeys.c_str(), before);
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    if (rc == 0) rc = Analyse(&a, withKeys.c_str());
    if (rc == 0) rc = KS_BuildKeyBlockWhere(&a, ctx.keyCols, ctx.tableCount, perBlock);
    if (rc == 0) *text = a.text;
    SCR_AnalysisFree(&a);
    return rc;
}

// Prepares the statement read by keys for blocks of perBlock key rows.
uint32_t PrepareFetchByKeys(SCS_Cursor* s, SCS_KsState* st, uint32_t perBlock, const ByKeys& by) {
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
    if (rc == 0 && !by.values && ForUpdate(*s, st->shape)) text += " FOR UPDATE";
    if (rc == 0) {
        rc = AgentCall<DRV_Prepare>(Lower(), by.aux, text.c_str());
        if (rc != 0) IngLog(LOGL_DEBUG, "SCS_KeysetFetch: couldn't prepare %s", text.c_str());
    }
    if (rc != 0) return rc;
    *by.prepared = 1;
    *by.perBlock = perBlock;
    return 0;
}

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

namespace scs_bykeys {

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

SCS_KsState* StateOf(const SCS_Cursor* s) { return s ? s->ksState : nullptr; }

const AgentLink* Lower() { return SCS_LowerLink(); }

uint32_t EnsureAux(uint32_t conn, uint32_t* aux) {
    if (*aux != 0) return 0;
    if (uint32_t rc = AgentCall<DRV_AllocStmt>(Lower(), conn, aux)) {
        *aux = 0;
        return rc;
    }
    return 0;
}

// Hands a parameter row to a lower statement; the row passes to it.
uint32_t GiveParams(uint32_t stmt, Dataset* params) {
    uint32_t rc = AgentCall<DRV_SetParams>(Lower(), stmt, params);
    if (AgentLinkCallerFrees(Lower())) DatasetDelete(params);
    return rc;
}

// The statement's own values for a generated text: those of markers the edit removed left out.
uint32_t OwnValues(const SCS_Cursor* s, uint32_t dropAt, uint32_t dropCount, Dataset** out) {
    *out = nullptr;
    const SCS_Cursor& c = *s;
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

ByKeys RowsRead(SCS_KsState* st) { return {st->aux2, &st->fetchPrepared, &st->fetchPerBlock, &st->fetchBefore, false}; }

ByKeys ValuesRead(SCS_KsState* st) {
    return {st->aux5, &st->valuesPrepared, &st->valuesPerBlock, &st->valuesBefore, true};
}

// Fetches the rows of key rows k0 .. k0 + n - 1 of `keys` into rs (placed by key values).
uint32_t FetchByKeys(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, Rowset* rs) {
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

// The rows of key rows k0 .. k0 + n - 1 into *out, one per key in key order; a key no row
// answers gets a NULL row and status 1.
uint32_t KS_GetKeyBlocks(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, const ByKeys& by,
                         Dataset* out, uint16_t* statuses) {
    const uint16_t keyCount = uint16_t(st->ctx.keyCols->count);
    uint32_t blocks = 0, lastRows = 0, perBlock = 0;
    const uint32_t own = s->keptParams && (s->layerFlags & kScsLParamsKept) ? s->keptParams->col_count : st->ownParams;
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
        rc = FetchAllRows(by.aux, perBlock + 1, &all, !by.values && ForUpdate(*s, st->shape));
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

}  // namespace scs_bykeys

uint32_t SCS_StaticFillText(const SCS_DescCtx& ctx, const char* stmtText, const std::vector<uint32_t>& valueCols,
                            std::string* text) {
    std::string list, tail;
    uint32_t rc = SelectListText(stmtText, &list);
    if (rc == 0 && !valueCols.empty()) rc = ValuesListText(ctx, &tail, &valueCols);
    if (rc == 0) rc = WithKeysText(ctx, stmtText, list, tail, text);
    return rc;
}

uint32_t scs_p_OptConcSelectBuild(const SCS_DescCtx& ctx, const char* stmtText, uint32_t perBlock, std::string* text,
                                  uint32_t* before) {
    std::string list;
    if (uint32_t rc = ValuesListText(ctx, &list)) return rc;
    return ByKeysText(ctx, stmtText, list, perBlock, text, before);
}

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

uint32_t SCS_KsFetchByKeys(SCS_Cursor* s, const Dataset* keys, uint32_t k0, uint32_t n, Rowset* rs) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || keys == nullptr || rs == nullptr) return kErrCursorState;
    return FetchByKeys(s, st, keys, k0, n, rs);
}

uint16_t SCS_KsKeyCount(const SCS_Cursor* s) {
    const SCS_KsState* st = StateOf(s);
    return st && st->ready && st->ctx.keyCols ? uint16_t(st->ctx.keyCols->count) : 0;
}
