// The XA interposer: its own copy of the operation table over the layer below, with 22 slots
// replaced. While a connection takes part in an XA transaction its calls run on the
// connection's worker thread, one at a time, while the caller waits for the result.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <tuple>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-errtab.h"
#include "scrs/sc_cursor.h"
#include "util/threads.h"
#include "util/trymem.h"
#include "xa/xa_agent.h"
#include "util/errtable.h"

struct XaTask {
    void (*function)(void* argument);
    void* argument;
};

struct XaChannel {
    XaTask* slot;
    Semaphore ready;  // initial 0, maximum 1
    Semaphore free;   // initial 1, maximum 1
    Event done;
    XaWorker* worker;
};

struct XaWorker {
    Thread thread;
    Event stop;
    XaChannel channel;
    uint32_t terminate;  // 1: ended by terminating its thread, not by the stop event
    ThreadStartRecord start;
};

namespace {

std::mutex g_xaLock;
bool g_xaInstalled = false;
AgentFuncTable g_xaTable;
AgentFuncTable g_lowerCopy;  // the table below as it was when the copy was made
AgentLink g_xaLower;

// The slot below as last installed; read on every call.
template <int S>
typename AgentSlotSig<S>::type Below() {
    std::lock_guard<std::mutex> guard(g_xaLock);
    return AgentSlotGet<S>(g_xaLower.table);
}

// ---- the worker ---------------------------------------------------------------------------

// A stop request (Linux threads are asked, never killed) makes the waits fail.
int Receive(XaWorker* w, XaTask** task) {
    if (w->terminate == 0) {
        WaitSet set{};
        WaitSetAddEvent(&set, &w->stop);
        WaitSetAddSemaphore(&set, &w->channel.ready);
        uint32_t which = WaitSetWait(&set, 0);
        if (which != 1) return 0;
    } else if (!SemaphoreWait(&w->channel.ready)) {
        return 0;
    }
    *task = w->channel.slot;
    return 1;
}

uint32_t WorkerLoop(void* argument) {
    auto* w = static_cast<XaWorker*>(argument);
    for (;;) {
        XaTask* task = nullptr;
        if (!Receive(w, &task)) return 0;
        if (task != nullptr && task->function != nullptr) task->function(task->argument);
        w->channel.slot = task;
        EventSet(&w->channel.done);
    }
}

void WorkerFree(XaWorker* w) {
    if (w == nullptr) return;
    ThreadClose(&w->thread);
    EventClose(&w->stop);
    EventClose(&w->channel.done);
    SemaphoreClose(&w->channel.ready);
    SemaphoreClose(&w->channel.free);
    TryFree(w);
}

XaWorker* WorkerStart(uint32_t terminate) {
    auto* w = static_cast<XaWorker*>(TryCalloc(1, sizeof(XaWorker)));
    if (w == nullptr) return nullptr;
    w->channel.worker = w;
    if (!EventCreate(&w->stop, 0) || !EventCreate(&w->channel.done, 0) || !SemaphoreCreate(&w->channel.ready, 0, 1) ||
        !SemaphoreCreate(&w->channel.free, 1, 1)) {
        WorkerFree(w);
        return nullptr;
    }
    w->terminate = terminate;
    w->start.function = WorkerLoop;
    w->start.argument = w;
    ThreadStart(&w->thread, &w->start);
    return w;
}

// Ends the worker and frees it. A worker marked for termination is asked to stop (its waits
// fail and it returns); either way the thread has left before its objects go.
void WorkerStop(XaWorker* w) {
    if (w == nullptr) return;
    if (w->terminate == 0)
        EventSet(&w->stop);
    else
        ThreadTerminate(&w->thread, 0);
    ThreadJoin(&w->thread);
    WorkerFree(w);
}

int Post(XaConnHolder* holder, void (*run)(void*), void* callObject) {
    XaWorker* w = holder->worker;
    if (w == nullptr) return 0;
    XaTask task{run, callObject};
    uint32_t code = 0;
    if (!ThreadIsRunning(&w->thread) || ThreadExitCode(&w->thread, &code)) return 0;
    if (!SemaphoreWait(&w->channel.free)) return 0;
    w->channel.slot = &task;
    SemaphoreRelease(&w->channel.ready);
    // The worker may end without running the task (it was stopped): do not wait for it then.
    WaitSet set{};
    WaitSetAddEvent(&set, &w->channel.done);
    WaitSetAddThread(&set, &w->thread);
    uint32_t which = WaitSetWait(&set, 0);
    SemaphoreRelease(&w->channel.free);
    return which == 0 ? 1 : 0;
}

void HolderFree(XaConnHolder* holder) {
    if (holder == nullptr) return;
    WorkerStop(holder->worker);
    TryFree(holder);
}

// The terminate flag is the worker's before its thread starts: the thread reads it at once.
XaConnHolder* HolderInit(uint32_t mode, uint32_t keep, uint32_t terminate) {
    void* mem = TryCalloc(1, sizeof(XaConnHolder));
    if (mem == nullptr) return nullptr;
    auto* h = new (mem) XaConnHolder{};
    h->enabled = mode;
    h->keep = keep;
    if (mode != 0) {
        h->worker = WorkerStart(terminate);
        if (h->worker == nullptr) {
            TryFree(h);
            return nullptr;
        }
    }
    return h;
}

// ---- call objects -------------------------------------------------------------------------

// One kind per replaced slot: the captured arguments, the slot below, and the result written
// on the worker.
template <int S, class R, class... A>
struct XaCallBase {
    using Fn = R (*)(A...);
    Fn fn;
    std::tuple<A...> args;
    R result;
    XaCallBase(A... a) : fn(Below<S>()), args(a...), result{} {}
    static void Run(void* self) {
        auto* c = static_cast<XaCallBase*>(self);
        c->result = c->fn ? std::apply(c->fn, c->args) : static_cast<R>(kErrNotCapable);
    }
};

template <class Sig>
struct SigParts;
template <class R, class... A>
struct SigParts<R (*)(A...)> {
    template <int S>
    using Call = XaCallBase<S, R, A...>;
};

template <int S>
using CallOf = typename SigParts<typename AgentSlotSig<S>::type>::template Call<S>;

XaConnHolder* HolderOfStmt(uint32_t stmt, bool* known) {
    void* slot = nullptr;
    *known = IngAskStmtXaSlot(stmt, &slot);
    return static_cast<XaConnHolder*>(slot);
}

XaConnHolder* HolderOfConn(uint32_t conn, bool* known) {
    void* slot = nullptr;
    *known = IngAskConnXaSlot(conn, &slot);
    return static_cast<XaConnHolder*>(slot);
}

// Statement and connection operations: on the worker while the connection is in a global
// transaction, else directly below.
template <int S, bool OnConn, class... A>
ErrCode StmtWrapper(uint32_t h, A... a) {
    bool known = false;
    XaConnHolder* holder = OnConn ? HolderOfConn(h, &known) : HolderOfStmt(h, &known);
    // An unknown handle goes below, which refuses it (21) and clears its outputs.
    if (known && holder != nullptr && holder->associated && holder->enabled) {
        CallOf<S> call(h, a...);
        if (call.fn == nullptr) return kErrNotCapable;
        if (!Post(holder, &CallOf<S>::Run, &call)) return kErrWorker;
        return call.result;
    }
    auto fn = Below<S>();
    if (fn == nullptr) return kErrNotCapable;
    return fn(h, a...);
}

// XA verbs: on the worker whenever the connection's holder is enabled.
template <int S, class... A>
int VerbWrapper(uint32_t conn, A... a) {
    bool known = false;
    XaConnHolder* holder = HolderOfConn(conn, &known);
    if (!known || holder == nullptr) return XAER_INVAL;
    if (holder->enabled) {
        CallOf<S> call(conn, a...);
        if (call.fn == nullptr) return XAER_RMERR;
        if (!Post(holder, &CallOf<S>::Run, &call)) return XAER_RMERR;
        return call.result;
    }
    auto fn = Below<S>();
    if (fn == nullptr) return XAER_RMERR;
    return fn(conn, a...);
}

ErrCode XaAllocStmt(uint32_t conn, uint32_t* out) { return StmtWrapper<DRV_AllocStmt, true>(conn, out); }
ErrCode XaFreeStmt(uint32_t stmt) { return StmtWrapper<DRV_FreeStmt, false>(stmt); }
ErrCode XaPrepare(uint32_t stmt, const char* text) { return StmtWrapper<DRV_Prepare, false>(stmt, text); }
ErrCode XaExecute(uint32_t stmt) { return StmtWrapper<DRV_Execute, false>(stmt); }
ErrCode XaFetchRows(uint32_t stmt, uint16_t rows, Dataset* block) {
    return StmtWrapper<DRV_FetchRows, false>(stmt, rows, block);
}
ErrCode XaCloseCursor(uint32_t stmt) { return StmtWrapper<DRV_CloseCursor, false>(stmt); }
ErrCode XaMoreResults(uint32_t stmt) { return StmtWrapper<DRV_MoreResults, false>(stmt); }
ErrCode XaParamData(uint32_t stmt, void* index, void* row, void* word, void* token) {
    return StmtWrapper<DRV_ParamData, false>(stmt, index, row, word, token);
}
ErrCode XaPutData(uint32_t stmt, uint32_t kind, uint16_t indicator, void* buffer, uint32_t size) {
    return StmtWrapper<DRV_PutData, false>(stmt, kind, indicator, buffer, size);
}
ErrCode XaPrepareExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs) {
    return StmtWrapper<DRV_PrepareExecute, false>(stmt, text, values, count, descs);
}
ErrCode XaPrepareExecuteEx(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ScsNamedParamDesc* descs) {
    return StmtWrapper<DRV_PrepareExecuteEx, false>(stmt, text, values, count, descs);
}

