// SQLGetInfo: a few information types answered by the driver itself, every other known one
// asked of the agent once per connection and kept in the connection's cache.
#include <cstdlib>
#include <cstring>

#include "drv_ingii/i-info.h"
#include "odbc/api_records.h"
#include "odbc/getinfo.h"
#include "odbc/trace_link.h"
#include "util/dataset.h"
#include "util/utf.h"
#include "util/errtable.h"

namespace {
constexpr uint16_t kOjCapabilitiesV2 = 65003;
constexpr size_t kWorkSize = 4096;

const uint16_t kTypes16[] = {
    SQL_MAX_DRIVER_CONNECTIONS,
    SQL_MAX_CONCURRENT_ACTIVITIES,
    SQL_ODBC_SAG_CLI_CONFORMANCE,
    SQL_ODBC_SQL_CONFORMANCE,
    SQL_CONCAT_NULL_BEHAVIOR,
    SQL_CURSOR_COMMIT_BEHAVIOR,
    SQL_CURSOR_ROLLBACK_BEHAVIOR,
    SQL_IDENTIFIER_CASE,
    SQL_MAX_COLUMN_NAME_LEN,
    SQL_MAX_CURSOR_NAME_LEN,
    SQL_MAX_SCHEMA_NAME_LEN,
    SQL_MAX_PROCEDURE_NAME_LEN,
    SQL_MAX_CATALOG_NAME_LEN,
    SQL_MAX_TABLE_NAME_LEN,
    SQL_TXN_CAPABLE,
    SQL_CORRELATION_NAME,
    SQL_NON_NULLABLE_COLUMNS,
    SQL_FILE_USAGE,
    SQL_NULL_COLLATION,
    SQL_GROUP_BY,
    SQL_QUOTED_IDENTIFIER_CASE,
    SQL_MAX_COLUMNS_IN_GROUP_BY,
    SQL_MAX_COLUMNS_IN_INDEX,
    SQL_MAX_COLUMNS_IN_ORDER_BY,
    SQL_MAX_COLUMNS_IN_SELECT,
    SQL_MAX_COLUMNS_IN_TABLE,
    SQL_MAX_TABLES_IN_SELECT,
    SQL_MAX_USER_NAME_LEN,
    SQL_CATALOG_LOCATION,
    SQL_ACTIVE_ENVIRONMENTS,
    SQL_MAX_IDENTIFIER_LEN,
    SQL_MAX_ASYNC_CONCURRENT_STATEMENTS,
};

// The 22 conversion types come last: they use the same cache when the agent answers them.
const uint16_t kTypes32[] = {
    SQL_DRIVER_HDBC,
    SQL_DRIVER_HENV,
    SQL_DRIVER_HSTMT,
    SQL_FETCH_DIRECTION,
    SQL_DEFAULT_TXN_ISOLATION,
    SQL_SCROLL_CONCURRENCY,
    SQL_SCROLL_OPTIONS,
    SQL_CONVERT_FUNCTIONS,
    SQL_NUMERIC_FUNCTIONS,
    SQL_STRING_FUNCTIONS,
    SQL_SYSTEM_FUNCTIONS,
    SQL_TIMEDATE_FUNCTIONS,
    SQL_TXN_ISOLATION_OPTION,
    SQL_DRIVER_HLIB,
    SQL_LOCK_TYPES,
    SQL_POS_OPERATIONS,
    SQL_POSITIONED_STATEMENTS,
    SQL_GETDATA_EXTENSIONS,
    SQL_BOOKMARK_PERSISTENCE,
    SQL_STATIC_SENSITIVITY,
    SQL_ALTER_TABLE,
    SQL_SCHEMA_USAGE,
    SQL_CATALOG_USAGE,
    SQL_SUBQUERIES,
    SQL_UNION,
    SQL_MAX_INDEX_SIZE,
    SQL_MAX_ROW_SIZE,
    SQL_MAX_STATEMENT_LEN,
    SQL_MAX_CHAR_LITERAL_LEN,
    SQL_TIMEDATE_ADD_INTERVALS,
    SQL_TIMEDATE_DIFF_INTERVALS,
    SQL_MAX_BINARY_LITERAL_LEN,
    115 /* SQL_OJ_CAPABILITIES */,
    SQL_ALTER_DOMAIN,
    SQL_SQL_CONFORMANCE,
    SQL_DATETIME_LITERALS,
    SQL_BATCH_ROW_COUNT,
    SQL_BATCH_SUPPORT,
    SQL_CONVERT_INTERVAL_DAY_TIME,
    SQL_CONVERT_INTERVAL_YEAR_MONTH,
    SQL_CREATE_ASSERTION,
    SQL_CREATE_CHARACTER_SET,
    SQL_CREATE_COLLATION,
    SQL_CREATE_DOMAIN,
    SQL_CREATE_SCHEMA,
    SQL_CREATE_TABLE,
    SQL_CREATE_TRANSLATION,
    SQL_CREATE_VIEW,
    SQL_DRIVER_HDESC,
    SQL_DROP_ASSERTION,
    SQL_DROP_CHARACTER_SET,
    SQL_DROP_COLLATION,
    SQL_DROP_DOMAIN,
    SQL_DROP_SCHEMA,
    SQL_DROP_TABLE,
    SQL_DROP_TRANSLATION,
    SQL_DROP_VIEW,
    SQL_DYNAMIC_CURSOR_ATTRIBUTES1,
    SQL_DYNAMIC_CURSOR_ATTRIBUTES2,
    SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1,
    SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2,
    SQL_INDEX_KEYWORDS,
    SQL_INFO_SCHEMA_VIEWS,
    SQL_KEYSET_CURSOR_ATTRIBUTES1,
    SQL_KEYSET_CURSOR_ATTRIBUTES2,
    SQL_ODBC_INTERFACE_CONFORMANCE,
    SQL_PARAM_ARRAY_ROW_COUNTS,
    SQL_PARAM_ARRAY_SELECTS,
    SQL_SQL92_DATETIME_FUNCTIONS,
    SQL_SQL92_FOREIGN_KEY_DELETE_RULE,
    SQL_SQL92_FOREIGN_KEY_UPDATE_RULE,
    SQL_SQL92_GRANT,
    SQL_SQL92_NUMERIC_VALUE_FUNCTIONS,
    SQL_SQL92_PREDICATES,
    SQL_SQL92_RELATIONAL_JOIN_OPERATORS,
    SQL_SQL92_REVOKE,
    SQL_SQL92_ROW_VALUE_CONSTRUCTOR,
    SQL_SQL92_STRING_FUNCTIONS,
    SQL_SQL92_VALUE_EXPRESSIONS,
    SQL_STANDARD_CLI_CONFORMANCE,
    SQL_STATIC_CURSOR_ATTRIBUTES1,
    SQL_STATIC_CURSOR_ATTRIBUTES2,
    SQL_AGGREGATE_FUNCTIONS,
    SQL_DDL_INDEX,
    SQL_INSERT_STATEMENT,
    SQL_CURSOR_SENSITIVITY,
    SQL_ASYNC_MODE,
    // conversions
    SQL_CONVERT_BIGINT,
    SQL_CONVERT_BINARY,
    SQL_CONVERT_BIT,
    SQL_CONVERT_CHAR,
    SQL_CONVERT_DATE,
    SQL_CONVERT_DECIMAL,
    SQL_CONVERT_DOUBLE,
    SQL_CONVERT_FLOAT,
    SQL_CONVERT_INTEGER,
    SQL_CONVERT_LONGVARCHAR,
    SQL_CONVERT_NUMERIC,
    SQL_CONVERT_REAL,
    SQL_CONVERT_SMALLINT,
    SQL_CONVERT_TIME,
    SQL_CONVERT_TIMESTAMP,
    SQL_CONVERT_TINYINT,
    SQL_CONVERT_VARBINARY,
    SQL_CONVERT_VARCHAR,
    SQL_CONVERT_LONGVARBINARY,
    SQL_CONVERT_WCHAR,
    SQL_CONVERT_WLONGVARCHAR,
    SQL_CONVERT_WVARCHAR,
};
constexpr unsigned kFirstConversion = 87;  // 65003 shares the entry of SQL_OJ_CAPABILITIES

// SQL_DATABASE_NAME is answered afresh every time and has no entry.
const uint16_t kTypesStr[] = {
    SQL_DRIVER_NAME,
    SQL_DRIVER_VER,
    SQL_ODBC_VER,
    SQL_ROW_UPDATES,
    SQL_SERVER_NAME,
    SQL_SEARCH_PATTERN_ESCAPE,
    SQL_DBMS_NAME,
    SQL_DBMS_VER,
    SQL_ACCESSIBLE_TABLES,
    SQL_ACCESSIBLE_PROCEDURES,
    SQL_PROCEDURES,
    SQL_DATA_SOURCE_READ_ONLY,
    SQL_EXPRESSIONS_IN_ORDERBY,
    SQL_IDENTIFIER_QUOTE_CHAR,
    SQL_MULT_RESULT_SETS,
    SQL_MULTIPLE_ACTIVE_TXN,
    SQL_OUTER_JOINS,
    SQL_SCHEMA_TERM,
    SQL_PROCEDURE_TERM,
    SQL_CATALOG_NAME_SEPARATOR,
    SQL_CATALOG_TERM,
    SQL_TABLE_TERM,
    SQL_USER_NAME,
    SQL_INTEGRITY,
    SQL_COLUMN_ALIAS,
    SQL_KEYWORDS,
    SQL_ORDER_BY_COLUMNS_IN_SELECT,
    SQL_SPECIAL_CHARACTERS,
    SQL_MAX_ROW_SIZE_INCLUDES_LONG,
    SQL_NEED_LONG_DATA_LEN,
    SQL_LIKE_ESCAPE_CLAUSE,
    SQL_XOPEN_CLI_YEAR,
    SQL_DESCRIBE_PARAMETER,
    SQL_CATALOG_NAME,
    SQL_COLLATION_SEQ,
};

static_assert(std::size(kTypes16) == 32 && std::size(kTypes16) <= InfoCache::k16);
static_assert(std::size(kTypes32) == 87 + 22 && std::size(kTypes32) <= InfoCache::k32);
static_assert(std::size(kTypesStr) == 35 && std::size(kTypesStr) <= InfoCache::kStr);

template <size_t N>
int IndexOf(const uint16_t (&list)[N], uint16_t type) {
    for (size_t i = 0; i < N; ++i) {
        if (list[i] == type) return int(i);
    }
    return -1;
}

bool IsConversion(uint16_t type) {
    int i = IndexOf(kTypes32, type);
    return i >= int(kFirstConversion);
}

SQLRETURN WriteU16(SQLPOINTER value, SQLSMALLINT* len, uint16_t v) {
    if (value) memcpy(value, &v, 2);
    if (len) *len = 2;
    return SQL_SUCCESS;
}

SQLRETURN WriteU32(SQLPOINTER value, SQLSMALLINT* len, uint32_t v) {
    if (value) memcpy(value, &v, 4);
    if (len) *len = 4;
    return SQL_SUCCESS;
}

// Narrow text as it is, wide text converted from UTF-8 into a buffer counted in bytes.
SQLRETURN WriteText(ConnRecord* conn, const char* text, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len,
                    char mode) {
    int cut;
    if (mode == 'W') {
        size_t units = 0;
        cut = Utf8ToWideBufBytes(text, static_cast<SQLWCHAR*>(value), size_t(max), &units);
        if (text && len) *len = SQLSMALLINT(units * 2 > 0x7FFF ? 0x7FFF : units * 2);
    } else {
        uint16_t n = 0;
        cut = StrCopyOutLen(text, static_cast<char*>(value), uint16_t(max), &n);
        if (text && len) *len = SQLSMALLINT(n > 0x7FFF ? 0x7FFF : n);
    }
    if (cut != 0) {
        conn->lastError = kErrTruncated;
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

// The application type's SQL type under the environment's ODBC version, for the operator test.
int32_t DefaultSqlTypeOf(int16_t cType, uint32_t version) {
    switch (cType) {
        case SQL_C_DATE:
            return version >= 3 ? SQL_TYPE_DATE : SQL_DATE;
        case SQL_C_TIME:
            return version >= 3 ? SQL_TYPE_TIME : SQL_TIME;
        case SQL_C_TIMESTAMP:
            return version >= 3 ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
        default:
            return cType;
    }
}

struct OperatorRow {
    int32_t sqlType;
    uint32_t maxLength;
    uint32_t mask;
};

// The operator table names date and time types by their ODBC 2 codes: a row of either form
// serves. Null when the table has no row for the type.
const OperatorRow* OperatorRowOf(const ConnRecord* conn, int16_t cType) {
    if (conn->opTableKind != 1 || !conn->opTableRows) return nullptr;
    uint32_t version = conn->env ? conn->env->odbcVersion : 2;
    int32_t sqlType = DefaultSqlTypeOf(cType, version);
    int32_t odbc2Type = DefaultSqlTypeOf(cType, 2);
    const auto* rows = static_cast<const OperatorRow*>(conn->opTableRows);
    for (uint32_t i = 0; i < conn->opTableCount; ++i) {
        if (rows[i].sqlType == sqlType || rows[i].sqlType == odbc2Type) return &rows[i];
    }
    return nullptr;
}

bool OperatorTest(const ConnRecord* conn, int16_t cType, uint32_t bit) {
    const OperatorRow* row = OperatorRowOf(conn, cType);
    return row && (row->mask & bit) != 0;
}

// A server without an operator row of its own for times converts them as it does timestamps.
bool TimeOperatorTest(const ConnRecord* conn) {
    if (OperatorRowOf(conn, SQL_C_TIME)) return OperatorTest(conn, SQL_C_TIME, 0x400);
    return OperatorTest(conn, SQL_C_TIMESTAMP, 0x800);
}

uint32_t ConversionDefault(const ConnRecord* conn, uint16_t type, char mode) {
    uint32_t v;
    switch (type) {
        case SQL_CONVERT_DATE:
            v = OperatorTest(conn, SQL_C_DATE, 0x200) ? 0x00028301 : 0;
            break;
        case SQL_CONVERT_TIME:
            v = TimeOperatorTest(conn) ? 0x00030301 : 0;
            break;
        case SQL_CONVERT_TIMESTAMP:
            v = OperatorTest(conn, SQL_C_TIMESTAMP, 0x800) ? 0x00038301 : 0;
            break;
        case SQL_CONVERT_BINARY:
        case SQL_CONVERT_VARBINARY:
        case SQL_CONVERT_LONGVARBINARY:
            v = OperatorTest(conn, SQL_C_BINARY, 0xFFFFFFFFu) ? 0x00040F01 : 0;
            break;
        default:
            v = 0x000073FF;
            break;
    }
    if (v && mode == 'W') v |= SQL_CVT_WCHAR | SQL_CVT_WLONGVARCHAR | SQL_CVT_WVARCHAR;
    return v;
}

// An integer type through the cache; width 2 or 4 is what the application receives.
SQLRETURN AgentInteger(ConnRecord* conn, uint16_t type, int width, void* entry, SQLPOINTER value, SQLSMALLINT* len) {
    uint32_t v = 0;
    bool cached = width == 2 ? *static_cast<uint16_t*>(entry) != 0xFFFF : *static_cast<int32_t*>(entry) != -1;
    if (cached) {
        v = width == 2 ? *static_cast<uint16_t*>(entry) : uint32_t(*static_cast<int32_t*>(entry));
        conn->lastError = 0;
    } else {
        uint16_t got = 0;
        if (GwTraceOn()) GwTrace("GetInfo: agent asked for type %u", unsigned(type));
        ErrCode code =
            AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, kPropIntInfoBase + type, &v, uint16_t(4), &got);
        conn->lastError = code;
        if (code != 0) return SQL_ERROR;
        if (width == 2) {
            *static_cast<uint16_t*>(entry) = uint16_t(v);
        } else {
            *static_cast<int32_t*>(entry) = int32_t(v);
        }
    }
    return width == 2 ? WriteU16(value, len, uint16_t(v)) : WriteU32(value, len, v);
}

SQLRETURN AgentString(ConnRecord* conn, uint16_t type, char** entry, SQLPOINTER value, SQLSMALLINT max,
                      SQLSMALLINT* len, char mode) {
    if (max < 0) {
        conn->lastError = kErrBadLength;
        return SQL_ERROR;
    }
    char work[kWorkSize + 1];
    bool fresh = false;
    if (entry && *entry) {
        strncpy(work, *entry, kWorkSize);
        work[kWorkSize] = 0;
        conn->lastError = 0;
    } else {
        uint16_t got = 0;
        work[0] = 0;
        if (GwTraceOn()) GwTrace("GetInfo: agent asked for type %u", unsigned(type));
        ErrCode code = AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, kPropTextInfoBase + type, work,
                                              uint16_t(kWorkSize), &got);
        conn->lastError = code;
        if (code != 0) return SQL_ERROR;
        work[kWorkSize] = 0;
        fresh = true;
    }
    SQLRETURN rc = WriteText(conn, work, value, max, len, mode);
    // Kept even when the copy was cut: the next request may bring a larger buffer.
    if (fresh && entry) *entry = strdup(work);
    return rc;
}

}  // namespace

