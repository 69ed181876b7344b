// The cursor layer's compound operations. Each one composes the layer's own single steps, so a
// caller that prepares, binds and executes in one call gets the same cursor set-up as one that
// makes the calls one by one; for forward-only statements the steps are the agent's.
#include "drv_ingii/i-info.h"
#include <sql.h>
#include <sqlext.h>

#include "scrs/sc_compound.h"
#include "scrs/sc_catalog.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "util/rowset.h"
#include "scrs/sc_cursor.h"
#include "scrs/ss.h"
#include "util/dataset.h"
#include "util/trymem.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

// Statement kind of the analyser for a statement in escape braces passed through (a call).
constexpr int32_t kKindEscapePassed = 61;

// The cursor layer's own table: its prepare, parameter-description and execute slots are where
// the scrollable set-up sits; until that set-up takes them they hold the agent's operations.
AgentLink LayerLink() {
    const AgentFuncTable* t = SCS_LayerTable();
    return AgentLink{SCS_LowerLink()->word, const_cast<AgentFuncTable*>(t ? t : SCS_LowerLink()->table)};
}

uint32_t SetupPrepare(uint32_t stmt, const char* text) {
    const AgentLink self = LayerLink();
    return AgentCall<DRV_Prepare>(&self, stmt, text);
}

uint32_t SetupParamDescs(uint32_t stmt, uint16_t count, ParamDescEntry* descs) {
    const AgentLink self = LayerLink();
    return AgentCall<DRV_SetParamDescs>(&self, stmt, count, descs);
}

uint32_t SetupExecute(uint32_t stmt) {
    const AgentLink self = LayerLink();
    return AgentCall<DRV_Execute>(&self, stmt);
}

// The analyser's statement kind of the prepared statement; -1 while the set-up keeps none.
int32_t AnalysedKind(const SCS_Cursor* s) { return s->analysedKind; }

const AgentLink* Lower() { return SCS_LowerLink(); }

// A parameter Dataset handed to the table belongs to it unless the link says the caller keeps
// it: one that is never passed down must not be lost.
void DropValues(Dataset* values) {
    if (values != nullptr && !AgentLinkCallerFrees(Lower())) DatasetDelete(values);
}

// Long values of a statement's last rowset and the cell being handed out.
struct LongValues {
    Dataset longs{};
    uint16_t column = 0;  // 1-based; 0 none
    uint16_t row = 0;
    uint32_t offset = 0;
    uint32_t left = 0;
};

std::mutex g_longLock;
std::unordered_map<uint32_t, LongValues*> g_longValues;

// The statement's record, made on first use; null without memory. Called under g_longLock.
LongValues* LongsOf(uint32_t stmt, bool make) {
    auto it = g_longValues.find(stmt);
    if (it != g_longValues.end()) return it->second;
    if (!make) return nullptr;
    auto* lv = new (std::nothrow) LongValues();
    if (lv == nullptr) return nullptr;
    try {
        g_longValues.emplace(stmt, lv);
    } catch (...) {
        delete lv;
        return nullptr;
    }
    return lv;
}

void ClearLongs(LongValues* lv) {
    if (lv == nullptr) return;
    lv->column = lv->row = 0;
    lv->offset = lv->left = 0;
    if (lv->longs.cols != nullptr) DatasetFree(&lv->longs);
}

void ClearLongsOf(uint32_t stmt) {
    std::lock_guard<std::mutex> guard(g_longLock);
    ClearLongs(LongsOf(stmt, false));
}

// Ends at the first delimiter; true when the word before it is `word` in any letter case.
bool FirstWordIs(char* text, const char* delims, const char* word) {
    if (text == nullptr) return false;
    char* p = text;
    while (*p != '\0' && std::strchr(delims, *p) != nullptr) ++p;
    char* end = p;
    while (*end != '\0' && std::strchr(delims, *end) == nullptr) ++end;
    *end = '\0';
    return AsciiCaseCompare(p, word) == 0;
}

