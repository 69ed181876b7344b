#include "platform/msgbox.h"

#include <atomic>
#include <cstdio>

#include "resources/strings.h"

intptr_t g_MsgBoxOwner = -2;

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
    return 1;
}
