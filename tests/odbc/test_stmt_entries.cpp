// The small statement entry points: MoreResults, NativeSql, NumParams, NumResultCols, ParamOptions,
// cursor names, RowCount and DescribeCol.
#include "stmt_fixture.h"
#include "util/attr.h"

namespace {

using EntriesTest = StmtTest;

TEST_F(EntriesTest, MoreResultsOnAnAllocatedStatementIsNoDataAndTouchesNothing) {
    stmt->lastError = 43;
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(hstmt));
    // The gateway clears the word before the call; the implementation leaves it at that.
    EXPECT_EQ(0u, stmt->lastError.load());
    EXPECT_EQ(1u, stmt->state);
}

TEST_F(EntriesTest, MoreResultsWalksTheFurtherResultsThenSaysNoData) {
    conn->hasMoreRes = 1;
    fake::Result second;
    second.cols = {{"x", SQL_INTEGER, DS_INTEGER, 4}};
    second.rows = {{std::string("42")}};
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    Agent().more = {second};
    SQLULEN processed = 0;
    stmt->paramsProcessedPtr = &processed;
    stmt->paramsetSize = 2;
    EXPECT_EQ(SQL_SUCCESS, SQLMoreResults(hstmt));
    EXPECT_EQ(1u, processed);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &cols));
    EXPECT_EQ(1, cols);
    SQLINTEGER x = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &x, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(42, x);
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(hstmt));
    EXPECT_EQ(0u, stmt->lastError.load());
    EXPECT_EQ(1u, processed);
}

TEST_F(EntriesTest, OutputValuesPendingAreTakenAndTheNextResultFollows) {
    conn->hasMoreRes = 1;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    fake::A().outputPending = 1;
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(hstmt));
    EXPECT_EQ(2u, fake::A().moreCalls);
}

TEST_F(EntriesTest, MoreResultsWithoutTheCapabilityIsNoData) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(hstmt));
}

TEST_F(EntriesTest, NumResultColsAndNumParamsNeedAPreparedOrOpenStatement) {
    SQLSMALLINT n = 7;
    EXPECT_EQ(SQL_ERROR, SQLNumResultCols(hstmt, &n));
    EXPECT_EQ(22u, stmt->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLNumParams(hstmt, &n));
    EXPECT_EQ(22u, stmt->lastError.load());
    EXPECT_EQ(7, n);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &n));
    EXPECT_EQ(0, n);  // a result without columns
}

TEST_F(EntriesTest, HiddenProcedureColumnsAreNotCounted) {
    fake::Result r;
    r.cols = {{"*I", SQL_INTEGER, DS_INTEGER, 4},
              {"a", SQL_INTEGER, DS_INTEGER, 4},
              {"*O", SQL_INTEGER, DS_INTEGER, 4},
              {"*x", SQL_INTEGER, DS_INTEGER, 4}};
    ASSERT_EQ(SQL_SUCCESS, Run("{call p(?)}", r));
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &n));
    EXPECT_EQ(2, n);
}

TEST_F(EntriesTest, ParamOptionsFollowsTheConnectionCapability) {
    SQLULEN processed = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 1, &processed));
    EXPECT_EQ(nullptr, stmt->paramsProcessedPtr);
    EXPECT_EQ(SQL_ERROR, SQLParamOptions(hstmt, 5, &processed));
    EXPECT_EQ(1u, stmt->lastError.load());  // IM001
    conn->hasParamOp = 1;
    EXPECT_EQ(SQL_ERROR, SQLParamOptions(hstmt, 0, &processed));
    EXPECT_EQ(39u, stmt->lastError.load());  // S1107
    // A count beyond 32 bits is refused rather than cut to some other size.
    EXPECT_EQ(SQL_ERROR, SQLParamOptions(hstmt, (SQLULEN(1) << 32) + 3, &processed));
    EXPECT_EQ(39u, stmt->lastError.load());
    EXPECT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 5, &processed));
    EXPECT_EQ(5u, stmt->paramsetSize);
    EXPECT_EQ(&processed, stmt->paramsProcessedPtr);
}

TEST_F(EntriesTest, RowCountIsWrittenWholeAndSignExtended) {
    ASSERT_EQ(SQL_SUCCESS, Run("update t set a = 1", fake::Result{}));
    SQLLEN count = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(hstmt, &count));
    EXPECT_EQ(3, count);
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    count = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(hstmt, &count));
    EXPECT_EQ(-1, count);
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(hstmt, nullptr));
}

TEST_F(EntriesTest, CursorNamesGoToTheAgent) {
    char name[64] = {};
    SQLSMALLINT len = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(hstmt, (SQLCHAR*)name, sizeof name, &len));
    EXPECT_STREQ("SQL_CUR1", name);
    EXPECT_EQ(8, len);
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(hstmt, (SQLCHAR*)"mycursorXYZ", 8));
    EXPECT_EQ("mycursor", Agent().cursorName);
    char small[5] = {};
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(hstmt, (SQLCHAR*)small, sizeof small, &len));
    EXPECT_STREQ("mycu", small);
    EXPECT_EQ(8, len);
    EXPECT_EQ(19u, stmt->lastError.load());  // 01004
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(hstmt, nullptr, SQL_NTS));
    EXPECT_EQ("", Agent().cursorName);
    EXPECT_EQ(SQL_ERROR, SQLSetCursorName(hstmt, (SQLCHAR*)"x", -5));
    EXPECT_EQ(25u, stmt->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLGetCursorName(hstmt, (SQLCHAR*)name, -1, &len));
}

