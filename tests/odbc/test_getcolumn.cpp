// GetColumn: column and row checks, bookmarks, NULLs, C type resolution, and reading long
// values in pieces (in the Dataset and from the agent).
#include "tests/odbc/datapath_fixture.h"
#include "odbc/getcolumn_cell.h"
#include "util/trace.h"
#include "util/utf.h"

#include <unistd.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

struct Piece {
    int rc;
    std::string text;
    SQLLEN len;
};

// Reads column 1 of row 0 with SQL_C_CHAR into buffers of `bufLen` until SQL_NO_DATA.
std::vector<Piece> ReadAllChar(FakeStmt& st, const Dataset& ds, int64_t bufLen, int16_t cType = SQL_C_CHAR,
                               uint32_t row = 0) {
    std::vector<Piece> out;
    for (int i = 0; i < 64; ++i) {
        std::vector<char> buf(static_cast<size_t>(bufLen > 0 ? bufLen : 1), '#');
        SQLLEN len = -99;
        ColumnBinding b = Bind(1, cType, buf.data(), bufLen, &len);
        const int rc = GetColumn(st.ctx, row, b, ds);
        if (rc == SQL_NO_DATA) break;
        out.push_back({rc, bufLen > 0 ? std::string(buf.data()) : std::string(), len});
        if (rc < 0) break;
    }
    return out;
}

struct NarrowKind {
    uint32_t kind;
    const char* name;
};

class NarrowPieces : public ::testing::TestWithParam<NarrowKind> {};

TEST_P(NarrowPieces, TenCharactersInFourByteBuffer) {
    OneColumn c(GetParam().kind, 10);
    c.setText("abcdefghij");
    FakeStmt st;
    const auto got = ReadAllChar(st, c.ds, 4);
    ASSERT_EQ(got.size(), 4u);
    const std::vector<Piece> want = {{1, "abc", 10}, {1, "def", 7}, {1, "ghi", 4}, {0, "j", 1}};
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].rc, want[i].rc) << i;
        EXPECT_EQ(got[i].text, want[i].text) << i;
        EXPECT_EQ(got[i].len, want[i].len) << i;
    }
    EXPECT_EQ(st.lastError, 0u);
}

TEST_P(NarrowPieces, ZeroBufferReportsLengthOnlyAndKeepsPosition) {
    OneColumn c(GetParam().kind, 10);
    c.setText("abcdefghij");
    FakeStmt st;
    char buf[16] = "untouched";
    SQLLEN len = 0;
    ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 0, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 1);
    EXPECT_EQ(st.lastError, kErrTruncated);
    EXPECT_EQ(len, 10);
    EXPECT_STREQ(buf, "untouched");
    ColumnBinding b2 = Bind(1, SQL_C_CHAR, buf, 16, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b2, c.ds), 0);
    EXPECT_STREQ(buf, "abcdefghij");
    EXPECT_EQ(GetColumn(st.ctx, 0, b2, c.ds), SQL_NO_DATA);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NarrowPieces,
                         ::testing::Values(NarrowKind{DS_CHAR, "fixed"}, NarrowKind{DS_CHAR_REF, "ref"},
                                           NarrowKind{DS_CHAR_NTS, "nts"}, NarrowKind{DS_CHAR_LEN1, "len1"},
                                           NarrowKind{DS_CHAR_LEN2, "len2"}, NarrowKind{DS_CHAR_LEN4, "len4"}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(GetColumnPieces, Utf8PiecesFillTheBufferAndReassembleExactly) {
    const std::string text =
        "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"
        "b";  // a é € 😀 b
    OneColumn c(DS_CHAR_LEN4, 32);
    c.setText(text);
    FakeStmt st;
    const auto got = ReadAllChar(st, c.ds, 5);
    std::string joined;
    SQLLEN expectLen = static_cast<SQLLEN>(text.size());
    for (const auto& p : got) {
        EXPECT_EQ(p.len, expectLen);  // what remains, exactly
        expectLen -= static_cast<SQLLEN>(p.text.size());
        joined += p.text;
    }
    // Four bytes a piece, characters split where the buffer ends.
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].text, "a\xC3\xA9\xE2");
    EXPECT_EQ(got[1].text, "\x82\xAC\xF0\x9F");
    EXPECT_EQ(got[2].text,
              "\x98\x80"
              "b");
    EXPECT_EQ(got[2].rc, 0);
    EXPECT_EQ(joined, text);
}

TEST(GetColumnPieces, WideTextReadAsNarrowFillsEveryPieceAndReassembles) {
    const U16 wide = u"a\u00E9\u65E5\U0001F600z\u20AC";  // 1, 2, 3, 4, 1 and 3 UTF-8 bytes
    const std::string utf8 = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80z\xE2\x82\xAC";
    for (int64_t b = 2; b <= 6; ++b) {
        SCOPED_TRACE(b);
        OneColumn c(DS_WCHAR_REF, 0);
        c.setWide(wide);
        FakeStmt st;
        const auto got = ReadAllChar(st, c.ds, b);
        std::string joined;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].len, static_cast<SQLLEN>(utf8.size() - joined.size()));  // what remains
            if (i + 1 < got.size()) {
                EXPECT_EQ(got[i].rc, 1);
                EXPECT_EQ(got[i].text.size(), static_cast<size_t>(b - 1));
            }
            joined += got[i].text;
        }
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back().rc, 0);
        EXPECT_EQ(joined, utf8);
    }
}

TEST(GetColumnPieces, NarrowToWideInOneUnitPiecesSplitsAPair) {
    const std::string text =
        "a\xF0\x9F\x98\x80"
        "b";
    OneColumn c(DS_CHAR_LEN4, 16);
    c.setText(text);
    FakeStmt st;
    U16 joined;
    std::vector<SQLLEN> lens;
    for (int i = 0; i < 10; ++i) {
        SQLWCHAR buf[2] = {0xAAAA, 0xAAAA};
        SQLLEN len = 0;
        ColumnBinding b = Bind(1, SQL_C_WCHAR, buf, sizeof buf, &len);
        const int rc = GetColumn(st.ctx, 0, b, c.ds);
        if (rc == SQL_NO_DATA) break;
        lens.push_back(len);
        EXPECT_EQ(buf[1], 0);
        joined += buf[0];
    }
    EXPECT_EQ(joined, u"a\U0001F600b");
    EXPECT_EQ(lens, (std::vector<SQLLEN>{8, 6, 4, 2}));
}

