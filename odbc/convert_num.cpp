// Numeric, date/time and binary sources, NULL clearing and the NUMERIC builders.
#include "odbc/convert.h"
#include "odbc/convert_out.h"
#include "odbc/convert_trace.h"
#include "odbc/convert_utf.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using u128 = unsigned __int128;

int Fail(uint32_t* err, uint32_t code) {
    *err = code;
    return -1;
}

// A fixed-size target of type T: v converted when the caller found it in range.
template <class T, class V>
int StoreAs(bool inRange, V v, void* target, SQLLEN* lenPtr, uint32_t* err) {
    if (!inRange) return Fail(err, kErrNumericRange);
    const T t = static_cast<T>(v);
    return FixedOut(&t, sizeof t, target, lenPtr, err);
}

// A NUMERIC target once the structure is built (rc from the builder).
int NumericOut(const SQL_NUMERIC_STRUCT& n, int rc, void* target, SQLLEN* lenPtr, uint32_t* err) {
    if (rc < 0) return -1;
    return FixedOut(&n, sizeof n, target, lenPtr, err, rc);
}

// Text of a value into a narrow or wide target; truncation allowed unless said otherwise.
int TextOut(const char* text, size_t n, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
            bool allowTrunc = true) {
    if (cType == SQL_C_WCHAR) return CopyOutCharToWide(text, n, n, 0, true, allowTrunc, target, bufLen, lenPtr, err);
    return CopyOutChar(text, n, n, 0, true, allowTrunc, target, bufLen, lenPtr, err);
}

// Raw bytes of a value into a binary target: a short buffer is refused, an empty one warned.
int RawOut(const void* value, size_t size, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err) {
    return CopyOutChar(value, size, size, 0, false, false, target, bufLen, lenPtr, err);
}

// Exact NUMERIC of an integer: magnitude * 10^scale. The precision is recorded, not enforced,
// as for floating-point sources (the default precisions 2, 4 and 9 are narrower than the widest
// values of their types).
int IntegerToNumeric(bool negative, uint64_t magnitude, int scale, int precision, SQL_NUMERIC_STRUCT* out,
                     uint32_t* err) {
    u128 mag = magnitude;
    int rc = 0;
    *err = kErrNone;
    if (scale >= 0) {
        for (int i = 0; i < scale; ++i) {
            if (mag > (~u128{0}) / 10) return Fail(err, kErrNumericRange);
            mag *= 10;
        }
    } else {
        for (int i = 0; i < -scale && mag != 0; ++i) {
            if (mag % 10 != 0) rc = 1;
            mag /= 10;
        }
    }
    std::memset(out, 0, sizeof *out);
    out->precision = static_cast<SQLCHAR>(precision);
    out->scale = static_cast<SQLSCHAR>(scale);
    out->sign = negative && mag != 0 ? 0 : 1;
    for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
        out->val[i] = static_cast<SQLCHAR>(mag & 0xFF);
        mag >>= 8;
    }
    if (rc) *err = kErrFractionalTruncation;
    return rc;
}

// Every integer source: value as a signed 64-bit number (the 32-bit sources always fit).
int ConvertInteger(int64_t v, unsigned width, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                   int scale, int precision, const void* raw, bool isSigned) {
    *err = kErrNone;
    auto inRange = [&](int64_t lo, int64_t hi) { return v >= lo && v <= hi; };
    switch (cType) {
        case SQL_C_UTINYINT:
            return StoreAs<uint8_t>(inRange(0, 255), v, target, lenPtr, err);
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            return StoreAs<int8_t>(inRange(-128, 127), v, target, lenPtr, err);
        case SQL_C_USHORT:
            return StoreAs<uint16_t>(inRange(0, 65535), v, target, lenPtr, err);
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return StoreAs<int16_t>(inRange(-32768, 32767), v, target, lenPtr, err);
        case SQL_C_ULONG:
            return StoreAs<uint32_t>(inRange(0, 4294967295LL), v, target, lenPtr, err);
        case SQL_C_SLONG:
        case SQL_C_LONG:
            return StoreAs<int32_t>(inRange(INT32_MIN, INT32_MAX), v, target, lenPtr, err);
        case SQL_C_UBIGINT:
            return StoreAs<uint64_t>(v >= 0, v, target, lenPtr, err);
        case SQL_C_SBIGINT:
            return StoreAs<int64_t>(true, v, target, lenPtr, err);
        case SQL_C_BIT:
            return StoreAs<uint8_t>(inRange(0, 1), v, target, lenPtr, err);
        case SQL_C_FLOAT:
            return StoreAs<float>(true, v, target, lenPtr, err);
        case SQL_C_DOUBLE:
            return StoreAs<double>(true, v, target, lenPtr, err);
        case SQL_C_NUMERIC: {
            if (precision == 0) precision = width == 1 ? 2 : width == 2 ? 4 : 9;
            SQL_NUMERIC_STRUCT n;
            const int rc = IntegerToNumeric(v < 0, v < 0 ? 0 - static_cast<uint64_t>(v) : v, scale, precision, &n, err);
            return NumericOut(n, rc, target, lenPtr, err);
        }
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            char buf[24];
            const auto r = std::to_chars(buf, buf + sizeof buf, v);
            return TextOut(buf, static_cast<size_t>(r.ptr - buf), cType, target, bufLen, lenPtr, err);
        }
        case SQL_C_BINARY:
            (void)isSigned;
            return RawOut(raw, width, target, bufLen, lenPtr, err);
        default:
            return Fail(err, kErrRestrictedType);
    }
}

