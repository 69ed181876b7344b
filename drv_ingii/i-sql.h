#pragma once
// ODBC-to-Ingres SQL translation: escape clauses ({fn ...}, {d ...}, {t ...}, {ts ...}, {oj ...},
// {call ...}, {?=call ...}, {escape ...} and the "--*(" ... "--*)" form), statement separators,
// control characters, parameter markers, the OR-chain rewrite and the statement kind.
// All state lives in the caller's block and in locals: translations run concurrently.
#include <cstdint>

struct MPL;

// Statement kinds.
enum : uint16_t {
    ING_SQL_KIND_SELECT = 1,
    ING_SQL_KIND_DML = 2,  // INSERT, UPDATE or DELETE
    ING_SQL_KIND_OTHER = 3,
};

// Marker flags.
enum : uint16_t {
    ING_SQL_HAS_MARKERS = 2,  // at least one "?" outside literals
    ING_SQL_CALL = 4,         // a call escape was translated
    ING_SQL_CALL_RETURN = 8,  // the call escape had a return value (?=call)
};

// Statement text block; embedded in the agent's statement record. Start it zeroed.
struct IngSqlText {
    char* source;          // owned: the caller's text from its first non-blank character
    char* ingres;          // owned: the translated text sent to the server
    uint16_t markers;      // parameter markers outside literals
    uint16_t kind;         // ING_SQL_KIND_*
    uint16_t markerFlags;  // ING_SQL_* marker flags; the owner clears them before a new text
    bool hasInteger8;      // set by the owner: the server takes INTEGER8 (OpenAPI level 3 and up)
};

// Translates text (null counts as "") into the block: replaces both texts (freeing earlier ones),
// sets markers and kind and ORs into markerFlags. Always returns 0.
int IngTranslateSql(IngSqlText* block, const char* text);

// Frees both texts of a block and clears them.
void IngSqlTextFree(IngSqlText* block);

// The work of DRV_NativeSql (slot 17) once the connection is known: the slot sets *length to 0,
// answers kErrBadArg for an unknown agent connection handle, and otherwise returns this function's
// result. Translates text into a local block and copies the Ingres text into out (size bytes,
// NUL-terminated, cut when too long; a null out only reports the length). *length (when given)
// is set to 0 first, then to the full length. Returns 0, or 19 (01004) when the text was cut.
int IngNativeSqlText(const char* text, char* out, uint16_t size, uint16_t* length, bool hasInteger8 = false);

// The OR-chain rewrite of a SELECT with many markers into a UNION of SELECTs with at most ten
// markers each. Returns a new text (release with free) or null when the statement does not
// qualify. Only statements whose result the rewrite provably keeps are rewritten (see i-sql.cpp).
char* SqlOrChainToUnion(const char* text);

// Scanner state of one translation, shared by the outermost scan and the nested scans of its
// escape clauses.
struct SqlScanState {
    uint32_t markers;    // markers counted so far
    uint16_t flags;      // ING_SQL_HAS_MARKERS gathered here
    bool count_markers;  // false while an already scanned clause is scanned again
    bool again;          // set by a clause that must be translated once more (EXTRACT)
    bool hasInteger8;    // from the block: CONVERT to SQL_BIGINT may give an INTEGER8
    bool comments;       // the text holds a comment, which the OR-chain rewrite cannot read
};

// Scans text into the object under construction of pool (no terminating NUL). block, when
// given, receives the call flags of escape clauses at this level. level is the escape nesting
// depth of this scan (0 for a statement).
void SqlScanText(MPL* pool, const char* text, IngSqlText* block, SqlScanState* state, int level);

// Translates one gathered clause (the finished NUL-terminated object text of clause_pool) into
// the object under construction of out. vendor: the clause came from "--*(" ... "--*)".
// Sets state->again and leaves the text for the next pass as the object of clause_pool (returned)
// when the clause asks to be translated again; returns null otherwise.
char* SqlEscapeClause(MPL* out, MPL* clause_pool, char* clause, bool vendor, SqlScanState* state, IngSqlText* block,
                      int level);

// Position of the first ch in text that stands outside quotes and parentheses, or null.
const char* SqlFindTopLevel(const char* text, char ch);

// Ingres form of an ODBC scalar function name (case-insensitive), or null.
const char* SqlScalarFunctionForm(const char* name, unsigned name_len);
// Ingres form of a CONVERT type name (case-insensitive): "" for the types without an Ingres
// form, null for names not in the map. Without INTEGER8 a BIGINT is an int4.
const char* SqlConvertTypeForm(const char* name, unsigned name_len, bool hasInteger8 = true);
// Consistency of the two maps (sorted, searchable); for tests.
bool SqlMapsAreSorted();
