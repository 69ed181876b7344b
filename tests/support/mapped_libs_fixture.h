// Which shared libraries this process has mapped, and from where.
#pragma once

#include <string>

namespace tvtest {

// The full path of the first mapped library whose file name is `name` (or, with `prefix` set,
// begins with it, as "libasan.so" does "libasan.so.8"); empty when none is mapped.
std::string MappedLibraryPath(const char* name, bool prefix = false);

}  // namespace tvtest
