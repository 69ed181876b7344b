// The dataset cache of a cursor: fills a Dataset from the layer below, moves the rows to two
// temporary files once they pass 5000, and reads windows of them back on demand.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "drv_ingii/i-ask.h"
#include "scrs/dsc.h"
#include "util/log.h"
#include "util/errtable.h"
#include "util/trymem.h"

namespace {

uint32_t (*g_tickSource)() = nullptr;

uint32_t TickCount() {
    if (g_tickSource) return g_tickSource();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

uint32_t ThreadId() { return uint32_t(syscall(SYS_gettid)); }

// Names are tried until one is free; a directory that refuses every name is not waited on forever.
constexpr uint32_t kMaxNameTries = 1000;

// Tells the cache's owner, in the driver's words, why the cache failed; returns code.
uint32_t Tell(const DSC* cache, uint32_t code, const char* text) {
    log_printf(LOGL_ERROR, __FILE__, __LINE__, "dsc: %s", text);
    return IngTellStmtCause(cache->owner, code, text);
}

// A file of the cache that could not be made, written or read: what failed, in which directory
// and the system's reason. Memory as the reason is HY001, anything else HY000.
uint32_t FileFault(const DSC* cache, const char* what, const char* dir, int err) {
    char reason[256];
    const char* why = strerror_r(err, reason, sizeof reason);
    char text[PATH_MAX + 384];
    snprintf(text, sizeof text, "cannot %s temporary file in '%s': %s", what, dir ? dir : "", why);
    return Tell(cache, err == ENOMEM ? kErrNoMemory : kErrGeneral, text);
}

}  // namespace

void dsc_SetTickSourceForTesting(uint32_t (*tick)()) { g_tickSource = tick; }

const char* dsc_TempDir() {
    const char* dir = getenv("TMPDIR");
    return (dir && *dir) ? dir : "/tmp";
}

bool dsc_TempName(char* out, size_t size, const char* dir, uint32_t tick, uint32_t thread, uint32_t counter) {
    if (out == nullptr || size == 0 || dir == nullptr) return false;
    size_t len = strlen(dir);
    if (len > 0 && dir[len - 1] == '/') --len;
    int n = snprintf(out, size, "%.*s/kivtmp%x-%x-%x", int(len), dir, tick, thread, counter);
    return n > 0 && size_t(n) < size;
}

FILE* dsc_TempFile(uint32_t* counter) {
    if (counter == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    const char* dir = dsc_TempDir();
    const uint32_t tid = ThreadId();
    char name[PATH_MAX];
    for (uint32_t tries = 0; tries < kMaxNameTries; ++tries) {
        const uint32_t k = (*counter)++;
        if (!dsc_TempName(name, sizeof name, dir, TickCount(), tid, k)) {
            errno = ENAMETOOLONG;
            return nullptr;
        }
        // Exclusive creation never opens a file (or a link) someone else put there first.
        int fd = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        // The name goes at once: the file lives only as long as its stream, even if the process dies.
        unlink(name);
        FILE* f = fdopen(fd, "wb+");
        if (f == nullptr) {
            const int err = errno;
            close(fd);
            errno = err;
            return nullptr;
        }
        return f;
    }
    errno = EEXIST;
    return nullptr;
}

void DSC_Init(DSC* cache) {
    if (cache == nullptr) return;
    cache->state = kDscMemory;
    cache->data = nullptr;
    cache->index = nullptr;
    cache->window = kDscMemoryRows;
    cache->rows = 0;
    cache->size = 0;
    cache->owner = 0;
    cache->dir = nullptr;
}

uint32_t dsc_Open(DSC* cache) {
    if (cache == nullptr) return kErrGeneral;
    const char* dir = dsc_TempDir();
    // Later writes and reads name the directory the files were made in, whatever TMPDIR says then.
    char* kept = TryStrdup(dir);
    if (kept == nullptr) return kErrNoMemory;
    uint32_t counter = 0;
    cache->data = dsc_TempFile(&counter);
    if (cache->data != nullptr) {
        cache->index = dsc_TempFile(&counter);
        if (cache->index == nullptr) {
            const int err = errno;
            fclose(cache->data);
            cache->data = nullptr;
            errno = err;
        }
    }
    if (cache->data == nullptr) {
        const int err = errno;
        TryFree(kept);
        return FileFault(cache, "create", dir, err);
    }
    TryFree(cache->dir);
    cache->dir = kept;
    log_printf(LOGL_DEBUG, __FILE__, __LINE__, "dsc_Open: Opened temporary files for pDSC=%p",
               static_cast<void*>(cache));
    cache->state = kDscOpened;
    return 0;
}

void DSC_Close(DSC* cache) {
    if (cache == nullptr) return;
    if (cache->data) {
        fclose(cache->data);
        cache->data = nullptr;
        log_printf(LOGL_DEBUG, __FILE__, __LINE__, "DSC_Close: Closed temporary files for pDSC=%p",
                   static_cast<void*>(cache));
    }
    if (cache->index) {
        fclose(cache->index);
        cache->index = nullptr;
    }
    TryFree(cache->dir);
    cache->dir = nullptr;
    cache->state = kDscMemory;
    cache->rows = 0;
    cache->size = 0;
}

uint32_t DSC_Spill(DSC* cache, Dataset* ds) {
    if (cache->state != kDscOnFile && ds->rows_used <= kDscMemoryRows) return 0;
    bool written;
    if (cache->state != kDscOnFile) {
        if (uint32_t rc = dsc_Open(cache)) return rc;
        errno = 0;
        written = dsc_IoCache(kDscWrite, cache->data, cache->index, ds, 0, 0);
        cache->state = kDscOnFile;
    } else {
        errno = 0;
        written = dsc_AppendRows(cache->data, cache->index, ds);
    }
    // A write fails on a system call (a full disk), or at the 4 GiB the offsets can name.
    const uint32_t rc = written ? 0 : FileFault(cache, "write", cache->dir, errno ? errno : EIO);
    // Rows written leave memory; the next block is fetched straight into the header again.
    DatasetFree(ds);
    return rc;
}

uint32_t DSC_Fill(DSC* cache, const AgentLink* lower, uint32_t stmt, Dataset* ds, uint32_t* total) {
    if (cache == nullptr || ds == nullptr) return kErrGeneral;
    DatasetFree(ds);
    uint32_t sum = 0;
    uint32_t rc = 0;
    for (;;) {
        uint32_t block = 0;
        if (ds->rows_alloc == 0) {
            rc = AgentCall<DRV_FetchRows>(lower, stmt, uint16_t(kDscFetchBlock), ds);
            block = ds->rows_used;
        } else {
            Dataset scratch{};
            rc = AgentCall<DRV_FetchRows>(lower, stmt, uint16_t(kDscFetchBlock), &scratch);
            if (rc == 0) {
                block = scratch.rows_used;
                rc = uint32_t(DatasetAppendRows(ds, &scratch));
            }
            DatasetFree(&scratch);
        }
        if (rc == 0) rc = DSC_Spill(cache, ds);
        // A total that would wrap is not a count any more; the result is too large to cache.
        if (uint64_t(sum) + block > UINT32_MAX && rc == 0)
            rc = Tell(cache, kErrGeneral, "the result has more rows than a cursor can keep (4294967295)");
        else
            sum += block;
        if (rc != 0 || block == 0) break;
    }
    if (cache->state == kDscOnFile) cache->rows = sum;
    cache->size = 0;
    if (total) *total = sum;
    return rc;
}

namespace {

// Reads up to `count` rows from `first` into `ds`. A start past the last row on file is refused
// before the rows in hand are given up; a half-read run is no run.
uint32_t ReadRows(DSC* cache, Dataset* ds, uint32_t first, uint32_t count) {
    if (cache->state != kDscOnFile || first > uint32_t(INT32_MAX) || count > uint32_t(INT32_MAX)) return kErrGeneral;
    // Only the fill writes the files, so their length stays what the first read found.
    errno = 0;
    const int r = dsc_ReadRun(cache->data, cache->index, ds, first, count, &cache->rows, &cache->size);
    if (r == 1) return 0;
    const int err = errno;
    if (r < 0) DatasetFree(ds);
    // A system call that failed is told; a run the files do not hold is the caller's mistake.
    return err != 0 ? FileFault(cache, "read", cache->dir, err) : kErrGeneral;
}

}  // namespace

uint32_t dsc_ReadWindow(DSC* cache, Dataset* ds, uint32_t first) {
    if (cache == nullptr || cache->state != kDscOnFile || ds == nullptr) return kErrGeneral;
    // The window in hand lends its arrays to the new one when the shapes agree.
    return ReadRows(cache, ds, first, cache->window);
}

uint32_t DSC_GetRows(DSC* cache, int32_t first, uint32_t n, uint32_t* origin, Dataset* ds) {
    if (cache == nullptr || origin == nullptr || ds == nullptr) return kErrGeneral;
    const uint64_t o = *origin;
    const uint64_t twice = uint64_t(n) * 2;
    if (o != kDscNoWindow && int64_t(first) >= int64_t(o) && twice <= cache->window &&
        uint64_t(uint32_t(first)) + n <= o + cache->window)
        return 0;
    if (twice > cache->window) {
        if (twice > UINT32_MAX) return kErrGeneral;
        cache->window = uint32_t(twice);
    }
    int64_t start = int64_t(first) - int64_t((cache->window - n) / 2);
    if (start < 0) start = 0;
    uint32_t rc = dsc_ReadWindow(cache, ds, uint32_t(start));
    if (rc != 0) {
        // A read that failed after the old window was dropped leaves no window to point at.
        if (ds->col_count == 0) *origin = kDscNoWindow;
        return rc;
    }
    *origin = uint32_t(start);
    return 0;
}

uint32_t DSC_GetRun(DSC* cache, int32_t first, uint32_t n, uint32_t* origin, Dataset* ds) {
    if (cache == nullptr || origin == nullptr || ds == nullptr || first < 0) return kErrGeneral;
    const uint64_t o = *origin;
    const uint64_t held = o == kDscNoWindow ? 0 : ds->rows_used;
    const uint64_t r = uint64_t(first), end = r + n;
    if (held > 0 && r >= o && (end <= o + held || (o + held == cache->rows && r < o + held))) return 0;
    // Rows that do not exist need no reading; the caller finds none of them in hand.
    if (cache->state == kDscOnFile && r >= cache->rows && o != kDscNoWindow) return 0;
    if (uint64_t(n) * 2 > cache->window) {
        if (uint64_t(n) * 2 > UINT32_MAX) return kErrGeneral;
        cache->window = n * 2;
    }
    uint64_t ahead = held * 2 > n ? held * 2 : n;
    if (ahead > cache->window) ahead = cache->window;
    uint64_t start = r, count = n;
    if (held > 0 && r >= o && r <= o + held) {
        count = ahead;  // on past the rows in hand
    } else if (held > 0 && r < o && end >= o) {
        start = end > ahead ? end - ahead : 0;  // back before them
        count = end - start;
    }
    const uint32_t rc = ReadRows(cache, ds, uint32_t(start), uint32_t(count));
    if (rc != 0) {
        if (ds->col_count == 0) *origin = kDscNoWindow;
        return rc;
    }
    *origin = uint32_t(start);
    return 0;
}
