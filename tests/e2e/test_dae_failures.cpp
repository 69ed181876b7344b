// A data-at-execution dialogue that fails, through the Driver Manager for both builds: a failed
// SQLPutData or SQLParamData takes the statement back to where SQLExecute, SQLExecDirect or
// SQLSetPos/SQLBulkOperations found it (the Driver Manager's own state does so), and the driver
// follows, so the application's next call starts over instead of failing with HY010. A
// fixed-size value sent in two pieces is refused for row operations as for parameters.
#include <cstring>
#include <functional>
#include <string>

#include "rowops_fixture.h"

namespace resultstest {
namespace {

// One failing piece: what the application sends after the first piece, and what it hears.
struct BadPiece {
    const char* what;
    SQLSMALLINT cType;  // of the value the piece is for
    const void* data;
    SQLLEN length;
    const char* state;
};

const SQLINTEGER kSeven = 7;
const BadPiece kBadPieces[] = {
    {"a length that is no piece length", SQL_C_CHAR, "xx", SQL_NO_TOTAL, "HY090"},
    {"SQL_DEFAULT_PARAM as a piece's length", SQL_C_CHAR, "xx", SQL_DEFAULT_PARAM, "HY090"},
    {"an integer in two pieces", SQL_C_SLONG, &kSeven, 4, "HY019"},
};

class DaeFailures : public TenRowTable {
protected:
    DaeFailures() : TenRowTable("daefail") {}

    // The first piece of a value of the C type.
    SQLRETURN FirstPiece(SQLSMALLINT cType) {
        static const SQLINTEGER v = 5;
        return cType == SQL_C_SLONG ? SQLPutData(stmt, const_cast<SQLINTEGER*>(&v), 0)
                                    : SQLPutData(stmt, (SQLPOINTER) "zz", 2);
    }
    // The first value asked for gets a good piece, then the bad one: refused, and no dialogue is
    // under way any more.
    void FailPiece(const BadPiece& p) {
        SQLPOINTER token = nullptr;
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
        ASSERT_EQ(SQL_SUCCESS, FirstPiece(p.cType)) << Diag();
        EXPECT_EQ(SQL_ERROR, SQLPutData(stmt, const_cast<void*>(p.data), p.length));
        EXPECT_EQ(p.state, State());
        EXPECT_EQ(SQL_ERROR, SQLParamData(stmt, &token));
        EXPECT_EQ("HY010", State());
    }
    // The statement's dialogue through to its end with one value per SQLParamData.
    void Supply(const std::function<SQLRETURN()>& piece, SQLRETURN last = SQL_SUCCESS) {
        SQLPOINTER token = nullptr;
        SQLRETURN rc;
        int values = 0;
        while ((rc = SQLParamData(stmt, &token)) == SQL_NEED_DATA) {
            ASSERT_EQ(SQL_SUCCESS, piece()) << Diag();
            ASSERT_LT(++values, 20);
        }
        ASSERT_EQ(last, rc) << Diag();
    }
};

// SQLExecute and SQLExecDirect with a parameter at execution: after each failing piece the next
// execution asks for the value again and runs with the new one alone.
TEST_P(DaeFailures, AFailedPieceLeavesTheStatementToExecuteAgain) {
    const std::string ins = "insert into " + t + " (id, name) values (?, ?)";
    for (bool direct : {false, true}) {
        for (const BadPiece& p : kBadPieces) {
            SCOPED_TRACE(std::string(p.what) + (direct ? ", SQLExecDirect" : ", SQLExecute"));
            Reset();
            SQLFreeStmt(stmt, SQL_RESET_PARAMS);
            SQLINTEGER id = 50;
            SQLLEN idLen = p.cType == SQL_C_SLONG ? SQLLEN(SQL_DATA_AT_EXEC) : 0;
            SQLLEN nameLen = p.cType == SQL_C_SLONG ? SQLLEN(SQL_NTS) : SQLLEN(SQL_DATA_AT_EXEC);
            char name[8] = "n50";
            ASSERT_EQ(SQL_SUCCESS,
                      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &idLen));
            ASSERT_EQ(SQL_SUCCESS,
                      SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 12, 0, name, 8, &nameLen));
            auto execute = [&] {
                return direct ? SQLExecDirect(stmt, (SQLCHAR*)ins.c_str(), SQL_NTS) : SQLExecute(stmt);
            };
            if (!direct) {
                ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)ins.c_str(), SQL_NTS)) << Diag();
            }
            ASSERT_EQ(SQL_NEED_DATA, execute()) << Diag();
            FailPiece(p);
            if (HasFatalFailure()) return;
            // The statement is as it was before the execution.
            ASSERT_EQ(SQL_NEED_DATA, execute()) << Diag();
            Supply([&] {
                return p.cType == SQL_C_SLONG ? SQLPutData(stmt, &id, 0) : SQLPutData(stmt, (SQLPOINTER) "late", 4);
            });
            SQLFreeStmt(stmt, SQL_CLOSE);
            EXPECT_EQ(Expected({}) + (p.cType == SQL_C_SLONG ? "50:n50:- " : "50:late:- "), Contents());
        }
    }
}

