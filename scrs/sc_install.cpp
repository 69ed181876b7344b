// The cursor layer over the agent's operation table: its installation, its records of the open
// connections, and the overrides for information, connections, statements, parameters, close
// and block fetch; prepare and execute go to the set-up (sc_s.cpp), the fetch slots to
// sc_fetch.cpp, the compound operations to sc_compound.cpp, the catalog wrappers to
// sc_catalog.cpp, positioned changes and bulk operations to sc_setpos.cpp and sc_bookmark.cpp.
#include <cstdio>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-connparams.h"
#include "drv_ingii/i-exec.h"
#include "drv_ingii/i-hooks.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_compound.h"
#include "scrs/sc_parmdesc.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_rowver.h"
#include "scrs/sc_s.h"
#include "scrs/sc_setpos.h"
#include "scrs/ss.h"
#include "util/dataset.h"
#include "util/hash.h"
#include "util/scrarray.h"
#include "util/trymem.h"
#include "util/errtable.h"

namespace {

struct SCS_ConnNode {
    SCS_ConnEntry* entry;
    uint32_t conn;
    SCS_ConnNode* next;
};

std::mutex g_installLock;
AgentFuncTable g_funcTable;              // SCS_FuncTable
AgentLink g_savedLowerLink{0, nullptr};  // SCS_SavedLowerLink; its table is the once-guard
// Guards every server record's connection list.
std::mutex g_cursorListLock;

constexpr int32_t kKeyCacheBuckets = 101;
constexpr int32_t kKeyCacheKeyBytes = 16;         // MD5 digests of table names
constexpr uint32_t kCapNoForUpdate = 0x22010007;  // " FOR UPDATE" refused: locks by UPDATE

void FreeEntry(SCS_ConnEntry* e) {
    if (e == nullptr) return;
    for (char*& t : e->text) TryFree(t);
    TryFree(e->user);
    TryFree(e->password);
    TryFree(e->extraText);
    TryFree(e);
}

// A heap copy, null for null; false only when memory ran out.
bool Dup(const char* src, char** out) {
    *out = nullptr;
    if (src == nullptr) return true;
    *out = TryStrdup(src);
    return *out != nullptr;
}

bool CopyEntry(const IngConnectParams* p, SCS_ConnEntry* e) {
    const char* texts[6] = {p->serverAddress, p->marker, p->reservedText1, p->reservedText2, p->database, p->options};
    bool ok = true;
    for (int i = 0; i < 6; ++i) ok = Dup(texts[i], &e->text[i]) && ok;
    e->readOnly = p->readOnly;
    ok = Dup(p->user, &e->user) && ok;
    ok = Dup(p->password, &e->password) && ok;
    ok = Dup(p->extraText, &e->extraText) && ok;
    e->timeout = p->timeout;
    e->flags = p->flags;
    return ok;
}

int FreeKeyArray(void* value, const void*, void*) {
    auto* a = static_cast<SCR_Array*>(value);
    SCR_ArrayFree(&a, nullptr);
    return 0;
}

void FreeKeyCache(void* cache) {
    if (cache == nullptr) return;
    auto* table = static_cast<HashTable*>(cache);
    HashForEach(table, FreeKeyArray, nullptr);
    HashDestroy(table);
}

SCS_ConnNode** ListHead(IngServerLayerWords* sv) { return reinterpret_cast<SCS_ConnNode**>(&sv->connList); }

uint32_t ClassOf(uint32_t id) { return id >> 28; }

// A lower integer item; false when it is not answered.
bool LowerInt(uint32_t h, uint32_t id, uint32_t* value) {
    uint32_t v = 0;
    uint16_t len = 0;
    if (AgentCall<DRV_GetInfo>(&g_savedLowerLink, h, id, static_cast<void*>(&v), uint16_t(sizeof v), &len) != 0)
        return false;
    *value = v;
    return true;
}

uint32_t CapabilityText(uint32_t conn, void* buf, uint16_t len, uint16_t* outLen) {
    uint32_t odbc3 = 3;
    (void)AgentCall<DRV_SetOption>(&g_savedLowerLink, conn, kPropOdbcVersion, static_cast<void*>(&odbc3));
    uint32_t ignored = 0;
    (void)LowerInt(conn, kPropParamNames, &ignored);
    uint32_t mask = 0;
    uint32_t scroll, exec2, paramArrays, dynMixed, deferredOut, describeWithAttrs = 0, xa = 0, failover = 0;
    if (LowerInt(conn, kPropCapabilityMask, &mask)) {
        scroll = (mask & kCapScrollCursors) != 0;
        exec2 = (mask & kCapExecute2) != 0;
        paramArrays = (mask & kCapParamArrays) != 0;
        dynMixed = (mask & kCapDynMixCursors) != 0;
        deferredOut = (mask & kCapSpOutDeferFetch) != 0;
        describeWithAttrs = (mask & kCapDescribeWithAttrs) != 0;
        xa = (mask & kCapXa) != 0;
        failover = (mask & kCapFailover) != 0;
    } else {
        scroll = SCS_LowerFlag(conn, kPropHasScrollCursors);
        exec2 = SCS_LowerFlag(conn, kPropHasExecute2);
        paramArrays = SCS_LowerFlag(conn, kPropHasParamArrays);
        dynMixed = SCS_LowerFlag(conn, kPropHasDynMixCursors);
        deferredOut = SCS_LowerFlag(conn, kPropSpOutDeferFetch);
    }
    uint32_t item23 = 0;
    if (!LowerInt(conn, kPropCursorCommitBehavior, &item23)) item23 = 0;
    const uint32_t item14 = SCS_LowerFlag(conn, kPropCapability14);
    const uint32_t item15 = SCS_LowerFlag(conn, kPropCapability15);
    char text[96];
    snprintf(text, sizeof text, "%.3d.%.3d:%u%u%u%u%u%d%u%u%u%u%u%u", 1, 5, scroll, exec2, paramArrays, dynMixed,
             deferredOut, 1, item23, item14, item15, describeWithAttrs, xa, failover);
    if (buf == nullptr || len == 0) {
        if (outLen) *outLen = uint16_t(strlen(text));
        return 0;
    }
    (void)StrCopyOut(text, static_cast<char*>(buf), len, outLen);
    return 0;
}

// The analyser's probe queries, prepared and described on a statement of the agent's own.
uint32_t DescribeParamsByProbe(uint32_t stmt) {
    // The agent has checked the statement: prepared, not executed, with markers.
    SCS_ParmDesc pd;
    scs_ParmDescInit(&pd, "varchar(NULL)");
    const char* source = IngAskStmtSource(stmt);
    uint32_t rc = SCS_DescribeParams(&pd, source ? source : "");
    if (rc != 0 || (pd.markerMap == nullptr && pd.paramCount != int32_t(IngAskStmtMarkers(stmt)))) {
        scs_ParmDescFree(&pd);
        return 0;
    }
    uint32_t tmp = 0;
    uint32_t first = AgentCall<DRV_AllocStmt>(&g_savedLowerLink, IngAskStmtConn(stmt), &tmp);
    uint32_t param = 0;
    for (uint32_t q = 0; first == 0 && q < pd.probeCount; ++q) {
        uint32_t prc = AgentCall<DRV_Prepare>(&g_savedLowerLink, tmp, pd.probes[q]);
        uint16_t n = 0;
        ColumnInfo* cols = nullptr;
        if (prc == 0) prc = AgentCall<DRV_DescribeCols>(&g_savedLowerLink, tmp, &n, &cols);
        if (prc != 0) {
            first = prc;
            break;
        }
        for (uint16_t c = 0; c < n; ++c) {
            // The map has one entry per value given; the table may have more columns.
            if (pd.markerMap != nullptr && (c >= std::strlen(pd.markerMap) || pd.markerMap[c] != '?')) continue;
            (void)IngTellStmtParamType(stmt, param, cols[c]);
            ++param;
        }
        ColumnInfoArrayFree(cols, n);
    }
    if (tmp != 0) (void)AgentCall<DRV_FreeStmt>(&g_savedLowerLink, tmp);
    scs_ParmDescFree(&pd);
    if (first == 0) IngTellStmtParamsDescribed(stmt);
    return first;
}

}  // namespace

