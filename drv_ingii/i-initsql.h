// The data source's initial SQL file, run on every new session.
#pragma once

#include <cstdint>
#include <string>

struct IngConn;

// 0 when every request of the file ended, -1 when the file could not be opened or the last
// request had no ";". Failing requests are logged and do not stop the file.
int IngRunInitialSql(IngConn* c, const char* fileName);

// The file name with ".sql" added when its last path component has no extension.
std::string IngInitialSqlPath(const char* fileName);
