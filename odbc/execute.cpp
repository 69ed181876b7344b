// Execution of a prepared statement: the parameter Dataset built from the bound values of every
// row of the parameter set, the agent's one-call execute, the finish (rows processed, statuses,
// state) and the output parameters.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/api_records.h"
#include "odbc/convert.h"
#include "odbc/datapath.h"
#include "odbc/param_access.h"
#include "odbc/datapath_agent.h"
#include "odbc/execute.h"
#include "odbc/param.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "util/dataset.h"
#include "util/errtable.h"

namespace {

// ---- value addressing -------------------------------------------------------------------------

bool IsVariable(const ParamBinding& b) { return b.elementSize < 0; }

uint64_t WideUnits(const char* w) {
    uint64_t k = 0;
    for (;; ++k) {
        SQLWCHAR u;
        std::memcpy(&u, w + 2 * k, 2);
        if (!u) return k;
    }
}

// One row's value of one parameter.
struct RowValue {
    bool isNull = false;
    const char* ptr = nullptr;
    uint64_t len = 0;  // bytes
};

// Where one parameter's rows lie, found once per execute: each row's value, length and
// indicator are then one multiplication away.
struct RowSource {
    const ParamBinding* b;
    const char* value;
    uint64_t valueStep;
    const char* lens;
    const char* inds;
    uint64_t slotStep;
};

RowSource SourceOf(const StmtRecord* stmt, const ParamBinding& b) {
    const uint64_t bt = ParamBindType(stmt);
    return {&b,
            static_cast<const char*>(b.value),
            bt ? bt : ParamElementLength(b),
            reinterpret_cast<const char*>(b.octetLengthPtr),
            reinterpret_cast<const char*>(b.indicatorPtr),
            bt ? bt : sizeof(SQLLEN)};
}

// A fixed-size value with neither length nor indicator: always there, as it is.
bool AlwaysThere(const RowSource& src) { return src.value && !src.lens && !src.inds && !IsVariable(*src.b); }

// Reads row r of a binding; 0 or the error code that refuses the row's length. Inline: once
// per value and row of a parameter array.
[[gnu::always_inline]] inline uint32_t ReadRow(const RowSource& src, uint32_t r, RowValue* out) {
    const ParamBinding& b = *src.b;
    *out = RowValue{};
    if (AlwaysThere(src)) {
        // A fixed-size value with neither length nor indicator: always there, as it is.
        out->ptr = src.value + uint64_t(r) * src.valueStep;
        out->len = uint64_t(b.elementSize);
        return 0;
    }
    const SQLLEN ind = src.inds ? LoadLen(src.inds + uint64_t(r) * src.slotStep) : 0;
    const SQLLEN len = src.lens ? LoadLen(src.lens + uint64_t(r) * src.slotStep) : SQLLEN(b.elementSize);
    if (ind == SQL_NULL_DATA || len == SQL_NULL_DATA) {
        out->isNull = true;
        return 0;
    }
    if (len == SQL_DEFAULT_PARAM || ind == SQL_DEFAULT_PARAM) return kErrNotCapable;
    if (IsDataAtExec(len)) {
        const bool have = b.pieces && r < b.pieceCount;
        const SQLLEN pl = have ? b.pieceLengths[r] : 0;
        if (pl == SQL_NULL_DATA) {
            out->isNull = true;
            return 0;
        }
        out->ptr = have ? static_cast<const char*>(b.pieces[r]) : nullptr;
        if (!out->ptr) {
            // Nothing was sent: an empty value when the length announced none, else NULL.
            if (len == SQL_DATA_AT_EXEC || len == SQL_LEN_DATA_AT_EXEC(0)) {
                static const char empty[2] = {0, 0};
                out->ptr = empty;
                out->len = 0;
            } else {
                out->isNull = true;
            }
            return 0;
        }
        out->len = uint64_t(pl);
        if (!IsVariable(b) && out->len < uint64_t(b.elementSize)) return kErrBadLength;  // too short for the type
        return 0;
    }
    out->ptr = src.value ? src.value + uint64_t(r) * src.valueStep : nullptr;
    if (!out->ptr) {
        out->isNull = true;
        return 0;
    }
    if (!IsVariable(b)) {
        out->len = uint64_t(b.elementSize);
        return 0;
    }
    if (len == SQL_NTS) {
        out->len = b.cType == SQL_C_WCHAR ? 2 * WideUnits(out->ptr) : strlen(out->ptr);
    } else if (len < 0) {
        return kErrBadLength;  // S1090: SQL_NO_TOTAL, SQL_COLUMN_IGNORE and the like are no lengths
    } else {
        out->len = uint64_t(len);
    }
    // A Dataset value holds at most 32 bits of length.
    if (out->len > 0xFFFFFFF0ull) return kErrBadLength;
    return 0;
}

// Room for n plain records, freed at scope end; null when there is no memory (or n is 0).
template <class T>
class HeapArray {
public:
    explicit HeapArray(size_t n) : p_(n ? static_cast<T*>(calloc(n, sizeof(T))) : nullptr) {}
    ~HeapArray() { free(p_); }
    HeapArray(const HeapArray&) = delete;
    HeapArray& operator=(const HeapArray&) = delete;
    T* get() const { return p_; }

private:
    T* p_;
};

// ---- column plans -----------------------------------------------------------------------------

enum class Mode { Fixed, BigInt, UBigInt, Guid, Numeric, Text, TextInPlace, WText, Hex, Binary, Date, WDate };

// A 64-bit integer's cell: its decimal text travels NUL-terminated, so every row keeps its own
// length.
constexpr uint32_t kIntegerTextWidth = 32;

struct ColPlan {
    uint16_t param;  // binding index
    bool output;     // a NULL placeholder that only types the parameter
    bool number;     // text bound to a numeric SQL type
    bool plain;      // every row's value always there and stored as it is (StorePlainColumn)
    Mode mode;
    uint32_t kind;
    uint32_t width;
    RowSource src;
};

// Parses a date/time escape of len bytes (units for wide) into dest (16 bytes); false when the
// text is not one.
bool ParseEscape(const ParamBinding& b, const RowValue& v, uint8_t* dest) {
    KindWidth kw{0, 0};
    if (b.cType == SQL_C_WCHAR) {
        const uint64_t units = v.len / 2;
        if (units == 0 || units > 64) return false;
        SQLWCHAR first;
        std::memcpy(&first, v.ptr, 2);
        if (first != u'{') return false;
        uint8_t scratch[160];
        WParseDateTimeEscape(scratch, reinterpret_cast<const SQLWCHAR*>(v.ptr), units, &kw, b.sqlType);
        if (kw.kind == 0) return false;
        std::memcpy(dest, scratch, kw.width);
        return true;
    }
    if (v.len == 0 || v.len > 64 || v.ptr[0] != '{') return false;
    uint8_t scratch[80];
    ParseDateTimeEscape(scratch, v.ptr, v.len, &kw, b.sqlType);
    if (kw.kind == 0) return false;
    std::memcpy(dest, scratch, kw.width);
    return true;
}

// The ISO text of a parsed date, time or timestamp.
std::string DateText(uint32_t kind, const uint8_t* cell) {
    char buf[64];
    if (kind == DS_DATE) {
        DsDate d;
        std::memcpy(&d, cell, sizeof d);
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(d.year), unsigned(d.month), unsigned(d.day));
    } else if (kind == DS_TIME) {
        DsTime t;
        std::memcpy(&t, cell, sizeof t);
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", unsigned(t.hour), unsigned(t.minute), unsigned(t.second));
    } else {
        DsTimestamp ts;
        std::memcpy(&ts, cell, sizeof ts);
        int n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", int(ts.year), unsigned(ts.month),
                              unsigned(ts.day), unsigned(ts.hour), unsigned(ts.minute), unsigned(ts.second));
        if (ts.fraction) std::snprintf(buf + n, sizeof buf - size_t(n), ".%09u", unsigned(ts.fraction % 1000000000u));
    }
    return buf;
}

