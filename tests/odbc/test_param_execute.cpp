// Execution with bound parameters: the Dataset the agent receives for each C type, parameter
// arrays (column-wise with an ignored row, row-wise with a bind offset), the finish (warnings, the
// failing row, output values) and the refusal of lengths, set sizes and bindings that cannot be.
#include "param_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using ParamExec = ParamTest;

TEST_F(ParamExec, FixedTypesTravelAsTheirKinds) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?,?,?,?)", {"a", "b", "c", "d", "e"}));
    SQLINTEGER i = -123456;
    SQLSMALLINT s = -12;
    double d = 2.5;
    SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 23, 59, 58, 123456789};
    SQLCHAR bit = 1;
    SQLLEN ind[5] = {0, 0, 0, 0, 0};
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &i, 0, &ind[0]);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_SHORT, SQL_SMALLINT, 0, 0, &s, 0, &ind[1]);
    SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, &ind[2]);
    SQLBindParameter(hstmt, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 29, 9, &ts, 0, &ind[3]);
    SQLBindParameter(hstmt, 5, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &bit, 0, &ind[4]);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(1u, pfake::S().prepareExecuteCalls);
    EXPECT_EQ(0u, pfake::S().setParamsCalls);
    ASSERT_NE(nullptr, Sent());
    ASSERT_EQ(5, Sent()->col_count);
    ASSERT_EQ(1u, Sent()->rows_used);
    const uint32_t kinds[5] = {DS_INTEGER, DS_SMALLINT, DS_DOUBLE, DS_TIMESTAMP, DS_BIT};
    for (uint16_t c = 0; c < 5; ++c) {
        EXPECT_EQ(kinds[c], Col(c).kind) << c;
        EXPECT_EQ(DS_IND_VALUE, Col(c).indicators[0]);
    }
    int32_t gi;
    std::memcpy(&gi, DatasetCell(&Col(0), 0), 4);
    EXPECT_EQ(i, gi);
    DsTimestamp got;
    std::memcpy(&got, DatasetCell(&Col(3), 0), 16);
    EXPECT_EQ(2024, got.year);
    EXPECT_EQ(123456789u, got.fraction);
    EXPECT_EQ(2, stmt->state);
    EXPECT_TRUE(stmt->flags & kSfExecuted);
}

TEST_F(ParamExec, BigIntegersGuidAndNumericBecomeExactText) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?,?,?)", {"a", "b", "c", "d"}));
    SQLBIGINT big = -5;
    SQLUBIGINT ubig = 18446744073709551615ull;
    SQLGUID g{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    SQL_NUMERIC_STRUCT num{};
    // 31 digits: 1234567890123456789012345678901 with scale 10.
    unsigned __int128 v = 0;
    for (const char* p = "1234567890123456789012345678901"; *p; ++p) v = v * 10 + unsigned(*p - '0');
    for (int k = 0; k < 16; ++k) num.val[k] = SQLCHAR(v >> (8 * k));
    num.precision = 31;
    num.scale = 10;
    num.sign = 0;  // negative
    SQLLEN ind[4] = {0, 0, 0, 0};
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &big, 0, &ind[0]);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_UBIGINT, SQL_BIGINT, 0, 0, &ubig, 0, &ind[1]);
    SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT, SQL_C_GUID, SQL_GUID, 0, 0, &g, 0, &ind[2]);
    SQLBindParameter(hstmt, 4, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 31, 10, &num, 0, &ind[3]);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(DS_CHAR_NTS, Col(0).kind);
    EXPECT_EQ(32u, Col(0).width);
    EXPECT_EQ("-5", NtsText(0, 0));
    EXPECT_EQ("18446744073709551615", NtsText(1, 0));
    EXPECT_EQ(DS_CHAR, Col(2).kind);
    EXPECT_EQ(36u, Col(2).width);
    EXPECT_EQ("01234567-89AB-CDEF-0123-456789ABCDEF",
              std::string(reinterpret_cast<const char*>(DatasetCell(&Col(2), 0)), 36));
    EXPECT_EQ(DS_CHAR_REF, Col(3).kind);
    EXPECT_EQ("-123456789012345678901.2345678901", SentText(3, 0));
}

