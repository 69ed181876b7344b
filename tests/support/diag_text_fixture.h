// Diagnostics of an ODBC handle as text, for test failure messages.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace tvtest {

// Every record as "STATE message", one a line; empty when there is none.
std::string AllDiagText(SQLSMALLINT type, SQLHANDLE h);
// The first record as "STATE message", or "(none)".
std::string FirstDiagText(SQLSMALLINT type, SQLHANDLE h);

}  // namespace tvtest
