// Positioned DELETE, UPDATE and INSERT of a scrollable cursor (slot 37): ordinary statements on
// the cursor's first table, each row named by its key values and, under values concurrency, by
// the values it had when it was fetched. They run on the cursor's change statement.
#include "scrs/sc_setpos.h"

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "scrs/ks.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_s.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/scrarray.h"

namespace {

std::atomic<SCS_RowChangeSource> g_source{nullptr};

const ColDesc* DescAt(const SCR_Array* a, uint32_t i) { return static_cast<const ColDesc*>(SCR_ArrayAt(a, i)); }

const AgentLink* Lower(const SCS_RowChange* rc) { return rc->desc->lower; }

void Drop(Dataset*& ds) {
    if (ds) DatasetDelete(ds);
    ds = nullptr;
}

// A column list entry's name, already quoted by the descriptions, or quoted here.
std::string Quoted(const char* name, char quote) {
    if (quote != 0 && name[0] == quote) return name;
    char out[509];
    scs_QuoteName(name, quote, out);
    return out;
}

// Joins the parts of one execution's parameters: first's columns end up before rest's.
uint32_t JoinBefore(Dataset* first, Dataset** rest) {
    if (first == nullptr) return 0;
    if (*rest == nullptr) {
        *rest = first;
        return 0;
    }
    int rc = DatasetJoinColumns(*rest, first);
    DatasetDelete(first);
    return uint32_t(rc);
}

}  // namespace

void SCS_SetRowChangeSource(SCS_RowChangeSource source) { g_source.store(source); }
SCS_RowChangeSource scs_p_RowChangeSourceGet() { return g_source.load(); }

void scs_p_MoveMessages(uint32_t from, uint32_t to) {
    IngDiagList* src = IngAskStmtMessages(from);
    IngDiagList* dst = IngAskStmtMessages(to);
    if (src == nullptr || dst == nullptr || src == dst) return;
    IngDiagEntry* e = src->first;
    src->first = nullptr;
    while (e) {
        IngDiagEntry* next = e->next;
        e->next = nullptr;
        IngDiagAppend(dst, e);
        e = next;
    }
}

namespace {

void KeepMessages(uint32_t stmt, uint32_t on) {
    if (IngDiagList* m = IngAskStmtMessages(stmt)) {
        if (on) IngDiagClear(m);
        m->keep = on;
    }
}

uint32_t RowsAffected(const SCS_RowChange* rc, int32_t* affected) {
    *affected = 0;
    uint16_t len = 0;
    return AgentCall<DRV_GetInfo>(Lower(rc), rc->changeStmt, kPropRowCount, affected, uint16_t(4), &len);
}

// Sets the parameters (they pass to the lower layer), the descriptions, executes and counts.
uint32_t RunRow(SCS_RowChange* rc, Dataset* params, int32_t* affected) {
    *affected = 0;
    const AgentLink* lower = Lower(rc);
    uint32_t r = 0;
    if (params != nullptr) {
        r = AgentCall<DRV_SetParams>(lower, rc->changeStmt, params);
        if (AgentLinkCallerFrees(lower)) DatasetDelete(params);
        if (r != 0) return r;
    }
    SCS_DescCtx* d = rc->desc;
    if (d->paramDescsOn && (r = AgentCall<DRV_SetParamDescs>(lower, rc->changeStmt, d->paramDescCount, d->paramDescs)))
        return r;
    if ((r = AgentCall<DRV_Execute>(lower, rc->changeStmt)) != 0) return r;
    return RowsAffected(rc, affected);
}

uint32_t AppendInfoDesc(SCS_DescCtx* d, const ColumnInfo& ci) {
    ColDesc cd{};
    cd.sqlType = int16_t(ci.sql_type);
    cd.columnSize = ci.column_size;
    cd.decimalDigits = int16_t(ci.scale);
    return ParamDescsAppend(d, &cd, 1, 0);
}

uint32_t AppendColumnDescs(SCS_RowChange* rc, const uint16_t* columns, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i) {
        if (columns[i] == 0 || columns[i] > rc->resultCount) return kErrBadColumnNumber;
        if (uint32_t r = AppendInfoDesc(rc->desc, rc->resultCols[columns[i] - 1])) return r;
    }
    return 0;
}

