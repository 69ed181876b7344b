// Value routines of the parameter side: hexadecimal decoding, date/time escape literals,
// NUMERIC to double and GUID to text.
#include "odbc/convert.h"
#include "odbc/convert_utf.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The integer value of the digits at p, stopping at the first non-digit; leading blanks and a
// quote are skipped as the literal's fields are quoted ("{d '2024-02-29'}").
long FieldValue(const std::string& s, size_t p) {
    while (p < s.size() && (s[p] == ' ' || s[p] == '\'')) ++p;
    bool neg = false;
    if (p < s.size() && (s[p] == '-' || s[p] == '+')) neg = s[p++] == '-';
    long v = 0;
    for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p)
        if (v < 100000000) v = v * 10 + (s[p] - '0');
    return neg ? -v : v;
}

// Position after the next character of `stops` at or after p (s.size() when none).
size_t NextField(const std::string& s, size_t p, const char* stops) {
    const size_t q = s.find_first_of(stops, p);
    return q == std::string::npos ? s.size() : q + 1;
}

// Nanoseconds of the fraction digits at p: ".5" is half a second whatever its digit count.
uint32_t FractionValue(const std::string& s, size_t p) {
    uint32_t v = 0;
    int digits = 0;
    for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p)
        if (digits < 9) v = v * 10 + static_cast<uint32_t>(s[p] - '0'), ++digits;
    for (; digits < 9; ++digits) v *= 10;
    return v;
}

}  // namespace

int HexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

void HexToBytes(void* dest, const char* hex, uint64_t len) {
    auto* out = static_cast<unsigned char*>(dest);
    for (uint64_t i = 0; i < len / 2; ++i)
        out[i] = static_cast<unsigned char>(16 * HexDigitValue(hex[2 * i]) + HexDigitValue(hex[2 * i + 1]));
}

uint64_t ParseDateTimeEscape(void* dest, const char* text, uint64_t len, KindWidth* out, int sqlType) {
    auto copy = [&] {
        if (len > 0) std::memcpy(dest, text, len);
        return len;
    };
    switch (sqlType) {
        case 0:
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TIMESTAMP:
        case SQL_VARCHAR:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
            break;
        default:
            return copy();
    }
    if (len < 2) return copy();
    const std::string s(text + 1, len - 1 > 49 ? 49 : len - 1);
    int kind;  // 9 date, 10 time, 11 timestamp
    size_t p;
    if (s.compare(0, 2, "d ") == 0)
        kind = SQL_DATE, p = 3;
    else if (s.compare(0, 2, "t ") == 0)
        kind = SQL_TIME, p = 3;
    else if (s.compare(0, 3, "ts ") == 0)
        kind = SQL_TIMESTAMP, p = 4;
    else
        return copy();
    if (p > s.size()) return copy();
    long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint32_t fraction = 0;
    if (kind != SQL_TIME) {
        year = FieldValue(s, p);
        p = NextField(s, p, "-/");
        month = FieldValue(s, p);
        p = NextField(s, p, "-/");
        day = FieldValue(s, p);
        p = NextField(s, p, "-/ ");
    }
    if (kind != SQL_DATE) {
        hour = FieldValue(s, p);
        p = NextField(s, p, ":");
        minute = FieldValue(s, p);
        p = NextField(s, p, ":");
        second = FieldValue(s, p);
        if (kind == SQL_TIMESTAMP) {
            const size_t q = s.find_first_of(":.", p);
            if (q != std::string::npos && s[q] == '.') fraction = FractionValue(s, q + 1);
        }
    }
    if (sqlType == 0) sqlType = kind;
    switch (sqlType) {
        case SQL_DATE:
        case SQL_TYPE_DATE: {
            if (len < 6) return copy();
            SQL_DATE_STRUCT d{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                              static_cast<SQLUSMALLINT>(day)};
            std::memcpy(dest, &d, 6);
            if (out) *out = {11, 6};
            return 6;
        }
        case SQL_TIME:
        case SQL_TYPE_TIME: {
            if (len < 6) return copy();
            SQL_TIME_STRUCT t{static_cast<SQLUSMALLINT>(hour), static_cast<SQLUSMALLINT>(minute),
                              static_cast<SQLUSMALLINT>(second)};
            std::memcpy(dest, &t, 6);
            if (out) *out = {12, 6};
            return 6;
        }
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP: {
            if (len < 16) return copy();
            SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(year),
                                    static_cast<SQLUSMALLINT>(month),
                                    static_cast<SQLUSMALLINT>(day),
                                    static_cast<SQLUSMALLINT>(hour),
                                    static_cast<SQLUSMALLINT>(minute),
                                    static_cast<SQLUSMALLINT>(second),
                                    fraction};
            std::memcpy(dest, &ts, 16);
            if (out) *out = {13, 16};
            return 16;
        }
        default:
            return copy();
    }
}

uint64_t WParseDateTimeEscape(void* dest, const SQLWCHAR* text, uint64_t len, KindWidth* out, int sqlType) {
    // Escapes are ASCII: parse a narrow copy; anything else is copied as the UTF-16 it is.
    std::string narrow;
    for (uint64_t i = 0; i < len; ++i) {
        const SQLWCHAR u = cvutf::LoadUnit(text, i);
        narrow.push_back(u < 0x80 ? static_cast<char>(u) : '?');
    }
    // A structure takes at most 16 bytes; the scratch copy also holds a plain copy of the text.
    std::string scratch(narrow.size() > 16 ? narrow.size() : 16, '\0');
    KindWidth kw{0, 0};
    const uint64_t n = ParseDateTimeEscape(scratch.data(), narrow.data(), narrow.size(), &kw, sqlType);
    if (kw.kind != 0) {
        std::memcpy(dest, scratch.data(), n);
        if (out) *out = kw;
        return n;
    }
    if (len > 0) std::memcpy(dest, text, len * 2);
    return len * 2;
}

void NumericToDouble(void* dest, const SQL_NUMERIC_STRUCT& value, uint64_t destLen) {
    double v = 0;
    double unit = 1;
    for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i, unit *= 256) v += value.val[i] * unit;
    v /= DoublePow(10, static_cast<SQLSCHAR>(value.scale));
    if (value.sign == 0) v = -v;
    std::memcpy(dest, &v, destLen < 8 ? destLen : 8);
}

void GuidToText(char* dest, const SQLGUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    std::memcpy(dest, buf, 36);
}
