// A connection's share in the XA layer: the layer makes it at the connection's first xa_open
// and keeps it in the agent connection's slot. The agent asks only whether the connection is
// associated with a global transaction, through the functions the layer hands down.
#pragma once

#include <cstdint>

struct XaWorker;

// The association word comes first so that a bare holder can be written as {associated}.
struct XaConnHolder {
    uint32_t associated;         // 1 between the agent's xa_open and xa_close
    uint32_t enabled = 0;        // the mode given to xa_open: non-zero means the connection has a worker
    uint32_t keep = 0;           // 1: a later xa_open keeps this holder and its worker
    XaWorker* worker = nullptr;  // none when not enabled
    uint32_t reserved = 0;
};

// Non-zero while the holder is associated with a global transaction.
int XaHolderAssociated(const XaConnHolder* holder);
// 21 without a holder, else sets the associated word and answers 0.
uint32_t XaHolderSetAssociated(XaConnHolder* holder, int flag);
