// SQLGetData: one-off reads of the current row, in pieces, in several C types, NULLs.
#include <cstring>
#include <vector>

#include "odbc/stmt_state.h"
#include "stmt_fixture.h"

namespace {

using GetDataTest = StmtTest;

fake::Result Long(uint32_t kind, size_t n) {
    fake::Result r;
    r.cols = {{"id", SQL_INTEGER, DS_INTEGER, 4},
              {"doc", kind == DS_WCHAR_REF ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR, kind, 0}};
    std::string v(n, 'x');
    for (size_t i = 0; i < n; ++i) v[i] = char('a' + i % 26);
    r.rows = {{std::string("1"), v}};
    return r;
}

TEST_F(GetDataTest, NeedsAResultAndARow) {
    char buf[8];
    SQLLEN len = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len));
    EXPECT_EQ(22u, stmt->lastError.load());  // S1010
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 1, SQL_C_CHAR, buf, sizeof buf, &len));
    EXPECT_EQ(64u, stmt->lastError.load());  // 24000: before the first fetch
}

TEST_F(GetDataTest, NegativeBufferLengthIsRefused) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    char buf[8];
    SQLLEN len = kPoison;
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 2, SQL_C_CHAR, buf, -1, &len));
    EXPECT_EQ(25u, stmt->lastError.load());  // S1090
    EXPECT_EQ(kPoison, len);
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 2, SQL_C_CHAR, buf, SQLLEN(INT64_MIN), &len));
}

TEST_F(GetDataTest, ValuesInSeveralCTypesWithWholeLengths) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(3)));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    SQLLEN len = kPoison;
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, &len));
    EXPECT_EQ(3, id);
    EXPECT_EQ(4, len);
    // A second read of a value already delivered whole is "no data".
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, &len));
    char text[16];
    SQLWCHAR w[8];
    len = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 2, SQL_C_WCHAR, w, sizeof w, &len));
    EXPECT_EQ(8, len);
    EXPECT_EQ(SQLWCHAR('r'), w[0]);
    EXPECT_EQ(SQLWCHAR('3'), w[3]);
    EXPECT_EQ(0, w[4]);
    len = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 3, SQL_C_CHAR, text, sizeof text, &len));
    EXPECT_EQ(SQL_NULL_DATA, len);
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 4, SQL_C_LONG, &id, 0, &len));
    EXPECT_EQ(17u, stmt->lastError.load());  // S1002
    // Other C types of the same value, each on a fresh row.
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    len = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_CHAR, text, sizeof text, &len));
    EXPECT_STREQ("1", text);
    EXPECT_EQ(1, len);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    double d = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_DOUBLE, &d, 0, &len));
    EXPECT_EQ(2.0, d);
    EXPECT_EQ(8, len);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 3, SQL_C_LONG, &id, 0, nullptr));
    EXPECT_EQ(118u, stmt->lastError.load());  // 22002: a NULL needs an indicator
}

// A value in its cell and asked for in its own type, as text or as an integer read from its text,
// is read the way every other value is: its whole length, "no data" once delivered, the rest of a
// cut text on the next call, and the range of the integer type. The texts are NUL-terminated, or
// behind a length as the agent gives a BIGINT's digits.
class GetDataTextKindTest : public GetDataTest, public ::testing::WithParamInterface<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(TextKinds, GetDataTextKindTest, ::testing::Values(DS_CHAR_NTS, DS_CHAR_LEN2));

