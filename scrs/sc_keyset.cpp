// Keyset-driven cursors. A keyset-driven cursor reads the keys of every row of its result at
// execute (into the dataset cache, which spills to files for large results) and fetches each
// rowset again by its keys, so that other users' changes show. Also the key-set state's set-up at
// prepare and its release, which every cursor that names rows by keys goes through, and the
// keyset record.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-info.h"
#include "scrs/ks.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_fetch.h"
#include "scrs/sc_s.h"
#include "scrs/sc_setpos.h"
#include "util/rowset.h"
#include "util/scrarray.h"
#include "util/trymem.h"

using namespace scs_bykeys;

namespace {

uint32_t InfoInt(uint32_t conn, uint16_t type, uint32_t fallback) {
    uint32_t v = 0;
    uint16_t len = 0;
    return AgentInfoItem(Lower(), conn, type, &v, 4, &len) == 0 ? v : fallback;
}

char* InfoText(uint32_t conn, uint16_t type) {
    char buf[256] = {};
    uint16_t len = 0;
    if (AgentInfoItem(Lower(), conn, type, buf, int16_t(sizeof buf), &len) != 0) return nullptr;
    return TryStrdup(buf);
}

void ReleaseAnalysis(SCS_KsState* st) {
    SCR_AnalysisFree(&st->own);
    SCR_AnalysisInit(&st->own);
    SCR_ArrayFree(&st->tables, SCR_TableRefFree);
    SCS_DescCtxRelease(&st->ctx);
    st->ctx.analysis = nullptr;
    st->ctx.tables = nullptr;
    st->ctx.shapeFlags = 0;
    st->ctx.orderColCount = 0;
    std::free(st->text);
    st->text = nullptr;
    std::free(st->ordered);
    st->ordered = nullptr;
    if (st->ks) {
        KS_KeysetClear(st->ks);
        st->ks->keyCols = nullptr;  // the context's array, freed above
    }
    st->ready = 0;
    st->fetchPrepared = 0;
    st->valuesPrepared = 0;
    DropRowChangeState(st);
    st->described = 0;
    st->windowState = -6;
    st->st = 0;
    st->atStart = st->atEnd = false;
}

uint32_t EnsureState(SCS_Cursor* s, SCS_KsState** out) {
    if (s->ksState == nullptr) {
        auto* st = new (std::nothrow) SCS_KsState();
        if (st == nullptr) return kErrNoMemory;
        SCR_AnalysisInit(&st->own);
        if (uint32_t rc = KS_KeysetInit(&st->ks)) {
            delete st;
            return rc;
        }
        s->ksState = st;
    }
    *out = s->ksState;
    return 0;
}

// The key mapping of mixed cursors: which ORDER BY items name keys, and how many ordering
// columns the seeks order by. 0, 88, 89 or 15.
uint32_t MapKeysToOrderBy(SCS_DescCtx* ctx) {
    if (ctx->shapeFlags & SCR_F_GROUPBY) return kErrGroupBy;
    if (ctx->shapeFlags & SCR_F_UNION) return kErrUnion;
    const uint32_t keys = ctx->keyCols ? ctx->keyCols->count : 0;
    if (!(ctx->shapeFlags & SCR_F_ORDERBY) || ctx->orderBy == nullptr) {
        ctx->orderColCount = uint16_t(keys);
        return 0;
    }
    uint32_t matched = 0, unmatched = 0, lastMatch = 0;
    for (uint32_t i = 0; i < ctx->orderBy->count; ++i) {
        auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(ctx->orderBy, i));
        bool hit = false;
        for (uint32_t k = 0; k < keys && matched < keys; ++k) {
            auto* key = static_cast<ColDesc*>(SCR_ArrayAt(ctx->keyCols, k));
            if (std::strcmp(it->column, key->column) != 0) continue;
            if (it->table[0] != 0 && (std::strcmp(it->table, key->table) != 0 ||
                                      (it->owner[0] != 0 && std::strcmp(it->owner, key->owner) != 0)))
                continue;
            it->keyMatch = 1;
            it->sqlType = key->sqlType;
            it->columnSize = key->columnSize;
            it->decimalDigits = key->decimalDigits;
            ++matched;
            lastMatch = i + 1;
            hit = true;
            break;
        }
        if (!hit) {
            it->keyMatch = 0;
            ++unmatched;
        }
    }
    ctx->orderColCount = uint16_t(matched == keys ? lastMatch : unmatched + keys);
    return 0;
}

}  // namespace

