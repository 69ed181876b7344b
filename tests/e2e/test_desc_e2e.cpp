// Statement attributes and descriptors through the Driver Manager for both builds: attributes set
// and read back (01S02 included), descriptor fields of the four automatic descriptors, an allocated
// descriptor bound as the ARD, SQLCopyDesc, and SQLDescribeCol/SQLColAttribute on every column of a
// table of every Ingres type.
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

#include <sqlucode.h>

namespace resultstest {
namespace {

std::string Narrow(const SQLWCHAR* w, size_t units) {
    std::string s;
    for (size_t i = 0; i < units && w[i]; ++i) s += char(w[i] < 0x80 ? w[i] : '?');
    return s;
}

class DescE2E : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("dsc");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer not null, name varchar(20), note varchar(10))");
        Must("insert into " + t + " values (1, 'ann', 'x')");
        Must("insert into " + t + " values (2, 'bob', null)");
        Must("insert into " + t + " values (3, 'cy', 'zz')");
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    SQLHDESC StmtDesc(SQLHSTMT s, SQLINTEGER attr) {
        SQLHDESC d = SQL_NULL_HDESC;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(s, attr, &d, SQL_IS_POINTER, nullptr));
        return d;
    }
    SQLRETURN Select() { return Exec("select id, name, note from " + t + " order by id"); }
    std::string State(SQLSMALLINT type, SQLHANDLE h) {
        std::string d = DiagText(type, h);
        return d.substr(0, 5);
    }
};

TEST_P(DescE2E, StatementAttributesSetAndReadBack) {
    struct Case {
        SQLINTEGER attr;
        SQLULEN value;
    } cases[] = {
        {SQL_ATTR_QUERY_TIMEOUT, 25},
        {SQL_ATTR_MAX_ROWS, 0x100000007ull},
        {SQL_ATTR_NOSCAN, SQL_NOSCAN_ON},
        {SQL_ATTR_ROW_ARRAY_SIZE, 4},
        {SQL_ATTR_ROW_BIND_TYPE, 32},
        {SQL_ATTR_PARAM_BIND_TYPE, 16},
        {SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF},
        {SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_OFF},
        {SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, c.attr, reinterpret_cast<SQLPOINTER>(uintptr_t(c.value)), 0))
            << c.attr << ": " << Diag();
        SQLULEN back = SQLULEN(kPoison());
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, c.attr, &back, 0, nullptr)) << c.attr;
        EXPECT_EQ(c.value, back) << c.attr;
    }
    // A maximum length below 8192 is raised, with 01S02, and the raised value reads back.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(100), 0));
    EXPECT_EQ("01S02", State(SQL_HANDLE_STMT, stmt));
    SQLULEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, &len, 0, nullptr));
    EXPECT_EQ(8192u, len);
    // A negotiated cursor type reads back what the agent granted: as asked, or another with 01S02.
    SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0);
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << Diag();
    SQLULEN type = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr));
    if (rc == SQL_SUCCESS) {
        EXPECT_EQ(SQLULEN(SQL_CURSOR_DYNAMIC), type);
    }
    EXPECT_EQ(SQL_SUCCESS,
              SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLSetStmtAttr(stmt, SQL_ATTR_ENABLE_AUTO_IPD, reinterpret_cast<SQLPOINTER>(1), 0));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, 1225, reinterpret_cast<SQLPOINTER>(1), 0));
    // The ODBC 2 option calls reach the same values.
    SQLULEN rows = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_MAX_ROWS, &rows));
    EXPECT_EQ(0x100000007ull, rows);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 3)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ROWSET_SIZE, &rows, 0, nullptr));
    EXPECT_EQ(3u, rows);
}

TEST_P(DescE2E, Odbc2StatementOptionsSetAndReadBack) {
    struct Case {
        SQLUSMALLINT option;
        SQLULEN value;
    } cases[] = {
        {SQL_QUERY_TIMEOUT, 7},
        {SQL_MAX_ROWS, 11},
        {SQL_NOSCAN, SQL_NOSCAN_ON},
        {SQL_ASYNC_ENABLE, SQL_ASYNC_ENABLE_OFF},
        {SQL_BIND_TYPE, 16},
        {SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY},
        {SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY},
        {SQL_KEYSET_SIZE, 0},
        {SQL_ROWSET_SIZE, 2},
        {SQL_SIMULATE_CURSOR, SQL_SC_NON_UNIQUE},
        {SQL_RETRIEVE_DATA, SQL_RD_OFF},
        {SQL_USE_BOOKMARKS, SQL_UB_ON},
        {SQL_MAX_LENGTH, 9000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, c.option, c.value)) << Diag();
        SQLULEN back = SQLULEN(kPoison());
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, c.option, &back)) << Diag();
        EXPECT_EQ(c.value, back);
    }
    // Before a result set there is no bookmark and no row number.
    SQLULEN v = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &v));
    EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(stmt, SQL_ROW_NUMBER, &v));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(stmt, 1225, 1));
    EXPECT_EQ("HY092", State(SQL_HANDLE_STMT, stmt));
    // The row number of a forward-only cursor counts the rows fetched.
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 1));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_RETRIEVE_DATA, SQL_RD_ON));
    ASSERT_EQ(SQL_SUCCESS, Select()) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_ROW_NUMBER, &v)) << Diag();
    EXPECT_EQ(2u, v);
    // A maximum length cannot change under an open result set.
    EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 10000));
    EXPECT_EQ("HY011", State(SQL_HANDLE_STMT, stmt));
}

