// Key-column choice (special columns, then the first unique index, then the primary key),
// its per-connection cache, and the ORDER BY and select-list analysis that use the keys.
#include "scrs/ks.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <string>

#include "drv_ingii/i-cat.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "util/dataset.h"
#include "util/hash.h"
#include "util/md5.h"
#include "util/scrarray.h"
#include "util/utf.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

constexpr size_t kName = 509;

void CopyName(char* out, const char* text) { std::snprintf(out, kName, "%s", text ? text : ""); }

int FreeCacheEntry(void* value, const void*, void*) {
    auto* arr = static_cast<SCR_Array*>(value);
    SCR_ArrayFree(&arr, nullptr);
    return 0;
}

uint32_t FetchAll(const AgentLink* link, uint32_t stmt, Dataset* all) {
    return scs_CatalogFetchAll(link, stmt, all, 0);
}

enum Which { kSpCols, kStats, kPKeys };

// Catalog calls made to choose key columns (a cached choice makes none).
std::atomic<uint32_t> g_keyCatalogCalls{0};

uint32_t RunStrategy(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found, Which which) {
    static const char* const kCatFail[] = {"KS_GetKeyColDescs_SpCols: DRV_DDSpecialColumns failed.",
                                           "KS_GetKeyColDescs_Stats: DRV_DDStatistics failed.",
                                           "KS_GetKeyColDescs_PKeys: DRV_DDPrimaryKeys failed."};
    static const char* const kFetchFail[] = {"KS_GetKeyColDescs_SpCols: Couldn't fetch column descriptors.",
                                             "KS_GetKeyColDescs_Stats: Couldn't fetch column descriptors.",
                                             "KS_GetKeyColDescs_PKeys: Couldn't fetch column descriptors."};
    if (ctx == nullptr || tables == nullptr || ctx->keyCols == nullptr) return kErrGeneral;
    if (count > tables->count) count = tables->count;
    uint32_t outcome = 0;
    ColDesc cd;
    for (uint32_t i = 0; i < count; ++i) {
        if (found != nullptr && found[i] != 0) continue;
        auto* t = static_cast<SCR_TableRef*>(SCR_ArrayAt(tables, i));
        char qual[kName], owner[kName], table[kName];
        scs_UnquoteName(t->qualifier, ctx->quote, qual);
        scs_UnquoteName(t->owner, ctx->quote, owner);
        scs_UnquoteName(t->table, ctx->quote, table);
        std::memset(&cd, 0, sizeof cd);
        CopyName(cd.table, t->table);
        CopyName(cd.alias, t->alias);
        CopyName(cd.owner, t->owner);
        CopyName(cd.qualifier, t->qualifier);
        const char* q = qual[0] ? qual : nullptr;
        const char* o = owner[0] ? owner : nullptr;
        uint32_t rc;
        ++g_keyCatalogCalls;
        if (which == kSpCols) {
            IngSpecialColumnsArgs a{q, o, table, 1, 0, 0};
            rc = AgentCall<DRV_DDSpecialColumns>(ctx->lower, ctx->auxStmt, &a);
        } else if (which == kStats) {
            IngStatisticsArgs a{q, o, table, 0, 1};
            rc = AgentCall<DRV_DDStatistics>(ctx->lower, ctx->auxStmt, &a);
        } else {
            const IngPrimaryKeysArgs a{q, o, table};
            rc = AgentCall<DRV_DDPrimaryKeys>(ctx->lower, ctx->auxStmt, &a);
        }
        if (rc != 0) {
            IngLog(LOGL_ERROR, "%s", kCatFail[which]);
            return rc;
        }
        Dataset rows{};
        rc = FetchAll(ctx->lower, ctx->auxStmt, &rows);
        if (rc != 0) {
            IngLog(LOGL_ERROR, "%s", kFetchFail[which]);
            return rc;
        }
        uint16_t nameCol = which == kSpCols ? 1 : which == kStats ? 8 : 3;
        bool any = false, inIndex = false;
        for (uint32_t r = 0; r < rows.rows_used; ++r) {
            if (nameCol >= rows.col_count) {
                rc = kErrGeneral;
                break;
            }
            bool nullName = rows.cols[nameCol].indicators[r] == DS_IND_NULL;
            if (which == kStats) {
                if (nullName) continue;
                int64_t ord = 0;
                bool haveOrd = scs_CellInt(&rows, r, 7, &ord) != 0;
                if (!haveOrd && rows.cols[7].indicators[r] != DS_IND_NULL) {
                    rc = kErrGeneral;
                    break;
                }
                // The first unique index ends where the next one begins.
                if (inIndex && haveOrd && ord == 1) break;
                inIndex = true;
            }
            char name[kName];
            if (scs_p_CatCellText(&rows, r, nameCol, name) != 0) {
                rc = kErrGeneral;
                break;
            }
            if (which != kStats && name[0] == 0) continue;
            int64_t pseudo = 0;
            if (which == kSpCols && scs_CellInt(&rows, r, 7, &pseudo) && pseudo == 2)
                CopyName(cd.column, name);
            else
                scs_QuoteName(name, ctx->quote, cd.column);
            cd.sqlType = 0;
            cd.columnSize = 0;
            cd.decimalDigits = 0;
            if (which == kSpCols) {
                int64_t v = 0;
                if (scs_CellInt(&rows, r, 2, &v)) cd.sqlType = int16_t(v);
                if (scs_CellInt(&rows, r, 4, &v) && v > 0) cd.columnSize = uint32_t(v);
                if ((cd.sqlType == SQL_NUMERIC || cd.sqlType == SQL_DECIMAL) && scs_CellInt(&rows, r, 6, &v))
                    cd.decimalDigits = int16_t(v);
            }
            if (!SCR_ArrayAppend(ctx->keyCols, &cd)) {
                rc = kErrNoMemory;
                break;
            }
            any = true;
        }
        DatasetFree(&rows);
        if (rc != 0) return rc;
        if (!any)
            outcome = kErrNoKeys;
        else if (found != nullptr)
            found[i] = 1;
    }
    return outcome;
}