TEST_F(ParamExec, TextNullAndEmptyKeepTheirOwnLengths) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?)", {"a", "b"}));
    char text[3][8] = {"abcdefg", "", "xy"};
    SQLLEN lens[3] = {SQL_NTS, 0, SQL_NULL_DATA};
    SQLWCHAR wide[3][4] = {{u'h', u'\xE9', 0}, {0xD83D, 0xDE00, 0}, {0}};  // non-BMP as a surrogate pair
    SQLLEN wlens[3] = {SQL_NTS, 4, SQL_NULL_DATA};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 3, &processed));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, text, 8, lens);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 3, 0, wide, 8, wlens);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(3u, processed);
    ASSERT_EQ(3u, Sent()->rows_used);
    EXPECT_EQ(DS_CHAR_LEN4, Col(0).kind);  // narrow text in place
    EXPECT_EQ("abcdefg", SentText(0, 0));
    EXPECT_EQ(DS_IND_VALUE, Col(0).indicators[1]);
    EXPECT_EQ("", SentText(0, 1));
    EXPECT_EQ(DS_IND_NULL, Col(0).indicators[2]);
    EXPECT_EQ(DS_WCHAR_REF, Col(1).kind);
    EXPECT_EQ(u"h\u00e9", RefWide(1, 0));
    EXPECT_EQ(std::u16string({char16_t(0xD83D), char16_t(0xDE00)}), RefWide(1, 1));
    EXPECT_EQ(DS_IND_NULL, Col(1).indicators[2]);
}

// Narrow text travels in place, each element sized for the longest value with its own length,
// unless one long value would make the column many times the size of the values themselves.
TEST_F(ParamExec, NarrowTextInPlaceUnlessOneLongValueSwellsTheColumn) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    const uint32_t kRows = 64;
    std::vector<std::string> values(kRows);
    for (uint32_t r = 0; r < kRows; ++r) values[r] = std::string(r % 5, char('a' + r % 26));
    const struct {
        size_t longLength;  // of row 7's value
        uint32_t kind;
    } cases[] = {{40, DS_CHAR_LEN4}, {10000, DS_CHAR_LEN4}, {100000, DS_CHAR_REF}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "a value of " << c.longLength);
        values[7] = std::string(c.longLength, 'L');
        values[7].back() = 'E';
        const size_t stride = c.longLength + 1;
        std::vector<char> buf(stride * kRows, 'X');  // no terminator but where a length says so
        std::vector<SQLLEN> lens(kRows);
        for (uint32_t r = 0; r < kRows; ++r) {
            std::memcpy(&buf[r * stride], values[r].data(), values[r].size());
            if (r % 3 == 0) {
                buf[r * stride + values[r].size()] = '\0';
                lens[r] = SQL_NTS;
            } else {
                lens[r] = SQLLEN(values[r].size());
            }
        }
        lens[11] = SQL_NULL_DATA;
        ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, kRows, nullptr));
        SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, c.longLength, 0, buf.data(),
                         SQLLEN(stride), lens.data());
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
        ASSERT_EQ(kRows, Sent()->rows_used);
        EXPECT_EQ(c.kind, Col(0).kind);
        if (c.kind == DS_CHAR_LEN4) {
            EXPECT_GE(Col(0).width, c.longLength + 4);
        }
        for (uint32_t r = 0; r < kRows; ++r) {
            if (r == 11) {
                EXPECT_EQ(DS_IND_NULL, Col(0).indicators[r]);
                continue;
            }
            EXPECT_EQ(DS_IND_VALUE, Col(0).indicators[r]) << r;
            EXPECT_EQ(values[r], SentText(0, r)) << r;
        }
        SQLFreeStmt(hstmt, SQL_CLOSE);
    }
}