uint32_t KS_KeysetInit(KS_KeysetRecord** out) {
    if (out == nullptr) return kErrGeneral;
    auto* ks = static_cast<KS_KeysetRecord*>(TryCalloc(1, sizeof(KS_KeysetRecord)));
    if (ks == nullptr) return kErrNoMemory;
    ks->keys = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    if (ks->keys == nullptr) {
        TryFree(ks);
        return kErrNoMemory;
    }
    DSC_Init(&ks->cache);
    ks->origin = -1;
    *out = ks;
    return 0;
}

void KS_KeysetClear(KS_KeysetRecord* ks) {
    if (ks == nullptr) return;
    DatasetFree(ks->keys);
    TryFree(ks->statuses);
    ks->statuses = nullptr;
    DSC_Close(&ks->cache);
    ks->origin = -1;
    ks->count = 0;
}

void KS_KeysetDropAll(KS_KeysetRecord* ks) {
    if (ks == nullptr) return;
    KS_KeysetClear(ks);
    SCR_ArrayFree(&ks->keyCols, nullptr);
}

void KS_KeysetFree(KS_KeysetRecord** ks) {
    if (ks == nullptr || *ks == nullptr) return;
    KS_KeysetDropAll(*ks);
    DatasetDelete((*ks)->keys);
    TryFree(*ks);
    *ks = nullptr;
}

uint32_t KS_KeysetRows(KS_KeysetRecord* ks, uint32_t first, uint32_t n, uint32_t* row0) {
    if (ks == nullptr || row0 == nullptr || n == 0 || uint64_t(first) + n > ks->count) return kErrGeneral;
    if (ks->cache.state == kDscMemory) {
        if (uint64_t(first) + n > ks->keys->rows_used) return kErrGeneral;
        ks->origin = 0;
        *row0 = first;
        return 0;
    }
    uint32_t origin = ks->origin < 0 ? kDscNoWindow : uint32_t(ks->origin);
    uint32_t rc = DSC_GetRows(&ks->cache, int32_t(first), n, &origin, ks->keys);
    ks->origin = origin == kDscNoWindow ? -1 : int32_t(origin);
    if (rc != 0) return rc;
    if (ks->origin < 0 || first < uint32_t(ks->origin) || uint64_t(first - ks->origin) + n > ks->keys->rows_used)
        return kErrGeneral;
    *row0 = first - uint32_t(ks->origin);
    return 0;
}

bool SCS_KeysetReady(const SCS_Cursor* s) {
    const SCS_KsState* st = StateOf(s);
    return st != nullptr && st->ready;
}

uint32_t SCS_KeysetShape(const SCS_Cursor* s) {
    const SCS_KsState* st = StateOf(s);
    return st ? st->shape : 0;
}

void SCS_KeysetRelease(SCS_Cursor* s) {
    if (SCS_KsState* st = StateOf(s)) ReleaseAnalysis(st);
}

void SCS_KeysetStateFree(SCS_Cursor* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr) return;
    ReleaseAnalysis(st);
    KS_KeysetFree(&st->ks);
    std::free(const_cast<char*>(st->ctx.userName));
    std::free(const_cast<char*>(st->ctx.dbmsName));
    if (st->aux1) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux1);
    if (st->aux2) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux2);
    if (st->aux3) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux3);
    if (st->aux4) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux4);
    if (st->aux5) (void)AgentCall<DRV_FreeStmt>(Lower(), st->aux5);
    DropRowChangeState(st);
    delete st;
    s->ksState = nullptr;
}

