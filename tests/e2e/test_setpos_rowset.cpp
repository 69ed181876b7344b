// Row operations name the rows the application fetched, through the Driver Manager: SQLSetPos
// works on the rowset of the last fetch whatever the rowset size says since, the bulk operations
// by bookmark take the bookmarks of the rows fetched, a fetch by bookmark makes its rows the
// rowset (its bookmark column, statuses, SQLSetPos and SQLGetData then name them), and a
// forward-only cursor positions within its rowset. Every change is read back on another
// connection.
#include <string>
#include <vector>

#include "rowops_fixture.h"

namespace resultstest {
namespace {

struct Kind {
    SQLULEN type;
    SQLULEN concurrency;
    SQLULEN keysetSize;
    const char* what;
};
constexpr Kind kChangeable[] = {
    {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 0, "keyset-driven, lock"},
    {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 0, "keyset-driven, values"},
    {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, 0, "static, lock"},
    {SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, 0, "static, values"},
    {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 8, "mixed, lock"},
    {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, 0, "dynamic, values"},
};

// A rowset size set after the fetch changes the rows neither SQLSetPos updates nor those it
// deletes: both work on rows 4-6 that the fetch delivered, never on rows 7 and 8.
TEST_P(RowsetRowOps, SetPosWorksOnTheRowsetOfTheLastFetch) {
    for (const Kind& k : kChangeable) {
        SCOPED_TRACE(k.what);
        Reset();
        Open(k.type, k.concurrency, 3, k.keysetSize);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ((std::vector<SQLINTEGER>{4, 5, 6}), Ids(3));
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 5);
        for (int i = 0; i < 5; ++i) SetName(i, "u" + std::to_string(i));
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED}), Statuses(3));
        SQLLEN count = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
        EXPECT_EQ(3, count);
        EXPECT_EQ(Expected({{4, "4:u0:-"}, {5, "5:u1:n5"}, {6, "6:u2:n6"}}), Contents());
        for (auto& l : idLen) l = 0;
        // Rows past the fetched rowset are no rows of it.
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 4, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        EXPECT_EQ("HY107", State());
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_DELETED}), Statuses(3));
        EXPECT_EQ(Expected({{4, ""}, {5, ""}, {6, ""}}), Contents());
        // The next fetch takes the new size.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ((std::vector<SQLINTEGER>{7, 8, 9, 10}), Ids(4));
        ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetPos(stmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ(Expected({{4, ""}, {5, ""}, {6, ""}, {7, ""}, {8, ""}, {9, ""}, {10, ""}}), Contents());
        Close();
    }
}

// A fetch by bookmark makes the rows it read the rowset: its bookmark column keeps the bookmarks
// given, SQLGetData and the row number read the row each names, SQLSetPos changes that row and
// SQL_REFRESH reads those rows again.
TEST_P(RowsetRowOps, FetchByBookmarkMakesItsRowsTheRowset) {
    const Kind kinds[] = {
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 0, "keyset-driven, read-only"},
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 0, "keyset-driven, lock"},
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 0, "keyset-driven, values"},
        {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 0, "static, read-only"},
        {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, 0, "static, lock"},
        {SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, 0, "static, values"},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.what);
        Reset();
        Open(k.type, k.concurrency, 3, 0, true);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 4)) << Diag();
        ASSERT_EQ((std::vector<SQLINTEGER>{4, 5, 6}), Ids(3));
        const SQLLEN b4 = bm[0], b5 = bm[1], b6 = bm[2];
        bm[0] = b6;
        bm[1] = b5;
        bm[2] = b4;
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{6, 5, 4}), Ids(3));
        EXPECT_STREQ("r6", names[0]);
        EXPECT_EQ((std::vector<SQLLEN>{b6, b5, b4}), std::vector<SQLLEN>(bm, bm + 3));
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS}), Statuses(3));
        EXPECT_EQ(3u, fetched);
        // Each row of the rowset is the row its bookmark names.
        EXPECT_EQ("n6", NoteAt(1));
        SQLULEN number = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr)) << Diag();
        EXPECT_EQ(6u, number);
        SQLLEN mark = 0, markLen = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 0, SQL_C_VARBOOKMARK, &mark, sizeof mark, &markLen)) << Diag();
        EXPECT_EQ(b6, mark);
        EXPECT_EQ("-", NoteAt(3));
        EXPECT_EQ("n5", NoteAt(2));
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr)) << Diag();
        EXPECT_EQ(5u, number);
        if (k.concurrency != SQL_CONCUR_READ_ONLY) {
            SetName(0, "six");
            ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
            EXPECT_EQ(SQL_ROW_UPDATED, status[0]);
            ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
            EXPECT_EQ(SQL_ROW_DELETED, status[2]);
            EXPECT_EQ(Expected({{4, ""}, {6, "6:six:n6"}}), Contents());
        }
        if (k.type == SQL_CURSOR_KEYSET_DRIVEN) {
            // SQL_REFRESH reads the same rows again: another connection's change to one shows.
            Other("update " + t + " set name = 'theirs' where id = 5");
            ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
            EXPECT_EQ(6, ids[0]);
            EXPECT_EQ(5, ids[1]);
            EXPECT_STREQ("theirs", names[1]);
            EXPECT_EQ((std::vector<SQLLEN>{b6, b5, b4}), std::vector<SQLLEN>(bm, bm + 3));
        }
        Close();
    }
}

