// The cursor layer's compound operations: several single steps in one call of the operation
// table, each step being the layer's own operation so that scrollable statements get their
// set-up on every road.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"

struct Dataset;
struct ColumnInfo;
struct ParamDescEntry;
struct Rowset;

// Values longer than this stay with the layer and are handed out piecewise.
constexpr uint32_t kScsLongValueLimit = 60000;

ErrCode SCS_PrepareExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs);
ErrCode SCS_PrepareExecuteEx(uint32_t stmt, const char* text, Dataset* values, uint16_t count,
                             ScsNamedParamDesc* descs);
ErrCode SCS_SetParamDescsEx(uint32_t stmt, uint16_t count, ScsNamedParamDesc* descs);
ErrCode SCS_MoreResults(uint32_t stmt);
ErrCode SCS_AllocPrepare(uint32_t conn, const char* text, uint32_t concurrency, uint32_t cursorType, uint32_t* out);
ErrCode SCS_ExecuteRowset(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,
                          uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                          ColumnInfo** params, int32_t* rowCount);
ErrCode SCS_ExecuteRowsetEx(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,
                            uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,
                            ColumnInfo** params, uint16_t* attrCount, void** attrRows, int32_t* rowCount);
ErrCode SCS_FetchDescribe(uint32_t stmt, uint16_t* count, ColumnInfo** out, Dataset* block);
ErrCode SCS_ExtendedFetchConvert(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                                 uint16_t orientation);
ErrCode SCS_GetRowsetValue(uint32_t stmt, uint32_t column, uint32_t row, uint32_t most, void** piece,
                           uint32_t* pieceLen, uint32_t* pieceKind, uint32_t* left);
ErrCode SCS_ExecuteBatch(uint32_t stmt, uint16_t count, ScsBatchEntry* entries, uint16_t* run, int32_t** rowCounts);

// Moves values longer than kScsLongValueLimit of the by-reference columns of `rows` into
// `longs` (their cells in `rows` read not yet fetched). 0 or kErrNoMemory.
uint32_t scs_p_SplitLongValues(Dataset* rows, Dataset* longs);
// First word of the text is SELECT / CALL (any case); both cut the text they are given.
int scs_p_IsSelect(char* text);
int scs_p_IsCall(char* text);

// Lays the compound operations into the layer's table.
void SCS_CompoundInstall(AgentFuncTable* table);
// Drops a statement's long values (the statement is being freed).
void SCS_CompoundStmtRelease(uint32_t stmt);
