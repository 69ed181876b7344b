#include "odbc/stmt_state.h"

#include "odbc/datapath.h"
#include "odbc/param.h"
#include "odbc/setpos.h"
#include "util/invariant.h"

namespace {

// The words agree with one another after every move (Debug builds): the executed flag only with
// the state word 2, SQLParamData's question only inside a dialogue, a dialogue of a known call.
void CheckWords([[maybe_unused]] const StmtRecord* stmt) {
    TV_INVARIANT(stmt->state == kStmtStateAllocated || stmt->state == kStmtStatePrepared);
    TV_INVARIANT(!(stmt->flags & kSfExecuted) || stmt->state == kStmtStatePrepared);
    TV_INVARIANT(!stmt->needDataAsked || stmt->needData != 0);
    TV_INVARIANT(StmtNeedDataCall(stmt) != NeedDataCall::kUnknown);
}

}  // namespace

StmtPhase StmtPhaseOf(const StmtRecord* stmt) {
    if (stmt->conn && StmtStillExecuting(stmt, stmt->conn->busy.load())) return StmtPhase::kStillExecuting;
    if (StmtInNeedData(stmt)) return StmtPhase::kNeedData;
    if (StmtExecuted(stmt)) return StmtPositioned(stmt) ? StmtPhase::kPositioned : StmtPhase::kExecuted;
    if (StmtDescribable(stmt) || StmtPrepared(stmt)) return StmtPhase::kPrepared;
    return StmtPhase::kAllocated;
}

bool StmtPrepared(const StmtRecord* stmt) { return (stmt->flags & kSfPrepared) != 0; }

// The executed flag is set only with the state word 2 and cleared whenever the word leaves it.
bool StmtExecuted(const StmtRecord* stmt) { return StmtDescribable(stmt) && (stmt->flags & kSfExecuted); }

bool StmtCursorOpen(StmtRecord* stmt) {
    if (!StmtExecuted(stmt)) return false;
    const uint32_t before = stmt->lastError;
    const bool open = StmtDescribeResult(stmt) && stmt->resultCount > 0;
    stmt->lastError = before;
    return open;
}

uint32_t StmtRowsetRow(const StmtRecord* stmt) {
    const StmtCursor& c = stmt->cursor;
    return c.rowset != nullptr && c.window.currentRow() >= 1 ? uint32_t(c.window.currentRow()) : 0u;
}

uint32_t StmtCurrentRowIndex(const StmtRecord* stmt) {
    if (const uint32_t row = StmtRowsetRow(stmt)) return row - 1u;
    return stmt->blockRow ? stmt->blockRow - 1u : 0u;
}

NeedDataCall StmtNeedDataCall(const StmtRecord* stmt) {
    switch (stmt->needData) {
        case 0:
            return NeedDataCall::kNone;
        case kNeedDataParams:
        case kNeedDataLastParam:
            return NeedDataCall::kExecute;
        case kNeedDataSetPos:
        case kNeedDataLastSetPos:
            return NeedDataCall::kSetPos;
        case kNeedDataBulk:
        case kNeedDataLastBulk:
            return NeedDataCall::kBulk;
        default:
            return NeedDataCall::kUnknown;
    }
}

bool StmtInNeedData(const StmtRecord* stmt) { return stmt->needData != 0; }

bool StmtInNeedData(const StmtRecord* stmt, uint16_t needData) {
    return StmtInNeedData(stmt) && stmt->needData == needData;
}

bool StmtNeedDataResumes(const StmtRecord* stmt, NeedDataCall call) {
    switch (call) {
        case NeedDataCall::kExecute:
            return stmt->needData == kNeedDataLastParam;
        case NeedDataCall::kSetPos:
            return stmt->needData == kNeedDataLastSetPos;
        case NeedDataCall::kBulk:
            return stmt->needData == kNeedDataLastBulk;
        default:
            return false;
    }
}

bool StmtNeedDataAsked(const StmtRecord* stmt) { return StmtInNeedData(stmt) && stmt->needDataAsked; }

ErrCode StmtMayUseCursor(const StmtRecord* stmt) { return StmtDescribable(stmt) ? kErrNone : kErrCursorState; }

