// SQLGetInfo and the connection options against the Ingres agent itself, connected to the
// embedded engine, with the agent's slot 0 counted on its way.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/temp_dirs_fixture.h"
#include "odbc/globals.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "iiapi/iiapi.h"
#include "odbc/connattr.h"
#include "tests/odbc/records_fixture.h"

namespace {

std::string& DataDir() {
    static std::string dir = [] {
        std::string s = tvtest::EngineDataDir("tv_info_");
        tvtest::CreateDatabase("infodb");
        return s;
    }();
    return dir;
}

const AgentFuncTable* g_lower = nullptr;
int g_infoCalls = 0;
ErrCode CountingGetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    if ((id >> 28) == 2 && ((id >> 16) & 0xFF) == 4) ++g_infoCalls;
    return AgentSlotGet<DRV_GetInfo>(g_lower)(h, id, buf, len, outLen);
}

class InfoFromTheAgent : public ::testing::TestWithParam<uint32_t> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ConnRecord* conn = nullptr;
    AgentFuncTable counting{};
    AgentFuncTable* agentTable = nullptr;
    void SetUp() override {
        DataDir();
        g_infoCalls = 0;
        if (GetParam() == 3) {
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        } else {
            ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
        }
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
        conn = ConnOf(dbc);
        // What opening the connection does with the agent, in short: a wide connection.
        ASSERT_EQ(0, AgentStackInstall(&conn->link));
        unsigned char block[16] = {};
        ASSERT_EQ(0u, AgentCall<DRV_ServerAlloc>(&conn->link, static_cast<void*>(block), &conn->agentServer));
        IngConnectParams p{};
        p.database = "infodb";
        p.user = "";
        p.password = "";
        p.marker = "W\x7F\x01\x01";
        ASSERT_EQ(0u, AgentCall<DRV_Connect>(&conn->link, conn->agentServer, &p, &conn->agentConn));
        uint32_t version = GetParam();
        AgentCall<DRV_SetOption>(&conn->link, conn->agentConn, 0x2201000Cu, static_cast<void*>(&version));
        conn->state = 2;
        agentTable = conn->link.table;
        g_lower = agentTable;
        counting = *agentTable;
        counting.DRV_GetInfo = CountingGetInfo;
        conn->link.table = &counting;
    }
    void TearDown() override {
        if (conn && agentTable) {
            conn->link.table = agentTable;
            AgentCall<DRV_Disconnect>(&conn->link, conn->agentConn);
            AgentCall<DRV_ServerFree>(&conn->link, conn->agentServer);
            conn->agentConn = conn->agentServer = 0;
            conn->state = 1;
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    std::string State() {
        SQLCHAR state[6] = {};
        SQLINTEGER native;
        SQLCHAR msg[300];
        SQLSMALLINT len;
        SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len);
        return reinterpret_cast<char*>(state);
    }
    std::string Text(uint16_t type) {
        char buf[512];
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, buf, sizeof buf, &len)) << type;
        EXPECT_EQ(int(strlen(buf)), len) << type;
        return buf;
    }
    std::u16string TextW(uint16_t type) {
        SQLWCHAR buf[512];
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, buf, sizeof buf, &len)) << type;
        std::u16string s(reinterpret_cast<char16_t*>(buf));
        EXPECT_EQ(int(2 * s.size()), len) << type;
        return s;
    }
    uint32_t U32(uint16_t type) {
        uint32_t v = 0xA5A5A5A5;
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, &v, 0, &len)) << type;
        EXPECT_EQ(4, len) << type;
        return v;
    }
    uint32_t U32W(uint16_t type) {
        uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, &v, 0, nullptr)) << type;
        return v;
    }
    uint16_t U16(uint16_t type) {
        uint16_t v[2] = {0xA5A5, 0xA5A5};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, v, 0, &len)) << type;
        EXPECT_EQ(2, len) << type;
        EXPECT_EQ(0xA5A5, v[1]) << type << ": wrote past 2 bytes";
        return v[0];
    }
};

