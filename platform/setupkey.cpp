#include "platform/setupkey.h"
#include "util/strutil.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool equal_nocase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && AsciiCaseCompareN(a.c_str(), b.c_str(), a.size()) == 0;
}

// Finds the value in the file; false when the file, the section or the value is missing.
bool lookup(const std::string& section, const std::string& value, std::string* out) {
    std::string path = SetupIniPath();
    if (path.empty()) return false;
    FILE* f = fopen(path.c_str(), "re");
    if (!f) return false;
    bool in_section = false, found = false;
    std::string line;
    char chunk[512];
    while (!found && fgets(chunk, sizeof chunk, f)) {
        line += chunk;
        if (line.back() != '\n' && !feof(f)) continue;  // long line: keep reading it
        std::string t = trim(line);
        line.clear();
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            size_t close = t.rfind(']');
            in_section = close != std::string::npos && equal_nocase(trim(t.substr(1, close - 1)), section);
            continue;
        }
        if (!in_section) continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos || !equal_nocase(trim(t.substr(0, eq)), value)) continue;
        std::string v = trim(t.substr(eq + 1));
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        *out = v;
        found = true;
    }
    fclose(f);
    return found;
}

}  // namespace

std::string UserHomeDirectory() {
    const char* home = getenv("HOME");
    if (home && *home) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd pw;
    struct passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return "";
}

std::string SetupIniPath() {
    const char* path = getenv(kSetupIniEnv);
    if (path && *path) return path;
    std::string home = UserHomeDirectory();
    if (home.empty()) return "";
    if (home.back() != '/') home += '/';
    return home + ".telvarin.ini";
}

bool SetupKeyGetString(const char* section, const char* value, char* out, size_t out_size) {
    if (!value || !out || out_size == 0) return false;
    std::string key = TV_SETUP_KEY;
    if (section && *section) key = key + "\\" + section;
    std::string v;
    if (!lookup(key, value, &v) || v.size() + 1 > out_size) return false;
    memcpy(out, v.c_str(), v.size() + 1);
    return true;
}

int GetSetupValue(const char* section, const char* value, const char* def, char* buf, size_t len) {
    if (!buf || len == 0) return 0;
    if (SetupKeyGetString(section, value, buf, len)) return static_cast<int>(strlen(buf) + 1);
    if (!def) def = "";
    size_t n = strlen(def);
    if (n > len - 1) n = len - 1;
    memcpy(buf, def, n);
    buf[n] = '\0';
    return static_cast<int>(n);
}
