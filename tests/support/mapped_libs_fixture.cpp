#include "tests/support/mapped_libs_fixture.h"

#include <link.h>

#include <cstring>

namespace tvtest {

std::string MappedLibraryPath(const char* name, bool prefix) {
    struct Query {
        const char* name;
        size_t length;
        bool prefix;
        std::string path;
    } q{name, std::strlen(name), prefix, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* q = static_cast<Query*>(data);
            const char* base = info->dlpi_name ? std::strrchr(info->dlpi_name, '/') : nullptr;
            if (!base || !q->path.empty()) return 0;
            ++base;
            if (q->prefix ? std::strncmp(base, q->name, q->length) == 0 : std::strcmp(base, q->name) == 0)
                q->path = info->dlpi_name;
            return 0;
        },
        &q);
    return q.path;
}

}  // namespace tvtest
