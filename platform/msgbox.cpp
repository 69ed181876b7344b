#include "platform/msgbox.h"

#include <atomic>
#include <cstdio>

#include "resources/strings.h"
#include "util/log.h"
#include "util/trace.h"

std::atomic<intptr_t> g_MsgBoxOwner{-2};

namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
}

void SetMessageBoxHook(MessageBoxHook hook) { g_hook.store(hook); }

int DriverMessageBox(const char* text, unsigned flags) {
    if (g_MsgBoxOwner == 0) return 0;
    char caption[200];
    LoadResString(1, caption, sizeof caption);
    if (MessageBoxHook hook = g_hook.load()) return hook(caption, text ? text : "", flags);
    fprintf(stderr, "%s: %s\n", caption, text ? text : "");
    fflush(stderr);
    // While tracing, the log channel bound to the trace keeps the box with the calls around it.
    if (DebugTraceOn()) log_printf(LOGL_ERROR, nullptr, 0, "%s: %s", caption, text ? text : "");
    return 1;
}
