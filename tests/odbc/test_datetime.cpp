// Date, time, timestamp and binary sources, and NULL clearing.
#include "tests/odbc/datapath_fixture.h"

namespace {

TEST(DateSource, TextNeedsRoomForAllOfIt) {
    const SQL_DATE_STRUCT d{2024, 2, 29};
    char buf[16];
    std::memset(buf, 'z', sizeof buf);
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertDATE(d, SQL_C_CHAR, buf, 10, &len, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(buf[0], 'z');
    EXPECT_EQ(ConvertDATE(d, SQL_C_CHAR, buf, 11, &len, &err), 0);
    EXPECT_STREQ(buf, "2024-02-29");
    EXPECT_EQ(len, 10);
    SQLWCHAR w[11];
    EXPECT_EQ(ConvertDATE(d, SQL_C_WCHAR, w, 20, &len, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(ConvertDATE(d, SQL_C_WCHAR, w, 22, &len, &err), 0);
    EXPECT_EQ(WideAt(w, 11), U16(u"2024-02-29") + u'\0');
    EXPECT_EQ(len, 20);
    // Fields beyond their printed widths are held to them.
    const SQL_DATE_STRUCT odd{-12345, 123, 7};
    EXPECT_EQ(ConvertDATE(odd, SQL_C_CHAR, buf, 11, &len, &err), 0);
    EXPECT_STREQ(buf, "9999-99-07");
}

TEST(DateSource, StructuresAndBinary) {
    const SQL_DATE_STRUCT d{1999, 12, 31};
    SQL_TIMESTAMP_STRUCT ts;
    std::memset(&ts, 0xEE, sizeof ts);
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertDATE(d, SQL_C_TYPE_TIMESTAMP, &ts, 0, &len, &err), 0);
    EXPECT_EQ(len, 16);
    EXPECT_EQ(ts.year, 1999);
    EXPECT_EQ(ts.day, 31);
    EXPECT_EQ(ts.hour, 0);
    EXPECT_EQ(ts.fraction, 0u);
    SQL_DATE_STRUCT back;
    EXPECT_EQ(ConvertDATE(d, SQL_C_DATE, &back, 0, &len, &err), 0);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(std::memcmp(&back, &d, 6), 0);
    unsigned char raw[4];
    EXPECT_EQ(ConvertDATE(d, SQL_C_BINARY, raw, 4, &len, &err), 1);  // truncation allowed
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(std::memcmp(raw, &d, 4), 0);
    EXPECT_EQ(ConvertDATE(d, SQL_C_TYPE_TIME, raw, 4, &len, &err), -1);
    EXPECT_EQ(err, kErrRestrictedType);
}

TEST(TimeSource, TextStructuresAndRefusals) {
    const SQL_TIME_STRUCT t{9, 5, 7};
    char buf[16];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertTIME(t, SQL_C_CHAR, buf, 8, &len, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(ConvertTIME(t, SQL_C_CHAR, buf, 9, &len, &err), 0);
    EXPECT_STREQ(buf, "09:05:07");
    EXPECT_EQ(len, 8);
    SQL_TIMESTAMP_STRUCT ts;
    EXPECT_EQ(ConvertTIME(t, SQL_C_TIMESTAMP, &ts, 0, &len, &err), 0);
    EXPECT_EQ(ts.year, 0);
    EXPECT_EQ(ts.month, 0);
    EXPECT_EQ(ts.minute, 5);
    EXPECT_EQ(len, 16);
    SQL_TIME_STRUCT back;
    EXPECT_EQ(ConvertTIME(t, SQL_C_TYPE_TIME, &back, 0, &len, &err), 0);
    EXPECT_EQ(back.second, 7);
    EXPECT_EQ(ConvertTIME(t, SQL_C_DATE, &back, 0, &len, &err), -1);
    EXPECT_EQ(err, kErrRestrictedType);
}

TEST(TimestampSource, FractionByScale) {
    struct Case {
        uint32_t fraction;
        unsigned scale;
        const char* text;
    };
    const Case cases[] = {
        {120000000, 3, "2024-02-29 13:45:10.120"},
        {120000000, 0, "2024-02-29 13:45:10"},
        {5000000, 3, "2024-02-29 13:45:10.005"},  // 5 ms, not half a second
        {5, 9, "2024-02-29 13:45:10.000000005"},
        {123456789, 6, "2024-02-29 13:45:10.123456"},
        {999999999, 1, "2024-02-29 13:45:10.9"},
        {0, 2, "2024-02-29 13:45:10.00"},
        {123456789, 65535, "2024-02-29 13:45:10.123456789"},  // no description
        {123456789, 10, "2024-02-29 13:45:10.123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fraction << " scale " << c.scale);
        const SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, c.fraction};
        char buf[64];
        SQLLEN len;
        uint32_t err;
        EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_CHAR, buf, sizeof buf, &len, c.scale, &err), 0);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(len, static_cast<SQLLEN>(std::strlen(c.text)));
    }
}

TEST(TimestampSource, TruncatesTextAndSplitsIntoStructures) {
    const SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, 500000000};
    char buf[11];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_CHAR, buf, sizeof buf, &len, 1, &err), 1);
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_STREQ(buf, "2024-02-29");
    EXPECT_EQ(len, 21);
    SQLWCHAR w[32];
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_WCHAR, w, sizeof w, &len, 1, &err), 0);
    EXPECT_EQ(len, 42);
    EXPECT_EQ(WideAt(w, 22), U16(u"2024-02-29 13:45:10.5") + u'\0');
    SQL_DATE_STRUCT d;
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_TYPE_DATE, &d, 0, &len, 0, &err), 0);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(d.month, 2);
    SQL_TIME_STRUCT t;
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_TIME, &t, 0, &len, 0, &err), 0);
    EXPECT_EQ(t.hour, 13);
    SQL_TIMESTAMP_STRUCT back;
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_TIMESTAMP, &back, 0, &len, 0, &err), 0);
    EXPECT_EQ(back.fraction, 500000000u);
    EXPECT_EQ(len, 16);
    unsigned char raw[16];
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_BINARY, raw, 16, &len, 0, &err), 0);
    EXPECT_EQ(std::memcmp(raw, &ts, 16), 0);
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_LONG, raw, 16, &len, 0, &err), -1);
    EXPECT_EQ(err, kErrRestrictedType);
}

