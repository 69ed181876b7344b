// The XA exports as they answer while the distributed-transaction layer is not linked in:
// no switch, and no thread ever holds an XA association. The layer's own definitions replace these.
#include <sql.h>

#include "odbc/export.h"
#include "odbc/startup_hooks.h"

TV_EXPORT __attribute__((weak)) xa_switch_t* kiv_xa_switch() { return nullptr; }

TV_EXPORT __attribute__((weak)) SQLRETURN SQLGetXaEnv(SQLHENV* out) {
    if (!out) return SQL_ERROR;
    *out = SQL_NULL_HENV;
    return SQL_ERROR;
}

TV_EXPORT __attribute__((weak)) SQLRETURN SQLGetXaConnect(SQLHDBC* out) {
    if (!out) return SQL_ERROR;
    *out = SQL_NULL_HDBC;
    return SQL_ERROR;
}
