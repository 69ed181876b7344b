#pragma once
// Message boxes: there is no desktop here, so a box is written to standard error and the log.
#include <atomic>
#include <cstdint>

// Owner of the driver's boxes: -2 no owner given (boxes shown), 0 boxes off, else the owner window.
extern std::atomic<intptr_t> g_MsgBoxOwner;

// Shows a box with caption string 1; returns 1 (OK), or 0 when boxes are off.
int DriverMessageBox(const char* text, unsigned flags);

// Tests capture boxes through this hook instead of standard error; null restores the default.
using MessageBoxHook = int (*)(const char* caption, const char* text, unsigned flags);
void SetMessageBoxHook(MessageBoxHook hook);
