// Statements derived from the application's SELECT for key sets, key blocks and row locks:
// clause edits through the analyser's marker, and the parameter rows that go with them.
#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/ks.h"
#include "util/dataset.h"
#include "util/scrarray.h"
#include "util/errtable.h"

namespace {

const ColDesc* Key(const SCR_Array* keys, uint32_t i) { return static_cast<const ColDesc*>(SCR_ArrayAt(keys, i)); }

bool Ref(uint32_t tableCount, const ColDesc* cd, std::string* out) {
    char* r = scs_p_QualifyColName(tableCount, cd);
    if (r == nullptr) return false;
    *out += r;
    std::free(r);
    return true;
}

}  // namespace

uint32_t KS_BuildKeySelect(SCR_Analysis* a, const SCR_Array* keyCols, uint8_t tableCount) {
    if (a == nullptr || keyCols == nullptr || keyCols->count == 0) return kErrGeneral;
    uint32_t rc = SCR_SelectListMark(a);
    if (rc != 0) return rc;
    std::string list;
    for (uint32_t i = 0; i < keyCols->count; ++i) {
        if (i) list += ", ";
        if (!Ref(tableCount, Key(keyCols, i), &list)) return kErrNoMemory;
    }
    return SCR_EditMarkerReplace(a, list.c_str());
}

uint32_t KS_BuildKeyOrderBy(SCR_Analysis* a, const SCR_Array* keyCols, uint8_t tableCount, uint32_t orderCount,
                            uint16_t maxOrderCols) {
    if (a == nullptr || keyCols == nullptr) return kErrGeneral;
    uint32_t rc = SCR_OrderByMark(a);
    if (rc != 0) return rc;
    bool had = (a->flags & SCR_F_ORDERBY) != 0;
    uint32_t total = had ? orderCount : 0;
    std::string text;
    for (uint32_t i = 0; i < keyCols->count; ++i) {
        const ColDesc* k = Key(keyCols, i);
        if (k->orderPosition != 0) continue;
        if (maxOrderCols != 0 && total >= maxOrderCols) break;
        text += text.empty() && !had ? " ORDER BY " : ", ";
        if (!Ref(tableCount, k, &text)) return kErrNoMemory;
        ++total;
    }
    return SCR_EditMarkerReplace(a, text.c_str());
}

uint32_t KS_BuildKeyBlockWhere(SCR_Analysis* a, const SCR_Array* keyCols, uint8_t tableCount, uint32_t rowsPerBlock) {
    if (a == nullptr || keyCols == nullptr || keyCols->count == 0 || rowsPerBlock == 0) return kErrGeneral;
    uint32_t rc = SCR_AddWhereCond(a);
    if (rc != 0) return rc;
    std::string group;
    for (uint32_t i = 0; i < keyCols->count; ++i) {
        if (i) group += " AND ";
        if (!Ref(tableCount, Key(keyCols, i), &group)) return kErrNoMemory;
        group += " = ?";
    }
    std::string text = (a->flags & SCR_F_HADWHERE) ? "( " : " WHERE ( ";
    for (uint32_t g = 0; g < rowsPerBlock; ++g) {
        if (g) text += " OR ";
        text += group;
    }
    text += " )";
    return SCR_EditMarkerReplace(a, text.c_str());
}

