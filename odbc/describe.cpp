// SQLColAttribute and the ODBC 2 SQLColAttributes: column attributes from the statement's result
// descriptions, some through the implementation row descriptor; and the type-information look-up
// behind the type names and literal texts.
#include <cstring>

#include "drv_ingii/i-optable.h"
#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/desc.h"
#include "odbc/desc_field.h"
#include "odbc/sql_types.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/utf.h"
#include "util/errtable.h"

namespace {

// Copies a Dataset text cell as narrow text; false for a null or non-text cell.
bool CellText(const DatasetColumn& col, uint32_t row, char* buf, size_t size) {
    if (col.indicators && col.indicators[row] >= DS_IND_NULL) return false;
    const bool wide = DatasetKindIsWideText(col.kind);
    if (!wide && !DatasetKindIsNarrowText(col.kind)) return false;
    const DsBytes v = DatasetCellBytes(&col, DatasetCell(&col, row));
    if (wide) {
        size_t consumed = 0;
        const size_t used =
            v.size ? WideToUtf8N(reinterpret_cast<const SQLWCHAR*>(v.bytes), buf, v.size / 2, size - 1, &consumed) : 0;
        buf[used] = '\0';
        return true;
    }
    size_t n = v.size;
    if (col.kind == DS_CHAR)
        while (n > 0 && v.bytes[n - 1] == ' ') --n;
    if (n > size - 1) n = size - 1;
    if (n) std::memcpy(buf, v.bytes, n);
    buf[n] = '\0';
    return true;
}

}  // namespace

int LookupTypeInfo(ConnRecord* conn, uint16_t column, int16_t sqlType, char* buf, size_t size) {
    if (size) buf[0] = '\0';
    if (conn->state != kConnStateConnected) {
        conn->lastError = kErrNotOpen;
        return -1;
    }
    // An agent without type information has no names to give.
    if (!AgentSlotGet<DRV_DDTypeInfo>(&conn->link)) return 0;
    uint32_t h = 0;
    if (AgentCall<DRV_AllocStmt>(&conn->link, conn->agentConn, &h) != 0) return -1;
    int result = -1;
    if (AgentCall<DRV_DDTypeInfo>(&conn->link, h, uint16_t(sqlType)) == 0) {
        Dataset ds{};
        const ErrCode rc = AgentCall<DRV_FetchRows>(&conn->link, h, uint16_t(1), &ds);
        if (rc == 0 || rc == kErrNoData) {
            result = 0;
            if (rc == 0 && ds.rows_used > 0 && column >= 1 && column <= ds.col_count && size > 1)
                CellText(ds.cols[column - 1], 0, buf, size);
        }
        DatasetFree(&ds);
        AgentCall<DRV_CloseCursor>(&conn->link, h);
    }
    AgentCall<DRV_FreeStmt>(&conn->link, h);
    return result;
}

namespace {

StmtRecord* Stmt(HandleBase* r) { return static_cast<StmtRecord*>(r); }

int64_t ColumnLength(const ColumnInfo* c) {
    const int t = c->sql_type;
    int64_t size = c->column_size;
    if (SqlTypeIsWideText(t)) size *= 2;
    if (t == SQL_BIT) return 1;
    if (t == SQL_GUID) return 16;
    if (std::optional<int64_t> n = TransferOctetLength(t, size)) return *n;
    return SqlTypeIsInterval(t) ? 28 : SQL_NO_TOTAL;
}

SQLRETURN PutText(StmtRecord* stmt, const char* text, void* buf, int16_t bufLen, SQLSMALLINT* lenOut, char mode) {
    int64_t len = 0;
    SQLRETURN rc = DescPutText(stmt, text ? text : "", buf, bufLen, &len, mode);
    if (lenOut && rc != SQL_ERROR) *lenOut = SQLSMALLINT(len > 0x7FFF ? 0x7FFF : len);
    return rc;
}

// Reads an IRD field for the statement; the IRD's failure becomes the statement's.
SQLRETURN IrdRead(StmtRecord* stmt, int16_t column, uint16_t field, void* buf, int64_t bufLen, int64_t* len,
                  char mode) {
    DescRecord* ird = stmt->ird;
    if (!ird) return Fail(stmt, kErrGeneral);
    ird->lastError = 0;
    SQLRETURN rc = DescGetField(ird, column, field, buf, bufLen, len, mode);
    if (rc == SQL_NO_DATA) return Fail(stmt, kErrBadColumnNumber);  // S1002
    if (rc == SQL_ERROR)
        stmt->lastError = uint32_t(ird->lastError);
    else if (rc == SQL_SUCCESS_WITH_INFO)
        stmt->lastError = uint32_t(ird->lastError);
    return rc;
}

}  // namespace

