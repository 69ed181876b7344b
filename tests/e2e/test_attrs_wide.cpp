// Statement attributes and descriptor fields that ODBC makes 64 bits wide keep every bit, or are
// refused or substituted as ODBC says, never cut to their low 32 bits: row and parameter bind types
// beyond 4 GiB, as pyodbc's fast_executemany makes them for a LONG VARCHAR column, move rows by
// the whole size both ways; buffer lengths past 32 bits are lengths.
#include <sys/mman.h>

#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

using connecttest::States;

// Past 4 GiB, with 16 in its low 32 bits: a cut size moves every row by 16 bytes.
constexpr SQLULEN kWideRow = (SQLULEN(1) << 32) + 16;
// pyodbc's buffer for a wide LONG VARCHAR value: (2^31 - 2) UTF-16 units.
constexpr SQLLEN kWideBuffer = SQLLEN(4294967292);

// Rows of rowSize bytes (kWideRow unless said) laid out as an application binds them row-wise,
// in address space reserved without memory: only the pages a row touches are ever made.
class WideRows {
public:
    explicit WideRows(size_t rows, SQLULEN rowSize = kWideRow) : size_(rows * rowSize + 4096), rowSize_(rowSize) {
        void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
    }
    ~WideRows() {
        if (base_) munmap(base_, size_);
    }
    WideRows(const WideRows&) = delete;
    WideRows& operator=(const WideRows&) = delete;
    char* Row(size_t r) const { return base_ + r * rowSize_; }
    bool ok() const { return base_ != nullptr; }

    // Row layout: key at 0, the text's length at 8, the text at 32.
    static SQLINTEGER* Key(char* row) { return reinterpret_cast<SQLINTEGER*>(row); }
    static SQLLEN* Length(char* row) { return reinterpret_cast<SQLLEN*>(row + 8); }
    static char* Text(char* row) { return row + 32; }

private:
    size_t size_;
    SQLULEN rowSize_;
    char* base_;
};

class WideAttrs : public ResultsTest {
protected:
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLFreeStmt(stmt, SQL_RESET_PARAMS);
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        }
        ResultsTest::TearDown();
    }
};

// Each value reads back whole; one the cursor layer cannot keep is substituted by the largest it
// keeps, with 01S02.
TEST_P(WideAttrs, SizesReadBackWholeOrSubstituted) {
    struct Case {
        const char* name;
        SQLINTEGER attr;
        SQLULEN value;
        SQLRETURN rc;
        SQLULEN back;
    };
    const Case cases[] = {
        {"row bind type", SQL_ATTR_ROW_BIND_TYPE, kWideRow, SQL_SUCCESS, kWideRow},
        {"parameter bind type", SQL_ATTR_PARAM_BIND_TYPE, kWideRow, SQL_SUCCESS, kWideRow},
        {"max length past 31 bits", SQL_ATTR_MAX_LENGTH, 0x80000005ull, SQL_SUCCESS, 0x80000005ull},
        {"max length past 32 bits", SQL_ATTR_MAX_LENGTH, kWideRow, SQL_SUCCESS, kWideRow},
        {"keyset size past 31 bits", SQL_ATTR_KEYSET_SIZE, 0x80000005ull, SQL_SUCCESS, 0x80000005ull},
        {"keyset size past 32 bits", SQL_ATTR_KEYSET_SIZE, kWideRow, SQL_SUCCESS_WITH_INFO, 0xFFFFFFFFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SQLHSTMT h = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
        EXPECT_EQ(c.rc, SQLSetStmtAttr(h, c.attr, reinterpret_cast<SQLPOINTER>(c.value), 0))
            << Diag(SQL_HANDLE_STMT, h);
        if (c.rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(std::vector<std::string>{"01S02"}, States(SQL_HANDLE_STMT, h));
        }
        SQLULEN back = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, c.attr, &back, 0, nullptr));
        EXPECT_EQ(c.back, back);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    // A rowset size beyond what the cursor layer offers is substituted, never taken as its low bits.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kWideRow), 0));
    EXPECT_EQ(std::vector<std::string>{"01S02"}, States(SQL_HANDLE_STMT, stmt));
    SQLULEN granted = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr));
    EXPECT_NE(SQLULEN(16), granted);
    EXPECT_GT(granted, SQLULEN(16));
    // The descriptor field is 32 bits wide: a row size beyond it is not handed out cut.
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(kWideRow), 0));
    SQLHDESC ard = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    SQLINTEGER field = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetDescField(ard, 0, SQL_DESC_BIND_TYPE, &field, SQL_IS_INTEGER, nullptr));
    EXPECT_EQ(std::vector<std::string>{"22003"}, States(SQL_HANDLE_DESC, ard));
    EXPECT_EQ(0, field);
}