// Describes a key column the index strategies left without a type.
uint32_t DescribeKey(SCS_DescCtx* ctx, ColDesc* cd) {
    char qual[kName], owner[kName], table[kName], column[kName];
    char ownerPat[2 * kName], tablePat[2 * kName], colPat[2 * kName];
    scs_UnquoteName(cd->qualifier, ctx->quote, qual);
    scs_UnquoteName(cd->owner, ctx->quote, owner);
    scs_UnquoteName(cd->table, ctx->quote, table);
    scs_UnquoteName(cd->column, ctx->quote, column);
    if (owner[0] == 0)
        std::strcpy(ownerPat, "%");
    else
        scs_EscapePattern(owner, ownerPat, sizeof ownerPat);
    scs_EscapePattern(table, tablePat, sizeof tablePat);
    scs_EscapePattern(column, colPat, sizeof colPat);
    const IngColumnsArgs args{qual[0] ? qual : nullptr, ownerPat, tablePat, colPat};
    ++g_keyCatalogCalls;
    uint32_t rc = AgentCall<DRV_DDColumns>(ctx->lower, ctx->auxStmt, &args);
    if (rc != 0) {
        IngLog(LOGL_ERROR, "KS_GetKeyColDescs: DRV_DDColumns failed.");
        return rc;
    }
    Dataset rows{};
    rc = AgentCall<DRV_FetchRows>(ctx->lower, ctx->auxStmt, uint16_t(10), &rows);
    AgentCall<DRV_CloseCursor>(ctx->lower, ctx->auxStmt);
    if (rc != 0) {
        DatasetFree(&rows);
        IngLog(LOGL_ERROR, "KS_GetKeyColDescs: Couldn't fetch column descriptors.");
        return rc;
    }
    if (rows.rows_used != 1) {
        // None: the column went since the key was found; more: the name is no one column's.
        const uint32_t found = rows.rows_used;
        DatasetFree(&rows);
        IngLog(LOGL_ERROR, "KS_GetKeyColDescs: %u column descriptors of the key column.", unsigned(found));
        char text[3 * kName + 96];
        std::snprintf(text, sizeof text, "the catalog lists %u columns named %s in %s%s%s, where the key needs one",
                      unsigned(found), column, owner, owner[0] ? "." : "", table);
        const uint32_t code = found == 0 ? uint32_t(kErrColumnNotFound) : uint32_t(kErrGeneral);
        if (ctx->messages) IngDiagPostDriver(ctx->messages, text, code);
        return code;
    }
    int64_t v = 0;
    cd->sqlType = scs_CellInt(&rows, 0, 4, &v) ? int16_t(v) : 0;
    cd->columnSize = scs_CellInt(&rows, 0, 6, &v) && v > 0 ? uint32_t(v) : 0;
    cd->decimalDigits =
        (cd->sqlType == SQL_NUMERIC || cd->sqlType == SQL_DECIMAL) && scs_CellInt(&rows, 0, 8, &v) ? int16_t(v) : 0;
    DatasetFree(&rows);
    return 0;
}

