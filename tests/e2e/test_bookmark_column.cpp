// The bookmark column (column 0) through the Driver Manager: SQLBindCol and SQLGetData with
// variable bookmarks of every buffer size and with the 4- and 8-byte fixed bookmark types, on
// forward-only and static cursors, bound row-wise and column-wise over rowsets of three rows.
// Every buffer is fenced with guard bytes: nothing may be written past the length given.
#include <cstdint>
#include <cstring>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

constexpr int kRows = 5;
constexpr int kRowset = 3;
constexpr unsigned char kGuard = 0xA5;
constexpr unsigned char kFill = 0x3C;
constexpr size_t kFence = 16;

// What the driver may write for row n's bookmark given the C type and buffer length: the
// bookmark is the row number, little-endian, cut to what fits.
struct Expected {
    size_t bytes;   // bytes written into the buffer
    SQLLEN length;  // value reported at the length pointer
    bool truncated;
};

Expected Expect(SQLSMALLINT cType, SQLLEN bufferLength) {
    if (cType == SQL_C_ULONG) return {4, 4, false};
    if (cType == SQL_C_UBIGINT) return {8, 8, false};
    const size_t n = bufferLength < 8 ? size_t(bufferLength) : 8;
    return {n, 8, bufferLength < 8};
}

// The octets that slot r holds after the driver wrote the bookmark of row (first + r).
std::vector<unsigned char> Image(const Expected& e, size_t slot, uint64_t bookmark) {
    std::vector<unsigned char> v(slot, kFill);
    if (e.bytes) std::memcpy(v.data(), &bookmark, e.bytes);
    return v;
}

bool SameBytes(const unsigned char* a, const unsigned char* b, size_t n) { return n == 0 || std::memcmp(a, b, n) == 0; }

struct Case {
    const char* name;
    SQLSMALLINT cType;
    SQLLEN bufferLength;  // given to SQLBindCol / SQLGetData
    size_t slot;          // bytes the application really owns for one row
};

// SQL_C_BOOKMARK in a 64-bit ODBC 2 application is SQL_C_ULONG: a 4-byte bookmark.
const Case kCases[] = {
    {"var0", SQL_C_VARBOOKMARK, 0, 0},    {"var4", SQL_C_VARBOOKMARK, 4, 4}, {"var8", SQL_C_VARBOOKMARK, 8, 8},
    {"var16", SQL_C_VARBOOKMARK, 16, 16}, {"bookmark4", SQL_C_ULONG, 0, 4},  {"bookmark4len4", SQL_C_ULONG, 4, 4},
    {"ubigint", SQL_C_UBIGINT, 0, 8},
};

// One fenced heap area: guard, payload, guard.
struct Fenced {
    std::vector<unsigned char> bytes;
    size_t payload;
    explicit Fenced(size_t n) : bytes(n + 2 * kFence, kGuard), payload(n) {
        std::memset(bytes.data() + kFence, kFill, n);
    }
    unsigned char* data() { return bytes.data() + kFence; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kFence; ++i)
            if (bytes[i] != kGuard || bytes[kFence + payload + i] != kGuard) return false;
        return true;
    }
};

class BookmarkColumn : public ResultsTest {
protected:
    std::string t;
    SQLULEN fetched = 0;
    SQLUSMALLINT status[kRowset] = {};

    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("bmcol");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer)");
        for (int i = 1; i <= kRows; ++i) Must("insert into " + t + " values (" + std::to_string(i) + ")");
    }
    void TearDown() override {
        if (stmt && !t.empty()) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_OFF), 0);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    void SetAttr(SQLINTEGER attr, SQLULEN v) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, attr, reinterpret_cast<SQLPOINTER>(v), 0))) << Diag();
    }
    void Open(SQLULEN cursor, SQLULEN rowset, SQLULEN bindType) {
        SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
        SetAttr(SQL_ATTR_CURSOR_TYPE, cursor);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, rowset);
        SetAttr(SQL_ATTR_ROW_BIND_TYPE, bindType);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    }
    std::string State() { return Diag().substr(0, 5); }

    // Fetches rowsets until the end, calling check(rc, first, count) after each; a check that
    // returns false ends the walk.
    template <class F>
    void FetchAll(F check) {
        for (int first = 1; first <= kRows; first += kRowset) {
            fetched = 0;
            const SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
            const int count = kRows - first + 1 < kRowset ? kRows - first + 1 : kRowset;
            if (!check(rc, first, count)) return;
        }
        EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    }
    // The rowset's result with a bookmark column bound: a truncated variable bookmark is a
    // warning. A forward-only cursor keeps no bookmarks: the fetch fails as not capable.
    // Returns whether the bookmarks were delivered.
    bool CheckFetch(SQLRETURN rc, const Expected& e, int count, bool capable) {
        if (!capable) {
            EXPECT_EQ(SQL_ERROR, rc);
            EXPECT_EQ("HYC00", State());
            return false;
        }
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
        if (!SQL_SUCCEEDED(rc)) return false;
        EXPECT_EQ(SQLULEN(count), fetched);
        if (e.truncated) {
            EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
            EXPECT_EQ("01004", State());
        } else {
            EXPECT_EQ(SQL_SUCCESS, rc) << Diag();
        }
        return true;
    }
};

