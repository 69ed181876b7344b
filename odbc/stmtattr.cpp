// SQLSetStmtOption/SQLGetStmtOption and SQLSetStmtAttr/SQLGetStmtAttr. Cursor options are
// negotiated with the agent: when it substitutes a value (01S02) the driver reads the value back,
// keeps it and reports success with information.
#include "drv_ingii/i-info.h"
#include <sql.h>
#include <sqlext.h>

#include "odbc/stmtattr.h"

#include <cstring>

#include "drv_ingii/i-optable.h"
#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/desc.h"
#include "odbc/desc_field.h"
#include "odbc/globals.h"
#include "odbc/stmt_state.h"
#include "util/errtable.h"

namespace {

uint32_t AgentSet(StmtRecord* stmt, uint32_t id, uint32_t value) {
    uint32_t v = value;
    return AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, id, &v);
}

uint32_t AgentGet(StmtRecord* stmt, uint32_t id, uint32_t* out) {
    uint32_t v = 0;
    uint16_t len = 0;
    ErrCode rc = AgentCall<DRV_GetInfo>(stmt->link, stmt->agentStmt, id, &v, uint16_t(4), &len);
    if (rc == 0) *out = v;
    return rc;
}

// The agent declares (its capability mask, kept at connect) whether it limits value lengths.
bool MaxLengthCapable(StmtRecord* stmt) { return stmt->conn && stmt->conn->capMaxLength != 0; }

// Negotiates a 32-bit value: 0 taken (value as asked), 75 substituted (value read back), or the
// agent's failure code.
uint32_t Negotiate(StmtRecord* stmt, uint32_t id, uint32_t* value) {
    uint32_t rc = AgentSet(stmt, id, *value);
    if (rc == kErrOptionChanged) {
        uint32_t back = *value;
        if (AgentGet(stmt, id, &back) == 0) *value = back;
    }
    return rc;
}

SQLRETURN Taken(StmtRecord* stmt, uint32_t rc) {
    if (rc == kErrOptionChanged) {
        stmt->lastError = kErrOptionChanged;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

uint32_t Cap32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(v); }

// A size the cursor layer keeps in 32 bits: a larger one is taken as the largest, and the
// application is told (01S02), never cut to its low bits.
uint32_t CapSize(uint64_t value, uint32_t rc) { return rc == 0 && value > 0xFFFFFFFFull ? kErrOptionChanged : rc; }

// The driver statement options only the agent keeps: passed on, nothing stored here. One of
// them is a text option.
constexpr uint32_t kStmtOptAgentText = 1226;
constexpr uint32_t kAgentOnlyStmtOptions[] = {
    1225, kStmtOptAgentText, 1227, 1228, 1229, 1250, 1251, 1260, 1261, 1264, 1265, 1268, 1276, 1277, 1278};

bool IsAgentOnlyOption(uint32_t o) {
    for (uint32_t known : kAgentOnlyStmtOptions)
        if (o == known) return true;
    return false;
}

uint32_t AgentOptionId(uint32_t o) {
    return (o == kStmtOptAgentText ? kPropStmtTextOptionBase : kPropStmtOptionBase) + o;
}

SQLRETURN SetRowsetSize(StmtRecord* stmt, uint64_t value) {
    StmtCursor& c = stmt->cursor;
    if (value == 0) value = 1;
    // Inside a fetched block of a forward-only result the block keeps its rowset size.
    if (c.cursorType == SQL_CURSOR_FORWARD_ONLY && StmtDescribable(stmt) && c.rowsetSize == 1 &&
        StmtInsideBlock(stmt)) {
        stmt->lastError = kErrOptionChanged;
        return SQL_SUCCESS_WITH_INFO;
    }
    uint32_t v = Cap32(value);
    uint32_t rc = CapSize(value, Negotiate(stmt, kPropStmtOptionBase + SQL_ROWSET_SIZE, &v));
    if (rc != 0 && rc != kErrOptionChanged) return Fail(stmt, rc);
    if (!(c.flags & kScsRowsetSizeSet)) c.window.NextMovesBy(c.rowsetSize);
    c.rowsetSize = v;
    c.flags |= kScsRowsetSizeSet;
    // SQLSetPos keeps to the rowset of the last fetch until a bulk operation takes this size.
    c.window.BulkRowsetIs(0);
    if (DescRecord* ard = stmt->ard) ard->arraySize = v;
    return Taken(stmt, rc);
}

// Whether others' changes show in the cursor: a static one is a snapshot; keyset-driven, mixed
// and dynamic ones read their rows again by their keys at every fetch, at any concurrency.
SQLULEN CursorSensitivity(const StmtCursor& c) {
    switch (c.cursorType) {
        case SQL_CURSOR_STATIC:
            return SQL_INSENSITIVE;
        case SQL_CURSOR_KEYSET_DRIVEN:
        case SQL_CURSOR_DYNAMIC:
            return SQL_SENSITIVE;
        default:
            return c.concurrency == SQL_CONCUR_READ_ONLY ? SQL_INSENSITIVE : SQL_SENSITIVE;
    }
}

void Put32(void* v, uint32_t x) { std::memcpy(v, &x, 4); }
void Put64(void* v, uint64_t x) { std::memcpy(v, &x, 8); }

}  // namespace

