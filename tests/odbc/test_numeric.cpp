// Integer, floating-point and NUMERIC conversions: ranges, signs, text and binary targets.
#include "tests/odbc/datapath_fixture.h"

#include <cmath>
#include <limits>

namespace {

// Reads back a fixed-size integer target as a signed or unsigned 64-bit number.
int64_t ReadInt(const unsigned char* buf, int cType) {
    switch (cType) {
        case SQL_C_UTINYINT:
        case SQL_C_BIT:
            return buf[0];
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            return static_cast<int8_t>(buf[0]);
        case SQL_C_USHORT: {
            uint16_t v;
            std::memcpy(&v, buf, 2);
            return v;
        }
        case SQL_C_SSHORT:
        case SQL_C_SHORT: {
            int16_t v;
            std::memcpy(&v, buf, 2);
            return v;
        }
        case SQL_C_ULONG: {
            uint32_t v;
            std::memcpy(&v, buf, 4);
            return v;
        }
        case SQL_C_SLONG:
        case SQL_C_LONG: {
            int32_t v;
            std::memcpy(&v, buf, 4);
            return v;
        }
        default: {
            int64_t v;
            std::memcpy(&v, buf, 8);
            return v;
        }
    }
}

uint64_t Magnitude(const SQL_NUMERIC_STRUCT& n) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v * 256 + n.val[i];
    return v;
}

struct IntCase {
    int width;  // 1, 2 or 4 bytes
    bool isSigned;
    int64_t value;  // as the column holds it
    int cType;
    uint32_t err;    // 0 or the error
    int64_t expect;  // value read back on success
};

int RunInt(const IntCase& c, unsigned char* buf, int64_t bufLen, SQLLEN* len, uint32_t* err, int scale = 0,
           int precision = 0) {
    switch (c.width) {
        case 1:
            return ConvertBYTE(static_cast<uint8_t>(c.value), c.isSigned, c.cType, buf, bufLen, len, err, scale,
                               precision);
        case 2:
            return ConvertSHORT(static_cast<uint16_t>(c.value), c.isSigned, c.cType, buf, bufLen, len, err, scale,
                                precision);
        default:
            return ConvertLONG(static_cast<uint32_t>(c.value), c.isSigned, c.cType, buf, bufLen, len, err, scale,
                               precision);
    }
}

TEST(IntegerSources, RangesAndSigns) {
    const IntCase cases[] = {
        {2, true, 300, SQL_C_TINYINT, kErrNumericRange, 0},
        {2, true, 127, SQL_C_TINYINT, 0, 127},
        {2, true, -128, SQL_C_STINYINT, 0, -128},
        {2, true, -129, SQL_C_STINYINT, kErrNumericRange, 0},
        {1, false, 200, SQL_C_STINYINT, kErrNumericRange, 0},
        {1, false, 200, SQL_C_UTINYINT, 0, 200},
        {1, true, -1, SQL_C_UTINYINT, kErrNumericRange, 0},
        // Negative values never reach unsigned targets.
        {1, true, -1, SQL_C_USHORT, kErrNumericRange, 0},
        {2, true, -1, SQL_C_ULONG, kErrNumericRange, 0},
        {4, true, -1, SQL_C_UBIGINT, kErrNumericRange, 0},
        {4, true, -1, SQL_C_ULONG, kErrNumericRange, 0},
        {2, true, -5, SQL_C_USHORT, kErrNumericRange, 0},
        // Unsigned sources are tested as the unsigned values they are.
        {2, false, 40000, SQL_C_SSHORT, kErrNumericRange, 0},
        {2, false, 40000, SQL_C_USHORT, 0, 40000},
        {2, false, 65535, SQL_C_TINYINT, kErrNumericRange, 0},
        {4, false, 4294967295, SQL_C_STINYINT, kErrNumericRange, 0},
        {4, false, 4294967295, SQL_C_SHORT, kErrNumericRange, 0},
        {4, false, 4294967295, SQL_C_SLONG, kErrNumericRange, 0},
        {4, false, 2147483648, SQL_C_LONG, kErrNumericRange, 0},
        {4, false, 4294967295, SQL_C_ULONG, 0, 4294967295},
        {4, false, 4294967295, SQL_C_SBIGINT, 0, 4294967295},
        {4, true, -2147483648, SQL_C_SBIGINT, 0, -2147483648LL},
        {4, true, 65535, SQL_C_USHORT, 0, 65535},
        {4, true, 65536, SQL_C_USHORT, kErrNumericRange, 0},
        {4, true, 255, SQL_C_UTINYINT, 0, 255},
        {4, true, 256, SQL_C_UTINYINT, kErrNumericRange, 0},
        {1, false, 1, SQL_C_BIT, 0, 1},
        {1, false, 2, SQL_C_BIT, kErrNumericRange, 0},
        {2, true, -1, SQL_C_BIT, kErrNumericRange, 0},
        {4, true, 0, SQL_C_BIT, 0, 0},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "-byte " << (c.isSigned ? "signed " : "unsigned ") << c.value
                                        << " to " << CTypeName(c.cType));
        alignas(8) unsigned char buf[16];
        std::memset(buf, 0xEE, sizeof buf);
        SQLLEN len = -99;
        uint32_t err = 12345;
        const int rc = RunInt(c, buf, sizeof buf, &len, &err);
        if (c.err) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(err, c.err);
            EXPECT_EQ(buf[0], 0xEE);  // nothing written
            continue;
        }
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(len, CTypeOctetSize(c.cType));
        EXPECT_EQ(ReadInt(buf, c.cType), c.expect);
        EXPECT_EQ(buf[CTypeOctetSize(c.cType)], 0xEE);  // no byte beyond the type's size
    }
}

