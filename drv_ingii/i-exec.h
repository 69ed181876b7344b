// The agent's statement engine: prepare, execute, fetch and more results.
#pragma once

#include <cstdint>

#include "drv_ingii/i-desc.h"

struct Dataset;

uint32_t IngPrepare(uint32_t stmt, const char* text);
uint32_t IngExecute(uint32_t stmt);
uint32_t IngSetParamDescs(uint32_t stmt, uint16_t count, ParamDescEntry* descs);
uint32_t IngFetchRows(uint32_t stmt, uint16_t rows, Dataset* block);
uint32_t IngMoreResults(uint32_t stmt);

// Sends a text to the server for preparation under the statement's name and describes its
// result. 0 or a code, the server's messages on the statement.
uint32_t IIPrepareDescribe(IngStmt* s, const char* text);

// Rewrites a SELECT whose ORDER BY names a column (quoted in the server's message) that its
// select list lacks: the column is added as the last select-list item of every SELECT.
// A new text (free it), or null when the statement cannot be repaired.
char* IngOrderByRepair(const char* text, const char* message);
