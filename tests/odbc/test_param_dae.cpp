// Data at execution: the SQLParamData/SQLPutData dialogue and its sequence errors.
#include "param_fixture.h"

#include <cstring>

namespace {

using ParamDae = ParamTest;

TEST_F(ParamDae, PiecesAreJoinedAndTheTokenComesBack) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?,?)", {"a", "b", "c"}));
    SQLINTEGER fixed = 5;
    SQLLEN fixedInd = 0;
    int tokenA = 0, tokenB = 0;
    SQLLEN lenA = SQL_DATA_AT_EXEC, lenB = SQL_LEN_DATA_AT_EXEC(10);
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 100, 0, &tokenA, 0, &lenA);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &fixed, 0, &fixedInd);
    SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 100, 0, &tokenB, 0, &lenB);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(&tokenA, token);
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "hello ", SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "", 0));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "world!!", 5));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    EXPECT_EQ(&tokenB, token);
    const SQLWCHAR w[] = {u'\xe9', u't', u'\xe9', 0};
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER)w, SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &token)) << Message();
    EXPECT_EQ(1u, pfake::S().prepareExecuteCalls);
    EXPECT_EQ(0, stmt->needData);
    EXPECT_EQ("hello world", SentText(0, 0));
    int32_t v;
    std::memcpy(&v, DatasetCell(&Col(1), 0), 4);
    EXPECT_EQ(5, v);
    EXPECT_EQ(u"\u00e9t\u00e9", RefWide(2, 0));
}

TEST_F(ParamDae, AnotherExecutionStartsWithNoPiecesOfTheLastOne) {
    // The piece buffers of an array size are kept for the next execution of the same size:
    // what was sent last time must not stand in for a value not sent this time.
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len);
    SQLPOINTER t;
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "first", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();
    EXPECT_EQ("first", SentText(0, 0));
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();  // nothing sent: an empty value
    EXPECT_EQ(DS_IND_VALUE, Col(0).indicators[0]);
    EXPECT_EQ("", SentText(0, 0));
    EXPECT_EQ(2u, pfake::S().prepareExecuteCalls);
}

TEST_F(ParamDae, NullPieceAndNothingSent) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?,?)", {"a", "b", "c"}));
    int t1, t2, t3;
    SQLLEN l1 = SQL_DATA_AT_EXEC, l2 = SQL_LEN_DATA_AT_EXEC(0), l3 = SQL_LEN_DATA_AT_EXEC(5);
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &t1, 0, &l1);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &t2, 0, &l2);
    SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &t3, 0, &l3);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    SQLPOINTER token;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    // A piece, then NULL: the value is NULL, not the piece and not an empty text.
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "abc", 3));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, nullptr, SQL_NULL_DATA));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &token));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &token)) << Message();
    EXPECT_EQ(DS_IND_NULL, Col(0).indicators[0]);
    EXPECT_EQ(DS_IND_VALUE, Col(1).indicators[0]);
    EXPECT_EQ("", SentText(1, 0));
    EXPECT_EQ(DS_IND_NULL, Col(2).indicators[0]);
}

// A fixed-size value comes whole: its length argument is ignored, and a second piece is refused
// (HY019 in ODBC 3), which ends the dialogue; nothing was executed.
TEST_F(ParamDae, FixedTypePiecesUseTheElementSizeAndComeWhole) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &token, 0, &len);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    SQLPOINTER t;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    SQLBIGINT v = 5000000000ll, w = 42;
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, &v, 3));
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, &w, 0));
    EXPECT_EQ(135u, stmt->lastError.load());  // S1019, HY019 in ODBC 3
    EXPECT_EQ(0, stmt->needData);
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &t));
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, &v, 3));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();
    EXPECT_EQ("5000000000", NtsText(0, 0));
}

TEST_F(ParamDae, ArraysAskRowByRow) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token;
    SQLLEN lens[3] = {SQL_DATA_AT_EXEC, SQL_NULL_DATA, SQL_DATA_AT_EXEC};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 3, &processed));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, lens);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    SQLPOINTER t;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_EQ(1u, processed);
    EXPECT_EQ(&token, t);
    SQLPutData(hstmt, (SQLPOINTER) "r0", SQL_NTS);
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_EQ(3u, processed) << "row 1 is NULL and asks nothing";
    SQLPutData(hstmt, (SQLPOINTER) "r2", SQL_NTS);
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();
    EXPECT_EQ(3u, processed);
    EXPECT_EQ("r0", SentText(0, 0));
    EXPECT_EQ(DS_IND_NULL, Col(0).indicators[1]);
    EXPECT_EQ("r2", SentText(0, 2));
}

TEST_F(ParamDae, SequenceErrors) {
    SQLPOINTER t;
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &t));
    EXPECT_EQ("HY010", State());
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", State());
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    // SQLPutData before SQLParamData has handed out a parameter.
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", State());
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("HY010", State());
    // A refused piece ends the dialogue after a value was handed out (ODBC's need-data states
    // go back to the prepared statement): the next SQLExecute starts afresh.
    // A default parameter is a binding's length, never a piece's.
    const struct {
        const void* data;
        SQLLEN length;
        const char* state;
    } refusals[] = {{"x", -7, "HY090"}, {"x", SQL_DEFAULT_PARAM, "HY090"}, {nullptr, 4, "HY009"}};
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.length);
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
        EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "no", 2));
        EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, const_cast<void*>(r.data), r.length));
        EXPECT_EQ(r.state, State());
        EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
        EXPECT_EQ("HY010", State());
        EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &t));
        EXPECT_EQ("HY010", State());
        ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt)) << Message();
    }
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "ok", 2));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();
    EXPECT_EQ("ok", SentText(0, 0));
    // The dialogue is over.
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", State());
}

TEST_F(ParamDae, ExecDirectAsksForDataToo) {
    fake::A().scriptParams = {"a"};
    int token;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(hstmt, (SQLCHAR*)"insert into t values (?)", SQL_NTS));
    SQLPOINTER t;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    SQLPutData(hstmt, (SQLPOINTER) "direct", SQL_NTS);
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();
    EXPECT_EQ("direct", SentText(0, 0));
}

}  // namespace

namespace {

TEST_F(ParamDae, BindingsDroppedUnderTheDialogueEndIt) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    StmtResetParams(stmt);
    SQLPOINTER t;
    EXPECT_EQ(SQL_ERROR, SQLParamData(hstmt, &t));
    EXPECT_EQ("HY010", State());
    EXPECT_EQ(0, stmt->needData);
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
}

TEST_F(ParamDae, CancelEndsTheDialogue) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    int token;
    SQLLEN len = SQL_DATA_AT_EXEC;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, &token, 0, &len);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    SQLPOINTER t;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(hstmt)));
    EXPECT_EQ(SQL_ERROR, SQLPutData(hstmt, (SQLPOINTER) "x", 1));
    EXPECT_EQ("HY010", State());
    // A new execution starts the dialogue afresh.
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(hstmt));
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(hstmt, &t));
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(hstmt, (SQLPOINTER) "again", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(hstmt, &t)) << Message();
    EXPECT_EQ("again", SentText(0, 0));
}

}  // namespace