TEST(GetColumnPieces, NarrowToWideCountsUtf16AndKeepsPairsWhole) {
    const std::string text =
        "a\xF0\x9F\x98\x80"
        "bc";  // a 😀 b c: 5 UTF-16 units
    OneColumn c(DS_CHAR_LEN2, 16);
    c.setText(text);
    FakeStmt st;
    U16 joined;
    std::vector<SQLLEN> lens;
    std::vector<int> rcs;
    for (int i = 0; i < 10; ++i) {
        SQLWCHAR buf[3] = {0xAAAA, 0xAAAA, 0xAAAA};
        SQLLEN len = 0;
        ColumnBinding b = Bind(1, SQL_C_WCHAR, buf, sizeof buf, &len);
        const int rc = GetColumn(st.ctx, 0, b, c.ds);
        if (rc == SQL_NO_DATA) break;
        rcs.push_back(rc);
        lens.push_back(len);
        size_t n = 0;
        while (n < 3 && buf[n] != 0) ++n;
        ASSERT_LT(n, 3u);
        joined += WideAt(buf, n);
    }
    EXPECT_EQ(joined, u"a\U0001F600bc");
    EXPECT_EQ(rcs, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(lens, (std::vector<SQLLEN>{10, 8, 4}));
}

struct WideKind {
    uint32_t kind;
    const char* name;
};

class WidePieces : public ::testing::TestWithParam<WideKind> {};

TEST_P(WidePieces, SurrogatePairsStayWholeAcrossPieces) {
    const U16 text = u"ab\U0001F600cd\U0001F601e";  // 9 units
    OneColumn c(GetParam().kind, static_cast<uint32_t>(text.size()));
    c.setWide(text);
    FakeStmt st;
    U16 joined;
    SQLLEN expectLen = static_cast<SQLLEN>(text.size() * 2);
    int calls = 0, last = 0;
    for (; calls < 20; ++calls) {
        SQLWCHAR buf[3];
        SQLLEN len = 0;
        ColumnBinding b = Bind(1, SQL_C_WCHAR, buf, sizeof buf, &len);
        const int rc = GetColumn(st.ctx, 0, b, c.ds);
        if (rc == SQL_NO_DATA) break;
        last = rc;
        EXPECT_EQ(len, expectLen);
        size_t n = 0;
        while (n < 3 && buf[n] != 0) ++n;
        ASSERT_GT(n, 0u);
        // A piece never ends in the first half of a pair.
        EXPECT_FALSE(buf[n - 1] >= 0xD800 && buf[n - 1] <= 0xDBFF);
        joined += WideAt(buf, n);
        expectLen -= static_cast<SQLLEN>(n * 2);
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(calls, 5);  // ab, 😀, cd, 😁, e
}

TEST_P(WidePieces, WideToUtf8InPiecesReportsRemainingBytes) {
    const U16 text = u"\u00E9\U0001F600xyz\u20AC";
    const std::string utf8 = "\xC3\xA9\xF0\x9F\x98\x80xyz\xE2\x82\xAC";
    OneColumn c(GetParam().kind, static_cast<uint32_t>(text.size()));
    c.setWide(text);
    FakeStmt st;
    const auto got = ReadAllChar(st, c.ds, 5);
    std::string joined;
    SQLLEN expect = static_cast<SQLLEN>(utf8.size());
    for (const auto& p : got) {
        EXPECT_EQ(p.len, expect);
        expect -= static_cast<SQLLEN>(p.text.size());
        joined += p.text;
    }
    EXPECT_EQ(joined, utf8);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().rc, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WidePieces,
                         ::testing::Values(WideKind{DS_WCHAR, "fixed"}, WideKind{DS_WCHAR_NTS, "nts"},
                                           WideKind{DS_WCHAR_REF, "ref"}, WideKind{DS_WCHAR_LEN4, "len4"}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(GetColumnPieces, BinaryAsHexContinuesByWholeBytes) {
    const unsigned char bytes[] = {0x01, 0xAB, 0x00, 0xFF};
    OneColumn c(DS_BINARY, 4);
    c.set(bytes, 4);
    FakeStmt st;
    const auto got = ReadAllChar(st, c.ds, 5);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].rc, 1);
    EXPECT_EQ(got[0].text, "01AB");
    EXPECT_EQ(got[0].len, 8);
    EXPECT_EQ(got[1].rc, 0);
    EXPECT_EQ(got[1].text, "00FF");
    EXPECT_EQ(got[1].len, 4);
}

TEST(GetColumnPieces, BinaryToBinaryInPieces) {
    OneColumn c(DS_BINARY_LEN2, 10);
    c.setText(std::string("\x00\x01\x02\x03\x04\x05\x06", 7));
    FakeStmt st;
    std::string joined;
    std::vector<SQLLEN> lens;
    for (int i = 0; i < 10; ++i) {
        char buf[3];
        SQLLEN len = 0;
        ColumnBinding b = Bind(1, SQL_C_BINARY, buf, 3, &len);
        const int rc = GetColumn(st.ctx, 0, b, c.ds);
        if (rc == SQL_NO_DATA) break;
        lens.push_back(len);
        joined.append(buf, static_cast<size_t>(len < 3 ? len : 3));
    }
    EXPECT_EQ(joined, std::string("\x00\x01\x02\x03\x04\x05\x06", 7));
    EXPECT_EQ(lens, (std::vector<SQLLEN>{7, 4, 1}));
}

TEST(GetColumnPieces, ChangedCTypeEndsTheValueAndDefaultContinues) {
    OneColumn c(DS_CHAR, 10);
    c.setText("abcdefghij");
    FakeStmt st;
    char buf[4];
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 4, &len);
    ASSERT_EQ(GetColumn(st.ctx, 0, b, c.ds), 1);
    ColumnBinding d = Bind(1, SQL_C_DEFAULT, buf, 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, d, c.ds), 1);
    EXPECT_STREQ(buf, "def");
    SQLWCHAR wbuf[4];
    ColumnBinding w = Bind(1, SQL_C_WCHAR, wbuf, sizeof wbuf, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, w, c.ds), SQL_NO_DATA);
}

TEST(GetColumnPieces, FixedValueReadTwiceGivesNoData) {
    OneColumn c(DS_INTEGER, 4);
    c.setValue(int32_t{42});
    FakeStmt st;
    int32_t v = 0;
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_LONG, &v, 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_NO_DATA);
    st.fetched();
    v = 0;
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(v, 42);
}

TEST(GetColumnPieces, AnotherColumnStartsAfreshAndRowsBeyond65535Continue) {
    const uint32_t rows = 70000;
    OneColumn c(DS_CHAR, 6, rows);
    c.setText("abcdef", rows - 1);
    c.setText("uvwxyz", rows - 1 - 65536);
    FakeStmt st;
    const auto far = ReadAllChar(st, c.ds, 4, SQL_C_CHAR, rows - 1);
    ASSERT_EQ(far.size(), 2u);
    EXPECT_EQ(far[0].text + far[1].text, "abcdef");
    // The row 65536 below must not pass for the same row when only 16 bits are compared.
    const auto near = ReadAllChar(st, c.ds, 4, SQL_C_CHAR, rows - 1 - 65536);
    ASSERT_EQ(near.size(), 2u);
    EXPECT_EQ(near[0].text, "uvw");
    EXPECT_EQ(near[0].len, 6);
}

TEST(GetColumnNull, IndicatorGetsNullDataAndLengthIsLeftAlone) {
    OneColumn c(DS_INTEGER, 4);
    FakeStmt st;
    int32_t v = 1234;
    SQLLEN len = 77, ind = 0;
    ColumnBinding b = Bind(1, SQL_C_LONG, &v, 4, &len, &ind);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(ind, SQL_NULL_DATA);
    EXPECT_EQ(len, 77);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_NO_DATA);
}