char* Copy(const char* text) { return text ? TryStrdup(text) : nullptr; }

// The back end names a procedure's output columns "*" and the direction; the parameter's own
// name is the column name.
bool IsParamMarkerName(const ColumnInfo& c) { return ColumnProcMark(c) != kProcMarkNone; }

uint32_t ExecuteRowsetWork(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,
                           uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                           ColumnInfo** params, uint16_t* attrCount, void** attrRows, int32_t* rowCount) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) {
        DropValues(values);
        return kErrBadArg;
    }
    uint32_t rc = 0;
    if (s->cursorType != SQL_CURSOR_FORWARD_ONLY) {
        if (rowsetSize == nullptr) {
            DropValues(values);
            return kErrBadArg;
        }
        rc = AgentCall<DRV_SetOption>(Lower(), stmt, kPropRowsetSize, static_cast<void*>(rowsetSize));
        if (rc == kErrOptionChanged) {
            uint16_t len = 0;
            rc = SCS_GetInfo(stmt, kPropRowsetSize, rowsetSize, uint16_t(sizeof *rowsetSize), &len);
        }
        if (rc != 0) {
            DropValues(values);
            return rc;
        }
    }
    if (text != nullptr && (rc = SetupPrepare(stmt, text)) != 0) {
        DropValues(values);
        return rc;
    }
    if (values != nullptr && (rc = SCS_SetParams(stmt, values)) != 0) return rc;
    if (count != 0 && (rc = SetupParamDescs(stmt, count, descs)) != 0) return rc;
    ClearLongsOf(stmt);
    rc = SetupExecute(stmt);
    const bool outputs = rc == kErrOutputValues;
    if (rc != 0 && !outputs) return rc;
    if (attrCount != nullptr && attrRows != nullptr)
        rc = AgentCall<DRV_DescribeColsEx>(Lower(), stmt, colCount, attrCount, cols, attrRows);
    else
        rc = AgentCall<DRV_DescribeCols>(Lower(), stmt, colCount, cols);
    if (rc != 0) return rc;
    if ((rc = AgentCall<DRV_DescribeParams>(Lower(), stmt, paramCount, params)) != 0) return rc;
    int32_t n = 0;
    uint16_t len = 0;
    if ((rc = SCS_GetInfo(stmt, kPropRowCount, &n, uint16_t(sizeof n), &len)) != 0) return rc;
    if (rowCount != nullptr) *rowCount = n < 0 ? 0 : n;
    return outputs ? kErrOutputValues : kErrNone;
}

// Prepare (when there is a text), parameter values, their descriptions (giveDescs, when there
// are any) and execute, each the layer's own step.
template <class GiveDescs>
uint32_t PrepareThenExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, GiveDescs giveDescs) {
    if (SCS_StmtBlock(stmt) == nullptr) {
        DropValues(values);
        return kErrBadArg;
    }
    uint32_t rc = 0;
    if (text != nullptr && (rc = SetupPrepare(stmt, text)) != 0) {
        DropValues(values);
        return rc;
    }
    if (values != nullptr && (rc = SCS_SetParams(stmt, values)) != 0) return rc;
    if (count != 0 && (rc = giveDescs()) != 0) return rc;
    return SetupExecute(stmt);
}

}  // namespace

ErrCode SCS_PrepareExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs) {
    return ErrCode(PrepareThenExecute(stmt, text, values, count, [&] { return SetupParamDescs(stmt, count, descs); }));
}