TEST_P(DescE2E, ImplicitDescriptorsAndTheirFields) {
    SQLHDESC ard = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), apd = StmtDesc(stmt, SQL_ATTR_APP_PARAM_DESC);
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC), ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    ASSERT_NE(nullptr, ard);
    ASSERT_NE(nullptr, ird);
    SQLSMALLINT alloc = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_ALLOC_TYPE, &alloc, 0, nullptr));
    EXPECT_EQ(SQL_DESC_ALLOC_AUTO, alloc);
    // Header fields of the application descriptors.
    SQLLEN offset = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 0, SQL_DESC_BIND_OFFSET_PTR, &offset, SQL_IS_POINTER));
    void* p = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, &p, 0, nullptr));
    EXPECT_EQ(&offset, p);
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr));
    EXPECT_EQ(3u, size);
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
    // IPD records, text fields narrow and wide.
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ipd, 1, SQL_DESC_NAME, (SQLPOINTER) "param", SQL_NTS))
        << DiagText(SQL_HANDLE_DESC, ipd);
    char name[16] = {0};
    SQLINTEGER nameLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_NAME, name, sizeof name, &nameLen));
    EXPECT_STREQ("param", name);
    EXPECT_EQ(5, nameLen);
    SQLWCHAR wname[16] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescFieldW(ipd, 1, SQL_DESC_NAME, wname, sizeof wname, &nameLen));
    EXPECT_EQ("param", Narrow(wname, 16));
    if (GetParam().wide) {
        EXPECT_EQ(10, nameLen);  // bytes; the Driver Manager converts the narrow build's answer itself
    }
    SQLSMALLINT ptype = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_PARAMETER_TYPE, &ptype, 0, nullptr));
    EXPECT_EQ(SQL_PARAM_INPUT, ptype);
    EXPECT_EQ(SQL_ERROR, SQLGetDescField(apd, 0, SQL_DESC_CONCISE_TYPE, &ptype, 0, nullptr));
    EXPECT_EQ("07009", State(SQL_HANDLE_DESC, apd));
    // The IRD answers from the result and refuses writes.
    ASSERT_EQ(SQL_SUCCESS, Select()) << Diag();
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr));
    EXPECT_EQ(3, count);
    SQLSMALLINT nullable = -1, type = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 1, SQL_DESC_NULLABLE, &nullable, 0, nullptr));
    EXPECT_EQ(SQL_NO_NULLS, nullable);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 2, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
    EXPECT_EQ(SQL_VARCHAR, type);
    SQLLEN length = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 2, SQL_DESC_LENGTH, &length, 0, nullptr));
    EXPECT_EQ(20, length);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescFieldW(ird, 3, SQL_DESC_NAME, wname, sizeof wname, &nameLen));
    EXPECT_EQ("note", Narrow(wname, 16));
    if (GetParam().wide) {
        EXPECT_EQ(8, nameLen);
    }
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 0, SQL_DESC_NAME, name, sizeof name, &nameLen));
    EXPECT_STREQ("BOOKMARK", name);
    EXPECT_EQ(SQL_ERROR, SQLSetDescField(ird, 1, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_CHAR), 0));
    EXPECT_EQ("HY016", State(SQL_HANDLE_DESC, ird));
    SQLCHAR rname[16];
    SQLSMALLINT rlen = 0, rtype = 0, rsub = 0, rprec = 0, rscale = 0, rnull = 0;
    SQLLEN rlength = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDescRec(ird, 2, rname, sizeof rname, &rlen, &rtype, &rsub, &rlength, &rprec, &rscale, &rnull));
    EXPECT_STREQ("name", (char*)rname);
    EXPECT_EQ(SQL_VARCHAR, rtype);
    EXPECT_EQ(20, rlength);
    EXPECT_EQ(SQL_NULLABLE, rnull);
    EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(ird, 4, SQL_DESC_NAME, name, sizeof name, &nameLen));
}

TEST_P(DescE2E, BookmarkColumnIsDescribedWhenBookmarksAreOn) {
    ASSERT_EQ(SQL_SUCCESS, Select()) << Diag();
    SQLCHAR name[16];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(stmt, 0, name, sizeof name, &len, &type, &size, &digits, &nullable));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_VARIABLE), 0));
    ASSERT_EQ(SQL_SUCCESS, Select()) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 0, name, sizeof name, &len, &type, &size, &digits, &nullable))
        << Diag();
    EXPECT_STREQ("BOOKMARK", (char*)name);
    EXPECT_EQ(8u, size);
    EXPECT_EQ(SQL_NO_NULLS, nullable);
    SQLLEN v = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, 0, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &v)) << Diag();
    EXPECT_EQ(8, v);
    SQLHDESC ird = StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC);
    char label[16] = {0};
    SQLINTEGER llen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 0, SQL_DESC_LABEL, label, sizeof label, &llen));
    EXPECT_STREQ("BOOKMARK", label);
}

