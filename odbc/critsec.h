#pragma once
// The critical sections live with the foundation; this name stays for code that includes it.
#include "util/critsec.h"
