#include "util/dataset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/trymem.h"

uint32_t DatasetWidth(uint32_t kind, uint32_t length) {
    // 64-bit so that a huge L cannot wrap into a small width.
    const uint64_t L = length;
    uint64_t raw;
    uint64_t align;
    switch (kind) {
        case DS_BIT:
        case DS_TINYINT:
        case DS_UTINYINT:
            raw = 1;
            align = 1;
            break;
        case DS_SMALLINT:
        case DS_USMALLINT:
            raw = 2;
            align = 2;
            break;
        case DS_INTEGER:
        case DS_UINTEGER:
        case DS_REAL:
            raw = 4;
            align = 4;
            break;
        case DS_DOUBLE:
            raw = 8;
            align = 8;
            break;
        case DS_DATE:
        case DS_TIME:
            raw = 6;
            align = 2;
            break;
        case DS_TIMESTAMP:
            raw = 16;
            align = 4;
            break;
        case DS_CHAR_REF:
        case DS_BINARY_REF:
        case DS_WCHAR_REF:
            raw = 16;
            align = 4;
            break;
        case DS_CHAR:
        case DS_BINARY:
            raw = L;
            align = 1;
            break;
        case DS_CHAR_NTS:
        case DS_CHAR_LEN1:
        case DS_BINARY_LEN1:
            raw = L + 1;
            align = 1;
            break;
        case DS_CHAR_LEN2:
        case DS_BINARY_LEN2:
            raw = L + 2;
            align = 2;
            break;
        case DS_CHAR_LEN4:
        case DS_BINARY_LEN4:
            raw = L + 4;
            align = 4;
            break;
        case DS_WCHAR:
            raw = 2 * L;
            align = 2;
            break;
        case DS_WCHAR_NTS:
            raw = 2 * L + 2;
            align = 2;
            break;
        case DS_WCHAR_LEN4:
            raw = 2 * L + 4;
            align = 4;
            break;
        default:
            raw = L;
            align = 1;
            break;
    }
    uint64_t w = (raw + align - 1) / align * align;
    if (w > UINT32_MAX) w = UINT32_MAX / align * align;
    return static_cast<uint32_t>(w);
}

int DatasetInit(Dataset* ds, uint16_t ncols) {
    if (!ds) return DS_EINVAL;
    DatasetColumn* cols = nullptr;
    if (ncols) {
        cols = static_cast<DatasetColumn*>(TryCalloc(ncols, sizeof(DatasetColumn)));
        if (!cols) return DS_ENOMEM;
    }
    ds->cols = cols;
    ds->cols_alloc = ncols;
    ds->rows_alloc = 0;
    ds->col_count = 0;
    ds->rows_used = 0;
    return DS_OK;
}

int DatasetColumnAlloc(DatasetColumn* col, uint32_t rows) {
    if (!col) return DS_EINVAL;
    if (rows == 0) {
        col->data = nullptr;
        col->indicators = nullptr;
        return DS_OK;
    }
    // rows * width + 1 in size_t: in 32 bits it can wrap into an undersized buffer.
    size_t bytes;
    if (!TryMulSize(rows, col->width, &bytes) || bytes == SIZE_MAX) return DS_ENOMEM;
    bytes += 1;
    auto* data = static_cast<uint8_t*>(TryCalloc(bytes, 1));
    if (!data) return DS_ENOMEM;
    auto* ind = static_cast<uint16_t*>(TryMalloc(static_cast<size_t>(rows) * sizeof(uint16_t)));
    if (!ind) {
        TryFree(data);
        return DS_ENOMEM;
    }
    for (uint32_t i = 0; i < rows; ++i) ind[i] = DS_IND_NULL;
    col->data = data;
    col->indicators = ind;
    return DS_OK;
}

