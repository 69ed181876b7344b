#pragma once
// The ten catalog entry points and SQLGetTypeInfo: argument checks, defaults, quote removal and
// the table-type list, then one agent catalog operation whose result reads like any other.
#include <sql.h>

#include <cstdint>
#include <string>

#include "odbc/handles.h"

struct AgentLink;

// What the catalog entry points need of the statement and connection records and of the
// statement data path; the tests put an agent of their own behind a statement here.
struct CatalogServices {
    // The link and agent statement handle of a statement; false when it has none.
    bool (*stmtAgent)(StmtRecord* stmt, const AgentLink** link, uint32_t* agentStmt);
    // Frees the statement's result and parameter descriptions (before every catalog call).
    void (*freeResultCols)(StmtRecord* stmt);
    // Moves the agent's messages of the statement, then of its connection, to its diagnostics.
    void (*collectAgentDiag)(StmtRecord* stmt);
    // The connection's flags word (0x100 include views, 0x200 include all).
    uint16_t (*connFlags)(ConnRecord* conn);
};
extern CatalogServices g_CatalogServices;

constexpr uint16_t kCatalogIncludeViews = 0x100;
constexpr uint16_t kCatalogIncludeAll = 0x200;

// A copy of a name argument of the given length (SQL_NTS: up to its NUL) with one pair of
// enclosing single or double quotes removed.
std::string CatalogUnquote(const char* text, int64_t len);

// The table-type list as the agent reads it: items trimmed and single-quoted, views added to a
// list of tables when flags has kCatalogIncludeViews, every type when it has kCatalogIncludeAll.
std::string TableTypeListNormalize(const char* list, uint16_t flags);

// SQLGetTypeInfo's body: 0 or -1 with the code in the statement's last-error word.
SQLRETURN GetTypeInfoImpl(StmtRecord* stmt, int16_t sqlType);