// Exact decimal text of a NUMERIC structure (a double would lose digits beyond 15).
bool IsInput(const StmtRecord* stmt, uint16_t i) {
    // Output parameters send nothing: by their description, or by the binding when undecided.
    if (stmt->params && i < stmt->paramCount) {
        const ProcParamMark mark = ColumnProcMark(stmt->params[i]);
        if (mark == kProcMarkOutput) return false;
        if (mark == kProcMarkUnknown) {
            const ParamBinding* b = ParamBindingAt(uint16_t(i + 1), const_cast<StmtRecord*>(stmt));
            return !b || b->direction != SQL_PARAM_OUTPUT;
        }
    }
    return true;
}

uint32_t PlanColumn(const ParamBinding& b, const uint32_t* rows, uint32_t nrows, ColPlan* plan) {
    plan->width = uint32_t(b.elementSize > 0 ? b.elementSize : 0);
    plan->number = false;
    KindWidth fixed{};
    if (FixedKindOfCType(b.cType, &fixed)) {
        plan->mode = Mode::Fixed;
        plan->kind = fixed.kind;
        return 0;
    }
    switch (b.cType) {
        // 64-bit integers travel as decimal text; NUL-terminated so every row keeps its own length.
        case SQL_C_SBIGINT:
            plan->mode = Mode::BigInt;
            plan->kind = DS_CHAR_NTS;
            plan->width = kIntegerTextWidth;
            return 0;
        case SQL_C_UBIGINT:
            plan->mode = Mode::UBigInt;
            plan->kind = DS_CHAR_NTS;
            plan->width = kIntegerTextWidth;
            return 0;
        case SQL_C_GUID:
            plan->mode = Mode::Guid;
            plan->kind = DS_CHAR;
            plan->width = 36;
            return 0;
        case SQL_C_NUMERIC:
            plan->mode = Mode::Numeric;
            plan->kind = DS_CHAR_REF;
            plan->width = 16;
            return 0;
        default:
            break;
    }
    // Binary columns take the longest value's width, date columns bound as text the structures
    // when every row is an escape, narrow text its values in place when the longest leaves
    // little room unused: only they measure every row first (the rows are read again, with the
    // same checks, when they are stored).
    const bool binary = b.cType == SQL_C_BINARY || (b.cType == SQL_C_CHAR && SqlTypeIsBinary(b.sqlType));
    const bool dateText = SqlTypeIsDateTime(b.sqlType) && (b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR);
    const bool narrowText = b.cType == SQL_C_CHAR && !binary && !dateText;
    plan->number = (narrowText || b.cType == SQL_C_WCHAR) && IsNumberSqlType(b.sqlType);
    uint64_t longest = 0;
    uint64_t total = 0;
    bool allEscapes = true;
    for (uint32_t k = 0; (binary || dateText || narrowText) && k < nrows; ++k) {
        RowValue v;
        if (uint32_t rc = ReadRow(plan->src, rows[k], &v)) return rc;
        if (v.isNull) continue;
        if (v.len > longest) longest = v.len;
        total += v.len;
        if (dateText) {
            uint8_t scratch[16];
            if (!ParseEscape(b, v, scratch)) allEscapes = false;
        }
    }
    if (narrowText) {
        // In place: a length and the bytes in every row's element, no buffer of its own per
        // value; unless the longest value would make the column much larger than the values.
        const uint64_t width = (longest + 4 + 3) & ~uint64_t(3);
        const uint64_t inPlace = width * nrows;
        const uint64_t byReference = 2 * (total + 48ull * nrows);
        if (inPlace <= (byReference > (1u << 20) ? byReference : (1u << 20)) && width <= 0xFFFFFFFFull) {
            plan->mode = Mode::TextInPlace;
            plan->kind = DS_CHAR_LEN4;
            plan->width = uint32_t(width);
            return 0;
        }
    }
    if (binary) {
        // Hex text decodes to half its length: the element holds the prefix and those bytes.
        const uint64_t bytes = b.cType == SQL_C_BINARY ? longest : longest / 2;
        if (bytes + 8 > 0xFFFFFFFFull) return kErrBadLength;
        plan->mode = b.cType == SQL_C_BINARY ? Mode::Binary : Mode::Hex;
        plan->kind = DS_BINARY_LEN4;
        plan->width = uint32_t(bytes + 8);
        return 0;
    }
    if (dateText && allEscapes) {
        // Every row is an escape literal (or NULL): the column carries the structures.
        const KindWidth kw = DateKindOf(b.sqlType);
        plan->mode = b.cType == SQL_C_WCHAR ? Mode::WDate : Mode::Date;
        plan->kind = kw.kind;
        plan->width = kw.width;
        return 0;
    }
    // Text by reference: each row keeps its own length, whatever the others hold.
    plan->mode = b.cType == SQL_C_WCHAR ? Mode::WText : Mode::Text;
    plan->kind = b.cType == SQL_C_WCHAR ? DS_WCHAR_REF : DS_CHAR_REF;
    plan->width = 16;
    return 0;
}

