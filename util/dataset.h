// The column-wise value buffer that carries every set of values between the layers
// (fetched rows, parameter values, cursor rowsets and caches), the result-column
// description, and the bounded copy of text into a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Result codes (rows of the driver's error table).
enum : int {
    DS_OK = 0,
    DS_EINVAL = 15,  // invalid argument or shape mismatch
    DS_ENOMEM = 16,  // out of memory (S1001)
};

// Value kinds of a dataset column.
enum : uint32_t {
    DS_CHAR = 1,          // narrow text, fixed length, not terminated
    DS_BIT = 2,           // unsigned 8-bit
    DS_TINYINT = 3,       // signed 8-bit
    DS_SMALLINT = 4,      // signed 16-bit
    DS_INTEGER = 5,       // signed 32-bit
    DS_UTINYINT = 6,      // unsigned 8-bit
    DS_USMALLINT = 7,     // unsigned 16-bit
    DS_UINTEGER = 8,      // unsigned 32-bit
    DS_REAL = 9,          // 32-bit float
    DS_DOUBLE = 10,       // 64-bit double
    DS_DATE = 11,         // DsDate
    DS_TIME = 12,         // DsTime
    DS_TIMESTAMP = 13,    // DsTimestamp
    DS_BINARY = 14,       // binary, fixed length
    DS_CHAR_REF = 15,     // narrow text by reference {u32 bytes, pointer}
    DS_BINARY_REF = 16,   // binary by reference {u32 bytes, pointer}
    DS_CHAR_NTS = 17,     // narrow text, NUL-terminated
    DS_CHAR_LEN1 = 18,    // narrow text, 1-byte length prefix
    DS_CHAR_LEN2 = 19,    // narrow text, 2-byte length prefix
    DS_CHAR_LEN4 = 20,    // narrow text, 4-byte length prefix
    DS_BINARY_LEN1 = 21,  // binary, 1-byte length prefix
    DS_BINARY_LEN2 = 22,  // binary, 2-byte length prefix
    DS_BINARY_LEN4 = 23,  // binary, 4-byte length prefix
    DS_WCHAR = 24,        // UTF-16, fixed length, not terminated
    DS_WCHAR_NTS = 25,    // UTF-16, NUL-terminated
    DS_WCHAR_REF = 26,    // UTF-16 by reference {u32 characters, pointer}
    DS_WCHAR_LEN4 = 27,   // UTF-16 with a 4-byte count of characters
};

// Indicator values; anything below DS_IND_NULL means the cell holds a value.
enum : uint16_t {
    DS_IND_VALUE = 0,
    DS_IND_IGNORED = 0xFFFC,      // parameter row the application asked to skip
    DS_IND_NOT_FETCHED = 0xFFFD,  // long value still with the agent
    DS_IND_NULL = 0xFFFF,
};

struct DsDate {
    int16_t year;
    uint16_t month, day;
};
struct DsTime {
    uint16_t hour, minute, second;
};
struct DsTimestamp {
    int16_t year;
    uint16_t month, day, hour, minute, second;
    uint32_t fraction;
};
static_assert(sizeof(DsDate) == 6 && sizeof(DsTime) == 6 && sizeof(DsTimestamp) == 16);

// Cell of the by-reference kinds (15, 16, 26). The column owns the buffer.
struct DsRef {
    uint32_t length;  // bytes (15, 16) or UTF-16 characters (26)
    void* ptr;
};
static_assert(sizeof(DsRef) == 16, "by-reference cells are 16 bytes");

struct DatasetColumn {
    uint32_t kind;
    uint32_t width;        // element width in bytes; row i lies at data + i * width
    uint16_t* indicators;  // one per allocated row
    uint8_t* data;         // rows allocated * width bytes plus one spare, zero-filled
};

struct Dataset {
    uint16_t cols_alloc;  // entries in `cols`
    uint32_t rows_alloc;  // rows every column's arrays hold
    uint16_t col_count;   // columns in use (<= cols_alloc)
    uint32_t rows_used;   // rows holding values (<= rows_alloc)
    DatasetColumn* cols;
};

