#pragma once
// A connection through the Driver Manager to the embedded engine for the result tests, with
// statement helpers. Texts go through the narrow API (the Driver Manager converts for the wide
// build).
#include <string>
#include <vector>

#include "tests/support/diag_text_fixture.h"
#include "connect_fixture.h"

namespace resultstest {

using connecttest::kPassword;
using connecttest::kUser;

// A value no driver writes: lengths must come back whole over it.
inline SQLLEN kPoison() { return SQLLEN(0x5A5A5A5A5A5A5A5Aull); }

// The first diagnostic of a handle as "STATE message", or "(none)".
inline std::string DiagText(SQLSMALLINT type, SQLHANDLE h) { return tvtest::FirstDiagText(type, h); }

// UTF-8 text as UTF-16.
inline std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        uint32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
        for (int k = 1; k < n && i + k < s.size(); ++k) cp = cp << 6 | (s[i + k] & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            out.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

// A positive SQL_NUMERIC_STRUCT of the decimal digits given (at most 38), at that scale.
inline SQL_NUMERIC_STRUCT NumericOf(const char* digits, SQLCHAR precision, SQLSCHAR scale) {
    SQL_NUMERIC_STRUCT num{};
    unsigned __int128 v = 0;
    for (const char* p = digits; *p; ++p) v = v * 10 + unsigned(*p - '0');
    for (int i = 0; i < 16; ++i) num.val[i] = SQLCHAR(v >> (8 * i));
    num.precision = precision;
    num.scale = scale;
    num.sign = 1;
    return num;
}

class ResultsTest : public connecttest::ConnectThroughDriverManager {
protected:
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        std::string dsn = Dsn();
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)))
            << Diag(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    // Tables made by Make, dropped (the last made first) when the test ends.
    std::vector<std::string> tables;
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            for (auto it = tables.rbegin(); it != tables.rend(); ++it) Exec("drop table " + *it);
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        }
        ConnectThroughDriverManager::TearDown();
    }
    static std::string Diag(SQLSMALLINT type, SQLHANDLE h) { return DiagText(type, h); }
    std::string Diag() { return Diag(SQL_HANDLE_STMT, stmt); }
    SQLRETURN Exec(const std::string& sql) { return SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS); }
    // Runs UTF-8 text with non-ASCII characters as an application of this build would: as
    // UTF-16 through the wide entry point for the wide build (the Driver Manager would widen
    // narrow text byte by byte), as it is for the narrow build.
    SQLRETURN ExecText(SQLHSTMT h, const std::string& sql) {
        if (!GetParam().wide) return SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS);
        std::u16string w = Utf16(sql);
        return SQLExecDirectW(h, reinterpret_cast<SQLWCHAR*>(w.data()), SQLINTEGER(w.size()));
    }
    // Runs sql to the end, closing its cursor; asserts success.
    void Must(const std::string& sql) {
        SQLRETURN rc = Exec(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << ": " << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // A table private to this build, so the two builds never meet.
    std::string Table(const std::string& base) const { return base + (GetParam().wide ? "_w" : "_n"); }
    // This build's table of the name made afresh with the columns, dropped when the test ends.
    std::string Make(const std::string& base, const std::string& columns) {
        std::string t = Table(base);
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (" + columns + ")");
        tables.push_back(t);
        return t;
    }
    // A result column as SQLDescribeCol gives it.
    struct Described {
        std::string name;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = -1;
    };
    Described Describe(SQLUSMALLINT col) {
        Described d;
        SQLCHAR name[128] = {};
        SQLSMALLINT nameLen = 0, nullable = 0;
        EXPECT_EQ(SQL_SUCCESS,
                  SQLDescribeCol(stmt, col, name, sizeof name, &nameLen, &d.type, &d.size, &d.digits, &nullable))
            << Diag();
        d.name = reinterpret_cast<char*>(name);
        return d;
    }
    // The first column's integers of every row of sql, read forward-only a row at a time.
    std::vector<int> ForwardIds(const std::string& sql) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        EXPECT_EQ(SQL_SUCCESS, Exec(sql)) << sql << ": " << Diag();
        return ReadIds();
    }
    // The first column's integers of the rest of the executed statement's rows; closes it.
    std::vector<int> ReadIds() {
        std::vector<int> ids;
        SQLINTEGER id = 0;
        SQLLEN ind = 0;
        SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &ind);
        while (SQLFetch(stmt) == SQL_SUCCESS) ids.push_back(id);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        return ids;
    }
};

// Rows first .. first + n - 1 (1-based) of all, as many as there are.
inline std::vector<int> Slice(const std::vector<int>& all, long first, long n) {
    std::vector<int> out;
    for (long i = first - 1; i < first - 1 + n && i < long(all.size()); ++i)
        if (i >= 0) out.push_back(all[size_t(i)]);
    return out;
}

}  // namespace resultstest
