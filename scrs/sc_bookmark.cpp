// Bulk operations by bookmark (slot 42): a bookmark names a key-set row, whose key values name
// the row in the generated DELETE and UPDATE and in the fetch that reads it again.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "scrs/ks.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_fetchrows.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_static.h"
#include "scrs/sc_setpos.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/log.h"
#include "util/rowset.h"
#include "util/scrarray.h"

namespace {

void DropDs(Dataset*& ds) {
    if (ds) DatasetDelete(ds);
    ds = nullptr;
}

// Runs a DELETE or UPDATE over rows 0 .. n - 1 of the bookmark-ordered key and value rows
// through the positioned-change builders: a view of the cursor in which key-set row i is row i.
uint32_t ByRows(SCS_RowChange* rc, Dataset* keyRows, Dataset* valueRows, Dataset* values, uint16_t* columns,
                uint16_t* statuses, uint16_t* processed) {
    const uint32_t n = keyRows ? keyRows->rows_used : 0;
    std::vector<uint16_t> view(n ? n : 1, SQL_ROW_SUCCESS);
    SCS_RowChange v = *rc;
    v.cursorType = SQL_CURSOR_STATIC;  // values by key-set row
    v.rowsetOrigin = 1;
    v.rowBookmarks = nullptr;
    v.rowBookmarkCount = 0;
    v.rowsetSize = n;
    v.keyValues = keyRows;
    v.keyOrigin = 0;
    v.keyStatus = view.data();
    v.keysetRows = n;
    v.values = valueRows;
    v.valuesOrigin = 0;
    uint16_t* st = nullptr;
    uint32_t r = columns ? scs_p_UpdateRows(&v, 0xFFFFFFFEu, &st, nullptr, values, columns)
                         : scs_p_DeleteRows(&v, 0xFFFFFFFEu, &st, nullptr, values);
    if (st != nullptr) {
        for (uint32_t i = 0; i < n; ++i) statuses[i] = st[i];
        std::free(st);
        if (processed) *processed = uint16_t(v.rowsChanged);
    }
    rc->rowsChanged = v.rowsChanged;
    return r;
}

// The values-cache row (from 1) of the row a bookmark names, 0 when the cache has none: a static
// cursor keeps the values by key-set row, the others by rowset row.
uint32_t ValuesRowOf(const SCS_RowChange* rc, uint32_t bookmark) {
    if (bookmark == 0) return 0;
    if (rc->cursorType == SQL_CURSOR_STATIC) return bookmark > rc->valuesOrigin ? bookmark - rc->valuesOrigin : 0;
    if (rc->rowBookmarks != nullptr) {
        for (uint32_t i = 0; i < rc->rowBookmarkCount; ++i)
            if (rc->rowBookmarks[i] == bookmark) return i + 1;
        return 0;
    }
    const uint32_t origin = rc->rowsetOrigin ? rc->rowsetOrigin : 1;
    return bookmark >= origin ? bookmark - origin + 1 : 0;
}

}  // namespace

uint32_t sc3_BookmarkRows(const Dataset* source, const uint32_t* bookmarks, uint16_t rows, uint32_t base,
                          Dataset** out) {
    if (out == nullptr) return kErrGeneral;
    *out = nullptr;
    if (bookmarks == nullptr || source == nullptr || rows == 0) return kErrGeneral;
    Dataset* ds = nullptr;
    if (DatasetCreateLike(&ds, source, rows) != 0) return kErrNoMemory;
    for (uint32_t i = 0; i < rows; ++i) {
        const uint64_t r = uint64_t(bookmarks[i]) - 1 - base;
        if (bookmarks[i] == 0 || bookmarks[i] - 1 < base || r >= source->rows_used ||
            DatasetCopyRow(ds, const_cast<Dataset*>(source), i, uint32_t(r), 0) != 0) {
            DatasetDelete(ds);
            return kErrGeneral;
        }
    }
    ds->rows_used = rows;
    *out = ds;
    return 0;
}