TEST_P(DescE2E, AllocatedArdBindsNullRestoresAndFreeingReverts) {
    SQLHDESC implicit = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    SQLHDESC user = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user));
    SQLINTEGER id = -1;
    char name[21] = {0};
    SQLLEN nameLen = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 1, SQL_C_LONG, 0, sizeof id, 0, 0, &id, nullptr, nullptr))
        << DiagText(SQL_HANDLE_DESC, user);
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 2, SQL_C_CHAR, 0, sizeof name, 0, 0, name, &nameLen, &nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0)) << Diag();
    EXPECT_EQ(user, StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC));
    ASSERT_EQ(SQL_SUCCESS, Select()) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(1, id);
    EXPECT_STREQ("ann", name);
    EXPECT_EQ(3, nameLen);
    // Null gives the statement its implicit ARD back, which has no bindings.
    // (The Driver Manager answers SQL_ATTR_APP_ROW_DESC from its own record, which it does not
    // change for a null handle; the driver's binding is what counts.)
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(1, id);
    // Set again, then freed: the statement goes back to its own.
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, user, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(3, id);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, user));
    EXPECT_EQ(implicit, StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC));
    SQLSMALLINT count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(implicit, 0, SQL_DESC_COUNT, &count, 0, nullptr));
    EXPECT_EQ(0, count);
}

TEST_P(DescE2E, CopyDescCopiesABindingThatThenFetches) {
    SQLINTEGER id = -1;
    char note[11] = {0};
    SQLLEN noteInd = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_CHAR, note, sizeof note, &noteInd));
    SQLHSTMT s2 = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s2));
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), StmtDesc(s2, SQL_ATTR_APP_ROW_DESC)))
        << DiagText(SQL_HANDLE_DESC, StmtDesc(s2, SQL_ATTR_APP_ROW_DESC));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_UNBIND));
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(s2, (SQLCHAR*)("select id, name, note from " + t + " order by id").c_str(), SQL_NTS))
        << DiagText(SQL_HANDLE_STMT, s2);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(s2));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(s2));
    EXPECT_EQ(2, id);
    EXPECT_EQ(SQL_NULL_DATA, noteInd);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(s2));
    EXPECT_EQ(3, id);
    EXPECT_STREQ("zz", note);
    EXPECT_EQ(2, noteInd);
    // Onto an implementation row descriptor: refused, and the target says why.
    const SQLHDESC ird = StmtDesc(s2, SQL_ATTR_IMP_ROW_DESC);
    EXPECT_EQ(SQL_ERROR, SQLCopyDesc(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), ird));
    EXPECT_EQ("HY016", DiagText(SQL_HANDLE_DESC, ird).substr(0, 5));
    SQLFreeHandle(SQL_HANDLE_STMT, s2);
}

// A value the target substitutes (an array size above what the statement takes) is a warning, not
// the end of the copy: the header fields after it and the records are copied too, the copy
// answers SQL_SUCCESS_WITH_INFO with 01S02 on its target, and the copied binding fetches.
TEST_P(DescE2E, CopyDescGoesOnPastASubstitutedValue) {
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[21];
        SQLLEN nameInd;
    };
    std::vector<Row> rows(1000);
    SQLLEN offset = sizeof(Row);
    SQLUSMALLINT operations[1000] = {};  // every row SQL_ROW_PROCEED
    SQLHDESC user = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(user, 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(100000), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(user, 0, SQL_DESC_ARRAY_STATUS_PTR, operations, SQL_IS_POINTER));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(user, 0, SQL_DESC_BIND_OFFSET_PTR, &offset, SQL_IS_POINTER));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(user, 0, SQL_DESC_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 1, SQL_C_LONG, 0, sizeof(SQLINTEGER), 0, 0, &rows[0].id, &rows[0].idInd,
                                         &rows[0].idInd))
        << DiagText(SQL_HANDLE_DESC, user);
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 2, SQL_C_CHAR, 0, sizeof rows[0].name, 0, 0, rows[0].name,
                                         &rows[0].nameInd, &rows[0].nameInd));
    const SQLHDESC ard = StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLCopyDesc(user, ard)) << DiagText(SQL_HANDLE_DESC, ard);
    EXPECT_EQ("01S02", State(SQL_HANDLE_DESC, ard));
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr));
    EXPECT_GT(size, 3u);
    EXPECT_LT(size, 100000u);
    void* p = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, &p, 0, nullptr));
    EXPECT_EQ(static_cast<void*>(operations), p);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_BIND_OFFSET_PTR, &p, SQL_IS_POINTER, nullptr));
    EXPECT_EQ(static_cast<void*>(&offset), p);
    SQLINTEGER bindType = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_BIND_TYPE, &bindType, 0, nullptr));
    EXPECT_EQ(SQLINTEGER(sizeof(Row)), bindType);
    SQLSMALLINT count = 0, type = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 0, nullptr));
    EXPECT_EQ(2, count);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 2, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
    EXPECT_EQ(SQL_C_CHAR, type);
    // The rows land one row past the bound buffers, as the copied offset says.
    ASSERT_EQ(SQL_SUCCESS, Select()) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ(0, rows[0].id);
    EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), (std::vector<SQLINTEGER>{rows[1].id, rows[2].id, rows[3].id}));
    EXPECT_STREQ("bob", rows[2].name);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, nullptr, 0);
    SQLFreeHandle(SQL_HANDLE_DESC, user);
}