uint32_t StoreText(Dataset* ds, uint32_t k, uint16_t c, const ParamBinding& b, const RowValue& v, bool wide) {
    // Escape literals in a text column bound for a date type go as plain ISO text.
    if (SqlTypeIsDateTime(b.sqlType)) {
        uint8_t cell[16];
        if (ParseEscape(b, v, cell)) {
            const std::string t = DateText(DateKindOf(b.sqlType).kind, cell);
            if (!wide) return uint32_t(DatasetSetRef(ds, k, c, t.data(), uint32_t(t.size())));
            std::u16string w(t.begin(), t.end());
            return uint32_t(DatasetSetRef(ds, k, c, w.data(), uint32_t(w.size())));
        }
    }
    if (wide) return uint32_t(DatasetSetRef(ds, k, c, v.ptr, uint32_t(v.len / 2)));
    return uint32_t(DatasetSetRef(ds, k, c, v.ptr, uint32_t(v.len)));
}

// A 64-bit integer's digits, NUL-terminated, in its cell; once per value and row of a parameter
// array, so without formatted printing.
template <class T>
void IntegerText(char* cell, T x) {
    static_assert(kIntegerTextWidth > 20, "every digit, the sign and the NUL");
    *std::to_chars(cell, cell + kIntegerTextWidth - 1, x).ptr = '\0';
}

