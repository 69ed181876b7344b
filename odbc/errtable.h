#pragma once
// The driver's error table: every internal error code is a row number. The agent reports the
// same codes, so its IngErrorTable is this table.
#include <cstdint>

struct ErrorRow {
    const char* state;    // five characters, ODBC 2 form; "" for unused rows
    const char* message;
};

constexpr uint32_t kErrorTableRows = 185;
extern const ErrorRow ErrorTable[kErrorTableRows];

// The row of a code, or null for 0, codes beyond the table and unused rows.
const ErrorRow* ErrorRowOf(uint32_t code);

// Rewrites a five-character ODBC 2 SQLSTATE in place into its ODBC 3 form.
void MapSqlStateToOdbc3(char* state);
