// The error table and its ODBC 3 SQLSTATEs, and diagnostics as the application reads them:
// SQLError's order and handle choice, SQLGetDiagRec and SQLGetDiagField (narrow and wide),
// inline SQLSTATEs, truncation, and the agent's messages collected onto the handle.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbc/diag.h"
#include "odbc/errtable.h"
#include "tests/odbc/records_fixture.h"

namespace {

TEST(ErrorTable, RowsAndUnusedRows) {
    EXPECT_EQ(185u, kErrorTableRows);
    EXPECT_STREQ("", ErrorTable[0].state);
    int used = 0;
    for (uint32_t i = 1; i < kErrorTableRows; ++i) {
        if (!ErrorTable[i].state[0]) continue;
        ++used;
        EXPECT_EQ(5u, strlen(ErrorTable[i].state)) << i;
        EXPECT_NE('\0', ErrorTable[i].message[0]) << i;
    }
    EXPECT_EQ(165, used);
    struct {
        uint32_t code;
        const char* state;
        const char* message;
    } spots[] = {{1, "IM001", "Driver does not support this function"},
                 {43, "S1C00", "Driver not capable"},
                 {82, "IM907", "No data found"},
                 {131, "S1014", "Limit on the number of handles exceeded"},
                 {162, "S1000", "Only DDL and DML command can be executed"},
                 {170, "IM932", "Enlistment in DTC transaction failed "},
                 {173, "S1C00", "Row numbers and bookmarks are not offered on a mixed cursor (keyset size above 0)"},
                 {184, "IM501", "Failover aborted."}};
    for (const auto& s : spots) {
        ASSERT_NE(nullptr, ErrorRowOf(s.code)) << s.code;
        EXPECT_STREQ(s.state, ErrorRowOf(s.code)->state);
        EXPECT_STREQ(s.message, ErrorRowOf(s.code)->message);
    }
    for (uint32_t unused : {0u, 78u, 152u, 154u, 159u, 168u, 169u, 174u, 182u, 185u, 100000u})
        EXPECT_EQ(nullptr, ErrorRowOf(unused)) << unused;
}

TEST(ErrorTable, Odbc3Mapping) {
    // 22003 and 24000 keep their meaning in ODBC 3; S1019 is the ODBC 3 HY019 of SQLPutData.
    const char* cases[][2] = {{"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"}, {"01S04", "01001"},
                              {"22003", "22003"}, {"22008", "22007"}, {"22005", "22018"}, {"24000", "24000"},
                              {"S1019", "HY019"}, {"07005", "07005"}, {"37000", "42000"}, {"70100", "HY018"},
                              {"S1000", "HY000"}, {"S1C00", "HYC00"}, {"S1T00", "HYT00"}, {"S0002", "42S02"},
                              {"S0022", "42S22"}, {"08003", "08003"}, {"IM001", "IM001"}, {"01004", "01004"},
                              {"42S02", "42S02"}};
    for (const auto& c : cases) {
        char s[6];
        memcpy(s, c[0], 6);
        MapSqlStateToOdbc3(s);
        EXPECT_STREQ(c[1], s) << c[0];
    }
}

struct DiagFixture : ::testing::Test {
    ConnectedPair p;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    StmtRecord* s = nullptr;
    void SetUp() override {
        stmt = p.stmt();
        s = StmtOf(stmt);
        ASSERT_NE(nullptr, s);
    }
    void Version(SQLINTEGER v) {
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(p.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t(v)), 0));
    }
};

