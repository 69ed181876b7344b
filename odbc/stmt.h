#pragma once
// Statement records: creation with their agent statement, cursor block and automatic descriptors,
// closing and freeing.
#include "odbc/handles.h"

// A new statement on conn (registered, with four registered automatic descriptors), or null with
// the code on the connection.
StmtRecord* StmtCreate(ConnRecord* conn);
// Back to state 1: data-at-execution cleared, cursor position reset, the agent's cursor closed.
void StmtCloseCursor(StmtRecord* stmt);
void StmtFree(StmtRecord* stmt);
// Cancels the statement's running operation in the agent; 0 or an internal error code.
uint32_t StmtAgentCancel(StmtRecord* stmt);
// Moves the agent's messages of the statement, then of its connection, into its diagnostics.
void StmtCollectAgentDiag(StmtRecord* stmt);
// The statement whose handle number this is (tag checked, last error cleared), or null.
StmtRecord* StmtFind(uint32_t handle);
