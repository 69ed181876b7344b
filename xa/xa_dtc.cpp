// DTC enlistment: a resource dispenser per enlisted connection registers the connection with
// the coordinator as an XA resource manager, opens XA on it and starts the branch the
// coordinator names; its transaction resource carries the coordinator's prepare, commit and
// abort out as XA calls on the same connection.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/installer.h"
#include "platform/dtc.h"
#include "util/critsec.h"
#include "util/invariant.h"
#include "util/tokenlock.h"
#include "xa/xa_agent.h"
#include "xa/xa_dtc.h"
#include "xa/xa_trace.h"
#include "util/strutil.h"

struct COdbcResourceDispenser;

class CImpITransactionResourceAsync final : public ITransactionResourceAsync {
public:
    explicit CImpITransactionResourceAsync(COdbcResourceDispenser* owner) : owner_(owner) {}
    virtual ~CImpITransactionResourceAsync() = default;
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT PrepareRequest(int fRetaining, uint32_t grfRM, int fWantMoniker, int fSinglePhase) override;
    HRESULT CommitRequest(uint32_t grfRM, void* pNewUOW) override;
    HRESULT AbortRequest(void* pboidReason, int fRetaining, void* pNewUOW) override;
    HRESULT TMDown() override;

private:
    COdbcResourceDispenser* owner_;
};

namespace {
std::mutex g_dispenserListLock;  // DispenserListLock
// A plain array with nothing to destroy at exit: the library's unload hook runs after the
// static destructors and still walks it; it frees the storage itself.
struct DispenserList {
    COdbcResourceDispenser** items;
    size_t count;
    size_t room;
};
DispenserList g_dispensers = {nullptr, 0, 0};

bool ListAdd(COdbcResourceDispenser* d) {
    if (g_dispensers.count == g_dispensers.room) {
        size_t room = g_dispensers.room ? g_dispensers.room * 2 : 8;
        auto* grown = static_cast<COdbcResourceDispenser**>(std::realloc(g_dispensers.items, room * sizeof(void*)));
        if (grown == nullptr) return false;
        g_dispensers.items = grown;
        g_dispensers.room = room;
    }
    g_dispensers.items[g_dispensers.count++] = d;
    return true;
}

void ListRemove(COdbcResourceDispenser* d) {
    for (size_t i = 0; i < g_dispensers.count; ++i)
        if (g_dispensers.items[i] == d) {
            g_dispensers.items[i] = g_dispensers.items[--g_dispensers.count];
            break;
        }
    if (g_dispensers.count == 0) {
        std::free(g_dispensers.items);
        g_dispensers = {nullptr, 0, 0};
    }
}
char g_clientDll[160] = "";
bool g_dtcStarted = false;
IMalloc* g_malloc = nullptr;
std::mutex g_dtcLock;

HRESULT Result(HRESULT hr) { return OleTraceOn() ? OleTraceResult(hr) : hr; }
}  // namespace

struct COdbcResourceDispenser final : IOdbcResourceDispenser {
    uint32_t objectType = CObjCounter::kResourceDispenser;
    std::atomic<uint32_t> m_cRef{0};
    CritSec lock{};
    CImpITransactionResourceAsync* resource = nullptr;
    CritSec* connXaLock = nullptr;
    // Entered in the dispenser's own name: the coordinator may end the hold on another thread.
    TokenLock* connCallLock = nullptr;
    bool callLockHeld = false;
    std::string connectText;
    uint32_t server = 0;
    uint32_t m_hConnect = 0;
    const AgentLink* link = nullptr;
    uint32_t rmid = 0;
    uint32_t opened = 0;
    std::string xaInfo;
    XaBranchState state = kXaNone;  // kXaPrepared holds the connection's call lock
    ITransaction* transaction = nullptr;
    uint32_t rmCookie = 0;
    XID xid{};
    IDtcToXaHelperSinglePipe* helper = nullptr;
    ITransactionEnlistmentAsync* enlistment = nullptr;

    COdbcResourceDispenser(ITransaction* t, uint32_t sv, uint32_t conn, const AgentLink* l, CritSec* xaLock,
                           TokenLock* callLock, const char* text)
        : connXaLock(xaLock),
          connCallLock(callLock),
          connectText(text ? text : ""),
          server(sv),
          m_hConnect(conn),
          link(l),
          transaction(t) {
        xid.formatID = -1;
        resource = new CImpITransactionResourceAsync(this);
        CObjCounter::Raise(objectType);
        CritSecInit(&lock);
        std::lock_guard<std::mutex> g(g_dispenserListLock);
        ListAdd(this);
        if (OleTraceOn()) OleTracePrint("COdbcResourceDispenser::COdbcResourceDispenser()\n");
    }