// Floating-point sources; v is the value widened to double, isFloat says where it came from.
int ConvertFloating(double v, bool isFloat, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                    int scale, int precision, const void* raw) {
    *err = kErrNone;
    // NaN fails every comparison below and so is out of range for every integer target.
    auto fits = [&](double lo, double hi) { return v >= lo && v <= hi; };
    switch (cType) {
        case SQL_C_UTINYINT:
            return StoreAs<uint8_t>(fits(0, 255), v, target, lenPtr, err);
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            return StoreAs<int8_t>(fits(-128, 127), v, target, lenPtr, err);
        case SQL_C_USHORT:
            return StoreAs<uint16_t>(fits(0, 65535), v, target, lenPtr, err);
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return StoreAs<int16_t>(fits(-32768, 32767), v, target, lenPtr, err);
        case SQL_C_ULONG:
            return StoreAs<uint32_t>(fits(0, 4294967295.0), v, target, lenPtr, err);
        case SQL_C_SLONG:
        case SQL_C_LONG:
            return StoreAs<int32_t>(fits(-2147483648.0, 2147483647.0), v, target, lenPtr, err);
        case SQL_C_UBIGINT:
            return StoreAs<uint64_t>(v >= 0 && v < 18446744073709551616.0, v, target, lenPtr, err);
        case SQL_C_SBIGINT:
            return StoreAs<int64_t>(v >= -9223372036854775808.0 && v < 9223372036854775808.0, v, target, lenPtr, err);
        case SQL_C_BIT:
            return StoreAs<uint8_t>(v == 0 || v == 1, v, target, lenPtr, err);
        case SQL_C_FLOAT:
            // Infinities and NaN carry over; only a finite double beyond float is out of range.
            return StoreAs<float>(isFloat || !std::isfinite(v) || std::fabs(v) <= FLT_MAX, v, target, lenPtr, err);
        case SQL_C_DOUBLE:
            return StoreAs<double>(true, v, target, lenPtr, err);
        case SQL_C_NUMERIC: {
            if (precision == 0) precision = isFloat ? 7 : 15;
            SQL_NUMERIC_STRUCT n;
            const int rc = DoubleToNumeric(v, &n, scale, precision, err);
            return NumericOut(n, rc, target, lenPtr, err);
        }
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            char buf[40];
            FormatDouble(buf, v, isFloat ? 8 : 17);
            StripTrailingPoint(buf);
            return TextOut(buf, std::strlen(buf), cType, target, bufLen, lenPtr, err);
        }
        case SQL_C_BINARY:
            return RawOut(raw, isFloat ? 4 : 8, target, bufLen, lenPtr, err);
        default:
            return Fail(err, kErrRestrictedType);
    }
}

unsigned Clamp(long v, long max) { return static_cast<unsigned>(v < 0 ? 0 : v > max ? max : v); }

unsigned YearText(int year) {
    const long y = year < 0 ? -static_cast<long>(year) : year;
    return Clamp(y, 9999);
}

}  // namespace

int ConvertBYTE(uint8_t value, bool isSigned, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                int scale, int precision) {
    CV_TRACE("ConvertBYTE: retBufferLength(%ld) to %s", static_cast<long>(bufLen), CTypeName(cType));
    const int64_t v = isSigned ? static_cast<int8_t>(value) : value;
    return ConvertInteger(v, 1, cType, target, bufLen, lenPtr, err, scale, precision, &value, isSigned);
}

