// Positioned UPDATE and DELETE through unixODBC: a named forward-only cursor SELECT ... FOR
// UPDATE on one statement, WHERE CURRENT OF on another, read back on a second connection; and
// the row lock of a key update, which another connection and another process wait out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "results_fixture.h"

namespace resultstest {
namespace {

class PositionedSql : public ResultsTest {
protected:
    SQLHDBC other = SQL_NULL_HDBC;
    SQLHSTMT second = SQL_NULL_HSTMT;

    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &second));
    }
    void TearDown() override {
        if (second) SQLFreeHandle(SQL_HANDLE_STMT, second);
        if (other) {
            SQLDisconnect(other);
            SQLFreeHandle(SQL_HANDLE_DBC, other);
        }
        ResultsTest::TearDown();
    }
    // A second connection of the same environment, in autocommit.
    void ConnectOther() {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
        const std::string dsn = Dsn();
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(other, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)))
            << Diag(SQL_HANDLE_DBC, other);
    }
    SQLRETURN OnOther(const std::string& sql, SQLHSTMT* keep = nullptr) {
        SQLHSTMT h = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, other, &h);
        SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
        if (keep)
            *keep = h;
        else
            SQLFreeHandle(SQL_HANDLE_STMT, h);
        return rc;
    }
    // The table as "k=v" pairs in key order, read on the second connection.
    std::string Contents(const std::string& table) {
        SQLHSTMT h = SQL_NULL_HSTMT;
        EXPECT_TRUE(SQL_SUCCEEDED(OnOther("select k, v from " + table + " order by k", &h)));
        std::string out;
        SQLINTEGER k = 0;
        SQLCHAR v[16];
        SQLLEN kl = 0, vl = 0;
        SQLBindCol(h, 1, SQL_C_SLONG, &k, 0, &kl);
        SQLBindCol(h, 2, SQL_C_CHAR, v, sizeof v, &vl);
        while (SQL_SUCCEEDED(SQLFetch(h)))
            out += (out.empty() ? "" : " ") + std::to_string(k) + "=" + (vl == SQL_NULL_DATA ? "NULL" : (char*)v);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return out;
    }
    void MakeTable(const std::string& table) {
        Exec("drop table " + table);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + table + " (k integer not null primary key, v varchar(10))");
        Must("insert into " + table + " values (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd')");
    }
    SQLRETURN OnSecond(const std::string& sql) {
        SQLFreeStmt(second, SQL_CLOSE);
        return SQLExecDirect(second, (SQLCHAR*)sql.c_str(), SQL_NTS);
    }
    SQLINTEGER key = 0;
    SQLLEN keyLen = 0;
    // The next key of the cursor on stmt, or -1 when it has none.
    long Next() {
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) return -1;
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
        return key;
    }
};

TEST_P(PositionedSql, UpdateAndDeleteWhereCurrentOfANamedCursor) {
    const std::string t = Table("posn");
    MakeTable(t);
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"upd_cur", SQL_NTS));
    ASSERT_TRUE(SQL_SUCCEEDED(Exec("select k, v from " + t + " order by k for update of v"))) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &key, 0, &keyLen));

    ASSERT_EQ(Next(), 1);
    ASSERT_TRUE(SQL_SUCCEEDED(OnSecond("update " + t + " set v = 'one' where current of upd_cur")))
        << Diag(SQL_HANDLE_STMT, second);
    SQLLEN count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(second, &count));
    EXPECT_EQ(count, 1);

    ASSERT_EQ(Next(), 2);
    ASSERT_TRUE(SQL_SUCCEEDED(OnSecond("delete from " + t + " where current of upd_cur")))
        << Diag(SQL_HANDLE_STMT, second);

    // Prepared with a parameter.
    ASSERT_EQ(Next(), 3);
    SQLFreeStmt(second, SQL_CLOSE);
    const std::string upd = "update " + t + " set v = ? where current of upd_cur";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(second, (SQLCHAR*)upd.c_str(), SQL_NTS))) << Diag(SQL_HANDLE_STMT, second);
    SQLCHAR three[] = "three";
    SQLLEN threeLen = SQL_NTS;
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLBindParameter(second, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, three, 0, &threeLen)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(second))) << Diag(SQL_HANDLE_STMT, second);
    SQLFreeStmt(second, SQL_RESET_PARAMS);

    ASSERT_EQ(Next(), 4);
    EXPECT_EQ(Next(), -1);
    EXPECT_EQ(SQL_ERROR, OnSecond("delete from " + t + " where current of upd_cur"));
    // The server's 24000 reaches an ODBC 3 application unchanged.
    EXPECT_TRUE(connecttest::HasState(SQL_HANDLE_STMT, second, "24000")) << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    EXPECT_EQ(SQL_ERROR, OnSecond("delete from " + t + " where current of upd_cur"));
    EXPECT_TRUE(connecttest::HasState(SQL_HANDLE_STMT, second, "34000")) << Diag(SQL_HANDLE_STMT, second);

    ConnectOther();
    EXPECT_EQ(Contents(t), "1=one 3=three 4=d");
}

