#include "odbc/gateway.h"

#include <cstdio>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/trace.h"
#include "util/errtable.h"

namespace {

unsigned long ThreadId() { return static_cast<unsigned long>(TraceThreadId()); }

uint64_t ArgBits(const ApiArg& a) {
    switch (a.kind) {
        case ApiArg::Int:
            return static_cast<uint64_t>(a.i);
        case ApiArg::UInt:
            return a.u;
        case ApiArg::Ptr:
            return reinterpret_cast<uintptr_t>(a.p);
        default:
            return 0;
    }
}

const char* HandleLabel(uint32_t kind) {
    switch (kind) {
        case kApiEnv:
            return "hEnv";
        case kApiConn:
            return "hDbc";
        case kApiStmt:
            return "hStmt";
        default:
            return "hDesc";
    }
}

}  // namespace

// "No data" is a result, not a diagnostic: nothing is left for the application to read after it.
// A warning or an error always is: one that left no record of its own reads as a general one.
// (The diagnostic calls answer about the records they read, and add none; a call that answers on
// another handle sees to its record there.)
void SettleAnswerRecord(SQLRETURN rc, uint32_t reset, HandleBase* h) {
    if (rc == SQL_NO_DATA && h->lastError == kErrNoData) h->lastError = 0;
    const bool answersHere = reset == kResetDiagnostics || reset == kKeepDiagnostics;
    if ((rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) && answersHere && h->lastError == 0 && !h->diags.head)
        h->lastError = rc == SQL_ERROR ? kErrGeneral : kErrGeneralWarning;
}

namespace {

SQLRETURN CallOnConnectionObject(const ApiCallRecord& rec, HandleBase* object, ConnRecord* conn, ApiBody body,
                                 const void* call, const HandleEntry& entry) {
    ClaimedCall claimed;
    SQLRETURN rc;
    if (!ClaimObject(rec.reset, object, conn, entry, &claimed, &rc)) return rc;
    return ReleaseObject(rec.reset, rec.kind, claimed, body(call, object));
}

}  // namespace

const char* ReturnCodeName(int rc) {
    switch (rc) {
        case SQL_INVALID_HANDLE:
            return "INVALID_HANDLE";
        case SQL_ERROR:
            return "ERROR";
        case SQL_SUCCESS:
            return "SUCCESS";
        case SQL_SUCCESS_WITH_INFO:
            return "SUCCESS_WITH_INFO";
        case SQL_STILL_EXECUTING:
            return "STILL_EXECUTING";
        case SQL_NEED_DATA:
            return "NEED_DATA";
        case SQL_NO_DATA:
            return "NO_DATA_FOUND";
        default:
            return "UNKNOWN_ERROR";
    }
}

