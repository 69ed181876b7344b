// iicreatedb: makes an empty database of the embedded engine in its data directory.
#include "iiapi/iiapi.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

static int usage(const char* prog) {
    std::fprintf(stderr,
                 "usage: %s [-u user] [-P password] [-s] [-r] [-p] database\n"
                 "  Creates the database file in $II_DATABASE_DIR (default $HOME/.iiapi/data).\n"
                 "  -u user      owner (DBA) of the database; default the login name\n"
                 "  -P password  require this password when the owner connects\n"
                 "  -s           load the sample schema and rows after creating it (with -r)\n"
                 "  -r           create the row-version table VOVURA of dynamic cursors; on an\n"
                 "               existing database only the table is added\n"
                 "  -p           print the database file's path and exit\n",
                 prog);
    return 2;
}

int main(int argc, char** argv) {
    const char* user = nullptr;
    const char* password = nullptr;
    const char* target = nullptr;
    bool printPath = false;
    bool sample = false;
    bool rowVersions = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-u" && i + 1 < argc)
            user = argv[++i];
        else if (a == "-P" && i + 1 < argc)
            password = argv[++i];
        else if (a == "-p")
            printPath = true;
        else if (a == "-s")
            sample = true;
        else if (a == "-r")
            rowVersions = true;
        else if (a == "-h" || a == "--help")
            return usage(argv[0]);
        else if (!a.empty() && a[0] == '-')
            return usage(argv[0]);
        else if (!target)
            target = argv[i];
        else
            return usage(argv[0]);
    }
    if (!target) return usage(argv[0]);
    char path[4096];
    if (iiengine_databasePath(target, path, sizeof path) != 0) {
        std::fprintf(stderr, "%s: invalid database name '%s'\n", argv[0], target);
        return 1;
    }
    if (printPath) {
        std::printf("%s\n", path);
        return 0;
    }
    char err[512] = "";
    struct stat sb;
    // The owner adds the row-version table to a database that has been in use without it.
    const bool addOnly = rowVersions && !sample && stat(path, &sb) == 0;
    if (!addOnly && iiengine_createDatabase(target, user, password, err, sizeof err) != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[0], err);
        return 1;
    }
    if (sample && iiengine_loadSample(target, user, password, err, sizeof err) != 0) {
        std::fprintf(stderr, "%s: loading the sample failed: %s\n", argv[0], err);
        return 1;
    }
    if ((rowVersions || sample) && iiengine_createRowVersionTable(target, err, sizeof err) != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[0], err);
        return 1;
    }
    if (addOnly)
        std::printf("Added the table VOVURA to database %s (%s)\n", target, path);
    else
        std::printf("Created database %s (%s)%s\n", target, path,
                    sample        ? " with the sample schema and the table VOVURA"
                    : rowVersions ? " with the table VOVURA"
                                  : "");
    return 0;
}
