// The data path over an agent that declares what the Ingres agent does not: parameter arrays
// and data at execution run by the agent, named parameter descriptions in the compound call,
// narrowing for an agent that refused Unicode, output values after the results, and long
// values read in pieces. Connections open on the scripted capability agent through the API.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbc/globals.h"
#include "odbc/handles.h"
#include "odbc/datapath_agent.h"
#include "odbc/param.h"
#include "util/rowset.h"
#include "tests/odbc/records_fixture.h"
#include "tests/odbc/capability_agent_fixture.h"
#include "tests/support/diag_text_fixture.h"
#include "tests/support/temp_dirs_fixture.h"
#include "util/trymem.h"

namespace {

using capagent::A;
using capagent::Last;

// Set again for every test: a suite before may have written other files or another script.
void PrivateIni() {
    tvtest::UsePrivateIni("");
    setenv("KIV_LOGIN_SCRIPT", "CANCEL", 1);
}

std::u16string U(const char* s) { return std::u16string(s, s + std::strlen(s)); }

class AgentDataPath : public ::testing::Test {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT st = SQL_NULL_HSTMT;
    AgentStackInstaller saved = nullptr;

    void SetUp() override {
        PrivateIni();
        capagent::Reset();
        saved = AgentStackInstallerSet(capagent::Install);
    }
    void TearDown() override {
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
        env = SQL_NULL_HENV;
        AgentStackInstallerSet(saved);
        capagent::Reset();
    }
    // Connects through SQLDriverConnect (the wide form on request) and allocates a statement.
    void Open(bool wide = false) {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
        SQLRETURN rc;
        if (wide) {
            std::u16string in = U("DSN=cap;UID=u;PWD=p");
            SQLWCHAR out[256];
            SQLSMALLINT len = 0;
            rc = SQLDriverConnectW(dbc, nullptr, (SQLWCHAR*)in.c_str(), SQL_NTS, out, 256, &len, SQL_DRIVER_NOPROMPT);
        } else {
            SQLCHAR out[256];
            SQLSMALLINT len = 0;
            rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)"DSN=cap;UID=u;PWD=p", SQL_NTS, out, sizeof out, &len,
                                  SQL_DRIVER_NOPROMPT);
        }
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << tvtest::AllDiagText(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st));
    }
    StmtRecord* Rec() { return StmtOf(st); }
    std::string State() {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[512];
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, text, sizeof text, &len)))
            return "none";
        return reinterpret_cast<char*>(state);
    }
    void Prepare(const char* text, std::vector<std::string> params) {
        A().params = std::move(params);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st, (SQLCHAR*)text, SQL_NTS)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    }
    const Dataset& Sent() { return *Last().sent; }
    std::string Cell(uint16_t c, uint32_t r, size_t n) {
        return std::string(reinterpret_cast<const char*>(DatasetCell(&Sent().cols[c], r)), n);
    }
};

TEST_F(AgentDataPath, CapabilitiesComeFromTheAgentTheConnectionOpenedOn) {
    Open();
    ConnRecord* c = ConnOf(dbc);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(capagent::Table(), c->link.table);
    EXPECT_EQ(1u, c->hasV2DAE);
    EXPECT_EQ(1u, c->hasExecute2);
    EXPECT_EQ(1u, c->spOutDeferFetch);
    EXPECT_EQ(1u, c->capNamedParams);
    EXPECT_EQ(0u, c->wideUnconfirmed);
}

// A parameter set of three rows, the middle one ignored: the agent gets the two rows with the
// kinds of the agent-driven path, the named descriptions in the compound call, and the IPD
// statuses say the agent ran the rows.
TEST_F(AgentDataPath, ParameterArrayGoesToTheAgentWhole) {
    Open();
    Prepare("insert into t values(?, ?, ?)", {"?", "?", "?"});
    SQLINTEGER ids[3] = {1, 2, 3};
    char names[3][8] = {"ab", "xyz", "q"};
    SQLLEN nameLen[3] = {SQL_NTS, SQL_NTS, 1};
    SQLBIGINT big[3] = {-5, 6, 7};
    SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
    SQLUSMALLINT status[3] = {99, 99, 99};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0, names, 8, nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, big, 0, nullptr));
    SQLHDESC ipd = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(st, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ipd, 2, SQL_DESC_NAME, (SQLPOINTER) "@name", SQL_NTS));

    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ((std::vector<std::string>{"Prepare", "PrepareExecuteEx"}), Last().calls);
    ASSERT_EQ(3u, Last().names.size());
    EXPECT_FALSE(Last().names[0].has_value());
    EXPECT_EQ("@name", Last().names[1].value_or("(none)"));
    EXPECT_EQ(SQL_VARCHAR, Last().descs[1].sqlType);
    ASSERT_EQ(2u, Sent().rows_used);
    EXPECT_EQ(uint32_t(DS_INTEGER), Sent().cols[0].kind);
    EXPECT_EQ(uint32_t(DS_CHAR), Sent().cols[1].kind);
    EXPECT_EQ(3u, Sent().cols[1].width);  // the longest sent ("ab", "q") plus one
    EXPECT_EQ(std::string("ab\0", 3), Cell(1, 0, 3));
    EXPECT_EQ(std::string("q\0\0", 3), Cell(1, 1, 3));
    EXPECT_EQ(uint32_t(DS_CHAR), Sent().cols[2].kind);
    EXPECT_EQ(32u, Sent().cols[2].width);
    EXPECT_EQ(std::string("-5\0", 3), Cell(2, 0, 3));
    int32_t third;
    std::memcpy(&third, DatasetCell(&Sent().cols[0], 1), 4);
    EXPECT_EQ(3, third);
    EXPECT_EQ(2u, processed);
    EXPECT_EQ(SQL_PARAM_DIAG_UNAVAILABLE, status[0]);
    EXPECT_EQ(SQL_PARAM_UNUSED, status[1]);
    EXPECT_EQ(SQL_PARAM_DIAG_UNAVAILABLE, status[2]);
    // Sent once: the next execution goes without descriptions.
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st));
    EXPECT_EQ("PrepareExecuteEx", Last().calls.back());
    EXPECT_EQ(3u, Last().descs.size());
}

