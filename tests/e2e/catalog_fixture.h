#pragma once
// A connection through the Driver Manager to a database holding the engine's sample schema
// (owned by tvuser), with helpers that read a whole catalog result as text.
#include <string>
#include <vector>

#include "tests/support/diag_text_fixture.h"
#include "connect_fixture.h"

namespace catalogtest {

using connecttest::kPassword;
using connecttest::kUser;
using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

// The sample databases, one per build so the two never meet.
inline void EnsureSampleDatabases() {
    static const bool made = [] {
        std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
        if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
        for (const char* db : {"cat_sample_w", "cat_sample_n"}) {
            std::string cmd = tool + " -s -u " + kUser + " -P " + kPassword + " " + db + " >/dev/null";
            if (std::system(cmd.c_str()) != 0) return false;
        }
        return true;
    }();
    ASSERT_TRUE(made) << "iicreatedb -s failed";
}

class CatalogTest : public connecttest::ConnectThroughDriverManager {
protected:
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        EnsureSampleDatabases();
        if (HasFatalFailure()) return;
        Connect();
    }
    void Connect(const std::string& extra = std::string()) {
        std::string in =
            "DRIVER={" + DriverName() + "};DSN=" + Database() + ";UID=" + kUser + ";PWD=" + kPassword + extra;
        SQLCHAR out[1024];
        SQLSMALLINT outLen = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, out, sizeof out,
                                                   &outLen, SQL_DRIVER_NOPROMPT)))
            << Diag(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void TearDown() override {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        ConnectThroughDriverManager::TearDown();
    }
    std::string Database() const { return GetParam().wide ? "cat_sample_w" : "cat_sample_n"; }
    static std::string Diag(SQLSMALLINT type, SQLHANDLE h) { return tvtest::FirstDiagText(type, h); }
    std::string Diag() { return Diag(SQL_HANDLE_STMT, stmt); }

    // Every row of the open result, each cell through SQLGetData as text ("<null>" for NULL,
    // trailing blanks cut); closes the cursor.
    Rows ReadAll(SQLSMALLINT* columns = nullptr) {
        Rows rows;
        SQLSMALLINT n = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n)) << Diag();
        if (columns) *columns = n;
        for (int guard = 0; guard < 10000; ++guard) {
            SQLRETURN rc = SQLFetch(stmt);
            if (rc == SQL_NO_DATA) break;
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
            if (!SQL_SUCCEEDED(rc)) break;
            Row row;
            for (SQLSMALLINT c = 1; c <= n; ++c) {
                char buf[512] = {};
                SQLLEN ind = 0;
                SQLRETURN g = SQLGetData(stmt, SQLUSMALLINT(c), SQL_C_CHAR, buf, sizeof buf, &ind);
                EXPECT_TRUE(SQL_SUCCEEDED(g)) << "column " << c << ": " << Diag();
                std::string v = ind == SQL_NULL_DATA ? "<null>" : std::string(buf);
                while (!v.empty() && v.back() == ' ') v.pop_back();
                row.push_back(v);
            }
            rows.push_back(row);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return rows;
    }
    static Row Column(const Rows& rows, size_t c) {
        Row v;
        for (const Row& r : rows) v.push_back(r.at(c));
        return v;
    }
    static SQLCHAR* T(const char* s) { return (SQLCHAR*)s; }
};

}  // namespace catalogtest