void DatasetColumnFree(DatasetColumn* col, uint32_t rows) {
    if (!col) return;
    if (col->data && DatasetKindIsRef(col->kind) && col->width >= sizeof(DsRef)) {
        for (uint32_t i = 0; i < rows; ++i) {
            uint8_t* cell = DatasetCell(col, i);
            DsRef r = DatasetRefGet(cell);
            if (r.ptr) {
                TryFree(r.ptr);
                DatasetRefSet(cell, 0, nullptr);
            }
        }
    }
    TryFree(col->data);
    TryFree(col->indicators);
    col->data = nullptr;
    col->indicators = nullptr;
}

int DatasetAllocRows(Dataset* ds, uint32_t rows) {
    if (!ds) return DS_EINVAL;
    if (ds->cols_alloc < ds->col_count) return DS_ENOMEM;
    if (rows != 0) {
        if (!ds->cols) return DS_ENOMEM;
        // Columns that already hold arrays would leak them.
        for (uint16_t c = 0; c < ds->col_count; ++c)
            if (ds->cols[c].data || ds->cols[c].indicators) return DS_EINVAL;
        for (uint16_t c = 0; c < ds->col_count; ++c) {
            int rc = DatasetColumnAlloc(&ds->cols[c], rows);
            if (rc != DS_OK) {
                // Give back what this call took so the header stays as it was.
                for (uint16_t k = 0; k < c; ++k) DatasetColumnFree(&ds->cols[k], 0);
                return rc;
            }
        }
    }
    ds->rows_alloc = rows;
    return DS_OK;
}

void DatasetFree(Dataset* ds) {
    if (!ds) return;
    if (ds->cols) {
        for (uint16_t c = 0; c < ds->cols_alloc; ++c) DatasetColumnFree(&ds->cols[c], ds->rows_alloc);
        TryFree(ds->cols);
    }
    ds->cols = nullptr;
    ds->cols_alloc = 0;
    ds->rows_alloc = 0;
    ds->col_count = 0;
    ds->rows_used = 0;
}

int DatasetSetRef(Dataset* ds, uint32_t row, uint16_t c, const void* bytes, uint32_t length) {
    if (!ds || !ds->cols || c >= ds->col_count || row >= ds->rows_alloc) return DS_EINVAL;
    DatasetColumn* col = &ds->cols[c];
    if (!DatasetKindIsRef(col->kind) || col->width < sizeof(DsRef) || !col->data) return DS_EINVAL;
    if (!bytes && length) return DS_EINVAL;
    size_t n = DatasetRefBytes(col->kind, length);
    // Always a buffer, even for an empty value, so that a value cell has a pointer.
    void* copy = TryMalloc(n ? n : 1);
    if (!copy) return DS_ENOMEM;
    if (n) std::memcpy(copy, bytes, n);
    uint8_t* cell = DatasetCell(col, row);
    TryFree(DatasetRefGet(cell).ptr);
    DatasetRefSet(cell, length, copy);
    col->indicators[row] = DS_IND_VALUE;
    return DS_OK;
}

ColumnInfo* ColumnInfoArrayAlloc(uint16_t n) {
    return static_cast<ColumnInfo*>(TryCalloc(n ? n : 1, sizeof(ColumnInfo)));
}

void ColumnInfoArrayFree(ColumnInfo* arr, uint16_t n) {
    if (!arr) return;
    for (uint16_t i = 0; i < n; ++i) {
        std::free(arr[i].catalog);
        std::free(arr[i].schema);
        std::free(arr[i].table);
        std::free(arr[i].column);
    }
    std::free(arr);
}

ColumnInfo* ColumnInfoArrayCopy(const ColumnInfo* arr, uint16_t n) {
    if (!arr && n) return nullptr;
    ColumnInfo* out = ColumnInfoArrayAlloc(n);
    if (!out) return nullptr;
    for (uint16_t i = 0; i < n; ++i) {
        out[i] = arr[i];
        out[i].catalog = out[i].schema = out[i].table = out[i].column = nullptr;
        char* const* src[4] = {&arr[i].catalog, &arr[i].schema, &arr[i].table, &arr[i].column};
        char** dst[4] = {&out[i].catalog, &out[i].schema, &out[i].table, &out[i].column};
        for (int k = 0; k < 4; ++k) {
            if (!*src[k]) continue;
            *dst[k] = TryStrdup(*src[k]);
            if (!*dst[k]) {
                ColumnInfoArrayFree(out, static_cast<uint16_t>(i + 1));
                return nullptr;
            }
        }
    }
    return out;
}