SQLRETURN StmtOptionSet(StmtRecord* stmt, uint32_t option, uint64_t value) {
    StmtCursor& c = stmt->cursor;
    switch (option) {
        case SQL_QUERY_TIMEOUT: {
            const uint64_t whole = int64_t(value) < 0 ? 0 : value;
            uint32_t rc = AgentSet(stmt, kPropStmtOptionBase + option, Cap32(whole));
            if (rc == 0) {
                stmt->queryTimeout = whole;
                return SQL_SUCCESS;
            }
            if (rc == kErrOptionChanged || rc == kErrNotCapable) {
                stmt->queryTimeout = 0;
                stmt->lastError = kErrOptionChanged;
                return SQL_SUCCESS_WITH_INFO;
            }
            return Fail(stmt, rc);
        }
        case SQL_MAX_ROWS: {
            uint32_t v = Cap32(value);
            uint32_t rc = Negotiate(stmt, kPropStmtOptionBase + option, &v);
            if (rc != 0 && rc != kErrOptionChanged) return Fail(stmt, rc);
            // The whole value is kept: the agent's word is 32 bits, the attribute 64.
            stmt->maxRows = rc == 0 ? value : v;
            return Taken(stmt, rc);
        }
        case SQL_NOSCAN: {
            const uint32_t v = value ? 1 : 0;
            if (uint32_t rc = AgentSet(stmt, kPropStmtOptionBase + option, v)) return Fail(stmt, rc);
            stmt->noScan = v;
            return SQL_SUCCESS;
        }
        case SQL_MAX_LENGTH: {
            if (!MaxLengthCapable(stmt)) {
                if (value == 0) {
                    stmt->maxLength = 0;
                    return SQL_SUCCESS;
                }
                stmt->maxLength = 0;
                stmt->lastError = kErrOptionChanged;
                return SQL_SUCCESS_WITH_INFO;
            }
            if (StmtDescribable(stmt)) return Fail(stmt, kErrInvalidNow);  // S1011
            uint32_t v = Cap32(value);
            bool raised = false;
            if (v != 0 && v < 8192) {
                v = 8192;
                raised = true;
            }
            uint32_t rc = Negotiate(stmt, kPropStmtOptionBase + option, &v);
            if (rc != 0 && rc != kErrOptionChanged) return Fail(stmt, rc);
            stmt->maxLength = (rc == 0 && !raised) ? value : v;
            if (raised && rc == 0) rc = kErrOptionChanged;
            return Taken(stmt, rc);
        }
        case SQL_ASYNC_ENABLE:
            stmt->asyncEnable = value ? 1 : 0;
            return SQL_SUCCESS;
        case SQL_BIND_TYPE:
            // One bind type for the ODBC 2 option, the attribute and the ARD, which fetch reads.
            stmt->rowBindType = value;
            if (stmt->ard) stmt->ard->bindType = SQLULEN(value);
            return SQL_SUCCESS;
        case SQL_CURSOR_TYPE:
        case SQL_CONCURRENCY:
        case SQL_KEYSET_SIZE:
        case SQL_SIMULATE_CURSOR:
        case SQL_RETRIEVE_DATA: {
            if ((option == SQL_CURSOR_TYPE || option == SQL_CONCURRENCY || option == SQL_SIMULATE_CURSOR) &&
                StmtCursorOpen(stmt)) {
                return Fail(stmt, kErrCursorState);
            }
            uint32_t v = Cap32(value);
            uint32_t rc = Negotiate(stmt, kPropStmtOptionBase + option, &v);
            if (rc != 0 && rc != kErrOptionChanged) return Fail(stmt, kErrOptionRange);
            if (option == SQL_KEYSET_SIZE) rc = CapSize(value, rc);
            switch (option) {
                // The application's new choice is what a later prepare starts from, not the one a
                // downgrade replaced.
                case SQL_CURSOR_TYPE:
                    c.cursorType = c.savedType = v;
                    c.flags |= kScsTypeSet;
                    break;
                case SQL_CONCURRENCY:
                    c.concurrency = c.savedConcurrency = v;
                    break;
                case SQL_KEYSET_SIZE:
                    c.keysetSize = v;
                    c.flags |= kScsKeysetSizeSet;
                    break;
                case SQL_SIMULATE_CURSOR:
                    c.simulateCursor = v;
                    break;
                default:
                    c.retrieveData = v;
                    break;
            }
            return Taken(stmt, rc);
        }
        case SQL_ROWSET_SIZE:
            return SetRowsetSize(stmt, value);
        case SQL_USE_BOOKMARKS:
            c.useBookmarks = value ? 1 : 0;
            return SQL_SUCCESS;
        case kStmtOptAgentChoice: {
            uint32_t rc = AgentSet(stmt, kPropStmtOptionBase + option, Cap32(value));
            if (rc == 0) {
                stmt->agentChoice = Cap32(value);
                return SQL_SUCCESS;
            }
            if (rc == kErrOptionChanged) return Taken(stmt, rc);
            return Fail(stmt, kErrOptionRange);
        }
        case kStmtOptDescribeKeys:
        case kStmtOptDescribeAddKeys: {
            if (uint32_t rc = AgentSet(stmt, kPropStmtOptionBase + option, Cap32(value))) return Fail(stmt, rc);
            (option == kStmtOptDescribeKeys ? stmt->describeKeys : stmt->describeAddKeys) = Cap32(value);
            return SQL_SUCCESS;
        }
        default:
            if (IsAgentOnlyOption(option)) {
                uint32_t rc = AgentSet(stmt, AgentOptionId(option), Cap32(value));
                if (rc == 0) return SQL_SUCCESS;
                return Fail(stmt, rc == kErrNotCapable ? uint32_t(kErrOptionRange) : rc);
            }
            return Fail(stmt, kErrOptionRange);
    }
}

