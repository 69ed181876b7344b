// Row operations on scrollable cursors are not built yet: each answers "Driver not capable"
// (S1C00) on its handle; a strong definition elsewhere replaces the weak one here.
#include "odbc/api_records.h"

namespace {
SQLRETURN NotCapable(HandleBase* record) {
    if (record) record->lastError = 43;
    return SQL_ERROR;
}
}  // namespace

#define PENDING(name) \
    __attribute__((weak)) SQLRETURN name(HandleBase* record, ApiArgs&) { return NotCapable(record); }

PENDING(ImplBulkOperations)
PENDING(ImplSetPos)
