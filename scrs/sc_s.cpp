// Cursor set-up at prepare and execute: the analysis that tells whether a scrollable statement can
// run as the application asked, the downgrade to a static, read-only cursor when it cannot, and the
// snapshot a static, read-only SELECT takes when it runs.
#include <cstring>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-diag.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_s.h"
#include "scrs/sc_static.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_node.h"
#include "scrs/ss.h"
#include "util/dataset.h"
#include "util/log.h"
#include "util/strutil.h"
#include "util/errtable.h"

namespace {

bool BeginsSelect(const char* text) {
    if (text == nullptr) return false;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    return KeywordMatch("SELECT", text) != nullptr;
}

// Whether the words CURRENT OF stand in the text outside literals.
bool NamesCurrentRow(const char* text) {
    for (const char* p = FindWordOutsideLiterals(text, "CURRENT"); p; p = FindWordOutsideLiterals(p + 7, "CURRENT"))
        if (KeywordMatch("OF", p + 7) != nullptr) return true;
    return false;
}

// An INSERT, UPDATE or DELETE that is no positioned change: it has no rows of its own to scroll.
bool IsUnpositionedChange(const char* text) {
    if (text == nullptr) return false;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    if (KeywordMatch("INSERT", text) != nullptr) return true;
    return (KeywordMatch("UPDATE", text) != nullptr || KeywordMatch("DELETE", text) != nullptr) &&
           !NamesCurrentRow(text);
}

// An unparsable text still runs on a static cursor when the back end describes result columns.
bool LowerDescribesColumns(uint32_t stmt) {
    uint16_t count = 0;
    ColumnInfo* cols = nullptr;
    uint32_t rc = AgentCall<DRV_DescribeCols>(SCS_LowerLink(), stmt, &count, &cols);
    if (cols) ColumnInfoArrayFree(cols, count);
    return rc == 0 && count >= 1;
}

}  // namespace

uint32_t scs_p_CheckShape(uint32_t shape) {
    if (shape & SCR_F_MULTITABLE) return kErrJoinResult;
    if (shape & SCR_F_GROUPBY) return kErrGroupBy;
    if (shape & SCR_F_UNION) return kErrUnion;
    if (shape & SCR_F_AGGREGATE) return kErrScalarAggregate;
    return 0;
}

namespace {

uint32_t ReadOnlyConcurrency(SCS_Cursor* c) {
    if (c->concurrency == SQL_CONCUR_READ_ONLY) return 0;
    uint32_t v = 1;
    if (AgentCall<DRV_SetOption>(SCS_LowerLink(), c->agentStmt, kPropConcurrency, static_cast<void*>(&v)) != 0) {
        log_printf(LOGL_DEBUG, __FILE__, __LINE__, "scs_p_ChangeCursorType: Couldn't switch to read-only concurrency");
        return kErrNotCapable;
    }
    log_printf(LOGL_DEBUG, __FILE__, __LINE__, "scs_p_ChangeCursorType: Switched to read-only concurrency");
    c->concurrency = SQL_CONCUR_READ_ONLY;
    return 0;
}

}  // namespace

uint32_t scs_p_ChangeCursorType(SCS_Cursor* c) {
    if (c == nullptr) return kErrBadArg;
    c->savedType = c->cursorType;
    c->savedConcurrency = c->concurrency;
    if (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN || c->cursorType == SQL_CURSOR_DYNAMIC) {
        uint32_t v = 3;
        if (AgentCall<DRV_SetOption>(SCS_LowerLink(), c->agentStmt, kPropCursorType, static_cast<void*>(&v)) != 0) {
            log_printf(LOGL_DEBUG, __FILE__, __LINE__, "scs_p_ChangeCursorType: Couldn't switch to static cursor");
            return kErrNotCapable;
        }
        log_printf(LOGL_DEBUG, __FILE__, __LINE__, "scs_p_ChangeCursorType: Switched to static cursor");
        c->cursorType = SQL_CURSOR_STATIC;
    }
    return ReadOnlyConcurrency(c);
}

uint32_t scs_p_CheckKeysetShape(uint32_t shape) {
    if (shape == kScsShapeNotSelect) return kErrNotSelect;
    if (shape & SCR_F_GROUPBY) return kErrGroupBy;
    if (shape & SCR_F_UNION) return kErrUnion;
    return 0;
}

