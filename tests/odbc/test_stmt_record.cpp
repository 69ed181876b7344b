// Statement records: creation with the agent statement, descriptors and cursor block; close; free.
#include "odbc/desc.h"
#include "stmt_fixture.h"

namespace {

using StmtRecordTest = StmtTest;

TEST_F(StmtRecordTest, NewStatementHoldsItsAgentStatementAndFourDescriptorsInOrder) {
    EXPECT_NE(0u, stmt->agentStmt);
    EXPECT_EQ(1u, fake::A().stmts.count(stmt->agentStmt));
    EXPECT_EQ(1u, stmt->state);
    DescRecord* d[4] = {stmt->ard, stmt->apd, stmt->ird, stmt->ipd};
    const uint32_t types[4] = {2, 4, 1, 3};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(nullptr, d[i]);
        EXPECT_EQ(types[i], d[i]->descType);
        EXPECT_EQ(0x00040000u, d[i]->handle & 0xFFFF0000u);
        if (i) {
            EXPECT_LT(d[i - 1]->handle, d[i]->handle);
        }
    }
    EXPECT_EQ(stmt->ard, stmt->implicitArd);
    EXPECT_EQ(&stmt->cursorOwner, stmt->cursor.owner);
    EXPECT_EQ(stmt, stmt->cursorOwner.stmt);
    EXPECT_EQ(stmt->agentStmt, stmt->cursor.agentStmt);
}

TEST_F(StmtRecordTest, CursorOptionsComeFromTheConnectionDefaults) {
    conn->cursorDefaults.rowsetSize = 7;
    conn->cursorDefaults.useBookmarks = 1;
    StmtRecord* s2 = StmtOf(pair->stmt());
    ASSERT_NE(nullptr, s2);
    EXPECT_EQ(7u, s2->cursor.rowsetSize);
    EXPECT_EQ(1u, s2->cursor.useBookmarks);
    EXPECT_EQ(1u, s2->cursor.retrieveData);
    EXPECT_EQ(-1, s2->cursor.window.resultRows());
    EXPECT_EQ(1u, stmt->cursor.rowsetSize);  // earlier statements keep theirs
}

TEST_F(StmtRecordTest, AgentRefusingAStatementLeavesNothingBehind) {
    fake::A().allocFail = 15;
    const size_t before = fake::A().stmts.size();
    SQLHSTMT s2 = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, pair->dbc, &s2));
    EXPECT_EQ(SQL_NULL_HSTMT, s2);
    EXPECT_EQ(15u, conn->lastError.load());
    EXPECT_EQ(stmt, conn->stmts);
    EXPECT_EQ(nullptr, conn->stmts->next);
    EXPECT_EQ(before, fake::A().stmts.size());
}

TEST_F(StmtRecordTest, FreeReleasesTheAgentStatementAndTheAutomaticDescriptors) {
    const uint32_t agent = stmt->agentStmt;
    const uint32_t ard = stmt->ard->handle;
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, hstmt));
    EXPECT_EQ(0u, fake::A().stmts.count(agent));
    EXPECT_EQ(nullptr, HandleTableGet(&g_DescTable, ard));
    EXPECT_EQ(nullptr, conn->stmts);
}

TEST_F(StmtRecordTest, CloseCursorNeedsAnOpenResult) {
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(SQL_ERROR, SQLCloseCursor(hstmt));
    EXPECT_EQ(64u, stmt->lastError.load());  // 24000
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
}

TEST_F(StmtRecordTest, CloseCursorClosesTheAgentCursorAndKeepsThePreparedStatement) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    EXPECT_EQ(2u, stmt->state);
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(hstmt));
    EXPECT_EQ(1u, stmt->state);
    EXPECT_EQ(1u, Agent().closeCalls);
    EXPECT_EQ(0u, stmt->block.col_count);
    EXPECT_EQ(0u, stmt->blockRow);
    // The statement is still prepared: execute runs it again from the first row.
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_LONG, &id, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);
}

TEST_F(StmtRecordTest, DisconnectFreesEveryStatementWithItsAgentStatement) {
    pair->stmt();
    ASSERT_EQ(2u, fake::A().stmts.size());
    ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(pair->dbc));
    EXPECT_TRUE(fake::A().stmts.empty());
    EXPECT_EQ(nullptr, conn->stmts);
}

TEST(CursorBlock, SetPosFollowsTheKnownRowCount) {
    StmtCursor c{};
    CursorDefaultsInit(&c);
    c.window.Reset();
    EXPECT_EQ(0u, c.window.SetPos(1000));
    c.window.SetResultRows(10);
    EXPECT_EQ(39u, c.window.SetPos(11));
    EXPECT_EQ(0u, c.window.SetPos(10));
    EXPECT_EQ(39u, c.window.SetPos(-1));
    EXPECT_EQ(0u, c.window.SetPos(-3));
    EXPECT_EQ(-3, c.window.rowsetStart());
    EXPECT_EQ(0u, c.window.SetPos(-2));
    EXPECT_EQ(-2, c.window.currentRow());
    EXPECT_EQ(-3, c.window.rowsetStart());
}

TEST(CursorBlock, StatementSetUpCopiesConnectionDefaults) {
    StmtCursor defaults;
    CursorDefaultsInit(&defaults);
    defaults.rowsetSize = 20;
    defaults.cursorType = 3;
    defaults.concurrency = 4;
    defaults.useBookmarks = 1;
    StmtCursor c;
    ASSERT_EQ(CursorStmtInit(&c, 1, 2, nullptr, nullptr, &defaults), 0u);
    EXPECT_EQ(c.rowsetSize, 20u);
    EXPECT_EQ(c.cursorType, 3u);
    EXPECT_EQ(c.concurrency, 4u);
    EXPECT_EQ(c.useBookmarks, 1u);
    EXPECT_EQ(c.rowset, nullptr);
    CursorStmtFree(&c);
}

TEST(CursorBlock, RowNumberAndBookmarkChecks) {
    StmtCursor c;
    CursorInit(&c, 1, 2, nullptr, nullptr);
    uint32_t out = 99;
    EXPECT_EQ(CursorRowNumber(&c, 0, &out), 0u);  // forward-only
    EXPECT_EQ(out, 0u);
    c.cursorType = 3;
    c.rowsetSize = 5;
    EXPECT_EQ(CursorRowNumber(&c, 5, &out), 21u);
    EXPECT_EQ(CursorRowNumber(&c, 0, &out), 64u);
    // Current row 1 of a rowset that starts at row 11 of the result, every row fetched.
    Rowset* rs = nullptr;
    ASSERT_EQ(RowsetCreate(&rs, 5), 0u);
    for (uint32_t r = 1; r <= 5; ++r) RowsetStatusSet(rs, r, 0);
    c.rowset = rs;
    c.window.RowsetFrom(11);
    EXPECT_EQ(CursorRowNumber(&c, 2, &out), 0u);
    EXPECT_EQ(out, 13u);
    EXPECT_EQ(CursorRowStatusCheck(&c, 1, &out), 0u);
    EXPECT_EQ(out, 12u);
    EXPECT_EQ(CursorRowStatusCheck(&c, 1, nullptr), 21u);
    c.cursorType = 2;
    EXPECT_EQ(CursorRowStatusCheck(&c, 1, &out), 43u);
    CursorStmtFree(&c);
}

}  // namespace
