// The resource dispenser's interface, for those who hold one (the connection layer through
// xa_agent.h; tests through this header).
#pragma once

#include "platform/dtc.h"
#include "xa/xa_agent.h"

// The layer's own failures.
constexpr HRESULT kXaOpenStartFailed = HRESULT(0x80044001u);  // xa_open or xa_start failed
constexpr HRESULT kNoXaInfo = HRESULT(0x80044006u);           // the data source has no usable XaInfo

struct IOdbcResourceDispenser {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual ~IOdbcResourceDispenser() = default;
    virtual HRESULT RMConnect() = 0;
    virtual HRESULT RMEnlist() = 0;
    virtual HRESULT GetSelf(IOdbcResourceDispenser** out) = 0;
};

IOdbcResourceDispenser* DispenserInterface(COdbcResourceDispenser* d);
// Where a dispenser's branch stands: none, active (started), ended, prepared or heuristic.
XaBranchState DispenserState(COdbcResourceDispenser* d);
// Number of dispensers alive.
size_t DispenserCount();
