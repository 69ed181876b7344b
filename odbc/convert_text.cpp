// Text sources: the number, NUMERIC and GUID parsers and the converters of narrow and wide text.
// Parsing never consults the process locale: the decimal point is always '.'.
#include "odbc/convert.h"
#include "odbc/convert_out.h"
#include "odbc/convert_trace.h"
#include "odbc/convert_utf.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool LeadingMinus(const char* s, uint64_t len) {
    uint64_t i = 0;
    while (i < len && IsSpace(s[i])) ++i;
    return i < len && s[i] == '-';
}

std::string WideToNarrow(const SQLWCHAR* text, uint64_t len) {
    std::vector<SQLWCHAR> holder;
    const SQLWCHAR* w = cvutf::AlignedWide(text, len, holder);
    std::string out(WideUtf8Length(w, static_cast<long>(len)), '\0');
    if (!out.empty()) WideToUtf8N(w, out.data(), static_cast<size_t>(len), out.size(), nullptr);
    return out;
}

using u128 = unsigned __int128;

void StoreMagnitude(u128 value, SQLCHAR* val) {
    for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
        val[i] = static_cast<SQLCHAR>(value & 0xFF);
        value >>= 8;
    }
}

// Precision of a numeric text when the caller gives none: its decimal digits; 0 ("as many as the
// value needs") for text with an exponent, whose digits say nothing about the value's size.
int TextPrecision(const char* s, uint64_t len) {
    int digits = 0;
    for (uint64_t i = 0; i < len; ++i) {
        const char c = s[i];
        if (c == 'e' || c == 'E') return 0;
        if (IsDigit(c)) ++digits;
    }
    return digits;
}

// An integer target of type T: the text parsed within T's range.
template <class T>
int TextToInteger(const char* text, uint64_t len, void* target, SQLLEN* lenPtr, uint32_t* err) {
    using Limits = std::numeric_limits<T>;
    T value;
    int rc;
    if constexpr (sizeof(T) == 8) {
        int64_t v = 0;  // a failed parse leaves it unwritten
        // Plain digits, the usual text of a BIGINT value, are read here; the trace line and any
        // other spelling are CharToNumber64's.
        const int64_t lowest = static_cast<int64_t>(Limits::min());
        const uint64_t negLimit = lowest < 0 ? 0 - static_cast<uint64_t>(lowest) : 0;
        bool neg;
        uint64_t mag;
        if (!DebugTraceOn() && (rc = PlainInteger(text, len, negLimit, Limits::max(), &neg, &mag, err)) != 2) {
            if (rc < 0) return -1;
            v = static_cast<int64_t>(neg ? 0 - mag : mag);
        } else {
            rc = CharToNumber64(text, len, Limits::min(), Limits::max(), &v, err);
        }
        value = static_cast<T>(v);
    } else {
        int32_t v = 0;
        rc = CharToNumber(text, len, Limits::min(), Limits::max(), &v, err);
        value = static_cast<T>(v);
    }
    if (rc < 0) return -1;
    return FixedOut(&value, sizeof value, target, lenPtr, err, rc);
}

// Numeric and GUID targets of a narrow text (the wide converter parses a UTF-8 copy).
// Returns 2 when the C type is not one of them.
int TextToFixed(const char* text, uint64_t len, int cType, void* target, SQLLEN* lenPtr, uint32_t* err, int scale,
                int precision, bool guidAllowed) {
    int32_t v32 = 0;
    int rc = ConvertCHARToInteger(text, len, cType, target, lenPtr, err);
    if (rc != 2) return rc;
    switch (cType) {
        case SQL_C_BIT:
            // Below 0 nothing fits, not even "-0.5"; a fraction between 0 and 2 truncates (01S07).
            rc = CharToNumber(text, len, 0, 1, &v32, err);
            if (rc < 0 || (rc == 1 && LeadingMinus(text, len))) {
                *err = kErrNumericRange;
                return -1;
            }
            {
                const uint8_t b = static_cast<uint8_t>(v32);
                return FixedOut(&b, 1, target, lenPtr, err, rc);
            }
        case SQL_C_FLOAT: {
            double d;
            if (CharToDecimal(text, len, &d, err) < 0) return -1;
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
                *err = kErrNumericRange;
                return -1;
            }
            const float f = static_cast<float>(d);
            return FixedOut(&f, 4, target, lenPtr, err, 0);
        }
        case SQL_C_DOUBLE: {
            double d;
            if (CharToDecimal(text, len, &d, err) < 0) return -1;
            return FixedOut(&d, 8, target, lenPtr, err, 0);
        }
        case SQL_C_NUMERIC: {
            if (precision == 0) precision = TextPrecision(text, len);
            SQL_NUMERIC_STRUCT n;
            rc = CharToNumeric(text, len, &n, scale, precision, err);
            if (rc < 0) return -1;
            return FixedOut(&n, sizeof n, target, lenPtr, err, rc);
        }
        case SQL_C_GUID: {
            if (!guidAllowed) {
                *err = kErrRestrictedType;
                return -1;
            }
            SQLGUID g;
            if (CharToGuid(text, len, &g, err) < 0) return -1;
            return FixedOut(&g, sizeof g, target, lenPtr, err, 0);
        }
        case SQL_C_DATE:
        case SQL_C_TIME:
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_DATE:
        case SQL_C_TYPE_TIME:
        case SQL_C_TYPE_TIMESTAMP:
            *err = kErrNotCapable;
            return -1;
        default:
            return 2;
    }
}

}  // namespace

