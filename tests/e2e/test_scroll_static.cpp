// Static cursors through the Driver Manager: SQLFetchScroll and SQLExtendedFetch in every
// direction over a snapshot of the result, bookmarks and row numbers, re-execution, and a
// result large enough to move to the cache files.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

// What the process writes to standard error while it lives; the driver must write nothing there.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()) {
        fflush(stderr);
        saved_ = dup(2);
        if (file_) dup2(fileno(file_), 2);
    }
    std::string Take() {
        if (saved_ < 0) return {};
        fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
        std::string text;
        if (file_) {
            rewind(file_);
            char buf[256];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
        }
        return text;
    }
    ~StderrCapture() {
        Take();
        if (file_) fclose(file_);
    }

private:
    FILE* file_;
    int saved_ = -1;
};

class StaticScroll : public ResultsTest {
protected:
    std::string t;
    static constexpr int kRowset = 4;
    SQLULEN fetched = 0;
    SQLUSMALLINT status[kRowset] = {};
    SQLINTEGER ids[kRowset] = {};
    SQLLEN idLen[kRowset] = {};

    void MakeTable(const std::string& base, int rows) {
        t = Table(base);
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer, name varchar(12))");
        for (int i = 1; i <= rows; ++i)
            Must("insert into " + t + " values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')");
    }
    void TearDown() override {
        if (stmt && !t.empty()) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    void SetAttr(SQLINTEGER attr, SQLULEN v) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, attr, reinterpret_cast<SQLPOINTER>(v), 0))) << Diag();
    }
    // A static cursor with rowsets of kRowset rows, ids bound column-wise.
    void OpenStatic() {
        SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRowset);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
    }
    // Fetches and checks that the rowset holds the rows first..first+count-1.
    void Expect(SQLSMALLINT orientation, SQLLEN offset, int first, int count, const char* what) {
        fetched = SQLULEN(kPoison());
        for (auto& s : status) s = 0xEEEE;
        for (auto& i : ids) i = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, orientation, offset)) << what << ": " << Diag();
        EXPECT_EQ(SQLULEN(count), fetched) << what;
        for (int r = 0; r < kRowset; ++r) {
            if (r < count) {
                EXPECT_EQ(SQL_ROW_SUCCESS, status[r]) << what << " row " << r;
                EXPECT_EQ(first + r, ids[r]) << what << " row " << r;
            } else {
                EXPECT_EQ(SQL_ROW_NOROW, status[r]) << what << " row " << r;
            }
        }
    }
    void ExpectNoData(SQLSMALLINT orientation, SQLLEN offset, const char* what) {
        fetched = SQLULEN(kPoison());
        EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, orientation, offset)) << what << ": " << Diag();
        EXPECT_EQ(0u, fetched) << what;
    }
    SQLULEN RowNumber() {
        SQLULEN n = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &n, 0, nullptr)) << Diag();
        return n;
    }
};

TEST_P(StaticScroll, TenRowsInRowsetsOfFourEveryDirection) {
    MakeTable("scrl10", 10);
    OpenStatic();
    Expect(SQL_FETCH_FIRST, 0, 1, 4, "first");
    Expect(SQL_FETCH_NEXT, 0, 5, 4, "next");
    EXPECT_EQ(5u, RowNumber());
    Expect(SQL_FETCH_NEXT, 0, 9, 2, "next, partial at the end");
    ExpectNoData(SQL_FETCH_NEXT, 0, "next past the end");
    Expect(SQL_FETCH_PRIOR, 0, 7, 4, "prior from after the end");
    Expect(SQL_FETCH_ABSOLUTE, -1, 10, 1, "absolute -1");
    ExpectNoData(SQL_FETCH_ABSOLUTE, 0, "absolute 0");
    Expect(SQL_FETCH_NEXT, 0, 1, 4, "next from before the start");
    Expect(SQL_FETCH_RELATIVE, -2, 1, 4, "relative -2 overlapping the start");
    Expect(SQL_FETCH_RELATIVE, 3, 4, 4, "relative 3");
    Expect(SQL_FETCH_PRIOR, 0, 1, 4, "prior overlapping the start");
    ExpectNoData(SQL_FETCH_PRIOR, 0, "prior from the first rowset");
    ExpectNoData(SQL_FETCH_RELATIVE, -1, "relative back from before the start");
    Expect(SQL_FETCH_RELATIVE, 2, 2, 4, "relative forward from before the start");
    ExpectNoData(SQL_FETCH_ABSOLUTE, -11, "absolute before the start");
    Expect(SQL_FETCH_LAST, 0, 7, 4, "last");
    ExpectNoData(SQL_FETCH_ABSOLUTE, 11, "absolute past the end");
    ExpectNoData(SQL_FETCH_RELATIVE, 1, "relative forward from after the end");
    Expect(SQL_FETCH_RELATIVE, -3, 8, 3, "relative back from after the end");
    Expect(SQL_FETCH_ABSOLUTE, 3, 3, 4, "absolute 3");
    EXPECT_EQ(3u, RowNumber());
}

