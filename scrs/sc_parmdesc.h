// Parameter description by parsing: the SQL analyser builds probe queries whose result
// columns describe the parameter markers of a statement.
#pragma once

#include <cstdint>

struct SCS_ParmDesc {
  char** probes;          // probe query texts, each built with " WHERE 1=0 "
  uint32_t probeCount;
  int32_t paramCount;     // -1 until described
  char* markerMap;        // one character per probe result column, '?' for a parameter; or null
  const char* defaultType;
};

void scs_ParmDescInit(SCS_ParmDesc* pd, const char* defaultType);
// 0 with the probes filled, else an error code; the caller then keeps its default descriptions.
uint32_t SCS_DescribeParams(SCS_ParmDesc* pd, const char* sql);
void scs_ParmDescFree(SCS_ParmDesc* pd);