ErrCode SCS_SetParamDescsEx(uint32_t stmt, uint16_t count, ScsNamedParamDesc* descs) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    if (count != 0 && descs == nullptr) return kErrBadArg;
    // The layer's set-up keeps plain descriptions (it gives them again to a statement it
    // prepares again); names are for the table below only.
    ParamDescEntry* plain = nullptr;
    if (count != 0) {
        plain = static_cast<ParamDescEntry*>(TryCalloc(count, sizeof(ParamDescEntry)));
        if (plain == nullptr) return kErrNoMemory;
        for (uint16_t i = 0; i < count; ++i)
            plain[i] = ParamDescEntry{descs[i].sqlType, descs[i].cType, descs[i].columnSize, descs[i].decimalDigits,
                                      descs[i].paramType};
    }
    uint32_t rc = 0;
    auto lowerEx = AgentSlotGet<DRV_SetParamDescsEx>(Lower());
    if (lowerEx != nullptr) {
        rc = SCS_KeepParamDescs(s, count, plain);
        if (rc == 0) rc = lowerEx(stmt, count, descs);
    } else {
        // A table without named descriptions takes the plain ones.
        rc = SetupParamDescs(stmt, count, plain);
    }
    TryFree(plain);
    return ErrCode(rc);
}

ErrCode SCS_PrepareExecuteEx(uint32_t stmt, const char* text, Dataset* values, uint16_t count,
                             ScsNamedParamDesc* descs) {
    return ErrCode(
        PrepareThenExecute(stmt, text, values, count, [&] { return SCS_SetParamDescsEx(stmt, count, descs); }));
}

ErrCode SCS_MoreResults(uint32_t stmt) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    bool pass = (c.cursorType == SQL_CURSOR_FORWARD_ONLY || c.cursorType == SQL_CURSOR_STATIC) &&
                c.concurrency == SQL_CONCUR_READ_ONLY;
    // A static fill reads the whole result; only a passed-through call leaves the lower cursor open.
    if (pass && c.cursorType == SQL_CURSOR_STATIC && (c.layerFlags & kScsLResultCached))
        pass = AnalysedKind(s) == kKindEscapePassed;
    SCS_CursorReset(&c);
    SCS_StaticSetReset(c.staticSet);
    c.layerFlags &= ~kScsLResultCached;
    ClearLongsOf(stmt);
    if (!pass) return kErrNoMoreResults;
    return AgentCall<DRV_MoreResults>(Lower(), stmt);
}

ErrCode SCS_AllocPrepare(uint32_t conn, const char* text, uint32_t concurrency, uint32_t cursorType, uint32_t* out) {
    if (out == nullptr) return kErrBadArg;
    *out = 0;
    IngDiagList* cr = IngAskConnMessages(conn);
    uint32_t stmt = 0;
    uint32_t rc = SCS_AllocStmt(conn, &stmt);
    if (rc != 0) return ErrCode(rc);
    if (cursorType != SQL_CURSOR_FORWARD_ONLY) {
        rc = AgentCall<DRV_SetOption>(Lower(), stmt, kPropCursorType, static_cast<void*>(&cursorType));
        if (rc == 0) rc = AgentCall<DRV_SetOption>(Lower(), stmt, kPropConcurrency, static_cast<void*>(&concurrency));
        if (rc != 0) {
            (void)SCS_FreeStmt(stmt);
            return ErrCode(rc);
        }
    }
    if (text != nullptr && (rc = SetupPrepare(stmt, text)) != 0) {
        // The statement goes: its messages stay readable on the connection.
        IngDiagList* s = IngAskStmtMessages(stmt);
        if (cr != nullptr && s != nullptr) {
            IngDiagClear(cr);
            cr->first = s->first;
            s->first = nullptr;
        }
        (void)SCS_FreeStmt(stmt);
        return ErrCode(rc);
    }
    *out = stmt;
    return kErrNone;
}

ErrCode SCS_ExecuteRowset(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,
                          uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                          ColumnInfo** params, int32_t* rowCount) {
    return ErrCode(ExecuteRowsetWork(stmt, text, values, count, descs, rowsetSize, colCount, cols, paramCount, params,
                                     nullptr, nullptr, rowCount));
}

ErrCode SCS_ExecuteRowsetEx(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,
                            uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                            ColumnInfo** params, uint16_t* attrCount, void** attrRows, int32_t* rowCount) {
    return ErrCode(ExecuteRowsetWork(stmt, text, values, count, descs, rowsetSize, colCount, cols, paramCount, params,
                                     attrCount, attrRows, rowCount));
}

