// Static result sets: a static cursor's snapshot, read once into the dataset cache (for a static
// cursor read by keys, filled by sc_statickeys.cpp) and served from there in any order.
#pragma once

#include <cstdint>

#include "scrs/dsc.h"

struct SS_ResultSet {
    Dataset* rows;    // the cached rows in memory: all of them, or the loaded window
    int32_t origin;   // result row held in row 0 of `rows`; -1 while no window is loaded
    int32_t readPos;  // next row of a sequential read; -2 once a sequential read reached the end
    DSC cache;
};

// 0 or kErrNoMemory.
uint32_t SCS_StaticSetCreate(SS_ResultSet** out);
// Rows freed, cache closed (its files deleted), positions 0.
void SCS_StaticSetReset(SS_ResultSet* set);
// Frees the record and nulls the pointer; a null record is ignored.
void SCS_StaticSetFree(SS_ResultSet** set);

// Reads the whole result of `stmt` through `lower` into the record; the total row count goes
// to `total` (may be null).
uint32_t SS_GetRsltSet(SS_ResultSet* set, const AgentLink* lower, uint32_t stmt, uint32_t* total);
// Hands out up to n rows from `first` (0-based; -1: from the read position) in *holder, made
// when empty; the holder owns it.
uint32_t SS_GetRows(SS_ResultSet* set, int32_t first, uint32_t n, Dataset** holder);