int ConvertSHORT(uint16_t value, bool isSigned, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                 int scale, int precision) {
    const int64_t v = isSigned ? static_cast<int16_t>(value) : value;
    CV_TRACE("ConvertSHORT: value(%ld) to %s", static_cast<long>(v), CTypeName(cType));
    return ConvertInteger(v, 2, cType, target, bufLen, lenPtr, err, scale, precision, &value, isSigned);
}

int ConvertLONG(uint32_t value, bool isSigned, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                int scale, int precision) {
    const int64_t v = isSigned ? static_cast<int32_t>(value) : static_cast<int64_t>(value);
    return ConvertInteger(v, 4, cType, target, bufLen, lenPtr, err, scale, precision, &value, isSigned);
}

int ConvertFLOAT(float value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, int scale,
                 int precision) {
    if (DebugTraceOn()) {
        char text[40];
        FormatDouble(text, value, 8);
        DebugPrint("ConvertFLOAT: value (%s) to %s", text, CTypeName(cType));
    }
    return ConvertFloating(value, true, cType, target, bufLen, lenPtr, err, scale, precision, &value);
}

int ConvertDOUBLE(double value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, int scale,
                  int precision) {
    if (DebugTraceOn()) {
        char text[40];
        FormatDouble(text, value, 17);
        DebugPrint("ConvertDOUBLE: value (%s) to %s", text, CTypeName(cType));
    }
    return ConvertFloating(value, false, cType, target, bufLen, lenPtr, err, scale, precision, &value);
}

double DoublePow(double base, int32_t exponent) {
    double r = 1.0;
    if (exponent >= 0)
        for (int32_t i = 0; i < exponent; ++i) r *= base;
    else
        for (int32_t i = 0; i > exponent; --i) r /= base;
    return r;
}

void DoubleToMagnitude(double value, uint8_t magnitude[16]) {
    std::memset(magnitude, 0, 16);
    double rest = value;
    for (int i = 15; i >= 0; --i) {
        const double unit = std::ldexp(1.0, 8 * i);
        if (rest >= unit) {
            double byte = std::floor(rest / unit);
            if (byte > 255) byte = 255;
            magnitude[i] = static_cast<uint8_t>(byte);
            rest -= byte * unit;
        }
    }
}

int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT* result, int scale, int precision, uint32_t* err) {
    CV_TRACE("DoubleToNumeric: %e", value);
    *err = kErrNone;
    if (!std::isfinite(value)) return Fail(err, kErrNumericRange);
    const bool negative = value < 0;
    const double a = std::fabs(value);
    if (a != 0 && scale > static_cast<int>(std::floor(std::log10(1e38 / a)))) return Fail(err, kErrNumericRange);
    int rc = 0;
    if (precision > 15) {
        if (a >= 1e16) return Fail(err, kErrNumericRange);
        *err = kErrFractionalTruncation;
        rc = 1;
    }
    const double scaled = std::trunc(a * DoublePow(10, scale));
    if (!(scaled < std::ldexp(1.0, 128))) return Fail(err, kErrNumericRange);
    std::memset(result, 0, sizeof *result);
    result->scale = static_cast<SQLSCHAR>(scale);
    result->precision = static_cast<SQLCHAR>(precision);
    result->sign = negative && scaled != 0 ? 0 : 1;
    if (scaled <= 4294967295.0) {
        uint32_t v = static_cast<uint32_t>(scaled);
        for (int i = 0; i < 4; ++i, v >>= 8) result->val[i] = static_cast<SQLCHAR>(v & 0xFF);
    } else {
        DoubleToMagnitude(scaled, result->val);
    }
    return rc;
}

size_t FormatDouble(char* buffer, double value, int significantDigits) {
    const auto r = std::to_chars(buffer, buffer + 39, value, std::chars_format::general, significantDigits);
    *r.ptr = 0;
    return static_cast<size_t>(r.ptr - buffer);
}

void StripTrailingPoint(char* text) {
    const size_t n = std::strlen(text);
    if (n > 0 && text[n - 1] == '.') text[n - 1] = 0;
}