ErrCode SCS_FetchDescribe(uint32_t stmt, uint16_t* count, ColumnInfo** out, Dataset* block) {
    if (out != nullptr) *out = nullptr;
    if (SCS_StmtBlock(stmt) == nullptr || block == nullptr) return kErrBadArg;
    uint32_t rc = AgentCall<DRV_FetchRows>(Lower(), stmt, uint16_t(0), block);
    if (rc != 0) return ErrCode(rc);
    const uint16_t n = block->col_count;
    if (count != nullptr) *count = n;
    if (n == 0 || out == nullptr) return kErrNone;
    ColumnInfo* arr = ColumnInfoArrayAlloc(n);
    if (arr == nullptr) return kErrNoMemory;
    for (uint16_t i = 0; i < n; ++i) {
        const DatasetColumn& col = block->cols[i];
        arr[i].value_kind = col.kind;
        // Wide text is counted in characters.
        if (col.kind == DS_WCHAR || col.kind == DS_WCHAR_NTS)
            arr[i].length = col.width / 2;
        else if (col.kind == DS_WCHAR_LEN4)
            arr[i].length = col.width >= 4 ? (col.width - 4) / 2 : 0;
        else
            arr[i].length = col.width;
    }
    *out = arr;
    return kErrNone;
}

uint32_t scs_p_SplitLongValues(Dataset* rows, Dataset* longs) {
    if (rows == nullptr || longs == nullptr) return kErrBadArg;
    if (rows->rows_used == 0 || rows->cols == nullptr) return 0;
    bool any = false;
    for (uint16_t c = 0; c < rows->col_count; ++c) any = any || DatasetKindIsRef(rows->cols[c].kind);
    if (!any) return 0;
    const uint32_t n = rows->rows_used;
    if (DatasetInit(longs, rows->col_count) != 0) return kErrNoMemory;
    longs->col_count = rows->col_count;
    for (uint16_t c = 0; c < rows->col_count; ++c) {
        const DatasetColumn& src = rows->cols[c];
        longs->cols[c].kind = src.kind;
        longs->cols[c].width = DatasetKindIsRef(src.kind) ? src.width : 0;
    }
    // Every allocation before the first move: a failure leaves the rowset as it was.
    if (DatasetAllocRows(longs, n) != 0) {
        longs->col_count = 0;
        DatasetFree(longs);
        return kErrNoMemory;
    }
    longs->rows_used = n;
    for (uint16_t c = 0; c < rows->col_count; ++c) {
        DatasetColumn& src = rows->cols[c];
        if (!DatasetKindIsRef(src.kind) || src.width < sizeof(DsRef) || src.data == nullptr) continue;
        DatasetColumn& dst = longs->cols[c];
        for (uint32_t r = 0; r < n && r < rows->rows_alloc; ++r) {
            if (src.indicators[r] != DS_IND_VALUE) continue;
            uint8_t* cell = DatasetCell(&src, r);
            const DsRef ref = DatasetRefGet(cell);
            if (DatasetRefBytes(src.kind, ref.length) <= kScsLongValueLimit) continue;
            DatasetRefSet(DatasetCell(&dst, r), ref.length, ref.ptr);
            dst.indicators[r] = DS_IND_VALUE;
            DatasetRefSet(cell, 0, nullptr);
            src.indicators[r] = DS_IND_NOT_FETCHED;
        }
    }
    return 0;
}

ErrCode SCS_ExtendedFetchConvert(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                                 uint16_t orientation) {
    if (SCS_StmtBlock(stmt) == nullptr) return kErrBadArg;
    ClearLongsOf(stmt);
    const AgentLink self = LayerLink();
    auto fetch = AgentSlotGet<DRV_ExtendedFetch>(&self);
    if (fetch == nullptr) return kErrNotCapable;
    uint32_t rc = fetch(stmt, out, start, rows, resultRows, orientation);
    if (rc != 0) return ErrCode(rc);
    if (out == nullptr || *out == nullptr || (*out)->data == nullptr) return kErrNone;
    std::lock_guard<std::mutex> guard(g_longLock);
    LongValues* lv = LongsOf(stmt, true);
    if (lv == nullptr) return kErrNoMemory;
    ClearLongs(lv);
    return ErrCode(scs_p_SplitLongValues((*out)->data, &lv->longs));
}

