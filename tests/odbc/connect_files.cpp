#include "connect_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void Write(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    f << text;
    if (!f) throw std::runtime_error("cannot write " + path);
}

ConnectFiles Make() {
    ConnectFiles files;
    char tmpl[] = "/tmp/tv-connect-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    files.dir = tmpl;
    files.userIni = files.dir + "/user-odbc.ini";
    files.sysDir = files.dir + "/sys";
    files.fileDsn = files.dir + "/saved.dsn";
    mkdir(files.sysDir.c_str(), 0700);
    Write(files.userIni,
          "[ODBC Data Sources]\n"
          "telv = Telvarin Test Driver\n"
          "\n"
          "[telv]\n"
          "UID =\n"
          "LastUser = lastbob\n"
          "PWD = secret\n"
          "ReadOnly = yes\n"
          "FetchBufferSize = 123456\n"
          "IngServer = srv1\n"
          "GroupName = grp\n"
          "DynCursSensitivity = high\n"
          "InitialSQL = /tmp/init.sql\n"
          "\n"
          "[telvuid]\n"
          "UID = alice\n"
          "LastUser = ignored\n"
          "PWD = pw\n"
          "NoLoginBox = Yes\n"
          "\n"
          "[nlbdsn]\n"
          "UID =\n"
          "LastUser = last\n"
          "NoLoginBox = yes\n"
          "\n"
          "[J\xC3\xBCrgen]\n"
          "UID = j\xC3\xBCrgen\n"
          "\n"
          "[wide]\n"
          "UID = J\xC3\xBCrgen\xE2\x82\xAC\n"
          "PWD = p\xC3\xA4ss\n"
          "GroupName = abcdefghijklmnopqrstuvwxyz0123456789\n"
          "RoleName = abcdefghijklmnopqrstuvwxyz0123\xE2\x82\xAC\n");
    Write(files.sysDir + "/odbc.ini",
          "[ODBC Data Sources]\n"
          "sysonly = System Only Driver\n"
          "telv = Shadowed System Driver\n"
          "\n"
          "[Default]\n"
          "UID =\n"
          "LastUser = notforDefault\n"
          "PWD = defpwd\n"
          "JET = true\n"
          "FetchBufferSize = 0\n"
          "\n"
          "[sysonly]\n"
          "UID = sysuser\n");
    Write(files.sysDir + "/odbcinst.ini", "");
    Write(files.fileDsn,
          "[ODBC]\n"
          "UID = fileuser\n"
          "FBS = 77\n"
          "FetchBufferSize = 88\n"
          "READONLY = TRUE\n");
    setenv("ODBCINI", files.userIni.c_str(), 1);
    setenv("ODBCSYSINI", files.sysDir.c_str(), 1);
    return files;
}

}  // namespace

const ConnectFiles& TestConfigFiles() {
    struct Owner {
        ConnectFiles files = Make();
        ~Owner() {
            std::error_code ignored;
            std::filesystem::remove_all(files.dir, ignored);
        }
    };
    static const Owner owner;
    return owner.files;
}

std::string LoginLibraryPath() {
    const char* build = std::getenv("TV_BUILD_DIR");
    return std::string(build ? build : TV_BUILD_DIR) + "/lib/libpramlogw.so";
}

// unixODBC's installer keeps its parsed ini files in caches it never frees (and the tests unload
// it to try a missing installer); those blocks are not the driver's.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libodbcinst.so\n";
}
