// Reading an application's parameter buffers row by row: one place for the execute path and
// the agent-driven data path, so both address values, lengths and indicators alike.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "odbc/convert.h"
#include "odbc/param.h"
#include "odbc/sql_types.h"
#include "odbc/stmt.h"

inline uint64_t ParamBindType(const StmtRecord* stmt) { return stmt->apd ? stmt->apd->bindType : 0; }

inline uint64_t ParamElementLength(const ParamBinding& b) {
    const uint64_t buf = b.bufferLength > 0 ? uint64_t(b.bufferLength) : 0;
    switch (b.cType) {
        case SQL_C_CHAR:
        case SQL_C_BINARY:
            return buf ? buf : b.columnSize;
        case SQL_C_WCHAR:
            return buf ? buf : 2 * b.columnSize;
        default:
            return uint64_t(b.elementSize);
    }
}

inline const char* ValueAt(const StmtRecord* stmt, const ParamBinding& b, uint32_t r) {
    if (!b.value) return nullptr;
    const uint64_t bt = ParamBindType(stmt);
    return static_cast<const char*>(b.value) + uint64_t(r) * (bt ? bt : ParamElementLength(b));
}

// Applications pack rows as they like (pyodbc's row-wise buffers among them): slots are read
// byte-wise, never through an aligned load.
inline const char* SlotAt(const StmtRecord* stmt, const SQLLEN* p, uint32_t r) {
    if (!p) return nullptr;
    const uint64_t bt = ParamBindType(stmt);
    return reinterpret_cast<const char*>(p) + uint64_t(r) * (bt ? bt : sizeof(SQLLEN));
}

inline SQLLEN LoadLen(const char* slot) {
    SQLLEN v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

inline SQLLEN OctetLengthAt(const StmtRecord* stmt, const ParamBinding& b, uint32_t r) {
    const char* p = SlotAt(stmt, b.octetLengthPtr, r);
    return p ? LoadLen(p) : SQLLEN(b.elementSize);
}

inline SQLLEN IndicatorAt(const StmtRecord* stmt, const ParamBinding& b, uint32_t r) {
    const char* p = SlotAt(stmt, b.indicatorPtr, r);
    return p ? LoadLen(p) : 0;
}

inline bool IsDataAtExec(SQLLEN len) { return len == SQL_DATA_AT_EXEC || len <= SQL_LEN_DATA_AT_EXEC_OFFSET; }

inline bool RowIgnored(const StmtRecord* stmt, uint64_t r) {
    const DescRecord* apd = stmt->apd;
    return apd && apd->arrayStatusPtr && apd->arrayStatusPtr[r] == SQL_PARAM_IGNORE;
}

// A NUMERIC value as exact decimal text (a double would lose digits).
inline std::string NumericText(const SQL_NUMERIC_STRUCT& n) {
    unsigned __int128 v = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) v = (v << 8) | n.val[i];
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(v % 10)));
        v /= 10;
    } while (v);
    const int scale = static_cast<SQLSCHAR>(n.scale);
    if (scale > 0) {
        while (int(digits.size()) <= scale) digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - scale, '.');
    } else if (scale < 0 && digits != "0") {
        digits.append(size_t(-scale), '0');
    }
    if (n.sign == 0 && digits.find_first_not_of("0.") != std::string::npos) digits.insert(digits.begin(), '-');
    return digits;
}

// The Dataset kind a parameter of a date/time SQL type (SqlTypeIsDateTime) is stored as.
inline KindWidth DateKindOf(int sqlType) {
    switch (sqlType) {
        case SQL_DATE:
        case SQL_TYPE_DATE:
            return {DS_DATE, 6};
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return {DS_TIME, 6};
        default:
            return {DS_TIMESTAMP, 16};
    }
}

// A C type whose value goes into a Dataset as it is, with its kind and width; false for the
// types that are converted or measured (text, binary, 64-bit integers, GUID, NUMERIC).
inline bool FixedKindOfCType(int cType, KindWidth* out) {
    switch (cType) {
        case SQL_C_UTINYINT:
            *out = {DS_UTINYINT, 1};
            return true;
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
            *out = {DS_TINYINT, 1};
            return true;
        case SQL_C_ULONG:
            *out = {DS_UINTEGER, 4};
            return true;
        case SQL_C_USHORT:
            *out = {DS_USMALLINT, 2};
            return true;
        case SQL_C_SLONG:
        case SQL_C_LONG:
            *out = {DS_INTEGER, 4};
            return true;
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
            *out = {DS_SMALLINT, 2};
            return true;
        case SQL_C_BIT:
            *out = {DS_BIT, 1};
            return true;
        case SQL_C_FLOAT:
            *out = {DS_REAL, 4};
            return true;
        case SQL_C_DOUBLE:
            *out = {DS_DOUBLE, 8};
            return true;
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            *out = {DS_DATE, 6};
            return true;
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            *out = {DS_TIME, 6};
            return true;
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            *out = {DS_TIMESTAMP, 16};
            return true;
        default:
            return false;
    }
}