// ODBC's example of copying rows between tables: the ARD of a fetching statement is copied onto
// the APD of an inserting one before its IPD describes any parameter, then the IRD onto that
// IPD, and each fetched rowset is inserted in one execution. The APD copy binds the parameters
// and leaves the IPD as it was; the IRD copy gives them their types, a timestamp its digits.
TEST_P(DescE2E, CopyDescCopiesRowsBetweenTablesAsOdbcShows) {
    const std::string src = Make("dsccopys", "id integer not null, name varchar(20), ts timestamp(6)");
    const std::string dst = Make("dsccopyd", "id integer not null, name varchar(20), ts timestamp(6)");
    for (int i = 1; i <= 7; ++i)
        Must("insert into " + src + " values (" + std::to_string(i) + ", " +
             (i == 3 ? std::string("null") : "'n" + std::to_string(i) + "'") +
             ", '2024-02-29 13:14:" + std::to_string(10 + i) + "." + std::to_string(100000 + i * 1111) + "')");
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[21];
        SQLLEN nameInd;
        SQL_TIMESTAMP_STRUCT ts;
        SQLLEN tsInd;
    } rows[4] = {};
    SQLULEN fetched = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(4), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name, ts from " + src + " order by id")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_TYPE_TIMESTAMP, &rows[0].ts, 0, &rows[0].tsInd));

    SQLHSTMT ins = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &ins));
    const SQLHDESC apd = StmtDesc(ins, SQL_ATTR_APP_PARAM_DESC), ipd = StmtDesc(ins, SQL_ATTR_IMP_PARAM_DESC);
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), apd)) << DiagText(SQL_HANDLE_DESC, apd);
    SQLSMALLINT type = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(apd, 3, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
    EXPECT_EQ(SQL_C_TYPE_TIMESTAMP, type);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 3, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
    EXPECT_EQ(0, type);
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC), ipd)) << DiagText(SQL_HANDLE_DESC, ipd);
    for (SQLSMALLINT p = 1; p <= 3; ++p)
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetDescField(ipd, p, SQL_DESC_PARAMETER_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_INPUT), 0));
    SQLSMALLINT precision = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 3, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 3, SQL_DESC_PRECISION, &precision, 0, nullptr));
    EXPECT_EQ(SQL_TYPE_TIMESTAMP, type);
    EXPECT_EQ(6, precision);
    const std::string insert = "insert into " + dst + " values (?, ?, ?)";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(ins, (SQLCHAR*)insert.c_str(), SQL_NTS)) << DiagText(SQL_HANDLE_STMT, ins);
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(ins, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(fetched), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << DiagText(SQL_HANDLE_STMT, ins);
    }
    EXPECT_EQ(SQL_NO_DATA, rc) << Diag();
    SQLFreeHandle(SQL_HANDLE_STMT, ins);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    // The rows arrived whole, the NULL and the fractions of a second included.
    auto rowsOf = [&](const std::string& table) {
        std::vector<std::string> out;
        EXPECT_EQ(SQL_SUCCESS, Exec("select id, name, ts from " + table + " order by id")) << Diag();
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            std::string row;
            for (SQLUSMALLINT c = 1; c <= 3; ++c) {
                char text[40] = {};
                SQLLEN len = 0;
                EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, c, SQL_C_CHAR, text, sizeof text, &len))) << Diag();
                row += std::string(len == SQL_NULL_DATA ? "-" : text) + "|";
            }
            out.push_back(row);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    };
    const std::vector<std::string> sent = rowsOf(src);
    ASSERT_EQ(7u, sent.size());
    EXPECT_EQ("3|-|2024-02-29 13:14:13.103333|", sent[2]);
    EXPECT_EQ(sent, rowsOf(dst));
}

// A parameter bound again through its APD record's data pointer keeps its IPD description.
TEST_P(DescE2E, RebindingThroughTheApdKeepsTheIpd) {
    SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 14, 15, 123456000}, other = ts;
    SQLLEN ind = 0;
    const SQLHDESC apd = StmtDesc(stmt, SQL_ATTR_APP_PARAM_DESC), ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6,
                                            &ts, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_DATA_PTR, &other, 0)) << DiagText(SQL_HANDLE_DESC, apd);
    SQLSMALLINT type = 0, precision = 0;
    SQLLEN length = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_PRECISION, &precision, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_LENGTH, &length, 0, nullptr));
    EXPECT_EQ(SQL_TYPE_TIMESTAMP, type);
    EXPECT_EQ(6, precision);
    EXPECT_EQ(26, length);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
}

