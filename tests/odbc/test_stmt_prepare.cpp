// SQLPrepare and SQLExecDirect: text copy, the prepare worker and the execute road.
#include <functional>

#include "odbc/param.h"
#include "odbc/stmt_state.h"
#include "stmt_fixture.h"

namespace {

using PrepareTest = StmtTest;

TEST_F(PrepareTest, NullTextOrBadLengthIsRefusedAndChangesNothing) {
    EXPECT_EQ(SQL_ERROR, SQLPrepare(hstmt, nullptr, SQL_NTS));
    EXPECT_EQ(25u, stmt->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLPrepare(hstmt, (SQLCHAR*)"select 1", -2));
    EXPECT_EQ(25u, stmt->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(hstmt, (SQLCHAR*)"select 1", -100));
    EXPECT_EQ(1u, stmt->state);
    EXPECT_EQ(0, stmt->flags & kSfPrepared);
    EXPECT_EQ("", Agent().text);
}

TEST_F(PrepareTest, TextIsCopiedByItsLength) {
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1 garbage", 8));
    EXPECT_EQ("select 1", Agent().text);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"ignored", 0));
    EXPECT_EQ("", Agent().text);
    EXPECT_EQ(2u, stmt->state);
}

TEST_F(PrepareTest, SelectFlagFollowsTheFirstSixLetters) {
    const struct {
        const char* text;
        uint32_t select;
    } cases[] = {{"select * from t", 1},
                 {"SELECT", 1},
                 {"SeLeCt x", 1},
                 {" select 1", 0},
                 {"{call p}", 0},
                 {"/* c */ select 1", 0},
                 {"insert into t values(1)", 0},
                 {"selec", 0}};
    for (const auto& c : cases) {
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)c.text, SQL_NTS)) << c.text;
        EXPECT_EQ(c.select, stmt->selectFlag) << c.text;
    }
}

TEST_F(PrepareTest, SuccessfulPrepareLeavesAPreparedStatementBeforeTheFirstRow) {
    stmt->flags |= kSfExecuted;
    stmt->fetchedCount = 9;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(2u, stmt->state);
    EXPECT_TRUE(stmt->flags & kSfPrepared);
    EXPECT_FALSE(stmt->flags & kSfExecuted);
    EXPECT_EQ(0u, stmt->fetchedCount);
    EXPECT_EQ(0u, stmt->blockRow);
    EXPECT_EQ(nullptr, stmt->results);  // described lazily
    EXPECT_EQ(0u, Agent().executeCalls);
}

TEST_F(PrepareTest, ForwardOnlyReadOnlyMakesNoReadBack) {
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(0u, fake::A().getInfoCalls);
    EXPECT_EQ(0u, fake::A().setOptionCalls);
}

TEST_F(PrepareTest, DowngradedCursorTypeIsAskedForAgainAtTheNextPrepare) {
    stmt->cursor.cursorType = 1;
    fake::A().grantType = 3;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_EQ(75u, stmt->lastError.load());  // 01S02
    EXPECT_EQ(3u, stmt->cursor.cursorType);
    EXPECT_EQ(1u, stmt->cursor.savedType);
    EXPECT_TRUE(stmt->cursor.flags & 0x800);
    fake::A().grantType = 1;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 2", SQL_NTS));
    ASSERT_FALSE(fake::A().options.empty());
    EXPECT_EQ(0x32030006u, fake::A().options[0].first);
    EXPECT_EQ(1u, fake::A().options[0].second);
    EXPECT_EQ(1u, stmt->cursor.cursorType);
    EXPECT_FALSE(stmt->cursor.flags & 0x800);
}

TEST_F(PrepareTest, ExecDirectTellsAGrantedCursorTypeAfterRunning) {
    stmt->cursor.cursorType = 1;
    fake::A().grantType = 3;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Run("select * from t", Numbers(2)));
    EXPECT_EQ(75u, stmt->lastError.load());
    EXPECT_EQ(1u, Agent().executeCalls);
    EXPECT_EQ("01S02", State());
}

TEST_F(PrepareTest, ParameterDirectionsAreCountedUntilAnUnknownOne) {
    fake::A().scriptParams = {"*O", "*U", "*B"};
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"{call p(?,?,?)}", SQL_NTS));
    EXPECT_EQ(1u, stmt->outCount);
    EXPECT_EQ(1u, stmt->directionsUnknown);
    EXPECT_EQ(0u, stmt->ioCount);
    EXPECT_EQ(0u, stmt->inCount);
    fake::A().scriptParams = {"a", "*B", "*O"};
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"{call p(?,?,?)}", SQL_NTS));
    EXPECT_EQ(1u, stmt->inCount);
    EXPECT_EQ(1u, stmt->ioCount);
    EXPECT_EQ(1u, stmt->outCount);
    EXPECT_EQ(0u, stmt->directionsUnknown);
    SQLSMALLINT n = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLNumParams(hstmt, &n));
    EXPECT_EQ(3, n);
}

