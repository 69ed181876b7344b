// Cursor set-up at prepare and execute: the analysis that tells whether a scrollable statement can
// run as the application asked, the downgrade to a static, read-only cursor when it cannot, and the
// snapshot a static, read-only SELECT takes when it runs.
#include <cstring>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"
#include "scrs/sc_scroll.h"
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

uint32_t scs_p_ChangeCursorType(SCS_Cursor* c) {
  if (c == nullptr) return kErrBadArg;
  c->savedType = c->cursorType;
  c->savedConcurrency = c->concurrency;
  if (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN || c->cursorType == SQL_CURSOR_DYNAMIC) {
    uint32_t v = 3;
    if (AgentCall<DRV_SetOption>(SCS_LowerLink(), c->agentStmt, kPropCursorType, static_cast<void*>(&v)) != 0) {
      log_printf(7, __FILE__, __LINE__, "scs_p_ChangeCursorType: Couldn't switch to static cursor");
      return kErrNotCapable;
    }
    log_printf(7, __FILE__, __LINE__, "scs_p_ChangeCursorType: Switched to static cursor");
    c->cursorType = SQL_CURSOR_STATIC;
  }
  if (c->concurrency != SQL_CONCUR_READ_ONLY) {
    uint32_t v = 1;
    if (AgentCall<DRV_SetOption>(SCS_LowerLink(), c->agentStmt, kPropConcurrency, static_cast<void*>(&v)) != 0) {
      log_printf(7, __FILE__, __LINE__, "scs_p_ChangeCursorType: Couldn't switch toread-only concurrency");
      return kErrNotCapable;
    }
    log_printf(7, __FILE__, __LINE__, "scs_p_ChangeCursorType: Switched to read-only concurrency");
    c->concurrency = SQL_CONCUR_READ_ONLY;
  }
  return 0;
}

uint32_t SCS_AnalyseStatement(SCS_Cursor* c, const char* text) {
  if (c == nullptr) return kErrBadArg;
  // Whatever the last execution left is stale once the statement is prepared again.
  c->layerFlags &= ~(kScsLResultCached | kScsLReprepare | kScsLPrepared);
  c->analysedSelect = 0;
  SCS_StaticSetReset(c->staticSet);
  if (c->cursorType == SQL_CURSOR_FORWARD_ONLY) return 0;
  SCS_CursorReset(c);

  SCR_Analysis a;
  SCR_AnalysisInit(&a);
  uint32_t rc = SCR_AnalyseSQL(&a, text, 0, 0);
  if (rc != 0) {
    log_printf(7, __FILE__, __LINE__, "SCR_AnalyseSQL failed: %s", text ? text : "");
    log_printf(7, __FILE__, __LINE__, "%s", a.message ? a.message : "");
    log_printf(7, __FILE__, __LINE__, "%s", a.errText ? a.errText : "");
    SCR_AnalysisFree(&a);
    if (!BeginsSelect(text) || !LowerDescribesColumns(c->agentStmt)) return rc;
    c->layerFlags |= kScsLPrepared;
    return 0;
  }
  const int32_t kind = a.kind;
  const uint32_t shape = a.flags;
  SCR_AnalysisFree(&a);

  switch (kind) {
    case SCR_K_BRACEPASS:
    case SCR_K_PASS:
      rc = scs_p_ChangeCursorType(c);
      break;
    case SCR_K_SELECT:
      c->analysedSelect = 1;
      // Rows of a lockable or checked static cursor are told apart by their keys; until a
      // statement's key columns are known such a cursor runs read-only.
      if (c->cursorType == SQL_CURSOR_STATIC && c->concurrency != SQL_CONCUR_READ_ONLY && scs_p_CheckShape(shape) == 0)
        rc = scs_p_ChangeCursorType(c);
      break;
    default:
      break;
  }
  if (rc == 0) c->layerFlags |= kScsLPrepared;
  return rc;
}

uint32_t SCS_Prepare(uint32_t stmt, const char* text) {
  IngStmt* s = IngStmtFind(stmt);
  if (s == nullptr) return kErrBadArg;
  SCS_Cursor& c = s->cursor;
  c.posRowCount = -1;
  c.layerFlags &= ~kScsLPosCount;
  if (uint32_t rc = AgentCall<DRV_Prepare>(SCS_LowerLink(), stmt, text)) return rc;
  return SCS_AnalyseStatement(&c, text);
}

uint32_t SCS_Execute(uint32_t stmt) {
  IngStmt* s = IngStmtFind(stmt);
  if (s == nullptr) return kErrBadArg;
  if (!(s->state & kStmtPrepared)) {
    log_printf(4, __FILE__, __LINE__, "execute without prior prepare");
    return kErrSequence;
  }
  SCS_Cursor& c = s->cursor;
  c.posRowCount = -1;
  c.layerFlags &= ~kScsLPosCount;
  if (uint32_t rc = AgentCall<DRV_Execute>(SCS_LowerLink(), stmt)) return rc;
  // The snapshot is taken now, so that the row count is known before the first fetch.
  if (c.cursorType == SQL_CURSOR_STATIC && c.concurrency == SQL_CONCUR_READ_ONLY && c.analysedSelect) return SCS_StaticFill(s);
  return 0;
}