int XaVerbClose(uint32_t c, const char* info, int rmid, long flags) {
    return VerbWrapper<DRV_XaClose>(c, info, rmid, flags);
}
int XaVerbCommit(uint32_t c, XID* x, int rmid, long flags) { return VerbWrapper<DRV_XaCommit>(c, x, rmid, flags); }
int XaVerbComplete(uint32_t c, int* handle, int* result, int rmid, long flags) {
    return VerbWrapper<DRV_XaComplete>(c, handle, result, rmid, flags);
}
int XaVerbEnd(uint32_t c, XID* x, int rmid, long flags) { return VerbWrapper<DRV_XaEnd>(c, x, rmid, flags); }
int XaVerbForget(uint32_t c, XID* x, int rmid, long flags) { return VerbWrapper<DRV_XaForget>(c, x, rmid, flags); }
int XaVerbPrepare(uint32_t c, XID* x, int rmid, long flags) { return VerbWrapper<DRV_XaPrepare>(c, x, rmid, flags); }
int XaVerbRecover(uint32_t c, XID* xids, long count, int rmid, long flags) {
    return VerbWrapper<DRV_XaRecover>(c, xids, count, rmid, flags);
}
int XaVerbRollback(uint32_t c, XID* x, int rmid, long flags) { return VerbWrapper<DRV_XaRollback>(c, x, rmid, flags); }
int XaVerbStart(uint32_t c, XID* x, int rmid, long flags) { return VerbWrapper<DRV_XaStart>(c, x, rmid, flags); }

