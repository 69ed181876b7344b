// Row and column operations on datasets. Every by-reference buffer belongs to exactly one
// cell: copies allocate, moves clear the source's pointer, and a copy that fails half-way
// never leaves a cell pointing at a buffer it does not own.
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

#include "util/dataset.h"
#include "util/trymem.h"
#include "util/utf.h"

namespace {

bool SameShape(const DatasetColumn& a, const DatasetColumn& b) { return a.kind == b.kind && a.width == b.width; }

bool ShapesAgree(const Dataset* a, const Dataset* b) {
    if (a->col_count != b->col_count) return false;
    if (a->col_count && (!a->cols || !b->cols)) return false;
    for (uint16_t c = 0; c < a->col_count; ++c)
        if (!SameShape(a->cols[c], b->cols[c])) return false;
    return true;
}

// A column whose cells can hold a reference.
bool RefColumn(const DatasetColumn& col) { return DatasetKindIsRef(col.kind) && col.width >= sizeof(DsRef); }

bool HasRows(const Dataset* ds, uint32_t rows) {
    if (rows == 0) return true;
    if (!ds->cols) return false;
    for (uint16_t c = 0; c < ds->col_count; ++c)
        if (!ds->cols[c].data || !ds->cols[c].indicators) return false;
    return true;
}

// New buffer holding a copy of a reference's bytes; sets *failed when memory runs out.
void* DupRef(uint32_t kind, const DsRef& r, bool* failed) {
    if (!r.ptr) return nullptr;
    size_t n = DatasetRefBytes(kind, r.length);
    void* p = TryMemdup(r.ptr, n);
    if (!p) *failed = true;
    return p;
}

// Clears every pointer of the first `rows` reference cells (their buffers now belong elsewhere).
void ForgetRefs(DatasetColumn* col, uint32_t rows) {
    if (!RefColumn(*col) || !col->data) return;
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* cell = DatasetCell(col, r);
        DsRef ref = DatasetRefGet(cell);
        DatasetRefSet(cell, ref.length, nullptr);
    }
}

// Frees the buffer of one reference cell and leaves it NULL.
void ReleaseRefCell(DatasetColumn* col, uint32_t row) {
    uint8_t* cell = DatasetCell(col, row);
    TryFree(DatasetRefGet(cell).ptr);
    DatasetRefSet(cell, 0, nullptr);
    col->indicators[row] = DS_IND_NULL;
}

// Replaces every reference of the first `rows` cells by a copy of its own; on failure the
// cells not yet copied are cleared so that the column owns exactly what it allocated.
bool DeepenRefs(DatasetColumn* col, uint32_t rows) {
    if (!RefColumn(*col)) return true;
    bool failed = false;
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* cell = DatasetCell(col, r);
        DsRef ref = DatasetRefGet(cell);
        void* copy = failed ? nullptr : DupRef(col->kind, ref, &failed);
        DatasetRefSet(cell, failed ? 0 : ref.length, copy);
    }
    return !failed;
}

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// Length of a UTF-16 text held in a cell, never past `max` units.
uint32_t CellWideLen(const uint8_t* p, uint32_t max) {
    uint32_t n = 0;
    while (n < max && Load16(p + 2 * n) != 0) ++n;
    return n;
}

size_t PrefixSize(uint32_t kind) {
    switch (kind) {
        case DS_CHAR_LEN1:
        case DS_BINARY_LEN1:
            return 1;
        case DS_CHAR_LEN2:
        case DS_BINARY_LEN2:
            return 2;
        case DS_CHAR_LEN4:
        case DS_BINARY_LEN4:
        case DS_WCHAR_LEN4:
            return 4;
        default:
            return 0;
    }
}

uint32_t LoadPrefix(const uint8_t* cell, size_t size) {
    if (size == 1) return cell[0];
    if (size == 2) return Load16(cell);
    return Load32(cell);
}

// UTF-16 to UTF-8 ("ANSI" on this platform) by the same rules as util/utf.h: a pair becomes
// one 4-byte sequence, a lone surrogate a 3-byte sequence of its own.
void AppendUtf8(std::string& out, uint32_t cp) {
    char bytes[4];
    out.append(bytes, CodePointToUtf8(cp, bytes));
}