// The dialogue the agent runs: values marked as still to come, asked for one by one, their
// pieces sent as they come, and the execution finished when the agent has them all. Both ways
// of owning the handed-over Datasets are walked (the sanitizer sees a leak or a double free).
TEST_F(AgentDataPath, DataAtExecutionIsRunByTheAgent) {
    for (uint32_t word : {0u, 1u}) {
        SCOPED_TRACE(word);
        TearDown();
        SetUp();
        A().linkWord = word;
        Open();
        Prepare("insert into t values(?, ?)", {"?", "?"});
        char token1[] = "first";
        SQLLEN len1 = SQL_DATA_AT_EXEC;
        SQLINTEGER two = 42;
        SQLLEN len2 = SQL_LEN_DATA_AT_EXEC(4);
        SQLULEN processed = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, token1, 0, &len1));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &two, 0, &len2));
        ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
        EXPECT_EQ("none", State());  // the agent's request is no diagnostic
        EXPECT_EQ(0xFFFE, Sent().cols[0].indicators[0]);
        EXPECT_EQ(0xFFFE, Sent().cols[1].indicators[0]);
        EXPECT_EQ(SQL_ERROR, SQLExecute(st));  // the dialogue must end first
        EXPECT_EQ("HY010", State());
        EXPECT_EQ(SQL_ERROR, SQLPutData(st, (SQLPOINTER) "x", 1));  // no value asked for yet
        EXPECT_EQ("HY010", State());

        void* token = nullptr;
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &token));
        EXPECT_EQ(token1, token);
        EXPECT_EQ(1u, processed);
        EXPECT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER) "abc", SQL_NTS));
        EXPECT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER) "de", 2));
        EXPECT_EQ(SQL_SUCCESS, SQLPutData(st, nullptr, 0));
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &token));
        EXPECT_EQ(&two, token);
        SQLINTEGER v = 7;
        EXPECT_EQ(SQL_SUCCESS, SQLPutData(st, &v, 0));  // a fixed type ignores the length
        EXPECT_EQ(SQL_SUCCESS, SQLParamData(st, &token)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        EXPECT_EQ(0u, Rec()->needData);
        EXPECT_EQ(nullptr, Rec()->pendingParams);

        const auto& p = Last().pieces;
        ASSERT_EQ(4u, p.size());
        EXPECT_EQ(uint32_t(DS_CHAR), p[0].kind);
        EXPECT_EQ("abc", p[0].bytes);
        EXPECT_EQ("de", p[1].bytes);
        EXPECT_EQ("", p[2].bytes);
        EXPECT_EQ(0u, p[0].index);
        EXPECT_EQ(1u, p[3].index);
        EXPECT_EQ(uint32_t(DS_INTEGER), p[3].kind);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(&v), 4), p[3].bytes);
        EXPECT_EQ(1u, processed);
        EXPECT_EQ(SQL_ERROR, SQLParamData(st, &token));  // nothing is under way any more
        EXPECT_EQ("HY010", State());
        EXPECT_EQ(SQL_ERROR, SQLPutData(st, (SQLPOINTER) "x", 1));
        EXPECT_EQ("HY010", State());
    }
}

// Closing the statement or cancelling it ends the dialogue on both sides; the statement then
// executes afresh.
TEST_F(AgentDataPath, DialogueEndsWithCloseAndCancel) {
    Open();
    Prepare("insert into t values(?)", {"?"});
    SQLLEN dae = SQL_DATA_AT_EXEC;
    char token[4];
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, token, 0, &dae));
    for (int how = 0; how < 2; ++how) {
        SCOPED_TRACE(how);
        ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
        void* t = nullptr;
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
        if (how == 0)
            ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st, SQL_CLOSE));
        else
            ASSERT_TRUE(SQL_SUCCEEDED(SQLCancel(st)));
        EXPECT_EQ("Cancel", Last().calls.back());
        EXPECT_EQ(SQL_ERROR, SQLParamData(st, &t));
        EXPECT_EQ("HY010", State());
        EXPECT_EQ(SQL_ERROR, SQLPutData(st, (SQLPOINTER) "x", 1));
    }
    dae = 3;
    std::memcpy(token, "abc", 4);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ(std::string("abc", 3), Cell(0, 0, 3));
}

