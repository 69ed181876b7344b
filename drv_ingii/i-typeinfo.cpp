// Type information rows and the catalog type fix-up.
#include "drv_ingii/i-typeinfo.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "iiapi/iiapi.h"
#include "util/dataset.h"
#include "util/errtable.h"

namespace {

constexpr int16_t N = -15;  // NULL marker of numeric fields

// Columns: name, type, size, prefix, suffix, params, nullable, case, searchable, unsigned,
// fixed, auto, local name, min, max, sql type, sub, radix, interval precision.
#define TEXT_ROW(nm, t, sz, st) \
    { nm, t, sz, "'", "'", "maxlength", 1, 1, 3, N, 0, 0, nullptr, N, N, st, N, N, N }
#define NUM_ROW(nm, t, sz, fixed, mn, mx, st, radix) \
    { nm, t, sz, nullptr, nullptr, nullptr, 1, 0, 2, 0, fixed, 0, nullptr, mn, mx, st, N, radix, N }
// Date and time literals are written quoted, so their rows say so.
#define DATE_ROW(nm, t, sz, srch, mn, mx, sub) \
    { nm, t, sz, "'", "'", nullptr, 1, 0, srch, 0, 0, 0, nullptr, mn, mx, 9, sub, N, N }
#define BIN_ROW(nm, t, sz, params, st) \
    { nm, t, sz, "X'", "'", params, 1, 1, 0, 0, 0, 0, nullptr, N, N, st, N, N, N }

const IngTypeRow kCNew = TEXT_ROW("C", 1, 32000, 1);
const IngTypeRow kCOld = TEXT_ROW("C", 1, 2000, 1);
const IngTypeRow kTextNew = TEXT_ROW("TEXT", 12, 32000, 12);
const IngTypeRow kTextOld = TEXT_ROW("TEXT", 12, 2000, 12);
const IngTypeRow kCharNew = TEXT_ROW("CHAR", 1, 32000, 1);
const IngTypeRow kCharOld = TEXT_ROW("CHAR", 1, 2000, 1);
const IngTypeRow kVarcharNew = TEXT_ROW("VARCHAR", 12, 32000, 12);
const IngTypeRow kVarcharOld = TEXT_ROW("VARCHAR", 12, 2000, 12);
const IngTypeRow kNchar = TEXT_ROW("NCHAR", -8, 16000, 1);
const IngTypeRow kNvarchar = TEXT_ROW("NVARCHAR", -9, 16000, 12);
const IngTypeRow kInteger1 = NUM_ROW("INTEGER1", -6, 3, 0, 0, 0, -6, 10);
const IngTypeRow kSmallint = NUM_ROW("SMALLINT", 5, 5, 0, 0, 0, 5, 10);
const IngTypeRow kInteger = NUM_ROW("INTEGER", 4, 10, 0, 0, 0, 4, 10);
const IngTypeRow kInteger8 = NUM_ROW("INTEGER8", -5, 19, 0, 0, 0, 4, 10);
const IngTypeRow kMoney = NUM_ROW("MONEY", 8, 16, 1, 0, 2, 8, 2);
const IngTypeRow kFloat4 = NUM_ROW("FLOAT4", 7, 7, 0, 0, 0, 7, 2);
const IngTypeRow kFloat8 = NUM_ROW("FLOAT", 8, 15, 0, 0, 10, 8, 2);
const IngTypeRow kFloat6 = NUM_ROW("FLOAT", 6, 15, 0, 0, 0, 6, 2);
const IngTypeRow kDate9 = DATE_ROW("DATE", 9, 10, 3, N, N, 1);
const IngTypeRow kDate10 = DATE_ROW("DATE", 10, 8, 2, N, N, 2);
const IngTypeRow kDate11 = DATE_ROW("DATE", 11, 20, 2, N, N, 3);
const IngTypeRow kDate91 = DATE_ROW("DATE", 91, 10, 3, N, N, 1);
const IngTypeRow kDate92 = DATE_ROW("DATE", 92, 8, 2, N, N, 2);
const IngTypeRow kDate93 = DATE_ROW("DATE", 93, 20, 2, N, N, 3);
// The standard date and time types, named and sized as the column catalogs report them. The
// timestamp holds nine fraction digits: clients size the fraction they send from this row.
const IngTypeRow kAnsiDate = DATE_ROW("ANSIDATE", 91, 10, 3, N, N, 1);
const IngTypeRow kTimeWithout = DATE_ROW("TIME WITHOUT TIME ZONE", 92, 10, 2, N, N, 2);
const IngTypeRow kTimestampWithout = DATE_ROW("TIMESTAMP WITHOUT TIME ZONE", 93, 29, 2, 0, 9, 3);
const IngTypeRow kTimestampWithout11 = DATE_ROW("TIMESTAMP WITHOUT TIME ZONE", 11, 29, 2, 0, 9, 3);
const IngTypeRow kDecimal = {"DECIMAL", 3, 31, nullptr, nullptr, "precision, scale", 1, 0, 2, 0, 0, 0, nullptr, 0,
                             0,         3, N,  10,      N};
const IngTypeRow kLongVarchar = {"LONG VARCHAR", -1, 2147483647, "'", "'", nullptr, 1, 1, 0, 0, 0, 0,
                                 nullptr,        N,  N,          -1,  N,   N,       N};
const IngTypeRow kLongNvarchar = {"LONG NVARCHAR", -10, 1073741823, "'", "'", nullptr, 1, 1, 0, 0, 0, 0,
                                  nullptr,         N,   N,          -1,  N,   N,       N};
const IngTypeRow kByteNew = BIN_ROW("BYTE", -2, 32000, "maxlength", -2);
const IngTypeRow kByteOld = BIN_ROW("BYTE", -2, 2000, "maxlength", -2);
const IngTypeRow kByteVarNew = BIN_ROW("BYTE VARYING", -3, 32000, "maxlength", -3);
const IngTypeRow kByteVarOld = BIN_ROW("BYTE VARYING", -3, 2000, "maxlength", -3);
const IngTypeRow kLongByte = BIN_ROW("LONG BYTE", -4, 2147483647, nullptr, -4);

#undef TEXT_ROW
#undef NUM_ROW
#undef DATE_ROW
#undef BIN_ROW

ColumnInfo Desc(const char* name, int32_t sqlType, uint32_t size) {
    ColumnInfo c{};
    std::strncpy(c.name, name, sizeof c.name - 1);
    c.sql_type = sqlType;
    c.nullable = 0;
    c.scale = 0;
    if (sqlType == 5) {
        c.value_kind = DS_SMALLINT;
        c.column_size = 5;
        c.display_size = 6;
        c.length = 2;
    } else if (sqlType == 4) {
        c.value_kind = DS_INTEGER;
        c.column_size = 10;
        c.display_size = 11;
        c.length = 4;
    } else {
        c.value_kind = DS_CHAR_NTS;
        c.column_size = size;
        c.display_size = size;
        c.length = size;
    }
    return c;
}

struct Descriptions {
    ColumnInfo cols[kTypeInfoColumns];
    Descriptions()
        : cols{Desc("TYPE_NAME", 12, 32),        Desc("DATA_TYPE", 5, 0),        Desc("COLUMN_SIZE", 4, 0),
               Desc("LITERAL_PREFIX", 12, 4),    Desc("LITERAL_SUFFIX", 12, 4),  Desc("CREATE_PARAMS", 12, 32),
               Desc("NULLABLE", 5, 0),           Desc("CASE_SENSITIVE", 5, 0),   Desc("SEARCHABLE", 5, 0),
               Desc("UNSIGNED_ATTRIBUTE", 5, 0), Desc("FIXED_PREC_SCALE", 5, 0), Desc("AUTO_UNIQUE_VALUE", 5, 0),
               Desc("LOCAL_TYPE_NAME", 12, 32),  Desc("MINIMUM_SCALE", 5, 0),    Desc("MAXIMUM_SCALE", 5, 0),
               Desc("SQL_DATA_TYPE", 5, 0),      Desc("SQL_DATETIME_SUB", 5, 0), Desc("SQL_NUM_PREC_RADIX", 4, 0),
               Desc("INTERVAL_PRECISION", 5, 0)} {}
};

const Descriptions& TheDescriptions() {
    static const Descriptions d;
    return d;
}

// ODBC 3 applications find the types that hold a whole date, time or timestamp before the DATE
// row of the same type; ODBC 2 applications the timestamp alone (under its ODBC 2 code) before
// the DATE rows: some of them (Qt 5) size the fraction of a timestamp from the first row.
const IngTypeRow* const kOdbc3Dates[] = {&kAnsiDate, &kTimeWithout, &kTimestampWithout, &kDate93};
const IngTypeRow* const kOdbc2Dates[] = {&kTimestampWithout11, &kDate11};
constexpr uint32_t kDatePos = 11;

const IngTypeRow* PickAllOdbc2Order(const IngTypeInfoScope& s, uint32_t pos);

template <size_t N>
const IngTypeRow* PickAllWith(const IngTypeInfoScope& s, uint32_t pos, const IngTypeRow* const (&dates)[N]) {
    if (pos < kDatePos) return PickAllOdbc2Order(s, pos);
    if (pos < kDatePos + N) return dates[pos - kDatePos];
    return PickAllOdbc2Order(s, pos - uint32_t(N - 1));
}

const IngTypeRow* PickAll(const IngTypeInfoScope& s, uint32_t pos) {
    return s.odbcVersion == 3 ? PickAllWith(s, pos, kOdbc3Dates) : PickAllWith(s, pos, kOdbc2Dates);
}

const IngTypeRow* PickAllOdbc2Order(const IngTypeInfoScope& s, uint32_t pos) {
    const bool fresh = s.serverVersion >= kIngVersionLargeStrings;
    switch (pos) {
        case 0:
            return fresh ? &kCNew : &kCOld;
        case 1:
            return fresh ? &kTextNew : &kTextOld;
        case 2:
            return fresh ? &kCharNew : &kCharOld;
        case 3:
            return fresh ? &kVarcharNew : &kVarcharOld;
        case 4:
            return &kInteger1;
        case 5:
            return &kSmallint;
        case 6:
            return &kInteger;
        case 7:
            return &kFloat6;
        case 8:
            return &kFloat8;
        case 9:
            return &kFloat4;
        case 10:
            return &kMoney;
        case kDatePos:
            return &kDate11;
        case 12:
            return &kDecimal;
        case 13:
            return &kLongVarchar;
        case 14:
            return fresh ? &kByteVarNew : &kByteVarOld;
        case 15:
            return &kLongByte;
        case 16:
            return fresh ? &kByteNew : &kByteOld;
        default:
            break;
    }
    if (!s.wideBuild) return pos == 17 && s.apiLevel >= 3 ? &kInteger8 : nullptr;
    if (s.apiLevel < 2) return nullptr;
    switch (pos) {
        case 17:
            return &kNchar;
        case 18:
            return &kNvarchar;
        case 19:
            return &kLongNvarchar;
        case 20:
            return s.apiLevel >= 3 ? &kInteger8 : nullptr;
        default:
            return nullptr;
    }
}

const IngTypeRow* PickOne(const IngTypeInfoScope& s, uint32_t pos) {
    // ODBC 3 applications get the ODBC 3 date and time rows for the ODBC 2 codes too, which some
    // of them still ask for (the Driver Manager passes them on unchanged).
    const int16_t t = s.odbcVersion == 3 && s.sqlType >= 9 && s.sqlType <= 11 ? int16_t(s.sqlType + 82) : s.sqlType;
    if (s.odbcVersion == 3 && t >= 91 && t <= 93) {
        const IngTypeRow* whole = t == 91 ? &kAnsiDate : t == 92 ? &kTimeWithout : &kTimestampWithout;
        const IngTypeRow* date = t == 91 ? &kDate91 : t == 92 ? &kDate92 : &kDate93;
        return pos == 0 ? whole : pos == 1 ? date : nullptr;
    }
    if (s.sqlType == SQL_TIMESTAMP) return pos < 2 ? kOdbc2Dates[pos] : nullptr;
    if (pos != 0) return nullptr;
    const bool fresh = s.serverVersion >= kIngVersionLargeStrings;
    if (!s.wideBuild && s.sqlType < -7) return nullptr;
    switch (s.sqlType) {
        case SQL_WLONGVARCHAR:
            return &kLongNvarchar;
        case SQL_WVARCHAR:
            return &kNvarchar;
        case SQL_WCHAR:
            return &kNchar;
        case SQL_BIT:
        case SQL_TINYINT:
            return &kInteger1;
        case SQL_BIGINT:
            return s.apiLevel >= 3 ? &kInteger8 : &kFloat6;
        case SQL_LONGVARBINARY:
            return &kLongByte;
        case SQL_VARBINARY:
            return fresh ? &kByteVarNew : &kByteVarOld;
        case SQL_BINARY:
            return fresh ? &kByteNew : &kByteOld;
        case SQL_LONGVARCHAR:
            return &kLongVarchar;
        case SQL_CHAR:
            return fresh ? &kCharNew : &kCharOld;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return &kDecimal;
        case SQL_INTEGER:
            return &kInteger;
        case SQL_SMALLINT:
            return &kSmallint;
        case SQL_FLOAT:
            return &kFloat6;
        case SQL_REAL:
            return &kFloat4;
        case SQL_DOUBLE:
            return &kFloat8;
        case SQL_DATE:
            return &kDate9;
        case SQL_TIME:
            return &kDate10;
        case SQL_VARCHAR:
            return fresh ? &kVarcharNew : &kVarcharOld;
        case SQL_TYPE_DATE:
            return &kDate91;
        case SQL_TYPE_TIME:
            return &kDate92;
        case SQL_TYPE_TIMESTAMP:
            return &kDate93;
        default:
            return nullptr;
    }
}

void PutText(Dataset* ds, uint16_t col, uint32_t row, const char* text) {
    DatasetColumn* c = &ds->cols[col];
    if (text == nullptr) {
        c->indicators[row] = DS_IND_NULL;
        return;
    }
    uint8_t* cell = DatasetCell(c, row);
    size_t n = std::strlen(text);
    if (c->width == 0) return;
    if (n > c->width - 1) n = c->width - 1;
    std::memcpy(cell, text, n);
    cell[n] = 0;
    c->indicators[row] = DS_IND_VALUE;
}

void PutNum(Dataset* ds, uint16_t col, uint32_t row, int32_t value) {
    DatasetColumn* c = &ds->cols[col];
    if (value == kTypeInfoNullNum) {
        c->indicators[row] = DS_IND_NULL;
        return;
    }
    uint8_t* cell = DatasetCell(c, row);
    if (c->kind == DS_SMALLINT) {
        int16_t v = int16_t(value);
        std::memcpy(cell, &v, sizeof v);
    } else {
        std::memcpy(cell, &value, sizeof value);
    }
    c->indicators[row] = DS_IND_VALUE;
}

void PutRow(const IngTypeInfoScope& s, const IngTypeRow& r, Dataset* ds, uint32_t row) {
    int32_t size = r.columnSize;
    if ((r.dataType == 1 || r.dataType == 12) && s.maxCharLen != 0) size = int32_t(s.maxCharLen);
    PutText(ds, 0, row, r.typeName);
    PutNum(ds, 1, row, r.dataType);
    PutNum(ds, 2, row, size);
    PutText(ds, 3, row, r.literalPrefix);
    PutText(ds, 4, row, r.literalSuffix);
    PutText(ds, 5, row, r.createParams);
    PutNum(ds, 6, row, r.nullable);
    PutNum(ds, 7, row, r.caseSensitive);
    PutNum(ds, 8, row, r.searchable);
    PutNum(ds, 9, row, r.unsignedAttr);
    PutNum(ds, 10, row, r.fixedPrecScale);
    PutNum(ds, 11, row, r.autoUnique);
    PutText(ds, 12, row, r.localTypeName);
    PutNum(ds, 13, row, r.minScale);
    PutNum(ds, 14, row, r.maxScale);
    PutNum(ds, 15, row, r.sqlDataType);
    PutNum(ds, 16, row, r.datetimeSub);
    PutNum(ds, 17, row, r.numPrecRadix);
    PutNum(ds, 18, row, r.intervalPrecision);
}

void SetName(const IngTypeCells& c, const char* name) {
    if (c.typeName == nullptr || c.typeNameBytes == 0) return;
    if (!c.typeNameWide) {
        size_t n = std::strlen(name);
        if (n > c.typeNameBytes - 1) n = c.typeNameBytes - 1;
        auto* out = static_cast<char*>(c.typeName);
        std::memcpy(out, name, n);
        out[n] = 0;
        return;
    }
    size_t units = c.typeNameBytes / 2;
    if (units == 0) return;
    // The names are ASCII: one UTF-16 unit per byte, written bytewise for unaligned cells.
    size_t n = std::strlen(name);
    if (n > units - 1) n = units - 1;
    auto* out = static_cast<uint8_t*>(c.typeName);
    for (size_t i = 0; i <= n; ++i) {
        uint16_t u = i < n ? uint16_t(static_cast<unsigned char>(name[i])) : 0;
        std::memcpy(out + 2 * i, &u, sizeof u);
    }
}

template <class T>
void Set(T* p, T v) {
    if (p) *p = v;
}

}  // namespace

