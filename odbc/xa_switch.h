// The X/Open XA switch of the driver and the layer's start and end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/xid.h"

#define RMNAMESZ 32      // length of a resource manager's name, with its terminator
#define MAXINFOSIZE 256  // length of an xa_info text, with its terminator

// The XA standard's switch: the resource manager's name, its flags and version, and its entry
// functions in the standard's order.
struct xa_switch_t {
    char name[RMNAMESZ];
    long flags;
    long version;
    int (*xa_open_entry)(char* xa_info, int rmid, long flags);
    int (*xa_close_entry)(char* xa_info, int rmid, long flags);
    int (*xa_start_entry)(XID* xid, int rmid, long flags);
    int (*xa_end_entry)(XID* xid, int rmid, long flags);
    int (*xa_rollback_entry)(XID* xid, int rmid, long flags);
    int (*xa_prepare_entry)(XID* xid, int rmid, long flags);
    int (*xa_commit_entry)(XID* xid, int rmid, long flags);
    int (*xa_recover_entry)(XID* xids, long count, int rmid, long flags);
    int (*xa_forget_entry)(XID* xid, int rmid, long flags);
    int (*xa_complete_entry)(int* handle, int* result, int rmid, long flags);
};

extern "C" xa_switch_t* kiv_xa_switch();

int xa_switch_open(char* xa_info, int rmid, long flags);
int xa_switch_close(char* xa_info, int rmid, long flags);
int xa_switch_start(XID* xid, int rmid, long flags);
int xa_switch_end(XID* xid, int rmid, long flags);
int xa_switch_rollback(XID* xid, int rmid, long flags);
int xa_switch_prepare(XID* xid, int rmid, long flags);
int xa_switch_commit(XID* xid, int rmid, long flags);
int xa_switch_recover(XID* xids, long count, int rmid, long flags);
int xa_switch_forget(XID* xid, int rmid, long flags);
int xa_switch_complete(int* handle, int* result, int rmid, long flags);

void XaSwitchInit();
void XaSwitchShutdown();
xa_switch_t* XaSwitchBuild();
// The DSN of an xa_info text ("DSN=" up to ';', trailing blanks dropped): 1, or 0 without one
// or when it does not fit the 256-byte buffer.
int XaInfoDsn(const char* xaInfo, char* out, size_t size);
// What the GetXaSwitch export answers: starts the DTC layer and hands out the XA switch (an
// HRESULT).
int32_t DtcGetXaSwitch(xa_switch_t** out);
// Shuts the DTC layer and the switch down (library detach).
int IngXaShutdown();
// Number of live thread associations in the process (for tests).
long XaThreadAssocCount();
