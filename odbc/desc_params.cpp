// Stand-ins for the parameter side's binding operations, which descriptor writes on an attached
// APD call; the parameter binding code replaces them with its own.
#include "odbc/desc.h"

__attribute__((weak)) SQLRETURN BindParameterCore(StmtRecord* stmt, uint16_t, uint16_t, int16_t, int16_t, uint64_t,
                                                  int16_t, void*, int64_t, SQLLEN*, SQLLEN*) {
    stmt->lastError = 43;  // S1C00
    return SQL_ERROR;
}

__attribute__((weak)) void ParamUnbind(StmtRecord*, uint16_t) {}
