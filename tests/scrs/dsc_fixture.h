// Helpers shared by the dataset-cache tests: Datasets built by hand and raw file contents.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "util/dataset.h"

namespace dsc_test {

inline void MakeColumns(Dataset* ds, const std::vector<std::pair<uint32_t, uint32_t>>& kindsWidths, uint32_t rows) {
    ASSERT_EQ(0, DatasetInit(ds, uint16_t(kindsWidths.size())));
    ds->col_count = uint16_t(kindsWidths.size());
    for (size_t i = 0; i < kindsWidths.size(); ++i) {
        ds->cols[i].kind = kindsWidths[i].first;
        ds->cols[i].width = kindsWidths[i].second;
    }
    ASSERT_EQ(0, DatasetAllocRows(ds, rows));
    ds->rows_used = rows;
}

template <class T>
void Put(Dataset* ds, uint16_t col, uint32_t row, const T& v) {
    std::memcpy(DatasetCell(&ds->cols[col], row), &v, sizeof v);
    ds->cols[col].indicators[row] = 0;
}

inline std::vector<uint8_t> FileBytes(FILE* f) {
    fflush(f);
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    std::vector<uint8_t> out(size_t(n > 0 ? n : 0));
    fseek(f, 0, SEEK_SET);
    if (!out.empty()) {
        EXPECT_EQ(out.size(), fread(out.data(), 1, out.size(), f));
    }
    return out;
}

inline void Overwrite(FILE* f, long at, const std::vector<uint8_t>& bytes) {
    fflush(f);
    ASSERT_EQ(0, fseek(f, at, SEEK_SET));
    ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
    fflush(f);
}

inline uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A scratch file that vanishes with its stream.
inline FILE* Scratch() {
    FILE* f = tmpfile();
    EXPECT_NE(nullptr, f);
    return f;
}

}  // namespace dsc_test