    ~COdbcResourceDispenser() override {
        if (OleTraceOn()) OleTracePrint("COdbcResourceDispenser::~COdbcResourceDispenser()\n");
        if (state == kXaActive) Verb<DRV_XaEnd>(&xid, int(rmid), TMFAIL);
        LeaveCallLock();
        if (opened) {
            char info[257] = {};
            std::strncpy(info, xaInfo.c_str(), 256);
            if (auto fn = AgentSlotGet<DRV_XaClose>(link)) fn(m_hConnect, info, int(rmid), 0);
            opened = 0;
        }
        if (rmCookie != 0 && helper != nullptr) {
            helper->ReleaseRMCookie(rmCookie, 1);
            rmCookie = 0;
        }
        if (helper) helper->Release();
        delete resource;
        CritSecDelete(&lock);
        CObjCounter::Lower(objectType);
        // The password does not stay in freed memory.
        std::fill(connectText.begin(), connectText.end(), '\0');
    }

    template <int S, class... A>
    int Verb(A... args) {
        auto fn = AgentSlotGet<S>(link);
        return fn ? fn(m_hConnect, args...) : XAER_RMERR;
    }

    // The branch moves to `to`; a move it cannot make stops a Debug build.
    void MoveTo(XaBranchState to) {
        TV_INVARIANT(XaBranchMoveAllowed(state, to));
        state = to;
    }

