#include "scrs/sc_parmdesc.h"

#include <cstdlib>

void scs_ParmDescInit(SCS_ParmDesc* pd, const char* defaultType) {
  if (pd == nullptr) return;
  pd->probes = nullptr;
  pd->probeCount = 0;
  pd->paramCount = -1;
  pd->markerMap = nullptr;
  pd->defaultType = defaultType;
}

// Describing by parsing needs the SQL parser; until it is there every statement is
// "not capable", so callers keep the default descriptions they built at prepare.
uint32_t SCS_DescribeParams(SCS_ParmDesc* pd, const char* sql) {
  (void)sql;
  if (pd == nullptr) return 21;
  return 43;
}

void scs_ParmDescFree(SCS_ParmDesc* pd) {
  if (pd == nullptr) return;
  for (uint32_t i = 0; pd->probes != nullptr && i < pd->probeCount; ++i) std::free(pd->probes[i]);
  std::free(pd->probes);
  std::free(pd->markerMap);
  pd->probes = nullptr;
  pd->probeCount = 0;
  pd->markerMap = nullptr;
  pd->paramCount = -1;
}
