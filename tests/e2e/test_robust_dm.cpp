// Bad input from an application, through the Driver Manager: every case must end in the right
// return code and SQLSTATE (whether the Driver Manager or the driver answers), never a crash, a
// hang or a success, and must leave the connection working. One table per family.
#include <cstring>
#include <functional>
#include <set>

#include "results_fixture.h"

namespace resultstest {
namespace {

// Where the statement of a case stands before its call.
enum class At {
    Fresh,     // allocated, nothing run
    Prepared,  // a SELECT prepared, not executed
    Params,    // an INSERT with two markers prepared
    Open,      // a SELECT executed, before its first row
    OnRow,     // a SELECT on its first row
    NeedData,  // an INSERT waiting for data at execution
};

struct Ctx {
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    std::string table;
    char buf[256];
    SQLLEN len;
    SQLSMALLINT slen;
    SQLINTEGER ival;
    SQLSMALLINT sval;
    SQLULEN uval;
    SQLHDESC desc;  // the descriptor a case's diagnostic is read from
    std::string dsn;
};

struct Case {
    std::string name;
    At at;
    std::function<SQLRETURN(Ctx&)> call;
    SQLRETURN rc;                  // the return code the call must give
    std::set<std::string> states;  // acceptable first SQLSTATEs when rc is an error; empty: not read
    SQLSMALLINT diagOn = SQL_HANDLE_STMT;
};

#define C(x) reinterpret_cast<SQLCHAR*>(const_cast<char*>(x))

class Robust : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("robust");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (a integer, b varchar(20))");
        Must("insert into " + t + " values (1, 'one')");
        Must("insert into " + t + " values (2, 'two')");
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }

    // Brings a fresh statement to where a case needs it.
    void Reach(SQLHSTMT s, At at) {
        std::string sel = "select a, b from " + t + " order by a";
        std::string ins = "insert into " + t + " values (?, ?)";
        switch (at) {
            case At::Fresh:
                break;
            case At::Prepared:
                ASSERT_EQ(SQL_SUCCESS, SQLPrepare(s, C(sel.c_str()), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
                break;
            case At::Params:
                ASSERT_EQ(SQL_SUCCESS, SQLPrepare(s, C(ins.c_str()), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
                break;
            case At::Open:
                ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, C(sel.c_str()), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
                break;
            case At::OnRow:
                ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, C(sel.c_str()), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
                ASSERT_EQ(SQL_SUCCESS, SQLFetch(s)) << Diag(SQL_HANDLE_STMT, s);
                break;
            case At::NeedData: {
                static SQLINTEGER a = 7;
                static SQLLEN aInd = 0, bInd = SQL_DATA_AT_EXEC;
                ASSERT_EQ(SQL_SUCCESS,
                          SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &aInd));
                ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                                        reinterpret_cast<SQLPOINTER>(2), 0, &bInd));
                ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(s, C(ins.c_str()), SQL_NTS)) << Diag(SQL_HANDLE_STMT, s);
                break;
            }
        }
    }

    void Run(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            Ctx x{env, dbc, SQL_NULL_HSTMT, t, {}, kPoison(), -7, -7, -7, 0, SQL_NULL_HDESC, Dsn()};
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &x.stmt));
            Reach(x.stmt, c.at);
            if (HasFatalFailure()) return;
            SQLRETURN rc = c.call(x);
            SQLHANDLE h = c.diagOn == SQL_HANDLE_STMT   ? x.stmt
                          : c.diagOn == SQL_HANDLE_DBC  ? dbc
                          : c.diagOn == SQL_HANDLE_DESC ? x.desc
                                                        : env;
            EXPECT_EQ(c.rc, rc) << Diag(c.diagOn, h);
            if (!c.states.empty()) {
                ::Diag d = FirstDiag(c.diagOn, h);
                EXPECT_EQ(SQL_SUCCESS, d.rc) << "no diagnostic record";
                EXPECT_TRUE(c.states.count(d.state)) << "state " << d.state << ": " << d.message;
            }
            if (c.at == At::NeedData) SQLCancel(x.stmt);
            EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, x.stmt));
            // The connection still answers after the case.
            SQLHSTMT probe = SQL_NULL_HSTMT;
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &probe));
            std::string q = "select count(*) from " + t;
            EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(probe, C(q.c_str()), SQL_NTS)) << Diag(SQL_HANDLE_STMT, probe);
            EXPECT_EQ(SQL_SUCCESS, SQLFetch(probe));
            SQLINTEGER n = 0;
            EXPECT_EQ(SQL_SUCCESS, SQLGetData(probe, 1, SQL_C_LONG, &n, 0, nullptr));
            EXPECT_GE(n, 2);
            SQLFreeHandle(SQL_HANDLE_STMT, probe);
        }
    }
};

const std::set<std::string> kSeq = {"HY010"};
// An invalid cursor state reads 07005 to an ODBC 3 application: the driver's deliberate mapping.
const std::set<std::string> kCursor = {"24000", "07005"};
const std::set<std::string> kLen = {"HY090"};
const std::set<std::string> kNull = {"HY009"};
const std::set<std::string> kIndex = {"07009"};