int ConvertDATE(const SQL_DATE_STRUCT& d, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err) {
    CV_TRACE("ConvertDATE: retBufferLength(%ld) to %s", static_cast<long>(bufLen), CTypeName(cType));
    *err = kErrNone;
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            char buf[32];
            const int n = std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", YearText(d.year), Clamp(d.month, 99),
                                        Clamp(d.day, 99));
            return TextOut(buf, static_cast<size_t>(n), cType, target, bufLen, lenPtr, err, false);
        }
        case SQL_C_BINARY:
            return CopyOutChar(&d, 6, 6, 0, false, true, target, bufLen, lenPtr, err);
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            return FixedOut(&d, 6, target, lenPtr, err);
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            ts.year = d.year, ts.month = d.month, ts.day = d.day;
            return FixedOut(&ts, 16, target, lenPtr, err);
        }
        default:
            return Fail(err, kErrRestrictedType);
    }
}

int ConvertTIME(const SQL_TIME_STRUCT& t, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err) {
    CV_TRACE("ConvertTIME: retBufferLength(%ld) to %s", static_cast<long>(bufLen), CTypeName(cType));
    *err = kErrNone;
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            char buf[32];
            const int n = std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", Clamp(t.hour, 99), Clamp(t.minute, 99),
                                        Clamp(t.second, 99));
            return TextOut(buf, static_cast<size_t>(n), cType, target, bufLen, lenPtr, err, false);
        }
        case SQL_C_BINARY:
            return CopyOutChar(&t, 6, 6, 0, false, true, target, bufLen, lenPtr, err);
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            return FixedOut(&t, 6, target, lenPtr, err);
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts{};
            ts.hour = t.hour, ts.minute = t.minute, ts.second = t.second;
            return FixedOut(&ts, 16, target, lenPtr, err);
        }
        default:
            return Fail(err, kErrRestrictedType);
    }
}

int ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT& ts, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr,
                     unsigned scale, uint32_t* err) {
    CV_TRACE("ConvertTIMESTAMP: precision,scale (%ld,%ld) to %s", static_cast<long>(bufLen), static_cast<long>(scale),
             CTypeName(cType));
    *err = kErrNone;
    switch (cType) {
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            // A column without a description arrives with scale 65535: nine digits at most.
            if (scale > 9) scale = 9;
            char buf[48];
            int n =
                std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", YearText(ts.year), Clamp(ts.month, 99),
                              Clamp(ts.day, 99), Clamp(ts.hour, 99), Clamp(ts.minute, 99), Clamp(ts.second, 99));
            if (scale > 0) {
                // Nanoseconds as nine digits, then the first `scale` of them.
                char frac[16];
                std::snprintf(frac, sizeof frac, "%09u",
                              static_cast<unsigned>(ts.fraction > 999999999u ? 999999999u : ts.fraction));
                buf[n++] = '.';
                std::memcpy(buf + n, frac, scale);
                n += static_cast<int>(scale);
                buf[n] = 0;
            }
            CV_TRACE("ConvertTIMESTAMP temBuf string = %s", buf);
            return TextOut(buf, static_cast<size_t>(n), cType, target, bufLen, lenPtr, err);
        }
        case SQL_C_BINARY:
            return CopyOutChar(&ts, 16, 16, 0, false, true, target, bufLen, lenPtr, err);
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE: {
            SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
            return FixedOut(&d, 6, target, lenPtr, err);
        }
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME: {
            SQL_TIME_STRUCT t{ts.hour, ts.minute, ts.second};
            return FixedOut(&t, 6, target, lenPtr, err);
        }
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            return FixedOut(&ts, 16, target, lenPtr, err);
        default:
            return Fail(err, kErrRestrictedType);
    }
}

