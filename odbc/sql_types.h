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
