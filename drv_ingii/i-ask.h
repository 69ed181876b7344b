// What the layers above the agent ask of its records. They hold only the agent's handle
// numbers; each question looks the handle up and answers one value, so no layer above reads
// or writes a field of the agent's records.
#pragma once

#include <cstdint>

struct IngCursorOptions;
struct IngDiagList;

// Where the statement stands: prepared; executed (its result not closed since). False for an
// unknown handle.
bool IngAskStmtPrepared(uint32_t stmt);
bool IngAskStmtExecuted(uint32_t stmt);
// The list the statement's server and driver messages collect in; null for an unknown handle.
IngDiagList* IngAskStmtMessages(uint32_t stmt);

// The block the cursor layer laid over the statement (its start: the statement's cursor
// options); null when the statement is unknown or no layer made one.
IngCursorOptions* IngAskStmtCursorBlock(uint32_t stmt);

// The XA layer's slot of a connection, or of the statement's connection: false when the
// handle is unknown (the slot is then left alone).
bool IngAskConnXaSlot(uint32_t conn, void** slot);
bool IngAskStmtXaSlot(uint32_t stmt, void** slot);
// Fills the connection's XA slot: false when the connection is unknown.
bool IngTellConnXaSlot(uint32_t conn, void* slot);
