// Byte layout of the dataset cache's two files. One set of routines moves each value in either
// direction, so that what is written and what is read back cannot drift apart. Every number is a
// little-endian 32-bit word unless it is a raw run of element bytes.
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "scrs/dsc.h"
#include "util/trymem.h"

namespace {

// No element of a real result is near this wide; a corrupt descriptor must not ask for gigabytes.
constexpr uint32_t kMaxWidth = 1u << 24;

// Block size of a run's buffer: a window of ordinary rows is read in a few system calls.
constexpr size_t kRunBuffer = 64 * 1024;

bool Seek(FILE* f, uint64_t pos) {
    if (pos > uint64_t(LLONG_MAX)) return false;
    return fseeko(f, off_t(pos), SEEK_SET) == 0;
}

bool SeekEnd(FILE* f) { return fseeko(f, 0, SEEK_END) == 0; }

// Bytes read at once from the start of the data file: the header and the descriptors of up to
// 32 columns in one system call.
constexpr size_t kHeadBuffer = 8 + 8 * 32;
// A run of rows up to this size is read into a buffer on the stack.
constexpr size_t kSmallRun = 16 * 1024;

// Up to n bytes at `at`; fewer only at the end of the file.
bool PreadUpTo(int fd, uint8_t* p, size_t n, uint64_t at, size_t* got) {
    *got = 0;
    while (n > 0) {
        if (at > uint64_t(LLONG_MAX)) return false;
        ssize_t r = pread(fd, p, n, off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) break;
        p += r;
        n -= size_t(r);
        at += uint64_t(r);
        *got += size_t(r);
    }
    return true;
}

// The first n rows of a window refilled in its own arrays start empty and NULL.
void BlankRows(Dataset* ds, uint32_t n) {
    for (uint16_t c = 0; c < ds->col_count; ++c) {
        DatasetColumn& col = ds->cols[c];
        std::memset(col.data, 0, size_t(n) * col.width);
        for (uint32_t i = 0; i < n; ++i) col.indicators[i] = DS_IND_NULL;
    }
    ds->rows_used = n;
}

// All n bytes at `at`; the end of the file before them is a failure.
bool PreadAll(int fd, void* p, size_t n, uint64_t at) {
    size_t got = 0;
    return PreadUpTo(fd, static_cast<uint8_t*>(p), n, at, &got) && got == n;
}

uint32_t Word(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// Points the stream's buffer at file offset `at`, keeping the bytes already in it when they
// cover that offset.
void BufSeek(DSC_Stream* s, uint64_t at) {
    const uint64_t start = s->next - s->len;
    if (at >= start && at <= s->next) {
        s->pos = size_t(at - start);
        return;
    }
    s->len = s->pos = 0;
    s->next = at;
}

bool PwriteAll(int fd, const uint8_t* p, size_t n, uint64_t at) {
    while (n > 0) {
        if (at > uint64_t(LLONG_MAX)) return false;
        ssize_t r = pwrite(fd, p, n, off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
        at += uint64_t(r);
    }
    return true;
}

bool BufFlush(DSC_Stream* s) {
    if (s->len > 0 && fwrite(s->buf, 1, s->len, s->fp) != s->len) return false;
    s->next += s->len;
    s->len = 0;
    return true;
}

inline bool BufGet(DSC_Stream* s, uint8_t* p, size_t n) {
    if (s->len - s->pos >= n) {
        std::memcpy(p, s->buf + s->pos, n);
        s->pos += n;
        return true;
    }
    while (n > 0) {
        if (s->pos == s->len) {
            // A value larger than the buffer goes straight to its place.
            if (n >= s->cap) {
                if (!PreadAll(s->fd, p, n, s->next)) return false;
                s->next += n;
                return true;
            }
            ssize_t r;
            do r = pread(s->fd, s->buf, s->cap, off_t(s->next));
            while (r < 0 && errno == EINTR);
            if (r <= 0) return false;
            s->len = size_t(r);
            s->pos = 0;
            s->next += uint64_t(r);
        }
        const size_t k = n < s->len - s->pos ? n : s->len - s->pos;
        std::memcpy(p, s->buf + s->pos, k);
        s->pos += k;
        p += k;
        n -= k;
    }
    return true;
}

bool BufPut(DSC_Stream* s, const uint8_t* p, size_t n) {
    if (s->cap - s->len < n) {
        if (!BufFlush(s)) return false;
        if (n >= s->cap) {
            if (fwrite(p, 1, n, s->fp) != n) return false;
            s->next += n;
            return true;
        }
    }
    std::memcpy(s->buf + s->len, p, n);
    s->len += n;
    return true;
}

bool IoBytes(DSC_Stream* s, void* p, size_t n) {
    if (n == 0) return true;
    if (s->buf)
        return s->mode == kDscWrite ? BufPut(s, static_cast<uint8_t*>(p), n) : BufGet(s, static_cast<uint8_t*>(p), n);
    if (s->mode == kDscWrite) return fwrite(p, 1, n, s->fp) == n;
    return fread(p, 1, n, s->fp) == n;
}

bool PutWord(FILE* f, uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return fwrite(b, 1, 4, f) == 4;
}

bool GetWord(FILE* f, uint32_t* v) {
    uint8_t b[4];
    if (fread(b, 1, 4, f) != 4) return false;
    *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool IoWord(DSC_Stream* s, uint32_t* v) {
    if (s->buf == nullptr) return s->mode == kDscWrite ? PutWord(s->fp, *v) : GetWord(s->fp, v);
    uint8_t b[4];
    if (s->mode == kDscRead && s->len - s->pos >= 4) {
        const uint8_t* p = s->buf + s->pos;
        *v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        s->pos += 4;
        return true;
    }
    if (s->mode == kDscWrite) {
        b[0] = uint8_t(*v), b[1] = uint8_t(*v >> 8), b[2] = uint8_t(*v >> 16), b[3] = uint8_t(*v >> 24);
        return BufPut(s, b, 4);
    }
    if (!BufGet(s, b, 4)) return false;
    *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

// A field of `size` bytes at `p`, widened to a word in the file (sign- or zero-extended); on
// reading its low bytes are stored.
bool IoField(DSC_Stream* s, void* p, size_t size, bool isSigned) {
    uint32_t w = 0;
    if (s->mode == kDscWrite) {
        if (size == 1) {
            uint8_t v;
            std::memcpy(&v, p, 1);
            w = isSigned ? uint32_t(int32_t(int8_t(v))) : v;
        } else if (size == 2) {
            uint16_t v;
            std::memcpy(&v, p, 2);
            w = isSigned ? uint32_t(int32_t(int16_t(v))) : v;
        } else {
            std::memcpy(&w, p, 4);
        }
        return IoWord(s, &w);
    }
    if (!IoWord(s, &w)) return false;
    if (size == 1) {
        uint8_t v = uint8_t(w);
        std::memcpy(p, &v, 1);
    } else if (size == 2) {
        uint16_t v = uint16_t(w);
        std::memcpy(p, &v, 2);
    } else {
        std::memcpy(p, &w, 4);
    }
    return true;
}

// Smallest element that holds a value of the kind (0 for the fixed runs, any width fits).
uint32_t MinWidth(uint32_t kind) {
    switch (kind) {
        case 2:
        case 3:
        case 6:
            return 1;
        case 4:
        case 7:
            return 2;
        case 5:
        case 8:
        case 9:
            return 4;
        case 10:
            return 8;
        case 11:
        case 12:
            return 6;
        case 13:
            return 16;
        case 15:
        case 16:
        case 26:
            return 16;
        case 18:
        case 21:
            return 1;
        case 19:
        case 22:
            return 2;
        case 20:
        case 23:
        case 27:
            return 4;
        default:
            return 0;
    }
}

uint32_t PrefixBytes(uint32_t kind) {
    switch (kind) {
        case 18:
        case 21:
            return 1;
        case 19:
        case 22:
            return 2;
        default:
            return 4;  // 20, 23, 27
    }
}

bool IoRef(DSC_Stream* s, uint32_t kind, uint8_t* cell) {
    DsRef r = DatasetRefGet(cell);
    if (!IoWord(s, &r.length)) return false;
    const size_t bytes = DatasetRefBytes(kind, r.length);
    if (s->mode == kDscWrite) {
        if (bytes && !r.ptr) return false;
        return IoBytes(s, r.ptr, bytes);
    }
    // A length the file cannot hold is a corrupt file, not a reason to allocate it.
    if (bytes > s->size) return false;
    // A freshly set-up window holds no pointers; anything else here is replaced, never reused
    // with a size it was not made for.
    TryFree(r.ptr);
    r.ptr = nullptr;
    DatasetRefSet(cell, r.length, nullptr);
    size_t alloc = 0;
    if (kind == DS_CHAR_REF)
        alloc = bytes + 1;
    else if (kind == DS_WCHAR_REF)
        alloc = bytes + 2;
    else
        alloc = bytes;
    if (alloc) {
        r.ptr = TryMalloc(alloc);
        if (!r.ptr) {
            errno = ENOMEM;  // the cache tells its owner why a read failed by errno
            return false;
        }
        DatasetRefSet(cell, r.length, r.ptr);
        if (!IoBytes(s, r.ptr, bytes)) return false;
        if (kind != DS_BINARY_REF) std::memset(static_cast<uint8_t*>(r.ptr) + bytes, 0, alloc - bytes);
    }
    return true;
}

bool IoPrefixed(DSC_Stream* s, uint32_t kind, uint32_t width, uint8_t* cell) {
    const uint32_t p = PrefixBytes(kind);
    uint32_t len = 0;
    if (s->mode == kDscWrite) {
        if (p == 1)
            len = cell[0];
        else if (p == 2) {
            uint16_t v;
            std::memcpy(&v, cell, 2);
            len = v;
        } else
            std::memcpy(&len, cell, 4);
    }
    if (!IoWord(s, &len)) return false;
    const uint64_t bytes = kind == DS_WCHAR_LEN4 ? uint64_t(len) * 2 : len;
    // The value must fit its element, in memory and in the file alike.
    if (bytes > uint64_t(width - p)) return false;
    if (p < 4 && len >> (8 * p)) return false;
    if (s->mode == kDscRead) {
        if (p == 1)
            cell[0] = uint8_t(len);
        else if (p == 2) {
            uint16_t v = uint16_t(len);
            std::memcpy(cell, &v, 2);
        } else
            std::memcpy(cell, &len, 4);
    }
    return IoBytes(s, cell + p, size_t(bytes));
}

bool IoValue(DSC_Stream* s, DatasetColumn* col, uint8_t* cell) {
    const uint32_t w = col->width;
    switch (col->kind) {
        case 0:
            return true;
        case DS_CHAR:
        case DS_BINARY:
        case DS_CHAR_NTS:
        case DS_WCHAR:
        case DS_WCHAR_NTS:
            return IoBytes(s, cell, w);
        case DS_BIT:
        case DS_UTINYINT:
            return IoField(s, cell, 1, false);
        case DS_TINYINT:
            return IoField(s, cell, 1, true);
        case DS_SMALLINT:
            return IoField(s, cell, 2, true);
        case DS_USMALLINT:
            return IoField(s, cell, 2, false);
        case DS_INTEGER:
        case DS_UINTEGER:
        case DS_REAL:
            return IoField(s, cell, 4, false);
        case DS_DOUBLE:
            return IoBytes(s, cell, 8);
        case DS_DATE:
            return IoField(s, cell + offsetof(DsDate, year), 2, true) &&
                   IoField(s, cell + offsetof(DsDate, month), 2, false) &&
                   IoField(s, cell + offsetof(DsDate, day), 2, false);
        case DS_TIME:
            return IoField(s, cell + offsetof(DsTime, hour), 2, false) &&
                   IoField(s, cell + offsetof(DsTime, minute), 2, false) &&
                   IoField(s, cell + offsetof(DsTime, second), 2, false);
        case DS_TIMESTAMP:
            return IoField(s, cell + offsetof(DsTimestamp, year), 2, true) &&
                   IoField(s, cell + offsetof(DsTimestamp, month), 2, false) &&
                   IoField(s, cell + offsetof(DsTimestamp, day), 2, false) &&
                   IoField(s, cell + offsetof(DsTimestamp, hour), 2, false) &&
                   IoField(s, cell + offsetof(DsTimestamp, minute), 2, false) &&
                   IoField(s, cell + offsetof(DsTimestamp, second), 2, false) &&
                   IoField(s, cell + offsetof(DsTimestamp, fraction), 4, false);
        case DS_CHAR_REF:
        case DS_BINARY_REF:
        case DS_WCHAR_REF:
            return IoRef(s, col->kind, cell);
        case DS_CHAR_LEN1:
        case DS_CHAR_LEN2:
        case DS_CHAR_LEN4:
        case DS_BINARY_LEN1:
        case DS_BINARY_LEN2:
        case DS_BINARY_LEN4:
        case DS_WCHAR_LEN4:
            return IoPrefixed(s, col->kind, w, cell);
        default:
            return false;
    }
}

}  // namespace

int dsc_IoCell(DSC_Stream* s, DatasetColumn* col, uint32_t row) {
    if (s == nullptr || s->fp == nullptr || col == nullptr || col->indicators == nullptr) return 0;
    if (DatasetKindIsRef(col->kind)) col->width = sizeof(DsRef);
    uint32_t ind = uint32_t(int32_t(int16_t(col->indicators[row])));
    if (!IoWord(s, &ind)) return 0;
    if (s->mode == kDscRead) col->indicators[row] = uint16_t(ind);
    if (uint16_t(ind) != 0) return 1;
    if (col->kind > 27) return 0;
    if (col->kind == 0) return 1;
    if (col->data == nullptr || col->width < MinWidth(col->kind)) return 0;
    return IoValue(s, col, DatasetCell(col, row)) ? 1 : 0;
}

int dsc_IoColumnDesc(DSC_Stream* s, DatasetColumn* col, uint32_t rows) {
    if (s == nullptr || col == nullptr) return 0;
    if (!IoWord(s, &col->kind) || !IoWord(s, &col->width)) return 0;
    if (s->mode == kDscWrite) return 1;
    if (DatasetKindIsRef(col->kind)) col->width = sizeof(DsRef);
    if (col->kind > 27 || col->width < MinWidth(col->kind) || col->width > kMaxWidth) return 0;
    const int rc = DatasetColumnAlloc(col, rows);
    if (rc == DS_ENOMEM) errno = ENOMEM;
    return rc == DS_OK ? 1 : 0;
}

namespace {

// The block buffer of one run of rows, given back (and the stream made plain again) on every
// way out. Without memory for it the run goes word by word through stdio, as it always could.
struct RunBuffer {
    DSC_Stream* s;
    uint8_t* index = nullptr;  // write mode: the run's offsets, written to the index in one go
    RunBuffer(DSC_Stream* stream, uint32_t rows) : s(stream) {
        const int fd = fileno(s->fp);
        if (fd < 0) return;
        if (s->mode == kDscWrite) {
            index = static_cast<uint8_t*>(TryMalloc(size_t(rows) * 4 + 1));
            if (index == nullptr) return;
        }
        s->buf = static_cast<uint8_t*>(TryMalloc(kRunBuffer));
        if (s->buf == nullptr) return;
        s->cap = kRunBuffer;
        s->len = s->pos = 0;
        s->fd = fd;
    }
    ~RunBuffer() {
        TryFree(s->buf);
        TryFree(index);
        s->buf = nullptr;
        s->cap = s->len = s->pos = 0;
    }
};

}  // namespace

int dsc_IoRows(DSC_Stream* s, Dataset* ds, uint32_t first, uint32_t n, FILE* index, uint32_t already) {
    if (s == nullptr || s->fp == nullptr || ds == nullptr || index == nullptr) return 0;
    const bool writing = s->mode == kDscWrite;
    uint64_t at = 0;
    if (writing) {
        if (uint64_t(first) + n > ds->rows_used || ds->rows_used > ds->rows_alloc) return 0;
        if (uint64_t(already) + n > UINT32_MAX) {
            errno = EFBIG;
            return 0;
        }
        if (!SeekEnd(index) || !SeekEnd(s->fp)) return 0;
        off_t end = ftello(s->fp);
        if (end < 0) return 0;
        at = uint64_t(end);
    } else {
        if (n > ds->rows_alloc) return 0;
        uint32_t offset = 0;
        if (!Seek(index, uint64_t(first) * 4) || !GetWord(index, &offset)) return 0;
        if (offset > s->size || !Seek(s->fp, offset)) return 0;
        at = offset;
    }
    RunBuffer run(s, n);
    s->next = at;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t row = writing ? first + i : i;
        uint64_t pos = 0;
        if (writing) {
            pos = s->buf ? s->next + s->len : uint64_t(ftello(s->fp));
            // The index holds 32-bit offsets: a row starting past them cannot be found again.
            if (pos > UINT32_MAX) {
                errno = EFBIG;
                return 0;
            }
        }
        for (uint16_t c = 0; c < ds->col_count; ++c)
            if (!dsc_IoCell(s, &ds->cols[c], row)) return 0;
        if (writing) {
            if (run.index) {
                uint8_t* b = run.index + size_t(i) * 4;
                b[0] = uint8_t(pos), b[1] = uint8_t(pos >> 8), b[2] = uint8_t(pos >> 16), b[3] = uint8_t(pos >> 24);
            } else if (!PutWord(index, uint32_t(pos))) {
                return 0;
            }
        }
    }
    if (writing) {
        if (s->buf && !BufFlush(s)) return 0;
        if (run.index && n > 0 && fwrite(run.index, 1, size_t(n) * 4, index) != size_t(n) * 4) return 0;
        const uint32_t total = n + already;
        const uint8_t head[8] = {
            uint8_t(ds->col_count), uint8_t(ds->col_count >> 8), 0, 0, uint8_t(total), uint8_t(total >> 8),
            uint8_t(total >> 16),   uint8_t(total >> 24)};
        if (s->buf) {
            // The header goes in place with one positioned write; the stream stays behind the rows.
            if (fflush(s->fp) != 0 || !PwriteAll(s->fd, head, sizeof head, 0)) return 0;
        } else if (!Seek(s->fp, 0) || fwrite(head, 1, sizeof head, s->fp) != sizeof head || fflush(s->fp) != 0) {
            return 0;
        }
        if (fflush(index) != 0) return 0;
    } else if (s->buf) {
        // The stream is left just past the rows read, where reading word by word leaves it.
        if (!Seek(s->fp, s->next - (s->len - s->pos))) return 0;
    }
    return 1;
}

int dsc_IoCache(uint32_t mode, FILE* data, FILE* index, Dataset* ds, int32_t first, int32_t most) {
    if (data == nullptr || index == nullptr || ds == nullptr || (mode != kDscWrite && mode != kDscRead)) return 0;
    DSC_Stream s{mode, data, 0};
    if (mode == kDscRead) {
        if (fflush(data) != 0 || !SeekEnd(data)) return 0;
        off_t end = ftello(data);
        if (end < 0) return 0;
        s.size = uint64_t(end);
    }
    if (!Seek(data, 0)) return 0;
    uint32_t cols = ds->col_count, rows = ds->rows_used;
    if (!IoWord(&s, &cols) || !IoWord(&s, &rows)) return 0;
    if (cols == 0 || cols > 0xFFFF) return 0;
    if (first < 0 || int64_t(first) > int64_t(rows) - 1) return 0;
    uint32_t n = rows - uint32_t(first);
    if (most > 0 && uint32_t(most) < n) n = uint32_t(most);
    if (mode == kDscRead) {
        // The index must hold an offset for every row the header claims.
        if (fflush(index) != 0 || !SeekEnd(index)) return 0;
        off_t indexEnd = ftello(index);
        if (indexEnd < 0 || uint64_t(indexEnd) < (uint64_t(first) + n) * 4) return 0;
        // A window of the same shape is refilled in its own arrays: new arrays of thousands of rows
        // cost more in fresh pages than the reading does.
        bool refill = ds->cols != nullptr && ds->col_count == cols && ds->cols_alloc >= cols && ds->rows_alloc >= n;
        for (uint16_t c = 0; refill && c < ds->col_count; ++c) {
            const DatasetColumn& col = ds->cols[c];
            uint32_t kind = 0, width = 0;
            if (!GetWord(data, &kind) || !GetWord(data, &width)) return 0;
            refill = kind == col.kind && width == col.width && !DatasetKindIsRef(kind) && col.data && col.indicators;
        }
        if (refill) {
            BlankRows(ds, n);
            return dsc_IoRows(&s, ds, uint32_t(first), n, index, 0);
        }
        if (!Seek(data, 8)) return 0;
        DatasetFree(ds);
        if (DatasetInit(ds, uint16_t(cols)) != DS_OK) {
            errno = ENOMEM;
            return 0;
        }
        ds->col_count = uint16_t(cols);
        ds->rows_used = ds->rows_alloc = n;
    }
    for (uint16_t c = 0; c < ds->col_count; ++c)
        if (!dsc_IoColumnDesc(&s, &ds->cols[c], n)) return 0;
    return dsc_IoRows(&s, ds, uint32_t(first), n, index, 0);
}

int dsc_AppendRows(FILE* data, FILE* index, Dataset* ds) {
    if (data == nullptr || index == nullptr || ds == nullptr) return 0;
    if (ds->rows_used == 0) return 1;
    DSC_Stream s{kDscRead, data, 0};
    uint32_t cols = 0, old = 0;
    if (fflush(data) != 0) return 0;
    // Once per block of a fill: the header is read in place, leaving the stream as it is.
    uint8_t head[8];
    size_t got = 0;
    const int fd = fileno(data);
    if (fd >= 0) {
        if (!PreadUpTo(fd, head, sizeof head, 0, &got) || got != sizeof head) return 0;
        cols = Word(head);
        old = Word(head + 4);
    } else if (!Seek(data, 0) || !GetWord(data, &cols) || !GetWord(data, &old)) {
        return 0;
    }
    // Rows of another shape would make the whole file unreadable.
    if (cols != ds->col_count) return 0;
    s.mode = kDscWrite;
    return dsc_IoRows(&s, ds, 0, ds->rows_used, index, old);
}

int dsc_ReadRun(FILE* data, FILE* index, Dataset* ds, uint32_t first, uint32_t most, uint32_t* onFile, uint64_t* size) {
    if (data == nullptr || index == nullptr || ds == nullptr) return 0;
    // Rows still in the streams' buffers reach the files first; with nothing buffered this costs
    // no system call.
    if (fflush(data) != 0 || fflush(index) != 0) return 0;
    const int fd = fileno(data), ifd = fileno(index);
    if (fd < 0 || ifd < 0) return 0;
    uint64_t bytes = size ? *size : 0;
    if (bytes == 0) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || st.st_size < 0) return 0;
        bytes = uint64_t(st.st_size);
        if (size) *size = bytes;
    }
    uint8_t head[kHeadBuffer];
    size_t got = 0;
    if (!PreadUpTo(fd, head, sizeof head, 0, &got)) return 0;
    DSC_Stream s{kDscRead, data, bytes};
    s.buf = head;
    s.cap = sizeof head;
    s.len = got;
    s.fd = fd;
    s.next = got;
    uint32_t cols = 0, rows = 0;
    if (!IoWord(&s, &cols) || !IoWord(&s, &rows)) return 0;
    if (onFile) *onFile = rows;
    if (cols == 0 || cols > 0xFFFF || first >= rows) return 0;
    uint32_t n = rows - first;
    if (most > 0 && most < n) n = most;
    // The index holds an offset for every row asked; the offset after the run (or the file's end)
    // tells how many bytes to read in the first go.
    uint8_t ib[4 * 64];
    uint64_t offset = 0, end = s.size;
    const bool inOne = uint64_t(n) + 1 <= sizeof ib / 4;
    if (!PreadUpTo(ifd, ib, inOne ? (size_t(n) + 1) * 4 : 4, uint64_t(first) * 4, &got) || got < 4) return 0;
    offset = Word(ib);
    if (inOne) {
        if (got < size_t(n) * 4) return 0;
        if (got >= (size_t(n) + 1) * 4) end = Word(ib + size_t(n) * 4);
    } else {
        if (!PreadUpTo(ifd, ib, 8, (uint64_t(first) + n - 1) * 4, &got) || got < 4) return 0;
        if (got == 8) end = Word(ib + 4);
    }
    if (offset > s.size) return 0;
    // An end that does not follow the start is only a poor guess at the run's size.
    if (end < offset || end > s.size) end = s.size;
    // A window of the same shape is refilled in its own arrays: new arrays of thousands of rows
    // cost more in fresh pages than the reading does.
    bool refill = ds->cols != nullptr && ds->col_count == cols && ds->cols_alloc >= cols && ds->rows_alloc >= n;
    for (uint16_t c = 0; refill && c < ds->col_count; ++c) {
        const DatasetColumn& col = ds->cols[c];
        uint32_t kind = 0, width = 0;
        if (!IoWord(&s, &kind) || !IoWord(&s, &width)) return 0;
        refill = kind == col.kind && width == col.width && !DatasetKindIsRef(kind) && col.data && col.indicators;
    }
    // From here on the Dataset changes: a failure leaves it half made.
    if (refill) {
        BlankRows(ds, n);
    } else {
        BufSeek(&s, 8);
        DatasetFree(ds);
        if (DatasetInit(ds, uint16_t(cols)) != DS_OK) {
            errno = ENOMEM;
            return -1;
        }
        ds->col_count = uint16_t(cols);
        ds->rows_used = ds->rows_alloc = n;
        for (uint16_t c = 0; c < ds->col_count; ++c)
            if (!dsc_IoColumnDesc(&s, &ds->cols[c], n)) return -1;
    }
    uint8_t small[kSmallRun];
    uint8_t* large = end - offset > sizeof small ? static_cast<uint8_t*>(TryMalloc(kRunBuffer)) : nullptr;
    s.buf = large ? large : small;
    s.cap = large ? kRunBuffer : sizeof small;
    const size_t firstRead = end - offset < s.cap ? size_t(end - offset) : s.cap;
    int ok = PreadUpTo(fd, s.buf, firstRead, offset, &got) ? 1 : -1;
    s.len = got;
    s.pos = 0;
    s.next = offset + got;
    for (uint32_t i = 0; ok == 1 && i < n; ++i)
        for (uint16_t c = 0; c < ds->col_count; ++c)
            if (!dsc_IoCell(&s, &ds->cols[c], i)) {
                ok = -1;
                break;
            }
    TryFree(large);
    return ok;
}
