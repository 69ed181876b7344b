// Library attach and detach, the legacy entry points and the small setup exports.
#include <cstdio>
#include <cstring>

#include "odbc/conn.h"
#include "odbc/env.h"
#include "odbc/export.h"
#include "odbc/globals.h"
#include "odbc/trace_link.h"
#include "odbc/xa_switch.h"
#include "platform/msgbox.h"
#include "platform/winver.h"
#include "resources/strings.h"
#include "xa/xa_agent.h"

std::atomic<int> g_Ready{0};
TokenLock HandleLock{};
CritSec ConnectLock{};
CritSec CallLock{};
HandleTable g_EnvTable{};
HandleTable g_ConnTable{};
HandleTable g_StmtTable{};
HandleTable g_DescTable{};
EnvRecord* g_EnvList = nullptr;
uint32_t g_EnvCounter = 0;
AgentLink g_AgentLink{};
std::atomic<bool> g_CallsConcurrent{false};
void* g_Module = nullptr;

namespace {

constexpr unsigned kBoxExclamationOk = 48;

void ShowString(uint32_t id) {
    char text[200];
    LoadResString(id, text, sizeof text);
    DriverMessageBox(text, kBoxExclamationOk);
}

bool InitTables() {
    static constexpr struct {
        HandleTable* table;
        uint32_t constant;
    } kTables[] = {
        {&g_EnvTable, 0xDBC0001}, {&g_ConnTable, 0xDBC0002}, {&g_StmtTable, 0xDBC0003}, {&g_DescTable, 0xDBC0004}};
    for (const auto& t : kTables)
        if (HandleTableInit(t.table, t.constant) != 0) return false;
    for (const auto& t : kTables) HandleTableEnableLock(t.table);
    return true;
}

}  // namespace

namespace {
std::atomic<AgentStackInstaller> g_stackInstaller{nullptr};
}  // namespace

AgentStackInstaller AgentStackInstallerSet(AgentStackInstaller installer) {
    return g_stackInstaller.exchange(installer);
}

int AgentStackInstall(AgentLink* link) {
    if (AgentStackInstaller other = g_stackInstaller.load()) return other(link);
    if (int rc = IngInstallOpTable(link)) return rc;
    XaInstallLayers(link);
    return 0;
}

int DriverStartup(void* module) {
    g_Module = module;
    if (!SystemVersionSupported(SystemVersionWord())) {
        ShowString(202);
        return 0;
    }
    if (!g_Ready.load()) {
        // Environments left by a shut-down that met a running call: that call is long over now.
        while (EnvRecord* env = g_EnvList) {
            EnvClose(env);
            EnvFree(env);
        }
        TokenLockCreate(&HandleLock);
        CritSecCreate(&ConnectLock);
        CritSecCreate(&CallLock);
        if (!InitTables()) {
            ShowString(5);
            return 0;
        }
        g_Ready.store(1);
    }
    AgentStackInstall(&g_AgentLink);
    StartupOpenTrace();
    return 1;
}

void DriverShutdown() {
    bool callUnderWay = false;
    if (g_Ready.load()) {
        HandleLockEnter();
        while (EnvRecord* env = g_EnvList) {
            if (EnvHasBusyConnection(env)) {
                callUnderWay = true;
                break;
            }
            EnvClose(env);
            EnvFree(env);
        }
        g_Ready.store(0);
        HandleLockLeave();
        // A call still running on another thread keeps using the locks and tables: leave them
        // standing rather than pull them from under it. Later calls see the driver stopped.
        if (!callUnderWay) {
            TokenLockDestroy(&HandleLock);
            CritSecDestroy(&ConnectLock);
            CritSecDestroy(&CallLock);
            HandleTableFree(&g_StmtTable);
            HandleTableFree(&g_ConnTable);
            HandleTableFree(&g_EnvTable);
            HandleTableFree(&g_DescTable);
        }
    }
    StartupCloseTrace();
    IngXaShutdown();
}

namespace {
// The shared library's attach and detach.
__attribute__((constructor)) void LibraryAttach() { DriverStartup(reinterpret_cast<void*>(&DriverStartup)); }
__attribute__((destructor)) void LibraryDetach() { DriverShutdown(); }
}  // namespace

TV_EXPORT int LibMain(void* module) { return DriverStartup(module) ? 1 : 0; }

TV_EXPORT int WEP(int) {
    DriverShutdown();
    return 1;
}

TV_EXPORT int GetSetupDatabase(char* buffer, int length) {
    LoadResString(204, buffer, length);
    return 1;
}

TV_EXPORT int GetSetupRegistry(char* buffer, int length) {
    if (!buffer || length <= 0) return 1;
    char name[128];
    LoadResString(204, name, sizeof name);
    snprintf(buffer, size_t(length), "SOFTWARE\\Corvanta Software\\%s", name);
    return 1;
}

TV_EXPORT int32_t GetXaSwitch(uint32_t, xa_switch_t** out) { return DtcGetXaSwitch(out); }