// The bookmarks of every row the last fetch delivered are taken, whatever rowset size the bulk
// operation runs with; a row outside the rows fetched is refused and nothing changes.
TEST_P(RowsetRowOps, BulkOperationsTakeTheBookmarksOfTheRowsFetched) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        SCOPED_TRACE(type);
        Reset();
        Open(type, SQL_CONCUR_LOCK, 6, 0, true);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        const std::vector<SQLLEN> marks(bm, bm + 6);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 5);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 2);
        bm[0] = marks[5];
        bm[1] = marks[2];
        EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_DELETE_BY_BOOKMARK));
        EXPECT_EQ("IM925", State());
        EXPECT_EQ(Expected({}), Contents());
        bm[0] = marks[4];
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{5, 3}), Ids(2));
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_DELETE_BY_BOOKMARK)) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_DELETED, SQL_ROW_DELETED}), Statuses(2));
        EXPECT_EQ(Expected({{3, ""}, {5, ""}}), Contents());
        Close();
    }
}

// A read-only keyset-driven or static cursor fetches by bookmark; it changes nothing by bookmark
// (HY009) and the table stays as it was.
TEST_P(RowsetRowOps, ReadOnlyCursorsFetchByBookmark) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        SCOPED_TRACE(type);
        Open(type, SQL_CONCUR_READ_ONLY, 3, 0, true);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 2);
        bm[0] = bm[2];
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{3, 2}), Ids(2));
        EXPECT_STREQ("r3", names[0]);
        for (SQLUSMALLINT op : {SQLUSMALLINT(SQL_UPDATE_BY_BOOKMARK), SQLUSMALLINT(SQL_DELETE_BY_BOOKMARK)}) {
            SCOPED_TRACE(op);
            SetName(0, "ro");
            SetName(1, "ro");
            EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, op));
            EXPECT_EQ("HY009", State());
        }
        EXPECT_EQ(Expected({}), Contents());
        Close();
    }
}

// A mixed cursor (a keyset size above 0) is answered by the keyset-driven cursors' attributes,
// but has no row numbers: ABSOLUTE, bookmarks and a bound bookmark column are a feature it does
// not offer, and it says so naming mixed cursors; bulk operations are not offered on it either.
TEST_P(RowsetRowOps, MixedCursorsRefuseRowNumbersAsNotOffered) {
    for (SQLULEN conc : {SQLULEN(SQL_CONCUR_READ_ONLY), SQLULEN(SQL_CONCUR_LOCK)}) {
        SCOPED_TRACE(conc);
        Open(SQL_CURSOR_KEYSET_DRIVEN, conc, 2, 4, true);
        // A bound bookmark column has no bookmarks to take.
        EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
        const ::Diag none = FirstDiag(SQL_HANDLE_STMT, stmt);
        EXPECT_EQ("HYC00", none.state);
        EXPECT_NE(std::string::npos, none.message.find("mixed")) << none.message;
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, nullptr, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        for (SQLSMALLINT orientation : {SQLSMALLINT(SQL_FETCH_ABSOLUTE), SQLSMALLINT(SQL_FETCH_BOOKMARK)}) {
            SCOPED_TRACE(orientation);
            SQLLEN mark = 1;
            ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0));
            EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, orientation, 1));
            const ::Diag d = FirstDiag(SQL_HANDLE_STMT, stmt);
            EXPECT_EQ("HYC00", d.state);
            EXPECT_NE(std::string::npos, d.message.find("mixed")) << d.message;
            ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, nullptr, 0));
        }
        EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK));
        EXPECT_EQ("IM924", State());
        // What a mixed cursor does offer goes on working.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 1)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{2, 3}), Ids(2)) << Diag();
        Close();
    }
}

