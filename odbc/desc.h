#pragma once
// Descriptor records.
#include "odbc/handles.h"

// A registered descriptor: allocKind 1 (automatic, owned by stmt) or 2 (explicit, owned by conn).
// Null with the code in *code when it cannot be made.
DescRecord* DescCreate(ConnRecord* conn, StmtRecord* stmt, uint32_t descType, uint32_t allocKind, uint32_t* code);
void DescFree(DescRecord* desc);
