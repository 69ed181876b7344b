// SQLGetDescField and SQLSetDescField: one field of a descriptor. Implementation descriptors
// answer from the statement's descriptions and the automatic ARD from the statement's column
// bindings, so a descriptor reports what the statement will really use; writes on a descriptor
// in use by a statement change the statement's bindings at once.
#include "odbc/desc_field.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/sql_types.h"
#include "odbc/stmt_state.h"
#include "odbc/stmtattr.h"
#include "odbc/trace_link.h"
#include "util/attr.h"
#include "util/utf.h"
#include "util/errtable.h"
#include "util/invariant.h"

namespace {

// ---- typed writers ------------------------------------------------------------------------

SQLRETURN PutShort(void* v, int64_t* len, int64_t x) {
    if (v) *static_cast<SQLSMALLINT*>(v) = SQLSMALLINT(x);
    if (len) *len = 2;
    return SQL_SUCCESS;
}
SQLRETURN PutInt(void* v, int64_t* len, int64_t x) {
    if (v) *static_cast<SQLINTEGER*>(v) = SQLINTEGER(x);
    if (len) *len = 4;
    return SQL_SUCCESS;
}
SQLRETURN Put64(void* v, int64_t* len, int64_t x) {
    if (v) std::memcpy(v, &x, 8);
    if (len) *len = 8;
    return SQL_SUCCESS;
}
SQLRETURN PutPtr(DescRecord* d, void* v, int64_t bufLen, int64_t* len, const void* p) {
    // Conforming applications pass SQL_IS_POINTER or 0 as the length of a pointer field.
    if (bufLen != SQL_IS_POINTER && bufLen != 0 && bufLen < int64_t(sizeof(void*))) {
        d->lastError = kErrBadArg;
        return SQL_ERROR;
    }
    if (v) std::memcpy(v, &p, sizeof p);
    if (len) *len = sizeof p;
    return SQL_SUCCESS;
}

}  // namespace

// Narrow or UTF-16 text into a buffer counted in bytes; a cut text sets row 19 on h and gives 1.
SQLRETURN DescPutText(HandleBase* h, const char* text, void* v, int64_t bufLen, int64_t* len, char mode) {
    if (!text) text = "";
    if (bufLen < 0 && v) {
        h->lastError = kErrBadLength;
        return SQL_ERROR;
    }
    if (mode == 'W') {
        SQLWCHAR* w = Utf8ToWideDupNts(text);
        if (!w) {
            h->lastError = kErrNoMemory;
            return SQL_ERROR;
        }
        const size_t units = WideLen(w);
        if (len) *len = int64_t(units) * 2;
        SQLRETURN rc = SQL_SUCCESS;
        if (v) {
            const size_t cap = size_t(bufLen) / 2;
            auto* out = static_cast<SQLWCHAR*>(v);
            if (units + 1 <= cap) {
                std::memcpy(out, w, (units + 1) * 2);
            } else {
                if (cap > 0) {
                    size_t keep = cap - 1;
                    // A surrogate pair stays whole.
                    if (keep > 0 && w[keep - 1] >= 0xD800 && w[keep - 1] <= 0xDBFF) --keep;
                    std::memcpy(out, w, keep * 2);
                    out[keep] = 0;
                }
                h->lastError = kErrTruncated;
                rc = SQL_SUCCESS_WITH_INFO;
            }
        }
        free(w);
        return rc;
    }
    const size_t n = std::strlen(text);
    if (len) *len = int64_t(n);
    if (!v) return SQL_SUCCESS;
    if (int64_t(n) >= bufLen) {
        if (bufLen > 0) {
            std::memcpy(v, text, size_t(bufLen) - 1);
            static_cast<char*>(v)[bufLen - 1] = '\0';
        }
        h->lastError = kErrTruncated;
        return SQL_SUCCESS_WITH_INFO;
    }
    std::memcpy(v, text, n + 1);
    return SQL_SUCCESS;
}

namespace {

bool DescribedWithAttributes(const StmtRecord* stmt) {
    // The agent's capability: results come with attribute rows.
    return stmt && stmt->keyInfo && stmt->conn && stmt->conn->capDescribeWithAttrs != 0;
}

}  // namespace

bool ColumnAttrInt(StmtRecord* stmt, uint16_t field, uint16_t column, int64_t* out) {
    if (!DescribedWithAttributes(stmt)) return false;
    uint32_t v = 0;
    if (!AttrLookup(stmt->keyInfo, field, column, &v, nullptr, nullptr)) return false;
    *out = int32_t(v);
    return true;
}

bool ColumnAttrText(StmtRecord* stmt, uint16_t field, uint16_t column, const char** out) {
    if (!DescribedWithAttributes(stmt)) return false;
    void* p = nullptr;
    if (!AttrLookup(stmt->keyInfo, field, column, nullptr, &p, nullptr)) return false;
    *out = p ? static_cast<const char*>(p) : "";
    return true;
}

namespace {

int RadixOf(int t) {
    switch (t) {
        case SQL_C_UTINYINT:
        case SQL_C_UBIGINT:
        case SQL_C_STINYINT:
        case SQL_C_SBIGINT:
        case SQL_C_ULONG:
        case SQL_C_USHORT:
        case SQL_C_SLONG:
        case SQL_C_SSHORT:
        case SQL_TINYINT:
        case SQL_BIGINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_INTEGER:
        case SQL_SMALLINT:
            return 10;
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            return 2;
        default:
            return 0;
    }
}

bool IsSizedType(int t) {
    switch (t) {
        case SQL_C_UTINYINT:
        case SQL_C_UBIGINT:
        case SQL_C_STINYINT:
        case SQL_C_SBIGINT:
        case SQL_C_ULONG:
        case SQL_C_USHORT:
        case SQL_C_SLONG:
        case SQL_C_SSHORT:
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_BIGINT:
        case SQL_VARBINARY:
        case SQL_BINARY:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
            return true;
        default:
            return (t >= SQL_NUMERIC && t <= SQL_TIMESTAMP) || SqlTypeIsInterval(t);
    }
}

}  // namespace

std::optional<int64_t> TransferOctetLength(int t, int64_t size) {
    if (SqlTypeIsString(t)) return size;
    switch (t) {
        case SQL_C_UTINYINT:
        case SQL_C_STINYINT:
        case SQL_TINYINT:
            return 1;
        case SQL_C_UBIGINT:
        case SQL_C_SBIGINT:
        case SQL_BIGINT:
            return 20;
        case SQL_C_ULONG:
        case SQL_C_SLONG:
        case SQL_INTEGER:
        case SQL_REAL:
            return 4;
        case SQL_C_USHORT:
        case SQL_C_SSHORT:
        case SQL_SMALLINT:
            return 2;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return 8;
        case SQL_DATE:
        case SQL_TIME:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
            return 6;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            return 16;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return size + 2;
        default:
            return std::nullopt;
    }
}