// SQL_ATTR_CURSOR_SENSITIVITY says whether others' changes show, by the kind of cursor: a dynamic
// or keyset-driven one shows them at any concurrency, a static one never. A catalog result runs
// static and read-only, and the statement says so.
TEST_P(RowsetRowOps, CursorAttributesSayWhatTheCursorIs) {
    const struct {
        SQLULEN type, concurrency, sensitivity;
    } cases[] = {
        {SQL_CURSOR_DYNAMIC, SQL_CONCUR_READ_ONLY, SQL_SENSITIVE},
        {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, SQL_SENSITIVE},
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, SQL_SENSITIVE},
        {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, SQL_INSENSITIVE},
        {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, SQL_INSENSITIVE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.concurrency));
        Open(c.type, c.concurrency, 2);
        SQLULEN sensitivity = 99;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, &sensitivity, 0, nullptr));
        EXPECT_EQ(c.sensitivity, sensitivity);
        // And what it says is so: another connection's change shows, or does not.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        Other("update " + t + " set name = 'seen' where id = 1");
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        EXPECT_STREQ(sensitivity == SQL_SENSITIVE ? "seen" : "r1", names[0]);
        Other("update " + t + " set name = 'r1' where id = 1");
        Close();
    }
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
    SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK);
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0)) << Diag();
    SQLULEN type = 0, concurrency = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), type);
    EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), concurrency);
    // Served static: every orientation over its rows, none changed.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
    char name[64] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 3, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
    EXPECT_EQ(t, std::string(name));
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY009", State());
    // The statement keeps those options for what it runs next.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), type);
    Close();
}

// With the driver's option 1054 a forward-only SELECT gets the key columns it leaves out appended
// to its select list (and a wildcard spelt out), so that each row it reads names its table row.
TEST_P(RowsetRowOps, KeyColumnsAreAddedToTheSelectList) {
    const std::string keyed =
        Make("rskeys", "k1 integer not null, k2 varchar(4) not null, v integer, primary key (k1, k2)");
    Must("insert into " + keyed + " values (7, 'a', 70)");
    const struct {
        std::string sql;
        std::vector<std::string> columns;
    } cases[] = {
        {"select name from " + t + " where id = 2", {"name", "id"}},
        {"select id, name from " + t + " where id = 2", {"id", "name"}},
        {"select * from " + t + " where id = 2", {"id", "name", "note"}},
        {"select v, k2 from " + keyed, {"v", "k2", "k1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, 1054, (SQLPOINTER)1, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, Exec(c.sql)) << Diag();
        SQLSMALLINT n = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n));
        std::vector<std::string> names;
        for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(n); ++i) {
            char name[64] = {};
            SQLSMALLINT len = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, i, SQL_DESC_NAME, name, sizeof name, &len, nullptr));
            names.push_back(name);
        }
        EXPECT_EQ(c.columns, names);
        // The rows read carry the key values.
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        char first[16] = {}, last[16] = {};
        SQLLEN len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, first, sizeof first, &len)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, SQLUSMALLINT(n), SQL_C_CHAR, last, sizeof last, &len)) << Diag();
        if (c.sql.find(keyed) == std::string::npos) {
            EXPECT_STREQ(c.columns[0] == "id" ? "2" : "r2", first);
        } else {
            EXPECT_STREQ("70", first);
            EXPECT_STREQ("7", last);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, 1054, (SQLPOINTER)0, 0)) << Diag();
    }
    // Without the option the select list is the application's.
    ASSERT_EQ(SQL_SUCCESS, Exec("select name from " + t)) << Diag();
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n));
    EXPECT_EQ(1, n);
    Close();
}

// A forward-only cursor positions within the rowset it fetched (SQL_GD_BLOCK): SQLGetData reads
// the row SQLSetPos named, at a rowset of several rows and of one; it changes no row.
TEST_P(RowsetRowOps, ForwardOnlyCursorsPositionWithinTheirRowset) {
    SQLUINTEGER gd = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &gd, sizeof gd, nullptr));
    ASSERT_NE(0u, gd & SQL_GD_BLOCK);
    Open(SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 3);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("n2", NoteAt(2));
    EXPECT_EQ("-", NoteAt(1));
    EXPECT_EQ("n3", NoteAt(3));
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 4, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY107", State());
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY109", State());
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("n5", NoteAt(2));
    // A short last rowset: no row past its end.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ("-", NoteAt(1));
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY109", State());
    Close();
    // One row at a time.
    Open(SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 1);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("n2", NoteAt(1));
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY107", State());
    Close();
    EXPECT_EQ(Expected({}), Contents());
}

INSTANTIATE_TEST_SUITE_P(Builds, RowsetRowOps, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
