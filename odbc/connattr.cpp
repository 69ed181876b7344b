// SQLSetConnectOption, SQLGetConnectOption, SQLSetConnectAttr and SQLGetConnectAttr (narrow and
// wide). The ODBC 3 calls screen the attribute and hand most of them to the option workers.
#include "odbc/connattr.h"

#include <cstdlib>
#include <cstring>

#include "odbc/api_records.h"
#include "odbc/diag.h"
#include "odbc/trace_link.h"
#include "platform/msgbox.h"
#include "util/utf.h"
#include "xa/xa_agent.h"
#include "util/errtable.h"
#include "drv_ingii/i-info.h"

namespace {

constexpr uint32_t kOptFailoverCallback = 1280;
constexpr uint32_t kOptFailoverArgument = 1281;

bool Connected(const ConnRecord* conn) { return conn->state == kConnStateConnected; }
uint32_t OdbcVersion(const ConnRecord* conn) { return conn->env ? conn->env->odbcVersion : 2; }

// Driver options passed to the agent as numbers, and as texts.
bool DriverNumberOption(uint32_t o, bool getting) {
    if ((o >= 1201 && o <= 1206) || o == 1208 || o == 1210 || o == 1211 || o == 1213 || (o >= 1215 && o <= 1219) ||
        o == 1252 || o == 1253 || (o >= 1255 && o <= 1259) || o == 1262) {
        return true;
    }
    return getting && (o == 1207 || o == 1209);
}
bool DriverTextOption(uint32_t o) { return o == 1212 || o == 1214 || o == 1254; }

// A text argument as UTF-8: a copy of the UTF-16 text in mode 'W', else the text itself.
struct TextArg {
    const char* p = nullptr;
    char* owned = nullptr;
    bool failed = false;
    TextArg(uint64_t value, char mode) {
        const void* v = reinterpret_cast<const void*>(uintptr_t(value));
        if (!v) return;
        if (mode == 'W') {
            owned = WideToUtf8DupNts(static_cast<const SQLWCHAR*>(v));
            failed = owned == nullptr;
            p = owned;
        } else {
            p = static_cast<const char*>(v);
        }
    }
    ~TextArg() { free(owned); }
    TextArg(const TextArg&) = delete;
    TextArg& operator=(const TextArg&) = delete;
};

// Passes a connection option to the agent while connected. The agent answers kErrOptionChanged when it took
// another value than asked; that value is read back into *value.
SQLRETURN AgentSet(ConnRecord* conn, uint32_t id, uint32_t* value) {
    if (!Connected(conn)) return SQL_SUCCESS;
    uint32_t v = *value;
    ErrCode code = AgentCall<DRV_SetOption>(&conn->link, conn->agentConn, id, &v);
    if (code == kErrOptionChanged) {
        uint32_t now = v;
        uint16_t got = 0;
        if (AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, id, &now, uint16_t(4), &got) == 0) *value = now;
        conn->lastError = kErrOptionChanged;
        return SQL_SUCCESS_WITH_INFO;
    }
    if (code != 0) {
        conn->lastError = code;
        DiagCollectConn(conn, nullptr);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

SQLRETURN SetStatementDefault(ConnRecord* conn, uint32_t option, uint64_t value) {
    if (OdbcVersion(conn) >= 3) return Fail(conn, kErrNotSupported);
    StmtCursor& d = conn->cursorDefaults;
    uint32_t* cursorWord = nullptr;
    switch (option) {
        case SQL_QUERY_TIMEOUT:
            conn->defQueryTimeout = value;
            break;
        case SQL_MAX_ROWS:
            conn->defMaxRows = value;
            break;
        case SQL_NOSCAN:
            conn->defNoScan = value;
            break;
        case SQL_MAX_LENGTH:
            conn->defMaxLength = value;
            break;
        case SQL_BIND_TYPE:
            conn->defBindType = value;
            break;
        case SQL_CURSOR_TYPE:
            cursorWord = &d.cursorType;
            break;
        case SQL_CONCURRENCY:
            cursorWord = &d.concurrency;
            break;
        case SQL_KEYSET_SIZE:
            cursorWord = &d.keysetSize;
            break;
        case SQL_ROWSET_SIZE:
            cursorWord = &d.rowsetSize;
            break;
        case SQL_SIMULATE_CURSOR:
            cursorWord = &d.simulateCursor;
            break;
        case SQL_RETRIEVE_DATA:
            cursorWord = &d.retrieveData;
            break;
        case SQL_USE_BOOKMARKS:
            cursorWord = &d.useBookmarks;
            break;
        default:
            break;
    }
    if (cursorWord) {
        // The cursor options are kept in 32 bits: a wider value is refused, not cut.
        if (value > 0xFFFFFFFFull) return Fail(conn, kErrBadAttrValue);
        *cursorWord = uint32_t(value);
    }
    for (StmtRecord* s = conn->stmts; s; s = s->next) {
        SQLRETURN rc = StmtOptionSet(s, option, value);
        if (rc != SQL_SUCCESS) {
            // The statement keeps its own diagnostic; the connection reports the same code so the
            // caller of the connection call learns why.
            conn->lastError = s->lastError.load();
            return rc;
        }
    }
    return SQL_SUCCESS;
}

SQLRETURN EnlistInDtc(ConnRecord* conn, uint64_t value) {
    if (OdbcVersion(conn) < 3 || !conn->capXa) return Fail(conn, kErrNotSupported);
    if (!Connected(conn)) return Fail(conn, kErrNotOpen);
    if (value == SQL_DTC_DONE) {
        if (!conn->enlisted) return Fail(conn, kErrTxnState);
        DispenserRelease(conn->dispenser);
        conn->dispenser = nullptr;
        conn->enlisted = 0;
        return SQL_SUCCESS;
    }
    if (conn->enlisted) return SQL_SUCCESS;
    if (DtcInit() != 0) return Fail(conn, kErrDtcEnlist);
    if (conn->dispenser) {
        DispenserRelease(conn->dispenser);
        conn->dispenser = nullptr;
    }
    const char* dsn = conn->dsn ? conn->dsn : "";
    const char* uid = conn->user ? conn->user : "";
    const char* pwd = conn->password ? conn->password : "";
    size_t n = strlen(dsn) + strlen(uid) + strlen(pwd) + 20;
    char* text = static_cast<char*>(malloc(n));
    if (!text) return Fail(conn, kErrNoMemory);
    snprintf(text, n, "DSN=%s;UID=%s;PWD=%s;", dsn, uid, pwd);
    conn->dispenser = DispenserCreate(reinterpret_cast<void*>(uintptr_t(value)), conn->agentServer, conn->agentConn,
                                      &conn->link, &conn->xaLock, &conn->callLock, text);
    // The password must not linger in freed memory.
    memset(text, 0, n);
    free(text);
    if (!conn->dispenser) return Fail(conn, kErrDtcEnlist);
    if (DispenserRMConnect(conn->dispenser) != 0 || DispenserRMEnlist(conn->dispenser) != 0) {
        DispenserRelease(conn->dispenser);
        conn->dispenser = nullptr;
        return Fail(conn, kErrDtcEnlist);
    }
    conn->enlisted = 1;
    return SQL_SUCCESS;
}

SQLRETURN SetCurrentQualifier(ConnRecord* conn, uint64_t value, char mode) {
    if (!Connected(conn)) return SQL_SUCCESS;
    for (StmtRecord* s = conn->stmts; s; s = s->next) {
        if (s->flags & 0x2) return Fail(conn, kErrCursorState);
    }
    TextArg text(value, mode);
    if (text.failed) return Fail(conn, kErrNoMemory);
    ErrCode code =
        AgentCall<DRV_SetOption>(&conn->link, conn->agentConn, kPropQualifier, const_cast<char*>(text.p ? text.p : ""));
    if (code != 0) {
        conn->lastError = code;
        DiagCollectConn(conn, nullptr);
        return SQL_ERROR;
    }
    char* copy = text.p ? strdup(text.p) : nullptr;
    if (text.p && !copy) return Fail(conn, kErrNoMemory);
    free(conn->serverText);
    conn->serverText = copy;
    return SQL_SUCCESS;
}

SQLRETURN SetDriverOption(ConnRecord* conn, uint32_t option, uint64_t value, char mode) {
    if (!Connected(conn)) return SQL_SUCCESS;
    uint32_t code;
    if (DriverTextOption(option)) {
        TextArg text(value, mode);
        if (text.failed) return Fail(conn, kErrNoMemory);
        code = AgentCall<DRV_SetOption>(&conn->link, conn->agentConn, kPropTextOptionBase + option,
                                        const_cast<char*>(text.p ? text.p : ""));
        if (code != 0 && code != kErrOptionChanged) {
            conn->lastError = code == kErrNotCapable ? kErrOptionRange : code;
            DiagCollectConn(conn, nullptr);
            return SQL_ERROR;
        }
    } else {
        uint32_t v = uint32_t(value);
        code = AgentCall<DRV_SetOption>(&conn->link, conn->agentConn, kPropIntOptionBase + option, &v);
        if (code != 0 && code != kErrOptionChanged) return Fail(conn, code == kErrNotCapable ? kErrOptionRange : code);
    }
    if (code == kErrOptionChanged) {
        conn->lastError = kErrOptionChanged;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN SetFailover(ConnRecord* conn, uint32_t option, uint64_t value) {
    if (!Connected(conn)) return Fail(conn, kErrSequence);
    if (!conn->capFailover) return Fail(conn, kErrNotCapable);
    if (option == kOptFailoverCallback) {
        uint32_t on = value ? 1 : 0;
        SQLRETURN rc = AgentSet(conn, kPropFailover, &on);
        if (rc == SQL_ERROR) return rc;
        conn->failover = reinterpret_cast<FailoverCallback>(uintptr_t(value));
        return rc;
    }
    conn->failoverArg = reinterpret_cast<void*>(uintptr_t(value));
    return SQL_SUCCESS;
}

// Copies UTF-8 text out as narrow or UTF-16 text into a buffer of max bytes; the full length in
// bytes goes to *len. 0 when it fit, -1 when cut.
int CopyTextOut(const char* text, SQLPOINTER value, int64_t max, int64_t* len, char mode) {
    if (mode == 'W') {
        size_t units = 0;
        int r = Utf8ToWideBufBytes(text, static_cast<SQLWCHAR*>(value), size_t(max), &units);
        *len = int64_t(units) * 2;
        return r;
    }
    size_t n = strlen(text);
    *len = int64_t(n);
    if (!value) return 0;
    if (max <= 0) return -1;
    if (size_t(max) > n) {
        memcpy(value, text, n + 1);
        return 0;
    }
    memcpy(value, text, size_t(max) - 1);
    static_cast<char*>(value)[max - 1] = 0;
    return -1;
}

void WriteNumber(SQLPOINTER value, const ConnOptionValue& v) {
    if (!value) return;
    if (v.kind == ConnOptionValue::Int64) {
        memcpy(value, &v.number, 8);
    } else {
        uint32_t n = uint32_t(v.number);
        memcpy(value, &n, 4);
    }
}

// Options whose value is pointer-sized on a 64-bit platform, for each form of the get call.
bool WholeForOption(uint32_t option) { return option == SQL_QUIET_MODE; }
bool WholeForAttr(uint32_t attr) {
    return attr == SQL_ATTR_ASYNC_ENABLE || attr == SQL_ATTR_ODBC_CURSORS || attr == SQL_ATTR_QUIET_MODE;
}

}  // namespace

SQLRETURN ConnSetOption(ConnRecord* conn, uint32_t option, uint64_t value, char mode) {
    switch (option) {
        case SQL_QUERY_TIMEOUT:
        case SQL_MAX_ROWS:
        case SQL_NOSCAN:
        case SQL_MAX_LENGTH:
        case SQL_BIND_TYPE:
        case SQL_CURSOR_TYPE:
        case SQL_CONCURRENCY:
        case SQL_KEYSET_SIZE:
        case SQL_ROWSET_SIZE:
        case SQL_SIMULATE_CURSOR:
        case SQL_RETRIEVE_DATA:
        case SQL_USE_BOOKMARKS:
            return SetStatementDefault(conn, option, value);
        case SQL_ASYNC_ENABLE:
            if (OdbcVersion(conn) >= 3) return Fail(conn, kErrNotSupported);
            if (value) {
                conn->flags |= 0x8;
            } else {
                conn->flags &= uint16_t(~0x8u);
            }
            return SQL_SUCCESS;
        case SQL_ACCESS_MODE: {
            uint32_t v = value ? 1 : 0;
            SQLRETURN rc = AgentSet(conn, kPropAccessMode, &v);
            if (rc == SQL_ERROR) return rc;
            if (rc == SQL_SUCCESS_WITH_INFO) value = v;
            // Marked as the application's choice, so that connecting keeps it.
            if (value == SQL_MODE_READ_ONLY || value == SQL_MODE_READ_WRITE)
                ConnSetReadOnly(conn, value == SQL_MODE_READ_ONLY);
            return rc;
        }
        case SQL_AUTOCOMMIT: {
            uint32_t v = value ? 1 : 0;
            SQLRETURN rc = AgentSet(conn, kPropAutocommit, &v);
            if (rc == SQL_ERROR) return rc;
            if (rc == SQL_SUCCESS_WITH_INFO) value = v;
            ConnSetAutocommit(conn, value != 0);  // the application's choice outlives the connect
            return rc;
        }
        case SQL_LOGIN_TIMEOUT:
            conn->loginTimeout = uint32_t(value);
            return SQL_SUCCESS;
        case SQL_OPT_TRACE:
        case SQL_OPT_TRACEFILE:
        case SQL_PACKET_SIZE:
            return SQL_SUCCESS;
        case SQL_TRANSLATE_DLL: {
            TextArg text(value, mode);
            if (text.failed) return Fail(conn, kErrNoMemory);
            char* copy = text.p ? strdup(text.p) : nullptr;
            if (text.p && !copy) return Fail(conn, kErrNoMemory);
            free(conn->translateDll);
            conn->translateDll = copy;
            return SQL_SUCCESS;
        }
        case SQL_TRANSLATE_OPTION:
            conn->translateOption = uint32_t(value);
            return SQL_SUCCESS;
        case SQL_TXN_ISOLATION: {
            uint32_t v = uint32_t(value);
            SQLRETURN rc = AgentSet(conn, kPropIsolation, &v);
            if (rc == SQL_ERROR) return rc;
            conn->isolation = v;
            return rc;
        }
        case SQL_CURRENT_QUALIFIER:
            return SetCurrentQualifier(conn, value, mode);
        case SQL_QUIET_MODE:
            g_MsgBoxOwner = intptr_t(value);
            return SQL_SUCCESS;
        case SQL_ATTR_ENLIST_IN_DTC:
            return EnlistInDtc(conn, value);
        case kOptFailoverCallback:
        case kOptFailoverArgument:
            return SetFailover(conn, option, value);
        default:
            break;
    }
    if (DriverNumberOption(option, false) || DriverTextOption(option)) {
        return SetDriverOption(conn, option, value, mode);
    }
    return Fail(conn, kErrOptionRange);
}

SQLRETURN ConnGetOption(ConnRecord* conn, uint32_t option, ConnOptionValue* out) {
    auto number = [out](uint64_t v, bool whole = false) {
        out->kind = whole ? ConnOptionValue::Int64 : ConnOptionValue::Int32;
        out->number = v;
        return SQL_SUCCESS;
    };
    auto text = [out](const char* t) {
        out->kind = ConnOptionValue::Text;
        size_t n = t ? strnlen(t, sizeof out->text - 1) : 0;
        memcpy(out->text, t ? t : "", n);
        out->text[n] = 0;
        return SQL_SUCCESS;
    };
    switch (option) {
        case SQL_ASYNC_ENABLE:
            return number((conn->flags & 0x8) ? 1 : 0);
        case SQL_ACCESS_MODE:
            return number((conn->flags & 0x2) ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE);
        case SQL_AUTOCOMMIT:
            return number((conn->flags & 0x4) ? 1 : 0);
        case SQL_LOGIN_TIMEOUT:
            return number(conn->loginTimeout);
        case SQL_TRANSLATE_OPTION:
            return number(conn->translateOption);
        case SQL_TXN_ISOLATION:
            return number(conn->isolation);
        case SQL_OPT_TRACE:
        case SQL_ODBC_CURSORS:
            return number(0);
        case SQL_OPT_TRACEFILE:
            return text("");
        case SQL_TRANSLATE_DLL:
            if (!conn->translateDll) return SQL_NO_DATA;
            return text(conn->translateDll);
        case SQL_CURRENT_QUALIFIER: {
            if (!conn->agentConn) return text("");
            char buf[257] = {};
            uint16_t got = 0;
            ErrCode code =
                AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, kPropQualifierText, buf, uint16_t(256), &got);
            if (code != 0) return Fail(conn, code == kErrNotSupported ? kErrOptionRange : code);
            return text(buf);
        }
        case SQL_QUIET_MODE: {
            intptr_t owner = g_MsgBoxOwner;
            return number(owner == -2 ? 0 : uint64_t(owner));
        }
        case SQL_PACKET_SIZE:
            return number(4096);
        default:
            break;
    }
    if (DriverNumberOption(option, true)) {
        if (!Connected(conn)) return SQL_SUCCESS;
        uint32_t v = 0;
        uint16_t got = 0;
        ErrCode code =
            AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, kPropIntOptionBase + option, &v, uint16_t(4), &got);
        if (code != 0) return Fail(conn, code == kErrNotSupported ? kErrOptionRange : code);
        return number(v);
    }
    if (DriverTextOption(option)) {
        if (!Connected(conn)) return SQL_SUCCESS;
        char buf[257] = {};
        uint16_t got = 0;
        ErrCode code = AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, kPropTextOptionBase + option, buf,
                                              uint16_t(256), &got);
        if (code != 0) return Fail(conn, code == kErrNotSupported ? kErrOptionRange : code);
        return text(buf);
    }
    return Fail(conn, kErrOptionRange);
}

