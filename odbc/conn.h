#pragma once
// Connection records: creation, opening on the agent, transactions, disconnect and release.
#include <sql.h>

#include <string>

#include "odbc/handles.h"

// A new allocated connection linked into env; null with kErrNoMemory (S1001) on env when memory runs out.
ConnRecord* ConnCreate(EnvRecord* env);
// Opens an allocated connection on the agent from its connect fields and the data source's
// settings for this connect (null: all zero; the agent takes their texts over). mode 'W' marks
// the connection as Unicode. Leaves state 2 and last error 0, or state 1 with the last error and
// diagnostics set.
struct IngDsnSettings;
void ConnOpen(ConnRecord* conn, char mode, IngDsnSettings* settings);
// Closes and frees every statement, leaves the agent and frees the explicit descriptors;
// returns 0 or an internal error code.
uint32_t ConnDisconnect(ConnRecord* conn);
// Commit (type 0) or roll back (type 1) the connection's transaction: SQL_SUCCESS or SQL_ERROR
// with the last error set.
SQLRETURN ConnEndTran(ConnRecord* conn, uint32_t type);
// The same for every connection of an environment (the caller holds HandleLock).
SQLRETURN EnvEndTran(EnvRecord* env, uint32_t type);
// Unlinks and unregisters the record and marks it freed; its memory is released by ConnRelease.
void ConnFree(ConnRecord* conn);
void ConnRelease(ConnRecord* conn);

// The server address of the agent's connect parameters: "host:port" when the port is a number
// from 1 to 65535 and the whole is short enough, else the host alone.
std::string ConnServerAddress(const char* host, const char* port);
// The agent's connect parameters from the record's connect fields; address keeps the server
// address text the parameters point into.
struct IngConnectParams;
void ConnConnectParams(const ConnRecord* conn, IngConnectParams& params, std::string& address);
// Capability words and autocommit from the agent's capability mask.
void ConnApplyCapabilityMask(ConnRecord* conn, uint32_t mask);