TEST(GetColumnNull, WithoutIndicatorIs22002) {
    OneColumn c(DS_CHAR_NTS, 8);
    FakeStmt st;
    char buf[8];
    ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 8, nullptr, nullptr);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrIndicatorRequired);
}

TEST(GetColumnNull, ClearsTheBufferByCType) {
    OneColumn c(DS_TIMESTAMP, 16);
    FakeStmt st;
    unsigned char buf[32];
    std::memset(buf, 0xEE, sizeof buf);
    SQLLEN ind;
    ColumnBinding b = Bind(1, SQL_C_TYPE_TIMESTAMP, buf, 32, &ind);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(buf[i], 0) << i;
    EXPECT_EQ(buf[16], 0xEE);
}

TEST(GetColumnChecks, ColumnAndRowRanges) {
    OneColumn c(DS_INTEGER, 4, 2);
    c.setValue(int32_t{1}, 0);
    c.ds.rows_used = 1;
    FakeStmt st;
    int32_t v;
    SQLLEN len;
    ColumnBinding b2 = Bind(2, SQL_C_LONG, &v, 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b2, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrBadColumnNumber);
    ColumnBinding b0 = Bind(0, SQL_C_BINARY, &v, 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b0, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrBadColumnNumber);
    ColumnBinding b1 = Bind(1, SQL_C_LONG, &v, 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 1, b1, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrCursorState);
    ASSERT_EQ(st.traces.size(), 3u);
    EXPECT_EQ(st.traces[0], "GetColumn: col out of range (2,1)");
    EXPECT_EQ(st.traces[2], "GetColumn: row out of range (1,1)");
    ColumnBinding nt = Bind(1, SQL_C_LONG, nullptr, 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, nt, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrBadArg);
}

TEST(GetColumnChecks, UnknownValueKindIs07006) {
    for (uint32_t kind : {0u, 28u, 200u}) {
        OneColumn c(DS_CHAR, 4);
        c.ds.cols[0].kind = kind;
        c.setIndicator(DS_IND_VALUE);
        FakeStmt st;
        char buf[8];
        SQLLEN len;
        ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 8, &len);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), -1) << kind;
        EXPECT_EQ(st.lastError, kErrRestrictedType) << kind;
    }
}

TEST(GetColumnChecks, LengthPrefixesAreBoundedByTheCell) {
    struct Case {
        uint32_t kind;
        uint32_t length;
        uint32_t prefix;
        size_t expect;
    };
    // The prefix claims more than the cell holds; the value stops at the cell's end.
    for (const Case& k :
         {Case{DS_CHAR_LEN1, 4, 200, 4}, Case{DS_CHAR_LEN2, 4, 60000, 4}, Case{DS_CHAR_LEN4, 4, 0x7FFFFFFF, 4},
          Case{DS_BINARY_LEN4, 4, 999, 4}, Case{DS_WCHAR_LEN4, 3, 0x40000000, 8}}) {  // width 12
        OneColumn c(k.kind, k.length);
        std::memset(c.cell(), 'x', c.ds.cols[0].width);
        const size_t psize = (k.kind == DS_CHAR_LEN1) ? 1 : (k.kind == DS_CHAR_LEN2) ? 2 : 4;
        std::memcpy(c.cell(), &k.prefix, psize);
        c.setIndicator(DS_IND_VALUE);
        FakeStmt st;
        char buf[64];
        SQLLEN len = 0;
        ColumnBinding b = Bind(1, SQL_C_BINARY, buf, sizeof buf, &len);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0) << k.kind;
        EXPECT_EQ(len, static_cast<SQLLEN>(k.expect)) << k.kind;
    }
}

TEST(GetColumnBookmark, CTypeTargetAndValue) {
    OneColumn c(DS_INTEGER, 4, 3);
    FakeStmt st;
    st.ctx.useBookmarks = true;
    st.bookmark = -5;
    int64_t v = 0;
    SQLLEN len = 0;
    ColumnBinding bad = Bind(0, SQL_C_LONG, &v, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 1, bad, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrCTypeRange);
    ColumnBinding nul = Bind(0, SQL_C_UBIGINT, nullptr, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 1, nul, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrBadArg);
    ColumnBinding ok = Bind(0, SQL_C_UBIGINT, &v, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 1, ok, c.ds), 0);
    EXPECT_EQ(v, -5);
    EXPECT_EQ(len, 8);
    st.bookmarkError = 43;
    EXPECT_EQ(GetColumn(st.ctx, 1, ok, c.ds), -1);
    EXPECT_EQ(st.lastError, 43u);
}

TEST(GetColumnBookmark, ShortBinaryBufferGetsWhatFits) {
    OneColumn c(DS_INTEGER, 4);
    FakeStmt st;
    st.ctx.useBookmarks = true;
    st.bookmark = 0x01020304;
    auto buf = std::make_unique<unsigned char[]>(4);  // a heap block of exactly 4 bytes
    SQLLEN len = 0;
    ColumnBinding b = Bind(0, SQL_C_BINARY, buf.get(), 4, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 1);
    EXPECT_EQ(st.lastError, kErrTruncated);
    EXPECT_EQ(len, 8);
    int32_t got;
    std::memcpy(&got, buf.get(), 4);
    EXPECT_EQ(got, 0x01020304);
    unsigned char big[8];
    ColumnBinding b8 = Bind(0, SQL_C_BINARY, big, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b8, c.ds), 0);
}

TEST(GetColumnBookmark, OdbcTwoFixedBookmarkGetsFourBytes) {
    OneColumn c(DS_INTEGER, 4);
    FakeStmt st;
    st.ctx.useBookmarks = true;
    st.bookmark = 0x01020304;
    auto buf = std::make_unique<unsigned char[]>(4);  // a heap block of exactly 4 bytes
    SQLLEN len = 0;
    ColumnBinding b = Bind(0, SQL_C_ULONG, buf.get(), 0, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(st.lastError, kErrNone);
    EXPECT_EQ(len, 4);
    uint32_t got;
    std::memcpy(&got, buf.get(), 4);
    EXPECT_EQ(got, 0x01020304u);
}

TEST(GetColumnCType, DefaultFollowsTheSqlTypeAndOdbcVersion) {
    OneColumn c(DS_WCHAR_LEN4, 4);
    c.setWide(u"h\u00E9");
    FakeStmt st;
    st.sqlType = SQL_WVARCHAR;
    st.ctx.odbcVersion = 2;
    char buf[8];
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_DEFAULT, buf, sizeof buf, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_STREQ(buf, "h\xC3\xA9");
    EXPECT_EQ(len, 3);
    st.fetched();
    st.ctx.odbcVersion = 3;
    SQLWCHAR wbuf[4];
    ColumnBinding w = Bind(1, SQL_C_DEFAULT, wbuf, sizeof wbuf, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, w, c.ds), 0);
    EXPECT_EQ(WideAt(wbuf, 2), u"h\u00E9");
    EXPECT_EQ(len, 4);
}