// pyodbc's fast_executemany on a LONG VARCHAR: rows of 4 GiB + 16 bytes, a buffer length of
// 4294967292. Every row goes in from its own place, and a fetch puts each row back at its own.
TEST_P(WideAttrs, RowsBeyondFourGigabytesMoveByTheWholeSize) {
    const std::string t = Make("widerow", "k integer, v long varchar");
    WideRows rows(2);
    ASSERT_TRUE(rows.ok()) << "no address space for two rows of " << kWideRow << " bytes";
    const char* const texts[] = {"first", "second"};
    for (size_t r = 0; r < 2; ++r) {
        *WideRows::Key(rows.Row(r)) = SQLINTEGER(r + 1);
        *WideRows::Length(rows.Row(r)) = SQL_NTS;
        std::strcpy(WideRows::Text(rows.Row(r)), texts[r]);
    }
    // Where a row size cut to 16 would find its second row.
    char* cut = rows.Row(0) + 16;
    *WideRows::Key(cut) = 99;
    *WideRows::Length(cut) = SQL_NTS;
    std::strcpy(WideRows::Text(cut), "WRONG");

    const std::string insert = "insert into " + t + " values (?, ?)";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)insert.c_str(), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(kWideRow), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(2), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                            WideRows::Key(rows.Row(0)), 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 2147483646, 0,
                                            WideRows::Text(rows.Row(0)), kWideBuffer, WideRows::Length(rows.Row(0))))
        << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    EXPECT_EQ((std::vector<int>{1, 2}), ForwardIds("select k from " + t + " order by k"));

    for (size_t r = 0; r < 2; ++r) {
        *WideRows::Key(rows.Row(r)) = 0;
        std::memset(WideRows::Text(rows.Row(r)), 0, 8);
    }
    *WideRows::Key(cut) = 77;
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(kWideRow), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0));
    ASSERT_EQ(SQL_SUCCESS, Exec("select k, v from " + t + " order by k")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, WideRows::Key(rows.Row(0)), 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindCol(stmt, 2, SQL_C_CHAR, WideRows::Text(rows.Row(0)), 64, WideRows::Length(rows.Row(0))));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    for (size_t r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(SQLINTEGER(r + 1), *WideRows::Key(rows.Row(r)));
        EXPECT_STREQ(texts[r], WideRows::Text(rows.Row(r)));
        EXPECT_EQ(SQLLEN(std::strlen(texts[r])), *WideRows::Length(rows.Row(r)));
    }
    EXPECT_EQ(77, *WideRows::Key(cut));
}