uint32_t SCS_LowerFlag(uint32_t handle, uint32_t id) {
    uint32_t v = 0;
    return LowerInt(handle, id, &v) && v != 0 ? 1 : 0;
}

void SCS_InstallLayer(AgentLink* link) {
    if (link == nullptr || link->table == nullptr) return;
    std::lock_guard<std::mutex> guard(g_installLock);
    if (g_savedLowerLink.table == nullptr) {
        g_funcTable = *link->table;
        g_savedLowerLink = *link;
        g_funcTable.DRV_GetInfo = SCS_GetInfo;
        g_funcTable.DRV_Prepare = SCS_Prepare;
        g_funcTable.DRV_Execute = SCS_Execute;
        g_funcTable.DRV_Connect = SCS_Connect;
        g_funcTable.DRV_Disconnect = SCS_Disconnect;
        g_funcTable.DRV_AllocStmt = SCS_AllocStmt;
        g_funcTable.DRV_FreeStmt = SCS_FreeStmt;
        g_funcTable.DRV_SetParams = SCS_SetParams;
        g_funcTable.DRV_FetchRows = SCS_FetchRows;
        g_funcTable.DRV_CloseCursor = SCS_CloseCursor;
        g_funcTable.DRV_Fetch = SCS_Fetch;
        g_funcTable.DRV_ExtendedFetch = SCS_ExtendedFetch;
        g_funcTable.DRV_SetPos = SCS_SetPos;
        g_funcTable.DRV_BulkOperations = SC3_BulkOperations;
        SCS_SetRowChangeSource(SCS_KeysetRowChange);
        SCS_CompoundInstall(&g_funcTable);
        SCS_CatalogInstall(&g_funcTable);
        IngSetParamProbe(DescribeParamsByProbe);
        IngSetColNames(SCS_DescribeSelectNames);
        IngSetCursorSlotOps(SCS_AgentBlockOps());
    }
    link->table = &g_funcTable;
}