TEST(GetColumnCType, DefaultWithZeroBufferTakesTheTypesSize) {
    OneColumn c(DS_INTEGER, 4);
    c.setValue(int32_t{-9});
    FakeStmt st;
    st.sqlType = SQL_INTEGER;
    int32_t v = 0;
    SQLLEN len = 0;
    ColumnBinding b = Bind(1, SQL_C_DEFAULT, &v, 0, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(v, -9);
    EXPECT_EQ(b.bufferLength, 4);
}

TEST(GetColumnCType, BinaryOnBigintColumnDeliversTheInteger) {
    OneColumn c(DS_CHAR_LEN2, 20);
    c.setText("-9000000000");
    FakeStmt st;
    st.sqlType = SQL_BIGINT;
    int64_t v = 0;
    SQLLEN len = 0;
    ColumnBinding b = Bind(1, SQL_C_BINARY, &v, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(v, -9000000000LL);
    EXPECT_EQ(len, 8);
}

TEST(GetColumnCType, ArdTypeAndNumericTakeTheDescriptorRecord) {
    OneColumn c(DS_CHAR_NTS, 16);
    c.setText("123.456");
    FakeStmt st;
    SQLLEN len;
    double d = 0;
    ColumnBinding ard = Bind(1, SQL_ARD_TYPE, &d, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, ard, c.ds), -1);
    EXPECT_EQ(st.lastError, kErrBadDescIndex);
    st.fetched();
    st.haveRecord = true;
    st.record = {SQL_C_DOUBLE, 0, 0};
    EXPECT_EQ(GetColumn(st.ctx, 0, ard, c.ds), 0);
    EXPECT_DOUBLE_EQ(d, 123.456);
    EXPECT_FALSE(st.lastRecordWasApd);
    st.fetched();
    st.record = {SQL_C_NUMERIC, 10, 2};
    SQL_NUMERIC_STRUCT n{};
    ColumnBinding num = Bind(1, SQL_C_NUMERIC, &n, sizeof n, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, num, c.ds), 1);
    EXPECT_EQ(st.lastError, kErrFractionalTruncation);
    EXPECT_EQ(n.precision, 10);
    EXPECT_EQ(n.scale, 2);
    EXPECT_EQ(n.val[0] | (n.val[1] << 8), 12345);
}

TEST(GetColumnCType, OutputParameterModeUsesTheApdAndBindingScale) {
    OneColumn c(DS_TIMESTAMP, 16);
    SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, 123456789};
    c.setValue(ts);
    FakeStmt st;
    st.lastError = kErrOutputValues;
    st.ctx.directionRecount = true;
    st.scale = 9;
    char buf[40];
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_CHAR, buf, sizeof buf, &len);
    b.decimalDigits = 2;
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(st.lastError, 0u);
    EXPECT_STREQ(buf, "2024-02-29 13:45:10.12");
    // Without a description the scale is unknown: nine digits, never more.
    st.fetched();
    st.described = false;
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_STREQ(buf, "2024-02-29 13:45:10.123456789");
    st.fetched();
    st.lastError = kErrOutputValues;
    st.haveRecord = true;
    st.record = {SQL_C_NUMERIC, 5, 0};
    SQL_NUMERIC_STRUCT n;
    OneColumn i(DS_INTEGER, 4);
    i.setValue(int32_t{77});
    ColumnBinding nb = Bind(1, SQL_C_NUMERIC, &n, sizeof n, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, nb, i.ds), 0);
    EXPECT_TRUE(st.lastRecordWasApd);
    EXPECT_EQ(n.val[0], 77);
}

TEST(GetColumnAgentPieces, PiecesFromTheAgentAreNotAdvancedLocally) {
    OneColumn c(DS_CHAR_LEN4, 4);
    c.setIndicator(DS_IND_NOT_FETCHED);
    FakeStmt st(true);
    st.pieces = {"hello", "world"};
    st.pieceTotal = 10;
    char buf[6];
    SQLLEN len = 0;
    ColumnBinding b = Bind(1, SQL_C_CHAR, buf, sizeof buf, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 1);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(len, 10);
    st.pieceTotal = 5;
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(len, 5);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_NO_DATA);
    EXPECT_EQ(st.wanted, (std::vector<int64_t>{5, 5, 5}));
}

TEST(GetColumnAgentPieces, NullAndEmptyAndMissingAgent) {
    OneColumn c(DS_CHAR_LEN4, 4);
    c.setIndicator(DS_IND_NOT_FETCHED);
    {
        FakeStmt st(true);
        st.pieceTotal = -1;
        char buf[4];
        SQLLEN ind = 0;
        ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 4, &ind);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
        EXPECT_EQ(ind, SQL_NULL_DATA);
    }
    {
        FakeStmt st(true);
        st.pieceTotal = 0;
        char buf[4];
        SQLLEN ind = 0;
        ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 4, &ind);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_NO_DATA);
    }
    {
        FakeStmt st(false);
        char buf[4];
        SQLLEN ind = 0;
        ColumnBinding b = Bind(1, SQL_C_CHAR, buf, 4, &ind);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), -1);
        EXPECT_EQ(st.lastError, kErrNotSupported);
    }
}

TEST(GetColumnAgentPieces, WideBinaryAsksForHalfTheBuffer) {
    OneColumn c(DS_WCHAR_LEN4, 4);
    c.setIndicator(DS_IND_NOT_FETCHED);
    FakeStmt st(true);
    st.pieceKind = DS_WCHAR_LEN4;
    st.pieces = {std::string("a\0b\0", 4)};
    st.pieceTotal = 4;
    char buf[8];
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_BINARY, buf, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(std::string(buf, 4), std::string("a\0b\0", 4));
    EXPECT_EQ(st.wanted, (std::vector<int64_t>{4}));
}

}  // namespace

namespace {

// Bytes that are no UTF-8 (a stray byte, a cut sequence, an overlong quote) are refused with
// 22018 when read as wide text; the read ends there (no stall, nothing rewritten comes later).
TEST(GetColumnPieces, MalformedUtf8IsRefusedAsWideText) {
    for (const std::string& text : {std::string("ab\xFF\xC3"
                                                "cd"),
                                    std::string("cd\xE2\x82"),
                                    std::string("x\xC0\xA7"
                                                "y")}) {
        SCOPED_TRACE(text);
        OneColumn c(DS_CHAR_LEN2, 16);
        c.setText(text);
        FakeStmt st;
        SQLWCHAR buf[8] = {0x7777};
        SQLLEN len;
        ColumnBinding b = Bind(1, SQL_C_WCHAR, buf, sizeof buf, &len);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_ERROR);
        EXPECT_EQ(st.lastError, kErrCastValue);
        for (SQLWCHAR u : buf) EXPECT_NE(u, u'\'');
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_NO_DATA);
        // As narrow text the bytes are handed over as they are.
        FakeStmt again;
        char narrow[16];
        ColumnBinding nb = Bind(1, SQL_C_CHAR, narrow, sizeof narrow, &len);
        EXPECT_EQ(GetColumn(again.ctx, 0, nb, c.ds), SQL_SUCCESS);
        EXPECT_EQ(std::string(narrow, size_t(len)), text);
    }
}

