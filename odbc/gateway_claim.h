#pragma once
// How the gateway lets a call on a statement or descriptor run: the record looked up under the
// handle lock, claimed by its connection's busy marker, its diagnostics reset, the call locks
// taken; and how the call ends. Inline: a statement call's export has all of it around its
// implementation, as nearly every call per row is one.
#include <sql.h>

#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/handles.h"

// What a call does with its handle's diagnostics: clears them first (and may report a failover),
// leaves them, or only reads them, in which case a refusal must not post one over them. A call
// that answers on another handle it names (SQLCopyDesc: on its target) clears its own and posts
// its records there.
enum : uint32_t {
    kKeepDiagnostics = 0,
    kResetDiagnostics = 1,
    kReadsDiagnostics = 2,
    kResetAnswersOnTarget = 3,
};
constexpr bool ClearsDiagnostics(uint32_t reset) {
    return reset == kResetDiagnostics || reset == kResetAnswersOnTarget;
}

// A warning or an error always leaves a record for the application to read. Called for the
// answers other than SQL_SUCCESS only: out of line, off the path of every successful call.
[[gnu::cold]] void SettleAnswerRecord(SQLRETURN rc, uint32_t reset, HandleBase* h);
// Failover notification after a failing call (kind 3, 4 or 5).
SQLRETURN FailoverNotify(SQLRETURN rc, ConnRecord* conn, uint32_t kind);

// Most calls find nothing to clear: then they neither call out nor write.
[[gnu::always_inline]] inline void ClearDiagnostics(HandleBase* h) {
    if (h->diags.head) DiagFreeAll(h);
    if (h->lastError.load(std::memory_order_relaxed) != 0) h->lastError.store(0);
}

// The locks a call holds while it runs: its connection's call lock (`first`: taken by this call,
// not one more level of it) and, while the agent takes no concurrent calls, the process-wide one.
// Taken for the calling thread's token (never null); the connection's lock is destroyed only
// after the call has left it.
struct CallLocks {
    ConnRecord* conn;
    const void* token;
    bool first;
    bool serial;
};
[[gnu::always_inline]] inline void CallLocksEnter(CallLocks* locks, ConnRecord* conn, bool concurrent,
                                                  const void* token) {
    locks->conn = conn;
    locks->token = token;
    locks->serial = !concurrent;
    locks->first = TokenLockEnterFirst(&conn->callLock, token);
    if (locks->serial) CritSecEnter(&CallLock);
}
[[gnu::always_inline]] inline void CallLocksLeave(const CallLocks& locks) {
    if (locks.serial) CritSecLeave(&CallLock);
    TokenLockLeaveEntry(&locks.conn->callLock, locks.token, locks.first);
}
struct CallLocksGuard {
    CallLocks locks;
    CallLocksGuard(ConnRecord* conn, bool concurrent, const void* token) {
        CallLocksEnter(&locks, conn, concurrent, token);
    }
    ~CallLocksGuard() { CallLocksLeave(locks); }
    CallLocksGuard(const CallLocksGuard&) = delete;
    CallLocksGuard& operator=(const CallLocksGuard&) = delete;
};

// The handle lock around a look-up and the busy marker: no call runs under it.
struct HandleEntry {
    const void* self;
    bool first;
    [[gnu::always_inline]] explicit HandleEntry(const void* s) : self(s), first(TokenLockEnterFirst(&HandleLock, s)) {}
    [[gnu::always_inline]] void Leave() const { TokenLockLeaveEntry(&HandleLock, self, first); }
};

// Under HandleLock, which every change of the driver's tables also takes (DriverHandleAdd).
template <class R>
[[gnu::always_inline]] inline R* LookUp(HandleTable* table, bool numeric, uint32_t number) {
    return numeric ? static_cast<R*>(HandleTablePeek(table, number)) : nullptr;
}

// A call on a statement or descriptor that the gateway let run: the record its connection's busy
// marker names, and the locks it holds.
struct ClaimedCall {
    HandleBase* object;
    CallLocks locks;
};

// Kinds 4 and 5: claims `object` for the call, under its connection's busy marker, and takes the
// call locks. Entered with HandleLock held by `entry`; releases it. False: *rc is the answer.
[[gnu::always_inline]] inline bool ClaimObject(uint32_t reset, HandleBase* object, ConnRecord* conn,
                                               const HandleEntry& entry, ClaimedCall* claimed, SQLRETURN* rc) {
    if (!conn) {
        entry.Leave();
        *rc = SQL_INVALID_HANDLE;
        return false;
    }
    HandleBase* marker = conn->busy.load();
    if (marker) {
        if (reset == kReadsDiagnostics) {
            // The records being read are another call's answer: a refusal leaves them as they are.
            *rc = SQL_ERROR;
        } else if (marker == object) {
            *rc = SQL_STILL_EXECUTING;
        } else {
            object->lastError = kErrSequence;
            *rc = SQL_ERROR;
        }
        entry.Leave();
        return false;
    }
    // Every reader of the marker but the call's own thread reads it under HandleLock, whose
    // release orders this store: no fence of its own is needed, here or at the end.
    conn->busy.store(object, std::memory_order_relaxed);
    const bool concurrent = g_CallsConcurrent.load();
    entry.Leave();
    if (ClearsDiagnostics(reset)) ClearDiagnostics(object);
    claimed->object = object;
    CallLocksEnter(&claimed->locks, conn, concurrent, entry.self);
    return true;
}

// Ends a claimed call with its answer rc.
[[gnu::always_inline]] inline SQLRETURN ReleaseObject(uint32_t reset, uint32_t kind, const ClaimedCall& claimed,
                                                      SQLRETURN rc) {
    ConnRecord* conn = claimed.locks.conn;
    // Reads the record only when it was not freed (frees succeed).
    if (rc != SQL_SUCCESS) SettleAnswerRecord(rc, reset, claimed.object);
    CallLocksLeave(claimed.locks);
    // The object may have been freed by the call; the connection outlives it.
    if (rc != SQL_SUCCESS && conn->failover && ClearsDiagnostics(reset)) rc = FailoverNotify(rc, conn, kind);
    // Release: whoever next sees the marker clear sees all the call wrote.
    conn->busy.store(nullptr, std::memory_order_release);
    return rc;
}

// Kind 4: the statement looked up and claimed.
[[gnu::always_inline]] inline bool ClaimStatement(uint32_t reset, bool numeric, uint32_t number, const void* self,
                                                  ClaimedCall* claimed, SQLRETURN* rc) {
    const HandleEntry entry(self);
    auto* stmt = LookUp<StmtRecord>(&g_StmtTable, numeric, number);
    if (!stmt || stmt->tag != kTagStmt) {
        entry.Leave();
        *rc = SQL_INVALID_HANDLE;
        return false;
    }
    return ClaimObject(reset, stmt, stmt->conn, entry, claimed, rc);
}
