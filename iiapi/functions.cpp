// SQL functions of the Ingres dialect that SQLite lacks.
#include "iiapi/internal.h"

#include <cctype>
#include <ctime>

namespace iiapi {

namespace {

Conn &session(sqlite3_context *ctx) {
    return *static_cast<Conn *>(sqlite3_user_data(ctx));
}

void resultText(sqlite3_context *ctx, const std::string &s) {
    sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
}

std::string argText(sqlite3_value *v) {
    const unsigned char *t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char *>(t), size_t(sqlite3_value_bytes(v))) : std::string();
}

std::string metaValue(sqlite3 *db, const char *key) {
    sqlite3_stmt *st = nullptr;
    std::string v;
    if (sqlite3_prepare_v2(db, "SELECT value FROM iiapi_meta WHERE key = ?", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, key, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
            v = reinterpret_cast<const char *>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    return v;
}

void fnDbmsinfo(sqlite3_context *ctx, int, sqlite3_value **argv) {
    Conn &c = session(ctx);
    std::string what = argText(argv[0]);
    for (auto &ch : what) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    while (!what.empty() && what.back() == ' ') what.pop_back();
    std::string r;
    if (what == "database") r = c.dbname;
    else if (what == "username" || what == "session_user" || what == "effective_user") r = c.user;
    else if (what == "system_user" || what == "initial_user") r = c.loginUser;
    else if (what == "dba") {
        r = metaValue(c.db, "dba");
        if (r.empty()) r = c.user;
    } else if (what == "db_name_case" || what == "db_real_user_case") r = "LOWER";
    else if (what == "db_delimited_case") r = "MIXED";
    else if (what == "_version") r = c.settings.version;
    else if (what == "charset") r = c.settings.charset;
    else if (what == "unicode_level") r = c.settings.unicodeLevel;
    else if (what == "_bintim") r = std::to_string(static_cast<long long>(std::time(nullptr)));
    else if (what == "autocommit_state") r = c.autocommit ? "1" : "0";
    else if (what == "transaction_state") r = c.inTransaction ? "1" : "0";
    else if (what == "query_language") r = "sql";
    else if (what == "server_class") r = "INGRES";
    else if (what == "language") r = "english";
    else if (what == "group") r = c.group;
    else if (what == "role") r = c.role;
    // Unknown requests answer an empty text, as the server does.
    resultText(ctx, r);
}

}  // namespace

void registerFunctions(Conn &c) {
    sqlite3_create_function(c.db, "dbmsinfo", 1, SQLITE_UTF8, &c, fnDbmsinfo, nullptr, nullptr);
}

}  // namespace iiapi