// Description of one result column or parameter.
struct ColumnInfo {
    char name[41];        // cut to 40 bytes, NUL-terminated
    char* catalog;        // owned, or null
    char* schema;         // owned, or null
    char* table;          // owned, or null
    char* column;         // owned full name, or null; preferred over `name` when non-empty
    int16_t server_type;  // DBMS type code (SQL type for procedure parameters)
    int32_t sql_type;
    uint32_t nullable;  // bits 0-3 nullability; bits 4-7 updatable value + 1, or 0
    uint32_t column_size;
    uint16_t scale;
    uint32_t display_size;
    uint32_t value_kind;  // dataset kind of the values
    uint32_t length;      // L from which the dataset width is computed
};

// A procedure's parameter, and the result column that stands for one, is described by the name
// "*" and a letter for its direction; every other name is a plain column's or parameter's.
enum ProcParamMark : char {
    kProcMarkNone = 0,
    kProcMarkInput = 'I',
    kProcMarkOutput = 'O',
    kProcMarkInOut = 'B',
    kProcMarkUnknown = 'U',  // the direction the application binds decides
};

inline ProcParamMark ColumnProcMark(const ColumnInfo& c) {
    if (c.name[0] != '*') return kProcMarkNone;
    switch (c.name[1]) {
        case kProcMarkInput:
        case kProcMarkOutput:
        case kProcMarkInOut:
        case kProcMarkUnknown:
            return c.name[2] == '\0' ? ProcParamMark(c.name[1]) : kProcMarkNone;
        default:
            return kProcMarkNone;
    }
}

inline void ColumnSetProcMark(ColumnInfo& c, ProcParamMark mark) {
    c.name[0] = '*';
    c.name[1] = char(mark);
    c.name[2] = '\0';
}

// Message list the agent fills for its error operation.
struct AgentErrors {
    uint32_t native;  // native code of the first message
    uint32_t count;
    char** texts;  // count owned texts
};

// A pair of owned pointers (the agent's two statement texts).
struct PtrPair {
    void* first;
    void* second;
};

// --- cell access ---------------------------------------------------------------

inline uint8_t* DatasetCell(const DatasetColumn* col, uint32_t row) {
    return col->data + static_cast<size_t>(row) * col->width;
}

// Classes of value kinds.
inline bool DatasetKindIsRef(uint32_t kind) {
    return kind == DS_CHAR_REF || kind == DS_BINARY_REF || kind == DS_WCHAR_REF;
}
inline bool DatasetKindIsNarrowText(uint32_t kind) {
    return kind == DS_CHAR || kind == DS_CHAR_REF || (kind >= DS_CHAR_NTS && kind <= DS_CHAR_LEN4);
}
inline bool DatasetKindIsWideText(uint32_t kind) { return kind >= DS_WCHAR && kind <= DS_WCHAR_LEN4; }
inline bool DatasetKindIsBinary(uint32_t kind) {
    return kind == DS_BINARY || kind == DS_BINARY_REF || (kind >= DS_BINARY_LEN1 && kind <= DS_BINARY_LEN4);
}
// Text or binary: a value of some length, read through DatasetCellBytes.
inline bool DatasetKindIsString(uint32_t kind) {
    return DatasetKindIsNarrowText(kind) || DatasetKindIsWideText(kind) || DatasetKindIsBinary(kind);
}
// A value that ends inside its cell at a terminator or a length prefix.
inline bool DatasetKindIsVarying(uint32_t kind) {
    return (kind >= DS_CHAR_NTS && kind <= DS_BINARY_LEN4) || kind == DS_WCHAR_NTS || kind == DS_WCHAR_LEN4;
}
// Cells are read and written through memcpy: a width chosen by a caller need not keep
// pointers aligned.
inline DsRef DatasetRefGet(const uint8_t* cell) {
    DsRef r;
    std::memcpy(&r.length, cell, sizeof r.length);
    std::memcpy(&r.ptr, cell + offsetof(DsRef, ptr), sizeof r.ptr);
    return r;
}
inline void DatasetRefSet(uint8_t* cell, uint32_t length, void* ptr) {
    std::memcpy(cell, &length, sizeof length);
    std::memset(cell + sizeof length, 0, offsetof(DsRef, ptr) - sizeof length);
    std::memcpy(cell + offsetof(DsRef, ptr), &ptr, sizeof ptr);
}
// Bytes a by-reference cell's buffer holds (characters * 2 for wide text).
inline size_t DatasetRefBytes(uint32_t kind, uint32_t length) {
    return kind == DS_WCHAR_REF ? static_cast<size_t>(length) * 2 : length;
}
// Where a cell's value bytes lie and how many there are. A length prefix, a terminator search
// or a by-reference cell is never read past the cell's width; a by-reference cell without a
// buffer is empty (at the cell); any other kind is its whole width.
struct DsBytes {
    const uint8_t* bytes;
    size_t size;
};
DsBytes DatasetCellBytes(const DatasetColumn* col, const uint8_t* cell);

