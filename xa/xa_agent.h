// Entry points of the distributed-transaction layer that the ODBC side calls.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"
#include "drv_ingii/i-xa.h"
#include "xa/xa_holder.h"

// 43 for a link whose word is 0; else lays the XA layer over the link and answers 0.
uint32_t XaInterposeOpTable(AgentLink* link);
// Lays the layers above the agent over its link, the cursor layer first and the XA layer on top,
// so that the ODBC side reaches both through the link alone; XaInterposeOpTable's answer.
uint32_t XaInstallLayers(AgentLink* link);
// The XA layer's own table (for tests), null before the first install.
const AgentFuncTable* XaLayerTable();
// The link below the XA layer as last installed (for tests).
AgentLink XaLowerLink();

// The holder the XA layer made for an agent connection (none before its first xa_open).
XaConnHolder* XaHolderOf(uint32_t conn);
// 1 while the holder's worker thread runs.
int XaWorkerRunning(const XaConnHolder* holder);
// The kernel thread id of the holder's worker (0 without one).
uint32_t XaWorkerThreadId(const XaConnHolder* holder);
// Asks the holder's worker to end as a terminated thread would (for tests of a dead worker).
void XaWorkerKill(XaConnHolder* holder);

// DTC: set-up and end, and the resource dispenser of an enlisted connection.
int DtcInit();
void DtcFini();
struct COdbcResourceDispenser;
COdbcResourceDispenser* DispenserCreate(void* transaction, uint32_t server, uint32_t conn, const AgentLink* link,
                                        void* connXaLock, void* connCallLock, const char* connectText);
int DispenserRelease(COdbcResourceDispenser* d);
int DispenserRMConnect(COdbcResourceDispenser* d);
int DispenserRMEnlist(COdbcResourceDispenser* d);
// The data source's "XaInfo" value (empty when the key is absent): 1, or 0 when it does not fit.
int XaInfoRead(const char* dsn, char* out, size_t size);