void Digest(const SCR_Array* tables, uint8_t out[16]) {
    MD5Context m;
    MD5Init(&m);
    for (uint32_t i = 0; i < tables->count; ++i) {
        auto* t = static_cast<const SCR_TableRef*>(SCR_ArrayAt(tables, i));
        for (const char* s : {t->qualifier, t->owner, t->table})
            if (s) MD5Update(&m, s, uint32_t(std::strlen(s)));
    }
    MD5Final(out, &m);
}

}  // namespace

HashTable* KS_KeyColCacheCreate() { return HashCreate(101, 16); }

void KS_KeyColCacheFree(HashTable* cache) {
    if (cache == nullptr) return;
    HashForEach(cache, FreeCacheEntry, nullptr);
    HashDestroy(cache);
}

uint32_t KS_KeyCatalogCalls() { return g_keyCatalogCalls.load(); }

uint32_t KS_GetKeyColDescs_SpCols(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found) {
    return RunStrategy(ctx, tables, count, found, kSpCols);
}
uint32_t KS_GetKeyColDescs_Stats(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found) {
    return RunStrategy(ctx, tables, count, found, kStats);
}
uint32_t KS_GetKeyColDescs_PKeys(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found) {
    return RunStrategy(ctx, tables, count, found, kPKeys);
}

uint32_t KS_GetKeyColDescs(SCS_DescCtx* ctx, SCR_Array* tables) {
    if (ctx == nullptr || tables == nullptr) return kErrGeneral;
    uint32_t count = tables->count;
    // The count only decides whether references are qualified: it must never wrap to 0 or 1.
    ctx->tableCount = uint8_t(count > 255 ? 255 : count);
    auto* found = static_cast<uint32_t*>(std::calloc(count ? count : 1, sizeof(uint32_t)));
    if (found == nullptr) return kErrNoMemory;
    uint8_t digest[16];
    Digest(tables, digest);
    SCR_ArrayFree(&ctx->keyCols, nullptr);
    ctx->keyCols = SCR_ArrayCreate(sizeof(ColDesc));
    if (ctx->keyCols == nullptr) {
        std::free(found);
        return kErrNoMemory;
    }
    if (ctx->keyCache != nullptr) {
        if (auto* cached = static_cast<SCR_Array*>(HashGet(ctx->keyCache, digest)); cached != nullptr) {
            std::free(found);
            return SCR_ArrayAppendAll(ctx->keyCols, cached) ? kErrNone : kErrNoMemory;
        }
    }
    uint32_t rc = KS_GetKeyColDescs_SpCols(ctx, tables, count, found);
    if (rc == kErrNoKeys || rc == kErrNotCapable) {
        rc = KS_GetKeyColDescs_Stats(ctx, tables, count, found);
        if (rc == kErrNoKeys || rc == kErrNotCapable) rc = KS_GetKeyColDescs_PKeys(ctx, tables, count, found);
    }
    for (uint32_t i = 0; rc == 0 && i < ctx->keyCols->count; ++i) {
        auto* cd = static_cast<ColDesc*>(SCR_ArrayAt(ctx->keyCols, i));
        if (cd->sqlType == 0) rc = DescribeKey(ctx, cd);
    }
    if (rc == 0) {
        for (uint32_t i = 0; i < ctx->keyCols->count; ++i)
            static_cast<ColDesc*>(SCR_ArrayAt(ctx->keyCols, i))->orderPosition = 0;
        if (ctx->keyCache != nullptr) {
            SCR_Array* copy = SCR_ArrayCreate(sizeof(ColDesc));
            if (copy != nullptr && SCR_ArrayAppendAll(copy, ctx->keyCols)) {
                auto* old = static_cast<SCR_Array*>(HashGet(ctx->keyCache, digest));
                if (HashPut(ctx->keyCache, digest, copy) != nullptr)
                    SCR_ArrayFree(&old, nullptr);
                else
                    SCR_ArrayFree(&copy, nullptr);
            } else {
                SCR_ArrayFree(&copy, nullptr);
            }
        }
    }
    std::free(found);
    return rc;
}

