// Rowset fetches of a forward-only cursor through the cursor layer: SQLFetchScroll and
// SQLExtendedFetch with statuses, rows fetched, column-wise and row-wise binding.
#include <cstring>

#include "util/rowset.h"
#include "stmt_fixture.h"

namespace {

class RowsetTest : public StmtTest {
protected:
    void Rowset(uint32_t n) {
        stmt->cursor.rowsetSize = n;
        Agent().rowsetSize = n;
    }
};

TEST_F(RowsetTest, FetchScrollNextWalksTheResultInRowsetsWithStatuses) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(12)));
    Rowset(5);
    SQLINTEGER ids[5];
    SQLLEN idInd[5];
    char names[5][21];
    SQLLEN nameLen[5];
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, names, 21, nameLen));
    SQLULEN fetched = 0;
    SQLUSMALLINT status[5];
    stmt->ird->rowsProcessedPtr = &fetched;
    stmt->ird->arrayStatusPtr = status;
    int expectRows[] = {5, 5, 2};
    int first = 1;
    for (int block : expectRows) {
        fetched = SQLULEN(kPoison);
        std::fill(std::begin(idInd), std::end(idInd), kPoison);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
        EXPECT_EQ(SQLULEN(block), fetched);
        for (int r = 0; r < 5; ++r) {
            if (r < block) {
                EXPECT_EQ(SQL_ROW_SUCCESS, status[r]);
                EXPECT_EQ(first + r, ids[r]);
                EXPECT_EQ(4, idInd[r]);
                EXPECT_EQ("row" + std::to_string(first + r), std::string(names[r]));
                EXPECT_EQ(SQLLEN(strlen(names[r])), nameLen[r]);
            } else {
                EXPECT_EQ(SQL_ROW_NOROW, status[r]);
                EXPECT_EQ(kPoison, idInd[r]);  // rows past the result are left alone
            }
        }
        first += block;
    }
    fetched = SQLULEN(kPoison);
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(12u, stmt->fetchedCount);
}

TEST_F(RowsetTest, ExtendedFetchReportsRowsAndStatusesInTheCallersArrays) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(7)));
    Rowset(5);
    SQLINTEGER ids[5] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), nullptr));
    SQLULEN rows = SQLULEN(kPoison);
    SQLUSMALLINT status[5];
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(5u, rows);
    EXPECT_EQ(5, ids[4]);
    rows = SQLULEN(kPoison);
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(2u, rows);
    EXPECT_EQ(7, ids[1]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
    EXPECT_EQ(SQL_ROW_NOROW, status[2]);
    rows = SQLULEN(kPoison);
    EXPECT_EQ(SQL_NO_DATA, SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(0u, rows);
    // ExtendedFetch does not count the rows of the statement; FetchScroll does.
    EXPECT_EQ(0u, stmt->fetchedCount);
}

TEST_F(RowsetTest, RowWiseBindingWithAnOffset) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    Rowset(3);
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char note[11];
        SQLLEN noteLen;
    } rows[4];
    std::memset(rows, 0, sizeof rows);
    stmt->rowBindType = sizeof(Row);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_CHAR, rows[0].note, sizeof rows[0].note, &rows[0].noteLen));
    SQLLEN offset = SQLLEN(sizeof(Row));
    stmt->ard->bindOffsetPtr = &offset;
    SQLUSMALLINT status[3];
    stmt->ird->arrayStatusPtr = status;
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(0, rows[0].id);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(r + 1, rows[r + 1].id);
    EXPECT_STREQ("n1", rows[1].note);
    EXPECT_EQ(2, rows[2].noteLen);
    EXPECT_EQ(SQL_NULL_DATA, rows[3].noteLen);
}

TEST_F(RowsetTest, ColumnWiseLengthArraysHaveAStrideOfEightBytes) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    Rowset(3);
    char notes[3][4];
    SQLLEN lens[3] = {kPoison, kPoison, kPoison};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_CHAR, notes, 4, lens));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(2, lens[0]);
    EXPECT_EQ(2, lens[1]);
    EXPECT_EQ(SQL_NULL_DATA, lens[2]);
    EXPECT_STREQ("n2", notes[1]);
}

TEST_F(RowsetTest, ForwardOnlyAcceptsOnlyNext) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    Rowset(2);
    for (SQLSMALLINT o : {SQL_FETCH_PRIOR, SQL_FETCH_FIRST, SQL_FETCH_LAST, SQL_FETCH_ABSOLUTE, SQL_FETCH_RELATIVE}) {
        EXPECT_EQ(SQL_ERROR, SQLFetchScroll(hstmt, o, 1)) << o;
        EXPECT_EQ(38u, stmt->lastError.load()) << o;
    }
    SQLULEN rows = 0;
    SQLUSMALLINT status[2];
    EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(hstmt, SQL_FETCH_FIRST, 0, &rows, status));
    EXPECT_EQ(38u, stmt->lastError.load());
}

// A dynamic cursor hands its orientation down and takes the rowset the layer below found; its
// rows have no numbers, so ABSOLUTE and BOOKMARK are refused and the row number is 0.
TEST_F(RowsetTest, DynamicCursorsScrollWithoutRowNumbers) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    stmt->cursor.cursorType = 2;
    Rowset(2);
    SQLULEN rows = 0;
    SQLUSMALLINT status[2] = {99, 99};
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(hstmt, SQL_FETCH_FIRST, 0, &rows, status));
    EXPECT_EQ(2u, rows);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[0]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
    SQLULEN number = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_ROW_NUMBER, &number, 0, nullptr));
    EXPECT_EQ(0u, number);
    for (SQLUSMALLINT o : {SQL_FETCH_ABSOLUTE, SQL_FETCH_BOOKMARK}) {
        EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(hstmt, o, 1, &rows, status)) << o;
        EXPECT_EQ(38u, stmt->lastError.load()) << o;
    }
}

