// The agent's view of the driver's error rows: a code means the same on both sides.
#pragma once

#include <cstdint>

#include "odbc/errtable.h"

// One table for both sides: the agent's rows are the driver's ErrorTable.
constexpr uint32_t kIngErrorRows = kErrorTableRows;
inline const ErrorRow* const IngErrorTable = ErrorTable;

// The row's SQLSTATE and message; empty texts for unused rows and codes out of range.
const char* IngErrorState(uint32_t code);
const char* IngErrorText(uint32_t code);

// The lowest row among 0-183 whose SQLSTATE begins with the five characters given; 0 when none.
uint32_t IngErrorFindState(const char* sqlstate);

// Codes the agent uses by name.
constexpr uint32_t kIngOk = 0;
constexpr uint32_t kIngErrNotSupported = 1;   // IM001
constexpr uint32_t kIngErrGeneral = 15;       // S1000
constexpr uint32_t kIngErrNoMemory = 16;      // S1001
constexpr uint32_t kIngErrTruncated = 19;     // 01004
constexpr uint32_t kIngErrBadArg = 21;        // S1009
constexpr uint32_t kIngErrSequence = 22;      // S1010
constexpr uint32_t kIngErrOptionRange = 27;   // S1092
constexpr uint32_t kIngErrNotCapable = 43;    // S1C00
constexpr uint32_t kIngErrRejected = 53;      // 08004
constexpr uint32_t kIngErrSyntax = 68;        // 37000
constexpr uint32_t kIngErrValueChanged = 75;  // 01S02
constexpr uint32_t kIngNoData = 82;           // IM907
constexpr uint32_t kIngErrTxnState = 124;     // 25S01
constexpr uint32_t kIngErrDtcEnlist = 170;    // IM932
constexpr uint32_t kIngErrWorker = 171;       // IM933
