// Base names of the result columns of a SELECT for the agent's extended describe, on a statement
// whose describe-keys option is set: the table, schema and catalog each column
// comes from, its column name in that table, whether it is an expression and whether it is one
// of its table's key columns. The select list is analysed and its tables resolved through the
// catalog on the statement's first auxiliary statement; the names are kept until the text
// changes.
#include <cstdlib>
#include <cstring>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-info.h"
#include "scrs/sc_catalog.h"
#include "scrs/ks.h"
#include "scrs/sc_coldesc.h"
#include "scrs/sc_cursor.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_node.h"
#include "util/dataset.h"
#include "util/scrarray.h"
#include "util/strutil.h"
#include "util/log.h"
#include "util/trymem.h"
#include "util/errtable.h"

namespace {

struct NamedColumn {
    char* table;  // all null for an expression or a column the analysis could not place
    char* schema;
    char* catalog;
    char* column;
    uint8_t expression;
    uint8_t key;  // the column is one of its table's key columns
};

struct SelectNames {
    char* text;
    uint16_t count;  // 0: the statement's columns cannot be told
    NamedColumn* cols;
};

constexpr size_t kName = 509;

void FreeNames(SelectNames* n) {
    if (n == nullptr) return;
    for (uint16_t i = 0; n->cols && i < n->count; ++i) {
        TryFree(n->cols[i].table);
        TryFree(n->cols[i].schema);
        TryFree(n->cols[i].catalog);
        TryFree(n->cols[i].column);
    }
    TryFree(n->cols);
    TryFree(n->text);
    TryFree(n);
}

bool BeginsSelect(const char* text) {
    if (text == nullptr) return false;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n' || *text == '(') ++text;
    return KeywordMatch("SELECT", text) != nullptr;
}

char* Plain(const char* name, char quote) {
    char out[kName];
    scs_UnquoteName(name ? name : "", quote, out);
    return TryStrdup(out);
}

uint32_t AuxStatement(SCS_Cursor* c, uint32_t conn) {
    if (c->auxStmt[0] == 0) {
        uint32_t h = 0;
        if (AgentCall<DRV_AllocStmt>(SCS_LowerLink(), conn, &h) != 0) return 0;
        c->auxStmt[0] = h;
    }
    return c->auxStmt[0];
}

const SCR_TableRef* TableOf(const SCR_Array* tables, const ColDesc* sc) {
    if (tables->count == 1) return static_cast<const SCR_TableRef*>(SCR_ArrayAt(tables, 0));
    if (sc->table[0] == 0) return nullptr;
    for (uint32_t t = 0; t < tables->count; ++t) {
        auto* ref = static_cast<const SCR_TableRef*>(SCR_ArrayAt(tables, t));
        if ((ref->alias && std::strcmp(ref->alias, sc->table) == 0) ||
            (ref->table && std::strcmp(ref->table, sc->table) == 0))
            return ref;
    }
    return nullptr;
}

// A select-list column is a key column when a key of the table it comes from has its name.
bool IsKey(const SCS_DescCtx* ctx, const SCR_TableRef* ref, const ColDesc* sc) {
    for (uint32_t k = 0; ctx->keyCols != nullptr && k < ctx->keyCols->count; ++k) {
        auto* key = static_cast<const ColDesc*>(SCR_ArrayAt(ctx->keyCols, k));
        if (std::strcmp(key->table, ref->table ? ref->table : "") != 0 ||
            std::strcmp(key->owner, ref->owner ? ref->owner : "") != 0)
            continue;
        if (scs_p_IdentEqual(key->column, sc->column, ctx->quote, ctx->quotedCase, ctx->identCase, ctx->textConv))
            return true;
    }
    return false;
}

// What the catalog tells of a SELECT's select list: its analysis, tables resolved, select columns
// (completed from the tables' columns when asked, or when a join needs them to place a column)
// and the tables' key columns. Everything is released with the record.
struct SelectLook {
    SCR_Analysis a{};
    SCR_Array* tables = nullptr;
    SCR_Array* selectCols = nullptr;
    SCR_Array* tableCols = nullptr;
    SCR_Array* items = nullptr;  // the select-list items as written (wildcards unexpanded)
    SCS_DescCtx ctx{};
    char quoteText[8] = {0};
    char user[256] = {0};
    bool keysKnown = false;  // the key columns were found (a table without any leaves none)

    SelectLook() { SCR_AnalysisInit(&a); }
    ~SelectLook() {
        // The look-ups' messages are not the application's: its statement did not fail.
        if (ctx.auxStmt != 0)
            if (IngDiagList* aux = IngAskStmtMessages(ctx.auxStmt)) IngDiagClear(aux);
        ctx.tableCols = nullptr;
        ctx.selectCols = nullptr;
        ctx.analysis = nullptr;
        ctx.tables = nullptr;
        SCS_DescCtxRelease(&ctx);
        SCR_ArrayFree(&items, nullptr);
        SCR_ArrayFree(&tableCols, nullptr);
        SCR_ArrayFree(&selectCols, nullptr);
        SCR_ArrayFree(&tables, SCR_TableRefFree);
        SCR_AnalysisFree(&a);
    }
    SelectLook(const SelectLook&) = delete;
    SelectLook& operator=(const SelectLook&) = delete;
};

// Looks the select list of text up; false when the statement's columns cannot be told.
bool LookUp(SCS_Cursor* s, const char* text, bool tableColumns, SelectLook* L) {
    SCS_Cursor& c = *s;
    const uint32_t conn = s->agentConn;
    SCS_DescCtx& ctx = L->ctx;
    uint32_t identCase = 1, quotedCase = 4;
    uint16_t got = 0;
    ctx.lower = SCS_LowerLink();
    if (AgentInfoItem(ctx.lower, conn, 29, L->quoteText, int16_t(sizeof L->quoteText), &got) == 0 &&
        L->quoteText[0] != ' ')
        ctx.quote = L->quoteText[0];
    (void)AgentInfoItem(ctx.lower, conn, 28, &identCase, 4, &got);
    (void)AgentInfoItem(ctx.lower, conn, 93, &quotedCase, 4, &got);
    (void)AgentInfoItem(ctx.lower, conn, 47, L->user, int16_t(sizeof L->user), &got);
    ctx.identCase = identCase;
    ctx.quotedCase = quotedCase;
    ctx.userName = L->user;
    bool ok = SCR_AnalyseSQL(&L->a, text, 0, 1) == 0 && L->a.kind == SCR_K_SELECT && !(L->a.flags & SCR_F_UNION);
    if (ok) {
        L->tables = SCR_ArrayCreate(sizeof(SCR_TableRef));
        ok = L->tables != nullptr && SCR_TablesGet(&L->a, L->tables, 1) == 0 && L->tables->count > 0;
    }
    if (ok) {
        ctx.auxStmt = AuxStatement(&c, conn);
        ctx.analysis = &L->a;
        ctx.tables = L->tables;
        ok = ctx.auxStmt != 0 && scs_p_GetTblDescs(&ctx, L->tables, L->tables->count) == 0;
    }
    if (ok) {
        L->selectCols = SCR_ArrayCreate(sizeof(ColDesc));
        ok = L->selectCols != nullptr &&
             scs_p_SelectColsGet(&ctx, L->selectCols, tableColumns ? &L->items : nullptr) == 0;
    }
    if (ok && (tableColumns || L->tables->count > 1)) {
        // Which table an unqualified column of a join comes from only the tables' columns tell.
        L->tableCols = SCR_ArrayCreate(sizeof(ColDesc));
        ok = L->tableCols != nullptr && scs_p_GetTblColDescs(&ctx, L->tables, L->tables->count, 0, L->tableCols) == 0;
        if (ok) {
            ctx.tableCols = L->tableCols;
            ctx.selectCols = L->selectCols;
            ok = scs_p_SelectCol_ColDescComplete(&ctx) == 0;
        }
    }
    // The key columns: the tables' primary keys, else those a keyset cursor would take. A table
    // without any leaves its columns unmarked; a failed look-up marks none.
    if (ok) {
        ctx.keyCache = static_cast<HashTable*>(IngAskConnKeyColCache(conn));
        ctx.keyCols = SCR_ArrayCreate(sizeof(ColDesc));
        uint32_t krc = ctx.keyCols != nullptr ? KS_GetKeyColDescs_PKeys(&ctx, L->tables, L->tables->count, nullptr)
                                              : uint32_t(kErrNoMemory);
        if (krc != 0 && krc != kErrNoMemory) krc = KS_GetKeyColDescs(&ctx, L->tables);
        L->keysKnown = krc == 0 || krc == kErrNoKeys;
    }
    return ok;
}

// The names of a statement's select list; count 0 when the analysis cannot tell them.
SelectNames* Build(SCS_Cursor* s, uint16_t resultCount) {
    auto* names = static_cast<SelectNames*>(TryCalloc(1, sizeof(SelectNames)));
    if (names == nullptr) return nullptr;
    names->text = TryStrdup(IngAskStmtSource(s->agentStmt));
    if (names->text == nullptr) {
        FreeNames(names);
        return nullptr;
    }
    SelectLook look;
    const bool ok = LookUp(s, IngAskStmtSource(s->agentStmt), false, &look) && look.selectCols->count == resultCount;
    if (ok) names->cols = static_cast<NamedColumn*>(TryCalloc(resultCount ? resultCount : 1, sizeof(NamedColumn)));
    if (ok && names->cols != nullptr) {
        const SCS_DescCtx& ctx = look.ctx;
        names->count = resultCount;
        for (uint16_t i = 0; i < resultCount; ++i) {
            auto* sc = static_cast<const ColDesc*>(SCR_ArrayAt(look.selectCols, i));
            NamedColumn& n = names->cols[i];
            if (sc->itemKind == 3) {
                n.expression = 1;
                continue;
            }
            const SCR_TableRef* ref = TableOf(look.tables, sc);
            if (ref == nullptr) continue;
            n.table = Plain(ref->table, ctx.quote);
            n.schema = Plain(ref->owner, ctx.quote);
            n.catalog = Plain(ref->qualifier, ctx.quote);
            n.column = Plain(sc->column, ctx.quote);
            n.key = look.keysKnown && IsKey(&ctx, ref, sc) ? 1 : 0;
        }
    }
    return names;
}

bool AddRow(IngAttrList* list, uint16_t column, int16_t attribute, int64_t value, const char* text) {
    IngAttrRow* rows = static_cast<IngAttrRow*>(std::realloc(list->rows, (list->count + 1u) * sizeof(IngAttrRow)));
    if (rows == nullptr) return false;
    list->rows = rows;
    IngAttrRow& r = rows[list->count];
    std::memset(&r, 0, sizeof r);
    r.column = column;
    r.attribute = attribute;
    if (text != nullptr) {
        r.form = 0;
        r.text = strdup(text);
        if (r.text == nullptr) return false;
    } else {
        r.form = 1;
        r.value = value;
    }
    ++list->count;
    return true;
}

bool SetText(char** field, const char* text) {
    if (text == nullptr || text[0] == 0) return true;
    char* copy = strdup(text);
    if (copy == nullptr) return false;
    std::free(*field);
    *field = copy;
    return true;
}

// Attribute numbers of the rows added (SQLColAttribute field identifiers).
constexpr int16_t kBaseColumnName = 22;  // SQL_DESC_BASE_COLUMN_NAME
constexpr int16_t kUpdatable = SQL_DESC_UPDATABLE;
constexpr int16_t kKeyColumn = 1053;
constexpr int16_t kExpression = 1055;

}  // namespace

namespace {
void DropNames(SCS_Cursor* c) {
    FreeNames(static_cast<SelectNames*>(c->selectNames));
    c->selectNames = nullptr;
}
}  // namespace

void SCS_SelectNamesFree(SCS_Cursor* c) {
    if (c == nullptr) return;
    DropNames(c);
    SCS_ResultColsFree(c);
}

uint32_t SCS_DescribeSelectNames(uint32_t stmt, uint16_t count, ColumnInfo* cols, IngAttrList* rows) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr || cols == nullptr || rows == nullptr || count == 0 ||
        !BeginsSelect(IngAskStmtSource(s->agentStmt)))
        return 0;
    SCS_Cursor& c = *s;
    // Only statements the layer opened keep names: it frees them with the statement.
    if (c.link != SCS_LowerLink()) return 0;
    // The look-ups cost catalog queries: only a statement that asks for its columns' descriptions
    // (the describe-keys options) pays for them.
    if (IngAskStmtDescribeKeys(s->agentStmt) == 0 && IngAskStmtDescribeAddKeys(s->agentStmt) == 0) return 0;
    auto* names = static_cast<SelectNames*>(c.selectNames);
    if (names != nullptr &&
        (std::strcmp(names->text, IngAskStmtSource(s->agentStmt)) != 0 || (names->count && names->count != count))) {
        DropNames(&c);
        names = nullptr;
    }
    if (names == nullptr) {
        names = Build(s, count);
        if (names == nullptr) return kErrNoMemory;
        c.selectNames = names;
    }
    for (uint16_t i = 0; i < names->count && i < count; ++i) {
        const NamedColumn& n = names->cols[i];
        const uint16_t col = uint16_t(i + 1);
        bool ok =
            AddRow(rows, col, kExpression, n.expression, nullptr) && AddRow(rows, col, kKeyColumn, n.key, nullptr);
        if (n.expression) {
            ok = ok && AddRow(rows, col, kUpdatable, SQL_ATTR_READONLY, nullptr);
        } else if (n.column != nullptr) {
            ok = ok && AddRow(rows, col, kBaseColumnName, 0, n.column) && SetText(&cols[i].table, n.table) &&
                 SetText(&cols[i].schema, n.schema) && SetText(&cols[i].catalog, n.catalog);
        }
        if (!ok) return kErrNoMemory;
    }
    return 0;
}

