// Statements derived from the application's SELECT for key sets, key blocks, row locks and
// concurrency values: clause edits through the analyser's marker.
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-optable.h"
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

// Puts body where the marker stands in the regenerated text and makes that the analysis' text.
uint32_t ReplaceMarker(SCR_Analysis* a, const std::string& body) {
    std::string text = SCR_AnalysisText(a);
    size_t at = text.find(SCR_EDIT_MARKER);
    if (at == std::string::npos) return kErrGeneral;
    text.replace(at, 3, body);
    char* copy = strdup(text.c_str());
    if (copy == nullptr) return kErrNoMemory;
    std::free(a->text);
    a->text = copy;
    return 0;
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
    return ReplaceMarker(a, list);
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
    return ReplaceMarker(a, text);
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
    return ReplaceMarker(a, text);
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

uint32_t scs_p_OptConcSelectBuild(SCS_DescCtx* ctx, const char* byKeysText, SCR_Analysis* values) {
    if (ctx == nullptr || values == nullptr || ctx->tableCols == nullptr || ctx->tableCols->count == 0)
        return kErrGeneral;
    SCR_AnalysisFree(values);
    SCR_AnalysisInit(values);
    uint32_t rc = SCR_AnalyseSQL(values, byKeysText, 1, 0);
    if (rc != 0) {
        IngLog(7, "SCR_AnalyseSQL failed: %s", byKeysText ? byKeysText : "");
        IngLog(7, "%s", values->errText ? values->errText : "");
        IngLog(7, "%s", values->message ? values->message : "");
        return rc;
    }
    rc = SCR_SelectListMark(values);
    if (rc != 0) return rc;
    uint32_t tableCount = ctx->tables ? ctx->tables->count : 1;
    std::string list;
    for (uint32_t i = 0; i < ctx->tableCols->count; ++i) {
        if (i) list += ", ";
        if (!Ref(tableCount, Key(ctx->tableCols, i), &list)) return kErrNoMemory;
    }
    return ReplaceMarker(values, list);
}

uint32_t scs_p_LockRows(SCS_DescCtx* ctx, uint32_t changeStmt, const Dataset* keyValues, const uint16_t* statuses,
                        uint32_t keysetRows, uint32_t first, uint32_t count) {
    if (ctx == nullptr || keyValues == nullptr || statuses == nullptr || ctx->keyCols == nullptr) return kErrGeneral;
    if (count == 0 || first >= keysetRows) return 0;
    uint64_t last64 = uint64_t(first) + count - 1;
    uint32_t last = last64 > keysetRows - 1 ? keysetRows - 1 : uint32_t(last64);
    // Key values exist only for the rows the Dataset holds.
    if (keyValues->rows_used == 0) return kErrGeneral;
    if (last >= keyValues->rows_used) last = keyValues->rows_used - 1;
    uint32_t m = 0;
    for (uint32_t r = first; r <= last; ++r)
        if (statuses[r] == 0 || statuses[r] == 2) ++m;
    if (m == 0) return 0;
    const SCR_Array* keys = ctx->keyCols;
    if (ctx->paramDescsOn) {
        ParamDescsReset(ctx);
        for (int twice = 0; twice < 2; ++twice) {
            uint32_t rc = ParamDescsAppend(ctx, static_cast<const ColDesc*>(keys->data), keys->count, 0);
            if (rc != 0) return rc;
        }
    }
    char* text = scs_p_LockRowsText(ctx);
    if (text == nullptr) return kErrNoMemory;
    uint32_t rc = AgentCall<DRV_Prepare>(ctx->lower, changeStmt, text);
    std::free(text);
    if (rc != 0) return rc;
    if (ctx->paramDescsOn) {
        rc = AgentCall<DRV_SetParamDescs>(ctx->lower, changeStmt, ctx->paramDescCount, ctx->paramDescs);
        if (rc != 0) return rc;
    }
    uint32_t locked = 0;
    for (uint32_t r = first; r <= last; ++r) {
        if (statuses[r] != 0 && statuses[r] != 2) continue;
        Dataset* params = nullptr;
        rc = KS_KeyRowsToParams(keyValues, r, 2, 1, &params, 0, 0, 0, nullptr, nullptr);
        if (rc != 0) break;
        rc = AgentCall<DRV_SetParams>(ctx->lower, changeStmt, params);
        // The agent keeps the values unless the link asks the caller to free them.
        if (ctx->lower->word & 1) DatasetDelete(params);
        if (rc != 0) break;
        rc = AgentCall<DRV_Execute>(ctx->lower, changeStmt);
        if (rc != 0) break;
        int32_t affected = 0;
        uint16_t len = 0;
        rc = AgentCall<DRV_GetInfo>(ctx->lower, changeStmt, kPropRowCount, &affected, uint16_t(4), &len);
        if (rc != 0 || affected < 1) break;
        ++locked;
    }
    if (locked < m) {
        IngLog(3, "scs_p_LockRows: Couldn't acquire row lock(s).");
        return kErrRowError;
    }
    return 0;
}

namespace {

uint32_t Reanalyse(SCR_Analysis* a, const char* text) {
    std::string copy = text ? text : "";
    uint32_t rc = SCR_AnalyseSQL(a, copy.c_str(), 1, 0);
    if (rc != 0) {
        IngLog(7, "SCR_AnalyseSQL failed: %s", copy.c_str());
        IngLog(7, "%s", a->errText ? a->errText : "");
        IngLog(7, "%s", a->message ? a->message : "");
    }
    return rc;
}

}  // namespace

uint32_t KS_GetKeyBlocks(SCS_DescCtx* ctx, const KS_KeyBlockRead* rd, const Dataset* keyValues, uint32_t first,
                         uint32_t rowsPerBlock, uint32_t blocks, uint32_t lastRows, Dataset* out) {
    if (ctx == nullptr || rd == nullptr || rd->analysis == nullptr || rd->prepared == nullptr || keyValues == nullptr ||
        out == nullptr || ctx->keyCols == nullptr || rowsPerBlock == 0 || lastRows == 0 || lastRows > rowsPerBlock)
        return kErrGeneral;
    uint32_t rc = 0;
    if (rd->dynamic || *rd->prepared == 0) {
        SCR_Analysis* a = rd->analysis;
        uint32_t orderCount = ctx->orderBy ? ctx->orderBy->count : 0;
        if ((rc = Reanalyse(a, rd->stmtText)) != 0) return rc;
        if ((rc = KS_BuildKeyOrderBy(a, ctx->keyCols, ctx->tableCount, orderCount, 0)) != 0) return rc;
        if ((rc = Reanalyse(a, a->text)) != 0) return rc;
        if ((rc = KS_BuildKeySelect(a, ctx->keyCols, ctx->tableCount)) != 0) return rc;
        if ((rc = Reanalyse(a, a->text)) != 0) return rc;
        if ((rc = KS_BuildKeyBlockWhere(a, ctx->keyCols, ctx->tableCount, rowsPerBlock)) != 0) return rc;
        if ((rc = AgentCall<DRV_Prepare>(ctx->lower, rd->auxStmt, a->text)) != 0) return rc;
        *rd->prepared = 1;
    }
    const SCR_Array* keys = ctx->keyCols;
    for (uint32_t b = 0; b < blocks; ++b) {
        uint32_t rows = b + 1 == blocks ? lastRows : rowsPerBlock;
        Dataset* params = nullptr;
        rc = KS_KeyRowsToParams(keyValues, first + b * rowsPerBlock, rowsPerBlock, rows, &params, rd->nulRoom, 0, 0,
                                nullptr, nullptr);
        if (rc != 0) return rc;
        if (rd->keptParams != nullptr) {
            // The block condition comes first in the text, the statement's own markers after it.
            Dataset* own = nullptr;
            rc = uint32_t(DatasetClone(&own, rd->keptParams));
            if (rc == 0) rc = uint32_t(DatasetJoinColumns(own, params));
            if (rc != 0) {
                if (own) DatasetDelete(own);
                DatasetDelete(params);
                return rc;
            }
            DatasetDelete(params);
            params = own;
        }
        rc = AgentCall<DRV_SetParams>(ctx->lower, rd->auxStmt, params);
        if (ctx->lower->word & 1) DatasetDelete(params);
        if (rc != 0) return rc;
        if (ctx->paramDescsOn) {
            ParamDescsReset(ctx);
            for (uint32_t g = 0; rc == 0 && g < rowsPerBlock; ++g)
                rc = ParamDescsAppend(ctx, static_cast<const ColDesc*>(keys->data), keys->count, g + 1 == rowsPerBlock);
            if (rc == 0)
                rc = AgentCall<DRV_SetParamDescs>(ctx->lower, rd->auxStmt, ctx->paramDescCount, ctx->paramDescs);
            if (rc != 0) return rc;
        }
        if ((rc = AgentCall<DRV_Execute>(ctx->lower, rd->auxStmt)) != 0) return rc;
        Dataset block{};
        rc = AgentCall<DRV_FetchRows>(ctx->lower, rd->auxStmt, uint16_t(rowsPerBlock > 0xFFFF ? 0xFFFF : rowsPerBlock),
                                      &block);
        AgentCall<DRV_CloseCursor>(ctx->lower, rd->auxStmt);
        if (rc == 0) {
            if (out->col_count == 0) {
                DatasetFree(out);
                *out = block;
                block = Dataset{};
            } else if (block.rows_used > 0) {
                rc = uint32_t(DatasetAppendRows(out, &block));
            }
        }
        DatasetFree(&block);
        if (rc != 0) return rc;
    }
    return 0;
}

namespace {

// Gives a Dataset room for `want` rows, keeping its rows (values by reference move over).
int GrowRows(Dataset* ds, uint32_t want) {
    if (ds->col_count == 0) return DS_EINVAL;
    Dataset* bigger = nullptr;
    int rc = DatasetCreateLike(&bigger, ds, want);
    for (uint32_t r = 0; rc == 0 && r < ds->rows_used; ++r) rc = DatasetCopyRow(bigger, ds, r, r, 1);
    if (rc != 0) {
        if (bigger) DatasetDelete(bigger);
        return rc;
    }
    DatasetFree(ds);
    *ds = *bigger;
    std::free(bigger);
    return 0;
}

}  // namespace

uint32_t scs_p_MarkVanishedRows(SCS_DescCtx* ctx, const KS_KeyBlockRead* rd, Dataset* rows, const Dataset* keyValues,
                                uint32_t first, int32_t origin, uint16_t* statuses, uint32_t keysetRows,
                                uint32_t rowsetSize, uint32_t rowsPerBlock) {
    if (ctx == nullptr || rd == nullptr || rows == nullptr || keyValues == nullptr || statuses == nullptr ||
        rowsPerBlock == 0)
        return kErrGeneral;
    if (first >= keysetRows) return 0;
    uint32_t n = keysetRows - first < rowsetSize ? keysetRows - first : rowsetSize;
    if (n == 0) return 0;
    uint32_t base = origin > 0 ? uint32_t(origin) : 0;
    if (first < base || first - base + n > keyValues->rows_used) return kErrGeneral;
    uint32_t k0 = first - base;
    uint32_t blocks = (n + rowsPerBlock - 1) / rowsPerBlock;
    uint32_t last = n - (blocks - 1) * rowsPerBlock;
    Dataset again{};
    uint32_t rc = KS_GetKeyBlocks(ctx, rd, keyValues, k0, rowsPerBlock, blocks, last, &again);
    if (rc != 0) {
        DatasetFree(&again);
        return rc;
    }
    uint32_t j = 0;
    for (uint32_t i = 0; i < n; ++i) {
        int equal = 0;
        if (j < again.rows_used) {
            if (DatasetRowsEqual(keyValues, k0 + i, &again, j, &equal) != 0) break;
        }
        if (equal) {
            ++j;
            continue;
        }
        // Gone: the rows fetched after it move down one place (a full block first gets room).
        if (rows->rows_used >= rows->rows_alloc && GrowRows(rows, rows->rows_used + (n - i)) != 0) {
            rc = kErrNoMemory;
            break;
        }
        if (DatasetInsertRow(rows, i) != 0) {
            rc = kErrGeneral;
            break;
        }
        statuses[first + i] = 1;
    }
    DatasetFree(&again);
    return rc;
}