uint32_t sc3_BookmarkOrder(const uint32_t* values, uint32_t n, uint32_t** order) {
    *order = nullptr;
    auto* o = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (n ? n : 1)));
    auto* v = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (n ? n : 1)));
    if (o == nullptr || v == nullptr) {
        std::free(o);
        std::free(v);
        return kErrNoMemory;
    }
    for (uint32_t i = 0; i < n; ++i) {
        o[i] = i;
        v[i] = values[i];
    }
    // Stable: equal bookmarks keep their places.
    for (uint32_t i = 1; i < n; ++i) {
        const uint32_t key = v[i], pos = o[i];
        uint32_t j = i;
        for (; j > 0 && v[j - 1] > key; --j) {
            v[j] = v[j - 1];
            o[j] = o[j - 1];
        }
        v[j] = key;
        o[j] = pos;
    }
    std::free(v);
    *order = o;
    return 0;
}

uint32_t sc3_DeleteByBookmark(SCS_RowChange* rc, Dataset* keyRows, Dataset* valueRows, uint16_t* statuses,
                              uint16_t* processed) {
    return ByRows(rc, keyRows, valueRows, nullptr, nullptr, statuses, processed);
}

uint32_t sc3_UpdateByBookmark(SCS_RowChange* rc, Dataset* keyRows, Dataset* valueRows, Dataset* values,
                              uint16_t* columns, uint16_t* statuses, uint16_t* processed) {
    if (keyRows == nullptr || values == nullptr || columns == nullptr || values->rows_used < keyRows->rows_used) {
        if (values) DatasetDelete(values);
        std::free(columns);
        return kErrGeneral;
    }
    return ByRows(rc, keyRows, valueRows, values, columns, statuses, processed);
}

uint32_t scs_p_RowsByKeys(SCS_RowChange* rc, const Dataset* keys, uint32_t first, uint32_t rows, Dataset* out) {
    SCS_DescCtx* d = rc->desc;
    if (rc->stmtText == nullptr || d->keyCols == nullptr || d->keyCols->count == 0 || rows == 0) return kErrGeneral;
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    auto analyse = [&](const std::string& text) {
        SCR_AnalysisFree(&a);
        SCR_AnalysisInit(&a);
        uint32_t r = SCR_AnalyseSQL(&a, text.c_str(), 1, 0);
        if (r != 0) {
            IngLog(LOGL_DEBUG, "SCR_AnalyseSQL failed: %s", text.c_str());
            IngLog(LOGL_DEBUG, "%s", a.errText ? a.errText : "");
            IngLog(LOGL_DEBUG, "%s", a.message ? a.message : "");
        }
        return r;
    };
    const uint32_t orderCount = d->orderBy ? d->orderBy->count : 0;
    uint32_t r = analyse(rc->stmtText);
    if (r == 0) r = KS_BuildKeyOrderBy(&a, d->keyCols, d->tableCount, orderCount, 0);
    if (r == 0) r = analyse(std::string(a.text));
    if (r == 0) r = KS_BuildKeyBlockWhere(&a, d->keyCols, d->tableCount, rows);
    std::string text = r == 0 ? std::string(a.text) : std::string();
    SCR_AnalysisFree(&a);
    if (r != 0) return r;
    if (rc->forUpdate) text += " FOR UPDATE";
    const AgentLink* lower = d->lower;
    if ((r = AgentCall<DRV_Prepare>(lower, rc->fetchStmt, text.c_str())) != 0) return r;
    Dataset* params = nullptr;
    if ((r = KS_KeyRowsToParams(keys, first, rows, rows, &params, rc->nulRoom, 0, 0, nullptr, nullptr)) != 0) return r;
    if (rc->keptParams != nullptr) {
        Dataset* own = nullptr;
        r = uint32_t(DatasetClone(&own, rc->keptParams));
        if (r == 0) r = uint32_t(DatasetJoinColumns(own, params));
        DatasetDelete(params);
        params = own;
        if (r != 0) {
            DropDs(params);
            return r;
        }
    }
    r = AgentCall<DRV_SetParams>(lower, rc->fetchStmt, params);
    if (AgentLinkCallerFrees(lower)) DatasetDelete(params);
    if (r != 0) return r;
    if (d->paramDescsOn) {
        ParamDescsReset(d);
        for (uint32_t g = 0; r == 0 && g < rows; ++g)
            r = ParamDescsAppend(d, static_cast<const ColDesc*>(d->keyCols->data), d->keyCols->count, g + 1 == rows);
        if (r == 0) r = AgentCall<DRV_SetParamDescs>(lower, rc->fetchStmt, d->paramDescCount, d->paramDescs);
        if (r != 0) return r;
    }
    if ((r = AgentCall<DRV_Execute>(lower, rc->fetchStmt)) != 0) return r;
    // A cursor read for update hands out its rows one fetch at a time.
    r = scs_p_FetchRows(lower, rc->fetchStmt, 0, rows, !rc->forUpdate, out);
    // Under lock concurrency the cursor stays open: its rows stay locked.
    if (rc->concurrency != SQL_CONCUR_LOCK) (void)AgentCall<DRV_CloseCursor>(lower, rc->fetchStmt);
    return r;
}