TEST(GetColumnPieces, UnalignedWideTargetsAndSources) {
    const U16 text = u"x\U0001F600y";
    OneColumn c(DS_WCHAR_REF, 4);
    c.setWide(text);
    FakeStmt st;
    alignas(8) unsigned char raw[32];
    unsigned char* odd = raw + 1;  // an application buffer at an odd address
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_WCHAR, odd, 12, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_EQ(WideAt(odd, 5), text + u'\0');
    // Narrow text into an odd wide buffer, and wide text from an odd address.
    const std::string narrow = "\xC3\xA9t\xC3\xA9";
    SQLLEN l2;
    uint32_t err;
    EXPECT_EQ(ConvertCHAR(narrow.data(), narrow.size(), narrow.size(), SQL_C_WCHAR, odd, 8, &l2, &err, 0, 0), 0);
    EXPECT_EQ(WideAt(odd, 4), U16(u"\u00E9t\u00E9") + u'\0');
    std::memcpy(raw + 17, text.data(), text.size() * 2);
    char out[16];
    EXPECT_EQ(ConvertWCHAR(raw + 17, text.size() * 2, text.size() * 2, SQL_C_CHAR, out, sizeof out, &l2, &err, 0, 0),
              0);
    EXPECT_STREQ(out, "x\xF0\x9F\x98\x80y");
    int32_t v = 0;
    const U16 digits = u" 77 ";
    std::memcpy(raw + 17, digits.data(), 8);
    EXPECT_EQ(ConvertWCHAR(raw + 17, 8, 8, SQL_C_LONG, &v, 4, &l2, &err, 0, 0), 0);
    EXPECT_EQ(v, 77);
}

}  // namespace

namespace {

TEST(GetColumnPieces, FiveThousandBytesInThousandBytePieces) {
    std::string value(5000, 'x');
    for (size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>('a' + i % 26);
    OneColumn c(DS_CHAR_REF, 16);
    c.setText(value);
    FakeStmt st;
    const auto got = ReadAllChar(st, c.ds, 1000);
    ASSERT_EQ(got.size(), 6u);
    const SQLLEN lens[] = {5000, 4001, 3002, 2003, 1004, 5};
    std::string joined;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].len, lens[i]) << i;
        EXPECT_EQ(got[i].rc, i < 5 ? 1 : 0) << i;
        EXPECT_EQ(got[i].text.size(), i < 5 ? 999u : 5u) << i;
        joined += got[i].text;
    }
    EXPECT_EQ(joined, value);
}

TEST(GetColumnPieces, ArdTypeContinuesTheValue) {
    OneColumn c(DS_CHAR_NTS, 10);
    c.setText("abcdefgh");
    FakeStmt st;
    st.haveRecord = true;
    st.record = {SQL_C_CHAR, 0, 0};
    char buf[5];
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_ARD_TYPE, buf, 5, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 1);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_STREQ(buf, "efgh");
    EXPECT_EQ(len, 4);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), SQL_NO_DATA);
}

}  // namespace

