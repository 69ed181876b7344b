#pragma once
// A cursor's current rows: their values, one status per row, and how many there are.
#include <cstdint>

#include "util/dataset.h"

struct Rowset {
    uint16_t* statuses;  // ODBC row statuses, one per row
    Dataset* data;
    uint32_t rows;
};

// 0, kErrGeneral (no owner pointer or rows <= 0) or kErrNoMemory.
uint32_t RowsetCreate(Rowset** owner, int32_t rows);
// Makes room for rows rows, every status SQL_ROW_NOROW and no columns; 0, 15 or 16.
uint32_t RowsetResize(Rowset* rs, int32_t rows);
void RowsetClear(Rowset* rs);
void RowsetFree(Rowset** owner);
// The status of a 1-based row: SQL_ROW_ERROR for a null rowset or row 0, SQL_ROW_NOROW past the
// rows fetched (the rowset size may have grown since).
inline uint16_t RowsetStatusGet(const Rowset* rs, uint32_t row) {
    if (rs == nullptr || row < 1 || rs->statuses == nullptr) return 5;  // SQL_ROW_ERROR
    if (row > rs->rows) return 3;                                       // SQL_ROW_NOROW
    return rs->statuses[row - 1];
}
// Writes the status of a 1-based row of the rowset; ignored outside it.
void RowsetStatusSet(Rowset* rs, uint32_t row, uint16_t status);