namespace {

SCS_Cursor* StmtOfCursor(SCS_Cursor* c) {
    SCS_Cursor* s = SCS_StmtBlock(c->agentStmt);
    return s == c ? s : nullptr;
}

// A cursor the statement cannot carry runs static and read-only; the application hears 01S02
// when the ODBC side reads the type back.
uint32_t Downgrade(SCS_Cursor* c, SCS_Cursor* s, uint32_t why) {
    log_printf(LOGL_DEBUG, __FILE__, __LINE__, "keyset-driven cursor not possible (%u): static cursor", unsigned(why));
    if (s != nullptr) SCS_KeysetRelease(s);
    return scs_p_ChangeCursorType(c);
}

}  // namespace

uint32_t SCS_AnalyseStatement(SCS_Cursor* c, const char* text) {
    if (c == nullptr) return kErrBadArg;
    SCS_Cursor* s = StmtOfCursor(c);
    // Whatever the last execution left is stale once the statement is prepared again.
    SCS_ResultColsFree(c);
    c->layerFlags &= ~(kScsLResultCached | kScsLReprepare | kScsLPrepared);
    c->analysedSelect = 0;
    c->shapeFlags = 0;
    SCS_StaticSetReset(c->staticSet);
    if (s != nullptr) SCS_KeysetRelease(s);
    if (c->cursorType == SQL_CURSOR_FORWARD_ONLY) {
        // A forward-only cursor changes no row: its SELECT runs read-only, which the ODBC side
        // reads back as the concurrency granted (01S02).
        if (BeginsSelect(text)) {
            c->savedConcurrency = c->concurrency;
            if (uint32_t rc = ReadOnlyConcurrency(c)) return rc;
        }
        return s != nullptr && IngAskStmtDescribeAddKeys(c->agentStmt) != 0 ? SCS_SelectListAddKeys(s, text) : 0;
    }
    SCS_CursorReset(c);

    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    uint32_t rc = SCR_AnalyseSQL(&a, text, 0, 0);
    if (rc != 0) {
        log_printf(LOGL_DEBUG, __FILE__, __LINE__, "SCR_AnalyseSQL failed: %s", text ? text : "");
        log_printf(LOGL_DEBUG, __FILE__, __LINE__, "%s", a.message ? a.message : "");
        log_printf(LOGL_DEBUG, __FILE__, __LINE__, "%s", a.errText ? a.errText : "");
        SCR_AnalysisFree(&a);
        c->analysedKind = -1;
        // The grammar knows a narrower language than the server (no signed numbers, NULL or
        // expressions in VALUES): a change it cannot read runs as the layer below prepared it.
        if (IsUnpositionedChange(text)) {
            c->layerFlags |= kScsLPrepared;
            return 0;
        }
        if (!BeginsSelect(text) || !LowerDescribesColumns(c->agentStmt)) return rc;
        // Rows the analyser cannot read cannot be told apart by keys: a read-only snapshot
        // serves them, whatever cursor and concurrency were asked for.
        if (c->cursorType != SQL_CURSOR_STATIC || c->concurrency != SQL_CONCUR_READ_ONLY) {
            if ((rc = Downgrade(c, s, rc)) != 0) return rc;
        }
        c->analysedSelect = 1;
        c->layerFlags |= kScsLPrepared;
        return 0;
    }
    const int32_t kind = a.kind;
    c->analysedKind = kind;
    const uint32_t shape = a.flags;

    switch (kind) {
        case SCR_K_POSDELETE:
        case SCR_K_POSUPDATE:
            // A positioned change keeps the shape of the cursor it names.
            SCR_AnalysisFree(&a);
            return scs_p_CheckShape(s ? SCS_KeysetShape(s) : 0);
        case SCR_K_BRACEPASS:
        case SCR_K_PASS:
            rc = scs_p_ChangeCursorType(c);
            break;
        case SCR_K_SELECT:
            c->analysedSelect = 1;
            c->shapeFlags = shape;
            if (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN || c->cursorType == SQL_CURSOR_DYNAMIC) {
                if (shape & SCR_F_OUTERJOIN) {
                    rc = Downgrade(c, s, kErrOuterJoinStatic);
                } else if (shape & SCR_F_DISTINCT) {
                    // A row of a DISTINCT stands for every row of its values: no one key names it,
                    // and the keys would make each of those rows a row of the result.
                    rc = Downgrade(c, s, kErrNotCapable);
                } else if (uint32_t why = scs_p_CheckKeysetShape(shape)) {
                    rc = Downgrade(c, s, why);
                } else if (s == nullptr) {
                    rc = Downgrade(c, s, kErrNotCapable);
                } else {
                    rc = SCS_KeysetPrepare(s, &a, text);
                    if (rc == 0 && c->cursorType == SQL_CURSOR_DYNAMIC) rc = SCS_DynamicPrepare(s);
                    if (rc == kErrNoKeys)
                        rc = Downgrade(c, s, rc);
                    else if (rc != 0)
                        SCS_KeysetRelease(s);
                }
            } else if (c->cursorType == SQL_CURSOR_STATIC && c->concurrency != SQL_CONCUR_READ_ONLY) {
                if (shape & SCR_F_DISTINCT) {
                    rc = Downgrade(c, s, kErrNotCapable);
                } else if (scs_p_CheckShape(shape) == 0) {
                    // Rows of a lockable or checked static cursor are told apart by their keys;
                    // without keys such a cursor runs read-only.
                    rc = s != nullptr && !(shape & SCR_F_OUTERJOIN) ? SCS_KeysetPrepare(s, &a, text) : kErrNoKeys;
                    if (rc == kErrNoKeys || rc == kErrPrepareCursorType)
                        rc = Downgrade(c, s, rc);
                    else if (rc != 0)
                        SCS_KeysetRelease(s);
                }
            }
            break;
        default:
            break;
    }
    SCR_AnalysisFree(&a);
    if (rc == 0) c->layerFlags |= kScsLPrepared;
    return rc;
}

