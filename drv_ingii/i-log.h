// The agent's log, which the layers above it write to as well.
#pragma once

#include "util/log.h"

// Levelled log of the agent (LOGL_EMERG ... LOGL_DEBUG), located at the caller's source line.
void IngLogAt(const char* file, int line, int level, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
#define IngLog(level, ...) IngLogAt(__FILE__, __LINE__, (level), __VA_ARGS__)
// Test hook that sees every agent log line.
using IngLogHookFn = void (*)(int level, const char* text);
void IngSetLogHook(IngLogHookFn hook);
