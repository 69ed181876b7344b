#pragma once
// The connection keywords the driver knows, the parser that fills them from a connection string
// and the merge that completes them from the data source (odbc.ini), a file DSN or the data
// source "Default". One process-wide table: only touched by a driver connect, under ConnectLock.
#include <cstdint>
#include <string>

enum ConnKeywordRow : int {
    KW_DSN = 0,
    KW_UID,
    KW_READONLY,
    KW_PWD,
    KW_FBS,
    KW_NLB,
    KW_MAXROWS,
    KW_NOAC,
    KW_JET,
    KW_INGSERVER,
    KW_NRSSL,
    KW_DRIVER,
    KW_FDSN,
    KW_INITSQL,
    KW_DYN_CURS_SENSITIVITY,
    KW_FILEDSN,
    KW_SQLDBMSNAME,
    KW_GROUP,
    KW_ROLENAME,
    KW_ROLEPWD,
    KW_EFFUID,
    KW_DBMSPWD,
    KW_RTRIMCHAR,
    KW_IV,
    KW_IA,
    KW_COUNT
};

struct ConnKeyword {
    const char* keyword;     // connection-string keyword
    const char* key;         // odbc.ini key, null for rows never read from a data source
    std::uint32_t traced;    // 0 keeps the row out of the connect trace
    std::uint32_t maximum;   // a value read from a source holds at most maximum - 1 bytes
    std::uint32_t supplied;  // 1 when the value came from the connection string
    char* value;             // malloc'ed UTF-8 text or null
};

extern ConnKeyword ConnKeywordTable[KW_COUNT];

// Frees every value and clears every supplied flag; with text non-null then parses it and
// completes the table from the configuration. mode 'W' uses the installer's wide calls.
void ConnKeywordParse(const char* text, char mode);

// Value of a row (null when absent) and whether the connection string supplied it.
const char* ConnKeywordValue(int row);
bool ConnKeywordSupplied(int row);
// Replaces a row's value (null: absent); false when memory runs out.
bool ConnKeywordSet(int row, const char* value, bool supplied);

// Driver name registered for the current DSN value under "ODBC Data Sources" in odbc.ini, the
// user's file first, then the system's; malloc'ed, possibly empty; null only without memory.
char* DsnDriverName();

// The "UID" entry of a data source in odbc.ini (no "LastUser" fallback), at most 128 bytes.
std::string DsnReadUid(const char* dsn, char mode);
