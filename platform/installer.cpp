#include "platform/installer.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include <odbcinst.h>

#include "util/log.h"

const char* const kInstallerLibrary = "libodbcinst.so.2";

namespace {

const char kTitle[] = "ODBC Installer Error";

// The application's stderr is not ours: installer errors go to the log channel, which writes
// only when tracing or logging was asked for.
void LogBox(const char* title, const char* text) { log_printf(LOGL_ERROR, nullptr, 0, "%s: %s", title, text); }

std::atomic<InstMessageBoxFn> g_box{LogBox};
std::mutex g_load_lock;
std::atomic<void*> g_module{nullptr};
std::string g_library = kInstallerLibrary;

void ShowBox(const std::string& text) { g_box.load()(kTitle, text.c_str()); }

std::string ProgramPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "<unknown>";
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string ModulePath(void* module) {
    struct link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0]) return map->l_name;
    return g_library;
}

void* Module() {
    void* m = g_module.load(std::memory_order_acquire);
    if (m) return m;
    std::lock_guard<std::mutex> guard(g_load_lock);
    m = g_module.load(std::memory_order_relaxed);
    if (!m) {
        // Local binding: our own names must never resolve to the installer's and back.
        m = dlopen(g_library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m) g_module.store(m, std::memory_order_release);
    }
    return m;
}

// One installer function as last found, with the module it was found in: a connect reads a
// dozen keys, and each would otherwise look its function up again.
struct Found {
    std::atomic<void*> module{nullptr};
    std::atomic<void*> fn{nullptr};
};

template <typename Fn>
Fn Lookup(const char* name, Found& found) {
    void* module = g_module.load(std::memory_order_acquire);
    if (module && found.module.load(std::memory_order_acquire) == module)
        return reinterpret_cast<Fn>(found.fn.load(std::memory_order_relaxed));
    void* fn = InstProcLookup(name);
    module = g_module.load(std::memory_order_acquire);
    if (fn && module) {  // a failure is looked up (and shown) again next time
        found.fn.store(fn, std::memory_order_relaxed);
        found.module.store(module, std::memory_order_release);
    }
    return reinterpret_cast<Fn>(fn);
}

}  // namespace

void* InstProcLookup(const char* name) {
    if (!name) return nullptr;
    void* module = Module();
    if (!module) {
        ShowBox("The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.");
        return nullptr;
    }
    void* fn = dlsym(module, name);
    if (fn) return fn;
    ShowBox("The program " + ProgramPath() + ", or one of its DLLs attempted to call the function " + name +
            " which is not supported in the loaded ODBC installer DLL (" + ModulePath(module) +
            ").  Press OK to proceed.");
    return nullptr;
}

int InstGetPrivateProfileString(const char* section, const char* key, const char* def, char* buf, int size,
                                const char* file) {
    if (size < 0 || (!buf && size > 0)) return 0;
    using Fn = int (*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR);
    static Found found;
    auto fn = Lookup<Fn>("SQLGetPrivateProfileString", found);
    if (!fn) {
        if (buf && size > 0) buf[0] = 0;
        return 0;
    }
    return fn(section, key, def, buf, size, file);
}

int InstGetPrivateProfileStringW(const SQLWCHAR* section, const SQLWCHAR* key, const SQLWCHAR* def, SQLWCHAR* buf,
                                 int size, const SQLWCHAR* file) {
    if (size < 0 || (!buf && size > 0)) return 0;
    using Fn = int (*)(const SQLWCHAR*, const SQLWCHAR*, const SQLWCHAR*, SQLWCHAR*, int, const SQLWCHAR*);
    static Found found;
    auto fn = Lookup<Fn>("SQLGetPrivateProfileStringW", found);
    if (!fn) {
        if (buf && size > 0) buf[0] = 0;
        return 0;
    }
    return fn(section, key, def, buf, size, file);
}

int InstReadFileDSN(const char* file, const char* app, const char* key, char* buf, unsigned short size,
                    unsigned short* len) {
    if (!buf && size > 0) return 0;
    using Fn = BOOL (*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, WORD, WORD*);
    static Found found;
    auto fn = Lookup<Fn>("SQLReadFileDSN", found);
    if (!fn) return 0;
    WORD out = 0;
    BOOL ok = fn(file, app, key, buf, size, &out);
    if (len) *len = out;
    return ok ? 1 : 0;
}

int InstReadFileDSNW(const SQLWCHAR* file, const SQLWCHAR* app, const SQLWCHAR* key, SQLWCHAR* buf, unsigned short size,
                     unsigned short* len) {
    if (!buf && size > 0) return 0;
    using Fn = BOOL (*)(const SQLWCHAR*, const SQLWCHAR*, const SQLWCHAR*, SQLWCHAR*, WORD, WORD*);
    static Found found;
    auto fn = Lookup<Fn>("SQLReadFileDSNW", found);
    if (!fn) return 0;
    WORD out = 0;
    BOOL ok = fn(file, app, key, buf, size, &out);
    if (len) *len = out;
    return ok ? 1 : 0;
}

int InstGetConfigMode(unsigned short* mode) {
    using Fn = BOOL (*)(UWORD*);
    static Found found;
    auto fn = Lookup<Fn>("SQLGetConfigMode", found);
    if (!fn || !mode) return 0;
    return fn(mode) ? 1 : 0;
}

int InstSetConfigMode(unsigned short mode) {
    using Fn = BOOL (*)(UWORD);
    static Found found;
    auto fn = Lookup<Fn>("SQLSetConfigMode", found);
    if (!fn) return 0;
    return fn(mode) ? 1 : 0;
}

int InstGetUserThenSystem(const char* section, const char* key, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = 0;
    unsigned short saved = ODBC_BOTH_DSN;
    if (!InstGetConfigMode(&saved)) {
        // No mode switching to be had: the installer's merged view is the best there is.
        return InstGetPrivateProfileString(section, key, "", buf, size, "odbc.ini");
    }
    int n = 0;
    for (unsigned short mode :
         {static_cast<unsigned short>(ODBC_USER_DSN), static_cast<unsigned short>(ODBC_SYSTEM_DSN)}) {
        InstSetConfigMode(mode);
        n = InstGetPrivateProfileString(section, key, "", buf, size, "odbc.ini");
        if (n > 0 && buf[0]) break;
        buf[0] = 0;
        n = 0;
    }
    InstSetConfigMode(saved);
    return n;
}

InstMessageBoxFn InstSetMessageBox(InstMessageBoxFn fn) { return g_box.exchange(fn ? fn : LogBox); }

void InstResetForTesting(const char* library) {
    std::lock_guard<std::mutex> guard(g_load_lock);
    // The module stays mapped, as it would for the rest of the process anyway.
    g_module.store(nullptr);
    g_library = library ? library : kInstallerLibrary;
}