SQLRETURN ColAttributesCore(StmtRecord* stmt, uint16_t column, uint16_t field, void* buf, int16_t bufLen,
                            SQLSMALLINT* lenOut, SQLLEN* num, char mode) {
    if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
    if (bufLen < 0) return Fail(stmt, kErrBadLength);
    if (field == SQL_COLUMN_COUNT) {
        SQLSMALLINT n = 0;
        if (uint32_t rc = StmtNumResultCols(stmt, &n)) return Fail(stmt, rc);
        if (num) *num = n;
        return SQL_SUCCESS;
    }
    ColumnInfo* c = StmtResultCol(stmt, column);
    if (!c) return SQL_ERROR;
    // Column 0 is a description made for this call.
    struct Owned {
        ColumnInfo* p;
        bool own;
        ~Owned() {
            if (own) ColumnInfoArrayFree(p, 1);
        }
    } hold{c, column == 0};
    if (!num && field != SQL_COLUMN_NAME && field < SQL_COLUMN_TYPE_NAME) return SQL_SUCCESS;
    auto put = [&](int64_t v) {
        if (num) *num = SQLLEN(v);
        return SQL_SUCCESS;
    };
    const int t = c->sql_type;
    int64_t given = 0;
    auto attr = [&]() { return column != 0 && ColumnAttrInt(stmt, field, column, &given); };
    switch (field) {
        case SQL_COLUMN_NAME:
        case SQL_COLUMN_LABEL:
            return PutText(stmt, (c->column && c->column[0]) ? c->column : c->name, buf, bufLen, lenOut, mode);
        case SQL_COLUMN_TYPE:
            return put(t);
        case SQL_COLUMN_LENGTH:
            return put(ColumnLength(c));
        case SQL_COLUMN_PRECISION:
            return put(c->column_size);
        case SQL_COLUMN_SCALE:
            return put(c->scale);
        case SQL_COLUMN_DISPLAY_SIZE:
            return put(c->display_size);
        case SQL_COLUMN_NULLABLE:
            return put(c->nullable & 0xF);
        case SQL_COLUMN_UNSIGNED: {
            const uint32_t k = c->value_kind;
            return put((k == DS_BIT || k == DS_UTINYINT || k == DS_USMALLINT || k == DS_UINTEGER) ? 1 : 0);
        }
        case SQL_COLUMN_MONEY:
            return put(0);
        case SQL_COLUMN_UPDATABLE: {
            if (column != 0) StmtDescribeNames(stmt);
            if (attr()) return put(given);
            const uint32_t u = (c->nullable >> 4) & 0xF;
            return put(u ? int64_t(u) - 1 : SQL_ATTR_READWRITE_UNKNOWN);
        }
        case SQL_COLUMN_AUTO_INCREMENT:
            return put(attr() ? given : 0);
        case SQL_COLUMN_CASE_SENSITIVE:
            return put(attr() ? given : 0);
        case SQL_COLUMN_SEARCHABLE: {
            if (attr()) return put(given);
            int v = SQL_PRED_BASIC;
            if (SqlTypeIsText(t))
                v = SqlTypeIsLong(t) ? SQL_PRED_CHAR : SQL_SEARCHABLE;
            else if (SqlTypeIsBinary(t))
                v = SQL_PRED_NONE;
            return put(v);
        }
        case SQL_COLUMN_TYPE_NAME: {
            if (!buf) return SQL_SUCCESS;
            int64_t len = 0;
            SQLRETURN rc = IrdRead(stmt, int16_t(column), SQL_DESC_TYPE_NAME, buf, bufLen, &len, mode);
            if (lenOut && rc != SQL_ERROR) *lenOut = SQLSMALLINT(len);
            return rc;
        }
        case SQL_COLUMN_TABLE_NAME:
        case SQL_COLUMN_OWNER_NAME:
        case SQL_COLUMN_QUALIFIER_NAME:
            if (column != 0) StmtDescribeNames(stmt);
            return PutText(stmt,
                           field == SQL_COLUMN_TABLE_NAME   ? c->table
                           : field == SQL_COLUMN_OWNER_NAME ? c->schema
                                                            : c->catalog,
                           buf, bufLen, lenOut, mode);
        case kColAttrKeyColumn:
            // Whether the column is a key column only the cursor layer's look-up tells.
            if (column != 0) StmtDescribeNames(stmt);
            return put(attr() ? given : 0);
        case SQL_DESC_ROWVER:
            return put(attr() ? given : 0);
        default:
            return put(0);
    }
}

SQLRETURN ImplColAttributes(HandleBase* record, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER buf,
                            SQLSMALLINT bufLen, SQLSMALLINT* lenOut, SQLLEN* num, TextMode mode) {
    StmtRecord* stmt = Stmt(record);
    return ColAttributesCore(stmt, column, field, buf, bufLen, lenOut, num, mode);
}

