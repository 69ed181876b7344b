#pragma once
// Statement options (ODBC 2) and attributes (ODBC 3).
#include "odbc/handles.h"

// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (last error kErrOptionChanged, 01S02) or SQL_ERROR (last error set).
SQLRETURN StmtOptionSet(StmtRecord* stmt, uint32_t option, uint64_t value);
// Writes the option's value; an absent address does nothing.
SQLRETURN StmtOptionGet(StmtRecord* stmt, uint32_t option, void* value);
// The ODBC 3 screen over the option setter and the descriptor fields.
SQLRETURN StmtAttrSet(StmtRecord* stmt, int32_t attr, uint64_t value, int32_t len, char mode);
SQLRETURN StmtAttrGet(StmtRecord* stmt, int32_t attr, void* value, int32_t bufLen, SQLINTEGER* lenOut);