TEST_F(RowsetTest, ExtendedFetchNeedsTheCapabilityAndAResult) {
    SQLULEN rows = 0;
    SQLUSMALLINT status[1];
    EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(64u, stmt->lastError.load());  // 24000
    conn->hasScrlCurs = 0;
    EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(hstmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(1u, stmt->lastError.load());  // IM001
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(22u, stmt->lastError.load());  // S1010
}

TEST_F(RowsetTest, LongValuesComeOneRowPerAgentCallYetFillTheRowset) {
    fake::Result r;
    r.cols = {{"doc", SQL_LONGVARCHAR, DS_CHAR_REF, 0}};
    for (int i = 0; i < 4; ++i) r.rows.push_back({std::string(300, char('a' + i))});
    ASSERT_EQ(SQL_SUCCESS, Run("select doc from t", r));
    Rowset(3);
    char docs[3][400];
    SQLLEN lens[3];
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_CHAR, docs, 400, lens));
    SQLULEN fetched = 0;
    stmt->ird->rowsProcessedPtr = &fetched;
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(3u, fetched);
    EXPECT_EQ(std::string(300, 'c'), docs[2]);
    EXPECT_EQ(300, lens[2]);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(std::string(300, 'd'), docs[0]);
}

TEST(CursorLayerRows, StatusesStayWithinTheFetchedRowset) {
    ::Rowset* rs = nullptr;
    ASSERT_EQ(0u, RowsetCreate(&rs, 2));
    RowsetStatusSet(rs, 1, SQL_ROW_SUCCESS);
    RowsetStatusSet(rs, 3, SQL_ROW_ERROR);  // past the rowset: ignored
    RowsetStatusSet(rs, 0, SQL_ROW_ERROR);
    EXPECT_EQ(SQL_ROW_SUCCESS, RowsetStatusGet(rs, 1));
    EXPECT_EQ(SQL_ROW_NOROW, RowsetStatusGet(rs, 2));
    EXPECT_EQ(SQL_ROW_NOROW, RowsetStatusGet(rs, 3));
    EXPECT_EQ(SQL_ROW_NOROW, RowsetStatusGet(rs, 100000));
    EXPECT_EQ(SQL_ROW_ERROR, RowsetStatusGet(rs, 0));
    EXPECT_EQ(SQL_ROW_ERROR, RowsetStatusGet(nullptr, 1));
    RowsetFree(&rs);
    EXPECT_EQ(nullptr, rs);
    EXPECT_EQ(15u, RowsetCreate(&rs, 0));
    EXPECT_EQ(15u, RowsetCreate(nullptr, 1));
}

TEST(CursorLayerRows, RowNumbersAndBookmarksByCursorType) {
    StmtCursor c{};
    CursorDefaultsInit(&c);
    c.rowsetSize = 4;
    uint32_t out = 99;
    EXPECT_EQ(0u, CursorRowNumber(&c, 1, &out));  // forward-only: no row numbers
    EXPECT_EQ(0u, out);
    EXPECT_EQ(21u, CursorRowNumber(&c, 1, nullptr));
    EXPECT_EQ(64u, CursorRowBookmark(&c, 1, &out));  // no current row
    ::Rowset* rs = nullptr;
    ASSERT_EQ(0u, RowsetCreate(&rs, 4));
    for (uint32_t r = 1; r <= 4; ++r) RowsetStatusSet(rs, r, SQL_ROW_SUCCESS);
    c.rowset = rs;
    c.window.RowsetFrom(11);
    EXPECT_EQ(43u, CursorRowBookmark(&c, 1, &out));
    EXPECT_EQ(21u, CursorRowBookmark(&c, 4, &out));
    c.cursorType = 3;
    EXPECT_EQ(0u, CursorRowBookmark(&c, 2, &out));
    EXPECT_EQ(13u, out);
    ASSERT_EQ(0u, c.window.SetPos(kCursorAfterLast));
    EXPECT_EQ(64u, CursorRowNumber(&c, 2, &out));
    // A rowset start near the top of the 32-bit range is refused, not wrapped into a small row.
    c.window.RowsetFrom(INT32_MAX);
    EXPECT_EQ(39u, CursorRowNumber(&c, 3, &out));
    c.window.RowsetFrom(5);
    RowsetStatusSet(rs, 2, SQL_ROW_ERROR);
    EXPECT_EQ(41u, CursorRowNumber(&c, 1, &out));
    CursorStmtFree(&c);
    EXPECT_EQ(nullptr, c.rowset);
}

TEST(CursorLayerRows, ScrollFetchRefusesOtherTypesAndOrientations) {
    StmtCursor c{};
    CursorDefaultsInit(&c);
    uint32_t rows = 9;
    EXPECT_EQ(38u, CursorScrollFetch(&c, SQL_FETCH_PRIOR, 0, &rows));
    EXPECT_EQ(0u, rows);
    c.cursorType = 2;
    EXPECT_EQ(43u, CursorScrollFetch(&c, SQL_FETCH_NEXT, 0, &rows));
    EXPECT_EQ(21u, CursorScrollFetch(&c, SQL_FETCH_NEXT, 0, nullptr));
}

}  // namespace
