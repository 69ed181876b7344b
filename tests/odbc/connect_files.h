#pragma once
// A private odbc.ini pair (user and system) and a file DSN for the tests of this program,
// written once per process before the installer is first used.
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