uint32_t AppendKeyDescs(SCS_RowChange* rc) {
    const SCR_Array* k = rc->desc->keyCols;
    return ParamDescsAppend(rc->desc, static_cast<const ColDesc*>(k->data), k->count, 0);
}

uint32_t AppendConcDescs(SCS_RowChange* rc, const uint16_t* nullFlags) {
    const SCR_Array* v = scs_p_ConcColumns(rc);
    for (uint32_t i = 0; v && i < v->count; ++i)
        if (!nullFlags || !nullFlags[i])
            if (uint32_t r = ParamDescsAppend(rc->desc, DescAt(v, i), 1, 0)) return r;
    return 0;
}

// Rowset rows of DELETE and UPDATE: row -2 every row of the rowset, else the one row.
struct Range {
    uint32_t index = 0;  // rowset index (0-based) of the first row
    uint32_t slots = 1;  // rows, and entries of the status array
};

Range RowRange(const SCS_RowChange* rc, uint32_t row) {
    Range g;
    if (row == 0xFFFFFFFEu) {
        g.slots = rc->rowsetSize ? rc->rowsetSize : 1;
    } else {
        g.index = row - 1;
    }
    return g;
}

// The 0-based key-set row of rowset index idx; false when the rowset has no such row (past the
// key set's end, or past the rows a fetch by bookmark named).
bool KeysetRowOf(const SCS_RowChange* rc, uint32_t idx, uint32_t* k) {
    if (rc->rowBookmarks != nullptr) {
        if (idx >= rc->rowBookmarkCount || rc->rowBookmarks[idx] == 0) return false;
        *k = rc->rowBookmarks[idx] - 1;
    } else {
        const uint32_t base = rc->cursorType == SQL_CURSOR_DYNAMIC ? 1 : (rc->rowsetOrigin ? rc->rowsetOrigin : 1);
        const uint64_t at = uint64_t(base) - 1 + idx;
        if (at > 0xFFFFFFFFull) return false;
        *k = uint32_t(at);
    }
    return *k < rc->keysetRows;
}

uint16_t* NewStatuses(uint32_t n, uint16_t fill) {
    auto* s = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * (n ? n : 1)));
    if (s)
        for (uint32_t i = 0; i < n; ++i) s[i] = fill;
    return s;
}

// Key values of key-set row r as a one-row parameter Dataset.
uint32_t KeyParams(const SCS_RowChange* rc, uint32_t r, Dataset** out) {
    *out = nullptr;
    if (rc->keyValues == nullptr || r < rc->keyOrigin || r - rc->keyOrigin >= rc->keyValues->rows_used)
        return kErrGeneral;
    return KS_KeyRowsToParams(rc->keyValues, r - rc->keyOrigin, 1, 1, out, rc->nulRoom, 0, 0, nullptr, nullptr);
}

// Concurrency values of values-cache row v, NULL columns left out and flagged.
uint32_t ConcParams(const SCS_RowChange* rc, uint32_t v, Dataset** out, std::vector<uint16_t>* nulls, bool* anyNull) {
    *out = nullptr;
    *anyNull = false;
    const SCR_Array* cols = scs_p_ConcColumns(rc);
    if (rc->values == nullptr || cols == nullptr || v >= rc->values->rows_used) return kErrGeneral;
    if (rc->values->col_count != cols->count) return kErrGeneral;
    nulls->assign(cols->count, 0);
    uint16_t nullCount = 0;
    uint32_t r = 0;
    // Every column NULL leaves nothing to send: the text then compares with IS NULL alone.
    bool all = true;
    for (uint16_t c = 0; c < rc->values->col_count; ++c)
        if (rc->values->cols[c].indicators[v] != DS_IND_NULL) all = false;
    if (all) {
        for (auto& f : *nulls) f = 1;
        *anyNull = cols->count > 0;
        return 0;
    }
    r = KS_KeyRowsToParams(rc->values, v, 1, 1, out, rc->nulRoom, 0, 1, &nullCount, nulls->data());
    *anyNull = nullCount > 0;
    return r;
}

