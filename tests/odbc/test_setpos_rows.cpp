// SQLSetPos and SQLBulkOperations on the ODBC side over the scripted agent: the row Dataset built
// from the bound columns, the column data-at-execution dialogue, the checks in their order, the
// statuses written back, and the bookmarks read from the bound bookmark column.
#include <cstring>
#include <vector>

#include "odbc/setpos.h"
#include "util/rowset.h"
#include "stmt_fixture.h"

namespace {

// What the slots were handed, and what they answer.
struct Seen {
    int calls = 0;
    uint32_t row = 0;
    uint16_t op = 0;
    Dataset* values = nullptr;
    std::vector<uint16_t> cols;
    std::vector<uint32_t> bookmarks;
    std::vector<uint16_t> answer;
    uint32_t code = 0;
    void Clear() {
        if (values) DatasetDelete(values);
        *this = Seen{};
    }
};
Seen g_seen;

ErrCode SetPosSlot(uint32_t, uint32_t row, uint16_t op, uint16_t, uint16_t** statuses, uint32_t* processed,
                   Dataset* values, uint16_t* cols, uint16_t count) {
    ++g_seen.calls;
    g_seen.row = row;
    g_seen.op = op;
    if (g_seen.values) DatasetDelete(g_seen.values);
    g_seen.values = values;  // the slot owns what it is handed
    g_seen.cols.assign(cols, cols + count);
    free(cols);
    auto* st = static_cast<uint16_t*>(malloc(sizeof(uint16_t) * (g_seen.answer.size() + 1)));
    for (size_t i = 0; i < g_seen.answer.size(); ++i) st[i] = g_seen.answer[i];
    *statuses = st;
    if (processed) *processed = uint32_t(g_seen.answer.size());
    return ErrCode(g_seen.code);
}

ErrCode BulkSlot(uint32_t, uint16_t op, uint32_t* bookmarks, uint16_t rows, Dataset* values, uint16_t* cols,
                 uint16_t count, uint16_t** statuses, uint16_t* processed, Rowset**) {
    ++g_seen.calls;
    g_seen.op = op;
    g_seen.bookmarks.assign(bookmarks, bookmarks + rows);
    if (g_seen.values) DatasetDelete(g_seen.values);
    g_seen.values = values;
    if (cols) g_seen.cols.assign(cols, cols + count);
    free(cols);
    auto* st = static_cast<uint16_t*>(malloc(sizeof(uint16_t) * (rows + 1)));
    for (uint16_t i = 0; i < rows; ++i) st[i] = i < g_seen.answer.size() ? g_seen.answer[i] : 5;
    *statuses = st;
    if (processed) *processed = rows;
    return ErrCode(g_seen.code);
}

std::string Text(const Dataset* ds, uint16_t c, uint32_t r) {
    DsRef ref = DatasetRefGet(DatasetCell(&ds->cols[c], r));
    return ref.ptr ? std::string(static_cast<const char*>(ref.ptr), ref.length) : std::string();
}

int32_t Int(const Dataset* ds, uint16_t c, uint32_t r) {
    int32_t v;
    std::memcpy(&v, DatasetCell(&ds->cols[c], r), 4);
    return v;
}

class SetPosTest : public StmtTest {
protected:
    SQLINTEGER ids[3] = {};
    SQLLEN idInd[3] = {};
    char names[3][21] = {};
    SQLLEN nameLen[3] = {};
    SQLUSMALLINT status[3] = {};
    SQLULEN fetched = 0;

    void SetUp() override {
        StmtTest::SetUp();
        g_seen.Clear();
        fake::Table()->DRV_SetPos = SetPosSlot;
        fake::Table()->DRV_BulkOperations = BulkSlot;
        ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(6)));
        stmt->cursor.rowsetSize = 3;
        Agent().rowsetSize = 3;
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idInd));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, names, 21, nameLen));
        stmt->ird->rowsProcessedPtr = &fetched;
        stmt->ird->arrayStatusPtr = status;
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
        // The rows now stand for a keyset-driven cursor's under lock concurrency.
        stmt->cursor.cursorType = SQL_CURSOR_KEYSET_DRIVEN;
        stmt->cursor.concurrency = SQL_CONCUR_LOCK;
    }
    void TearDown() override {
        fake::Table()->DRV_SetPos = nullptr;
        fake::Table()->DRV_BulkOperations = nullptr;
        g_seen.Clear();
        StmtTest::TearDown();
    }
    uint32_t Code() { return stmt->lastError.load(); }
};

