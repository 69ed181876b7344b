// Type tables and the value routines of the parameter side.
#include "tests/odbc/datapath_fixture.h"

namespace {

TEST(TypeTables, DefaultCType) {
    struct Case {
        int sqlType;
        int v2, v3;
    };
    const Case cases[] = {
        {SQL_GUID, SQL_C_CHAR, SQL_C_CHAR},
        {SQL_WCHAR, SQL_C_WCHAR, SQL_C_WCHAR},
        {SQL_WVARCHAR, SQL_C_WCHAR, SQL_C_WCHAR},
        {SQL_WLONGVARCHAR, SQL_C_WCHAR, SQL_C_WCHAR},
        {SQL_BIT, SQL_C_BIT, SQL_C_BIT},
        {SQL_TINYINT, SQL_C_TINYINT, SQL_C_TINYINT},
        {SQL_BIGINT, SQL_C_CHAR, SQL_C_SBIGINT},
        {SQL_LONGVARBINARY, SQL_C_BINARY, SQL_C_BINARY},
        {SQL_VARBINARY, SQL_C_BINARY, SQL_C_BINARY},
        {SQL_BINARY, SQL_C_BINARY, SQL_C_BINARY},
        {SQL_LONGVARCHAR, SQL_C_CHAR, SQL_C_CHAR},
        {SQL_CHAR, SQL_C_CHAR, SQL_C_CHAR},
        {SQL_VARCHAR, SQL_C_CHAR, SQL_C_CHAR},
        {SQL_NUMERIC, SQL_C_CHAR, SQL_C_CHAR},
        {SQL_DECIMAL, SQL_C_CHAR, SQL_C_CHAR},
        {SQL_INTEGER, SQL_C_LONG, SQL_C_LONG},
        {SQL_SMALLINT, SQL_C_SHORT, SQL_C_SHORT},
        {SQL_FLOAT, SQL_C_DOUBLE, SQL_C_DOUBLE},
        {SQL_DOUBLE, SQL_C_DOUBLE, SQL_C_DOUBLE},
        {SQL_REAL, SQL_C_FLOAT, SQL_C_FLOAT},
        {SQL_DATE, SQL_C_DATE, SQL_C_TYPE_DATE},
        {SQL_TIME, SQL_C_TIME, SQL_C_TYPE_TIME},
        {SQL_TIMESTAMP, SQL_C_TIMESTAMP, SQL_C_TYPE_TIMESTAMP},
        {SQL_TYPE_DATE, SQL_C_TYPE_DATE, SQL_C_TYPE_DATE},
        {SQL_TYPE_TIME, SQL_C_TYPE_TIME, SQL_C_TYPE_TIME},
        {SQL_TYPE_TIMESTAMP, SQL_C_TYPE_TIMESTAMP, SQL_C_TYPE_TIMESTAMP},
        {-150, -150, -150},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DefaultCType(c.sqlType, 2), c.v2) << c.sqlType;
        EXPECT_EQ(DefaultCType(c.sqlType, 3), c.v3) << c.sqlType;
    }
}

TEST(TypeTables, CTypeOctetSize) {
    struct Case {
        int cType;
        int size;
    };
    for (const Case& c :
         {Case{SQL_C_UTINYINT, 1},        Case{SQL_C_STINYINT, 1},  Case{SQL_C_BIT, 1},   Case{SQL_C_TINYINT, 1},
          Case{SQL_C_USHORT, 2},          Case{SQL_C_SSHORT, 2},    Case{SQL_C_SHORT, 2}, Case{SQL_C_ULONG, 4},
          Case{SQL_C_SLONG, 4},           Case{SQL_C_LONG, 4},      Case{SQL_C_FLOAT, 4}, Case{SQL_C_UBIGINT, 8},
          Case{SQL_C_SBIGINT, 8},         Case{SQL_C_DOUBLE, 8},    Case{SQL_C_DATE, 6},  Case{SQL_C_TIME, 6},
          Case{SQL_C_TYPE_DATE, 6},       Case{SQL_C_TYPE_TIME, 6}, Case{SQL_C_GUID, 16}, Case{SQL_C_TIMESTAMP, 16},
          Case{SQL_C_TYPE_TIMESTAMP, 16}, Case{SQL_C_NUMERIC, 19},  Case{SQL_C_CHAR, 0},  Case{SQL_C_WCHAR, 0},
          Case{SQL_C_BINARY, 0}}) {
        EXPECT_EQ(CTypeOctetSize(c.cType), c.size) << CTypeName(c.cType);
    }
}

TEST(ParamHex, DigitsAndBytes) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), 0);
    unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    HexToBytes(out, "01aBfF7", 7);  // the odd last digit is ignored
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0xAB);
    EXPECT_EQ(out[2], 0xFF);
    EXPECT_EQ(out[3], 0xEE);
}

