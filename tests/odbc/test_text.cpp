// Text sources: the number, NUMERIC and GUID parsers, ConvertCHAR and ConvertWCHAR, and the
// copy-out rules.
#include "tests/odbc/datapath_fixture.h"

#include <cmath>

namespace {

struct NumberCase {
    const char* text;
    int cType;
    uint32_t err;
    int64_t expect;
};

TEST(TextToInteger, ParsesWithinRange) {
    const NumberCase cases[] = {
        {" 42 ", SQL_C_LONG, 0, 42},
        {"42a", SQL_C_LONG, kErrAssignment, 0},
        {"4 2", SQL_C_LONG, kErrAssignment, 0},
        {"", SQL_C_LONG, kErrAssignment, 0},
        {"-", SQL_C_LONG, kErrAssignment, 0},
        {"   ", SQL_C_LONG, kErrAssignment, 0},
        {"+7", SQL_C_LONG, 0, 7},
        {"2147483647", SQL_C_LONG, 0, 2147483647},
        {"2147483648", SQL_C_LONG, kErrNumericRange, 0},
        {"-2147483648", SQL_C_SLONG, 0, -2147483648LL},
        {"-2147483649", SQL_C_SLONG, kErrNumericRange, 0},
        {"99999999999999999999999", SQL_C_LONG, kErrNumericRange, 0},
        {"4294967295", SQL_C_ULONG, 0, 4294967295LL},
        {"-1", SQL_C_ULONG, kErrNumericRange, 0},
        {"-0", SQL_C_UTINYINT, 0, 0},
        {"-1", SQL_C_UTINYINT, kErrNumericRange, 0},
        {"255", SQL_C_UTINYINT, 0, 255},
        {"-128", SQL_C_TINYINT, 0, -128},
        {"128", SQL_C_STINYINT, kErrNumericRange, 0},
        {"65535", SQL_C_USHORT, 0, 65535},
        {"-32769", SQL_C_SHORT, kErrNumericRange, 0},
        {"18446744073709551615", SQL_C_UBIGINT, 0, -1},
        {"18446744073709551616", SQL_C_UBIGINT, kErrNumericRange, 0},
        {"-9223372036854775808", SQL_C_SBIGINT, 0, INT64_MIN},
        {"9223372036854775808", SQL_C_SBIGINT, kErrNumericRange, 0},
        {"-5", SQL_C_UBIGINT, kErrNumericRange, 0},
        // Signs and digits alone, at the edges of the widest such text read in one pass.
        {"+0", SQL_C_SBIGINT, 0, 0},
        {"-0", SQL_C_SBIGINT, 0, 0},
        {"+", SQL_C_SBIGINT, kErrAssignment, 0},
        {"0000000000000000000", SQL_C_SBIGINT, 0, 0},
        {"00000000000000000042", SQL_C_SBIGINT, 0, 42},
        {"9999999999999999999", SQL_C_UBIGINT, 0, int64_t(9999999999999999999ULL)},
        {"9999999999999999999", SQL_C_SBIGINT, kErrNumericRange, 0},
        {"-9999999999999999999", SQL_C_SBIGINT, kErrNumericRange, 0},
        {"-9223372036854775809", SQL_C_SBIGINT, kErrNumericRange, 0},
        {"-0000000000000000001", SQL_C_SBIGINT, 0, -1},
        {"-0000000000000000001", SQL_C_UBIGINT, kErrNumericRange, 0},
        {"12345678901", SQL_C_LONG, kErrNumericRange, 0},
        {"-4294967295", SQL_C_SLONG, kErrNumericRange, 0},
        {"42\t", SQL_C_LONG, 0, 42},
        // A numeric literal with a fraction converts; dropped digits other than zeros are 01S07.
        {"1.5", SQL_C_LONG, kErrFractionalTruncation, 1},
        {"1600.00", SQL_C_SLONG, 0, 1600},
        {" -2.50 ", SQL_C_SSHORT, kErrFractionalTruncation, -2},
        {"-0.5", SQL_C_UBIGINT, kErrFractionalTruncation, 0},
        {"-1.5", SQL_C_UBIGINT, kErrNumericRange, 0},
        {".75", SQL_C_SBIGINT, kErrFractionalTruncation, 0},
        {"7.", SQL_C_LONG, 0, 7},
        {"1.5E3", SQL_C_LONG, 0, 1500},
        {"125e-2", SQL_C_TINYINT, kErrFractionalTruncation, 1},
        {"1e400", SQL_C_SBIGINT, kErrNumericRange, 0},
        {"0e400", SQL_C_SBIGINT, 0, 0},
        {"32767.9", SQL_C_SHORT, kErrFractionalTruncation, 32767},
        {"32768.0", SQL_C_SHORT, kErrNumericRange, 0},
        {"9223372036854775807.99", SQL_C_SBIGINT, kErrFractionalTruncation, INT64_MAX},
        {"1.5.", SQL_C_LONG, kErrAssignment, 0},
        {".", SQL_C_LONG, kErrAssignment, 0},
        {"1e", SQL_C_LONG, kErrAssignment, 0},
        {"1.50", SQL_C_BIT, kErrFractionalTruncation, 1},
        {"0.5", SQL_C_BIT, kErrFractionalTruncation, 0},
        {"-0.5", SQL_C_BIT, kErrNumericRange, 0},
        {"1", SQL_C_BIT, 0, 1},
        {"2", SQL_C_BIT, kErrNumericRange, 0},
        {"x", SQL_C_BIT, kErrNumericRange, 0},  // any failure of a BIT is out of range
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" to " << CTypeName(c.cType));
        alignas(8) unsigned char buf[16];
        std::memset(buf, 0xEE, sizeof buf);
        SQLLEN len = -99;
        uint32_t err = 5;
        // The application's buffer length is not consulted for fixed-size results.
        const int rc = ConvertCHAR(c.text, std::strlen(c.text), std::strlen(c.text), c.cType, buf, 1, &len, &err, 0, 0);
        const bool warning = c.err == kErrFractionalTruncation;
        if (c.err && !warning) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(err, c.err);
        } else {
            EXPECT_EQ(rc, warning ? 1 : 0);
            EXPECT_EQ(err, c.err);
            const int size = CTypeOctetSize(c.cType);
            EXPECT_EQ(len, size);
            int64_t v = 0;
            if (size == 1)
                v = (c.cType == SQL_C_UTINYINT || c.cType == SQL_C_BIT) ? buf[0] : static_cast<int8_t>(buf[0]);
            if (size == 2) {
                int16_t s;
                uint16_t u;
                std::memcpy(&s, buf, 2);
                std::memcpy(&u, buf, 2);
                v = c.cType == SQL_C_USHORT ? int64_t{u} : int64_t{s};
            }
            if (size == 4) {
                int32_t s;
                uint32_t u;
                std::memcpy(&s, buf, 4);
                std::memcpy(&u, buf, 4);
                v = c.cType == SQL_C_ULONG ? int64_t{u} : int64_t{s};
            }
            if (size == 8) std::memcpy(&v, buf, 8);
            EXPECT_EQ(v, c.expect);
        }
        // The wide parser gives the same answer.
        const U16 w(c.text, c.text + std::strlen(c.text));
        uint32_t werr = 5;
        const int wrc = ConvertWCHAR(w.data(), w.size() * 2, w.size() * 2, c.cType, buf, 1, &len, &werr, 0, 0);
        EXPECT_EQ(wrc, rc);
        EXPECT_EQ(werr, err);
    }
}

