// The driver as an X/Open XA resource manager: the switch, its entries, and the exports that
// hand an application the XA connection of its thread.
#include "odbc/xa_switch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "odbc/export.h"
#include "odbc/exports_internal.h"
#include "odbc/globals.h"
#include "odbc/handles.h"
#include "platform/installer.h"
#include "util/trace.h"
#include "util/trymem.h"
#include "xa/xa_agent.h"
#include "xa/xa_trace.h"

namespace {

xa_switch_t g_switch;
bool g_switchBuilt = false;
std::mutex g_switchLock;
bool g_started = false;

std::mutex g_envLock;  // XaEnvLock
SQLHENV g_xaEnv = SQL_NULL_HENV;
long g_envRefs = 0;

std::mutex g_assocLock;  // XaAssocLock
long g_assocCount = 0;

struct XaRmConnection {
    SQLHDBC hdbc;
    ConnRecord* conn;
};

struct XaThreadAssoc {
    int rmid;
    char xaInfo[MAXINFOSIZE + 1];
    long threadId;
    XaRmConnection* record;
};

// A thread may open several resource managers (one per rmid); the newest answers the exports.
thread_local std::vector<XaThreadAssoc*> t_assocs;

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    XaTraceVPrint(1, format, ap);
    va_end(ap);
}

int Returned(int code) {
    Trace("Call returned: %s(%d)", XaCodeName(code), code);
    return code;
}

bool EnvAcquire() {
    std::lock_guard<std::mutex> guard(g_envLock);
    ++g_envRefs;
    if (g_xaEnv != SQL_NULL_HENV) return true;
    SQLHENV env = SQL_NULL_HENV;
    SQLRETURN rc = ApiAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    if (SQL_SUCCEEDED(rc))
        rc = ApiSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(rc)) {
        if (env != SQL_NULL_HENV) ApiFreeHandle(SQL_HANDLE_ENV, env);
        return false;
    }
    g_xaEnv = env;
    return true;
}

void EnvRelease() {
    std::lock_guard<std::mutex> guard(g_envLock);
    if (g_envRefs > 0 && --g_envRefs == 0 && g_xaEnv != SQL_NULL_HENV) {
        ApiFreeHandle(SQL_HANDLE_ENV, g_xaEnv);
        g_xaEnv = SQL_NULL_HENV;
    }
}

ConnRecord* ConnOf(SQLHDBC hdbc) {
    return static_cast<ConnRecord*>(HandleTableGet(&g_ConnTable, uint32_t(reinterpret_cast<uintptr_t>(hdbc))));
}

bool RmConnect(XaRmConnection* r, const char* xaInfo) {
    SQLHDBC hdbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(ApiAllocHandle(SQL_HANDLE_DBC, g_xaEnv, &hdbc))) return false;
    r->hdbc = hdbc;
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = ApiDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(xaInfo)), SQL_NTS, out,
                                    sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    // The output holds the password: it does not stay on the stack.
    std::memset(out, 0, sizeof out);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        ApiFreeHandle(SQL_HANDLE_DBC, hdbc);
        r->hdbc = SQL_NULL_HDBC;
        return false;
    }
    r->conn = ConnOf(hdbc);
    if (r->conn == nullptr) return false;
    if (!r->conn->capXa) {
        XaTracePrint(0, "Agent does not support XA");
        return false;
    }
    return true;
}

void RmRelease(XaRmConnection* r) {
    if (r == nullptr) return;
    if (r->hdbc != SQL_NULL_HDBC) {
        ApiDisconnect(r->hdbc);
        ApiFreeHandle(SQL_HANDLE_DBC, r->hdbc);
    }
    TryFree(r);
    EnvRelease();
}