// SQLCopyDesc carries a row size whole: past 2^31, where the descriptor field's 32 bits would
// make it negative, and past 4 GiB. Rows fetched through a copied row descriptor, the statement's
// own or one the application allocated, land at their own places, and parameter rows are read
// from theirs.
TEST_P(WideAttrs, CopiedDescriptorsKeepTheWholeRowSize) {
    const std::string t = Make("widecopy", "k integer, v varchar(20)");
    Must("insert into " + t + " values (1, 'first')");
    Must("insert into " + t + " values (2, 'second')");
    const char* const texts[] = {"first", "second"};
    auto desc = [](SQLHSTMT h, SQLINTEGER which) {
        SQLHDESC d = SQL_NULL_HDESC;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, which, &d, 0, nullptr));
        return d;
    };
    for (SQLULEN size : {SQLULEN(0x80000010ull), kWideRow}) {
        SCOPED_TRACE("row size " + std::to_string(size));
        WideRows rows(2, size);
        ASSERT_TRUE(rows.ok()) << "no address space for two rows of " << size << " bytes";
        // What a row size cut to its low 32 bits would reach as the second row (one past 2^31
        // but within 32 bits would instead be taken as negative, far outside the rows).
        char* cut = size > 0xFFFFFFFFull ? rows.Row(0) + (size & 0xFFFFFFFFull) : nullptr;
        // The statement that binds: two rows a fetch, both columns row-wise.
        SQLHSTMT binder = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &binder));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(binder, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(size), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(binder, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(binder, 1, SQL_C_SLONG, WideRows::Key(rows.Row(0)), 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindCol(binder, 2, SQL_C_CHAR, WideRows::Text(rows.Row(0)), 64, WideRows::Length(rows.Row(0))));
        for (bool allocated : {false, true}) {
            SCOPED_TRACE(allocated ? "onto an allocated descriptor" : "onto the statement's own");
            SQLHSTMT reader = SQL_NULL_HSTMT;
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &reader));
            SQLHDESC to = desc(reader, SQL_ATTR_APP_ROW_DESC);
            if (allocated) {
                ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &to));
            }
            EXPECT_EQ(SQL_SUCCESS, SQLCopyDesc(desc(binder, SQL_ATTR_APP_ROW_DESC), to)) << Diag(SQL_HANDLE_DESC, to);
            if (allocated) {
                ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(reader, SQL_ATTR_APP_ROW_DESC, to, 0));
            }
            SQLULEN back = 0;
            EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(reader, SQL_ATTR_ROW_BIND_TYPE, &back, 0, nullptr));
            // A fetch by another size would write where no row is.
            ASSERT_EQ(size, back);
            for (size_t r = 0; r < 2; ++r) {
                *WideRows::Key(rows.Row(r)) = 0;
                std::memset(WideRows::Text(rows.Row(r)), 0, 8);
            }
            if (cut) *WideRows::Key(cut) = 77;
            const std::string select = "select k, v from " + t + " order by k";
            ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(reader, (SQLCHAR*)select.c_str(), SQL_NTS))
                << Diag(SQL_HANDLE_STMT, reader);
            ASSERT_EQ(SQL_SUCCESS, SQLFetch(reader)) << Diag(SQL_HANDLE_STMT, reader);
            for (size_t r = 0; r < 2; ++r) {
                SCOPED_TRACE(r);
                EXPECT_EQ(SQLINTEGER(r + 1), *WideRows::Key(rows.Row(r)));
                EXPECT_STREQ(texts[r], WideRows::Text(rows.Row(r)));
            }
            if (cut) {
                EXPECT_EQ(77, *WideRows::Key(cut));
            }
            SQLFreeHandle(SQL_HANDLE_STMT, reader);
            if (allocated) SQLFreeHandle(SQL_HANDLE_DESC, to);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, binder);
        // The parameter descriptors, the implementation's first (a bound application record needs
        // its SQL type): rows of keys read at their own places through the copy.
        SQLHSTMT from = SQL_NULL_HSTMT, to = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &from));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &to));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(from, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(size), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(from, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(2), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(from, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                                WideRows::Key(rows.Row(0)), 0, nullptr));
        for (SQLINTEGER which : {SQL_ATTR_IMP_PARAM_DESC, SQL_ATTR_APP_PARAM_DESC})
            EXPECT_EQ(SQL_SUCCESS, SQLCopyDesc(desc(from, which), desc(to, which)))
                << Diag(SQL_HANDLE_DESC, desc(to, which));
        SQLULEN back = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(to, SQL_ATTR_PARAM_BIND_TYPE, &back, 0, nullptr));
        ASSERT_EQ(size, back);
        *WideRows::Key(rows.Row(0)) = 1;
        *WideRows::Key(rows.Row(1)) = 2;
        if (cut) *WideRows::Key(cut) = 77;
        const std::string remove = "delete from " + t + " where k = ?";
        ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(to, (SQLCHAR*)remove.c_str(), SQL_NTS)) << Diag(SQL_HANDLE_STMT, to);
        SQLLEN removed = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLRowCount(to, &removed));
        EXPECT_EQ(2, removed);
        SQLFreeHandle(SQL_HANDLE_STMT, from);
        SQLFreeHandle(SQL_HANDLE_STMT, to);
        Must("insert into " + t + " values (1, 'first')");
        Must("insert into " + t + " values (2, 'second')");
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, WideAttrs, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