TEST(TextToDecimal, SeparatorsCurrencyBlanksAndLimits) {
    struct Case {
        const char* text;
        uint32_t err;
        double expect;
    };
    for (const Case& c :
         {Case{"1,234.5", 0, 1234.5}, Case{"$12.5", 0, 12.5}, Case{" -3.25e2", 0, -325}, Case{"1.5 ", 0, 1.5},
          Case{"+2", 0, 2}, Case{"1.5x", kErrAssignment, 0}, Case{"abc", kErrAssignment, 0},
          Case{"", kErrAssignment, 0}, Case{"1e400", kErrNumericRange, 0}, Case{"1e-400", 0, 0},
          Case{"0x10", kErrAssignment, 0}, Case{"1 2", kErrAssignment, 0}, Case{"+-2", kErrAssignment, 0}}) {
        SCOPED_TRACE(c.text);
        double d = -1;
        uint32_t err;
        const int rc = CharToDecimal(c.text, std::strlen(c.text), &d, &err);
        EXPECT_EQ(rc, c.err ? -1 : 0);
        EXPECT_EQ(err, c.err);
        if (!c.err) {
            EXPECT_EQ(d, c.expect);
        }
    }
    const std::string longText(513, '1');
    double d;
    uint32_t err;
    EXPECT_EQ(CharToDecimal(longText.data(), longText.size(), &d, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    const std::string okText(512, '1');
    EXPECT_EQ(CharToDecimal(okText.data(), okText.size(), &d, &err), -1);  // 1e511 overflows
    EXPECT_EQ(err, kErrNumericRange);
    // Through the converter: a float that cannot hold the value is out of range.
    float f;
    SQLLEN len;
    EXPECT_EQ(ConvertCHAR("1e300", 5, 5, SQL_C_FLOAT, &f, 4, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(ConvertCHAR("2.5", 3, 3, SQL_C_FLOAT, &f, 4, &len, &err, 0, 0), 0);
    EXPECT_EQ(f, 2.5f);
}

uint64_t Mag64(const SQL_NUMERIC_STRUCT& n) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v * 256 + n.val[i];
    return v;
}

TEST(TextToNumeric, ScaleAndPrecision) {
    struct Case {
        const char* text;
        int scale, precision;
        int rc;
        uint32_t err;
        uint64_t mag;
        int sign;
        int outPrecision;
    };
    const Case cases[] = {
        {"1.2345", 2, 10, 1, kErrFractionalTruncation, 123, 1, 10},
        {"0.5", 1, 0, 0, 0, 5, 1, 2},
        {"-12.5", 1, 0, 0, 0, 125, 0, 3},
        {"12", 2, 0, 0, 0, 1200, 1, 2},
        {"  7.10  ", 1, 5, 0, 0, 71, 1, 5},
        {"123.456", 3, 5, 1, kErrFractionalTruncation, 123450, 1, 5},
        {"123456", 0, 5, -1, kErrNumericRange, 0, 0, 0},
        {"12x", 0, 0, -1, kErrAssignment, 0, 0, 0},
        {"1.2.3", 0, 0, -1, kErrAssignment, 0, 0, 0},
        {"", 0, 0, -1, kErrAssignment, 0, 0, 0},
        {"-", 0, 0, -1, kErrAssignment, 0, 0, 0},
        {"inf", 0, 0, -1, kErrAssignment, 0, 0, 0},
        {"1.5e3", 0, 0, 0, 0, 1500, 1, 4},
        {"25E-1", 1, 0, 0, 0, 25, 1, 2},
        {"-0.00", 2, 0, 0, 0, 0, 1, 3},
        {"007", 0, 1, 0, 0, 7, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" scale " << c.scale << " precision " << c.precision);
        SQL_NUMERIC_STRUCT n;
        std::memset(&n, 0xEE, sizeof n);
        SQLLEN len = 0;
        uint32_t err = 9;
        const int rc = ConvertCHAR(c.text, std::strlen(c.text), std::strlen(c.text), SQL_C_NUMERIC, &n, 0, &len, &err,
                                   c.scale, c.precision);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(err, c.err);
        if (rc < 0) continue;
        EXPECT_EQ(len, 19);
        EXPECT_EQ(Mag64(n), c.mag);
        for (int i = 8; i < 16; ++i) EXPECT_EQ(n.val[i], 0);
        EXPECT_EQ(n.sign, c.sign);
        EXPECT_EQ(n.scale, c.scale);
        EXPECT_EQ(n.precision, c.outPrecision);
    }
}

TEST(TextToNumeric, ThirtyNineDigitsUseAllSixteenBytes) {
    // 10^38 - 1, a DECIMAL(38) maximum, and 2^128 - 1.
    const std::string nines(38, '9');
    SQL_NUMERIC_STRUCT n;
    uint32_t err;
    ASSERT_EQ(CharToNumeric(nines.data(), nines.size(), &n, 0, 38, &err), 0);
    unsigned __int128 v = 0;
    for (int i = 15; i >= 0; --i) v = (v << 8) | n.val[i];
    unsigned __int128 want = 0;
    for (int i = 0; i < 38; ++i) want = want * 10 + 9;
    EXPECT_TRUE(v == want);
    const char* maxText = "340282366920938463463374607431768211455";
    ASSERT_EQ(CharToNumeric(maxText, std::strlen(maxText), &n, 0, 39, &err), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(n.val[i], 0xFF);
    const char* over = "340282366920938463463374607431768211456";
    EXPECT_EQ(CharToNumeric(over, std::strlen(over), &n, 0, 39, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    // Wide text goes the same way.
    const U16 w = u"-12345678901234567890.5";
    EXPECT_EQ(WCharToNumeric(reinterpret_cast<const SQLWCHAR*>(w.data()), w.size(), &n, 1, 0, &err), 0);
    v = 0;
    for (int i = 15; i >= 0; --i) v = (v << 8) | n.val[i];
    want = 0;
    for (char ch : std::string("123456789012345678905")) want = want * 10 + static_cast<unsigned>(ch - '0');
    EXPECT_TRUE(v == want);
    EXPECT_EQ(n.sign, 0);
}

TEST(TextToGuid, ExactFormOnly) {
    const char* text = "6F9619FF-8B86-d011-B42D-00C04FC964FF";
    SQLGUID g;
    SQLLEN len;
    uint32_t err;
    ASSERT_EQ(ConvertCHAR(text, 36, 36, SQL_C_GUID, &g, 0, &len, &err, 0, 0), 0);
    EXPECT_EQ(len, 16);
    EXPECT_EQ(g.Data1, 0x6F9619FFu);
    EXPECT_EQ(g.Data2, 0x8B86);
    EXPECT_EQ(g.Data3, 0xD011);
    const unsigned char d4[8] = {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF};
    EXPECT_EQ(std::memcmp(g.Data4, d4, 8), 0);
    char back[37] = {};
    GuidToText(back, g);
    EXPECT_STREQ(back, "6F9619FF-8B86-D011-B42D-00C04FC964FF");

    const char* braces = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    EXPECT_EQ(ConvertCHAR(braces, 38, 38, SQL_C_GUID, &g, 0, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrLengthMismatch);
    const char* noDash = "6F9619FF+8B86-D011-B42D-00C04FC964FF";
    EXPECT_EQ(CharToGuid(noDash, 36, &g, &err), -1);
    EXPECT_EQ(err, kErrAssignment);
    const char* notHex = "6F9619FG-8B86-D011-B42D-00C04FC964FF";
    EXPECT_EQ(CharToGuid(notHex, 36, &g, &err), -1);
    EXPECT_EQ(err, kErrAssignment);
}

TEST(TextConverters, TextToDateTimeIsNotSupportedAndUnknownTypesRefused) {
    char buf[32];
    SQLLEN len;
    uint32_t err;
    for (int t : {SQL_C_DATE, SQL_C_TIME, SQL_C_TIMESTAMP, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP}) {
        EXPECT_EQ(ConvertCHAR("2024-01-01", 10, 10, t, buf, 32, &len, &err, 0, 0), -1);
        EXPECT_EQ(err, kErrNotCapable);
    }
    EXPECT_EQ(ConvertCHAR("1", 1, 1, 12345, buf, 32, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrRestrictedType);
    const U16 w = u"1";
    EXPECT_EQ(ConvertWCHAR(w.data(), 2, 2, SQL_C_GUID, buf, 32, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrRestrictedType);
}

TEST(TextConverters, WideTextToBinaryIsItsRawBytes) {
    const U16 w = u"A\u00E9";
    unsigned char buf[8];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertWCHAR(w.data(), 4, 4, SQL_C_BINARY, buf, 8, &len, &err, 0, 0), 0);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(std::memcmp(buf, w.data(), 4), 0);
}

// ---- Copy-out rules --------------------------------------------------------------------------

TEST(CopyOut, CharRules) {
    char buf[8];
    SQLLEN len;
    uint32_t err;
    uint64_t used;
    // Fits, more of the value follows elsewhere: 01004 with the total.
    EXPECT_EQ(CopyOutChar("abc", 3, 3, 10, true, true, buf, 8, &len, &err, &used), 1);
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_EQ(len, 10);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(used, 3u);
    // SQL_NO_TOTAL says nothing about more data.
    EXPECT_EQ(CopyOutChar("abc", 3, 3, SQL_NO_TOTAL, true, true, buf, 8, &len, &err, &used), 0);
    EXPECT_EQ(len, SQL_NO_TOTAL);
    // Exactly the NUL too many.
    EXPECT_EQ(CopyOutChar("abcdefgh", 8, 8, 8, true, true, buf, 8, &len, &err, &used), 1);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(used, 7u);
    // Refused truncation writes nothing.
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(CopyOutChar("abcdefgh", 8, 8, 0, true, false, buf, 8, &len, &err, &used), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(buf[0], 'z');
    // Without a NUL every byte of the buffer is used.
    EXPECT_EQ(CopyOutChar("abcdefghij", 10, 10, 0, false, true, buf, 8, &len, &err, &used), 1);
    EXPECT_EQ(std::string(buf, 8), "abcdefgh");
    EXPECT_EQ(len, 10);
    // A null length pointer is allowed.
    EXPECT_EQ(CopyOutChar("ab", 2, 2, 0, true, true, buf, 8, nullptr, &err, &used), 0);
    // Negative buffer length counts as none.
    EXPECT_EQ(CopyOutChar("ab", 2, 2, 0, true, true, buf, -5, &len, &err, &used), 1);
    EXPECT_EQ(used, 0u);
}

TEST(CopyOut, TruncatedTextFillsTheBufferEvenInsideACharacter) {
    // ODBC counts bytes: a piece that stopped before a character it cannot hold whole would
    // never advance in a buffer smaller than that character.
    const std::string s = "\xE2\x82\xAC\xE2\x82\xAC";  // two euro signs
    for (int64_t b = 2; b <= 6; ++b) {
        char buf[8];
        SQLLEN len;
        uint32_t err;
        uint64_t used;
        EXPECT_EQ(CopyOutChar(s.data(), s.size(), s.size(), 0, true, true, buf, b, &len, &err, &used), 1) << b;
        EXPECT_EQ(used, uint64_t(b - 1)) << b;
        EXPECT_EQ(std::string(buf), s.substr(0, size_t(b - 1))) << b;
        EXPECT_EQ(len, 6);
    }
}

TEST(CopyOut, WideRules) {
    const U16 s = u"ab\U0001F600";  // 4 units, 8 bytes
    SQLWCHAR buf[8];
    SQLLEN len;
    uint32_t err;
    uint64_t used;
    EXPECT_EQ(CopyOutWide(s.data(), 8, 8, 0, true, true, buf, 10, &len, &err, &used), 0);
    EXPECT_EQ(used, 8u);
    EXPECT_EQ(len, 8);
    // Room for three units and the NUL would split the pair: two units go.
    EXPECT_EQ(CopyOutWide(s.data(), 8, 8, 0, true, true, buf, 8, &len, &err, &used), 1);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(WideAt(buf, 3), U16(u"ab") + u'\0');
    // An odd buffer length is rounded down.
    EXPECT_EQ(CopyOutWide(s.data(), 8, 8, 0, true, true, buf, 5, &len, &err, &used), 1);
    EXPECT_EQ(used, 2u);
    // A one-byte buffer has no room even for the NUL.
    buf[0] = 0x1234;
    EXPECT_EQ(CopyOutWide(s.data(), 8, 8, 0, true, true, buf, 1, &len, &err, &used), 1);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(buf[0], 0x1234);
}

TEST(CopyOut, NarrowToWideAndBack) {
    // UTF-8 to UTF-16 reports UTF-16 bytes.
    const std::string s = "x\xC3\xA9\xE2\x82\xACy";
    SQLWCHAR w[8];
    SQLLEN len;
    uint32_t err;
    uint64_t used;
    EXPECT_EQ(CopyOutCharToWide(s.data(), s.size(), s.size(), 0, true, true, w, sizeof w, &len, &err, &used), 0);
    EXPECT_EQ(len, 8);
    EXPECT_EQ(used, s.size());
    EXPECT_EQ(WideAt(w, 5), U16(u"x\u00E9\u20ACy") + u'\0');
    EXPECT_EQ(CopyOutCharToWide(s.data(), s.size(), s.size(), 0, true, false, w, 8, &len, &err, &used), -1);
    EXPECT_EQ(err, kErrNumericRange);

    // Bytes that are no UTF-8 are no character of a wide buffer: refused (22018), not rewritten.
    for (const std::string& bad : {std::string("x\xFF"
                                               "y"),
                                   std::string("a\xC0\xA7"
                                               "b"),
                                   std::string("\xED\xA0\x80"), std::string("cut\xE2\x82")}) {
        err = 0;
        EXPECT_EQ(CopyOutCharToWide(bad.data(), bad.size(), bad.size(), 0, true, true, w, sizeof w, &len, &err, &used),
                  -1)
            << bad;
        EXPECT_EQ(err, kErrCastValue) << bad;
    }
    // A character cut by the end of a piece is whole once the rest of the value comes.
    const std::string head = "ab\xE2\x82";
    EXPECT_EQ(CopyOutCharToWide(head.data(), head.size(), head.size(), 10, true, true, w, sizeof w, &len, &err, &used),
              1);
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(WideAt(w, 3), U16(u"ab") + u'\0');

    // UTF-16 to UTF-8: a lone surrogate is refused too; lengths in bytes.
    const SQLWCHAR lone[] = {u'a', 0xD800, u'b'};
    char n[16];
    EXPECT_EQ(CopyOutWideToChar(lone, 3, 3, 0, true, true, n, sizeof n, &len, &err, &used), -1);
    EXPECT_EQ(err, kErrCastValue);
    const SQLWCHAR text[] = {u'a', u'\u00E9', 0xD83D, 0xDE00, u'b'};
    EXPECT_EQ(CopyOutWideToChar(text, 5, 5, 0, true, true, n, sizeof n, &len, &err, &used), 0);
    EXPECT_STREQ(n,
                 "a\xC3\xA9\xF0\x9F\x98\x80"
                 "b");
    EXPECT_EQ(len, 8);
    EXPECT_EQ(CopyOutWideToChar(text, 5, 5, 0, true, true, n, 4, &len, &err, &used), 1);
    EXPECT_STREQ(n, "a\xC3\xA9");
    EXPECT_EQ(used, 2u);
    // A piece of a longer value: the UTF-8 size of the rest is unknown, and a pair its end cuts
    // waits for its second half.
    EXPECT_EQ(CopyOutWideToChar(text, 3, 3, 100, true, true, n, sizeof n, &len, &err, &used), 1);
    EXPECT_EQ(len, SQL_NO_TOTAL);
    EXPECT_EQ(used, 2u);
    EXPECT_STREQ(n, "a\xC3\xA9");
}

}  // namespace