void FormatApiArgs(const char* format, const ApiArgs& args, char* out, size_t size) {
    if (!out || size == 0) return;
    size_t used = 0;
    unsigned next = 0;
    auto put = [&](const char* s, size_t n) {
        if (used + 1 >= size) return;
        size_t room = size - 1 - used;
        if (n > room) n = room;
        memcpy(out + used, s, n);
        used += n;
    };
    const char* p = format ? format : "";
    while (*p) {
        if (*p != '%') {
            const char* q = strchr(p, '%');
            size_t n = q ? size_t(q - p) : strlen(p);
            put(p, n);
            p += n;
            continue;
        }
        if (p[1] == '%') {
            put("%", 1);
            p += 2;
            continue;
        }
        // Flags and width of the conversion are kept; the length modifier decides the width of the value.
        char directive[32];
        size_t sl = 0;
        directive[sl++] = '%';
        ++p;
        while (*p && strchr("-+ #0", *p) && sl < 10) directive[sl++] = *p++;
        while (*p >= '0' && *p <= '9' && sl < 20) directive[sl++] = *p++;
        int longs = 0;
        bool half = false;
        while (*p && strchr("hlzjtL", *p)) {
            if (*p == 'l' || *p == 'z' || *p == 'j' || *p == 't' || *p == 'L') ++longs;
            if (*p == 'h') half = true;
            ++p;
        }
        char conv = *p ? *p++ : 0;
        if (!conv) break;
        const ApiArg& a = args.at(next++);
        if (a.kind == ApiArg::None) continue;
        uint64_t bits = ArgBits(a);
        char buf[64];
        int n = 0;
        switch (conv) {
            case 'd':
            case 'i': {
                int64_t v = longs ? int64_t(bits) : half ? int64_t(int16_t(bits)) : int64_t(int32_t(bits));
                memcpy(directive + sl, "lld", 4);
                n = snprintf(buf, sizeof buf, directive, static_cast<long long>(v));
                break;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'o': {
                uint64_t v = longs ? bits : half ? uint64_t(uint16_t(bits)) : uint64_t(uint32_t(bits));
                directive[sl] = 'l';
                directive[sl + 1] = 'l';
                directive[sl + 2] = conv;
                directive[sl + 3] = 0;
                n = snprintf(buf, sizeof buf, directive, static_cast<unsigned long long>(v));
                break;
            }
            case 'c':
                buf[0] = char(bits);
                n = 1;
                break;
            default:  // %p, and anything that would need dereferencing: print the value only
                n = snprintf(buf, sizeof buf, "%p", reinterpret_cast<void*>(uintptr_t(bits)));
                break;
        }
        if (n > 0) put(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
    }
    out[used] = 0;
}

SQLRETURN GatewayCall(const ApiCallRecord& rec, SQLHANDLE handle, unsigned n, ApiArgList args, ApiBody body,
                      const void* call) {
    if (!g_Ready.load()) return SQL_ERROR;
    uint32_t number = 0;
    bool numeric = HandleNumber(handle, &number);
    bool trace = GwTraceOn();
    if (trace) {
        if (rec.kind == kApiNone)
            GwTrace("\n[%lX] SQL%s", ThreadId(), rec.name);
        else
            GwTrace("\n[%lX] SQL%s %s=%lX", ThreadId(), rec.name, HandleLabel(rec.kind),
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)));
        if (rec.format && *rec.format) {
            ApiArg list[kApiArgsMax];
            args(call, list);
            char line[1024];
            FormatApiArgs(rec.format, ApiArgs(list, n), line, sizeof line);
            GwTrace("%s", line);
        }
    }

    SQLRETURN rc = SQL_ERROR;
    // The calling thread's token, for every lock the call takes.
    const void* self = TokenLockThisThread();
    switch (rec.kind) {
        case kApiNone: {
            HandleLockGuard g(self);
            rc = body(call, nullptr);
            break;
        }
        case kApiEnv: {
            HandleLockGuard g(self);
            auto* env = LookUp<EnvRecord>(&g_EnvTable, numeric, number);
            if (!env || env->tag != kTagEnv) {
                rc = SQL_INVALID_HANDLE;
                break;
            }
            if (ClearsDiagnostics(rec.reset)) ClearDiagnostics(env);
            rc = body(call, env);
            if (rc != SQL_SUCCESS) SettleAnswerRecord(rc, rec.reset, env);
            break;
        }
        case kApiConn: {
            HandleLockEnter(self);
            auto* conn = LookUp<ConnRecord>(&g_ConnTable, numeric, number);
            if (!conn || conn->tag != kTagConn) {
                HandleLockLeave(self);
                rc = SQL_INVALID_HANDLE;
                break;
            }
            if (conn->busy.load()) {
                if (rec.reset != kReadsDiagnostics) conn->lastError = kErrSequence;
                HandleLockLeave(self);
                rc = SQL_ERROR;
                break;
            }
            conn->busy.store(conn);
            bool concurrent = g_CallsConcurrent.load();
            HandleLockLeave(self);
            if (ClearsDiagnostics(rec.reset)) ClearDiagnostics(conn);
            {
                const CallLocksGuard locks(conn, concurrent, self);
                rc = body(call, conn);
            }
            if (rc != SQL_SUCCESS) SettleAnswerRecord(rc, rec.reset, conn);
            if (conn->tag == kTagFreed) {  // freed by the call: its memory is ours to release
                ConnRelease(conn);
                break;
            }
            if (rc != SQL_SUCCESS && conn->failover && ClearsDiagnostics(rec.reset))
                rc = FailoverNotify(rc, conn, kApiConn);
            conn->busy.store(nullptr);
            break;
        }
        case kApiStmt: {
            ClaimedCall claimed;
            if (ClaimStatement(rec.reset, numeric, number, self, &claimed, &rc))
                rc = ReleaseObject(rec.reset, kApiStmt, claimed, body(call, claimed.object));
            break;
        }
        case kApiDesc: {
            const HandleEntry entry(self);
            auto* desc = LookUp<DescRecord>(&g_DescTable, numeric, number);
            if (!desc || desc->tag != kTagDesc) {
                entry.Leave();
                rc = SQL_INVALID_HANDLE;
                break;
            }
            rc = CallOnConnectionObject(rec, desc, DescOwnerConn(desc), body, call, entry);
            break;
        }
        default:
            if (trace) GwTrace("CallODBC: internal error");
            return SQL_ERROR;
    }
    if (trace) GwTrace("[%lX] SQL%s: returning SQL_%s", ThreadId(), rec.name, ReturnCodeName(rc));
    return rc;
}

