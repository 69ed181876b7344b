// Table and column descriptions read from the catalog below the cursor layer.
#include "scrs/sc_coldesc.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-optable.h"
#include "scrs/sc_fetchrows.h"
#include "util/dataset.h"
#include "util/scrarray.h"
#include "util/utf.h"
#include "util/errtable.h"

namespace {

constexpr size_t kName = 509;

// Cuts text to at most max bytes without splitting a UTF-8 character.
size_t Utf8Cut(const char* text, size_t len, size_t max) {
    if (len <= max) return len;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

void CopyCut(char* out, const char* text) {
    size_t n = Utf8Cut(text, std::strlen(text), kName - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

void ApplyCase(char* buf, uint32_t c) {
    if (c == 1)
        Utf8ToUpperDup(buf, kName);
    else if (c == 2)
        Utf8ToLowerDup(buf, kName);
}

bool IsQuoted(const char* s, char quote) {
    size_t n = std::strlen(s);
    return quote != 0 && quote != ' ' && n >= 2 && s[0] == quote && s[n - 1] == quote;
}

uint32_t FetchAll(const AgentLink* link, uint32_t stmt, Dataset* all, uint32_t limit = 0);

}  // namespace

uint32_t scs_CatalogFetchAll(const AgentLink* link, uint32_t stmt, Dataset* all, uint32_t limit) {
    return FetchAll(link, stmt, all, limit);
}

namespace {

// Reads the whole result of the catalog call on the statement in blocks of 10 rows.
uint32_t FetchAll(const AgentLink* link, uint32_t stmt, Dataset* all, uint32_t limit) {
    std::memset(all, 0, sizeof *all);
    if (uint32_t rc = scs_p_FetchRows(link, stmt, 10, limit != 0 ? limit : kScsAllRows, true, all)) {
        DatasetFree(all);
        AgentCall<DRV_CloseCursor>(link, stmt);
        return rc;
    }
    AgentCall<DRV_CloseCursor>(link, stmt);
    return 0;
}

}  // namespace

void scs_QuoteName(const char* name, char quote, char* out) {
    if (name == nullptr) name = "";
    if (quote == 0 || quote == ' ') {
        CopyCut(out, name);
        return;
    }
    std::string s(1, quote);
    for (const char* p = name; *p; ++p) {
        if (*p == quote) s += quote;
        s += *p;
    }
    s += quote;
    if (s.size() > kName - 1) {
        // Too long: cut the inside, keep the closing quote and never leave half a doubled quote.
        size_t n = Utf8Cut(s.c_str(), s.size(), kName - 2);
        size_t run = 0;
        for (size_t i = 1; i < n; ++i) run = s[i] == quote ? run + 1 : 0;
        if (run % 2 == 1) --n;
        s.resize(n);
        s += quote;
    }
    std::memcpy(out, s.c_str(), s.size() + 1);
}

void scs_UnquoteName(const char* name, char quote, char* out) {
    if (name == nullptr) name = "";
    if (!IsQuoted(name, quote)) {
        CopyCut(out, name);
        return;
    }
    size_t n = std::strlen(name);
    std::string s;
    for (size_t i = 1; i + 1 < n; ++i) {
        s += name[i];
        if (name[i] == quote && i + 2 < n && name[i + 1] == quote) ++i;
    }
    CopyCut(out, s.c_str());
}

void scs_EscapePattern(const char* name, char* out, size_t size) {
    size_t o = 0;
    for (const char* p = name ? name : ""; *p && o + 2 < size; ++p) {
        if (*p == '_' || *p == '%') out[o++] = '\\';
        out[o++] = *p;
    }
    out[o] = 0;
}

void scs_p_NormaliseIdent(char* ident, char quote, uint32_t quotedCase, uint32_t identCase, uint32_t textConv,
                          int requote) {
    (void)textConv;  // case mapping is Unicode-aware on UTF-8 text either way
    if (ident == nullptr || ident[0] == 0) return;
    char plain[kName];
    bool quoted = IsQuoted(ident, quote);
    if (quoted) {
        scs_UnquoteName(ident, quote, plain);
        ApplyCase(plain, quotedCase);
    } else {
        CopyCut(plain, ident);
        ApplyCase(plain, identCase);
    }
    bool stayPlain = quote == 0 || quote == ' ' || !requote;
    if (!quoted && ((identCase == 3 && quotedCase != 3) || (identCase == 2 && quotedCase == 1) ||
                    (identCase == 1 && quotedCase == 2)))
        stayPlain = true;
    if (stayPlain)
        std::memcpy(ident, plain, std::strlen(plain) + 1);
    else
        scs_QuoteName(plain, quote, ident);
}

uint32_t scs_p_CatValueText(const uint8_t* cell, uint32_t kind, uint32_t width, const char** narrow,
                            const uint16_t** wide, uint32_t* len) {
    *narrow = nullptr;
    *wide = nullptr;
    *len = 0;
    uint32_t n = 0;
    switch (kind) {
        case DS_CHAR:
            *narrow = reinterpret_cast<const char*>(cell);
            n = width;
            break;
        case DS_CHAR_REF: {
            DsRef r = DatasetRefGet(cell);
            *narrow = r.ptr ? static_cast<const char*>(r.ptr) : "";
            n = r.ptr ? r.length : 0;
            break;
        }
        case DS_CHAR_NTS:
            *narrow = reinterpret_cast<const char*>(cell);
            n = uint32_t(strnlen(*narrow, width));
            break;
        case DS_CHAR_LEN1:
            n = cell[0];
            *narrow = reinterpret_cast<const char*>(cell + 1);
            break;
        case DS_CHAR_LEN2: {
            uint16_t l;
            std::memcpy(&l, cell, 2);
            n = l;
            *narrow = reinterpret_cast<const char*>(cell + 2);
            break;
        }
        case DS_CHAR_LEN4:
            std::memcpy(&n, cell, 4);
            *narrow = reinterpret_cast<const char*>(cell + 4);
            break;
        case DS_WCHAR:
            *wide = reinterpret_cast<const uint16_t*>(cell);
            n = width / 2;
            break;
        case DS_WCHAR_NTS: {
            *wide = reinterpret_cast<const uint16_t*>(cell);
            uint16_t u;
            while (n < width / 2 && (std::memcpy(&u, cell + 2 * n, 2), u != 0)) ++n;
            break;
        }
        case DS_WCHAR_REF: {
            DsRef r = DatasetRefGet(cell);
            *wide = static_cast<const uint16_t*>(r.ptr);
            n = r.ptr ? r.length : 0;
            break;
        }
        case DS_WCHAR_LEN4:
            std::memcpy(&n, cell, 4);
            *wide = reinterpret_cast<const uint16_t*>(cell + 4);
            break;
        default:
            return kErrGeneral;
    }
    // A prefix never claims more than the element holds.
    if ((kind >= DS_CHAR_LEN1 && kind <= DS_CHAR_LEN4)) {
        uint32_t pre = kind == DS_CHAR_LEN1 ? 1 : kind == DS_CHAR_LEN2 ? 2 : 4;
        if (width >= pre && n > width - pre) n = width - pre;
    }
    if (kind == DS_WCHAR_LEN4 && width >= 4 && n > (width - 4) / 2) n = (width - 4) / 2;
    *len = n > 508 ? 508 : n;
    return 0;
}

uint32_t scs_p_CatCellText(const void* dataset, uint32_t row, uint16_t col, char* buf) {
    const auto* ds = static_cast<const Dataset*>(dataset);
    buf[0] = 0;
    if (ds == nullptr || col >= ds->col_count || row >= ds->rows_used) return kErrGeneral;
    const DatasetColumn& c = ds->cols[col];
    if (c.indicators[row] == DS_IND_NULL) return 0;
    const char* narrow;
    const uint16_t* wide;
    uint32_t n;
    if (scs_p_CatValueText(DatasetCell(&c, row), c.kind, c.width, &narrow, &wide, &n) != 0) return kErrGeneral;
    if (narrow != nullptr) {
        size_t k = Utf8Cut(narrow, n, kName - 1);
        std::memcpy(buf, narrow, k);
        buf[k] = 0;
        buf[strnlen(buf, k)] = 0;
    } else if (wide != nullptr) {
        // Unaligned cells are copied before conversion.
        std::u16string w(n, u'\0');
        std::memcpy(w.data(), wide, size_t(n) * 2);
        size_t consumed = 0;
        size_t k = WideToUtf8N(reinterpret_cast<const SQLWCHAR*>(w.data()), buf, n, kName - 1, &consumed);
        buf[k] = 0;
        buf[strnlen(buf, k)] = 0;
    }
    return 0;
}

namespace {

// Integer cell of any integer kind; false for NULL or another kind.
bool CellInt(const Dataset* ds, uint32_t row, uint16_t col, int64_t* out) {
    if (col >= ds->col_count || row >= ds->rows_used) return false;
    const DatasetColumn& c = ds->cols[col];
    if (c.indicators[row] == DS_IND_NULL) return false;
    const uint8_t* p = DatasetCell(&c, row);
    switch (c.kind) {
        case DS_BIT:
        case DS_UTINYINT:
            *out = *p;
            return true;
        case DS_TINYINT:
            *out = int8_t(*p);
            return true;
        case DS_SMALLINT: {
            int16_t v;
            std::memcpy(&v, p, 2);
            *out = v;
            return true;
        }
        case DS_USMALLINT: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            *out = v;
            return true;
        }
        case DS_INTEGER: {
            int32_t v;
            std::memcpy(&v, p, 4);
            *out = v;
            return true;
        }
        case DS_UINTEGER: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            *out = v;
            return true;
        }
        default: {
            char buf[kName];
            if (scs_p_CatCellText(ds, row, col, buf) != 0 || buf[0] == 0) return false;
            char* end;
            long long v = std::strtoll(buf, &end, 10);
            if (*end != 0) return false;
            *out = v;
            return true;
        }
    }
}

}  // namespace

int scs_CellInt(const void* ds, uint32_t row, uint16_t col, int64_t* out) {
    return CellInt(static_cast<const Dataset*>(ds), row, col, out) ? 1 : 0;
}

namespace {

// Catalog owner or table argument: without quotes, in the case its quoting calls for.
void CatalogName(const char* text, const SCS_DescCtx* ctx, char* out) {
    if (IsQuoted(text, ctx->quote)) {
        scs_UnquoteName(text, ctx->quote, out);
        ApplyCase(out, ctx->quotedCase);
    } else {
        CopyCut(out, text);
        ApplyCase(out, ctx->identCase);
    }
}

void ReplaceText(char** field, const char* text) {
    char* copy = strdup(text);
    if (copy == nullptr) return;
    std::free(*field);
    *field = copy;
}

uint32_t ResolveTable(SCS_DescCtx* ctx, SCR_TableRef* t) {
    for (int pass = 0; pass < 2; ++pass) {
        char owner[kName], table[kName], qual[kName];
        char ownerPat[2 * kName], tablePat[2 * kName];
        CatalogName(t->owner ? t->owner : "", ctx, owner);
        if (owner[0] == 0) {
            if (pass == 0)
                std::strcpy(owner, "%");
            else
                CopyCut(owner, ctx->userName ? ctx->userName : "");
        }
        CatalogName(t->table ? t->table : "", ctx, table);
        scs_UnquoteName(t->qualifier ? t->qualifier : "", ctx->quote, qual);
        // Names are matched exactly: a "_" in a name is no wildcard.
        if (std::strcmp(owner, "%") == 0)
            std::memcpy(ownerPat, "%", 2);
        else
            scs_EscapePattern(owner, ownerPat, sizeof ownerPat);
        scs_EscapePattern(table, tablePat, sizeof tablePat);
        char types[1] = {0};
        const IngTablesArgs args{qual[0] ? qual : nullptr, ownerPat, tablePat, types};
        uint32_t rc = AgentCall<DRV_DDTables>(ctx->lower, ctx->auxStmt, &args);
        if (rc != 0) {
            IngLog(LOGL_ERROR, "scs_p_GetTblAttribs: DRV_DDTables failed (%s).", table);
            return rc;
        }
        Dataset rows{};
        rc = FetchAll(ctx->lower, ctx->auxStmt, &rows, 10);
        if (rc != 0) {
            IngLog(LOGL_ERROR, "scs_p_GetTblDescs: Couldn't fetch table descriptors.");
            return rc;
        }
        uint32_t n = rows.rows_used;
        if (n == 0) {
            DatasetFree(&rows);
            if (ctx->messages) IngDiagPostCode(ctx->messages, kErrTableNotFound);
            IngLog(LOGL_ERROR, "scs_p_GetTblDescs: Table %s does not exist.", table);
            return kErrTableNotFound;
        }
        if (n >= 2) {
            DatasetFree(&rows);
            IngLog(LOGL_ERROR, "scs_p_GetTblDescs: Duplicate table name (%s).\n\tRequire owner qualifier to resolve.",
                   table);
            // An owner written in the statement leaves nothing to retry.
            if (pass == 0 && (t->owner == nullptr || t->owner[0] == 0)) {
                IngLog(LOGL_ERROR, "Trying current username (%s) as owner qualifier.",
                       ctx->userName ? ctx->userName : "");
                continue;
            }
            return kErrAmbiguousTable;
        }
        char cat[kName], schem[kName], name[kName], q[kName];
        uint32_t r1 = scs_p_CatCellText(&rows, 0, 0, cat);
        uint32_t r2 = scs_p_CatCellText(&rows, 0, 1, schem);
        uint32_t r3 = scs_p_CatCellText(&rows, 0, 2, name);
        DatasetFree(&rows);
        if (r1 | r2 | r3) return kErrGeneral;
        if (cat[0]) {
            scs_QuoteName(cat, ctx->quote, q);
            ReplaceText(&t->qualifier, q);
        }
        if (schem[0]) {
            scs_QuoteName(schem, ctx->quote, q);
            ReplaceText(&t->owner, q);
        }
        scs_QuoteName(name, ctx->quote, q);
        ReplaceText(&t->table, q);
        return 0;
    }
    return kErrAmbiguousTable;
}

}  // namespace

uint32_t scs_p_GetTblDescs(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count) {
    if (ctx == nullptr || tables == nullptr) return kErrGeneral;
    if (count > tables->count) count = tables->count;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t rc = ResolveTable(ctx, static_cast<SCR_TableRef*>(SCR_ArrayAt(tables, i)));
        if (rc != 0) return rc;
    }
    return 0;
}