int scs_p_IsQuotableName(const char* column, const char* dbmsName) {
    if (column == nullptr || dbmsName == nullptr) return 1;
    std::string c(column), d(dbmsName);
    for (auto& ch : c) ch = AsciiLower(ch);
    for (auto& ch : d) ch = AsciiLower(ch);
    if ((c.find("rowid") != std::string::npos || c.find("rownum") != std::string::npos) &&
        d.find("oracle") != std::string::npos)
        return 0;
    return 1;
}

uint32_t scs_p_OrderByFromSelectCols(SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->orderBy == nullptr) return kErrGeneral;
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    if (cols == nullptr) return kErrNoMemory;
    uint32_t rc = scs_p_SelectColsGet(ctx, cols, nullptr);
    uint32_t tableCount = ctx->tables ? ctx->tables->count : 0;
    for (uint32_t i = 0; rc == 0 && i < ctx->orderBy->count; ++i) {
        auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
        if (it->position == 0) continue;
        if (it->position > cols->count) {
            rc = kErrSyntax;
            break;
        }
        auto* cd = static_cast<ColDesc*>(SCR_ArrayAt(cols, it->position - 1u));
        if (cd->itemKind == 3) {
            rc = kErrOrderExpression;
            break;
        }
        CopyName(it->column, cd->column);
        CopyName(it->table, cd->table);
        CopyName(it->alias, cd->alias);
        CopyName(it->owner, cd->owner);
        CopyName(it->qualifier, cd->qualifier);
        it->sqlType = cd->sqlType;
        it->columnSize = cd->columnSize;
        it->decimalDigits = cd->decimalDigits;
        char* ref = scs_p_QualifyColName(tableCount, cd);
        if (ref == nullptr) {
            rc = kErrNoMemory;
            break;
        }
        std::snprintf(it->text, sizeof it->text, "%s", ref);
        std::free(ref);
    }
    SCR_ArrayFree(&cols, nullptr);
    return rc;
}

void scs_p_OrderByNormalise(SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->orderBy == nullptr) return;
    for (uint32_t i = 0; i < ctx->orderBy->count; ++i) {
        auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
        scs_p_NormaliseIdent(it->column, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv,
                             scs_p_IsQuotableName(it->column, ctx->dbmsName));
        if (it->table[0] == 0) continue;
        const SCR_TableRef* match = nullptr;
        for (uint32_t t = 0; ctx->tables && t < ctx->tables->count && match == nullptr; ++t) {
            auto* ref = static_cast<const SCR_TableRef*>(SCR_ArrayAt(ctx->tables, t));
            if (ref->alias && ref->alias[0] && std::strcmp(ref->alias, it->table) == 0) match = ref;
        }
        if (match != nullptr) {
            CopyName(it->alias, it->table);
            CopyName(it->table, match->table);
            CopyName(it->owner, match->owner);
        } else {
            scs_p_NormaliseIdent(it->table, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv, 1);
            scs_p_NormaliseIdent(it->owner, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv, 1);
        }
    }
}

uint32_t scs_p_OrderByAnalyse(SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->analysis == nullptr) return kErrGeneral;
    SCR_ArrayFree(&ctx->orderBy, nullptr);
    ctx->orderBy = SCR_ArrayCreate(sizeof(OrderByItem));
    if (ctx->orderBy == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_OrderByGet(ctx->analysis, ctx->orderBy);
    if (rc != 0) return rc;
    ctx->shapeFlags |= ctx->analysis->flags;
    if (ctx->shapeFlags & SCR_F_ORDERPOS) {
        rc = scs_p_OrderByFromSelectCols(ctx);
        if (rc != 0) return rc;
    }
    scs_p_OrderByNormalise(ctx);
    return 0;
}

