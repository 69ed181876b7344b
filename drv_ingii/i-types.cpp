// Ingres type mapping: result descriptors into descriptions, parameter values into descriptors.
#include "drv_ingii/i-types.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/ingutil.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/invariant.h"

uint32_t IIGetDescriptor(IngDescBlock* block, void* stmtHandle, IngDiagList* list) {
    block->stmtHandle = stmtHandle;
    block->count = 0;
    block->descs = nullptr;
    IIAPI_GETDESCRPARM gd{};
    gd.gd_stmtHandle = stmtHandle;
    IIapi_getDescriptor(&gd);
    uint32_t rc = IIWaitCompletion(&gd.gd_genParm, list);
    if (rc != 0) return rc;
    block->count = gd.gd_descriptorCount;
    block->descs = gd.gd_descriptor;
    return 0;
}

namespace {
struct Sizes {
    int32_t sql;
    uint32_t kind, size, display, length;
};

void Put(ColumnInfo* ci, Sizes z) {
    ci->sql_type = z.sql;
    ci->value_kind = z.kind;
    ci->column_size = z.size;
    ci->display_size = z.display;
    ci->length = z.length;
}
// Applications size their buffers from a timestamp's column size: "yyyy-mm-dd hh:mm:ss" and,
// with a declared fraction, the point and its digits.
uint16_t FractionDigits(const IIAPI_DESCRIPTOR& d) {
    return d.ds_precision > 0 ? uint16_t(d.ds_precision > 9 ? 9 : d.ds_precision) : 0;
}
uint32_t TimestampSize(const IIAPI_DESCRIPTOR& d) {
    uint16_t p = FractionDigits(d);
    return p == 0 ? 19u : 20u + p;
}
}  // namespace

