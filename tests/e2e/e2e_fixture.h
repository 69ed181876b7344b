#pragma once
// End-to-end set-up: a private odbcinst.ini and odbc.ini (through ODBCSYSINI and ODBCINI) that
// register both built drivers, so the tests reach them through unixODBC as an application does.
#include <sql.h>
#include <sqlext.h>

#include <ostream>
#include <string>
#include <vector>

struct DriverBuild {
    const char* dsn;      // data source in the private odbc.ini
    const char* library;  // file name under $TV_BUILD_DIR/lib
    bool wide;
};

// Both builds; every end-to-end test runs against each.
const std::vector<DriverBuild>& DriverBuilds();
std::string LibraryPath(const DriverBuild& b);
std::string ConfigDir();
// The build tree holding lib/ and bin/ ($TV_BUILD_DIR overrides the configured one).
std::string BuildDir();

// Runs a shell command and returns what it printed on stdout; status gets pclose's result.
std::string RunCommand(const std::string& cmd, int* status = nullptr);
// What a sanitized driver needs in front of an uninstrumented interpreter (its sanitizer runtimes
// preloaded), or "" for a plain build.
std::string InterpreterEnv(const DriverBuild& b);

// The whole contents of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

// Whether a library of this file name is mapped into the process right now.
bool LibraryMapped(const char* fileName);

// The first diagnostic record of a handle through the Driver Manager.
struct Diag {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
    SQLRETURN rc = SQL_ERROR;
};
Diag FirstDiag(SQLSMALLINT type, SQLHANDLE h);

inline void PrintTo(const DriverBuild& b, std::ostream* os) { *os << b.library; }
inline std::string BuildName(const DriverBuild& b) { return b.wide ? "telvarinu" : "telvarin"; }