TEST_F(SetPosTest, UpdateHandsTheRowsBoundValuesDown) {
    ids[1] = 77;
    std::strcpy(names[1], "new");
    nameLen[1] = SQL_NTS;
    g_seen.answer = {SQL_ROW_UPDATED};
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(hstmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Code();
    ASSERT_EQ(1, g_seen.calls);
    EXPECT_EQ(2u, g_seen.row);
    EXPECT_EQ(SQL_UPDATE, g_seen.op);
    EXPECT_EQ((std::vector<uint16_t>{1, 2}), g_seen.cols);
    ASSERT_NE(nullptr, g_seen.values);
    ASSERT_EQ(1u, g_seen.values->rows_used);
    EXPECT_EQ(77, Int(g_seen.values, 0, 0));
    EXPECT_EQ("new", Text(g_seen.values, 1, 0));
    EXPECT_EQ(SQL_ROW_UPDATED, status[1]);
    EXPECT_EQ(SQL_ROW_UPDATED, RowsetStatusGet(stmt->cursor.rowset, 2));
    EXPECT_EQ(SQL_ROW_SUCCESS, status[0]);
}

TEST_F(SetPosTest, AllRowsLeaveOutIgnoredRowsAndColumns) {
    SQLUSMALLINT ops[3] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED};
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_OPERATION_PTR, ops, 0));
    nameLen[0] = SQL_COLUMN_IGNORE;
    idInd[2] = SQL_NULL_DATA;
    status[1] = 99;
    g_seen.answer = {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED};
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(hstmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Code();
    EXPECT_EQ(0xFFFFFFFEu, g_seen.row);
    EXPECT_EQ((std::vector<uint16_t>{1}), g_seen.cols);
    ASSERT_EQ(3u, g_seen.values->rows_used);
    EXPECT_EQ(DS_IND_IGNORED, g_seen.values->cols[0].indicators[1]);
    EXPECT_EQ(DS_IND_NULL, g_seen.values->cols[0].indicators[2]);
    // The ignored row keeps what the application had; the cursor's rowset takes every status.
    EXPECT_EQ(99, status[1]);
    EXPECT_EQ(SQL_ROW_UPDATED, status[0]);
    EXPECT_EQ(SQL_ROW_UPDATED, RowsetStatusGet(stmt->cursor.rowset, 2));
}

TEST_F(SetPosTest, DataAtExecutionColumnsComeThroughParamData) {
    stmt->paramsetSize = 5;
    ids[1] = 5;
    nameLen[1] = SQL_LEN_DATA_AT_EXEC(0);
    g_seen.answer = {SQL_ROW_UPDATED};
    ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(hstmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Code();
    EXPECT_EQ(0, g_seen.calls);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(static_cast<void*>(names[1]), token);
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "ab", 2));
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "cd", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &token)) << Code();
    ASSERT_EQ(1, g_seen.calls);
    EXPECT_EQ("abcd", Text(g_seen.values, 1, 0));
    EXPECT_EQ(5, Int(g_seen.values, 0, 0));
    // The dialogue's row count is its own: the application's parameter-set size stays.
    EXPECT_EQ(5u, stmt->paramsetSize);
    EXPECT_EQ(0, stmt->needData);
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &token));
}

// A fixed-size column value comes whole, as a parameter's does: its length argument is ignored,
// and a second piece is refused (HY019 in ODBC 3), which ends the dialogue with nothing changed;
// the cursor takes SQLSetPos again.
TEST_F(SetPosTest, FixedSizeColumnPiecesComeWhole) {
    idInd[1] = SQL_DATA_AT_EXEC;
    g_seen.answer = {SQL_ROW_UPDATED};
    ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(hstmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Code();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(static_cast<void*>(&ids[1]), token);
    SQLINTEGER first = 41, second = 42;
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(hstmt, &first, 0));
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, &second, 4));
    EXPECT_EQ(135u, Code());  // S1019, HY019 in ODBC 3
    EXPECT_EQ(0, stmt->needData);
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &token));
    EXPECT_EQ(0, g_seen.calls);
    ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(hstmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Code();
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(hstmt, &second, 1));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &token)) << Code();
    ASSERT_EQ(1, g_seen.calls);
    EXPECT_EQ(42, Int(g_seen.values, 0, 0));
}

