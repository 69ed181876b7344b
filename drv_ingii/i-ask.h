// What the layers above the agent ask of its records. They hold only the agent's handle
// numbers; each question looks the handle up and answers one value, so no layer above reads
// or writes a field of the agent's records.
#pragma once

#include <cstdint>

struct ColumnInfo;
struct IngCursorOptions;
struct IngDiagList;
struct IngDsnSettings;

// The words a server record keeps for the cursor layer: the head of the layer's connection list,
// and the row-version list's lower link, parameter-description flag and first private connection.
struct IngServerLayerWords {
    void* connList;
    void* rvLowerLink;
    uint32_t rvParamDescs;
    void* rvFirst;
};
// The server record's words, which live as long as the server; null for an unknown server.
IngServerLayerWords* IngAskServerLayerWords(uint32_t server);
// The server a connection was opened under, as the cursor layer recorded it; 0 for an unknown
// connection.
uint32_t IngAskConnServer(uint32_t conn);

// Where the statement stands: prepared; executed (its result not closed since). False for an
// unknown handle.
bool IngAskStmtPrepared(uint32_t stmt);
bool IngAskStmtExecuted(uint32_t stmt);
// The list the statement's server and driver messages collect in; null for an unknown handle.
IngDiagList* IngAskStmtMessages(uint32_t stmt);

// The statement's texts as the application gave it (from its first non-blank character) and as
// sent to the server; null when none (or the handle is unknown).
const char* IngAskStmtSource(uint32_t stmt);
const char* IngAskStmtIngresText(uint32_t stmt);
// Statement options the agent keeps (0 for an unknown handle): maximum rows (0 no cap), maximum
// value length, and the describe-keys options (kStmtOptDescribeKeys, kStmtOptDescribeAddKeys).
uint32_t IngAskStmtMaxRows(uint32_t stmt);
uint32_t IngAskStmtMaxLength(uint32_t stmt);
uint32_t IngAskStmtDescribeKeys(uint32_t stmt);
uint32_t IngAskStmtDescribeAddKeys(uint32_t stmt);
// The number of parameter markers outside literals, and the connection the statement was
// allocated on; 0 for an unknown handle.
uint32_t IngAskStmtMarkers(uint32_t stmt);
uint32_t IngAskStmtConn(uint32_t stmt);
// The statement of the connection whose cursor has the name (compared without regard to case
// unless exact); 0 for none.
uint32_t IngAskConnCursorStmt(uint32_t conn, const char* name, bool exact);
// Takes a described parameter's type, length and nullability (the other nullability bits the
// agent keeps stay): false when the statement is unknown or has no such parameter.
bool IngTellStmtParamType(uint32_t stmt, uint32_t index, const ColumnInfo& from);
// Marks the statement's parameters as described.
void IngTellStmtParamsDescribed(uint32_t stmt);
// Sets the word positioned work starts from.
void IngTellStmtPositionWord(uint32_t stmt, uint32_t value);
// Gives the statement the driver's account of why `code` failed it (a message in place of the
// statement's others, the SQLSTATE of the code's row); returns code. Nothing for an unknown
// handle.
uint32_t IngTellStmtCause(uint32_t stmt, uint32_t code, const char* text);

// Whether the handle names an open agent connection.
bool IngAskConnKnown(uint32_t conn);
// The list the connection's messages collect in; null for an unknown handle.
IngDiagList* IngAskConnMessages(uint32_t conn);
// The data-source settings a connection was opened with (they live as long as the connection);
// null for an unknown connection.
const IngDsnSettings* IngAskConnSettings(uint32_t conn);
// The key-column cache the cursor layer keeps on an agent connection (null for none or an
// unknown connection).
void* IngAskConnKeyColCache(uint32_t conn);
// Records the server the connection was opened under, and the connection's key-column cache:
// false when the connection is unknown (nothing is recorded).
bool IngTellConnServer(uint32_t conn, uint32_t server);
bool IngTellConnKeyColCache(uint32_t conn, void* cache);

// The block the cursor layer laid over the statement (its start: the statement's cursor
// options); null when the statement is unknown or no layer made one.
IngCursorOptions* IngAskStmtCursorBlock(uint32_t stmt);

// The XA layer's slot of a connection, or of the statement's connection: false when the
// handle is unknown (the slot is then left alone).
bool IngAskConnXaSlot(uint32_t conn, void** slot);
bool IngAskStmtXaSlot(uint32_t stmt, void** slot);
// Fills the connection's XA slot: false when the connection is unknown.
bool IngTellConnXaSlot(uint32_t conn, void* slot);
