// SQLConnect, SQLDriverConnect and transaction end behind the gateway: driver connect runs over
// the connection record under ConnectLock, then opens the connection on the agent.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-connparams.h"
#include "odbc/api_records.h"
#include "odbc/conn.h"
#include "odbc/drvconnect.h"
#include "odbc/globals.h"
#include "odbc/trace_link.h"

namespace {

char* CopyText(const std::string& s) {
    auto* p = static_cast<char*>(malloc(s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

void Replace(char*& field, const std::string* value) {
    free(field);
    field = value ? CopyText(*value) : nullptr;
}

// The connect trace lines, written while the debug trace is on, before the open's own.
struct ConnectTrace {
    bool on = GwTraceOn();
    std::vector<std::string> lines;
    std::vector<std::string>* sink() { return on ? &lines : nullptr; }
    void flush() {
        for (const std::string& line : lines) GwTrace("%s", line.c_str());
        lines.clear();
    }
    ~ConnectTrace() { flush(); }
};

// What the connect callbacks work on: the connection and the agent's settings for this connect,
// whose texts the agent's connect takes over.
struct ConnectContext {
    ConnRecord* conn;
    ConnectTrace* trace;
    IngDsnSettings settings{};
    ~ConnectContext() {
        free(settings.initialSql);
        free(settings.sqlDbmsName);
    }
};

ConnRecord* ConnOfContext(void* context) { return static_cast<ConnectContext*>(context)->conn; }

bool TargetConnected(void* context) { return ConnOfContext(context)->state == kConnStateConnected; }

void TargetStore(void* context, const ConnectPlan& plan) {
    ConnRecord* conn = ConnOfContext(context);
    // Connect fields: the earlier texts go, the plan's take their place.
    Replace(conn->user, &plan.user);
    if (conn->password) std::memset(conn->password, 0, std::strlen(conn->password));  // no old password left behind
    Replace(conn->password, &plan.password);
    Replace(conn->dsn, &plan.dsn);
    Replace(conn->serverText, &plan.server);
    Replace(conn->options, &plan.options);
    for (char** text :
         {&conn->host, &conn->port, &conn->svType, &conn->marker, &conn->reservedText1, &conn->reservedText2})
        Replace(*text, nullptr);
    // Bits the application set through the connection attributes before connecting are its
    // own: autocommit (reconciled by the open) and asynchronous execution always, the access
    // mode when the application chose one.
    uint16_t keep = kConnFlagAutocommit | kConnFlagAsync;
    if (conn->appFlags & kConnFlagAccessReadOnly) keep |= kConnFlagAccessReadOnly;
    uint16_t flags = uint16_t(conn->flags & ~(kConnFlagsCleared | kConnFlagIncludeViews | kConnFlagIncludeAll));
    uint16_t fromPlan = plan.flags;
    if (conn->appFlags & kConnFlagAccessReadOnly) fromPlan &= uint16_t(~kConnFlagAccessReadOnly);
    conn->flags = uint16_t(flags | (conn->flags & keep) | fromPlan);
    conn->fetchSize = plan.fetchSize;

    // The agent's per-data-source settings, taken over by its connect.
    IngDsnSettings& s = static_cast<ConnectContext*>(context)->settings;
    free(s.initialSql);
    free(s.sqlDbmsName);
    s.dynCursSensitivity = uint32_t(plan.dynCursSensitivity);
    s.jet = plan.jet ? 1 : 0;
    s.noAutoCommit = plan.noAutocommit ? 1 : 0;
    s.maxRows = plan.maxRows;
    s.noRowsetSizeLimit = plan.noRowsetSizeLimit ? 1 : 0;
    s.initialSql = plan.initSql.empty() ? nullptr : CopyText(plan.initSql);
    s.sqlDbmsName = plan.dbmsName.empty() ? nullptr : CopyText(plan.dbmsName);
    s.rtrimChar = plan.trimChar ? 1 : 0;
}

void TargetOpen(void* context, char mode) {
    auto* c = static_cast<ConnectContext*>(context);
    c->trace->flush();
    ConnOpen(c->conn, mode, &c->settings);
}

void TargetSetLastError(void* context, int code) { ConnOfContext(context)->lastError = uint32_t(code); }

ConnectTarget TargetOf(ConnectContext* context) {
    return ConnectTarget{context, TargetConnected, TargetStore, TargetOpen, TargetSetLastError};
}

}  // namespace

SQLRETURN ImplDriverConnect(HandleBase* record, SQLHWND window, const void* in, SQLSMALLINT inLen, void* out,
                            SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT completion, TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);
    ConnectTrace trace;
    CritSecGuard g(&ConnectLock);
    ConnectContext context{conn, &trace};
    ConnectTarget target = TargetOf(&context);
    if (mode == 'W')
        return DriverConnectCoreW(target, window, static_cast<const SQLWCHAR*>(in), inLen, static_cast<SQLWCHAR*>(out),
                                  outMax, outLen, completion, trace.sink());
    return DriverConnectCore(target, window, static_cast<const SQLCHAR*>(in), inLen, static_cast<SQLCHAR*>(out), outMax,
                             outLen, completion, mode, trace.sink());
}

SQLRETURN ImplConnect(HandleBase* record, const void* dsn, SQLSMALLINT dsnLen, const void* uid, SQLSMALLINT uidLen,
                      const void* pwd, SQLSMALLINT pwdLen, TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);
    ConnectTrace trace;
    CritSecGuard g(&ConnectLock);
    ConnectContext context{conn, &trace};
    ConnectTarget target = TargetOf(&context);
    if (mode == 'W')
        return ConnectCoreW(target, static_cast<const SQLWCHAR*>(dsn), dsnLen, static_cast<const SQLWCHAR*>(uid),
                            uidLen, static_cast<const SQLWCHAR*>(pwd), pwdLen, trace.sink());
    return ConnectCore(target, static_cast<const SQLCHAR*>(dsn), dsnLen, static_cast<const SQLCHAR*>(uid), uidLen,
                       static_cast<const SQLCHAR*>(pwd), pwdLen, mode, trace.sink());
}

SQLRETURN ImplTransact(HandleBase* record, SQLUSMALLINT type) {
    if (record->tag == kTagEnv) return EnvEndTran(static_cast<EnvRecord*>(record), type);
    return ConnEndTran(static_cast<ConnRecord*>(record), type);
}
