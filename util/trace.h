#pragma once
// The driver's debug trace: stream 0 is the ODBC trace (gateway and most routines), stream 1
// the XA trace (also carrying the OLE-transactions trace). Both are named by KIV_DEBUGFILE, else
// by the setup key's "DebugFile" value in section "ODBC" ("stderr" selects standard error;
// stream 1 appends "-xa" to a file name). Every write is one whole line under the trace lock,
// flushed at once. The trace lock is innermost: nothing is called out while it is held.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "util/log.h"

enum : int { TRACE_OFF = 0, TRACE_STDERR = 1, TRACE_FILE = 2 };

// 0 off, 1 standard error, 2 file; callers test DebugTraceOn() before building trace text.
extern std::atomic<int> DebugTraceMode;
inline bool DebugTraceOn() { return DebugTraceMode.load(std::memory_order_relaxed) != TRACE_OFF; }

void DebugOpen(int stream);
void DebugClose(int stream);
// Stream 0: the formatted text and a newline, flushed.
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DebugVPrint(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
// Stream 1: "[tid] " when with_thread is non-zero, the formatted text and a newline, flushed.
void XaTracePrint(int with_thread, const char* format, ...) __attribute__((format(printf, 2, 3)));
void XaTraceVPrint(int with_thread, const char* format, va_list args) __attribute__((format(printf, 2, 0)));

// Whether a stream is open.
bool DebugStreamOpen(int stream);

// Kernel thread id of the caller (the id trace lines carry).
long TraceThreadId();

// A log channel that writes through the trace lock to stream 0 (whatever file it has at the
// time); close it with log_close.
LOG_Channel* DebugOpenLogChannel(int level, uint32_t flags);

// The file name a setting gives for a stream: "$$" -> "$", "$H"/"$h" home directory (a path
// separator is added unless one follows), "$P"/"$p" process id, "$T"/"$t" local time as
// YYYYmmdd-HHMMSS, "$U"/"$u" user name; any other "$x" and a final "$" are dropped; stream 1
// appends "-xa". Exposed for tests.
std::string DebugExpandName(const char* setting, int stream);
