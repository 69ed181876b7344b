#include "drv_ingii/i-initsql.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "drv_ingii/i-glob.h"
#include "drv_ingii/ingutil.h"

std::string IngInitialSqlPath(const char* fileName) {
    std::string name = fileName ? fileName : "";
    size_t slash = name.find_last_of("\\/");
    size_t base = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = name.find('.', base);
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot == base) name += ".sql";
    return name;
}

static void Trim(std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n' || s[b] == '\f' || s[b] == '\v')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n' || s[e - 1] == '\f' ||
                     s[e - 1] == '\v'))
        --e;
    s = s.substr(b, e - b);
}

int IngRunInitialSql(IngConn* c, const char* fileName) {
    std::string path = IngInitialSqlPath(fileName);
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) {
        IngLog(LOGL_ERROR, "unable to read from initial SQL file %s (%s)", path.c_str(), std::strerror(errno));
        return -1;
    }
    char buf[512];
    unsigned lines = 0;
    std::string request;
    bool open = false;
    while (std::fgets(buf, sizeof buf, f) != nullptr) {
        ++lines;
        std::string line = buf;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (open) request += ' ';
        open = true;
        if (line.back() == ';') {
            line.pop_back();
            request += line;
            Trim(request);
            IngLog(LOGL_DEBUG, "execute [%.100s]", request.c_str());
            // Its outcome is not looked at, so its messages are not kept either.
            IIExecImmediate(&c->connHandle, &c->tranHandle, request.c_str(), nullptr, nullptr);
            request.clear();
            open = false;
        } else {
            request += line;
        }
    }
    std::fclose(f);
    if (open) {
        IngLog(LOGL_ERROR, "Unterminated SQL request (line %u)", lines);
        return -1;
    }
    return 0;
}