// Calls out of sequence.
TEST_P(Robust, CallsOutOfSequence) {
    Run({
        {"fetch before execute", At::Fresh, [](Ctx& x) { return SQLFetch(x.stmt); }, SQL_ERROR, kSeq},
        {"fetch of a prepared statement", At::Prepared, [](Ctx& x) { return SQLFetch(x.stmt); }, SQL_ERROR, kSeq},
        {"fetch scroll before execute", At::Fresh, [](Ctx& x) { return SQLFetchScroll(x.stmt, SQL_FETCH_NEXT, 0); },
         SQL_ERROR, kSeq},
        {"extended fetch before execute", At::Fresh,
         [](Ctx& x) { return SQLExtendedFetch(x.stmt, SQL_FETCH_NEXT, 0, &x.uval, nullptr); }, SQL_ERROR, kSeq},
        {"getdata before fetch", At::Open,
         [](Ctx& x) { return SQLGetData(x.stmt, 1, SQL_C_CHAR, x.buf, sizeof x.buf, &x.len); }, SQL_ERROR, kCursor},
        {"getdata before execute", At::Fresh,
         [](Ctx& x) { return SQLGetData(x.stmt, 1, SQL_C_CHAR, x.buf, sizeof x.buf, &x.len); }, SQL_ERROR, kSeq},
        {"getdata after the last row", At::OnRow,
         [](Ctx& x) {
             while (SQLFetch(x.stmt) == SQL_SUCCESS) {
             }
             return SQLGetData(x.stmt, 1, SQL_C_CHAR, x.buf, sizeof x.buf, &x.len);
         },
         SQL_ERROR, kCursor},
        {"execute without prepare", At::Fresh, [](Ctx& x) { return SQLExecute(x.stmt); }, SQL_ERROR, kSeq},
        {"putdata without paramdata", At::Fresh, [](Ctx& x) { return SQLPutData(x.stmt, x.buf, 1); }, SQL_ERROR, kSeq},
        {"putdata before the first paramdata", At::NeedData, [](Ctx& x) { return SQLPutData(x.stmt, C("ab"), 2); },
         SQL_ERROR, kSeq},
        {"paramdata without execute", At::Fresh,
         [](Ctx& x) {
             SQLPOINTER p = nullptr;
             return SQLParamData(x.stmt, &p);
         },
         SQL_ERROR, kSeq},
        {"fetch while data at execution is pending", At::NeedData, [](Ctx& x) { return SQLFetch(x.stmt); }, SQL_ERROR,
         kSeq},
        {"prepare while data at execution is pending", At::NeedData,
         [](Ctx& x) { return SQLPrepare(x.stmt, C("select 1"), SQL_NTS); }, SQL_ERROR, kSeq},
        {"numresultcols before prepare", At::Fresh, [](Ctx& x) { return SQLNumResultCols(x.stmt, &x.sval); }, SQL_ERROR,
         kSeq},
        {"describecol before prepare", At::Fresh,
         [](Ctx& x) { return SQLDescribeCol(x.stmt, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr); },
         SQL_ERROR, kSeq},
        {"colattribute before prepare", At::Fresh,
         [](Ctx& x) { return SQLColAttribute(x.stmt, 1, SQL_DESC_TYPE, nullptr, 0, nullptr, &x.len); }, SQL_ERROR,
         kSeq},
        {"rowcount before execute", At::Fresh, [](Ctx& x) { return SQLRowCount(x.stmt, &x.len); }, SQL_ERROR, kSeq},
        {"numparams before prepare", At::Fresh, [](Ctx& x) { return SQLNumParams(x.stmt, &x.sval); }, SQL_ERROR, kSeq},
        {"describeparam before prepare", At::Fresh,
         [](Ctx& x) { return SQLDescribeParam(x.stmt, 1, &x.sval, &x.uval, &x.sval, &x.sval); }, SQL_ERROR, kSeq},
        {"closecursor without a cursor", At::Fresh, [](Ctx& x) { return SQLCloseCursor(x.stmt); }, SQL_ERROR, kCursor},
        {"closecursor of a prepared statement", At::Prepared, [](Ctx& x) { return SQLCloseCursor(x.stmt); }, SQL_ERROR,
         kCursor},
        {"exec direct over an open cursor",
         At::Open,
         [](Ctx& x) { return SQLExecDirect(x.stmt, C("select 1"), SQL_NTS); },
         SQL_SUCCESS,
         {}},
        {"prepare over an open cursor", At::OnRow, [](Ctx& x) { return SQLPrepare(x.stmt, C("select 1"), SQL_NTS); },
         SQL_ERROR, kCursor},
        {"execute over an open cursor", At::Open,
         [](Ctx& x) {
             std::string q = "select a from " + x.table;
             SQLFreeStmt(x.stmt, SQL_CLOSE);
             if (SQLPrepare(x.stmt, C(q.c_str()), SQL_NTS) != SQL_SUCCESS || SQLExecute(x.stmt) != SQL_SUCCESS)
                 return SQLRETURN(-99);
             return SQLExecute(x.stmt);
         },
         SQL_ERROR, kCursor},
        {"catalog over an open cursor",
         At::Open,
         [](Ctx& x) { return SQLTables(x.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
         SQL_SUCCESS,
         {}},
        {"typeinfo over an open cursor",
         At::Open,
         [](Ctx& x) { return SQLGetTypeInfo(x.stmt, SQL_ALL_TYPES); },
         SQL_SUCCESS,
         {}},
        {"set cursor name over an open cursor", At::Open,
         [](Ctx& x) { return SQLSetCursorName(x.stmt, C("curx"), SQL_NTS); }, SQL_ERROR, kCursor},
        {"setpos before fetch",
         At::Open,
         [](Ctx& x) { return SQLSetPos(x.stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE); },
         SQL_ERROR,
         {"24000", "HY010"}},
        {"setpos before execute", At::Fresh,
         [](Ctx& x) { return SQLSetPos(x.stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE); }, SQL_ERROR, kSeq},
        {"bulk operations before execute",
         At::Fresh,
         [](Ctx& x) { return SQLBulkOperations(x.stmt, SQL_ADD); },
         SQL_ERROR,
         {"HY010", "HYC00", "IM001"}},
        {"second connect",
         At::Fresh,
         [](Ctx& x) { return SQLConnect(x.dbc, C("cw_narrow"), SQL_NTS, C("tvuser"), SQL_NTS, C("secret"), SQL_NTS); },
         SQL_ERROR,
         {"08002"},
         SQL_HANDLE_DBC},
        {"second driver connect",
         At::Fresh,
         [](Ctx& x) {
             return SQLDriverConnect(x.dbc, nullptr, C("DSN=cw_narrow;UID=tvuser;PWD=secret"), SQL_NTS, nullptr, 0,
                                     nullptr, SQL_DRIVER_NOPROMPT);
         },
         SQL_ERROR,
         {"08002"},
         SQL_HANDLE_DBC},
        {"odbc version changed after connections exist", At::Fresh,
         [](Ctx& x) {
             return SQLSetEnvAttr(x.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0);
         },
         SQL_ERROR, kSeq, SQL_HANDLE_ENV},
        {"more results before execute", At::Fresh, [](Ctx& x) { return SQLMoreResults(x.stmt); }, SQL_NO_DATA, {}},
    });
}

// Invalid SQL never succeeds, whichever way it comes.
TEST_P(Robust, InvalidSql) {
    const std::set<std::string> kSyntax = {"42000", "42S02", "42S22", "37000"};
    Run({
        {"garbage exec direct", At::Fresh, [](Ctx& x) { return SQLExecDirect(x.stmt, C("selec 1 frm"), SQL_NTS); },
         SQL_ERROR, kSyntax},
        {"garbage prepare and execute", At::Fresh,
         [](Ctx& x) {
             SQLRETURN rc = SQLPrepare(x.stmt, C("))) (((  ;;"), SQL_NTS);
             return rc == SQL_SUCCESS ? SQLExecute(x.stmt) : rc;
         },
         SQL_ERROR, kSyntax},
        {"unknown table", At::Fresh,
         [](Ctx& x) { return SQLExecDirect(x.stmt, C("select * from no_such_table_robust"), SQL_NTS); }, SQL_ERROR,
         kSyntax},
        {"unknown column", At::Fresh,
         [](Ctx& x) {
             std::string q = "select no_such_col from " + x.table;
             return SQLExecDirect(x.stmt, C(q.c_str()), SQL_NTS);
         },
         SQL_ERROR, kSyntax},
        {"empty statement",
         At::Fresh,
         [](Ctx& x) { return SQLExecDirect(x.stmt, C(""), SQL_NTS); },
         SQL_ERROR,
         {"42000", "HY090", "HY009", "37000"}},
        {"blanks only",
         At::Fresh,
         [](Ctx& x) { return SQLExecDirect(x.stmt, C("    "), SQL_NTS); },
         SQL_ERROR,
         {"42000", "37000"}},
        {"unterminated string", At::Fresh, [](Ctx& x) { return SQLExecDirect(x.stmt, C("select 'abc"), SQL_NTS); },
         SQL_ERROR, kSyntax},
        {"unbalanced escape", At::Fresh,
         [](Ctx& x) { return SQLExecDirect(x.stmt, C("select {fn ucase('a') from x"), SQL_NTS); }, SQL_ERROR, kSyntax},
        {"nul inside counted text", At::Fresh, [](Ctx& x) { return SQLExecDirect(x.stmt, C("select\0 1"), 9); },
         SQL_ERROR, kSyntax},
        {"native sql of garbage keeps the text",
         At::Fresh,
         [](Ctx& x) {
             SQLINTEGER out = 0;
             SQLRETURN rc = SQLNativeSql(x.dbc, C("selec 1 frm"), SQL_NTS, C(x.buf), sizeof x.buf, &out);
             return rc == SQL_SUCCESS && std::string(x.buf) == "selec 1 frm" ? SQL_SUCCESS : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
    });
}

// Negative, absurd and SQL_NTS-where-not-allowed lengths.
TEST_P(Robust, BadLengths) {
    Run({
        {"exec direct -1", At::Fresh, [](Ctx& x) { return SQLExecDirect(x.stmt, C("select 1"), -1); }, SQL_ERROR, kLen},
        {"exec direct -100", At::Fresh, [](Ctx& x) { return SQLExecDirect(x.stmt, C("select 1"), -100); }, SQL_ERROR,
         kLen},
        {"prepare -2", At::Fresh, [](Ctx& x) { return SQLPrepare(x.stmt, C("select 1"), -2); }, SQL_ERROR, kLen},
        {"getdata -1", At::OnRow, [](Ctx& x) { return SQLGetData(x.stmt, 2, SQL_C_CHAR, x.buf, -1, &x.len); },
         SQL_ERROR, kLen},
        {"getdata NTS", At::OnRow, [](Ctx& x) { return SQLGetData(x.stmt, 2, SQL_C_CHAR, x.buf, SQL_NTS, &x.len); },
         SQL_ERROR, kLen},
        {"getdata beyond 31 bits",
         At::OnRow,
         [](Ctx& x) {
             SQLRETURN rc = SQLGetData(x.stmt, 2, SQL_C_CHAR, x.buf, (SQLLEN(1) << 31) + 16, &x.len);
             return rc == SQL_SUCCESS && std::string(x.buf) == "one" && x.len == 3 ? rc : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
        {"bindcol -1", At::Fresh, [](Ctx& x) { return SQLBindCol(x.stmt, 1, SQL_C_CHAR, x.buf, -1, &x.len); },
         SQL_ERROR, kLen},
        {"bindcol -100", At::Fresh, [](Ctx& x) { return SQLBindCol(x.stmt, 1, SQL_C_CHAR, x.buf, -100, &x.len); },
         SQL_ERROR, kLen},
        {"bindparameter -1", At::Params,
         [](Ctx& x) {
             return SQLBindParameter(x.stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, x.buf, -1, &x.len);
         },
         SQL_ERROR, kLen},
        {"putdata -100", At::NeedData,
         [](Ctx& x) {
             SQLPOINTER p = nullptr;
             if (SQLParamData(x.stmt, &p) != SQL_NEED_DATA) return SQLRETURN(-99);
             return SQLPutData(x.stmt, C("ab"), -100);
         },
         SQL_ERROR, kLen},
        {"putdata data-at-exec marker as length", At::NeedData,
         [](Ctx& x) {
             SQLPOINTER p = nullptr;
             if (SQLParamData(x.stmt, &p) != SQL_NEED_DATA) return SQLRETURN(-99);
             return SQLPutData(x.stmt, C("ab"), SQL_DATA_AT_EXEC);
         },
         SQL_ERROR, kLen},
        {"set cursor name -1",
         At::Fresh,
         [](Ctx& x) { return SQLSetCursorName(x.stmt, C("cur"), -1); },
         SQL_ERROR,
         {"HY090", "HY009"}},
        {"get cursor name -1", At::Fresh, [](Ctx& x) { return SQLGetCursorName(x.stmt, C(x.buf), -1, &x.slen); },
         SQL_ERROR, kLen},
        {"describecol -1", At::Prepared,
         [](Ctx& x) { return SQLDescribeCol(x.stmt, 1, C(x.buf), -1, &x.slen, &x.sval, &x.uval, &x.sval, &x.sval); },
         SQL_ERROR, kLen},
        {"colattribute -1 for text", At::Prepared,
         [](Ctx& x) { return SQLColAttribute(x.stmt, 1, SQL_DESC_NAME, x.buf, -1, &x.slen, nullptr); }, SQL_ERROR,
         kLen},
        {"getinfo -1 for text", At::Fresh, [](Ctx& x) { return SQLGetInfo(x.dbc, SQL_DBMS_NAME, x.buf, -1, &x.slen); },
         SQL_ERROR, kLen, SQL_HANDLE_DBC},
        {"getinfo NTS for text", At::Fresh,
         [](Ctx& x) { return SQLGetInfo(x.dbc, SQL_DRIVER_NAME, x.buf, SQL_NTS, &x.slen); }, SQL_ERROR, kLen,
         SQL_HANDLE_DBC},
        {"native sql in -1", At::Fresh,
         [](Ctx& x) { return SQLNativeSql(x.dbc, C("select 1"), -1, C(x.buf), sizeof x.buf, &x.ival); }, SQL_ERROR,
         kLen, SQL_HANDLE_DBC},
        {"native sql out -1", At::Fresh,
         [](Ctx& x) { return SQLNativeSql(x.dbc, C("select 1"), SQL_NTS, C(x.buf), -1, &x.ival); }, SQL_ERROR, kLen,
         SQL_HANDLE_DBC},
        {"tables name -1", At::Fresh,
         [](Ctx& x) { return SQLTables(x.stmt, nullptr, 0, nullptr, 0, C("x"), -1, nullptr, 0); }, SQL_ERROR, kLen},
        {"columns name -100", At::Fresh,
         [](Ctx& x) { return SQLColumns(x.stmt, nullptr, 0, nullptr, 0, C("x"), -100, nullptr, 0); }, SQL_ERROR, kLen},
        {"primary keys name -2", At::Fresh,
         [](Ctx& x) { return SQLPrimaryKeys(x.stmt, nullptr, 0, nullptr, 0, C("x"), -2); }, SQL_ERROR, kLen},
        {"procedures name -1", At::Fresh,
         [](Ctx& x) { return SQLProcedures(x.stmt, nullptr, 0, nullptr, 0, C("x"), -1); }, SQL_ERROR, kLen},
        {"get connect attr text -1", At::Fresh,
         [](Ctx& x) { return SQLGetConnectAttr(x.dbc, SQL_ATTR_CURRENT_CATALOG, x.buf, -1, &x.ival); }, SQL_ERROR, kLen,
         SQL_HANDLE_DBC},
        {"set connect attr text -100",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectAttr(x.dbc, SQL_ATTR_CURRENT_CATALOG, C("x"), -100); },
         SQL_ERROR,
         {"HY090", "HY024", "HYC00"},
         SQL_HANDLE_DBC},
    });
}

// Null pointers: where ODBC allows them the call works; where it does not, HY009.
TEST_P(Robust, NullPointers) {
    Run({
        {"getdata null target", At::OnRow, [](Ctx& x) { return SQLGetData(x.stmt, 1, SQL_C_LONG, nullptr, 0, &x.len); },
         SQL_ERROR, kNull},
        {"exec direct null text", At::Fresh, [](Ctx& x) { return SQLExecDirect(x.stmt, nullptr, SQL_NTS); }, SQL_ERROR,
         kNull},
        {"prepare null text", At::Fresh, [](Ctx& x) { return SQLPrepare(x.stmt, nullptr, 5); }, SQL_ERROR, kNull},
        {"set cursor name null", At::Fresh, [](Ctx& x) { return SQLSetCursorName(x.stmt, nullptr, SQL_NTS); },
         SQL_ERROR, kNull},
        {"native sql null input", At::Fresh,
         [](Ctx& x) { return SQLNativeSql(x.dbc, nullptr, SQL_NTS, C(x.buf), sizeof x.buf, &x.ival); }, SQL_ERROR,
         kNull, SQL_HANDLE_DBC},
        {"primary keys null table", At::Fresh,
         [](Ctx& x) { return SQLPrimaryKeys(x.stmt, nullptr, 0, nullptr, 0, nullptr, 0); }, SQL_ERROR, kNull},
        {"statistics null table", At::Fresh,
         [](Ctx& x) { return SQLStatistics(x.stmt, nullptr, 0, nullptr, 0, nullptr, 0, SQL_INDEX_ALL, SQL_QUICK); },
         SQL_ERROR, kNull},
        {"special columns null table", At::Fresh,
         [](Ctx& x) {
             return SQLSpecialColumns(x.stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, nullptr, 0, SQL_SCOPE_SESSION,
                                      SQL_NULLABLE);
         },
         SQL_ERROR, kNull},
        {"foreign keys both tables null", At::Fresh,
         [](Ctx& x) {
             return SQLForeignKeys(x.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
         },
         SQL_ERROR, kNull},
        {"bindparameter null value and length", At::Params,
         [](Ctx& x) {
             return SQLBindParameter(x.stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr);
         },
         SQL_ERROR, kNull},
        // Counts are written only when asked for.
        {"numresultcols null count",
         At::Prepared,
         [](Ctx& x) { return SQLNumResultCols(x.stmt, nullptr); },
         SQL_SUCCESS,
         {}},
        {"rowcount null count", At::Open, [](Ctx& x) { return SQLRowCount(x.stmt, nullptr); }, SQL_SUCCESS, {}},
        {"numparams null count", At::Params, [](Ctx& x) { return SQLNumParams(x.stmt, nullptr); }, SQL_SUCCESS, {}},
        // Allowed to be null: the call works and writes nothing there.
        {"describecol all outputs null",
         At::Prepared,
         [](Ctx& x) { return SQLDescribeCol(x.stmt, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr); },
         SQL_SUCCESS,
         {}},
        {"colattribute outputs null",
         At::Prepared,
         [](Ctx& x) { return SQLColAttribute(x.stmt, 1, SQL_DESC_NAME, nullptr, 0, nullptr, nullptr); },
         SQL_SUCCESS,
         {}},
        {"getinfo null value gives the length",
         At::Fresh,
         [](Ctx& x) {
             SQLRETURN rc = SQLGetInfo(x.dbc, SQL_DBMS_NAME, nullptr, 0, &x.slen);
             return rc == SQL_SUCCESS && x.slen > 0 ? rc : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
        {"getinfo all null",
         At::Fresh,
         [](Ctx& x) { return SQLGetInfo(x.dbc, SQL_DBMS_NAME, nullptr, 0, nullptr); },
         SQL_SUCCESS,
         {}},
        {"get cursor name all null",
         At::Fresh,
         [](Ctx& x) {
             SQLRETURN rc = SQLGetCursorName(x.stmt, nullptr, 0, nullptr);
             return SQL_SUCCEEDED(rc) ? SQL_SUCCESS : rc;
         },
         SQL_SUCCESS,
         {}},
        {"getdata null length on a non-null value",
         At::OnRow,
         [](Ctx& x) { return SQLGetData(x.stmt, 1, SQL_C_LONG, &x.ival, 0, nullptr); },
         SQL_SUCCESS,
         {}},
        {"getdata null length on a null value",
         At::Fresh,
         [](Ctx& x) {
             if (SQLExecDirect(x.stmt, C("select cast(null as integer)"), SQL_NTS) != SQL_SUCCESS ||
                 SQLFetch(x.stmt) != SQL_SUCCESS)
                 return SQLRETURN(-99);
             return SQLGetData(x.stmt, 1, SQL_C_LONG, &x.ival, 0, nullptr);
         },
         SQL_ERROR,
         {"22002"}},
        {"extended fetch null counts",
         At::Open,
         [](Ctx& x) { return SQLExtendedFetch(x.stmt, SQL_FETCH_NEXT, 0, nullptr, nullptr); },
         SQL_SUCCESS,
         {}},
        {"describeparam outputs null",
         At::Params,
         [](Ctx& x) { return SQLDescribeParam(x.stmt, 1, nullptr, nullptr, nullptr, nullptr); },
         SQL_SUCCESS,
         {}},
        {"get stmt attr null length",
         At::Fresh,
         [](Ctx& x) { return SQLGetStmtAttr(x.stmt, SQL_ATTR_ROW_ARRAY_SIZE, &x.uval, 0, nullptr); },
         SQL_SUCCESS,
         {}},
        {"get connect attr null length",
         At::Fresh,
         [](Ctx& x) { return SQLGetConnectAttr(x.dbc, SQL_ATTR_AUTOCOMMIT, &x.uval, 0, nullptr); },
         SQL_SUCCESS,
         {}},
        {"catalog with all names null",
         At::Fresh,
         [](Ctx& x) { return SQLColumns(x.stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
         SQL_SUCCESS,
         {}},
    });
}

// Unknown attribute, option, info and type ids.
TEST_P(Robust, UnknownIds) {
    Run({
        {"getinfo 9999",
         At::Fresh,
         [](Ctx& x) { return SQLGetInfo(x.dbc, 9999, x.buf, sizeof x.buf, &x.slen); },
         SQL_ERROR,
         {"HY096"},
         SQL_HANDLE_DBC},
        {"getinfo 65535",
         At::Fresh,
         [](Ctx& x) { return SQLGetInfo(x.dbc, 65535, x.buf, sizeof x.buf, &x.slen); },
         SQL_ERROR,
         {"HY096"},
         SQL_HANDLE_DBC},
        {"get connect attr 9999",
         At::Fresh,
         [](Ctx& x) { return SQLGetConnectAttr(x.dbc, 9999, x.buf, sizeof x.buf, &x.ival); },
         SQL_ERROR,
         {"HY092", "HYC00"},
         SQL_HANDLE_DBC},
        {"set connect attr 9999",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectAttr(x.dbc, 9999, reinterpret_cast<SQLPOINTER>(1), 0); },
         SQL_ERROR,
         {"HY092", "HYC00"},
         SQL_HANDLE_DBC},
        {"set connect attr -5",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectAttr(x.dbc, -5, reinterpret_cast<SQLPOINTER>(1), 0); },
         SQL_ERROR,
         {"HY092", "HYC00"},
         SQL_HANDLE_DBC},
        {"set autocommit to 7",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectAttr(x.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(7), 0); },
         SQL_ERROR,
         {"HY024"},
         SQL_HANDLE_DBC},
        {"get connect option 9999",
         At::Fresh,
         [](Ctx& x) { return SQLGetConnectOption(x.dbc, 9999, x.buf); },
         SQL_ERROR,
         {"HY092", "HYC00", "S1092"},
         SQL_HANDLE_DBC},
        {"set connect option 9999",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectOption(x.dbc, 9999, 1); },
         SQL_ERROR,
         {"HY092", "HYC00", "S1092"},
         SQL_HANDLE_DBC},
        {"set env attr 9999",
         At::Fresh,
         [](Ctx& x) { return SQLSetEnvAttr(x.env, 9999, reinterpret_cast<SQLPOINTER>(1), 0); },
         SQL_ERROR,
         {"HY092", "HYC00"},
         SQL_HANDLE_ENV},
        {"get env attr 9999",
         At::Fresh,
         [](Ctx& x) { return SQLGetEnvAttr(x.env, 9999, x.buf, sizeof x.buf, &x.ival); },
         SQL_ERROR,
         {"HY092", "HYC00"},
         SQL_HANDLE_ENV},
        {"getfunctions 9999",
         At::Fresh,
         [](Ctx& x) {
             SQLUSMALLINT s = 0;
             return SQLGetFunctions(x.dbc, 9999, &s);
         },
         SQL_ERROR,
         {"HY095"},
         SQL_HANDLE_DBC},
        {"freestmt option 99", At::Fresh, [](Ctx& x) { return SQLFreeStmt(x.stmt, 99); }, SQL_ERROR, {"HY092"}},
        {"endtran completion 99",
         At::Fresh,
         [](Ctx& x) { return SQLEndTran(SQL_HANDLE_DBC, x.dbc, 99); },
         SQL_ERROR,
         {"HY012"},
         SQL_HANDLE_DBC},
        {"transact completion 99",
         At::Fresh,
         [](Ctx& x) { return SQLTransact(SQL_NULL_HENV, x.dbc, 99); },
         SQL_ERROR,
         {"HY012", "S1012"},
         SQL_HANDLE_DBC},
        {"colattribute field 9999",
         At::Prepared,
         [](Ctx& x) { return SQLColAttribute(x.stmt, 1, 9999, x.buf, sizeof x.buf, &x.slen, &x.len); },
         SQL_ERROR,
         {"HY091"}},
        // An unknown type has no rows in the driver's static type table.
        {"typeinfo type 9999",
         At::Fresh,
         [](Ctx& x) {
             SQLRETURN rc = SQLGetTypeInfo(x.stmt, 9999);
             return rc == SQL_SUCCESS && SQLFetch(x.stmt) == SQL_NO_DATA ? rc : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
        {"special columns identifier type 99",
         At::Fresh,
         [](Ctx& x) {
             return SQLSpecialColumns(x.stmt, 99, nullptr, 0, nullptr, 0, C("x"), SQL_NTS, SQL_SCOPE_SESSION,
                                      SQL_NULLABLE);
         },
         SQL_ERROR,
         {"HY097"}},
        {"special columns scope 99",
         At::Fresh,
         [](Ctx& x) {
             return SQLSpecialColumns(x.stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, C("x"), SQL_NTS, 99,
                                      SQL_NULLABLE);
         },
         SQL_ERROR,
         {"HY098"}},
        {"special columns nullable 99",
         At::Fresh,
         [](Ctx& x) {
             return SQLSpecialColumns(x.stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, C("x"), SQL_NTS,
                                      SQL_SCOPE_SESSION, 99);
         },
         SQL_ERROR,
         {"HY099"}},
        {"statistics unique 99",
         At::Fresh,
         [](Ctx& x) { return SQLStatistics(x.stmt, nullptr, 0, nullptr, 0, C("x"), SQL_NTS, 99, SQL_QUICK); },
         SQL_ERROR,
         {"HY100"}},
        {"statistics reserved 99",
         At::Fresh,
         [](Ctx& x) { return SQLStatistics(x.stmt, nullptr, 0, nullptr, 0, C("x"), SQL_NTS, SQL_INDEX_ALL, 99); },
         SQL_ERROR,
         {"HY101"}},
        {"bindcol target type 9999",
         At::Fresh,
         [](Ctx& x) { return SQLBindCol(x.stmt, 1, 9999, x.buf, sizeof x.buf, &x.len); },
         SQL_ERROR,
         {"HY003"}},
        {"getdata target type 9999",
         At::OnRow,
         [](Ctx& x) { return SQLGetData(x.stmt, 1, 9999, x.buf, sizeof x.buf, &x.len); },
         SQL_ERROR,
         {"HY003"}},
        {"bindparameter value type 9999",
         At::Params,
         [](Ctx& x) { return SQLBindParameter(x.stmt, 1, SQL_PARAM_INPUT, 9999, SQL_INTEGER, 0, 0, x.buf, 0, &x.len); },
         SQL_ERROR,
         {"HY003"}},
        {"bindparameter sql type 9999 then execute",
         At::Params,
         [](Ctx& x) {
             x.ival = 3;
             x.len = 0;
             SQLRETURN rc = SQLBindParameter(x.stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, 9999, 0, 0, &x.ival, 0, &x.len);
             if (rc != SQL_SUCCESS) return rc;
             static SQLLEN nul = SQL_NULL_DATA;
             SQLBindParameter(x.stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, x.buf, 0, &nul);
             return SQLExecute(x.stmt);
         },
         SQL_ERROR,
         {"HY004"}},
        {"bindparameter direction 99",
         At::Params,
         [](Ctx& x) { return SQLBindParameter(x.stmt, 1, 99, SQL_C_LONG, SQL_INTEGER, 0, 0, x.buf, 0, &x.len); },
         SQL_ERROR,
         {"HY105"}},
        {"fetch scroll orientation 99",
         At::Open,
         [](Ctx& x) { return SQLFetchScroll(x.stmt, 99, 0); },
         SQL_ERROR,
         {"HY106"}},
        {"setpos operation 99",
         At::OnRow,
         [](Ctx& x) { return SQLSetPos(x.stmt, 1, 99, SQL_LOCK_NO_CHANGE); },
         SQL_ERROR,
         {"HY092"}},
        {"setpos lock 99",
         At::OnRow,
         [](Ctx& x) { return SQLSetPos(x.stmt, 1, SQL_POSITION, 99); },
         SQL_ERROR,
         {"HY092"}},
        // The cursor is looked at before the operation: a forward-only one has no bulk operations.
        {"bulk operation 99",
         At::Open,
         [](Ctx& x) { return SQLBulkOperations(x.stmt, 99); },
         SQL_ERROR,
         {"HY092", "IM924"}},
        {"driver connect completion 99",
         At::Fresh,
         [](Ctx& x) {
             SQLHDBC d = SQL_NULL_HDBC;
             SQLAllocHandle(SQL_HANDLE_DBC, x.env, &d);
             SQLRETURN rc = SQLDriverConnect(d, nullptr, C("DSN=cw_narrow"), SQL_NTS, nullptr, 0, nullptr, 99);
             ::Diag dg = FirstDiag(SQL_HANDLE_DBC, d);
             SQLFreeHandle(SQL_HANDLE_DBC, d);
             return rc == SQL_ERROR && dg.state == "HY110" ? SQL_ERROR : SQLRETURN(-99);
         },
         SQL_ERROR,
         {}},
        {"allochandle type 99",
         At::Fresh,
         [](Ctx& x) {
             SQLHANDLE h = SQL_NULL_HANDLE;
             return SQLAllocHandle(99, x.dbc, &h);
         },
         SQL_ERROR,
         {"HY092"},
         SQL_HANDLE_DBC},
    });
}

// Column and parameter numbers out of range.
TEST_P(Robust, NumbersOutOfRange) {
    std::vector<Case> cases;
    for (SQLUSMALLINT col : {SQLUSMALLINT(0), SQLUSMALLINT(3), SQLUSMALLINT(200), SQLUSMALLINT(65535)}) {
        std::string n = std::to_string(col);
        cases.push_back({"getdata column " + n, At::OnRow,
                         [col](Ctx& x) { return SQLGetData(x.stmt, col, SQL_C_CHAR, x.buf, sizeof x.buf, &x.len); },
                         SQL_ERROR, kIndex});
        cases.push_back({"describecol " + n, At::Prepared,
                         [col](Ctx& x) {
                             return SQLDescribeCol(x.stmt, col, C(x.buf), sizeof x.buf, &x.slen, &x.sval, &x.uval,
                                                   &x.sval, &x.sval);
                         },
                         SQL_ERROR, kIndex});
        if (col != 0)
            cases.push_back({"colattribute " + n, At::Open,
                             [col](Ctx& x) {
                                 return SQLColAttribute(x.stmt, col, SQL_DESC_NAME, x.buf, sizeof x.buf, &x.slen,
                                                        nullptr);
                             },
                             SQL_ERROR, kIndex});
        // Binding may come before the result it serves: a column beyond the count is refused at
        // the bind or at the fetch.
        if (col == 0)
            cases.push_back({"bindcol bookmark with a text type",
                             At::Open,
                             [](Ctx& x) { return SQLBindCol(x.stmt, 0, SQL_C_CHAR, x.buf, sizeof x.buf, &x.len); },
                             SQL_ERROR,
                             {"HY003", "07009"}});
        else
            cases.push_back({"bindcol on open cursor then fetch " + n, At::Open,
                             [col](Ctx& x) {
                                 SQLRETURN rc = SQLBindCol(x.stmt, col, SQL_C_CHAR, x.buf, sizeof x.buf, &x.len);
                                 if (rc != SQL_SUCCESS) return rc;
                                 return SQLFetch(x.stmt);
                             },
                             SQL_ERROR, kIndex});
        cases.push_back({"describeparam " + n, At::Params,
                         [col](Ctx& x) { return SQLDescribeParam(x.stmt, col, &x.sval, &x.uval, &x.sval, &x.sval); },
                         SQL_ERROR, kIndex});
    }
    cases.push_back({"bindparameter 0", At::Params,
                     [](Ctx& x) {
                         return SQLBindParameter(x.stmt, 0, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &x.ival, 0,
                                                 &x.len);
                     },
                     SQL_ERROR, kIndex});
    cases.push_back({"execute with a marker beyond those bound",
                     At::Params,
                     [](Ctx& x) {
                         static SQLINTEGER v = 5;
                         static SQLLEN ind = 0;
                         SQLBindParameter(x.stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind);
                         return SQLExecute(x.stmt);
                     },
                     SQL_ERROR,
                     {"07001", "07002"}});
    cases.push_back({"setpos row beyond the rowset",
                     At::OnRow,
                     [](Ctx& x) { return SQLSetPos(x.stmt, 5, SQL_POSITION, SQL_LOCK_NO_CHANGE); },
                     SQL_ERROR,
                     {"HY107", "HY109"}});
    cases.push_back({"fetch absolute far beyond",
                     At::Fresh,
                     [](Ctx& x) {
                         SQLSetStmtAttr(x.stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC),
                                        0);
                         std::string q = "select a from " + x.table;
                         if (!SQL_SUCCEEDED(SQLExecDirect(x.stmt, C(q.c_str()), SQL_NTS))) return SQLRETURN(-99);
                         SQLRETURN rc = SQLFetchScroll(x.stmt, SQL_FETCH_ABSOLUTE, 1 << 30);
                         // Without the cursor layer a forward-only cursor cannot scroll.
                         if (rc == SQL_ERROR && FirstDiag(SQL_HANDLE_STMT, x.stmt).state == "HYC00")
                             return SQLRETURN(SQL_NO_DATA);
                         return rc;
                     },
                     SQL_NO_DATA,
                     {}});
    cases.push_back({"getdescrec 0 of the ird",
                     At::Fresh,
                     [](Ctx& x) {
                         SQLHDESC d = SQL_NULL_HDESC;
                         SQLGetStmtAttr(x.stmt, SQL_ATTR_IMP_ROW_DESC, &d, 0, nullptr);
                         return SQLGetDescRec(d, 0, C(x.buf), sizeof x.buf, &x.slen, &x.sval, &x.sval, &x.len, &x.sval,
                                              &x.sval, &x.sval);
                     },
                     SQL_ERROR,
                     {}});
    Run(cases);
}

// Stale and wrong handles through the Driver Manager.
TEST_P(Robust, StaleAndWrongHandles) {
    SQLHSTMT s = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, s));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLExecDirect(s, C("select 1"), SQL_NTS));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFetch(s));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_STMT, s));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_STMT, dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, stmt));
    SQLCHAR st[6], msg[100];
    SQLINTEGER native;
    SQLSMALLINT len;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDiagRec(SQL_HANDLE_STMT, dbc, 1, st, &native, msg, sizeof msg, &len));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDiagRec(SQL_HANDLE_DBC, stmt, 1, st, &native, msg, sizeof msg, &len));
    EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_STMT, stmt, SQL_COMMIT));
    SQLSMALLINT cols;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLNumResultCols(dbc, &cols));
    // A handle freed with its statement is gone too.
    SQLHDESC ard = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s));
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(s, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, s));
    SQLSMALLINT cnt;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDescField(ard, 0, SQL_DESC_COUNT, &cnt, 0, nullptr));
    // Still working afterwards.
    EXPECT_EQ(SQL_SUCCESS, Exec("select a from " + t)) << Diag();
}

