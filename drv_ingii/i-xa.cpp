// The agent's XA branch manager: binds a connection's Ingres session to an X/Open branch,
// parks ended branches in the server's list so another connection can prepare or join them,
// finishes branches that no live session holds from a fresh session, and lists the in-doubt
// branches the master database knows.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/ingutil.h"
#include "iiapi/iiapi.h"
#include "drv_ingii/i-xa.h"
#include "util/errtable.h"
#include "util/invariant.h"
#include "util/trymem.h"

struct XaBranchEntry {
    void* connHandle;
    void* tranHandle;
    void* xidHandle;
    uint32_t state;
    XID xid;
    XaBranchEntry* next;
};

struct XaBranchList {
    XaBranchEntry* first;
};

namespace {

// The connection's branch moves to `to`; a move the branch cannot make stops a Debug build.
void MoveBranch(IngConn* c, XaBranchState to) {
    TV_INVARIANT(XaBranchMoveAllowed(c->xaState, to));
    c->xaState = to;
}

bool XidLengthsValid(const XID* x) {
    return x->gtrid_length >= 0 && x->gtrid_length <= MAXGTRIDSIZE && x->bqual_length >= 0 &&
           x->bqual_length <= MAXBQUALSIZE;
}

void DisconnectHandle(void* connHandle) {
    if (connHandle == nullptr) return;
    IIAPI_DISCONNPARM dc{};
    dc.dc_connHandle = connHandle;
    IIapi_disconnect(&dc);
    IIWaitCompletion(&dc.dc_genParm, nullptr);
}

// Unlinks and returns the entry holding the XID (none when absent); under the server lock.
XaBranchEntry* TakeBranch(IngServer* sv, const XID* xid, bool onlyEnded, bool* wrongState) {
    if (wrongState) *wrongState = false;
    std::lock_guard<std::recursive_mutex> lock(sv->lock);
    if (sv->branches == nullptr) return nullptr;
    for (XaBranchEntry** p = &sv->branches->first; *p; p = &(*p)->next) {
        if (!XidEqual(&(*p)->xid, xid)) continue;
        if (onlyEnded && (*p)->state != kXaEnded) {
            if (wrongState) *wrongState = true;
            return nullptr;
        }
        XaBranchEntry* e = *p;
        *p = e->next;
        e->next = nullptr;
        return e;
    }
    return nullptr;
}

bool ParkBranch(IngServer* sv, XaBranchEntry* e) {
    std::lock_guard<std::recursive_mutex> lock(sv->lock);
    if (sv->branches == nullptr) return false;
    XaBranchEntry** p = &sv->branches->first;
    while (*p) p = &(*p)->next;
    *p = e;
    return true;
}

// The session the connection has no more: the environment is what a new session starts from.
void ClearSession(IngConn* c) {
    c->connHandle = c->server ? c->server->env : nullptr;
    c->tranHandle = nullptr;
}

bool HasSession(const IngConn* c) { return c->connHandle != nullptr && c->connHandle != c->server->env; }

void FreeInDoubt(IngConn* c) {
    TryFree(c->xaInDoubt);
    c->xaInDoubt = nullptr;
    c->xaInDoubtCount = 0;
    c->xaInDoubtPos = 0;
}

void ReleaseBranchId(IngConn* c) {
    if (c->xaXidHandle != nullptr) IIReleaseXid(&c->xid, &c->xaXidHandle);
    c->xaXidHandle = nullptr;
}

uint32_t EndOnHandle(void* tranHandle, bool rollback, IngDiagList* list) {
    if (tranHandle == nullptr) return 0;
    if (rollback) {
        IIAPI_ROLLBACKPARM rb{};
        rb.rb_tranHandle = tranHandle;
        IIapi_rollback(&rb);
        return IIWaitCompletion(&rb.rb_genParm, list);
    }
    IIAPI_COMMITPARM cm{};
    cm.cm_tranHandle = tranHandle;
    IIapi_commit(&cm);
    return IIWaitCompletion(&cm.cm_genParm, list);
}

// Sets the login's session parameters on a new session's handle.
void SetLoginParams(IngConn* c, void** cell, bool all) {
    if (all && c->group) IISetConnParam(cell, IIAPI_CP_GROUP_ID, c->group, &c->messages);
    if (c->effectiveUser) IISetConnParam(cell, IIAPI_CP_EFFECTIVE_USER, c->effectiveUser, &c->messages);
    if (c->dbmsPassword) IISetConnParam(cell, IIAPI_CP_DBMS_PASSWORD, c->dbmsPassword, &c->messages);
    if (all && c->role) IISetConnParam(cell, IIAPI_CP_ROLE_ID, c->role, &c->messages);
}

int FinishOnNewSession(IngConn* c, const XID* xid, bool rollback) {
    void* cell = c->server->env;
    SetLoginParams(c, &cell, true);
    void* xidHandle = nullptr;
    if (IIRegisterXid(xid, &xidHandle) != 0) return XAER_NOTA;
    IIAPI_CONNPARM co{};
    co.co_target = c->database;
    co.co_username = c->user;
    co.co_password = c->password;
    co.co_timeout = -1;
    co.co_connHandle = cell;
    co.co_tranHandle = xidHandle;
    co.co_type = IIAPI_CT_SQL;
    IIapi_connect(&co);
    int result = XA_OK;
    bool connected = false;
    if (IIWaitCompletion(&co.co_genParm, &c->messages) != 0) {
        result = XAER_NOTA;
        if (co.co_connHandle != nullptr && co.co_connHandle != c->server->env) DisconnectHandle(co.co_connHandle);
    } else {
        connected = true;
        if (co.co_apiLevel < 1) {
            IngLog(LOGL_WARNING, "The connection doesn't support IIAPI_LEVEL_1 and higher");
            result = XAER_RMERR;
        } else if (rollback) {
            if (EndOnHandle(co.co_tranHandle, true, &c->messages) != 0) result = XAER_RMERR;
        } else if (EndOnHandle(co.co_tranHandle, false, &c->messages) != 0) {
            EndOnHandle(co.co_tranHandle, true, nullptr);
            result = XAER_RMERR;
        }
    }
    IIReleaseXid(xid, &xidHandle);
    if (connected) DisconnectHandle(co.co_connHandle);
    return result;
}

// A branch another connection parked and nobody prepared: finished on its own session, which
// holds the work (a fresh session would not see it).
int FinishParked(IngConn* c, XaBranchEntry* e, bool rollback, long flags) {
    if (!rollback && !(flags & TMONEPHASE)) {
        ParkBranch(c->server, e);  // back where it was: the order of calls was wrong
        return XAER_PROTO;
    }
    int result = XA_OK;
    if (EndOnHandle(e->tranHandle, rollback, &c->messages) != 0) {
        if (!rollback) EndOnHandle(e->tranHandle, true, nullptr);
        result = XAER_RMERR;
    }
    if (e->xidHandle) IIReleaseXid(&e->xid, &e->xidHandle);
    DisconnectHandle(e->connHandle);
    TryFree(e);
    return result;
}

// Connects to the master database of the connection's node and reads its in-doubt branches.
uint32_t RecoverScan(IngConn* c) {
    std::string target = c->database ? c->database : "";
    std::string master, dbname;
    size_t sep = target.find("::");
    if (sep != std::string::npos) {
        master = target.substr(0, sep + 2) + "iidbdb";
        dbname = target.substr(sep + 2);
    } else {
        master = "iidbdb";
        dbname = target;
    }
    void* cell = c->server->env;
    SetLoginParams(c, &cell, false);
    IIAPI_CONNPARM co{};
    co.co_target = const_cast<char*>(master.c_str());
    co.co_username = c->user;
    co.co_password = c->password;
    co.co_timeout = -1;
    co.co_connHandle = cell;
    co.co_type = IIAPI_CT_SQL;
    IIapi_connect(&co);
    if (IIWaitCompletion(&co.co_genParm, &c->messages) != 0) {
        if (co.co_connHandle != nullptr && co.co_connHandle != c->server->env) DisconnectHandle(co.co_connHandle);
        return kErrGeneral;
    }
    void* session = co.co_connHandle;
    void* tran = co.co_tranHandle;
    auto finish = [&](uint32_t rc) {
        if (tran != nullptr) EndOnHandle(tran, true, nullptr);
        DisconnectHandle(session);
        return rc;
    };
    if (co.co_apiLevel < 1) {
        IngLog(LOGL_WARNING, "The connection doesn't support IIAPI_LEVEL_1 and higher");
        return finish(uint32_t(XAER_RMERR));
    }
    // The database name goes inside a quoted literal.
    std::string quoted;
    for (char ch : dbname) {
        quoted += ch;
        if (ch == '\'') quoted += '\'';
    }
    char text[1024];
    std::snprintf(text, sizeof text,
                  "select trim(xa_dis_tran_id) from lgmo_xa_dis_tran_ids where xa_database_name = '%s' and "
                  "xa_seqnum = 0",
                  quoted.c_str());
    IIAPI_QUERYPARM qy{};
    qy.qy_connHandle = session;
    qy.qy_queryType = IIAPI_QT_QUERY;
    qy.qy_queryText = text;
    qy.qy_tranHandle = tran;
    IIapi_query(&qy);
    void* stmt = qy.qy_stmtHandle;
    uint32_t rc = IIWaitCompletion(&qy.qy_genParm, &c->messages);
    tran = qy.qy_tranHandle;
    XID* list = nullptr;
    uint32_t count = 0, room = 0;
    auto fail = [&](uint32_t code) {
        IICloseStmt(&stmt, nullptr);
        TryFree(list);
        return finish(code);
    };
    if (rc != 0) return fail(rc);
    IIAPI_GETDESCRPARM gd{};
    rc = IIGetDescriptor(&gd, stmt, &c->messages);
    if (rc != 0) return fail(rc);
    if (gd.gd_descriptorCount <= 0) return fail(kErrNoData);
    const int n = gd.gd_descriptorCount;
    std::string buffers[64];
    IIAPI_DATAVALUE values[64] = {};
    if (n > 64) return fail(kErrGeneral);
    for (int i = 0; i < n; ++i) {
        buffers[i].assign(size_t(gd.gd_descriptor[i].ds_length) + 2, '\0');
        values[i].dv_value = buffers[i].data();
    }
    for (;;) {
        IIAPI_GETCOLPARM gc{};
        gc.gc_stmtHandle = stmt;
        gc.gc_rowCount = 1;
        gc.gc_columnCount = int16_t(n);
        gc.gc_columnData = values;
        IIapi_getColumns(&gc);
        uint32_t grc = IIWaitCompletion(&gc.gc_genParm, &c->messages);
        if (grc == kErrNoData) break;
        if (grc != 0) return fail(grc);
        if (gc.gc_rowsReturned < 1) return fail(kErrGeneral);
        const IIAPI_DESCRIPTOR& d = gd.gd_descriptor[0];
        if (values[0].dv_null) continue;
        char textValue[513];
        size_t len = 0;
        const char* raw = static_cast<const char*>(values[0].dv_value);
        if (d.ds_dataType == IIAPI_CHA_TYPE || d.ds_dataType == IIAPI_CHR_TYPE) {
            len = values[0].dv_length;
            if (len > 512) len = 512;
            std::memcpy(textValue, raw, len);
        } else if (d.ds_dataType == IIAPI_VCH_TYPE || d.ds_dataType == 22 || d.ds_dataType == IIAPI_TXT_TYPE ||
                   d.ds_dataType == IIAPI_LTXT_TYPE) {
            uint16_t l = 0;
            std::memcpy(&l, raw, 2);
            len = l > 512 ? 512 : l;
            if (len > buffers[0].size() - 2) len = buffers[0].size() - 2;
            std::memcpy(textValue, raw + 2, len);
        } else {
            continue;
        }
        textValue[len] = '\0';
        XID x;
        if (!XidFromText(textValue, &x)) continue;
        if (count == room) {
            auto* grown = static_cast<XID*>(TryRealloc(list, sizeof(XID) * (room + 32)));
            if (grown == nullptr) return fail(kErrNoMemory);
            list = grown;
            room += 32;
        }
        list[count++] = x;
    }
    rc = IIGetQueryInfo(stmt, nullptr, nullptr, &c->messages);
    if (rc == 0) rc = IICloseStmt(&stmt, &c->messages);
    if (rc != 0) return fail(rc);
    // An empty list still marks a scan as started.
    if (list == nullptr && (list = static_cast<XID*>(TryMalloc(sizeof(XID)))) == nullptr) return fail(kErrNoMemory);
    FreeInDoubt(c);
    c->xaInDoubt = list;
    c->xaInDoubtCount = count;
    c->xaInDoubtPos = 0;
    return finish(0);
}

}  // namespace

