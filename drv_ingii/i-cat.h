// Catalog operations of the agent: SQL against the Ingres system catalogs run on the catalog
// call's own statement, with the result descriptions fixed up and a hook that rewrites each
// fetched block of rows; the type-information result is served without a query.
#pragma once

#include <cstdint>
#include <string>

#include "drv_ingii/i-optable.h"

struct Dataset;
struct IngConn;
struct IngStmt;

// --- what the statement engine calls ------------------------------------------------------

// Forgets the statement's type-information position (statement free).
void IngCatalogStmtReset(IngStmt* s);

// --- the machinery ---------------------------------------------------------------------------

// Expands the template with every argument quoted (those whose bit is set in rawArgs placed as
// they are), prepares the text as an ordinary statement and executes it. First non-zero code.
uint32_t IngCatalogQuery(uint32_t stmt, const char* tpl, char** args, int count, uint32_t rawArgs = 0);

// Overwrites the description of result column col (1-based; others ignored).
void IngCatalogSetColumn(IngStmt* s, uint16_t col, int32_t sqlType, uint32_t length);

// --- the query of each operation -------------------------------------------------------------

enum class IngCatalogOp {
    TableQuery,
    SchemaList,
    TypeList,
    CatalogList,  // empty: the database has no catalogs
    Columns,
    PrimaryKeys,
    ForeignKeys,
    Procedures,
    ProcedureColumnsOld,
    ProcedureColumnsNew,
    SpecialBestRow,
    SpecialNone,
    Statistics,
    TablePrivileges,
    ColumnPrivileges,
};

// The compiled template of an operation.
const std::string& IngCatalogTemplate(IngCatalogOp op);

// How DRV_DDTables reads its four arguments.
IngCatalogOp IngCatalogTablesKind(const char* catalog, const char* schema, const char* table, const char* types);

// The Ingres type-code list of an ODBC table-type list ("'TABLE','VIEW'" gives "'UT','UV'");
// empty when it names none.
std::string IngCatalogTypeCodes(const char* types);

// The SQL text catalog slot 25 to 34 sends for its argument record on a server of that version;
// empty with *refused set when the slot refuses the arguments (43 catalog list, 21 bad record).
std::string IngCatalogSlotText(const IngTablesArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngColumnsArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngColumnPrivilegesArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngForeignKeysArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngPrimaryKeysArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngProceduresArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngProcedureColumnsArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngTablePrivilegesArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngSpecialColumnsArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);
std::string IngCatalogSlotText(const IngStatisticsArgs* args, int32_t serverVersion, uint32_t* refused = nullptr);

// Row hooks (also for tests on a block built by hand). unicode: text cells are UTF-16.
void IngCatalogTableTypeRows(Dataset* block, uint32_t rows, bool unicode, bool jet);
void IngCatalogNullColumns(Dataset* block, uint32_t rows, uint32_t mask);  // bit n-1: column n
void IngCatalogColumnRows(Dataset* block, uint32_t rows, uint32_t odbcVersion, bool unicode, bool procedures);
void IngCatalogStatisticsRows(Dataset* block, uint32_t rows, bool unicode);
void IngCatalogPrivilegeRows(Dataset* block, uint32_t rows, bool unicode);

// --- the operations (slots 25 to 35) ---------------------------------------------------------

ErrCode IngDDColumnPrivileges(uint32_t stmt, const IngColumnPrivilegesArgs* args);
ErrCode IngDDColumns(uint32_t stmt, const IngColumnsArgs* args);
ErrCode IngDDForeignKeys(uint32_t stmt, const IngForeignKeysArgs* args);
ErrCode IngDDPrimaryKeys(uint32_t stmt, const IngPrimaryKeysArgs* args);
ErrCode IngDDProcedureColumns(uint32_t stmt, const IngProcedureColumnsArgs* args);
ErrCode IngDDProcedures(uint32_t stmt, const IngProceduresArgs* args);
ErrCode IngDDSpecialColumns(uint32_t stmt, const IngSpecialColumnsArgs* args);
ErrCode IngDDStatistics(uint32_t stmt, const IngStatisticsArgs* args);
ErrCode IngDDTablePrivileges(uint32_t stmt, const IngTablePrivilegesArgs* args);
ErrCode IngDDTables(uint32_t stmt, const IngTablesArgs* args);
