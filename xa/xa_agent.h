// Entry points of the distributed-transaction layer that the agent and the ODBC side call.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"

#include "util/xid.h"

enum : int { XA_OK = 0, XAER_RMERR = -3, XAER_NOTA = -4, XAER_INVAL = -5, XAER_PROTO = -6 };

// A connection's share in the XA worker; the agent reads only whether it is associated with a
// global transaction.
struct XaConnHolder {
  uint32_t associated;
};
struct XaBranchList;
struct IngConn;

// 43 for a link whose word is 0; else lays the XA layer over the link and answers 0.
uint32_t XaInterposeOpTable(AgentLink* link);
// The XA layer's own table (for tests), null before the first install.
const AgentFuncTable* XaLayerTable();

// Non-zero while the holder is associated with a global transaction.
int XaHolderAssociated(const XaConnHolder* holder);

// Transaction-id registration with OpenAPI: 0, 16 (out of memory) or 15.
uint32_t IIRegisterXid(const XID* xid, void** tranIdHandle);
uint32_t IIReleaseXid(const XID* xid, void** tranIdHandle);

// The server's list of parked XA branches.
XaBranchList* XaBranchListCreate();
void XaBranchListFree(XaBranchList* list);  // releases every entry first
uint32_t XaBranchRelease(void* entry);
void XaThreadCleanup();

// The agent's XA verbs (slots 55-64).
int IngXaOpen(uint32_t conn, const char* info, int rmid, long flags);
int IngXaClose(uint32_t conn, const char* info, int rmid, long flags);
int IngXaStart(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaEnd(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaPrepare(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaCommit(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaRollback(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaRecover(uint32_t conn, XID* xids, long count, int rmid, long flags);
int IngXaForget(uint32_t conn);
int IngXaComplete(uint32_t conn);

// DTC: set-up succeeds; a dispenser cannot be made yet, so enlistment fails (row 170, IM932).
int DtcInit();
struct COdbcResourceDispenser;
COdbcResourceDispenser* DispenserCreate(void* transaction, uint32_t server, uint32_t conn, const AgentLink* link,
                                        void* connXaLock, void* connCallLock, const char* connectText);
int DispenserRelease(COdbcResourceDispenser* d);
int DispenserRMConnect(COdbcResourceDispenser* d);
int DispenserRMEnlist(COdbcResourceDispenser* d);
int IngXaShutdown();
