#pragma once
// Classes of SQL data types as the descriptors, the describe calls and parameter binding tell
// them apart.
#include <sql.h>
#include <sqlext.h>

// Dates, times and timestamps, by their ODBC 2 and ODBC 3 codes.
inline bool SqlTypeIsDateTime(int t) {
    return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP || t == SQL_TYPE_DATE || t == SQL_TYPE_TIME ||
           t == SQL_TYPE_TIMESTAMP;
}

inline bool SqlTypeIsInterval(int t) { return t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE_TO_SECOND; }

// The intervals that end in seconds, which carry a fraction precision.
inline bool SqlIntervalHasSeconds(int t) {
    return t == SQL_INTERVAL_SECOND || t == SQL_INTERVAL_DAY_TO_SECOND || t == SQL_INTERVAL_HOUR_TO_SECOND ||
           t == SQL_INTERVAL_MINUTE_TO_SECOND;
}

// The verbose type of a concise SQL or C type (the two share the datetime and interval codes):
// SQL_DATETIME or SQL_INTERVAL for those, the type itself for the rest.
inline int SqlVerboseType(int t) {
    if (SqlTypeIsDateTime(t)) return SQL_DATETIME;
    if (SqlTypeIsInterval(t)) return SQL_INTERVAL;
    return t;
}

// The datetime or interval subcode of a concise type; 0 for the other types.
inline int SqlDateTimeIntervalCode(int t) {
    switch (t) {
        case SQL_DATE:
        case SQL_TYPE_DATE:
            return SQL_CODE_DATE;
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return SQL_CODE_TIME;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            return SQL_CODE_TIMESTAMP;
        default:
            return SqlTypeIsInterval(t) ? t - (SQL_INTERVAL_YEAR - SQL_CODE_YEAR) : 0;
    }
}

inline bool SqlTypeIsWideText(int t) { return t == SQL_WCHAR || t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR; }

inline bool SqlTypeIsText(int t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || SqlTypeIsWideText(t);
}

inline bool SqlTypeIsBinary(int t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }

// The long text and binary types, searchable (if at all) only by LIKE.
inline bool SqlTypeIsLong(int t) { return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY; }

// Text of a bounded length: its length counts characters.
inline bool SqlTypeIsShortText(int t) { return SqlTypeIsText(t) && !SqlTypeIsLong(t); }

// Text and binary: the column size is a length (in characters or bytes).
inline bool SqlTypeIsString(int t) { return SqlTypeIsText(t) || SqlTypeIsBinary(t); }