const AgentFuncTable* SCS_LayerTable() {
    std::lock_guard<std::mutex> guard(g_installLock);
    return g_savedLowerLink.table ? &g_funcTable : nullptr;
}

const AgentLink* SCS_LowerLink() { return &g_savedLowerLink; }

std::mutex& SCS_CursorListLock() { return g_cursorListLock; }

ErrCode SCS_GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    switch (ClassOf(id)) {
        case 0x2: {
            const IngDsnSettings* dsn = IngAskConnSettings(h);
            if (dsn == nullptr) return kErrBadArg;
            if (id == kPropCapabilityText) return ErrCode(CapabilityText(h, buf, len, outLen));
            uint32_t v = 0;
            if ((id & 0xFFFF0000u) == 0x22040000u && SCS_CursorInfo(id & 0xFFFFu, dsn->dynCursSensitivity, &v)) {
                if (buf != nullptr && len >= 4) std::memcpy(buf, &v, 4);
                if (outLen) *outLen = 4;
                return kErrNone;
            }
            break;
        }
        case 0x3: {
            SCS_Cursor* s = SCS_StmtBlock(h);
            if (s == nullptr) return kErrBadArg;
            const SCS_Cursor& c = *s;
            if (id == kPropRowCount && c.cursorType != SQL_CURSOR_FORWARD_ONLY && c.analysedSelect) {
                if (buf == nullptr || len < 4) return kErrBadArg;
                const int32_t n = (c.layerFlags & kScsLPosCount) ? c.posRowCount : c.window.resultRows();
                std::memcpy(buf, &n, 4);
                if (outLen) *outLen = 4;
                return kErrNone;
            }
            break;
        }
        default:
            break;
    }
    return AgentCall<DRV_GetInfo>(&g_savedLowerLink, h, id, buf, len, outLen);
}

ErrCode SCS_Connect(uint32_t server, IngConnectParams* params, uint32_t* out) {
    IngServerLayerWords* sv = IngAskServerLayerWords(server);
    uint32_t rc = AgentCall<DRV_Connect>(&g_savedLowerLink, server, params, out);
    if (rc != 0) return ErrCode(rc);
    if (sv == nullptr || params == nullptr || out == nullptr) return kErrNone;  // nothing the layer can record
    auto* entry = static_cast<SCS_ConnEntry*>(TryCalloc(1, sizeof(SCS_ConnEntry)));
    HashTable* keys = entry ? HashCreate(kKeyCacheBuckets, kKeyCacheKeyBytes) : nullptr;
    auto* node = keys ? static_cast<SCS_ConnNode*>(TryCalloc(1, sizeof(SCS_ConnNode))) : nullptr;
    if (node == nullptr || !CopyEntry(params, entry)) {
        TryFree(node);
        FreeEntry(entry);
        if (keys) HashDestroy(keys);
        // The caller hears of a failure and will never disconnect: an open session must not stay behind.
        (void)AgentCall<DRV_Disconnect>(&g_savedLowerLink, *out);
        *out = 0;
        return kErrNoMemory;
    }
    node->entry = entry;
    node->conn = *out;
    {
        std::lock_guard<std::mutex> guard(g_cursorListLock);
        SCS_ConnNode** at = ListHead(sv);
        while (*at) at = &(*at)->next;
        *at = node;
    }
    if (IngTellConnKeyColCache(*out, keys)) {
        (void)IngTellConnServer(*out, server);
    } else {
        HashDestroy(keys);
    }
    return kErrNone;
}