// --- the buffer ----------------------------------------------------------------

uint32_t DatasetWidth(uint32_t kind, uint32_t length);
int DatasetInit(Dataset* ds, uint16_t ncols);
int DatasetAllocRows(Dataset* ds, uint32_t rows);
int DatasetColumnAlloc(DatasetColumn* col, uint32_t rows);
void DatasetColumnFree(DatasetColumn* col, uint32_t rows);
void DatasetFree(Dataset* ds);

// Stores a copy of `bytes` (length in bytes, or characters for kind 26) into a by-reference
// cell, releasing what the cell held; marks the row as holding a value. 0, kErrGeneral or kErrNoMemory.
int DatasetSetRef(Dataset* ds, uint32_t row, uint16_t col, const void* bytes, uint32_t length);

// --- descriptions --------------------------------------------------------------

ColumnInfo* ColumnInfoArrayAlloc(uint16_t n);
void ColumnInfoArrayFree(ColumnInfo* arr, uint16_t n);
// Deep copy of n records (the owned names duplicated); null when memory runs out.
ColumnInfo* ColumnInfoArrayCopy(const ColumnInfo* arr, uint16_t n);
int DatasetFromColumnInfos(const ColumnInfo* arr, uint16_t n, uint32_t rows, Dataset* ds);
// DatasetFromColumnInfos in the arrays `ds` holds, when they have that shape (n columns of those
// kinds and widths, none by reference, at least `rows` rows): every row marked NULL again, the
// cells left as they are for the caller to write. DS_OK, or DS_EINVAL with `ds` untouched.
int DatasetRefillFromColumnInfos(const ColumnInfo* arr, uint16_t n, uint32_t rows, Dataset* ds);

// --- bounded text copies -------------------------------------------------------

// 0 when the text fit, -1 when it was cut or could not be copied.
int StrCopyOut(const char* src, char* dst, uint16_t size, uint16_t* outLen);
int StrCopyOutLen(const char* src, char* dst, uint16_t size, uint16_t* outLen);

// --- agent out-records ---------------------------------------------------------

void AgentErrorsFree(AgentErrors* rec);
void PtrPairFree(PtrPair* rec);

// Frees the columns and then the header itself (a header from DatasetClone or
// DatasetCreateLike, or any header allocated with malloc, calloc or s_alloc).
void DatasetDelete(Dataset* ds);

// --- row and column operations (0, DS_EINVAL or DS_ENOMEM) ----------------------

int DatasetInsertRow(Dataset* ds, uint32_t index);
int DatasetRowsEqual(const Dataset* a, uint32_t rowA, const Dataset* b, uint32_t rowB, int* equal);
int DatasetClone(Dataset** out, const Dataset* src);
int DatasetCopyRow(Dataset* dst, Dataset* src, uint32_t dstRow, uint32_t srcRow, int move);
int DatasetAppendRows(Dataset* dst, Dataset* src);
int DatasetJoinColumns(Dataset* a, Dataset* b);
int DatasetCreateLike(Dataset** inout, const Dataset* model, uint32_t rows);
int DatasetReverseRows(Dataset** inout);
int DatasetRemoveColumn(Dataset* ds, uint16_t index);
int DatasetColumnType(const Dataset* ds, uint16_t index, uint32_t* kind, uint32_t* width);
int DatasetInsertColumn(Dataset* ds, uint16_t index, uint32_t kind, uint32_t width);
int DatasetCopyColumn(Dataset* dst, const Dataset* src, uint16_t dstCol, uint16_t srcCol);
int DatasetWidenColumn(Dataset* ds, uint16_t col, uint32_t length, int measure);
int DatasetGetValue(const Dataset* ds, uint32_t row, uint16_t col, void* buffer, uint32_t* length);
int DatasetNarrowColumns(Dataset* ds);
int DatasetApplyMaxLength(Dataset* ds, uint32_t maximum);