namespace {

// A row of NULLs at the end of ds (its columns made from the result description when it has none).
uint32_t AppendEmptyRow(SCS_RowChange* rc, Dataset* ds) {
    if (ds->col_count == 0) {
        DatasetFree(ds);
        if (rc->resultCols == nullptr || DatasetFromColumnInfos(rc->resultCols, rc->resultCount, 1, ds) != 0)
            return kErrGeneral;
        ds->rows_used = 0;
    }
    if (ds->rows_used >= ds->rows_alloc) {
        Dataset* bigger = nullptr;
        if (DatasetCreateLike(&bigger, ds, ds->rows_used + 8) != 0) return kErrNoMemory;
        for (uint32_t r = 0; r < ds->rows_used; ++r)
            if (DatasetCopyRow(bigger, ds, r, r, 1) != 0) {
                DatasetDelete(bigger);
                return kErrNoMemory;
            }
        bigger->rows_used = ds->rows_used;
        DatasetFree(ds);
        *ds = *bigger;
        std::free(bigger);
    }
    return DatasetInsertRow(ds, ds->rows_used) == 0 ? 0u : uint32_t(kErrGeneral);
}

}  // namespace

uint32_t sc3_FetchByBookmark(SCS_RowChange* rc, const uint32_t* bookmarks, uint16_t rows, Dataset* keyRows, Rowset* rs,
                             uint16_t* statuses, uint16_t* processed) {
    if (rs == nullptr || keyRows == nullptr || keyRows->rows_used < rows || rows == 0) return kErrGeneral;
    uint32_t* order = nullptr;
    if (uint32_t r = sc3_BookmarkOrder(bookmarks, rows, &order)) return r;
    // Keys in ascending bookmark order: the order in which the fetch hands the rows back.
    Dataset* sorted = nullptr;
    uint32_t r = DatasetCreateLike(&sorted, keyRows, rows) == 0 ? 0u : uint32_t(kErrNoMemory);
    for (uint32_t k = 0; r == 0 && k < rows; ++k)
        if (DatasetCopyRow(sorted, keyRows, k, order[k], 0) != 0) r = kErrNoMemory;
    if (r == 0) sorted->rows_used = rows;
    Dataset got{};
    std::vector<uint16_t> st(rows, SQL_ROW_SUCCESS);
    uint32_t came = 0;
    const uint32_t per = rc->rowsetSize && rc->rowsetSize < rows ? rc->rowsetSize : rows;
    for (uint32_t b = 0; r == 0 && b < rows; b += per) {
        const uint32_t n = rows - b < per ? rows - b : per;
        Dataset part{};
        r = scs_p_RowsByKeys(rc, sorted, b, n, &part);
        if (r == 0 && part.rows_used == n) {
            came += n;
            r = scs_p_AppendRows(&got, &part);
        } else if (r == 0) {
            // Some key of the block is gone: row by row, so that each row meets its own key.
            for (uint32_t i = 0; r == 0 && i < n; ++i) {
                Dataset one{};
                r = scs_p_RowsByKeys(rc, sorted, b + i, 1, &one);
                if (r == 0 && one.rows_used >= 1) {
                    one.rows_used = 1;
                    ++came;
                    r = scs_p_AppendRows(&got, &one);
                } else if (r == 0) {
                    st[b + i] = SQL_ROW_DELETED;
                    r = AppendEmptyRow(rc, &got);
                }
                DatasetFree(&one);
            }
        }
        DatasetFree(&part);
    }
    if (sorted) DatasetDelete(sorted);
    if (processed) *processed = uint16_t(came);
    // Back to the order of the bookmark array, never past it.
    Dataset* placed = nullptr;
    if (r == 0 && got.rows_used != rows) r = kErrGeneral;
    if (r == 0 && DatasetCreateLike(&placed, &got, rows) != 0) r = kErrNoMemory;
    // Every place first exists (empty), so that each row can go to its own.
    for (uint32_t k = 0; r == 0 && k < rows; ++k)
        if (DatasetInsertRow(placed, k) != 0) r = kErrGeneral;
    for (uint32_t k = 0; r == 0 && k < rows; ++k) {
        if (DatasetCopyRow(placed, &got, order[k], k, 1) != 0) r = kErrNoMemory;
        statuses[order[k]] = st[k];
    }
    DatasetFree(&got);
    std::free(order);
    if (r != 0) {
        if (placed) DatasetDelete(placed);
        return r;
    }
    if (rs->data) DatasetDelete(rs->data);
    rs->data = placed;
    for (uint32_t i = 0; i < rs->rows; ++i) rs->statuses[i] = i < rows ? statuses[i] : uint16_t(SQL_ROW_NOROW);
    return 0;
}

