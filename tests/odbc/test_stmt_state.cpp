// A statement's ODBC states through its life, and what each state lets the entry points do.
#include "odbc/setpos.h"
#include "odbc/stmt_state.h"
#include "param_fixture.h"

namespace {

// What the state machine answers in one state.
struct Answers {
    StmtPhase phase;
    ErrCode readResult, useCursor, runPrepared, startDialogue, closeCursor, paramData, putData;
};

void ExpectAnswers(StmtRecord* stmt, const Answers& a, const char* where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.phase, StmtPhaseOf(stmt));
    EXPECT_EQ(a.readResult, StmtMayReadResult(stmt));
    EXPECT_EQ(a.useCursor, StmtMayUseCursor(stmt));
    EXPECT_EQ(a.runPrepared, StmtMayRunPrepared(stmt));
    EXPECT_EQ(a.startDialogue, StmtMayStartDialogue(stmt));
    EXPECT_EQ(a.closeCursor, StmtMayCloseCursor(stmt));
    EXPECT_EQ(a.paramData, StmtMayParamData(stmt));
    EXPECT_EQ(a.putData, StmtMayPutData(stmt));
}

constexpr ErrCode k0 = kErrNone, kSeq = kErrSequence, kCur = kErrCursorState;

using StmtStateTest = StmtTest;

TEST_F(StmtStateTest, AStatementWalksFromAllocatedToPositionedAndBackWhenClosed) {
    fake::A().scripts["select * from t"] = Numbers(3);
    ExpectAnswers(stmt, {StmtPhase::kAllocated, kSeq, kCur, kSeq, k0, kCur, kSeq, kSeq}, "allocated");
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("HY010", State());

    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(hstmt, (SQLCHAR*)"select * from t", SQL_NTS));
    ExpectAnswers(stmt, {StmtPhase::kPrepared, k0, k0, k0, k0, kCur, kSeq, kSeq}, "prepared");
    EXPECT_EQ(kErrNone, StmtMayExecute(stmt));

    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
    ExpectAnswers(stmt, {StmtPhase::kExecuted, k0, k0, k0, k0, k0, kSeq, kSeq}, "executed");
    EXPECT_TRUE(StmtCursorOpen(stmt));
    EXPECT_EQ(kErrCursorState, StmtMayExecute(stmt));
    EXPECT_FALSE(StmtPositioned(stmt));

    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    ExpectAnswers(stmt, {StmtPhase::kPositioned, k0, k0, k0, k0, k0, kSeq, kSeq}, "positioned");
    EXPECT_EQ(0u, StmtCurrentRowIndex(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1u, StmtCurrentRowIndex(stmt));
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("24000", State());

    // Closed, the prepared text stays for SQLExecute; the result is described again only after it.
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(hstmt));
    ExpectAnswers(stmt, {StmtPhase::kPrepared, kSeq, kCur, k0, k0, kCur, kSeq, kSeq}, "closed");
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
    EXPECT_EQ(StmtPhase::kExecuted, StmtPhaseOf(stmt));
}

TEST_F(StmtStateTest, AnExecutionWithoutAResultSetMayRunAgainAtOnce) {
    fake::Result none;
    ASSERT_EQ(SQL_SUCCESS, Run("update t set a = 1", none));
    EXPECT_EQ(StmtPhase::kExecuted, StmtPhaseOf(stmt));
    EXPECT_FALSE(StmtCursorOpen(stmt));
    EXPECT_EQ(kErrNone, StmtMayExecute(stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
    EXPECT_EQ(StmtPhase::kExecuted, StmtPhaseOf(stmt));
}

TEST_F(StmtStateTest, AStatementWhoseCallIsUnderWayIsStillExecuting) {
    conn->busy.store(stmt);
    EXPECT_EQ(StmtPhase::kStillExecuting, StmtPhaseOf(stmt));
    EXPECT_TRUE(StmtStillExecuting(stmt, conn->busy.load()));
    conn->busy.store(nullptr);
    EXPECT_FALSE(StmtStillExecuting(stmt, conn->busy.load()));
    EXPECT_EQ(StmtPhase::kAllocated, StmtPhaseOf(stmt));
}

using StmtStateDialogue = ParamTest;

TEST_F(StmtStateDialogue, TheNeedDataStatesTellWhetherAValueWasAskedFor) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?)", {"a", "b"}));
    int tokenA = 0, tokenB = 0;
    SQLLEN lenA = SQL_DATA_AT_EXEC, lenB = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &tokenA, 0, &lenA);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &tokenB, 0, &lenB);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    // S8: SQLParamData has not run; the statement is prepared underneath.
    ExpectAnswers(stmt, {StmtPhase::kNeedData, k0, k0, k0, kSeq, kCur, k0, kSeq}, "need data");
    EXPECT_EQ(NeedDataCall::kExecute, StmtNeedDataCall(stmt));
    EXPECT_EQ(1, stmt->needData);
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", State());

    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    // S9: a value asked for, and not yet the last.
    ExpectAnswers(stmt, {StmtPhase::kNeedData, k0, k0, k0, kSeq, kCur, k0, k0}, "asked");
    EXPECT_FALSE(StmtNeedDataResumes(stmt, NeedDataCall::kExecute));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(&tokenB, token);
    EXPECT_TRUE(StmtNeedDataResumes(stmt, NeedDataCall::kExecute));
    EXPECT_EQ(7, stmt->needData);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "y", 1));

    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &token)) << Message();
    ExpectAnswers(stmt, {StmtPhase::kExecuted, k0, k0, k0, k0, k0, kSeq, kSeq}, "executed");
    EXPECT_EQ(NeedDataCall::kNone, StmtNeedDataCall(stmt));
    EXPECT_FALSE(StmtNeedDataAsked(stmt));
}

TEST_F(StmtStateDialogue, ClosingTheStatementEndsTheDialogue) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token = 0;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    SQLPOINTER out = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &out));
    ASSERT_TRUE(StmtNeedDataAsked(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
    EXPECT_EQ(StmtPhase::kPrepared, StmtPhaseOf(stmt));
    EXPECT_FALSE(StmtNeedDataAsked(stmt));
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", State());
    // A new execution asks again from the first value.
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    EXPECT_FALSE(StmtNeedDataAsked(stmt));
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
}

// A move the state machine cannot make stops a Debug build where it is made, as SQLite's pager
// asserts its states: a dialogue begun inside another, a value asked for outside one, a position
// taken without a result. Release builds check nothing.
using StmtStateDeathTest = StmtTest;

TEST_F(StmtStateDeathTest, MovesOutOfOrderStopADebugBuild) {
#ifdef NDEBUG
    GTEST_SKIP() << "invariants are checked in Debug builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(StmtNeedDataAsk(stmt), "");
    EXPECT_DEATH(StmtNeedDataLast(stmt), "");
    EXPECT_DEATH(StmtPositionOn(stmt, 1), "");
    StmtNeedDataBegin(stmt, kNeedDataParams);
    EXPECT_DEATH(StmtNeedDataBegin(stmt, kNeedDataSetPos), "");
    StmtNeedDataEnd(stmt);
    EXPECT_DEATH(StmtNeedDataBegin(stmt, kNeedDataLastParam), "");
#endif
}

}  // namespace
