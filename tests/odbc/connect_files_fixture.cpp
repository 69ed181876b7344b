#include "tests/odbc/connect_files_fixture.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dirs_fixture.h"

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

const char kUserIni[] =
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
    "RoleName = abcdefghijklmnopqrstuvwxyz0123\xE2\x82\xAC\n";

const char kSysIni[] =
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
    "UID = sysuser\n";

ConnectFiles Make() {
    ConnectFiles files;
    char tmpl[] = "/tmp/tv-connect-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    files.dir = tmpl;
    files.userIni = tvtest::PrivateIni().userIni;
    files.sysDir = tvtest::PrivateIni().sysDir;
    files.fileDsn = files.dir + "/saved.dsn";
    Write(files.fileDsn,
          "[ODBC]\n"
          "UID = fileuser\n"
          "FBS = 77\n"
          "FetchBufferSize = 88\n"
          "READONLY = TRUE\n");
    return files;
}

}  // namespace

namespace {

// The installer takes the paths of the odbc.ini pair at its first use in the process, whichever
// test makes it: the private pair is in place before any test runs.
class PrivateIniEnvironment : public ::testing::Environment {
public:
    void SetUp() override { tvtest::PrivateIni(); }
};
[[maybe_unused]] ::testing::Environment* const kPrivateIniEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrivateIniEnvironment);

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
    // Written for every test: another suite of the program may have written its own.
    tvtest::UsePrivateIniFiles(kUserIni, kSysIni, "");
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
