#include "resources/strings.h"

#include <cstring>

#include "platform/setupkey.h"
#include "resources/flavor.h"

const char* const kSetupName = TV_SETUP_NAME;

namespace {

struct StringRes {
    uint32_t id;
    const char* text;
};

constexpr StringRes kStrings[] = {
    {1, "Corvanta ODBC"},
    {2, "Corvanta ODBC Agent Loaded."},
    {3, "Corvanta ODBC Agent Unloaded."},
    {4, "Session debugging is enabled.\nCheck %s for details."},
    {5, "Unable to initialize the ODBC layer."},
    {6, "Unable to determine the Corvanta installation directory."},
    {200, "Unable to initialize the working parameters."},
    {201, "Unable to initialize the network layer."},
    {202, "The Corvanta ODBC driver requires Win32."},
    {203, nullptr},  // the module name, which depends on the build
    {204, nullptr},  // the setup name
    {205, "1.5"},
    {208, "WIN32"},
};

const char* lookup(uint32_t id) {
    for (const auto& s : kStrings) {
        if (s.id != id) continue;
        if (id == 203) return tv_wide_build ? "telvarinu.dll" : "telvarin.dll";
        if (id == 204) return kSetupName;
        return s.text;
    }
    return nullptr;
}

}  // namespace

int LoadResString(uint32_t id, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    const char* text = lookup(id);
    if (!text) {
        buf[0] = 0;
        return 0;
    }
    size_t n = strlen(text);
    if (n > size_t(size - 1)) n = size_t(size - 1);
    memcpy(buf, text, n);
    buf[n] = 0;
    return int(n);
}
