// Cursor set-up at prepare and execute (sc_s.cpp): the overrides of slots 11 and 13, the analysis
// that tells whether a scrollable statement can run as the application asked, and the downgrade
// to a static, read-only cursor when it cannot.
#pragma once

#include <cstdint>

#include "scrs/sc_cursor.h"

// Prepare override (slot 11): the lower prepare, then the analysis of a scrollable statement.
ErrCode SCS_Prepare(uint32_t stmt, const char* text);
// Execute override (slot 13): the lower execute; a static, read-only SELECT then fills its
// result set. 22 for a statement never prepared.
ErrCode SCS_Execute(uint32_t stmt);
// Analyses the text of a prepared statement for its cursor; may downgrade to static read-only.
uint32_t SCS_AnalyseStatement(SCS_Cursor* c, const char* text);
// Downgrade to a static, read-only cursor through the lower options; 0 or kErrNotCapable.
uint32_t scs_p_ChangeCursorType(SCS_Cursor* c);
// Shape flags of a SELECT that rule out row identification: join 87, GROUP BY 88, UNION 89,
// scalar aggregate 103, else 0.
uint32_t scs_p_CheckShape(uint32_t shape);
// The shape value of a statement that is not a SELECT.
enum : uint32_t { kScsShapeNotSelect = 512 };
// Shapes a keyset-driven cursor cannot carry: not a SELECT 90, GROUP BY 88, UNION 89, else 0.
uint32_t scs_p_CheckKeysetShape(uint32_t shape);