// Every path ends here: the row values and column list were the operation's to free.
void Close(SCS_RowChange* rc, Dataset* values, uint16_t* columns) {
    if (values) DatasetDelete(values);
    std::free(columns);
    KeepMessages(rc->changeStmt, 0);
}

}  // namespace

const SCR_Array* scs_p_ConcColumns(const SCS_RowChange* rc) {
    return rc->compareMode == 2 ? rc->desc->selectCols : rc->desc->tableCols;
}

std::string scs_p_TargetTable(const SCS_RowChange* rc) {
    const SCR_Array* t = rc->desc->tables;
    if (t == nullptr || t->count == 0) return std::string();
    auto* ref = static_cast<const SCR_TableRef*>(SCR_ArrayAt(t, 0));
    std::string out;
    if (ref->owner && ref->owner[0]) out = std::string(ref->owner) + ".";
    out += ref->table ? ref->table : "";
    return out;
}

namespace {

// A result column that is no column of the table: the change has nowhere to write its value. The
// statement the changes run on tells the application which column.
uint32_t NotATableColumn(const SCS_RowChange* rc, uint16_t column) {
    const char* label = rc->resultCols[column - 1].name;
    char text[160];
    std::snprintf(text, sizeof text,
                  "result column %u%s%.40s%s is an expression, not a column of the table: a row change cannot write it",
                  unsigned(column), label[0] ? " (" : "", label, label[0] ? ")" : "");
    return IngTellStmtCause(rc->changeStmt, kErrGeneral, text);
}

}  // namespace

uint32_t scs_p_ChangeColumnName(const SCS_RowChange* rc, uint16_t column, std::string* out) {
    if (column == 0 || column > rc->resultCount || rc->resultCols == nullptr) return kErrBadColumnNumber;
    const char q = rc->desc->quote;
    const SCR_Array* sel = rc->desc->selectCols;
    if (sel != nullptr && column <= sel->count) {
        // The base column, never the label: "SELECT b AS a, a AS b" writes b's value into b.
        const ColDesc* cd = DescAt(sel, column - 1u);
        if (scs_p_IsExpressionColumn(cd) || cd->column[0] == 0) return NotATableColumn(rc, column);
        *out = Quoted(cd->column, q);
        return 0;
    }
    const ColumnInfo& ci = rc->resultCols[column - 1];
    const char* name = ci.column && ci.column[0] ? ci.column : ci.name;
    if (name[0] == 0) return NotATableColumn(rc, column);
    *out = Quoted(name, q);
    return 0;
}

uint32_t scs_p_DeleteText(const SCS_RowChange* rc, std::string* out) {
    const SCR_Array* k = rc->desc->keyCols;
    std::string t = scs_p_TargetTable(rc);
    if (t.empty() || k == nullptr || k->count == 0) return kErrGeneral;
    std::string s = "DELETE FROM " + t;
    for (uint32_t i = 0; i < k->count; ++i) s += std::string(i ? " AND " : " WHERE ") + DescAt(k, i)->column + " = ?";
    *out = s;
    return 0;
}