void scs_p_MarkKeyOrderPositions(SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->keyCols == nullptr) return;
    for (uint32_t k = 0; k < ctx->keyCols->count; ++k) {
        auto* key = static_cast<ColDesc*>(SCR_ArrayAt(ctx->keyCols, k));
        key->orderPosition = 0;
        for (uint32_t i = 0; ctx->orderBy && i < ctx->orderBy->count && i < 255; ++i) {
            auto* it = static_cast<const OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
            if (std::strcmp(it->column, key->column) != 0) continue;
            if (it->table[0] == 0 || (std::strcmp(it->table, key->table) == 0 &&
                                      (it->owner[0] == 0 || std::strcmp(it->owner, key->owner) == 0))) {
                key->orderPosition = uint8_t(i + 1);
                break;
            }
        }
    }
}

uint32_t scs_p_SelectCol_ColDescComplete(SCS_DescCtx* ctx) {
    if (ctx == nullptr || ctx->selectCols == nullptr) return 0;
    uint32_t tables = ctx->tables ? ctx->tables->count : 0;
    for (uint32_t i = 0; i < ctx->selectCols->count; ++i) {
        auto* sc = static_cast<ColDesc*>(SCR_ArrayAt(ctx->selectCols, i));
        if (sc->itemKind == 1 || sc->itemKind == 2 || sc->itemKind == 3) continue;
        scs_p_NormaliseIdent(sc->column, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv,
                             scs_p_IsQuotableName(sc->column, ctx->dbmsName));
        scs_p_NormaliseIdent(sc->table, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv, 1);
        scs_p_NormaliseIdent(sc->owner, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv, 1);
        for (uint32_t j = 0; ctx->tableCols && j < ctx->tableCols->count; ++j) {
            auto* tc = static_cast<const ColDesc*>(SCR_ArrayAt(ctx->tableCols, j));
            auto eq = [&](const char* a, const char* b) {
                return scs_p_IdentEqual(a, b, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv) != 0;
            };
            if (!eq(sc->column, tc->column)) continue;
            bool match = tables < 2 || sc->table[0] == 0 || eq(sc->table, tc->table) ||
                         (tc->alias[0] != 0 && eq(sc->table, tc->alias));
            if (!match) continue;
            CopyName(sc->table, tc->table);
            CopyName(sc->alias, tc->alias);
            CopyName(sc->owner, tc->owner);
            CopyName(sc->qualifier, tc->qualifier);
            CopyName(sc->column, tc->column);
            break;
        }
    }
    return 0;
}

namespace {
bool SameColumn(const ColDesc* a, const ColDesc* b) {
    return std::strcmp(a->column, b->column) == 0 && std::strcmp(a->table, b->table) == 0 &&
           std::strcmp(a->owner, b->owner) == 0 && std::strcmp(a->qualifier, b->qualifier) == 0;
}
}  // namespace

