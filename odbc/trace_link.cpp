#include "odbc/trace_link.h"

#include <cstdarg>

#include "odbc/startup_hooks.h"
#include "util/log.h"
#include "util/trace.h"

namespace {
// Source-located log messages also reach the trace while it is open.
LOG_Channel* g_traceChannel = nullptr;
// Without a trace the log still has a channel, so that nothing falls through to the
// application's standard error. It admits nothing and stays to the end of the process: once
// it is open, standard error never serves again.
LOG_Channel* g_quietChannel = nullptr;
}  // namespace

bool GwTraceOn() { return DebugTraceOn(); }

void GwTrace(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    DebugVPrint(format, ap);
    va_end(ap);
}

void StartupOpenTrace() {
    if (!DebugStreamOpen(0)) DebugOpen(0);
    if (DebugStreamOpen(0) && !g_traceChannel) g_traceChannel = DebugOpenLogChannel(LOGL_DEBUG, LOGF_DATE | LOGF_TIME);
    if (!g_quietChannel) g_quietChannel = log_open_null(LOGL_EMERG, 0, 0);
}

void StartupCloseTrace() {
    if (g_traceChannel) {
        log_close(g_traceChannel);
        g_traceChannel = nullptr;
    }
    DebugClose(0);
}