TEST_P(InfoFromTheAgent, IntegerAnswers) {
    struct {
        uint16_t type;
        uint32_t value;
    } ints32[] = {
        {SQL_FETCH_DIRECTION, 191},
        {SQL_SCROLL_CONCURRENCY, SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES},
        {SQL_SCROLL_OPTIONS,
         SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN | SQL_SO_MIXED | SQL_SO_DYNAMIC | SQL_SO_STATIC},
        {SQL_NUMERIC_FUNCTIONS, 0x96D49},
        {SQL_STRING_FUNCTIONS, 0x791255},
        {SQL_TIMEDATE_FUNCTIONS, 0x1E1FE7},
        {SQL_SYSTEM_FUNCTIONS, 7},
        {SQL_GETDATA_EXTENSIONS, 7},
        {SQL_BOOKMARK_PERSISTENCE, 74},
        {SQL_POS_OPERATIONS, SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD},
        {SQL_UNION, 3},
        {SQL_MAX_ROW_SIZE, 2000},
        {115, 127},
        {65003, 127},
        {SQL_CREATE_TABLE, 0x3601},
        {SQL_KEYSET_CURSOR_ATTRIBUTES1,
         SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK | SQL_CA1_LOCK_NO_CHANGE |
             SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH | SQL_CA1_BULK_ADD |
             SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK | SQL_CA1_BULK_FETCH_BY_BOOKMARK},
        {SQL_STATIC_CURSOR_ATTRIBUTES2, SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY |
                                            SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT |
                                            SQL_CA2_CRC_EXACT | SQL_CA2_SIMULATE_NON_UNIQUE},
        {SQL_AGGREGATE_FUNCTIONS, 64},
        {SQL_ASYNC_MODE, 2},
        {SQL_SQL92_REVOKE, 0x7DB0},
        {SQL_DEFAULT_TXN_ISOLATION, 1},
        {SQL_PARAM_ARRAY_ROW_COUNTS, 2},
        {SQL_CURSOR_SENSITIVITY, 0},
        {SQL_INSERT_STATEMENT, 7},
    };
    struct {
        uint16_t type;
        uint16_t value;
    } ints16[] = {
        {SQL_MAX_CONCURRENT_ACTIVITIES, 0},
        {SQL_CURSOR_COMMIT_BEHAVIOR, 1},
        {SQL_MAX_COLUMN_NAME_LEN, 32},
        {SQL_MAX_TABLE_NAME_LEN, 32},
        {SQL_GROUP_BY, 2},
        {SQL_MAX_COLUMNS_IN_SELECT, 127},
        {SQL_MAX_TABLES_IN_SELECT, 15},
        {SQL_MAX_USER_NAME_LEN, 18},
        {SQL_MAX_IDENTIFIER_LEN, 30},
        {SQL_ACTIVE_ENVIRONMENTS, 1},
        {SQL_CATALOG_LOCATION, 0},
        {SQL_ODBC_SQL_CONFORMANCE, 2},
    };
    for (int round = 0; round < 2; ++round) {
        for (auto& c : ints32) EXPECT_EQ(c.value, U32(c.type)) << c.type;
        for (auto& c : ints16) EXPECT_EQ(c.value, U16(c.type)) << c.type;
    }
    // Each asked once: 65003 shares the entry of SQL_OJ_CAPABILITIES.
    EXPECT_EQ(int(std::size(ints32) - 1 + std::size(ints16)), g_infoCalls);
}

TEST_P(InfoFromTheAgent, TextAnswers) {
    EXPECT_EQ("INGRES", Text(SQL_DBMS_NAME));
    EXPECT_EQ("Ingres II", Text(SQL_SERVER_NAME));
    EXPECT_EQ("telvarinu.so", Text(SQL_DRIVER_NAME));  // the agent names the library as it is on this platform
    EXPECT_EQ("1.5", Text(SQL_DRIVER_VER));
    EXPECT_EQ("03.50.0000", Text(SQL_ODBC_VER));
    EXPECT_EQ("\"", Text(SQL_IDENTIFIER_QUOTE_CHAR));
    EXPECT_EQ("\\", Text(SQL_SEARCH_PATTERN_ESCAPE));
    EXPECT_EQ("Owner", Text(SQL_SCHEMA_TERM));
    EXPECT_EQ("Stored Procedure", Text(SQL_PROCEDURE_TERM));
    EXPECT_EQ("&*@:,#$\"=/<>()-%.+?;' _|", Text(SQL_SPECIAL_CHARACTERS));
    EXPECT_EQ("Y", Text(SQL_PROCEDURES));
    EXPECT_EQ("N", Text(SQL_ROW_UPDATES));
    EXPECT_EQ("N", Text(SQL_DATA_SOURCE_READ_ONLY));
    EXPECT_EQ("", Text(SQL_KEYWORDS));
    EXPECT_EQ(u"INGRES", TextW(SQL_DBMS_NAME));
    EXPECT_EQ(u"Stored Procedure", TextW(SQL_PROCEDURE_TERM));
    EXPECT_EQ(14, g_infoCalls);
    // The database name is asked every time.
    std::string db = Text(SQL_DATABASE_NAME);
    EXPECT_FALSE(db.empty());
    EXPECT_EQ(db, Text(SQL_DATABASE_NAME));
    EXPECT_EQ(16, g_infoCalls);
    // Driver answers pass the agent by.
    EXPECT_EQ("03.50", Text(SQL_DRIVER_ODBC_VER));
    EXPECT_EQ(16, g_infoCalls);
}

