// Synchronous helpers over the asynchronous OpenAPI calls. Each returns 0 or an internal
// error code and drains the server's messages into the given list.
#pragma once

#include <cstdint>

#include "drv_ingii/i-diag.h"
#include "iiapi/iiapi.h"
#include "drv_ingii/i-xa.h"

struct IngConn;
struct IngStmt;

// A row of texts, one per column (owned).
struct IngStringRow {
    uint32_t count;
    char** values;
};
void IngStringRowFree(IngStringRow* row);

const char* IIStatusName(IIAPI_STATUS status);

uint32_t IIInitialize(void** envCell);
uint32_t IITerminate(void** envCell);
uint32_t IISetConnParam(void** connCell, II_LONG paramId, const char* value, IngDiagList* list);
// Waits for a call to complete: 0, kErrNoData, or the code of its failure (its messages posted).
uint32_t IIWaitCompletionSlow(IIAPI_GENPARM* header, IngDiagList* list);
// Inline for a call that completed at once with success: five of them make a row of a parameter
// array.
inline uint32_t IIWaitCompletion(IIAPI_GENPARM* header, IngDiagList* list) {
    if (header->gp_completed && header->gp_status == IIAPI_ST_SUCCESS) return 0;
    return IIWaitCompletionSlow(header, list);
}
uint32_t IIDrainErrors(void* errorHandle, IngDiagList* list);
// 0; kErrGeneral or the wait's code; with an XID -3 (failure after connecting) or -4.
int32_t IIConnect(IngConn* c, const XID* xid);
uint32_t IIDisconnect(IngConn* c);
uint32_t IICommit(IngConn* c);
uint32_t IIRollback(IngConn* c);
uint32_t IICloseStmt(void** stmtCell, IngDiagList* list);
uint32_t IICancel(void** stmtCell, IngDiagList* list);
// Reads the result descriptors of an OpenAPI statement into *out (valid until the statement closes).
// A statement without result columns answers no data: that is zero columns and success.
uint32_t IIGetDescriptor(IIAPI_GETDESCRPARM* out, void* stmtHandle, IngDiagList* list);
uint32_t IIGetQueryInfo(void* stmtHandle, uint32_t* rowCount, int32_t* procReturn, IngDiagList* list);
// Test hook that sees every text the session layer runs through immediate execution.
using IngQueryHookFn = void (*)(const char* text);
void IngSetQueryHook(IngQueryHookFn hook);

uint32_t IIExecImmediate(void** connCell, void** tranCell, const char* text, uint32_t* rowCount, IngDiagList* list);
uint32_t IISetLockMode(IngConn* c, const char* lockWord);
uint32_t IISetSession(IngConn* c, const char* isolationText);
uint32_t IISelectStrings(void** connCell, void** tranCell, const char* text, IngStringRow* row, IngDiagList* list);
uint32_t IISelectCount(void** connCell, void** tranCell, const char* text, uint32_t* out, IngDiagList* list);
uint32_t IIProcedureExists(IngStmt* s, const char* name);
void IIFoldIdentifier(char* text, uint32_t quotedCase, uint32_t plainCase);
int MonthFromAbbrev(const char* text);
// The version number of a server version text ("II 2.6/0305 (...)" gives 2600305).
int32_t IngVersionNumber(const char* versionText);
