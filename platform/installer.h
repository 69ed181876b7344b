#pragma once
// Binding to the ODBC installer (unixODBC's libodbcinst), loaded at run time. The forwarding
// calls carry names of their own so that they never stand in for the installer's exports
// inside a process that also links the installer.
#include <sql.h>
#include <sqlucode.h>

// Address of the named installer function, loading the installer on first use; null (after
// telling the user) when the installer or the function cannot be had.
void* InstProcLookup(const char* name);

// Same argument lists as the installer's functions of the same name without the "Inst"
// prefix; each returns 0 when the function cannot be had.
int InstGetPrivateProfileString(const char* section, const char* key, const char* def, char* buf, int size,
                                const char* file);
int InstGetPrivateProfileStringW(const SQLWCHAR* section, const SQLWCHAR* key, const SQLWCHAR* def, SQLWCHAR* buf,
                                 int size, const SQLWCHAR* file);
int InstReadFileDSN(const char* file, const char* app, const char* key, char* buf, unsigned short size,
                    unsigned short* len);
int InstReadFileDSNW(const SQLWCHAR* file, const SQLWCHAR* app, const SQLWCHAR* key, SQLWCHAR* buf, unsigned short size,
                     unsigned short* len);
// The installer's configuration mode (ODBC_BOTH_DSN, ODBC_USER_DSN, ODBC_SYSTEM_DSN): lets a read
// look at the user's odbc.ini and the system's one in turn.
int InstGetConfigMode(unsigned short* mode);
int InstSetConfigMode(unsigned short mode);

// Reads section/key of odbc.ini from the user's file, then, when that gives nothing, from the
// system's file; UTF-8 text in and out. Empty when neither has it or the installer is missing.
int InstGetUserThenSystem(const char* section, const char* key, char* buf, int size);

// Where the installer's complaints go (there is no window system to show a box on); the
// default writes "title: text" to standard error. Returns the previous sink.
using InstMessageBoxFn = void (*)(const char* title, const char* text);
InstMessageBoxFn InstSetMessageBox(InstMessageBoxFn fn);

// Tests only: forget the loaded installer and load the named file next time (null: the normal one).
void InstResetForTesting(const char* library);

// The installer's file name as the driver asks for it.
extern const char* const kInstallerLibrary;
