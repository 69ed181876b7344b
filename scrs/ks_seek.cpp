// Seek statements of dynamic and mixed cursors: the condition that reads the keys just beyond a
// boundary row of the current rowset, in the statement's order extended by the keys.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-log.h"
#include "scrs/ks.h"
#include "util/dataset.h"
#include "util/scrarray.h"
#include "util/errtable.h"

namespace {

const OrderByItem* Item(const SCS_DescCtx* ctx, uint32_t i) {
    return static_cast<const OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
}
const ColDesc* KeyAt(const SCS_DescCtx* ctx, uint32_t i) {
    return static_cast<const ColDesc*>(SCR_ArrayAt(ctx->keyCols, i));
}
uint32_t OrderCount(const SCS_DescCtx* ctx) { return ctx->orderBy ? ctx->orderBy->count : 0; }
uint32_t KeyCount(const SCS_DescCtx* ctx) { return ctx->keyCols ? ctx->keyCols->count : 0; }

// One ordering column: an ORDER BY item (item >= 0), or a key no item names (key >= 0).
struct OrdCol {
    int item = -1;
    int key = -1;  // for an item naming a key: that key
    bool isKey = false;
    bool descending = false;
};

std::vector<OrdCol> OrderingColumns(const SCS_DescCtx* ctx) {
    std::vector<OrdCol> cols;
    for (uint32_t i = 0; i < OrderCount(ctx); ++i) {
        OrdCol c;
        c.item = int(i);
        c.descending = Item(ctx, i)->descending != 0;
        for (uint32_t k = 0; k < KeyCount(ctx); ++k)
            if (KeyAt(ctx, k)->orderPosition == i + 1) {
                c.key = int(k);
                c.isKey = true;
                break;
            }
        cols.push_back(c);
    }
    for (uint32_t k = 0; k < KeyCount(ctx); ++k)
        if (KeyAt(ctx, k)->orderPosition == 0) {
            OrdCol c;
            c.key = int(k);
            c.isKey = true;
            cols.push_back(c);
        }
    if (cols.size() > ctx->orderColCount) cols.resize(ctx->orderColCount);
    return cols;
}

bool RefText(uint32_t tableCount, const ColDesc* cd, std::string* out) {
    char* r = scs_p_QualifyColName(tableCount, cd);
    if (r == nullptr) return false;
    *out += r;
    std::free(r);
    return true;
}

bool ColumnText(const SCS_DescCtx* ctx, const OrdCol& c, std::string* out) {
    if (c.item >= 0) {
        *out += Item(ctx, uint32_t(c.item))->text;
        return true;
    }
    return RefText(ctx->tableCount, KeyAt(ctx, uint32_t(c.key)), out);
}

// Whether the boundary value of an ordering column is NULL (keys never are).
bool BoundaryNull(const SCS_DescCtx* ctx, const OrdCol& c, uint16_t keyRowCol, int row) {
    if (c.isKey || ctx->boundKeys == nullptr) return false;
    const Dataset* b = ctx->boundKeys;
    if (keyRowCol >= b->col_count || uint32_t(row) >= b->rows_used) return false;
    return b->cols[keyRowCol].indicators[row] == DS_IND_NULL;
}

}  // namespace

void KS_MarkKeyMatches(SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->orderBy == nullptr) return;
    for (uint32_t i = 0; i < ctx->orderBy->count; ++i) {
        auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
        it->keyMatch = 0;
        for (uint32_t k = 0; k < KeyCount(ctx); ++k)
            if (KeyAt(ctx, k)->orderPosition == i + 1) it->keyMatch = 1;
    }
}

uint32_t KS_OrderColumnMap(const SCS_DescCtx* ctx, uint16_t* map) {
    if (ctx == nullptr || map == nullptr) return kErrGeneral;
    std::vector<OrdCol> cols = OrderingColumns(ctx);
    uint16_t next = uint16_t(KeyCount(ctx));
    for (size_t p = 0; p < cols.size(); ++p) map[p] = cols[p].key >= 0 ? uint16_t(cols[p].key) : next++;
    return 0;
}