// The loop is not tied to parameters: another call (SQLSetPos's columns) opens its own dialogue
// in its own need-data state, names its tokens and types, and ends through its own finish.
struct ColumnDialogue {
    static inline std::vector<std::pair<uint32_t, uint32_t>> finished;
    static inline SQLINTEGER target[4] = {};
    static bool Token(StmtRecord*, uint16_t index, uint32_t* row, void** out) {
        if (index != 0) return false;
        *row += 1;  // rebased, as a positioned row would be
        *out = &target[*row];
        return true;
    }
    static bool Types(StmtRecord*, uint16_t, int16_t* cType, int16_t* sqlType) {
        *cType = SQL_C_SLONG;
        *sqlType = 0;
        return true;
    }
    static SQLRETURN Finish(StmtRecord* stmt, uint32_t rc, uint32_t row) {
        finished.emplace_back(rc, row);
        stmt->lastError = 0;
        return SQL_SUCCESS_WITH_INFO;
    }
};
constexpr AgentDaeDialog kColumnDialogue{2, ColumnDialogue::Token, ColumnDialogue::Types, ColumnDialogue::Finish,
                                         nullptr};

TEST_F(AgentDataPath, TheDialogueServesAnotherCall) {
    Open();
    Prepare("select c from t", {});
    ColumnDialogue::finished.clear();
    Last().asks = {{0, 0}};
    EXPECT_EQ(SQL_NEED_DATA, AgentDaeBegin(Rec(), &kColumnDialogue));
    EXPECT_EQ(2u, Rec()->needData);
    void* t = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
    EXPECT_EQ(&ColumnDialogue::target[1], t);
    SQLINTEGER v = 12;
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(st, &v, 0));
    ASSERT_EQ(1u, Last().pieces.size());
    EXPECT_EQ(uint32_t(DS_INTEGER), Last().pieces[0].kind);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLParamData(st, &t));
    ASSERT_EQ(1u, ColumnDialogue::finished.size());
    EXPECT_EQ(0u, ColumnDialogue::finished[0].first);
    EXPECT_EQ(0u, Rec()->needData);
    EXPECT_EQ(SQL_ERROR, SQLParamData(st, &t));
    // A failed SQLParamData ends the dialogue on both sides, without its finish: the agent names
    // a column the call does not have.
    Last().asks = {{1, 0}};
    Last().askNext = 0;
    EXPECT_EQ(SQL_NEED_DATA, AgentDaeBegin(Rec(), &kColumnDialogue));
    EXPECT_EQ(SQL_ERROR, SQLParamData(st, &t));
    EXPECT_EQ("HY000", State());
    EXPECT_EQ(0u, Rec()->needData);
    EXPECT_EQ(nullptr, Rec()->agentDialog);
    EXPECT_EQ("Cancel", Last().calls.back());
    EXPECT_EQ(1u, ColumnDialogue::finished.size());
    EXPECT_EQ(SQL_ERROR, SQLParamData(st, &t));
    EXPECT_EQ("HY010", State());
}

// Each C type's piece as the agent takes it.
TEST_F(AgentDataPath, PiecesAreTypedForTheAgent) {
    Open();
    struct Case {
        SQLSMALLINT cType, sqlType;
        std::vector<char> data;
        SQLLEN length;
        uint32_t kind;
        uint16_t indicator;
        std::string bytes;
    };
    SQLBIGINT minus5 = -5;
    SQL_DATE_STRUCT date{2024, 1, 5};
    SQLGUID guid{0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
    SQL_NUMERIC_STRUCT num{};
    num.precision = 5;
    num.scale = 2;
    num.sign = 1;
    num.val[0] = 0x39;  // 12345 -> 123.45
    num.val[1] = 0x30;
    auto bytesOf = [](const void* p, size_t n) { return std::vector<char>((const char*)p, (const char*)p + n); };
    const double d = 123.45;
    const std::u16string wide = u"h\u00e9";
    std::vector<Case> cases = {
        {SQL_C_SBIGINT, SQL_BIGINT, bytesOf(&minus5, 8), 8, DS_CHAR, 0,
         "-5" + std::string(29, ' ') + std::string(1, '\0')},
        {SQL_C_CHAR, SQL_TYPE_DATE, bytesOf("{d '2024-01-05'}", 16), 16, DS_DATE, 0,
         std::string((const char*)&date, 6)},
        {SQL_C_CHAR, SQL_TYPE_DATE, bytesOf("2024-01-05", 10), 10, DS_CHAR, 0, "2024-01-05"},
        {SQL_C_CHAR, SQL_VARBINARY, bytesOf("0A0b", 4), 4, DS_BINARY, 0, "\x0a\x0b"},
        {SQL_C_WCHAR, SQL_WVARCHAR, bytesOf(wide.data(), 4), SQL_NTS, DS_WCHAR, 0,
         std::string((const char*)wide.data(), 4)},
        {SQL_C_BINARY, SQL_VARBINARY, bytesOf("\0\1\2", 3), 3, DS_BINARY, 0, std::string("\0\1\2", 3)},
        {SQL_C_GUID, SQL_GUID, bytesOf(&guid, sizeof guid), 16, DS_CHAR, 0, "12345678-9ABC-DEF0-0102-030405060708"},
        {SQL_C_NUMERIC, SQL_NUMERIC, bytesOf(&num, sizeof num), 19, DS_DOUBLE, 0, std::string((const char*)&d, 8)},
        {SQL_C_CHAR, SQL_VARCHAR, bytesOf("x", 1), SQL_NULL_DATA, DS_CHAR, 0xFFFF, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        Prepare("insert into t values(?)", {"?"});
        SQLLEN dae = SQL_DATA_AT_EXEC;
        char token[4];
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 40, 0, token, 0, &dae));
        ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
        void* t = nullptr;
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
        std::vector<char> data = c.data;
        if (c.length == SQL_NTS) data.insert(data.end(), {0, 0});
        ASSERT_EQ(SQL_SUCCESS, SQLPutData(st, data.data(), c.length)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        ASSERT_EQ(1u, Last().pieces.size());
        const capagent::Piece& p = Last().pieces[0];
        EXPECT_EQ(c.kind, p.kind);
        EXPECT_EQ(c.indicator, p.indicator);
        if (c.kind == DS_DOUBLE) {
            double got = 0;
            ASSERT_EQ(8u, p.bytes.size());
            std::memcpy(&got, p.bytes.data(), 8);
            EXPECT_NEAR(123.45, got, 1e-9);
        } else {
            EXPECT_EQ(c.bytes, p.bytes);
        }
        EXPECT_EQ(SQL_SUCCESS, SQLParamData(st, &t));
        SQLFreeStmt(st, SQL_RESET_PARAMS);
    }
}

TEST_F(AgentDataPath, PutDataRefusesWhatTheAgentCannotTake) {
    Open();
    Prepare("insert into t values(?)", {"?"});
    SQLLEN dae = SQL_DATA_AT_EXEC;
    char token[4];
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, token, 0, &dae));
    EXPECT_EQ(SQL_ERROR, SQLPutData(st, (SQLPOINTER) "x", 1));  // no dialogue
    EXPECT_EQ("HY010", State());
    void* t = nullptr;
    struct {
        const void* data;
        SQLLEN length;
        const char* state;
        uint32_t agentFailure = 0;
    } refusals[] = {
        {"x", SQL_NO_TOTAL, "HY090"},      {nullptr, 3, "HY009"},
        {"x", SQL_DEFAULT_PARAM, "HY090"}, {nullptr, SQL_DEFAULT_PARAM, "HY090"},
        {"x", SQL_DATA_AT_EXEC, "HY090"},  {"abc", 3, "22001", 59},  // the agent's own message
    };
    // Each refusal ends the dialogue on both sides, as the Driver Manager's state does: the agent
    // lets the execution go, and the statement executes afresh.
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.state);
        ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
        A().failPutData = r.agentFailure;
        EXPECT_EQ(SQL_ERROR, SQLPutData(st, const_cast<void*>(r.data), r.length));
        A().failPutData = 0;
        EXPECT_EQ(r.state, State());
        EXPECT_EQ(0u, Rec()->needData);
        EXPECT_EQ("Cancel", Last().calls.back());
        EXPECT_TRUE(Last().pieces.empty());
        EXPECT_EQ(SQL_ERROR, SQLPutData(st, (SQLPOINTER) "abc", 3));
        EXPECT_EQ("HY010", State());
    }
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER) "abc", 3));
    EXPECT_EQ(1u, Last().pieces.size());
    EXPECT_EQ(SQL_SUCCESS, SQLParamData(st, &t)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
}