SQLRETURN StmtOptionGet(StmtRecord* stmt, uint32_t option, void* value) {
    if (!value) return SQL_SUCCESS;
    StmtCursor& c = stmt->cursor;
    const bool subst = stmt->lastError == kErrOptionChanged;
    uint32_t v = 0;
    // Options ODBC defines as SQLULEN are written whole.
    auto fromAgent = [&](uint32_t id, uint32_t stored) -> SQLRETURN {
        if (!subst) {
            Put64(value, stored);
            return SQL_SUCCESS;
        }
        if (AgentGet(stmt, id, &v) != 0) return Fail(stmt, kErrOptionRange);
        Put64(value, v);
        return SQL_SUCCESS;
    };
    switch (option) {
        case SQL_QUERY_TIMEOUT:
            Put64(value, stmt->queryTimeout);
            return SQL_SUCCESS;
        case SQL_MAX_ROWS:
            if (subst) {
                if (AgentGet(stmt, kPropStmtOptionBase + option, &v) != 0) return Fail(stmt, kErrOptionRange);
                Put64(value, v);
            } else {
                Put64(value, stmt->maxRows);
            }
            return SQL_SUCCESS;
        case SQL_NOSCAN:
            if (AgentGet(stmt, kPropStmtOptionBase + option, &v) != 0) v = stmt->noScan;
            Put64(value, v);
            return SQL_SUCCESS;
        case SQL_MAX_LENGTH:
            if (subst && MaxLengthCapable(stmt)) {
                if (AgentGet(stmt, kPropStmtOptionBase + option, &v) != 0) return Fail(stmt, kErrOptionRange);
                Put64(value, v);
            } else {
                Put64(value, stmt->maxLength);
            }
            return SQL_SUCCESS;
        case SQL_ASYNC_ENABLE:
            Put64(value, stmt->asyncEnable ? 1 : 0);
            return SQL_SUCCESS;
        case SQL_BIND_TYPE:
            Put64(value, stmt->rowBindType);
            return SQL_SUCCESS;
        case SQL_CURSOR_TYPE:
            return fromAgent(kPropStmtOptionBase + option, c.cursorType);
        case SQL_CONCURRENCY:
            return fromAgent(kPropStmtOptionBase + option, c.concurrency);
        case SQL_ROWSET_SIZE:
            return fromAgent(kPropStmtOptionBase + option, c.rowsetSize);
        case SQL_SIMULATE_CURSOR:
            return fromAgent(kPropStmtOptionBase + option, c.simulateCursor);
        case SQL_KEYSET_SIZE:
            if (subst) {
                if (AgentGet(stmt, kPropStmtOptionBase + option, &v) != 0) return Fail(stmt, kErrOptionRange);
                Put64(value, v);
            } else {
                Put64(value, c.keysetSize);
            }
            return SQL_SUCCESS;
        case SQL_RETRIEVE_DATA:
            Put64(value, c.retrieveData);
            return SQL_SUCCESS;
        case SQL_USE_BOOKMARKS:
            Put64(value, c.useBookmarks);
            return SQL_SUCCESS;
        case SQL_GET_BOOKMARK: {
            if (ErrCode refused = StmtMayUseCursor(stmt)) return Fail(stmt, refused);
            if (!c.useBookmarks) return Fail(stmt, kErrInvalidNow);
            uint32_t bm = 0;
            if (uint32_t rc = CursorRowStatusCheck(&c, StmtCurrentRowIndex(stmt), &bm)) return Fail(stmt, rc);
            Put32(value, bm);
            return SQL_SUCCESS;
        }
        case SQL_ROW_NUMBER: {
            if (ErrCode refused = StmtMayUseCursor(stmt)) return Fail(stmt, refused);
            if (c.cursorType == SQL_CURSOR_FORWARD_ONLY) {
                Put64(value, stmt->fetchedCount);
                return SQL_SUCCESS;
            }
            uint32_t n = 0;
            if (uint32_t rc = CursorRowNumber(&c, StmtCurrentRowIndex(stmt), &n)) return Fail(stmt, rc);
            Put64(value, n);
            return SQL_SUCCESS;
        }
        case kStmtOptAgentReadA:
        case kStmtOptAgentReadB: {
            uint32_t rc = AgentGet(stmt, kPropStmtOptionBase + option, &v);
            if (rc) return Fail(stmt, rc == kErrNotSupported || rc == kErrNotCapable ? uint32_t(kErrOptionRange) : rc);
            Put32(value, v);
            return SQL_SUCCESS;
        }
        case kStmtOptAgentChoice:
            Put32(value, stmt->agentChoice);
            return SQL_SUCCESS;
        case kStmtOptDescribeKeys:
            Put32(value, stmt->describeKeys);
            return SQL_SUCCESS;
        case kStmtOptDescribeAddKeys:
            Put32(value, stmt->describeAddKeys);
            return SQL_SUCCESS;
        default:
            if (IsAgentOnlyOption(option)) {
                uint32_t rc = AgentGet(stmt, AgentOptionId(option), &v);
                if (rc)
                    return Fail(stmt, rc == kErrNotSupported || rc == kErrNotCapable ? uint32_t(kErrOptionRange) : rc);
                Put32(value, v);
                return SQL_SUCCESS;
            }
            return Fail(stmt, kErrOptionRange);
    }
}