namespace {

std::string KeyConditions(const SCS_RowChange* rc) {
    const SCR_Array* k = rc->desc->keyCols;
    std::string s;
    for (uint32_t i = 0; i < k->count; ++i) s += std::string(i ? " AND " : " WHERE ") + DescAt(k, i)->column + " = ?";
    return s;
}

// The listed result columns, in result order (the list is ascending).
uint32_t ListedNames(const SCS_RowChange* rc, const uint16_t* columns, uint16_t count, std::vector<std::string>* out) {
    out->clear();
    uint16_t next = 0;
    for (uint16_t n = 1; n <= rc->resultCount && next < count; ++n) {
        if (columns[next] != n) continue;
        std::string name;
        if (uint32_t r = scs_p_ChangeColumnName(rc, n, &name)) return r;
        out->push_back(name);
        ++next;
    }
    return next == count ? 0u : uint32_t(kErrBadColumnNumber);
}

}  // namespace

uint32_t scs_p_UpdateText(const SCS_RowChange* rc, const uint16_t* columns, uint16_t count, std::string* out) {
    const SCR_Array* k = rc->desc->keyCols;
    std::string t = scs_p_TargetTable(rc);
    if (t.empty() || k == nullptr || k->count == 0 || count == 0) return kErrGeneral;
    std::vector<std::string> names;
    if (uint32_t r = ListedNames(rc, columns, count, &names)) return r;
    std::string s = "UPDATE " + t + " SET ";
    for (size_t i = 0; i < names.size(); ++i) s += (i ? ", " : "") + names[i] + " = ?";
    *out = s + KeyConditions(rc);
    return 0;
}

uint32_t scs_p_InsertText(const SCS_RowChange* rc, const uint16_t* columns, uint16_t count, std::string* out) {
    std::string t = scs_p_TargetTable(rc);
    if (t.empty() || count == 0) return kErrGeneral;
    std::vector<std::string> names;
    if (uint32_t r = ListedNames(rc, columns, count, &names)) return r;
    std::string s = "INSERT INTO " + t + " ( ";
    for (size_t i = 0; i < names.size(); ++i) s += (i ? ", " : "") + names[i];
    s += " ) VALUES ( ";
    for (size_t i = 0; i < names.size(); ++i) s += i ? ", ?" : "?";
    *out = s + " )";
    return 0;
}

std::string scs_p_ValuesCondition(const SCS_RowChange* rc, const std::string& base, const uint16_t* nullFlags) {
    std::string s = base;
    const SCR_Array* v = scs_p_ConcColumns(rc);
    for (uint32_t i = 0; v && i < v->count; ++i)
        s += std::string(" AND ") + DescAt(v, i)->column + (nullFlags && nullFlags[i] ? " IS NULL" : " = ?");
    return s;
}