XaThreadAssoc* AssocCreate(int rmid, const char* xaInfo, XaRmConnection* record) {
    auto* a = static_cast<XaThreadAssoc*>(TryCalloc(1, sizeof(XaThreadAssoc)));
    if (a == nullptr) return nullptr;
    {
        std::lock_guard<std::mutex> guard(g_assocLock);
        ++g_assocCount;
    }
    a->rmid = rmid;
    std::strncpy(a->xaInfo, xaInfo, MAXINFOSIZE);
    a->threadId = TraceThreadId();
    a->record = record;
    t_assocs.push_back(a);
    return a;
}

XaThreadAssoc* AssocFind(int rmid, const char* text) {
    {
        std::lock_guard<std::mutex> guard(g_assocLock);
        if (g_assocCount == 0) return nullptr;
    }
    const long me = TraceThreadId();
    for (auto it = t_assocs.rbegin(); it != t_assocs.rend(); ++it) {
        XaThreadAssoc* a = *it;
        if (a->threadId != me || a->rmid != rmid) continue;
        if (text != nullptr && std::strcmp(a->xaInfo, text) != 0) continue;
        return a;
    }
    return nullptr;
}

XaThreadAssoc* AssocCurrent() {
    {
        std::lock_guard<std::mutex> guard(g_assocLock);
        if (g_assocCount == 0) return nullptr;
    }
    if (t_assocs.empty() || t_assocs.back()->threadId != TraceThreadId()) return nullptr;
    return t_assocs.back();
}

void AssocRelease(XaThreadAssoc* a) {
    std::erase(t_assocs, a);
    TryFree(a);
    std::lock_guard<std::mutex> guard(g_assocLock);
    if (g_assocCount > 0) --g_assocCount;
}

// The xa_info text is bounded by the standard; anything longer is refused before it is read further.
bool InfoFits(const char* xaInfo) { return xaInfo != nullptr && strnlen(xaInfo, MAXINFOSIZE) < MAXINFOSIZE; }

template <int S, class... A>
int CallVerb(XaThreadAssoc* a, A... args) {
    ConnRecord* conn = a->record->conn;
    auto fn = AgentSlotGet<S>(&conn->link);
    if (fn == nullptr) return XAER_RMERR;
    return fn(conn->agentConn, args...);
}

template <int S>
int XidVerb(const char* name, XID* xid, int rmid, long flags) {
    Trace("%s(%p, %d, %lX)", name, static_cast<void*>(xid), rmid, static_cast<unsigned long>(flags));
    XaThreadAssoc* a = AssocFind(rmid, nullptr);
    if (a == nullptr || a->record == nullptr) return Returned(XAER_RMERR);
    return Returned(CallVerb<S>(a, xid, rmid, flags));
}

}  // namespace

xa_switch_t* XaSwitchBuild() {
    std::lock_guard<std::mutex> guard(g_switchLock);
    if (g_switchBuilt) return &g_switch;
    std::memset(&g_switch, 0, sizeof g_switch);
    std::strncpy(g_switch.name, "CORVANTA", RMNAMESZ - 1);
    g_switch.flags = 0;
    g_switch.version = 0;
    g_switch.xa_open_entry = xa_switch_open;
    g_switch.xa_close_entry = xa_switch_close;
    g_switch.xa_start_entry = xa_switch_start;
    g_switch.xa_end_entry = xa_switch_end;
    g_switch.xa_rollback_entry = xa_switch_rollback;
    g_switch.xa_prepare_entry = xa_switch_prepare;
    g_switch.xa_commit_entry = xa_switch_commit;
    g_switch.xa_recover_entry = xa_switch_recover;
    g_switch.xa_forget_entry = xa_switch_forget;
    g_switch.xa_complete_entry = xa_switch_complete;
    g_switchBuilt = true;
    return &g_switch;
}

void XaSwitchInit() {
    {
        std::lock_guard<std::mutex> guard(g_switchLock);
        if (g_started) return;
    }
    if (!DebugStreamOpen(1)) DebugOpen(1);
    XaSwitchBuild();
    std::lock_guard<std::mutex> guard(g_switchLock);
    g_started = true;
}