    void EnterCallLock() {
        if (connCallLock && !callLockHeld) {
            TokenLockEnter(connCallLock, this);
            callLockHeld = true;
        }
    }
    void LeaveCallLock() {
        if (connCallLock && callLockHeld) {
            callLockHeld = false;
            TokenLockLeave(connCallLock, this);
        }
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (OleTraceOn()) OleTracePrint("COdbcResourceDispense::QueryInterface()\n");
        if (ppv == nullptr) return Result(E_INVALIDARG);
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IOdbcResourceDispenser*>(this);
        } else if (riid == IID_ITransactionResourceAsync) {
            *ppv = static_cast<ITransactionResourceAsync*>(resource);
        } else {
            *ppv = nullptr;
            if (OleTraceOn()) {
                char name[128];
                IidName(name, sizeof name, riid);
                OleTracePrint("  refused interface %s\n", name);
            }
            return Result(E_NOINTERFACE);
        }
        AddRef();
        return Result(S_OK);
    }

    ULONG AddRef() override {
        if (OleTraceOn())
            OleTracePrint("COdbcResourceDispenser::AddRef(), this=%p, m_hConnect=%lX, m_cRef=%d\n",
                          static_cast<void*>(this), static_cast<unsigned long>(m_hConnect), int(m_cRef.load() + 1));
        ULONG n = ++m_cRef;
        return OleTraceOn() ? ULONG(uint32_t(OleTraceResult(HRESULT(n)))) : n;
    }

    ULONG Release() override {
        if (OleTraceOn())
            OleTracePrint("COdbcResourceDispenser::Release(), this=%p, m_hConnect=%lX, m_cRef=%d\n",
                          static_cast<void*>(this), static_cast<unsigned long>(m_hConnect), int(m_cRef.load() - 1));
        ULONG n = --m_cRef;
        if (n > 0) return OleTraceOn() ? OleTraceCount(n) : n;
        {
            std::lock_guard<std::mutex> g(g_dispenserListLock);
            ListRemove(this);
        }
        delete this;
        return 0;
    }

    HRESULT GetSelf(IOdbcResourceDispenser** out) override {
        if (out == nullptr) return E_INVALIDARG;
        *out = this;
        return S_OK;
    }

    HRESULT RMConnect() override {
        CritSecGuard g(&lock);
        if (OleTraceOn()) OleTracePrint("COdbcResourceDispenser::RMConnect()\n");
        IUnknown* unknown = nullptr;
        HRESULT hr =
            DtcGetTransactionManager(nullptr, nullptr, IID_IUnknown, 0, 0, nullptr, reinterpret_cast<void**>(&unknown));
        if (FAILED(hr)) return Result(hr);
        IDtcToXaHelperSinglePipe* pipe = nullptr;
        hr = unknown->QueryInterface(IID_IDtcToXaHelperSinglePipe, reinterpret_cast<void**>(&pipe));
        if (FAILED(hr)) {
            unknown->Release();
            return Result(hr);
        }
        rmid = uint32_t(std::clock());
        std::string dsn = connectText.size() > 4 ? connectText.substr(4) : std::string();
        dsn = dsn.substr(0, std::min<size_t>(dsn.find(';'), 255));
        char info[256];
        if (!XaInfoRead(dsn.c_str(), info, sizeof info)) {
            hr = kNoXaInfo;
        } else {
            xaInfo = info;
            if (Verb<DRV_XaOpen>(uint32_t(1), static_cast<const char*>(info), int(rmid), 0L) != XA_OK) {
                hr = kXaOpenStartFailed;
            } else {
                opened = 1;
                char dll[160] = {};
                {
                    std::lock_guard<std::mutex> lg(g_dispenserListLock);
                    if (g_clientDll[0] == '\0') {
                        char read[160] = {};
                        int n =
                            InstGetPrivateProfileString(dsn.c_str(), "Driver", "", read, int(sizeof read), "odbc.ini");
                        if (n > 0) {
                            for (char& ch : read) ch = AsciiUpper(ch);
                            const char* base = read;
                            for (const char* p = read; *p; ++p)
                                if (*p == '\\' || *p == '/') base = p + 1;
                            std::snprintf(g_clientDll, sizeof g_clientDll, "%s", base);
                        }
                    }
                    std::memcpy(dll, g_clientDll, sizeof dll);
                }
                hr = dll[0] == '\0' ? E_FAIL : pipe->XARMCreate(connectText.c_str(), dll, &rmCookie);
            }
        }
        if (SUCCEEDED(hr)) {
            helper = pipe;
        } else {
            pipe->Release();
        }
        unknown->Release();
        return Result(hr);
    }

    HRESULT RMEnlist() override {
        CritSecGuard g(&lock);
        if (OleTraceOn()) OleTracePrint("COdbcResourceDispenser::RMEnlist()\n");
        if (helper == nullptr) return Result(E_UNEXPECTED);
        HRESULT hr = helper->ConvertTridToXID(transaction, rmCookie, &xid);
        if (FAILED(hr)) return Result(hr);
        if (Verb<DRV_XaStart>(&xid, int(rmid), TMNOFLAGS) != XA_OK) return Result(kXaOpenStartFailed);
        MoveTo(kXaActive);
        hr = helper->EnlistWithRM(rmCookie, transaction, resource, &enlistment);
        return Result(hr);
    }

    // ---- the coordinator's callbacks ----

    // Ends an active branch before its prepare or rollback; false when xa_end failed.
    bool EndActive() {
        if (state != kXaActive) return true;
        if (Verb<DRV_XaEnd>(&xid, int(rmid), TMSUCCESS) != XA_OK) return false;
        MoveTo(kXaEnded);
        return true;
    }

    // Where xa_commit or xa_rollback leaves the branch, and what the coordinator hears.
    HRESULT Completed(int rc, XaBranchState onRetry) {
        if (rc == XA_OK) {
            MoveTo(kXaNone);
            return S_OK;
        }
        if (rc == XA_RETRY)
            MoveTo(onRetry);
        else if (rc >= XA_HEURMIX && rc <= XA_HEURHAZ)
            MoveTo(kXaHeuristic);
        else
            MoveTo(kXaNone);
        return E_FAIL;
    }

    HRESULT Prepare(int fSinglePhase) {
        CritSecGuard g(&lock);
        if (OleTraceOn())
            OleTracePrint("CImpITransactionResourceAsync::PrepareRequest(fSinglePhase=%d)\n", fSinglePhase);
        HRESULT hr = E_FAIL;
        if (EndActive()) {
            int rc = Verb<DRV_XaPrepare>(&xid, int(rmid), TMNOFLAGS);
            if (rc == XA_OK) {
                MoveTo(kXaPrepared);
                EnterCallLock();
            } else if (rc == XAER_RMERR) {
                MoveTo(kXaEnded);
            } else {
                MoveTo(kXaNone);
            }
            hr = rc == XA_OK ? S_OK : rc == XA_RDONLY ? XACT_S_READONLY : E_FAIL;
        }
        if (enlistment) enlistment->PrepareRequestDone(hr, nullptr, nullptr);
        return Result(hr);
    }

    HRESULT Commit() {
        CritSecGuard g(&lock);
        if (OleTraceOn()) OleTracePrint("CImpITransactionResourceAsync::CommitRequest()\n");
        int rc = Verb<DRV_XaCommit>(&xid, int(rmid), TMNOFLAGS);
        if (state == kXaPrepared) LeaveCallLock();
        const HRESULT hr = Completed(rc, kXaPrepared);
        if (enlistment) enlistment->CommitRequestDone(hr);
        return Result(hr);
    }

    HRESULT Abort() {
        CritSecGuard g(&lock);
        if (OleTraceOn()) OleTracePrint("CImpITransactionResourceAsync::AbortRequest()\n");
        int rc = EndActive() ? Verb<DRV_XaRollback>(&xid, int(rmid), TMNOFLAGS) : XAER_RMERR;
        LeaveCallLock();  // only when this dispenser holds it
        const HRESULT hr = Completed(rc, kXaNone);
        if (enlistment) enlistment->AbortRequestDone(hr);
        return Result(hr);
    }

    HRESULT Down() {
        CritSecGuard g(&lock);
        if (OleTraceOn()) OleTracePrint("CImpITransactionResourceAsync::TMDown()\n");
        int rc = Verb<DRV_XaRollback>(&xid, int(rmid), TMNOFLAGS);
        return Result(rc == XA_OK ? S_OK : E_FAIL);
    }
};