TEST(IntegerSources, FloatingTargetsKeepTheSign) {
    float f;
    double d;
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertLONG(0xFFFFFFFFu, false, SQL_C_DOUBLE, &d, 8, &len, &err, 0, 0), 0);
    EXPECT_EQ(d, 4294967295.0);
    EXPECT_EQ(ConvertLONG(0xFFFFFFFFu, true, SQL_C_DOUBLE, &d, 8, &len, &err, 0, 0), 0);
    EXPECT_EQ(d, -1.0);
    EXPECT_EQ(ConvertSHORT(0xFFFF, true, SQL_C_FLOAT, &f, 4, &len, &err, 0, 0), 0);
    EXPECT_EQ(f, -1.0f);
    EXPECT_EQ(len, 4);
}

TEST(IntegerSources, TextTargets) {
    struct Case {
        int width;
        bool isSigned;
        int64_t value;
        const char* text;
    };
    for (const Case& c : {Case{1, true, -5, "-5"}, Case{1, false, 250, "250"}, Case{2, true, -32768, "-32768"},
                          Case{2, false, 65535, "65535"}, Case{4, true, -2147483648LL, "-2147483648"},
                          Case{4, false, 4294967295LL, "4294967295"}}) {
        IntCase ic{c.width, c.isSigned, c.value, SQL_C_CHAR, 0, 0};
        unsigned char buf[32];
        SQLLEN len;
        uint32_t err;
        EXPECT_EQ(RunInt(ic, buf, sizeof buf, &len, &err), 0);
        EXPECT_STREQ(reinterpret_cast<char*>(buf), c.text);
        EXPECT_EQ(len, static_cast<SQLLEN>(std::strlen(c.text)));
        ic.cType = SQL_C_WCHAR;
        EXPECT_EQ(RunInt(ic, buf, sizeof buf, &len, &err), 0);
        EXPECT_EQ(len, static_cast<SQLLEN>(2 * std::strlen(c.text)));
        EXPECT_EQ(WideAt(buf, std::strlen(c.text) + 1), U16(c.text, c.text + std::strlen(c.text)) + u'\0');
    }
    // A short buffer truncates with 01004 and the full length.
    char small[3];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertLONG(12345, true, SQL_C_CHAR, small, 3, &len, &err, 0, 0), 1);
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_STREQ(small, "12");
    EXPECT_EQ(len, 5);
}

TEST(IntegerSources, BinaryTargetRefusesTruncation) {
    unsigned char buf[8];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertLONG(0x11223344u, true, SQL_C_BINARY, buf, 8, &len, &err, 0, 0), 0);
    EXPECT_EQ(len, 4);
    uint32_t back;
    std::memcpy(&back, buf, 4);
    EXPECT_EQ(back, 0x11223344u);
    EXPECT_EQ(ConvertLONG(1, true, SQL_C_BINARY, buf, 2, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(ConvertSHORT(1, true, SQL_C_BINARY, buf, 0, &len, &err, 0, 0), 1);
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_EQ(len, 2);
}

TEST(IntegerSources, NumericIsExact) {
    SQL_NUMERIC_STRUCT n;
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertLONG(3000000000u, false, SQL_C_NUMERIC, &n, 0, &len, &err, 0, 0), 0);
    EXPECT_EQ(n.sign, 1);
    EXPECT_EQ(n.precision, 9);
    EXPECT_EQ(Magnitude(n), 3000000000u);
    EXPECT_EQ(len, 19);
    EXPECT_EQ(ConvertBYTE(0xD6, true, SQL_C_NUMERIC, &n, 0, &len, &err, 2, 0), 0);  // -42
    EXPECT_EQ(n.sign, 0);
    EXPECT_EQ(n.scale, 2);
    EXPECT_EQ(n.precision, 2);
    EXPECT_EQ(Magnitude(n), 4200u);
    // An exact integer is no fractional truncation whatever the precision.
    EXPECT_EQ(ConvertSHORT(5, true, SQL_C_NUMERIC, &n, 0, &len, &err, 0, 20), 0);
    EXPECT_EQ(err, 0u);
    EXPECT_EQ(ConvertLONG(2000000000, true, SQL_C_NUMERIC, &n, 0, &len, &err, 30, 38), -1);
    EXPECT_EQ(err, kErrNumericRange);  // 2e39 does not fit 128 bits
    EXPECT_EQ(ConvertLONG(12345, true, SQL_C_NUMERIC, &n, 0, &len, &err, -2, 5), 1);
    EXPECT_EQ(err, kErrFractionalTruncation);
    EXPECT_EQ(Magnitude(n), 123u);
}

