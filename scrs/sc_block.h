// The cursor layer's block of an agent statement: the layer lays one over each statement the
// agent allocates (the agent keeps the pointer to its options part). It begins with the options
// the agent negotiates and answers; the rest is the cursor layer's own state.
#pragma once

#include <cstdint>

#include "drv_ingii/i-cursor.h"
#include "util/cursor_window.h"

struct Rowset;
struct SS_ResultSet;
struct ParamDescEntry;
struct SCS_KsState;
struct ColumnInfo;
struct SCS_DynState;

// What a dynamic cursor keeps of its row versions (the table VOVURA; scrs/sc_rowver.cpp).
struct SCS_RowVerRef {
    void* context;         // the words of the agent server record whose list holds the private connection
    uint32_t connection;   // the cursor's agent connection
    uint32_t cursor;       // the cursor's lower statement: messages of failures go there
    uint32_t privateStmt;  // 0 while closed
    // The cursor's HCONN and HCURS values (8 upper-case hex digits each).
    char hconn[9];
    char hcurs[9];
};

struct SCS_Cursor : IngCursorOptions {
    uint32_t savedType;
    uint32_t savedConcurrency;
    uint32_t agentStmt;
    // Where the cursor stands and the rowset it delivered last: the row changes name those rows.
    CursorWindow window;
    // The layer's own set-up and results.
    uint32_t layerFlags;      // kScsL* bits
    Dataset* keptParams;      // copy of the last parameter values of a scrollable statement
    uint32_t analysedSelect;  // set-up found the statement to be a SELECT
    int32_t posRowCount;      // rows the last positioned operation changed (kScsLPosCount)
    SS_ResultSet* staticSet;  // the static result set, made on first use
    uint32_t auxStmt[2];      // the layer's auxiliary lower statements (catalog calls run on the first); 0 none
    uint16_t keptDescCount;   // copy of the last parameter descriptions given (SCS_SetParamDescs)
    ParamDescEntry* keptDescs;
    void* selectNames;     // base names of the select list, made at describe (sc_colattr.cpp)
    SCS_KsState* ksState;  // keys, analyses and lower statements of a keyset-driven or mixed cursor
    int32_t analysedKind;  // the analyser's statement kind of the last set-up; -1 none
    // The result columns as the layer below described them at execute (sc_resultcols.cpp).
    uint16_t resultDescCount;
    ColumnInfo* resultDescs;  // null while not described
    SCS_RowVerRef rowVer;     // a dynamic cursor's row versions; privateStmt 0 while none
    SCS_DynState* dynState;   // a dynamic cursor's current keys and position
    // Lock concurrency: rows are locked by a no-op UPDATE of their keys, the lower layer having
    // no " FOR UPDATE" (read when the statement is opened).
    uint32_t lockByUpdate;
    uint32_t shapeFlags;  // the analysed SELECT's shape (the analyser's SCR_F_* bits); 0 none
};

// Bits of layerFlags.
enum : uint32_t {
    kScsLReprepare = 0x1,     // the statement must be set up again before its next execute
    kScsLPrepared = 0x2,      // the cursor set-up is in place
    kScsLResultCached = 0x4,  // the static result set holds this execution's rows
    kScsLParamsKept = 0x8,    // keptParams holds the values
    kScsLPosCount = 0x10,     // posRowCount is recorded
};

// Zeroes the block and sets the defaults: rowset size 1, keyset size 0, forward-only, read-only.
uint32_t SCS_CursorInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link);
