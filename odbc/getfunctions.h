#pragma once
// The fixed list of ODBC functions the driver reports through SQLGetFunctions.

// Entries of the ODBC 2 answer array (ids 0-99).
constexpr unsigned kOdbc2FunctionCount = 100;

// Whether the driver reports the function id as implemented; false for every id past the bitmap.
bool FunctionSupported(unsigned id);