// ---- identifiers ----------------------------------------------------------------------------

int XidIsNull(const XID* xid) { return xid == nullptr || xid->formatID == -1; }

void XidClear(XID* xid) {
    if (xid == nullptr) return;
    std::memset(xid, 0, sizeof *xid);
    xid->formatID = -1;
}

int XidEqual(const XID* a, const XID* b) {
    if (a == nullptr || b == nullptr || !XidLengthsValid(a) || !XidLengthsValid(b)) return 0;
    return a->formatID == b->formatID && a->gtrid_length == b->gtrid_length && a->bqual_length == b->bqual_length &&
           std::memcmp(a->data, b->data, size_t(a->gtrid_length + a->bqual_length)) == 0;
}

int XidToText(const XID* xid, char* out, size_t size) {
    if (xid == nullptr || out == nullptr || !XidLengthsValid(xid)) return 0;
    std::string s = "'";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08lX:%ld:%ld:", static_cast<unsigned long>(xid->formatID) & 0xFFFFFFFFul,
                  xid->gtrid_length, xid->bqual_length);
    s += buf;
    const long n = xid->gtrid_length + xid->bqual_length;
    const auto* data = reinterpret_cast<const unsigned char*>(xid->data);
    for (long w = 0; w < (n + 3) / 4; ++w) {
        unsigned long v = 0;
        for (int k = 0; k < 4; ++k) {
            long at = w * 4 + k;
            v = (v << 8) | (at < n ? data[at] : 0u);
        }
        std::snprintf(buf, sizeof buf, "%08lX:", v);
        s += buf;
    }
    s += "XA:0:7:EX'";
    if (s.size() + 1 > size) return 0;
    std::memcpy(out, s.c_str(), s.size() + 1);
    return 1;
}