namespace {

SQLWCHAR cvutf_unit(const unsigned char* p, size_t i) {
    SQLWCHAR u;
    std::memcpy(&u, p + 2 * i, 2);
    return u;
}

// A long mixed text: ASCII, 2-, 3- and 4-byte characters.
U16 MixedWide(size_t chars) {
    const char16_t* pieces[] = {u"a", u"\u00E9", u"\u20AC", u"\U0001F600", u"z", u"\u4E2D"};
    U16 out;
    for (size_t i = 0; i < chars; ++i) out += pieces[(i * 7 + i / 3) % 6];
    return out;
}

std::string ToUtf8(const U16& w) {
    std::string out(WideUtf8Length(reinterpret_cast<const SQLWCHAR*>(w.data()), static_cast<long>(w.size())), '\0');
    WideToUtf8N(reinterpret_cast<const SQLWCHAR*>(w.data()), out.data(), w.size(), out.size(), nullptr);
    return out;
}

// Reads column 1 in pieces of bufLen bytes into the C type and returns the reassembled value as
// UTF-16, checking that every reported length is what remains in the target's encoding.
U16 ReadInPieces(const Dataset& ds, int cType, int64_t bufLen, size_t* calls) {
    FakeStmt st;
    U16 out;
    std::string narrowOut;
    *calls = 0;
    SQLLEN expectRemaining = -1;
    for (int guard = 0; guard < 100000; ++guard) {
        std::vector<unsigned char> buf(static_cast<size_t>(bufLen) + 2, 0xEE);
        SQLLEN len = 0;
        ColumnBinding b = Bind(1, static_cast<int16_t>(cType), buf.data(), bufLen, &len);
        const int rc = GetColumn(st.ctx, 0, b, ds);
        if (rc == SQL_NO_DATA) break;
        EXPECT_GE(rc, 0);
        if (rc < 0) break;
        ++*calls;
        if (expectRemaining >= 0) {
            EXPECT_EQ(len, expectRemaining);
        }
        if (cType == SQL_C_CHAR) {
            const size_t n = std::strlen(reinterpret_cast<char*>(buf.data()));
            EXPECT_LE(static_cast<int64_t>(n), bufLen - 1);
            narrowOut.append(reinterpret_cast<char*>(buf.data()), n);
            expectRemaining = len - static_cast<SQLLEN>(n);
        } else {
            size_t n = 0;
            while (cvutf_unit(buf.data(), n) != 0) ++n;
            EXPECT_LE(static_cast<int64_t>(n * 2), bufLen - 2);
            out += WideAt(buf.data(), n);
            expectRemaining = len - static_cast<SQLLEN>(n * 2);
        }
        if (rc == 0) {
            EXPECT_EQ(expectRemaining, 0);
            break;
        }
    }
    if (cType == SQL_C_CHAR) {
        std::vector<SQLWCHAR> w(narrowOut.size() + 1);
        const size_t n = Utf8ToWideN(narrowOut.data(), w.data(), narrowOut.size(), w.size(), nullptr);
        return WideAt(w.data(), n);
    }
    return out;
}

TEST(GetColumnPieces, LongMixedTextReassemblesForEveryBufferSize) {
    const U16 wide = MixedWide(700);
    const std::string narrow = ToUtf8(wide);
    OneColumn nc(DS_CHAR_LEN4, static_cast<uint32_t>(narrow.size()));
    nc.setText(narrow);
    OneColumn wc(DS_WCHAR_LEN4, static_cast<uint32_t>(wide.size()));
    wc.setWide(wide);
    for (int64_t bufLen : {6, 7, 9, 16, 33, 100, 513, 4000}) {
        for (const Dataset* ds : {&nc.ds, &wc.ds}) {
            for (int cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
                SCOPED_TRACE(testing::Message() << "buffer " << bufLen << (ds == &nc.ds ? " narrow" : " wide") << " to "
                                                << CTypeName(cType));
                size_t calls = 0;
                EXPECT_EQ(ReadInPieces(*ds, cType, bufLen, &calls), wide);
                EXPECT_GT(calls, 0u);
            }
        }
    }
}

// What one GetColumn call left behind: its answer, the application's buffers and the position.
struct Outcome {
    int rc;
    uint32_t err;
    std::vector<unsigned char> target;
    SQLLEN len, ind;
    int64_t bufferLength;
    uint16_t column;
    uint32_t row, remaining;
    int32_t cType;

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    os << "rc " << o.rc << " err " << o.err << " len " << o.len << " ind " << o.ind << " buffer " << o.bufferLength
       << " at " << o.column << "/" << o.row << " remaining " << o.remaining << " type " << o.cType << " bytes";
    for (unsigned char c : o.target) os << ' ' << int(c);
    return os;
}

Outcome Read(FakeStmt& st, const Dataset& ds, uint32_t row, ColumnBinding b, size_t room, const ColumnPlan* plan) {
    std::vector<unsigned char> target(room ? room : 1, 0xEE);
    SQLLEN len = -99, ind = -98;
    b.target = target.data();
    b.lengthPtr = &len;
    b.indicatorPtr = &ind;
    st.lastError = 7;
    const int rc = GetColumn(st.ctx, row, b, ds, plan);
    return {rc, st.lastError, target, len, ind, b.bufferLength, st.ld.column, st.ld.row, st.ld.remaining, st.ld.cType};
}

// The same through GetColumnPlanned, with the plan completed for the column's values.
Outcome ReadPlanned(FakeStmt& st, const Dataset& ds, uint32_t row, const ColumnBinding& b, size_t room,
                    const ColumnPlan& plan) {
    std::vector<unsigned char> target(room ? room : 1, 0xEE);
    SQLLEN len = -99, ind = -98;
    st.lastError = 7;
    const int rc = GetColumnPlanned(st.ctx, row, b, RowBuffers{target.data(), &len, &ind}, ds, plan);
    return {rc,           st.lastError, target,          len,        ind, plan.bufferLength,
            st.ld.column, st.ld.row,    st.ld.remaining, st.ld.cType};
}

struct PlanCase {
    const char* name;
    uint32_t kind, length;
    std::vector<std::string> cells;  // rows; "NULL" for a NULL value
    int32_t sqlType, scale;
    int16_t cType;
    int64_t bufferLength;
    bool haveRecord;
    DescRecordView record;
};

void Fill(OneColumn& c, const std::vector<std::string>& cells) {
    for (uint32_t r = 0; r < cells.size(); ++r) {
        if (cells[r] == "NULL")
            c.setIndicator(DS_IND_NULL, r);
        else if (c.ds.cols[0].kind == DS_INTEGER || c.ds.cols[0].kind == DS_DOUBLE || c.ds.cols[0].kind == DS_TIMESTAMP)
            c.set(cells[r].data(), cells[r].size(), r);
        else
            c.setText(cells[r], r);
    }
}

// Turns the debug trace on for its lifetime: the converters then run their own way, with
// their trace lines.
struct DebugTraceOnScope {
    char dir[32] = "/tmp/tv-getcolumn-XXXXXX";
    std::string path;
    DebugTraceOnScope() {
        EXPECT_NE(mkdtemp(dir), nullptr);
        path = std::string(dir) + "/trace.log";
        setenv("KIV_DEBUGFILE", path.c_str(), 1);
        DebugOpen(0);
        EXPECT_TRUE(DebugTraceOn());
    }
    ~DebugTraceOnScope() {
        DebugClose(0);
        unsetenv("KIV_DEBUGFILE");
        std::remove(path.c_str());
        rmdir(dir);
    }
};

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

TEST(GetColumnPlan, OnePlanServesEveryRowAsEachCallWorkingItOutWould) {
    const int32_t i42 = 42, iMin = std::numeric_limits<int32_t>::min();
    const double half = 0.5, money = 1234.56;
    const SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, 120000000};
    // A table: the formatter would spread each case over ten lines.
    // clang-format off
    const PlanCase cases[] = {
        {"text as text", DS_CHAR_LEN2, 12, {"abc", "NULL", "twelve chars"}, SQL_VARCHAR, 0, SQL_C_CHAR, 6, false, {}},
        {"bigint text as SQL_C_BINARY", DS_CHAR_LEN2, 20, {"-9000000000", "7", "x"}, SQL_BIGINT, 0, SQL_C_BINARY, 8,
         false, {}},
        {"default with no length", DS_INTEGER, 4, {Bytes(&i42, 4), "NULL", Bytes(&iMin, 4)}, SQL_INTEGER, 0,
         SQL_C_DEFAULT, 0, false, {}},
        {"default text, ODBC 3", DS_CHAR_LEN2, 8, {"def", "NULL"}, SQL_VARCHAR, 0, SQL_C_DEFAULT, 8, false, {}},
        {"descriptor's type", DS_CHAR_NTS, 16, {"123.456", "-1"}, SQL_VARCHAR, 0, SQL_ARD_TYPE, 8, true,
         {SQL_C_DOUBLE, 0, 0}},
        {"descriptor's type missing", DS_CHAR_NTS, 16, {"1", "2"}, SQL_VARCHAR, 0, SQL_ARD_TYPE, 8, false, {}},
        {"NUMERIC with the record's digits", DS_CHAR_NTS, 16, {"123.456", "NULL", "9"}, SQL_DECIMAL, 3,
         SQL_C_NUMERIC, 19, true, {SQL_C_NUMERIC, 10, 2}},
        {"money double as text with its scale", DS_DOUBLE, 8, {Bytes(&money, 8), Bytes(&half, 8)}, SQL_DECIMAL, 2,
         SQL_C_CHAR, 16, false, {}},
        {"timestamp text with the column's scale", DS_TIMESTAMP, 16, {Bytes(&ts, 16), "NULL"}, SQL_TYPE_TIMESTAMP, 3,
         SQL_C_CHAR, 32, false, {}},
        {"timestamp without a description", DS_TIMESTAMP, 16, {Bytes(&ts, 16)}, 0, -1, SQL_C_CHAR, 40, false, {}},
        {"timestamp as itself", DS_TIMESTAMP, 16, {Bytes(&ts, 16), "NULL"}, SQL_TYPE_TIMESTAMP, 0,
         SQL_C_TYPE_TIMESTAMP, 16, false, {}},
        {"double as itself", DS_DOUBLE, 8, {Bytes(&half, 8), "NULL", Bytes(&money, 8)}, SQL_DOUBLE, 0, SQL_C_DOUBLE,
         8, false, {}},
        {"integer as itself", DS_INTEGER, 4, {Bytes(&iMin, 4), Bytes(&i42, 4)}, SQL_INTEGER, 0, SQL_C_SLONG, 4,
         false, {}},
        {"text that fits, just fits and does not", DS_CHAR_NTS, 12, {"", "abcd", "abcde", "abcdef", "NULL"},
         SQL_VARCHAR, 0, SQL_C_CHAR, 6, false, {}},
        {"text into no room", DS_CHAR_LEN2, 12, {"abc", ""}, SQL_VARCHAR, 0, SQL_C_CHAR, 0, false, {}},
        {"digits as a BIGINT", DS_CHAR_LEN2, 22,
         {"-9223372036854775808", "9223372036854775807", "9223372036854775808", "+12", "007", "1e3", " 5", "-",
          "NULL"},
         SQL_BIGINT, 0, SQL_C_SBIGINT, 8, false, {}},
        {"digits as a small integer", DS_CHAR_NTS, 12, {"32767", "32768", "-1", "x"}, SQL_VARCHAR, 0, SQL_C_SSHORT, 2,
         false, {}},
    };
    // clang-format on
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        OneColumn col(c.kind, c.length, static_cast<uint32_t>(c.cells.size()));
        Fill(col, c.cells);
        FakeStmt each, planned;
        for (FakeStmt* st : {&each, &planned}) {
            st->sqlType = c.sqlType;
            st->scale = c.scale;
            st->described = c.scale >= 0;
            st->haveRecord = c.haveRecord;
            st->record = c.record;
        }
        ColumnBinding b = Bind(1, c.cType, nullptr, c.bufferLength, nullptr);
        const ColumnPlan plan = GetColumnPlan(planned.ctx, b);
        const size_t room = size_t(c.bufferLength > 0 ? c.bufferLength : 16);
        // A transfer's plan, completed for the column's values: a value in its cell goes straight there.
        FakeStmt transfer;
        transfer.sqlType = c.sqlType, transfer.scale = c.scale, transfer.described = c.scale >= 0;
        transfer.haveRecord = c.haveRecord, transfer.record = c.record;
        ColumnPlan cells = GetColumnPlan(transfer.ctx, b);
        GetColumnPlanCells(transfer.ctx, cells, 1, col.ds);
        for (uint32_t r = 0; r < c.cells.size(); ++r) {
            each.fetched(), planned.fetched(), transfer.fetched();
            const Outcome want = Read(each, col.ds, r, b, room, nullptr);
            EXPECT_EQ(Read(planned, col.ds, r, b, room, &plan), want) << "row " << r;
            EXPECT_EQ(ReadPlanned(transfer, col.ds, r, b, room, cells), want) << "row " << r;
            // A repeated call continues from where the planned one left the position.
            const Outcome next = Read(each, col.ds, r, b, room, nullptr);
            EXPECT_EQ(Read(planned, col.ds, r, b, room, &plan), next) << "row " << r;
            EXPECT_EQ(Read(transfer, col.ds, r, b, room, &cells), next) << "row " << r;
        }
    }
}