uint32_t scs_p_SelListAddKeysnXpandWC(SCS_DescCtx* ctx, SCR_Array* items, int* changed) {
    if (changed) *changed = 0;
    if (ctx == nullptr || ctx->analysis == nullptr || ctx->selectCols == nullptr) return kErrGeneral;
    bool expand = false, bare = false;
    for (uint32_t i = 0; items && i < items->count; ++i) {
        uint32_t k = static_cast<const ColDesc*>(SCR_ArrayAt(items, i))->itemKind;
        if (k == 1 || k == 2) expand = true;
        if (k == 1) {
            bare = true;
            break;
        }
    }
    std::string missing;
    uint32_t tableCount = ctx->tables ? ctx->tables->count : 0;
    SCR_Array* add = SCR_ArrayCreate(sizeof(ColDesc));
    if (add == nullptr) return kErrNoMemory;
    if (ctx->attrOption == kStmtOptDescribeAddKeys && !bare && ctx->keyCols != nullptr) {
        for (uint32_t k = 0; k < ctx->keyCols->count; ++k) {
            auto* key = static_cast<const ColDesc*>(SCR_ArrayAt(ctx->keyCols, k));
            bool present = false;
            for (uint32_t s = 0; s < ctx->selectCols->count && !present; ++s)
                present = SameColumn(key, static_cast<const ColDesc*>(SCR_ArrayAt(ctx->selectCols, s)));
            if (!present && !SCR_ArrayAppend(add, key)) {
                SCR_ArrayFree(&add, nullptr);
                return kErrNoMemory;
            }
        }
    }
    if (!expand && add->count == 0) {
        SCR_ArrayFree(&add, nullptr);
        return 0;
    }
    uint32_t rc = SCR_SelectListMark(ctx->analysis);
    std::string list;
    for (uint32_t s = 0; rc == 0 && s < ctx->selectCols->count; ++s) {
        auto* sc = static_cast<const ColDesc*>(SCR_ArrayAt(ctx->selectCols, s));
        if (s) list += ", ";
        if (sc->itemKind == 3) {
            list += sc->column;
        } else {
            char* ref = scs_p_QualifyColName(tableCount, sc);
            if (ref == nullptr)
                rc = kErrNoMemory;
            else
                list += ref;
            std::free(ref);
        }
    }
    for (uint32_t k = 0; rc == 0 && k < add->count; ++k) {
        auto* key = static_cast<const ColDesc*>(SCR_ArrayAt(add, k));
        char* ref = scs_p_QualifyColName(tableCount, key);
        if (ref == nullptr) {
            rc = kErrNoMemory;
            break;
        }
        list += ", ";
        list += ref;
        std::free(ref);
    }
    std::string text;
    if (rc == 0) {
        text = SCR_AnalysisText(ctx->analysis);
        size_t at = text.find(SCR_EDIT_MARKER);
        if (at == std::string::npos)
            rc = kErrGeneral;
        else
            text.replace(at, 3, list);
    }
    if (rc == 0) {
        char* copy = strdup(text.c_str());
        if (copy == nullptr || !SCR_ArrayAppendAll(ctx->selectCols, add)) {
            std::free(copy);
            rc = kErrNoMemory;
        } else {
            std::free(ctx->analysis->text);
            ctx->analysis->text = copy;
            if (changed) *changed = 1;
        }
    }
    SCR_ArrayFree(&add, nullptr);
    return rc;
}

int scs_p_IsKeyColumn(const SCS_DescCtx* ctx, const ColDesc* cd) {
    if (ctx == nullptr || cd == nullptr || ctx->keyCols == nullptr) return 0;
    for (uint32_t k = 0; k < ctx->keyCols->count; ++k)
        if (SameColumn(static_cast<const ColDesc*>(SCR_ArrayAt(ctx->keyCols, k)), cd)) return 1;
    return 0;
}

int scs_p_IsExpressionColumn(const ColDesc* cd) { return cd != nullptr && cd->itemKind == 3 ? 1 : 0; }

uint32_t scs_p_ColAttribute(const SCS_DescCtx* ctx, uint16_t column, ColumnInfo* info, uint32_t nameMask,
                            uint32_t stride, uint32_t attrCount, IngAttrRow* rows) {
    if (ctx == nullptr || !(ctx->flags & kScsDescKeysDone) || ctx->selectCols == nullptr || column == 0 ||
        column > ctx->selectCols->count)
        return 0;
    auto* sc = static_cast<const ColDesc*>(SCR_ArrayAt(ctx->selectCols, column - 1u));
    if (info != nullptr) {
        auto put = [](char** field, const char* text) {
            char* copy = strdup(text);
            if (copy == nullptr) return;
            std::free(*field);
            *field = copy;
        };
        if (nameMask & 1) put(&info->column, sc->column);
        if (nameMask & 2) put(&info->table, sc->table);
        if (nameMask & 4) put(&info->schema, sc->owner);
        if (nameMask & 8) put(&info->catalog, sc->qualifier);
    }
    if (rows == nullptr || column > stride) return 0;
    for (uint32_t b = 0; b < attrCount; ++b) {
        IngAttrRow& r = rows[size_t(b) * stride + (column - 1u)];
        if (r.attribute == -1053) {
            r.value = scs_p_IsKeyColumn(ctx, sc);
            r.attribute = 1053;
        } else if (r.attribute == -1055) {
            r.value = scs_p_IsExpressionColumn(sc);
            r.attribute = 1055;
        }
    }
    return 0;
}