// Text bound to a numeric SQL type: refused unless it is a number the type holds, and sent
// without the blanks around it.
uint32_t NumberText(const ParamBinding& b, bool wide, RowValue& v) {
    const uint64_t unit = wide ? 2 : 1;
    auto blank = [&](uint64_t at) {
        SQLWCHAR u = 0;
        if (wide)
            std::memcpy(&u, v.ptr + at, 2);
        else
            u = static_cast<unsigned char>(v.ptr[at]);
        return u == ' ' || (u >= '\t' && u <= '\r');
    };
    uint64_t first = 0, end = v.len / unit * unit;
    while (first < end && blank(first)) first += unit;
    while (end > first && blank(end - unit)) end -= unit;
    const uint32_t err = wide ? WNumberTextError(reinterpret_cast<const SQLWCHAR*>(v.ptr), v.len / 2, b.sqlType,
                                                 b.columnSize, b.decimalDigits)
                              : NumberTextError(v.ptr, v.len, b.sqlType, b.columnSize, b.decimalDigits);
    v.ptr += first;
    v.len = end - first;
    return err;
}

// The modes that store the bound element itself, copied or as its digits: they refuse nothing.
bool StoresElement(Mode m) { return m == Mode::Fixed || m == Mode::BigInt || m == Mode::UBigInt; }

// The element of one of those modes into its cell.
[[gnu::always_inline]] inline void StoreElement(const ColPlan& plan, uint8_t* cell, const char* element) {
    switch (plan.mode) {
        case Mode::Fixed:
            // The usual sizes (a double or a 64-bit integer, a timestamp) copied inline.
            if (plan.width == 8)
                std::memcpy(cell, element, 8);
            else if (plan.width == 16)
                std::memcpy(cell, element, 16);
            else
                std::memcpy(cell, element, plan.width);
            break;
        case Mode::BigInt: {
            int64_t x;
            std::memcpy(&x, element, 8);
            IntegerText(reinterpret_cast<char*>(cell), x);
            break;
        }
        case Mode::UBigInt: {
            uint64_t x;
            std::memcpy(&x, element, 8);
            IntegerText(reinterpret_cast<char*>(cell), x);
            break;
        }
        default:
            break;
    }
}

// Every row of a plain column: nothing to read or refuse row by row, so a column at a time.
void StorePlainColumn(DatasetColumn& col, const ColPlan& plan, const uint32_t* rows, uint32_t nrows) {
    const RowSource& src = plan.src;
    for (uint32_t k = 0; k < nrows; ++k) {
        StoreElement(plan, DatasetCell(&col, k), src.value + uint64_t(rows[k]) * src.valueStep);
        col.indicators[k] = DS_IND_VALUE;
    }
}

uint32_t StoreRow(Dataset* ds, uint32_t k, uint16_t c, const ColPlan& plan, const ParamBinding& b, const RowValue& in) {
    RowValue v = in;
    if (plan.number)
        if (uint32_t rc = NumberText(b, plan.mode == Mode::WText, v)) return rc;
    DatasetColumn& col = ds->cols[c];
    uint8_t* cell = DatasetCell(&col, k);
    switch (plan.mode) {
        case Mode::Fixed:
        case Mode::BigInt:
        case Mode::UBigInt:
            StoreElement(plan, cell, v.ptr);
            break;
        case Mode::Guid: {
            SQLGUID g;
            std::memcpy(&g, v.ptr, sizeof g);
            GuidToText(reinterpret_cast<char*>(cell), g);
            break;
        }
        case Mode::Numeric: {
            SQL_NUMERIC_STRUCT n;
            std::memcpy(&n, v.ptr, sizeof n);
            const std::string t = NumericText(n);
            return uint32_t(DatasetSetRef(ds, k, c, t.data(), uint32_t(t.size())));
        }
        case Mode::TextInPlace: {
            const uint32_t n = uint32_t(v.len);
            if (uint64_t(n) + 4 > plan.width) return kErrGeneral;  // measured above; a change between the passes
            std::memcpy(cell, &n, 4);
            if (n) std::memcpy(cell + 4, v.ptr, n);
            break;
        }
        case Mode::Text:
            return StoreText(ds, k, c, b, v, false);
        case Mode::WText:
            return StoreText(ds, k, c, b, v, true);
        case Mode::Hex:
        case Mode::Binary: {
            const uint32_t n = uint32_t(plan.mode == Mode::Hex ? v.len / 2 : v.len);
            if (n + 4 > plan.width) return kErrGeneral;  // measured above; a change between the passes
            std::memcpy(cell, &n, 4);
            if (plan.mode == Mode::Hex)
                HexToBytes(cell + 4, v.ptr, v.len);
            else if (n)
                std::memcpy(cell + 4, v.ptr, n);
            break;
        }
        case Mode::Date:
        case Mode::WDate:
            if (!ParseEscape(b, v, cell)) return kErrGeneral;
            break;
    }
    col.indicators[k] = DS_IND_VALUE;
    return 0;
}

// ---- finish -----------------------------------------------------------------------------------