// Column-wise: one array of three slots, fenced as a whole; the stride is the buffer length
// for a variable bookmark and the type's size for a fixed one.
TEST_P(BookmarkColumn, ColumnWiseBindingWritesOnlyWhatFits) {
    for (SQLULEN cursor : {SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_FORWARD_ONLY)}) {
        for (const Case& c : kCases) {
            const std::string what = std::string(c.name) + (cursor == SQL_CURSOR_STATIC ? " static" : " forward");
            SCOPED_TRACE(what);
            const bool capable = cursor == SQL_CURSOR_STATIC;
            Open(cursor, kRowset, SQL_BIND_BY_COLUMN);
            if (HasFatalFailure()) return;
            Fenced marks(c.slot * kRowset);
            Fenced lens(sizeof(SQLLEN) * kRowset);
            SQLINTEGER ids[kRowset] = {};
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, ids, 0, nullptr)) << Diag();
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, c.cType, marks.data(), c.bufferLength,
                                              reinterpret_cast<SQLLEN*>(lens.data())))
                << Diag();
            const Expected e = Expect(c.cType, c.bufferLength);
            FetchAll([&](SQLRETURN rc, int first, int count) {
                const bool delivered = CheckFetch(rc, e, count, capable);
                EXPECT_TRUE(marks.GuardsIntact()) << "bookmark array overrun";
                EXPECT_TRUE(lens.GuardsIntact()) << "length array overrun";
                for (int r = 0; r < count; ++r) {
                    if (!delivered) {
                        const std::vector<unsigned char> untouched(c.slot, kFill);
                        EXPECT_TRUE(SameBytes(untouched.data(), marks.data() + r * c.slot, c.slot)) << r;
                        continue;
                    }
                    EXPECT_EQ(first + r, ids[r]) << r;
                    SQLLEN len = 0;
                    std::memcpy(&len, lens.data() + r * sizeof(SQLLEN), sizeof len);
                    EXPECT_EQ(e.length, len) << "row " << r;
                    const auto want = Image(e, c.slot, uint64_t(first + r));
                    EXPECT_TRUE(SameBytes(want.data(), marks.data() + r * c.slot, c.slot)) << "row " << r;
                }
                return delivered && !HasFailure();
            });
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
        }
    }
}

// Row-wise: each row is {fence, bookmark slot, fence, length}; the fences between rows show
// a write past any one row's buffer.
TEST_P(BookmarkColumn, RowWiseBindingWritesOnlyWhatFits) {
    for (SQLULEN cursor : {SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_FORWARD_ONLY)}) {
        for (const Case& c : kCases) {
            const std::string what = std::string(c.name) + (cursor == SQL_CURSOR_STATIC ? " static" : " forward");
            SCOPED_TRACE(what);
            const bool capable = cursor == SQL_CURSOR_STATIC;
            const size_t markAt = kFence;
            const size_t fenceAt = markAt + c.slot;
            const size_t lenAt = (fenceAt + kFence + 7) / 8 * 8;
            const size_t idAt = lenAt + sizeof(SQLLEN);
            const size_t rowSize = (idAt + sizeof(SQLINTEGER) + 7) / 8 * 8;
            std::vector<unsigned char> rows(rowSize * kRowset + kFence, kGuard);
            auto reset = [&] {
                std::fill(rows.begin(), rows.end(), kGuard);
                for (int r = 0; r < kRowset; ++r) std::memset(rows.data() + r * rowSize + markAt, kFill, c.slot);
            };
            reset();
            Open(cursor, kRowset, rowSize);
            if (HasFatalFailure()) return;
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, rows.data() + idAt, 0, nullptr)) << Diag();
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, c.cType, rows.data() + markAt, c.bufferLength,
                                              reinterpret_cast<SQLLEN*>(rows.data() + lenAt)))
                << Diag();
            const Expected e = Expect(c.cType, c.bufferLength);
            FetchAll([&](SQLRETURN rc, int first, int count) {
                const bool delivered = CheckFetch(rc, e, count, capable);
                for (int r = 0; r < kRowset; ++r) {
                    const unsigned char* row = rows.data() + r * rowSize;
                    for (size_t i = 0; i < kFence; ++i) {
                        EXPECT_EQ(kGuard, row[i]) << "before row " << r;
                        EXPECT_EQ(kGuard, row[fenceAt + i]) << "after row " << r << "'s bookmark";
                    }
                    if (!delivered) {
                        const std::vector<unsigned char> untouched(c.slot, kFill);
                        EXPECT_TRUE(SameBytes(untouched.data(), row + markAt, c.slot)) << r;
                        continue;
                    }
                    if (r >= count) continue;
                    SQLINTEGER id = 0;
                    SQLLEN len = 0;
                    std::memcpy(&id, row + idAt, sizeof id);
                    std::memcpy(&len, row + lenAt, sizeof len);
                    EXPECT_EQ(first + r, id) << r;
                    EXPECT_EQ(e.length, len) << "row " << r;
                    const auto want = Image(e, c.slot, uint64_t(first + r));
                    EXPECT_TRUE(SameBytes(want.data(), row + markAt, c.slot)) << "row " << r;
                }
                for (size_t i = 0; i < kFence; ++i) EXPECT_EQ(kGuard, rows[rowSize * kRowset + i]) << "after the rows";
                reset();
                return delivered && !HasFailure();
            });
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
        }
    }
}