// A plan completed for values that must take GetColumn's way gives them that way: output values,
// the trace on, a column the data does not have, a type without a record.
TEST(GetColumnPlan, CellsArePlannedOnlyForValuesTheyGiveAsGetColumnDoes) {
    OneColumn col(DS_INTEGER, 4);
    col.setValue(int32_t{42});
    FakeStmt st;
    st.sqlType = SQL_INTEGER;
    const ColumnBinding b = Bind(1, SQL_C_SLONG, nullptr, 4, nullptr);
    ColumnPlan plan = GetColumnPlan(st.ctx, b);
    GetColumnPlanCells(st.ctx, plan, 1, col.ds);
    EXPECT_EQ(plan.cells, &col.ds.cols[0]);
    EXPECT_EQ(plan.copy.way, CellCopy::kBytes);
    EXPECT_EQ(plan.copy.bytes, 4);
    GetColumnPlanCells(st.ctx, plan, 2, col.ds);
    EXPECT_EQ(plan.cells, nullptr);
    st.lastError = kErrOutputValues;
    GetColumnPlanCells(st.ctx, plan, 1, col.ds);
    EXPECT_EQ(plan.cells, nullptr);
    st.lastError = 0;
    {
        DebugTraceOnScope on;
        GetColumnPlanCells(st.ctx, plan, 1, col.ds);
        EXPECT_EQ(plan.cells, nullptr);
    }
    ColumnPlan ard = GetColumnPlan(st.ctx, Bind(1, SQL_ARD_TYPE, nullptr, 4, nullptr));
    GetColumnPlanCells(st.ctx, ard, 1, col.ds);
    EXPECT_EQ(ard.cells, nullptr);
}

TEST(GetColumnPlan, OutputParametersWorkOutTheirOwn) {
    OneColumn c(DS_TIMESTAMP, 16);
    const SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, 123456789};
    c.setValue(ts);
    FakeStmt st;
    st.scale = 0;  // the result's description; the binding asks for 4 digits
    st.ctx.directionRecount = true;
    ColumnBinding b = Bind(1, SQL_C_CHAR, nullptr, 32, nullptr);
    b.decimalDigits = 4;
    const ColumnPlan resultPlan = GetColumnPlan(st.ctx, b);
    char buf[32];
    SQLLEN len;
    b.target = buf;
    b.lengthPtr = b.indicatorPtr = &len;
    st.lastError = kErrOutputValues;
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds, &resultPlan), 0);
    EXPECT_STREQ(buf, "2024-02-29 13:45:10.1234");
}

TEST(GetColumnPlan, DescriptionsKeptInAnArrayAreReadThere) {
    OneColumn c(DS_TIMESTAMP, 16);
    c.setValue(SQL_TIMESTAMP_STRUCT{2024, 2, 29, 13, 45, 10, 120000000});
    ColumnInfo infos[2]{};
    infos[0].sql_type = SQL_TYPE_TIMESTAMP;
    infos[0].scale = 3;
    FakeStmt st;
    st.ctx.describe = nullptr;
    st.ctx.results = infos;
    char buf[40];
    SQLLEN len;
    for (const auto& [count, text] :
         {std::pair<uint16_t, const char*>{1, "2024-02-29 13:45:10.120"}, {0, "2024-02-29 13:45:10.120000000"}}) {
        st.ctx.resultCount = count;  // 0: column 1 has no description
        st.fetched();
        ColumnBinding b = Bind(1, SQL_C_CHAR, buf, sizeof buf, &len);
        EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
        EXPECT_STREQ(buf, text);
    }
    OneColumn big(DS_CHAR_LEN2, 20);
    big.setText("-9000000000");
    infos[0].sql_type = SQL_BIGINT;
    st.ctx.resultCount = 1;
    st.fetched();
    int64_t v = 0;
    ColumnBinding b = Bind(1, SQL_C_BINARY, &v, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, big.ds), 0);
    EXPECT_EQ(v, -9000000000LL);
}

// Row 0 read with one slot for the length and the indicator, as SQLGetData passes it: through
// GetColumn, or through SQLGetData's direct read (rc 2 when it does not take the value).
Outcome ReadWith(FakeStmt& st, const Dataset& ds, ColumnBinding b, size_t room, bool direct) {
    std::vector<unsigned char> target(room, 0xEE);
    SQLLEN lenInd = -99;
    st.lastError = 7;
    const int rc =
        direct
            ? GetColumnDirect(&st.lastError, st.ld, 0, ds, b.column, b.cType, target.data(), b.bufferLength, &lenInd)
            : GetColumn(st.ctx, 0, b = AppColumnBinding(b.column, b.cType, target.data(), b.bufferLength, &lenInd), ds);
    return {rc,           st.lastError, target,          lenInd,     lenInd, b.bufferLength,
            st.ld.column, st.ld.row,    st.ld.remaining, st.ld.cType};
}
Outcome ReadDirect(FakeStmt& st, const Dataset& ds, const ColumnBinding& b, size_t room) {
    return ReadWith(st, ds, b, room, true);
}
Outcome ReadShared(FakeStmt& st, const Dataset& ds, const ColumnBinding& b, size_t room) {
    return ReadWith(st, ds, b, room, false);
}