void WriteProcessed(StmtRecord* stmt, SQLULEN n) {
    if (stmt->paramsProcessedPtr) *stmt->paramsProcessedPtr = n;
    if (stmt->ipd && stmt->ipd->rowsProcessedPtr && stmt->ipd->rowsProcessedPtr != stmt->paramsProcessedPtr)
        *stmt->ipd->rowsProcessedPtr = n;
}

// Parameter statuses: rows sent before `failed` succeeded, the failed one erred, the rest unused.
void WriteStatuses(StmtRecord* stmt, const uint32_t* rows, uint32_t sent, uint32_t failed, SQLUSMALLINT okStatus) {
    SQLUSMALLINT* st = stmt->ipd ? stmt->ipd->arrayStatusPtr : nullptr;
    if (!st) return;
    const uint64_t total = stmt->paramsetSize ? stmt->paramsetSize : 1;
    for (uint64_t r = 0; r < total; ++r) st[r] = SQL_PARAM_UNUSED;
    for (uint32_t k = 0; k < sent; ++k) {
        const uint32_t r = rows ? rows[k] : k;
        if (k < failed)
            st[r] = okStatus;
        else if (k == failed)
            st[r] = SQL_PARAM_ERROR;
    }
}

void DropResultDescs(StmtRecord* stmt) {
    ColumnInfoArrayFree(stmt->results, stmt->resultCount);
    stmt->results = nullptr;
    stmt->resultCount = 0;
}

ParamDescEntry NarrowParamDesc(ParamDescEntry d) {
    switch (d.sqlType) {
        case SQL_WLONGVARCHAR:
            d.sqlType = SQL_LONGVARCHAR;
            break;
        case SQL_WVARCHAR:
            d.sqlType = SQL_VARCHAR;
            break;
        case SQL_WCHAR:
            d.sqlType = SQL_CHAR;
            break;
        default:
            break;
    }
    if (d.cType == SQL_C_WCHAR) d.cType = SQL_C_CHAR;
    return d;
}

struct Directions {
    uint16_t in = 0, out = 0, io = 0;
};

Directions CountDirections(StmtRecord* stmt) {
    Directions d;
    for (uint16_t i = 0; i < stmt->paramCount; ++i) {
        const ProcParamMark mark = ColumnProcMark(stmt->params[i]);
        const ParamBinding* b = ParamBindingAt(uint16_t(i + 1), stmt);
        const uint16_t dir = b ? b->direction : SQL_PARAM_INPUT;
        if (mark == kProcMarkOutput || (mark == kProcMarkUnknown && dir == SQL_PARAM_OUTPUT))
            ++d.out;
        else if (mark == kProcMarkInOut || (mark == kProcMarkUnknown && dir == SQL_PARAM_INPUT_OUTPUT))
            ++d.io;
        else
            ++d.in;
    }
    return d;
}

bool IsOutput(StmtRecord* stmt, uint16_t i) {
    const ProcParamMark mark = ColumnProcMark(stmt->params[i]);
    if (mark == kProcMarkOutput || mark == kProcMarkInOut) return true;
    if (mark == kProcMarkUnknown) {
        const ParamBinding* b = ParamBindingAt(uint16_t(i + 1), stmt);
        return b && (b->direction == SQL_PARAM_OUTPUT || b->direction == SQL_PARAM_INPUT_OUTPUT);
    }
    return false;
}

SQLRETURN Finish(StmtRecord* stmt, uint32_t rc, uint32_t sentRows, const uint32_t* rowMap, const Directions& dir,
                 bool statuses = true) {
    DropResultDescs(stmt);
    if (rc != 0 && rc != kErrOutputValues && rc != kErrCompletedWithWarning) {
        StmtCollectAgentDiag(stmt);
        stmt->lastError = rc;
        int32_t failed = 0;
        uint16_t len = 0;
        if (AgentCall<DRV_GetInfo>(stmt->link, stmt->agentStmt, kPropRowCount, &failed, uint16_t(4), &len) == 0) {
            if (failed < 0) failed = 0;
            WriteProcessed(stmt, SQLULEN(failed) + 1);
            if (statuses) WriteStatuses(stmt, rowMap, sentRows, uint32_t(failed), SQL_PARAM_SUCCESS);
        }
        return SQL_ERROR;
    }
    // A warning of the server finishes like a success and then reports itself.
    const bool warned = rc == kErrCompletedWithWarning;
    if (warned) StmtCollectAgentDiag(stmt);
    WriteProcessed(stmt, (stmt->selectFlag && stmt->paramsetSize > 1) ? 1 : sentRows);
    if (statuses)
        WriteStatuses(stmt, rowMap, sentRows, sentRows,
                      warned ? SQLUSMALLINT(SQL_PARAM_SUCCESS_WITH_INFO) : SQLUSMALLINT(SQL_PARAM_SUCCESS));
    StmtToExecuted(stmt);
    stmt->lastError = 0;
    SQLRETURN out = SQL_SUCCESS;
    const bool deferred = stmt->conn && stmt->conn->spOutDeferFetch && rc != kErrOutputValues;
    if (!deferred && (dir.out || dir.io)) out = FetchOutputParams(stmt);
    if (warned && out != SQL_ERROR) {
        stmt->lastError = kErrCompletedWithWarning;
        return SQL_SUCCESS_WITH_INFO;
    }
    return out;
}

}  // namespace

