// Splitting of an option string into an argument vector (blanks separate arguments; single
// and double quotes group; a backslash escapes a quote or a backslash).
#pragma once

// 0, or -1 for a null text (count 0, vector null). The vector ends with null entries; every
// argument is kept whole however long it is. Release it with FreeArgv.
int StrToArgv(const char* text, int* argc, char*** argv);
void FreeArgv(char** argv);