int DatasetFromColumnInfos(const ColumnInfo* arr, uint16_t n, uint32_t rows, Dataset* ds) {
    if (!ds || (!arr && n)) return DS_EINVAL;
    if (DatasetInit(ds, n) != DS_OK) return DS_ENOMEM;
    for (uint16_t i = 0; i < n; ++i) {
        ds->cols[i].kind = arr[i].value_kind;
        ds->cols[i].width = DatasetWidth(arr[i].value_kind, arr[i].length);
    }
    ds->col_count = n;
    return DatasetAllocRows(ds, rows);
}

int DatasetRefillFromColumnInfos(const ColumnInfo* arr, uint16_t n, uint32_t rows, Dataset* ds) {
    if (!ds || !arr || n == 0 || rows == 0 || !ds->cols || ds->cols_alloc != n || ds->rows_alloc < rows)
        return DS_EINVAL;
    for (uint16_t i = 0; i < n; ++i) {
        const DatasetColumn& col = ds->cols[i];
        if (col.kind != arr[i].value_kind || col.width != DatasetWidth(arr[i].value_kind, arr[i].length) ||
            DatasetKindIsRef(col.kind) || !col.data || !col.indicators)
            return DS_EINVAL;
    }
    for (uint16_t i = 0; i < n; ++i) std::fill_n(ds->cols[i].indicators, ds->rows_alloc, uint16_t(DS_IND_NULL));
    ds->col_count = n;
    ds->rows_used = 0;
    return DS_OK;
}

namespace {
// Copies src into dst[size]; the text's length is measured in size_t so that lengths of
// 65535 and more are never taken for short ones.
int CopyBounded(const char* src, size_t len, char* dst, uint16_t size, uint16_t* outLen, bool storeLen) {
    if (size == 0) return -1;
    if (static_cast<size_t>(size) >= len + 1) {
        std::memcpy(dst, src, len + 1);
        if (storeLen && outLen) *outLen = static_cast<uint16_t>(len);
        return 0;
    }
    std::memcpy(dst, src, size - 1u);
    dst[size - 1u] = '\0';
    if (storeLen && outLen) *outLen = static_cast<uint16_t>(size - 1u);
    return -1;
}
uint16_t Clamp16(size_t len) { return len > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(len); }
}  // namespace

int StrCopyOut(const char* src, char* dst, uint16_t size, uint16_t* outLen) {
    if (!src || !dst) return -1;
    return CopyBounded(src, std::strlen(src), dst, size, outLen, true);
}

int StrCopyOutLen(const char* src, char* dst, uint16_t size, uint16_t* outLen) {
    if (!src) return -1;
    size_t len = std::strlen(src);
    // A length beyond 16 bits is reported as the largest one, never wrapped to a small one.
    if (outLen) *outLen = Clamp16(len);
    if (!dst) return 0;
    return CopyBounded(src, len, dst, size, outLen, false);
}

void AgentErrorsFree(AgentErrors* rec) {
    if (!rec) return;
    if (rec->texts) {
        for (uint32_t i = 0; i < rec->count; ++i) std::free(rec->texts[i]);
        std::free(rec->texts);
    }
    rec->texts = nullptr;
    rec->count = 0;
}

void PtrPairFree(PtrPair* rec) {
    if (!rec) return;
    std::free(rec->first);
    std::free(rec->second);
    rec->first = nullptr;
    rec->second = nullptr;
}

void DatasetDelete(Dataset* ds) {
    if (!ds) return;
    DatasetFree(ds);
    std::free(ds);
}