int XidFromText(const char* text, XID* out) {
    if (text == nullptr || out == nullptr) return 0;
    const char* p = text;
    auto field = [&p](int base, long* value) {
        const char* colon = std::strchr(p, ':');
        if (colon == nullptr || colon == p) return false;
        char* end = nullptr;
        std::string part(p, colon);
        unsigned long long v = std::strtoull(part.c_str(), &end, base);
        if (end == nullptr || *end != '\0') return false;
        *value = long(v);
        p = colon + 1;
        return true;
    };
    XID x{};
    long fmt = 0, g = 0, b = 0;
    if (!field(16, &fmt) || !field(10, &g) || !field(10, &b)) return 0;
    // An empty branch qualifier is a valid XID: refusing it here would hide a prepared branch from recovery.
    if (g < 1 || g > MAXGTRIDSIZE || b < 0 || b > MAXBQUALSIZE) return 0;
    x.formatID = long(int32_t(uint32_t(fmt)));
    x.gtrid_length = g;
    x.bqual_length = b;
    for (long w = 0; w < (g + b + 3) / 4; ++w) {
        long v = 0;
        if (!field(16, &v)) return 0;
        for (int k = 0; k < 4; ++k) x.data[w * 4 + k] = char((uint32_t(v) >> (24 - 8 * k)) & 0xFF);
    }
    // Bytes past the used lengths are not part of the identifier.
    std::memset(x.data + g + b, 0, sizeof x.data - size_t(g + b));
    *out = x;
    return 1;
}

