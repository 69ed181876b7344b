#pragma once
// The driver's string resources, read as the Windows string table would be.
#include <cstdint>

// Copies string `id` into buf (at most size - 1 characters and a NUL) and returns the number of
// characters copied; 0 when the id is unknown or size is not positive (buf then holds "" if size > 0).
int LoadResString(uint32_t id, char* buf, int size);

// The driver's setup name (string 204).
extern const char* const kSetupName;
