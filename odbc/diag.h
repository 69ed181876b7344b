#pragma once
// Diagnostic records of a handle, kept first-in first-out.
#include <cstdint>

#include "odbc/handles.h"

// Appends a copy of text; silently dropped when memory runs short.
void DiagPost(HandleBase* h, const char* text, uint32_t native);
// Detaches the oldest record and hands its text to the caller (free()); null when none.
char* DiagPop(HandleBase* h, uint32_t* native);
void DiagFreeAll(HandleBase* h);
uint32_t DiagCount(const HandleBase* h);