namespace {

int64_t OctetLengthOf(int t, int64_t size) {
    if (std::optional<int64_t> n = TransferOctetLength(t, size)) return *n;
    return SqlTypeIsInterval(t) ? 34 : 0;
}

bool UnsignedKind(uint32_t kind) {
    return kind == DS_BIT || kind == DS_UTINYINT || kind == DS_USMALLINT || kind == DS_UINTEGER;
}

// Where a record field of a descriptor is answered from.
struct Source {
    DescItem* own = nullptr;          // the descriptor's own record (may be absent)
    BoundCol* bound = nullptr;        // automatic ARD: the statement's binding of the column
    ParamBinding* param = nullptr;    // automatic APD (and IPD): the statement's parameter binding
    const ColumnInfo* col = nullptr;  // IRD or IPD: the statement's description
    bool ird0 = false;                // IRD record 0: fixed answers
    bool apd = false;                 // param is the source (APD), not only looked at (IPD)
    int Type() const {
        if (col) return col->sql_type;
        if (bound) return bound->b.cType;
        if (param && apd) return param->cType;
        return own ? own->conciseType : 0;
    }
    bool OwnOnly() const { return !col && !bound && !(param && apd); }
};

// The column name an IRD reports: the full name when the agent gave one, else the inline name.
const char* ColumnName(const ColumnInfo* c) { return (c->column && c->column[0]) ? c->column : c->name; }

SQLRETURN TypeInfoText(DescRecord* d, const Source& s, uint16_t field, int16_t rec, uint16_t column, void* v,
                       int64_t bufLen, int64_t* len, char mode) {
    const char* given = nullptr;
    if (d->descType == kDescIRD && d->allocKind != SQL_DESC_ALLOC_USER && !s.ird0 &&
        ColumnAttrText(d->stmt, field, uint16_t(rec), &given))
        return DescPutText(d, given, v, bufLen, len, mode);
    int t = s.ird0 ? SQL_CHAR : s.Type();
    if (SqlTypeIsInterval(t)) t = SQL_INTERVAL;
    ConnRecord* conn = DescOwnerConn(d);
    char buf[256] = {0};
    if (conn && LookupTypeInfo(conn, column, int16_t(t), buf, sizeof buf) == -1) {
        // The look-up leaves its reason on the connection when it has one.
        const uint32_t why = conn->lastError;
        return Fail(d, why ? why : 15);
    }
    return DescPutText(d, buf, v, bufLen, len, mode);
}

// The row size an application descriptor binds by (0: column-wise): an ARD's is its statement's,
// kept whole in 64 bits.
uint64_t BindTypeOf(const DescRecord* d) {
    const bool ard = d->allocKind != SQL_DESC_ALLOC_USER && d->descType == kDescARD && d->stmt;
    return ard ? d->stmt->rowBindType : d->bindType;
}

SQLRETURN GetHeader(DescRecord* d, uint16_t field, void* v, int64_t bufLen, int64_t* len) {
    const bool user = d->allocKind == SQL_DESC_ALLOC_USER;
    const uint32_t t = user ? 0 : d->descType;
    const bool app = DescIsApp(d);
    StmtRecord* stmt = d->stmt;
    switch (field) {
        case SQL_DESC_ARRAY_SIZE:
            if (!app) return Fail(d, kErrDescTypeRange);
            if (t == kDescARD && stmt) return Put64(v, len, int64_t(stmt->cursor.rowsetSize));
            if (t == kDescAPD && stmt) return Put64(v, len, int64_t(stmt->paramsetSize));
            return Put64(v, len, int64_t(d->arraySize));
        case SQL_DESC_ARRAY_STATUS_PTR:
            return PutPtr(d, v, bufLen, len, d->arrayStatusPtr);
        case SQL_DESC_BIND_OFFSET_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            return PutPtr(d, v, bufLen, len, d->bindOffsetPtr);
        case SQL_DESC_BIND_TYPE: {
            if (!app) return Fail(d, kErrDescTypeRange);
            // The field is 32 bits wide; a row size the attribute set beyond that is not cut.
            const uint64_t size = BindTypeOf(d);
            if (size > 0xFFFFFFFFull) return Fail(d, kErrNumericRange);
            return PutInt(v, len, int64_t(size));
        }
        case SQL_DESC_ROWS_PROCESSED_PTR:
            if (t == kDescIRD && stmt) return PutPtr(d, v, bufLen, len, stmt->rowsFetchedPtr);
            if (t == kDescIPD && stmt) return PutPtr(d, v, bufLen, len, stmt->paramsProcessedPtr);
            return Fail(d, kErrDescTypeRange);
        case SQL_DESC_COUNT:
            if (t == kDescIRD && stmt) {
                if (len) *len = 2;
                SQLSMALLINT n = 0;
                if (uint32_t rc = StmtNumResultCols(stmt, &n)) return Fail(d, rc);
                return PutShort(v, len, n);
            }
            return PutShort(v, len, d->count);
        case SQL_DESC_ALLOC_TYPE:
            return PutShort(v, len, d->allocKind);
        default:
            return Fail(d, kErrNotSupported);
    }
}

bool IsHeaderField(uint16_t f) {
    return f == SQL_DESC_ARRAY_SIZE || f == SQL_DESC_ARRAY_STATUS_PTR || f == SQL_DESC_BIND_OFFSET_PTR ||
           f == SQL_DESC_BIND_TYPE || f == SQL_DESC_ROWS_PROCESSED_PTR || f == SQL_DESC_COUNT ||
           f == SQL_DESC_ALLOC_TYPE;
}

// One read of a record field: the descriptor and the field asked for, where the answer comes
// from, and the application's buffer.
struct FieldRead {
    DescRecord* d;
    int16_t rec;
    uint16_t field;
    void* v;
    int64_t bufLen;
    int64_t* len;
    char mode;
    bool user;
    uint32_t t;  // the descriptor's type, 0 for one the application allocated
    bool app;
    StmtRecord* stmt;
    Source s{};
    int64_t given = 0;  // the agent's attribute value, read by attr()

    // SQL_SUCCESS, SQL_NO_DATA for a record beyond the count, or SQL_ERROR.
    SQLRETURN FindSource();
    // The field's answer; each group hands a field it does not know to the next.
    SQLRETURN TypeField();
    SQLRETURN NameField();
    SQLRETURN BufferField();

