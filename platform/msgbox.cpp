#include "platform/msgbox.h"

#include <atomic>

#include "resources/strings.h"
#include "util/log.h"

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
    // No window to show here, and the application's stderr is not ours: the box goes to the log
    // channel, which writes only when tracing or logging was asked for.
    log_printf(LOGL_ERROR, nullptr, 0, "%s: %s", caption, text ? text : "");
    return 1;
}