ParamDescEntry* ParamDescsToSend(StmtRecord* stmt, uint16_t n, bool narrow, ParamDescEntry* narrowed) {
    ParamStore* ps = StmtParamStore(stmt);
    ParamDescEntry* descs = ps ? ps->summaries : nullptr;
    if (!descs || !narrow) return descs;
    for (uint16_t i = 0; i < n; ++i) narrowed[i] = NarrowParamDesc(descs[i]);
    return narrowed;
}

uint32_t ExecuteWithValues(StmtRecord* stmt, Dataset* ds, uint16_t n, ParamDescEntry* descs, bool execute2,
                           bool sendDescs) {
    uint32_t rc;
    if (execute2) {
        stmt->cursor.window.Reset();
        if (sendDescs) {
            rc = ExecuteCompound(stmt, ds, n, descs);
            stmt->flags |= kSfParamsSent;
        } else {
            rc = ExecuteCompound(stmt, ds, 0, nullptr);
        }
    } else {
        rc = AgentCall<DRV_SetParams>(stmt->link, stmt->agentStmt, ds);
        if (rc == 0) {
            if (stmt->flags & kSfNeedBind) AgentCall<DRV_SetParamDescs>(stmt->link, stmt->agentStmt, n, descs);
            stmt->cursor.window.Reset();
            rc = AgentCall<DRV_Execute>(stmt->link, stmt->agentStmt);
        }
    }
    return rc;
}

SQLRETURN ExecuteFinishResult(StmtRecord* stmt, uint32_t rc, uint32_t rows, const uint32_t* rowMap, bool statuses) {
    return Finish(stmt, rc, rows, rowMap, CountDirections(stmt), statuses);
}

int NextDataAtExecParam(StmtRecord* stmt) {
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps) return 0;
    const uint16_t n = stmt->paramCount < ps->count ? stmt->paramCount : ps->count;
    const uint64_t rows = stmt->paramsetSize ? stmt->paramsetSize : 1;
    // Which parameters can ask for data at execution does not change from row to row: found
    // once, and the rows are walked only for those.
    uint16_t can[kMaxParamNumber];
    uint16_t count = 0;
    for (uint16_t i = 0; i < n; ++i) {
        const ParamBinding& b = ps->entries[i];
        if (b.number == i + 1 && b.octetLengthPtr && IsInput(stmt, i)) can[count++] = i;
    }
    const uint64_t bt = ParamBindType(stmt);
    const uint64_t step = bt ? bt : sizeof(SQLLEN);
    for (uint64_t r = ps->scanRow; count && r < rows; ++r) {
        if (!RowIgnored(stmt, uint32_t(r))) {
            const uint16_t from = uint16_t(r == ps->scanRow ? ps->nextIndex : 0);
            for (uint16_t k = 0; k < count; ++k) {
                const uint16_t i = can[k];
                if (i < from) continue;
                const ParamBinding& b = ps->entries[i];
                const uint64_t at = r * step;
                if (b.indicatorPtr && LoadLen(reinterpret_cast<const char*>(b.indicatorPtr) + at) == SQL_NULL_DATA)
                    continue;
                if (IsDataAtExec(LoadLen(reinterpret_cast<const char*>(b.octetLengthPtr) + at))) {
                    ps->scanRow = uint32_t(r);
                    ps->nextIndex = i;
                    return 1;
                }
            }
        }
    }
    ps->scanRow = 0;
    ps->nextIndex = 0;
    return 0;
}

SQLRETURN ExecutePrepareParams(StmtRecord* stmt) {
    if (ErrCode refused = StmtMayStartDialogue(stmt)) return Fail(stmt, refused);
    if (stmt->paramsetSize > 0xFFFFFFFFull) {
        stmt->lastError = kErrRowRange;
        return SQL_ERROR;
    }
    if (uint32_t rc = ParamPieceBuffersReset(stmt)) {
        stmt->lastError = rc;
        return SQL_ERROR;
    }
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps) return SQL_SUCCESS;
    // The effective pointers are the bound ones plus the current bind offset, derived afresh
    // for every execution so that the offset counts once, and not at all once it is gone.
    const SQLLEN off = stmt->apd && stmt->apd->bindOffsetPtr ? *stmt->apd->bindOffsetPtr : 0;
    auto shift = [off](auto* p) { return p ? reinterpret_cast<decltype(p)>(reinterpret_cast<char*>(p) + off) : p; };
    for (uint16_t i = 0; i < ps->count; ++i) {
        ParamBinding& b = ps->entries[i];
        if (b.number == 0) continue;
        b.value = shift(b.boundValue);
        b.octetLengthPtr = shift(b.boundOctetLengthPtr);
        b.indicatorPtr = shift(b.boundIndicatorPtr);
    }
    ps->nextIndex = ps->curIndex = 0;
    ps->scanRow = ps->supplyRow = 0;
    if (NextDataAtExecParam(stmt)) {
        StmtNeedDataBegin(stmt, kNeedDataParams);
        return SQL_NEED_DATA;
    }
    return SQL_SUCCESS;
}