uint32_t sc3_BulkByBookmark(SCS_RowChange* rc, uint16_t operation, const uint32_t* bookmarks, uint16_t rows,
                            Dataset* values, uint16_t* columns, uint16_t** statusesOut, uint16_t* processed,
                            Rowset** fetched) {
    auto discard = [&]() {
        if (values) DatasetDelete(values);
        std::free(columns);
    };
    if (fetched) *fetched = nullptr;
    *statusesOut = nullptr;
    if (processed) *processed = 0;
    rc->rowsChanged = 0;
    auto* st = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * (rows ? rows : 1)));
    if (st == nullptr) {
        discard();
        return kErrNoMemory;
    }
    for (uint16_t i = 0; i < rows; ++i) st[i] = SQL_ROW_ERROR;
    *statusesOut = st;
    Dataset* keyRows = nullptr;
    Dataset* valueRows = nullptr;
    uint32_t r = sc3_BookmarkRows(rc->keyValues, bookmarks, rows, rc->keyOrigin, &keyRows);
    if (r == 0 && rc->concurrency == SQL_CONCUR_VALUES && operation != 7) {
        // The values row of each bookmark, counted from 1 (0: not held).
        std::vector<uint32_t> at(rows ? rows : 1, 0);
        for (uint16_t i = 0; i < rows; ++i) at[i] = ValuesRowOf(rc, bookmarks[i]);
        r = sc3_BookmarkRows(rc->values, at.data(), rows, 0, &valueRows);
    }
    if (r != 0) {
        discard();
        DropDs(keyRows);
        return r;
    }
    switch (operation) {
        case SQL_UPDATE_BY_BOOKMARK:
            r = sc3_UpdateByBookmark(rc, keyRows, valueRows, values, columns, st, processed);
            values = nullptr;
            columns = nullptr;
            break;
        case SQL_DELETE_BY_BOOKMARK:
            r = sc3_DeleteByBookmark(rc, keyRows, valueRows, st, processed);
            break;
        case SQL_FETCH_BY_BOOKMARK: {
            if (fetched == nullptr) {
                r = kErrGeneral;
                break;
            }
            Rowset* rs = nullptr;
            const uint32_t size = rc->rowsetSize > rows ? rc->rowsetSize : rows;
            r = RowsetCreate(&rs, int32_t(size ? size : 1));
            if (r == 0) r = sc3_FetchByBookmark(rc, bookmarks, rows, keyRows, rs, st, processed);
            if (r == 0) {
                rs->rows = rows;
                *fetched = rs;
            } else {
                RowsetFree(&rs);
            }
            break;
        }
        default:
            r = 0;
            break;
    }
    discard();
    DropDs(keyRows);
    DropDs(valueRows);
    return r;
}

namespace {

// A status array of n entries, every one SQL_ROW_ERROR; null without memory.
uint16_t* ErrorStatuses(uint16_t n) {
    auto* st = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * (n ? n : 1)));
    if (st != nullptr)
        for (uint16_t i = 0; i < n; ++i) st[i] = SQL_ROW_ERROR;
    return st;
}

// Writes the statuses of the rows changed by bookmark into the key set.
void OwnChanges(const SCS_RowChange& rc, const uint32_t* bookmarks, uint16_t rows, const uint16_t* statuses) {
    if (rc.keyStatus == nullptr || statuses == nullptr) return;
    for (uint16_t i = 0; i < rows; ++i) {
        const uint16_t st = statuses[i];
        if ((st == SQL_ROW_UPDATED || st == SQL_ROW_DELETED) && bookmarks[i] >= 1 && bookmarks[i] <= rc.keysetRows)
            rc.keyStatus[bookmarks[i] - 1] = st;
    }
}

}  // namespace