ErrCode SCS_Disconnect(uint32_t conn) {
    if (!IngAskConnKnown(conn)) return kErrBadArg;
    IngServerLayerWords* sv = IngAskServerLayerWords(IngAskConnServer(conn));
    void* keys = IngAskConnKeyColCache(conn);
    (void)IngTellConnKeyColCache(conn, nullptr);
    // The layer's records go only with the connection: a disconnect that fails leaves it open.
    uint32_t rc = AgentCall<DRV_Disconnect>(&g_savedLowerLink, conn);
    if (rc != 0) {
        // A connection the agent dropped all the same takes its cache with it.
        if (!IngTellConnKeyColCache(conn, keys)) FreeKeyCache(keys);
        return ErrCode(rc);
    }
    SCS_ConnNode* gone = nullptr;
    if (sv != nullptr) {
        std::lock_guard<std::mutex> guard(g_cursorListLock);
        for (SCS_ConnNode** at = ListHead(sv); *at; at = &(*at)->next) {
            if ((*at)->conn == conn) {
                gone = *at;
                *at = gone->next;
                break;
            }
        }
    }
    if (gone) {
        FreeEntry(gone->entry);
        TryFree(gone);
    }
    FreeKeyCache(keys);
    return kErrNone;
}

uint32_t SCS_ConnCount(uint32_t server) {
    IngServerLayerWords* sv = IngAskServerLayerWords(server);
    if (sv == nullptr) return 0;
    std::lock_guard<std::mutex> guard(g_cursorListLock);
    uint32_t n = 0;
    for (SCS_ConnNode* p = *ListHead(sv); p; p = p->next) ++n;
    return n;
}

uint32_t SCS_ConnEntryCopy(uint32_t conn, SCS_ConnEntry* out) {
    if (out == nullptr) return kErrBadArg;
    std::memset(out, 0, sizeof *out);
    if (!IngAskConnKnown(conn)) return kErrBadArg;
    IngServerLayerWords* sv = IngAskServerLayerWords(IngAskConnServer(conn));
    if (sv == nullptr) return kErrBadArg;
    std::lock_guard<std::mutex> guard(g_cursorListLock);
    for (SCS_ConnNode* p = *ListHead(sv); p; p = p->next) {
        if (p->conn != conn) continue;
        const SCS_ConnEntry& e = *p->entry;
        bool ok = true;
        for (int i = 0; i < 6; ++i) ok = Dup(e.text[i], &out->text[i]) && ok;
        ok = Dup(e.user, &out->user) && ok;
        ok = Dup(e.password, &out->password) && ok;
        ok = Dup(e.extraText, &out->extraText) && ok;
        out->readOnly = e.readOnly;
        out->timeout = e.timeout;
        out->flags = e.flags;
        if (!ok) {
            SCS_ConnEntryRelease(out);
            return kErrNoMemory;
        }
        return 0;
    }
    return kErrBadArg;
}

void SCS_ConnEntryRelease(SCS_ConnEntry* e) {
    if (e == nullptr) return;
    for (char*& t : e->text) {
        TryFree(t);
        t = nullptr;
    }
    TryFree(e->user);
    TryFree(e->password);
    TryFree(e->extraText);
    e->user = e->password = e->extraText = nullptr;
}

namespace {

// Opens the layer's state of a new statement: the cursor block the agent made is the layer's.
void StmtOpen(SCS_Cursor* s) {
    SCS_Cursor& c = *s;
    // The layer's own work on the statement goes to the table below it.
    c.link = &g_savedLowerLink;
    c.layerFlags = 0;
    c.keptParams = nullptr;
    c.analysedSelect = 0;
    c.posRowCount = 0;
    c.staticSet = nullptr;
    c.ksState = nullptr;
    c.analysedKind = -1;
    c.rowVer = SCS_RowVerRef{};
    c.dynState = nullptr;
    c.lockByUpdate = SCS_LowerFlag(c.agentConn, kCapNoForUpdate);
}

void StmtClose(SCS_Cursor* s) {
    SCS_Cursor& c = *s;
    c.window.DropBookmarks();
    SCS_SelectNamesFree(&c);
    (void)SCS_KeepParamDescs(&c, 0, nullptr);
    for (uint32_t& aux : c.auxStmt) {
        if (aux != 0) (void)AgentCall<DRV_FreeStmt>(&g_savedLowerLink, aux);
        aux = 0;
    }
    if (c.keptParams) DatasetDelete(c.keptParams);
    c.keptParams = nullptr;
    SCS_StaticSetFree(&c.staticSet);
    SCS_DynamicFree(s);
    SCS_KeysetStateFree(s);
    c.layerFlags = 0;
}

}  // namespace