// The driver's own cursor name serves as well; a cursor not declared FOR UPDATE is read-only.
TEST_P(PositionedSql, GeneratedNamesAndReadOnlyCursors) {
    const std::string t = Table("posg");
    MakeTable(t);
    ASSERT_TRUE(SQL_SUCCEEDED(Exec("select k from " + t + " order by k"))) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &key, 0, &keyLen));
    SQLCHAR name[64] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt, name, sizeof name, &len));
    const std::string cursor(reinterpret_cast<char*>(name), size_t(len));
    ASSERT_EQ(Next(), 1);
    EXPECT_EQ(SQL_ERROR, OnSecond("delete from " + t + " where current of " + cursor));
    EXPECT_TRUE(connecttest::HasState(SQL_HANDLE_STMT, second, "42000")) << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));

    ASSERT_TRUE(SQL_SUCCEEDED(Exec("select k from " + t + " order by k for update"))) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt, name, sizeof name, &len));
    EXPECT_EQ(cursor, std::string(reinterpret_cast<char*>(name), size_t(len)));
    ASSERT_EQ(Next(), 1);
    ASSERT_EQ(Next(), 2);
    ASSERT_TRUE(SQL_SUCCEEDED(OnSecond("delete from " + t + " where current of " + cursor)))
        << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    ConnectOther();
    EXPECT_EQ(Contents(t), "1=a 3=c 4=d");
}

// A key update that locks a row in a manual-commit transaction holds until the commit: another
// connection and another process wait out their lock timeout and fail with 40001, then get
// through.
TEST_P(PositionedSql, KeyUpdateLockHoldsUntilCommit) {
    const std::string t = Table("posl");
    MakeTable(t);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    const std::string lock = "update " + t + " set k = ? where k = ?";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)lock.c_str(), SQL_NTS))) << Diag();
    SQLINTEGER two = 2;
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &two, 0, nullptr)));
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &two, 0, nullptr)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << Diag();
    SQLLEN count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(count, 1);

    // The lock timeout is a setting of the engine, read as a session connects.
    setenv("II_ENGINE_BUSY_TIMEOUT", "300", 1);
    ConnectOther();
    unsetenv("II_ENGINE_BUSY_TIMEOUT");
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_ERROR, OnOther("update " + t + " set v = 'bee' where k = 2", &h));
    EXPECT_TRUE(connecttest::HasState(SQL_HANDLE_STMT, h, "40001")) << Diag(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);

    const std::string iisql = "II_ENGINE_BUSY_TIMEOUT=300 " + BuildDir() + "/bin/iisql -u " + kUser + " -P " +
                              kPassword + " " + Dsn() + " \"update " + t + " set v = 'cee' where k = 2\" 2>&1";
    int status = 0;
    std::string out = RunCommand(iisql, &status);
    EXPECT_NE(status, 0) << out;
    EXPECT_NE(out.find("40001"), std::string::npos) << out;

    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)) << Diag(SQL_HANDLE_DBC, dbc);
    EXPECT_TRUE(SQL_SUCCEEDED(OnOther("update " + t + " set v = 'bee' where k = 2"))) << Diag(SQL_HANDLE_DBC, other);
    out = RunCommand(BuildDir() + "/bin/iisql -u " + kUser + " -P " + kPassword + " " + Dsn() + " \"update " + t +
                         " set v = 'cee' where k = 3\" 2>&1",
                     &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(Contents(t), "1=a 2=bee 3=cee 4=d");
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, PositionedSql, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
