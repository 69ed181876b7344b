#include "tests/support/temp_dirs_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "iiapi/iiapi.h"

namespace tvtest {
namespace {

std::mutex g_lock;
std::vector<std::string>& Made() {
    static auto* made = new std::vector<std::string>;
    return *made;
}

void RemoveMade() {
    std::lock_guard<std::mutex> g(g_lock);
    for (const std::string& d : Made()) {
        std::error_code ec;
        std::filesystem::remove_all(d, ec);
    }
    Made().clear();
}

}  // namespace

std::string MakeTempDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) return std::string();
    std::lock_guard<std::mutex> g(g_lock);
    if (Made().empty()) std::atexit(RemoveMade);
    Made().emplace_back(buf.data());
    return Made().back();
}

const std::string& EngineDataDir(const std::string& prefix, bool reuse) {
    static const std::string dir = [&] {
        const char* have = std::getenv("II_DATABASE_DIR");
        if (reuse && have != nullptr && std::strncmp(have, "/tmp/", 5) == 0 && std::filesystem::is_directory(have))
            return std::string(have);
        std::string d = MakeTempDir(prefix);
        if (d.empty()) d = "/tmp";
        setenv("II_DATABASE_DIR", d.c_str(), 1);
        return d;
    }();
    return dir;
}

bool CreateDatabase(const std::string& name, std::string* error) {
    char err[256] = {};
    const bool ok = iiengine_createDatabase(name.c_str(), nullptr, nullptr, err, sizeof err) == 0;
    if (!ok && error) *error = err;
    return ok;
}

const PrivateIniFiles& PrivateIni() {
    static const PrivateIniFiles files = [] {
        PrivateIniFiles f;
        f.dir = MakeTempDir("tv-ini-");
        if (f.dir.empty()) f.dir = "/tmp";
        f.userIni = f.dir + "/user-odbc.ini";
        f.sysDir = f.dir + "/sys";
        std::filesystem::create_directories(f.sysDir);
        std::ofstream(f.userIni).flush();
        std::ofstream(f.sysDir + "/odbc.ini").flush();
        std::ofstream(f.sysDir + "/odbcinst.ini").flush();
        setenv("ODBCSYSINI", f.sysDir.c_str(), 1);
        setenv("ODBCINI", f.userIni.c_str(), 1);
        return f;
    }();
    return files;
}

void UsePrivateIniFiles(const std::string& userIni, const std::string& sysIni, const std::string& odbcinstIni) {
    const PrivateIniFiles& f = PrivateIni();
    std::ofstream(f.userIni) << userIni;
    std::ofstream(f.sysDir + "/odbc.ini") << sysIni;
    std::ofstream(f.sysDir + "/odbcinst.ini") << odbcinstIni;
}

void UsePrivateIni(const std::string& odbcIni, const std::string& odbcinstIni) {
    UsePrivateIniFiles(odbcIni, odbcIni, odbcinstIni);
}

}  // namespace tvtest
