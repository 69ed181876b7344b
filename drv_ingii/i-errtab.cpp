#include "drv_ingii/i-errtab.h"

#include <cstring>

const char* IngErrorState(uint32_t code) { return code < kIngErrorRows ? IngErrorTable[code].state : ""; }

const char* IngErrorText(uint32_t code) { return code < kIngErrorRows ? IngErrorTable[code].message : ""; }

uint32_t IngErrorFindState(const char* sqlstate) {
    if (sqlstate == nullptr) return 0;
    // The last row is left out of the search, so its SQLSTATE never decides a code.
    for (uint32_t i = 0; i < kIngErrorRows - 1; ++i) {
        const char* s = IngErrorTable[i].state;
        if (s[0] != '\0' && std::strncmp(s, sqlstate, 5) == 0) return i;
    }
    return 0;
}