namespace {

uint32_t BulkOperations(uint32_t stmt, SCS_Cursor* s, uint16_t operation, uint32_t* bookmarks, uint16_t rows,
                        Dataset* values, uint16_t* columns, uint16_t** statuses, uint16_t* processed,
                        Rowset** fetched) {
    auto discard = [&]() {
        if (values) DatasetDelete(values);
        std::free(columns);
    };
    if (s == nullptr) {
        discard();
        return kErrBadArg;
    }
    if (operation == SQL_ADD || bookmarks == nullptr || statuses == nullptr ||
        (operation == SQL_UPDATE_BY_BOOKMARK && (values == nullptr || columns == nullptr))) {
        discard();
        return kErrGeneral;
    }
    if (fetched) *fetched = nullptr;
    if (operation == SQL_UPDATE_BY_BOOKMARK) IngTellStmtPositionWord(stmt, 0);
    SCS_Cursor& c = *s;
    const bool change = operation == SQL_UPDATE_BY_BOOKMARK || operation == SQL_DELETE_BY_BOOKMARK;
    SCS_RowChange rc{};
    SCS_RowChangeSource source = scs_p_RowChangeSourceGet();
    uint32_t r = source ? source(s, &rc) : kErrGeneral;
    if (r != 0 || rc.desc == nullptr || rc.keyValues == nullptr) {
        discard();
        *statuses = ErrorStatuses(rows);
        if (*statuses == nullptr) return kErrNoMemory;
        // A read-only cursor changes nothing; a read-only snapshot reads its rows by their numbers.
        if (change && c.concurrency == SQL_CONCUR_READ_ONLY) return kErrBadArg;
        if (operation == SQL_FETCH_BY_BOOKMARK && c.cursorType == SQL_CURSOR_STATIC &&
            c.concurrency == SQL_CONCUR_READ_ONLY && fetched != nullptr) {
            r = SCS_StaticRowsByBookmarks(s, bookmarks, rows, c.rowsetSize, *statuses, fetched);
            if (r == 0) {
                if (processed) *processed = rows;
                r = c.window.ByBookmarks(bookmarks, rows);
                if (r != 0) RowsetFree(fetched);
            }
            return ErrCode(r);
        }
        // No key set: nothing names the rows. The statuses say so row by row.
        return kErrGeneral;
    }
    r = sc3_BulkByBookmark(&rc, operation, bookmarks, rows, values, columns, statuses, processed, fetched);
    c.posRowCount = int32_t(rc.rowsChanged);
    c.layerFlags |= kScsLPosCount;
    if (change && rc.rowsChanged > 0) {
        // The key set keeps what the cursor did to its rows, as after SQLSetPos; the rows it
        // updated take their new values, so that their next change is no conflict with itself.
        OwnChanges(rc, bookmarks, rows, *statuses);
        if (operation == SQL_UPDATE_BY_BOOKMARK && rc.refreshValues != nullptr) {
            const uint32_t fr = rc.refreshValues(s);
            if (fr != 0 && (r == 0 || r == kErrManyRowsChanged)) r = fr;
        }
    }
    // The rows fetched are the rowset now: row changes name them by their bookmarks and compare
    // them with the values this fetch read.
    if (r == 0 && operation == SQL_FETCH_BY_BOOKMARK) {
        r = c.window.ByBookmarks(bookmarks, rows);
        if (r == 0 && rc.rereadValues != nullptr) r = rc.rereadValues(s);
        if (r != 0 && fetched) RowsetFree(fetched);
    }
    if (rc.changeStmt) scs_p_MoveMessages(rc.changeStmt, stmt);
    if (rc.fetchStmt) scs_p_MoveMessages(rc.fetchStmt, stmt);
    return r;
}

}  // namespace

ErrCode SC3_BulkOperations(uint32_t stmt, uint16_t operation, uint32_t* bookmarks, uint16_t rows, Dataset* values,
                           uint16_t* columns, uint16_t, uint16_t** statuses, uint16_t* processed, Rowset** fetched) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    SCS_StmtQuietOwn(s);
    return ErrCode(SCS_StmtFailureCause(
        s, BulkOperations(stmt, s, operation, bookmarks, rows, values, columns, statuses, processed, fetched)));
}