int XaVerbOpen(uint32_t conn, uint32_t mode, const char* info, int rmid, long flags) {
    bool known = false;
    XaConnHolder* holder = HolderOfConn(conn, &known);
    if (!known) return XAER_INVAL;
    uint32_t keep = 0, terminate = 0;
    const bool hadHolder = holder != nullptr;
    if (hadHolder) {
        keep = holder->keep;
        terminate = holder->worker ? holder->worker->terminate : 0;
        if (keep == 0) {
            IngTellConnXaSlot(conn, nullptr);
            HolderFree(holder);
            holder = nullptr;
        }
    }
    if (holder == nullptr) {
        if (!hadHolder) {
            auto getInfo = Below<DRV_GetInfo>();
            uint32_t v = 0;
            uint16_t len = 0;
            if (getInfo && getInfo(conn, kPropXaKeepHolder, &v, 4, &len) == 0 && v != 0) keep = 1;
            v = 0;
            if (getInfo && getInfo(conn, kPropXaTerminate, &v, 4, &len) == 0 && v != 0) terminate = 1;
        }
        holder = HolderInit(mode, keep, terminate);
        if (holder == nullptr) return XAER_RMERR;
        IngTellConnXaSlot(conn, holder);
    }
    if (holder->enabled) {
        CallOf<DRV_XaOpen> call(conn, mode, info, rmid, flags);
        if (call.fn == nullptr) return XAER_RMERR;
        if (!Post(holder, &CallOf<DRV_XaOpen>::Run, &call)) return XAER_RMERR;
        return call.result;
    }
    auto fn = Below<DRV_XaOpen>();
    return fn ? fn(conn, mode, info, rmid, flags) : XAER_RMERR;
}

ErrCode XaDisconnect(uint32_t conn) {
    bool known = false;
    XaConnHolder* holder = HolderOfConn(conn, &known);
    if (!known) return kErrBadArg;
    auto fn = Below<DRV_Disconnect>();
    if (fn == nullptr) return kErrNotCapable;
    ErrCode rc = fn(conn);
    if (rc == 0 && holder != nullptr) HolderFree(holder);
    return rc;
}

