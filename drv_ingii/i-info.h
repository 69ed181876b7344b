// Properties, capabilities and options of the agent's server, connection and statement records.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"

struct IngCursorOptions;

// Property id parts.
constexpr uint32_t IngPropKind(uint32_t id) { return id >> 28; }
constexpr uint32_t IngPropValueKind(uint32_t id) { return (id >> 24) & 0xF; }
constexpr uint32_t IngPropClass(uint32_t id) { return (id >> 16) & 0xFF; }
constexpr uint32_t IngPropItem(uint32_t id) { return id & 0xFFFF; }

// Property and option ids of the agent's slots 0 and 1 (kind, value kind, class, item: see above).
enum IngPropId : uint32_t {
    kPropCapabilityText = 0x21010010,        // the cursor layer's capability text
    kPropQualifierText = 0x2101000D,         // current qualifier (database) text
    kPropTextOptionBase = 0x21030000,        // plus a connection option number: a text option
    kPropQualifier = 0x2103006D,             // the qualifier option (SQL_CURRENT_QUALIFIER)
    kPropTextInfoBase = 0x21040000,          // plus an SQLGetInfo type: a text answer
    kPropNeedBind = 0x22010002,              // parameters must be bound before execute
    kPropHasMoreResults = 0x22010003,        // several result sets
    kPropHasParamArrays = 0x22010004,        // parameter arrays
    kPropSpOutDeferFetch = 0x22010005,       // output parameters of procedures after the fetch
    kPropHasScrollCursors = 0x22010006,      // scrollable cursors
    kPropHasDynMixCursors = 0x22010008,      // dynamic and mixed cursors
    kPropHasV2DataAtExec = 0x2201000A,       // data at execution, second form
    kPropOdbcVersion = 0x2201000C,           // the environment's ODBC version
    kPropHasExecute2 = 0x2201000E,           // prepare and execute in one call
    kPropCapabilityMask = 0x22010011,        // all capabilities as one mask
    kPropParamNames = 0x22010012,            // named parameters
    kPropUnicode = 0x22010013,               // a Unicode connection
    kPropCapability14 = 0x22010014,          // capability digit of the capability text
    kPropCapability15 = 0x22010015,          // capability digit of the capability text
    kPropXaKeepHolder = 0x22010017,          // a later xa_open keeps the XA holder
    kPropXaTerminate = 0x22010018,           // the XA worker ends as a terminated thread
    kPropIntOptionBase = 0x22030000,         // plus a connection option number: an integer option
    kPropAutocommit = 0x22030000,            // autocommit
    kPropAccessMode = 0x22030001,            // read-only access
    kPropIsolation = 0x2203006C,             // transaction isolation
    kPropFailover = 0x22030500,              // failover
    kPropIntInfoBase = 0x22040000,           // plus an SQLGetInfo type: an integer answer
    kPropCursorCommitBehavior = 0x22040017,  // SQLGetInfo 23
    kPropStmtTextOptionBase = 0x31030000,    // plus a statement option number: a text option
    kPropRowCount = 0x32010000,              // a statement's row count
    kPropFetchRefill = 0x32010001,           // 1: the fetch takes back the block it filled last
    kPropStmtOptionBase = 0x32030000,        // plus a statement option number: an integer option
    kPropCursorType = 0x32030006,            // cursor type
    kPropConcurrency = 0x32030007,           // concurrency
    kPropRowsetSize = 0x32030009,            // rowset size
    kPropDescribeParams = 0x3203000F,        // describe parameters by parsing the statement
    kPropCursorRow = 0x32050000,             // set: the row positioned changes name, counted back
                                             // from the last row delivered (0 that row), or none
};
// kPropCursorRow's value for no row: the cursor stands after the rows it delivered.
constexpr uint32_t kCursorRowNone = 0xFFFFFFFFu;

// The driver's own statement options (SQLSetStmtOption numbers); the agent keeps those it knows
// as the same item under kPropStmtOptionBase.
enum DriverStmtOption {
    kStmtOptAgentReadA = 1048,       // read-only; answered by the agent alone
    kStmtOptAgentReadB = 1049,       // read-only; answered by the agent alone
    kStmtOptAgentChoice = 1050,      // 1 or 2, kept for the application; no path reads it
    kStmtOptDescribeKeys = 1052,     // result columns described with key and base-name attributes
    kStmtOptDescribeAddKeys = 1054,  // the same, and missing key columns added to the select list
};

// Bits of the capability mask (kPropCapabilityMask), one per capability the agent declares.
enum IngCapabilityBit : uint32_t {
    kCapNeedBind = 0x1,             // parameters must be bound before execute
    kCapMoreResults = 0x2,          // several result sets
    kCapParamArrays = 0x4,          // parameter arrays
    kCapScrollCursors = 0x8,        // scrollable cursors
    kCapDynMixCursors = 0x10,       // dynamic and mixed cursors
    kCapV2DataAtExec = 0x20,        // data at execution by the agent
    kCapSpOutDeferFetch = 0x40,     // output parameters of procedures after the results
    kCapExecute2 = 0x80,            // prepare and execute in one call
    kCapAutocommit = 0x100,         // the connection starts in autocommit
    kCapConvertInfo = 0x200,        // the agent answers the conversion information types
    kCapDescribeWithAttrs = 0x400,  // result columns described with attribute rows (slot 51)
    kCapNamedParams = 0x800,        // parameter descriptions carry names (slot 54)
    kCapMaxLength = 0x1000,         // the agent limits value lengths (SQL_MAX_LENGTH)
    kCapXa = 0x2000,                // the connection may enlist in a distributed transaction
    kCapFailover = 0x4000,          // a failover notification may be registered
};

struct AgentOpRequest {
    uint16_t type;
    uint32_t count;
    const void* rows;
};

struct IngOperatorRow {
    int32_t sqlType;
    uint32_t value;
    uint32_t mask;
};

ErrCode IngGetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen);
ErrCode IngSetOption(uint32_t h, uint32_t id, void* value);
ErrCode IngGetOpTable(uint32_t conn, AgentOpRequest* request);

// Asks one ODBC information type through the link's slot 0.
uint32_t AgentInfoItem(const AgentLink* link, uint32_t conn, uint16_t infoType, void* buf, int16_t len,
                       uint16_t* outLen);

// Negotiates a cursor type (option 6) or concurrency (option 7) against what the server supports.
uint32_t IngNegotiateCursorOption(const IngCursorOptions* c, uint32_t option, uint32_t* value);

uint32_t IngParseDynCursSens(const char* text);
const char* IngDynCursSensName(uint32_t value);