ErrCode SCS_AllocStmt(uint32_t conn, uint32_t* out) {
    if (out != nullptr) *out = 0;
    if (!IngAskConnKnown(conn)) return kErrBadArg;
    uint32_t rc = AgentCall<DRV_AllocStmt>(&g_savedLowerLink, conn, out);
    if (rc != 0 || out == nullptr) return ErrCode(rc);
    if (SCS_Cursor* s = SCS_StmtBlock(*out)) StmtOpen(s);
    return ErrCode(0);
}

ErrCode SCS_FreeStmt(uint32_t stmt) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    StmtClose(s);
    SCS_CompoundStmtRelease(stmt);
    return AgentCall<DRV_FreeStmt>(&g_savedLowerLink, stmt);
}

ErrCode SCS_SetParams(uint32_t stmt, Dataset* values) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    if (c.cursorType >= SQL_CURSOR_KEYSET_DRIVEN && c.cursorType <= SQL_CURSOR_STATIC) {
        if (c.keptParams) DatasetDelete(c.keptParams);
        c.keptParams = nullptr;
        c.layerFlags &= ~kScsLParamsKept;
        if (values != nullptr) {
            Dataset* copy = nullptr;
            if (int rc = DatasetClone(&copy, values)) {
                // Nothing goes down, yet the values were handed over: unless the caller keeps them,
                // nobody else will free them.
                if (!AgentLinkCallerFrees(&g_savedLowerLink)) DatasetDelete(values);
                return ErrCode(uint32_t(rc));
            }
            c.keptParams = copy;
            c.layerFlags |= kScsLParamsKept;
        }
    }
    return AgentCall<DRV_SetParams>(&g_savedLowerLink, stmt, values);
}

ErrCode SCS_CloseCursor(uint32_t stmt) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    c.layerFlags |= kScsLReprepare;
    c.layerFlags &= ~(kScsLPrepared | kScsLResultCached);
    // A closed statement keeps no snapshot (nor its temporary files).
    SCS_StaticSetReset(c.staticSet);
    SCS_KeysetClose(s);
    SCS_DynamicClose(s);
    return AgentCall<DRV_CloseCursor>(&g_savedLowerLink, stmt);
}

ErrCode SCS_FetchRows(uint32_t stmt, uint16_t rows, Dataset* out) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    uint32_t rc = 0;
    if (c.cursorType == SQL_CURSOR_STATIC && rows > 0) {
        if (out == nullptr) return kErrBadArg;
        // The fill closes the lower cursor: a statement executed again since then shows it.
        if (c.concurrency != SQL_CONCUR_LOCK && IngAskStmtExecuted(stmt)) c.layerFlags &= ~kScsLResultCached;
        if (!(c.layerFlags & kScsLResultCached)) {
            if (c.staticSet == nullptr) {
                if ((rc = SCS_StaticSetCreate(&c.staticSet)) != 0) return ErrCode(rc);
            }
            uint32_t total = 0;
            rc = SS_GetRsltSet(c.staticSet, &g_savedLowerLink, stmt, &total);
            c.window.SetResultRows(int32_t(total));
            if (rc != 0) {
                // The rest of the result stays unread: the statement holds nothing of it.
                (void)AgentCall<DRV_CloseCursor>(&g_savedLowerLink, stmt);
                return ErrCode(rc);
            }
            if (c.concurrency != SQL_CONCUR_LOCK) (void)AgentCall<DRV_CloseCursor>(&g_savedLowerLink, stmt);
            c.layerFlags |= kScsLResultCached;
        }
        Dataset* next = nullptr;
        if ((rc = SS_GetRows(c.staticSet, -1, rows, &next)) != 0) return ErrCode(rc);
        // The caller's header takes the rows over (what it held, a block handed back to be filled
        // again, goes first); the emptied holder goes.
        DatasetFree(out);
        *out = *next;
        TryFree(next);
    } else {
        rc = AgentCall<DRV_FetchRows>(&g_savedLowerLink, stmt, rows, out);
        if (rc != 0) return ErrCode(rc);
    }
    const uint32_t maxLength = IngAskStmtMaxLength(stmt);
    if (maxLength > 0 && out != nullptr) return ErrCode(uint32_t(DatasetApplyMaxLength(out, maxLength)));
    return ErrCode(0);
}

void SCS_FreeElementString(void* element) {
    if (element == nullptr) return;
    char** text = static_cast<char**>(element);
    TryFree(*text);
    *text = nullptr;
}
