// Foundation pieces the agent builds on, with stand-ins used only while the foundation
// branch has not landed them yet.
#pragma once

#include <cstdint>

#include "util/handle_table.h"

// Splits a connect-options text into words (quotes and backslash escapes); 0 or -1 for null.
int IngSplitWords(const char* text, int* argc, char*** argv);
void IngFreeWords(char** argv);