// Converts n UTF-16 units; false when memory runs out.
bool WideToNarrow(const uint8_t* src, size_t n, std::string& out) {
    out.clear();
    try {
        out.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            uint32_t u = Load16(src + 2 * i);
            if (u >= 0xD800 && u < 0xDC00 && i + 1 < n) {
                uint32_t lo = Load16(src + 2 * (i + 1));
                if (lo >= 0xDC00 && lo < 0xE000) {
                    AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                    ++i;
                    continue;
                }
            }
            AppendUtf8(out, u);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Largest cut of a UTF-8 text at or below `max` bytes that does not split a character.
size_t Utf8Cut(const uint8_t* s, size_t len, size_t max) {
    return Utf8CutLength(reinterpret_cast<const char*>(s), len, max);
}
// Same for UTF-16 units: never keeps a high surrogate without its partner.
size_t Utf16Cut(const uint8_t* s, size_t len, size_t max) {
    if (len <= max) return len;
    size_t n = max;
    if (n > 0) {
        uint16_t last = Load16(s + 2 * (n - 1));
        if (last >= 0xD800 && last < 0xDC00) --n;
    }
    return n;
}

}  // namespace

DsBytes DatasetCellBytes(const DatasetColumn* col, const uint8_t* cell) {
    const uint32_t w = col->width;
    switch (col->kind) {
        case DS_CHAR_REF:
        case DS_BINARY_REF:
        case DS_WCHAR_REF: {
            if (w < sizeof(DsRef)) return {cell, 0};
            DsRef r = DatasetRefGet(cell);
            if (!r.ptr) return {cell, 0};
            return {static_cast<const uint8_t*>(r.ptr), DatasetRefBytes(col->kind, r.length)};
        }
        case DS_CHAR_NTS:
            return {cell, strnlen(reinterpret_cast<const char*>(cell), w)};
        case DS_CHAR_LEN1:
        case DS_BINARY_LEN1:
        case DS_CHAR_LEN2:
        case DS_BINARY_LEN2:
        case DS_CHAR_LEN4:
        case DS_BINARY_LEN4: {
            size_t p = PrefixSize(col->kind);
            if (w < p) return {cell, 0};
            size_t n = LoadPrefix(cell, p);
            if (n > w - p) n = w - p;
            return {cell + p, n};
        }
        case DS_WCHAR_NTS:
            return {cell, 2 * static_cast<size_t>(CellWideLen(cell, w / 2))};
        case DS_WCHAR_LEN4: {
            if (w < 4) return {cell, 0};
            size_t n = Load32(cell);
            if (n > (w - 4) / 2) n = (w - 4) / 2;
            return {cell + 4, 2 * n};
        }
        default:
            return {cell, w};
    }
}

int DatasetInsertRow(Dataset* ds, uint32_t index) {
    if (!ds || ds->rows_used >= ds->rows_alloc || ds->col_count == 0 || !ds->cols) return DS_EINVAL;
    if (index > ds->rows_used || !HasRows(ds, ds->rows_alloc)) return DS_EINVAL;
    for (uint16_t c = 0; c < ds->col_count; ++c) {
        DatasetColumn* col = &ds->cols[c];
        size_t tail = ds->rows_used - index;
        uint8_t* cell = DatasetCell(col, index);
        if (tail) {
            std::memmove(cell + col->width, cell, tail * col->width);
            std::memmove(col->indicators + index + 1, col->indicators + index, tail * sizeof(uint16_t));
            std::memset(cell, 0, col->width);
        } else if (RefColumn(*col)) {
            // An appended row: nothing moves, but a stray buffer there must not be lost.
            TryFree(DatasetRefGet(cell).ptr);
            std::memset(cell, 0, col->width);
        } else {
            std::memset(cell, 0, col->width);
        }
        col->indicators[index] = DS_IND_NULL;
    }
    ds->rows_used++;
    return DS_OK;
}

int DatasetRowsEqual(const Dataset* a, uint32_t rowA, const Dataset* b, uint32_t rowB, int* equal) {
    if (!equal || !a || !b) return DS_EINVAL;
    if (a->rows_used == 0 || b->rows_used == 0 || rowA >= a->rows_used || rowB >= b->rows_used) return DS_EINVAL;
    if (a->col_count != b->col_count || !HasRows(a, a->rows_used) || !HasRows(b, b->rows_used)) return DS_EINVAL;
    for (uint16_t c = 0; c < a->col_count; ++c)
        if (!SameShape(a->cols[c], b->cols[c])) return DS_EINVAL;
    int eq = 1;
    for (uint16_t c = 0; c < a->col_count && eq; ++c) {
        const DatasetColumn& ca = a->cols[c];
        const DatasetColumn& cb = b->cols[c];
        const uint8_t* x = DatasetCell(&ca, rowA);
        const uint8_t* y = DatasetCell(&cb, rowB);
        if (RefColumn(ca)) {
            DsRef rx = DatasetRefGet(x), ry = DatasetRefGet(y);
            size_t n = DatasetRefBytes(ca.kind, rx.length);
            if (rx.length != ry.length)
                eq = 0;
            else if (n == 0)
                eq = 1;
            else if (!rx.ptr || !ry.ptr)
                eq = rx.ptr == ry.ptr;
            else
                eq = std::memcmp(rx.ptr, ry.ptr, n) == 0;
        } else {
            eq = std::memcmp(x, y, ca.width) == 0;
        }
    }
    *equal = eq;
    return DS_OK;
}

int DatasetClone(Dataset** out, const Dataset* src) {
    if (!out || !src || src->col_count > src->cols_alloc) return DS_EINVAL;
    if (src->rows_used > src->rows_alloc || !HasRows(src, src->rows_used)) return DS_EINVAL;
    auto* ds = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    if (!ds) return DS_ENOMEM;
    int rc = DatasetInit(ds, src->cols_alloc);
    if (rc != DS_OK) {
        TryFree(ds);
        return rc;
    }
    if (src->rows_used != 0) {
        ds->col_count = src->col_count;
        ds->rows_used = src->rows_used;
        ds->rows_alloc = src->rows_used;
        for (uint16_t c = 0; c < src->col_count; ++c) {
            const DatasetColumn& s = src->cols[c];
            DatasetColumn* d = &ds->cols[c];
            d->kind = s.kind;
            d->width = s.width;
            if (DatasetColumnAlloc(d, ds->rows_used) != DS_OK) {
                DatasetDelete(ds);
                return DS_ENOMEM;
            }
            std::memcpy(d->data, s.data, static_cast<size_t>(ds->rows_used) * s.width);
            std::memcpy(d->indicators, s.indicators, ds->rows_used * sizeof(uint16_t));
            if (!DeepenRefs(d, ds->rows_used)) {
                DatasetDelete(ds);
                return DS_ENOMEM;
            }
        }
    }
    *out = ds;
    return DS_OK;
}

int DatasetCopyRow(Dataset* dst, Dataset* src, uint32_t dstRow, uint32_t srcRow, int move) {
    if (!dst || !src || dst->col_count != src->col_count) return DS_EINVAL;
    if (src->rows_used == 0 || srcRow >= src->rows_used || !HasRows(src, src->rows_used)) return DS_EINVAL;
    bool append = dstRow >= dst->rows_used;
    if (append) {
        if (dst->rows_alloc == 0 || dstRow >= dst->rows_alloc || dst->rows_used >= dst->rows_alloc) return DS_EINVAL;
        dstRow = dst->rows_used;
    }
    if (!HasRows(dst, dst->rows_alloc)) return DS_EINVAL;
    // Shapes are checked before anything is written.
    if (!ShapesAgree(dst, src)) return DS_EINVAL;
    if (dst == src && dstRow == srcRow) return DS_OK;

    for (uint16_t c = 0; c < dst->col_count; ++c) {
        DatasetColumn* d = &dst->cols[c];
        DatasetColumn* s = &src->cols[c];
        uint8_t* dcell = DatasetCell(d, dstRow);
        uint8_t* scell = DatasetCell(s, srcRow);
        const bool ref = RefColumn(*d);
        if (ref) ReleaseRefCell(d, dstRow);
        std::memcpy(dcell, scell, d->width);
        d->indicators[dstRow] = s->indicators[srcRow];
        if (!ref) continue;
        DsRef r = DatasetRefGet(scell);
        if (move) {
            DatasetRefSet(scell, r.length, nullptr);
            continue;
        }
        bool failed = false;
        void* copy = s->indicators[srcRow] < DS_IND_NULL ? DupRef(s->kind, r, &failed) : nullptr;
        if (failed) {
            // The cell still names the source's buffer: it must not keep it.
            DatasetRefSet(dcell, 0, nullptr);
            d->indicators[dstRow] = DS_IND_NULL;
            if (append) {
                for (uint16_t k = 0; k < c; ++k)
                    if (RefColumn(dst->cols[k])) ReleaseRefCell(&dst->cols[k], dstRow);
            }
            return DS_ENOMEM;
        }
        DatasetRefSet(dcell, copy ? r.length : 0, copy);
    }
    if (append) dst->rows_used++;
    return DS_OK;
}

int DatasetAppendRows(Dataset* dst, Dataset* src) {
    if (!dst || !src) return DS_EINVAL;
    if (src->rows_used == 0) return DS_OK;
    if (dst == src || !ShapesAgree(dst, src) || !HasRows(src, src->rows_used) || !HasRows(dst, dst->rows_used))
        return DS_EINVAL;
    const uint64_t total64 = static_cast<uint64_t>(dst->rows_used) + src->rows_used;
    if (total64 > UINT32_MAX) return DS_ENOMEM;
    const uint32_t total = static_cast<uint32_t>(total64);
    const uint16_t n = dst->col_count;

    if (total <= dst->rows_alloc && HasRows(dst, dst->rows_alloc)) {
        for (uint16_t c = 0; c < n; ++c) {
            DatasetColumn* d = &dst->cols[c];
            DatasetColumn* s = &src->cols[c];
            // A cell past the rows in use may still own a buffer; it is overwritten now.
            if (RefColumn(*d))
                for (uint32_t r = dst->rows_used; r < total; ++r) TryFree(DatasetRefGet(DatasetCell(d, r)).ptr);
            std::memcpy(d->data + size_t(dst->rows_used) * d->width, s->data, size_t(src->rows_used) * d->width);
            std::memcpy(d->indicators + dst->rows_used, s->indicators, src->rows_used * sizeof(uint16_t));
            ForgetRefs(s, src->rows_used);
        }
        dst->rows_used = total;
        return DS_OK;
    }
    // Rows often come a block at a time: growing by half again keeps a long run of appends linear.
    const uint64_t grown64 = std::max<uint64_t>(total, uint64_t(dst->rows_alloc) + dst->rows_alloc / 2);
    const uint32_t capacity = static_cast<uint32_t>(std::min<uint64_t>(grown64, UINT32_MAX));

    // Every new array is taken before any column changes, so a failure leaves both as they were.
    auto* fresh = static_cast<DatasetColumn*>(TryCalloc(n ? n : 1, sizeof(DatasetColumn)));
    if (!fresh) return DS_ENOMEM;
    for (uint16_t c = 0; c < n; ++c) {
        fresh[c].kind = dst->cols[c].kind;
        fresh[c].width = dst->cols[c].width;
        if (DatasetColumnAlloc(&fresh[c], capacity) != DS_OK) {
            for (uint16_t k = 0; k < c; ++k) DatasetColumnFree(&fresh[k], 0);
            TryFree(fresh);
            return DS_ENOMEM;
        }
    }
    for (uint16_t c = 0; c < n; ++c) {
        DatasetColumn* d = &dst->cols[c];
        DatasetColumn* s = &src->cols[c];
        DatasetColumn* f = &fresh[c];
        const size_t w = d->width;
        if (dst->rows_used) {
            std::memcpy(f->data, d->data, dst->rows_used * w);
            std::memcpy(f->indicators, d->indicators, dst->rows_used * sizeof(uint16_t));
            ForgetRefs(d, dst->rows_used);
        }
        DatasetColumnFree(d, dst->rows_alloc);
        std::memcpy(f->data + dst->rows_used * w, s->data, src->rows_used * w);
        std::memcpy(f->indicators + dst->rows_used, s->indicators, src->rows_used * sizeof(uint16_t));
        ForgetRefs(s, src->rows_used);
        d->data = f->data;
        d->indicators = f->indicators;
    }
    TryFree(fresh);
    dst->rows_used = total;
    dst->rows_alloc = capacity;
    return DS_OK;
}

int DatasetJoinColumns(Dataset* a, Dataset* b) {
    if (!a || !b || a == b || !a->cols || !b->cols || a->rows_used != b->rows_used) return DS_EINVAL;
    const uint32_t total = static_cast<uint32_t>(a->col_count) + b->col_count;
    if (total > 0xFFFF) return DS_EINVAL;
    auto* cols = static_cast<DatasetColumn*>(TryCalloc(total ? total : 1, sizeof(DatasetColumn)));
    if (!cols) return DS_ENOMEM;
    for (uint16_t c = 0; c < b->col_count; ++c) {
        cols[c] = b->cols[c];
        b->cols[c].data = nullptr;
        b->cols[c].indicators = nullptr;
    }
    for (uint16_t c = 0; c < a->col_count; ++c) cols[b->col_count + c] = a->cols[c];
    // Unused places of A's old array normally hold nothing; release whatever they do hold.
    for (uint16_t c = a->col_count; c < a->cols_alloc; ++c) DatasetColumnFree(&a->cols[c], a->rows_alloc);
    TryFree(a->cols);
    a->cols = cols;
    a->col_count = static_cast<uint16_t>(total);
    a->cols_alloc = static_cast<uint16_t>(total);
    // The joined columns must all hold the rows the header claims.
    if (b->rows_alloc < a->rows_alloc) a->rows_alloc = b->rows_alloc;
    return DS_OK;
}

int DatasetCreateLike(Dataset** inout, const Dataset* model, uint32_t rows) {
    if (!inout || !model || *inout == model || model->col_count > model->cols_alloc) return DS_EINVAL;
    if (model->col_count && !model->cols) return DS_EINVAL;
    Dataset* ds = *inout;
    const bool reused = ds != nullptr;
    if (reused) {
        DatasetFree(ds);
    } else {
        ds = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
        if (!ds) return DS_ENOMEM;
    }
    int rc = DatasetInit(ds, model->cols_alloc);
    if (rc == DS_OK) {
        ds->col_count = model->col_count;
        for (uint16_t c = 0; c < model->col_count; ++c) {
            ds->cols[c].kind = model->cols[c].kind;
            ds->cols[c].width = model->cols[c].width;
        }
        rc = DatasetAllocRows(ds, rows);
    }
    if (rc != DS_OK) {
        if (reused)
            DatasetFree(ds);
        else
            DatasetDelete(ds);
        return rc;
    }
    *inout = ds;
    return DS_OK;
}

int DatasetReverseRows(Dataset** inout) {
    if (!inout || !*inout) return DS_EINVAL;
    Dataset* old = *inout;
    Dataset* rev = nullptr;
    int rc = DatasetCreateLike(&rev, old, old->rows_alloc);
    if (rc != DS_OK) return rc;
    for (uint32_t i = 0; i < old->rows_used; ++i) {
        rc = DatasetCopyRow(rev, old, i, old->rows_used - 1 - i, 0);
        if (rc != DS_OK) {
            DatasetDelete(rev);
            return rc;
        }
    }
    DatasetDelete(old);
    *inout = rev;
    return DS_OK;
}

int DatasetRemoveColumn(Dataset* ds, uint16_t index) {
    if (!ds || !ds->cols || index >= ds->col_count) return DS_EINVAL;
    DatasetColumnFree(&ds->cols[index], ds->rows_alloc);
    for (uint16_t c = index; c + 1 < ds->col_count; ++c) ds->cols[c] = ds->cols[c + 1];
    DatasetColumn* last = &ds->cols[ds->col_count - 1];
    last->data = nullptr;
    last->indicators = nullptr;
    ds->col_count--;
    return DS_OK;
}

int DatasetColumnType(const Dataset* ds, uint16_t index, uint32_t* kind, uint32_t* width) {
    if (!ds || !kind || !width || !ds->cols || index >= ds->col_count) return DS_EINVAL;
    *kind = ds->cols[index].kind;
    *width = ds->cols[index].width;
    return DS_OK;
}

int DatasetInsertColumn(Dataset* ds, uint16_t index, uint32_t kind, uint32_t width) {
    if (!ds || index > ds->col_count || ds->cols_alloc == 0xFFFF) return DS_EINVAL;
    // The new column holds as many rows as the others, so that every column can be written
    // up to rows allocated. Its arrays are taken first: a failure changes nothing.
    DatasetColumn fresh{kind, width, nullptr, nullptr};
    int rc = DatasetColumnAlloc(&fresh, ds->rows_alloc);
    if (rc != DS_OK) return rc;
    const size_t n = static_cast<size_t>(ds->cols_alloc) + 1;
    auto* cols = static_cast<DatasetColumn*>(TryRealloc(ds->cols, n * sizeof(DatasetColumn)));
    if (!cols) {
        DatasetColumnFree(&fresh, 0);
        return DS_ENOMEM;
    }
    std::memmove(cols + index + 1, cols + index, (ds->cols_alloc - index) * sizeof(DatasetColumn));
    cols[index] = fresh;
    ds->cols = cols;
    ds->cols_alloc++;
    ds->col_count++;
    return DS_OK;
}

int DatasetCopyColumn(Dataset* dst, const Dataset* src, uint16_t dstCol, uint16_t srcCol) {
    if (!dst || !src || !dst->cols || !src->cols) return DS_EINVAL;
    if (dst == src && dstCol == srcCol) return DS_EINVAL;
    if (dstCol >= dst->col_count || srcCol >= src->col_count) return DS_EINVAL;
    if (dst->rows_used != 0 && dst->rows_used != src->rows_used) return DS_EINVAL;
    const DatasetColumn& s = src->cols[srcCol];
    if (!SameShape(dst->cols[dstCol], s)) return DS_EINVAL;
    if (src->rows_used == 0) return DS_OK;
    if (!s.data || !s.indicators) return DS_EINVAL;

    const uint32_t rowsUsed = src->rows_used;
    const bool reshape = dst->rows_used != rowsUsed;
    const uint32_t rowsAlloc = reshape ? rowsUsed : dst->rows_alloc;
    if (rowsAlloc < rowsUsed) return DS_EINVAL;

    DatasetColumn fresh{s.kind, s.width, nullptr, nullptr};
    if (DatasetColumnAlloc(&fresh, rowsAlloc) != DS_OK) return DS_ENOMEM;
    std::memcpy(fresh.data, s.data, static_cast<size_t>(rowsUsed) * s.width);
    std::memcpy(fresh.indicators, s.indicators, rowsUsed * sizeof(uint16_t));
    if (RefColumn(fresh)) {
        bool failed = false;
        for (uint32_t r = 0; r < rowsUsed; ++r) {
            uint8_t* cell = DatasetCell(&fresh, r);
            DsRef ref = DatasetRefGet(cell);
            void* copy = (!failed && fresh.indicators[r] < DS_IND_NULL) ? DupRef(s.kind, ref, &failed) : nullptr;
            DatasetRefSet(cell, copy ? ref.length : 0, copy);
        }
        if (failed) {
            DatasetColumnFree(&fresh, rowsUsed);
            return DS_ENOMEM;
        }
    }
    if (!reshape) {
        DatasetColumnFree(&dst->cols[dstCol], dst->rows_alloc);
        dst->cols[dstCol] = fresh;
        return DS_OK;
    }
    // The destination held no rows: every other column gets fresh (all NULL) arrays of the
    // new size, taken before anything changes, so that all columns hold rows allocated rows.
    const uint16_t n = dst->col_count;
    auto* others = static_cast<DatasetColumn*>(TryCalloc(n, sizeof(DatasetColumn)));
    bool failed = !others;
    for (uint16_t c = 0; c < n && !failed; ++c) {
        if (c == dstCol) continue;
        others[c].kind = dst->cols[c].kind;
        others[c].width = dst->cols[c].width;
        if (DatasetColumnAlloc(&others[c], rowsAlloc) != DS_OK) failed = true;
    }
    if (failed) {
        if (others)
            for (uint16_t c = 0; c < n; ++c) DatasetColumnFree(&others[c], 0);
        TryFree(others);
        DatasetColumnFree(&fresh, rowsUsed);
        return DS_ENOMEM;
    }
    for (uint16_t c = 0; c < n; ++c) {
        DatasetColumnFree(&dst->cols[c], dst->rows_alloc);
        dst->cols[c] = c == dstCol ? fresh : others[c];
    }
    TryFree(others);
    dst->rows_used = rowsUsed;
    dst->rows_alloc = rowsAlloc;
    return DS_OK;
}

int DatasetWidenColumn(Dataset* ds, uint16_t c, uint32_t length, int measure) {
    if (!ds || !ds->cols || c >= ds->col_count) return DS_EINVAL;
    DatasetColumn* col = &ds->cols[c];
    const uint32_t rowsAlloc = ds->rows_alloc;
    if (rowsAlloc && (!col->data || !col->indicators)) return DS_EINVAL;
    uint32_t newKind = col->kind;
    uint32_t newWidth;
    switch (col->kind) {
        case DS_CHAR:
        case DS_BINARY:
            if (length <= col->width) return DS_OK;
            newKind = col->kind == DS_CHAR ? DS_CHAR_LEN4 : DS_BINARY_LEN4;
            newWidth = DatasetWidth(newKind, length);
            break;
        case DS_WCHAR:
            newKind = DS_WCHAR_LEN4;
            newWidth = DatasetWidth(newKind, length);
            if (newWidth <= col->width) return DS_OK;
            break;
        case DS_CHAR_REF:
        case DS_BINARY_REF:
        case DS_WCHAR_REF: {
            if (!RefColumn(*col)) return DS_OK;
            const size_t need = DatasetRefBytes(col->kind, length);
            for (uint32_t r = 0; r < rowsAlloc; ++r) {
                uint8_t* cell = DatasetCell(col, r);
                DsRef ref = DatasetRefGet(cell);
                const size_t have = DatasetRefBytes(col->kind, ref.length);
                if (need == 0 || (ref.ptr && have >= need)) continue;
                void* buf = TryCalloc(need ? need : 1, 1);
                if (!buf) return DS_ENOMEM;
                if (ref.ptr && col->indicators[r] < DS_IND_NULL && ref.length)
                    std::memcpy(buf, ref.ptr, have < need ? have : need);
                TryFree(ref.ptr);
                DatasetRefSet(cell, ref.length, buf);
            }
            return DS_OK;
        }
        default:
            if (!DatasetKindIsVarying(col->kind)) return DS_OK;
            newWidth = DatasetWidth(col->kind, length);
            if (newWidth <= col->width) return DS_OK;
            break;
    }

    DatasetColumn fresh{newKind, newWidth, nullptr, nullptr};
    int rc = DatasetColumnAlloc(&fresh, rowsAlloc);
    if (rc != DS_OK) return rc;
    if (rowsAlloc) std::memcpy(fresh.indicators, col->indicators, rowsAlloc * sizeof(uint16_t));
    for (uint32_t r = 0; r < ds->rows_used && r < rowsAlloc; ++r) {
        const uint8_t* from = DatasetCell(col, r);
        uint8_t* to = DatasetCell(&fresh, r);
        if (newKind != col->kind) {
            if (col->indicators[r] == DS_IND_NULL) continue;  // count 0, no bytes
            uint32_t count;
            size_t bytes;
            if (col->kind == DS_WCHAR) {
                count = measure ? CellWideLen(from, col->width / 2) : col->width / 2;
                if (count > (newWidth - 4) / 2) count = (newWidth - 4) / 2;
                bytes = 2 * static_cast<size_t>(count);
            } else {
                count = (measure && col->kind == DS_CHAR)
                            ? static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(from), col->width))
                            : col->width;
                if (count > newWidth - 4) count = newWidth - 4;
                bytes = count;
            }
            Store32(to, count);
            std::memcpy(to + 4, from, bytes);
        } else {
            std::memcpy(to, from, col->width);
        }
    }
    DatasetColumnFree(col, rowsAlloc);
    *col = fresh;
    return DS_OK;
}

