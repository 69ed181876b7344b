#pragma once
// The ODBC layer's view of the debug trace (stream 0).
#include "util/trace.h"

// Asked on every call: read in place.
inline bool GwTraceOn() { return DebugTraceOn(); }
void GwTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Start-up opens the debug trace (and binds a log channel to it); shut-down closes both.
void StartupOpenTrace();
void StartupCloseTrace();