TEST_P(StaticScroll, TwoRowsInRowsetsOfFour) {
    MakeTable("scrl2", 2);
    OpenStatic();
    // Counted from the end past the first row, within one rowset: the first rowset, whether or
    // not the row count is known yet.
    Expect(SQL_FETCH_ABSOLUTE, -3, 1, 2, "absolute -3 before the count is known");
    EXPECT_EQ(1u, RowNumber());
    Expect(SQL_FETCH_ABSOLUTE, -3, 1, 2, "absolute -3 with the count known");
    EXPECT_EQ(1u, RowNumber());
    Expect(SQL_FETCH_LAST, 0, 1, 2, "last");
    ExpectNoData(SQL_FETCH_ABSOLUTE, -5, "absolute -5");
}

TEST_P(StaticScroll, LastBeforeAnyFetchThenGetDataOnTheCurrentRow) {
    MakeTable("scrl7", 7);
    OpenStatic();
    Expect(SQL_FETCH_LAST, 0, 4, 4, "last before the count is known");
    EXPECT_EQ(4u, RowNumber());
    char name[13] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
    EXPECT_STREQ("r4", name);
    Expect(SQL_FETCH_PRIOR, 0, 1, 4, "prior overlapping the start");
}

TEST_P(StaticScroll, BookmarksNameRowsAndFetchFromThem) {
    MakeTable("scrlbm", 10);
    SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
    OpenStatic();
    SQLLEN marks[kRowset] = {};
    SQLLEN markLen[kRowset] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, marks, sizeof(SQLLEN), markLen)) << Diag();
    Expect(SQL_FETCH_ABSOLUTE, 5, 5, 4, "absolute 5");
    for (int r = 0; r < kRowset; ++r) EXPECT_EQ(5 + r, marks[r]) << r;
    SQLLEN mark = marks[1];  // row 6
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0));
    Expect(SQL_FETCH_FIRST, 0, 1, 4, "first");
    Expect(SQL_FETCH_BOOKMARK, 0, 6, 4, "bookmark of row 6");
    Expect(SQL_FETCH_BOOKMARK, 2, 8, 3, "bookmark of row 6, offset 2");
    Expect(SQL_FETCH_BOOKMARK, -5, 1, 4, "bookmark of row 6, offset -5");
    ExpectNoData(SQL_FETCH_BOOKMARK, -6, "bookmark before the first row");
}

TEST_P(StaticScroll, TheSnapshotHoldsUntilTheStatementRunsAgain) {
    MakeTable("scrlsnap", 6);
    OpenStatic();
    Expect(SQL_FETCH_FIRST, 0, 1, 4, "first");
    SQLHSTMT other = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(other, (SQLCHAR*)("insert into " + t + " values (7, 'r7')").c_str(), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, other);
    SQLFreeHandle(SQL_HANDLE_STMT, other);
    Expect(SQL_FETCH_LAST, 0, 3, 4, "last of the snapshot");
    ExpectNoData(SQL_FETCH_ABSOLUTE, 7, "the new row is not in the snapshot");
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
    Expect(SQL_FETCH_LAST, 0, 4, 4, "last after running again");
    Expect(SQL_FETCH_ABSOLUTE, 7, 7, 1, "the new row");
}

TEST_P(StaticScroll, PreparedOnceExecutedTwice) {
    MakeTable("scrlprep", 5);
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRowset);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    std::string sql = "select id from " + t + " where id > ? order by id";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    SQLINTEGER above = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &above, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    Expect(SQL_FETCH_LAST, 0, 2, 4, "last of five");
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    above = 3;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    Expect(SQL_FETCH_LAST, 0, 4, 2, "last of two");
    ExpectNoData(SQL_FETCH_PRIOR, 0, "prior from the first row");
}