TEST_F(EntriesTest, NativeSqlCopiesTheAgentsTranslation) {
    char out[64] = {};
    SQLINTEGER len = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(pair->dbc, (SQLCHAR*)"select 1xx", 8, (SQLCHAR*)out, sizeof out, &len));
    EXPECT_STREQ("native:select 1", out);
    EXPECT_EQ(15, len);
    char small[8] = {};
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLNativeSql(pair->dbc, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)small, sizeof small, &len));
    EXPECT_STREQ("native:", small);
    EXPECT_EQ(15, len);
    EXPECT_EQ(SQL_ERROR, SQLNativeSql(pair->dbc, (SQLCHAR*)"select 1", -7, (SQLCHAR*)out, sizeof out, &len));
    EXPECT_EQ(SQL_ERROR, SQLNativeSql(pair->dbc, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)out, -1, &len));
}

TEST_F(EntriesTest, DescribeColReportsTheAgentsDescription) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    char name[32];
    SQLSMALLINT len = 0, type = 0, scale = -1, nullable = -1;
    SQLULEN size = SQLULEN(kPoison);
    ASSERT_EQ(SQL_SUCCESS,
              SQLDescribeCol(hstmt, 2, (SQLCHAR*)name, sizeof name, &len, &type, &size, &scale, &nullable));
    EXPECT_STREQ("name", name);
    EXPECT_EQ(4, len);
    EXPECT_EQ(SQL_VARCHAR, type);
    EXPECT_EQ(20u, size);
    EXPECT_EQ(0, scale);
    EXPECT_EQ(1, nullable);
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(hstmt, 4, (SQLCHAR*)name, sizeof name, &len, &type, &size, &scale, &nullable));
    EXPECT_EQ(17u, stmt->lastError.load());  // S1002
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(hstmt, 0, (SQLCHAR*)name, sizeof name, &len, &type, &size, &scale, &nullable));
    EXPECT_EQ(17u, stmt->lastError.load());
    stmt->cursor.useBookmarks = 1;
    ASSERT_EQ(SQL_SUCCESS,
              SQLDescribeCol(hstmt, 0, (SQLCHAR*)name, sizeof name, &len, &type, &size, &scale, &nullable));
    EXPECT_STREQ("BOOKMARK", name);
    EXPECT_EQ(8u, size);
    EXPECT_EQ(0, nullable);
}

TEST_F(EntriesTest, ExtendedDescriptionKeepsTheAttributeRowsForLookup) {
    conn->capDescribeWithAttrs = 1;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &n));
    EXPECT_EQ(3, n);
    ASSERT_NE(nullptr, stmt->keyInfo);
    void* text = nullptr;
    ASSERT_EQ(1, AttrLookup(stmt->keyInfo, 14, 2, nullptr, &text, nullptr));
    EXPECT_STREQ("tab2", static_cast<const char*>(text));
    uint32_t v = 0;
    ASSERT_EQ(1, AttrLookup(stmt->keyInfo, 10, 3, &v, nullptr, nullptr));  // the column-0 default
    EXPECT_EQ(2u, v);
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(hstmt));
    EXPECT_EQ(nullptr, stmt->keyInfo);
}

}  // namespace

namespace {

// An agent that sends the same attribute of a column twice: the later row stands, nothing leaks.
ErrCode DescribeExTwice(uint32_t h, uint16_t* count, uint16_t* rowCount, ColumnInfo** out, void** attrs) {
    uint32_t rc = fake::DescribeEx(h, count, rowCount, out, attrs);
    auto* list = static_cast<IngAttrList*>(*attrs);
    auto* rows = static_cast<IngAttrRow*>(std::calloc(list->count + 1, sizeof(IngAttrRow)));
    std::memcpy(rows, list->rows, list->count * sizeof(IngAttrRow));
    rows[list->count].column = 1;
    rows[list->count].attribute = 14;
    rows[list->count].form = 0;
    rows[list->count].text = strdup("again");
    std::free(list->rows);
    list->rows = rows;
    list->count += 1;
    return ErrCode(rc);
}

TEST_F(EntriesTest, RepeatedAttributeRowReplacesTheEarlierOne) {
    conn->capDescribeWithAttrs = 1;
    AgentFuncTable table = *fake::Table();
    table.DRV_DescribeColsEx = DescribeExTwice;
    conn->link.table = &table;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &n));
    void* text = nullptr;
    ASSERT_EQ(1, AttrLookup(stmt->keyInfo, 14, 1, nullptr, &text, nullptr));
    EXPECT_STREQ("again", static_cast<const char*>(text));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, hstmt));
    hstmt = SQL_NULL_HSTMT;
    conn->link.table = fake::Table();
}

}  // namespace
