// A small in-process distributed transaction coordinator: what the driver needs of one to be
// enlisted as an XA resource manager (the transaction manager object, its XA helper pipe, the
// enlistment callbacks, the COM allocator). Transactions are driven by their owner through
// DtcTransaction; each commit runs a real two-phase protocol over the enlisted resources.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "util/xid.h"

using HRESULT = int32_t;
typedef unsigned long ULONG;  // as the ODBC headers have it

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;
inline bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && std::equal(a.Data4, a.Data4 + 8, b.Data4);
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT XACT_S_ASYNC = 0x0004D000;
constexpr HRESULT XACT_S_READONLY = 0x0004D002;
constexpr HRESULT XACT_S_SINGLEPHASE = 0x0004D009;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_ABORT = HRESULT(0x80004004u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT XACT_E_NOTRANSACTION = HRESULT(0x8004D00Eu);
constexpr HRESULT XACT_E_ABORTED = HRESULT(0x8004D019u);
constexpr HRESULT XACT_E_CONNECTION_DOWN = HRESULT(0x8004D01Cu);
constexpr HRESULT XACT_E_INDOUBT = HRESULT(0x8004D016u);
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

extern const IID IID_IUnknown;
extern const IID IID_IMalloc;
extern const IID IID_ITransaction;
extern const IID IID_IDtcToXaHelperSinglePipe;
extern const IID IID_ITransactionResourceAsync;
extern const IID IID_ITransactionEnlistmentAsync;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IMalloc : IUnknown {
    virtual void* Alloc(size_t size) = 0;
    virtual void Free(void* p) = 0;
};

struct ITransaction : IUnknown {
    virtual HRESULT Commit(int fRetaining, uint32_t grfTC, uint32_t grfRM) = 0;
    virtual HRESULT Abort(void* pboidReason, int fRetaining, int fAsync) = 0;
};

struct ITransactionEnlistmentAsync : IUnknown {
    virtual HRESULT PrepareRequestDone(HRESULT hr, void* pmk, void* pboidReason) = 0;
    virtual HRESULT CommitRequestDone(HRESULT hr) = 0;
    virtual HRESULT AbortRequestDone(HRESULT hr) = 0;
};

struct ITransactionResourceAsync : IUnknown {
    virtual HRESULT PrepareRequest(int fRetaining, uint32_t grfRM, int fWantMoniker, int fSinglePhase) = 0;
    virtual HRESULT CommitRequest(uint32_t grfRM, void* pNewUOW) = 0;
    virtual HRESULT AbortRequest(void* pboidReason, int fRetaining, void* pNewUOW) = 0;
    virtual HRESULT TMDown() = 0;
};

struct IDtcToXaHelperSinglePipe : IUnknown {
    virtual HRESULT XARMCreate(const char* dsn, const char* clientDll, uint32_t* rmCookie) = 0;
    virtual HRESULT ConvertTridToXID(ITransaction* transaction, uint32_t rmCookie, XID* xid) = 0;
    virtual HRESULT EnlistWithRM(uint32_t rmCookie, ITransaction* transaction, ITransactionResourceAsync* resource,
                                 ITransactionEnlistmentAsync** enlistment) = 0;
    virtual void ReleaseRMCookie(uint32_t rmCookie, int normal) = 0;
};

// The transaction manager object (IUnknown; answers IDtcToXaHelperSinglePipe). Arguments as the
// system's: host, manager name, interface, two reserved words, reserved pointer, out.
HRESULT DtcGetTransactionManager(const char* host, const char* tmName, REFIID riid, uint32_t dwReserved1,
                                 uint16_t wcbReserved2, void* pvReserved2, void** ppv);
// Context 1 (the task allocator); the allocator carries a reference for the caller.
HRESULT CoGetMalloc(uint32_t memContext, IMalloc** out);

// ---- The coordinator's side, for its owner (tests, a transaction monitor) ---------------------

// What the coordinator saw of an enlisted resource.
struct DtcEnlistmentRecord {
    uint32_t rmCookie;
    XID xid;
    HRESULT prepareResult;  // as reported by PrepareRequestDone (S_FALSE while none)
    HRESULT outcomeResult;  // as reported by CommitRequestDone / AbortRequestDone (S_FALSE while none)
};

// A transaction of this coordinator. Commit runs phase one over every enlisted resource and
// commits when all voted yes (read-only voters are left out of phase two), else aborts them.
// Abort aborts every enlisted resource. Both answer S_OK, XACT_E_ABORTED or XACT_E_NOTRANSACTION
// (already finished).
class DtcTransaction;
DtcTransaction* DtcTransactionBegin();  // one reference for the caller
ITransaction* DtcTransactionInterface(DtcTransaction* t);
std::vector<DtcEnlistmentRecord> DtcTransactionEnlistments(DtcTransaction* t);
// Tells every enlisted resource that the coordinator went down.
void DtcTransactionTMDown(DtcTransaction* t);
// Called by Commit after every resource voted yes, before phase two; false makes the
// coordinator abort the prepared resources instead (as when a participant it cannot reach
// gave no vote).
void DtcTransactionBetweenPhases(DtcTransaction* t, std::function<bool()> decide);

// Registered resource managers: cookie -> (DSN text, client library name).
struct DtcResourceManagerRecord {
    uint32_t cookie;
    std::string dsn;
    std::string clientDll;
    bool released;
    bool releasedNormally;
};
std::vector<DtcResourceManagerRecord> DtcResourceManagers();

// Live objects of the coordinator (transactions, enlistments, helpers, allocators).
long DtcLiveObjects();
// Test switches: the next DtcGetTransactionManager, CoGetMalloc or XARMCreate fails with E_FAIL.
void DtcFailNext(int whichCall);
enum : int { kDtcFailGetManager = 1, kDtcFailMalloc = 2, kDtcFailRMCreate = 3 };
