#pragma once
// Driver connect without the connection record: turns a connection request into the connect
// fields, the agent's per-data-source settings and the output connection string, prompting
// through the login library when the completion mode asks for it. The caller holds ConnectLock
// (the keyword table is process-wide), stores the plan into the record and opens the connection.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <string>
#include <vector>

#include "util/errtable.h"

// Flag bits of the connection record's flags word that driver connect owns.
constexpr std::uint16_t kConnFlagsCleared = 0x1F;  // cleared at every connect before setting below
constexpr std::uint16_t kConnFlagReadOnly = 0x2;
constexpr std::uint16_t kConnFlagIncludeViews = 0x100;
constexpr std::uint16_t kConnFlagIncludeAll = 0x200;

struct ConnectPlan {
    // Connect fields of the connection record.
    std::string dsn, user, password, server, options;
    std::uint16_t flags = 0;  // bits to set after clearing kConnFlagsCleared
    std::uint32_t fetchSize = 60;
    // The agent's per-data-source settings; empty texts stand for absent.
    int dynCursSensitivity = 0;  // 0 LOW, 1 HIGH, 2 DISABLED
    bool jet = false, noAutocommit = false, noRowsetSizeLimit = false, trimChar = false;
    std::int32_t maxRows = 0;
    std::string initSql, dbmsName;
    // Output connection string (unbounded: the copy-out cuts it) and the connect trace lines,
    // made only when someone reads them.
    std::string output;
    bool traced = true;
    std::vector<std::string> trace;
};

// Yes/no keyword values: "TRUE" or "YES" in any case.
bool ConnIsTrue(const char* value);
// Leading decimal number of a text (blanks and a sign allowed); 0 when there is none.
std::int64_t ConnDecimal(const char* value);
// Dynamic cursor sensitivity from its text and back: D... 2 (DISABLED), H... 1 (HIGH), else 0 (LOW).
int ConnParseDynCursSens(const char* value);
const char* ConnDynCursSensName(int value);
// The text between the first '{' and the next '}' of a DRIVER value (whole ends when absent).
std::string ConnDriverNameFromValue(const char* value);
// Whether a completion mode prompts, given the merged user and password.
bool ConnWantsPrompt(SQLUSMALLINT completion, const char* uid, const char* pwd);
// " -G" group " -u" effective user " -P" DBMS password " -R" role ["/" role password].
std::string ConnOptionsText(const char* group, const char* effuid, const char* dbmspwd, const char* role,
                            const char* rolepwd);

// Steps after the prompt: reads the keyword table into a plan (fields, settings, options,
// output string, trace lines). input is the connection string as received, for the trace.
void ConnPlanFromTable(const char* input, ConnectPlan& plan);

// The whole of driver connect before ConnOpen. in/inLen as the application gave them (SQL_NTS
// allowed), outMax the application's output buffer length. Returns 0 with the plan filled,
// kErrNoData when the prompt was cancelled (nothing to store), kErrBadLength for a negative
// length. Leaves the keyword table empty.
int DriverConnectPrepare(void* window, const SQLCHAR* in, SQLSMALLINT inLen, SQLSMALLINT outMax,
                         SQLUSMALLINT completion, char mode, ConnectPlan& plan);

// "DSN=%s;UID=%s;PWD=%s" of SQLConnect's three texts (null: empty); kErrBadLength for a
// length below 0 other than SQL_NTS, else 0. traceText, when given, receives the string with
// the password shown as "***", for the debug trace.
int ConnConnectString(const SQLCHAR* dsn, SQLSMALLINT dsnLen, const SQLCHAR* uid, SQLSMALLINT uidLen,
                      const SQLCHAR* pwd, SQLSMALLINT pwdLen, std::string& out, std::string* traceText = nullptr);

// Copies text out to an application buffer: NUL-terminated, never splitting a character, the
// full length (bytes, or UTF-16 units for the W form) stored when outLen is given. Returns 0,
// kErrTruncated when cut, kErrBadLength for a negative buffer length.
int ConnCopyOut(const std::string& text, SQLCHAR* buf, SQLSMALLINT bufLen, SQLSMALLINT* outLen);
int ConnCopyOutW(const std::string& utf8, SQLWCHAR* buf, SQLSMALLINT bufLenChars, SQLSMALLINT* outLen);

// What driver connect needs of the connection record, so that it runs before the record exists
// in this form: the gateway's connection supplies these.
struct ConnectTarget {
    void* context;
    bool (*connected)(void* context);                       // state 2
    void (*store)(void* context, const ConnectPlan& plan);  // connect fields, flags, agent settings
    void (*open)(void* context, char mode);                 // ConnOpen
    void (*setLastError)(void* context, int code);
};

// Driver connect (SQLDriverConnect / W after conversion): 08002 when connected, the prepare
// above, store, open, then the output string copied out (01004 when cut). Returns an ODBC code;
// SQL_NO_DATA when the prompt was cancelled. The caller holds ConnectLock.
SQLRETURN DriverConnectCore(const ConnectTarget& target, void* window, const SQLCHAR* in, SQLSMALLINT inLen,
                            SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT completion, char mode,
                            std::vector<std::string>* trace = nullptr);
// The same for SQLDriverConnectW: UTF-16 input (length in characters, SQL_NTS allowed) and the
// output string copied out as UTF-16 (lengths in characters), 01004 when cut.
SQLRETURN DriverConnectCoreW(const ConnectTarget& target, void* window, const SQLWCHAR* in, SQLSMALLINT inLen,
                             SQLWCHAR* out, SQLSMALLINT outMaxChars, SQLSMALLINT* outLen, SQLUSMALLINT completion,
                             std::vector<std::string>* trace = nullptr);
// SQLConnect: 08002 when connected, S1090 for a bad length, then driver connect without a prompt.
SQLRETURN ConnectCore(const ConnectTarget& target, const SQLCHAR* dsn, SQLSMALLINT dsnLen, const SQLCHAR* uid,
                      SQLSMALLINT uidLen, const SQLCHAR* pwd, SQLSMALLINT pwdLen, char mode,
                      std::vector<std::string>* trace = nullptr);
// SQLConnectW: the same with UTF-16 texts (lengths in characters).
SQLRETURN ConnectCoreW(const ConnectTarget& target, const SQLWCHAR* dsn, SQLSMALLINT dsnLen, const SQLWCHAR* uid,
                       SQLSMALLINT uidLen, const SQLWCHAR* pwd, SQLSMALLINT pwdLen,
                       std::vector<std::string>* trace = nullptr);

// The login library: called through its two exports, loaded from beside the driver on first
// use. Returns 1 with the completed string, -1 when the library or its exports cannot be had,
// anything else when the user cancelled.
int LoginPrompt(void* window, const char* driver, const char* connstr, char mode, std::string& result);
// Tests only: the login library file to load (null: the one beside the driver).
void LoginSetLibraryForTesting(const char* path);