int ConvertCHARToInteger(const char* text, uint64_t len, int cType, void* target, SQLLEN* lenPtr, uint32_t* err) {
    switch (cType) {
        case SQL_C_UTINYINT:
            return TextToInteger<uint8_t>(text, len, target, lenPtr, err);
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            return TextToInteger<int8_t>(text, len, target, lenPtr, err);
        case SQL_C_USHORT:
            return TextToInteger<uint16_t>(text, len, target, lenPtr, err);
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            return TextToInteger<int16_t>(text, len, target, lenPtr, err);
        case SQL_C_ULONG:
            return TextToInteger<uint32_t>(text, len, target, lenPtr, err);
        case SQL_C_SLONG:
        case SQL_C_LONG:
            return TextToInteger<int32_t>(text, len, target, lenPtr, err);
        case SQL_C_UBIGINT:
            return TextToInteger<uint64_t>(text, len, target, lenPtr, err);
        case SQL_C_SBIGINT:
            return TextToInteger<int64_t>(text, len, target, lenPtr, err);
        default:
            return 2;
    }
}

int CharToNumber(const char* text, uint64_t len, int32_t minimum, uint32_t maximum, int32_t* result, uint32_t* err) {
    CV_TRACE("CharToNumber: %.*s", CvTraceLen(len), text);
    const uint64_t negLimit = minimum < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(minimum)) : 0;
    bool neg;
    uint64_t mag;
    int rc = PlainInteger(text, len, negLimit, maximum, &neg, &mag, err);
    if (rc == 2) rc = NumericTextToInteger(text, len, negLimit, maximum, &neg, &mag, err);
    if (rc < 0) return -1;
    const int64_t v = neg ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
    *result = static_cast<int32_t>(static_cast<uint32_t>(v));
    return rc;
}

int CharToNumber64(const char* text, uint64_t len, int64_t minimum, uint64_t maximum, int64_t* result, uint32_t* err) {
    CV_TRACE("CharToNumber64: %.*s", CvTraceLen(len), text);
    const uint64_t negLimit = minimum < 0 ? 0 - static_cast<uint64_t>(minimum) : 0;
    bool neg;
    uint64_t mag;
    int rc = PlainInteger(text, len, negLimit, maximum, &neg, &mag, err);
    if (rc == 2) rc = NumericTextToInteger(text, len, negLimit, maximum, &neg, &mag, err);
    if (rc < 0) return -1;
    *result = static_cast<int64_t>(neg ? 0 - mag : mag);
    return rc;
}

