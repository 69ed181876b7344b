#pragma once
// The ODBC states of a statement (the state tables' S1 to S11) and the moves between them.
//
// The record keeps its state in several words, each where the data path reads it: the state word
// (1 allocated, 2 prepared or holding a result), the prepared and executed flags, the need-data
// state (0 none; 1 and 7 parameters, 2 and 8 SQLSetPos columns, 3 and 9 SQLBulkOperations
// columns) with the word that says whether SQLParamData has asked for a value yet, the position
// in the cursor-state block and the fetched block's current row; the connection's busy marker
// tells a call under way. The entry points do not read those words to decide whether they may run, nor write them
// to change the state: they ask here and move the statement through here.
#include <cstdint>

#include "odbc/handles.h"
#include "util/errtable.h"
#include "util/invariant.h"

enum class StmtPhase : uint8_t {
    kAllocated,       // S1: nothing prepared (or only a prepare that failed)
    kPrepared,        // S2, S3: prepared and not executed since, or its cursor closed again
    kExecuted,        // S4, S5: executed or holding a catalog result, the cursor on no row
    kPositioned,      // S6, S7: a fetch or SQLSetPos left the cursor on a row or a rowset
    kNeedData,        // S8 to S10: a call answered SQL_NEED_DATA; SQLParamData and SQLPutData go on
    kStillExecuting,  // S11: a call on the statement is under way
};

// ---- states ---------------------------------------------------------------------------------

// A call on the statement is under way, as the connection's busy marker (read once by the
// caller) shows it: a second call on the statement meanwhile answers SQL_STILL_EXECUTING, and
// SQLCancel reaches the agent instead of closing the cursor.
inline bool StmtStillExecuting(const StmtRecord* stmt, const HandleBase* busy) { return busy == stmt; }
// The statement's state as seen from outside its calls (from inside one it is always S11).
StmtPhase StmtPhaseOf(const StmtRecord* stmt);

// The state word is 2: prepared, executed or holding a catalog result, and not closed since.
// Closing the cursor of a prepared statement leaves the prepared text for SQLExecute, but the
// calls that describe or read the result ask for an execution first.
inline bool StmtDescribable(const StmtRecord* stmt) { return stmt->state == kStmtStatePrepared; }
// A text was prepared: SQLExecute has something to run.
bool StmtPrepared(const StmtRecord* stmt);
// Executed (or a catalog result made), its cursor not closed since.
bool StmtExecuted(const StmtRecord* stmt);
// Executed with a result set: its cursor is open until closed (S5 to S7); without result
// columns (S4) it is not. The statement's last error is kept.
bool StmtCursorOpen(StmtRecord* stmt);
// Positioned: the cursor stands within the rowset a fetch delivered, neither before its first
// row nor after its last; without a rowset (one row at a time), a row of the block was handed out.
inline bool StmtPositioned(const StmtRecord* stmt) {
    const StmtCursor& c = stmt->cursor;
    if (c.rowset != nullptr)
        return c.window.currentRow() != kCursorBeforeFirst && c.window.currentRow() != kCursorAfterLast;
    return stmt->blockRow != 0;
}
// The 1-based row of the rowset the cursor stands on, 0 when it is on none (before, after, or
// on all rows of the rowset).
uint32_t StmtRowsetRow(const StmtRecord* stmt);
// The 0-based row of the rowset the cursor stands on: the one SQLSetPos positioned on, else the
// first (one row at a time: the row handed out last).
uint32_t StmtCurrentRowIndex(const StmtRecord* stmt);

// ---- the block of a forward-only result -----------------------------------------------------
// One row at a time, a fetch hands out the block's rows in turn and reads the next block once
// every row of this one is out; the block row counts the rows handed out.

// Every row of the block is out (or there is none): the next fetch reads another block.
inline bool StmtBlockSpent(const StmtRecord* stmt) { return stmt->blockRow >= stmt->block.rows_used; }
// The 0-based row of the block the next fetch hands out.
inline uint32_t StmtBlockNextRow(const StmtRecord* stmt) { return stmt->blockRow; }
// The 0-based row handed out last; only when one was (StmtPositioned without a rowset).
inline uint32_t StmtBlockLastRow(const StmtRecord* stmt) { return uint32_t(stmt->blockRow) - 1u; }
// A row of the block is out and more rows remain after it.
inline bool StmtInsideBlock(const StmtRecord* stmt) {
    return stmt->blockRow >= 1 && uint32_t(stmt->blockRow) + 1u <= stmt->block.rows_used;
}

// ---- need data ------------------------------------------------------------------------------