TEST_P(StaticScroll, ExtendedFetchScrolls) {
    MakeTable("scrlext", 10);
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
    SetAttr(SQL_ROWSET_SIZE, kRowset);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
    struct Step {
        SQLUSMALLINT orientation;
        SQLLEN offset;
        SQLRETURN rc;
        int first, count;
    };
    const Step steps[] = {
        {SQL_FETCH_LAST, 0, SQL_SUCCESS, 7, 4},     {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 3, 4},
        {SQL_FETCH_RELATIVE, 6, SQL_SUCCESS, 9, 2}, {SQL_FETCH_NEXT, 0, SQL_NO_DATA, 0, 0},
        {SQL_FETCH_ABSOLUTE, 2, SQL_SUCCESS, 2, 4}, {SQL_FETCH_BOOKMARK, 9, SQL_SUCCESS, 9, 2},
        {SQL_FETCH_FIRST, 0, SQL_SUCCESS, 1, 4},    {SQL_FETCH_ABSOLUTE, 0, SQL_NO_DATA, 0, 0},
    };
    for (const Step& s : steps) {
        SQLULEN rows = SQLULEN(kPoison());
        for (auto& st : status) st = 0xEEEE;
        ASSERT_EQ(s.rc, SQLExtendedFetch(stmt, s.orientation, s.offset, &rows, status))
            << s.orientation << "/" << s.offset << ": " << Diag();
        EXPECT_EQ(SQLULEN(s.count), rows) << s.orientation << "/" << s.offset;
        if (s.rc != SQL_SUCCESS) continue;
        for (int r = 0; r < kRowset; ++r) {
            EXPECT_EQ(r < s.count ? SQL_ROW_SUCCESS : SQL_ROW_NOROW, status[r]) << s.orientation << " row " << r;
            if (r < s.count) {
                EXPECT_EQ(s.first + r, ids[r]) << s.orientation << " row " << r;
            }
        }
    }
}

TEST_P(StaticScroll, ALargeResultScrollsFromTheCacheFiles) {
    t = Table("scrlbig");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer, name varchar(12))");
    Must("insert into " + t + " values (1, 'r1')");
    // Doubling to 8192 rows: past what the cache keeps in memory.
    for (int have = 1; have < 8192; have *= 2)
        Must("insert into " + t + " select id + " + std::to_string(have) + ", name from " + t);
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
    constexpr int kBig = 50;
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kBig);
    SQLINTEGER big[kBig];
    SQLUSMALLINT st[kBig];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, st, 0));
    // Making and closing the cache files is logged, but only to a trace: not to the
    // application's standard error.
    StderrCapture errors;
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, big, sizeof(SQLINTEGER), nullptr));
    struct Step {
        SQLSMALLINT orientation;
        SQLLEN offset;
        int first, count;
    };
    const Step steps[] = {
        {SQL_FETCH_ABSOLUTE, 7000, 7000, 50}, {SQL_FETCH_PRIOR, 0, 6950, 50},
        {SQL_FETCH_FIRST, 0, 1, 50},          {SQL_FETCH_LAST, 0, 8143, 50},
        {SQL_FETCH_RELATIVE, -8100, 43, 50},  {SQL_FETCH_ABSOLUTE, -6000, 2193, 50},
        {SQL_FETCH_ABSOLUTE, 4990, 4990, 50}, {SQL_FETCH_NEXT, 0, 5040, 50},
        {SQL_FETCH_ABSOLUTE, 8180, 8180, 13},
    };
    for (const Step& s : steps) {
        fetched = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, s.orientation, s.offset)) << s.orientation << ": " << Diag();
        ASSERT_EQ(SQLULEN(s.count), fetched) << s.orientation << "/" << s.offset;
        for (int r = 0; r < s.count; ++r) {
            EXPECT_EQ(SQL_ROW_SUCCESS, st[r]);
            ASSERT_EQ(s.first + r, big[r]) << s.orientation << "/" << s.offset << " row " << r;
        }
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ("", errors.Take());
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
}

TEST_P(StaticScroll, FetchMovesOneRowAtATimeAndScrollingTakesOver) {
    MakeTable("scrlone", 3);
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &id, sizeof id, nullptr));
    for (int want = 1; want <= 3; ++want) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        EXPECT_EQ(want, id);
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0)) << Diag();
    EXPECT_EQ(3, id);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_EQ(1, id);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(2, id);
}