TEST_P(GetDataTextKindTest, TextAndNaturalValuesReadStraightFromTheCellKeepTheRules) {
    const uint32_t kind = GetParam();
    fake::Result r;
    const uint32_t bigWidth = kind == DS_CHAR_LEN2 ? 22 : 21;
    r.cols = {{"big", SQL_BIGINT, kind, bigWidth}, {"name", SQL_VARCHAR, kind, 20}, {"d", SQL_DOUBLE, DS_DOUBLE, 8}};
    r.rows = {{std::string("70000"), std::string("abcdefghij"), std::string("2.5")},
              {std::string("-99999"), fake::Cell{}, std::string("4")}};
    // Digits the direct path reads, and texts it leaves to the converter (19 digits, a sign of
    // its own, a text that is no integer); the value each gives as a BIGINT.
    const struct {
        const char* text;
        SQLRETURN rc;
        SQLBIGINT value;
    } bigints[] = {{"-0", SQL_SUCCESS, 0},
                   {"999999999999999999", SQL_SUCCESS, 999999999999999999},
                   {"-999999999999999999", SQL_SUCCESS, -999999999999999999},
                   {"9223372036854775807", SQL_SUCCESS, 9223372036854775807},
                   {"-9223372036854775808", SQL_SUCCESS, -9223372036854775807 - 1},
                   {"+12", SQL_SUCCESS, 12},
                   {"-", SQL_ERROR, 0},
                   {"12a", SQL_ERROR, 0},
                   {"1-2", SQL_ERROR, 0},
                   {"1:", SQL_ERROR, 0},
                   {"/1", SQL_ERROR, 0}};
    for (const auto& c : bigints) r.rows.push_back({std::string(c.text), std::string("x"), std::string("0")});
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", r));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    SQLLEN len = kPoison;
    SQLBIGINT big = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_SBIGINT, &big, 0, &len));
    EXPECT_EQ(70000, big);
    EXPECT_EQ(8, len);
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(hstmt, 1, SQL_C_SBIGINT, &big, 0, &len));
    char text[4];
    len = kPoison;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(hstmt, 2, SQL_C_CHAR, text, sizeof text, &len));
    EXPECT_STREQ("abc", text);
    EXPECT_EQ(10, len);
    EXPECT_EQ(19u, stmt->lastError.load());  // 01004
    std::string rest;
    while (SQLGetData(hstmt, 2, SQL_C_CHAR, text, sizeof text, &len) != SQL_NO_DATA) {
        rest += text;
        ASSERT_LT(rest.size(), 10u);
    }
    EXPECT_EQ("defghij", rest);
    double d = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 3, SQL_C_DOUBLE, &d, 0, &len));
    EXPECT_EQ(2.5, d);
    EXPECT_EQ(8, len);
    // The next row: a number out of the C type's range, a NULL without an indicator, a value
    // without a buffer, a column that is not there.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    SQLSMALLINT small = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 1, SQL_C_SHORT, &small, 0, &len));
    EXPECT_EQ(58u, stmt->lastError.load());  // 22003
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 2, SQL_C_CHAR, text, sizeof text, nullptr));
    EXPECT_EQ(118u, stmt->lastError.load());  // 22002
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 3, SQL_C_DOUBLE, nullptr, 0, &len));
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 4, SQL_C_DOUBLE, &d, 0, &len));
    EXPECT_EQ(17u, stmt->lastError.load());  // S1002
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_SBIGINT, &big, 0, &len));
    EXPECT_EQ(-99999, big);
    for (const auto& c : bigints) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
        big = 7;
        len = kPoison;
        EXPECT_EQ(c.rc, SQLGetData(hstmt, 1, SQL_C_SBIGINT, &big, 0, &len));
        if (c.rc == SQL_SUCCESS) {
            EXPECT_EQ(c.value, big);
            EXPECT_EQ(8, len);
        } else {
            EXPECT_EQ(7, big);
        }
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(hstmt));
}

TEST_F(GetDataTest, ALongValueReadsInPiecesNarrow) {
    constexpr size_t kSize = 100000;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Long(DS_CHAR_REF, kSize)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    std::string got;
    char piece[1000];
    SQLLEN len = 0;
    size_t remaining = kSize;
    SQLRETURN rc;
    while ((rc = SQLGetData(hstmt, 2, SQL_C_CHAR, piece, sizeof piece, &len)) == SQL_SUCCESS_WITH_INFO) {
        EXPECT_EQ(SQLLEN(remaining), len);
        EXPECT_EQ(999u, strlen(piece));
        got += piece;
        remaining -= 999;
    }
    ASSERT_EQ(SQL_SUCCESS, rc);
    EXPECT_EQ(SQLLEN(remaining), len);
    got += piece;
    EXPECT_EQ(kSize, got.size());
    EXPECT_EQ(*fake::A().stmts[stmt->agentStmt].result.rows[0][1], got);
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(hstmt, 2, SQL_C_CHAR, piece, sizeof piece, &len));
}

