#pragma once
// Execution of a prepared statement: the road of SQLExecute and SQLExecDirect after the
// prepare, the parameter Dataset, the finish and the output parameters.
#include <cstdint>

#include <sql.h>

struct Dataset;
struct ParamDescEntry;
struct StmtRecord;

// The road of SQLExecute and SQLExecDirect after the prepare.
SQLRETURN ExecuteRun(StmtRecord* stmt);
SQLRETURN ExecutePrepareParams(StmtRecord* stmt);
SQLRETURN ExecuteStatement(StmtRecord* stmt);
// Moves output and input/output values into the application's parameter buffers.
SQLRETURN FetchOutputParams(StmtRecord* stmt);
int NextDataAtExecParam(StmtRecord* stmt);
// Builds the parameter Dataset over every row of the parameter set that is not ignored: column i
// is parameter i + 1 (an output parameter's column holds NULLs of its type). 0, or an error code; *rowsOut maps Dataset
// rows to parameter rows (owned by the caller, free()).
uint32_t BuildParamDataset(StmtRecord* stmt, uint16_t n, Dataset** out, uint32_t** rowsOut);
// The common finish of execute.cpp: rc the agent's result; statuses: write the IPD parameter
// statuses (the agent-driven path leaves its own).
SQLRETURN ExecuteFinishResult(StmtRecord* stmt, uint32_t rc, uint32_t rows, const uint32_t* rowMap, bool statuses);
// The first n parameter descriptions as the agent is sent them: narrow types when `narrow` (a
// wide connection whose agent refused Unicode), written into `narrowed` (room for n); null
// without any.
ParamDescEntry* ParamDescsToSend(StmtRecord* stmt, uint16_t n, bool narrow, ParamDescEntry* narrowed);
// Hands the parameter Dataset to the agent and runs the statement: the compound call where the
// agent has one (`execute2`; with the n descriptions when `sendDescs`), else the values, the
// descriptions when they changed, and the execute one by one. The agent's code.
uint32_t ExecuteWithValues(StmtRecord* stmt, Dataset* ds, uint16_t n, ParamDescEntry* descs, bool execute2,
                           bool sendDescs);