void XaSwitchShutdown() {
    {
        std::lock_guard<std::mutex> guard(g_switchLock);
        if (!g_started) return;
        g_started = false;
    }
    // Closing the stream writes its "** normal end **" line.
    DebugClose(1);
}

TV_EXPORT xa_switch_t* kiv_xa_switch() {
    XaSwitchInit();
    return XaSwitchBuild();
}

int XaInfoDsn(const char* xaInfo, char* out, size_t size) {
    if (xaInfo == nullptr || out == nullptr || size == 0) return 0;
    const char* at = std::strstr(xaInfo, "DSN=");
    if (at == nullptr) return 0;
    at += 4;
    size_t n = std::strcspn(at, ";");
    if (n >= size) return 0;
    std::memcpy(out, at, n);
    out[n] = '\0';
    while (n > 0 && std::isspace(static_cast<unsigned char>(out[n - 1]))) out[--n] = '\0';
    return 1;
}

HRESULT DtcGetXaSwitch(xa_switch_t** out) {
    // The first call starts the trace along with the layer: its call line follows the trace's header.
    bool traced = OleTraceOn();
    if (traced) OleTracePrint("GetXaSwitch()\n");
    if (DtcInit() != 0) return traced ? OleTraceResult(E_FAIL) : E_FAIL;
    if (!traced && OleTraceOn()) OleTracePrint("GetXaSwitch()\n");
    xa_switch_t* sw = kiv_xa_switch();  // the same switch the XA export hands out
    if (sw == nullptr) return OleTraceOn() ? OleTraceResult(E_FAIL) : E_FAIL;
    if (out) *out = sw;
    return OleTraceOn() ? OleTraceResult(S_OK) : S_OK;
}

int IngXaShutdown() {
    DtcFini();
    XaSwitchShutdown();
    return 1;
}

long XaThreadAssocCount() {
    std::lock_guard<std::mutex> guard(g_assocLock);
    return g_assocCount;
}

int xa_switch_open(char* xaInfo, int rmid, long flags) {
    char dsn[256];
    if (!InfoFits(xaInfo) || !XaInfoDsn(xaInfo, dsn, sizeof dsn)) {
        Trace("xa_switch_open(***, %d, %lX)", rmid, static_cast<unsigned long>(flags));
        Trace("xa_switch_open: invalid xaInfo string format");
        return Returned(XAER_RMERR);
    }
    Trace("xa_switch_open(%s, %d, %lX)", dsn, rmid, static_cast<unsigned long>(flags));
    auto* r = static_cast<XaRmConnection*>(TryCalloc(1, sizeof(XaRmConnection)));
    if (r == nullptr) return Returned(XAER_RMERR);
    int result = XAER_RMERR;
    char info[256];
    if (EnvAcquire() && RmConnect(r, xaInfo) && XaInfoRead(dsn, info, sizeof info)) {
        auto fn = AgentSlotGet<DRV_XaOpen>(&r->conn->link);
        result = fn ? fn(r->conn->agentConn, 1, info, rmid, flags) : XAER_RMERR;
        if (result == XA_OK) {
            if (AssocCreate(rmid, xaInfo, r) != nullptr) return Returned(XA_OK);
            // The branch manager is open but nobody can reach it: close it again.
            if (auto close = AgentSlotGet<DRV_XaClose>(&r->conn->link)) close(r->conn->agentConn, info, rmid, 0);
            result = XAER_RMERR;
        }
    }
    RmRelease(r);
    return Returned(result);
}