ErrCode StmtMayRunPrepared(const StmtRecord* stmt) { return StmtPrepared(stmt) ? kErrNone : kErrSequence; }

ErrCode StmtMayStartDialogue(const StmtRecord* stmt) { return StmtInNeedData(stmt) ? kErrSequence : kErrNone; }

ErrCode StmtMayExecute(StmtRecord* stmt) { return StmtCursorOpen(stmt) ? kErrCursorState : kErrNone; }

ErrCode StmtMayCloseCursor(const StmtRecord* stmt) { return StmtExecuted(stmt) ? kErrNone : kErrCursorState; }

namespace {

bool KnownDialogue(const StmtRecord* stmt) {
    const NeedDataCall call = StmtNeedDataCall(stmt);
    return call != NeedDataCall::kNone && call != NeedDataCall::kUnknown;
}

}  // namespace

ErrCode StmtMayParamData(const StmtRecord* stmt) { return KnownDialogue(stmt) ? kErrNone : kErrSequence; }

ErrCode StmtMayPutData(const StmtRecord* stmt) {
    return KnownDialogue(stmt) && StmtNeedDataAsked(stmt) ? kErrNone : kErrSequence;
}

void StmtToAllocated(StmtRecord* stmt) {
    stmt->state = kStmtStateAllocated;
    CheckWords(stmt);
}

void StmtToPrepared(StmtRecord* stmt) {
    StmtNeedDataEnd(stmt);
    stmt->daePosition = 0;
    stmt->daeAux = 0;
    stmt->flags |= kSfPrepared;
    stmt->flags &= uint16_t(~kSfExecuted);
    StmtBlockRewind(stmt);
    stmt->state = kStmtStatePrepared;
    CheckWords(stmt);
}

void StmtToUnprepared(StmtRecord* stmt) {
    StmtNeedDataEnd(stmt);
    stmt->flags &= uint16_t(~(kSfPrepared | kSfExecuted));
    StmtBlockRewind(stmt);
    stmt->state = kStmtStateAllocated;
    CheckWords(stmt);
}

void StmtToExecuted(StmtRecord* stmt) {
    StmtBlockRewind(stmt);
    stmt->state = kStmtStatePrepared;
    stmt->flags |= kSfExecuted;
    CheckWords(stmt);
}

void StmtToClosed(StmtRecord* stmt) {
    stmt->state = kStmtStateAllocated;
    stmt->flags &= uint16_t(~kSfExecuted);
    CheckWords(stmt);
}

void StmtToFreed(StmtRecord* stmt) { stmt->state = kStmtStateFreed; }

void StmtPositionOn(StmtRecord* stmt, int32_t row) {
    TV_INVARIANT(StmtExecuted(stmt));  // only a result has rows to stand on
    stmt->cursor.window.PositionOn(row, stmt->cursor.rowsetSize);
}

void StmtNeedDataBegin(StmtRecord* stmt, uint16_t needData) {
    TV_INVARIANT(!StmtInNeedData(stmt));  // the calls that start one ask StmtMayStartDialogue
    TV_INVARIANT(needData == kNeedDataParams || needData == kNeedDataSetPos || needData == kNeedDataBulk);
    stmt->needData = needData;
    stmt->needDataAsked = false;
    CheckWords(stmt);
}

void StmtNeedDataAsk(StmtRecord* stmt) {
    TV_INVARIANT(StmtInNeedData(stmt));
    stmt->needDataAsked = true;
}

void StmtNeedDataUnask(StmtRecord* stmt) {
    TV_INVARIANT(StmtInNeedData(stmt));
    stmt->needDataAsked = false;
}

void StmtNeedDataLast(StmtRecord* stmt) {
    TV_INVARIANT(StmtInNeedData(stmt));
    switch (stmt->needData) {
        case kNeedDataParams:
            stmt->needData = kNeedDataLastParam;
            break;
        case kNeedDataSetPos:
            stmt->needData = kNeedDataLastSetPos;
            break;
        case kNeedDataBulk:
            stmt->needData = kNeedDataLastBulk;
            break;
        default:
            break;
    }
}

void StmtNeedDataEnd(StmtRecord* stmt) {
    stmt->needData = 0;
    stmt->needDataAsked = false;
}