TEST_F(PrepareTest, NeedbindConnectionSendsParameterDescriptionsAgainAfterAPrepare) {
    conn->needBind = 1;
    stmt->flags |= kSfParamsSent;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select 1", SQL_NTS));
    EXPECT_FALSE(stmt->flags & kSfParamsSent);
}

TEST_F(PrepareTest, AgentFailurePostsItsMessagesAndLeavesTheStatementAllocated) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    fake::A().failPrepare = 68;
    EXPECT_EQ(SQL_ERROR, SQLPrepare(hstmt, (SQLCHAR*)"selct", SQL_NTS));
    EXPECT_EQ(1u, stmt->state);
    EXPECT_EQ(nullptr, stmt->results);
    EXPECT_NE(std::string::npos, Message().find("syntax error")) << Message();
}

// The agent keeps the statement it prepared before (as a layer that fails after the one below
// prepared may): the statement itself must hold nothing to run or describe, whatever came before.
TEST_F(PrepareTest, AfterAFailedPrepareNothingEarlierRunsOrDescribes) {
    struct Case {
        const char* what;
        std::function<void()> before;
    };
    const Case cases[] = {
        {"prepared", [&] { ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select * from t", SQL_NTS)); }},
        {"executed direct", [&] { ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2))); }},
        {"executed and closed",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
             ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::A().scripts["select * from t"] = Numbers(2);
        c.before();
        const uint32_t ran = Agent().executeCalls;
        fake::A().failPrepare = 68;
        EXPECT_EQ(SQL_ERROR, SQLPrepare(hstmt, (SQLCHAR*)"selct", SQL_NTS));
        fake::A().failPrepare = 0;
        EXPECT_EQ(StmtPhase::kAllocated, StmtPhaseOf(stmt));
        EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
        EXPECT_EQ(kErrSequence, stmt->lastError.load());
        SQLSMALLINT cols = -1;
        EXPECT_EQ(SQL_ERROR, SQLNumResultCols(hstmt, &cols));
        EXPECT_EQ(kErrSequence, stmt->lastError.load());
        EXPECT_EQ(ran, Agent().executeCalls) << "the earlier statement ran";
        // A prepare refused after the agent's own (more markers than can be bound) leaves
        // nothing prepared either.
        c.before();
        fake::A().scriptParams.assign(kMaxParamNumber + 1, "p");
        EXPECT_EQ(SQL_ERROR, SQLPrepare(hstmt, (SQLCHAR*)"select * from t", SQL_NTS));
        fake::A().scriptParams.clear();
        EXPECT_EQ(StmtPhase::kAllocated, StmtPhaseOf(stmt));
        EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
        EXPECT_EQ(kErrSequence, stmt->lastError.load());
        // The next good prepare runs.
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select * from t", SQL_NTS));
        EXPECT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
        ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
    }
}

TEST_F(PrepareTest, ExecDirectRunsTheStatementAndOpensItsResult) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    EXPECT_EQ(1u, Agent().executeCalls);
    EXPECT_EQ(2u, stmt->state);
    EXPECT_TRUE(stmt->flags & kSfExecuted);
    SQLSMALLINT cols = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(hstmt, &cols));
    EXPECT_EQ(3, cols);
    // A second execute while the result is open is refused; after a close it runs.
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ(64u, stmt->lastError.load());
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
    EXPECT_EQ(2u, Agent().executeCalls);
}

TEST_F(PrepareTest, FailedExecutionLeavesTheStatementPreparedForSQLExecute) {
    fake::A().failExecute = 15;
    fake::A().messages.push_back("[IngresII Server]no such table[SQLSTATE:42S02]");
    EXPECT_EQ(SQL_ERROR, Run("select * from nowhere", Numbers(1)));
    EXPECT_EQ(2u, stmt->state);
    EXPECT_TRUE(stmt->flags & kSfPrepared);
    EXPECT_NE(std::string::npos, Message().find("no such table"));
    fake::A().failExecute = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
}

TEST_F(PrepareTest, AgentWarningOnExecutionIsSuccessWithInformation) {
    fake::A().failExecute = 74;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Run("update t set a = 1", fake::Result{}));
    EXPECT_EQ(74u, stmt->lastError.load());
}

TEST_F(PrepareTest, DescribedParameterWithoutBindingIsWrongNumberOfParameters) {
    fake::A().scriptParams = {"p1"};
    EXPECT_EQ(SQL_ERROR, Run("select * from t where a = ?", Numbers(1)));
    EXPECT_EQ(48u, stmt->lastError.load());  // 07001
    EXPECT_EQ(0u, Agent().executeCalls);
    EXPECT_TRUE(stmt->flags & kSfPrepared);
}

TEST_F(PrepareTest, WideTextArrivesAsUtf8) {
    SQLWCHAR sql[] = {'s', 'e', 'l', 'e', 'c', 't', ' ', 0xE9, 0};
    ASSERT_EQ(SQL_SUCCESS, SQLPrepareW(hstmt, sql, SQL_NTS));
    EXPECT_EQ("select \xC3\xA9", Agent().text);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(hstmt, sql, 6));
    EXPECT_EQ("select", Agent().text);
}

}  // namespace