uint32_t SCS_SelectListAddKeys(SCS_Cursor* s, const char* text) {
    if (s == nullptr || text == nullptr || !BeginsSelect(text)) return 0;
    if (s->link != SCS_LowerLink()) return 0;
    SelectLook look;
    // A select list the catalog cannot tell runs as the application wrote it.
    if (!LookUp(s, text, true, &look) || !look.keysKnown) return 0;
    // Keys added to a DISTINCT would make rows of one value rows of their own.
    if (look.a.flags & SCR_F_DISTINCT) return 0;
    SCS_DescCtx& ctx = look.ctx;
    ctx.selectCols = look.selectCols;
    ctx.tableCols = look.tableCols;
    ctx.attrOption = kStmtOptDescribeAddKeys;
    int changed = 0;
    uint32_t rc = scs_p_SelListAddKeysnXpandWC(&ctx, look.items, &changed);
    if (rc == kErrNoMemory) return rc;
    if (rc != 0 || !changed) {
        if (rc != 0) log_printf(LOGL_DEBUG, __FILE__, __LINE__, "scs_p_SelListAddKeysnXpandWC failed");
        return 0;
    }
    const std::string extended = look.a.text;
    return AgentCall<DRV_Prepare>(SCS_LowerLink(), s->agentStmt, extended.c_str());
}