// Hex text for a binary column: the element holds the prefix and the decoded bytes, sized for
// the longest value, so short values beside long ones write inside their elements.
TEST_F(ParamExec, HexTextElementIsSizedForTheDecodedBytes) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    char hex[3][41] = {"0aff", "00112233445566778899aabbccddeeff00112233", "7f"};
    SQLLEN lens[3] = {SQL_NTS, SQL_NTS, SQL_NTS};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 3, nullptr));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARBINARY, 20, 0, hex, 41, lens);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(DS_BINARY_LEN4, Col(0).kind);
    EXPECT_GE(Col(0).width, 24u);
    EXPECT_EQ((std::vector<uint8_t>{0x0a, 0xff}), Len4(0, 0));
    EXPECT_EQ(20u, Len4(0, 1).size());
    EXPECT_EQ(0x33, Len4(0, 1)[19]);
    EXPECT_EQ((std::vector<uint8_t>{0x7f}), Len4(0, 2));
}

TEST_F(ParamExec, BinaryValuesKeepTheirLengths) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    unsigned char bin[2][6] = {{0, 1, 2, 0, 4, 5}, {9}};
    SQLLEN lens[2] = {6, 1};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 2, nullptr));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 6, 0, bin, 6, lens);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 2, 0, 4, 5}), Len4(0, 0));
    EXPECT_EQ((std::vector<uint8_t>{9}), Len4(0, 1));
}

// One NULL row no longer turns the text of the others into structure cells.
TEST_F(ParamExec, DateKindIsDecidedFromAllRows) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    char text[3][24] = {"2024-01-02", "", "{d '1999-12-31'}"};
    SQLLEN lens[3] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 3, nullptr));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, text, 24, lens);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(DS_CHAR_REF, Col(0).kind);
    EXPECT_EQ("2024-01-02", SentText(0, 0));
    EXPECT_EQ(DS_IND_NULL, Col(0).indicators[1]);
    EXPECT_EQ("1999-12-31", SentText(0, 2));
}

TEST_F(ParamExec, EscapesAndNullsAloneCarryDateStructures) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?)", {"a", "b"}));
    char text[2][32] = {"{d '2024-02-29'}", ""};
    SQLLEN lens[2] = {SQL_NTS, SQL_NULL_DATA};
    SQLWCHAR wts[2][40] = {};
    const char* lit = "{ts '2001-02-03 04:05:06.5'}";
    for (size_t k = 0; lit[k]; ++k) wts[0][k] = SQLWCHAR(lit[k]);
    SQLLEN wlens[2] = {SQL_NTS, SQL_NULL_DATA};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 2, nullptr));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, text, 32, lens);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_TYPE_TIMESTAMP, 26, 6, wts, 80, wlens);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(DS_DATE, Col(0).kind);
    DsDate d;
    std::memcpy(&d, DatasetCell(&Col(0), 0), 6);
    EXPECT_EQ(2024, d.year);
    EXPECT_EQ(29, d.day);
    EXPECT_EQ(DS_IND_NULL, Col(0).indicators[1]);
    EXPECT_EQ(DS_TIMESTAMP, Col(1).kind);
    DsTimestamp ts;
    std::memcpy(&ts, DatasetCell(&Col(1), 0), 16);
    EXPECT_EQ(6, ts.second);
    EXPECT_EQ(500000000u, ts.fraction);
}