TEST_P(InfoFromTheAgent, ConversionTypesFromTheOperatorTable) {
    AgentOpRequest req{1, 0, nullptr};
    ASSERT_EQ(0u, AgentCall<DRV_GetOpTable>(&conn->link, conn->agentConn, &req));
    conn->opTableKind = 1;
    conn->opTableCount = req.count;
    conn->opTableRows = req.rows;
    // The agent's table names the date and timestamp types by their ODBC 2 numbers only: an
    // ODBC 3 application gets the same answers. It has no time row; times convert as timestamps.
    EXPECT_EQ(0x00028301u, U32(SQL_CONVERT_DATE));
    EXPECT_EQ(0x00038301u, U32(SQL_CONVERT_TIMESTAMP));
    EXPECT_EQ(0x00030301u, U32(SQL_CONVERT_TIME));
    EXPECT_EQ(0x00040F01u, U32(SQL_CONVERT_LONGVARBINARY));
    EXPECT_EQ(0x00E40F01u, U32W(SQL_CONVERT_LONGVARBINARY));
    EXPECT_EQ(0x000073FFu, U32(SQL_CONVERT_CHAR));
    EXPECT_EQ(0, g_infoCalls);
    conn->opTableRows = nullptr;
    conn->opTableKind = 0;
}

TEST_P(InfoFromTheAgent, ConnectionOptionsReachTheAgent) {
    IngConn* ic = IngConnFind(conn->agentConn);
    ASSERT_NE(nullptr, ic);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, SQLPOINTER(SQL_AUTOCOMMIT_OFF), 0));
    EXPECT_EQ(0u, ic->autocommit);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON));
    EXPECT_EQ(1u, ic->autocommit);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, SQLPOINTER(SQL_MODE_READ_ONLY), 0));
    EXPECT_EQ(1u, ic->readOnly);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, SQLPOINTER(SQL_MODE_READ_WRITE), 0));
    EXPECT_EQ(0u, ic->readOnly);
    SQLRETURN rc = SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, SQLPOINTER(SQL_TXN_SERIALIZABLE), 0);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << State();
    uint32_t level = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, &level, 0, nullptr));
    EXPECT_EQ(ic->isolation, level);
    // The Ingres agent takes none of the driver's own options, nor a catalog change.
    std::string range = GetParam() == 3 ? "HY092" : "S1092";
    std::string notCapable = GetParam() == 3 ? "HYC00" : "S1C00";
    EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1203, 1));
    EXPECT_EQ(range, State());
    uint32_t v = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetConnectOption(dbc, 1203, &v));
    EXPECT_EQ(range, State());
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("other"), SQL_NTS));
    EXPECT_EQ(notCapable, State());
    char catalog[64] = "x";
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, catalog, sizeof catalog, nullptr));
    EXPECT_STREQ("", catalog);
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, 1280, SQLPOINTER(1), 0));
    EXPECT_EQ(notCapable, State());
}

}  // namespace

namespace {

// Statement options given at the connection reach the statements through the statement option
// setter, which the statement attributes provide.
TEST_P(InfoFromTheAgent, StatementOptionsAtTheConnectionReachEveryStatement) {
    conn->link.table = agentTable;
    SQLHSTMT before = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(dbc, &before));
    if (GetParam() == 3) {
        EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, SQL_ROWSET_SIZE, 10));
        EXPECT_EQ("IM001", State());
        SQLFreeStmt(before, SQL_DROP);
        return;
    }
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_ROWSET_SIZE, 10));
    SQLHSTMT after = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(dbc, &after));
    for (SQLHSTMT s : {before, after}) {
        SQLULEN v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtOption(s, SQL_ROWSET_SIZE, &v));
        EXPECT_EQ(10u, v);
    }
    // The agent caps the rowset size: the statement and the connection both tell.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetConnectOption(dbc, SQL_ROWSET_SIZE, 500));
    EXPECT_EQ("01S02", State());
    SQLFreeStmt(before, SQL_DROP);
    SQLFreeStmt(after, SQL_DROP);
}

}  // namespace

namespace {
INSTANTIATE_TEST_SUITE_P(OdbcVersions, InfoFromTheAgent, ::testing::Values(2u, 3u),
                         [](const auto& info) { return "Odbc" + std::to_string(info.param); });

}  // namespace