int CharToDecimal(const char* text, uint64_t len, double* result, uint32_t* err) {
    CV_TRACE("CharToDecimal: %.*s", CvTraceLen(len), text);
    if (len >= 513) {
        *err = kErrNumericRange;
        return -1;
    }
    // Thousands separators and a currency sign are accepted as the agent's money text has them.
    char buf[513];
    size_t n = 0;
    uint64_t i = 0;
    while (i < len && IsSpace(text[i])) ++i;
    if (i < len && text[i] == '$') ++i;
    // Trailing blanks are ignored as ODBC asks: fixed-length CHAR values arrive blank-padded.
    uint64_t end = len;
    while (end > i && IsSpace(text[end - 1])) --end;
    for (; i < end; ++i)
        if (text[i] != ',') buf[n++] = text[i];
    const char* first = buf;
    const char* last = buf + n;
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    double d = 0;
    const auto r = std::from_chars(first, last, d, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument || r.ptr != last || first == last) {
        *err = kErrAssignment;
        return -1;
    }
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow has no value to give.
        bool tiny = false;
        for (const char* p = first; p != last; ++p)
            if (*p == 'e' || *p == 'E') tiny = p + 1 != last && p[1] == '-';
        if (!tiny) {
            *err = kErrNumericRange;
            return -1;
        }
        d = 0;
    }
    *result = d;
    *err = kErrNone;
    return 0;
}