uint32_t KS_SeekTerm(const SCS_DescCtx* ctx, uint32_t term, uint32_t orientation, uint32_t seekMode, std::string* out) {
    if (out == nullptr) return kErrGeneral;
    out->clear();
    if (ctx == nullptr) return kErrGeneral;
    std::vector<OrdCol> cols = OrderingColumns(ctx);
    if (term == 0 || term > cols.size()) return kErrGeneral;
    std::vector<uint16_t> map(cols.size());
    KS_OrderColumnMap(ctx, map.data());
    int row = KS_BoundaryRow(orientation, seekMode);
    std::string text;
    for (uint32_t j = 1; j <= term; ++j) {
        const OrdCol& c = cols[j - 1];
        bool null = BoundaryNull(ctx, c, map[j - 1], row);
        std::string name;
        if (!ColumnText(ctx, c, &name)) return kErrNoMemory;
        if (j < term) {
            if (c.item >= 0)
                text += name + (null ? " IS NULL AND " : " = ? AND ");
            else
                text += name + " = ? AND ";
            continue;
        }
        // An inclusive seek includes the boundary row itself, not every row that only ties with it
        // on the leading columns: only the last term takes the inclusive operator.
        const uint32_t mode = term < cols.size() ? (seekMode & 1u) : seekMode;
        const char* op = KS_SeekOperator(orientation, mode, c.descending);
        if (c.item >= 0 && !c.isKey) {
            if (!null) {
                if (KS_NullsAfter(orientation, c.descending, ctx->nullCollation))
                    text += " (" + name + " " + op + " ? OR " + name + " IS NULL) ";
                else
                    text += name + " " + op + " ? ";
            } else if (KS_NullPlacement(orientation, c.descending, ctx->nullCollation) == 2) {
                text += name + " IS NOT NULL ";
            } else {
                return 0;  // nothing lies beyond a NULL that sorts last
            }
        } else {
            text += name + " " + op + " ? ";
        }
    }
    *out = text;
    return 0;
}

namespace {

// Copies one cell (deep for references) into a new one-row column appended to ds.
bool AppendCell(Dataset* ds, const DatasetColumn& src, uint32_t row) {
    if (ds->col_count >= ds->cols_alloc) {
        uint16_t n = uint16_t(ds->cols_alloc + 8);
        auto* cols = static_cast<DatasetColumn*>(std::realloc(ds->cols, sizeof(DatasetColumn) * n));
        if (cols == nullptr) return false;
        std::memset(cols + ds->cols_alloc, 0, sizeof(DatasetColumn) * (n - ds->cols_alloc));
        ds->cols = cols;
        ds->cols_alloc = n;
    }
    DatasetColumn& dc = ds->cols[ds->col_count];
    dc = {src.kind, src.width, nullptr, nullptr};
    if (DatasetColumnAlloc(&dc, 1) != 0) return false;
    ++ds->col_count;
    dc.indicators[0] = src.indicators[row];
    if (src.indicators[row] == DS_IND_NULL) return true;
    const uint8_t* cell = DatasetCell(&src, row);
    if (DatasetKindIsRef(src.kind)) {
        DsRef r = DatasetRefGet(cell);
        size_t bytes = DatasetRefBytes(src.kind, r.length);
        void* copy = std::malloc(bytes ? bytes : 1);
        if (copy == nullptr) return false;
        if (bytes) std::memcpy(copy, r.ptr, bytes);
        DatasetRefSet(DatasetCell(&dc, 0), r.length, copy);
    } else {
        std::memcpy(DatasetCell(&dc, 0), cell, src.width);
    }
    return true;
}

}  // namespace

uint32_t KS_SeekParams(SCS_DescCtx* ctx, uint32_t orientation, uint32_t seekMode, Dataset** params) {
    if (ctx == nullptr || params == nullptr || ctx->boundKeys == nullptr) return kErrGeneral;
    *params = nullptr;
    std::vector<OrdCol> cols = OrderingColumns(ctx);
    std::vector<uint16_t> map(cols.size());
    KS_OrderColumnMap(ctx, map.data());
    const Dataset* b = ctx->boundKeys;
    int row = KS_BoundaryRow(orientation, seekMode);
    if (uint32_t(row) >= b->rows_used) return kErrGeneral;
    for (uint16_t m : map)
        if (m >= b->col_count) return kErrGeneral;
    auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (ds == nullptr) return kErrNoMemory;
    uint32_t rc = 0;
    for (uint32_t i = 1; rc == 0 && i <= cols.size(); ++i) {
        const OrdCol& last = cols[i - 1];
        if (last.item >= 0 && !last.isKey && BoundaryNull(ctx, last, map[i - 1], row) &&
            KS_NullPlacement(orientation, last.descending, ctx->nullCollation) == 1)
            continue;
        for (uint32_t j = 1; rc == 0 && j <= i; ++j) {
            const OrdCol& c = cols[j - 1];
            if (c.item >= 0 && !c.isKey && BoundaryNull(ctx, c, map[j - 1], row)) continue;
            if (!AppendCell(ds, b->cols[map[j - 1]], uint32_t(row))) {
                rc = kErrNoMemory;
                break;
            }
            if (ctx->paramDescsOn) {
                // A key is described by its own column; an item that names no key by the item.
                ColDesc cd{};
                if (c.key >= 0) {
                    cd = *KeyAt(ctx, uint32_t(c.key));
                } else {
                    const OrderByItem* it = Item(ctx, uint32_t(c.item));
                    cd.sqlType = it->sqlType;
                    cd.columnSize = it->columnSize;
                    cd.decimalDigits = it->decimalDigits;
                }
                rc = ParamDescsAppend(ctx, &cd, 1, 0);
            }
        }
    }
    if (rc == 0) {
        ds->rows_alloc = 1;
        ds->rows_used = 1;
        *params = ds;
    } else {
        DatasetFree(ds);
        std::free(ds);
    }
    return rc;
}

