// Key columns of the tables of a cursor's SELECT, chosen from the catalog and cached per
// connection (ks.cpp), the select-list and ORDER BY analysis built on them, and the texts of the
// statements that name rows by those keys: key sets, key blocks and row locks (ks_text.cpp), and
// the seeks of dynamic and mixed cursors (ks_seek.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "scrs/sc_coldesc.h"

struct ColumnInfo;
struct IngAttrRow;
struct HashTable;

// The connection's key-column cache (101 buckets, MD5 digests as keys) and its release.
HashTable* KS_KeyColCacheCreate();
void KS_KeyColCacheFree(HashTable* cache);

// Fills ctx->keyCols for the tables; 0, kErrNoKeys when some table has no key column, or a failure.
uint32_t KS_GetKeyColDescs(SCS_DescCtx* ctx, SCR_Array* tables);
// Catalog calls the key-column choice has made in this process (the cache saves them).
uint32_t KS_KeyCatalogCalls();
// The three strategies, for the tables whose found flag is 0 (null flags: every table, none marked).
uint32_t KS_GetKeyColDescs_SpCols(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found);
uint32_t KS_GetKeyColDescs_Stats(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found);
uint32_t KS_GetKeyColDescs_PKeys(SCS_DescCtx* ctx, SCR_Array* tables, uint32_t count, uint32_t* found);

// ORDER BY of the analysed statement into ctx->orderBy; 0, kErrNoMemory, kErrSyntax, kErrOrderExpression or the
// analyser's code.
uint32_t scs_p_OrderByAnalyse(SCS_DescCtx* ctx);
uint32_t scs_p_OrderByFromSelectCols(SCS_DescCtx* ctx);
void scs_p_OrderByNormalise(SCS_DescCtx* ctx);
int scs_p_IsQuotableName(const char* column, const char* dbmsName);
void scs_p_MarkKeyOrderPositions(SCS_DescCtx* ctx);
uint32_t scs_p_SelectCol_ColDescComplete(SCS_DescCtx* ctx);
// Expands wildcards of the select list and, with the option kStmtOptDescribeAddKeys, adds the missing key columns;
// *changed is 1 when the analysis' text was replaced.
uint32_t scs_p_SelListAddKeysnXpandWC(SCS_DescCtx* ctx, SCR_Array* items, int* changed);
int scs_p_IsKeyColumn(const SCS_DescCtx* ctx, const ColDesc* cd);
int scs_p_IsExpressionColumn(const ColDesc* cd);
// Answers the key and expression column attributes (1053, 1055) and the base names of one
// result column from the select columns; rows hold attrCount blocks of stride rows. Always 0.
uint32_t scs_p_ColAttribute(const SCS_DescCtx* ctx, uint16_t column, ColumnInfo* info, uint32_t nameMask,
                            uint32_t stride, uint32_t attrCount, IngAttrRow* rows);

// --- key-set statement texts -------------------------------------------------------------------
struct Dataset;

// Select list := the key columns' reference texts; the analysis' text is replaced.
uint32_t KS_BuildKeySelect(SCR_Analysis* a, const SCR_Array* keyCols, uint8_t tableCount);
// ORDER BY extended by the keys no ORDER BY item names (order position 0), never beyond
// maxOrderCols columns in all (0: no limit); orderCount is the statement's own item count.
uint32_t KS_BuildKeyOrderBy(SCR_Analysis* a, const SCR_Array* keyCols, uint8_t tableCount, uint32_t orderCount,
                            uint16_t maxOrderCols);
// WHERE ( k1 = ? AND k2 = ? OR ... ) with rowsPerBlock groups, before the statement's own condition.
uint32_t KS_BuildKeyBlockWhere(SCR_Analysis* a, const SCR_Array* keyCols, uint8_t tableCount, uint32_t rowsPerBlock);
// One parameter row of `groups` groups of the source's columns, group g from source row
// first + min(g, rows - 1); 0, 15 or 16. With nullAware, columns NULL in any used row are left
// out and flagged in nullFlags (one u16 per source column, may be null).
uint32_t KS_KeyRowsToParams(const Dataset* src, uint32_t first, uint32_t groups, uint32_t rows, Dataset** out,
                            int nulRoom, int trim, int nullAware, uint16_t* nullCount, uint16_t* nullFlags);
const char* KS_SeekOperator(uint32_t orientation, uint32_t seekMode, int descending);
int KS_BoundaryRow(uint32_t orientation, uint32_t seekMode);
int KS_NullsAfter(uint32_t orientation, int descending, uint32_t nullCollation);
int KS_NullPlacement(uint32_t orientation, int descending, uint32_t nullCollation);

// --- concurrency statements --------------------------------------------------------------------
// "UPDATE T SET k1 = ?, ... WHERE k1 = ? AND ..." over the first table (a heap text), or null.
char* scs_p_LockRowsText(const SCS_DescCtx* ctx);

// --- seeks of dynamic and mixed cursors -----------------------------------------------------------------
// Marks the ORDER BY items that name a key (keyMatch); needs the keys' order positions.
void KS_MarkKeyMatches(SCS_DescCtx* ctx);
// For each ordering position (ctx->orderColCount of them) the column of a key row; 0, kErrGeneral or kErrNoMemory.
uint32_t KS_OrderColumnMap(const SCS_DescCtx* ctx, uint16_t* map);
// Term i (1-based) of the seek condition into *out (empty when the term has no text).
uint32_t KS_SeekTerm(const SCS_DescCtx* ctx, uint32_t term, uint32_t orientation, uint32_t seekMode, std::string* out);
uint32_t KS_SeekParams(SCS_DescCtx* ctx, uint32_t orientation, uint32_t seekMode, Dataset** params);
uint32_t KS_BuildSeekWhere(SCS_DescCtx* ctx, SCR_Analysis* a, uint32_t orientation, uint32_t seekMode,
                           Dataset** params);
uint32_t KS_BuildSeekSelect(SCS_DescCtx* ctx, SCR_Analysis* a, uint32_t orientation, uint32_t seekMode,
                            Dataset** params);