int ConvertBINARY(const void* bytes, uint64_t len, int64_t total, int cType, void* target, int64_t bufLen,
                  SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed) {
    CV_TRACE("ConvertBINARY: retBufferLength(%ld) to %s", static_cast<long>(bufLen), CTypeName(cType));
    *err = kErrNone;
    if (consumed) *consumed = 0;
    static const char kHex[] = "0123456789ABCDEF";
    const auto* b = static_cast<const unsigned char*>(bytes);
    const int64_t t = total != 0 ? total : static_cast<int64_t>(len);
    const bool moreFollows = t != SQL_NO_TOTAL && t > 0 && static_cast<uint64_t>(t) > len;
    switch (cType) {
        case SQL_C_BINARY:
            return CopyOutChar(bytes, len, len, total, false, true, target, bufLen, lenPtr, err, consumed);
        case SQL_C_CHAR:
        case SQL_C_WCHAR: {
            const uint64_t unit = cType == SQL_C_CHAR ? 1 : 2;  // bytes of one output character
            if (lenPtr) *lenPtr = t == SQL_NO_TOTAL ? SQL_NO_TOTAL : static_cast<SQLLEN>(2 * unit * t);
            const uint64_t room = bufLen > 0 ? static_cast<uint64_t>(bufLen) : 0;
            uint64_t n = len;
            if (room >= 2 * unit * len + unit) {
                if (moreFollows) *err = kErrTruncated;
            } else {
                *err = kErrTruncated;
                n = room >= unit ? (room - unit) / (2 * unit) : 0;
            }
            if (room >= unit) {
                if (!target) return Fail(err, kErrBadArg);
                auto* out = static_cast<unsigned char*>(target);
                for (uint64_t i = 0; i < n; ++i) {
                    const char hi = kHex[b[i] >> 4], lo = kHex[b[i] & 0xF];
                    if (unit == 1) {
                        out[2 * i] = static_cast<unsigned char>(hi);
                        out[2 * i + 1] = static_cast<unsigned char>(lo);
                    } else {
                        cvutf::StoreUnit(out, 2 * i, static_cast<SQLWCHAR>(hi));
                        cvutf::StoreUnit(out, 2 * i + 1, static_cast<SQLWCHAR>(lo));
                    }
                }
                if (unit == 1)
                    out[2 * n] = 0;
                else
                    cvutf::StoreUnit(out, 2 * n, 0);
            }
            if (consumed) *consumed = n;
            return *err == kErrTruncated ? 1 : 0;
        }
        default:
            return Fail(err, kErrRestrictedType);
    }
}

void ConvertNULL(void* target, int64_t bufLen, int cType) {
    if (!target) return;
    const int size = CTypeOctetSize(cType);
    if (size > 0 && cType != SQL_C_GUID)
        std::memset(target, 0, static_cast<size_t>(size));
    else if (bufLen >= 1)
        std::memset(target, 0, static_cast<size_t>(bufLen));
}

int DefaultCType(int sqlType, int odbcVersion) {
    switch (sqlType) {
        case SQL_GUID:
            return SQL_C_CHAR;
        case SQL_WLONGVARCHAR:
        case SQL_WVARCHAR:
        case SQL_WCHAR:
            return SQL_C_WCHAR;
        case SQL_BIT:
            return SQL_C_BIT;
        case SQL_TINYINT:
            return SQL_C_TINYINT;
        case SQL_BIGINT:
            return odbcVersion >= 3 ? SQL_C_SBIGINT : SQL_C_CHAR;
        case SQL_LONGVARBINARY:
        case SQL_VARBINARY:
        case SQL_BINARY:
            return SQL_C_BINARY;
        case SQL_LONGVARCHAR:
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return SQL_C_CHAR;
        case SQL_INTEGER:
            return SQL_C_LONG;
        case SQL_SMALLINT:
            return SQL_C_SHORT;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return SQL_C_DOUBLE;
        case SQL_REAL:
            return SQL_C_FLOAT;
        case SQL_DATE:
            return odbcVersion >= 3 ? SQL_C_TYPE_DATE : SQL_C_DATE;
        case SQL_TIME:
            return odbcVersion >= 3 ? SQL_C_TYPE_TIME : SQL_C_TIME;
        case SQL_TIMESTAMP:
            return odbcVersion >= 3 ? SQL_C_TYPE_TIMESTAMP : SQL_C_TIMESTAMP;
        case SQL_TYPE_DATE:
            return SQL_C_TYPE_DATE;
        case SQL_TYPE_TIME:
            return SQL_C_TYPE_TIME;
        case SQL_TYPE_TIMESTAMP:
            return SQL_C_TYPE_TIMESTAMP;
        default:
            return sqlType;
    }
}

int CTypeOctetSize(int cType) {
    switch (cType) {
        case SQL_C_UTINYINT:
        case SQL_C_STINYINT:
        case SQL_C_BIT:
        case SQL_C_TINYINT:
            return 1;
        case SQL_C_USHORT:
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return 2;
        case SQL_C_ULONG:
        case SQL_C_SLONG:
        case SQL_C_LONG:
        case SQL_C_FLOAT:
            return 4;
        case SQL_C_UBIGINT:
        case SQL_C_SBIGINT:
        case SQL_C_DOUBLE:
            return 8;
        case SQL_C_DATE:
        case SQL_C_TIME:
        case SQL_C_TYPE_DATE:
        case SQL_C_TYPE_TIME:
            return 6;
        case SQL_C_GUID:
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            return 16;
        case SQL_C_NUMERIC:
            return 19;
        default:
            return 0;
    }
}