ErrCode SCS_Prepare(uint32_t stmt, const char* text) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    c.posRowCount = -1;
    c.layerFlags &= ~kScsLPosCount;
    // The last statement's values are not this one's: its key reads would take them as their own.
    if (c.keptParams) DatasetDelete(c.keptParams);
    c.keptParams = nullptr;
    c.layerFlags &= ~kScsLParamsKept;
    if (uint32_t rc = AgentCall<DRV_Prepare>(SCS_LowerLink(), stmt, text)) return ErrCode(rc);
    SCS_StmtQuietOwn(s);
    return ErrCode(SCS_StmtFailureCause(s, SCS_AnalyseStatement(&c, text)));
}

namespace {

// A positioned change the server refused for want of an open cursor of the name: when the name
// is one of the connection's scrollable cursors, whose rows the layer reads on statements of its
// own, the application hears that instead.
void TellScrollableCursor(const SCS_Cursor& c) {
    IngDiagList* m = IngAskStmtMessages(c.agentStmt);
    if (m == nullptr || m->first == nullptr || m->first->sqlstate == nullptr ||
        std::strcmp(m->first->sqlstate, "34000") != 0)
        return;
    const char* source = IngAskStmtSource(c.agentStmt);
    const char* p = nullptr;
    for (const char* w = FindWordOutsideLiterals(source, "CURRENT"); w && !p;
         w = FindWordOutsideLiterals(w + 7, "CURRENT"))
        p = KeywordMatch("OF", w + 7);
    if (p == nullptr) return;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    std::string name;
    const bool quoted = *p == '"';
    for (const char* q = p + (quoted ? 1 : 0); *q && (quoted ? *q != '"' : *q != ' ' && *q != ';' && *q != '\t'); ++q)
        name += *q;
    const uint32_t named = IngAskConnCursorStmt(c.agentConn, name.c_str(), quoted);
    const SCS_Cursor* cursor = named ? SCS_StmtBlock(named) : nullptr;
    if (cursor == nullptr || cursor->cursorType == SQL_CURSOR_FORWARD_ONLY) return;
    const std::string text = "Cursor '" + name +
                             "' is a scrollable cursor: WHERE CURRENT OF changes no row of it (its rows are "
                             "changed through SQLSetPos)";
    IngDiagClear(m);
    IngDiagAppend(m, IngDiagEntryFromText(text.c_str(), 0, "42000"));
}

// A scrollable SELECT keeps its result's descriptions from its first execution on: the layer's
// work on the result names its columns from them without describing again.
uint32_t LowerExecute(uint32_t stmt, SCS_Cursor& c) {
    if (uint32_t rc = AgentCall<DRV_Execute>(SCS_LowerLink(), stmt)) return rc;
    if (c.cursorType == SQL_CURSOR_FORWARD_ONLY || !c.analysedSelect) return 0;
    return scs_p_ResultColsLoad(&c);
}

// The statement's execution in the layer: the keys, the lower cursor and the snapshot its
// cursor type takes.
uint32_t Execute(uint32_t stmt, SCS_Cursor* s) {
    if (!IngAskStmtPrepared(stmt)) {
        log_printf(LOGL_WARNING, __FILE__, __LINE__, "execute without prior prepare");
        return kErrSequence;
    }
    SCS_Cursor& c = *s;
    c.posRowCount = -1;
    c.layerFlags &= ~kScsLPosCount;
    // No rowset of an earlier execution is this one's.
    c.window.ForgetRowset();
    const bool dynamic = c.cursorType == SQL_CURSOR_DYNAMIC;
    const bool byKeys = (c.cursorType == SQL_CURSOR_KEYSET_DRIVEN || c.cursorType == SQL_CURSOR_STATIC || dynamic) &&
                        SCS_KeysetReady(s);
    if (byKeys) {
        if (c.layerFlags & kScsLReprepare) {
            // A closed cursor's statement is prepared again, with the values it had.
            const char* source = IngAskStmtSource(stmt);
            const std::string text = source ? source : "";
            if (uint32_t rc = AgentCall<DRV_Prepare>(SCS_LowerLink(), stmt, text.c_str())) return ErrCode(rc);
            c.layerFlags &= ~kScsLReprepare;
            if ((c.layerFlags & kScsLParamsKept) && c.keptParams != nullptr) {
                Dataset* again = nullptr;
                if (int drc = DatasetClone(&again, c.keptParams)) return ErrCode(uint32_t(drc));
                uint32_t rc = AgentCall<DRV_SetParams>(SCS_LowerLink(), stmt, again);
                if (AgentLinkCallerFrees(SCS_LowerLink())) DatasetDelete(again);
                if (rc != 0) return ErrCode(rc);
            }
        }
        c.layerFlags |= kScsLPrepared;
        // The keys come first: their statement runs beside the application's on the connection.
        // A scalar aggregate is one row read forward; every other result is fetched by its keys,
        // so the statement's own cursor is not kept open beside them.
        if (SCS_KeysetShape(s) & SCR_F_AGGREGATE) return ErrCode(LowerExecute(stmt, c));
        // A static cursor reads its keys with its snapshot, below.
        if (uint32_t rc = dynamic                             ? SCS_DynamicExecute(s)
                          : c.cursorType == SQL_CURSOR_STATIC ? 0u
                                                              : KS_GetKeySet_KSD(s))
            return ErrCode(rc);
        if (uint32_t rc = LowerExecute(stmt, c)) return ErrCode(rc);
        if (uint32_t rc = AgentCall<DRV_CloseCursor>(SCS_LowerLink(), stmt)) return ErrCode(rc);
        // An updatable static cursor's snapshot is read by its keys at once.
        if (c.cursorType != SQL_CURSOR_STATIC) return kErrNone;
        c.layerFlags &= ~kScsLResultCached;
        if (uint32_t rc = SCS_KeysetStaticFill(s)) return ErrCode(rc);
        c.layerFlags |= kScsLResultCached;
        return kErrNone;
    }
    if (uint32_t rc = LowerExecute(stmt, c)) {
        if (NamesCurrentRow(IngAskStmtSource(stmt))) TellScrollableCursor(c);
        return ErrCode(rc);
    }
    // The snapshot is taken now, so that the row count is known before the first fetch.
    if (c.cursorType == SQL_CURSOR_STATIC && c.concurrency == SQL_CONCUR_READ_ONLY && c.analysedSelect)
        return ErrCode(SCS_StaticFill(s));
    return kErrNone;
}

}  // namespace

ErrCode SCS_Execute(uint32_t stmt) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_StmtQuietOwn(s);
    return ErrCode(SCS_StmtFailureCause(s, Execute(stmt, s)));
}