struct FloatCase {
    double value;
    bool isFloat;
    int cType;
    uint32_t err;
    double expect;
};

TEST(FloatingSources, RangesTruncationAndSpecialValues) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const FloatCase cases[] = {
        {255.5, false, SQL_C_UTINYINT, kErrNumericRange, 0},
        {254.9, false, SQL_C_UTINYINT, 0, 254},
        {-0.5, false, SQL_C_UTINYINT, kErrNumericRange, 0},
        {-128.0, false, SQL_C_TINYINT, 0, -128},
        {-2.7, false, SQL_C_SHORT, 0, -2},
        {1.5, false, SQL_C_BIT, kErrNumericRange, 0},
        {1.0, false, SQL_C_BIT, 0, 1},
        {2147483647.0, false, SQL_C_LONG, 0, 2147483647.0},
        {2147483648.0, false, SQL_C_LONG, kErrNumericRange, 0},
        {-2147483648.9, false, SQL_C_LONG, kErrNumericRange, 0},
        {4294967295.0, false, SQL_C_ULONG, 0, 4294967295.0},
        {9223372036854775808.0, false, SQL_C_SBIGINT, kErrNumericRange, 0},
        {-9223372036854775808.0, false, SQL_C_SBIGINT, 0, -9223372036854775808.0},
        {18446744073709551616.0, false, SQL_C_UBIGINT, kErrNumericRange, 0},
        {-1.0, false, SQL_C_UBIGINT, kErrNumericRange, 0},
        {nan, false, SQL_C_LONG, kErrNumericRange, 0},
        {nan, false, SQL_C_UBIGINT, kErrNumericRange, 0},
        {nan, false, SQL_C_BIT, kErrNumericRange, 0},
        {inf, false, SQL_C_SBIGINT, kErrNumericRange, 0},
        {-inf, false, SQL_C_SHORT, kErrNumericRange, 0},
        {inf, true, SQL_C_LONG, kErrNumericRange, 0},
        {1e300, false, SQL_C_FLOAT, kErrNumericRange, 0},
        {1e30, false, SQL_C_FLOAT, 0, static_cast<double>(1e30f)},
        {inf, false, SQL_C_FLOAT, 0, inf},
        {65504.0, true, SQL_C_USHORT, 0, 65504},
    };
    for (const FloatCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << (c.isFloat ? "f" : "") << " to " << CTypeName(c.cType));
        alignas(8) unsigned char buf[16];
        std::memset(buf, 0xEE, sizeof buf);
        SQLLEN len = -99;
        uint32_t err = 777;
        const int rc = c.isFloat ? ConvertFLOAT(static_cast<float>(c.value), c.cType, buf, 16, &len, &err, 0, 0)
                                 : ConvertDOUBLE(c.value, c.cType, buf, 16, &len, &err, 0, 0);
        if (c.err) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(err, c.err);
            continue;
        }
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(err, 0u);
        EXPECT_EQ(len, CTypeOctetSize(c.cType));
        if (c.cType == SQL_C_FLOAT) {
            float f;
            std::memcpy(&f, buf, 4);
            EXPECT_EQ(static_cast<double>(f), c.expect);
        } else if (c.cType == SQL_C_UBIGINT) {
            uint64_t v;
            std::memcpy(&v, buf, 8);
            EXPECT_EQ(static_cast<double>(v), c.expect);
        } else {
            EXPECT_EQ(static_cast<double>(ReadInt(buf, c.cType)), c.expect);
        }
    }
}

