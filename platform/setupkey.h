#pragma once
// The driver's setup key. On Windows it is the registry key "SOFTWARE\Corvanta Software\<name>"
// under HKEY_LOCAL_MACHINE; here it is an INI file whose sections carry the key's full name
// followed by the sub-key, e.g.
//
//   [SOFTWARE\Corvanta Software\Corvanta Ingres ODBC Driver\ODBC]
//   DebugFile = $H/telvarin-$P.log
//
// Section and value names compare without regard to case, as registry names do. Lines starting
// with ";" or "#" are comments; a value may be wrapped in double quotes.
// The file is named by the environment variable TELVARIN_SETUP_INI, else $HOME/.telvarin.ini.
#include <cstddef>
#include <string>

// The driver's setup name (string resource 204), which also names the setup key.
#define TV_SETUP_NAME "Corvanta Ingres ODBC Driver"
// "SOFTWARE\Corvanta Software\" followed by the setup name.
#define TV_SETUP_KEY "SOFTWARE\\Corvanta Software\\" TV_SETUP_NAME

constexpr const char* kSetupIniEnv = "TELVARIN_SETUP_INI";

// Path of the setup INI file (empty when neither the variable nor a home directory is known).
std::string SetupIniPath();

// Reads value of the setup key's sub-key section (null or "" for the key itself) into out.
// Returns true and a terminated text when the value exists and fits out_size - 1 bytes;
// false (out untouched) otherwise.
bool SetupKeyGetString(const char* section, const char* value, char* out, size_t out_size);

// The registry-style reader of the driver: on success returns the value's size with its
// terminator (as the registry reports it); otherwise copies def into buf (at most len bytes,
// terminated) and returns its length.
int GetSetupValue(const char* section, const char* value, const char* def, char* buf, size_t len);

// Home directory of the user: $HOME, else the password database; empty when unknown.
std::string UserHomeDirectory();