TEST_P(DescE2E, AllocatedApdBindsAParameterThatExecutes) {
    SQLHDESC user = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &user));
    SQLINTEGER id = 42;
    char name[21] = "desc";
    SQLLEN nameLen = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 1, SQL_C_LONG, 0, sizeof id, 0, 0, &id, nullptr, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 2, SQL_C_CHAR, 0, sizeof name, 0, 0, name, &nameLen, &nameLen));
    SQLHDESC ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetDescField(ipd, 1, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_INTEGER), 0));
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetDescField(ipd, 2, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_VARCHAR), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ipd, 2, SQL_DESC_LENGTH, reinterpret_cast<SQLPOINTER>(20), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, user, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("insert into " + t + " values (?, ?, null)").c_str(), SQL_NTS))
        << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A second execution takes what the descriptor's buffers hold now.
    id = 43;
    std::strcpy(name, "again");
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, nullptr, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " where id > 40 order by id")) << Diag();
    SQLINTEGER got = 0;
    char gotName[21] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &got, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, gotName, sizeof gotName, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(42, got);
    EXPECT_STREQ("desc", gotName);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(43, got);
    EXPECT_STREQ("again", gotName);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLFreeHandle(SQL_HANDLE_DESC, user);
}

// SQLBindParameter sets the verbose type beside the concise one, in the APD from the C type and
// in the IPD from the SQL type: SQL_DATETIME or SQL_INTERVAL with the subcode for those, the type
// itself for the rest; SQLGetDescRec answers the same pair.
TEST_P(DescE2E, BindParameterSetsTheVerboseTypes) {
    SQLHDESC apd = StmtDesc(stmt, SQL_ATTR_APP_PARAM_DESC), ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    const struct {
        SQLSMALLINT cType, sqlType;
        SQLULEN size;
        SQLSMALLINT digits;
        SQLSMALLINT apdType, apdCode, ipdType, ipdCode;
    } cases[] = {
        {SQL_C_LONG, SQL_INTEGER, 0, 0, SQL_INTEGER, 0, SQL_INTEGER, 0},
        {SQL_C_CHAR, SQL_DECIMAL, 10, 2, SQL_CHAR, 0, SQL_DECIMAL, 0},
        {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, SQL_DATETIME, SQL_CODE_TIMESTAMP, SQL_DATETIME,
         SQL_CODE_TIMESTAMP},
        {SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, SQL_CHAR, 0, SQL_DATETIME, SQL_CODE_DATE},
        {SQL_C_TYPE_TIME, SQL_VARCHAR, 8, 0, SQL_DATETIME, SQL_CODE_TIME, SQL_VARCHAR, 0},
        {SQL_C_CHAR, SQL_INTERVAL_DAY_TO_SECOND, 20, 3, SQL_CHAR, 0, SQL_INTERVAL, SQL_CODE_DAY_TO_SECOND},
    };
    char buffer[32] = {};
    SQLLEN ind = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.cType) + "/" + std::to_string(c.sqlType));
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, c.cType, c.sqlType, c.size, c.digits, buffer,
                                                sizeof buffer, &ind))
            << Diag();
        const struct {
            SQLHDESC d;
            SQLSMALLINT concise, type, code;
        } expected[] = {{apd, c.cType, c.apdType, c.apdCode}, {ipd, c.sqlType, c.ipdType, c.ipdCode}};
        for (const auto& e : expected) {
            SQLSMALLINT concise = -1, type = -1, code = -1;
            ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(e.d, 2, SQL_DESC_CONCISE_TYPE, &concise, 0, nullptr));
            ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(e.d, 2, SQL_DESC_TYPE, &type, 0, nullptr));
            ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(e.d, 2, SQL_DESC_DATETIME_INTERVAL_CODE, &code, 0, nullptr));
            EXPECT_EQ(e.concise, concise);
            EXPECT_EQ(e.type, type);
            EXPECT_EQ(e.code, code);
            SQLCHAR name[8];
            SQLSMALLINT nameLen = 0, recType = -1, sub = -1, precision = 0, scale = 0, nullable = 0;
            SQLLEN length = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(e.d, 2, name, sizeof name, &nameLen, &recType, &sub, &length,
                                                 &precision, &scale, &nullable))
                << DiagText(SQL_HANDLE_DESC, e.d);
            EXPECT_EQ(e.type, recType);
            EXPECT_EQ(e.code, sub);
        }
    }
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
}