TEST(FloatingSources, TextUsesSignificantDigits) {
    struct Case {
        double value;
        bool isFloat;
        const char* text;
    };
    for (const Case& c : {Case{1.5, false, "1.5"}, Case{0.1, false, "0.10000000000000001"}, Case{0.1, true, "0.1"},
                          Case{1.0 / 3, true, "0.33333334"}, Case{100.0, false, "100"}, Case{-2.25, true, "-2.25"},
                          Case{1e20, false, "1e+20"}, Case{1.25e-7, false, "1.2499999999999999e-07"}}) {
        char buf[40];
        SQLLEN len;
        uint32_t err;
        const int rc = c.isFloat ? ConvertFLOAT(static_cast<float>(c.value), SQL_C_CHAR, buf, 40, &len, &err, 0, 0)
                                 : ConvertDOUBLE(c.value, SQL_C_CHAR, buf, 40, &len, &err, 0, 0);
        EXPECT_EQ(rc, 0);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(len, static_cast<SQLLEN>(std::strlen(c.text)));
    }
    char small[4];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertDOUBLE(3.14159, SQL_C_CHAR, small, 4, &len, &err, 0, 0), 1);
    EXPECT_EQ(err, kErrTruncated);
    EXPECT_STREQ(small, "3.1");
    EXPECT_EQ(len, 18);  // "3.1415899999999999"
    SQLWCHAR wbuf[8];
    EXPECT_EQ(ConvertDOUBLE(-0.5, SQL_C_WCHAR, wbuf, sizeof wbuf, &len, &err, 0, 0), 0);
    EXPECT_EQ(WideAt(wbuf, 5), U16(u"-0.5") + u'\0');
    EXPECT_EQ(len, 8);
}

TEST(FloatingSources, BinaryIsRawAndRefusesTruncation) {
    unsigned char buf[8];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertDOUBLE(2.5, SQL_C_BINARY, buf, 8, &len, &err, 0, 0), 0);
    double back;
    std::memcpy(&back, buf, 8);
    EXPECT_EQ(back, 2.5);
    EXPECT_EQ(ConvertDOUBLE(2.5, SQL_C_BINARY, buf, 4, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(ConvertFLOAT(2.5f, SQL_C_BINARY, buf, 4, &len, &err, 0, 0), 0);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(ConvertDOUBLE(2.5, SQL_C_GUID, buf, 8, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrRestrictedType);
}

TEST(DoubleToNumericTest, ScalePrecisionAndSpecialValues) {
    SQL_NUMERIC_STRUCT n;
    uint32_t err;
    EXPECT_EQ(DoubleToNumeric(12.345, &n, 2, 5, &err), 0);
    EXPECT_EQ(Magnitude(n), 1234u);
    EXPECT_EQ(n.sign, 1);
    EXPECT_EQ(n.scale, 2);
    EXPECT_EQ(n.precision, 5);
    EXPECT_EQ(DoubleToNumeric(-7.9, &n, 0, 5, &err), 0);
    EXPECT_EQ(Magnitude(n), 7u);
    EXPECT_EQ(n.sign, 0);
    EXPECT_EQ(DoubleToNumeric(12.5, &n, 1, 20, &err), 1);
    EXPECT_EQ(err, kErrFractionalTruncation);
    EXPECT_EQ(Magnitude(n), 125u);
    EXPECT_EQ(DoubleToNumeric(1e17, &n, 0, 20, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(DoubleToNumeric(1e30, &n, 10, 15, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(DoubleToNumeric(std::numeric_limits<double>::infinity(), &n, 0, 15, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    EXPECT_EQ(DoubleToNumeric(std::numeric_limits<double>::quiet_NaN(), &n, 0, 15, &err), -1);
    EXPECT_EQ(err, kErrNumericRange);
    // Above 2^32 the magnitude is taken byte by byte.
    EXPECT_EQ(DoubleToNumeric(123456789012.0, &n, 2, 15, &err), 0);
    EXPECT_EQ(Magnitude(n), 12345678901200u);
    uint8_t mag[16];
    DoubleToMagnitude(std::ldexp(1.0, 100) * 3, mag);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(mag[i], i == 12 ? 0x30 : 0) << i;
    EXPECT_EQ(DoublePow(10, 3), 1000.0);
    EXPECT_EQ(DoublePow(10, -2), 0.01);
    EXPECT_EQ(DoublePow(2, 0), 1.0);
}

TEST(DoubleToNumericTest, FromFloatAndDoubleColumns) {
    SQL_NUMERIC_STRUCT n;
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertDOUBLE(12.345, SQL_C_NUMERIC, &n, 0, &len, &err, 2, 5), 0);
    EXPECT_EQ(Magnitude(n), 1234u);
    EXPECT_EQ(len, 19);
    EXPECT_EQ(ConvertDOUBLE(3.0, SQL_C_NUMERIC, &n, 0, &len, &err, 0, 0), 0);
    EXPECT_EQ(n.precision, 15);
    EXPECT_EQ(ConvertFLOAT(3.0f, SQL_C_NUMERIC, &n, 0, &len, &err, 0, 0), 0);
    EXPECT_EQ(n.precision, 7);
    EXPECT_EQ(ConvertDOUBLE(std::numeric_limits<double>::infinity(), SQL_C_NUMERIC, &n, 0, &len, &err, 0, 0), -1);
    EXPECT_EQ(err, kErrNumericRange);
}

}  // namespace
