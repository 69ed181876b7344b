// The dataset cache's reader over damaged files: any bytes as the data file and the index,
// read from any row; a read either fails or gives a Dataset whose every cell can be visited.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scrs/dsc.h"
#include "util/dataset.h"

namespace {

FILE* Refill(FILE*& f, const uint8_t* bytes, size_t n) {
    if (f == nullptr) f = tmpfile();
    if (f == nullptr) std::abort();
    std::fflush(f);
    if (ftruncate(fileno(f), 0) != 0) std::abort();
    std::rewind(f);
    if (n && std::fwrite(bytes, 1, n, f) != n) std::abort();
    std::fflush(f);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* dataFile = nullptr;
    static FILE* indexFile = nullptr;
    if (size < 4 || size > 65536) return 0;
    // Two bytes choose the first row and the most rows; one more splits the rest into the
    // index (at most 1020 bytes) and the data file.
    const int32_t first = data[0] % 8;
    const int32_t most = data[1] % 8;
    size_t indexLen = size_t(data[2]) * 4;
    const uint8_t* rest = data + 3;
    size_t restLen = size - 3;
    if (indexLen > restLen) indexLen = restLen & ~size_t(3);
    Refill(indexFile, rest, indexLen);
    Refill(dataFile, rest + indexLen, restLen - indexLen);

    Dataset ds{};
    const int read = dsc_IoCache(kDscRead, dataFile, indexFile, &ds, first, most);
    // The positioned reader reads the same bytes the same way: it succeeds exactly when the
    // stream reader does, with the same rows.
    {
        Dataset run{};
        const int r = dsc_ReadRun(dataFile, indexFile, &run, uint32_t(first), uint32_t(most), nullptr, nullptr);
        if ((r == 1) != (read == 1)) std::abort();
        if (r == 1) {
            if (run.col_count != ds.col_count || run.rows_used != ds.rows_used) std::abort();
            for (uint32_t row = 0; row < ds.rows_used; ++row) {
                int equal = 0;
                if (DatasetRowsEqual(&ds, row, &run, row, &equal) != 0 || !equal) std::abort();
            }
        }
        DatasetFree(&run);
    }
    if (read == 1) {
        // Every cell that claims a value is readable up to its element width.
        volatile uint8_t sink = 0;
        for (uint16_t c = 0; c < ds.col_count; ++c) {
            DatasetColumn* col = &ds.cols[c];
            for (uint32_t r = 0; r < ds.rows_used; ++r) {
                if (col->indicators[r] != 0 || col->data == nullptr) continue;
                const uint8_t* cell = static_cast<const uint8_t*>(DatasetCell(col, r));
                for (uint32_t b = 0; b < col->width; ++b) sink = sink + cell[b];
                DsBytes v = DatasetCellBytes(col, cell);
                for (size_t b = 0; b < v.size; ++b) sink = sink + v.bytes[b];
            }
        }
        // Appending the rows read gives a file that reads back again.
        if (dsc_AppendRows(dataFile, indexFile, &ds) == 1) {
            Dataset again{};
            (void)dsc_IoCache(kDscRead, dataFile, indexFile, &again, 0, 0);
            DatasetFree(&again);
        }
    }
    DatasetFree(&ds);
    return 0;
}