uint32_t IIRegisterXid(const XID* xid, void** tranIdHandle) {
    if (xid == nullptr || tranIdHandle == nullptr || !XidLengthsValid(xid)) return kErrGeneral;
    IIAPI_REGXIDPARM rg{};
    rg.rg_tranID.ti_type = IIAPI_TI_XAXID;
    auto& x = rg.rg_tranID.ti_value.xaXID;
    x.xa_formatID = II_LONG(xid->formatID);
    x.xa_gtridLength = II_LONG(xid->gtrid_length);
    x.xa_bqualLength = II_LONG(xid->bqual_length);
    std::memcpy(x.xa_data, xid->data, size_t(xid->gtrid_length + xid->bqual_length));
    x.xa_branchSeqnum = 0;
    x.xa_branchFlag = 7;
    IIapi_registerXID(&rg);
    if (rg.rg_status == IIAPI_ST_OUT_OF_MEMORY) return kErrNoMemory;
    if (rg.rg_status != IIAPI_ST_SUCCESS) return kErrGeneral;
    *tranIdHandle = rg.rg_tranIdHandle;
    return 0;
}

uint32_t IIReleaseXid(const XID*, void** tranIdHandle) {
    if (tranIdHandle == nullptr) return kErrGeneral;
    IIAPI_RELXIDPARM rl{};
    rl.rl_tranIdHandle = *tranIdHandle;
    IIapi_releaseXID(&rl);
    if (rl.rl_status != IIAPI_ST_SUCCESS) return kErrGeneral;
    *tranIdHandle = nullptr;
    return 0;
}