TEST_F(ParamExec, LengthsThatAreNoLengthsAreRefused) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    char text[8] = "abc";
    struct Case {
        SQLLEN len;
        const char* state;
    } cases[] = {{SQL_NO_TOTAL, "HY090"},
                 {SQL_DEFAULT_PARAM, "HYC00"},
                 {SQL_COLUMN_IGNORE, "HY090"},
                 {-7, "HY090"},
                 {-99, "HY090"},
                 {SQLLEN(0x100000000ll), "HY090"},
                 {SQLLEN(0x7FFFFFFFFFFFFFFFll), "HY090"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.len);
        SQLLEN len = c.len;
        SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0, text, 8, &len);
        EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
        EXPECT_EQ(c.state, State());
        EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
        EXPECT_EQ(0, stmt->needData);
    }
    // On a fixed type the length is ignored, but a default parameter is still refused.
    SQLINTEGER v = 3;
    SQLLEN len = SQL_NO_TOTAL;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &len);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    SQLFreeStmt(hstmt, SQL_CLOSE);
    len = SQL_DEFAULT_PARAM;
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("HYC00", State());
}

TEST_F(ParamExec, ColumnWiseArrayWithAnIgnoredRow) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    SQLINTEGER vals[3] = {10, 20, 30};
    SQLLEN inds[3] = {0, 0, 0};
    SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
    SQLUSMALLINT statuses[3] = {99, 99, 99};
    SQLULEN processed = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 3, &processed));
    stmt->apd->arrayStatusPtr = ops;
    stmt->ipd->arrayStatusPtr = statuses;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, vals, 0, inds);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    ASSERT_EQ(2u, Sent()->rows_used);
    int32_t a, b;
    std::memcpy(&a, DatasetCell(&Col(0), 0), 4);
    std::memcpy(&b, DatasetCell(&Col(0), 1), 4);
    EXPECT_EQ(10, a);
    EXPECT_EQ(30, b);
    EXPECT_EQ(2u, processed);
    EXPECT_EQ(SQL_PARAM_SUCCESS, statuses[0]);
    EXPECT_EQ(SQL_PARAM_UNUSED, statuses[1]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, statuses[2]);
}

// A column bound without lengths or indicators is stored a column at a time: the same cells as
// the same values bound with indicators (stored row by row), over each plain kind's edge values,
// with an ignored row between them.
TEST_F(ParamExec, ColumnsWithoutIndicatorsStoreWhatRowByRowStores) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?,?,?,?,?,?,?,?,?)",
                                   {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
    constexpr SQLULEN kRows = 6;
    const SQLBIGINT big[kRows] = {INT64_MIN, -1, 0, 7, INT64_MAX, 1000000000000};
    const SQLUBIGINT ubig[kRows] = {0, 1, 42, UINT64_MAX, 9223372036854775808ull, 10};
    const double dbl[kRows] = {-0.0, 1e-300, 2.5, -1e300, 0.1, 3};
    const SQL_TIMESTAMP_STRUCT ts[kRows] = {{1, 1, 1, 0, 0, 0, 0},        {9999, 12, 31, 23, 59, 59, 999999999},
                                            {2024, 2, 29, 13, 45, 10, 5}, {1970, 1, 1, 0, 0, 0, 1},
                                            {2000, 6, 15, 12, 0, 0, 0},   {2038, 1, 19, 3, 14, 7, 500}};
    const SQLSMALLINT sh[kRows] = {-32768, -1, 0, 1, 32767, 12};
    SQLLEN inds[kRows] = {0, 0, 0, 0, 0, 0};
    SQLUSMALLINT ops[kRows] = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE,
                               SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_PROCEED};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, kRows, nullptr));
    stmt->apd->arrayStatusPtr = ops;
    const struct {
        SQLSMALLINT cType, sqlType;
        const void* values;
    } kinds[] = {{SQL_C_SBIGINT, SQL_BIGINT, big},
                 {SQL_C_UBIGINT, SQL_BIGINT, ubig},
                 {SQL_C_DOUBLE, SQL_DOUBLE, dbl},
                 {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, ts},
                 {SQL_C_SHORT, SQL_SMALLINT, sh}};
    const SQLUSMALLINT n = SQLUSMALLINT(std::size(kinds));
    for (SQLUSMALLINT k = 0; k < n; ++k) {
        void* v = const_cast<void*>(kinds[k].values);
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(hstmt, SQLUSMALLINT(k + 1), SQL_PARAM_INPUT, kinds[k].cType, kinds[k].sqlType, 29,
                                   kinds[k].cType == SQL_C_TYPE_TIMESTAMP ? 9 : 0, v, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(hstmt, SQLUSMALLINT(n + k + 1), SQL_PARAM_INPUT, kinds[k].cType, kinds[k].sqlType,
                                   29, kinds[k].cType == SQL_C_TYPE_TIMESTAMP ? 9 : 0, v, 0, inds));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    ASSERT_EQ(kRows - 1, Sent()->rows_used);
    for (uint16_t k = 0; k < n; ++k) {
        const DatasetColumn& plain = Col(k);
        const DatasetColumn& rowwise = Col(uint16_t(n + k));
        ASSERT_EQ(plain.kind, rowwise.kind) << k;
        ASSERT_EQ(plain.width, rowwise.width) << k;
        for (uint32_t r = 0; r < Sent()->rows_used; ++r) {
            SCOPED_TRACE(testing::Message() << "parameter " << k + 1 << " row " << r);
            EXPECT_EQ(DS_IND_VALUE, plain.indicators[r]);
            EXPECT_EQ(DS_IND_VALUE, rowwise.indicators[r]);
            if (plain.kind == DS_CHAR_NTS)
                EXPECT_EQ(NtsText(k, r), NtsText(uint16_t(n + k), r));
            else
                EXPECT_EQ(0, std::memcmp(DatasetCell(&plain, r), DatasetCell(&rowwise, r), plain.width));
        }
    }
    // And they are the values bound, the ignored row left out.
    EXPECT_EQ("-9223372036854775808", NtsText(0, 0));
    EXPECT_EQ("7", NtsText(0, 2));
    EXPECT_EQ("18446744073709551615", NtsText(1, 2));
    DsTimestamp got;
    std::memcpy(&got, DatasetCell(&Col(3), 1), 16);
    EXPECT_EQ(9999, got.year);
    EXPECT_EQ(999999999u, got.fraction);
}