uint32_t SCS_KeysetPrepare(SCS_Cursor* s, SCR_Analysis* a, const char* text) {
    if (s == nullptr || a == nullptr) return kErrBadArg;
    SCS_KsState* st = nullptr;
    if (uint32_t rc = EnsureState(s, &st)) {
        SCR_AnalysisFree(a);
        return rc;
    }
    ReleaseAnalysis(st);
    st->own = *a;
    SCR_AnalysisInit(a);
    SCS_Cursor& c = *s;
    const uint32_t conn = c.agentConn;
    if (uint32_t rc = EnsureAux(conn, &st->aux1)) return rc;
    if (uint32_t rc = EnsureAux(conn, &st->aux2)) return rc;
    SCS_DescCtx& ctx = st->ctx;
    if (ctx.userName == nullptr) {
        // What the connection says of names and order, read once per statement.
        ctx.lower = Lower();
        const char* q = InfoText(conn, SQL_IDENTIFIER_QUOTE_CHAR);
        st->quote = q && q[0] != ' ' ? q[0] : 0;
        std::free(const_cast<char*>(q));
        ctx.quote = st->quote;
        ctx.identCase = InfoInt(conn, SQL_IDENTIFIER_CASE, 1);
        ctx.quotedCase = InfoInt(conn, SQL_QUOTED_IDENTIFIER_CASE, 4);
        ctx.nullCollation = uint16_t(InfoInt(conn, SQL_NULL_COLLATION, 0));
        st->maxOrderCols = uint16_t(InfoInt(conn, SQL_MAX_COLUMNS_IN_ORDER_BY, 0));
        ctx.userName = InfoText(conn, SQL_USER_NAME);
        ctx.dbmsName = InfoText(conn, SQL_DBMS_NAME);
        if (ctx.userName == nullptr) ctx.userName = TryStrdup("");
        uint32_t limit = 0;
        uint16_t len = 0;
        st->paramLimit = AgentCall<DRV_GetInfo>(Lower(), conn, 0x22010009u, &limit, uint16_t(4), &len) == 0 ? limit : 0;
    }
    ctx.auxStmt = st->aux1;
    ctx.messages = IngAskStmtMessages(s->agentStmt);
    ctx.keyCache = static_cast<HashTable*>(IngAskConnKeyColCache(conn));
    ctx.analysis = &st->own;
    st->shape = st->own.flags;
    ctx.shapeFlags = uint16_t(st->own.flags);
    st->ownParams = CountMarkers(text, nullptr);

    st->tables = SCR_ArrayCreate(sizeof(SCR_TableRef));
    if (st->tables == nullptr) return kErrNoMemory;
    uint32_t rc = SCR_TablesGet(&st->own, st->tables, 0);
    if (rc != 0) {
        IngLog(LOGL_DEBUG, "SCR_TablesGet failed");
        return rc;
    }
    if (st->tables->count == 0) return kErrPrepareCursorType;
    ctx.tables = st->tables;
    if ((rc = scs_p_GetTblDescs(&ctx, st->tables, st->tables->count)) != 0) return rc;
    std::string setUp = SCR_AnalysisText(&st->own);
    if (st->shape & SCR_F_ORDERBY) {
        if ((rc = scs_p_OrderByAnalyse(&ctx)) != 0) return rc;
        // The ORDER BY's own flags (positions among them) come with its analysis.
        st->shape |= ctx.shapeFlags;
        if (st->shape & SCR_F_ORDERPOS) {
            if ((rc = SCR_OrderByResolvePositions(&st->own, ctx.orderBy)) != 0) return rc;
            setUp = SCR_AnalysisText(&st->own);
        }
    }
    st->text = TryStrdup(setUp.c_str());
    if (st->text == nullptr) return kErrNoMemory;
    rc = KS_GetKeyColDescs(&ctx, st->tables);
    if (rc != 0) {
        if (rc != kErrNoKeys) IngLog(LOGL_DEBUG, "KS_GetKeyColDescs failed");
        return rc;
    }
    if (SCS_KeysPerStatement(st->paramLimit, st->ownParams, ctx.keyCols->count) == 0) return kErrNoKeys;
    if (Mixed(c) || c.cursorType == SQL_CURSOR_DYNAMIC) {
        if ((rc = MapKeysToOrderBy(&ctx)) != 0) return rc;
    }
    if (st->shape & SCR_F_ORDERBY) scs_p_MarkKeyOrderPositions(&ctx);
    st->ks->keyCols = ctx.keyCols;
    st->ks->tableCount = ctx.tableCount;
    // The ordered text: the statement's order, then the keys no ORDER BY item names.
    SCR_Analysis ord;
    SCR_AnalysisInit(&ord);
    rc = Analyse(&ord, st->text);
    const uint32_t orderCount = ctx.orderBy ? ctx.orderBy->count : 0;
    if (rc == 0) rc = KS_BuildKeyOrderBy(&ord, ctx.keyCols, ctx.tableCount, orderCount, st->maxOrderCols);
    if (rc == 0) {
        st->ordered = TryStrdup(ord.text);
        if (st->ordered == nullptr) rc = kErrNoMemory;
    }
    SCR_AnalysisFree(&ord);
    if (rc != 0) return rc;
    st->ready = 1;
    return 0;
}

