#include "util/invariant.h"

#include <cstdlib>

#include "util/log.h"

void TvInvariantFailed(const char* what, const char* file, int line) {
    log_printf(LOGL_CRIT, file, line, "invariant broken: %s", what);
    std::abort();
}