// Dynamic cursors and row versions are not built: a request for one is granted as the nearest
// built cursor (keyset-driven for dynamic, values for row versions) with 01S02, the granted value
// reads back, and the cursor then scrolls. Lock and values concurrency are granted as asked.
TEST_P(StaticScroll, UnbuiltCursorRequestsGetTheNearestBuiltCursor) {
    MakeTable("scrlsubst", 3);
    struct Case {
        SQLINTEGER attr;
        SQLULEN value;
        SQLRETURN rc;
        const char* what;
        SQLULEN type;  // granted
        SQLULEN conc;  // granted
    } cases[] = {
        {SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN, SQL_SUCCESS, "keyset-driven", SQL_CURSOR_KEYSET_DRIVEN,
         SQL_CONCUR_READ_ONLY},
        {SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_DYNAMIC, SQL_SUCCESS, "dynamic", SQL_CURSOR_DYNAMIC, SQL_CONCUR_READ_ONLY},
        // Scrollable is what was asked, and scrollable is what it gets.
        {SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE, SQL_SUCCESS, "scrollable", SQL_CURSOR_KEYSET_DRIVEN,
         SQL_CONCUR_READ_ONLY},
        {SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK, SQL_SUCCESS, "lock", SQL_CURSOR_STATIC, SQL_CONCUR_LOCK},
        {SQL_ATTR_CONCURRENCY, SQL_CONCUR_ROWVER, SQL_SUCCESS_WITH_INFO, "row versions", SQL_CURSOR_STATIC,
         SQL_CONCUR_VALUES},
        {SQL_ATTR_CONCURRENCY, SQL_CONCUR_VALUES, SQL_SUCCESS, "values", SQL_CURSOR_STATIC, SQL_CONCUR_VALUES},
        {SQL_ATTR_CURSOR_SENSITIVITY, SQL_SENSITIVE, SQL_SUCCESS_WITH_INFO, "sensitive", SQL_CURSOR_STATIC,
         SQL_CONCUR_READ_ONLY},
    };
    for (const Case& c : cases) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
        SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
        const bool concurrency = c.attr == SQL_ATTR_CONCURRENCY || c.attr == SQL_ATTR_CURSOR_SENSITIVITY;
        if (concurrency) SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
        EXPECT_EQ(c.rc, SQLSetStmtAttr(stmt, c.attr, reinterpret_cast<SQLPOINTER>(c.value), 0)) << c.what;
        if (c.rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ("01S02", Diag().substr(0, 5)) << c.what;
        }
        SQLULEN type = 99, conc = 99, sens = 99, scrollable = 99;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &conc, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, &sens, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, &scrollable, 0, nullptr));
        EXPECT_EQ(c.type, type) << c.what;
        EXPECT_EQ(c.conc, conc) << c.what;
        // Keyset-driven and dynamic cursors read their rows again: others' changes show.
        EXPECT_EQ(c.type == SQL_CURSOR_STATIC ? SQLULEN(SQL_INSENSITIVE) : SQLULEN(SQL_SENSITIVE), sens) << c.what;
        EXPECT_EQ(SQLULEN(SQL_SCROLLABLE), scrollable) << c.what;
        // What was granted works.
        ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << c.what << ": " << Diag();
        SQLINTEGER id = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &id, sizeof id, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << c.what << ": " << Diag();
        EXPECT_EQ(3, id) << c.what;
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << c.what << ": " << Diag();
        EXPECT_EQ(1, id) << c.what;
    }
    // The read-only cursor is positioned, but changes nothing.
    EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(3, [&] {
        SQLHSTMT s = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
        SQLINTEGER n = 0;
        SQLExecDirect(s, (SQLCHAR*)("select count(*) from " + t).c_str(), SQL_NTS);
        SQLBindCol(s, 1, SQL_C_LONG, &n, 0, nullptr);
        SQLFetch(s);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        return n;
    }());
}

