// Catalog entry points and type information on the ODBC side.
#include "odbc/catalog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "drv_ingii/i-cat.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "util/dataset.h"
#include "util/trace.h"
#include "util/errtable.h"

namespace {

bool StmtAgentOf(StmtRecord* stmt, const AgentLink** link, uint32_t* agentStmt) {
    if (stmt == nullptr || stmt->link == nullptr || stmt->agentStmt == 0) return false;
    *link = stmt->link;
    *agentStmt = stmt->agentStmt;
    return true;
}
void FreeResultCols(StmtRecord* stmt) { StmtFreeResultCols(stmt); }
uint16_t FlagsOf(ConnRecord* conn) { return conn ? conn->flags : 0; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// One text argument: its pointer and length as the application gave them.
struct TextArg {
    const char* text;
    int64_t len;
};

// How one function reads its texts: the default of each when NULL (null: required), and
// whether texts lose a pair of quotes.
struct TextRule {
    const char* dflt;
    bool required;
};

// Steps 1 and 2 of every catalog call: close the cursor, require the allocated state, drop the
// old descriptions.
bool Begin(StmtRecord* stmt) {
    StmtCloseCursor(stmt);
    if (StmtDescribable(stmt)) {
        stmt->lastError = kErrSequence;
        return false;
    }
    g_CatalogServices.freeResultCols(stmt);
    return true;
}

// Steps 3 to 5: check lengths and required names, copy with defaults and quote removal.
bool CopyTexts(StmtRecord* stmt, const TextArg* in, const TextRule* rules, size_t n, bool lenient,
               std::vector<std::string>* out) {
    for (size_t i = 0; i < n; ++i) {
        if (in[i].len < 0 && in[i].len != SQL_NTS && !lenient) {
            stmt->lastError = kErrBadArg;
            return false;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        if (in[i].text == nullptr && rules[i].required) {
            stmt->lastError = kErrBadArg;
            return false;
        }
    }
    out->clear();
    for (size_t i = 0; i < n; ++i) {
        if (in[i].text == nullptr) {
            out->emplace_back(rules[i].dflt ? rules[i].dflt : "");
        } else {
            int64_t len = in[i].len < 0 ? SQL_NTS : in[i].len;
            out->push_back(CatalogUnquote(in[i].text, len));
        }
    }
    return true;
}

// A keyset-driven or dynamic statement serves a catalog result static and read-only, and keeps
// those options: the statement's attributes read what the cursor is.
void CursorReadBack(StmtRecord* stmt, const AgentLink* link, uint32_t agentStmt) {
    StmtCursor& c = stmt->cursor;
    if (c.cursorType != SQL_CURSOR_KEYSET_DRIVEN && c.cursorType != SQL_CURSOR_DYNAMIC) return;
    for (auto [id, field] : {std::pair<uint32_t, uint32_t*>{kPropCursorType, &c.cursorType},
                             std::pair<uint32_t, uint32_t*>{kPropConcurrency, &c.concurrency}}) {
        uint32_t v = 0;
        uint16_t len = 0;
        if (AgentCall<DRV_GetInfo>(link, agentStmt, id, &v, uint16_t(4), &len) == 0) *field = v;
    }
    c.savedType = c.cursorType;
    c.savedConcurrency = c.concurrency;
}

// Steps 8 and 9: the agent call and the statement's new state. `call` runs the typed slot on the
// statement's link and agent statement.
template <class Call>
SQLRETURN CallAgent(StmtRecord* stmt, Call&& call) {
    const AgentLink* link = nullptr;
    uint32_t agentStmt = 0;
    uint32_t rc = kErrNotCapable;
    if (g_CatalogServices.stmtAgent(stmt, &link, &agentStmt)) rc = call(link, agentStmt);
    stmt->lastError = rc;
    if (rc == 0) {
        CursorReadBack(stmt, link, agentStmt);
        StmtToExecuted(stmt);
        return SQL_SUCCESS;
    }
    g_CatalogServices.collectAgentDiag(stmt);
    return SQL_ERROR;
}

template <int S, class R>
SQLRETURN CallAgent(StmtRecord* stmt, const R* block) {
    return CallAgent(stmt, [block](const AgentLink* link, uint32_t h) { return AgentCall<S>(link, h, block); });
}

SQLRETURN CallWithTexts(StmtRecord* stmt, int slot, const std::vector<std::string>& texts) {
    std::vector<const char*> names;
    for (const std::string& t : texts) names.push_back(t.c_str());
    names.resize(6, nullptr);
    return CallAgent(stmt, [slot, &names](const AgentLink* link, uint32_t h) {
        return AgentCatalogByNames(link, slot, h, names.data());
    });
}

TextArg Text(const SQLCHAR* text, SQLSMALLINT len) { return TextArg{reinterpret_cast<const char*>(text), len}; }

StmtRecord* Stmt(HandleBase* record) { return static_cast<StmtRecord*>(record); }

// The common shape of the functions that take texts only.
SQLRETURN TextsOnly(HandleBase* record, const TextArg* in, int slot, const TextRule* rules, size_t n,
                    const char* traceFormat) {
    StmtRecord* stmt = Stmt(record);
    if (!Begin(stmt)) return SQL_ERROR;
    std::vector<std::string> texts;
    if (!CopyTexts(stmt, in, rules, n, false, &texts)) return SQL_ERROR;
    if (traceFormat && DebugTraceOn()) {
        if (n == 3) DebugPrint(traceFormat, texts[0].c_str(), texts[1].c_str(), texts[2].c_str());
        if (n == 4) DebugPrint(traceFormat, texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), texts[3].c_str());
    }
    return CallWithTexts(stmt, slot, texts);
}

}  // namespace

CatalogServices g_CatalogServices = {StmtAgentOf, FreeResultCols, StmtCollectAgentDiag, FlagsOf};

std::string CatalogUnquote(const char* text, int64_t len) {
    if (text == nullptr) return std::string();
    size_t n = len == SQL_NTS || len < 0 ? std::strlen(text) : size_t(len);
    if (n >= 2 && (text[0] == '\'' || text[0] == '"') && text[n - 1] == text[0]) return std::string(text + 1, n - 2);
    return std::string(text, n);
}

std::string TableTypeListNormalize(const char* list, uint16_t flags) {
    std::string out;
    if (list != nullptr && *list != 0) {
        if (list[0] == '%') {
            out = "%";
        } else {
            out = "'";
            bool itemStart = true;
            for (const char* p = list; *p; ++p) {
                char c = *p;
                if (itemStart && IsBlank(c)) continue;
                itemStart = false;
                if (c == ',') {
                    while (out.size() > 1 && IsBlank(out.back())) out.pop_back();
                    out += "','";
                    itemStart = true;
                } else if (c != '\'') {
                    out += c;
                }
            }
            while (out.size() > 1 && IsBlank(out.back())) out.pop_back();
            out += '\'';
        }
    }
    if (flags & kCatalogIncludeViews) {
        bool table = false, view = false;
        size_t pos = 0;
        while (pos <= out.size() && !out.empty()) {
            size_t end = out.find(',', pos);
            if (end == std::string::npos) end = out.size();
            size_t b = pos;
            while (b < end && IsBlank(out[b])) ++b;
            std::string item = out.substr(b, end - b);
            table |= item == "'TABLE'";
            view |= item == "'VIEW'";
            pos = end + 1;
        }
        if (table && !view) out += ",'VIEW'";
    }
    if (flags & kCatalogIncludeAll) out.clear();
    return out;
}

// ---- the ten catalog functions ------------------------------------------------------------

SQLRETURN ImplTables(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                     SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* typeList,
                     SQLSMALLINT typeListLen) {
    StmtRecord* stmt = Stmt(record);
    if (!Begin(stmt)) return SQL_ERROR;
    static const TextRule rules[3] = {{"", false}, {"%", false}, {"%", false}};
    TextArg in[3] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen)};
    std::vector<std::string> texts;
    if (!CopyTexts(stmt, in, rules, 3, true, &texts)) return SQL_ERROR;
    TextArg type = Text(typeList, typeListLen);
    std::string list;
    if (type.text) {
        size_t n = type.len < 0 ? std::strlen(type.text) : size_t(type.len);
        list.assign(type.text, n);
    }
    if (DebugTraceOn())
        DebugPrint("Qualifier='%s' Owner='%s' Name='%s' Type='%s'\n", texts[0].c_str(), texts[1].c_str(),
                   texts[2].c_str(), list.c_str());
    texts.push_back(TableTypeListNormalize(list.c_str(), g_CatalogServices.connFlags(stmt->conn)));
    return CallWithTexts(stmt, DRV_DDTables, texts);
}

