#pragma once
// Diagnostic records of a handle, kept first-in first-out.
#include <cstdint>

#include "odbc/handles.h"
#include "util/errtable.h"

// Appends a copy of text; silently dropped when memory runs short.
void DiagPost(HandleBase* h, const char* text, uint32_t native);
// Detaches the oldest record and hands its text to the caller (free()); null when none.
char* DiagPop(HandleBase* h, uint32_t* native);
void DiagFreeAll(HandleBase* h);
uint32_t DiagCount(const HandleBase* h);

#include <string>

// One diagnostic as the application reads it: found is false when there is nothing to report.
struct DiagResult {
    bool found = false;
    char state[6] = "00000";  // mapped to ODBC 3 when the handle's environment asks for it
    uint32_t native = 0;
    std::string message;  // prefixes included, never cut
};

// Reads the handle's next diagnostic: mode 1 pops the oldest (environments, connections and
// statements; the last-error code is then reported once), mode 2 reads record curDiagRec.
DiagResult DiagRead(HandleBase* h, int mode);
// Number of records the handle reports: its DiagRecords, or 1 when it has none.
uint32_t DiagRecordCount(const HandleBase* h);
// ODBC version (2 or 3) that the handle's environment asks for.
uint32_t DiagOdbcVersion(const HandleBase* h);
// The error code to store for a failure that ODBC 2 and ODBC 3 name by different SQLSTATEs only
// where one function raises it (describing no cursor, pieces of a fixed-size value).
inline uint32_t DiagCodeByVersion(const HandleBase* h, uint32_t odbc2Code, uint32_t odbc3Code) {
    return DiagOdbcVersion(h) == 2 ? odbc2Code : odbc3Code;
}
// A piece's failure as the application hears it: a second piece of a fixed-size value is 22003
// (numeric value out of range) to ODBC 2, HY019 to ODBC 3.
inline uint32_t DiagPieceCode(const HandleBase* h, uint32_t code) {
    return code == kErrPiecesNotText ? DiagCodeByVersion(h, kErrNumericRange, code) : code;
}
// Whether the text holds the failover marks: 183 completed, 184 aborted, else 0.
uint32_t DiagFailoverScan(const HandleBase* h);

// Moving the agent's messages into a handle's diagnostics (each text with the block's native code).
// Server level, into the connection: returns the number posted.
int DiagCollectServer(ConnRecord* conn);
// Connection level, into the statement when one is given, else the connection: the number posted.
int DiagCollectConn(ConnRecord* conn, StmtRecord* stmt);
// The statement's own messages, then its connection's, into the statement: 1 when any arrived.
int DiagCollectStmt(StmtRecord* stmt);