// The agent's failure at the end of the dialogue: its messages and the row it stopped at.
TEST_F(AgentDataPath, FailureAtTheEndOfTheDialogue) {
    Open();
    Prepare("insert into t values(?)", {"?"});
    char data[2][4] = {"a", "b"};
    SQLLEN lens[2] = {SQL_DATA_AT_EXEC, SQL_NTS};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)2, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, data, 4, lens));
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
    EXPECT_EQ("b", Cell(0, 1, 1));
    void* t = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
    EXPECT_EQ(data, t);
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER) "zz", 2));
    A().executeResult = 15;
    A().rowCount = 1;
    A().messages.push_back("[Agent]duplicate key[SQLSTATE:23000]");
    EXPECT_EQ(SQL_ERROR, SQLParamData(st, &t));
    EXPECT_EQ("23000", State());
    EXPECT_EQ(2u, processed);  // the agent's row value + 1
    EXPECT_EQ(0u, Rec()->needData);
    EXPECT_FALSE(Rec()->flags & kSfExecuted);
}

// Values at execution in several rows of a parameter set: the agent asks row by row, and the
// rows processed follow it.
TEST_F(AgentDataPath, DataAtExecutionAcrossRows) {
    Open();
    Prepare("insert into t values(?, ?)", {"?", "?"});
    SQLINTEGER ids[3] = {1, 2, 3};
    char tokens[3][4] = {"r0", "r1", "r2"};
    SQLLEN lens[3] = {SQL_DATA_AT_EXEC, SQL_NTS, SQL_LEN_DATA_AT_EXEC(10)};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, tokens, 4, lens));
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
    ASSERT_EQ(3u, Sent().rows_used);
    EXPECT_EQ(0xFFFE, Sent().cols[1].indicators[0]);
    EXPECT_EQ(0, Sent().cols[1].indicators[1]);
    EXPECT_EQ(0xFFFE, Sent().cols[1].indicators[2]);
    EXPECT_EQ(std::string("r1\0", 3), Cell(1, 1, 3));
    void* t = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
    EXPECT_EQ(1u, processed);
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER) "first", SQL_NTS));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
    EXPECT_EQ(3u, processed);
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER) "third", SQL_NTS));
    A().rowCount = 3;
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(st, &t));
    EXPECT_EQ(3u, processed);
    ASSERT_EQ(2u, Last().pieces.size());
    EXPECT_EQ(0u, Last().pieces[0].row);
    EXPECT_EQ("first", Last().pieces[0].bytes);
    EXPECT_EQ(2u, Last().pieces[1].row);
    EXPECT_EQ(1u, Last().pieces[1].index);
}