SQLHDESC DescOf(Ctx& x, SQLINTEGER which) {
    x.desc = SQL_NULL_HDESC;
    SQLGetStmtAttr(x.stmt, which, &x.desc, 0, nullptr);
    return x.desc;
}

// Descriptor fields and records, statement attributes.
TEST_P(Robust, DescriptorsAndStatementAttributes) {
    const std::set<std::string> kAttr = {"HY092", "HYC00"};
    const std::set<std::string> kValue = {"HY024", "HY092", "HYC00", "01S02"};
    Run({
        {"get stmt attr 9999", At::Fresh,
         [](Ctx& x) { return SQLGetStmtAttr(x.stmt, 9999, x.buf, sizeof x.buf, &x.ival); }, SQL_ERROR, kAttr},
        {"set stmt attr 9999", At::Fresh,
         [](Ctx& x) { return SQLSetStmtAttr(x.stmt, 9999, reinterpret_cast<SQLPOINTER>(1), 0); }, SQL_ERROR, kAttr},
        {"get stmt option 9999",
         At::Fresh,
         [](Ctx& x) { return SQLGetStmtOption(x.stmt, 9999, x.buf); },
         SQL_ERROR,
         {"HY092", "HYC00", "S1092"}},
        {"set stmt option 9999",
         At::Fresh,
         [](Ctx& x) { return SQLSetStmtOption(x.stmt, 9999, 1); },
         SQL_ERROR,
         {"HY092", "HYC00", "S1092"}},
        // A row array size of 0 is accepted (it should be HY024: see the disabled cases below).
        {"row array size 0 then fetch",
         At::Fresh,
         [](Ctx& x) {
             SQLRETURN rc = SQLSetStmtAttr(x.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(0), 0);
             if (rc == SQL_ERROR) return rc;
             std::string q = "select a from " + x.table + " order by a";
             SQLINTEGER v[4] = {};
             SQLULEN got = 99;
             SQLSetStmtAttr(x.stmt, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0);
             if (SQLExecDirect(x.stmt, C(q.c_str()), SQL_NTS) != SQL_SUCCESS) return SQLRETURN(-98);
             SQLBindCol(x.stmt, 1, SQL_C_LONG, v, 0, nullptr);
             rc = SQLFetch(x.stmt);
             // Taken as one row: nothing beyond the first element is written.
             return rc == SQL_SUCCESS && got == 1 && v[0] == 1 && v[1] == 0 ? rc : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
        {"implementation row descriptor is read-only",
         At::Fresh,
         [](Ctx& x) {
             SQLHDESC d = DescOf(x, SQL_ATTR_APP_ROW_DESC);
             return SQLSetStmtAttr(x.stmt, SQL_ATTR_IMP_ROW_DESC, d, 0);
         },
         SQL_ERROR,
         {"HY017", "HY024", "HY092"}},
        {"get desc field record -1",
         At::Fresh,
         [](Ctx& x) {
             return SQLGetDescField(DescOf(x, SQL_ATTR_APP_ROW_DESC), -1, SQL_DESC_TYPE, &x.sval, 0, nullptr);
         },
         SQL_ERROR,
         {"07009"},
         SQL_HANDLE_DESC},
        {"get desc field beyond the count",
         At::Prepared,
         [](Ctx& x) {
             return SQLGetDescField(DescOf(x, SQL_ATTR_IMP_ROW_DESC), 200, SQL_DESC_TYPE, &x.sval, 0, nullptr);
         },
         SQL_NO_DATA,
         {},
         SQL_HANDLE_DESC},
        {"get desc name length -1",
         At::Prepared,
         [](Ctx& x) { return SQLGetDescField(DescOf(x, SQL_ATTR_IMP_ROW_DESC), 1, SQL_DESC_NAME, x.buf, -1, &x.ival); },
         SQL_ERROR,
         {"HY090"},
         SQL_HANDLE_DESC},
        {"set field of an implementation row descriptor",
         At::Prepared,
         [](Ctx& x) {
             return SQLSetDescField(DescOf(x, SQL_ATTR_IMP_ROW_DESC), 1, SQL_DESC_TYPE,
                                    reinterpret_cast<SQLPOINTER>(SQL_INTEGER), 0);
         },
         SQL_ERROR,
         {"HY016"},
         SQL_HANDLE_DESC},
        {"set desc rec of an implementation row descriptor",
         At::Prepared,
         [](Ctx& x) {
             return SQLSetDescRec(DescOf(x, SQL_ATTR_IMP_ROW_DESC), 1, SQL_INTEGER, 0, 4, 0, 0, x.buf, &x.len, &x.len);
         },
         SQL_ERROR,
         {"HY016"},
         SQL_HANDLE_DESC},
        {"set desc field record -1",
         At::Fresh,
         [](Ctx& x) {
             return SQLSetDescField(DescOf(x, SQL_ATTR_APP_ROW_DESC), -1, SQL_DESC_TYPE,
                                    reinterpret_cast<SQLPOINTER>(SQL_C_CHAR), 0);
         },
         SQL_ERROR,
         {"07009"},
         SQL_HANDLE_DESC},
        {"get desc rec beyond the count",
         At::Prepared,
         [](Ctx& x) {
             return SQLGetDescRec(DescOf(x, SQL_ATTR_IMP_ROW_DESC), 300, C(x.buf), sizeof x.buf, &x.slen, &x.sval,
                                  &x.sval, &x.len, &x.sval, &x.sval, &x.sval);
         },
         SQL_NO_DATA,
         {},
         SQL_HANDLE_DESC},
        {"copy the row descriptor of an unprepared statement",
         At::Fresh,
         [](Ctx& x) {
             SQLHDESC ird = DescOf(x, SQL_ATTR_IMP_ROW_DESC);
             SQLHDESC ard = DescOf(x, SQL_ATTR_APP_ROW_DESC);
             return SQLCopyDesc(ird, ard);
         },
         SQL_ERROR,
         {"HY007", "HY010"},
         SQL_HANDLE_DESC},
        {"free an implicit descriptor",
         At::Fresh,
         [](Ctx& x) { return SQLFreeHandle(SQL_HANDLE_DESC, DescOf(x, SQL_ATTR_APP_ROW_DESC)); },
         SQL_ERROR,
         {"HY017"},
         SQL_HANDLE_DESC},
    });
}

// A second connection, not connected, for the cases that need one; freed by the case.
struct Unconnected {
    SQLHDBC dbc = SQL_NULL_HDBC;
    explicit Unconnected(SQLHENV env) { SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc); }
    ~Unconnected() { SQLFreeHandle(SQL_HANDLE_DBC, dbc); }
    // rc with the first state appended as a check: the expected state or -99.
    SQLRETURN Expect(SQLRETURN rc, const std::set<std::string>& states) const {
        if (rc != SQL_ERROR) return rc;
        return states.count(FirstDiag(SQL_HANDLE_DBC, dbc).state) ? rc : SQLRETURN(-99);
    }
};

// Connection calls out of order and connection attribute values out of range.
TEST_P(Robust, ConnectionSequenceAndValues) {
    const std::set<std::string> kNotOpen = {"08003"};
    Run({
        {"disconnect when not connected",
         At::Fresh,
         [](Ctx& x) {
             Unconnected u(x.env);
             return u.Expect(SQLDisconnect(u.dbc), {"08003"});
         },
         SQL_ERROR,
         {}},
        {"statement on an unconnected connection",
         At::Fresh,
         [](Ctx& x) {
             Unconnected u(x.env);
             SQLHSTMT st = SQL_NULL_HSTMT;
             return u.Expect(SQLAllocHandle(SQL_HANDLE_STMT, u.dbc, &st), {"08003"});
         },
         SQL_ERROR,
         {}},
        {"native sql on an unconnected connection",
         At::Fresh,
         [](Ctx& x) {
             Unconnected u(x.env);
             return u.Expect(SQLNativeSql(u.dbc, C("select 1"), SQL_NTS, C(x.buf), sizeof x.buf, &x.ival), {"08003"});
         },
         SQL_ERROR,
         {}},
        {"server information on an unconnected connection",
         At::Fresh,
         [](Ctx& x) {
             Unconnected u(x.env);
             return u.Expect(SQLGetInfo(u.dbc, SQL_DBMS_VER, x.buf, sizeof x.buf, &x.slen), {"08003"});
         },
         SQL_ERROR,
         {}},
        {"transaction end on an unconnected connection",
         At::Fresh,
         [](Ctx& x) {
             Unconnected u(x.env);
             return u.Expect(SQLEndTran(SQL_HANDLE_DBC, u.dbc, SQL_COMMIT), {"08003"});
         },
         SQL_ERROR,
         {}},
        {"isolation 99",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectAttr(x.dbc, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(99), 0); },
         SQL_ERROR,
         {"HY024", "HYC00", "S1009"},
         SQL_HANDLE_DBC},
        {"access mode 7",
         At::Fresh,
         [](Ctx& x) { return SQLSetConnectAttr(x.dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(7), 0); },
         SQL_ERROR,
         {"HY024", "HYC00"},
         SQL_HANDLE_DBC},
        {"disconnect inside a transaction rolls it back",
         At::Fresh,
         [](Ctx& x) {
             if (SQLSetConnectAttr(x.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0) !=
                 SQL_SUCCESS)
                 return SQLRETURN(-98);
             std::string q = "insert into " + x.table + " values (9, 'pending')";
             SQLRETURN rc = SQLExecDirect(x.stmt, C(q.c_str()), SQL_NTS);
             if (rc != SQL_SUCCESS) return SQLRETURN(-97);
             // The driver rolls the open transaction back on disconnect: the row is gone, never
             // committed behind the application's back.
             SQLFreeHandle(SQL_HANDLE_STMT, x.stmt);
             x.stmt = SQL_NULL_HSTMT;
             rc = SQLDisconnect(x.dbc);
             if (rc != SQL_SUCCESS) return SQLRETURN(-96);
             if (!SQL_SUCCEEDED(SQLConnect(x.dbc, C(x.dsn.c_str()), SQL_NTS, C(kUser), SQL_NTS, C(kPassword), SQL_NTS)))
                 return SQLRETURN(-95);
             SQLAllocHandle(SQL_HANDLE_STMT, x.dbc, &x.stmt);
             q = "select count(*) from " + x.table + " where a = 9";
             SQLINTEGER n = -1;
             if (SQLExecDirect(x.stmt, C(q.c_str()), SQL_NTS) != SQL_SUCCESS || SQLFetch(x.stmt) != SQL_SUCCESS ||
                 SQLGetData(x.stmt, 1, SQL_C_LONG, &n, 0, nullptr) != SQL_SUCCESS)
                 return SQLRETURN(-94);
             return n == 0 ? SQLRETURN(SQL_SUCCESS) : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
    });
}

// Absurd sizes given with real buffers: the driver takes what the value needs, never the size.
TEST_P(Robust, AbsurdSizes) {
    Run({
        {"bindcol with a buffer length of 2^62",
         At::Open,
         [](Ctx& x) {
             SQLRETURN rc = SQLBindCol(x.stmt, 2, SQL_C_CHAR, x.buf, SQLLEN(1) << 62, &x.len);
             if (rc != SQL_SUCCESS) return rc;
             rc = SQLFetch(x.stmt);
             return rc == SQL_SUCCESS && std::string(x.buf) == "one" && x.len == 3 ? rc : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
        {"varchar parameter of column size 2^63",
         At::Params,
         [](Ctx& x) {
             static SQLINTEGER a = 11;
             static SQLLEN aInd = 0, bLen = SQL_NTS;
             SQLBindParameter(x.stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &aInd);
             SQLRETURN rc = SQLBindParameter(x.stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, SQLULEN(1) << 63, 0,
                                             C("big"), 0, &bLen);
             if (rc == SQL_ERROR) return rc;
             // The column size describes; the value decides what is sent.
             return SQLExecute(x.stmt);
         },
         SQL_SUCCESS,
         {}},
        {"fetch with a rowset of 2^40 rows into one row of buffer",
         At::Fresh,
         [](Ctx& x) {
             SQLRETURN rc =
                 SQLSetStmtAttr(x.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1) << 40), 0);
             // Refused or cut down: either way no fetch may believe 2^40 rows of room.
             SQLULEN size = 0;
             SQLGetStmtAttr(x.stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr);
             return (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) && size < (SQLULEN(1) << 40) ? SQL_SUCCESS
                                                                                                  : SQLRETURN(-99);
         },
         SQL_SUCCESS,
         {}},
        {"parameter set size 0",
         At::Params,
         [](Ctx& x) {
             SQLULEN done = 0;
             SQLRETURN rc = SQLParamOptions(x.stmt, 0, &done);
             if (rc == SQL_ERROR) return rc;
             static SQLINTEGER a = 12;
             static SQLLEN aInd = 0, bInd = SQL_NULL_DATA;
             SQLBindParameter(x.stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &a, 0, &aInd);
             SQLBindParameter(x.stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, x.buf, 0, &bInd);
             return SQLExecute(x.stmt);
         },
         SQL_ERROR,
         {"HY107", "HY024", "S1107"}},
    });
}

// The driver's own answers where ODBC 3 would say otherwise: an unknown descriptor field id is
// "Driver does not support this function" (IM001, not HY091), and a row array size of 0 is taken
// as 1 rather than refused with HY024 (a fetch then fills one row, checked elsewhere).
TEST_P(Robust, DescriptorFieldAndArraySizeAnswers) {
    Run({
        {"get desc field 9999",
         At::Prepared,
         [](Ctx& x) {
             return SQLGetDescField(DescOf(x, SQL_ATTR_IMP_ROW_DESC), 1, 9999, x.buf, sizeof x.buf, &x.ival);
         },
         SQL_ERROR,
         {"IM001"},
         SQL_HANDLE_DESC},
        {"set desc field 9999",
         At::Fresh,
         [](Ctx& x) {
             return SQLSetDescField(DescOf(x, SQL_ATTR_APP_ROW_DESC), 1, 9999, reinterpret_cast<SQLPOINTER>(1), 0);
         },
         SQL_ERROR,
         {"IM001"},
         SQL_HANDLE_DESC},
        {"row array size 0",
         At::Fresh,
         [](Ctx& x) { return SQLSetStmtAttr(x.stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(0), 0); },
         SQL_SUCCESS,
         {}},
    });
}

INSTANTIATE_TEST_SUITE_P(Builds, Robust, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