// ---- the server's parked branches -----------------------------------------------------------

namespace {
std::atomic<const IngXaSlotOps*> g_xaSlotOps{nullptr};

uint32_t SlotSetAssociated(void* slot, int flag) {
    const IngXaSlotOps* ops = g_xaSlotOps.load();
    return ops ? ops->setAssociated(slot, flag) : kErrBadArg;
}
}  // namespace

void IngSetXaSlotOps(const IngXaSlotOps* ops) { g_xaSlotOps.store(ops); }

int IngXaSlotAssociated(const void* slot) {
    const IngXaSlotOps* ops = g_xaSlotOps.load();
    return ops != nullptr && ops->associated(slot) != 0;
}

XaBranchList* XaBranchListCreate() { return new (std::nothrow) XaBranchList{}; }

void XaBranchListFree(XaBranchList* list) {
    if (list == nullptr) return;
    while (XaBranchEntry* e = list->first) {
        list->first = e->next;
        DisconnectHandle(e->connHandle);
        if (e->xidHandle) IIReleaseXid(&e->xid, &e->xidHandle);
        e->connHandle = e->tranHandle = nullptr;
        TryFree(e);
    }
    delete list;
}

uint32_t XaBranchListCount(const XaBranchList* list) {
    uint32_t n = 0;
    for (const XaBranchEntry* e = list ? list->first : nullptr; e; e = e->next) ++n;
    return n;
}

// ---- the verbs ------------------------------------------------------------------------------

int IngXaOpen(uint32_t conn, uint32_t, const char*, int, long flags) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    if ((flags & TMASYNC) || IngXaSlotAssociated(c->xaSlot)) return XAER_INVAL;
    IngTxnControl(c, kTxnOpRollback);
    if (HasSession(c) && IIDisconnect(c) != 0) return XAER_RMERR;
    ClearSession(c);
    // A fresh plain session: the application's statements on the connection run on it until a
    // branch starts, as they do between branches.
    if (IIConnect(c, nullptr) != 0) {
        ClearSession(c);
        return XAER_RMERR;
    }
    FreeInDoubt(c);
    SlotSetAssociated(c->xaSlot, 1);
    MoveBranch(c, kXaNone);
    c->xaParked = 0;
    return XA_OK;
}

int IngXaClose(uint32_t conn, const char*, int, long flags) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    if (flags & TMASYNC) return XAER_INVAL;
    if (HasSession(c) && !c->xaParked) {
        if (!XidIsNull(&c->xid)) ReleaseBranchId(c);
        if (IIDisconnect(c) != 0) return XAER_RMERR;
    }
    ClearSession(c);
    MoveBranch(c, kXaNone);
    c->xaParked = 0;
    XidClear(&c->xid);
    SlotSetAssociated(c->xaSlot, 0);
    if (IIConnect(c, nullptr) != 0) return XAER_RMERR;
    if (IngTxnControl(c, c->dsn.noAutoCommit ? kTxnOpAutocommitOff : kTxnOpAutocommitOn) != 0) return XAER_RMERR;
    return XA_OK;
}