bool ConnOptionTakesText(int32_t option) {
    return option == SQL_ATTR_CURRENT_CATALOG || option == SQL_ATTR_TRACEFILE || option == SQL_ATTR_TRANSLATE_LIB ||
           (option > 0 && DriverTextOption(uint32_t(option)));
}

SQLRETURN ImplSetConnectOption(HandleBase* record, SQLUSMALLINT option, SQLULEN value, TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);
    return ConnSetOption(conn, option, value, mode);
}

SQLRETURN ImplGetConnectOption(HandleBase* record, SQLUSMALLINT option, SQLPOINTER value, TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);
    ConnOptionValue v;
    SQLRETURN rc = ConnGetOption(conn, option, &v);
    if (rc != SQL_SUCCESS || !value) return rc;
    if (v.kind == ConnOptionValue::Text) {
        // The ODBC 2 call has no buffer length: the application's buffer holds an option string of
        // the standard's maximum length.
        int64_t len = 0;
        int64_t max = mode == 'W' ? 2 * SQL_MAX_OPTION_STRING_LENGTH : SQL_MAX_OPTION_STRING_LENGTH;
        if (CopyTextOut(v.text, value, max, &len, mode) != 0) {
            conn->lastError = kErrTruncated;
            return SQL_SUCCESS_WITH_INFO;
        }
        return SQL_SUCCESS;
    }
    if (v.kind == ConnOptionValue::Int32 && WholeForOption(option)) v.kind = ConnOptionValue::Int64;
    if (v.kind != ConnOptionValue::Nothing) WriteNumber(value, v);
    return SQL_SUCCESS;
}

