// Type information: the fixed SQLGetTypeInfo result served from a static table of Ingres types,
// and the mapping of Ingres catalog type codes to ODBC type attributes used by the column and
// procedure-column catalogs.
#pragma once

#include <cstdint>

#include "util/errtable.h"

struct ColumnInfo;
struct Dataset;

// NULL marker of the numeric fields of a type row; a null text pointer is a NULL text.
constexpr int32_t kTypeInfoNullNum = -15;
constexpr uint16_t kTypeInfoColumns = 19;

struct IngTypeRow {
    const char* typeName;
    int16_t dataType;
    int32_t columnSize;
    const char* literalPrefix;
    const char* literalSuffix;
    const char* createParams;
    int16_t nullable, caseSensitive, searchable, unsignedAttr, fixedPrecScale, autoUnique;
    const char* localTypeName;
    int16_t minScale, maxScale, sqlDataType, datetimeSub;
    int32_t numPrecRadix;
    int16_t intervalPrecision;
};

// What decides the rows of a type-information result.
struct IngTypeInfoScope {
    int16_t sqlType;        // 0: all types
    int32_t serverVersion;  // kIngVersionLargeStrings and above: the large text and byte sizes
    int32_t apiLevel;       // OpenAPI level of the connection
    uint32_t odbcVersion;   // of the application, 2 or 3
    bool wideBuild;         // the narrow driver offers no N types
    uint32_t maxCharLen;    // COLUMN_SIZE of CHAR and VARCHAR rows when not 0
};

// The 19 result descriptions (static; copy them for a statement).
const ColumnInfo* IngTypeInfoDescriptions();

// The row at position pos of the result, or null when the result ends there.
const IngTypeRow* IngTypeInfoPick(const IngTypeInfoScope& scope, uint32_t pos);

// Fills ds (an uninitialised header) with up to rows rows starting at *pos and advances *pos by
// the rows written; rows 0 gives a Dataset without columns. 0, or the Dataset's failure code.
uint32_t IngTypeInfoServe(const IngTypeInfoScope& scope, uint32_t* pos, uint32_t rows, Dataset* ds);

// Cells of one catalog row that the type fix-up rewrites. dataType holds the Ingres type code
// (negative for a nullable column) and bufferLength the Ingres length on entry. typeName is
// narrow or UTF-16 text of typeNameBytes bytes in all. The three last may be null.
struct IngTypeCells {
    int16_t* dataType;
    void* typeName;
    uint32_t typeNameBytes;
    bool typeNameWide;
    uint32_t* columnSize;
    uint32_t* bufferLength;
    uint16_t* decimalDigits;
    uint16_t* nullable;
    uint16_t* sqlDataType;
    uint16_t* datetimeSub;      // 65535 afterwards: no value
    uint32_t* charOctetLength;  // 0xFFFFFFFF afterwards: no value
};

// unicode: the connection's Unicode flag, which decides the national types' codes and sizes.
void IngCatalogTypeFixup(const IngTypeCells& cells, uint32_t odbcVersion, bool unicode);

// The agent's DRV_DDTypeInfo (slot 35).
ErrCode IngDDTypeInfo(uint32_t stmt, uint16_t sqlType);