int CharToNumeric(const char* text, uint64_t len, SQL_NUMERIC_STRUCT* result, int scale, int precision, uint32_t* err) {
    CV_TRACE("CharToNumeric: %.*s", CvTraceLen(len), text);
    uint64_t i = 0;
    while (i < len && IsSpace(text[i])) ++i;
    bool neg = false;
    if (i < len && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    std::string mant;
    int64_t point = -1;
    for (; i < len; ++i) {
        if (IsDigit(text[i]))
            mant.push_back(text[i]);
        else if (text[i] == '.' && point < 0)
            point = static_cast<int64_t>(mant.size());
        else
            break;
    }
    if (point < 0) point = static_cast<int64_t>(mant.size());
    int64_t exponent = 0;
    if (!mant.empty() && i < len && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < len && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
        bool any = false;
        for (; i < len && IsDigit(text[i]); ++i) {
            any = true;
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (!any) {
            *err = kErrAssignment;
            return -1;
        }
        if (eneg) exponent = -exponent;
    }
    while (i < len && IsSpace(text[i])) ++i;
    if (i != len || mant.empty()) {
        *err = kErrAssignment;
        return -1;
    }

    // Integer and fraction digits after the exponent moved the point.
    point += exponent;
    std::string intDigits, fracDigits;
    const int64_t m = static_cast<int64_t>(mant.size());
    if (point <= 0) {
        if (-point > 100000) point = -100000;
        fracDigits.assign(static_cast<size_t>(-point), '0');
        fracDigits += mant;
    } else if (point >= m) {
        if (point - m > 100000) {
            if (mant.find_first_not_of('0') != std::string::npos) {
                *err = kErrNumericRange;
                return -1;
            }
            point = m;
        }
        intDigits = mant;
        intDigits.append(static_cast<size_t>(point - m), '0');
    } else {
        intDigits = mant.substr(0, static_cast<size_t>(point));
        fracDigits = mant.substr(static_cast<size_t>(point));
    }
    const size_t nz = intDigits.find_first_not_of('0');
    intDigits = nz == std::string::npos ? std::string() : intDigits.substr(nz);

    int rc = 0;
    *err = kErrNone;
    std::string digits = intDigits;
    if (scale >= 0) {
        const size_t s = static_cast<size_t>(scale);
        if (fracDigits.size() > s) {
            if (fracDigits.find_first_not_of('0', s) != std::string::npos) rc = 1;
            fracDigits.resize(s);
        }
        fracDigits.append(s - fracDigits.size(), '0');
        digits += fracDigits;
    } else {
        // A negative scale drops integer digits.
        const size_t drop = static_cast<size_t>(-static_cast<int64_t>(scale));
        if (fracDigits.find_first_not_of('0') != std::string::npos) rc = 1;
        if (digits.size() > drop) {
            if (digits.find_first_not_of('0', digits.size() - drop) != std::string::npos) rc = 1;
            digits.resize(digits.size() - drop);
        } else {
            if (digits.find_first_not_of('0') != std::string::npos) rc = 1;
            digits.clear();
        }
    }

    int p = precision;
    if (p <= 0) {
        const size_t need = scale >= 0 ? intDigits.size() + static_cast<size_t>(scale) : digits.size();
        p = need == 0 ? 1 : need > 255 ? 255 : static_cast<int>(need);
    }
    if (intDigits.size() > static_cast<size_t>(p)) {
        *err = kErrNumericRange;
        return -1;
    }
    if (digits.size() > static_cast<size_t>(p)) {
        // Digits beyond the precision are fraction digits here: they are dropped.
        if (digits.find_first_not_of('0', static_cast<size_t>(p)) != std::string::npos) rc = 1;
        std::fill(digits.begin() + p, digits.end(), '0');
    }

    u128 mag = 0;
    const u128 max = ~u128{0};
    for (char c : digits) {
        const unsigned d = static_cast<unsigned>(c - '0');
        if (mag > (max - d) / 10) {
            *err = kErrNumericRange;
            return -1;
        }
        mag = mag * 10 + d;
    }
    std::memset(result, 0, sizeof *result);
    result->precision = static_cast<SQLCHAR>(p);
    result->scale = static_cast<SQLSCHAR>(scale);
    result->sign = (neg && mag != 0) ? 0 : 1;
    StoreMagnitude(mag, result->val);
    if (rc == 1) *err = kErrFractionalTruncation;
    return rc;
}

int CharToGuid(const char* text, uint64_t len, SQLGUID* result, uint32_t* err) {
    if (len != 36) {
        *err = kErrLengthMismatch;
        return -1;
    }
    for (uint64_t i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        const bool hex = IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex) {
            *err = kErrAssignment;
            return -1;
        }
    }
    auto hexAt = [&](int from, int count) {
        uint32_t v = 0;
        for (int k = 0; k < count; ++k) v = v * 16 + static_cast<uint32_t>(HexDigitValue(text[from + k]));
        return v;
    };
    result->Data1 = hexAt(0, 8);
    result->Data2 = static_cast<SQLUSMALLINT>(hexAt(9, 4));
    result->Data3 = static_cast<SQLUSMALLINT>(hexAt(14, 4));
    result->Data4[0] = static_cast<SQLCHAR>(hexAt(19, 2));
    result->Data4[1] = static_cast<SQLCHAR>(hexAt(21, 2));
    for (int k = 0; k < 6; ++k) result->Data4[2 + k] = static_cast<SQLCHAR>(hexAt(24 + 2 * k, 2));
    *err = kErrNone;
    return 0;
}

int WCharToNumber(const SQLWCHAR* text, uint64_t len, int32_t minimum, uint32_t maximum, int32_t* result,
                  uint32_t* err) {
    const std::string s = WideToNarrow(text, len);
    return CharToNumber(s.data(), s.size(), minimum, maximum, result, err);
}

int WCharToNumber64(const SQLWCHAR* text, uint64_t len, int64_t minimum, uint64_t maximum, int64_t* result,
                    uint32_t* err) {
    const std::string s = WideToNarrow(text, len);
    return CharToNumber64(s.data(), s.size(), minimum, maximum, result, err);
}

int WCharToDecimal(const SQLWCHAR* text, uint64_t len, double* result, uint32_t* err) {
    const std::string s = WideToNarrow(text, len);
    return CharToDecimal(s.data(), s.size(), result, err);
}

bool IsNumberSqlType(int sqlType) {
    switch (sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
        case SQL_DECIMAL:
        case SQL_NUMERIC:
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return true;
        default:
            return false;
    }
}

uint32_t NumberTextError(const char* text, uint64_t len, int sqlType, uint64_t columnSize, int decimalDigits) {
    if (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) {
        // The parameter's scale and precision are the digits the value may have after and
        // before the point; zeros that can be dropped lose nothing.
        uint64_t whole = 0, fraction = 0;
        uint32_t err = kErrNone;
        if (NumericTextDigits(text, len, &whole, &fraction, &err) < 0) return err;
        const uint64_t scale = decimalDigits > 0 ? uint64_t(decimalDigits) : 0;
        if (fraction > scale) return kErrRightTruncation;
        if (columnSize > 0 && columnSize >= scale && whole > columnSize - scale) return kErrRightTruncation;
        return kErrNone;
    }
    bool neg;
    uint64_t mag;
    uint32_t err = kErrNone;
    uint64_t negLimit = UINT64_MAX, posLimit = UINT64_MAX;
    switch (sqlType) {
        case SQL_TINYINT:
            negLimit = 128, posLimit = INT8_MAX;
            break;
        case SQL_SMALLINT:
            negLimit = 32768, posLimit = INT16_MAX;
            break;
        case SQL_INTEGER:
            negLimit = uint64_t(1) << 31, posLimit = INT32_MAX;
            break;
        case SQL_BIGINT:
            negLimit = uint64_t(1) << 63, posLimit = INT64_MAX;
            break;
        case SQL_BIT:
            negLimit = 0, posLimit = 1;
            break;
        default:
            break;
    }
    const int rc = NumericTextToInteger(text, len, negLimit, posLimit, &neg, &mag, &err);
    if (err == kErrAssignment) return kErrAssignment;
    switch (sqlType) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            // Fraction digits or whole digits the type cannot hold: both truncations to ODBC.
            return rc == 0 ? kErrNone : kErrRightTruncation;
        case SQL_BIT:
            // Between 0 and 2 a fraction is cut; below 0 or from 2 on nothing fits.
            if (rc < 0 || (rc == 1 && LeadingMinus(text, len))) return kErrNumericRange;
            return rc == 1 ? kErrRightTruncation : kErrNone;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            double d = 0;
            if (CharToDecimal(text, len, &d, &err) < 0) return err;
            return sqlType == SQL_REAL && std::fabs(d) > FLT_MAX ? kErrNumericRange : kErrNone;
        }
        default:
            return kErrNone;
    }
}

