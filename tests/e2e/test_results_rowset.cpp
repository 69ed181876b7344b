// Rowsets of five rows through the Driver Manager: SQLFetchScroll NEXT and SQLExtendedFetch with
// row statuses and rows fetched, column-wise and row-wise binding with a bind offset.
#include <cstring>

#include "results_fixture.h"

namespace resultstest {
namespace {

class Rowsets : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("rows12");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer, name varchar(8))");
        for (int i = 1; i <= 12; ++i)
            Must("insert into " + t + " values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')");
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    void Select() { ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag(); }
    // Column-wise buffers for up to five rows of the two columns, and their binding.
    struct Columns {
        SQLINTEGER ids[5];
        SQLLEN idLen[5];
        char names[5][9];
        SQLLEN nameLen[5];
    };
    void Bind(Columns& c) {
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, c.ids, sizeof(SQLINTEGER), c.idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, c.names, 9, c.nameLen));
    }
};

TEST_P(Rowsets, FetchScrollNextColumnWise) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(5), 0)) << Diag();
    SQLULEN fetched = 0;
    SQLUSMALLINT status[5];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    Select();
    Columns c;
    Bind(c);
    int first = 1;
    for (int block : {5, 5, 2}) {
        fetched = SQLULEN(kPoison());
        for (SQLLEN& l : c.idLen) l = kPoison();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        EXPECT_EQ(SQLULEN(block), fetched);
        for (int r = 0; r < 5; ++r) {
            if (r < block) {
                EXPECT_EQ(SQL_ROW_SUCCESS, status[r]);
                EXPECT_EQ(first + r, c.ids[r]);
                EXPECT_EQ(4, c.idLen[r]);
                EXPECT_EQ("r" + std::to_string(first + r), std::string(c.names[r]));
            } else {
                EXPECT_EQ(SQL_ROW_NOROW, status[r]);
                EXPECT_EQ(kPoison(), c.idLen[r]);
            }
        }
        first += block;
    }
    fetched = SQLULEN(kPoison());
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(0u, fetched);
}

TEST_P(Rowsets, RowWiseBindingWithABindOffset) {
    struct Row {
        SQLINTEGER id;
        SQLLEN idLen;
        char name[9];
        SQLLEN nameLen;
    } rows[6];
    std::memset(rows, 0, sizeof rows);
    SQLLEN offset = SQLLEN(sizeof(Row));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(5), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0));
    Select();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ(0, rows[0].id);  // the offset moved every row one slot on
    for (int r = 1; r <= 5; ++r) {
        EXPECT_EQ(r, rows[r].id);
        EXPECT_EQ(4, rows[r].idLen);
        EXPECT_EQ("r" + std::to_string(r), std::string(rows[r].name));
    }
}

TEST_P(Rowsets, ExtendedFetchWithARowsetOfFive) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ROWSET_SIZE, reinterpret_cast<SQLPOINTER>(5), 0)) << Diag();
    Select();
    SQLINTEGER ids[5];
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), nullptr));
    SQLUSMALLINT status[5];
    int first = 1;
    for (int block : {5, 5, 2}) {
        SQLULEN rows = SQLULEN(kPoison());
        ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, status)) << Diag();
        EXPECT_EQ(SQLULEN(block), rows);
        for (int r = 0; r < 5; ++r) EXPECT_EQ(r < block ? SQL_ROW_SUCCESS : SQL_ROW_NOROW, status[r]) << r;
        EXPECT_EQ(first, ids[0]);
        first += block;
    }
    SQLULEN rows = SQLULEN(kPoison());
    EXPECT_EQ(SQL_NO_DATA, SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(0u, rows);
}

// A fetch writes every bound column whatever the application left in its length slot: the slot
// is output only (PHP leaves it uninitialised), and SQL_COLUMN_IGNORE there speaks to SQLSetPos
// and SQLBulkOperations alone. Each fetch road: one row forward, a forward rowset, a scrollable
// rowset and SQLExtendedFetch.
TEST_P(Rowsets, FetchesFillColumnsWhoseLengthSlotsHoldColumnIgnore) {
    enum class Road { OneRow, ForwardRowset, StaticRowset, Extended };
    const struct {
        Road road;
        const char* what;
    } roads[] = {{Road::OneRow, "one row"},
                 {Road::ForwardRowset, "forward rowset"},
                 {Road::StaticRowset, "static rowset"},
                 {Road::Extended, "SQLExtendedFetch"}};
    for (const auto& c : roads) {
        SCOPED_TRACE(c.what);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        const SQLULEN rows = c.road == Road::OneRow ? 1 : 5;
        const SQLULEN type = c.road == Road::StaticRowset ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY;
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetStmtAttr(stmt, c.road == Road::Extended ? SQL_ROWSET_SIZE : SQL_ATTR_ROW_ARRAY_SIZE,
                                 reinterpret_cast<SQLPOINTER>(rows), 0));
        Select();
        Columns b;
        Bind(b);
        for (int first = 1; first <= 6; first += int(rows)) {
            for (SQLULEN r = 0; r < rows; ++r) {
                b.ids[r] = -1;
                b.idLen[r] = b.nameLen[r] = SQL_COLUMN_IGNORE;
                std::strcpy(b.names[r], "stale");
            }
            SQLULEN got = 0;
            SQLUSMALLINT status[5];
            const SQLRETURN rc = c.road == Road::Extended ? SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &got, status)
                                 : c.road == Road::StaticRowset ? SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)
                                                                : SQLFetch(stmt);
            ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
            for (SQLULEN r = 0; r < rows; ++r) {
                EXPECT_EQ(first + int(r), b.ids[r]) << r;
                EXPECT_EQ(SQLLEN(sizeof(SQLINTEGER)), b.idLen[r]) << r;
                EXPECT_EQ("r" + std::to_string(first + int(r)), std::string(b.names[r])) << r;
                EXPECT_EQ(SQLLEN(std::to_string(first + int(r)).size() + 1), b.nameLen[r]) << r;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Rowsets, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
