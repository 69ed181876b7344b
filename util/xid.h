// The X/Open XA transaction identifier, with the members the XA standard gives it (long:
// 8 bytes on 64-bit Linux, so the structure is 152 bytes there).
#pragma once

#ifndef XIDDATASIZE
#define XIDDATASIZE 128  // size of the data bytes
#define MAXGTRIDSIZE 64  // largest global-transaction-id length
#define MAXBQUALSIZE 64  // largest branch-qualifier length

struct xid_t {
    long formatID;      // -1: the null XID
    long gtrid_length;  // 0 .. MAXGTRIDSIZE
    long bqual_length;  // 0 .. MAXBQUALSIZE
    char data[XIDDATASIZE];
};
typedef struct xid_t XID;
#endif

static_assert(sizeof(XID) == 3 * sizeof(long) + XIDDATASIZE, "XID layout as X/Open defines it");

// Copies the three length words and the used part of the data (global transaction id,
// then branch qualifier). 1, or 0 when an argument is null or a length lies outside
// 0 .. 64 (nothing is copied then).
int XidCopy(XID* dest, const XID* src);
