// Values between the driver's Dataset and OpenAPI: reading rows (long values in segments),
// the value a parameter is sent as, and the single-value conversions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "drv_ingii/i-desc.h"
#include "iiapi/iiapi.h"
#include "util/dataset.h"

// Reads up to `rows` rows (0 counts as 1) of the current result into ds. 0 also when no row
// remains (then *rowsRead is 0).
uint32_t IngReadRows(IngStmt* s, uint16_t rows, Dataset* ds, uint32_t* rowsRead);

// One driver value as an Ingres value of the descriptor's type. The converted value lives in
// the statement's conversion slot of the column (or in the Dataset cell); a NULL gives no value.
uint32_t Coldata2IIValue(IngStmt* s, uint16_t col, uint32_t row, const DatasetColumn* dc, const IIAPI_DESCRIPTOR* d,
                         uint32_t* length, void** value);

// One Ingres value into a Dataset cell by the column's kind.
uint32_t IngValueToCell(IngStmt* s, const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, DatasetColumn* col,
                        uint32_t row);
// The values of one column of a block of rows, every stride-th data value from v, into rows 0 to
// rows - 1 of its cells: the cells IngValueToCell makes of each, the usual pairs of type and
// kind without its choice for every value.
uint32_t IngColumnToCells(IngStmt* s, const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE* v, size_t stride, uint32_t rows,
                          DatasetColumn* col);

// A value as text (a new NUL-terminated buffer); a NULL value gives none. 0 or kErrNoMemory.
uint32_t IngValueToText(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, char** text);

// Parses a date or timestamp text in the layouts the server writes. false when the text is
// NULL (begins with a blank) or empty. The fraction is in nanoseconds.
bool IngParseDateText(const char* text, size_t len, DsTimestamp* ts);
// Parses "hh:mm:ss" (a shorter text leaves the missing parts 0).
void IngParseTimeText(const char* text, size_t len, DsTime* t);

// A value as UTF-16 text into buf (capacity in characters, NUL-terminated, cut to fit). 0 or 16.
uint32_t IngValueToWide(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, uint16_t* buf, uint32_t capacity);

// NCHAR bytes (UTF-16) into CHAR text of at most targetLength bytes (blank padded). 0 or 15.
uint32_t IngNcharToChar(uint32_t sourceBytes, const void* source, uint32_t targetLength, char* target);
// NVARCHAR (u16 count and UTF-16) into VARCHAR (u16 length and text) of at most targetCapacity
// bytes. 0 or 15.
uint32_t IngNvarcharToVarchar(uint32_t sourceBytes, const void* source, uint32_t targetCapacity, void* target);

// MONEY as a double: 0 or kErrGeneral.
uint32_t IngMoneyToDouble(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, double* out);

// The statement text in the client character set of a Unicode connection (new text), or null.
char* IngQueryToClientCharset(const char* utf8);

// Frees the statement's conversion buffers.
void IngConvBufsFree(IngStmt* s);