namespace {

uint32_t SetPos(uint32_t stmt, SCS_Cursor* s, uint32_t row, uint16_t operation, uint16_t** statuses,
                uint32_t* processed, Dataset* values, uint16_t* columns) {
    if (statuses) *statuses = nullptr;
    auto discard = [&]() {
        if (values) DatasetDelete(values);
        std::free(columns);
    };
    if (s == nullptr) {
        discard();
        return kErrBadArg;
    }
    if (!IngAskStmtPrepared(stmt)) {
        discard();
        return kErrCursorState;
    }
    SCS_Cursor& c = *s;
    IngTellStmtPositionWord(stmt, 0);
    c.posRowCount = 0;
    c.layerFlags |= kScsLPosCount;
    if (uint32_t r = IngBeforeSetPos(stmt)) {
        if (processed) *processed = 0;
        discard();
        return ErrCode(r);
    }
    if (operation != SQL_ADD) {
        if (uint32_t r = SCS_CursorSetPos(&c, row == 0xFFFFFFFEu ? -2 : int32_t(row > 0x7FFFFFFF ? -1 : row))) {
            discard();
            return ErrCode(r);
        }
    }
    if (c.cursorType < SQL_CURSOR_KEYSET_DRIVEN || c.cursorType > SQL_CURSOR_STATIC) {
        discard();
        return kErrNotCapable;
    }
    if (operation == SQL_POSITION || operation > SQL_ADD) {
        discard();
        return kErrNone;
    }
    if (operation == SQL_REFRESH) {
        discard();
        return kErrNotCapable;
    }
    SCS_RowChange rc{};
    SCS_RowChangeSource source = g_source.load();
    uint32_t r = source ? source(s, &rc) : kErrNotCapable;
    // A read-only cursor changes nothing, not even by adding rows.
    if (r == 0 && rc.concurrency == SQL_CONCUR_READ_ONLY) r = kErrNotCapable;
    if (r != 0 || rc.desc == nullptr) {
        discard();
        // A cursor without a key set has no way to name its rows; those of a join, a grouping, a
        // union or an aggregate are no one table's rows.
        if (c.concurrency == SQL_CONCUR_READ_ONLY && operation != SQL_ADD) return kErrBadArg;
        if (uint32_t why = scs_p_CheckShape(c.shapeFlags)) return ErrCode(why);
        return ErrCode(r ? r : kErrNotCapable);
    }
    // Every row of the rowset is every row the application's side sent: the rowset of its last
    // fetch, never the rowset size set since.
    if (row == 0xFFFFFFFEu && values != nullptr && values->rows_used != 0) rc.rowsetSize = values->rows_used;
    // A row outside the rowset would name some other key-set row.
    if ((operation == SQL_UPDATE || operation == SQL_DELETE) && row != 0xFFFFFFFEu &&
        (row == 0 || row > (rc.rowsetSize ? rc.rowsetSize : 1))) {
        discard();
        return kErrRowRange;
    }
    r = scs_p_SetPosOp(&rc, row, operation, statuses, processed, values, columns);
    c.posRowCount = int32_t(rc.rowsChanged);
    // The cursor's own update is no other user's change: the next comparison takes the new values.
    if (operation == SQL_UPDATE && rc.rowsChanged > 0 && rc.refreshValues != nullptr) {
        const uint32_t fr = rc.refreshValues(s);
        if (fr != 0 && (r == 0 || r == kErrManyRowsChanged)) r = fr;
    }
    if (rc.changeStmt) scs_p_MoveMessages(rc.changeStmt, stmt);
    return r;
}

}  // namespace

ErrCode SCS_SetPos(uint32_t stmt, uint32_t row, uint16_t operation, uint16_t, uint16_t** statuses, uint32_t* processed,
                   Dataset* values, uint16_t* columns, uint16_t) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    SCS_StmtQuietOwn(s);
    return ErrCode(SCS_StmtFailureCause(s, SetPos(stmt, s, row, operation, statuses, processed, values, columns)));
}

uint32_t scs_p_SetPosOp(SCS_RowChange* rc, uint32_t row, uint16_t operation, uint16_t** statuses, uint32_t* processed,
                        Dataset* values, uint16_t* columns) {
    auto discard = [&]() {
        if (values) DatasetDelete(values);
        std::free(columns);
    };
    switch (operation) {
        case SQL_REFRESH:
            discard();
            return kErrNotCapable;
        case SQL_DELETE:
            std::free(columns);
            if (statuses == nullptr) {
                if (values) DatasetDelete(values);
                return kErrBadArg;
            }
            return scs_p_DeleteRows(rc, row, statuses, processed, values);
        case SQL_UPDATE:
        case SQL_ADD:
            if (statuses == nullptr || values == nullptr || columns == nullptr) {
                discard();
                return kErrBadArg;
            }
            return operation == SQL_UPDATE ? scs_p_UpdateRows(rc, row, statuses, processed, values, columns)
                                           : scs_p_AddRows(rc, row, statuses, processed, values, columns);
        default:
            discard();
            return 0;
    }
}