ErrCode SCS_GetRowsetValue(uint32_t stmt, uint32_t column, uint32_t row, uint32_t most, void** piece,
                           uint32_t* pieceLen, uint32_t* pieceKind, uint32_t* left) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    if (s->cursorType == SQL_CURSOR_FORWARD_ONLY) {
        // The forward-only road is the table's own piecewise read when it has one; without it the
        // values the converting fetch took out of the rowset are served here, or they would be lost.
        if (auto get = AgentSlotGet<DRV_GetData>(Lower()))
            return get(stmt, uint16_t(column), row, most, piece, pieceLen, pieceKind, left);
    }
    if (piece == nullptr || pieceLen == nullptr || pieceKind == nullptr || left == nullptr) return kErrBadArg;
    *piece = nullptr;
    *pieceLen = 0;
    *left = 0xFFFFFFFCu;
    std::lock_guard<std::mutex> guard(g_longLock);
    LongValues* lv = LongsOf(stmt, false);
    if (lv == nullptr || lv->longs.col_count == 0) return kErrNoData;
    Dataset& L = lv->longs;
    if (column < 1 || column > L.col_count || row < 1 || row > L.rows_used) return kErrBadArg;
    DatasetColumn& col = L.cols[column - 1];
    if (!DatasetKindIsRef(col.kind) || col.indicators[row - 1] != DS_IND_VALUE) return kErrNoData;
    const DsRef ref = DatasetRefGet(DatasetCell(&col, row - 1));
    if (lv->column != column || lv->row != row) {
        lv->column = uint16_t(column);
        lv->row = uint16_t(row);
        lv->offset = 0;
        lv->left = uint32_t(DatasetRefBytes(col.kind, ref.length));
    }
    *left = lv->left;
    if (lv->left == 0) return kErrNone;
    const uint64_t cap = col.kind == DS_WCHAR_REF ? uint64_t(most) * 2 : most;
    const uint32_t size = uint32_t(cap < lv->left ? cap : lv->left);
    if (size == 0) return kErrNone;
    auto* buf = static_cast<uint8_t*>(TryMalloc(size));
    if (buf == nullptr) return kErrNoMemory;
    std::memcpy(buf, static_cast<const uint8_t*>(ref.ptr) + lv->offset, size);
    lv->offset += size;
    lv->left -= size;
    *piece = buf;
    *pieceLen = size;
    *pieceKind = col.kind == DS_CHAR_REF ? DS_CHAR : col.kind == DS_WCHAR_REF ? DS_WCHAR : DS_BINARY;
    return kErrNone;
}

int scs_p_IsSelect(char* text) { return FirstWordIs(text, " \t\n\r\f(", "select") ? 1 : 0; }

int scs_p_IsCall(char* text) { return FirstWordIs(text, " {?=\t\n\r\f", "call") ? 1 : 0; }

namespace {
// Entries a stopped batch never ran still hand their values over.
void DropValuesFrom(ScsBatchEntry* entries, uint16_t from, uint16_t count) {
    for (uint16_t k = from; k < count; ++k) {
        DropValues(entries[k].values);
        entries[k].values = nullptr;
    }
}
}  // namespace

