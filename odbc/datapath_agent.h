#pragma once
// The data path of agents that collect data at execution themselves (cn_hasV2DAE): the
// parameter set handed over whole with markers for the values still to come, the agent-driven
// SQLParamData/SQLPutData dialogue, and the compound call with named parameter descriptions.
#include <cstdint>

#include "drv_ingii/i-optable.h"
#include "odbc/handles.h"
#include "odbc/param.h"

// Indicator of a value the agent asks for later through SQLParamData.
constexpr uint16_t kDsIndAgentData = 0xFFFE;

// One agent-driven data-at-execution dialogue. The call that met the agent's 102 opens it with
// AgentDaeBegin and returns SQL_NEED_DATA; each SQLParamData asks the agent which value it wants
// next and hands out the token for it; SQLPutData sends that value's pieces, typed through
// `types`; when the agent stops asking, `finish` ends the suspended call with the agent's result.
// SQLExecute's parameters are one dialogue (need-data state 1); SQLSetPos's columns are another
// (state 2), supplied by the positioned-change side.
struct AgentDaeDialog {
    uint16_t needData;
    // The token for the value at the agent's index and row (the row may be rebased); false
    // when the index names nothing.
    bool (*token)(StmtRecord* stmt, uint16_t index, uint32_t* row, void** out);
    // C type and SQL type (0 for a column) of the value at index; false when it names nothing.
    bool (*types)(StmtRecord* stmt, uint16_t index, int16_t* cType, int16_t* sqlType);
    // Ends the suspended call: rc is the agent's answer other than 102, row the one it reported.
    SQLRETURN (*finish)(StmtRecord* stmt, uint32_t rc, uint32_t row);
    // Releases what the suspended call kept beside the pending Dataset; may be null.
    void (*drop)(StmtRecord* stmt);
};

// Opens a dialogue after an agent call answered kErrNeedsDataAtExec: sets its need-data state; gives SQL_NEED_DATA.
SQLRETURN AgentDaeBegin(StmtRecord* stmt, const AgentDaeDialog* dialog);
// Forgets a dialogue (closing the statement, a new execution); the pending Dataset goes too.
void AgentDaeDrop(StmtRecord* stmt);

// SQLParamData and SQLPutData on a connection with cn_hasV2DAE.
SQLRETURN ParamDataAgent(StmtRecord* stmt, void** token);
SQLRETURN PutDataAgent(StmtRecord* stmt, const void* data, SQLLEN length);

// SQLExecute and SQLExecDirect's execution on a connection with cn_hasV2DAE.
SQLRETURN ExecuteParamArray(StmtRecord* stmt);
// The end of an execution the agent ran: the pending Dataset released, then the common finish
// with the statement's last error as the agent's result and `rows` as the rows processed.
SQLRETURN ExecuteFinish(StmtRecord* stmt, uint32_t rows);

// Value kind and fixed width (0: measured) of a parameter value of a C type.
KindWidth ParamKindForCType(int cType);
// Octet length of row r's value as the agent-driven path sends it: 0 for NULL, for a value to
// come at execution and for a missing value pointer; 0 or an error code.
uint32_t ParamValueLengthV2(const StmtRecord* stmt, const ParamBinding& b, uint32_t r, uint64_t* out);
// The largest over the rows of the parameter set.
uint32_t ParamMaxValueLengthV2(const StmtRecord* stmt, const ParamBinding& b, uint64_t* out);

// Parameter descriptions with the IPD records' names (a copy each, null for unnamed records):
// 0 or kErrNoMemory. FreeParamDescNames frees the names and the array.
uint32_t CopyParamDescsWithNames(StmtRecord* stmt, uint16_t n, const ParamDescEntry* descs, ScsNamedParamDesc** out);
void FreeParamDescNames(ScsNamedParamDesc* descs, uint16_t n);

// The compound prepare-and-execute call: the named form with the compound-descriptions
// capability, else the plain one; descriptions only when n is above 0. An agent error code, or
// 16 when the named copies cannot be made (values then released as the agent would have).
uint32_t ExecuteCompound(StmtRecord* stmt, Dataset* values, uint16_t n, ParamDescEntry* descs);
