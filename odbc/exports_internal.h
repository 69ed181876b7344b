#pragma once
// Internal entry paths for the driver's own uses of its API (XA, DTC): the same gateway
// records as the exports, reached without calling an exported name.
#include <sql.h>
#include <sqlext.h>

#include "util/handle_table.h"

SQLRETURN ApiAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN ApiFreeHandle(SQLSMALLINT type, SQLHANDLE handle);
SQLRETURN ApiSetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len);
SQLRETURN ApiDisconnect(SQLHDBC hdbc);
SQLRETURN ApiDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* in, SQLSMALLINT cbIn, SQLCHAR* out,
                           SQLSMALLINT cbOutMax, SQLSMALLINT* pcbOut, SQLUSMALLINT completion);

bool HandleRegistered(HandleTable* table, SQLHANDLE h, uint32_t tag);
