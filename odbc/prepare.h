#pragma once
#include "odbc/handles.h"

// Closes what the statement held and prepares text (NUL-terminated) through the agent; the
// outcome is left in the statement's last-error word.
void PrepareCommon(StmtRecord* stmt, const char* text);