// PHP's odbc_exec runs every statement on a static cursor: a change whose values the cursor
// layer's grammar cannot read (signed numbers, NULL, expressions, several rows) still runs on
// every scrollable cursor, by ExecDirect and by Prepare and Execute with a marker; a positioned
// change naming no open cursor still fails.
TEST_P(StaticScroll, ChangesTheAnalyserCannotReadRunOnEveryScrollableCursor) {
    MakeTable("scrlchg", 0);
    const std::string changes[] = {
        "insert into " + t + " values (-1, 'minus')",
        "insert into " + t + " values (2, null)",
        "insert into " + t + " values (1 + 2, lower('X'))",
        "insert into " + t + " values (4, 'a'), (5, 'b')",
        "update " + t + " set name = 'c' where id in (-1, 2)",
        "delete from " + t + " where id = -1 or name = lower('B')",
    };
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_DYNAMIC)}) {
        SCOPED_TRACE("cursor type " + std::to_string(type));
        Must("delete from " + t);
        SetAttr(SQL_ATTR_CURSOR_TYPE, type);
        for (const std::string& sql : changes) {
            EXPECT_TRUE(SQL_SUCCEEDED(Exec(sql))) << sql << ": " << Diag();
            SQLFreeStmt(stmt, SQL_CLOSE);
        }
        const std::string marked = "insert into " + t + " values (-6, ?)";
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)marked.c_str(), SQL_NTS)) << Diag();
        char name[] = "six";
        SQLLEN nameLen = SQL_NTS;
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 12, 0, name,
                                                sizeof name, &nameLen));
        EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        EXPECT_EQ(SQL_ERROR, Exec("update " + t + " set name = lower('Y') where current of nonesuch"));
        // A prepared statement keeps its cursor type: the checks read on a fresh one.
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
        std::vector<int> ids = ForwardIds("select id from " + t + " order by id");
        EXPECT_EQ(ids, (std::vector<int>{-6, 2, 3, 4})) << "rows left";
        std::vector<int> named = ForwardIds("select id from " + t + " where name = 'c' or name = 'x' order by id");
        EXPECT_EQ(named, (std::vector<int>{2, 3}));
    }
}

TEST_P(StaticScroll, ForwardOnlyStillRefusesScrolling) {
    MakeTable("scrlfwd", 3);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t)) << Diag();
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
    EXPECT_EQ("HY106", Diag().substr(0, 5));
}

// A hundred bound markers in one IN list, on each kind of cursor: the last rowset holds the
// highest ids, and a forward-only cursor reads every matching row. The values stay with their
// statement: a keyset cursor on the next one, without markers, reads its keys without them.
TEST_P(StaticScroll, AHundredMarkersOnEveryCursorKind) {
    t = Table("scrl100");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (id integer not null primary key, name varchar(12))");
    for (int i = 1; i <= 120; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')");
    std::string sql = "select id, name from " + t + " where id in (";
    for (int i = 0; i < 100; ++i) sql += i ? ", ?" : "?";
    sql += ") order by id";
    std::vector<SQLINTEGER> values(100);
    std::vector<SQLLEN> lens(100, 0);
    for (int i = 0; i < 100; ++i) values[i] = 2 * i + 1;  // 1, 3, ... 199: 60 of them in the table
    struct Kind {
        SQLULEN type;
        const char* what;
    };
    for (Kind k : {Kind{SQL_CURSOR_FORWARD_ONLY, "forward-only"}, Kind{SQL_CURSOR_STATIC, "static"},
                   Kind{SQL_CURSOR_KEYSET_DRIVEN, "keyset-driven"}}) {
        SCOPED_TRACE(k.what);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        SetAttr(SQL_ATTR_CURSOR_TYPE, k.type);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRowset);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        for (SQLUSMALLINT i = 0; i < 100; ++i)
            ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER,
                                                    0, 0, &values[i], 0, &lens[i]))
                << Diag();
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS))) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
        if (k.type == SQL_CURSOR_FORWARD_ONLY) {
            int seen = 0;
            SQLRETURN rc;
            while ((rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS)
                for (SQLULEN r = 0; r < fetched; ++r, ++seen) EXPECT_EQ(2 * seen + 1, ids[r]) << seen;
            EXPECT_EQ(SQL_NO_DATA, rc) << Diag();
            EXPECT_EQ(60, seen);
            continue;
        }
        // The rows are the odd ids 1..119; n-th row (from 1) has id 2n-1.
        auto expectRows = [&](SQLSMALLINT orientation, SQLLEN offset, int firstRow, const char* what) {
            for (auto& i : ids) i = -1;
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, orientation, offset)) << what << ": " << Diag();
            ASSERT_EQ(SQLULEN(kRowset), fetched) << what;
            for (int r = 0; r < kRowset; ++r) EXPECT_EQ(2 * (firstRow + r) - 1, ids[r]) << what << " row " << r;
        };
        expectRows(SQL_FETCH_LAST, 0, 57, "last");
        expectRows(SQL_FETCH_PRIOR, 0, 53, "prior");
        expectRows(SQL_FETCH_FIRST, 0, 1, "first");
        expectRows(SQL_FETCH_ABSOLUTE, 30, 30, "absolute 30");
    }
    // The next statement has no markers: the hundred values are not its own, and a keyset
    // cursor's key reads must not take them.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
    Expect(SQL_FETCH_LAST, 0, 117, 4, "last without markers");
}

INSTANTIATE_TEST_SUITE_P(Builds, StaticScroll, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