int IngXaStart(uint32_t conn, XID* xid, int, long flags) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    if (flags & TMASYNC) return XAER_INVAL;
    if (xid == nullptr || !XidLengthsValid(xid)) return XAER_INVAL;
    if (flags == TMJOIN && c->xaParked && XidEqual(&c->xid, xid)) {
        bool wrongState = false;
        XaBranchEntry* e = TakeBranch(c->server, xid, true, &wrongState);
        if (wrongState) return XAER_PROTO;
        if (e == nullptr) return XAER_NOTA;
        c->connHandle = e->connHandle;
        c->tranHandle = e->tranHandle;
        c->xaXidHandle = e->xidHandle;
        c->xid = e->xid;
        MoveBranch(c, kXaActive);
        c->xaParked = 0;
        TryFree(e);
        return XA_OK;
    }
    if (flags != TMNOFLAGS) return XAER_INVAL;
    if (c->xaState != kXaNone) return XAER_PROTO;
    if (!HasSession(c) || c->xaParked) {
        ClearSession(c);
        c->xaParked = 0;
        if (IIConnect(c, nullptr) != 0) return XAER_RMERR;
    }
    if (IIRegisterXid(xid, &c->xaXidHandle) != 0) return XAER_RMERR;
    XidClear(&c->xid);
    XidCopy(&c->xid, xid);
    char text[1024];
    std::memcpy(text, "set session with xa_xid=", 24);
    if (XidToText(xid, text + 24, sizeof text - 24) &&
        IIExecImmediate(&c->connHandle, &c->tranHandle, text, nullptr, &c->messages) == 0) {
        MoveBranch(c, kXaActive);
        return XA_OK;
    }
    ReleaseBranchId(c);
    XidClear(&c->xid);
    return XAER_RMERR;
}

int IngXaEnd(uint32_t conn, XID* xid, int, long flags) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    if ((flags & TMASYNC) || (flags & TMSUSPEND)) return XAER_INVAL;
    if (c->xaState != kXaActive) return XAER_PROTO;
    if (!XidEqual(&c->xid, xid)) return XAER_NOTA;
    if (!(flags & TMFAIL) && (flags & TMSUCCESS)) {
        // Parked in the server's list; without room there the branch stays active on its session,
        // which nothing else could reach.
        auto* e = static_cast<XaBranchEntry*>(TryCalloc(1, sizeof(XaBranchEntry)));
        if (e == nullptr) return XAER_PROTO;
        *e = XaBranchEntry{c->connHandle, c->tranHandle, c->xaXidHandle, kXaEnded, c->xid, nullptr};
        if (!ParkBranch(c->server, e)) {
            TryFree(e);
            return XAER_PROTO;
        }
        MoveBranch(c, kXaEnded);
        ClearSession(c);
        c->xaXidHandle = nullptr;
        c->xaParked = 1;
        return XA_OK;
    }
    MoveBranch(c, (flags & TMFAIL) ? kXaRollbackOnly : kXaEnded);
    return XA_OK;
}

