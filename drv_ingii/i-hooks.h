// The describers the SQL analyser above the agent hands down when the cursor layer is laid over
// the agent. They take the agent's handle numbers, so the layer above needs none of its records.
#pragma once

#include <cstdint>

struct ColumnInfo;
struct IngAttrList;

// Describes the markers of a prepared statement by parsing its text: 0 or a code. Until one is
// handed down the descriptions stay those made at prepare.
using IngParamProbeFn = uint32_t (*)(uint32_t stmt);
void IngSetParamProbe(IngParamProbeFn fn);

// Names of result columns beyond what the server describes (base table and column, schema,
// catalog, expressions). It may fill the descriptions' name fields and append attribute rows;
// its failure leaves the description as the server gave it.
using IngColNamesFn = uint32_t (*)(uint32_t stmt, uint16_t count, ColumnInfo* cols, IngAttrList* rows);
void IngSetColNames(IngColNamesFn fn);