int DatasetGetValue(const Dataset* ds, uint32_t row, uint16_t c, void* buffer, uint32_t* length) {
    if (!ds || !buffer || !length || !ds->cols || c >= ds->col_count || row >= ds->rows_used) return DS_EINVAL;
    const DatasetColumn& col = ds->cols[c];
    if (!col.data || !col.indicators) return DS_EINVAL;
    if (*length == 0) return DS_OK;
    if (col.indicators[row] == DS_IND_NULL) {
        *length = 0;
        return DS_OK;
    }
    const DsBytes v = DatasetCellBytes(&col, DatasetCell(&col, row));
    size_t n = v.size < *length ? v.size : *length;
    if (n) std::memcpy(buffer, v.bytes, n);
    *length = static_cast<uint32_t>(n);
    return DS_OK;
}

int DatasetNarrowColumns(Dataset* ds) {
    if (!ds) return DS_EINVAL;
    if (ds->col_count && !ds->cols) return DS_EINVAL;
    std::string text;
    for (uint16_t c = 0; c < ds->col_count; ++c) {
        DatasetColumn* col = &ds->cols[c];
        const uint32_t kind = col->kind;
        if (kind != DS_WCHAR && kind != DS_WCHAR_NTS && kind != DS_WCHAR_REF && kind != DS_WCHAR_LEN4) continue;
        const uint32_t rows = ds->rows_used;
        if (rows && (!col->data || !col->indicators)) return DS_EINVAL;

        if (kind == DS_WCHAR_REF) {
            if (!RefColumn(*col)) {
                col->kind = DS_CHAR_REF;
                continue;
            }
            // All new buffers first, so that a failure leaves the column as it was.
            auto** bufs = static_cast<char**>(TryCalloc(rows ? rows : 1, sizeof(char*)));
            auto* lens = static_cast<uint32_t*>(TryCalloc(rows ? rows : 1, sizeof(uint32_t)));
            bool failed = !bufs || !lens;
            for (uint32_t r = 0; r < rows && !failed; ++r) {
                if (col->indicators[r] == DS_IND_NULL) continue;
                DsRef ref = DatasetRefGet(DatasetCell(col, r));
                if (!ref.ptr) continue;
                if (!WideToNarrow(static_cast<const uint8_t*>(ref.ptr), ref.length, text)) {
                    failed = true;
                    break;
                }
                bufs[r] = static_cast<char*>(TryMemdup(text.data(), text.size() + 1));
                if (!bufs[r]) failed = true;
                lens[r] = static_cast<uint32_t>(text.size());
            }
            if (failed) {
                if (bufs)
                    for (uint32_t r = 0; r < rows; ++r) TryFree(bufs[r]);
                TryFree(bufs);
                TryFree(lens);
                return DS_ENOMEM;
            }
            for (uint32_t r = 0; r < rows; ++r) {
                if (!bufs[r]) continue;
                uint8_t* cell = DatasetCell(col, r);
                TryFree(DatasetRefGet(cell).ptr);
                DatasetRefSet(cell, lens[r], bufs[r]);
            }
            TryFree(bufs);
            TryFree(lens);
            col->kind = DS_CHAR_REF;
            continue;
        }

        // UTF-8 can need up to three bytes for a UTF-16 unit: the cell keeps its width
        // when the narrow text fits and grows when it does not, so nothing is cut.
        auto measureRow = [&](uint32_t r, std::string& out) -> bool {
            const uint8_t* cell = DatasetCell(col, r);
            size_t n;
            const uint8_t* p = cell;
            if (kind == DS_WCHAR_LEN4) {
                const DsBytes v = DatasetCellBytes(col, cell);
                p = v.bytes;
                n = v.size / 2;
            } else {
                n = CellWideLen(cell, col->width / 2);
            }
            return WideToNarrow(p, n, out);
        };
        const uint32_t newKind = kind == DS_WCHAR_LEN4 ? DS_CHAR_LEN4 : DS_CHAR_NTS;
        const size_t prefix = newKind == DS_CHAR_LEN4 ? 4 : 0;
        const size_t term = newKind == DS_CHAR_NTS ? 1 : 0;
        size_t need = col->width;
        for (uint32_t r = 0; r < rows; ++r) {
            if (col->indicators[r] == DS_IND_NULL) continue;
            if (!measureRow(r, text)) return DS_ENOMEM;
            size_t cellBytes = prefix + text.size() + term;
            if (cellBytes > need) need = cellBytes;
        }
        if (need > UINT32_MAX - 4) return DS_ENOMEM;
        DatasetColumn fresh{newKind, static_cast<uint32_t>(need), nullptr, nullptr};
        if (fresh.width != col->width && prefix) fresh.width = (fresh.width + 3) / 4 * 4;
        if (DatasetColumnAlloc(&fresh, ds->rows_alloc) != DS_OK) return DS_ENOMEM;
        if (ds->rows_alloc) std::memcpy(fresh.indicators, col->indicators, ds->rows_alloc * sizeof(uint16_t));
        for (uint32_t r = 0; r < rows; ++r) {
            if (col->indicators[r] == DS_IND_NULL) continue;
            if (!measureRow(r, text)) {
                DatasetColumnFree(&fresh, 0);
                return DS_ENOMEM;
            }
            uint8_t* to = DatasetCell(&fresh, r);
            if (prefix) Store32(to, static_cast<uint32_t>(text.size()));
            std::memcpy(to + prefix, text.data(), text.size());  // the zeroed cell terminates it
        }
        DatasetColumnFree(col, ds->rows_alloc);
        *col = fresh;
    }
    return DS_OK;
}

