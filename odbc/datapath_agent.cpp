// The data path of agents that collect data at execution themselves: the parameter set goes to
// the agent whole, values still to come marked in it; the agent then asks for them one by one
// through SQLParamData and takes their pieces through SQLPutData.
#include "odbc/datapath_agent.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/convert.h"
#include "odbc/datapath.h"
#include "odbc/execute.h"
#include "odbc/param_access.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/trymem.h"
#include "util/utf.h"

namespace {

uint64_t WideBytes(const char* w) {
    uint64_t k = 0;
    for (;; ++k) {
        SQLWCHAR u;
        std::memcpy(&u, w + 2 * k, 2);
        if (!u) return 2 * k;
    }
}

// Parses a date, time or timestamp escape of len bytes (narrow) or len bytes of UTF-16 into
// dest (16 bytes); the kind written, or 0 when the text is no such escape.
uint32_t ParseEscape(int cType, int sqlType, const char* text, uint64_t len, uint8_t* dest) {
    KindWidth kw{0, 0};
    if (cType == SQL_C_WCHAR) {
        const uint64_t units = len / 2;
        if (units == 0 || units > 64) return 0;
        SQLWCHAR first;
        std::memcpy(&first, text, 2);
        if (first != u'{') return 0;
        uint8_t scratch[160];
        WParseDateTimeEscape(scratch, reinterpret_cast<const SQLWCHAR*>(text), units, &kw, sqlType);
        if (kw.kind) std::memcpy(dest, scratch, kw.width);
        return kw.kind;
    }
    if (len == 0 || len > 64 || text[0] != '{') return 0;
    uint8_t scratch[80];
    ParseDateTimeEscape(scratch, text, len, &kw, sqlType);
    if (kw.kind) std::memcpy(dest, scratch, kw.width);
    return kw.kind;
}

// Whether parameter i sends a value (output parameters do not).
bool SendsValue(StmtRecord* stmt, uint16_t i) {
    if (!stmt->params || i >= stmt->paramCount) return true;
    const ProcParamMark mark = ColumnProcMark(stmt->params[i]);
    if (mark == kProcMarkOutput) return false;
    if (mark == kProcMarkUnknown) {
        const ParamBinding* b = ParamBindingAt(uint16_t(i + 1), stmt);
        return !b || b->direction != SQL_PARAM_OUTPUT;
    }
    return true;
}

void WriteProcessed(StmtRecord* stmt, SQLULEN n) {
    if (stmt->paramsProcessedPtr) *stmt->paramsProcessedPtr = n;
    if (stmt->ipd && stmt->ipd->rowsProcessedPtr && stmt->ipd->rowsProcessedPtr != stmt->paramsProcessedPtr)
        *stmt->ipd->rowsProcessedPtr = n;
}

void ReleasePending(StmtRecord* stmt) {
    Dataset* p = stmt->pendingParams;
    stmt->pendingParams = nullptr;
    // Handed to the agent: it is the agent's unless its link leaves the values with the data path.
    if (p && AgentLinkCallerFrees(stmt->link)) DatasetDelete(p);
}

// ---- the parameter dialogue -----------------------------------------------------------------

uint16_t BoundParamCount(StmtRecord* stmt) {
    ParamStore* ps = StmtParamStore(stmt);
    const uint16_t bound = ps ? ps->count : 0;
    return stmt->paramCount < bound ? stmt->paramCount : bound;
}

bool ParamToken(StmtRecord* stmt, uint16_t index, uint32_t*, void** out) {
    if (index >= BoundParamCount(stmt)) return false;
    const ParamBinding* b = ParamBindingAt(uint16_t(index + 1), stmt);
    if (!b) return false;
    *out = b->boundValue;
    return true;
}

bool ParamTypes(StmtRecord* stmt, uint16_t index, int16_t* cType, int16_t* sqlType) {
    if (index >= BoundParamCount(stmt)) return false;
    const ParamBinding* b = ParamBindingAt(uint16_t(index + 1), stmt);
    if (!b) return false;
    *cType = b->cType;
    *sqlType = b->sqlType;
    return true;
}

SQLRETURN ParamFinish(StmtRecord* stmt, uint32_t, uint32_t row) { return ExecuteFinish(stmt, row + 1); }

constexpr AgentDaeDialog kParamDialog{kNeedDataParams, ParamToken, ParamTypes, ParamFinish, nullptr};

// ---- one piece for the agent ----------------------------------------------------------------

struct Piece {
    uint32_t kind = 0;
    uint16_t indicator = DS_IND_VALUE;
    void* buffer = nullptr;  // heap, freed after the call
    uint32_t size = 0;
};

uint64_t ByteLength(int cType, const void* data, SQLLEN length) {
    if (length != SQL_NTS) return uint64_t(length);
    if (cType == SQL_C_WCHAR) return WideBytes(static_cast<const char*>(data));
    return std::strlen(static_cast<const char*>(data));
}

// The piece as the agent takes it, from the application's bytes: 0 or an error code.
uint32_t BuildPiece(int cType, int sqlType, const void* data, SQLLEN length, bool narrowing, Piece* out) {
    const KindWidth kw = ParamKindForCType(cType);
    out->kind = kw.kind;
    if (length == SQL_NULL_DATA) {
        out->indicator = DS_IND_NULL;
        return 0;
    }
    const auto* bytes = static_cast<const char*>(data);
    const bool variable = cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR;
    const uint64_t len = variable ? ByteLength(cType, data, length) : uint64_t(kw.width);
    if (len > 0xFFFFFFF0ull) return kErrBadLength;
    // Room for the longest form written below: a date structure, a 64-bit integer's text.
    const uint64_t room = (len > 32 ? len : 32) + 1;
    auto* buf = static_cast<char*>(std::calloc(1, room));
    if (!buf) return kErrNoMemory;
    out->buffer = buf;
    out->size = uint32_t(len);
    switch (cType) {
        case SQL_C_CHAR:
            if (SqlTypeIsDateTime(sqlType)) {
                uint8_t cell[16];
                if (uint32_t kind = ParseEscape(cType, sqlType, bytes, len, cell)) {
                    out->kind = kind;
                    out->size = kind == DS_TIMESTAMP ? 16 : 6;
                    std::memcpy(buf, cell, out->size);
                    return 0;
                }
                // Not an escape literal: the agent gets the text as it stands.
            } else if (SqlTypeIsBinary(sqlType)) {
                out->kind = DS_BINARY;
                out->size = uint32_t(len / 2);
                HexToBytes(buf, bytes, len);
                return 0;
            }
            if (len) std::memcpy(buf, bytes, len);
            return 0;
        case SQL_C_WCHAR:
            if (len) std::memcpy(buf, bytes, len);
            if (narrowing) {
                // The agent refused Unicode: it gets the text in the narrow code page, every
                // character kept (a character may take more bytes than its UTF-16 units).
                const size_t units = size_t(len / 2);
                auto* narrow = static_cast<char*>(std::calloc(1, units * 3 + 1));
                if (!narrow) return kErrNoMemory;
                size_t consumed = 0;
                const size_t n =
                    WideToUtf8N(reinterpret_cast<const SQLWCHAR*>(buf), narrow, units, units * 3, &consumed);
                std::free(buf);
                out->buffer = narrow;
                out->size = uint32_t(n);
                out->kind = DS_CHAR;
            }
            return 0;
        case SQL_C_BINARY:
            if (len) std::memcpy(buf, bytes, len);
            return 0;
        case SQL_C_SBIGINT: {
            int64_t v;
            std::memcpy(&v, bytes, 8);
            std::snprintf(buf, 32, "%-*lld", 31, static_cast<long long>(v));
            out->size = 32;
            return 0;
        }
        case SQL_C_UBIGINT: {
            uint64_t v;
            std::memcpy(&v, bytes, 8);
            std::snprintf(buf, 32, "%-*llu", 31, static_cast<unsigned long long>(v));
            out->size = 32;
            return 0;
        }
        case SQL_C_GUID: {
            // The kind is text: the structure goes as its 36 characters, never as raw bytes.
            SQLGUID g;
            std::memcpy(&g, bytes, sizeof g);
            GuidToText(buf, g);
            out->size = 36;
            return 0;
        }
        case SQL_C_NUMERIC: {
            SQL_NUMERIC_STRUCT n;
            std::memcpy(&n, bytes, sizeof n);
            NumericToDouble(buf, n, 8);
            out->size = 8;
            return 0;
        }
        default:
            std::memcpy(buf, bytes, kw.width);
            return 0;
    }
}

// ---- the parameter set ----------------------------------------------------------------------

enum class Mode { Fixed, BigInt, UBigInt, Guid, Numeric, Text, Hex, Binary, Date, Placeholder };

struct Plan {
    Mode mode;
    uint32_t kind;
    uint32_t width;
};

// The column of one parameter: kind and width, measured over the rows sent.
uint32_t PlanColumn(StmtRecord* stmt, const ParamBinding& b, bool sends, const uint32_t* rows, uint32_t nrows,
                    Plan* plan) {
    const KindWidth kw = ParamKindForCType(b.cType);
    plan->kind = kw.kind;
    plan->width = kw.width ? kw.width : uint32_t(b.elementSize > 0 ? b.elementSize : 1);
    plan->mode = Mode::Fixed;
    switch (b.cType) {
        case SQL_C_SBIGINT:
            plan->mode = Mode::BigInt;
            break;
        case SQL_C_UBIGINT:
            plan->mode = Mode::UBigInt;
            break;
        case SQL_C_GUID:
            plan->mode = Mode::Guid;
            break;
        case SQL_C_NUMERIC:
            plan->mode = Mode::Numeric;
            break;
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
        case SQL_C_BINARY:
            break;
        default:
            if (!sends) plan->mode = Mode::Placeholder;
            return 0;
    }
    if (plan->mode != Mode::Fixed) {
        if (!sends) plan->mode = Mode::Placeholder;
        return 0;
    }
    const bool wide = b.cType == SQL_C_WCHAR;
    uint64_t m = 0;
    bool allEscapes = true;
    if (sends) {
        if (uint32_t rc = ParamMaxValueLengthV2(stmt, b, &m)) return rc;
        if (SqlTypeIsDateTime(b.sqlType) && b.cType != SQL_C_BINARY) {
            for (uint32_t k = 0; k < nrows && allEscapes; ++k) {
                uint64_t len = 0;
                if (ParamValueLengthV2(stmt, b, rows[k], &len) != 0) return kErrBadLength;
                const SQLLEN ind = IndicatorAt(stmt, b, rows[k]);
                const SQLLEN oct = OctetLengthAt(stmt, b, rows[k]);
                const char* v = ValueAt(stmt, b, rows[k]);
                if (ind == SQL_NULL_DATA || oct == SQL_NULL_DATA || IsDataAtExec(oct) || !v) continue;
                uint8_t cell[16];
                if (!ParseEscape(b.cType, b.sqlType, v, len, cell)) allEscapes = false;
            }
        }
    }
    if (b.cType == SQL_C_BINARY || (b.cType == SQL_C_CHAR && SqlTypeIsBinary(b.sqlType))) {
        const uint64_t bytes = b.cType == SQL_C_BINARY ? m : m / 2;
        if (bytes + 8 > 0xFFFFFFFFull) return kErrBadLength;
        const bool single = stmt->paramsetSize < 2 && b.cType == SQL_C_CHAR;
        plan->mode = !sends ? Mode::Placeholder : b.cType == SQL_C_BINARY ? Mode::Binary : Mode::Hex;
        plan->kind = single ? DS_BINARY : DS_BINARY_LEN4;
        plan->width = single ? uint32_t(bytes ? bytes : 1) : uint32_t(bytes + 8);
        return 0;
    }
    if (SqlTypeIsDateTime(b.sqlType) && allEscapes) {
        // Every row an escape literal (or NULL, or still to come): the column carries the
        // structures, and so do the pieces of the values still to come.
        const KindWidth dk = DateKindOf(b.sqlType);
        plan->mode = sends ? Mode::Date : Mode::Placeholder;
        plan->kind = dk.kind;
        plan->width = dk.width;
        return 0;
    }
    if (SqlTypeIsDateTime(b.sqlType)) {
        const uint64_t least = (b.sqlType == SQL_TIMESTAMP || b.sqlType == SQL_TYPE_TIMESTAMP) ? 16 : 6;
        if (m < least) m = least;
    }
    uint64_t width;
    if (m == 0)
        width = wide ? 2 : 1;
    else if (stmt->conn && stmt->conn->hasParamOp)
        width = m + (wide ? 2 : 1);
    else
        width = m;
    if (width > 0xFFFFFFF0ull) return kErrBadLength;
    plan->mode = sends ? Mode::Text : Mode::Placeholder;
    plan->width = uint32_t(width);
    return 0;
}

uint32_t StoreValue(Dataset* ds, uint32_t k, uint16_t c, const Plan& plan, const ParamBinding& b, const char* v,
                    uint64_t len) {
    DatasetColumn& col = ds->cols[c];
    uint8_t* cell = DatasetCell(&col, k);
    switch (plan.mode) {
        case Mode::Placeholder:
            return 0;
        case Mode::Fixed:
            std::memcpy(cell, v, plan.width);
            break;
        case Mode::BigInt: {
            int64_t x;
            std::memcpy(&x, v, 8);
            std::snprintf(reinterpret_cast<char*>(cell), plan.width, "%lld", static_cast<long long>(x));
            break;
        }
        case Mode::UBigInt: {
            uint64_t x;
            std::memcpy(&x, v, 8);
            std::snprintf(reinterpret_cast<char*>(cell), plan.width, "%llu", static_cast<unsigned long long>(x));
            break;
        }
        case Mode::Guid: {
            SQLGUID g;
            std::memcpy(&g, v, sizeof g);
            GuidToText(reinterpret_cast<char*>(cell), g);
            break;
        }
        case Mode::Numeric: {
            SQL_NUMERIC_STRUCT n;
            std::memcpy(&n, v, sizeof n);
            NumericToDouble(cell, n, 8);
            break;
        }
        case Mode::Text:
            std::memcpy(cell, v, len < plan.width ? len : plan.width);
            break;
        case Mode::Binary:
        case Mode::Hex: {
            const uint64_t n = plan.mode == Mode::Hex ? len / 2 : len;
            uint8_t* at = cell;
            if (plan.kind == DS_BINARY_LEN4) {
                const uint32_t n32 = uint32_t(n);
                std::memcpy(cell, &n32, 4);
                at = cell + 4;
            }
            if (plan.mode == Mode::Hex)
                HexToBytes(at, v, len);
            else if (n)
                std::memcpy(at, v, n);
            break;
        }
        case Mode::Date:
            if (!ParseEscape(b.cType, b.sqlType, v, len, cell)) return kErrGeneral;
            break;
    }
    col.indicators[k] = DS_IND_VALUE;
    return 0;
}

// The parameter Dataset of the agent-driven path: column i is parameter i + 1, one row per row
// of the parameter set not ignored; values still to come carry the agent's marker.
uint32_t BuildDataset(StmtRecord* stmt, uint16_t n, Dataset** out) {
    *out = nullptr;
    const uint64_t total = stmt->paramsetSize ? stmt->paramsetSize : 1;
    auto* rows = static_cast<uint32_t*>(std::calloc(total, sizeof(uint32_t)));
    auto* plans = static_cast<Plan*>(std::calloc(n ? n : 1, sizeof(Plan)));
    auto* sends = static_cast<bool*>(std::calloc(n ? n : 1, sizeof(bool)));
    auto done = [&](uint32_t rc) {
        std::free(rows);
        std::free(plans);
        std::free(sends);
        return rc;
    };
    if (!rows || !plans || !sends) return done(kErrNoMemory);
    uint32_t nrows = 0;
    for (uint64_t r = 0; r < total; ++r)
        if (!RowIgnored(stmt, r)) rows[nrows++] = uint32_t(r);
    for (uint16_t i = 0; i < n; ++i) {
        const ParamBinding* b = ParamBindingAt(uint16_t(i + 1), stmt);
        if (!b) return done(kErrWrongParamCount);
        sends[i] = SendsValue(stmt, i);
        if (uint32_t rc = PlanColumn(stmt, *b, sends[i], rows, nrows, &plans[i])) return done(rc);
    }
    auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (!ds || DatasetInit(ds, n) != 0) {
        std::free(ds);
        return done(kErrNoMemory);
    }
    ds->col_count = n;
    for (uint16_t c = 0; c < n; ++c) {
        ds->cols[c].kind = plans[c].kind;
        ds->cols[c].width = plans[c].width;
    }
    if (DatasetAllocRows(ds, nrows) != 0) {
        DatasetDelete(ds);
        return done(kErrNoMemory);
    }
    for (uint32_t k = 0; k < nrows; ++k) {
        const uint32_t r = rows[k];
        for (uint16_t c = 0; c < n; ++c) {
            if (!sends[c]) continue;  // NULL from the allocation
            const ParamBinding& b = *ParamBindingAt(uint16_t(c + 1), stmt);
            const SQLLEN ind = IndicatorAt(stmt, b, r);
            const SQLLEN len = OctetLengthAt(stmt, b, r);
            if (ind == SQL_NULL_DATA || len == SQL_NULL_DATA) continue;
            uint32_t rc = 0;
            if (ind == SQL_DEFAULT_PARAM || len == SQL_DEFAULT_PARAM) {
                rc = kErrNotCapable;
            } else if (IsDataAtExec(len)) {
                ds->cols[c].indicators[k] = kDsIndAgentData;
                continue;
            } else if (const char* v = ValueAt(stmt, b, r)) {
                uint64_t vlen = 0;
                rc = ParamValueLengthV2(stmt, b, r, &vlen);
                if (rc == 0) rc = StoreValue(ds, k, c, plans[c], b, v, vlen);
            }
            if (rc) {
                DatasetDelete(ds);
                return done(rc);
            }
        }
    }
    ds->rows_used = nrows;
    *out = ds;
    return done(0);
}

}  // namespace

