#include "odbc/trace_link.h"

#include <cstdarg>

#include "odbc/startup_hooks.h"

bool GwTraceOn() { return false; }

void GwTrace(const char* format, ...) {
    (void)format;
}

void StartupOpenTrace() {}
void StartupCloseTrace() {}
