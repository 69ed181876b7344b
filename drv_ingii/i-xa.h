// The agent's side of distributed transactions: X/Open codes and flags, what the agent asks of
// the XA layer's share of a connection, transaction ids and the server's parked branches, and
// the agent's XA verbs (slots 55-64).
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/xid.h"

// X/Open return codes.
enum : int {
    XA_RBROLLBACK = 100,
    XA_RBCOMMFAIL = 101,
    XA_RBDEADLOCK = 102,
    XA_RBINTEGRITY = 103,
    XA_RBOTHER = 104,
    XA_RBPROTO = 105,
    XA_RBTIMEOUT = 106,
    XA_RBTRANSIENT = 107,
    XA_NOMIGRATE = 9,
    XA_HEURHAZ = 8,
    XA_HEURCOM = 7,
    XA_HEURRB = 6,
    XA_HEURMIX = 5,
    XA_RETRY = 4,
    XA_RDONLY = 3,
    XA_OK = 0,
    XAER_ASYNC = -2,
    XAER_RMERR = -3,
    XAER_NOTA = -4,
    XAER_INVAL = -5,
    XAER_PROTO = -6,
    XAER_RMFAIL = -7,
    XAER_DUPID = -8,
    XAER_OUTSIDE = -9,
};

// Where a transaction branch stands: an agent connection's (none to rollback-only) and a DTC
// enlistment's (none to prepared, or a heuristic outcome).
enum XaBranchState : uint32_t {
    kXaNone = 0,
    kXaActive = 1,
    kXaEnded = 2,
    kXaPrepared = 3,
    kXaRollbackOnly = 4,
    kXaHeuristic = 5,  // the coordinator's commit or abort ended in a heuristic outcome
};

// The moves a branch may make: an agent connection's (start, join, end, prepare, and back to none
// at commit, rollback, open and close) and a DTC enlistment's (a retried commit or a failed
// prepare stays where it was; a heuristic outcome may end any state). Checked where the states
// move, in Debug builds.
constexpr bool XaBranchMoveAllowed(uint32_t from, XaBranchState to) {
    if (to == kXaNone || to == kXaHeuristic || to == from) return true;
    switch (to) {
        case kXaActive:
            return from == kXaNone || from == kXaEnded;
        case kXaEnded:
            return from == kXaActive;
        case kXaPrepared:
            return from == kXaEnded;
        case kXaRollbackOnly:
            return from == kXaActive || from == kXaEnded;
        default:
            return false;
    }
}

// X/Open flags.
constexpr long TMNOFLAGS = 0x00000000L;
constexpr long TMREGISTER = 0x00000001L;
constexpr long TMNOMIGRATE = 0x00000002L;
constexpr long TMUSEASYNC = 0x00000004L;
constexpr long TMASYNC = 0x80000000L;
constexpr long TMONEPHASE = 0x40000000L;
constexpr long TMFAIL = 0x20000000L;
constexpr long TMNOWAIT = 0x10000000L;
constexpr long TMRESUME = 0x08000000L;
constexpr long TMSUCCESS = 0x04000000L;
constexpr long TMSUSPEND = 0x02000000L;
constexpr long TMSTARTRSCAN = 0x01000000L;
constexpr long TMENDRSCAN = 0x00800000L;
constexpr long TMMULTIPLE = 0x00400000L;
constexpr long TMJOIN = 0x00200000L;
constexpr long TMMIGRATE = 0x00100000L;

struct XaBranchList;
struct IngConn;

// The XA layer keeps its share of a connection in the connection's slot (IngConn::xaSlot),
// which the agent never looks into. When the layer is laid over the agent it hands down how
// the agent asks that share whether the connection is associated with a global transaction,
// and how it tells it that its own xa_open and xa_close began and ended the association.
struct IngXaSlotOps {
    int (*associated)(const void* slot);              // non-zero while associated
    uint32_t (*setAssociated)(void* slot, int flag);  // 21 without a share
};
void IngSetXaSlotOps(const IngXaSlotOps* ops);
// Non-zero while the slot's share is associated (0 for an empty slot or no XA layer).
int IngXaSlotAssociated(const void* slot);

// Transaction-id registration with OpenAPI: 0, kErrNoMemory or kErrGeneral.
uint32_t IIRegisterXid(const XID* xid, void** tranIdHandle);
uint32_t IIReleaseXid(const XID* xid, void** tranIdHandle);

// The server's list of parked XA branches.
XaBranchList* XaBranchListCreate();
void XaBranchListFree(XaBranchList* list);  // disconnects every entry's session first
uint32_t XaBranchListCount(const XaBranchList* list);

// Identifiers: both present and equal in format, lengths and used data.
int XidEqual(const XID* a, const XID* b);
void XidClear(XID* xid);
int XidIsNull(const XID* xid);
// "'formatID:gtrid:bqual:word:...:XA:0:7:EX'" into out (1024 bytes suffice); 0 for a bad XID.
int XidToText(const XID* xid, char* out, size_t size);
// 1 and the XID from a branch text, else 0.
int XidFromText(const char* text, XID* out);

// The agent's XA verbs (slots 55-64).
int IngXaOpen(uint32_t conn, uint32_t mode, const char* info, int rmid, long flags);
int IngXaClose(uint32_t conn, const char* info, int rmid, long flags);
int IngXaStart(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaEnd(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaPrepare(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaCommit(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaRollback(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaRecover(uint32_t conn, XID* xids, long count, int rmid, long flags);
int IngXaForget(uint32_t conn, XID* xid, int rmid, long flags);
int IngXaComplete(uint32_t conn, int* handle, int* result, int rmid, long flags);