uint32_t KS_BuildSeekWhere(SCS_DescCtx* ctx, SCR_Analysis* a, uint32_t orientation, uint32_t seekMode,
                           Dataset** params) {
    if (ctx == nullptr || a == nullptr || (orientation != 1 && orientation != 4)) return kErrGeneral;
    uint32_t rc = SCR_AddWhereCond(a);
    if (rc != 0) return rc;
    std::string terms;
    for (uint32_t i = 1; i <= ctx->orderColCount && i <= OrderCount(ctx) + KeyCount(ctx); ++i) {
        std::string t;
        rc = KS_SeekTerm(ctx, i, orientation, seekMode, &t);
        if (rc != 0) return rc;
        if (t.empty()) continue;
        if (!terms.empty()) terms += " OR ";
        terms += t;
    }
    // With no term nothing lies beyond the boundary: the condition must find no row.
    if (terms.empty()) terms = "1 = 0";
    std::string text = (a->flags & SCR_F_HADWHERE) ? "( " : " WHERE ( ";
    text += terms + " )";
    if (uint32_t rc = SCR_EditMarkerReplace(a, text.c_str())) return rc;
    return params != nullptr ? KS_SeekParams(ctx, orientation, seekMode, params) : 0;
}

uint32_t KS_BuildSeekSelect(SCS_DescCtx* ctx, SCR_Analysis* a, uint32_t orientation, uint32_t seekMode,
                            Dataset** params) {
    if (params != nullptr) *params = nullptr;
    if (ctx == nullptr || a == nullptr || KeyCount(ctx) == 0) return kErrGeneral;
    uint32_t rc = SCR_SelectListMark(a);
    if (rc != 0) return rc;
    std::string list;
    for (uint32_t k = 0; k < KeyCount(ctx); ++k) {
        if (k) list += ", ";
        if (!RefText(ctx->tableCount, KeyAt(ctx, k), &list)) return kErrNoMemory;
    }
    uint32_t n = OrderCount(ctx) < ctx->orderColCount ? OrderCount(ctx) : ctx->orderColCount;
    for (uint32_t i = 0; i < n; ++i) {
        bool isKey = false;
        for (uint32_t k = 0; k < KeyCount(ctx) && !isKey; ++k) isKey = KeyAt(ctx, k)->orderPosition == i + 1;
        if (isKey) continue;
        const OrderByItem* it = Item(ctx, i);
        ColDesc cd{};
        std::memcpy(cd.column, it->column, sizeof cd.column);
        std::memcpy(cd.table, it->table, sizeof cd.table);
        std::memcpy(cd.alias, it->alias, sizeof cd.alias);
        std::memcpy(cd.owner, it->owner, sizeof cd.owner);
        list += ", ";
        if (!RefText(ctx->tableCount, &cd, &list)) return kErrNoMemory;
    }
    std::string full = SCR_AnalysisText(a);
    size_t at = full.find(SCR_EDIT_MARKER);
    if (at == std::string::npos) return kErrGeneral;
    full.replace(at, 3, list);
    if (orientation == 2 || orientation == 3) {
        char* copy = strdup(full.c_str());
        if (copy == nullptr) return kErrNoMemory;
        std::free(a->text);
        a->text = copy;
        return 0;
    }
    rc = SCR_AnalyseSQL(a, full.c_str(), 1, 0);
    if (rc != 0) {
        IngLog(LOGL_DEBUG, "SCR_AnalyseSQL failed: %s", full.c_str());
        IngLog(LOGL_DEBUG, "%s", a->errText ? a->errText : "");
        IngLog(LOGL_DEBUG, "%s", a->message ? a->message : "");
        return rc;
    }
    return KS_BuildSeekWhere(ctx, a, orientation, seekMode, params);
}