SQLRETURN FailoverNotify(SQLRETURN rc, ConnRecord* conn, uint32_t kind) {
    if (!conn->failover) return rc;
    HandleBase* object = kind == kApiConn ? static_cast<HandleBase*>(conn) : conn->busy.load();
    if (!object) return rc;
    uint32_t code = object->lastError;
    bool fromMessage = false;
    if (code != kErrFailoverCompleted && code != kErrFailoverAborted) {
        code = 0;
        if (DiagCount(object) >= 2) {
            code = DiagFailoverScan(object);
            fromMessage = code != 0;
        }
    }
    int event;
    if (code == kErrFailoverCompleted) {
        event = kFailoverEventCompleted;
        rc = fromMessage ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
    } else if (code == kErrFailoverAborted) {
        event = kFailoverEventAborted;
        rc = SQL_ERROR;
    } else {
        return rc;
    }
    conn->failover(event, conn->failoverArg, 0);
    return rc;
}

SQLRETURN CancelStatement(SQLHSTMT hstmt) {
    if (!g_Ready.load()) return SQL_ERROR;
    bool trace = GwTraceOn();
    if (trace) GwTrace("\nSQLCancel hStmt=%lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hstmt)));
    uint32_t number = 0;
    const void* self = TokenLockThisThread();
    HandleLockEnter(self);
    const bool numeric = HandleNumber(hstmt, &number);
    auto* stmt = LookUp<StmtRecord>(&g_StmtTable, numeric, number);
    if (!stmt || stmt->tag != kTagStmt || !stmt->conn) {
        HandleLockLeave(self);
        if (trace) GwTrace("SQLCancel: returning SQL_INVALID_HANDLE");
        return SQL_INVALID_HANDLE;
    }
    ConnRecord* conn = stmt->conn;
    HandleBase* marker = conn->busy.load();
    if (!StmtStillExecuting(stmt, marker)) {
        // Closing the idle statement's cursor is agent work on the connection: it must not run
        // beside another thread's call there, so it claims the connection as a call would.
        if (marker != nullptr) {
            stmt->lastError = kErrSequence;
            HandleLockLeave(self);
            if (trace) GwTrace("SQLCancel: returning SQL_ERROR");
            return SQL_ERROR;
        }
        conn->busy.store(stmt);
        bool concurrent = g_CallsConcurrent.load();
        HandleLockLeave(self);
        {
            const CallLocksGuard locks(conn, concurrent, self);
            StmtNeedDataEnd(stmt);
            StmtCloseCursor(stmt);
            stmt->lastError = kErrCancelClosed;
        }
        conn->busy.store(nullptr);
        if (trace) GwTrace("SQLCancel: returning SQL_SUCCESS_WITH_INFO");
        return SQL_SUCCESS_WITH_INFO;
    }
    // The statement's own call is running on another thread and owns the whole record: only the
    // agent's cancel (safe from any thread, nothing to do when no query runs) is ours. Its outcome
    // shows in the running call's own answer.
    SQLRETURN rc = SQL_SUCCESS;
    (void)StmtAgentCancel(stmt);
    HandleLockLeave(self);
    if (trace) GwTrace("SQLCancel: returning %d", rc);
    return rc;
}