TEST_F(ParamExec, RowWiseArrayWithBindOffsetCountsTheOffsetOnce) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?)", {"a", "b"}));
    struct Row {
        SQLINTEGER id;
        SQLLEN idInd;
        char name[12];
        SQLLEN nameLen;
    };
    Row rows[4] = {{0, 0, "zz", SQL_NTS}, {0, 0, "zz", SQL_NTS}, {1, 0, "one", SQL_NTS}, {2, 0, "two", 2}};
    SQLLEN offset = 2 * sizeof(Row);  // the first two rows are not this set's
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 2, nullptr));
    stmt->apd->bindType = sizeof(Row);
    stmt->apd->bindOffsetPtr = &offset;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &rows[0].id, 0, &rows[0].idInd);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 11, 0, rows[0].name, 12, &rows[0].nameLen);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    ASSERT_EQ(2u, Sent()->rows_used);
    int32_t a, b;
    std::memcpy(&a, DatasetCell(&Col(0), 0), 4);
    std::memcpy(&b, DatasetCell(&Col(0), 1), 4);
    EXPECT_EQ(1, a);
    EXPECT_EQ(2, b);
    EXPECT_EQ("one", SentText(1, 0));
    EXPECT_EQ("tw", SentText(1, 1));
    // A second execution with the same offset reads the same rows, not rows further on.
    SQLFreeStmt(hstmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    std::memcpy(&a, DatasetCell(&Col(0), 0), 4);
    EXPECT_EQ(1, a);
    // Without the offset the bound rows themselves are read.
    stmt->apd->bindOffsetPtr = nullptr;
    SQLFreeStmt(hstmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ("zz", SentText(1, 0));
}

TEST_F(ParamExec, ParameterSetSizeBeyondThirtyTwoBitsIsRefused) {
    SQLULEN processed = 0;
    EXPECT_EQ(SQL_ERROR, SQLParamOptions(hstmt, SQLULEN(0x100000000ull), &processed));
    EXPECT_EQ("HY107", State());
    EXPECT_EQ(1u, stmt->paramsetSize);
    EXPECT_EQ(SQL_ERROR, SQLParamOptions(hstmt, 0, &processed));
    EXPECT_EQ("HY107", State());
    // A size planted by another road is still refused at execution.
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    SQLINTEGER v = 1;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
    stmt->paramsetSize = 0x100000000ull;
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("HY107", State());
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
}

// A server warning finishes the execution as a success and then reports itself, so the result
// can be fetched and the rows processed are not one too many.
TEST_F(ParamExec, WarningFinishesAsSuccess) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    SQLINTEGER vals[2] = {1, 2};
    SQLULEN processed = 0;
    SQLUSMALLINT statuses[2] = {99, 99};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 2, &processed));
    stmt->ipd->arrayStatusPtr = statuses;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, vals, 0, nullptr);
    pfake::S().result = 74;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLExecute(hstmt));
    EXPECT_EQ("IM902", State());
    EXPECT_EQ(2u, processed);
    EXPECT_EQ(SQL_PARAM_SUCCESS_WITH_INFO, statuses[0]);
    EXPECT_EQ(SQL_PARAM_SUCCESS_WITH_INFO, statuses[1]);
    EXPECT_EQ(2, stmt->state);
    EXPECT_TRUE(stmt->flags & kSfExecuted);
}