uint32_t BuildParamDataset(StmtRecord* stmt, uint16_t n, Dataset** out, uint32_t** rowsOut) {
    *out = nullptr;
    *rowsOut = nullptr;
    const uint64_t total = stmt->paramsetSize ? stmt->paramsetSize : 1;
    auto* rows = static_cast<uint32_t*>(calloc(total, sizeof(uint32_t)));
    if (!rows) return kErrNoMemory;
    uint32_t nrows = 0;
    for (uint64_t r = 0; r < total; ++r)
        if (!RowIgnored(stmt, uint32_t(r))) rows[nrows++] = uint32_t(r);
    // A plan per parameter: a short statement's on the stack, a long one's on the heap.
    ColPlan few[32];
    HeapArray<ColPlan> many(n > std::size(few) ? n : 0);
    ColPlan* plans = n > std::size(few) ? many.get() : few;
    if (!plans) {
        free(rows);
        return kErrNoMemory;
    }
    uint16_t ncols = 0;
    for (uint16_t i = 0; i < n; ++i) {
        ParamBinding* b = ParamBindingAt(uint16_t(i + 1), stmt);
        if (!b) {
            free(rows);
            return kErrWrongParamCount;
        }
        // Every parameter has its column, so that column i is parameter i + 1 for the agent;
        // an output parameter's column holds NULLs of its type.
        plans[ncols].param = i;
        plans[ncols].output = !IsInput(stmt, i);
        plans[ncols].src = SourceOf(stmt, *b);
        if (uint32_t rc = PlanColumn(*b, rows, plans[ncols].output ? 0 : nrows, &plans[ncols])) {
            free(rows);
            return rc;
        }
        plans[ncols].plain = !plans[ncols].output && AlwaysThere(plans[ncols].src) && StoresElement(plans[ncols].mode);
        ++ncols;
    }
    auto* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    if (!ds || DatasetInit(ds, ncols) != 0) {
        free(ds);
        free(rows);
        return kErrNoMemory;
    }
    ds->col_count = ncols;
    for (uint16_t c = 0; c < ncols; ++c) {
        ds->cols[c].kind = plans[c].kind;
        ds->cols[c].width = plans[c].width;
    }
    if (DatasetAllocRows(ds, nrows) != 0) {
        DatasetDelete(ds);
        free(rows);
        return kErrNoMemory;
    }
    for (uint16_t c = 0; c < ncols; ++c)
        if (plans[c].plain) StorePlainColumn(ds->cols[c], plans[c], rows, nrows);
    // The others row by row: the first refusal is that of the first row that has one.
    for (uint32_t k = 0; k < nrows; ++k) {
        for (uint16_t c = 0; c < ncols; ++c) {
            if (plans[c].output || plans[c].plain) continue;  // NULL from the allocation, or stored
            const RowSource& src = plans[c].src;
            RowValue v;
            uint32_t rc = ReadRow(src, rows[k], &v);
            if (rc == 0) {
                if (v.isNull)
                    ds->cols[c].indicators[k] = DS_IND_NULL;
                else
                    rc = StoreRow(ds, k, c, plans[c], *plans[c].src.b, v);
            }
            if (rc) {
                DatasetDelete(ds);
                free(rows);
                return rc;
            }
        }
    }
    ds->rows_used = nrows;
    *out = ds;
    *rowsOut = rows;
    return 0;
}