TEST_F(AgentDataPath, ExecutionRefusals) {
    Open();
    Prepare("insert into t values(?, ?)", {"?", "?"});
    SQLINTEGER v = 1;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr));
    EXPECT_EQ(SQL_ERROR, SQLExecute(st));  // parameter 2 not bound
    EXPECT_EQ("07001", State());
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr));
    // Parameter 1 loses its value pointer and never had a length: nothing to send.
    SQLHDESC apd = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(st, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_DATA_PTR, nullptr, 0));
    EXPECT_EQ(SQL_ERROR, SQLExecute(st));
    EXPECT_EQ("HY009", State());
    EXPECT_EQ((std::vector<std::string>{"Prepare"}), Last().calls);  // nothing reached the agent
}

// A connection whose agent refused Unicode: descriptions, the Dataset's wide columns and the
// wide pieces all go narrow, with every character kept.
TEST_F(AgentDataPath, NarrowingForAnAgentThatRefusedUnicode) {
    A().unicode = 0;
    Open(true);
    ASSERT_EQ(1u, ConnOf(dbc)->wideUnconfirmed);
    std::u16string text = u"insert into t values(?, ?)";
    A().params = {"?", "?"};
    ASSERT_EQ(SQL_SUCCESS, SQLPrepareW(st, (SQLWCHAR*)text.c_str(), SQL_NTS));
    std::u16string value = u"h\u00e9";
    SQLLEN nts = SQL_NTS, dae = SQL_DATA_AT_EXEC;
    char token[4];
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10, 0,
                                            (SQLPOINTER)value.c_str(), 0, &nts));
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 100, 0, token, 0, &dae));
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(st));
    ASSERT_EQ(2u, Last().descs.size());
    EXPECT_EQ(SQL_VARCHAR, Last().descs[0].sqlType);
    EXPECT_EQ(SQL_C_CHAR, Last().descs[0].cType);
    EXPECT_EQ(SQL_LONGVARCHAR, Last().descs[1].sqlType);
    EXPECT_EQ(uint32_t(DS_CHAR_NTS), Sent().cols[0].kind);
    EXPECT_STREQ("h\xc3\xa9", reinterpret_cast<const char*>(DatasetCell(&Sent().cols[0], 0)));
    void* t = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &t));
    std::u16string piece = u"\u20ac1";
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER)piece.c_str(), SQL_NTS));
    ASSERT_EQ(1u, Last().pieces.size());
    EXPECT_EQ(uint32_t(DS_CHAR), Last().pieces[0].kind);
    EXPECT_EQ(
        "\xe2\x82\xac"
        "1",
        Last().pieces[0].bytes);  // not cut to half of four bytes
    EXPECT_EQ(SQL_SUCCESS, SQLParamData(st, &t));
}

// Output values of a procedure that come after its results: the execution leaves them, the
// results are read, and SQLMoreResults brings them; an agent that answers 80 at once hands
// them over at the execution.
TEST_F(AgentDataPath, DeferredOutputParameters) {
    Open();
    capagent::Script s;
    s.result = {{{"c", SQL_INTEGER, DS_INTEGER, 4}}, {{std::string("10")}, {std::string("11")}}};
    s.out = {{{"o", SQL_INTEGER, DS_INTEGER, 4}}, {{std::string("77")}}};
    A().scripts["{call p(?)}"] = s;
    Prepare("{call p(?)}", {"*O"});
    SQLINTEGER out = -1;
    SQLLEN outLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &out, 0, &outLen));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ(-1, out);
    EXPECT_EQ("PrepareExecuteEx", Last().calls[1]);  // the output description went along
    SQLINTEGER c = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st, 1, SQL_C_SLONG, &c, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(st));
    EXPECT_EQ(10, c);
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(st));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(st));
    EXPECT_EQ(-1, out);
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(st));
    EXPECT_EQ(77, out);
    EXPECT_EQ(4, outLen);

    SQLFreeStmt(st, SQL_CLOSE);
    SQLFreeStmt(st, SQL_UNBIND);
    out = -1;
    A().executeResult = 80;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ(77, out);
}

// Long values stay with the agent: SQLGetData reads them piece by piece, asking for as many
// bytes as the buffer holds; a total of -1 is NULL.
TEST_F(AgentDataPath, LongValuesInPieces) {
    for (bool nullAsNoData : {false, true}) {
        SCOPED_TRACE(nullAsNoData);
        TearDown();
        SetUp();
        A().nullAsNoData = nullAsNoData;
        capagent::Script s;
        s.result = {{{"id", SQL_INTEGER, DS_INTEGER, 4},
                     {"doc", SQL_LONGVARCHAR, DS_CHAR_REF, 16},
                     {"w", SQL_WLONGVARCHAR, DS_WCHAR_REF, 16}},
                    {{std::string("1"), std::string(2500, 'a'), std::string("wide text")},
                     {std::string("2"), std::nullopt, std::nullopt}}};
        s.result.rows[0][1]->replace(0, 3, "xyz");
        s.longCols = {1, 2};
        A().scripts["select * from docs"] = s;
        Open();
        ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"select * from docs", SQL_NTS));
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st));
        char buf[1000];
        SQLLEN len = 0;
        struct Step {
            SQLRETURN rc;
            SQLLEN len;
        } steps[] = {{SQL_SUCCESS_WITH_INFO, 2500}, {SQL_SUCCESS_WITH_INFO, 1501}, {SQL_SUCCESS, 502}};
        std::string all;
        for (const Step& step : steps) {
            EXPECT_EQ(step.rc, SQLGetData(st, 2, SQL_C_CHAR, buf, sizeof buf, &len));
            EXPECT_EQ(step.len, len);
            all += buf;
        }
        EXPECT_EQ(SQL_NO_DATA, SQLGetData(st, 2, SQL_C_CHAR, buf, sizeof buf, &len));
        EXPECT_EQ(2500u, all.size());
        EXPECT_EQ("xyzaa", all.substr(0, 5));
        EXPECT_EQ((std::vector<uint64_t>{999, 999, 999, 999}), Last().wanted);

        SQLWCHAR wbuf[6];
        EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(st, 3, SQL_C_WCHAR, wbuf, sizeof wbuf, &len));
        EXPECT_EQ(18, len);
        EXPECT_EQ(u"wide ", std::u16string((const char16_t*)wbuf));
        EXPECT_EQ(5u, Last().wanted.back());  // characters: (12 - 1) / 2
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(st, 3, SQL_C_WCHAR, wbuf, sizeof wbuf, &len));
        EXPECT_EQ(u"text", std::u16string((const char16_t*)wbuf));

        ASSERT_EQ(SQL_SUCCESS, SQLFetch(st));
        buf[0] = 'z';
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(st, 2, SQL_C_CHAR, buf, sizeof buf, &len));
        EXPECT_EQ(SQL_NULL_DATA, len);
        EXPECT_EQ(SQL_ERROR, SQLGetData(st, 3, SQL_C_CHAR, buf, sizeof buf, nullptr));
        EXPECT_EQ("22002", State());
        EXPECT_EQ(SQL_NO_DATA, SQLFetch(st));
    }
}