const ColumnInfo* IngTypeInfoDescriptions() { return TheDescriptions().cols; }

const IngTypeRow* IngTypeInfoPick(const IngTypeInfoScope& scope, uint32_t pos) {
    if (scope.sqlType == 0) return PickAll(scope, pos);
    return PickOne(scope, pos);
}

uint32_t IngTypeInfoServe(const IngTypeInfoScope& scope, uint32_t* pos, uint32_t rows, Dataset* ds) {
    if (ds == nullptr || pos == nullptr) return kErrBadArg;
    if (rows == 0) return uint32_t(DatasetInit(ds, 0));
    int rc = DatasetFromColumnInfos(IngTypeInfoDescriptions(), kTypeInfoColumns, rows, ds);
    if (rc != DS_OK) {
        DatasetFree(ds);
        DatasetInit(ds, 0);
        return uint32_t(rc);
    }
    uint32_t written = 0;
    while (written < rows) {
        const IngTypeRow* r = IngTypeInfoPick(scope, *pos);
        if (r == nullptr) break;
        PutRow(scope, *r, ds, written);
        ++written;
        ++*pos;
    }
    ds->rows_used = written;
    return 0;
}

void IngCatalogTypeFixup(const IngTypeCells& c, uint32_t odbcVersion, bool unicode) {
    const bool v3 = odbcVersion == 3;
    Set<uint16_t>(c.datetimeSub, 65535);
    Set<uint32_t>(c.charOctetLength, 0xFFFFFFFFu);
    if (c.dataType == nullptr) return;
    int code = *c.dataType;
    Set<uint16_t>(c.nullable, code < 0 ? 1 : 0);
    if (code < 0) code = -code;
    const uint32_t len = c.bufferLength ? *c.bufferLength : 0;

    // One row of the mapping: name, ODBC type, SQL_DATA_TYPE and subcode.
    auto type = [&](const char* name, int16_t t, int16_t sqlType, int sub) {
        SetName(c, name);
        *c.dataType = t;
        Set<uint16_t>(c.sqlDataType, uint16_t(sqlType));
        if (sub >= 0) Set<uint16_t>(c.datetimeSub, uint16_t(sub));
    };
    auto sizes = [&](uint32_t buffer, uint32_t column) {
        Set(c.bufferLength, buffer);
        Set(c.columnSize, column);
    };
    auto digits = [&](uint16_t d) { Set(c.decimalDigits, d); };
    // DECIMAL_DIGITS arrives as the declared fraction digits; the size follows them (a zone adds
    // its "+hh:mm").
    auto stampSize = [&](uint32_t zone) {
        uint16_t p = c.decimalDigits ? *c.decimalDigits : 0;
        if (p > 9) p = 9;
        digits(p);
        return (p == 0 ? 19u : 20u + p) + zone;
    };

    switch (code) {
        case IIAPI_DATE_TYPE:
            type("DATE", v3 ? 93 : 11, 9, 3);
            sizes(16, 19);
            digits(0);
            return;
        case IIAPI_ADATE_TYPE:
            type("ANSIDATE", v3 ? 91 : 9, 9, 1);
            sizes(6, 10);
            return;
        case IIAPI_MNY_TYPE:
            type("MONEY", 3, 3, -1);
            sizes(8, 12);
            digits(2);
            return;
        case IIAPI_TMWO_TYPE:
            type("TIME WITHOUT TIME ZONE", v3 ? 92 : 10, 10, 2);
            sizes(6, 10);
            return;
        case IIAPI_TMTZ_TYPE:
            type("TIME WITH TIME ZONE", v3 ? 92 : 10, 10, 2);
            sizes(6, 16);
            return;
        case IIAPI_TIME_TYPE:
            type("TIME WITH LOCAL TIME ZONE", v3 ? 92 : 10, 10, 2);
            sizes(6, 10);
            return;
        case IIAPI_TSWO_TYPE:
            type("TIMESTAMP WITHOUT TIME ZONE", v3 ? 93 : 11, 9, 3);
            sizes(16, stampSize(0));
            return;
        case IIAPI_DEC_TYPE:
            type("DECIMAL", 3, 3, -1);
            return;
        case IIAPI_TABKEY_TYPE:
            type("CHAR", 1, 1, -1);
            return;
        case IIAPI_TSTZ_TYPE:
            type("TIMESTAMP WITH TIME ZONE", v3 ? 93 : 11, 9, 3);
            sizes(16, stampSize(6));
            return;
        case IIAPI_TS_TYPE:
            type("TIMESTAMP WITH LOCAL TIME ZONE", v3 ? 93 : 11, 9, 3);
            sizes(16, stampSize(0));
            return;
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
            type("CHAR", 1, 1, -1);
            break;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
            type("VARCHAR", 12, 12, -1);
            break;
        case IIAPI_LVCH_TYPE:
            type("LONG VARCHAR", -1, -1, -1);
            sizes(2147483646, 2147483646);
            break;
        case IIAPI_BYTE_TYPE:
            type("BYTE", -2, -2, -1);
            break;
        case IIAPI_VBYTE_TYPE:
            type("BYTE VARYING", -3, -3, -1);
            break;
        case IIAPI_LBYTE_TYPE:
            type("LONG BYTE", -4, -4, -1);
            sizes(2147483646, 2147483646);
            break;
        case IIAPI_NCHA_TYPE:
            type("NCHAR", unicode ? -8 : 1, unicode ? -8 : 1, -1);
            if (unicode && c.bufferLength) *c.bufferLength = len * 2;
            break;
        case IIAPI_NVCH_TYPE:
            type("NVARCHAR", unicode ? -9 : 12, unicode ? -9 : 12, -1);
            if (unicode && c.bufferLength) *c.bufferLength = len * 2;
            break;
        case IIAPI_LNVCH_TYPE:
            type("LONG NVARCHAR", unicode ? -10 : -1, unicode ? -10 : -1, -1);
            sizes(1073741823, 1073741823);
            Set<uint32_t>(c.charOctetLength, unicode ? 2147483646u : 1073741823u);
            return;
        case IIAPI_INT_TYPE:
            // Lengths in bytes; a catalog that gives the digit count instead (iiuserlen) reads alike.
            if (len == 1 || len == 3) {
                type("INTEGER1", -6, -6, -1);
                Set<uint32_t>(c.columnSize, 3);
            } else if (len == 2 || len == 5) {
                type("SMALLINT", 5, 5, -1);
                Set<uint32_t>(c.columnSize, 5);
            } else if (len == 4 || len == 10) {
                type("INTEGER", 4, 4, -1);
                Set<uint32_t>(c.columnSize, 10);
            } else {
                type("INTEGER8", -5, -5, -1);
                Set<uint32_t>(c.columnSize, 19);
            }
            return;
        case IIAPI_FLT_TYPE:
            if (len == 4 || len == 7) {
                type("FLOAT4", 7, 7, -1);
                Set<uint32_t>(c.columnSize, 7);
            } else if (len == 8 || len == 15) {
                type("FLOAT", 8, 8, -1);
                Set<uint32_t>(c.columnSize, 15);
            }
            return;
        case IIAPI_INTYM_TYPE:
            type("INTERVAL YEAR TO MONTH", 107, 10, 7);
            sizes(8, 7);
            return;
        case IIAPI_INTDS_TYPE:
            type("INTERVAL DAY TO SECOND", 110, 10, 10);
            sizes(12, 10);
            return;
        case IIAPI_BOOL_TYPE:
            type("BOOLEAN", -7, -7, -1);
            Set<uint32_t>(c.columnSize, 1);
            return;
        default:
            IngLog(LOGL_ERROR, "Unhandled column type %d", code);
            return;
    }
    if (c.charOctetLength && c.bufferLength) *c.charOctetLength = *c.bufferLength;
}
