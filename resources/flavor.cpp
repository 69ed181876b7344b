#include "resources/flavor.h"

const bool tv_wide_build = TV_WIDE != 0;
const char* const tv_library_name = TV_WIDE ? "telvarinu.so" : "telvarin.so";
