#include "tests/e2e/e2e_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/mapped_libs_fixture.h"

std::string BuildDir() {
    const char* env = getenv("TV_BUILD_DIR");
    return env && *env ? env : TV_BUILD_DIR;
}

std::string RunCommand(const std::string& cmd, int* status) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = rc;
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string InterpreterEnv(const DriverBuild& b) {
    std::string libs = RunCommand("ldd " + LibraryPath(b) + " | awk '/libasan|libubsan/ {printf \"%s:\", $3}'");
    if (libs.empty()) return "";
    return "LD_PRELOAD=" + libs + " ASAN_OPTIONS=detect_leaks=0 ";
}

namespace {

// Written before main, so no Driver Manager call can see the user's own configuration.
struct PrivateConfig {
    std::string dir;
    PrivateConfig() {
        char tmpl[] = "/tmp/tv_e2e_XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (!made) {
            perror("mkdtemp");
            abort();
        }
        dir = made;
        std::string lib = BuildDir() + "/lib/";
        std::ofstream inst(dir + "/odbcinst.ini");
        inst << "[Telvarin Unicode]\nDescription = Corvanta Ingres ODBC (wide)\nDriver = " << lib
             << "telvarinu.so\nDontDLClose = 0\n\n"
             << "[Telvarin ANSI]\nDescription = Corvanta Ingres ODBC (narrow)\nDriver = " << lib
             << "telvarin.so\nDontDLClose = 0\n";
        std::ofstream ini(dir + "/odbc.ini");
        // tv_*: data sources without a database (connecting fails); cw_*: databases the connect
        // tests create, owned by tvuser with password "secret", whose user comes from LastUser.
        ini << "[tv_wide]\nDriver = Telvarin Unicode\nDatabase = e2e\n\n"
            << "[tv_narrow]\nDriver = Telvarin ANSI\nDatabase = e2e\n\n"
            << "[cw_wide]\nDriver = Telvarin Unicode\nUID =\nLastUser = tvuser\nFetchBufferSize = 100\n\n"
            << "[cw_narrow]\nDriver = Telvarin ANSI\nUID =\nLastUser = tvuser\nFetchBufferSize = 100\n\n"
            << "[Default]\nDriver = Telvarin ANSI\nUID =\nLastUser = tvuser\nFetchBufferSize = 33\n";
        inst.close();
        ini.close();
        setenv("ODBCSYSINI", dir.c_str(), 1);
        setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
        setenv("ODBCINSTINI", "odbcinst.ini", 1);
        // The embedded engine's databases live here, never in the user's own data directory.
        std::filesystem::create_directory(dir + "/data");
        setenv("II_DATABASE_DIR", (dir + "/data").c_str(), 1);
    }
    ~PrivateConfig() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

PrivateConfig& Config() {
    static PrivateConfig config;
    return config;
}
// Force the set-up at load time.
const PrivateConfig& g_config = Config();

}  // namespace

const std::vector<DriverBuild>& DriverBuilds() {
    static const std::vector<DriverBuild> builds = {{"tv_wide", "telvarinu.so", true},
                                                    {"tv_narrow", "telvarin.so", false}};
    return builds;
}

std::string LibraryPath(const DriverBuild& b) { return BuildDir() + "/lib/" + b.library; }
std::string ConfigDir() { return Config().dir; }

bool LibraryMapped(const char* fileName) { return !tvtest::MappedLibraryPath(fileName).empty(); }

Diag FirstDiag(SQLSMALLINT type, SQLHANDLE h) {
    Diag d;
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLSMALLINT len = 0;
    d.rc = SQLGetDiagRec(type, h, 1, state, &d.native, msg, sizeof msg, &len);
    d.state = reinterpret_cast<char*>(state);
    d.message = reinterpret_cast<char*>(msg);
    return d;
}