namespace {

// The common body of DELETE (columns null) and UPDATE.
uint32_t ChangeRows(SCS_RowChange* rc, uint32_t row, uint16_t** statusesOut, uint32_t* processed, Dataset* values,
                    uint16_t* columns) {
    const bool update = columns != nullptr;
    rc->rowsChanged = 0;
    *statusesOut = nullptr;
    SCS_DescCtx* d = rc->desc;
    uint32_t r = scs_p_CheckShape(d->shapeFlags);
    if (r != 0) {
        Close(rc, values, columns);
        return r;
    }
    const uint16_t nvals = update && values ? values->col_count : 0;
    if (update && (values == nullptr || nvals == 0)) {
        Close(rc, values, columns);
        return kErrGeneral;
    }
    const Range g = RowRange(rc, row);
    std::string base;
    r = update ? scs_p_UpdateText(rc, columns, nvals, &base) : scs_p_DeleteText(rc, &base);
    if (r == 0 && rc->concurrency == SQL_CONCUR_READ_ONLY) r = kErrBadArg;
    if (r == 0 && (rc->keyStatus == nullptr || rc->keyValues == nullptr)) r = kErrGeneral;
    uint16_t* st = r == 0 ? NewStatuses(g.slots, SQL_ROW_NOROW) : nullptr;
    if (r == 0 && st == nullptr) r = kErrNoMemory;
    const bool byValues = rc->concurrency == SQL_CONCUR_VALUES;
    if (r == 0 && !byValues) {
        r = AgentCall<DRV_Prepare>(Lower(rc), rc->changeStmt, base.c_str());
        if (r == 0 && d->paramDescsOn) {
            ParamDescsReset(d);
            if (update) r = AppendColumnDescs(rc, columns, nvals);
            if (r == 0) r = AppendKeyDescs(rc);
        }
    }
    if (r != 0) {
        std::free(st);
        Close(rc, values, columns);
        return r;
    }
    KeepMessages(rc->changeStmt, 1);
    bool rebuild = true;
    uint32_t changed = 0;
    for (uint32_t i = 0; i < g.slots; ++i) {
        const uint32_t idx = g.index + i;
        uint32_t k = 0;
        if (!KeysetRowOf(rc, idx, &k)) continue;
        // The Dataset row that stands for this rowset row: row 0 for a single row.
        const uint32_t vrow = row == 0xFFFFFFFEu ? idx : 0;
        if (values && vrow < values->rows_used && values->col_count > 0 &&
            values->cols[0].indicators[vrow] == DS_IND_IGNORED)
            continue;
        Dataset* params = nullptr;
        uint32_t e = KeyParams(rc, k, &params);
        if (e == 0 && byValues) {
            // Static cursors keep the values by key-set row, the others by rowset row.
            const uint32_t v = rc->cursorType == SQL_CURSOR_STATIC ? k - rc->valuesOrigin : idx;
            Dataset* conc = nullptr;
            std::vector<uint16_t> nulls;
            bool anyNull = false;
            e = rc->cursorType == SQL_CURSOR_STATIC && k < rc->valuesOrigin
                    ? kErrGeneral
                    : ConcParams(rc, v, &conc, &nulls, &anyNull);
            if (e == 0 && conc) {
                e = uint32_t(DatasetJoinColumns(conc, params));
                DatasetDelete(params);
                params = conc;
            }
            if (e == 0 && (anyNull || rebuild)) {
                if (d->paramDescsOn) {
                    ParamDescsReset(d);
                    if (update) e = AppendColumnDescs(rc, columns, nvals);
                    if (e == 0) e = AppendKeyDescs(rc);
                    if (e == 0) e = AppendConcDescs(rc, nulls.data());
                }
                const std::string text = scs_p_ValuesCondition(rc, base, nulls.data());
                uint32_t p = e ? e : AgentCall<DRV_Prepare>(Lower(rc), rc->changeStmt, text.c_str());
                if (p != 0) {
                    // A statement that cannot be prepared fails every row alike: stop here.
                    Drop(params);
                    std::free(st);
                    Close(rc, values, columns);
                    return p;
                }
                rebuild = anyNull;
            }
        }
        if (e == 0 && update) {
            Dataset* fresh = nullptr;
            e = KS_KeyRowsToParams(values, vrow, 1, 1, &fresh, rc->nulRoom, 1, 0, nullptr, nullptr);
            if (e == 0) e = JoinBefore(fresh, &params);
        }
        int32_t affected = 0;
        if (e == 0) {
            Dataset* p = params;
            params = nullptr;
            e = RunRow(rc, p, &affected);
        }
        Drop(params);
        if (e == 0 && affected >= 1) {
            rc->keyStatus[k] = update ? SQL_ROW_UPDATED : SQL_ROW_DELETED;
            ++changed;
        } else {
            rc->keyStatus[k] = SQL_ROW_ERROR;
        }
    }
    for (uint32_t i = 0; i < g.slots; ++i) {
        uint32_t k = 0;
        if (KeysetRowOf(rc, g.index + i, &k)) st[i] = rc->keyStatus[k];
    }
    *statusesOut = st;
    if (processed) *processed = g.slots;
    rc->rowsChanged = changed;
    Close(rc, values, columns);
    if (changed == 0) return kErrNoRowsChanged;
    if (row == 0xFFFFFFFEu && changed < rc->rowsetSize) return kErrManyRowsChanged;
    return 0;
}

}  // namespace