SQLRETURN ExecuteStatement(StmtRecord* stmt) {
    if (ErrCode refused = StmtMayRunPrepared(stmt)) return Fail(stmt, refused);
    ParamStore* ps = StmtParamStore(stmt);
    const uint16_t bound = ps ? ps->count : 0;
    const uint16_t n = stmt->paramCount < bound ? stmt->paramCount : bound;
    for (uint16_t i = 0; i < n; ++i) {
        const ParamBinding& b = ps->entries[i];
        // An output parameter bound without buffers has its value discarded, as ODBC allows.
        if (b.number == i + 1 && !b.value && !b.octetLengthPtr && b.direction != SQL_PARAM_OUTPUT) {
            stmt->lastError = kErrWrongParamCount;
            return SQL_ERROR;
        }
    }
    StmtNeedDataEnd(stmt);
    if (stmt->paramsetSize > 0xFFFFFFFFull) {
        stmt->lastError = kErrRowRange;
        return SQL_ERROR;
    }
    const Directions dir = CountDirections(stmt);
    ConnRecord* conn = stmt->conn;
    const bool execute2 = conn && conn->hasExecute2 && AgentSlotGet<DRV_PrepareExecute>(stmt->link);
    const bool sendDescs = (stmt->flags & kSfNeedBind) && !(stmt->flags & kSfParamsSent);
    // A wide connection whose agent refused Unicode gets narrow descriptions and values.
    const bool narrowing = conn && conn->wideUnconfirmed;
    ParamDescEntry narrowDescs[kMaxParamNumber];
    ParamDescEntry* descs = ParamDescsToSend(stmt, n, narrowing, narrowDescs);
    // A new execution drops the previous result and its description.
    StmtResetCursorPos(stmt);
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    uint32_t rc;
    if (dir.in == 0 && dir.io == 0) {
        stmt->cursor.window.Reset();
        if (execute2 && dir.out && sendDescs) {
            rc = ExecuteCompound(stmt, nullptr, n, descs);
            stmt->flags |= kSfParamsSent;
        } else {
            if (!execute2 && dir.out && (stmt->flags & kSfNeedBind))
                AgentCall<DRV_SetParamDescs>(stmt->link, stmt->agentStmt, n, descs);
            rc = AgentCall<DRV_Execute>(stmt->link, stmt->agentStmt);
        }
        return Finish(stmt, rc, 0, nullptr, dir);
    }
    if (n < stmt->paramCount) {
        stmt->lastError = kErrWrongParamCount;
        return SQL_ERROR;
    }
    Dataset* ds = nullptr;
    uint32_t* rowMap = nullptr;
    if (uint32_t code = BuildParamDataset(stmt, n, &ds, &rowMap)) {
        stmt->lastError = code;
        return SQL_ERROR;
    }
    if (narrowing && DatasetNarrowColumns(ds) != 0) {
        DatasetDelete(ds);
        free(rowMap);
        stmt->lastError = kErrNoMemory;
        return SQL_ERROR;
    }
    const uint32_t sent = ds->rows_used;
    rc = ExecuteWithValues(stmt, ds, n, descs, execute2, sendDescs);
    // The Dataset now belongs to the agent unless its link says the data path keeps it.
    if (AgentLinkCallerFrees(stmt->link)) DatasetDelete(ds);
    SQLRETURN ret = Finish(stmt, rc, sent, rowMap, dir);
    free(rowMap);
    return ret;
}

SQLRETURN FetchOutputParams(StmtRecord* stmt) {
    StmtResetCursorPos(stmt);
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    if (ErrCode rc = AgentCall<DRV_FetchRows>(stmt->link, stmt->agentStmt, uint16_t(0), &stmt->block)) {
        if (rc == kErrNoData) return SQL_SUCCESS;  // nothing came back
        stmt->lastError = rc;
        StmtCollectAgentDiag(stmt);
        return SQL_ERROR;
    }
    GetColumnContext ctx = StmtColumnContext(stmt);
    uint16_t ordinal = 0;
    // A value that went in truncated (01004, 01S07) makes the execute report it.
    uint32_t warning = 0;
    for (uint16_t i = 0; i < stmt->paramCount; ++i) {
        if (!IsOutput(stmt, i)) continue;
        ++ordinal;
        ParamBinding* b = ParamBindingAt(uint16_t(i + 1), stmt);
        if (!b || !b->value) continue;
        stmt->lastError = kErrOutputValues;
        ColumnBinding cb{};
        cb.column = ordinal;
        cb.cType = b->cType == SQL_C_DEFAULT ? int16_t(DefaultCType(b->sqlType, ctx.odbcVersion)) : b->cType;
        cb.decimalDigits = uint16_t(b->decimalDigits);
        cb.target = b->value;
        cb.bufferLength = (b->cType == SQL_C_CHAR || b->cType == SQL_C_BINARY || b->cType == SQL_C_WCHAR)
                              ? b->bufferLength
                              : b->elementSize;
        cb.lengthPtr = b->octetLengthPtr;
        cb.indicatorPtr = b->indicatorPtr;
        const int rc = GetColumn(ctx, 0, cb, stmt->block);
        if (rc != 0 && rc != 1) return SQLRETURN(rc);
        if (rc == 1) warning = stmt->lastError;
    }
    stmt->lastError = warning;
    return warning ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN ExecuteRun(StmtRecord* stmt) {
    if (stmt->conn && stmt->conn->hasV2DAE) return ExecuteParamArray(stmt);
    SQLRETURN rc = ExecutePrepareParams(stmt);
    if (rc != SQL_SUCCESS) return rc;
    return ExecuteStatement(stmt);
}