TEST_P(DescE2E, WideNameWrittenToTheIpdReadsBackNarrow) {
    SQLHDESC ipd = StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC);
    const SQLWCHAR wide[] = {'w', 'n', 'a', 'm', 'e', 0};
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, (SQLPOINTER)wide, SQL_NTS))
        << DiagText(SQL_HANDLE_DESC, ipd);
    char name[16] = {0};
    SQLINTEGER len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_NAME, name, sizeof name, &len));
    EXPECT_STREQ("wname", name);
    EXPECT_EQ(5, len);
    SQLSMALLINT unnamed = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_UNNAMED, &unnamed, 0, nullptr));
    EXPECT_EQ(SQL_NAMED, unnamed);
}

// Which descriptor kinds read and write each field: bit 0 ARD, 1 APD, 2 IRD, 3 IPD.
struct FieldRule {
    SQLSMALLINT field;
    bool header;
    unsigned read;
    unsigned write;
    bool text = false;
};
constexpr unsigned kArd = 1, kApd = 2, kIrd = 4, kIpd = 8, kApp = kArd | kApd, kImpl = kIrd | kIpd, kAll = 15,
                   kNotIrd = kArd | kApd | kIpd;
const FieldRule kFieldRules[] = {
    {SQL_DESC_ARRAY_SIZE, true, kApp, kApp},
    {SQL_DESC_ARRAY_STATUS_PTR, true, kAll, kAll},
    {SQL_DESC_BIND_OFFSET_PTR, true, kApp, kApp},
    {SQL_DESC_BIND_TYPE, true, kApp, kApp},
    {SQL_DESC_ROWS_PROCESSED_PTR, true, kImpl, kImpl},
    {SQL_DESC_COUNT, true, kAll, kNotIrd},
    {SQL_DESC_ALLOC_TYPE, true, kAll, 0},
    {SQL_DESC_CONCISE_TYPE, false, kAll, kNotIrd},
    {SQL_DESC_TYPE, false, kAll, kNotIrd},
    {SQL_DESC_DISPLAY_SIZE, false, kIrd, 0},
    {SQL_DESC_UNSIGNED, false, kImpl, 0},
    {SQL_DESC_FIXED_PREC_SCALE, false, kImpl, 0},
    {SQL_DESC_UPDATABLE, false, kIrd, 0},
    {SQL_DESC_AUTO_UNIQUE_VALUE, false, kIrd, 0},
    {SQL_DESC_CASE_SENSITIVE, false, kImpl, 0},
    {SQL_DESC_SEARCHABLE, false, kIrd, 0},
    {SQL_DESC_TYPE_NAME, false, kImpl, 0, true},
    {SQL_DESC_TABLE_NAME, false, kIrd, 0, true},
    {SQL_DESC_SCHEMA_NAME, false, kIrd, 0, true},
    {SQL_DESC_CATALOG_NAME, false, kIrd, 0, true},
    {SQL_DESC_LABEL, false, kIrd, 0, true},
    {SQL_DESC_BASE_COLUMN_NAME, false, kIrd, 0, true},
    {SQL_DESC_BASE_TABLE_NAME, false, kIrd, 0, true},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, false, kAll, kNotIrd},
    {SQL_DESC_LITERAL_PREFIX, false, kIrd, 0, true},
    {SQL_DESC_LITERAL_SUFFIX, false, kIrd, 0, true},
    {SQL_DESC_LOCAL_TYPE_NAME, false, kImpl, 0, true},
    {SQL_DESC_NUM_PREC_RADIX, false, kAll, kNotIrd},
    {SQL_DESC_PARAMETER_TYPE, false, kIpd, kIpd},
    {SQL_DESC_ROWVER, false, kIrd, 0},
    {SQL_DESC_LENGTH, false, kAll, kNotIrd},
    {SQL_DESC_OCTET_LENGTH_PTR, false, kApp, kApp},
    {SQL_DESC_PRECISION, false, kAll, kNotIrd},
    {SQL_DESC_SCALE, false, kAll, kNotIrd},
    {SQL_DESC_DATETIME_INTERVAL_CODE, false, kAll, kNotIrd},
    {SQL_DESC_NULLABLE, false, kImpl, 0},
    {SQL_DESC_INDICATOR_PTR, false, kApp, kApp},
    {SQL_DESC_DATA_PTR, false, kApp, kNotIrd},
    {SQL_DESC_NAME, false, kImpl, kIpd, true},
    {SQL_DESC_UNNAMED, false, kImpl, kIpd},
    {SQL_DESC_OCTET_LENGTH, false, kAll, kNotIrd},
};