TEST_F(GetDataTest, ALongValueReadsInPiecesWide) {
    constexpr size_t kSize = 100000;
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Long(DS_WCHAR_REF, kSize)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    std::vector<SQLWCHAR> got;
    SQLWCHAR piece[500];  // 1000 bytes
    SQLLEN len = 0;
    size_t remaining = kSize;
    SQLRETURN rc;
    int calls = 0;
    while ((rc = SQLGetData(hstmt, 2, SQL_C_WCHAR, piece, sizeof piece, &len)) == SQL_SUCCESS_WITH_INFO) {
        EXPECT_EQ(SQLLEN(remaining * 2), len);
        got.insert(got.end(), piece, piece + 499);
        remaining -= 499;
        ++calls;
    }
    ASSERT_EQ(SQL_SUCCESS, rc);
    EXPECT_EQ(SQLLEN(remaining * 2), len);
    got.insert(got.end(), piece, piece + remaining);
    EXPECT_EQ(200, calls);
    ASSERT_EQ(kSize, got.size());
    const std::string& expect = *fake::A().stmts[stmt->agentStmt].result.rows[0][1];
    for (size_t i = 0; i < kSize; i += 997) ASSERT_EQ(SQLWCHAR(expect[i]), got[i]) << i;
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(hstmt, 2, SQL_C_WCHAR, piece, sizeof piece, &len));
}

TEST_F(GetDataTest, ChangingTheCTypeMidValueEndsIt) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Long(DS_CHAR_REF, 50)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    char piece[10];
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(hstmt, 2, SQL_C_CHAR, piece, sizeof piece, &len));
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(hstmt, 2, SQL_C_BINARY, piece, sizeof piece, &len));
}

TEST_F(GetDataTest, ANewFetchStartsTheValueAgain) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    char piece[3];
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(hstmt, 2, SQL_C_CHAR, piece, sizeof piece, &len));
    EXPECT_STREQ("ro", piece);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(hstmt, 2, SQL_C_CHAR, piece, sizeof piece, &len));
    EXPECT_STREQ("ro", piece);
    EXPECT_EQ(4, len);
}

TEST_F(GetDataTest, RowsetModeReadsTheCurrentRowAndNeverPastTheFetchedRows) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(2)));
    stmt->cursor.rowsetSize = 4;
    Agent().rowsetSize = 4;
    SQLUSMALLINT status[4];
    stmt->ird->arrayStatusPtr = status;
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));
    SQLINTEGER id = 0;
    SQLLEN len = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, &len));
    EXPECT_EQ(1, id);
    EXPECT_EQ(4, len);
    // The application raises the rowset size after the fetch; positions past the rows the
    // fetch brought are no row, not a read past them.
    stmt->cursor.rowsetSize = 10;
    StmtPositionOn(stmt, 3);
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, &len));
    EXPECT_EQ(64u, stmt->lastError.load());
    StmtPositionOn(stmt, 2);
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, &len));
    EXPECT_EQ(2, id);
    RowsetStatusSet(stmt->cursor.rowset, 2, SQL_ROW_DELETED);
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 1, SQL_C_LONG, &id, 0, &len));
    EXPECT_EQ(41u, stmt->lastError.load());  // S1109
}

TEST_F(GetDataTest, ValueTheAgentKeptFailsCleanlyWithoutAPieceSlot) {
    ASSERT_EQ(SQL_SUCCESS, Run("select * from t", Numbers(1)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    stmt->block.cols[1].indicators[0] = DS_IND_NOT_FETCHED;
    char buf[16];
    SQLLEN len = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(hstmt, 2, SQL_C_CHAR, buf, sizeof buf, &len));
    EXPECT_EQ(1u, stmt->lastError.load());  // IM001
}

}  // namespace
