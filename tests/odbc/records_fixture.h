#pragma once
// The records behind the ODBC side's handles, reached directly, and a connected pair on the
// scripted agent, for the ODBC layer's unit tests.
#include <sql.h>
#include <sqlext.h>

#include "odbc/gateway.h"
#include "odbc/globals.h"
#include "tests/odbc/scripted_agent_fixture.h"

template <class R>
R* RecordOf(HandleTable* table, SQLHANDLE h) {
    uint32_t n = 0;
    if (!HandleNumber(h, &n)) return nullptr;
    return static_cast<R*>(HandleTableGet(table, n));
}
inline EnvRecord* EnvOf(SQLHENV h) { return RecordOf<EnvRecord>(&g_EnvTable, h); }
inline ConnRecord* ConnOf(SQLHDBC h) { return RecordOf<ConnRecord>(&g_ConnTable, h); }
inline StmtRecord* StmtOf(SQLHSTMT h) { return RecordOf<StmtRecord>(&g_StmtTable, h); }
inline DescRecord* DescOf(SQLHDESC h) { return RecordOf<DescRecord>(&g_DescTable, h); }

// An environment and a connection marked connected, so statements and descriptors can be made
// without a database behind them; the connection's link reaches the scripted agent.
struct ConnectedPair {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ConnectedPair() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        if (ConnRecord* c = ConnOf(dbc)) {
            c->state = 2;
            c->link = AgentLink{2, fake::Table()};
            c->agentConn = 1;
        }
    }
    ~ConnectedPair() {
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    SQLHSTMT stmt() {
        SQLHSTMT s = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
        return s;
    }
};
