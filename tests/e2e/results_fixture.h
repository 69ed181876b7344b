#pragma once
// A connection through the Driver Manager to the embedded engine for the result tests, with
// statement helpers. Texts go through the narrow API (the Driver Manager converts for the wide
// build).
#include <string>

#include "tests/support/diag_text.h"
#include "connect_fixture.h"

namespace resultstest {

using connecttest::kPassword;
using connecttest::kUser;

// A value no driver writes: lengths must come back whole over it.
inline SQLLEN kPoison() { return SQLLEN(0x5A5A5A5A5A5A5A5Aull); }

// The first diagnostic of a handle as "STATE message", or "(none)".
inline std::string DiagText(SQLSMALLINT type, SQLHANDLE h) { return tvtest::FirstDiagText(type, h); }

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
    void TearDown() override {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        ConnectThroughDriverManager::TearDown();
    }
    static std::string Diag(SQLSMALLINT type, SQLHANDLE h) { return DiagText(type, h); }
    std::string Diag() { return Diag(SQL_HANDLE_STMT, stmt); }
    SQLRETURN Exec(const std::string& sql) { return SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS); }
    // Runs sql to the end, closing its cursor; asserts success.
    void Must(const std::string& sql) {
        SQLRETURN rc = Exec(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << ": " << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // A table private to this build, so the two builds never meet.
    std::string Table(const std::string& base) const { return base + (GetParam().wide ? "_w" : "_n"); }
};

}  // namespace resultstest