uint32_t scs_p_DeleteRows(SCS_RowChange* rc, uint32_t row, uint16_t** statuses, uint32_t* processed, Dataset* values) {
    return ChangeRows(rc, row, statuses, processed, values, nullptr);
}

uint32_t scs_p_UpdateRows(SCS_RowChange* rc, uint32_t row, uint16_t** statuses, uint32_t* processed, Dataset* values,
                          uint16_t* columns) {
    return ChangeRows(rc, row, statuses, processed, values, columns);
}

uint32_t scs_p_AddRows(SCS_RowChange* rc, uint32_t row, uint16_t** statusesOut, uint32_t* processed, Dataset* values,
                       uint16_t* columns) {
    rc->rowsChanged = 0;
    *statusesOut = nullptr;
    SCS_DescCtx* d = rc->desc;
    uint32_t r = scs_p_CheckShape(d->shapeFlags);
    // Every row: the rows sent (a bulk add's array size, not the rowset's).
    const uint32_t rows = row == 0xFFFFFFFEu ? (values->rows_used ? values->rows_used : 1) : 1;
    std::string text;
    if (r == 0) r = scs_p_InsertText(rc, columns, values->col_count, &text);
    uint16_t* st = r == 0 ? NewStatuses(rows, SQL_ROW_NOROW) : nullptr;
    if (r == 0 && st == nullptr) r = kErrNoMemory;
    if (r == 0 && d->paramDescsOn) {
        ParamDescsReset(d);
        r = AppendColumnDescs(rc, columns, values->col_count);
    }
    if (r == 0) r = AgentCall<DRV_Prepare>(Lower(rc), rc->changeStmt, text.c_str());
    if (r != 0) {
        std::free(st);
        Close(rc, values, columns);
        return r;
    }
    KeepMessages(rc->changeStmt, 1);
    uint32_t added = 0;
    for (uint32_t i = 0; i < rows && i < values->rows_used; ++i) {
        if (values->col_count > 0 && values->cols[0].indicators[i] == DS_IND_IGNORED) continue;
        Dataset* p = nullptr;
        uint32_t e = KS_KeyRowsToParams(values, i, 1, 1, &p, rc->nulRoom, 1, 0, nullptr, nullptr);
        int32_t affected = 0;
        if (e == 0) e = RunRow(rc, p, &affected);
        st[i] = e == 0 ? SQL_ROW_ADDED : SQL_ROW_ERROR;
        if (e == 0) ++added;
    }
    *statusesOut = st;
    if (processed) *processed = rows;
    rc->rowsChanged = added;
    Close(rc, values, columns);
    return added < rows ? uint32_t(kErrRowError) : 0u;
}
