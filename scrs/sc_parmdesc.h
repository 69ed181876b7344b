// Parameter description by parsing: the SQL analyser builds probe queries whose result
// columns describe the parameter markers of a statement.
#pragma once

#include <cstdint>

#include "scrs/scr_analyse.h"

struct SCS_ParmDesc {
    SCR_Analysis analysis;  // the parsed statement
    char** probes;          // probe query texts, each ending " WHERE 1=0 "
    uint32_t probeCount;
    int32_t paramCount;       // parameters the probes' columns describe, summed over the probes
    char* markerMap;          // INSERT ... VALUES without columns: per value '?' (a marker) or 'X'; or null
    const char* defaultType;  // put into a probe for a marker without a partner; not owned
};
using SCS_ParmDescResult = SCS_ParmDesc;

void scs_ParmDescInit(SCS_ParmDesc* pd, const char* defaultType);
// 0 with the probes made (possibly none, for statements that are not described this way);
// 68 when the statement does not parse. A probe builder's own failure only stops the probes.
uint32_t SCS_DescribeParams(SCS_ParmDesc* pd, const char* sql);
void scs_ParmDescFree(SCS_ParmDesc* pd);
