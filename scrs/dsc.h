// The dataset cache: a whole result read forward from the layer below and kept at hand for
// scrolling. Up to 5000 rows live in a Dataset; past that the result moves to two temporary
// files (rows and their offsets) and the Dataset holds a window read back on demand.
#pragma once

#include <cstdint>
#include <cstdio>

#include "drv_ingii/i-optable.h"
#include "util/dataset.h"

enum : uint32_t {
    kDscMemoryRows = 5000,  // most rows kept without files
    kDscFetchBlock = 200,   // rows asked of the layer below per call
    kDscNoWindow = 0xFFFFFFFFu,
};

enum : uint32_t {
    kDscMemory = 0,  // rows in memory only, no files
    kDscOpened = 1,  // files open, nothing written yet
    kDscOnFile = 2,  // rows on file
};

struct DSC {
    uint32_t state;
    FILE* data;       // header, column descriptors and rows
    FILE* index;      // one u32 data-file offset per row
    uint32_t window;  // rows one read from file brings into memory; only grows
    uint32_t rows;    // rows on file, as the fill wrote them and the last read found them
    uint64_t size;    // the data file's length once a read has asked for it; 0 until then
    // The agent statement whose messages say why a file could not be made, written or read (the
    // directory and the system's reason); 0: nobody's. Its user sets it.
    uint32_t owner;
    char* dir;  // the directory of the open files, for those messages
};

enum : uint32_t { kDscWrite = 0, kDscRead = 1 };

struct DSC_Stream {
    uint32_t mode;  // kDscWrite or kDscRead
    FILE* fp;       // the data file
    uint64_t size;  // read mode: the data file's length, so no length read from it can run past its end
    // Set by dsc_IoRows for its run of rows: values move through this block buffer with one system
    // call per block instead of a stdio call per word. Null elsewhere (values go through fp).
    uint8_t* buf = nullptr;
    size_t cap = 0;     // bytes buf holds
    size_t len = 0;     // read: bytes in buf; write: bytes waiting in buf
    size_t pos = 0;     // read: bytes of buf already taken
    int fd = -1;        // the data file's descriptor
    uint64_t next = 0;  // read: file offset of the byte after buf's last; write: offset buf[0] goes to
};

// --- the cache -----------------------------------------------------------------

void DSC_Init(DSC* cache);
// Makes both files; 0, kErrGeneral or kErrNoMemory, with the cause told to the owner. A half-made
// pair is closed again.
uint32_t dsc_Open(DSC* cache);
// Closes (and so deletes) both files; state 0. The window keeps its size.
void DSC_Close(DSC* cache);
// A new, exclusively created read-write temporary file, already unlinked from its directory so
// that it vanishes with its stream whatever happens to the process; null on failure, with errno
// saying why. The counter advances once per name tried.
FILE* dsc_TempFile(uint32_t* counter);
// Rows gathered in ds go to the cache's files once the cache is on file or they are more than it
// keeps in memory (the files are made at the first such call); rows written leave ds. Files that
// cannot be made or written fail it (kErrGeneral, or kErrNoMemory) with the cause told to the owner.
uint32_t DSC_Spill(DSC* cache, Dataset* ds);
// Reads the whole result of `stmt` through `lower` into `ds` (spilling to files past 5000 rows).
// The total row count goes to `total` when given, also on failure. Files that cannot be made or
// written stop the fill as DSC_Spill says.
uint32_t DSC_Fill(DSC* cache, const AgentLink* lower, uint32_t stmt, Dataset* ds, uint32_t* total);
// Loads up to `window` rows from `first` out of the files into `ds`; 0, kErrGeneral or
// kErrNoMemory (a read that fails on the files or on memory tells the owner why).
uint32_t dsc_ReadWindow(DSC* cache, Dataset* ds, uint32_t first);
// Makes rows first..first+n-1 present in `ds`, whose row 0 is cache row *origin; 0 or the code of
// dsc_ReadWindow. A miss loads a whole window centred on the request.
uint32_t DSC_GetRows(DSC* cache, int32_t first, uint32_t n, uint32_t* origin, Dataset* ds);
// As DSC_GetRows, reading no more than the access needs: rows in hand are not read again; a run
// that carries on from the rows in hand, forward or backward, reads ahead that way (twice the
// rows in hand, at most a window); any other run reads only its own rows. Rows past the last
// row on file are none: nothing is read for them.
uint32_t DSC_GetRun(DSC* cache, int32_t first, uint32_t n, uint32_t* origin, Dataset* ds);

// --- the file format (1 success, 0 failure) -------------------------------------
// A failed system call, allocation or 32-bit offset leaves errno saying why.

int dsc_IoCache(uint32_t mode, FILE* data, FILE* index, Dataset* ds, int32_t first, int32_t most);
int dsc_AppendRows(FILE* data, FILE* index, Dataset* ds);
int dsc_IoRows(DSC_Stream* s, Dataset* ds, uint32_t first, uint32_t n, FILE* index, uint32_t already);
int dsc_IoColumnDesc(DSC_Stream* s, DatasetColumn* col, uint32_t rows);
int dsc_IoCell(DSC_Stream* s, DatasetColumn* col, uint32_t row);
// Reads what dsc_IoCache reads in read mode (up to `most` rows from `first`, 0: all) with
// positioned reads only: a few system calls whatever the run's length, and the streams'
// positions stay where they were. The rows on file go to `onFile` (when given) once the header
// is read. `size` (when given) holds the data file's length: 0 asks the file and stores the
// answer, anything else is taken as it is (a caller that knows the file has not changed saves a
// system call). 1: read; 0: failed with `ds` untouched (a bad header, a start past the last
// row); -1: failed with `ds` half made (the caller frees it).
int dsc_ReadRun(FILE* data, FILE* index, Dataset* ds, uint32_t first, uint32_t most, uint32_t* onFile, uint64_t* size);

// --- test hooks ------------------------------------------------------------------

// Replaces the millisecond tick used in file names (null restores the clock).
void dsc_SetTickSourceForTesting(uint32_t (*tick)());
// Composes the name of a cache file: dir + "/kivtmp%x-%x-%x" (one separator whatever `dir`
// ends with). False when it does not fit.
bool dsc_TempName(char* out, size_t size, const char* dir, uint32_t tick, uint32_t thread, uint32_t counter);
// The directory cache files go to: $TMPDIR when set and not empty, else /tmp.
const char* dsc_TempDir();
