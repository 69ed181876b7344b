// The cursor layer's catalog wrappers (sc_catalog.cpp), its copy of the parameter descriptions,
// message helpers (sc_diag.cpp), cursor information answers (sc_info.cpp), base names of result
// columns (sc_colattr.cpp) and the result descriptions it keeps (sc_resultcols.cpp).
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"
#include "scrs/sc_block.h"

struct SCS_Cursor;
struct IngAttrList;
struct ColumnInfo;
struct ColDesc;
struct IngDiagList;

// Slots 25 to 35: a catalog result is a plain forward result, so a keyset-driven or dynamic
// statement becomes static and read-only; then the call goes down unchanged.
ErrCode SCS_DDColumnPrivileges(uint32_t stmt, const IngColumnPrivilegesArgs* args);
ErrCode SCS_DDColumns(uint32_t stmt, const IngColumnsArgs* args);
ErrCode SCS_DDForeignKeys(uint32_t stmt, const IngForeignKeysArgs* args);
ErrCode SCS_DDPrimaryKeys(uint32_t stmt, const IngPrimaryKeysArgs* args);
ErrCode SCS_DDProcedureColumns(uint32_t stmt, const IngProcedureColumnsArgs* args);
ErrCode SCS_DDProcedures(uint32_t stmt, const IngProceduresArgs* args);
ErrCode SCS_DDSpecialColumns(uint32_t stmt, const IngSpecialColumnsArgs* args);
ErrCode SCS_DDStatistics(uint32_t stmt, const IngStatisticsArgs* args);
ErrCode SCS_DDTablePrivileges(uint32_t stmt, const IngTablePrivilegesArgs* args);
ErrCode SCS_DDTables(uint32_t stmt, const IngTablesArgs* args);
ErrCode SCS_DDTypeInfo(uint32_t stmt, uint16_t sqlType);

// Slot 18: keeps a copy of the descriptions (the layer gives them again to a statement it
// prepares again), then the lower operation.
ErrCode SCS_SetParamDescs(uint32_t stmt, uint16_t count, ParamDescEntry* descs);
// Replaces the kept copy; 0 or kErrNoMemory (the old copy then stays).
uint32_t SCS_KeepParamDescs(SCS_Cursor* c, uint16_t count, const ParamDescEntry* descs);

// Fills the catalog and parameter-description slots of the layer's table.
void SCS_CatalogInstall(AgentFuncTable* t);

// Messages. Keep: posting on the statement's list no longer clears it first (flag 0 ends that).
void SCS_StmtKeepDiags(uint32_t stmt, uint32_t flag);
// Moves the messages of the layer's own lower statements of the cursor to the end of the owner's
// list.
void SCS_StmtGatherDiags(SCS_Cursor* c);
// Empties the messages of those statements: a call of the application that begins with this
// finds on them only what it met itself.
void SCS_StmtQuietOwn(SCS_Cursor* c);
// A failure (rc other than 0 and the end of the data) that left the application's statement
// without a message takes those statements' messages: the server's reason on a statement the layer
// ran for the call. Returns rc.
uint32_t SCS_StmtFailureCause(SCS_Cursor* c, uint32_t rc);
// Appends every message of `from` to `to` and leaves `from` empty.
void SCS_MoveDiags(IngDiagList* from, IngDiagList* to);
// Drops the statement's last message when it is a failed row of a row operation (01S01).
void SCS_DropRowErrorDiag(SCS_Cursor* s);
// The first description whose column name equals the key's; a table name and an owner the key
// gives must match too. Null when none; *index (optional) gets its position.
const ColDesc* SCS_ColDescFind(const ColDesc* descs, uint32_t count, const ColDesc* key, uint32_t* index);

// Cursor information types (SQLGetInfo numbers) the layer answers from what it can do, for a
// connection whose DynCursSensitivity is `sensitivity` (0 low, 1 high, 2 disabled); false for
// a type that is not about cursors.
bool SCS_CursorInfo(uint32_t infoType, uint32_t sensitivity, uint32_t* value);

// Base names of the result columns of a SELECT: fills the descriptions' table, schema and
// catalog and adds attribute rows (base column name, expression, key, updatable).
uint32_t SCS_DescribeSelectNames(uint32_t stmt, uint16_t count, ColumnInfo* cols, IngAttrList* rows);
// Frees what the layer keeps of the statement's last result: its select-list names and its
// result descriptions.
void SCS_SelectNamesFree(SCS_Cursor* c);
// A forward-only SELECT prepared with the driver's option 1054: the key columns its select list
// leaves out are appended (a wildcard spelt out) and the extended text is prepared on the
// statement in its place. A select list the catalog cannot tell is left as written. 0 or a code.
uint32_t SCS_SelectListAddKeys(SCS_Cursor* s, const char* text);

// The result descriptions of a scrollable SELECT, taken from the layer below once per set-up
// (at execute at the latest): 0, or the describe's code. A column of them: 21 without an out
// pointer, kErrBadColumnNumber for column 0 or one past the count, or the load's code.
uint32_t scs_p_ResultColsLoad(SCS_Cursor* c);
uint32_t scs_p_ResultColGet(SCS_Cursor* c, uint16_t column, const ColumnInfo** out);
void SCS_ResultColsFree(SCS_Cursor* c);