    bool needIrd() const { return t == kDescIRD; }
    bool attr() { return t == kDescIRD && !s.ird0 && ColumnAttrInt(stmt, field, uint16_t(rec), &given); }
    bool IrdOrIpd() const { return t == kDescIRD || t == kDescIPD; }
};

SQLRETURN FieldRead::FindSource() {
    if (t == kDescIRD && stmt) {
        SQLSMALLINT n = 0;
        if (uint32_t rc = StmtNumResultCols(stmt, &n)) return Fail(d, rc);
        if (rec > n) return SQL_NO_DATA;
        if (rec == 0) {
            s.ird0 = true;
        } else {
            const uint32_t saved = stmt->lastError;
            s.col = StmtResultCol(stmt, uint16_t(rec));
            if (!s.col) {
                stmt->lastError = saved;
                return Fail(d, kErrBadDescIndex);
            }
        }
        s.own = rec <= d->count && d->items ? &d->items[rec] : nullptr;
    } else {
        if (rec > d->count || !d->items) return SQL_NO_DATA;
        s.own = &d->items[rec];
        if (t == kDescARD && stmt && stmt->ard == d) s.bound = BoundColFind(uint16_t(rec), stmt);
        if (t == kDescAPD && stmt && stmt->apd == d) {
            s.param = ParamBindingAt(uint16_t(rec), stmt);
            s.apd = true;
        }
        if (t == kDescIPD && stmt) s.param = ParamBindingAt(uint16_t(rec), stmt);
        if (t == kDescIPD && stmt && StmtPrepared(stmt) && rec <= stmt->paramCount) {
            const uint32_t saved = stmt->lastError;
            s.col = StmtParamDesc(stmt, uint16_t(rec));
            stmt->lastError = saved;
        }
    }
    return SQL_SUCCESS;
}

SQLRETURN FieldRead::TypeField() {
    const bool irdOrIpd = IrdOrIpd();
    const ColumnInfo* c = s.col;
    DescItem* own = s.own;
    const int type = s.Type();
    switch (field) {
        case SQL_DESC_CONCISE_TYPE:
            return PutShort(v, len, s.ird0 ? SQL_CHAR : type);
        case SQL_DESC_TYPE:
            if (s.ird0) return PutShort(v, len, SQL_CHAR);
            if (s.OwnOnly()) return PutShort(v, len, own ? own->type : 0);
            return PutShort(v, len, SqlVerboseType(type));
        case SQL_DESC_DISPLAY_SIZE:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            return Put64(v, len, s.ird0 ? 8 : int64_t(c->display_size));
        case SQL_DESC_UNSIGNED:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return PutShort(v, len, 1);
            if (c) return PutShort(v, len, UnsignedKind(c->value_kind) ? 1 : 0);
            return PutShort(v, len, own ? own->unsignedFlag : 0);
        case SQL_DESC_FIXED_PREC_SCALE:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return PutShort(v, len, 0);
            if (c) {
                const int ct = c->sql_type;
                const bool fixed = (ct == SQL_NUMERIC || ct == SQL_DECIMAL || ct == SQL_INTEGER || ct == SQL_SMALLINT ||
                                    ct == SQL_TINYINT || ct == SQL_BIGINT) &&
                                   c->scale != 0;
                return PutShort(v, len, fixed ? 1 : 0);
            }
            return PutShort(v, len, own ? own->fixedPrecScale : 0);
        case SQL_DESC_UPDATABLE: {
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return PutShort(v, len, 0);
            if (c) StmtDescribeNames(stmt);
            if (attr()) return PutShort(v, len, given);
            const uint32_t u = (c->nullable >> 4) & 0xF;
            return PutShort(v, len, u ? int64_t(u) - 1 : SQL_ATTR_READWRITE_UNKNOWN);
        }
        case SQL_DESC_AUTO_UNIQUE_VALUE:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            return PutInt(v, len, attr() ? given : 0);
        case SQL_DESC_CASE_SENSITIVE:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            if (t == kDescIPD || s.ird0) return PutInt(v, len, 1);
            if (attr()) return PutInt(v, len, given);
            return PutInt(v, len, SqlTypeIsText(type));
        case SQL_DESC_SEARCHABLE: {
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return PutShort(v, len, 0);
            if (attr()) return PutShort(v, len, given);
            int sv = SQL_PRED_BASIC;
            if (SqlTypeIsShortText(type))
                sv = SQL_SEARCHABLE;
            else if (SqlTypeIsBinary(type))
                sv = SQL_PRED_NONE;
            return PutShort(v, len, sv);
        }
        case SQL_DESC_DATETIME_INTERVAL_PRECISION:
            return PutInt(v, len, own ? own->datetimeIntervalPrecision : 0);
        case SQL_DESC_NUM_PREC_RADIX:
            if (user) return PutInt(v, len, own ? own->numPrecRadix : 0);
            if (s.ird0) return PutInt(v, len, 0);
            if (s.OwnOnly()) return PutInt(v, len, own ? own->numPrecRadix : 0);
            return PutInt(v, len, RadixOf(type));
        case SQL_DESC_PARAMETER_TYPE:
            if (t != kDescIPD) return Fail(d, kErrDescTypeRange);
            if (s.param) return PutShort(v, len, s.param->direction);
            return PutShort(v, len, own ? own->parameterType : 0);
        case SQL_DESC_ROWVER:
        case kColAttrKeyColumn:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (field == kColAttrKeyColumn && c && !s.ird0) StmtDescribeNames(stmt);
            return PutShort(v, len, attr() ? given : 0);
        case SQL_DESC_PRECISION:
            if (app) return PutShort(v, len, own->precision);
            if (s.ird0) return PutShort(v, len, 0);
            if (c) {
                if (RadixOf(type) != 0) return PutShort(v, len, int64_t(c->column_size));
                if (type == SQL_TIME || type == SQL_TIMESTAMP || type == SQL_TYPE_TIME || type == SQL_TYPE_TIMESTAMP ||
                    type == SQL_INTERVAL_SECOND)
                    return PutShort(v, len, c->scale);
                return PutShort(v, len, 0);
            }
            return PutShort(v, len, own ? own->precision : 0);
        case SQL_DESC_SCALE:
            if (app) return PutShort(v, len, own->scale);
            if (s.ird0) return PutShort(v, len, 0);
            if (c) return PutShort(v, len, (type == SQL_NUMERIC || type == SQL_DECIMAL) ? c->scale : 0);
            return PutShort(v, len, own ? own->scale : 0);
        case SQL_DESC_DATETIME_INTERVAL_CODE:
            if (user) return PutShort(v, len, own->datetimeIntervalCode);
            if (s.ird0) return PutShort(v, len, 0);
            if (s.OwnOnly()) return PutShort(v, len, own ? own->datetimeIntervalCode : 0);
            return PutShort(v, len, SqlDateTimeIntervalCode(type));
        case SQL_DESC_NULLABLE:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            if (t == kDescIPD) return PutShort(v, len, SQL_NULLABLE);
            if (s.ird0) return PutShort(v, len, 0);
            return PutShort(v, len, c->nullable & 0xF);
        case SQL_DESC_UNNAMED:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return PutShort(v, len, 0);
            if (t == kDescIRD) return PutShort(v, len, ColumnName(c)[0] ? SQL_NAMED : SQL_UNNAMED);
            return PutShort(v, len, own ? own->unnamed : 0);
        default:
            return NameField();
    }
}

SQLRETURN FieldRead::NameField() {
    const bool irdOrIpd = IrdOrIpd();
    const ColumnInfo* c = s.col;
    DescItem* own = s.own;
    switch (field) {
        case SQL_DESC_TYPE_NAME:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            return TypeInfoText(d, s, field, rec, 1, v, bufLen, len, mode);
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return DescPutText(d, "", v, bufLen, len, mode);
            return TypeInfoText(d, s, field, rec, field == SQL_DESC_LITERAL_PREFIX ? 4 : 5, v, bufLen, len, mode);
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (c) StmtDescribeNames(stmt);
            return DescPutText(d, c ? c->table : "", v, bufLen, len, mode);
        case SQL_DESC_SCHEMA_NAME:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (c) StmtDescribeNames(stmt);
            return DescPutText(d, c ? c->schema : "", v, bufLen, len, mode);
        case SQL_DESC_CATALOG_NAME:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (c) StmtDescribeNames(stmt);
            return DescPutText(d, c ? c->catalog : "", v, bufLen, len, mode);
        case SQL_DESC_LABEL:
        case SQL_DESC_BASE_COLUMN_NAME:
            if (!needIrd()) return Fail(d, kErrDescTypeRange);
            if (field == SQL_DESC_BASE_COLUMN_NAME && c && !s.ird0) StmtDescribeNames(stmt);
            // An expression has no base column.
            if (field == SQL_DESC_BASE_COLUMN_NAME && !s.ird0 &&
                ColumnAttrInt(stmt, kColAttrExpression, uint16_t(rec), &given) && given == 1)
                return DescPutText(d, "", v, bufLen, len, mode);
            // The column's name in its table, where the agent could tell it (an alias is not it).
            if (const char* base = nullptr; field == SQL_DESC_BASE_COLUMN_NAME && !s.ird0 &&
                                            ColumnAttrText(stmt, SQL_DESC_BASE_COLUMN_NAME, uint16_t(rec), &base))
                return DescPutText(d, base, v, bufLen, len, mode);
            return DescPutText(d, s.ird0 ? "BOOKMARK" : ColumnName(c), v, bufLen, len, mode);
        case SQL_DESC_LOCAL_TYPE_NAME:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            return DescPutText(d, "", v, bufLen, len, mode);
        case SQL_DESC_NAME:
            if (!irdOrIpd) return Fail(d, kErrDescTypeRange);
            if (s.ird0) return DescPutText(d, "BOOKMARK", v, bufLen, len, mode);
            if (t == kDescIRD) return DescPutText(d, ColumnName(c), v, bufLen, len, mode);
            return DescPutText(d, own ? own->name : "", v, bufLen, len, mode);
        default:
            return BufferField();
    }
}

SQLRETURN FieldRead::BufferField() {
    const ColumnInfo* c = s.col;
    DescItem* own = s.own;
    const int type = s.Type();
    switch (field) {
        case SQL_DESC_LENGTH:
        case SQL_DESC_OCTET_LENGTH: {
            const bool octet = field == SQL_DESC_OCTET_LENGTH;
            if (s.ird0) return Put64(v, len, 8);
            if (c) {
                int64_t size = c->column_size;
                if (octet) {
                    if (SqlTypeIsWideText(type)) size *= 2;
                    return Put64(v, len, OctetLengthOf(type, size));
                }
                if (SqlTypeIsShortText(type) || IsSizedType(type)) return Put64(v, len, size);
                return Put64(v, len, 0);
            }
            if (s.bound) {
                const int64_t buf = s.bound->b.bufferLength;
                if (octet) return Put64(v, len, OctetLengthOf(type, buf));
                if (SqlTypeIsShortText(type)) return Put64(v, len, (SqlTypeIsWideText(type) ? buf / 2 : buf) - 1);
                if (IsSizedType(type)) return Put64(v, len, buf - 1);
                return Put64(v, len, 0);
            }
            if (s.param && s.apd) {
                if (octet) return Put64(v, len, OctetLengthOf(type, s.param->bufferLength));
                const int64_t size = s.param->elementSize;
                if (SqlTypeIsShortText(type) || IsSizedType(type)) return Put64(v, len, size);
                return Put64(v, len, 0);
            }
            if (!own) return Put64(v, len, 0);
            return Put64(v, len, octet ? own->octetLength : int64_t(own->length));
        }
        case SQL_DESC_OCTET_LENGTH_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            TV_INVARIANT(own != nullptr);  // an application descriptor's record exists (FindSource)
            if (s.param && s.apd) return PutPtr(d, v, bufLen, len, s.param->octetLengthPtr);
            return PutPtr(d, v, bufLen, len, s.bound ? s.bound->b.lengthPtr : own->octetLengthPtr);
        case SQL_DESC_INDICATOR_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            TV_INVARIANT(own != nullptr);
            if (s.param && s.apd) return PutPtr(d, v, bufLen, len, s.param->indicatorPtr);
            return PutPtr(d, v, bufLen, len, s.bound ? s.bound->b.indicatorPtr : own->indicatorPtr);
        case SQL_DESC_DATA_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            // An attached ARD holds a pointer only while the column is bound.
            if (t == kDescARD && stmt && stmt->ard == d)
                return PutPtr(d, v, bufLen, len, s.bound ? s.bound->b.target : nullptr);
            if (t == kDescAPD && stmt && stmt->apd == d)
                return PutPtr(d, v, bufLen, len, s.param ? s.param->boundValue : nullptr);
            return PutPtr(d, v, bufLen, len, own->dataPtr);
        default:
            return Fail(d, kErrNotSupported);
    }
}

}  // namespace