void IngMapDescriptor(const IIAPI_DESCRIPTOR& d, bool unicodeConn, bool jet, ColumnInfo* ci) {
    const uint32_t L = d.ds_length;
    int16_t type = IngAbsType(d.ds_dataType);
    if (type == IIAPI_LTXT_TYPE) type = IIAPI_TXT_TYPE;
    ci->server_type = type;
    ci->nullable = d.ds_nullable == 1 ? 1 : 0;
    ci->scale = 0;
    switch (type) {
        case IIAPI_DATE_TYPE:
            Put(ci, {11, DS_TIMESTAMP, 19, 19, 6});
            break;
        case IIAPI_ADATE_TYPE:
            Put(ci, {9, DS_DATE, 10, 10, 6});
            break;
        case IIAPI_MNY_TYPE:
            Put(ci, {3, DS_DOUBLE, 12, 17, 8});
            ci->scale = 2;
            break;
        case IIAPI_TMWO_TYPE:
            Put(ci, {10, DS_TIME, 12, 12, 6});
            break;
        case IIAPI_TMTZ_TYPE:
            Put(ci, {10, DS_CHAR_LEN2, 16, 16, 16});
            break;
        case IIAPI_TIME_TYPE:
            Put(ci, {10, DS_TIME, 12, 12, 6});
            break;
        case IIAPI_TSWO_TYPE:
            Put(ci, {11, DS_TIMESTAMP, TimestampSize(d), TimestampSize(d), 6});
            ci->scale = FractionDigits(d);
            break;
        case IIAPI_DEC_TYPE: {
            uint32_t p = d.ds_precision > 0 ? uint32_t(d.ds_precision) : 0;
            uint32_t s = d.ds_scale > 0 ? uint32_t(d.ds_scale) : 0;
            Put(ci, {3, DS_CHAR_NTS, p, p + s + 2, p + s + 2});
            ci->scale = uint16_t(s);
            break;
        }
        case IIAPI_LOGKEY_TYPE:
        case IIAPI_TABKEY_TYPE:
            Put(ci, {1, DS_CHAR_NTS, 2 * L + 2, 2 * L + 2, 2 * L + 2});
            break;
        case IIAPI_TSTZ_TYPE:
            Put(ci, {11, DS_CHAR_LEN2, TimestampSize(d), 32, 32});
            ci->scale = FractionDigits(d);
            break;
        case IIAPI_TS_TYPE:
            Put(ci, {11, DS_TIMESTAMP, TimestampSize(d), TimestampSize(d), 6});
            ci->scale = FractionDigits(d);
            break;
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
            Put(ci, {1, DS_CHAR_NTS, L, L, L});
            break;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE: {
            uint32_t n = L >= 2 ? L - 2 : 0;
            Put(ci, {12, DS_CHAR_NTS, n, n, n});
            break;
        }
        case IIAPI_LVCH_TYPE:
            Put(ci, {-1, DS_CHAR_REF, 2147483646u, 2147483646u, 0});
            break;
        case IIAPI_BYTE_TYPE:
            Put(ci, {-2, DS_BINARY_LEN4, L, 2 * L, L});
            break;
        case IIAPI_VBYTE_TYPE: {
            uint32_t n = L >= 2 ? L - 2 : 0;
            Put(ci, {-3, DS_BINARY_LEN4, n, 2 * n, n});
            break;
        }
        case IIAPI_LBYTE_TYPE:
            Put(ci, {-4, DS_BINARY_REF, 2147483646u, 2147483646u, 0});
            break;
        // As narrow text a character takes up to three bytes: room for all of them, so that
        // non-ASCII text is never cut.
        case IIAPI_NCHA_TYPE:
            Put(ci, {unicodeConn ? -8 : 1, unicodeConn ? DS_WCHAR_NTS : DS_CHAR_NTS, L / 2, L / 2,
                     unicodeConn ? L / 2 : 3 * (L / 2)});
            break;
        case IIAPI_NVCH_TYPE: {
            uint32_t n = L >= 2 ? (L - 2) / 2 : 0;
            Put(ci, {unicodeConn ? -9 : 12, unicodeConn ? DS_WCHAR_NTS : DS_CHAR_NTS, n, n, unicodeConn ? n : 3 * n});
            break;
        }
        case IIAPI_LNVCH_TYPE:
            Put(ci, {unicodeConn ? -10 : -1, unicodeConn ? DS_WCHAR_REF : DS_CHAR_REF, 1073741823u, 1073741823u, 0});
            break;
        case IIAPI_INT_TYPE:
            switch (L) {
                case 1:
                    Put(ci, {-6, DS_TINYINT, 3, 4, 1});
                    break;
                case 2:
                    Put(ci, {5, DS_SMALLINT, 5, 6, 2});
                    break;
                case 4:
                    Put(ci, {4, DS_INTEGER, 10, 11, 4});
                    break;
                case 8:
                    Put(ci, {jet ? 2 : -5, DS_CHAR_LEN2, 19, 21, 22});
                    break;
                default:
                    IngLog(LOGL_ERROR, "unknown INT length %d", int(L));
                    Put(ci, {0, 0, 0, 0, 0});
            }
            break;
        case IIAPI_FLT_TYPE:
            switch (L) {
                case 4:
                    Put(ci, {7, DS_REAL, 7, 13, 4});
                    break;
                case 8:
                    Put(ci, {8, DS_DOUBLE, 15, 22, 8});
                    break;
                default:
                    IngLog(LOGL_ERROR, "unknown FLT length %d", int(L));
                    Put(ci, {0, 0, 0, 0, 0});
            }
            break;
        case IIAPI_INTYM_TYPE:
            Put(ci, {107, DS_CHAR_LEN2, 0, 7, 8});
            break;
        case IIAPI_INTDS_TYPE:
            Put(ci, {110, DS_CHAR_LEN2, 0, 10, 12});
            break;
        case IIAPI_BOOL_TYPE:
            Put(ci, {-7, DS_BIT, 1, 1, 0});
            break;
        default:
            IngLog(LOGL_ERROR, "unknown data type %d", int(type));
            Put(ci, {12, DS_CHAR_LEN2, 64, 64, 64});
    }
}

uint32_t IngDescribeResult(IngStmt* s, int mode, const IngDescBlock* block, ColumnInfo** out, uint16_t* count) {
    *out = nullptr;
    *count = 0;
    if (mode != kDescQuery && mode != kDescProcedure) return 0;
    const bool ret = mode == kDescProcedure && (s->state & kStmtReturnValue);
    uint32_t n = uint32_t(block->count > 0 ? block->count : 0) + (ret ? 1 : 0);
    if (n == 0) return 0;
    if (n > 0xFFFF) return kErrGeneral;
    ColumnInfo* arr = ColumnInfoArrayAlloc(uint16_t(n));
    if (arr == nullptr) return kErrNoMemory;
    uint32_t at = 0;
    if (ret) {
        ColumnInfo& r = arr[0];
        std::snprintf(r.name, sizeof r.name, "iiret");
        r.server_type = IIAPI_INT_TYPE;
        r.sql_type = 4;
        r.value_kind = DS_INTEGER;
        r.column_size = 10;
        r.display_size = 11;
        r.length = 4;
        r.nullable = 0;
        at = 1;
    }
    const bool unicode = s->conn->unicodeConn != 0;
    const bool jet = s->conn->dsn.jet != 0;
    for (int16_t i = 0; i < block->count; ++i, ++at) {
        const IIAPI_DESCRIPTOR& d = block->descs[i];
        ColumnInfo& ci = arr[at];
        const char* nm = d.ds_columnName;
        std::snprintf(ci.name, sizeof ci.name, "%.40s", nm && *nm ? nm : "(unknown)");
        if (nm != nullptr) {
            ci.column = strdup(nm);
            if (ci.column == nullptr) {
                ColumnInfoArrayFree(arr, uint16_t(n));
                return kErrNoMemory;
            }
        }
        IngMapDescriptor(d, unicode, jet, &ci);
    }
    *out = arr;
    *count = uint16_t(n);
    return 0;
}

