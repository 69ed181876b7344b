// Whole-driver tests that call the driver's exports straight, with no Driver Manager between:
// a private data directory and configuration, databases made on demand, and small helpers
// that turn return codes and diagnostics into test failures.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>

namespace stress {

// Makes the private data directory (once) and the database `name` in it (once per name).
void Database(const char* name);

// SQLSTATE and message of a handle's first diagnostic record ("" when there is none), asked
// again while the handle's connection is busy with another thread.
struct Diag {
    std::string state;
    std::string message;
};
Diag FirstDiag(SQLSMALLINT type, SQLHANDLE h);
std::string DiagText(SQLSMALLINT type, SQLHANDLE h);

inline bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// An ODBC 3 environment and one connection to a database; both freed on destruction.
struct Connection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    explicit Connection(const char* database);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    SQLHSTMT Stmt();  // a new statement, or null
    // Runs text on a statement of its own; false (with the diagnostic in *why) on failure.
    bool Exec(const char* text, std::string* why = nullptr);
};

// Connects env/dbc to `database` (allocating both when null); the SQLRETURN of the failing call.
SQLRETURN Connect(SQLHENV* env, SQLHDBC* dbc, const char* database);

// The process's resident set in bytes, from /proc/self/statm.
uint64_t ResidentBytes();

// A count from the environment (for a quick run by hand), else the given default.
long Count(const char* variable, long fallback);

}  // namespace stress
