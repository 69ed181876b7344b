#include "odbc/trace_link.h"

#include <cstdarg>

#include "util/log.h"
#include "util/trace.h"

namespace {
// Source-located log messages also reach the trace while it is open.
LOG_Channel* g_traceChannel = nullptr;
}  // namespace

void GwTrace(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    DebugVPrint(format, ap);
    va_end(ap);
}

void StartupOpenTrace() {
    // Standard error belongs to the application: untraced messages go nowhere.
    log_set_stderr_fallback(false);
    if (!DebugStreamOpen(0)) DebugOpen(0);
    if (DebugStreamOpen(0) && !g_traceChannel) g_traceChannel = DebugOpenLogChannel(LOGL_DEBUG, LOGF_DATE | LOGF_TIME);
}

void StartupCloseTrace() {
    if (g_traceChannel) {
        log_close(g_traceChannel);
        g_traceChannel = nullptr;
    }
    DebugClose(0);
}
