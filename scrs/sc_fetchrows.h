// Rows of a lower statement's result read into one Dataset, block by block: the read the cursor
// layer's key sets, seeks, reads by keys and by bookmark, forward rowsets and catalog look-ups share;
// and the move of one Dataset's rows onto the end of another that such reads make.
#pragma once

#include <cstdint>

struct AgentLink;
struct Dataset;

// No limit on the rows of scs_p_FetchRows.
inline constexpr uint32_t kScsAllRows = 0xFFFFFFFFu;

// Moves the rows of part to the end of all (all takes part over while it has no columns); part is
// left empty.
uint32_t scs_p_AppendRows(Dataset* all, Dataset* part);
// One fetch of up to `want` rows (at most 0xFFFF) onto the end of `out`; while `out` has no
// columns the block becomes `out`. *got: the rows the fetch brought (0 when it failed).
uint32_t scs_p_FetchBlock(const AgentLink* lower, uint32_t stmt, uint32_t want, Dataset* out, uint32_t* got);
// Fetches onto the end of `out` until `most` rows came or the result ends: a fetch that brings no
// row or, with shortEnds, fewer rows than it asked. Each fetch asks `block` rows, or with block 0
// all those still wanted. *fetched (may be null): the rows this read added.
uint32_t scs_p_FetchRows(const AgentLink* lower, uint32_t stmt, uint32_t block, uint32_t most, bool shortEnds,
                         Dataset* out, uint32_t* fetched = nullptr);
