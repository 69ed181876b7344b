// The in-process transaction coordinator. As a real coordinator does, it calls each resource
// back on a thread of its own (so prepare and commit of one resource run on different threads),
// never under the coordinator's lock: a resource calls back into its enlistment.
#include "platform/dtc.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ITransaction = {0x0FB15084, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};
const IID IID_IDtcToXaHelperSinglePipe = {0x47ED4971, 0x53B3, 0x11D1, {0xBB, 0xB9, 0x00, 0xC0, 0x4F, 0xD6, 0x58, 0xF6}};
const IID IID_ITransactionResourceAsync = {
    0x69E971F0, 0x23CE, 0x11CF, {0xAD, 0x60, 0x00, 0xAA, 0x00, 0xA7, 0x4C, 0xCD}};
const IID IID_ITransactionEnlistmentAsync = {
    0x0FB15081, 0xAF41, 0x11CE, {0xBD, 0x2B, 0x20, 0x4C, 0x4F, 0x4F, 0x50, 0x20}};

namespace {

std::atomic<long> g_live{0};
std::atomic<int> g_failNext{0};
std::mutex g_lock;
std::vector<DtcResourceManagerRecord> g_rms;
uint32_t g_nextCookie = 1;
uint64_t g_nextTransaction = 1;
// Transactions alive: a pointer that is not one of them is refused before it is used.
std::set<const void*> g_liveTxns;

// Runs one callback on a fresh thread and waits for it.
template <class F>
void OnCoordinatorThread(F&& call) {
    std::thread t(std::forward<F>(call));
    t.join();
}

bool TakeFailure(int which) {
    int expected = which;
    return g_failNext.compare_exchange_strong(expected, 0);
}

// Reference counting shared by the coordinator's objects.
template <class Base>
struct Counted : Base {
    std::atomic<ULONG> refs{1};
    Counted() { ++g_live; }
    virtual ~Counted() { --g_live; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        ULONG n = --refs;
        if (n == 0) delete this;
        return n;
    }
};

struct Malloc final : Counted<IMalloc> {
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IMalloc) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IMalloc*>(this);
        return S_OK;
    }
    void* Alloc(size_t size) override { return std::malloc(size ? size : 1); }
    void Free(void* p) override { std::free(p); }
};

}  // namespace

class DtcTransaction;

namespace {

struct Enlistment final : Counted<ITransactionEnlistmentAsync> {
    DtcTransaction* owner = nullptr;                // not counted: the transaction holds the enlistment
    ITransactionResourceAsync* resource = nullptr;  // counted
    DtcEnlistmentRecord record{};
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_ITransactionEnlistmentAsync) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<ITransactionEnlistmentAsync*>(this);
        return S_OK;
    }
    HRESULT PrepareRequestDone(HRESULT hr, void*, void*) override;
    HRESULT CommitRequestDone(HRESULT hr) override;
    HRESULT AbortRequestDone(HRESULT hr) override;
    ~Enlistment() override {
        if (resource) resource->Release();
    }
};

}  // namespace

class DtcTransaction final : public Counted<ITransaction> {
public:
    uint64_t id = 0;
    bool finished = false;
    std::vector<Enlistment*> enlisted;  // counted
    std::function<bool()> betweenPhases;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_ITransaction) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<ITransaction*>(this);
        return S_OK;
    }

    std::vector<Enlistment*> TakeForOutcome() {
        std::lock_guard<std::mutex> g(g_lock);
        if (finished) return {};
        finished = true;
        for (Enlistment* e : enlisted) e->AddRef();
        return enlisted;
    }

    HRESULT Commit(int, uint32_t, uint32_t) override {
        {
            std::lock_guard<std::mutex> g(g_lock);
            if (finished) return XACT_E_NOTRANSACTION;
        }
        std::vector<Enlistment*> list = TakeForOutcome();
        bool allYes = true;
        for (Enlistment* e : list) {
            OnCoordinatorThread([e] { e->resource->PrepareRequest(0, 0, 0, 0); });
            HRESULT vote;
            {
                std::lock_guard<std::mutex> g(g_lock);
                vote = e->record.prepareResult;
            }
            if (vote != S_OK && vote != XACT_S_READONLY) allYes = false;
        }
        if (allYes && betweenPhases && !betweenPhases()) allYes = false;
        for (Enlistment* e : list) {
            HRESULT vote;
            {
                std::lock_guard<std::mutex> g(g_lock);
                vote = e->record.prepareResult;
            }
            if (vote == XACT_S_READONLY) continue;  // has nothing left to finish
            if (allYes)
                OnCoordinatorThread([e] { e->resource->CommitRequest(0, nullptr); });
            else
                OnCoordinatorThread([e] { e->resource->AbortRequest(nullptr, 0, nullptr); });
        }
        for (Enlistment* e : list) e->Release();
        return allYes ? S_OK : XACT_E_ABORTED;
    }

    HRESULT Abort(void*, int, int) override {
        // Finished already: nothing is left to abort.
        for (Enlistment* e : TakeForOutcome()) {
            OnCoordinatorThread([e] { e->resource->AbortRequest(nullptr, 0, nullptr); });
            e->Release();
        }
        return S_OK;
    }

    ~DtcTransaction() override {
        {
            std::lock_guard<std::mutex> g(g_lock);
            g_liveTxns.erase(static_cast<const ITransaction*>(this));
        }
        for (Enlistment* e : enlisted) e->Release();
    }
};

namespace {
DtcTransaction* Known(ITransaction* t) {
    std::lock_guard<std::mutex> g(g_lock);
    return t && g_liveTxns.count(t) ? static_cast<DtcTransaction*>(t) : nullptr;
}
}  // namespace

