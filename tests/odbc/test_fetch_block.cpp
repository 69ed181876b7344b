// Column bindings and the forward-only fetch of one row at a time from the block.
#include <cstring>

#include "stmt_fixture.h"

namespace {

using BindTest = StmtTest;
using BlockFetchTest = StmtTest;

TEST(RowsPerBlock, WidthOfTheValueKinds) {
    ColumnInfo cols[3] = {};
    cols[0].value_kind = DS_INTEGER;
    cols[1].value_kind = DS_CHAR;
    cols[1].length = 20;
    cols[2].value_kind = DS_DOUBLE;
    EXPECT_EQ(1724u, RowsPerBlock(cols, 3));  // width 38
    EXPECT_EQ(0u, RowsPerBlock(cols, 0));
    cols[0].value_kind = DS_WCHAR;
    cols[0].length = 10;
    EXPECT_EQ(65535u / (22 + 22 + 10), RowsPerBlock(cols, 3));
}

TEST(RowsPerBlock, ARowWiderThanABlockStillComesOneAtATime) {
    ColumnInfo col = {};
    col.value_kind = DS_BINARY;
    col.length = 100000;
    EXPECT_EQ(1u, RowsPerBlock(&col, 1));
}

TEST_F(BindTest, ListKeepsTheOrderOfFirstBindingAndReplacesInPlace) {
    SQLINTEGER a = 0, b = 0, c = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_LONG, &a, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &b, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_SLONG, &c, 0, nullptr));
    ASSERT_NE(nullptr, stmt->boundCols);
    EXPECT_EQ(3, stmt->boundCols->b.column);
    EXPECT_EQ(&c, stmt->boundCols->b.target);
    EXPECT_EQ(SQL_C_SLONG, stmt->boundCols->b.cType);
    ASSERT_NE(nullptr, stmt->boundCols->next);
    EXPECT_EQ(1, stmt->boundCols->next->b.column);
    EXPECT_EQ(nullptr, stmt->boundCols->next->next);
    // Unbinding a column that is not bound is no error and changes nothing.
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_LONG, nullptr, 0, nullptr));
    EXPECT_EQ(nullptr, stmt->boundCols->next->next);
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_LONG, nullptr, 0, nullptr));
    EXPECT_EQ(1, stmt->boundCols->b.column);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_UNBIND));
    EXPECT_EQ(nullptr, stmt->boundCols);
    EXPECT_EQ(0, stmt->ard->count);
}

TEST_F(BindTest, BufferLengthRules) {
    SQLINTEGER a = 0;
    char text[8];
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &a, 0, nullptr));
    EXPECT_EQ(4, BoundColFind(1, stmt)->b.bufferLength);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, text, 0, nullptr));
    EXPECT_EQ(0, BoundColFind(2, stmt)->b.bufferLength);
    EXPECT_EQ(SQL_ERROR, SQLBindCol(hstmt, 2, SQL_C_CHAR, text, -1, nullptr));
    EXPECT_EQ(25u, stmt->lastError.load());
    EXPECT_EQ(text, BoundColFind(2, stmt)->b.target);  // a failure changes no binding
}

TEST_F(BindTest, TheArdRecordKeepsTheWholeBindingIncludingItsLength) {
    char text[40];
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, text, sizeof text, &ind));
    ASSERT_GE(stmt->ard->count, 2);
    const DescItem& it = stmt->ard->items[2];
    EXPECT_EQ(SQL_C_CHAR, it.conciseType);
    EXPECT_EQ(text, it.dataPtr);
    EXPECT_EQ(&ind, it.octetLengthPtr);
    EXPECT_EQ(&ind, it.indicatorPtr);
    EXPECT_EQ(40, it.octetLength);
}