TEST_F(AgentDataPath, LengthOnlyReadOfALongValue) {
    capagent::Script s;
    s.result = {{{"doc", SQL_LONGVARCHAR, DS_CHAR_REF, 16}}, {{std::string(300, 'q')}}};
    s.longCols = {0};
    A().scripts["select doc from docs"] = s;
    Open();
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"select doc from docs", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st));
    char buf[400];
    SQLLEN len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(st, 1, SQL_C_CHAR, buf, 0, &len));
    EXPECT_EQ(300, len);
    EXPECT_EQ(0u, Last().wanted.back());
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &len));
    EXPECT_EQ(300, len);
    EXPECT_EQ(std::string(300, 'q'), std::string(buf));
}

// A rowset fetch without a status array of the application's makes a temporary one; when that
// cannot be had, the call says why.
TEST_F(AgentDataPath, TemporaryStatusArrayThatCannotBeAllocated) {
    capagent::Script s;
    s.result = {{{"c", SQL_INTEGER, DS_INTEGER, 4}}, {{std::string("1")}, {std::string("2")}}};
    A().scripts["select c from t"] = s;
    Open();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"select c from t", SQL_NTS));
    TryMemFailAfter(0);
    const SQLRETURN rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0);
    TryMemFailAfter(-1);
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ("HY001", State());
}

// Without data at execution by the agent, the driver-side execution still uses the named
// descriptions of an agent that declares them.
TEST_F(AgentDataPath, DriverSideExecutionWithNamedDescriptions) {
    A().mask = capagent::kDefaultMask & ~uint32_t(kCapV2DataAtExec);
    Open();
    ASSERT_EQ(0u, ConnOf(dbc)->hasV2DAE);
    Prepare("insert into t values(?)", {"?"});
    SQLINTEGER v = 5;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, nullptr));
    SQLHDESC ipd = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(st, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLPOINTER) "@v", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(st)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ("PrepareExecuteEx", Last().calls.back());
    ASSERT_EQ(1u, Last().names.size());
    EXPECT_EQ("@v", Last().names[0].value_or("(none)"));

    // The named copies that cannot be made: nothing is left behind, and values that never
    // reached the agent are released as the agent would have released them.
    ParamDescEntry d{SQL_INTEGER, SQL_C_SLONG, 10, 0, SQL_PARAM_INPUT};
    for (long failAt : {0L, 1L}) {
        ScsNamedParamDesc* named = nullptr;
        TryMemFailAfter(failAt);
        const uint32_t rc = CopyParamDescsWithNames(Rec(), 1, &d, &named);
        TryMemFailAfter(-1);
        EXPECT_EQ(16u, rc);
        EXPECT_EQ(nullptr, named);
    }
    auto* values = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    ASSERT_EQ(0, DatasetInit(values, 1));
    const size_t before = Last().calls.size();
    TryMemFailAfter(0);
    const uint32_t rc = ExecuteCompound(Rec(), values, 1, &d);
    TryMemFailAfter(-1);
    EXPECT_EQ(16u, rc);
    EXPECT_EQ(before, Last().calls.size());
}

// Positioned changes over an agent that collects column data at execution itself: a static,
// lock-concurrency cursor of two-row rowsets over (id INTEGER, name VARCHAR).
class AgentSetPos : public AgentDataPath {
protected:
    SQLINTEGER ids[2] = {0, 0};
    SQLLEN idLen[2] = {0, 0};
    char names[2][16] = {};
    SQLLEN nameLen[2] = {0, 0};
    SQLUSMALLINT statuses[2] = {99, 99};

