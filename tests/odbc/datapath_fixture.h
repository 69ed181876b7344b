// Small builders shared by the data-path tests: a one-column Dataset holding given cells, a
// fake statement host for GetColumn, and UTF-16 literals.
#pragma once

#include "odbc/getcolumn.h"
#include "util/dataset.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using U16 = std::u16string;

inline std::vector<SQLWCHAR> W(const U16& s) { return std::vector<SQLWCHAR>(s.begin(), s.end()); }

inline U16 WideAt(const void* p, size_t units) {
    U16 out(units, u'\0');
    std::memcpy(out.data(), p, units * 2);
    return out;
}

// One column of a given kind and width, `rows` rows, all NULL until set.
struct OneColumn {
    Dataset ds{};
    explicit OneColumn(uint32_t kind, uint32_t length, uint32_t rows = 1) {
        EXPECT_EQ(DatasetInit(&ds, 1), 0);
        ds.cols[0].kind = kind;
        ds.cols[0].width = DatasetWidth(kind, length);
        ds.col_count = 1;
        EXPECT_EQ(DatasetAllocRows(&ds, rows), 0);
        ds.rows_used = rows;
    }
    ~OneColumn() { DatasetFree(&ds); }
    OneColumn(const OneColumn&) = delete;
    OneColumn& operator=(const OneColumn&) = delete;

    uint8_t* cell(uint32_t row = 0) { return DatasetCell(&ds.cols[0], row); }
    void set(const void* bytes, size_t n, uint32_t row = 0) {
        std::memcpy(cell(row), bytes, n);
        ds.cols[0].indicators[row] = DS_IND_VALUE;
    }
    template <class T>
    void setValue(const T& v, uint32_t row = 0) {
        set(&v, sizeof v, row);
    }
    // Length-prefixed or by-reference text, by kind.
    void setText(const std::string& s, uint32_t row = 0) {
        const uint32_t k = ds.cols[0].kind;
        if (k == DS_CHAR_REF || k == DS_BINARY_REF) {
            ASSERT_EQ(DatasetSetRef(&ds, row, 0, s.data(), static_cast<uint32_t>(s.size())), 0);
            return;
        }
        uint8_t* c = cell(row);
        std::memset(c, 0, ds.cols[0].width);
        switch (k) {
            case DS_CHAR_LEN1:
            case DS_BINARY_LEN1:
                c[0] = static_cast<uint8_t>(s.size());
                std::memcpy(c + 1, s.data(), s.size());
                break;
            case DS_CHAR_LEN2:
            case DS_BINARY_LEN2: {
                uint16_t n = static_cast<uint16_t>(s.size());
                std::memcpy(c, &n, 2);
                std::memcpy(c + 2, s.data(), s.size());
                break;
            }
            case DS_CHAR_LEN4:
            case DS_BINARY_LEN4: {
                uint32_t n = static_cast<uint32_t>(s.size());
                std::memcpy(c, &n, 4);
                std::memcpy(c + 4, s.data(), s.size());
                break;
            }
            default:
                std::memcpy(c, s.data(), s.size());
                break;
        }
        ds.cols[0].indicators[row] = DS_IND_VALUE;
    }
    void setWide(const U16& s, uint32_t row = 0) {
        const uint32_t k = ds.cols[0].kind;
        if (k == DS_WCHAR_REF) {
            ASSERT_EQ(DatasetSetRef(&ds, row, 0, s.data(), static_cast<uint32_t>(s.size())), 0);
            return;
        }
        uint8_t* c = cell(row);
        std::memset(c, 0, ds.cols[0].width);
        if (k == DS_WCHAR_LEN4) {
            uint32_t n = static_cast<uint32_t>(s.size());
            std::memcpy(c, &n, 4);
            std::memcpy(c + 4, s.data(), s.size() * 2);
        } else {
            std::memcpy(c, s.data(), s.size() * 2);
        }
        ds.cols[0].indicators[row] = DS_IND_VALUE;
    }
    void setIndicator(uint16_t ind, uint32_t row = 0) { ds.cols[0].indicators[row] = ind; }
};

// A statement as GetColumn sees it.
struct FakeStmt {
    uint32_t lastError = 0;
    LongDataState ld{};
    int32_t sqlType = SQL_VARCHAR;
    int32_t scale = 0;
    bool described = true;
    bool haveRecord = false;
    DescRecordView record{};
    bool lastRecordWasApd = false;
    int32_t bookmark = 0;
    uint32_t bookmarkError = 0;
    // Pieces the fake agent hands out for a value it kept (indicator "not fetched").
    std::vector<std::string> pieces;
    size_t nextPiece = 0;
    uint32_t pieceKind = DS_CHAR_LEN4;
    int64_t pieceTotal = 0;
    std::vector<int64_t> wanted;
    std::vector<std::string> traces;
    GetColumnContext ctx{};

    explicit FakeStmt(bool withAgentPieces = false) {
        ctx.lastError = &lastError;
        ctx.longData = &ld;
        ctx.odbcVersion = 3;
        ctx.useBookmarks = false;
        ctx.host = this;
        ctx.describe = [](void* h, uint16_t, int32_t* t, int32_t* s) {
            auto* f = static_cast<FakeStmt*>(h);
            *t = f->sqlType, *s = f->scale;
            return f->described;
        };
        ctx.descRecord = [](void* h, bool apd, uint16_t, DescRecordView* out) {
            auto* f = static_cast<FakeStmt*>(h);
            f->lastRecordWasApd = apd;
            *out = f->record;
            return f->haveRecord;
        };
        ctx.rowBookmark = [](void* h, uint32_t, int32_t* bm) {
            auto* f = static_cast<FakeStmt*>(h);
            *bm = f->bookmark;
            return f->bookmarkError;
        };
        ctx.trace = [](void* h, const char* t) { static_cast<FakeStmt*>(h)->traces.emplace_back(t); };
        if (withAgentPieces) {
            ctx.getPiece = [](void* h, uint16_t, uint32_t, int64_t want, LongDataState* s) -> uint32_t {
                auto* f = static_cast<FakeStmt*>(h);
                f->wanted.push_back(want);
                s->pieceTotal = f->pieceTotal;
                if (f->nextPiece >= f->pieces.size()) return kErrNoData;
                const std::string& p = f->pieces[f->nextPiece++];
                void* buf = std::malloc(p.size() ? p.size() : 1);
                std::memcpy(buf, p.data(), p.size());
                s->piece = buf;
                s->pieceLength = static_cast<uint32_t>(p.size());
                s->pieceKind = f->pieceKind;
                return 0;
            };
        }
    }
    ~FakeStmt() { LongDataFree(&ld); }
    FakeStmt(const FakeStmt&) = delete;
    FakeStmt& operator=(const FakeStmt&) = delete;

    // A new fetch forgets the position, as the fetch routines do.
    void fetched() { ld.column = 0, ld.row = 0; }
};

inline ColumnBinding Bind(uint16_t column, int16_t cType, void* target, int64_t bufLen, SQLLEN* len,
                          SQLLEN* ind = nullptr) {
    ColumnBinding b{};
    b.column = column;
    b.cType = cType;
    b.target = target;
    b.bufferLength = bufLen;
    b.lengthPtr = len;
    b.indicatorPtr = ind ? ind : len;
    return b;
}
