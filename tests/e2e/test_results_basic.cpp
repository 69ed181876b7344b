// Statements through the Driver Manager on the embedded engine: execute direct, prepare and
// execute, describe, bind and fetch, GetData, row counts, cursor names, close.
#include <cstring>

#include "results_fixture.h"

namespace resultstest {
namespace {

using Basic = ResultsTest;

TEST_P(Basic, ExecDirectSelectReturnsItsRowsThroughBoundColumns) {
    const std::string t = Table("people");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer, name varchar(20), note varchar(10))");
    Must("insert into " + t + " values (1, 'ann', 'x')");
    Must("insert into " + t + " values (2, 'bob', null)");
    Must("insert into " + t + " values (3, 'cy', 'zz')");
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name, note from " + t + " order by id")) << Diag();
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols));
    EXPECT_EQ(3, cols);
    SQLINTEGER id = 0;
    char name[21], note[11];
    SQLLEN idInd = kPoison(), nameLen = kPoison(), noteLen = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_CHAR, note, sizeof note, &noteLen));
    const char* names[] = {"ann", "bob", "cy"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        EXPECT_EQ(i + 1, id);
        EXPECT_EQ(4, idInd);
        EXPECT_STREQ(names[i], name);
        EXPECT_EQ(SQLLEN(strlen(names[i])), nameLen);
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    Must("drop table " + t);
}

TEST_P(Basic, NullsAndGetDataAfterPrepareAndExecute) {
    const std::string t = Table("gd");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer, note varchar(10))");
    Must("insert into " + t + " values (1, null)");
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("select id, note from " + t).c_str(), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    char buf[16];
    SQLLEN len = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len)) << Diag();
    EXPECT_STREQ("1", buf);
    EXPECT_EQ(1, len);
    len = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, buf, sizeof buf, &len)) << Diag();
    EXPECT_EQ(SQL_NULL_DATA, len);
    EXPECT_EQ(SQL_ERROR, SQLGetData(stmt, 1, SQL_C_CHAR, buf, -1, &len));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("drop table " + t);
}

TEST_P(Basic, RowCountAndDescribeCol) {
    const std::string t = Table("rc");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer, name varchar(20))");
    Must("insert into " + t + " values (1, 'a')");
    Must("insert into " + t + " values (2, 'b')");
    ASSERT_EQ(SQL_SUCCESS, Exec("update " + t + " set name = 'c'")) << Diag();
    SQLLEN count = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(2, count);
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("select id, name from " + t).c_str(), SQL_NTS));
    char name[32];
    SQLSMALLINT len = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 2, (SQLCHAR*)name, sizeof name, &len, &type, &size, &scale, &nullable))
        << Diag();
    EXPECT_STREQ("name", name);
    EXPECT_EQ(20u, size);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("drop table " + t);
}

// A procedure's parameters come back as columns named "*" and a direction letter, which the
// driver hides; a column whose own name only begins so is the application's.
TEST_P(Basic, ColumnsNamedLikeParameterMarksAreShown) {
    ASSERT_EQ(SQL_SUCCESS, Exec("select 1 as \"*Out\", 2 as \"*B2\"")) << Diag();
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols));
    ASSERT_EQ(2, cols);
    char name[32];
    SQLSMALLINT len = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 1, (SQLCHAR*)name, sizeof name, &len, &type, &size, &scale, &nullable))
        << Diag();
    EXPECT_STREQ("*Out", name);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLINTEGER v = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_SLONG, &v, 0, nullptr)) << Diag();
    EXPECT_EQ(2, v);
    SQLFreeStmt(stmt, SQL_CLOSE);
}

TEST_P(Basic, CursorNamesAndCloseCursorStates) {
    char cname[64];
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"mycur", SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt, (SQLCHAR*)cname, sizeof cname, &len)) << Diag();
    EXPECT_STREQ("mycur", cname);
    EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
}

TEST_P(Basic, NativeSqlTranslatesEscapes) {
    char out[256];
    SQLINTEGER len = 0;
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLNativeSql(dbc, (SQLCHAR*)"select {fn ucase('a')}", SQL_NTS, (SQLCHAR*)out, sizeof out, &len)))
        << Diag(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(nullptr, strchr(out, '{')) << out;
}

TEST_P(Basic, ParametersAreCountedAndMoreResultsEndsASingleResult) {
    const std::string t = Table("mr");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer)");
    Must("insert into " + t + " values (1)");
    ASSERT_EQ(SQL_SUCCESS,
              SQLPrepare(stmt, (SQLCHAR*)("select id from " + t + " where id > ? and id < ?").c_str(), SQL_NTS))
        << Diag();
    SQLSMALLINT n = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt, &n)) << Diag();
    EXPECT_EQ(2, n);
    // Executing without the parameters bound: wrong number of parameters.
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("07001", Diag().substr(0, 5));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("drop table " + t);
}