uint32_t scs_p_GetTblColDescs(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, int skipLong, SCR_Array* out) {
    if (ctx == nullptr || tables == nullptr || out == nullptr) return kErrGeneral;
    if (count > tables->count) count = tables->count;
    auto* cd = static_cast<ColDesc*>(std::calloc(1, sizeof(ColDesc)));
    if (cd == nullptr) return kErrNoMemory;
    uint32_t rc = 0;
    for (uint32_t i = 0; rc == 0 && i < count; ++i) {
        auto* t = static_cast<SCR_TableRef*>(SCR_ArrayAt(tables, i));
        char qual[kName], owner[kName], table[kName];
        char ownerPat[2 * kName], tablePat[2 * kName], colPat[2] = "%";
        scs_UnquoteName(t->qualifier, ctx->quote, qual);
        scs_UnquoteName(t->owner, ctx->quote, owner);
        scs_UnquoteName(t->table, ctx->quote, table);
        if (owner[0] == 0)
            std::strcpy(ownerPat, "%");
        else
            scs_EscapePattern(owner, ownerPat, sizeof ownerPat);
        if (table[0] == 0)
            std::strcpy(tablePat, "%");
        else
            scs_EscapePattern(table, tablePat, sizeof tablePat);
        const IngColumnsArgs args{qual[0] ? qual : nullptr, ownerPat, tablePat, colPat};
        rc = AgentCall<DRV_DDColumns>(ctx->lower, ctx->auxStmt, &args);
        if (rc != 0) {
            IngLog(LOGL_ERROR, "scs_p_GetTblColDescs: DRV_DDColumns failed.");
            break;
        }
        Dataset rows{};
        rc = FetchAll(ctx->lower, ctx->auxStmt, &rows);
        if (rc != 0) {
            IngLog(LOGL_ERROR, "scs_p_GetTblColDescs: Couldn't fetch column descriptors.");
            break;
        }
        if (rows.rows_used == 0) {
            // Every table has a column: a catalog that lists none no longer has the table.
            char text[2 * kName + 96];
            std::snprintf(text, sizeof text, "Table or view not found: the catalog lists no columns of %s%s%s",
                          owner[0] ? owner : "", owner[0] ? "." : "", table);
            if (ctx->messages) IngDiagPostDriver(ctx->messages, text, kErrTableNotFound);
            rc = kErrTableNotFound;
        }
        for (uint32_t r = 0; rc == 0 && r < rows.rows_used; ++r) {
            int64_t type = 0, size = 0, digits = 0;
            CellInt(&rows, r, 4, &type);
            if (skipLong && (type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY || type == SQL_LONGVARCHAR))
                continue;
            std::memset(cd, 0, sizeof *cd);
            char name[kName];
            if (scs_p_CatCellText(&rows, r, 3, name) != 0) {
                rc = kErrGeneral;
                break;
            }
            scs_QuoteName(name, ctx->quote, cd->column);
            CopyCut(cd->table, t->table ? t->table : "");
            CopyCut(cd->alias, t->alias ? t->alias : "");
            CopyCut(cd->owner, t->owner ? t->owner : "");
            CopyCut(cd->qualifier, t->qualifier ? t->qualifier : "");
            cd->sqlType = int16_t(type);
            if (CellInt(&rows, r, 6, &size) && size > 0) cd->columnSize = uint32_t(size);
            if ((type == SQL_NUMERIC || type == SQL_DECIMAL) && CellInt(&rows, r, 8, &digits))
                cd->decimalDigits = int16_t(digits);
            cd->itemKind = 4;
            if (!SCR_ArrayAppend(out, cd)) rc = kErrNoMemory;
        }
        DatasetFree(&rows);
    }
    std::free(cd);
    return rc;
}

