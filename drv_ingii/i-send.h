// Sending a statement with one parameter row through OpenAPI.
#pragma once

#include <cstdint>

#include "drv_ingii/i-desc.h"

// Sends the statement for one parameter row: queryType 2 execute the prepared statement,
// 3 open a cursor, 8 execute the procedure. 43 for any other type.
uint32_t IngExecuteParam(IngStmt* s, uint32_t row, int queryType, uint32_t* rowCount);

// After a procedure's output row: reads the return value and closes the OpenAPI statement.
uint32_t IngStmtFinish(IngStmt* s, int32_t* returnValue);