// What the agent asks of the holder in its connection's slot.
int SlotAssociated(const void* slot) { return XaHolderAssociated(static_cast<const XaConnHolder*>(slot)); }
uint32_t SlotSetAssociated(void* slot, int flag) {
    return XaHolderSetAssociated(static_cast<XaConnHolder*>(slot), flag);
}
const IngXaSlotOps kSlotOps{SlotAssociated, SlotSetAssociated};

void Patch(AgentFuncTable* t) {
    t->DRV_Disconnect = XaDisconnect;
    t->DRV_AllocStmt = XaAllocStmt;
    t->DRV_FreeStmt = XaFreeStmt;
    t->DRV_Prepare = XaPrepare;
    t->DRV_Execute = XaExecute;
    t->DRV_FetchRows = XaFetchRows;
    t->DRV_CloseCursor = XaCloseCursor;
    t->DRV_MoreResults = XaMoreResults;
    t->DRV_PrepareExecute = XaPrepareExecute;
    // Slots empty below stay empty: callers test a slot before they use it.
    if (t->DRV_ParamData) t->DRV_ParamData = XaParamData;
    if (t->DRV_PutData) t->DRV_PutData = XaPutData;
    if (t->DRV_PrepareExecuteEx) t->DRV_PrepareExecuteEx = XaPrepareExecuteEx;
    t->DRV_XaClose = XaVerbClose;
    t->DRV_XaCommit = XaVerbCommit;
    t->DRV_XaComplete = XaVerbComplete;
    t->DRV_XaEnd = XaVerbEnd;
    t->DRV_XaForget = XaVerbForget;
    t->DRV_XaOpen = XaVerbOpen;
    t->DRV_XaPrepare = XaVerbPrepare;
    t->DRV_XaRecover = XaVerbRecover;
    t->DRV_XaRollback = XaVerbRollback;
    t->DRV_XaStart = XaVerbStart;
}

}  // namespace

uint32_t XaInterposeOpTable(AgentLink* link) {
    if (link == nullptr || link->word == 0 || link->table == nullptr) return kErrNotCapable;
    std::lock_guard<std::mutex> guard(g_xaLock);
    IngSetXaSlotOps(&kSlotOps);
    if (link->table == &g_xaTable) return 0;  // already laid over this link
    // Calls on other connections read the copy while a new connection installs: rewrite it only
    // when the layer below changed.
    if (!g_xaInstalled || std::memcmp(&g_lowerCopy, link->table, sizeof g_lowerCopy) != 0) {
        g_lowerCopy = *link->table;
        AgentFuncTable t = g_lowerCopy;
        Patch(&t);
        g_xaTable = t;
    }
    if (!g_xaInstalled || g_xaLower.word != link->word || g_xaLower.table != link->table) g_xaLower = *link;
    g_xaInstalled = true;
    link->table = &g_xaTable;
    return 0;
}

uint32_t XaInstallLayers(AgentLink* link) {
    SCS_InstallLayer(link);
    return XaInterposeOpTable(link);
}

const AgentFuncTable* XaLayerTable() {
    std::lock_guard<std::mutex> guard(g_xaLock);
    return g_xaInstalled ? &g_xaTable : nullptr;
}

AgentLink XaLowerLink() {
    std::lock_guard<std::mutex> guard(g_xaLock);
    return g_xaLower;
}

XaConnHolder* XaHolderOf(uint32_t conn) {
    bool known = false;
    return HolderOfConn(conn, &known);
}

int XaHolderAssociated(const XaConnHolder* holder) { return holder != nullptr && holder->associated != 0; }

uint32_t XaHolderSetAssociated(XaConnHolder* holder, int flag) {
    if (holder == nullptr) return kErrBadArg;
    holder->associated = flag != 0;
    return 0;
}

int XaWorkerRunning(const XaConnHolder* holder) {
    if (holder == nullptr || holder->worker == nullptr) return 0;
    uint32_t code = 0;
    return ThreadIsRunning(&holder->worker->thread) && !ThreadExitCode(&holder->worker->thread, &code);
}

uint32_t XaWorkerThreadId(const XaConnHolder* holder) {
    return holder && holder->worker ? holder->worker->thread.thread_id : 0;
}

void XaWorkerKill(XaConnHolder* holder) {
    if (holder == nullptr || holder->worker == nullptr) return;
    ThreadTerminate(&holder->worker->thread, 0);
    ThreadJoin(&holder->worker->thread);
}