struct NaturalCase {
    uint32_t kind, length;
    std::string cell;
    std::vector<int16_t> cTypes;
};

// Values in their own C type, text into narrow text and text into integers skip the converters'
// detour while the trace is off: what comes out must not change.
TEST(GetColumnShortcuts, GiveWhatTheConvertersGive) {
    auto bytes = [](auto v) { return Bytes(&v, sizeof v); };
    const NaturalCase cases[] = {
        {DS_INTEGER, 4, bytes(std::numeric_limits<int32_t>::min()), {SQL_C_LONG, SQL_C_SLONG, SQL_C_ULONG}},
        {DS_INTEGER, 4, bytes(int32_t{-1}), {SQL_C_LONG, SQL_C_SLONG, SQL_C_SBIGINT, SQL_C_DOUBLE}},
        {DS_UINTEGER, 4, bytes(uint32_t{4294967295u}), {SQL_C_ULONG, SQL_C_LONG, SQL_C_UBIGINT}},
        {DS_SMALLINT, 2, bytes(int16_t{-32768}), {SQL_C_SHORT, SQL_C_SSHORT, SQL_C_USHORT}},
        {DS_USMALLINT, 2, bytes(uint16_t{65535}), {SQL_C_USHORT, SQL_C_SHORT}},
        {DS_TINYINT, 1, bytes(int8_t{-128}), {SQL_C_TINYINT, SQL_C_STINYINT, SQL_C_UTINYINT}},
        {DS_UTINYINT, 1, bytes(uint8_t{255}), {SQL_C_UTINYINT, SQL_C_TINYINT}},
        {DS_BIT, 1, bytes(uint8_t{2}), {SQL_C_BIT, SQL_C_UTINYINT}},
        {DS_DOUBLE, 8, bytes(-0.0), {SQL_C_DOUBLE, SQL_C_FLOAT}},
        {DS_DOUBLE, 8, bytes(std::nan("")), {SQL_C_DOUBLE, SQL_C_LONG}},
        {DS_DOUBLE, 8, bytes(-HUGE_VAL), {SQL_C_DOUBLE}},
        {DS_REAL, 4, bytes(1.5f), {SQL_C_FLOAT, SQL_C_DOUBLE}},
        {DS_DATE, 6, bytes(SQL_DATE_STRUCT{-44, 3, 15}), {SQL_C_TYPE_DATE, SQL_C_DATE, SQL_C_TIMESTAMP}},
        {DS_TIME, 6, bytes(SQL_TIME_STRUCT{23, 59, 60}), {SQL_C_TYPE_TIME, SQL_C_TIME, SQL_C_TYPE_TIMESTAMP}},
        {DS_TIMESTAMP,
         16,
         bytes(SQL_TIMESTAMP_STRUCT{2024, 2, 29, 13, 45, 10, 999999999}),
         {SQL_C_TYPE_TIMESTAMP, SQL_C_TIMESTAMP, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME}},
        {DS_CHAR_LEN2, 40, "a value of thirty-one characters", {SQL_C_CHAR, SQL_C_BINARY, SQL_C_WCHAR}},
        {DS_CHAR_NTS, 12, "h\xC3\xA9llo", {SQL_C_CHAR}},
        {DS_CHAR_REF, 8, "", {SQL_C_CHAR}},
        {DS_CHAR, 6, "fixed ", {SQL_C_CHAR}},
        {DS_CHAR_LEN2, 20, "-9000000000", {SQL_C_SBIGINT, SQL_C_UBIGINT, SQL_C_LONG, SQL_C_DOUBLE, SQL_C_NUMERIC}},
        // BIGINT digits read eight at a time, and the texts that word does not take.
        {DS_CHAR_LEN2, 20, "12345678", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 20, "-1234567890123456", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 20, "-9223372036854775808", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 20, "9223372036854775808", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 20, "+0000000000000007", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 20, "1234:678", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 6, "-1234", {SQL_C_SBIGINT}},
        {DS_CHAR_NTS, 20, "99999999", {SQL_C_SBIGINT}},
        {DS_CHAR_LEN2, 20, " 42 ", {SQL_C_TINYINT, SQL_C_USHORT, SQL_C_ULONG, SQL_C_BIT}},
        {DS_CHAR_LEN2, 20, "1.5E1", {SQL_C_SHORT, SQL_C_UTINYINT}},
        {DS_CHAR_NTS, 20, "-12.75", {SQL_C_SSHORT, SQL_C_UBIGINT}},
        {DS_CHAR, 4, "x", {SQL_C_SBIGINT, SQL_C_STINYINT}},
    };
    for (const NaturalCase& c : cases) {
        OneColumn col(c.kind, c.length);
        if (c.kind == DS_CHAR_LEN2 || c.kind == DS_CHAR_NTS || c.kind == DS_CHAR_REF || c.kind == DS_CHAR)
            col.setText(c.cell);
        else
            col.set(c.cell.data(), c.cell.size());
        for (int16_t cType : c.cTypes) {
            // Text into buffers too small, just right and roomy; fixed types into their own size.
            for (int64_t bufLen : {int64_t{0}, int64_t{1}, int64_t{5}, int64_t{32}, int64_t{33}, int64_t{80}}) {
                SCOPED_TRACE(testing::Message() << "kind " << c.kind << " to " << CTypeName(cType) << " in " << bufLen);
                ColumnBinding b = Bind(1, cType, nullptr, bufLen, nullptr);
                const size_t room = size_t(bufLen > 32 ? bufLen : 32);  // fixed types write their size
                FakeStmt quick, traced;
                const Outcome got = Read(quick, col.ds, 0, b, room, nullptr);
                Outcome want;
                {
                    DebugTraceOnScope on;
                    want = Read(traced, col.ds, 0, b, room, nullptr);
                }
                EXPECT_EQ(got, want);
                // The piece that follows is the same too.
                if (want.rc == 1) {
                    const Outcome next = Read(quick, col.ds, 0, b, room, nullptr);
                    DebugTraceOnScope on;
                    EXPECT_EQ(next, Read(traced, col.ds, 0, b, room, nullptr));
                }
                // SQLGetData's direct read, where it takes the value, gives what GetColumn gives
                // with one length and indicator slot, and leaves the same position for the next piece.
                FakeStmt direct, general;
                const Outcome first = ReadDirect(direct, col.ds, b, room);
                if (first.rc == 2) continue;
                EXPECT_EQ(first, ReadShared(general, col.ds, b, room));
                if (first.rc == 1) {
                    EXPECT_EQ(ReadShared(direct, col.ds, b, room), ReadShared(general, col.ds, b, room));
                }
            }
        }
    }
}

}  // namespace
