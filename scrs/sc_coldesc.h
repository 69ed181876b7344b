// Table and column descriptions of the cursor layer: the tables and columns an analysed
// SELECT names, resolved and described from the catalog through the operations of the table
// below the cursor layer, on a lower statement of the same connection.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scrs/scr_analyse.h"

struct AgentLink;
struct SCR_Array;
struct HashTable;
struct IngDiagList;
struct ParamDescEntry;
struct Dataset;

// What the description and key routines read and fill of a cursor. The cursor layer keeps one
// per agent statement; tests fill it by hand.
struct SCS_DescCtx {
    const AgentLink* lower;  // the operations below the cursor layer
    uint32_t auxStmt;        // lower statement every catalog call runs on
    IngDiagList* messages;   // the statement's own messages (42S02 is posted there); may be null
    char quote;              // identifier quote character, 0 none
    uint32_t identCase;      // 1 upper, 2 lower, 3 sensitive, 4 mixed
    uint32_t quotedCase;
    uint32_t textConv;     // narrow catalog text is converted (a no-op where the code page is UTF-8)
    const char* userName;  // owner tried when a table name is ambiguous
    const char* dbmsName;
    SCR_Analysis* analysis;  // the analysed statement
    SCR_Array* tables;       // SCR_TableRef of the statement
    SCR_Array* tableCols;    // ColDesc of every column of every table
    SCR_Array* selectCols;   // ColDesc of the select list
    SCR_Array* orderBy;      // OrderByItem
    uint16_t shapeFlags;     // SCR_F_* gathered from the analysis
    // Key columns.
    SCR_Array* keyCols;  // ColDesc, table after table
    uint8_t tableCount;
    HashTable* keyCache;  // the connection's key-column cache; null: nothing is cached
    uint32_t flags;       // kScsDescKeysDone
    uint32_t attrOption;  // 0, kStmtOptDescribeKeys or kStmtOptDescribeAddKeys
    // Seeks of dynamic cursors.
    uint16_t orderColCount;    // ordering columns: ORDER BY items, then the keys no item names
    uint16_t nullCollation;    // SQL_NULL_COLLATION: 0 high, 1 low, 2 at start, 4 at end
    const Dataset* boundKeys;  // two rows: the first and last key rows of the current rowset
    uint32_t paramDescsOn;     // generated statements carry parameter descriptions
    // Parameter descriptions of generated statements.
    uint16_t paramDescCount;
    ParamDescEntry* paramDescs;
    uint16_t ownParamCount;  // the statement's own descriptions, appended on request
    const ParamDescEntry* ownParams;
};

enum : uint32_t { kScsDescKeysDone = 0x1000 };

// Frees what the context owns (arrays, descriptions); the analysis, messages and cache stay.
void SCS_DescCtxRelease(SCS_DescCtx* ctx);

// Resolves each table to the catalog's qualifier, owner and name (quoted when the connection
// has a quote character); 0, kErrTableNotFound no such table, kErrAmbiguousTable ambiguous, or the catalog's code.
uint32_t scs_p_GetTblDescs(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count);
// Appends one ColDesc per column of each table, in catalog order; 15 for a table without columns.
uint32_t scs_p_GetTblColDescs(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, int skipLong, SCR_Array* out);
// Describes the select list of the analysed statement into out (ColDesc); the item array goes
// to *items when asked for (the caller frees it), else it is freed.
uint32_t scs_p_SelectColsGet(SCS_DescCtx* ctx, SCR_Array* out, SCR_Array** items);
// Removes the quotes of a quoted identifier and applies the case rule; requotes on request.
void scs_p_NormaliseIdent(char* ident, char quote, uint32_t quotedCase, uint32_t identCase, uint32_t textConv,
                          int requote);
// Reads a catalog text cell: narrow (*narrow) or UTF-16 (*wide), *len characters (at most 508);
// 0, or kErrGeneral for a kind that is not text.
uint32_t scs_p_CatValueText(const uint8_t* cell, uint32_t kind, uint32_t width, const char** narrow,
                            const uint16_t** wide, uint32_t* len);
// Text of a catalog cell as UTF-8 into buf (509 bytes); 0, or 15.
uint32_t scs_p_CatCellText(const void* dataset, uint32_t row, uint16_t col, char* buf);
void ParamDescFromColDesc(ParamDescEntry* out, const ColDesc* cd);
// Appends one entry per ColDesc (cols may be null with count 0) and, when withOwn is set, the
// statement's own descriptions; 0 or kErrNoMemory (the old array is kept).
uint32_t ParamDescsAppend(SCS_DescCtx* ctx, const ColDesc* cols, uint32_t count, int withOwn);
// Empties the context's parameter descriptions.
void ParamDescsReset(SCS_DescCtx* ctx);
// "alias.col", "owner.table.col" or "table.col" when more than one table, else the column.
char* scs_p_QualifyColName(uint32_t tableCount, const ColDesc* cd);
// Equality of two identifiers under the quoting and case rules; 1 or 0.
int scs_p_IdentEqual(const char* a, const char* b, char quote, uint32_t quotedCase, uint32_t identCase,
                     uint32_t textConv);

// Identifier text with the quote character around it and every quote inside doubled (plain
// when quote is 0), cut to 508 bytes on a character boundary; writes into out (509 bytes).
void scs_QuoteName(const char* name, char quote, char* out);
// Removes one pair of quotes and undoubles the quotes inside; a name that is not quoted is
// copied. out holds 509 bytes.
void scs_UnquoteName(const char* name, char quote, char* out);
// Catalog pattern that matches exactly name: "_" and "%" (and "\") escaped with "\".
void scs_EscapePattern(const char* name, char* out, size_t size);
// Integer of a catalog cell of any integer kind (or a text holding one); 1, or 0 for NULL.
int scs_CellInt(const void* dataset, uint32_t row, uint16_t col, int64_t* out);
// Reads the whole catalog result on stmt in blocks of 10 rows (limit > 0: stop once that many
// rows are in) and closes its cursor; 0 or the fetch's code (all is then empty).
uint32_t scs_CatalogFetchAll(const AgentLink* link, uint32_t stmt, Dataset* all, uint32_t limit);