int xa_switch_close(char* xaInfo, int rmid, long flags) {
    char dsn[256];
    if (!InfoFits(xaInfo) || !XaInfoDsn(xaInfo, dsn, sizeof dsn)) {
        Trace("xa_switch_close(***, %d, %lX)", rmid, static_cast<unsigned long>(flags));
        Trace("xa_switch_close: invalid xaInfo string format");
        return Returned(XAER_RMERR);
    }
    Trace("xa_switch_close(%s, %d, %lX)", dsn, rmid, static_cast<unsigned long>(flags));
    XaThreadAssoc* a = AssocFind(rmid, xaInfo);
    if (a == nullptr || a->record == nullptr) return Returned(XAER_RMERR);
    int result = CallVerb<DRV_XaClose>(a, static_cast<const char*>(xaInfo), rmid, flags);
    XaRmConnection* r = a->record;
    AssocRelease(a);
    RmRelease(r);
    return Returned(result);
}

int xa_switch_start(XID* xid, int rmid, long flags) {
    return XidVerb<DRV_XaStart>("xa_switch_start", xid, rmid, flags);
}
int xa_switch_end(XID* xid, int rmid, long flags) { return XidVerb<DRV_XaEnd>("xa_switch_end", xid, rmid, flags); }
int xa_switch_rollback(XID* xid, int rmid, long flags) {
    return XidVerb<DRV_XaRollback>("xa_switch_rollback", xid, rmid, flags);
}
int xa_switch_prepare(XID* xid, int rmid, long flags) {
    return XidVerb<DRV_XaPrepare>("xa_switch_prepare", xid, rmid, flags);
}
int xa_switch_commit(XID* xid, int rmid, long flags) {
    return XidVerb<DRV_XaCommit>("xa_switch_commit", xid, rmid, flags);
}
int xa_switch_forget(XID* xid, int rmid, long flags) {
    return XidVerb<DRV_XaForget>("xa_switch_forget", xid, rmid, flags);
}

int xa_switch_recover(XID* xids, long count, int rmid, long flags) {
    Trace("xa_switch_recover(%p, %ld, %d, %lX)", static_cast<void*>(xids), count, rmid,
          static_cast<unsigned long>(flags));
    XaThreadAssoc* a = AssocFind(rmid, nullptr);
    if (a == nullptr || a->record == nullptr) return Returned(XAER_RMERR);
    return Returned(CallVerb<DRV_XaRecover>(a, xids, count, rmid, flags));
}

int xa_switch_complete(int* handle, int* result, int rmid, long flags) {
    Trace("xa_switch_complete(%d,, %d, %lX)", handle ? *handle : 0, rmid, static_cast<unsigned long>(flags));
    XaThreadAssoc* a = AssocFind(rmid, nullptr);
    if (a == nullptr || a->record == nullptr) return Returned(XAER_RMERR);
    int h = handle ? *handle : 0, r = 0;
    int rc = CallVerb<DRV_XaComplete>(a, &h, &r, rmid, flags);
    if (result) *result = r;
    return Returned(rc);
}

TV_EXPORT SQLRETURN SQLGetXaEnv(SQLHENV* out) {
    Trace("SQLGetXaEnv(%p)", static_cast<void*>(out));
    if (out == nullptr) return SQL_ERROR;
    *out = SQL_NULL_HENV;
    XaThreadAssoc* a = AssocCurrent();
    if (a == nullptr || a->record == nullptr) return SQLRETURN(Returned(SQL_ERROR));
    {
        std::lock_guard<std::mutex> guard(g_envLock);
        *out = g_xaEnv;
    }
    return SQLRETURN(Returned(SQL_SUCCESS));
}

TV_EXPORT SQLRETURN SQLGetXaConnect(SQLHDBC* out) {
    Trace("SQLGetXaConnect(%p)", static_cast<void*>(out));
    if (out == nullptr) return SQL_ERROR;
    *out = SQL_NULL_HDBC;
    XaThreadAssoc* a = AssocCurrent();
    if (a == nullptr || a->record == nullptr) return SQLRETURN(Returned(SQL_ERROR));
    *out = a->record->hdbc;
    return SQLRETURN(Returned(SQL_SUCCESS));
}
