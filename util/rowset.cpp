#include "util/rowset.h"
#include "util/errtable.h"

#include <cstdlib>

uint32_t RowsetCreate(Rowset** owner, int32_t rows) {
    if (!owner || rows <= 0) return kErrGeneral;
    auto* rs = static_cast<Rowset*>(calloc(1, sizeof(Rowset)));
    if (!rs) return kErrNoMemory;
    if (uint32_t rc = RowsetResize(rs, rows)) {
        free(rs);
        return rc;
    }
    *owner = rs;
    return 0;
}

uint32_t RowsetResize(Rowset* rs, int32_t rows) {
    if (!rs || rows <= 0) return kErrGeneral;
    RowsetClear(rs);
    rs->statuses = static_cast<uint16_t*>(calloc(size_t(rows), sizeof(uint16_t)));
    if (!rs->statuses) return kErrNoMemory;
    rs->data = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    if (!rs->data) {
        free(rs->statuses);
        rs->statuses = nullptr;
        return kErrNoMemory;
    }
    for (int32_t i = 0; i < rows; ++i) rs->statuses[i] = 3;  // SQL_ROW_NOROW
    if (int rc = DatasetInit(rs->data, 0)) {
        RowsetClear(rs);
        return uint32_t(rc);
    }
    rs->rows = uint32_t(rows);
    return 0;
}

void RowsetClear(Rowset* rs) {
    if (!rs) return;
    if (rs->data) {
        DatasetFree(rs->data);
        free(rs->data);
        rs->data = nullptr;
    }
    free(rs->statuses);
    rs->statuses = nullptr;
    rs->rows = 0;
}

void RowsetFree(Rowset** owner) {
    if (!owner) return;
    if (*owner) {
        RowsetClear(*owner);
        free(*owner);
    }
    *owner = nullptr;
}

void RowsetStatusSet(Rowset* rs, uint32_t row, uint16_t status) {
    if (rs == nullptr || row < 1 || rs->statuses == nullptr || row > rs->rows) return;
    rs->statuses[row - 1] = status;
}