int DatasetApplyMaxLength(Dataset* ds, uint32_t maximum) {
    if (!ds) return DS_EINVAL;
    if (ds->col_count && !ds->cols) return DS_EINVAL;
    for (uint16_t c = 0; c < ds->col_count; ++c) {
        DatasetColumn* col = &ds->cols[c];
        uint32_t kind = col->kind;
        if ((kind == DS_CHAR || kind == DS_BINARY) && col->width > maximum) {
            int rc = DatasetWidenColumn(ds, c, col->width + 1, 0);
            if (rc != DS_OK) return rc;
        } else if (kind == DS_WCHAR && col->width / 2 > maximum) {
            int rc = DatasetWidenColumn(ds, c, col->width / 2 + 1, 0);
            if (rc != DS_OK) return rc;
        }
        kind = col->kind;
        bool visit;
        switch (kind) {
            case DS_CHAR_NTS:
                visit = col->width >= 1 && col->width - 1 > maximum;
                break;
            case DS_WCHAR_NTS:
                visit = col->width / 2 >= 1 && col->width / 2 - 1 > maximum;
                break;
            case DS_CHAR:
            case DS_BINARY:
            case DS_WCHAR:
                if ((kind == DS_WCHAR ? col->width / 2 : col->width) > maximum) return DS_EINVAL;
                visit = false;
                break;
            default:
                visit = DatasetKindIsRef(kind) || PrefixSize(kind) != 0;
                break;
        }
        if (!visit || ds->rows_used == 0) continue;
        if (!col->data || !col->indicators) return DS_EINVAL;
        if (DatasetKindIsRef(kind) && !RefColumn(*col)) continue;
        const bool text = DatasetKindIsNarrowText(kind);
        for (uint32_t r = 0; r < ds->rows_used; ++r) {
            if (col->indicators[r] == DS_IND_NULL) continue;
            uint8_t* cell = DatasetCell(col, r);
            switch (kind) {
                case DS_CHAR_REF:
                case DS_BINARY_REF:
                case DS_WCHAR_REF: {
                    DsRef ref = DatasetRefGet(cell);
                    if (ref.length <= maximum) break;
                    size_t keep = maximum;
                    if (ref.ptr && text) keep = Utf8Cut(static_cast<const uint8_t*>(ref.ptr), ref.length, maximum);
                    if (ref.ptr && kind == DS_WCHAR_REF)
                        keep = Utf16Cut(static_cast<const uint8_t*>(ref.ptr), ref.length, maximum);
                    DatasetRefSet(cell, static_cast<uint32_t>(keep), ref.ptr);
                    break;
                }
                case DS_CHAR_LEN1:
                case DS_CHAR_LEN2:
                case DS_CHAR_LEN4:
                case DS_BINARY_LEN1:
                case DS_BINARY_LEN2:
                case DS_BINARY_LEN4:
                case DS_WCHAR_LEN4: {
                    const size_t p = PrefixSize(kind);
                    if (col->width < p) break;
                    uint32_t stored = LoadPrefix(cell, p);
                    if (stored <= maximum) break;
                    const DsBytes v = DatasetCellBytes(col, cell);
                    size_t keep = maximum;
                    if (text)
                        keep = Utf8Cut(v.bytes, v.size, maximum);
                    else if (kind == DS_WCHAR_LEN4)
                        keep = Utf16Cut(v.bytes, v.size / 2, maximum);
                    if (p == 1)
                        cell[0] = static_cast<uint8_t>(keep);
                    else if (p == 2)
                        Store16(cell, static_cast<uint16_t>(keep));
                    else
                        Store32(cell, static_cast<uint32_t>(keep));
                    break;
                }
                case DS_CHAR_NTS: {
                    size_t len = strnlen(reinterpret_cast<const char*>(cell), col->width);
                    cell[Utf8Cut(cell, len, maximum)] = 0;
                    break;
                }
                case DS_WCHAR_NTS: {
                    size_t len = CellWideLen(cell, col->width / 2);
                    Store16(cell + 2 * Utf16Cut(cell, len, maximum), 0);
                    break;
                }
                default:
                    break;
            }
        }
    }
    return DS_OK;
}
