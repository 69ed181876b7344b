// The agent's statement engine: prepare, execute, fetch and more results.
#pragma once

#include <cstdint>

#include "drv_ingii/i-desc.h"

struct Dataset;

ErrCode IngPrepare(uint32_t stmt, const char* text);
ErrCode IngExecute(uint32_t stmt);
ErrCode IngSetParamDescs(uint32_t stmt, uint16_t count, ParamDescEntry* descs);
ErrCode IngFetchRows(uint32_t stmt, uint16_t rows, Dataset* block);
// Makes the row `back` rows before the last one the statement delivered the current row of its
// cursor, the one positioned changes name (kPropCursorRow); 0 also for a cursor that takes none.
uint32_t IngCursorRowSet(IngStmt* s, uint32_t back);
ErrCode IngMoreResults(uint32_t stmt);

// Sends a text to the server for preparation under the statement's name and describes its
// result. 0 or a code, the server's messages on the statement.
uint32_t IIPrepareDescribe(IngStmt* s, const char* text);

// Rewrites a SELECT whose ORDER BY names a column (quoted in the server's message) that its
// select list lacks: the column is added as the last select-list item of every SELECT.
// A new text (free it), or null when the statement cannot be repaired.
char* IngOrderByRepair(const char* text, const char* message);
