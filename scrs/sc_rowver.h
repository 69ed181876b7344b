// Row versions of dynamic cursors, kept in the database table VOVURA (HCONN, HCURS, KEYVER,
// ROWVER) through a private connection of each cursor, so that a fetch can tell which rows other
// users changed since the cursor last showed them.
#pragma once

#include <cstdint>
#include <mutex>

#include "scrs/sc_block.h"

struct AgentLink;
struct Dataset;

// One private connection and its statement (heap), in the server record's list.
struct SCS_RowVerConn {
    uint32_t conn;   // private connection
    uint32_t stmt;   // its statement
    char* connText;  // copy of the cursor connection's second connect text
    uint32_t users;
    SCS_RowVerConn* next;
};

// Opens the cursor's private connection (with the cursor connection's connect parameters) and
// statement; 0, kErrGeneral when the connection is unknown to the cursor layer, kErrNoMemory, or the lower
// connect's or allocation's failure.
uint32_t SCS_RowVerOpen(SCS_RowVerRef* ref, const AgentLink* lower, uint32_t conn, uint32_t lowerStmt,
                        uint32_t paramDescs);
// Deletes the cursor's rows; on failure IM926 joins the lower statement's messages.
uint32_t SCS_RowVerClear(SCS_RowVerRef* ref);
// Compares the stored versions of the rowset's rows with fresh ones and fills statuses: 0
// unchanged (a row seen first is stored and unchanged), 2 updated (its new version is stored),
// 5 a row whose version could not be stored; a row left at 4 was not stored because an earlier
// insertion failed. keyValues holds the key columns of the same rows.
uint32_t SCS_RowVerCheck(SCS_RowVerRef* ref, const Dataset* keyValues, const Dataset* values, uint16_t* statuses);
// Stores the row versions of the rows whose status is 2; a row that fails becomes 5. The result
// is the code of the last row's statements (0 when no row has status 2).
uint32_t SCS_RowVerUpdate(SCS_RowVerRef* ref, const uint8_t* keyVersions, const uint8_t* rowVersions,
                          uint16_t* statuses, uint32_t rows);
// The version of one row: 0, 15 for a row out of range, 16.
uint32_t SCS_RowVerDigest(const Dataset* ds, uint32_t row, uint8_t out[16]);
// Two upper-case hex digits per byte and a NUL, cut to whole bytes that fit with the NUL.
void SCS_HexUpper(const uint8_t* bytes, uint32_t count, char* out, uint32_t outSize, uint32_t* outLen);
// Moves the private statement's and connection's messages to the end of the cursor's.
void SCS_RowVerMoveDiags(SCS_RowVerRef* ref);
// Releases the cursor's use of its private connection; the last user closes it. Always 0.
uint32_t SCS_RowVerClose(SCS_RowVerRef* ref);

// The statement texts for one cursor (for tests and logs); which: 0 clear, 1 look-up, 2 update,
// 3 insert. Null for another number or without memory; free with std::free.
char* SCS_RowVerText(const SCS_RowVerRef* ref, int which);

// The lock of the cursor layer's connection and row-version lists (sc_install.cpp).
std::mutex& SCS_CursorListLock();