void IngParamDescsFree(IngParamDescs* pd) {
    if (pd == nullptr) return;
    if (!pd->lent) std::free(pd->descs);
    pd->descs = nullptr;
    pd->count = 0;
    pd->room = 0;
    pd->lent = false;
}

void IngParamDescsKeep(IngStmt* s, IngParamDescs* pd) {
    if (!pd->lent && pd->descs != nullptr && pd->room > s->sendDescRoom) {
        std::free(s->sendDescs);
        s->sendDescs = pd->descs;
        s->sendDescRoom = pd->room;
        pd->descs = nullptr;
    }
    IngParamDescsFree(pd);
}

uint32_t IngLen4TextLength(const DatasetColumn& col, const uint8_t* cell) {
    uint32_t n;
    std::memcpy(&n, cell, 4);
    const uint32_t room = col.width >= 4 ? col.width - 4 : 0;
    return n < room ? n : room;
}

namespace {
// Stored length of a variable text or binary cell.
uint32_t PrefixLength(const uint8_t* cell, uint32_t kind) {
    if (kind == DS_CHAR_LEN2) {
        uint16_t n;
        std::memcpy(&n, cell, 2);
        return n;
    }
    uint32_t n;
    std::memcpy(&n, cell, 4);
    return n;
}

bool IsTextKind(uint32_t k) {
    return k == DS_CHAR || k == DS_CHAR_NTS || k == DS_CHAR_REF || k == DS_CHAR_LEN2 || k == DS_CHAR_LEN4;
}

// The Ingres type and length a parameter cell of the column's kind is sent as, before a long
// value becomes a long type; false for a kind that cannot be sent.
bool SendTypeOfKind(const DatasetColumn& col, const uint8_t* cell, bool isNull, int16_t& type, uint32_t& len) {
    switch (col.kind) {
        case DS_CHAR:
            len = col.width;
            break;  // fixed, not terminated
        case DS_CHAR_NTS:
            len = col.width ? col.width - 1 : 0;
            break;
        case DS_BIT:
            type = IIAPI_BOOL_TYPE;
            len = 1;
            break;
        case DS_TINYINT:
        case DS_SMALLINT:
        case DS_INTEGER:
        case DS_UTINYINT:
        case DS_USMALLINT:
            type = IIAPI_INT_TYPE;
            len = 4;
            break;
        case DS_UINTEGER:
            type = IIAPI_INT_TYPE;
            len = 8;
            break;  // beyond 2^31 it needs 8 bytes
        case DS_REAL:
        case DS_DOUBLE:
            type = IIAPI_FLT_TYPE;
            len = 8;
            break;
        case DS_DATE:
        case DS_TIME:
        case DS_TIMESTAMP:
            len = 32;
            break;
        case DS_BINARY:
            type = IIAPI_BYTE_TYPE;
            len = isNull ? 1 : col.width;
            break;
        case DS_BINARY_LEN4:
            // The stored length: padding to the width would add zero bytes to the value.
            type = IIAPI_BYTE_TYPE;
            len = isNull || cell == nullptr ? 1 : PrefixLength(cell, col.kind);
            if (len == 0) len = 1;
            break;
        case DS_CHAR_REF:
            len = isNull || cell == nullptr ? 1 : DatasetRefGet(cell).length;
            break;
        case DS_BINARY_REF:
            type = IIAPI_BYTE_TYPE;
            len = isNull || cell == nullptr ? 1 : DatasetRefGet(cell).length;
            break;
        case DS_CHAR_LEN2:
            len = isNull || cell == nullptr ? 1 : PrefixLength(cell, col.kind);
            break;
        case DS_CHAR_LEN4:
            // Text in place, sent as a text by reference is.
            len = isNull || cell == nullptr ? 1 : IngLen4TextLength(col, cell);
            break;
        case DS_WCHAR:
            type = IIAPI_NCHA_TYPE;
            len = col.width;
            break;
        case DS_WCHAR_NTS:
            type = IIAPI_NCHA_TYPE;
            len = (col.width / 2 ? col.width / 2 - 1 : 0) * 2;
            break;
        case DS_WCHAR_REF:
            type = IIAPI_NCHA_TYPE;
            len = isNull || cell == nullptr ? 2 : 2 * DatasetRefGet(cell).length;
            break;
        default:
            IngLog(LOGL_WARNING, "unknown bind type [%d] in parameters", int(col.kind));
            return false;
    }
    return true;
}

// What a row's descriptor of a parameter column needs besides the row: the connection's limits.
struct SendLimits {
    uint32_t maxChar, maxByte;
    uint16_t seg;
};

SendLimits LimitsOf(const IngConn* c) {
    return {c->maxCharLen ? c->maxCharLen : 2000, c->maxStringLen ? c->maxStringLen : 2000,
            uint16_t(c->sizeAdvise > 0 && c->sizeAdvise <= 0xFFFF ? c->sizeAdvise : 8192)};
}

// Kinds whose descriptor is the same for every row but for its NULL flag: the type and length
// come from the column alone, never from a row's value.
bool RowFreeKind(uint32_t k) {
    switch (k) {
        case DS_CHAR:
        case DS_CHAR_NTS:
        case DS_BIT:
        case DS_TINYINT:
        case DS_SMALLINT:
        case DS_INTEGER:
        case DS_UTINYINT:
        case DS_USMALLINT:
        case DS_UINTEGER:
        case DS_REAL:
        case DS_DOUBLE:
        case DS_DATE:
        case DS_TIME:
        case DS_TIMESTAMP:
        case DS_WCHAR:
        case DS_WCHAR_NTS:
            return true;
        default:
            return false;
    }
}

// The descriptor of parameter column colIx for a row (d starts cleared); false for a kind that
// cannot be sent.
bool ParamColumnDesc(const IngStmt* s, int queryType, uint16_t colIx, uint32_t row, const SendLimits& lim,
                     IIAPI_DESCRIPTOR& d) {
    const IngConn* c = s->conn;
    const DatasetColumn& col = s->params->cols[colIx];
    const bool isNull = col.indicators != nullptr && row < s->params->rows_alloc && col.indicators[row] == DS_IND_NULL;
    const uint8_t* cell = row < s->params->rows_alloc && col.data ? DatasetCell(&col, row) : nullptr;
    int32_t sqlType = 1;
    uint32_t colSize = 0;
    uint16_t digits = 0;
    if (s->paramDescs != nullptr && colIx < s->paramDescCount) {
        sqlType = s->paramDescs[colIx].sqlType;
        colSize = s->paramDescs[colIx].columnSize;
        digits = s->paramDescs[colIx].decimalDigits;
    }
    uint32_t len = 0;
    int16_t type = IIAPI_CHA_TYPE;
    if (!SendTypeOfKind(col, cell, isNull, type, len)) return false;
    if (type == IIAPI_CHA_TYPE &&
        (col.kind == DS_CHAR || col.kind == DS_CHAR_NTS || col.kind == DS_CHAR_REF || col.kind == DS_CHAR_LEN4) &&
        len > lim.maxChar) {
        type = IIAPI_LVCH_TYPE;
        len = lim.seg;
    } else if (type == IIAPI_BYTE_TYPE && len > lim.maxByte) {
        type = IIAPI_LBYTE_TYPE;
        len = lim.seg;
    } else if (type == IIAPI_NCHA_TYPE && len > lim.maxByte) {
        type = IIAPI_LNVCH_TYPE;
        len = lim.seg;
    }
    if (len > 0xFFFF) len = 0xFFFF;
    d.ds_precision = 0;
    d.ds_scale = 0;
    if (type == IIAPI_CHA_TYPE && IsTextKind(col.kind)) {
        switch (sqlType) {
            case SQL_BIT:
            case SQL_INTEGER:
            case SQL_SMALLINT:
                type = IIAPI_INT_TYPE;
                len = 4;
                d.ds_precision = 10;
                break;
            case SQL_BIGINT:
                // 8 bytes: a 4-byte integer would cut values beyond 2^31.
                type = IIAPI_INT_TYPE;
                len = 8;
                d.ds_precision = 19;
                break;
            case SQL_FLOAT:
            case SQL_REAL:
            case SQL_DOUBLE:
                type = IIAPI_FLT_TYPE;
                len = 8;
                d.ds_precision = 15;
                break;
            default:
                // NUMERIC and DECIMAL stay text: the server converts every digit exactly.
                d.ds_precision = int16_t(colSize > 0x7FFF ? 0x7FFF : colSize);
                d.ds_scale = int16_t(digits);
        }
    }
    d.ds_dataType = type;
    d.ds_length = uint16_t(len);
    d.ds_nullable = isNull ? II_TRUE : II_FALSE;
    d.ds_columnType = IIAPI_COL_QPARM;
    if (queryType == IIAPI_QT_EXEC_PROCEDURE) {
        if (c->apiLevel < IIAPI_LEVEL_5) {
            d.ds_columnType = IIAPI_COL_PROCBYREFPARM;
        } else {
            bool input = colIx < s->paramCount && s->paramInfo != nullptr &&
                         ColumnProcMark(s->paramInfo[colIx]) == kProcMarkInput;
            d.ds_columnType = input ? IIAPI_COL_PROCINPARM : IIAPI_COL_PROCBYREFPARM;
        }
        if (colIx < s->paramCount && s->paramInfo != nullptr) d.ds_columnName = s->paramInfo[colIx].column;
    }
    return true;
}

// The next row of the array the statement sends (an EXECUTE of its markers): the previous row's
// descriptors stand but for what this row's values decide (the NULL flags, the lengths of the
// variable kinds). Nothing of the statement's shape is read again: it is the row before's.
uint32_t NextRowDescriptors(IngStmt* s, uint32_t row, IngParamDescs* out) {
    const uint16_t first = IngFirstParamColumn(s);
    const uint32_t total = s->sendDescCount, ncols = total;
    TV_INVARIANT(s->params != nullptr && s->params->col_count == first + ncols);
    const SendLimits lim = LimitsOf(s->conn);
    // Lent, not handed over: a row that cannot be described leaves them to be built whole.
    IIAPI_DESCRIPTOR* descs = s->sendDescs;
    s->sendDescsKept = 0;
    const DatasetColumn* cols = s->params->cols;
    const bool inRows = row < s->params->rows_alloc;
    for (uint32_t k = 0; k < ncols; ++k) {
        const uint16_t colIx = uint16_t(first + k);
        const DatasetColumn& col = cols[colIx];
        IIAPI_DESCRIPTOR& d = descs[k];
        const bool isNull = inRows && col.indicators != nullptr && col.indicators[row] == DS_IND_NULL;
        if (RowFreeKind(col.kind)) {
            d.ds_nullable = isNull ? II_TRUE : II_FALSE;
            continue;
        }
        if ((col.kind == DS_CHAR_REF || col.kind == DS_CHAR_LEN4 || col.kind == DS_CHAR_LEN2) && col.data != nullptr &&
            inRows) {
            // A text that stays short of a long type: a CHAR takes this row's length, a text
            // sent as a number keeps its type; either way as the full build below makes it.
            const uint8_t* cell = DatasetCell(&col, row);
            uint32_t len = isNull                     ? 1
                           : col.kind == DS_CHAR_REF  ? DatasetRefGet(cell).length
                           : col.kind == DS_CHAR_LEN4 ? IngLen4TextLength(col, cell)
                                                      : PrefixLength(cell, col.kind);
            if (len <= lim.maxChar) {
                if (len > 0xFFFF) len = 0xFFFF;
                if (d.ds_dataType == IIAPI_CHA_TYPE) {
                    d.ds_length = uint16_t(len);
                    d.ds_nullable = isNull ? II_TRUE : II_FALSE;
                    continue;
                }
                if (d.ds_dataType == IIAPI_INT_TYPE || d.ds_dataType == IIAPI_FLT_TYPE) {
                    d.ds_nullable = isNull ? II_TRUE : II_FALSE;
                    continue;
                }
            }
        }
        d = IIAPI_DESCRIPTOR{};
        if (!ParamColumnDesc(s, IIAPI_QT_EXEC, colIx, row, lim, d)) return kErrNotCapable;
        if (IngIsLongType(IngAbsType(d.ds_dataType))) s->sendDescsLong = 1;
    }
    out->count = int16_t(total);
    out->descs = descs;
    out->room = s->sendDescRoom;
    out->lent = true;
    out->mayHoldLong = s->sendDescsLong != 0;
    s->sendDescsKept = 1;
    return 0;
}

}  // namespace