SQLRETURN ImplColAttribute(HandleBase* record, SQLUSMALLINT columnArg, SQLUSMALLINT field, SQLPOINTER buf,
                           SQLSMALLINT bufLen, SQLSMALLINT* lenOut, SQLLEN* num, TextMode mode) {
    StmtRecord* stmt = Stmt(record);
    const auto column = SQLSMALLINT(columnArg);

    if (column == 0 && stmt->cursor.useBookmarks) {
        switch (field) {
            case SQL_DESC_CONCISE_TYPE:
            case SQL_DESC_DISPLAY_SIZE:
            case SQL_DESC_UNSIGNED:
            case SQL_DESC_FIXED_PREC_SCALE:
            case SQL_DESC_UPDATABLE:
            case SQL_DESC_AUTO_UNIQUE_VALUE:
            case SQL_DESC_CASE_SENSITIVE:
            case SQL_DESC_SEARCHABLE:
            case SQL_DESC_NUM_PREC_RADIX:
            case SQL_DESC_ROWVER:
            case SQL_DESC_COUNT:
            case SQL_DESC_LENGTH:
            case SQL_DESC_PRECISION:
            case SQL_DESC_SCALE:
            case SQL_DESC_NULLABLE:
            case SQL_DESC_UNNAMED:
            case kColAttrKeyColumn:
                if (num) *num = 0;
                return SQL_SUCCESS;
            case SQL_DESC_TYPE:
                if (num) *num = 1;
                return SQL_SUCCESS;
            case SQL_DESC_OCTET_LENGTH:
                if (num) *num = 8;
                return SQL_SUCCESS;
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
            case SQL_DESC_NAME:
                if (buf && bufLen >= (mode == 'W' ? 2 : 1)) {
                    if (mode == 'W')
                        *static_cast<SQLWCHAR*>(buf) = 0;
                    else
                        *static_cast<char*>(buf) = 0;
                }
                if (lenOut) *lenOut = 0;
                return SQL_SUCCESS;
            default:
                break;
        }
    }
    switch (field) {
        case SQL_COLUMN_COUNT:
        case SQL_DESC_COUNT:
            return ColAttributesCore(stmt, column, SQL_COLUMN_COUNT, buf, bufLen, lenOut, num, mode);
        case SQL_COLUMN_NAME:
        case SQL_DESC_NAME:
            return ColAttributesCore(stmt, column, SQL_COLUMN_NAME, buf, bufLen, lenOut, num, mode);
        case SQL_COLUMN_NULLABLE:
        case SQL_DESC_NULLABLE:
            return ColAttributesCore(stmt, column, SQL_COLUMN_NULLABLE, buf, bufLen, lenOut, num, mode);
        case SQL_DESC_CONCISE_TYPE:
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION:
        case SQL_COLUMN_SCALE:
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
        case SQL_DESC_ROWVER:
        case kColAttrKeyColumn:
            return ColAttributesCore(stmt, column, field, buf, bufLen, lenOut, num, mode);
        case SQL_DESC_TYPE:
        case SQL_DESC_PRECISION:
        case SQL_DESC_SCALE:
        case SQL_DESC_UNNAMED:
        case SQL_DESC_LENGTH:
        case SQL_DESC_OCTET_LENGTH:
        case SQL_DESC_NUM_PREC_RADIX: {
            if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
            if (column <= 0) return Fail(stmt, kErrBadColumnNumber);
            if (lenOut) *lenOut = 0;
            if (!num) return SQL_SUCCESS;
            union {
                int64_t i64;
                int32_t i32;
                int16_t i16;
            } h{};
            int64_t len = 0;
            SQLRETURN rc = IrdRead(stmt, column, field, &h, 8, &len, mode);
            if (rc != SQL_SUCCESS) return rc;
            *num = SQLLEN(len == 2 ? h.i16 : len == 4 ? h.i32 : h.i64);
            if (lenOut) *lenOut = SQLSMALLINT(len);
            return SQL_SUCCESS;
        }
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
        case SQL_DESC_LOCAL_TYPE_NAME: {
            if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
            if (bufLen < 0) return Fail(stmt, kErrBadLength);
            if (column <= 0) return Fail(stmt, kErrBadColumnNumber);
            if (lenOut) *lenOut = 0;
            if (!buf) return SQL_SUCCESS;
            int64_t len = 0;
            SQLRETURN rc = IrdRead(stmt, column, field, buf, bufLen, &len, mode);
            if (lenOut && rc != SQL_ERROR) *lenOut = SQLSMALLINT(len);
            return rc;
        }
        default:
            if (GwTraceOn()) GwTrace("SQLColAttribute - unknown field identifier");
            return Fail(stmt, kErrDescTypeRange);
    }
}