// ---- the dialogue ---------------------------------------------------------------------------

SQLRETURN AgentDaeBegin(StmtRecord* stmt, const AgentDaeDialog* dialog) {
    StmtNeedDataBegin(stmt, dialog->needData);
    stmt->agentDialog = dialog;
    stmt->daePosition = 0;
    stmt->agentDaeRow = 0;
    stmt->agentDaeWord = 0;
    // The agent's 102 is how it asks; the application hears SQL_NEED_DATA without a diagnostic.
    stmt->lastError = 0;
    return SQL_NEED_DATA;
}

void AgentDaeDrop(StmtRecord* stmt) {
    // The agent holds an execution suspended for the values it asked for: it lets go of it.
    const AgentDaeDialog* dialog = stmt->agentDialog;
    if (dialog && stmt->link && stmt->agentStmt) (void)AgentCall<DRV_Cancel>(stmt->link, stmt->agentStmt);
    if (dialog && dialog->drop) dialog->drop(stmt);
    stmt->agentDialog = nullptr;
    ReleasePending(stmt);
}

SQLRETURN ParamDataAgent(StmtRecord* stmt, void** token) {
    const AgentDaeDialog* dialog = stmt->agentDialog;
    if (!dialog || !StmtInNeedData(stmt, dialog->needData)) return Fail(stmt, kErrSequence);
    uint16_t index = 0;
    uint32_t row = 0;
    uint32_t word = 0;
    void* agentToken = nullptr;
    const ErrCode rc =
        AgentCall<DRV_ParamData>(stmt->link, stmt->agentStmt, static_cast<void*>(&index), static_cast<void*>(&row),
                                 static_cast<void*>(&word), static_cast<void*>(&agentToken));
    stmt->lastError = rc;
    // The rows processed are those of a parameter set; a row operation's dialogue has none.
    if (dialog->needData == kNeedDataParams) WriteProcessed(stmt, SQLULEN(row) + 1);
    if (rc != kErrNeedsDataAtExec) {
        StmtNeedDataEnd(stmt);
        stmt->agentDialog = nullptr;
        return dialog->finish(stmt, rc, row);
    }
    void* out = nullptr;
    if (!dialog->token(stmt, index, &row, &out)) {
        // The agent asked for a value the statement does not have: nothing can be handed out.
        StmtNeedDataUnask(stmt);
        return Fail(stmt, kErrGeneral);
    }
    stmt->daePosition = index;
    stmt->agentDaeRow = row;
    stmt->agentDaeWord = word;
    StmtNeedDataAsk(stmt);
    stmt->lastError = 0;
    if (token) *token = out;
    return SQL_NEED_DATA;
}