TEST_F(BindTest, BookmarkColumnDependsOnTheAgent) {
    SQLINTEGER a = 0;
    unsigned char bm[8];
    fake::A().bookmarks = 0;
    EXPECT_EQ(SQL_ERROR, SQLBindCol(hstmt, 0, SQL_C_BINARY, bm, 8, nullptr));
    EXPECT_EQ(43u, stmt->lastError.load());
    fake::A().bookmarks = 1;
    EXPECT_EQ(SQL_ERROR, SQLBindCol(hstmt, 0, SQL_C_LONG, &a, 4, nullptr));
    EXPECT_EQ(18u, stmt->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLBindCol(hstmt, 0, SQL_C_BINARY, bm, -3, nullptr));
    EXPECT_EQ(25u, stmt->lastError.load());
    // A variable bookmark keeps its length (it bounds the copy and the column-wise stride); a
    // fixed one is as wide as its type, whatever length came with it.
    const struct {
        SQLSMALLINT cType;
        SQLLEN given, kept;
    } cases[] = {{SQL_C_BINARY, 100, 100}, {SQL_C_BINARY, 4, 4}, {SQL_C_BINARY, 0, 0}, {SQL_C_UBIGINT, 0, 8},
                 {SQL_C_UBIGINT, 100, 8},  {SQL_C_ULONG, 0, 4},  {SQL_C_ULONG, 8, 4}};
    for (const auto& c : cases) {
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 0, c.cType, bm, c.given, nullptr)) << c.cType;
        EXPECT_EQ(c.kept, BoundColFind(0, stmt)->b.bufferLength) << c.cType << " " << c.given;
    }
}

TEST_F(BlockFetchTest, BoundColumnsReceiveEveryRowThenNoData) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(4)));
    SQLINTEGER id = 0;
    char name[21], note[11];
    SQLLEN idInd = kPoison, nameLen = kPoison, noteLen = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_CHAR, note, sizeof note, &noteLen));
    SQLULEN fetched = SQLULEN(kPoison);
    SQLUSMALLINT status = 99;
    stmt->ird->rowsProcessedPtr = &fetched;
    stmt->ird->arrayStatusPtr = &status;
    for (int i = 1; i <= 4; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt)) << i;
        EXPECT_EQ(i, id);
        EXPECT_EQ(4, idInd);
        EXPECT_EQ("row" + std::to_string(i), std::string(name));
        EXPECT_EQ(SQLLEN(strlen(name)), nameLen);
        if (i % 3 == 0) {
            EXPECT_EQ(SQL_NULL_DATA, noteLen);
        } else {
            EXPECT_EQ(2, noteLen);
        }
        EXPECT_EQ(1u, fetched);
        EXPECT_EQ(SQL_ROW_SUCCESS, status);
    }
    fetched = SQLULEN(kPoison);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(hstmt));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(SQL_ROW_NOROW, status);
    EXPECT_EQ(4u, stmt->fetchedCount);
}

TEST_F(BlockFetchTest, RowsComeInBlocksOfTheCappedSize) {
    conn->blockRowCap = 3;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(7)));
    int n = 0;
    while (SQLFetch(hstmt) == SQL_SUCCESS) ++n;
    EXPECT_EQ(7, n);
    EXPECT_EQ(3u, stmt->rowsPerBlock);
    EXPECT_EQ(4u, Agent().fetchCalls);  // 3 + 3 + 1, then the empty answer
    for (uint16_t ask : Agent().fetchAsks) EXPECT_EQ(3u, ask);
}

TEST_F(BlockFetchTest, AResultOfVeryWideRowsIsNotTakenForAnEmptyOne) {
    fake::Result r;
    r.cols = {{"wide", SQL_CHAR, DS_CHAR, 70000}};
    r.rows = {{std::string("a")}, {std::string("b")}};
    ASSERT_EQ(SQL_SUCCESS, Run("select wide from t", r));
    char v[4];
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_CHAR, v, sizeof v, &len));
    // Each value is cut to the small buffer: success with information, never "no data".
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(hstmt));
    EXPECT_STREQ("a  ", v);
    EXPECT_EQ(70000, len);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(hstmt));
    EXPECT_STREQ("b  ", v);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(hstmt));
    EXPECT_EQ(1u, Agent().fetchAsks.front());
}

