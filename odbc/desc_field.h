#pragma once
// Reading and writing one descriptor field; the record calls, SQLCopyDesc and SQLColAttribute
// are sequences of these.
#include <cstdint>
#include <optional>

#include "odbc/handles.h"

// 0, 1 (text cut), 100 (record beyond the count) or -1 (row in the descriptor's last error).
// Text is written as UTF-16 for mode 'W', else narrow; lengths are in bytes.
SQLRETURN DescGetField(DescRecord* d, int16_t rec, uint16_t field, void* value, int64_t bufLen, int64_t* lenOut,
                       char mode);

// Writes one field on a descriptor that is (attached) or is not a statement's; the flags say
// how the descriptor is used there.
SQLRETURN DescSetField(StmtRecord* stmt, bool app, bool row, bool attached, DescRecord* d, int16_t rec, int16_t field,
                       int64_t value, int32_t len, char mode);
// Whether a field takes its value as text (the rest are numbers and pointers).
bool DescFieldTakesText(int16_t field);
// Writes one field on a descriptor and on every statement that uses it.
SQLRETURN DescSetFieldDispatch(DescRecord* d, int16_t rec, int16_t field, int64_t value, int32_t len, char mode);

// Narrow or UTF-16 ('W') text into a buffer of bufLen bytes with the full length in bytes; a cut
// text leaves kErrTruncated (01004) on h and gives 1.
SQLRETURN DescPutText(HandleBase* h, const char* text, void* value, int64_t bufLen, int64_t* len, char mode);

// Text of a type-information column (1 TYPE_NAME, 4 LITERAL_PREFIX, 5 LITERAL_SUFFIX) for an SQL
// type on the connection, cut to the buffer: 0 (copied; empty when the type has none), -1 on
// failure (08003 on the connection when it is not open).
int LookupTypeInfo(ConnRecord* conn, uint16_t column, int16_t sqlType, char* buf, size_t size);

// The agent's attribute row of a result column (kept when the connection describes results with
// them): true with its integer or its text.
bool ColumnAttrInt(StmtRecord* stmt, uint16_t field, uint16_t column, int64_t* out);
bool ColumnAttrText(StmtRecord* stmt, uint16_t field, uint16_t column, const char** out);

// Octet length of a value of SQL or C type t: the fixed transfer size of the numeric and
// datetime types, size + 2 for decimals and `size` (in octets) for text and binary. Nothing for
// the rest (bit, GUID, intervals), which the descriptor's octet length and SQLColAttributes'
// column length answer each their own way.
std::optional<int64_t> TransferOctetLength(int t, int64_t size);
