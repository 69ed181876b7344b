// Debug-trace lines of the conversion family; the text is built only when the trace is on.
#pragma once

#include "util/trace.h"

#define CV_TRACE(...)                                \
    do {                                             \
        if (DebugTraceOn()) DebugPrint(__VA_ARGS__); \
    } while (0)

// Text of a value for a trace line: at most this many bytes of it.
inline int CvTraceLen(unsigned long long len) { return len > 512 ? 512 : static_cast<int>(len); }