int IngXaPrepare(uint32_t conn, XID* xid, int, long flags) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    if (flags & TMASYNC) return XAER_INVAL;
    if (xid == nullptr || !XidLengthsValid(xid)) return XAER_INVAL;
    if (c->xaParked || XidIsNull(&c->xid) || !XidEqual(&c->xid, xid)) {
        XaBranchEntry* e = TakeBranch(c->server, xid, false, nullptr);
        if (e == nullptr) return XAER_NOTA;
        // The connection's own session (another branch, or none) gives way to the taken one.
        if (HasSession(c) && !c->xaParked) {
            ReleaseBranchId(c);
            IIRollback(c);
            IIDisconnect(c);
        }
        c->connHandle = e->connHandle;
        c->tranHandle = e->tranHandle;
        c->xaXidHandle = e->xidHandle;
        c->xid = e->xid;
        c->xaState = e->state;  // the taken branch's own state, whatever the connection's was
        c->xaParked = 0;
        TryFree(e);
    }
    if (c->xaState != kXaEnded) return XAER_PROTO;
    uint32_t rc = kErrGeneral;
    if (c->tranHandle != nullptr) {
        IIAPI_PREPCMTPARM pr{};
        pr.pr_tranHandle = c->tranHandle;
        IIapi_prepareCommit(&pr);
        rc = IIWaitCompletion(&pr.pr_genParm, &c->messages);
    }
    if (rc == 0) {
        MoveBranch(c, kXaPrepared);
        return XA_OK;
    }
    MoveBranch(c, kXaRollbackOnly);
    return XAER_RMERR;
}

namespace {
int CommitOrRollback(uint32_t conn, XID* xid, long flags, bool rollback) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    int result;
    if (xid == nullptr || !XidLengthsValid(xid)) return XAER_INVAL;
    // Refused: the branch stays as it is, wherever it lies.
    if (flags & TMASYNC) return XAER_INVAL;
    if (c->xaParked || XidIsNull(&c->xid) || !XidEqual(&c->xid, xid)) {
        // Not this connection's branch: one parked by any connection is finished on its session,
        // anything else from a fresh session bound to the identifier.
        XaBranchEntry* e = TakeBranch(c->server, xid, false, nullptr);
        if (e != nullptr) {
            const bool own = c->xaParked && XidEqual(&c->xid, xid);
            result = FinishParked(c, e, rollback, flags);
            if (own && result != XAER_PROTO) {
                c->xaParked = 0;
                MoveBranch(c, kXaNone);
                XidClear(&c->xid);
                // The branch's session went with it: the connection gets a plain one, as after a
                // two-phase commit of its own branch. The branch's outcome stands either way.
                ClearSession(c);
                if (IIConnect(c, nullptr) != 0) ClearSession(c);
            }
            return result;
        }
        return FinishOnNewSession(c, xid, rollback);
    } else {
        const uint32_t st = c->xaState;
        bool allowed = rollback
                           ? (st == kXaEnded || st == kXaPrepared || st == kXaRollbackOnly)
                           : ((st == kXaEnded && (flags & TMONEPHASE)) || (st == kXaPrepared && !(flags & TMONEPHASE)));
        if (!allowed) return XAER_PROTO;
        if (rollback) {
            result = IIRollback(c) == 0 ? XA_OK : XAER_RMERR;
        } else if (IICommit(c) != 0) {
            IIRollback(c);
            result = XAER_RMERR;
        } else {
            result = XA_OK;
        }
    }
    ReleaseBranchId(c);
    XidClear(&c->xid);
    MoveBranch(c, kXaNone);
    return result;
}
}  // namespace

int IngXaCommit(uint32_t conn, XID* xid, int, long flags) { return CommitOrRollback(conn, xid, flags, false); }
int IngXaRollback(uint32_t conn, XID* xid, int, long flags) { return CommitOrRollback(conn, xid, flags, true); }

int IngXaRecover(uint32_t conn, XID* xids, long count, int, long flags) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return XAER_INVAL;
    if ((flags & TMASYNC) || (xids == nullptr && count > 0) || count < 0) return XAER_INVAL;
    if (flags & TMSTARTRSCAN) {
        FreeInDoubt(c);
        if (RecoverScan(c) != 0) return XAER_RMERR;
    }
    if (c->xaInDoubt == nullptr) return XAER_INVAL;
    long copied = 0;
    while (copied < count && c->xaInDoubtPos < c->xaInDoubtCount) xids[copied++] = c->xaInDoubt[c->xaInDoubtPos++];
    if (flags & TMENDRSCAN) FreeInDoubt(c);
    return int(copied);
}

int IngXaComplete(uint32_t, int*, int*, int, long) { return XAER_INVAL; }
int IngXaForget(uint32_t conn, XID*, int, long) { return IngConnFind(conn) ? XAER_NOTA : XAER_INVAL; }
