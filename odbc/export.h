#pragma once
// Marks a function the linker may export; the version script of each library decides which are.
#define TV_EXPORT extern "C" __attribute__((visibility("default")))