SQLRETURN ImplColumns(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                      SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                      SQLSMALLINT columnLen) {
    const TextArg in[4] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen),
                           Text(column, columnLen)};
    static const TextRule rules[4] = {{"", false}, {"%", false}, {"%", false}, {"%", false}};
    return TextsOnly(record, in, DRV_DDColumns, rules, 4, "Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n");
}

SQLRETURN ImplColumnPrivileges(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                               SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                               SQLSMALLINT columnLen) {
    const TextArg in[4] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen),
                           Text(column, columnLen)};
    static const TextRule rules[4] = {{"", false}, {"", false}, {nullptr, true}, {"%", false}};
    return TextsOnly(record, in, DRV_DDColumnPrivileges, rules, 4, "Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n");
}

SQLRETURN ImplPrimaryKeys(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                          SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen) {
    const TextArg in[3] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen)};
    static const TextRule rules[3] = {{"", false}, {"", false}, {nullptr, true}};
    return TextsOnly(record, in, DRV_DDPrimaryKeys, rules, 3, "Qualifier='%s' Owner='%s' Name='%s'\n");
}

SQLRETURN ImplTablePrivileges(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                              SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen) {
    const TextArg in[3] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen)};
    static const TextRule rules[3] = {{"", false}, {"%", false}, {"%", false}};
    return TextsOnly(record, in, DRV_DDTablePrivileges, rules, 3, "Qualifier='%s' Owner='%s' Name='%s'\n");
}