// A comment is the server's: a marker, quote or escape in it is not the application's (pyodbc
// and PHP's PDO count the markers themselves and bind exactly that many).
TEST_P(Basic, MarkersInCommentsAreNotCounted) {
    const std::string t = Make("cmt", "id integer, name varchar(8)");
    Must("insert into " + t + " values (3, 'three')");
    const std::string cases[] = {
        "select id -- what about ?\n from " + t + " where id = ?",
        "select id -- that's all {fn ucase(\n from " + t + " where id = ?",
        "select id /* it's ? {d */ from " + t + " where id = ? -- last ?",
        "select id from " + t + " where name = {fn lcase('THREE')} /* ? */ and id = ?",
    };
    for (const std::string& sql : cases) {
        SCOPED_TRACE(sql);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        SQLSMALLINT n = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt, &n)) << Diag();
        EXPECT_EQ(1, n);
        SQLINTEGER want = 3;
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &want, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
        EXPECT_EQ(ReadIds(), std::vector<int>{3});
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    }
}

TEST_P(Basic, MoreResultsWalksTheResultsOfAParameterArray) {
    const std::string t = Table("pa");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer, name varchar(8))");
    for (int i = 1; i <= 3; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", 'p" + std::to_string(i) + "')");
    SQLINTEGER keys[3] = {3, 1, 2};
    SQLLEN keyInd[3] = {0, 0, 0};
    SQLULEN processed = SQLULEN(kPoison());
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, keys, 0, keyInd))
        << Diag();
    ASSERT_EQ(SQL_SUCCESS, Exec("select name from " + t + " where id = ?")) << Diag();
    EXPECT_EQ(1u, processed);
    for (int r = 0; r < 3; ++r) {
        char name[9] = {};
        SQLLEN len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << r << ": " << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
        EXPECT_EQ("p" + std::to_string(keys[r]), std::string(name));
        EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
        if (r < 2) {
            ASSERT_EQ(SQL_SUCCESS, SQLMoreResults(stmt)) << Diag();
            EXPECT_EQ(SQLULEN(r + 2), processed);
        }
    }
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
    EXPECT_EQ(3u, processed);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    Must("drop table " + t);
}

// A forward-only result is read a block of rows at a time, each block into the arrays of the
// block before where the agent takes them back: a shorter text, a NULL or a value after a NULL
// must come out as itself in every block, read with SQLGetData or into bound columns, and cut to
// the maximum length as well.
TEST_P(Basic, EveryRowOfEveryBlockComesOutAsItself) {
    const std::string t = Make("blocks", "id bigint, v varchar(3000), k integer");
    struct Row {
        bool idNull;
        SQLBIGINT id;
        bool vNull;
        std::string v;
    };
    // Past two blocks (a block holds 65535 / 52 rows of these columns).
    constexpr int kRows = 4000;
    std::vector<Row> rows;
    std::vector<SQLBIGINT> ids(kRows);
    std::vector<char> texts(size_t(kRows) * 201);
    std::vector<SQLINTEGER> ks(kRows);
    std::vector<SQLLEN> idInds(kRows), vInds(kRows), kInds(kRows, 0);
    for (int i = 0; i < kRows; ++i) {
        const Row r{i % 7 == 3, SQLBIGINT(i % 2 ? -1 : 1) * i * 100000007, i % 5 == 4,
                    std::string(size_t(i * 37 % 200), char('a' + i % 26))};
        rows.push_back(r);
        ids[i] = r.id;
        idInds[i] = r.idNull ? SQL_NULL_DATA : 0;
        std::memcpy(&texts[size_t(i) * 201], r.v.c_str(), r.v.size() + 1);
        vInds[i] = r.vNull ? SQL_NULL_DATA : SQL_NTS;
        ks[i] = i;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(kRows), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, ids.data(), 0,
                                            idInds.data()));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3000, 0, texts.data(),
                                            201, vInds.data()));
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ks.data(), 0, kInds.data()));
    ASSERT_EQ(SQL_SUCCESS, Exec("insert into " + t + " values (?, ?, ?)")) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
    for (const SQLULEN maxLength : {SQLULEN(0), SQLULEN(60)})
        for (const bool bound : {false, true}) {
            SCOPED_TRACE(testing::Message() << "max length " << maxLength << (bound ? ", bound" : ", SQLGetData"));
            ASSERT_TRUE(
                SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(maxLength), 0)));
            SQLULEN cut = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, &cut, 0, nullptr));
            EXPECT_EQ(maxLength != 0, cut != 0);
            ASSERT_EQ(SQL_SUCCESS, Exec("select id, v, k from " + t + " order by k")) << Diag();
            SQLBIGINT id = 0;
            char v[3001];
            SQLLEN idInd = kPoison(), vInd = kPoison();
            if (bound) {
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SBIGINT, &id, 0, &idInd));
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, v, sizeof v, &vInd));
            }
            for (size_t i = 0; i < rows.size(); ++i) {
                SCOPED_TRACE(i);
                const Row& r = rows[i];
                std::memset(v, 'Z', sizeof v);
                ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
                if (!bound) {
                    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SBIGINT, &id, 0, &idInd)) << Diag();
                    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, v, sizeof v, &vInd)) << Diag();
                }
                if (r.idNull) {
                    EXPECT_EQ(SQL_NULL_DATA, idInd);
                } else {
                    EXPECT_EQ(r.id, id);
                }
                if (r.vNull) {
                    EXPECT_EQ(SQL_NULL_DATA, vInd);
                } else {
                    const std::string want = cut ? r.v.substr(0, cut) : r.v;
                    EXPECT_EQ(SQLLEN(want.size()), vInd);
                    EXPECT_EQ(want, std::string(v));
                }
            }
            EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
        }
    SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(0), 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, Basic, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