TEST(BinarySource, HexText) {
    const unsigned char b[] = {0x01, 0xAB, 0x00, 0xFF};
    char buf[16];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_CHAR, buf, 9, &len, &err), 0);
    EXPECT_STREQ(buf, "01AB00FF");
    EXPECT_EQ(len, 8);
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_CHAR, buf, 6, &len, &err), 1);
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_STREQ(buf, "01AB");
    EXPECT_EQ(len, 8);
    // More of the value follows elsewhere.
    EXPECT_EQ(ConvertBINARY(b, 4, 10, SQL_C_CHAR, buf, 16, &len, &err), 1);
    EXPECT_EQ(len, 20);
    EXPECT_EQ(ConvertBINARY(b, 4, SQL_NO_TOTAL, SQL_C_CHAR, buf, 16, &len, &err), 0);
    EXPECT_EQ(len, SQL_NO_TOTAL);
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_CHAR, buf, 0, &len, &err), 1);
    EXPECT_EQ(buf[0], 'z');
    SQLWCHAR w[9];
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_WCHAR, w, 18, &len, &err), 0);
    EXPECT_EQ(WideAt(w, 9), U16(u"01AB00FF") + u'\0');
    EXPECT_EQ(len, 16);
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_WCHAR, w, 10, &len, &err), 1);
    EXPECT_EQ(WideAt(w, 5), U16(u"01AB") + u'\0');
    w[0] = 0x7777;
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_WCHAR, w, 1, &len, &err), 1);
    EXPECT_EQ(w[0], 0x7777);
    EXPECT_EQ(ConvertBINARY(b, 4, 4, SQL_C_LONG, w, 4, &len, &err), -1);
    EXPECT_EQ(err, kErrRestrictedType);
}

TEST(NullClearing, ByCType) {
    struct Case {
        int cType;
        int cleared;
    };
    for (const Case& c : {Case{SQL_C_UTINYINT, 1}, Case{SQL_C_BIT, 1}, Case{SQL_C_SHORT, 2}, Case{SQL_C_ULONG, 4},
                          Case{SQL_C_FLOAT, 4}, Case{SQL_C_SBIGINT, 8}, Case{SQL_C_DOUBLE, 8}, Case{SQL_C_NUMERIC, 19},
                          Case{SQL_C_DATE, 6}, Case{SQL_C_TYPE_TIME, 6}, Case{SQL_C_TIMESTAMP, 16},
                          Case{SQL_C_CHAR, 20}, Case{SQL_C_BINARY, 20}, Case{SQL_C_GUID, 20}}) {
        unsigned char buf[32];
        std::memset(buf, 0xEE, sizeof buf);
        ConvertNULL(buf, 20, c.cType);
        for (int i = 0; i < 32; ++i) EXPECT_EQ(buf[i], i < c.cleared ? 0 : 0xEE) << c.cType << " " << i;
    }
    ConvertNULL(nullptr, 20, SQL_C_CHAR);  // no target: nothing to do
    unsigned char one = 0xEE;
    ConvertNULL(&one, 0, SQL_C_CHAR);
    EXPECT_EQ(one, 0xEE);
}

}  // namespace
