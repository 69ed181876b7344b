// Statement analysis of the SQL analyser: parse a statement, learn its shape, its tables,
// its ORDER BY and select items, and edit clauses through the edit marker.
#pragma once

#include <cstdint>

struct SCR_Node;
struct SCR_Array;

// Where clause edits leave room for the cursor layer's own text.
#define SCR_EDIT_MARKER "\x01\x01\x01"

struct SCR_Analysis {
    char* text;     // the statement as analysed, leading white space removed
    char* errText;  // scanned text up to the error and "^", or null
    char* message;  // the parser's message, or null
    SCR_Node* root;
    int32_t kind;    // root node kind, -1 when nothing is analysed
    uint16_t flags;  // SCR_F_* shape flags
};

enum : uint16_t {
    SCR_F_HADWHERE = 0x2,
    SCR_F_ORDERBY = 0x4,
    SCR_F_GROUPBY = 0x8,
    SCR_F_UNION = 0x10,
    SCR_F_MULTITABLE = 0x20,
    SCR_F_ORDERPOS = 0x40,
    SCR_F_AGGREGATE = 0x80,
    SCR_F_OUTERJOIN = 0x100,
    SCR_F_DISTINCT = 0x400,  // SELECT DISTINCT: a row stands for every table row of its values
};

// One table of the FROM list: four heap strings, "" where absent.
struct SCR_TableRef {
    char* qualifier;
    char* owner;
    char* table;
    char* alias;
};
void SCR_TableRefFree(void* element);

// The cursor layer's column description.
struct ColDesc {
    char column[509];
    char table[509];
    char alias[509];
    char owner[509];
    char qualifier[509];
    int16_t sqlType;
    uint32_t columnSize;
    int16_t decimalDigits;
    uint8_t orderPosition;
    uint32_t itemKind;  // 1 "*", 2 "t.*", 3 expression, 4 plain column
};

// One item of an analysed ORDER BY.
struct OrderByItem {
    char text[2036];
    char column[509];
    char table[509];
    char alias[509];
    char owner[509];
    char qualifier[509];
    uint32_t descending;
    uint8_t position;
    uint32_t keyMatch;
    int16_t sqlType;
    uint32_t columnSize;
    int16_t decimalDigits;
};

void SCR_AnalysisInit(SCR_Analysis* a);
void SCR_AnalysisFree(SCR_Analysis* a);
// 0; kErrSyntax the statement does not parse; kErrGeneral a clause is missing; kErrNoMemory.
uint32_t SCR_AnalyseSQL(SCR_Analysis* a, const char* sql, int parseOnly, int qualifiers);
uint32_t SCR_TablesGet(SCR_Analysis* a, SCR_Array* tables, int qualifiers);
uint32_t SCR_SelectListMark(SCR_Analysis* a);
uint32_t SCR_AddWhereCond(SCR_Analysis* a);
uint32_t SCR_OrderByMark(SCR_Analysis* a);
// Puts `body` where the edit marker stands in the regenerated text and makes that the analysis'
// text: 0, kErrGeneral without a marker, kErrNoMemory.
uint32_t SCR_EditMarkerReplace(SCR_Analysis* a, const char* body);
uint32_t SCR_OrderByReverse(SCR_Analysis* a);
// The ORDER BY items; a number or the alias of a select item is taken as that item's position
// (SCR_F_ORDERPOS set).
uint32_t SCR_OrderByGet(SCR_Analysis* a, SCR_Array* items);
// Writes each item's text in place of its position or alias, as SCR_OrderByGet read them.
uint32_t SCR_OrderByResolvePositions(SCR_Analysis* a, SCR_Array* items);
uint32_t SCR_SelectListExpand(SCR_Analysis* a, SCR_Array* cols);
// The regenerated statement text ("" when nothing is analysed).
const char* SCR_AnalysisText(const SCR_Analysis* a);

// Splits "c", "t.c" or "o.t.c" into the name fields (each at most 508 characters).
void SCR_NameSplit(const char* text, char* column, char* table, char* alias, char* owner, char* qualifier);

// Parses sql (leading white space skipped) into a (text, tree, error texts, kind) under the
// parser mutex and regenerates the tree; 0 or kErrSyntax. Shared with parameter description.
uint32_t SCR_ParseInto(SCR_Analysis* a, const char* sql);