namespace scs_bykeys {

uint32_t RunOrdered(SCS_Cursor* s, SCS_KsState* st, const char* text, uint32_t dropAt, uint32_t dropCount) {
    if (uint32_t rc = AgentCall<DRV_Prepare>(Lower(), st->aux1, text)) {
        // The server's reason reaches the application in place of the statement's own messages.
        IngDiagList* mine = IngAskStmtMessages(s->agentStmt);
        IngDiagClear(mine);
        if (IngDiagList* aux = IngAskStmtMessages(st->aux1)) {
            mine->first = aux->first;
            aux->first = nullptr;
        }
        return rc;
    }
    Dataset* own = nullptr;
    if (uint32_t rc = OwnValues(s, dropAt, dropCount, &own)) return rc;
    if (own != nullptr) {
        if (uint32_t rc = GiveParams(st->aux1, own)) return rc;
    }
    // The result is as long as the statement's maximum rows let it be: so is its key set.
    uint32_t most = IngAskStmtMaxRows(s->agentStmt);
    (void)AgentCall<DRV_SetOption>(Lower(), st->aux1, kPropStmtOptionBase + SQL_MAX_ROWS, static_cast<void*>(&most));
    return AgentCall<DRV_Execute>(Lower(), st->aux1);
}

}  // namespace scs_bykeys

uint32_t KS_GetKeySet_KSD(SCS_Cursor* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = *s;
    KS_KeysetClear(st->ks);
    st->windowState = -6;
    st->st = 0;
    if (Mixed(c)) {
        // A mixed cursor reads its keys window by window.
        st->maxRows = IngAskStmtMaxRows(s->agentStmt);
        c.window.SetResultRows(-1);
        return 0;
    }
    uint32_t pre = 0, listed = 0;
    uint32_t rc = ListMarkers(st->ordered, &pre, &listed);
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    if (rc == 0) rc = Analyse(&a, st->ordered);
    if (rc == 0) rc = KS_BuildKeySelect(&a, st->ctx.keyCols, st->ctx.tableCount);
    if (rc == 0) rc = RunOrdered(s, st, a.text, pre, listed);
    SCR_AnalysisFree(&a);
    if (rc != 0) return rc;
    uint32_t total = 0;
    // The keys are read on a statement of the layer's own; the application's hears why they failed.
    st->ks->cache.owner = s->agentStmt;
    rc = DSC_Fill(&st->ks->cache, Lower(), st->aux1, st->ks->keys, &total);
    (void)AgentCall<DRV_CloseCursor>(Lower(), st->aux1);
    if (rc != 0) {
        IngLog(LOGL_ERROR, "KS_GetKeySet_KSD: Could not fill dataset cache");
        KS_KeysetClear(st->ks);
        return rc;
    }
    st->ks->count = total;
    st->ks->origin = st->ks->cache.state == kDscOnFile ? -1 : 0;
    // A row id the back end answers with NULL names no row: fetching by it would show wrong rows.
    if (total > 0) {
        uint32_t row0 = 0;
        if ((rc = KS_KeysetRows(st->ks, 0, 1, &row0)) != 0) {
            KS_KeysetClear(st->ks);
            return rc;
        }
        bool allNull = true;
        for (uint16_t k = 0; k < st->ks->keys->col_count && allNull; ++k)
            allNull = st->ks->keys->cols[k].indicators[row0] == DS_IND_NULL;
        if (allNull) {
            IngLog(LOGL_DEBUG, "KS_GetKeySet_KSD: the keys of the first row are NULL");
            KS_KeysetClear(st->ks);
            return kErrNoKeys;
        }
    }
    st->ks->statuses = static_cast<uint16_t*>(TryCalloc(total ? total : 1, sizeof(uint16_t)));
    if (st->ks->statuses == nullptr) {
        KS_KeysetClear(st->ks);
        return kErrNoMemory;
    }
    c.window.SetResultRows(int32_t(total));
    return 0;
}