SQLRETURN DescGetField(DescRecord* d, int16_t rec, uint16_t field, void* v, int64_t bufLen, int64_t* len, char mode) {
    if (GwTraceOn()) GwTrace("Descriptor Type: %s", DescTraceName(d));
    if (IsHeaderField(field)) return GetHeader(d, field, v, bufLen, len);

    const bool user = d->allocKind == SQL_DESC_ALLOC_USER;
    const uint32_t t = user ? 0 : d->descType;
    if (rec < 0 || (rec == 0 && (t == kDescIPD || t == kDescAPD))) return Fail(d, kErrBadDescIndex);
    FieldRead r{d, rec, field, v, bufLen, len, mode, user, t, DescIsApp(d), d->stmt};
    if (SQLRETURN rc = r.FindSource(); rc != SQL_SUCCESS) return rc;
    return r.TypeField();
}

// ---- writing ------------------------------------------------------------------------------

namespace {

// The precision, scale and length that SQL_DESC_TYPE and SQL_DESC_CONCISE_TYPE give a record of
// a type other than the datetime and interval ones; false for a type outside the table.
bool PlainTypeDefaults(DescItem& it, int t) {
    if (SqlTypeIsText(t)) {
        it.length = 1;
        it.precision = 0;
        return true;
    }
    switch (t) {
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            it.scale = 0;
            it.precision = 38;
            return true;
        case SQL_FLOAT:
            it.precision = 53;
            return true;
        case SQL_REAL:
            it.precision = 24;
            return true;
        case SQL_C_UTINYINT:
        case SQL_C_UBIGINT:
        case SQL_C_STINYINT:
        case SQL_C_SBIGINT:
        case SQL_C_ULONG:
        case SQL_C_USHORT:
        case SQL_C_SLONG:
        case SQL_C_SSHORT:
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_BIGINT:
        case SQL_LONGVARBINARY:
        case SQL_VARBINARY:
        case SQL_BINARY:
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_DOUBLE:
        case SQL_C_DEFAULT:
            return true;
        default:
            return false;
    }
}

// SQL_DESC_CONCISE_TYPE: false for a type outside the table.
bool ApplyConcise(DescItem& it, int ct) {
    if (SqlTypeIsInterval(ct)) {
        it.type = SQL_INTERVAL;
        it.datetimeIntervalCode = int16_t(SqlDateTimeIntervalCode(ct));
        it.datetimeIntervalPrecision = 2;
        if (SqlIntervalHasSeconds(ct)) it.precision = 6;
        return true;
    }
    switch (ct) {
        case SQL_DATE:
        case SQL_TYPE_DATE:
            it.type = SQL_DATETIME;
            it.datetimeIntervalCode = SQL_CODE_DATE;
            it.precision = 0;
            return true;
        case SQL_TIME:
        case SQL_TYPE_TIME:
            it.type = SQL_DATETIME;
            it.datetimeIntervalCode = SQL_CODE_TIME;
            it.precision = 0;
            return true;
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            it.type = SQL_DATETIME;
            it.datetimeIntervalCode = SQL_CODE_TIMESTAMP;
            it.precision = 6;
            return true;
        case SQL_C_DEFAULT:
            it.type = SQL_C_DEFAULT;
            return true;
        default:
            if (!PlainTypeDefaults(it, ct)) return false;
            it.type = int16_t(ct);
            it.datetimeIntervalCode = 0;
            return true;
    }
}

// SQL_DESC_TYPE: false for a type outside the table.
bool ApplyType(DescItem& it, int t) {
    switch (t) {
        case SQL_DATETIME: {
            const int code = it.datetimeIntervalCode;
            if (code >= SQL_CODE_DATE && code <= SQL_CODE_TIMESTAMP) {
                it.conciseType = int16_t(SQL_TYPE_DATE - SQL_CODE_DATE + code);
                it.precision = code == SQL_CODE_TIMESTAMP ? 6 : 0;
            }
            return true;
        }
        case SQL_INTERVAL: {
            const int code = it.datetimeIntervalCode;
            if (code >= SQL_CODE_YEAR && code <= SQL_CODE_MINUTE_TO_SECOND) {
                it.conciseType = int16_t(SQL_INTERVAL_YEAR - SQL_CODE_YEAR + code);
                it.datetimeIntervalPrecision = 2;
                if (code == SQL_CODE_SECOND || code == SQL_CODE_DAY_TO_SECOND || code == SQL_CODE_HOUR_TO_SECOND ||
                    code == SQL_CODE_MINUTE_TO_SECOND)
                    it.precision = 6;
            }
            return true;
        }
        default:
            if (!PlainTypeDefaults(it, t)) return false;
            it.conciseType = int16_t(t);
            return true;
    }
}

// Columns (ARD) or parameters (APD) above n lose their binding.
void UnbindAbove(StmtRecord* stmt, bool row, uint16_t n, uint16_t oldCount) {
    if (row) {
        for (BoundCol* b = stmt->boundCols; b;) {
            BoundCol* next = b->next;
            if (b->b.column > n) BoundColRemove(stmt, b->b);
            b = next;
        }
    } else {
        for (uint32_t k = uint32_t(n) + 1; k <= oldCount; ++k) ParamUnbind(stmt, uint16_t(k));
    }
}

// A failure of a field that lives on the statement is reported on both handles.
SQLRETURN StmtFail(DescRecord* d, StmtRecord* stmt, uint32_t row) {
    Fail(stmt, row);
    return Fail(d, row);
}

SQLRETURN SetHeader(StmtRecord* stmt, bool app, bool row, bool attached, DescRecord* d, int16_t field, int64_t value) {
    const bool user = d->allocKind == SQL_DESC_ALLOC_USER;
    const uint32_t t = user ? 0 : d->descType;
    const bool ard = attached && app && row;
    const bool apd = attached && app && !row;
    void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
    switch (field) {
        case SQL_DESC_ARRAY_SIZE:
            if (!app) return Fail(d, kErrDescTypeRange);
            if (value == 0) return SQL_SUCCESS;
            d->arraySize = SQLULEN(value);
            if (ard) {
                SQLRETURN rc = StmtOptionSet(stmt, SQL_ROWSET_SIZE, uint64_t(value));
                // A size refused or substituted (01S02) is answered on the descriptor too.
                if (rc != SQL_SUCCESS) d->lastError = uint32_t(stmt->lastError);
                return rc;
            }
            if (apd) {
                if (uint32_t rc =
                        StmtSetParamsetSize(stmt, uint64_t(value), stmt->ipd ? stmt->ipd->rowsProcessedPtr : nullptr))
                    return StmtFail(d, stmt, rc);
            }
            return SQL_SUCCESS;
        case SQL_DESC_ARRAY_STATUS_PTR:
            d->arrayStatusPtr = static_cast<SQLUSMALLINT*>(p);
            return SQL_SUCCESS;
        case SQL_DESC_BIND_OFFSET_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            d->bindOffsetPtr = static_cast<SQLLEN*>(p);
            return SQL_SUCCESS;
        case SQL_DESC_BIND_TYPE:
            if (!app) return Fail(d, kErrDescTypeRange);
            d->bindType = SQLULEN(value);
            if (ard) stmt->rowBindType = uint64_t(value);
            return SQL_SUCCESS;
        case SQL_DESC_ROWS_PROCESSED_PTR:
            if (t != kDescIRD && t != kDescIPD) return Fail(d, kErrDescTypeRange);
            // A null pointer clears it: the driver must stop writing into a released buffer.
            d->rowsProcessedPtr = static_cast<SQLULEN*>(p);
            if (attached && t == kDescIPD) {
                const uint64_t size = stmt->apd ? stmt->apd->arraySize : 1;
                if (uint32_t rc = StmtSetParamsetSize(stmt, size, d->rowsProcessedPtr)) return StmtFail(d, stmt, rc);
                // The parameter-set size may be refused while the pointer stays the application's.
                stmt->paramsProcessedPtr = d->rowsProcessedPtr;
            } else if (attached && t == kDescIRD) {
                stmt->rowsFetchedPtr = d->rowsProcessedPtr;
            }
            return SQL_SUCCESS;
        case SQL_DESC_COUNT: {
            if (t == kDescIRD) return Fail(d, kErrDescTypeRange);
            if (value < 0 || value > 0x7FFF) return Fail(d, kErrBadAttrValue);  // S1024
            const uint16_t n = uint16_t(value);
            const uint16_t old = d->count;
            if (n < old) {
                DescTruncate(d, n);
                d->count = n;
                // Records beyond the count are gone, and with them their bindings.
                if (attached && app) UnbindAbove(stmt, row, n, old);
            } else if (n > old) {
                if (uint32_t rc = DescGrow(d, n)) return Fail(d, rc);
                if (apd && stmt->ipd && stmt->ipd->count < n) {
                    if (uint32_t rc = DescGrow(stmt->ipd, n)) return Fail(d, rc);
                }
            }
            return SQL_SUCCESS;
        }
        default:
            return Fail(d, kErrNotSupported);
    }
}

// SQL_DESC_DATA_PTR: on an attached ARD or APD the record's pointer binds (or unbinds) the
// column or parameter at once.
SQLRETURN SetDataPtr(StmtRecord* stmt, DescRecord* d, int16_t rec, DescItem& it, void* p, bool ipd, bool ard,
                     bool apd) {
    if (ipd) return SQL_SUCCESS;
    it.dataPtr = p;
    if (ard) {
        // The column-binding call writes the record with one length/indicator pointer;
        // the record's own two are put back after it.
        const DescItem keep = it;
        uint32_t rc;
        if (p) {
            rc = BindColCore(stmt, uint16_t(rec), keep.conciseType, p, keep.octetLength, keep.indicatorPtr);
        } else {
            rc = BindColCore(stmt, uint16_t(rec), keep.conciseType, nullptr, 0, nullptr);
        }
        DescItem& again = d->items[rec];
        again.octetLengthPtr = keep.octetLengthPtr;
        again.indicatorPtr = keep.indicatorPtr;
        again.octetLength = keep.octetLength;
        if (rc) return StmtFail(d, stmt, rc);
        if (BoundCol* b = BoundColFind(uint16_t(rec), stmt)) {
            b->b.lengthPtr = keep.octetLengthPtr;
            b->b.indicatorPtr = keep.indicatorPtr;
        }
    } else if (apd) {
        if (!p) {
            ParamUnbind(stmt, uint16_t(rec));
            return SQL_SUCCESS;
        }
        if (DescBindParamRecord(stmt, d, uint16_t(rec)) != SQL_SUCCESS) {
            d->lastError = uint32_t(stmt->lastError);
            return SQL_ERROR;
        }
    }
    return SQL_SUCCESS;
}

// SQL_DESC_NAME: the record keeps a UTF-8 copy of the name.
SQLRETURN SetName(DescRecord* d, DescItem& it, bool app, const void* p, int32_t len, char mode) {
    if (app) return Fail(d, kErrDescTypeRange);
    if (!p) return SQL_SUCCESS;
    char* copy = nullptr;
    if (mode == 'W') {
        copy = WideToUtf8Dup(static_cast<const SQLWCHAR*>(p), len == SQL_NTS ? long(SQL_NTS) : long(len / 2));
    } else if (len == SQL_NTS) {
        copy = strdup(static_cast<const char*>(p));
    } else if (len >= 0) {
        copy = static_cast<char*>(malloc(size_t(len) + 1));
        if (copy) {
            std::memcpy(copy, p, size_t(len));
            copy[len] = '\0';
        }
    } else {
        return Fail(d, kErrBadLength);
    }
    if (!copy) return Fail(d, kErrNoMemory);
    free(it.name);
    it.name = copy;
    if (copy[0]) it.unnamed = SQL_NAMED;
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN DescSetField(StmtRecord* stmt, bool app, bool row, bool attached, DescRecord* d, int16_t rec, int16_t field,
                       int64_t value, int32_t len, char mode) {
    if (!stmt) attached = false;
    if (IsHeaderField(uint16_t(field))) return SetHeader(stmt, app, row, attached, d, field, value);

    const bool user = d->allocKind == SQL_DESC_ALLOC_USER;
    const uint32_t t = user ? 0 : d->descType;
    const bool ipd = t == kDescIPD;
    const bool ard = attached && app && row;
    const bool apd = attached && app && !row;
    if (t == kDescIRD) return Fail(d, kErrImplementationRow);  // S1016
    if (rec < 0 || (rec == 0 && !row)) return Fail(d, kErrBadDescIndex);
    if (rec > d->count) {
        if (uint32_t rc = DescGrow(d, uint16_t(rec))) return Fail(d, rc);
        if (apd && stmt->ipd && stmt->ipd->count < rec) {
            if (uint32_t rc = DescGrow(stmt->ipd, uint16_t(rec))) return Fail(d, rc);
        }
    }
    DescItem& it = d->items[rec];
    BoundCol* bound = ard ? BoundColFind(uint16_t(rec), stmt) : nullptr;
    if (field != SQL_DESC_OCTET_LENGTH_PTR && field != SQL_DESC_INDICATOR_PTR && field != SQL_DESC_DATA_PTR) {
        // Any other change leaves the column or parameter unbound until the data pointer is set again.
        if (bound) bound->b.target = nullptr;
        if (apd) ParamUnbind(stmt, uint16_t(rec));
    }
    void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(value));
    // An attached IPD carries its changes into the parameter's binding, whose description the
    // next execution then sends again.
    ParamBinding* pb = (attached && (ipd || apd)) ? ParamBindingAt(uint16_t(rec), stmt) : nullptr;
    auto ipdBinding = [&](auto change) {
        if (!ipd || !pb) return;
        ParamBinding copy = *pb;
        change(copy);
        ParamBindingSet(stmt, copy);
    };
    switch (field) {
        case SQL_DESC_CONCISE_TYPE:
            if (value != 0) {
                it.conciseType = int16_t(value);
                if (!ApplyConcise(it, int(int16_t(value)))) return Fail(d, kErrOptionRange);
            }
            if (ipd) it.parameterType = SQL_PARAM_INPUT;
            ipdBinding([&](ParamBinding& b) { b.sqlType = it.conciseType; });
            return SQL_SUCCESS;
        case SQL_DESC_TYPE:
            if (value == 0) return SQL_SUCCESS;
            it.type = int16_t(value);
            if (!ApplyType(it, int(int16_t(value)))) return Fail(d, kErrOptionRange);
            ipdBinding([&](ParamBinding& b) { b.sqlType = it.conciseType; });
            return SQL_SUCCESS;
        case SQL_DESC_DATETIME_INTERVAL_PRECISION:
            if (value != 0) it.datetimeIntervalPrecision = int32_t(value);
            return SQL_SUCCESS;
        case SQL_DESC_NUM_PREC_RADIX:
            if (value != 0) it.numPrecRadix = int32_t(value);
            return SQL_SUCCESS;
        case SQL_DESC_PARAMETER_TYPE:
            if (app) return Fail(d, kErrDescTypeRange);
            if (value == 0) return SQL_SUCCESS;
            it.parameterType = int16_t(value);
            ipdBinding([&](ParamBinding& b) { b.direction = uint16_t(value); });
            return SQL_SUCCESS;
        case SQL_DESC_LENGTH:
            if (value == 0) return SQL_SUCCESS;
            it.length = uint64_t(value);
            ipdBinding([&](ParamBinding& b) {
                if (DescLengthIsColumnSize(b.sqlType)) b.columnSize = it.length;
            });
            return SQL_SUCCESS;
        case SQL_DESC_OCTET_LENGTH:
            if (value == 0) return SQL_SUCCESS;
            it.octetLength = value;
            ipdBinding([&](ParamBinding& b) { b.sqlType = it.conciseType; });
            return SQL_SUCCESS;
        case SQL_DESC_PRECISION:
            if (value == 0) return SQL_SUCCESS;
            it.precision = int16_t(value);
            ipdBinding([&](ParamBinding& b) {
                if (b.sqlType == SQL_NUMERIC || b.sqlType == SQL_DECIMAL)
                    b.columnSize = uint64_t(uint16_t(it.precision));
                else if (SqlVerboseType(b.sqlType) == SQL_DATETIME || SqlVerboseType(b.sqlType) == SQL_INTERVAL)
                    b.decimalDigits = it.precision;
            });
            return SQL_SUCCESS;
        case SQL_DESC_SCALE:
            // 0 is a scale like any other: a record must be able to go back to it.
            it.scale = int16_t(value);
            // A datetime's digits are its precision: only exact numbers take their scale.
            ipdBinding([&](ParamBinding& b) {
                if (b.sqlType == SQL_NUMERIC || b.sqlType == SQL_DECIMAL) b.decimalDigits = it.scale;
            });
            return SQL_SUCCESS;
        case SQL_DESC_DATETIME_INTERVAL_CODE:
            if (value != 0) {
                it.datetimeIntervalCode = int16_t(value);
                if (it.type == SQL_DATETIME)
                    it.conciseType = int16_t(value + (SQL_TYPE_DATE - SQL_CODE_DATE));
                else if (it.type == SQL_INTERVAL)
                    it.conciseType = int16_t(value + (SQL_INTERVAL_YEAR - SQL_CODE_YEAR));
            }
            return SQL_SUCCESS;
        case SQL_DESC_OCTET_LENGTH_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            it.octetLengthPtr = static_cast<SQLLEN*>(p);
            if (bound) bound->b.lengthPtr = it.octetLengthPtr;
            if (apd && pb) pb->octetLengthPtr = it.octetLengthPtr;
            return SQL_SUCCESS;
        case SQL_DESC_INDICATOR_PTR:
            if (!app) return Fail(d, kErrDescTypeRange);
            it.indicatorPtr = static_cast<SQLLEN*>(p);
            if (bound) bound->b.indicatorPtr = it.indicatorPtr;
            if (apd && pb) pb->indicatorPtr = it.indicatorPtr;
            return SQL_SUCCESS;
        case SQL_DESC_DATA_PTR:
            return SetDataPtr(stmt, d, rec, it, p, ipd, ard, apd);
        case SQL_DESC_NAME:
            return SetName(d, it, app, p, len, mode);
        case SQL_DESC_UNNAMED:
            if (value == 0) return SQL_SUCCESS;
            if (app || value != SQL_UNNAMED) return Fail(d, kErrDescTypeRange);
            it.unnamed = SQL_UNNAMED;
            return SQL_SUCCESS;
        default:
            return Fail(d, kErrNotSupported);
    }
}

SQLRETURN DescSetFieldDispatch(DescRecord* d, int16_t rec, int16_t field, int64_t value, int32_t len, char mode) {
    switch (field) {
        case SQL_DESC_DISPLAY_SIZE:
        case SQL_DESC_UNSIGNED:
        case SQL_DESC_FIXED_PREC_SCALE:
        case SQL_DESC_UPDATABLE:
        case SQL_DESC_AUTO_UNIQUE_VALUE:
        case SQL_DESC_CASE_SENSITIVE:
        case SQL_DESC_SEARCHABLE:
        case SQL_DESC_TYPE_NAME:
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_SCHEMA_NAME:
        case SQL_DESC_CATALOG_NAME:
        case SQL_DESC_LABEL:
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
        case SQL_DESC_LOCAL_TYPE_NAME:
        case SQL_DESC_NULLABLE:
        case SQL_DESC_ALLOC_TYPE:
            return Fail(d, kErrDescTypeRange);
        default:
            break;
    }
    if (GwTraceOn()) GwTrace("Descriptor Type: %s", DescTraceName(d));
    if (d->allocKind == SQL_DESC_ALLOC_USER) {
        // Only statements of the descriptor's own connection can use it, and its call lock is
        // held, so that connection's list is walked.
        bool used = false;
        if (ConnRecord* conn = d->conn) {
            for (StmtRecord* s = conn->stmts; s; s = s->next) {
                if (s->tag != kTagStmt) continue;
                SQLRETURN rc = SQL_SUCCESS;
                if (s->ard == d) {
                    used = true;
                    rc = DescSetField(s, true, true, true, d, rec, field, value, len, mode);
                } else if (s->apd == d) {
                    used = true;
                    rc = DescSetField(s, true, false, true, d, rec, field, value, len, mode);
                }
                if (rc != SQL_SUCCESS) return rc;
            }
        }
        if (!used) return DescSetField(nullptr, true, false, false, d, rec, field, value, len, mode);
        return SQL_SUCCESS;
    }
    StmtRecord* stmt = d->stmt;
    const uint32_t t = d->descType;
    // The implicit ARD or APD that the application replaced by its own is not the statement's.
    bool attached = stmt != nullptr;
    if (stmt && t == kDescARD && stmt->ard != d) attached = false;
    if (stmt && t == kDescAPD && stmt->apd != d) attached = false;
    return DescSetField(stmt, t == kDescARD || t == kDescAPD, t == kDescARD || t == kDescIRD, attached, d, rec, field,
                        value, len, mode);
}

// ---- entry points -------------------------------------------------------------------------

namespace {
DescRecord* Desc(HandleBase* r) { return static_cast<DescRecord*>(r); }

// A failure the statement recorded is reported on the descriptor the application called.
SQLRETURN TakeStmtError(DescRecord* d, SQLRETURN rc) {
    if (rc == SQL_ERROR && d->lastError == 0 && d->stmt) d->lastError = uint32_t(d->stmt->lastError);
    return rc;
}
}  // namespace

bool DescFieldTakesText(int16_t field) { return field == SQL_DESC_NAME; }

SQLRETURN ImplGetDescField(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER bufLen,
                           SQLINTEGER* lenPtr, TextMode mode) {
    DescRecord* d = Desc(record);
    int64_t len = 0;
    SQLRETURN rc = DescGetField(d, rec, uint16_t(field), value, bufLen, &len, mode);
    if (lenPtr && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) *lenPtr = SQLINTEGER(len);
    return rc;
}

SQLRETURN ImplSetDescField(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER len,
                           TextMode mode) {
    DescRecord* d = Desc(record);
    const int64_t v = int64_t(reinterpret_cast<intptr_t>(value));
    return TakeStmtError(d, DescSetFieldDispatch(d, rec, field, v, len, mode));
}

SQLRETURN ImplGetDescRec(HandleBase* record, SQLSMALLINT rec, void* name, SQLSMALLINT bufLen, SQLSMALLINT* nameLen,
                         SQLSMALLINT* type, SQLSMALLINT* subType, SQLLEN* length, SQLSMALLINT* precision,
                         SQLSMALLINT* scale, SQLSMALLINT* nullable, TextMode mode) {
    DescRecord* d = Desc(record);
    SQLRETURN rc;
    if (type || subType) {
        SQLSMALLINT t = 0;
        if ((rc = DescGetField(d, rec, SQL_DESC_TYPE, &t, 2, nullptr, mode)) != SQL_SUCCESS) return rc;
        if (type) *type = t;
        SQLSMALLINT sub = 0;
        if (t == SQL_DATETIME || t == SQL_INTERVAL) {
            if ((rc = DescGetField(d, rec, SQL_DESC_DATETIME_INTERVAL_CODE, &sub, 2, nullptr, mode)) != SQL_SUCCESS)
                return rc;
        }
        if (subType) *subType = sub;
    }
    int64_t len64 = 0;
    if ((rc = DescGetField(d, rec, SQL_DESC_OCTET_LENGTH, &len64, 8, nullptr, mode)) != SQL_SUCCESS) return rc;
    if (length) *length = SQLLEN(len64);
    SQLSMALLINT sv = 0;
    if ((rc = DescGetField(d, rec, SQL_DESC_PRECISION, &sv, 2, nullptr, mode)) != SQL_SUCCESS) return rc;
    if (precision) *precision = sv;
    if ((rc = DescGetField(d, rec, SQL_DESC_SCALE, &sv, 2, nullptr, mode)) != SQL_SUCCESS) return rc;
    if (scale) *scale = sv;
    if (!DescIsImpl(d)) return SQL_SUCCESS;
    if ((rc = DescGetField(d, rec, SQL_DESC_NULLABLE, &sv, 2, nullptr, mode)) != SQL_SUCCESS) return rc;
    if (nullable) *nullable = sv;
    // The buffer length and the name length count characters in the wide form.
    const int64_t bytes = mode == 'W' ? int64_t(bufLen) * 2 : bufLen;
    int64_t nl = 0;
    rc = DescGetField(d, rec, SQL_DESC_NAME, name, bytes, &nl, mode);
    if (nameLen && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
        *nameLen = SQLSMALLINT(mode == 'W' ? nl / 2 : nl);
    return rc;
}

SQLRETURN ImplSetDescRec(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType, SQLLEN length,
                         SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data, SQLLEN* octPtr, SQLLEN* indPtr) {
    DescRecord* d = Desc(record);
    if (d->allocKind != SQL_DESC_ALLOC_USER && d->descType == kDescIRD) return Fail(d, kErrImplementationRow);
    auto set = [&](int16_t field, int64_t value) {
        return TakeStmtError(d, DescSetFieldDispatch(d, rec, field, value, 0, 'A'));
    };
    SQLRETURN rc;
    if ((rc = set(SQL_DESC_TYPE, type)) != SQL_SUCCESS) return rc;
    if (type == SQL_DATETIME || type == SQL_INTERVAL) {
        if ((rc = set(SQL_DESC_DATETIME_INTERVAL_CODE, subType)) != SQL_SUCCESS) return rc;
    }
    if ((rc = set(SQL_DESC_OCTET_LENGTH, length)) != SQL_SUCCESS) return rc;
    if ((rc = set(SQL_DESC_PRECISION, precision)) != SQL_SUCCESS) return rc;
    if ((rc = set(SQL_DESC_SCALE, scale)) != SQL_SUCCESS) return rc;
    if (DescIsApp(d)) {
        // The pointers go in before the data pointer so the binding it makes carries them.
        if ((rc = set(SQL_DESC_OCTET_LENGTH_PTR, int64_t(reinterpret_cast<intptr_t>(octPtr)))) != SQL_SUCCESS)
            return rc;
        if ((rc = set(SQL_DESC_INDICATOR_PTR, int64_t(reinterpret_cast<intptr_t>(indPtr)))) != SQL_SUCCESS) return rc;
    }
    return set(SQL_DESC_DATA_PTR, int64_t(reinterpret_cast<intptr_t>(data)));
}

namespace {

struct CopyStep {
    uint16_t field;
    int who;  // 0 any, 1 application, 2 implementation, 3 IPD
};

bool StepApplies(const DescRecord* d, int who) {
    switch (who) {
        case 1:
            return DescIsApp(d);
        case 2:
            return DescIsImpl(d);
        case 3:
            return d->allocKind != SQL_DESC_ALLOC_USER && d->descType == kDescIPD;
        default:
            return true;
    }
}

// True when the descriptor is used as a row descriptor of a statement that uses bookmarks.
bool RowWithBookmarks(const DescRecord* d) {
    if (d->allocKind == SQL_DESC_ALLOC_USER || !d->stmt) return false;
    if (d->descType != kDescARD && d->descType != kDescIRD) return false;
    return d->stmt->cursor.useBookmarks != 0;
}

}  // namespace

namespace {

// The copy itself, once the target is known to be the source connection's.
SQLRETURN CopyOnto(DescRecord* src, DescRecord* dst) {
    if (GwTraceOn()) GwTrace("Source Descriptor Type: %s", DescTraceName(src));
    if (dst->allocKind != SQL_DESC_ALLOC_USER && dst->descType == kDescIRD) return Fail(dst, kErrImplementationRow);
    if (src->allocKind != SQL_DESC_ALLOC_USER && src->descType == kDescIRD && src->stmt && !StmtPrepared(src->stmt))
        return Fail(dst, kErrSequence);
    if (src == dst) return SQL_SUCCESS;

    // Reads into a holder wide enough for any field; the narrow forms are widened by type.
    auto copy = [&](uint16_t field, int16_t rec) -> SQLRETURN {
        union {
            int64_t i64;
            int32_t i32;
            int16_t i16;
            void* p;
            char text[256];
        } h;
        std::memset(&h, 0, sizeof h);
        // The row size goes over whole: the field's 32-bit form would cut a larger one, or
        // sign-extend one past 2^31 into a stride no buffer has.
        if (field == SQL_DESC_BIND_TYPE)
            return DescSetFieldDispatch(dst, rec, SQL_DESC_BIND_TYPE, int64_t(BindTypeOf(src)), 0, 'A');
        int64_t len = 0;
        const bool text = field == SQL_DESC_NAME;
        SQLRETURN rc = DescGetField(src, rec, field, &h, text ? int64_t(sizeof h.text) : 8, &len, 'A');
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            // The source's reason, moved to the target where the copy answers.
            const uint32_t why = src->lastError.exchange(0);
            dst->lastError = why ? why : uint32_t(kErrGeneral);
            return rc;
        }
        int64_t value;
        if (text)
            value = int64_t(reinterpret_cast<intptr_t>(h.text));
        else if (len == 2)
            value = h.i16;
        else if (len == 4)
            value = h.i32;
        else
            value = h.i64;
        return DescSetFieldDispatch(dst, rec, int16_t(field), value, text ? int32_t(len) : 0, 'A');
    };

    static const CopyStep kHeader[] = {
        {SQL_DESC_ARRAY_SIZE, 1},      {SQL_DESC_ARRAY_STATUS_PTR, 0},
        {SQL_DESC_BIND_OFFSET_PTR, 1}, {SQL_DESC_BIND_TYPE, 1},
        {SQL_DESC_COUNT, 0},           {SQL_DESC_ROWS_PROCESSED_PTR, 2},
    };
    // A warning (a value the target substituted) does not end the copy: the rest is copied, and
    // the copy answers with the first warning's record.
    uint32_t warning = 0;
    auto goOn = [&](SQLRETURN rc) {
        if (rc == SQL_SUCCESS_WITH_INFO && warning == 0)
            warning = dst->lastError ? uint32_t(dst->lastError) : uint32_t(kErrGeneralWarning);
        return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
    };
    for (const CopyStep& s : kHeader) {
        if (!StepApplies(src, s.who) || !StepApplies(dst, s.who)) continue;
        if (s.field == SQL_DESC_COUNT && dst->count > 0) {
            // A copy replaces the target's records; a shorter source leaves none of the old ones.
            SQLRETURN rc = DescSetFieldDispatch(dst, 0, SQL_DESC_COUNT, 0, 0, 'A');
            if (!goOn(rc)) return rc;
        }
        SQLRETURN rc = copy(s.field, 0);
        if (!goOn(rc)) return rc;
    }
    static const CopyStep kRecord[] = {
        {SQL_DESC_TYPE, 0},
        {SQL_DESC_CONCISE_TYPE, 0},
        {SQL_DESC_DATETIME_INTERVAL_CODE, 0},
        {SQL_DESC_DATETIME_INTERVAL_PRECISION, 0},
        {SQL_DESC_INDICATOR_PTR, 1},
        {SQL_DESC_LENGTH, 0},
        {SQL_DESC_NAME, 2},
        {SQL_DESC_NUM_PREC_RADIX, 0},
        {SQL_DESC_OCTET_LENGTH, 0},
        {SQL_DESC_OCTET_LENGTH_PTR, 1},
        {SQL_DESC_PARAMETER_TYPE, 3},
        {SQL_DESC_PRECISION, 0},
        {SQL_DESC_SCALE, 0},
        {SQL_DESC_UNNAMED, 3},
        {SQL_DESC_DATA_PTR, 1},
    };
    const int16_t first = (RowWithBookmarks(src) && RowWithBookmarks(dst)) ? 0 : 1;
    for (int16_t rec = first; rec <= int16_t(dst->count); ++rec) {
        for (const CopyStep& s : kRecord) {
            if (!StepApplies(src, s.who) || !StepApplies(dst, s.who)) continue;
            SQLRETURN rc = copy(s.field, rec);
            if (rc == SQL_NO_DATA) break;
            if (!goOn(rc)) return rc;
        }
    }
    if (warning == 0) return SQL_SUCCESS;
    dst->lastError = warning;
    return SQL_SUCCESS_WITH_INFO;
}

}  // namespace

SQLRETURN ImplCopyDesc(HandleBase* record, SQLHDESC target) {
    DescRecord* src = Desc(record);
    uint32_t number = 0;
    if (!HandleNumber(target, &number)) return SQL_INVALID_HANDLE;
    // A target of another connection may be in another thread's call, or being freed there;
    // the table's lock keeps it alive while it is looked at, and only this connection's is used.
    HandleTableLock(&g_DescTable);
    auto* dst = static_cast<DescRecord*>(HandleTableGet(&g_DescTable, number));
    const bool live = dst && dst->tag == kTagDesc;
    const bool ours = live && DescOwnerConn(dst) == DescOwnerConn(src);
    HandleTableUnlock(&g_DescTable);
    if (!live) return SQL_INVALID_HANDLE;
    if (!ours) {
        src->lastError = kErrBadArg;
        return SQL_ERROR;
    }
    // The copy answers on its target: what the target held from an earlier call goes.
    if (dst != src) {
        if (dst->diags.head) DiagFreeAll(dst);
        dst->lastError = 0;
    }
    const SQLRETURN rc = CopyOnto(src, dst);
    // Every answer but success has its record on the target, where the application reads it.
    if ((rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) && dst->lastError == 0 && !dst->diags.head)
        dst->lastError = rc == SQL_ERROR ? kErrGeneral : kErrGeneralWarning;
    return rc;
}