uint32_t IngBuildParamDescriptors(IngStmt* s, int queryType, uint32_t row, IngParamDescs* out, uint32_t* svcCount) {
    *out = IngParamDescs{};
    *svcCount = 0;
    const bool rowOfArray = s->sendRowsOfArray && queryType == IIAPI_QT_EXEC;
    if (rowOfArray && s->sendDescsKept && s->sendDescs != nullptr) return NextRowDescriptors(s, row, out);
    const bool markers = s->text.markers != 0;
    if (queryType == IIAPI_QT_EXEC && !markers) return 0;
    uint32_t svc = 0;
    if (queryType == IIAPI_QT_OPEN) svc = 1;
    if (queryType == IIAPI_QT_EXEC_PROCEDURE) svc = s->procOwner[0] ? 2 : 1;
    const uint16_t first = IngFirstParamColumn(s);
    uint32_t ncols = 0;
    if (markers && s->params != nullptr && s->params->col_count > first) ncols = s->params->col_count - first;
    const uint32_t lits = queryType == IIAPI_QT_EXEC_PROCEDURE ? s->procLitCount : 0;
    uint32_t total = svc + ncols + lits;
    if (total == 0) return 0;
    if (total > 0x7FFF) return kErrGeneral;
    const SendLimits lim = LimitsOf(s->conn);
    s->sendDescsKept = 0;
    IIAPI_DESCRIPTOR* descs;
    uint16_t room = uint16_t(total);
    if (s->sendDescs != nullptr && s->sendDescRoom >= total) {
        // The array of the statement's send before, cleared as a new one is.
        descs = s->sendDescs;
        room = s->sendDescRoom;
        s->sendDescs = nullptr;
        s->sendDescRoom = 0;
        std::memset(descs, 0, total * sizeof(IIAPI_DESCRIPTOR));
    } else {
        descs = static_cast<IIAPI_DESCRIPTOR*>(std::calloc(total, sizeof(IIAPI_DESCRIPTOR)));
        if (descs == nullptr) return kErrNoMemory;
    }
    const char* svcText[2] = {queryType == IIAPI_QT_OPEN ? s->cursorName : s->procName, s->procOwner};
    for (uint32_t i = 0; i < svc; ++i) {
        IIAPI_DESCRIPTOR& d = descs[i];
        d.ds_dataType = IIAPI_CHA_TYPE;
        d.ds_nullable = II_FALSE;
        d.ds_length = uint16_t(std::strlen(svcText[i]));
        d.ds_columnType = IIAPI_COL_SVCPARM;
    }
    IngConn* c = s->conn;
    for (uint32_t k = 0; k < ncols; ++k) {
        if (!ParamColumnDesc(s, queryType, uint16_t(first + k), row, lim, descs[svc + k])) {
            std::free(descs);
            return kErrNotCapable;
        }
    }
    for (uint32_t i = 0; i < lits; ++i) {
        const IngStmt::ProcLiteral& lit = s->procLits[i];
        IIAPI_DESCRIPTOR& d = descs[svc + ncols + i];
        d.ds_nullable = lit.text == nullptr ? II_TRUE : II_FALSE;
        const size_t tl = lit.text ? std::strlen(lit.text) : 0;
        d.ds_dataType = lit.isInt ? IIAPI_INT_TYPE : lit.isFloat ? IIAPI_FLT_TYPE : IIAPI_VCH_TYPE;
        d.ds_length = lit.isInt || lit.isFloat ? 8 : uint16_t(2 + (tl > 0xFFF0 ? 0xFFF0 : tl));
        d.ds_precision = lit.isInt ? 19 : lit.isFloat ? 15 : 0;
        d.ds_columnType = c->apiLevel < IIAPI_LEVEL_5 ? IIAPI_COL_PROCBYREFPARM : IIAPI_COL_PROCINPARM;
        d.ds_columnName = lit.name;
    }
    bool anyLong = false;
    for (uint32_t i = 0; i < total; ++i) anyLong = anyLong || IngIsLongType(IngAbsType(descs[i].ds_dataType));
    out->count = int16_t(total);
    out->descs = descs;
    out->room = room;
    out->mayHoldLong = anyLong;
    s->sendDescsLong = anyLong ? 1 : 0;
    *svcCount = svc;
    if (rowOfArray) {
        s->sendDescCount = uint16_t(total);
        s->sendDescsKept = 1;
    }
    return 0;
}