namespace {

SQLRETURN DescWrite(StmtRecord* stmt, DescRecord* d, int16_t field, uint64_t value, char mode) {
    if (!d) return Fail(stmt, kErrGeneral);
    SQLRETURN rc = DescSetFieldDispatch(d, 0, field, int64_t(value), 0, mode);
    // The descriptor's failure is the statement's: the application called the statement.
    if (rc == SQL_ERROR && d->lastError) stmt->lastError = uint32_t(d->lastError);
    return rc;
}

// SQL_ATTR_APP_ROW_DESC / SQL_ATTR_APP_PARAM_DESC.
SQLRETURN SetAppDesc(StmtRecord* stmt, bool row, uint64_t value) {
    DescRecord*& current = row ? stmt->ard : stmt->apd;
    DescRecord* implicit = row ? stmt->implicitArd : stmt->implicitApd;
    DescRecord* d = nullptr;
    if (value == 0) {
        // A null handle gives the statement its own descriptor back.
        d = implicit;
    } else {
        uint32_t number = 0;
        if (!HandleNumber(reinterpret_cast<SQLHANDLE>(uintptr_t(value)), &number)) return Fail(stmt, kErrBadAttrValue);
        // The table's lock keeps a descriptor of another connection, which another thread may
        // be freeing, alive while it is looked at.
        HandleTableLock(&g_DescTable);
        d = static_cast<DescRecord*>(HandleTableGet(&g_DescTable, number));
        uint32_t refused = 0;
        if (!d || d->tag != kTagDesc) {
            refused = 138;  // S1024: no such descriptor
        } else if (d->allocKind == SQL_DESC_ALLOC_USER) {
            if (d->conn != stmt->conn) refused = 138;
        } else if (d != implicit) {
            refused = 133;  // S1017
        }
        HandleTableUnlock(&g_DescTable);
        // Only this connection's descriptors, now known to be, are touched.
        if (refused) return Fail(stmt, refused);
    }
    if (!d) return Fail(stmt, kErrGeneral);
    current = d;
    uint32_t rc = row ? DescApplyARD(stmt, d) : DescApplyAPD(stmt, d);
    if (rc) {
        d->lastError = rc;
        return Fail(stmt, rc);
    }
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN StmtAttrSet(StmtRecord* stmt, int32_t attr, uint64_t value, int32_t, char mode) {
    StmtCursor& c = stmt->cursor;
    void* p = reinterpret_cast<void*>(uintptr_t(value));
    switch (attr) {
        case SQL_ATTR_CURSOR_SENSITIVITY:
            if (value == SQL_UNSPECIFIED) return SQL_SUCCESS;
            if (value == SQL_INSENSITIVE) {
                SQLRETURN rc = StmtOptionSet(stmt, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY);
                if (rc != SQL_SUCCESS) return rc;
                rc = StmtOptionSet(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
                if (rc == SQL_SUCCESS_WITH_INFO) {
                    stmt->lastError = 0;
                    rc = SQL_SUCCESS;
                }
                return rc;
            }
            if (value == SQL_SENSITIVE) {
                // A static cursor is a snapshot: others' changes never show in it.
                if (c.cursorType == SQL_CURSOR_STATIC) return Taken(stmt, kErrOptionChanged);
                if (c.concurrency != SQL_CONCUR_READ_ONLY) return SQL_SUCCESS;
                SQLRETURN rc = StmtOptionSet(stmt, SQL_CONCURRENCY, SQL_CONCUR_VALUES);
                if (rc == SQL_SUCCESS_WITH_INFO && c.concurrency != SQL_CONCUR_READ_ONLY) {
                    stmt->lastError = 0;
                    rc = SQL_SUCCESS;
                }
                return rc;
            }
            return Fail(stmt, kErrBadAttrValue);
        case SQL_ATTR_CURSOR_SCROLLABLE:
            if (value == SQL_NONSCROLLABLE) return StmtOptionSet(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
            if (value == SQL_SCROLLABLE && c.cursorType == SQL_CURSOR_FORWARD_ONLY) {
                SQLRETURN rc = StmtOptionSet(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
                if (rc == SQL_SUCCESS_WITH_INFO && c.cursorType != SQL_CURSOR_FORWARD_ONLY) {
                    stmt->lastError = 0;
                    rc = SQL_SUCCESS;
                }
                return rc;
            }
            return SQL_SUCCESS;
        case SQL_ATTR_QUERY_TIMEOUT:
        case SQL_ATTR_MAX_ROWS:
        case SQL_ATTR_NOSCAN:
        case SQL_ATTR_MAX_LENGTH:
        case SQL_ATTR_ASYNC_ENABLE:
        case SQL_ATTR_CURSOR_TYPE:
        case SQL_ATTR_CONCURRENCY:
        case SQL_ATTR_KEYSET_SIZE:
        case SQL_ROWSET_SIZE:
        case SQL_ATTR_SIMULATE_CURSOR:
        case SQL_ATTR_RETRIEVE_DATA:
        case SQL_ATTR_USE_BOOKMARKS:
        case kStmtOptDescribeKeys:
        case kStmtOptDescribeAddKeys:
            return StmtOptionSet(stmt, uint32_t(attr), value);
        case SQL_ATTR_ROW_BIND_TYPE:
            return DescWrite(stmt, stmt->ard, SQL_DESC_BIND_TYPE, value, mode);
        case SQL_ATTR_ENABLE_AUTO_IPD:
            if (value != 0) {
                stmt->lastError = kErrOptionChanged;
                return SQL_SUCCESS_WITH_INFO;
            }
            return SQL_SUCCESS;
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            stmt->fetchBookmarkPtr = p;
            return SQL_SUCCESS;
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            return DescWrite(stmt, stmt->apd, SQL_DESC_BIND_OFFSET_PTR, value, mode);
        case SQL_ATTR_PARAM_BIND_TYPE:
            return DescWrite(stmt, stmt->apd, SQL_DESC_BIND_TYPE, value, mode);
        case SQL_ATTR_PARAM_OPERATION_PTR:
            return DescWrite(stmt, stmt->apd, SQL_DESC_ARRAY_STATUS_PTR, value, mode);
        case SQL_ATTR_PARAM_STATUS_PTR:
            // A null pointer clears it, so nothing is written into a released array.
            if (stmt->ipd) stmt->ipd->arrayStatusPtr = static_cast<SQLUSMALLINT*>(p);
            return SQL_SUCCESS;
        case SQL_ATTR_PARAMS_PROCESSED_PTR: {
            if (stmt->ipd) stmt->ipd->rowsProcessedPtr = static_cast<SQLULEN*>(p);
            const uint64_t size = stmt->apd ? stmt->apd->arraySize : 1;
            if (uint32_t rc = StmtSetParamsetSize(stmt, size, static_cast<SQLULEN*>(p))) return Fail(stmt, rc);
            stmt->paramsProcessedPtr = static_cast<SQLULEN*>(p);
            return SQL_SUCCESS;
        }
        case SQL_ATTR_PARAMSET_SIZE:
            return DescWrite(stmt, stmt->apd, SQL_DESC_ARRAY_SIZE, value, mode);
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            return DescWrite(stmt, stmt->ard, SQL_DESC_BIND_OFFSET_PTR, value, mode);
        case SQL_ATTR_ROW_OPERATION_PTR:
            return DescWrite(stmt, stmt->ard, SQL_DESC_ARRAY_STATUS_PTR, value, mode);
        case SQL_ATTR_ROW_STATUS_PTR:
            if (stmt->ird) stmt->ird->arrayStatusPtr = static_cast<SQLUSMALLINT*>(p);
            return SQL_SUCCESS;
        case SQL_ATTR_ROWS_FETCHED_PTR:
            stmt->rowsFetchedPtr = static_cast<SQLULEN*>(p);
            if (stmt->ird) stmt->ird->rowsProcessedPtr = static_cast<SQLULEN*>(p);
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_ARRAY_SIZE:
            return DescWrite(stmt, stmt->ard, SQL_DESC_ARRAY_SIZE, value, mode);
        case SQL_ATTR_APP_ROW_DESC:
            return SetAppDesc(stmt, true, value);
        case SQL_ATTR_APP_PARAM_DESC:
            return SetAppDesc(stmt, false, value);
        case SQL_ATTR_METADATA_ID:
            // Catalog arguments are always patterns.
            if (value == SQL_FALSE) return SQL_SUCCESS;
            return Fail(stmt, value == SQL_TRUE ? kErrNotCapable : kErrBadAttrValue);
        default:
            return Fail(stmt, kErrOptionRange);
    }
}

SQLRETURN StmtAttrGet(StmtRecord* stmt, int32_t attr, void* value, int32_t, SQLINTEGER* lenOut) {
    StmtCursor& c = stmt->cursor;
    auto ptr = [&](const void* p) {
        if (value) std::memcpy(value, &p, sizeof p);
        if (lenOut) *lenOut = SQL_IS_POINTER;
        return SQL_SUCCESS;
    };
    auto u64 = [&](uint64_t x) {
        if (value) Put64(value, x);
        if (lenOut) *lenOut = 8;
        return SQL_SUCCESS;
    };
    switch (attr) {
        case SQL_ATTR_CURSOR_SENSITIVITY:
            return u64(CursorSensitivity(c));
        case SQL_ATTR_CURSOR_SCROLLABLE:
            return u64(c.cursorType >= SQL_CURSOR_KEYSET_DRIVEN && c.cursorType <= SQL_CURSOR_STATIC
                           ? SQL_SCROLLABLE
                           : SQL_NONSCROLLABLE);
        case SQL_ATTR_ENABLE_AUTO_IPD:
            return u64(SQL_FALSE);
        case SQL_ATTR_FETCH_BOOKMARK_PTR:
            return ptr(stmt->fetchBookmarkPtr);
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
            return ptr(stmt->apd ? stmt->apd->bindOffsetPtr : nullptr);
        case SQL_ATTR_PARAM_BIND_TYPE:
            return u64(stmt->apd ? stmt->apd->bindType : 0);
        case SQL_ATTR_PARAM_OPERATION_PTR:
            return ptr(stmt->apd ? stmt->apd->arrayStatusPtr : nullptr);
        case SQL_ATTR_PARAM_STATUS_PTR:
            return ptr(stmt->ipd ? stmt->ipd->arrayStatusPtr : nullptr);
        case SQL_ATTR_PARAMS_PROCESSED_PTR:
            return ptr(stmt->paramsProcessedPtr);
        case SQL_ATTR_PARAMSET_SIZE:
            return u64(stmt->paramsetSize);
        case SQL_ATTR_ROW_BIND_OFFSET_PTR:
            return ptr(stmt->ard ? stmt->ard->bindOffsetPtr : nullptr);
        case SQL_ATTR_ROW_OPERATION_PTR:
            return ptr(stmt->ard ? stmt->ard->arrayStatusPtr : nullptr);
        case SQL_ATTR_ROW_STATUS_PTR:
            return ptr(stmt->ird ? stmt->ird->arrayStatusPtr : nullptr);
        case SQL_ATTR_ROWS_FETCHED_PTR:
            return ptr(stmt->rowsFetchedPtr);
        case SQL_ATTR_ROW_ARRAY_SIZE:
            return u64(c.rowsetSize);
        case SQL_ATTR_APP_ROW_DESC:
        case SQL_ATTR_APP_PARAM_DESC:
        case SQL_ATTR_IMP_ROW_DESC:
        case SQL_ATTR_IMP_PARAM_DESC: {
            DescRecord* d = attr == SQL_ATTR_APP_ROW_DESC     ? stmt->ard
                            : attr == SQL_ATTR_APP_PARAM_DESC ? stmt->apd
                            : attr == SQL_ATTR_IMP_ROW_DESC   ? stmt->ird
                                                              : stmt->ipd;
            if (value) Put64(value, d ? d->handle : 0);
            if (lenOut) *lenOut = SQL_IS_POINTER;
            return SQL_SUCCESS;
        }
        case SQL_ATTR_METADATA_ID:
            return u64(SQL_FALSE);
        default:
            if ((attr >= SQL_QUERY_TIMEOUT && attr <= SQL_ROW_NUMBER) || attr == kStmtOptAgentReadA ||
                attr == kStmtOptAgentReadB || attr == kStmtOptDescribeKeys || attr == kStmtOptDescribeAddKeys) {
                SQLRETURN rc = StmtOptionGet(stmt, uint32_t(attr), value);
                if (rc == SQL_SUCCESS && lenOut) {
                    // The driver's own options are 32 bits wide.
                    const bool narrow = attr == SQL_GET_BOOKMARK || attr >= kStmtOptAgentReadA;
                    *lenOut = narrow ? 4 : 8;
                }
                return rc;
            }
            return Fail(stmt, kErrOptionRange);
    }
}

// ---- entry points -------------------------------------------------------------------------

namespace {
StmtRecord* Stmt(HandleBase* r) { return static_cast<StmtRecord*>(r); }
}  // namespace

SQLRETURN ImplSetStmtOption(HandleBase* record, SQLUSMALLINT option, SQLULEN value) {
    return StmtOptionSet(Stmt(record), option, value);
}

SQLRETURN ImplGetStmtOption(HandleBase* record, SQLUSMALLINT option, SQLPOINTER value) {
    return StmtOptionGet(Stmt(record), option, value);
}

SQLRETURN ImplSetStmtAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len, TextMode mode) {
    return StmtAttrSet(Stmt(record), attr, uint64_t(reinterpret_cast<uintptr_t>(value)), len, mode);
}

SQLRETURN ImplGetStmtAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen, SQLINTEGER* len) {
    return StmtAttrGet(Stmt(record), attr, value, bufLen, len);
}