    void OpenCursor(uint32_t linkWord = 0) {
        A().mask |= kCapScrollCursors;
        A().linkWord = linkWord;
        capagent::Script s;
        s.result = {{{"id", SQL_INTEGER, DS_INTEGER, 4}, {"name", SQL_VARCHAR, DS_CHAR_NTS, 16}},
                    {{std::string("1"), std::string("one")},
                     {std::string("2"), std::string("two")},
                     {std::string("3"), std::string("three")}}};
        A().scripts["select id, name from t"] = s;
        Open();
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)(uintptr_t)SQL_CURSOR_STATIC, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, (SQLPOINTER)(uintptr_t)SQL_CONCUR_LOCK, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, statuses, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"select id, name from t", SQL_NTS))
            << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st, 1, SQL_C_SLONG, ids, 0, idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(st, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(st, SQL_FETCH_FIRST, 0)) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        ASSERT_EQ(1, ids[0]);
        ASSERT_EQ(2, ids[1]);
        statuses[0] = statuses[1] = 99;
    }
    capagent::Stmt& Agent() { return capagent::S(Rec()->agentStmt); }
    // The need-data loop: every value the agent asks for is sent in pieces of two characters;
    // the result of the SQLParamData that ends it.
    SQLRETURN Supply(std::vector<void*>* tokens, const std::vector<std::string>& values) {
        SQLRETURN rc = SQL_NEED_DATA;
        for (size_t v = 0;; ++v) {
            void* token = nullptr;
            rc = SQLParamData(st, &token);
            if (rc != SQL_NEED_DATA) return rc;
            tokens->push_back(token);
            const std::string& text = values.at(v);
            for (size_t at = 0; at < text.size(); at += 2) {
                const std::string piece = text.substr(at, 2);
                EXPECT_EQ(SQL_SUCCESS, SQLPutData(st, (SQLPOINTER)piece.c_str(), SQLLEN(piece.size())))
                    << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
            }
        }
    }
    std::string Pieces() {
        std::string out;
        for (const capagent::Piece& p : Agent().pieces)
            out += std::to_string(p.index) + "/" + std::to_string(p.row) + ":" + p.bytes + ";";
        return out;
    }
};

// SQL_UPDATE of one row and SQL_ADD of the whole rowset with a name to come at execution: the
// agent gets the row Dataset with the value marked, asks for it through SQLParamData, takes its
// pieces through SQLPutData, and the statuses it reports reach the rowset and the application.
TEST_F(AgentSetPos, UpdateAndAddRunTheNeedDataLoopThroughTheAgent) {
    for (uint32_t linkWord : {0u, 1u}) {
        SCOPED_TRACE(linkWord);
        TearDown();
        SetUp();
        OpenCursor(linkWord);
        ids[1] = 20;
        nameLen[1] = SQL_LEN_DATA_AT_EXEC(4);
        ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
            << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        EXPECT_EQ(2u, Agent().setPosRow);
        EXPECT_EQ(SQL_UPDATE, Agent().setPosOp);
        EXPECT_EQ((std::vector<uint16_t>{1, 2}), Agent().setPosColumns);
        ASSERT_NE(nullptr, Agent().sent);
        ASSERT_EQ(1u, Agent().sent->rows_used);
        EXPECT_EQ(20, *reinterpret_cast<const int32_t*>(DatasetCell(&Agent().sent->cols[0], 0)));
        EXPECT_EQ(0xFFFE, Agent().sent->cols[1].indicators[0]);
        EXPECT_EQ(99, statuses[1]);
        std::vector<void*> tokens;
        EXPECT_EQ(SQL_SUCCESS, Supply(&tokens, {"abcde"})) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        ASSERT_EQ(1u, tokens.size());
        EXPECT_EQ(static_cast<void*>(names[1]), tokens[0]);
        EXPECT_EQ("1/0:ab;1/0:cd;1/0:e;", Pieces());
        EXPECT_EQ(SQL_ROW_UPDATED, statuses[1]);
        EXPECT_EQ(99, statuses[0]);
        // The dialogue is over: another SQLParamData is out of sequence.
        void* token = nullptr;
        EXPECT_EQ(SQL_ERROR, SQLParamData(st, &token));
        EXPECT_EQ("HY010", State());

        // All rows of the rowset added, both names to come.
        nameLen[0] = nameLen[1] = SQL_DATA_AT_EXEC;
        ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(st, 0, SQL_ADD, SQL_LOCK_NO_CHANGE))
            << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
        EXPECT_EQ(0xFFFFFFFEu, Agent().setPosRow);
        EXPECT_EQ(SQL_ADD, Agent().setPosOp);
        ASSERT_EQ(2u, Agent().sent->rows_used);
        tokens.clear();
        EXPECT_EQ(SQL_SUCCESS, Supply(&tokens, {"xy", "uvw"}));
        ASSERT_EQ(2u, tokens.size());
        EXPECT_EQ(static_cast<void*>(names[0]), tokens[0]);
        EXPECT_EQ(static_cast<void*>(names[1]), tokens[1]);
        EXPECT_EQ("1/0:xy;1/1:uv;1/1:w;", Pieces());
        EXPECT_EQ(SQL_ROW_ADDED, statuses[0]);
        EXPECT_EQ(SQL_ROW_ADDED, statuses[1]);
        // The rowset keeps the statuses: the added row's place reads added.
        EXPECT_EQ(SQL_ROW_ADDED, RowsetStatusGet(Rec()->cursor.rowset, 1));
    }
}