namespace {
// Runs the entries from 0; *handed is the first entry whose values were not passed down.
uint32_t RunBatch(uint32_t stmt, SCS_Cursor* s, uint16_t count, ScsBatchEntry* entries, int32_t* counts, uint16_t* run,
                  uint16_t* handed) {
    for (uint16_t i = 0; i < count; ++i) {
        *run = i;
        const ScsBatchEntry& e = entries[i];
        const char* source = IngAskStmtSource(s->agentStmt);
        const char* own = source ? source : IngAskStmtIngresText(s->agentStmt);
        const char* text = e.text ? e.text : (i == 0 ? own : nullptr);
        bool call = false;
        if (text != nullptr) {
            char* probe = Copy(text);
            char* probe2 = probe ? Copy(text) : nullptr;
            if (probe2 == nullptr) {
                TryFree(probe);
                return kErrNoMemory;
            }
            const bool select = scs_p_IsSelect(probe) != 0;
            call = scs_p_IsCall(probe2) != 0;
            TryFree(probe);
            TryFree(probe2);
            if (select) return kErrOnlyDdlDml;
        }
        *handed = uint16_t(i + 1);
        uint32_t rc = SCS_PrepareExecute(stmt, e.text, e.values, e.count, e.descs);
        if (rc != 0 && rc != kErrOutputValues) return rc;
        int32_t n = 0;
        uint16_t len = 0;
        if (SCS_GetInfo(stmt, kPropRowCount, &n, uint16_t(sizeof n), &len) != 0)
            counts[i] = -2;
        else
            counts[i] = n < 0 ? 0 : n;
        if (call) {
            uint16_t ncols = 0;
            ColumnInfo* cols = nullptr;
            if ((rc = AgentCall<DRV_DescribeCols>(Lower(), stmt, &ncols, &cols)) != 0) return rc;
            const bool resultSet = ncols > 0 && cols != nullptr && !IsParamMarkerName(cols[0]);
            ColumnInfoArrayFree(cols, ncols);
            // A procedure that returned rows has run, its count included, and stops the batch.
            if (resultSet) return kErrOnlyDdlDml;
        }
    }
    *run = count;
    return 0;
}
}  // namespace

ErrCode SCS_ExecuteBatch(uint32_t stmt, uint16_t count, ScsBatchEntry* entries, uint16_t* run, int32_t** rowCounts) {
    if (run != nullptr) *run = 0;
    if (rowCounts != nullptr) *rowCounts = nullptr;
    if (count != 0 && entries == nullptr) return kErrBadArg;
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    int32_t* counts = nullptr;
    uint32_t rc = kErrBadArg;
    uint16_t handed = 0;
    if (s != nullptr && run != nullptr && rowCounts != nullptr) {
        counts = static_cast<int32_t*>(TryCalloc(count ? count : 1, sizeof(int32_t)));
        rc = counts ? RunBatch(stmt, s, count, entries, counts, run, &handed) : kErrNoMemory;
        *rowCounts = counts;
    }
    DropValuesFrom(entries, handed, count);
    return ErrCode(rc);
}

void SCS_CompoundStmtRelease(uint32_t stmt) {
    LongValues* gone = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_longLock);
        auto it = g_longValues.find(stmt);
        if (it == g_longValues.end()) return;
        gone = it->second;
        g_longValues.erase(it);
    }
    ClearLongs(gone);
    delete gone;
}

void SCS_CompoundInstall(AgentFuncTable* t) {
    if (t == nullptr) return;
    t->DRV_MoreResults = SCS_MoreResults;
    t->DRV_PrepareExecute = SCS_PrepareExecute;
    t->DRV_ExecuteRowset = SCS_ExecuteRowset;
    t->DRV_AllocPrepare = SCS_AllocPrepare;
    t->DRV_FetchDescribe = SCS_FetchDescribe;
    t->DRV_ExtendedFetchConvert = SCS_ExtendedFetchConvert;
    t->DRV_GetRowsetValue = SCS_GetRowsetValue;
    t->DRV_ExecuteBatch = SCS_ExecuteBatch;
    t->DRV_ExecuteRowsetEx = SCS_ExecuteRowsetEx;
    t->DRV_PrepareExecuteEx = SCS_PrepareExecuteEx;
    t->DRV_SetParamDescsEx = SCS_SetParamDescsEx;
}