TEST_F(BlockFetchTest, FetchNeedsAResultSet) {
    EXPECT_EQ(SQL_ERROR, SQLFetch(hstmt));
    EXPECT_EQ(22u, stmt->lastError.load());
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    fake::A().failFetch = 70;
    EXPECT_EQ(SQL_ERROR, SQLFetch(hstmt));  // prepared, not executed: the agent has no cursor
}

TEST_F(BlockFetchTest, AgentFetchFailurePostsItsMessages) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    fake::A().failFetch = 70;
    EXPECT_EQ(SQL_ERROR, SQLFetch(hstmt));
    EXPECT_EQ(70u, stmt->lastError.load());
    EXPECT_NE(std::string::npos, Message().find("fetch failed"));
}

// A block handed back to be filled again and refused on the way holds no rows: the next fetch
// asks again instead of handing out the spent rows a second time.
TEST_F(BlockFetchTest, ARefusedRefillHandsOutNoSpentRowAgain) {
    fake::A().refillBlocks = true;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(2, id);
    fake::A().failFetch = 70;
    EXPECT_EQ(SQL_ERROR, SQLFetch(hstmt));
    fake::A().failFetch = 0;
    id = 0;
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(hstmt));
    EXPECT_EQ(0, id);
}

// Retrieve-data off leaves the buffers alone; a fetch writes every length slot, whatever the
// application left in it (SQL_COLUMN_IGNORE there is for row operations, not for fetches).
TEST_F(BlockFetchTest, RetrieveDataOffLeavesBuffersAndAFetchFillsEverySlot) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    SQLINTEGER id = -5;
    SQLLEN ind = SQL_COLUMN_IGNORE;
    char name[21] = "untouched";
    SQLLEN nameLen = SQL_COLUMN_IGNORE;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
    stmt->cursor.retrieveData = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_STREQ("untouched", name);
    EXPECT_EQ(-5, id);
    stmt->cursor.retrieveData = 1;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(2, id);
    EXPECT_EQ(SQLLEN(sizeof(SQLINTEGER)), ind);
    EXPECT_STREQ("row2", name);
    EXPECT_EQ(4, nameLen);
}

TEST_F(BlockFetchTest, BindOffsetIsReadWholeAndAppliedToEveryPointer) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
    } rows[3] = {};
    rows[2].idInd = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &rows[0].id, 0, &rows[0].idInd));
    SQLLEN offset = 2 * SQLLEN(sizeof(Row));
    stmt->ard->bindOffsetPtr = &offset;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(0, rows[0].id);
    EXPECT_EQ(1, rows[2].id);
    EXPECT_EQ(4, rows[2].idInd);
    offset = SQLLEN(sizeof(Row));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(2, rows[1].id);
    EXPECT_EQ(0, rows[0].id);
}

TEST_F(BlockFetchTest, Odbc2FetchFillsEveryBoundColumnWithoutStatuses) {
    EnvOf(pair->env)->odbcVersion = 2;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    SQLINTEGER id = 0;
    SQLUSMALLINT status = 99;
    stmt->ird->arrayStatusPtr = &status;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(2, id);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(hstmt));
    EXPECT_EQ(99, status);
    EXPECT_EQ(0u, stmt->fetchedCount);
}

}  // namespace

namespace {

using DescRoundTrip = StmtTest;

TEST_F(DescRoundTrip, TheArdReportsTheBoundLengthAndACopiedArdStillBinds) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    char name[21] = {};
    SQLLEN nameLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
    SQLHDESC ard = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    SQLLEN octets = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 2, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr));
    EXPECT_EQ(21, octets);
    // The application's own descriptor, copied from the ARD and set in its place, keeps the binding.
    SQLHDESC mine = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, pair->dbc, &mine));
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(ard, mine));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_UNBIND));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, mine, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_STREQ("row1", name);
    EXPECT_EQ(4, nameLen);
}

}  // namespace
