// The agent's view of the driver's error rows: a code means the same on both sides.
#pragma once

#include <cstdint>

#include "util/errtable.h"

// One table for both sides: the agent's rows are the driver's ErrorTable.
constexpr uint32_t kIngErrorRows = kErrorTableRows;
inline const ErrorRow* const IngErrorTable = ErrorTable;

// The row's SQLSTATE and message; empty texts for unused rows and codes out of range.
const char* IngErrorState(uint32_t code);
const char* IngErrorText(uint32_t code);

// The lowest row among 0-183 whose SQLSTATE begins with the five characters given; 0 when none.
uint32_t IngErrorFindState(const char* sqlstate);
