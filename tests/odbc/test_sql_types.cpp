// The classes of SQL types the descriptors, the describe calls and parameter binding share: each
// type of the table in exactly the classes its row names, so that a case list folded into a
// predicate keeps every type it had and gains none.
#include <gtest/gtest.h>

#include <string>

#include "odbc/sql_types.h"

namespace {

struct TypeClasses {
    int type;
    const char* name;
    // date/time, interval, interval in seconds, text, wide text, short text, binary, long
    const char* classes;
};

const TypeClasses kTypes[] = {
    {SQL_CHAR, "CHAR", "00010100"},
    {SQL_VARCHAR, "VARCHAR", "00010100"},
    {SQL_LONGVARCHAR, "LONGVARCHAR", "00010001"},
    {SQL_WCHAR, "WCHAR", "00011100"},
    {SQL_WVARCHAR, "WVARCHAR", "00011100"},
    {SQL_WLONGVARCHAR, "WLONGVARCHAR", "00011001"},
    {SQL_BINARY, "BINARY", "00000010"},
    {SQL_VARBINARY, "VARBINARY", "00000010"},
    {SQL_LONGVARBINARY, "LONGVARBINARY", "00000011"},
    // The ODBC 2 codes 9 and 10 are also the verbose SQL_DATETIME and SQL_INTERVAL.
    {SQL_DATE, "DATE (ODBC 2)", "10000000"},
    {SQL_TIME, "TIME (ODBC 2)", "10000000"},
    {SQL_TIMESTAMP, "TIMESTAMP (ODBC 2)", "10000000"},
    {SQL_TYPE_DATE, "TYPE_DATE", "10000000"},
    {SQL_TYPE_TIME, "TYPE_TIME", "10000000"},
    {SQL_TYPE_TIMESTAMP, "TYPE_TIMESTAMP", "10000000"},
    {SQL_INTERVAL_YEAR, "INTERVAL_YEAR", "01000000"},
    {SQL_INTERVAL_MONTH, "INTERVAL_MONTH", "01000000"},
    {SQL_INTERVAL_DAY, "INTERVAL_DAY", "01000000"},
    {SQL_INTERVAL_HOUR, "INTERVAL_HOUR", "01000000"},
    {SQL_INTERVAL_MINUTE, "INTERVAL_MINUTE", "01000000"},
    {SQL_INTERVAL_SECOND, "INTERVAL_SECOND", "01100000"},
    {SQL_INTERVAL_YEAR_TO_MONTH, "INTERVAL_YEAR_TO_MONTH", "01000000"},
    {SQL_INTERVAL_DAY_TO_HOUR, "INTERVAL_DAY_TO_HOUR", "01000000"},
    {SQL_INTERVAL_DAY_TO_MINUTE, "INTERVAL_DAY_TO_MINUTE", "01000000"},
    {SQL_INTERVAL_DAY_TO_SECOND, "INTERVAL_DAY_TO_SECOND", "01100000"},
    {SQL_INTERVAL_HOUR_TO_MINUTE, "INTERVAL_HOUR_TO_MINUTE", "01000000"},
    {SQL_INTERVAL_HOUR_TO_SECOND, "INTERVAL_HOUR_TO_SECOND", "01100000"},
    {SQL_INTERVAL_MINUTE_TO_SECOND, "INTERVAL_MINUTE_TO_SECOND", "01100000"},
    {SQL_DECIMAL, "DECIMAL", "00000000"},
    {SQL_NUMERIC, "NUMERIC", "00000000"},
    {SQL_INTEGER, "INTEGER", "00000000"},
    {SQL_BIGINT, "BIGINT", "00000000"},
    {SQL_BIT, "BIT", "00000000"},
    {SQL_DOUBLE, "DOUBLE", "00000000"},
    {SQL_GUID, "GUID", "00000000"},
    {SQL_UNKNOWN_TYPE, "UNKNOWN", "00000000"},
};

TEST(SqlTypeClasses, EveryTypeInTheClassesOfItsRow) {
    for (const TypeClasses& c : kTypes) {
        const bool got[] = {SqlTypeIsDateTime(c.type), SqlTypeIsInterval(c.type), SqlIntervalHasSeconds(c.type),
                            SqlTypeIsText(c.type),     SqlTypeIsWideText(c.type), SqlTypeIsShortText(c.type),
                            SqlTypeIsBinary(c.type),   SqlTypeIsLong(c.type)};
        std::string row;
        for (bool b : got) row += b ? '1' : '0';
        EXPECT_EQ(c.classes, row) << c.name;
        // Text and binary are the strings, whose column size is a length.
        EXPECT_EQ(SqlTypeIsString(c.type), SqlTypeIsText(c.type) || SqlTypeIsBinary(c.type)) << c.name;
    }
}

}  // namespace