HRESULT CImpITransactionResourceAsync::QueryInterface(REFIID riid, void** ppv) {
    return owner_->QueryInterface(riid, ppv);
}
ULONG CImpITransactionResourceAsync::AddRef() { return owner_->AddRef(); }
ULONG CImpITransactionResourceAsync::Release() { return owner_->Release(); }
HRESULT CImpITransactionResourceAsync::PrepareRequest(int, uint32_t, int, int fSinglePhase) {
    return owner_->Prepare(fSinglePhase);
}
HRESULT CImpITransactionResourceAsync::CommitRequest(uint32_t, void*) { return owner_->Commit(); }
HRESULT CImpITransactionResourceAsync::AbortRequest(void*, int, void*) { return owner_->Abort(); }
HRESULT CImpITransactionResourceAsync::TMDown() { return owner_->Down(); }

// ---- entry points for the connection layer --------------------------------------------------

int DtcInit() {
    std::lock_guard<std::mutex> g(g_dtcLock);
    if (g_dtcStarted) return 0;
    IMalloc* m = nullptr;
    if (FAILED(CoGetMalloc(1, &m)) || m == nullptr) return -1;
    g_malloc = m;
    OleTraceOpen();
    OleTraceSetDepth(0);
    g_dtcStarted = true;
    return 0;
}

void DtcFini() {
    std::lock_guard<std::mutex> g(g_dtcLock);
    if (!g_dtcStarted) return;
    std::vector<COdbcResourceDispenser*> left;
    {
        std::lock_guard<std::mutex> lg(g_dispenserListLock);
        left.assign(g_dispensers.items, g_dispensers.items + g_dispensers.count);
        std::free(g_dispensers.items);
        g_dispensers = {nullptr, 0, 0};
        g_clientDll[0] = '\0';  // a restarted layer reads it again
    }
    for (COdbcResourceDispenser* d : left) delete d;
    OleTraceClose();
    if (g_malloc) g_malloc->Release();
    g_malloc = nullptr;
    g_dtcStarted = false;
}

COdbcResourceDispenser* DispenserCreate(void* transaction, uint32_t server, uint32_t conn, const AgentLink* link,
                                        void* connXaLock, void* connCallLock, const char* connectText) {
    auto* d = new (std::nothrow)
        COdbcResourceDispenser(static_cast<ITransaction*>(transaction), server, conn, link,
                               static_cast<CritSec*>(connXaLock), static_cast<TokenLock*>(connCallLock), connectText);
    if (d == nullptr) return nullptr;
    d->AddRef();
    IOdbcResourceDispenser* self = nullptr;
    d->GetSelf(&self);
    return static_cast<COdbcResourceDispenser*>(self);
}

IOdbcResourceDispenser* DispenserInterface(COdbcResourceDispenser* d) { return d; }
XaBranchState DispenserState(COdbcResourceDispenser* d) { return d ? d->state : kXaNone; }
size_t DispenserCount() {
    std::lock_guard<std::mutex> g(g_dispenserListLock);
    return g_dispensers.count;
}

int DispenserRMConnect(COdbcResourceDispenser* d) { return d && SUCCEEDED(d->RMConnect()) ? 0 : -1; }
int DispenserRMEnlist(COdbcResourceDispenser* d) { return d && SUCCEEDED(d->RMEnlist()) ? 0 : -1; }
int DispenserRelease(COdbcResourceDispenser* d) { return d ? int(d->Release()) : -1; }

int XaInfoRead(const char* dsn, char* out, size_t size) {
    if (out == nullptr || size == 0) return 0;
    std::memset(out, 0, size);
    char buf[256] = {};
    int len = InstGetPrivateProfileString(dsn ? dsn : "", "XaInfo", "", buf, int(sizeof buf), "odbc.ini");
    if (len < 0 || size_t(len) >= size) return 0;
    // Bounded copy (out is zeroed above); strncpy trips the release build's truncation warning.
    const size_t n = std::min(strnlen(buf, sizeof buf - 1), size - 1);
    std::memcpy(out, buf, n);
    return 1;
}