// An agent without the row-operation slot takes no rows: the changes are refused as not
// capable, and no Dataset is built that nobody would free (LeakSanitizer watches the test).
TEST_F(SetPosTest, AnAgentWithoutTheSlotIsNotCapable) {
    fake::Table()->DRV_SetPos = nullptr;
    for (SQLUSMALLINT op : {SQLUSMALLINT(SQL_UPDATE), SQLUSMALLINT(SQL_DELETE), SQLUSMALLINT(SQL_ADD)}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(SQL_ERROR, SQLSetPos(hstmt, 1, op, SQL_LOCK_NO_CHANGE));
        EXPECT_EQ(uint32_t(kErrNotCapable), Code());
    }
    EXPECT_EQ(0, g_seen.calls);
}

TEST_F(SetPosTest, RefusalsComeInOrderAndReachNothing) {
    struct Case {
        const char* what;
        SQLULEN row;
        SQLUSMALLINT op;
        SQLUSMALLINT lock;
        uint32_t type, concurrency;
        uint32_t code;
    } cases[] = {
        {"row beyond the rowset", 4, SQL_POSITION, SQL_LOCK_NO_CHANGE, 1, 2, kErrRowRange},
        {"64-bit row that would narrow to row 1", (SQLULEN(1) << 32) + 1, SQL_DELETE, SQL_LOCK_NO_CHANGE, 1, 2,
         kErrRowRange},
        {"a lock", 1, SQL_POSITION, SQL_LOCK_EXCLUSIVE, 1, 2, kErrNotCapable},
        {"unknown operation", 1, 9, SQL_LOCK_NO_CHANGE, 1, 2, kErrNotCapable},
        {"forward-only delete", 1, SQL_DELETE, SQL_LOCK_NO_CHANGE, 0, 1, kErrCursorPosition},
        {"forward-only position beyond the rowset", 4, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, 1, kErrRowRange},
        {"forward-only position on every row", 0, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, 1, kErrCursorPosition},
        {"read-only delete", 1, SQL_DELETE, SQL_LOCK_NO_CHANGE, 3, 1, kErrBadArg},
        {"read-only update", 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 3, 1, kErrBadArg},
        {"read-only add", 0, SQL_ADD, SQL_LOCK_NO_CHANGE, 3, 1, kErrBadArg},
    };
    for (const Case& c : cases) {
        stmt->cursor.cursorType = c.type;
        stmt->cursor.concurrency = c.concurrency;
        EXPECT_EQ(SQL_ERROR, SQLSetPos(hstmt, c.row, c.op, c.lock)) << c.what;
        EXPECT_EQ(c.code, Code()) << c.what;
    }
    EXPECT_EQ(0, g_seen.calls);
}

