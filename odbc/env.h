#pragma once
// Environment records and the global environment list.
#include "odbc/handles.h"

// A new environment at the head of the global list (state 1); null when memory runs out.
EnvRecord* EnvCreate();
void EnvOpen(EnvRecord* env);
// Disconnects and frees every connection of an open environment.
void EnvClose(EnvRecord* env);
// Unlinks, unregisters and releases the record.
void EnvFree(EnvRecord* env);
bool EnvHasBusyConnection(const EnvRecord* env);
