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

// Writes odbc.ini and odbcinst.ini into `dir` and points the installer at them.
void UsePrivateIni(const std::string& dir, const std::string& odbcIni, const std::string& odbcinstIni = "");

}  // namespace tvtest