// An execution that fails at the end of the dialogue (SQLParamData's) leaves the statement
// prepared too: the next SQLExecute asks again.
TEST_P(DaeFailures, AFailedExecutionAtTheEndLeavesTheStatementPrepared) {
    const std::string ins = "insert into " + t + " (id, name) values (?, 'x')";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)ins.c_str(), SQL_NTS)) << Diag();
    SQLLEN len = SQL_DATA_AT_EXEC;
    char token[4] = "tok";
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 0, 0, token, 0, &len));
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
    // Row 3 is there: a duplicate key.
    Supply([&] { return SQLPutData(stmt, (SQLPOINTER) "3", 1); }, SQL_ERROR);
    EXPECT_EQ("23000", State());
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
    Supply([&] { return SQLPutData(stmt, (SQLPOINTER) "60", 2); });
    EXPECT_EQ(Expected({}) + "60:x:- ", Contents());
}

// SQLSetPos and SQLBulkOperations with a column at execution over a keyset-driven cursor: a
// failing piece ends the operation with nothing changed, the cursor stays where it was, and the
// same operation then runs with the new value alone.
TEST_P(DaeFailures, AFailedPieceLeavesTheCursorForTheNextRowOperation) {
    SQLINTEGER ids[2] = {};
    SQLLEN idLen[2] = {};
    char names[2][13] = {};
    SQLLEN nameLen[2] = {};
    struct Op {
        const char* what;
        bool add;
        std::function<SQLRETURN()> run;
    };
    const Op ops[] = {
        {"SQLSetPos update", false, [&] { return SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE); }},
        {"SQLBulkOperations add", true, [&] { return SQLBulkOperations(stmt, SQL_ADD); }},
    };
    for (const Op& op : ops) {
        for (const BadPiece& p : kBadPieces) {
            SCOPED_TRACE(std::string(p.what) + ", " + op.what);
            Reset();
            Release();
            SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
            SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_VALUES);
            SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 1);
            ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, ids, sizeof(SQLINTEGER), idLen));
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
            const bool add = op.add;
            ids[0] = add ? 70 : 1;
            std::strcpy(names[0], add ? "added" : "r1");
            // The piece's value is at execution, the other one bound.
            idLen[0] = p.cType == SQL_C_SLONG ? SQLLEN(SQL_DATA_AT_EXEC) : SQLLEN(0);
            nameLen[0] = p.cType == SQL_C_SLONG ? SQLLEN(SQL_NTS) : SQLLEN(SQL_LEN_DATA_AT_EXEC(0));
            if (!add && p.cType == SQL_C_SLONG) std::strcpy(names[0], "upd");
            ASSERT_EQ(SQL_NEED_DATA, op.run()) << Diag();
            FailPiece(p);
            if (HasFatalFailure()) return;
            EXPECT_EQ(Expected({}), Contents());
            // The cursor is still on its rowset: the operation runs again and changes the table.
            ASSERT_EQ(SQL_NEED_DATA, op.run()) << Diag();
            SQLINTEGER good = add ? 71 : 1;
            Supply([&] {
                return p.cType == SQL_C_SLONG ? SQLPutData(stmt, &good, 0) : SQLPutData(stmt, (SQLPOINTER) "good", 4);
            });
            std::string want;
            if (add)
                want = Expected({}) + (p.cType == SQL_C_SLONG ? "71:added:- " : "70:good:- ");
            else
                want = Expected({{1, p.cType == SQL_C_SLONG ? "1:upd:-" : "1:good:-"}});
            EXPECT_EQ(want, Contents());
            Release();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, DaeFailures, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