uint32_t scs_p_SelectColsGet(SCS_DescCtx* ctx, SCR_Array* out, SCR_Array** itemsOut) {
    if (ctx == nullptr || out == nullptr || ctx->analysis == nullptr || ctx->tables == nullptr) return kErrGeneral;
    SCR_Array* items = SCR_ArrayCreate(sizeof(ColDesc));
    if (items == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_SelectListExpand(ctx->analysis, items);
    SCR_Array* tables = ctx->tables;
    for (uint32_t i = 0; rc == 0 && i < items->count; ++i) {
        auto* item = static_cast<ColDesc*>(SCR_ArrayAt(items, i));
        switch (item->itemKind) {
            case 1:
                rc = scs_p_GetTblColDescs(ctx, tables, tables->count, 0, out);
                if (rc != 0) IngLog(LOGL_DEBUG, "scs_p_SelectColsGet failed");
                break;
            case 2: {
                SCR_TableRef* found = nullptr;
                for (uint32_t t = 0; found == nullptr && t < tables->count; ++t) {
                    auto* ref = static_cast<SCR_TableRef*>(SCR_ArrayAt(tables, t));
                    if (ref->alias && ref->alias[0] && std::strcmp(ref->alias, item->table) == 0) {
                        found = ref;
                        CopyCut(item->alias, ref->alias);
                        CopyCut(item->table, ref->table ? ref->table : "");
                    }
                }
                if (found == nullptr) {
                    char norm[kName];
                    CopyCut(norm, item->table);
                    scs_p_NormaliseIdent(norm, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv, 1);
                    for (uint32_t t = 0; found == nullptr && t < tables->count; ++t) {
                        auto* ref = static_cast<SCR_TableRef*>(SCR_ArrayAt(tables, t));
                        if (ref->table && std::strcmp(ref->table, norm) == 0) found = ref;
                    }
                }
                if (found == nullptr) {
                    IngLog(LOGL_DEBUG, "scs_p_SelectColsGet: Unable to find descriptor for table/alias %s",
                           item->table);
                    rc = kErrGeneral;
                    break;
                }
                SCR_Array one{1, 1, found, sizeof(SCR_TableRef)};
                rc = scs_p_GetTblColDescs(ctx, &one, 1, 0, out);
                if (rc != 0) IngLog(LOGL_DEBUG, "scs_p_SelectColsGet failed");
                break;
            }
            case 3:
            case 4:
                if (!SCR_ArrayAppend(out, item)) rc = kErrNoMemory;
                break;
            default:
                rc = kErrGeneral;
        }
    }
    if (rc == 0 && itemsOut != nullptr)
        *itemsOut = items;
    else
        SCR_ArrayFree(&items, nullptr);
    return rc;
}

void ParamDescFromColDesc(ParamDescEntry* out, const ColDesc* cd) {
    out->sqlType = cd->sqlType;
    out->columnSize = cd->columnSize;
    out->decimalDigits = uint16_t(cd->decimalDigits);
    out->paramType = SQL_PARAM_INPUT;
    switch (cd->sqlType) {
        case SQL_WLONGVARCHAR:
        case SQL_WVARCHAR:
        case SQL_WCHAR:
            out->cType = SQL_C_WCHAR;
            break;
        case SQL_BIT:
            out->cType = SQL_C_BIT;
            break;
        case SQL_TINYINT:
            out->cType = SQL_C_TINYINT;
            break;
        case SQL_LONGVARBINARY:
        case SQL_VARBINARY:
        case SQL_BINARY:
            out->cType = SQL_C_BINARY;
            break;
        case SQL_INTEGER:
            out->cType = SQL_C_LONG;
            break;
        case SQL_SMALLINT:
            out->cType = SQL_C_SHORT;
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            out->cType = SQL_C_DOUBLE;
            break;
        case SQL_REAL:
            out->cType = SQL_C_FLOAT;
            break;
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
            out->cType = cd->sqlType;
            break;
        default:
            out->cType = SQL_C_CHAR;
            break;
    }
}

uint32_t ParamDescsAppend(SCS_DescCtx* ctx, const ColDesc* cols, uint32_t count, int withOwn) {
    if (ctx == nullptr || (cols == nullptr && count != 0)) return kErrGeneral;
    uint32_t own = withOwn && ctx->ownParams ? ctx->ownParamCount : 0;
    uint32_t total = uint32_t(ctx->paramDescCount) + count + own;
    // The count travels as 16 bits to the agent.
    if (total > 0xFFFF) return kErrGeneral;
    auto* arr = static_cast<ParamDescEntry*>(std::calloc(total ? total : 1, sizeof(ParamDescEntry)));
    if (arr == nullptr) return kErrNoMemory;
    if (ctx->paramDescCount) std::memcpy(arr, ctx->paramDescs, sizeof(ParamDescEntry) * ctx->paramDescCount);
    uint32_t n = ctx->paramDescCount;
    for (uint32_t i = 0; i < count; ++i) ParamDescFromColDesc(&arr[n++], &cols[i]);
    if (own) std::memcpy(&arr[n], ctx->ownParams, sizeof(ParamDescEntry) * own);
    std::free(ctx->paramDescs);
    ctx->paramDescs = arr;
    ctx->paramDescCount = uint16_t(total);
    return 0;
}

void ParamDescsReset(SCS_DescCtx* ctx) {
    std::free(ctx->paramDescs);
    ctx->paramDescs = nullptr;
    ctx->paramDescCount = 0;
}

char* scs_p_QualifyColName(uint32_t tableCount, const ColDesc* cd) {
    std::string s;
    if (tableCount > 1) {
        if (cd->alias[0])
            s = std::string(cd->alias) + ".";
        else if (cd->owner[0])
            s = std::string(cd->owner) + "." + cd->table + ".";
        else if (cd->table[0])
            s = std::string(cd->table) + ".";
    }
    s += cd->column;
    return strdup(s.c_str());
}

int scs_p_IdentEqual(const char* a, const char* b, char quote, uint32_t quotedCase, uint32_t identCase,
                     uint32_t textConv) {
    (void)textConv;
    if (a == nullptr || b == nullptr || a[0] == 0 || b[0] == 0) return 0;
    char x[kName], y[kName];
    const char* in[2] = {a, b};
    char* out[2] = {x, y};
    for (int i = 0; i < 2; ++i) {
        bool quoted = quote != 0 && quote != ' ' && in[i][0] == quote;
        if (quoted)
            scs_UnquoteName(in[i], quote, out[i]);
        else
            CopyCut(out[i], in[i]);
        uint32_t c = quoted ? quotedCase : identCase;
        if (c == 1 || c == 4)
            Utf8ToUpperDup(out[i], kName);
        else if (c == 2)
            Utf8ToLowerDup(out[i], kName);
    }
    return std::strcmp(x, y) == 0 ? 1 : 0;
}

void SCS_DescCtxRelease(SCS_DescCtx* ctx) {
    if (ctx == nullptr) return;
    SCR_ArrayFree(&ctx->tableCols, nullptr);
    SCR_ArrayFree(&ctx->selectCols, nullptr);
    SCR_ArrayFree(&ctx->orderBy, nullptr);
    SCR_ArrayFree(&ctx->keyCols, nullptr);
    ParamDescsReset(ctx);
    ctx->flags &= ~kScsDescKeysDone;
}
