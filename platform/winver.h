#pragma once
// The system version check of start-up. Linux always passes; tests force the refusal path.
#include <cstdint>

// The version word as Windows reports it: top bit set for the old 16-bit-based systems,
// major version in the low byte.
uint32_t SystemVersionWord();
bool SystemVersionSupported(uint32_t versionWord);

// Replaces the reported version word (0 restores the real one).
void SetSystemVersionWordForTest(uint32_t versionWord);