TEST_F(ParamExec, FailureReportsTheFailingRow) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    SQLINTEGER vals[4] = {1, 2, 3, 4};
    SQLUSMALLINT ops[4] = {SQL_PARAM_IGNORE, SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_PROCEED};
    SQLULEN processed = 0;
    SQLUSMALLINT statuses[4] = {99, 99, 99, 99};
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 4, &processed));
    stmt->apd->arrayStatusPtr = ops;
    stmt->ipd->arrayStatusPtr = statuses;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, vals, 0, nullptr);
    pfake::S().result = 10;    // 42S02
    pfake::S().failedRow = 1;  // the second row sent
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("42S02", State());
    EXPECT_EQ(2u, processed);
    EXPECT_EQ(SQL_PARAM_UNUSED, statuses[0]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, statuses[1]);
    EXPECT_EQ(SQL_PARAM_ERROR, statuses[2]);
    EXPECT_EQ(SQL_PARAM_UNUSED, statuses[3]);
    EXPECT_FALSE(stmt->flags & kSfExecuted);
}

TEST_F(ParamExec, MissingBindingsAreWrongNumberOfParameters) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?,?)", {"a", "b"}));
    SQLINTEGER v = 1;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr);
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("07001", State());
    // An input binding that lost both its pointers (a descriptor change unbound it).
    SQLLEN len = 0;
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, &len);
    ParamBindingAt(2, stmt)->boundOctetLengthPtr = nullptr;
    ParamBindingAt(2, stmt)->boundIndicatorPtr = nullptr;
    ParamBindingAt(2, stmt)->octetLengthPtr = nullptr;
    EXPECT_EQ(SQL_ERROR, SQLExecute(hstmt));
    EXPECT_EQ("07001", State());
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
}

TEST_F(ParamExec, OutputWithoutBuffersIsDiscarded) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("{call p(?, ?)}", {"*I", "*O"}));
    SQLINTEGER in = 4;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &in, 0, nullptr);
    SQLBindParameter(hstmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr);
    pfake::S().outValue = 16;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(1u, pfake::S().prepareExecuteCalls);
}

TEST_F(ParamExec, WithoutParametersOneCallAndNoRowsProcessed) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("delete from t", {}));
    SQLULEN processed = 77;
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 1, &processed));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(1u, pfake::S().executeCalls);
    EXPECT_EQ(0u, processed);
}