TEST_F(SetPosTest, ADeletedRowRefusesUpdateButTakesAPosition) {
    g_seen.answer = {SQL_ROW_DELETED};
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(hstmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Code();
    EXPECT_EQ(SQL_ROW_DELETED, status[2]);
    EXPECT_EQ(SQL_ERROR, SQLSetPos(hstmt, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(uint32_t(kErrCursorPosition), Code());
    EXPECT_EQ(SQL_ERROR, SQLSetPos(hstmt, 3, SQL_REFRESH, SQL_LOCK_NO_CHANGE));
    g_seen.answer = {};
    EXPECT_EQ(SQL_SUCCESS, SQLSetPos(hstmt, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(2, g_seen.calls);
}

TEST_F(SetPosTest, RefreshMovesTheRowIntoTheBuffers) {
    // A refresh reads the rowset again through the fetch slot (the scripted agent reads on: rows
    // 4 to 6 come back, which the end-to-end tests make the same rows) and moves the refreshed row
    // into the buffers; the other rows keep what the application was given.
    stmt->cursor.cursorType = SQL_CURSOR_STATIC;
    ids[1] = -1;
    ids[0] = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(hstmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Code();
    EXPECT_EQ(5, ids[1]);
    EXPECT_STREQ("row5", names[1]);
    EXPECT_EQ(-1, ids[0]);
    EXPECT_EQ(0, g_seen.calls);
    // The cursor's rowset keeps the other rows as they were: SQLGetData reads them.
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(hstmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Code();
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, nullptr)) << Code();
    EXPECT_EQ(1, id);
}

TEST_F(SetPosTest, NoRowsChangedIsAnErrorWithTheStatuses) {
    g_seen.answer = {SQL_ROW_ERROR, SQL_ROW_DELETED, SQL_ROW_SUCCESS};
    g_seen.code = kErrManyRowsChanged;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetPos(hstmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(SQL_ROW_ERROR, status[0]);
    EXPECT_EQ(SQL_ROW_DELETED, status[1]);
    g_seen.answer = {SQL_ROW_ERROR};
    g_seen.code = kErrNoRowsChanged;
    EXPECT_EQ(SQL_ERROR, SQLSetPos(hstmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(SQL_ROW_ERROR, status[2]);
    // Rows in error refuse the next change of every row.
    EXPECT_EQ(SQL_ERROR, SQLSetPos(hstmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(uint32_t(kErrCursorPosition), Code());
    EXPECT_EQ(2, g_seen.calls);
}

class BulkTest : public SetPosTest {
protected:
    int64_t marks[3] = {};
    SQLLEN markLen[3] = {};
    void SetUp() override {
        SetPosTest::SetUp();
        fake::A().bookmarks = 1;
        stmt->cursor.cursorType = SQL_CURSOR_STATIC;
        stmt->cursor.useBookmarks = SQL_UB_VARIABLE;
        stmt->ard->arraySize = 3;
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 0, SQL_C_VARBOOKMARK, marks, 8, markLen)) << Code();
    }
};

TEST_F(BulkTest, ColumnWiseBookmarksAreReadWithTheirOwnLength) {
    marks[0] = 3, marks[1] = 1, marks[2] = 2;
    g_seen.answer = {SQL_ROW_DELETED, SQL_ROW_DELETED, SQL_ROW_ERROR};
    g_seen.code = kErrManyRowsChanged;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLBulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK)) << Code();
    EXPECT_EQ((std::vector<uint32_t>{3, 1, 2}), g_seen.bookmarks);
    EXPECT_EQ(SQL_DELETE_BY_BOOKMARK, g_seen.op);
    EXPECT_EQ((std::vector<SQLUSMALLINT>{1, 1, 5}), std::vector<SQLUSMALLINT>(status, status + 3));
    EXPECT_EQ(3u, fetched);
}

TEST_F(BulkTest, UpdateByBookmarkBuildsEveryArrayRow) {
    marks[0] = 2, marks[1] = 3, marks[2] = 1;
    for (int i = 0; i < 3; ++i) {
        ids[i] = 10 + i;
        nameLen[i] = SQL_NTS;
        std::strcpy(names[i], i == 1 ? "mid" : "x");
    }
    g_seen.answer = {2, 2, 2};
    ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(hstmt, SQL_UPDATE_BY_BOOKMARK)) << Code();
    EXPECT_EQ((std::vector<uint16_t>{1, 2}), g_seen.cols);
    ASSERT_EQ(3u, g_seen.values->rows_used);
    EXPECT_EQ(12, Int(g_seen.values, 0, 2));
    EXPECT_EQ("mid", Text(g_seen.values, 1, 1));
}

// The same for the bulk slot: an update by bookmark builds no rows for an agent without it.
TEST_F(BulkTest, AnAgentWithoutTheSlotIsNotCapable) {
    marks[0] = 2, marks[1] = 3, marks[2] = 1;
    for (int i = 0; i < 3; ++i) nameLen[i] = SQL_NTS;
    fake::Table()->DRV_BulkOperations = nullptr;
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(hstmt, SQL_UPDATE_BY_BOOKMARK));
    EXPECT_EQ(uint32_t(kErrNotCapable), Code());
    EXPECT_EQ(0, g_seen.calls);
}

TEST_F(BulkTest, RefusalsBeforeAnythingRuns) {
    marks[0] = 1, marks[1] = 4, marks[2] = 2;  // 4 lies outside the rowset 1-3
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK));
    EXPECT_EQ(uint32_t(kErrBookmarkOutside), Code());
    marks[1] = 3;
    stmt->cursor.useBookmarks = SQL_UB_OFF;
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK));
    EXPECT_EQ(uint32_t(kErrOptionRange), Code());
    stmt->cursor.useBookmarks = SQL_UB_VARIABLE;
    for (uint32_t type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_DYNAMIC}) {
        stmt->cursor.cursorType = type;
        EXPECT_EQ(SQL_ERROR, SQLBulkOperations(hstmt, SQL_FETCH_BY_BOOKMARK));
        EXPECT_EQ(uint32_t(kErrBulkNotSupported), Code());
    }
    stmt->cursor.cursorType = SQL_CURSOR_KEYSET_DRIVEN;
    stmt->cursor.keysetSize = 10;  // mixed
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK));
    EXPECT_EQ(uint32_t(kErrBulkNotSupported), Code());
    EXPECT_EQ(0, g_seen.calls);
    stmt->cursor.keysetSize = 0;
    stmt->ard->arraySize = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(hstmt, SQL_DELETE_BY_BOOKMARK));
    EXPECT_EQ(0, g_seen.calls);
}