SQLRETURN ImplSetConnectAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length, TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);
    uint64_t v = uint64_t(uintptr_t(value));
    if (attr < 0) return Fail(conn, kErrOptionRange);
    uint32_t a = uint32_t(attr);
    if (a == SQL_ATTR_ASYNC_ENABLE) {
        conn->asyncEnable = uint32_t(v);
        for (StmtRecord* s = conn->stmts; s; s = s->next) s->asyncEnable = uint32_t(v);
        return SQL_SUCCESS;
    }
    if (a <= 14) {
        if (a == SQL_ROWSET_SIZE || a == 13) return Fail(conn, kErrOptionRange);
        return ConnSetOption(conn, a, v, mode);
    }
    if (a <= 100) return Fail(conn, kErrOptionRange);
    // No request ever times out and catalog arguments are always patterns: only those values
    // are taken. SQL_ATTR_AUTO_IPD can only be read.
    if (a == SQL_ATTR_CONNECTION_TIMEOUT) return v == 0 ? SQL_SUCCESS : Fail(conn, kErrNotCapable);
    if (a == SQL_ATTR_METADATA_ID) {
        if (v == SQL_FALSE) return SQL_SUCCESS;
        return Fail(conn, v == SQL_TRUE ? kErrNotCapable : kErrBadAttrValue);
    }
    if (a == SQL_ATTR_AUTO_IPD) return Fail(conn, kErrOptionRange);
    if (a == SQL_ATTR_CURRENT_CATALOG || a == SQL_ATTR_TRANSLATE_LIB) {
        // A text with an explicit length need not be terminated: copy what the length covers.
        if (length == SQL_NTS || !value) return ConnSetOption(conn, a, v, mode);
        if (length < 0) return Fail(conn, kErrBadLength);
        size_t bytes = mode == 'W' ? size_t(length / 2) * 2 : size_t(length);
        char* copy = static_cast<char*>(calloc(bytes + 2, 1));
        if (!copy) return Fail(conn, kErrNoMemory);
        memcpy(copy, value, bytes);
        SQLRETURN rc = ConnSetOption(conn, a, uint64_t(uintptr_t(copy)), mode);
        free(copy);
        return rc;
    }
    if (a <= 112 || a == SQL_ATTR_ENLIST_IN_DTC || a == kOptFailoverCallback || a == kOptFailoverArgument) {
        return ConnSetOption(conn, a, v, mode);
    }
    return Fail(conn, kErrOptionRange);
}