SQLRETURN PutDataAgent(StmtRecord* stmt, const void* data, SQLLEN length) {
    if (!StmtInNeedData(stmt)) return Fail(stmt, kErrSequence);
    const AgentDaeDialog* dialog = stmt->agentDialog;
    if (!dialog || !StmtInNeedData(stmt, dialog->needData)) return SQL_SUCCESS;
    // Before the first SQLParamData the agent has named no value to feed.
    if (ErrCode refused = StmtMayPutData(stmt)) return Fail(stmt, refused);
    // A piece's length is a length, SQL_NTS or SQL_NULL_DATA (SQL_DEFAULT_PARAM included: it is a
    // binding's length, not a piece's).
    if (length < 0 && length != SQL_NTS && length != SQL_NULL_DATA) return Fail(stmt, kErrBadLength);
    // A null pointer is refused only where bytes would be read from it.
    if (!data && length != SQL_NULL_DATA && length != 0) return Fail(stmt, kErrBadArg);
    int16_t cType = 0, sqlType = 0;
    if (!dialog->types(stmt, stmt->daePosition, &cType, &sqlType)) return Fail(stmt, kErrSequence);
    static const char kEmpty[4] = {};
    if (!data) data = kEmpty;
    Piece piece;
    const bool narrowing = stmt->conn && stmt->conn->wideUnconfirmed;
    if (uint32_t rc = BuildPiece(cType, sqlType, data, length, narrowing, &piece)) {
        std::free(piece.buffer);
        return Fail(stmt, rc);
    }
    const ErrCode rc =
        AgentCall<DRV_PutData>(stmt->link, stmt->agentStmt, piece.kind, piece.indicator, piece.buffer, piece.size);
    std::free(piece.buffer);
    stmt->lastError = rc;
    if (rc != 0) {
        StmtCollectAgentDiag(stmt);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

// ---- execution ------------------------------------------------------------------------------

KindWidth ParamKindForCType(int cType) {
    KindWidth fixed{};
    if (FixedKindOfCType(cType, &fixed)) return fixed;
    switch (cType) {
        case SQL_C_UBIGINT:
        case SQL_C_SBIGINT:
            return {DS_CHAR, 32};
        case SQL_C_GUID:
            return {DS_CHAR, 36};
        case SQL_C_WCHAR:
            return {DS_WCHAR, 0};
        case SQL_C_BINARY:
            return {DS_BINARY, 0};
        case SQL_C_NUMERIC:
            return {DS_DOUBLE, 8};
        default:
            return {DS_CHAR, 0};
    }
}

uint32_t ParamValueLengthV2(const StmtRecord* stmt, const ParamBinding& b, uint32_t r, uint64_t* out) {
    *out = 0;
    if (IndicatorAt(stmt, b, r) == SQL_NULL_DATA) return 0;
    const SQLLEN len = OctetLengthAt(stmt, b, r);
    if (len == SQL_NULL_DATA || IsDataAtExec(len)) return 0;
    const char* v = ValueAt(stmt, b, r);
    if (!v) return 0;
    if (b.elementSize > 0) {
        *out = uint64_t(b.elementSize);
        return 0;
    }
    if (len == SQL_DEFAULT_PARAM) return kErrNotCapable;
    if (len == SQL_NTS) {
        *out = b.cType == SQL_C_WCHAR ? WideBytes(v) : std::strlen(v);
    } else if (len < 0) {
        return kErrBadLength;  // SQL_NO_TOTAL, SQL_COLUMN_IGNORE and the like are no lengths
    } else {
        *out = uint64_t(len);
    }
    if (*out > 0xFFFFFFF0ull) return kErrBadLength;
    return 0;
}

uint32_t ParamMaxValueLengthV2(const StmtRecord* stmt, const ParamBinding& b, uint64_t* out) {
    *out = 0;
    const uint64_t total = stmt->paramsetSize ? stmt->paramsetSize : 1;
    for (uint64_t r = 0; r < total; ++r) {
        if (RowIgnored(stmt, r)) continue;
        uint64_t len = 0;
        if (uint32_t rc = ParamValueLengthV2(stmt, b, uint32_t(r), &len)) return rc;
        if (len > *out) *out = len;
    }
    return 0;
}

uint32_t CopyParamDescsWithNames(StmtRecord* stmt, uint16_t n, const ParamDescEntry* descs, ScsNamedParamDesc** out) {
    *out = nullptr;
    auto* named = static_cast<ScsNamedParamDesc*>(TryCalloc(n ? n : 1, sizeof(ScsNamedParamDesc)));
    if (!named) return kErrNoMemory;
    for (uint16_t i = 0; i < n; ++i) {
        const ParamDescEntry& d = descs[i];
        named[i] = ScsNamedParamDesc{d.sqlType, d.cType, d.columnSize, d.decimalDigits, d.paramType, nullptr};
        const DescItem* it = DescItemAt(stmt->ipd, uint16_t(i + 1));
        if (!it || !it->name || !it->name[0] || it->unnamed == SQL_UNNAMED) continue;
        char* copy = TryStrdup(it->name);
        if (!copy) {
            FreeParamDescNames(named, i);
            return kErrNoMemory;
        }
        named[i].name = copy;
    }
    *out = named;
    return 0;
}

void FreeParamDescNames(ScsNamedParamDesc* descs, uint16_t n) {
    if (!descs) return;
    for (uint16_t i = 0; i < n; ++i) TryFree(const_cast<char*>(descs[i].name));
    TryFree(descs);
}

uint32_t ExecuteCompound(StmtRecord* stmt, Dataset* values, uint16_t n, ParamDescEntry* descs) {
    const bool named = stmt->conn && stmt->conn->capNamedParams && AgentSlotGet<DRV_PrepareExecuteEx>(stmt->link);
    if (!named) return AgentCall<DRV_PrepareExecute>(stmt->link, stmt->agentStmt, nullptr, values, n, descs);
    if (n == 0 || !descs)
        return AgentCall<DRV_PrepareExecuteEx>(stmt->link, stmt->agentStmt, nullptr, values, uint16_t(0), nullptr);
    ScsNamedParamDesc* copies = nullptr;
    if (uint32_t rc = CopyParamDescsWithNames(stmt, n, descs, &copies)) {
        // The values never reached the agent; whoever would have freed them there does so here.
        if (values && !AgentLinkCallerFrees(stmt->link)) DatasetDelete(values);
        return rc;
    }
    const ErrCode rc = AgentCall<DRV_PrepareExecuteEx>(stmt->link, stmt->agentStmt, nullptr, values, n, copies);
    FreeParamDescNames(copies, n);
    return rc;
}

SQLRETURN ExecuteFinish(StmtRecord* stmt, uint32_t rows) {
    ReleasePending(stmt);
    return ExecuteFinishResult(stmt, stmt->lastError, rows, nullptr, false);
}

SQLRETURN ExecuteParamArray(StmtRecord* stmt) {
    if (ErrCode refused = StmtMayRunPrepared(stmt)) return Fail(stmt, refused);
    // A dialogue still under way must be finished or the statement closed first.
    if (ErrCode refused = StmtMayStartDialogue(stmt)) return Fail(stmt, refused);
    if (stmt->paramsetSize > 0xFFFFFFFFull) return Fail(stmt, kErrRowRange);
    AgentDaeDrop(stmt);
    ParamStore* ps = StmtParamStore(stmt);
    const uint16_t n = BoundParamCount(stmt);
    if (ps) {
        const SQLLEN off = stmt->apd && stmt->apd->bindOffsetPtr ? *stmt->apd->bindOffsetPtr : 0;
        auto shift = [off](auto* p) { return p ? reinterpret_cast<decltype(p)>(reinterpret_cast<char*>(p) + off) : p; };
        for (uint16_t i = 0; i < ps->count; ++i) {
            ParamBinding& b = ps->entries[i];
            if (b.number == 0) continue;
            b.value = shift(b.boundValue);
            b.octetLengthPtr = shift(b.boundOctetLengthPtr);
            b.indicatorPtr = shift(b.boundIndicatorPtr);
        }
        for (uint16_t i = 0; i < n; ++i) {
            const ParamBinding& b = ps->entries[i];
            if (b.number == i + 1 && !b.value && !b.octetLengthPtr && b.direction != SQL_PARAM_OUTPUT)
                return Fail(stmt, kErrBadArg);
        }
    }
    StmtNeedDataEnd(stmt);
    const uint64_t total = stmt->paramsetSize ? stmt->paramsetSize : 1;
    // The agent runs the rows itself: the driver cannot tell their outcomes apart.
    if (SQLUSMALLINT* st = stmt->ipd ? stmt->ipd->arrayStatusPtr : nullptr)
        for (uint64_t r = 0; r < total; ++r)
            st[r] = RowIgnored(stmt, r) ? SQLUSMALLINT(SQL_PARAM_UNUSED) : SQLUSMALLINT(SQL_PARAM_DIAG_UNAVAILABLE);

    ConnRecord* conn = stmt->conn;
    const bool narrowing = conn && conn->wideUnconfirmed;
    ParamDescEntry narrowDescs[kMaxParamNumber];
    ParamDescEntry* descs = ParamDescsToSend(stmt, n, narrowing, narrowDescs);
    const bool execute2 =
        conn && conn->hasExecute2 &&
        (AgentSlotGet<DRV_PrepareExecute>(stmt->link) || AgentSlotGet<DRV_PrepareExecuteEx>(stmt->link));
    const bool sendDescs = (stmt->flags & kSfNeedBind) && !(stmt->flags & kSfParamsSent);
    StmtResetCursorPos(stmt);
    stmt->longData.column = 0;
    stmt->longData.row = 0;

    bool anyInput = false;
    for (uint16_t i = 0; i < stmt->paramCount && !anyInput; ++i) anyInput = SendsValue(stmt, i);
    if (!anyInput) {
        const bool outputs = stmt->paramCount > 0;
        stmt->cursor.window.Reset();
        uint32_t rc;
        if (execute2 && outputs && sendDescs) {
            rc = ExecuteCompound(stmt, nullptr, n, descs);
            stmt->flags |= kSfParamsSent;
        } else {
            if (!execute2 && outputs && (stmt->flags & kSfNeedBind))
                AgentCall<DRV_SetParamDescs>(stmt->link, stmt->agentStmt, n, descs);
            rc = AgentCall<DRV_Execute>(stmt->link, stmt->agentStmt);
        }
        stmt->lastError = rc;
        return ExecuteFinish(stmt, 0);
    }
    if (n < stmt->paramCount) return Fail(stmt, kErrWrongParamCount);
    Dataset* ds = nullptr;
    if (uint32_t code = BuildDataset(stmt, n, &ds)) return Fail(stmt, code);
    if (narrowing && DatasetNarrowColumns(ds) != 0) {
        DatasetDelete(ds);
        return Fail(stmt, kErrNoMemory);
    }
    const uint32_t sent = ds->rows_used;
    uint32_t rc = ExecuteWithValues(stmt, ds, n, descs, execute2, sendDescs);
    stmt->lastError = rc;
    if (rc == kErrNeedsDataAtExec) {
        stmt->pendingParams = ds;
        return AgentDaeBegin(stmt, &kParamDialog);
    }
    if (AgentLinkCallerFrees(stmt->link)) DatasetDelete(ds);
    return ExecuteFinish(stmt, sent);
}