TEST_F(DiagFixture, SqlErrorPopsOldestFirstAndReportsTheCodeOnlyOnce) {
    DiagPost(s, "first[SQLSTATE:42000]", 11);
    DiagPost(s, "second", 22);
    s->lastError = 15;
    SQLCHAR state[6], msg[200];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLError(nullptr, nullptr, stmt, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("42000", reinterpret_cast<char*>(state));
    EXPECT_STREQ("[Corvanta][ODBC]first", reinterpret_cast<char*>(msg));
    EXPECT_EQ(11, native);
    EXPECT_EQ(21, len);
    ASSERT_EQ(SQL_SUCCESS, SQLError(nullptr, nullptr, stmt, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("[Corvanta][ODBC]second", reinterpret_cast<char*>(msg));
    EXPECT_STREQ("HY000", reinterpret_cast<char*>(state));  // no marker: S1000, ODBC 3 environment
    EXPECT_EQ(SQL_NO_DATA, SQLError(nullptr, nullptr, stmt, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
    EXPECT_STREQ("", reinterpret_cast<char*>(msg));
    EXPECT_EQ(0, len);
}

TEST_F(DiagFixture, SqlErrorChoosesTheMostSpecificHandle) {
    ConnOf(p.dbc)->lastError = 52;
    s->lastError = 64;
    SQLCHAR state[6], msg[200];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLError(p.env, p.dbc, stmt, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("24000", reinterpret_cast<char*>(state));
    ASSERT_EQ(SQL_SUCCESS, SQLError(p.env, p.dbc, nullptr, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08003", reinterpret_cast<char*>(state));
    EXPECT_STREQ("[Corvanta][ODBC][Driver]Connection not open", reinterpret_cast<char*>(msg));
    EXPECT_EQ(SQL_NO_DATA, SQLError(p.env, nullptr, nullptr, state, &native, msg, sizeof msg, &len));
}

TEST_F(DiagFixture, CodeRowsFollowTheEnvironmentsOdbcVersion) {
    SQLCHAR state[6], msg[200];
    SQLINTEGER native = 9;
    SQLSMALLINT len;
    for (SQLINTEGER v : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
        Version(v);
        s->lastError = 39;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
        EXPECT_STREQ(v == SQL_OV_ODBC2 ? "S1107" : "HY107", reinterpret_cast<char*>(state));
        EXPECT_STREQ("[Corvanta][ODBC][Driver]Row value out of range", reinterpret_cast<char*>(msg));
        EXPECT_EQ(0, native);
        // Reading by record number leaves the code in place.
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
    }
}

TEST_F(DiagFixture, TruncationReportsFullLengthAndSuccessWithInfo) {
    s->lastError = 43;
    SQLCHAR state[6], msg[10];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("[Corvanta", reinterpret_cast<char*>(msg));
    EXPECT_EQ(9u, strlen(reinterpret_cast<char*>(msg)));
    EXPECT_EQ(int(strlen("[Corvanta][ODBC][Driver]Driver not capable")), len);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, 0, &len));
    EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, -1, &len));
    EXPECT_EQ(SQL_ERROR, SQLError(nullptr, nullptr, stmt, state, &native, msg, -5, &len));
    EXPECT_EQ(43u, s->lastError.load());  // a refused read consumes nothing
}

TEST_F(DiagFixture, InlineStateAndLeadingBlanks) {
    DiagPost(s, "  Duplicate key[SQLSTATE:23000]", 7);
    SQLCHAR state[6], msg[200];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("23000", reinterpret_cast<char*>(state));
    EXPECT_STREQ("[Corvanta][ODBC]Duplicate key", reinterpret_cast<char*>(msg));
    EXPECT_EQ(7, native);
    EXPECT_EQ(SQL_NO_DATA, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 2, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
}

TEST_F(DiagFixture, UndefinedCodesReadAsGeneralError) {
    s->lastError = 78;
    SQLCHAR state[6], msg[200];
    SQLINTEGER native;
    SQLSMALLINT len;
    Version(SQL_OV_ODBC2);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("S1000", reinterpret_cast<char*>(state));
    EXPECT_STREQ("[Corvanta][ODBC][Driver]Undefined errorcode (78).\nPlease install a newer client.",
                 reinterpret_cast<char*>(msg));
}

// ODBC defines the subclass of its own states (01S02, 42S02, HYT00, ...) and of class IM; the
// class of all but IM comes from the SQL standard.
TEST_F(DiagFixture, ClassAndSubclassOrigins) {
    struct {
        const char* state;
        const char* classOrigin;
        const char* subclassOrigin;
    } cases[] = {{"01S02", "ISO 9075", "ODBC 3.0"}, {"42S02", "ISO 9075", "ODBC 3.0"},
                 {"HYT00", "ISO 9075", "ODBC 3.0"}, {"HY097", "ISO 9075", "ODBC 3.0"},
                 {"08S01", "ISO 9075", "ODBC 3.0"}, {"IM008", "ODBC 3.0", "ODBC 3.0"},
                 {"23000", "ISO 9075", "ISO 9075"}, {"HY092", "ISO 9075", "ISO 9075"},
                 {"22001", "ISO 9075", "ISO 9075"}, {"01004", "ISO 9075", "ISO 9075"}};
    for (const auto& c : cases) DiagPost(s, (std::string("m[SQLSTATE:") + c.state + "]").c_str(), 0);
    SQLSMALLINT rec = 1;
    for (const auto& c : cases) {
        char text[64] = {};
        SQLSMALLINT len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, SQL_DIAG_SQLSTATE, text, sizeof text, &len));
        EXPECT_STREQ(c.state, text);
        ASSERT_EQ(SQL_SUCCESS,
                  SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len));
        EXPECT_STREQ(c.classOrigin, text) << c.state;
        ASSERT_EQ(SQL_SUCCESS,
                  SQLGetDiagField(SQL_HANDLE_STMT, stmt, rec, SQL_DIAG_SUBCLASS_ORIGIN, text, sizeof text, &len));
        EXPECT_STREQ(c.subclassOrigin, text) << c.state;
        ++rec;
    }
}

TEST_F(DiagFixture, DiagFieldHeaderAndRecordFields) {
    SQLINTEGER n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &n, 0, nullptr));
    EXPECT_EQ(1, n);
    char text[64] = "x";
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, text, sizeof text, &len));
    EXPECT_STREQ("00000", text);
    EXPECT_EQ(SQL_NO_DATA, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len));
    EXPECT_EQ(SQL_NO_DATA, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_SQLSTATE, text, sizeof text, &len));

    DiagPost(s, "one", 1);
    DiagPost(s, "two[SQLSTATE:IM002]", 2);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &n, 0, nullptr));
    EXPECT_EQ(2, n);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_NATIVE, &n, 0, nullptr));
    EXPECT_EQ(2, n);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len));
    EXPECT_STREQ("ODBC 3.0", text);
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SUBCLASS_ORIGIN, text, sizeof text, &len));
    EXPECT_STREQ("ISO 9075", text);
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CONNECTION_NAME, text, sizeof text, &len));
    EXPECT_STREQ("", text);
    SQLLEN row = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr));
    EXPECT_EQ(-2, row);
    EXPECT_EQ(SQL_ERROR, SQLGetDiagField(SQL_HANDLE_DBC, p.dbc, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, nullptr, 0, &len));
    // Header fields of statements only.
    s->selectFlag = 1;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_DYNAMIC_FUNCTION, text, sizeof text, &len));
    EXPECT_STREQ("SELECT CURSOR", text);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_DYNAMIC_FUNCTION_CODE, &n, 0, nullptr));
    EXPECT_EQ(85, n);
    EXPECT_EQ(SQL_ERROR, SQLGetDiagField(SQL_HANDLE_DBC, p.dbc, 0, SQL_DIAG_DYNAMIC_FUNCTION, text, sizeof text, &len));
    EXPECT_EQ(SQL_ERROR, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, 999, text, sizeof text, &len));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDiagField(9, stmt, 0, SQL_DIAG_NUMBER, &n, 0, nullptr));
}