SQLRETURN ImplGetConnectAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len,
                             TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);
    ConnOptionValue v;
    switch (attr) {
        case SQL_QUERY_TIMEOUT:
            if (OdbcVersion(conn) >= 3) return Fail(conn, kErrNotSupported);
            v.kind = ConnOptionValue::Int32;
            v.number = conn->defQueryTimeout;
            WriteNumber(value, v);
            return SQL_SUCCESS;
        case SQL_MAX_ROWS:
            if (len) *len = SQL_NTS;
            return Fail(conn, kErrOptionRange);
        case SQL_ATTR_ASYNC_ENABLE:
            v.kind = ConnOptionValue::Int64;
            v.number = conn->asyncEnable;
            WriteNumber(value, v);
            return SQL_SUCCESS;
        case SQL_ATTR_CONNECTION_TIMEOUT:
        case SQL_ATTR_METADATA_ID:
        case SQL_ATTR_CONNECTION_DEAD:
        case SQL_ATTR_AUTO_IPD:
            v.kind = ConnOptionValue::Int32;
            WriteNumber(value, v);
            return SQL_SUCCESS;
        case SQL_ATTR_TRACEFILE:
        case SQL_ATTR_TRANSLATE_LIB:
        case SQL_ATTR_CURRENT_CATALOG: {
            if (max < 0) return Fail(conn, kErrBadLength);
            SQLRETURN rc = ConnGetOption(conn, uint32_t(attr), &v);
            if (rc != SQL_SUCCESS) return rc;
            int64_t full = 0;
            int cut = CopyTextOut(v.text, value, max, &full, mode);
            if (len && *len != SQL_NTS) *len = SQLINTEGER(full);
            if (cut != 0) {
                conn->lastError = kErrTruncated;
                return SQL_SUCCESS_WITH_INFO;
            }
            return SQL_SUCCESS;
        }
        case SQL_ATTR_ACCESS_MODE:
        case SQL_ATTR_AUTOCOMMIT:
        case SQL_ATTR_LOGIN_TIMEOUT:
        case SQL_ATTR_TRACE:
        case SQL_ATTR_TRANSLATE_OPTION:
        case SQL_ATTR_TXN_ISOLATION:
        case SQL_ATTR_ODBC_CURSORS:
        case SQL_ATTR_QUIET_MODE:
        case SQL_ATTR_PACKET_SIZE: {
            SQLRETURN rc = ConnGetOption(conn, uint32_t(attr), &v);
            if (rc != SQL_SUCCESS) return rc;
            if (WholeForAttr(uint32_t(attr))) v.kind = ConnOptionValue::Int64;
            WriteNumber(value, v);
            return SQL_SUCCESS;
        }
        default:
            return Fail(conn, kErrOptionRange);
    }
}
