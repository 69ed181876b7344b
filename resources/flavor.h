#pragma once
// Which of the two drivers this object set was linked into: telvarinu (wide) or telvarin.
extern const bool tv_wide_build;
extern const char* const tv_library_name;