TEST(ParamEscape, DateTimeAndTimestampLiterals) {
    struct Case {
        const char* text;
        int sqlType;
        uint32_t kind;
        SQL_TIMESTAMP_STRUCT value;  // fields of the structure written
    };
    const Case cases[] = {
        {"{d '2024-02-29'}", SQL_TYPE_DATE, 11, {2024, 2, 29, 0, 0, 0, 0}},
        {"{d '2024/02/29'}", 0, 11, {2024, 2, 29, 0, 0, 0, 0}},
        {"{t '13:45:10'}", SQL_TYPE_TIME, 12, {0, 0, 0, 13, 45, 10, 0}},
        {"{t '13:45:10'}", 0, 12, {0, 0, 0, 13, 45, 10, 0}},
        {"{ts '2024-02-29 13:45:10.5'}", SQL_TYPE_TIMESTAMP, 13, {2024, 2, 29, 13, 45, 10, 500000000}},
        {"{ts '2024-02-29 13:45:10.123456'}", 0, 13, {2024, 2, 29, 13, 45, 10, 123456000}},
        {"{ts '2024-02-29 13:45:10'}", SQL_TIMESTAMP, 13, {2024, 2, 29, 13, 45, 10, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const size_t n = std::strlen(c.text);
        std::vector<unsigned char> dest(n, 0xEE);
        KindWidth kw{0, 0};
        const uint64_t written = ParseDateTimeEscape(dest.data(), c.text, n, &kw, c.sqlType);
        EXPECT_EQ(kw.kind, c.kind);
        if (c.kind == 13) {
            ASSERT_EQ(written, 16u);
            EXPECT_EQ(kw.width, 16u);
            EXPECT_EQ(std::memcmp(dest.data(), &c.value, 16), 0);
        } else if (c.kind == 11) {
            ASSERT_EQ(written, 6u);
            const SQL_DATE_STRUCT d{c.value.year, c.value.month, c.value.day};
            EXPECT_EQ(std::memcmp(dest.data(), &d, 6), 0);
        } else {
            ASSERT_EQ(written, 6u);
            const SQL_TIME_STRUCT t{c.value.hour, c.value.minute, c.value.second};
            EXPECT_EQ(std::memcmp(dest.data(), &t, 6), 0);
        }
        // The wide form gives the same structure.
        const U16 w(c.text, c.text + n);
        std::vector<unsigned char> wdest(2 * n, 0xEE);
        KindWidth wkw{0, 0};
        EXPECT_EQ(WParseDateTimeEscape(wdest.data(), reinterpret_cast<const SQLWCHAR*>(w.data()), n, &wkw, c.sqlType),
                  written);
        EXPECT_EQ(wkw.kind, c.kind);
        EXPECT_EQ(std::memcmp(wdest.data(), dest.data(), written), 0);
    }
}

TEST(ParamEscape, OtherTextIsCopiedUnchanged) {
    struct Case {
        const char* text;
        int sqlType;
    };
    for (const Case& c :
         {Case{"{d '2024-02-29'}", SQL_INTEGER}, Case{"{fn now()}", 0}, Case{"2024-02-29", SQL_TYPE_DATE},
          Case{"{d '1'", SQL_TYPE_TIMESTAMP}, Case{"{d 1}", SQL_TYPE_DATE}, Case{"{", 0}, Case{"", 0},
          Case{"{d '2024-02-29'}", SQL_VARCHAR}}) {
        SCOPED_TRACE(c.text);
        const size_t n = std::strlen(c.text);
        std::vector<char> dest(n + 1, '#');
        KindWidth kw{0, 0};
        EXPECT_EQ(ParseDateTimeEscape(dest.data(), c.text, n, &kw, c.sqlType), n);
        EXPECT_EQ(kw.kind, 0u);
        EXPECT_EQ(std::string(dest.data(), n), c.text);
        EXPECT_EQ(dest[n], '#');
    }
    const U16 w = u"caf\u00E9";
    std::vector<SQLWCHAR> wdest(4);
    KindWidth kw{0, 0};
    EXPECT_EQ(WParseDateTimeEscape(wdest.data(), reinterpret_cast<const SQLWCHAR*>(w.data()), 4, &kw, 0), 8u);
    EXPECT_EQ(WideAt(wdest.data(), 4), w);
}

TEST(ParamEscape, DateNeedsSixBytesOfDestination) {
    // 11 bytes: enough for the date, not for a timestamp.
    const char* text = "{d '1-2-3'}";
    unsigned char dest[16];
    KindWidth kw{0, 0};
    EXPECT_EQ(ParseDateTimeEscape(dest, text, 11, &kw, SQL_TYPE_DATE), 6u);
    SQL_DATE_STRUCT d;
    std::memcpy(&d, dest, 6);
    EXPECT_EQ(d.year, 1);
    EXPECT_EQ(d.day, 3);
    kw = {0, 0};
    EXPECT_EQ(ParseDateTimeEscape(dest, text, 11, &kw, SQL_TYPE_TIMESTAMP), 11u);
    EXPECT_EQ(kw.kind, 0u);
}

TEST(ParamNumeric, NumericToDouble) {
    SQL_NUMERIC_STRUCT n{};
    n.precision = 5;
    n.scale = 2;
    n.sign = 0;
    n.val[0] = 12345 & 0xFF;
    n.val[1] = 12345 >> 8;
    double d = 0;
    NumericToDouble(&d, n, 8);
    EXPECT_DOUBLE_EQ(d, -123.45);
    n.sign = 1;
    n.scale = -2;
    NumericToDouble(&d, n, 8);
    EXPECT_DOUBLE_EQ(d, 1234500.0);
    unsigned char small[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    NumericToDouble(small, n, 4);
    EXPECT_EQ(small[4], 0xEE);
    const double expect = 1234500.0;
    EXPECT_EQ(std::memcmp(small, &expect, 4), 0);
    // Round trip through text and back.
    SQL_NUMERIC_STRUCT m;
    uint32_t err;
    ASSERT_EQ(CharToNumeric("98765.4321", 10, &m, 4, 9, &err), 0);
    NumericToDouble(&d, m, 8);
    EXPECT_DOUBLE_EQ(d, 98765.4321);
}

TEST(ParamGuid, TextHasNoNul) {
    SQLGUID g{0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};
    char buf[40];
    std::memset(buf, '#', sizeof buf);
    GuidToText(buf, g);
    EXPECT_EQ(std::string(buf, 36), "01020304-0506-0708-090A-0B0C0D0E0F10");
    EXPECT_EQ(buf[36], '#');
}

}  // namespace