namespace {

HRESULT Enlistment::PrepareRequestDone(HRESULT hr, void*, void*) {
    std::lock_guard<std::mutex> g(g_lock);
    record.prepareResult = hr;
    return S_OK;
}
HRESULT Enlistment::CommitRequestDone(HRESULT hr) {
    std::lock_guard<std::mutex> g(g_lock);
    record.outcomeResult = hr;
    return S_OK;
}
HRESULT Enlistment::AbortRequestDone(HRESULT hr) {
    std::lock_guard<std::mutex> g(g_lock);
    record.outcomeResult = hr;
    return S_OK;
}

struct Helper final : Counted<IDtcToXaHelperSinglePipe> {
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDtcToXaHelperSinglePipe) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IDtcToXaHelperSinglePipe*>(this);
        return S_OK;
    }

    HRESULT XARMCreate(const char* dsn, const char* clientDll, uint32_t* rmCookie) override {
        if (!dsn || !clientDll || !rmCookie) return E_INVALIDARG;
        if (TakeFailure(kDtcFailRMCreate)) return E_FAIL;
        std::lock_guard<std::mutex> g(g_lock);
        *rmCookie = g_nextCookie++;
        g_rms.push_back({*rmCookie, dsn, clientDll, false, false});
        return S_OK;
    }

    HRESULT ConvertTridToXID(ITransaction* transaction, uint32_t rmCookie, XID* xid) override {
        DtcTransaction* t = Known(transaction);
        if (!t || !xid) return E_INVALIDARG;
        std::lock_guard<std::mutex> g(g_lock);
        if (t->finished) return XACT_E_NOTRANSACTION;
        bool known = false;
        for (const auto& rm : g_rms) known = known || (rm.cookie == rmCookie && !rm.released);
        if (!known) return E_INVALIDARG;
        std::memset(xid, 0, sizeof *xid);
        xid->formatID = 0x00445443;  // "DTC"
        xid->gtrid_length = 16;
        xid->bqual_length = 4;
        std::memcpy(xid->data, "DTC:", 4);
        for (int i = 0; i < 8; ++i) xid->data[4 + i] = char((t->id >> (56 - 8 * i)) & 0xFF);
        std::memcpy(xid->data + 12, ":TX:", 4);
        for (int i = 0; i < 4; ++i) xid->data[16 + i] = char((rmCookie >> (24 - 8 * i)) & 0xFF);
        return S_OK;
    }

    HRESULT EnlistWithRM(uint32_t rmCookie, ITransaction* transaction, ITransactionResourceAsync* resource,
                         ITransactionEnlistmentAsync** enlistment) override {
        DtcTransaction* t = Known(transaction);
        if (!t || !resource || !enlistment) return E_INVALIDARG;
        *enlistment = nullptr;
        XID xid{};
        HRESULT hr = ConvertTridToXID(transaction, rmCookie, &xid);
        if (FAILED(hr)) return hr;
        auto* e = new Enlistment();
        e->owner = t;
        resource->AddRef();
        e->resource = resource;
        e->record = {rmCookie, xid, S_FALSE, S_FALSE};
        std::lock_guard<std::mutex> g(g_lock);
        t->enlisted.push_back(e);
        // The transaction keeps the enlistment alive; the resource reaches it only from its callbacks.
        *enlistment = e;
        return S_OK;
    }

    void ReleaseRMCookie(uint32_t rmCookie, int normal) override {
        std::lock_guard<std::mutex> g(g_lock);
        for (auto& rm : g_rms)
            if (rm.cookie == rmCookie && !rm.released) {
                rm.released = true;
                rm.releasedNormally = normal != 0;
            }
    }
};

}  // namespace

HRESULT DtcGetTransactionManager(const char*, const char*, REFIID riid, uint32_t, uint16_t, void*, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (TakeFailure(kDtcFailGetManager)) return XACT_E_CONNECTION_DOWN;
    auto* h = new Helper();
    HRESULT hr = h->QueryInterface(riid, ppv);
    h->Release();
    return hr;
}

HRESULT CoGetMalloc(uint32_t memContext, IMalloc** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (memContext != 1 || TakeFailure(kDtcFailMalloc)) return E_FAIL;
    *out = new Malloc();
    return S_OK;
}

DtcTransaction* DtcTransactionBegin() {
    auto* t = new DtcTransaction();
    std::lock_guard<std::mutex> g(g_lock);
    t->id = g_nextTransaction++;
    g_liveTxns.insert(static_cast<const ITransaction*>(t));
    return t;
}

ITransaction* DtcTransactionInterface(DtcTransaction* t) { return t; }

std::vector<DtcEnlistmentRecord> DtcTransactionEnlistments(DtcTransaction* t) {
    std::vector<DtcEnlistmentRecord> out;
    if (!t) return out;
    std::lock_guard<std::mutex> g(g_lock);
    for (Enlistment* e : t->enlisted) out.push_back(e->record);
    return out;
}

void DtcTransactionTMDown(DtcTransaction* t) {
    if (!t) return;
    std::vector<Enlistment*> list = t->TakeForOutcome();
    for (Enlistment* e : list) {
        OnCoordinatorThread([e] { e->resource->TMDown(); });
        e->Release();
    }
}

std::vector<DtcResourceManagerRecord> DtcResourceManagers() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_rms;
}

void DtcTransactionBetweenPhases(DtcTransaction* t, std::function<bool()> decide) {
    if (t) t->betweenPhases = std::move(decide);
}

long DtcLiveObjects() { return g_live.load(); }

void DtcFailNext(int whichCall) { g_failNext.store(whichCall); }
