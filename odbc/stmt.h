#pragma once
// Statement records: creation with their automatic descriptors, closing and freeing.
#include "odbc/handles.h"

// A new statement on conn (registered, with four registered automatic descriptors), or null with
// the code on the connection.
StmtRecord* StmtCreate(ConnRecord* conn);
void StmtCloseCursor(StmtRecord* stmt);
void StmtFree(StmtRecord* stmt);
// Cancels the statement's running operation in the agent; 0 or an internal error code.
uint32_t StmtAgentCancel(StmtRecord* stmt);