// The call a need-data dialogue belongs to.
enum class NeedDataCall : uint8_t { kNone, kExecute, kSetPos, kBulk, kUnknown };
NeedDataCall StmtNeedDataCall(const StmtRecord* stmt);
// In a need-data dialogue at all (S8 to S10).
bool StmtInNeedData(const StmtRecord* stmt);
// In the dialogue of this need-data state (an agent-driven dialogue knows its own state).
bool StmtInNeedData(const StmtRecord* stmt, uint16_t needData);
// The last value of the call's dialogue has been asked for: the next SQLParamData resumes the
// call (need-data states 7, 8, 9).
bool StmtNeedDataResumes(const StmtRecord* stmt, NeedDataCall call);
// SQLParamData has asked for a value that SQLPutData may now send (S9, S10 rather than S8).
bool StmtNeedDataAsked(const StmtRecord* stmt);

// ---- may this call run now ------------------------------------------------------------------
// Each answers 0 when the call may run in the statement's present state, else the error row it
// refuses with.

// SQLFetch, SQLFetchScroll, SQLGetData, SQLDescribeCol, SQLColAttribute, SQLNumResultCols,
// SQLNumParams: a describable statement, else S1010.
inline ErrCode StmtMayReadResult(const StmtRecord* stmt) { return StmtDescribable(stmt) ? kErrNone : kErrSequence; }
// The calls on the cursor itself (SQLExtendedFetch, SQLSetPos, SQLBulkOperations, the bookmark
// and row-number attributes): a describable statement, else 24000.
ErrCode StmtMayUseCursor(const StmtRecord* stmt);
// Running what was prepared: S1010 when nothing was.
ErrCode StmtMayRunPrepared(const StmtRecord* stmt);
// A call that may start a need-data dialogue (SQLExecute, SQLSetPos, SQLBulkOperations) starts
// outside one: S1010 in S8 to S10.
ErrCode StmtMayStartDialogue(const StmtRecord* stmt);
// SQLExecute again: a result set still open answers 24000.
ErrCode StmtMayExecute(StmtRecord* stmt);
// SQLCloseCursor: 24000 without an executed result.
ErrCode StmtMayCloseCursor(const StmtRecord* stmt);
// SQLParamData: S1010 outside a need-data dialogue.
ErrCode StmtMayParamData(const StmtRecord* stmt);
// SQLPutData: S1010 before SQLParamData has asked for a value.
ErrCode StmtMayPutData(const StmtRecord* stmt);

// ---- moves ----------------------------------------------------------------------------------

// A new statement: allocated (S1).
void StmtToAllocated(StmtRecord* stmt);
// A prepare succeeded: prepared (S2, S3), before the first row, no dialogue.
void StmtToPrepared(StmtRecord* stmt);
// A prepare failed: allocated (S1), with nothing left for SQLExecute to run nor to describe,
// whatever was prepared or executed before.
void StmtToUnprepared(StmtRecord* stmt);
// An execution or a catalog call succeeded: executed (S4, S5), before the first row.
void StmtToExecuted(StmtRecord* stmt);
// The cursor closed: back to allocated, or to prepared when a text was prepared.
void StmtToClosed(StmtRecord* stmt);
// The record is being freed.
void StmtToFreed(StmtRecord* stmt);
// The cursor stands on row `row` (1-based) of its rowset.
void StmtPositionOn(StmtRecord* stmt, int32_t row);
// A fetch handed out the next row of the block.
inline void StmtBlockRowOut(StmtRecord* stmt) {
    TV_INVARIANT(!StmtBlockSpent(stmt));  // a row is there to hand out
    stmt->blockRow = uint16_t(stmt->blockRow + 1u);
}
// A new block, or none: no row of it is out.
inline void StmtBlockRewind(StmtRecord* stmt) { stmt->blockRow = 0; }

// A call answers SQL_NEED_DATA: the dialogue of need-data state 1, 2 or 3 (S8) starts, nothing
// asked for yet.
void StmtNeedDataBegin(StmtRecord* stmt, uint16_t needData);
// SQLParamData asked for a value (S9): SQLPutData may send it.
void StmtNeedDataAsk(StmtRecord* stmt);
// An asked-for value turned out to name nothing: back to S8.
void StmtNeedDataUnask(StmtRecord* stmt);
// The value asked for is the dialogue's last (need-data state 7, 8 or 9).
void StmtNeedDataLast(StmtRecord* stmt);
// The dialogue is over (or abandoned): no need data.
void StmtNeedDataEnd(StmtRecord* stmt);
