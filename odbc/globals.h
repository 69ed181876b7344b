#pragma once
// Process-wide state of the driver, set up by start-up and torn down by shut-down.
#include <atomic>
#include <cstdint>

#include "drv_ingii/i-optable.h"
#include "util/critsec.h"
#include "odbc/handles.h"
#include "util/handle_table.h"
#include "util/tokenlock.h"

extern std::atomic<int> g_Ready;
// Taken by every call for its handle look-up and busy marker, nearly always free: a token lock
// held by the calling thread (recursive, one atomic step to enter and one to leave) costs a
// fraction of a mutex there.
extern TokenLock HandleLock;
inline void HandleLockEnter(const void* self = TokenLockThisThread()) { TokenLockEnter(&HandleLock, self); }
inline void HandleLockLeave(const void* self = TokenLockThisThread()) { TokenLockLeave(&HandleLock, self); }
struct HandleLockGuard {
    const void* self;
    explicit HandleLockGuard(const void* s = TokenLockThisThread()) : self(s) { HandleLockEnter(self); }
    ~HandleLockGuard() { HandleLockLeave(self); }
    HandleLockGuard(const HandleLockGuard&) = delete;
    HandleLockGuard& operator=(const HandleLockGuard&) = delete;
};
extern CritSec ConnectLock;
extern CritSec CallLock;
extern HandleTable g_EnvTable;
extern HandleTable g_ConnTable;
extern HandleTable g_StmtTable;
extern HandleTable g_DescTable;
extern EnvRecord* g_EnvList;
// The gateway looks handles up under HandleLock alone (not the tables' own locks), so every
// addition to and removal from the four tables is made under it as well. A removal also marks
// the record freed, in the same step, so a look-up never sees a record half way out.
inline int DriverHandleAdd(HandleTable* table, uint32_t* handle, HandleBase* record) {
    HandleLockGuard g;
    return HandleTableAdd(table, handle, record);
}
inline void DriverHandleRemove(HandleTable* table, HandleBase* record) {
    HandleLockGuard g;
    HandleTableRemove(table, record->handle);
    record->tag = kTagFreed;
}
extern uint32_t g_EnvCounter;
extern AgentLink g_AgentLink;
// Lays the stack over a link, from the bottom: the agent's table, then the cursor layer, then the
// XA layer. The layers' own results are not looked at; the agent's is returned.
int AgentStackInstall(AgentLink* link);
// Puts another installer in the place of the library's own stack for the links installed from
// now on (null restores the library's); gives the one it replaced.
using AgentStackInstaller = int (*)(AgentLink* link);
AgentStackInstaller AgentStackInstallerSet(AgentStackInstaller installer);
// Set once per process at the first connect: the agent takes concurrent calls, so CallLock is skipped.
extern std::atomic<bool> g_CallsConcurrent;
extern void* g_Module;

// Start-up and shut-down; each can run again after the other.
int DriverStartup(void* module);
void DriverShutdown();
