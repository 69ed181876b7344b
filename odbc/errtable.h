#pragma once
// The driver's error table as the ODBC side reads it, and the ODBC 3 form of its SQLSTATEs.
#include "util/errtable.h"

// Rewrites a five-character ODBC 2 SQLSTATE in place into its ODBC 3 form.
void MapSqlStateToOdbc3(char* state);
