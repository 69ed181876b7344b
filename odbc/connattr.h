#pragma once
// Connection options (ODBC 2) and attributes (ODBC 3): the option setter and getter that both
// forms share.
#include <sql.h>

#include <cstdint>

#include "odbc/handles.h"

// Sets option to value (a number, or the address of a text: UTF-16 in mode 'W').
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01S02) or SQL_ERROR with the connection's last error set.
SQLRETURN ConnSetOption(ConnRecord* conn, uint32_t option, uint64_t value, char mode);

// Whether an option or attribute takes its value as text (the rest are numbers and pointers).
bool ConnOptionTakesText(int32_t option);

// One option's value as the getter finds it.
struct ConnOptionValue {
    enum Kind { Nothing, Int32, Int64, Text } kind = Nothing;
    uint64_t number = 0;
    char text[257] = {};  // UTF-8 (narrow) text of at most 256 bytes
};
// SQL_SUCCESS, SQL_NO_DATA (no translation library) or SQL_ERROR with the last error set.
SQLRETURN ConnGetOption(ConnRecord* conn, uint32_t option, ConnOptionValue* out);

// The statement option setter of the statement attributes, when linked in: applies a statement
// option that was given at the connection to one statement.
SQLRETURN StmtOptionSet(StmtRecord* stmt, uint32_t option, uint64_t value);
