#pragma once
// The data sources of the connect tests in the program's private odbc.ini pair (user and
// system; written again at every call, since other suites write theirs there too) and a file DSN.
#include <string>

struct ConnectFiles {
    std::string dir;      // temporary directory holding everything
    std::string userIni;  // ODBCINI
    std::string sysDir;   // ODBCSYSINI (holds odbc.ini)
    std::string fileDsn;  // a file DSN with an [ODBC] section
};

const ConnectFiles& TestConfigFiles();

// Path of the login library built beside the drivers.
std::string LoginLibraryPath();