TEST_F(ParamExec, WithoutOneCallExecuteValuesThenDescriptionsThenExecute) {
    conn->hasExecute2 = 0;
    stmt->flags |= kSfNeedBind;
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    SQLINTEGER v = 1;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &v, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(1u, pfake::S().setParamsCalls);
    EXPECT_EQ(0u, pfake::S().prepareExecuteCalls);
    ASSERT_EQ(1u, pfake::S().descs.size());
    EXPECT_EQ(SQL_INTEGER, pfake::S().descs[0].sqlType);
    EXPECT_EQ(10u, pfake::S().descs[0].columnSize);
}

TEST_F(ParamExec, DescriptionsGoWithTheOneCallOnce) {
    stmt->flags |= kSfNeedBind;
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    SQLINTEGER v = 1;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &v, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(1u, pfake::S().descs.size());
    EXPECT_TRUE(stmt->flags & kSfParamsSent);
    pfake::S().descs.clear();
    SQLFreeStmt(hstmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_TRUE(pfake::S().descs.empty());
}

TEST_F(ParamExec, OutputParameterReceivesTheAgentsValue) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("{call p(?, ?)}", {"*I", "*O"}));
    SQLINTEGER in = 4, out = 0;
    SQLLEN outInd = 0;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &in, 0, nullptr);
    SQLBindParameter(hstmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &out, 0, &outInd);
    pfake::S().outValue = 16;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    // Column i stays parameter i + 1; the output parameter's column only types it with NULLs.
    ASSERT_EQ(2, Sent()->col_count);
    EXPECT_EQ(DS_INTEGER, Col(1).kind);
    EXPECT_EQ(DS_IND_NULL, Col(1).indicators[0]);
    EXPECT_EQ(16, out);
    EXPECT_EQ(4, outInd);
    SQLFreeStmt(hstmt, SQL_CLOSE);
    pfake::S().outNull = true;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(SQL_NULL_DATA, outInd);
}

TEST_F(ParamExec, UnknownDirectionsFollowTheBinding) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("{call p(?, ?)}", {"*U", "*U"}));
    SQLINTEGER in = 4, out = 0;
    SQLLEN outInd = 0;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &in, 0, nullptr);
    SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT_OUTPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &out, 0, &outInd);
    pfake::S().outValue = 9;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(2, Sent()->col_count);
    EXPECT_EQ(9, out);
}

}  // namespace

namespace {

TEST_F(ParamExec, WideValuesGoNarrowToAnAgentThatRefusedUnicode) {
    conn->wideUnconfirmed = 1;
    stmt->flags |= kSfNeedBind;
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    const SQLWCHAR w[] = {u'h', 0x00E9, 0};
    SQLLEN len = SQL_NTS;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10, 0, (void*)w, 0, &len);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(DS_CHAR_REF, Col(0).kind);
    EXPECT_EQ("h\xc3\xa9", SentText(0, 0));
    ASSERT_EQ(1u, pfake::S().descs.size());
    EXPECT_EQ(SQL_VARCHAR, pfake::S().descs[0].sqlType);
    EXPECT_EQ(SQL_C_CHAR, pfake::S().descs[0].cType);
    // The statement's own summary keeps the wide types.
    EXPECT_EQ(SQL_WVARCHAR, static_cast<ParamDescEntry*>(stmt->paramSummaries)[0].sqlType);
}

}  // namespace

namespace {

TEST_F(ParamExec, NullTextForADateIsANullDate) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"a"}));
    char text[4] = "";
    SQLLEN len = SQL_NULL_DATA;
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, text, 4, &len);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(DS_DATE, Col(0).kind);
    EXPECT_EQ(DS_IND_NULL, Col(0).indicators[0]);
}

TEST_F(ParamExec, SelectWithAParameterSetReportsOneRowProcessed) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("SELECT a FROM t WHERE b = ?", {"b"}));
    SQLINTEGER vals[3] = {1, 2, 3};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(hstmt, 3, &processed));
    SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, vals, 0, nullptr);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(hstmt)) << Message();
    EXPECT_EQ(3u, Sent()->rows_used);
    EXPECT_EQ(1u, processed);
}

}  // namespace