TEST_F(DiagFixture, DiagFieldReturnsLongMessagesWhole) {
    std::string longText(600, 'x');
    DiagPost(s, longText.c_str(), 0);
    std::string expected = "[Corvanta][ODBC]" + longText;
    char big[1024];
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, big, sizeof big, &len));
    EXPECT_EQ(expected, big);
    EXPECT_EQ(int(expected.size()), len);
    char small[20];
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, small, sizeof small, &len));
    EXPECT_EQ(expected.substr(0, 19), small);
    EXPECT_EQ(int(expected.size()), len);
    EXPECT_EQ(SQL_ERROR, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, small, -4, &len));
}

TEST_F(DiagFixture, WideReadersConvertAndCountCharacters) {
    DiagPost(s, "caf\xC3\xA9[SQLSTATE:01004]", 3);
    SQLWCHAR state[6], msg[64];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, 64, &len));
    EXPECT_EQ(SQLWCHAR('0'), state[0]);
    EXPECT_EQ(SQLWCHAR('4'), state[4]);
    EXPECT_EQ(0, state[5]);
    EXPECT_EQ(20, len);  // "[Corvanta][ODBC]café"
    EXPECT_EQ(SQLWCHAR(0xE9), msg[19]);
    EXPECT_EQ(0, msg[20]);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, 5, &len));
    EXPECT_EQ(0, msg[4]);
    EXPECT_EQ(20, len);
    SQLWCHAR field[64];
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagFieldW(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, field, sizeof field, &len));
    EXPECT_EQ(40, len);  // bytes
    EXPECT_EQ(SQLWCHAR(0xE9), field[19]);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLErrorW(nullptr, nullptr, stmt, state, &native, msg, 10, &len));
    EXPECT_EQ(0, msg[9]);
    EXPECT_EQ(SQL_NO_DATA, SQLErrorW(nullptr, nullptr, stmt, state, &native, msg, 10, &len));
    EXPECT_EQ(SQLWCHAR('0'), state[0]);
}

