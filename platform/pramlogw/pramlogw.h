#pragma once
// The login-dialog library: completes a connection string with the user's help.
#include <cstdint>

extern "C" {
// Shows the login prompt for a connection string. Returns 1 when the user confirmed; *result then
// holds the completed connection string (UTF-8). Any other value: cancelled or failed. *result
// is always to be released with KivLOGIN_Free, whatever the return value.
__attribute__((visibility("default"))) std::int32_t KivLOGIN(void* window, const char* driver, const char* connstr,
                                                             char** result, int mode);
__attribute__((visibility("default"))) void KivLOGIN_Free(char* result);
}

// The environment variable through which a test answers the prompt: "CANCEL" cancels, anything
// else is a list of KEY=value pairs (separated by ';') laid over the connection string.
#define KIV_LOGIN_SCRIPT_ENV "KIV_LOGIN_SCRIPT"