uint32_t WNumberTextError(const SQLWCHAR* text, uint64_t len, int sqlType, uint64_t columnSize, int decimalDigits) {
    const std::string s = WideToNarrow(text, len);
    return NumberTextError(s.data(), s.size(), sqlType, columnSize, decimalDigits);
}

int WCharToNumeric(const SQLWCHAR* text, uint64_t len, SQL_NUMERIC_STRUCT* result, int scale, int precision,
                   uint32_t* err) {
    const std::string s = WideToNarrow(text, len);
    return CharToNumeric(s.data(), s.size(), result, scale, precision, err);
}

int ConvertCHAR(const char* text, uint64_t len, int64_t total, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr,
                uint32_t* err, int scale, int precision, uint64_t* consumed, TextCarry* carry) {
    CV_TRACE("ConvertCHAR: retBufferLength(%ld) to %s", static_cast<long>(bufLen), CTypeName(cType));
    *err = kErrNone;
    if (consumed) *consumed = 0;
    switch (cType) {
        case SQL_C_CHAR:
            return CopyOutChar(text, len, len, total, true, true, target, bufLen, lenPtr, err, consumed);
        case SQL_C_BINARY:
            return CopyOutChar(text, len, len, total, false, true, target, bufLen, lenPtr, err, consumed);
        case SQL_C_WCHAR:
            return CopyOutCharToWide(text, len, len, total, true, true, target, bufLen, lenPtr, err, consumed, carry);
        default:
            break;
    }
    const int rc = TextToFixed(text, len, cType, target, lenPtr, err, scale, precision, true);
    if (rc == 2) {
        *err = kErrRestrictedType;
        return -1;
    }
    return rc;
}

int ConvertWCHAR(const void* text, uint64_t len, int64_t total, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr,
                 uint32_t* err, int scale, int precision, uint64_t* consumed, TextCarry* carry) {
    CV_TRACE("ConvertWCHAR: retBufferLength(%ld) to %s", static_cast<long>(bufLen), CTypeName(cType));
    *err = kErrNone;
    if (consumed) *consumed = 0;
    const auto* w = static_cast<const SQLWCHAR*>(text);
    const int64_t totalUnits = total > 0 ? total / 2 : total;
    switch (cType) {
        case SQL_C_WCHAR:
            return CopyOutWide(text, len, len, total, true, true, target, bufLen, lenPtr, err, consumed);
        case SQL_C_CHAR: {
            uint64_t units = 0;
            const int rc = CopyOutWideToChar(w, len / 2, len / 2, totalUnits, true, true, target, bufLen, lenPtr, err,
                                             &units, carry);
            if (consumed) *consumed = units * 2;
            return rc;
        }
        case SQL_C_BINARY:
            return CopyOutChar(text, len, len, total, false, true, target, bufLen, lenPtr, err, consumed);
        case SQL_C_GUID:
            *err = kErrRestrictedType;
            return -1;
        default:
            break;
    }
    const std::string narrow = WideToNarrow(w, len / 2);
    const int rc = TextToFixed(narrow.data(), narrow.size(), cType, target, lenPtr, err, scale, precision, false);
    if (rc == 2) {
        *err = kErrRestrictedType;
        return -1;
    }
    return rc;
}
