#pragma once
// Connection records: creation, disconnect and release.
#include "odbc/handles.h"

// A new allocated connection linked into env; null with 16 (S1001) on env when memory runs out.
ConnRecord* ConnCreate(EnvRecord* env);
// Closes and frees every statement and explicit descriptor; returns 0 or an internal error code.
uint32_t ConnDisconnect(ConnRecord* conn);
// Unlinks and unregisters the record and marks it freed; its memory is released by ConnRelease.
void ConnFree(ConnRecord* conn);
void ConnRelease(ConnRecord* conn);