uint32_t SCS_KeysetFetch(SCS_Cursor* s, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = *s;
    KS_KeysetRecord* ks = st->ks;
    const int64_t total = ks->count;
    const int64_t n = c.rowsetSize ? c.rowsetSize : 1;
    *resultRows = uint32_t(total);
    int64_t row = 0;
    if (uint32_t rc = scs_p_StartRow(&c, start, total, n, &row)) return rc;
    const uint32_t count = uint32_t(total - row + 1 < n ? total - row + 1 : n);
    uint32_t r0 = 0;
    if (uint32_t rc = KS_KeysetRows(ks, uint32_t(row - 1), count, &r0)) return rc;
    RowsetFree(out);
    if (uint32_t rc = RowsetCreate(out, int32_t(n))) return rc;
    Rowset* rs = *out;
    if (uint32_t rc = FetchByKeys(s, st, ks->keys, r0, count, rs)) {
        RowsetFree(out);
        return rc;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t& keyStatus = ks->statuses[row - 1 + i];
        // A key whose row went stays deleted; an error is told once.
        if (rs->statuses[i] == SQL_ROW_DELETED)
            keyStatus = SQL_ROW_DELETED;
        else if (keyStatus == SQL_ROW_ERROR)
            keyStatus = SQL_ROW_SUCCESS;
        rs->statuses[i] = keyStatus;
    }
    // Rows of a join, a grouping or a union cannot be changed: they are neither locked nor compared.
    const bool changeable = scs_p_CheckShape(st->shape) == 0;
    if (changeable && c.concurrency == SQL_CONCUR_VALUES) {
        if (uint32_t vr = scs_p_GetOptConcColVals(s, st, ks->keys, r0, count)) {
            RowsetFree(out);
            return vr;
        }
    }
    if (changeable && LocksByUpdate(c)) {
        // The rows of the rowset stay locked until the transaction ends.
        // The context names the new rowset's keys.
        const CursorWindow before = c.window;
        c.window.ViewRows(uint32_t(row), uint32_t(n));
        SCS_RowChange rc{};
        uint32_t lr = SCS_KeysetRowChange(s, &rc);
        if (lr == 0) lr = scs_p_LockRows(&rc, uint32_t(row - 1), count);
        if (lr != 0) {
            c.window = before;
            if (rc.changeStmt) scs_p_MoveMessages(rc.changeStmt, s->agentStmt);
            RowsetFree(out);
            return lr;
        }
    }
    if (!c.retrieveData) {
        DatasetFree(rs->data);
        DatasetInit(rs->data, 0);
    }
    c.window.RowsetFrom(uint32_t(row));
    *rows = count;
    return 0;
}

void SCS_KeysetClose(SCS_Cursor* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr) return;
    KS_KeysetClear(st->ks);
    DropRowChangeState(st);
    st->windowState = -6;
    st->st = 0;
    st->atStart = st->atEnd = false;
}