SQLRETURN ImplForeignKeys(HandleBase* record, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLen, SQLCHAR* pkSchema,
                          SQLSMALLINT pkSchemaLen, SQLCHAR* pkTable, SQLSMALLINT pkTableLen, SQLCHAR* fkCatalog,
                          SQLSMALLINT fkCatalogLen, SQLCHAR* fkSchema, SQLSMALLINT fkSchemaLen, SQLCHAR* fkTable,
                          SQLSMALLINT fkTableLen) {
    const TextArg in[6] = {Text(pkCatalog, pkCatalogLen), Text(pkSchema, pkSchemaLen), Text(pkTable, pkTableLen),
                           Text(fkCatalog, fkCatalogLen), Text(fkSchema, fkSchemaLen), Text(fkTable, fkTableLen)};
    static const TextRule rules[6] = {{"", false}, {"", false}, {"", false}, {"", false}, {"", false}, {"", false}};
    return TextsOnly(record, in, DRV_DDForeignKeys, rules, 6, nullptr);
}

SQLRETURN ImplProcedures(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                         SQLSMALLINT schemaLen, SQLCHAR* procedure, SQLSMALLINT procedureLen) {
    const TextArg in[3] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(procedure, procedureLen)};
    static const TextRule rules[3] = {{"", false}, {"%", false}, {"%", false}};
    return TextsOnly(record, in, DRV_DDProcedures, rules, 3, nullptr);
}

SQLRETURN ImplProcedureColumns(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                               SQLSMALLINT schemaLen, SQLCHAR* procedure, SQLSMALLINT procedureLen, SQLCHAR* column,
                               SQLSMALLINT columnLen) {
    const TextArg in[4] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(procedure, procedureLen),
                           Text(column, columnLen)};
    static const TextRule rules[4] = {{"", false}, {"%", false}, {"%", false}, {"%", false}};
    return TextsOnly(record, in, DRV_DDProcedureColumns, rules, 4, nullptr);
}

SQLRETURN ImplSpecialColumns(HandleBase* record, SQLUSMALLINT colType, SQLCHAR* catalog, SQLSMALLINT catalogLen,
                             SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen,
                             SQLUSMALLINT scope, SQLUSMALLINT nullable) {
    StmtRecord* stmt = Stmt(record);
    if (!Begin(stmt)) return SQL_ERROR;
    static const TextRule rules[3] = {{"", false}, {"", false}, {nullptr, true}};
    TextArg in[3] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen)};
    std::vector<std::string> texts;
    if (!CopyTexts(stmt, in, rules, 3, false, &texts)) return SQL_ERROR;
    if (DebugTraceOn())
        DebugPrint("Qualifier='%s' Owner='%s' Name='%s'\n", texts[0].c_str(), texts[1].c_str(), texts[2].c_str());
    IngSpecialColumnsArgs block{texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), colType, scope, nullable};
    return CallAgent<DRV_DDSpecialColumns>(stmt, &block);
}

SQLRETURN ImplStatistics(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                         SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLUSMALLINT unique,
                         SQLUSMALLINT accuracy) {
    StmtRecord* stmt = Stmt(record);
    if (!Begin(stmt)) return SQL_ERROR;
    static const TextRule rules[3] = {{"", false}, {"", false}, {nullptr, true}};
    TextArg in[3] = {Text(catalog, catalogLen), Text(schema, schemaLen), Text(table, tableLen)};
    std::vector<std::string> texts;
    if (!CopyTexts(stmt, in, rules, 3, false, &texts)) return SQL_ERROR;
    if (DebugTraceOn())
        DebugPrint("Qualifier='%s' Owner='%s' Name='%s' Unique=%u Accuracy=%u\n", texts[0].c_str(), texts[1].c_str(),
                   texts[2].c_str(), unsigned(unique), unsigned(accuracy));
    IngStatisticsArgs block{texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), unique, accuracy};
    return CallAgent<DRV_DDStatistics>(stmt, &block);
}

// ---- type information ----------------------------------------------------------------------

SQLRETURN GetTypeInfoImpl(StmtRecord* stmt, int16_t sqlType) {
    if (!Begin(stmt)) return SQL_ERROR;
    const AgentLink* link = nullptr;
    uint32_t agentStmt = 0;
    uint32_t rc = kErrNotCapable;
    if (g_CatalogServices.stmtAgent(stmt, &link, &agentStmt))
        rc = AgentCall<DRV_DDTypeInfo>(link, agentStmt, uint16_t(sqlType));
    stmt->lastError = rc;
    if (rc != 0) {
        g_CatalogServices.collectAgentDiag(stmt);
        return SQL_ERROR;
    }
    CursorReadBack(stmt, link, agentStmt);
    StmtToExecuted(stmt);
    return SQL_SUCCESS;
}

SQLRETURN ImplGetTypeInfo(HandleBase* record, SQLSMALLINT sqlType) { return GetTypeInfoImpl(Stmt(record), sqlType); }
