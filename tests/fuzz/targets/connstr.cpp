// Connection strings and their keyword values: the keyword parser, the merge with the data
// source, the plan and output string of driver connect, and the text helpers on the way.
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>
#include <string>

#include "odbc/conntext.h"
#include "odbc/drvconnect.h"
#include "odbc/keywords.h"

namespace {

// Private, empty configuration: the merge reads files, never the machine's data sources.
struct PrivateConfig {
    PrivateConfig() {
        char dir[] = "/tmp/tv_fuzz_connstr_XXXXXX";
        if (mkdtemp(dir) == nullptr) std::abort();
        std::string base = dir;
        for (const char* f : {"/odbc.ini", "/odbcinst.ini"})
            if (FILE* fp = std::fopen((base + f).c_str(), "w")) std::fclose(fp);
        setenv("ODBCSYSINI", dir, 1);
        setenv("ODBCINI", (base + "/odbc.ini").c_str(), 1);
        setenv("HOME", dir, 1);
        unsetenv("KIV_LOGIN_SCRIPT");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PrivateConfig config;
    if (size > 4096) return 0;
    // First byte: output buffer size and mode; the rest is the connection string as given.
    SQLSMALLINT outMax = size > 0 ? SQLSMALLINT(data[0] & 0x7F) * 8 : 0;
    char mode = size > 0 && (data[0] & 0x80) ? 'W' : 'A';
    const SQLCHAR* in = reinterpret_cast<const SQLCHAR*>(data) + (size > 0);
    SQLSMALLINT inLen = SQLSMALLINT(size > 0 ? size - 1 : 0);

    ConnectPlan plan;
    DriverConnectPrepare(nullptr, in, inLen, outMax, SQL_DRIVER_NOPROMPT, mode, plan);
    ConnKeywordParse(nullptr, 'A');

    std::string text(reinterpret_cast<const char*>(in), size_t(inLen));
    const char* s = text.c_str();
    (void)ConnIsTrue(s);
    (void)ConnDecimal(s);
    (void)ConnParseDynCursSens(s);
    (void)ConnDriverNameFromValue(s);
    std::vector<SQLWCHAR> wide = conntext::Utf8ToUtf16(text.data(), std::ptrdiff_t(text.size()));
    std::string back = conntext::Utf16ToUtf8(wide.data());
    (void)conntext::InstallerWideToUtf8(wide.data());
    // Raw UTF-16 of the input's bytes, odd or unpaired surrogates and all.
    std::vector<SQLWCHAR> units(size / 2 + 1, 0);
    if (size >= 2) std::memcpy(units.data(), data, size / 2 * 2);
    (void)conntext::Utf16ToUtf8(units.data(), std::ptrdiff_t(size / 2));
    (void)conntext::InstallerWideToUtf8(units.data());
    std::string cut = back;
    conntext::CutUtf8(cut, size_t(size % 17));
    if (cut.size() > size_t(size % 17)) std::abort();
    return 0;
}