TEST_P(DescE2E, EveryFieldReadsAndWritesOnTheKindsThatHaveIt) {
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("select id, name from " + t + " where id > ?").c_str(), SQL_NTS))
        << Diag();
    const SQLHDESC descs[4] = {StmtDesc(stmt, SQL_ATTR_APP_ROW_DESC), StmtDesc(stmt, SQL_ATTR_APP_PARAM_DESC),
                               StmtDesc(stmt, SQL_ATTR_IMP_ROW_DESC), StmtDesc(stmt, SQL_ATTR_IMP_PARAM_DESC)};
    const char* kinds[4] = {"ARD", "APD", "IRD", "IPD"};
    for (const FieldRule& r : kFieldRules) {
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(std::string(kinds[k]) + " field " + std::to_string(r.field));
            const SQLSMALLINT rec = r.header ? 0 : 1;
            alignas(8) char buf[256] = {0};
            SQLINTEGER len = 0;
            SQLRETURN rc = SQLGetDescField(descs[k], rec, r.field, buf, sizeof buf, &len);
            if (!(r.read & (1u << k))) {
                EXPECT_EQ(SQL_ERROR, rc);
                EXPECT_EQ("HY091", State(SQL_HANDLE_DESC, descs[k]));
                continue;
            }
            ASSERT_EQ(SQL_SUCCESS, rc) << DiagText(SQL_HANDLE_DESC, descs[k]);
            // Write back what was read: the kinds that may write it take it, the others refuse.
            SQLPOINTER value;
            SQLINTEGER vlen = 0;
            if (r.text) {
                value = buf;
                vlen = SQL_NTS;
            } else if (len == 2) {
                SQLSMALLINT v;
                std::memcpy(&v, buf, 2);
                value = reinterpret_cast<SQLPOINTER>(intptr_t(v));
            } else if (len == 4) {
                SQLINTEGER v;
                std::memcpy(&v, buf, 4);
                value = reinterpret_cast<SQLPOINTER>(intptr_t(v));
            } else {
                std::memcpy(&value, buf, sizeof value);
                vlen = SQL_IS_POINTER;
            }
            rc = SQLSetDescField(descs[k], rec, r.field, value, vlen);
            if (r.write & (1u << k)) {
                EXPECT_EQ(SQL_SUCCESS, rc) << DiagText(SQL_HANDLE_DESC, descs[k]);
            } else {
                EXPECT_EQ(SQL_ERROR, rc);
                const std::string st = State(SQL_HANDLE_DESC, descs[k]);
                EXPECT_TRUE(st == "HY091" || st == "HY016") << st;
            }
        }
    }
    // Every field but the pointers left the column and the parameter unbound; the data pointers
    // bind them again with what the records now hold.
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(descs[0], 1, SQL_DESC_DATA_PTR, &id, SQL_IS_POINTER));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(descs[1], 1, SQL_DESC_DATA_PTR, &id, SQL_IS_POINTER));
    id = 1;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(2, id);
}

// Every Ingres type in one table.
class DescTypes : public ResultsTest {
protected:
    std::string t;
    struct Col {
        const char* name;
        const char* decl;
        SQLSMALLINT sqlType;  // 0: not asserted
    };
    static const std::vector<Col>& Cols() {
        static const std::vector<Col> cols = {
            {"id", "integer not null", SQL_INTEGER},
            {"i1", "integer1", SQL_TINYINT},
            {"i2", "smallint", SQL_SMALLINT},
            {"i8", "bigint", SQL_BIGINT},
            {"f4", "float4", SQL_REAL},
            {"f8", "float8", SQL_DOUBLE},
            {"dec", "decimal(31,10)", SQL_DECIMAL},
            {"mon", "money", 0},
            {"ch", "char(10)", SQL_CHAR},
            {"cc", "c(10)", 0},
            {"vc", "varchar(40)", SQL_VARCHAR},
            {"tx", "text(40)", 0},
            {"nc", "nchar(10)", SQL_WCHAR},
            {"nv", "nvarchar(40)", SQL_WVARCHAR},
            {"bt", "byte(4)", SQL_BINARY},
            {"vb", "byte varying(20)", SQL_VARBINARY},
            {"lv", "long varchar", SQL_LONGVARCHAR},
            {"lb", "long byte", SQL_LONGVARBINARY},
            {"ln", "long nvarchar", SQL_WLONGVARCHAR},
            {"da", "ingresdate", 0},
            {"ad", "ansidate", SQL_TYPE_DATE},
            {"ti", "time", 0},
            {"ts", "timestamp", SQL_TYPE_TIMESTAMP},
            {"iy", "interval year to month", 0},
            {"id2", "interval day to second", 0},
            {"bo", "boolean", 0},
        };
        return cols;
    }
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("dsctypes");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        std::string create = "create table " + t + " (";
        for (size_t i = 0; i < Cols().size(); ++i)
            create += std::string(i ? ", " : "") + Cols()[i].name + " " + Cols()[i].decl;
        Must(create + ")");
        ASSERT_EQ(SQL_SUCCESS, Exec("select * from " + t)) << Diag();
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
};