uint32_t KS_KeyRowsToParams(const Dataset* src, uint32_t first, uint32_t groups, uint32_t rows, Dataset** out,
                            int nulRoom, int trim, int nullAware, uint16_t* nullCount, uint16_t* nullFlags) {
    if (src == nullptr || out == nullptr || rows == 0 || rows > groups || src->col_count == 0) return kErrGeneral;
    if (first >= src->rows_used) return kErrGeneral;
    uint32_t cols = src->col_count;
    // Source rows actually used: never past the source's last row.
    auto rowOf = [&](uint32_t g) {
        uint32_t r = first + (g < rows - 1 ? g : rows - 1);
        return r < src->rows_used ? r : src->rows_used - 1;
    };
    std::string skip(cols, 0);
    uint16_t nulls = 0;
    if (nullAware) {
        for (uint32_t c = 0; c < cols; ++c)
            for (uint32_t g = 0; g < rows; ++g)
                if (src->cols[c].indicators[rowOf(g)] == DS_IND_NULL) {
                    skip[c] = 1;
                    ++nulls;
                    break;
                }
    }
    if (nullFlags != nullptr)
        for (uint32_t c = 0; c < cols; ++c) nullFlags[c] = uint16_t(skip[c]);
    if (nullCount != nullptr) *nullCount = nulls;
    uint64_t kept = uint64_t(cols - nulls) * groups;
    if (kept == 0 || kept > 0xFFFF) return kErrGeneral;
    auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (ds == nullptr) return kErrNoMemory;
    if (DatasetInit(ds, uint16_t(kept)) != 0) {
        std::free(ds);
        return kErrNoMemory;
    }
    ds->col_count = uint16_t(kept);
    uint32_t rc = 0;
    uint16_t o = 0;
    for (uint32_t g = 0; rc == 0 && g < groups; ++g) {
        uint32_t r = rowOf(g);
        for (uint32_t c = 0; rc == 0 && c < cols; ++c) {
            if (skip[c]) continue;
            const DatasetColumn& sc = src->cols[c];
            DatasetColumn& dc = ds->cols[o++];
            dc.kind = sc.kind;
            dc.width = sc.width;
            const uint8_t* cell = DatasetCell(&sc, r);
            bool null = sc.indicators[r] == DS_IND_NULL;
            size_t len = sc.width;
            if (!null) {
                if (sc.kind == DS_CHAR_NTS) {
                    len = strnlen(reinterpret_cast<const char*>(cell), sc.width);
                    dc.width = uint32_t(len + 1);
                } else if (sc.kind == DS_WCHAR_NTS) {
                    size_t n = 0;
                    while (2 * n + 1 < sc.width && (cell[2 * n] | cell[2 * n + 1]) != 0) ++n;
                    len = 2 * n;
                    dc.width = uint32_t(len + 2);
                } else if (sc.kind == DS_CHAR || sc.kind == DS_WCHAR) {
                    if (trim) {
                        size_t n = sc.width;
                        if (sc.kind == DS_CHAR)
                            while (n > 0 && cell[n - 1] == ' ') --n;
                        else
                            while (n >= 2 && cell[n - 2] == ' ' && cell[n - 1] == 0) n -= 2;
                        dc.width = uint32_t(n);
                        len = n;
                    }
                    if (nulRoom) dc.width += sc.kind == DS_CHAR ? 1 : 2;
                }
            }
            if (dc.width == 0) dc.width = 1;
            if (DatasetColumnAlloc(&dc, 1) != 0) {
                rc = kErrNoMemory;
                break;
            }
            dc.indicators[0] = sc.indicators[r];
            if (null) continue;
            if (DatasetKindIsRef(sc.kind)) {
                DsRef ref = DatasetRefGet(cell);
                size_t bytes = DatasetRefBytes(sc.kind, ref.length);
                void* copy = std::malloc(bytes ? bytes : 1);
                if (copy == nullptr) {
                    rc = kErrNoMemory;
                    break;
                }
                if (bytes) std::memcpy(copy, ref.ptr, bytes);
                DatasetRefSet(DatasetCell(&dc, 0), ref.length, copy);
            } else {
                std::memcpy(DatasetCell(&dc, 0), cell, len < dc.width ? len : dc.width);
            }
        }
    }
    if (rc != 0) {
        DatasetFree(ds);
        std::free(ds);
        return rc;
    }
    ds->rows_alloc = 1;
    ds->rows_used = 1;
    *out = ds;
    return 0;
}

const char* KS_SeekOperator(uint32_t orientation, uint32_t seekMode, int descending) {
    bool greater = !descending;
    if (orientation == 4) greater = !greater;
    bool inclusive = seekMode == 2 || seekMode == 3;
    if (greater) return inclusive ? ">=" : ">";
    return inclusive ? "<=" : "<";
}

int KS_BoundaryRow(uint32_t orientation, uint32_t seekMode) {
    int row = orientation == 1 ? 1 : 0;
    if (seekMode == 1 || seekMode == 3) row = 1 - row;
    return row;
}

int KS_NullsAfter(uint32_t orientation, int descending, uint32_t nullCollation) {
    int after;
    switch (nullCollation) {
        case 0:
            after = !descending;
            break;
        case 1:
            after = descending ? 1 : 0;
            break;
        case 2:
            after = 0;
            break;
        default:
            after = 1;
            break;
    }
    return orientation == 4 ? !after : after;
}

int KS_NullPlacement(uint32_t orientation, int descending, uint32_t nullCollation) {
    int p;
    switch (nullCollation) {
        case 0:
            p = descending ? 2 : 1;
            break;
        case 1:
            p = descending ? 1 : 2;
            break;
        case 2:
            p = 2;
            break;
        default:
            p = 1;
            break;
    }
    return orientation == 4 ? 3 - p : p;
}

char* scs_p_LockRowsText(const SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->keyCols == nullptr || ctx->keyCols->count == 0 || ctx->tables == nullptr ||
        ctx->tables->count == 0)
        return nullptr;
    auto* t = static_cast<const SCR_TableRef*>(SCR_ArrayAt(ctx->tables, 0));
    std::string text = "UPDATE ";
    if (t->owner && t->owner[0]) text += std::string(t->owner) + ".";
    text += t->table ? t->table : "";
    text += " SET ";
    const SCR_Array* keys = ctx->keyCols;
    for (uint32_t i = 0; i < keys->count; ++i) {
        if (i) text += ", ";
        text += std::string(Key(keys, i)->column) + " = ?";
    }
    for (uint32_t i = 0; i < keys->count; ++i) {
        text += i ? " AND " : " WHERE ";
        text += std::string(Key(keys, i)->column) + " = ?";
    }
    return strdup(text.c_str());
}
