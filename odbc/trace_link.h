#pragma once
// The ODBC layer's view of the debug trace (stream 0).
bool GwTraceOn();
void GwTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Start-up opens the debug trace (and binds a log channel to it); shut-down closes both.
void StartupOpenTrace();
void StartupCloseTrace();