TEST_P(DescTypes, DescribeColAndColAttributeAnswerForEveryColumn) {
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n));
    ASSERT_EQ(SQLSMALLINT(Cols().size()), n);
    SQLLEN count = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &count));
    EXPECT_EQ(n, count);
    for (SQLUSMALLINT c = 1; c <= n; ++c) {
        const Col& want = Cols()[c - 1];
        SCOPED_TRACE(want.name);
        SQLCHAR name[64];
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, c, name, sizeof name, &nameLen, &type, &size, &digits, &nullable))
            << Diag();
        EXPECT_STREQ(want.name, (char*)name);
        EXPECT_EQ(SQLSMALLINT(strlen(want.name)), nameLen);
        // A narrow connection describes national text as plain text.
        if (want.sqlType && (GetParam().wide || want.sqlType > SQL_WCHAR || want.sqlType < SQL_WLONGVARCHAR)) {
            EXPECT_EQ(want.sqlType, type);
        }
        EXPECT_EQ(c == 1 ? SQL_NO_NULLS : SQL_NULLABLE, nullable);
        SQLWCHAR wname[64];
        SQLSMALLINT wlen = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeColW(stmt, c, wname, 64, &wlen, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(want.name, Narrow(wname, 64));
        EXPECT_EQ(nameLen, wlen);

        SQLLEN v = kPoison();
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v)) << Diag();
        EXPECT_EQ(type, v);
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_TYPE, nullptr, 0, nullptr, &v)) << Diag();
        const bool datetime = type == SQL_TYPE_DATE || type == SQL_TYPE_TIME || type == SQL_TYPE_TIMESTAMP;
        if (datetime) {
            EXPECT_EQ(SQL_DATETIME, v);
        } else if (type < 100) {
            EXPECT_EQ(type, v);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_NULLABLE, nullptr, 0, nullptr, &v));
        EXPECT_EQ(nullable, v);
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_SCALE, nullptr, 0, nullptr, &v));
        if (std::string(want.name) == "dec") {
            EXPECT_EQ(10, v);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_PRECISION, nullptr, 0, nullptr, &v));
        if (std::string(want.name) == "dec") {
            EXPECT_EQ(31, v);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &v));
        if (type == SQL_INTEGER) {
            EXPECT_EQ(4, v);
        }
        if (type == SQL_TYPE_TIMESTAMP) {
            EXPECT_EQ(16, v);
        }
        if (type == SQL_VARCHAR) {
            EXPECT_EQ(40, v);
        }
        if (type == SQL_WVARCHAR) {
            EXPECT_EQ(80, v);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_LENGTH, nullptr, 0, nullptr, &v));
        if (type == SQL_VARCHAR || type == SQL_WVARCHAR) {
            EXPECT_EQ(40, v);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &v));
        EXPECT_GT(v, 0);
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_UNNAMED, nullptr, 0, nullptr, &v));
        EXPECT_EQ(SQL_NAMED, v);
        for (SQLUSMALLINT f : {SQL_DESC_SEARCHABLE, SQL_DESC_UNSIGNED, SQL_DESC_UPDATABLE, SQL_DESC_NUM_PREC_RADIX,
                               SQL_DESC_CASE_SENSITIVE, SQL_DESC_FIXED_PREC_SCALE, SQL_DESC_AUTO_UNIQUE_VALUE}) {
            EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, f, nullptr, 0, nullptr, &v)) << f << Diag();
        }
        char text[64];
        SQLSMALLINT tlen = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_LABEL, text, sizeof text, &tlen, nullptr));
        EXPECT_STREQ(want.name, text);
        EXPECT_EQ(SQLSMALLINT(strlen(want.name)), tlen);
        SQLWCHAR wtext[64];
        ASSERT_EQ(SQL_SUCCESS, SQLColAttributeW(stmt, c, SQL_DESC_NAME, wtext, sizeof wtext, &tlen, nullptr));
        EXPECT_EQ(want.name, Narrow(wtext, 64));
        EXPECT_EQ(SQLSMALLINT(2 * strlen(want.name)), tlen);
        for (SQLUSMALLINT f : {SQL_DESC_TYPE_NAME, SQL_DESC_BASE_COLUMN_NAME, SQL_DESC_TABLE_NAME,
                               SQL_DESC_LITERAL_PREFIX, SQL_DESC_LOCAL_TYPE_NAME}) {
            EXPECT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt, c, f, text, sizeof text, &tlen, nullptr))) << f << Diag();
        }
    }
    // Type names come from the type information of the connection.
    char typeName[32] = {0};
    SQLSMALLINT typeNameLen = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt, 1, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLen, nullptr))
        << Diag();
    // The agent's own name for the column type when its attribute rows give one ("INTEGER4"),
    // else the type information's ("INTEGER").
    EXPECT_EQ(0, std::strncmp("INTEGER", typeName, 7)) << typeName;
    EXPECT_EQ(SQLSMALLINT(strlen(typeName)), typeNameLen);
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt, 11, SQL_DESC_LITERAL_PREFIX, typeName, sizeof typeName, &typeNameLen, nullptr));
    EXPECT_STREQ("'", typeName);
    SQLLEN v = 0;
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(stmt, n + 1, SQL_DESC_TYPE, nullptr, 0, nullptr, &v));
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(stmt, 1, 19, nullptr, 0, nullptr, &v));
}

INSTANTIATE_TEST_SUITE_P(Builds, DescE2E, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });
INSTANTIATE_TEST_SUITE_P(Builds, DescTypes, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
