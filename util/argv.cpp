#include "util/argv.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/utalloc.h"

namespace {
constexpr int kInitialCapacity = 10;
constexpr int kGrowth = 5;

struct Vector {
    char** items = nullptr;
    int count = 0;
    int capacity = 0;

    void Store(const std::string& arg) {
        // s_strdup stops at a NUL; arguments never hold one.
        items[count++] = s_strdup(arg.c_str());
        if (count >= capacity - 1) {
            items = static_cast<char**>(s_realloc(items, sizeof(char*) * static_cast<size_t>(capacity + kGrowth)));
            for (int i = capacity; i < capacity + kGrowth; ++i) items[i] = nullptr;
            capacity += kGrowth;
        }
    }
};
}  // namespace

int StrToArgv(const char* text, int* argc, char*** argv) {
    if (argc) *argc = 0;
    if (argv) *argv = nullptr;
    if (!text) return -1;
    Vector v;
    v.capacity = kInitialCapacity;
    v.items = static_cast<char**>(s_alloc(static_cast<size_t>(v.capacity), sizeof(char*)));

    std::string cur;    // grows as needed: a long argument is never cut or overrun
    bool have = false;  // an argument has begun and is not stored yet
    bool due = true;    // the next quote or copied character begins a new argument
    bool escaped = false;
    char quote = 0;
    auto begin = [&] {
        if (!due) return;
        if (have) v.Store(cur);
        cur.clear();
        have = true;
        due = false;
    };

    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    for (; *p; ++p) {
        const char c = *p;
        if (escaped) {
            begin();
            cur += c;
            escaped = false;
        } else if (c == ' ' || c == '\t') {
            if (quote)
                cur += c;
            else
                due = true;
        } else if (c == '"' || c == '\'') {
            begin();
            if (!quote)
                quote = c;
            else if (quote == c)
                quote = 0;
            else
                cur += c;
        } else if (c == '\\' && (p[1] == '"' || p[1] == '\'' || p[1] == '\\')) {
            escaped = true;
        } else {
            begin();
            cur += c;
        }
    }
    if (have) v.Store(cur);
    if (argc) *argc = v.count;
    if (argv)
        *argv = v.items;
    else
        FreeArgv(v.items);
    return 0;
}

void FreeArgv(char** argv) {
    if (!argv) return;
    for (char** p = argv; *p; ++p) std::free(*p);
    std::free(argv);
}