TEST_F(DiagFixture, NoDataLeavesNoStaleRecord) {
    static const ApiCall<> noData = {"NoData", "", 1, kApiStmt, [](HandleBase* h) -> SQLRETURN {
                                         h->lastError = 82;
                                         return SQL_NO_DATA;
                                     }};
    EXPECT_EQ(SQL_NO_DATA, CallODBC(noData, stmt));
    SQLCHAR state[6], msg[64];
    SQLINTEGER native;
    SQLSMALLINT len;
    EXPECT_EQ(SQL_NO_DATA, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
}

}  // namespace

#include "drv_ingii/i-optable.h"
#include "util/dataset.h"

namespace {

// An agent whose error operation hands out two texts per handle, naming the handle.
ErrCode FakeGetErrors(uint32_t h, AgentErrors* out) {
    if (h == 0 || h == 99) return ErrCode(21);
    out->native = h * 10;
    out->count = 2;
    out->texts = static_cast<char**>(calloc(2, sizeof(char*)));
    std::string a = "[IngresII Server]message A of " + std::to_string(h) + "[SQLSTATE:42000]";
    std::string b = "[IngresII Server]message B of " + std::to_string(h);
    out->texts[0] = strdup(a.c_str());
    out->texts[1] = strdup(b.c_str());
    return kErrNone;
}

TEST_F(DiagFixture, AgentMessagesAreCollectedStatementFirstThenConnection) {
    static AgentFuncTable table{};
    table.DRV_GetErrors = FakeGetErrors;
    ConnRecord* c = ConnOf(p.dbc);
    c->link = {2, &table};
    c->agentServer = 3;
    c->agentConn = 5;
    s->link = &c->link;
    s->agentStmt = 7;
    EXPECT_EQ(1, DiagCollectStmt(s));
    std::vector<std::string> got;
    SQLCHAR state[6], msg[200];
    SQLINTEGER native;
    SQLSMALLINT len;
    std::vector<SQLINTEGER> natives;
    while (SQLError(nullptr, nullptr, stmt, state, &native, msg, sizeof msg, &len) == SQL_SUCCESS) {
        got.push_back(std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(msg));
        natives.push_back(native);
    }
    std::vector<std::string> expected = {"42000 [Corvanta][ODBC][IngresII Server]message A of 7",
                                         "HY000 [Corvanta][ODBC][IngresII Server]message B of 7",
                                         "42000 [Corvanta][ODBC][IngresII Server]message A of 5",
                                         "HY000 [Corvanta][ODBC][IngresII Server]message B of 5"};
    EXPECT_EQ(expected, got);
    EXPECT_EQ((std::vector<SQLINTEGER>{70, 70, 50, 50}), natives);
    EXPECT_EQ(2, DiagCollectServer(c));
    EXPECT_EQ(2u, DiagCount(c));
    EXPECT_EQ(2, DiagCollectConn(c, nullptr));
    EXPECT_EQ(4u, DiagCount(c));
    c->agentConn = 99;  // the agent does not know it: nothing posted
    EXPECT_EQ(0, DiagCollectConn(c, nullptr));
    s->agentStmt = 0;
    EXPECT_EQ(0, DiagCollectStmt(s));
    c->link = {};
    s->link = nullptr;
}

}  // namespace
