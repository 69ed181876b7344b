// What the test programs share for their surroundings: a temporary directory that goes when
// the program ends, the engine's data directory with the program's databases, and private
// odbc.ini/odbcinst.ini files so no configuration of the machine reaches a test.
#pragma once

#include <string>

namespace tvtest {

// A new directory "/tmp/<prefix>XXXXXX", removed with everything in it when the program exits;
// empty when it cannot be made.
std::string MakeTempDir(const std::string& prefix);

// The program's engine data directory: made on first use (and II_DATABASE_DIR pointed at it),
// or the one II_DATABASE_DIR already names under /tmp when `reuse` is set.
const std::string& EngineDataDir(const std::string& prefix, bool reuse = false);

// Creates an engine database in the current data directory; false (with the engine's text in
// `error`) when that fails.
bool CreateDatabase(const std::string& name, std::string* error = nullptr);

// The program's private odbc.ini pair (ODBCINI, and odbc.ini and odbcinst.ini in ODBCSYSINI),
// made on first use, when both variables are pointed at it. unixODBC's installer takes the two
// paths the first time it is asked and keeps them for the life of the process, so every test of a
// program shares these paths and writes the contents it needs before it connects: a test that
// pointed the variables elsewhere later would read what the first one wrote.
struct PrivateIniFiles {
    std::string dir;
    std::string userIni;  // ODBCINI
    std::string sysDir;   // ODBCSYSINI
};
const PrivateIniFiles& PrivateIni();

// Writes the private files: the same data sources as the user's and the system's, and the drivers.
void UsePrivateIni(const std::string& odbcIni, const std::string& odbcinstIni = "");
// The same with the user's data sources apart from the system's.
void UsePrivateIniFiles(const std::string& userIni, const std::string& sysIni, const std::string& odbcinstIni);

}  // namespace tvtest