// Without values to come the agent answers at once; POSITION succeeds and leaves nothing behind;
// DELETE hands the agent its one-column Dataset and stores the statuses.
TEST_F(AgentSetPos, PositionAndDeleteWithoutADialogue) {
    OpenCursor();
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(st, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE))
        << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQL_POSITION, Agent().setPosOp);
    EXPECT_EQ(nullptr, Agent().sent);
    EXPECT_EQ(99, statuses[0]);
    EXPECT_EQ(nullptr, Rec()->pendingParams);

    SQLUSMALLINT ops[2] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE};
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_ROW_OPERATION_PTR, ops, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(st, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE))
        << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQL_DELETE, Agent().setPosOp);
    ASSERT_NE(nullptr, Agent().sent);
    ASSERT_EQ(1u, Agent().sent->col_count);
    ASSERT_EQ(2u, Agent().sent->rows_used);
    EXPECT_EQ(DS_IND_VALUE, Agent().sent->cols[0].indicators[0]);
    EXPECT_EQ(DS_IND_IGNORED, Agent().sent->cols[0].indicators[1]);
    EXPECT_EQ(SQL_ROW_DELETED, statuses[0]);
    EXPECT_EQ(99, statuses[1]);  // ignored: the application's array keeps its value
    EXPECT_EQ(SQL_ROW_DELETED, RowsetStatusGet(Rec()->cursor.rowset, 2));
    // A deleted row refuses a further change.
    EXPECT_EQ(SQL_ERROR, SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY109", State());
}

// The agent's final answer, whether it comes at once or after the last value: 92 is success
// with information, 91 an error with the statuses stored, any other failure an error without
// statuses after which the next operation starts clean.
TEST_F(AgentSetPos, FinalAnswersOfTheAgent) {
    struct Case {
        uint32_t answer;
        SQLRETURN rc;
        const char* state;
        bool statusesStored;
    };
    const Case cases[] = {{0, SQL_SUCCESS, "none", true},
                          {92, SQL_SUCCESS_WITH_INFO, "01001", true},
                          {91, SQL_ERROR, "01001", true},
                          {81, SQL_ERROR, "01S01", true},
                          {15, SQL_ERROR, "HY000", false}};
    for (const Case& k : cases) {
        for (bool dialogue : {false, true}) {
            SCOPED_TRACE(std::to_string(k.answer) + (dialogue ? " after the dialogue" : " at once"));
            TearDown();
            SetUp();
            OpenCursor();
            A().setPosResult = k.answer;
            A().setPosStatus = k.answer == 0 ? 0 : SQL_ROW_ERROR;
            nameLen[0] = dialogue ? SQL_DATA_AT_EXEC : SQL_NTS;
            std::strcpy(names[0], "new");
            SQLRETURN rc = SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
            if (dialogue) {
                ASSERT_EQ(SQL_NEED_DATA, rc) << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
                std::vector<void*> tokens;
                rc = Supply(&tokens, {"late"});
                EXPECT_EQ(1u, tokens.size());
            }
            EXPECT_EQ(k.rc, rc);
            EXPECT_EQ(k.state, State());
            const SQLUSMALLINT want = k.answer == 0 ? SQL_ROW_UPDATED : SQL_ROW_ERROR;
            EXPECT_EQ(k.statusesStored ? want : 99, statuses[0]);
            EXPECT_EQ(nullptr, Rec()->pendingParams);
            EXPECT_EQ(0, Rec()->needData);
            // Whatever the answer, the statement takes the next operation (on the other row: a
            // row the agent reported in error refuses changes).
            A().setPosResult = 0;
            A().setPosStatus = 0;
            nameLen[1] = SQL_NTS;
            EXPECT_EQ(SQL_SUCCESS, SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
                << tvtest::AllDiagText(SQL_HANDLE_STMT, st);
            EXPECT_EQ(SQL_ROW_UPDATED, statuses[1]);
            EXPECT_EQ(1u, Agent().sent->rows_used);
        }
    }
    // Rows that failed among a whole rowset: the others stand, and the statuses tell which.
    A().setPosResult = 81;
    A().setPosStatus = SQL_ROW_ERROR;
    nameLen[0] = nameLen[1] = SQL_NTS;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetPos(st, 0, SQL_ADD, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("01S01", State());
    EXPECT_EQ(SQL_ROW_ERROR, statuses[0]);
    EXPECT_EQ(SQL_ROW_ERROR, statuses[1]);
}

// A dialogue left half-way: closing the cursor tells the agent to let go and frees what the
// operation kept; an operation of a forward-only cursor is refused before anything is asked.
TEST_F(AgentSetPos, AbandonedDialogueAndRefusals) {
    for (uint32_t linkWord : {0u, 1u}) {
        SCOPED_TRACE(linkWord);
        TearDown();
        SetUp();
        OpenCursor(linkWord);
        nameLen[0] = SQL_DATA_AT_EXEC;
        ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(st, 1, SQL_ADD, SQL_LOCK_NO_CHANGE));
        void* token = nullptr;
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(st, &token));
        // A second operation while the agent still waits for a value is out of sequence.
        EXPECT_EQ(SQL_ERROR, SQLSetPos(st, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
        EXPECT_EQ("HY010", State());
        ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st, SQL_CLOSE));
        EXPECT_EQ("Cancel", Agent().calls.back());
        EXPECT_EQ(nullptr, Rec()->pendingParams);
    }
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)(uintptr_t)SQL_CURSOR_FORWARD_ONLY, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"select id, name from t", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(st));
    const size_t calls = Agent().calls.size();
    EXPECT_EQ(SQL_ERROR, SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY109", State());
    EXPECT_EQ(SQL_ERROR, SQLSetPos(st, 1, SQL_POSITION, SQL_LOCK_EXCLUSIVE));
    EXPECT_EQ("HYC00", State());
    EXPECT_EQ(calls, Agent().calls.size());
}

}  // namespace