TEST_F(BulkTest, UpdateByBookmarkTakesColumnDataAtExecution) {
    marks[0] = 1, marks[1] = 2, marks[2] = 3;
    for (int i = 0; i < 3; ++i) nameLen[i] = SQL_NTS;
    nameLen[2] = SQL_DATA_AT_EXEC;
    g_seen.answer = {2, 2, 2};
    ASSERT_EQ(SQL_NEED_DATA, SQLBulkOperations(hstmt, SQL_UPDATE_BY_BOOKMARK)) << Code();
    EXPECT_EQ(0, g_seen.calls);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(static_cast<void*>(names[2]), token);
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "late", 4));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &token)) << Code();
    ASSERT_EQ(1, g_seen.calls);
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), g_seen.bookmarks);
    EXPECT_EQ("late", Text(g_seen.values, 1, 2));
}

TEST(ColumnLengths, ValueLengthsFollowTheLengthSlots) {
    char text[2][8] = {"abc", "hello"};
    SQLLEN len[2] = {SQL_NTS, 2};
    ColumnBinding b{};
    b.cType = SQL_C_CHAR;
    b.target = text;
    b.bufferLength = 8;
    b.lengthPtr = len;
    EXPECT_EQ(3u, ColumnValueLength(b, 0, 0));
    EXPECT_EQ(2u, ColumnValueLength(b, 1, 0));
    EXPECT_EQ(3u, ColumnMaxValueLength(b, 2, 0));
    len[1] = SQL_NULL_DATA;
    SQLLEN ind[2] = {0, SQL_NULL_DATA};
    b.indicatorPtr = ind;
    EXPECT_EQ(0u, ColumnValueLength(b, 1, 0));
    len[0] = -7;  // no length: the whole buffer
    EXPECT_EQ(8u, ColumnValueLength(b, 0, 0));
    EXPECT_TRUE(LengthIsDataAtExec(SQL_DATA_AT_EXEC));
    EXPECT_TRUE(LengthIsDataAtExec(SQL_LEN_DATA_AT_EXEC(10)));
    EXPECT_FALSE(LengthIsDataAtExec(SQL_NTS));
    // Row-wise: the slots lie one row size apart.
    struct Row {
        char name[8];
        SQLLEN len;
    } rows[2] = {{"xy", 2}, {"long", SQL_NTS}};
    ColumnBinding r{};
    r.cType = SQL_C_CHAR;
    r.target = rows[0].name;
    r.bufferLength = 8;
    r.lengthPtr = &rows[0].len;
    EXPECT_EQ(2u, ColumnValueLength(r, 0, sizeof(Row)));
    EXPECT_EQ(4u, ColumnValueLength(r, 1, sizeof(Row)));
}

}  // namespace
