// Parameter arrays, data at execution and procedure calls through the Driver Manager for both
// builds on the embedded engine.
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class ParamRuns : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("parr");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (k integer, v varchar(40))");
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_RESET_PARAMS);
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
            // The tests point these at their own locals, which are gone by now.
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    // "k=v;" for every row in key order ("k=NULL;" for a NULL).
    std::string Rows() {
        EXPECT_EQ(SQL_SUCCESS, Exec("select k, v from " + t + " order by k")) << Diag();
        std::string out;
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            SQLINTEGER k = 0;
            char v[64] = {};
            SQLLEN kl = 0, vl = 0;
            SQLGetData(stmt, 1, SQL_C_LONG, &k, 0, &kl);
            SQLGetData(stmt, 2, SQL_C_CHAR, v, sizeof v, &vl);
            out += std::to_string(k) + "=" + (vl == SQL_NULL_DATA ? std::string("NULL") : std::string(v)) + ";";
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    void PrepareInsert() {
        const std::string sql = "insert into " + t + " values (?, ?)";
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    }
};

TEST_P(ParamRuns, ColumnWiseArrayWithIgnoredRowStatusesAndRowsProcessed) {
    SQLINTEGER keys[4] = {1, 2, 3, 4};
    SQLLEN keyInd[4] = {0, 0, 0, 0};
    char vals[4][12] = {"one", "two", "", "four"};
    SQLLEN valLen[4] = {SQL_NTS, SQL_NTS, SQL_NULL_DATA, 2};
    SQLUSMALLINT ops[4] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED, SQL_PARAM_PROCEED};
    SQLUSMALLINT statuses[4] = {99, 99, 99, 99};
    SQLULEN processed = 99;
    PrepareInsert();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)4, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, statuses, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, keys, 0, keyInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, vals, 12, valLen);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    EXPECT_EQ(3u, processed);
    EXPECT_EQ(SQL_PARAM_SUCCESS, statuses[0]);
    EXPECT_EQ(SQL_PARAM_UNUSED, statuses[1]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, statuses[2]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, statuses[3]);
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ("1=one;3=NULL;4=fo;", Rows());
}

TEST_P(ParamRuns, RowWiseArrayWithBindOffset) {
    struct Row {
        SQLINTEGER k;
        SQLLEN kInd;
        char v[16];
        SQLLEN vLen;
    };
    Row rows[5] = {{0, 0, "x", SQL_NTS},
                   {0, 0, "x", SQL_NTS},
                   {10, 0, "ten", SQL_NTS},
                   {11, 0, "eleven", SQL_NTS},
                   {12, 0, "twelve", SQL_NTS}};
    SQLLEN offset = 2 * sizeof(Row);
    SQLULEN processed = 0;
    PrepareInsert();
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].k, 0, &rows[0].kInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 15, 0, rows[0].v, 16, &rows[0].vLen);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    EXPECT_EQ(3u, processed);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)SQL_PARAM_BIND_BY_COLUMN, 0);
    EXPECT_EQ("10=ten;11=eleven;12=twelve;", Rows());
}

TEST_P(ParamRuns, ParameterSetSizeBeyondThirtyTwoBitsIsRefused) {
    PrepareInsert();
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)0x100000000ull, 0));
    EXPECT_EQ("HY107", FirstDiag(SQL_HANDLE_STMT, stmt).state);
}

TEST_P(ParamRuns, DataAtExecutionInPieces) {
    PrepareInsert();
    SQLINTEGER k = 1;
    int token = 0;
    SQLLEN kInd = 0, vLen = SQL_LEN_DATA_AT_EXEC(0);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &k, 0, &kInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, &token, 0, &vLen);
    // Pieces joined.
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
    SQLPOINTER got = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &got));
    EXPECT_EQ(&token, got);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "piece ", SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "by piece", 8));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &got)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A NULL piece.
    k = 2;
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &got));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, nullptr, SQL_NULL_DATA));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &got)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    // An empty value: nothing but a zero-length piece.
    k = 3;
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &got));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "", 0));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &got)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ("1=piece by piece;2=NULL;3=;", Rows());
}

TEST_P(ParamRuns, ExecDirectAsksForDataAndSequenceErrors) {
    SQLPOINTER got = nullptr;
    EXPECT_EQ(SQL_ERROR, SQLParamData(stmt, &got));
    EXPECT_EQ("HY010", FirstDiag(SQL_HANDLE_STMT, stmt).state);
    SQLINTEGER k = 7;
    int token = 0;
    SQLLEN kInd = 0, vLen = SQL_DATA_AT_EXEC;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &k, 0, &kInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, &token, 0, &vLen);
    ASSERT_EQ(SQL_NEED_DATA, Exec("insert into " + t + " values (?, ?)")) << Diag();
    // Data before the driver asked for it.
    EXPECT_EQ(SQL_ERROR, SQLPutData(stmt, (SQLPOINTER) "early", SQL_NTS));
    EXPECT_EQ("HY010", FirstDiag(SQL_HANDLE_STMT, stmt).state);
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &got));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "direct", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &got)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ("7=direct;", Rows());
}

TEST_P(ParamRuns, ProcedureWithInputOutputAndInputOutputParameters) {
    const std::string p = "ptri" + std::string(GetParam().wide ? "_w" : "_n");
    Exec("drop procedure " + p);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("CREATE PROCEDURE " + p +
         " (a integer NOT NULL, OUT b integer, INOUT c integer) AS BEGIN b = a * 2; c = c + a; RETURN a + 100; END");
    SQLINTEGER a = 5, b = -1, c = 10, ret = -1;
    SQLLEN aInd = 0, bInd = kPoison(), cInd = 0, retInd = kPoison();
    const std::string call = "{call " + p + "(?, ?, ?)}";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)call.c_str(), SQL_NTS)) << Diag();
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &aInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &b, 0, &bInd);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &c, 0, &cInd);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << Diag();
    EXPECT_EQ(10, b);
    EXPECT_EQ(SQLLEN(4), bInd);
    EXPECT_EQ(15, c);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);

    const std::string call2 = "{? = call " + p + "(?, ?, ?)}";
    a = 7;
    c = 1;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)call2.c_str(), SQL_NTS)) << Diag();
    SQLBindParameter(stmt, 1, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &ret, 0, &retInd);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &aInd);
    SQLBindParameter(stmt, 3, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &b, 0, &bInd);
    SQLBindParameter(stmt, 4, SQL_PARAM_INPUT_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &c, 0, &cInd);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << Diag();
    EXPECT_EQ(107, ret);
    EXPECT_EQ(14, b);
    EXPECT_EQ(8, c);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    Must("drop procedure " + p);
}

TEST_P(ParamRuns, SelectWithParametersAndReExecution) {
    Must("insert into " + t + " values (1, 'a')");
    Must("insert into " + t + " values (2, 'b')");
    Must("insert into " + t + " values (3, 'c')");
    SQLINTEGER k = 2;
    char v[16] = "";
    SQLLEN kInd = 0, vLen = 0;
    const std::string sql = "select v from " + t + " where k >= ? order by k";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &k, 0, &kInd);
    SQLBindCol(stmt, 1, SQL_C_CHAR, v, sizeof v, &vLen);
    for (SQLINTEGER from : {2, 1, 3}) {
        k = from;
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
        std::string got;
        while (SQLFetch(stmt) == SQL_SUCCESS) got += v;
        EXPECT_EQ(std::string("abc").substr(size_t(from - 1)), got);
        // The cursor is open until the rows are read and it is closed.
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, ParamRuns, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