void InfoCacheReset(InfoCache* cache) {
    for (auto& v : cache->u16) v = 0xFFFF;
    for (auto& v : cache->i32) v = -1;
    for (auto& s : cache->str) {
        free(s);
        s = nullptr;
    }
}

InfoAnswerKind InfoTypeKind(uint16_t type) {
    switch (type) {
        case SQL_DATA_SOURCE_NAME:
        case SQL_ODBC_API_CONFORMANCE:
        case SQL_DRIVER_ODBC_VER:
        case SQL_DTC_TRANSITION_COST:
            return InfoAnswerKind::Driver;
        case SQL_DATABASE_NAME:
            return InfoAnswerKind::Text;
        case kOjCapabilitiesV2:
            return InfoAnswerKind::Int32;
        default:
            break;
    }
    if (IsConversion(type)) return InfoAnswerKind::Driver;
    if (IndexOf(kTypes16, type) >= 0) return InfoAnswerKind::Int16;
    if (IndexOf(kTypes32, type) >= 0) return InfoAnswerKind::Int32;
    if (IndexOf(kTypesStr, type) >= 0) return InfoAnswerKind::Text;
    return InfoAnswerKind::Unknown;
}

SQLRETURN ImplGetInfo(HandleBase* record, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len,
                      TextMode mode) {
    auto* conn = static_cast<ConnRecord*>(record);

    switch (type) {
        case SQL_DATA_SOURCE_NAME:
            if (max < 0) {
                conn->lastError = kErrBadLength;
                return SQL_ERROR;
            }
            if (!conn->dsn) {
                conn->lastError = kErrTruncated;
                return SQL_SUCCESS_WITH_INFO;
            }
            return WriteText(conn, conn->dsn, value, max, len, mode);
        case SQL_ODBC_API_CONFORMANCE:
            return WriteU16(value, len, SQL_OAC_LEVEL1);
        case SQL_DRIVER_ODBC_VER:
            if (max < 0) {
                conn->lastError = kErrBadLength;
                return SQL_ERROR;
            }
            return WriteText(conn, "03.50", value, max, len, mode);
        case SQL_DTC_TRANSITION_COST:
            return WriteU32(value, len, SQL_DTC_ENLIST_EXPENSIVE | SQL_DTC_UNENLIST_EXPENSIVE);
        default:
            break;
    }
    int i32 = IndexOf(kTypes32, type);
    if (i32 >= int(kFirstConversion) && !(conn->capConvInfo && conn->state == kConnStateConnected)) {
        return WriteU32(value, len, ConversionDefault(conn, type, mode));
    }
    if (conn->state != kConnStateConnected) {
        conn->lastError = kErrNotOpen;
        return SQL_ERROR;
    }
    if (type == kOjCapabilitiesV2) i32 = IndexOf(kTypes32, 115);
    if (i32 >= 0) return AgentInteger(conn, type, 4, &conn->infoCache.i32[i32], value, len);
    if (int i = IndexOf(kTypes16, type); i >= 0) {
        return AgentInteger(conn, type, 2, &conn->infoCache.u16[i], value, len);
    }
    if (type == SQL_DATABASE_NAME) return AgentString(conn, type, nullptr, value, max, len, mode);
    if (int i = IndexOf(kTypesStr, type); i >= 0) {
        return AgentString(conn, type, &conn->infoCache.str[i], value, max, len, mode);
    }
    conn->lastError = kErrInfoTypeRange;
    return SQL_ERROR;
}
