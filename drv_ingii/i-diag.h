// Message lists of the agent's records and their hand-out through slot 2.
#pragma once

#include <cstdint>

#include "util/dataset.h"
#include "util/errtable.h"

struct IngDiagEntry {
    IngDiagEntry* next;
    uint32_t native;  // the server's error code, 0 for the agent's own messages
    char text[2048];
    char* sqlstate;   // owned
    uint32_t driver;  // the driver's own words rather than the server's: handed out without a server's mark
};

struct IngDiagList {
    uint32_t keep;  // set while a connect runs: posting then never clears the list
    IngDiagEntry* first;
};

// Slot 2 hands out an AgentErrors record (util/dataset.h); the caller frees it with AgentErrorsFree.

void IngDiagAppend(IngDiagList* list, IngDiagEntry* entry);
void IngDiagClear(IngDiagList* list);
void IngDiagPostCode(IngDiagList* list, uint32_t code);
void IngDiagPostText(IngDiagList* list, const char* text, uint32_t code);
// Posts the driver's own account of a failure (its cause, in words): the application reads it as
// "[Corvanta][ODBC][Driver]" and the text, with the SQLSTATE of the row numbered code.
void IngDiagPostDriver(IngDiagList* list, const char* text, uint32_t code);
// Posts one message drained from OpenAPI; the first message of a call decides *result.
void IngDiagPostServer(uint32_t* result, const char* sqlstate, const char* message, long native, IngDiagList* list);
uint32_t IngDiagCount(const IngDiagList* list);

// New entries (null when memory runs short).
IngDiagEntry* IngDiagEntryFromRow(uint32_t code);
IngDiagEntry* IngDiagEntryFromText(const char* text, long native, const char* sqlstate);

// Slot 2: hands out and clears the list of the statement, connection or server the handle names.
ErrCode IngGetErrors(uint32_t handle, AgentErrors* out);
