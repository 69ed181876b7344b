// Text to every C type: numbers, NUMERIC, dates and times, GUIDs, bit, binary and text copies,
// from narrow (UTF-8) and wide (UTF-16) text, into buffers of every size; and the date/time
// escape literals of parameter values.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/convert.h"

namespace {

const int kCTypes[] = {
    SQL_C_CHAR,     SQL_C_WCHAR,   SQL_C_BINARY,    SQL_C_BIT,       SQL_C_TINYINT,   SQL_C_STINYINT,
    SQL_C_UTINYINT, SQL_C_SHORT,   SQL_C_SSHORT,    SQL_C_USHORT,    SQL_C_LONG,      SQL_C_SLONG,
    SQL_C_ULONG,    SQL_C_SBIGINT, SQL_C_UBIGINT,   SQL_C_FLOAT,     SQL_C_DOUBLE,    SQL_C_NUMERIC,
    SQL_C_DATE,     SQL_C_TIME,    SQL_C_TIMESTAMP, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP,
    SQL_C_GUID,     SQL_C_DEFAULT, 12345,
};
const int kSqlTypes[] = {
    0, SQL_DATE, SQL_TIME, SQL_TIMESTAMP, SQL_TYPE_DATE, SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP, SQL_VARCHAR, SQL_INTEGER};

// Output buffers of exactly the size the converter is told (fixed types: their own size), so
// that a write past the end is caught.
void Run(bool wide, const uint8_t* text, size_t len, int cType, int64_t bufLen, int scale, int precision) {
    int fixed = CTypeOctetSize(cType);
    size_t alloc = fixed > 0 ? size_t(fixed) : size_t(bufLen);
    std::vector<uint8_t> target(alloc ? alloc : 1);
    SQLLEN len2 = 0;
    uint32_t err = 0;
    uint64_t consumed = 0;
    void* t = alloc ? target.data() : nullptr;
    int rc = wide ? ConvertWCHAR(text, len, int64_t(len), cType, t, bufLen, &len2, &err, scale, precision, &consumed)
                  : ConvertCHAR(reinterpret_cast<const char*>(text), len, int64_t(len), cType, t, bufLen, &len2, &err,
                                scale, precision, &consumed);
    if (rc < -1 || rc > 1) std::abort();
    if (consumed > len) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 4096) return 0;
    const int cType = kCTypes[data[0] % (sizeof kCTypes / sizeof kCTypes[0])];
    const int64_t bufLen = data[1] & 0x7F;
    const int scale = int8_t(data[2]) % 40;
    const int precision = data[3] % 40;
    const uint8_t* text = data + 4;
    const size_t len = size - 4;

    Run(false, text, len, cType, bufLen, scale, precision);
    // Wide text: len counts bytes (whole units only).
    std::vector<uint8_t> units(text, text + (len & ~size_t(1)));
    Run(true, units.data(), units.size(), cType, bufLen, scale, precision);

    const char* c = reinterpret_cast<const char*>(text);
    uint32_t err = 0;
    int32_t i32;
    int64_t i64;
    double d;
    SQL_NUMERIC_STRUCT num;
    SQLGUID guid;
    CharToNumber(c, len, INT32_MIN, INT32_MAX, &i32, &err);
    CharToNumber64(c, len, INT64_MIN, UINT64_MAX, &i64, &err);
    CharToDecimal(c, len, &d, &err);
    CharToNumeric(c, len, &num, scale, precision, &err);
    CharToGuid(c, len, &guid, &err);
    const size_t wlen = units.size() / 2;
    std::vector<SQLWCHAR> w(wlen + 1, 0);
    if (wlen) std::memcpy(w.data(), units.data(), wlen * 2);
    WCharToNumber(w.data(), wlen, INT32_MIN, INT32_MAX, &i32, &err);
    WCharToNumber64(w.data(), wlen, 0, UINT64_MAX, &i64, &err);
    WCharToDecimal(w.data(), wlen, &d, &err);
    WCharToNumeric(w.data(), wlen, &num, scale, precision, &err);

    // Parameter escapes: dest holds exactly len bytes (len units for wide text).
    const int sqlType = kSqlTypes[data[1] % (sizeof kSqlTypes / sizeof kSqlTypes[0])];
    std::vector<uint8_t> dest(len ? len : 1);
    KindWidth kw{0, 0};
    if (ParseDateTimeEscape(dest.data(), c, len, &kw, sqlType) > len) std::abort();
    std::vector<uint8_t> wdest(wlen * 2 ? wlen * 2 : 1);
    if (WParseDateTimeEscape(wdest.data(), w.data(), wlen, &kw, sqlType) > wlen * 2) std::abort();
    std::vector<uint8_t> bytes(len / 2 + 1);
    HexToBytes(bytes.data(), c, len);
    return 0;
}