// SQLGetData of column 0 after each fetch, for the current row: on a static cursor the first row
// of each rowset of three, on a forward-only cursor (which keeps no bookmarks) the row fetched.
TEST_P(BookmarkColumn, GetDataWritesOnlyWhatFits) {
    for (SQLULEN cursor : {SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_FORWARD_ONLY)}) {
        const bool capable = cursor == SQL_CURSOR_STATIC;
        const SQLULEN rowset = capable ? kRowset : 1;
        for (const Case& c : kCases) {
            const std::string what = std::string(c.name) + (capable ? " static" : " forward");
            SCOPED_TRACE(what);
            Open(cursor, rowset, SQL_BIND_BY_COLUMN);
            if (HasFatalFailure()) return;
            const Expected e = Expect(c.cType, c.bufferLength);
            int row = 1;
            bool going = true;
            while (going) {
                const SQLRETURN frc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
                if (frc == SQL_NO_DATA) break;
                ASSERT_EQ(SQL_SUCCESS, frc) << Diag();
                Fenced mark(c.slot);
                Fenced len(sizeof(SQLLEN));
                const SQLRETURN rc =
                    SQLGetData(stmt, 0, c.cType, mark.data(), c.bufferLength, reinterpret_cast<SQLLEN*>(len.data()));
                EXPECT_TRUE(mark.GuardsIntact()) << "row " << row;
                EXPECT_TRUE(len.GuardsIntact()) << "row " << row;
                if (!capable) {
                    EXPECT_EQ(SQL_ERROR, rc) << "row " << row;
                    const std::vector<unsigned char> untouched(c.slot, kFill);
                    EXPECT_TRUE(SameBytes(untouched.data(), mark.data(), c.slot));
                    row += int(fetched);
                    continue;
                }
                if (e.truncated) {
                    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc) << "row " << row << ": " << Diag();
                    EXPECT_EQ("01004", State());
                } else {
                    EXPECT_EQ(SQL_SUCCESS, rc) << "row " << row << ": " << Diag();
                }
                SQLLEN got = 0;
                std::memcpy(&got, len.data(), sizeof got);
                EXPECT_EQ(e.length, got) << "row " << row;
                const auto want = Image(e, c.slot, uint64_t(row));
                EXPECT_TRUE(SameBytes(want.data(), mark.data(), c.slot)) << "row " << row;
                going = !HasFailure();
                row += int(fetched);
            }
            if (going) {
                EXPECT_EQ(kRows + 1, row);
            }
            SQLFreeStmt(stmt, SQL_CLOSE);
        }
    }
}

// Only the bookmark types are accepted for column 0, by SQLBindCol and by SQLGetData alike.
TEST_P(BookmarkColumn, OtherTypesAreRefusedForColumnZero) {
    Open(SQL_CURSOR_STATIC, kRowset, SQL_BIND_BY_COLUMN);
    if (HasFatalFailure()) return;
    Fenced mark(8);
    SQLLEN len = 0;
    for (SQLSMALLINT type : {SQLSMALLINT(SQL_C_CHAR), SQLSMALLINT(SQL_C_SLONG), SQLSMALLINT(SQL_C_SBIGINT)}) {
        EXPECT_EQ(SQL_ERROR, SQLBindCol(stmt, 0, type, mark.data(), 8, &len)) << type;
        EXPECT_EQ("HY003", State()) << type;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    for (SQLSMALLINT type : {SQLSMALLINT(SQL_C_CHAR), SQLSMALLINT(SQL_C_SLONG), SQLSMALLINT(SQL_C_SBIGINT)}) {
        EXPECT_EQ(SQL_ERROR, SQLGetData(stmt, 0, type, mark.data(), 8, &len)) << type;
        EXPECT_EQ("HY003", State()) << type;
    }
    EXPECT_TRUE(mark.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(Builds, BookmarkColumn, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
