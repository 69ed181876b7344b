#pragma once
// The per-connection cache of information types the agent answered, so that each reaches the
// database at most once per connection.
#include <cstdint>

struct InfoCache {
    static constexpr unsigned k16 = 40, k32 = 120, kStr = 40;
    uint16_t u16[k16];  // 0xFFFF: empty
    int32_t i32[k32];   // -1: empty
    char* str[kStr];    // null: empty; owned
};

// Empties every entry and frees the cached texts.
void InfoCacheReset(InfoCache* cache);
