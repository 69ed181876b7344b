// One benchmark case per process, so the peak resident size belongs to that case alone.
//
//   tv_bench gen FILE ROWS                 make the table t(id, d, v, ts) with ROWS rows
//   tv_bench sqlite CASE FILE              the SQLite C API directly (the floor)
//   tv_bench odbc CASE CONNSTR             an ODBC driver through unixODBC
//
// CASE: fetch1, fetch100 (bound columns, rowset 1 or 100), getdata (SQLGetData per column),
// insert (100 000 rows, parameter arrays of 1000, one transaction), connect (connect + disconnect),
// static_open (a static cursor over the whole table: execute and fetch LAST), static_abs (then
// 10 000 fetches of rowset 10 at random ABSOLUTE positions; its rate is rowsets per second),
// static_values_open, static_values_abs, static_lock_open (the same over an updatable static
// cursor: values or lock concurrency, its rows named by their keys),
// keyset_open, keyset_abs (the same over a keyset-driven cursor, which reads every rowset again
// by its keys), dynamic_next, dynamic_prior (a dynamic cursor over the first 100 000 ids in the
// order of the table's keys, rowset 100: NEXT to the end, then PRIOR back to the start; each
// fetch seeks its rows' keys afresh; the rate is rows per second of each pass), insert_threads
// (insert on TV_BENCH_THREADS threads at once, each on a connection and file of its own: "%d" in
// CONNSTR or FILE is the thread's number; rows are those of all threads), connect_pooled (connect
// + disconnect with unixODBC's pooling on: its odbcinst.ini must say "Pooling = Yes" and give the
// driver a CPTimeout, or every connect is a whole one).
// Prints one line: "case rows seconds rows_per_second peak_kib cpu_seconds", or "case unsupported
// reason". cpu_seconds is the processor time the process spent in the measured part: on a
// machine shared with other work it moves far less than the wall clock.
//
// TV_BENCH_ROWS (environment) sets the rows of insert (a multiple of 1000, per thread for
// insert_threads) and the connects of connect and connect_pooled. Under callgrind with
// --collect-atstart=no only the measured part is counted, less the benchmark's own work in it
// (making the values it sends, checking those it reads): see bench/instructions.sh.
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define TV_TOGGLE_COUNT() CALLGRIND_TOGGLE_COLLECT
#else
#define TV_TOGGLE_COUNT() ((void)0)
#endif

namespace {

constexpr int kParamArray = 1000;
long g_insertRows = 100000;
int g_connects = 200;
int g_threads = 1;  // insert_threads
constexpr int kVarLen = 40;
constexpr int kStaticRowset = 10;
constexpr int kStaticFetches = 10000;
constexpr long kDynamicRows = 100000;
constexpr int kDynamicRowset = 100;

using Clock = std::chrono::steady_clock;

// Whether callgrind counts now; it starts off (--collect-atstart=no) and a toggle flips it.
bool g_counting = false;
void Count(bool on) {
    if (on == g_counting) return;
    g_counting = on;
    TV_TOGGLE_COUNT();
}
// The benchmark's own work inside a measured part is not counted.
struct NotCounted {
    bool was = g_counting;
    NotCounted() { Count(false); }
    ~NotCounted() { Count(was); }
};

double CpuSecs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double g_cpu0 = 0;  // processor time at the start of the measured part

// count: whether callgrind counts the measured part (never on several threads at once: the
// benchmark's own work is left out by toggling one process-wide switch).
Clock::time_point Start(bool count = true) {
    g_cpu0 = CpuSecs();
    if (count) Count(true);
    return Clock::now();
}

long PeakKib() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "tv_bench: %s\n", what.c_str());
    std::exit(1);
}

// cpu < 0: the processor time since the last Start().
void Report(const char* name, long rows, double secs, double cpu = -1) {
    Count(false);
    if (cpu < 0) cpu = CpuSecs() - g_cpu0;
    std::printf("%s %ld %.4f %.0f %ld %.4f\n", name, rows, secs, secs > 0 ? double(rows) / secs : 0.0, PeakKib(), cpu);
}

void Unsupported(const char* name, const std::string& why) { std::printf("%s unsupported %s\n", name, why.c_str()); }

// The varchar value of row i: varying length, 10 to 40 characters.
std::string VarText(long i) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "row %ld ", i);
    std::string s(buf, size_t(n));
    s.append(size_t(i % 31), char('a' + i % 26));
    if (s.size() > size_t(kVarLen)) s.resize(kVarLen);
    return s;
}

void TimestampOf(long i, SQL_TIMESTAMP_STRUCT& ts) {
    long sec = i * 37;
    ts.year = SQLSMALLINT(2000 + (i / 100000) % 25);
    ts.month = SQLUSMALLINT(1 + (i / 1000) % 12);
    ts.day = SQLUSMALLINT(1 + (i / 10) % 28);
    ts.hour = SQLUSMALLINT((sec / 3600) % 24);
    ts.minute = SQLUSMALLINT((sec / 60) % 60);
    ts.second = SQLUSMALLINT(sec % 60);
    ts.fraction = SQLUINTEGER((i % 1000) * 1000000);  // milliseconds, in nanoseconds
}

std::string TimestampText(const SQL_TIMESTAMP_STRUCT& ts) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%06u", ts.year, ts.month, ts.day, ts.hour, ts.minute,
                  ts.second, unsigned(ts.fraction / 1000));
    return buf;
}

// Whether a row read back holds the values the generator wrote for its id.
bool Matches(long id, double d, const std::string& v, const SQL_TIMESTAMP_STRUCT& ts) {
    NotCounted nc;
    SQL_TIMESTAMP_STRUCT want{};
    TimestampOf(id, want);
    return d == double(id) * 0.25 && v == VarText(id) && ts.year == want.year && ts.month == want.month &&
           ts.day == want.day && ts.hour == want.hour && ts.minute == want.minute && ts.second == want.second &&
           ts.fraction == want.fraction;
}

// ---- the file ------------------------------------------------------------------------------

void Exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) Die(std::string(sql) + ": " + (err ? err : "?"));
}

int Generate(const char* file, long rows) {
    std::remove(file);
    sqlite3* db = nullptr;
    if (sqlite3_open(file, &db) != SQLITE_OK) Die("cannot create " + std::string(file));
    Exec(db, "PRAGMA journal_mode=WAL");
    // Plain SQLite tables: both drivers read the declared types.
    Exec(db, "CREATE TABLE t (id integer NOT NULL, d double, v varchar(40), ts timestamp)");
    Exec(db, "CREATE TABLE ins (id integer NOT NULL, d double, v varchar(40), ts timestamp)");
    Exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?)", -1, &st, nullptr) != SQLITE_OK) Die("prepare");
    for (long i = 0; i < rows; ++i) {
        SQL_TIMESTAMP_STRUCT ts{};
        TimestampOf(i, ts);
        std::string v = VarText(i), t = TimestampText(ts);
        sqlite3_bind_int64(st, 1, i);
        sqlite3_bind_double(st, 2, double(i) * 0.25);
        sqlite3_bind_text(st, 3, v.c_str(), int(v.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, t.c_str(), int(t.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE) Die("insert");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
    Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
    std::printf("generated %ld rows in %s\n", rows, file);
    return 0;
}

// ---- inserts: g_insertRows rows into ins, one transaction, on one or several connections -----

// "%d" in a connection string or file name: the thread's number.
std::string Numbered(const std::string& pattern, int i) {
    std::string s = pattern;
    if (size_t at = s.find("%d"); at != std::string::npos) s.replace(at, 2, std::to_string(i));
    return s;
}

// An inserter (SqliteInserter, OdbcInserter) is made on its connection and file and empties the
// table; Run is the measured part, Check says whether the rows are there. Each step answers ""
// or what failed.
// Several threads each run an inserter of their own, on their own file, all starting together;
// the figures are the rows of all, the wall clock and the processor time of the whole process.
template <class Inserter>
int Inserts(const std::string& name, const std::string& target, int threads) {
    std::vector<std::unique_ptr<Inserter>> ins;
    std::vector<std::string> why(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        ins.push_back(std::make_unique<Inserter>(Numbered(target, i)));
        if (std::string w = ins.back()->Open(); !w.empty()) {
            Unsupported(name.c_str(), w);
            return 0;
        }
    }
    Clock::time_point t0;
    if (threads == 1) {
        t0 = Start();
        why[0] = ins[0]->Run();
    } else {
        std::latch go(1);
        std::vector<std::thread> running;
        for (int i = 0; i < threads; ++i)
            running.emplace_back([&, i] {
                go.wait();
                why[size_t(i)] = ins[size_t(i)]->Run();
            });
        t0 = Start(false);
        go.count_down();
        for (std::thread& t : running) t.join();
    }
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSecs() - g_cpu0;
    Count(false);
    for (int i = 0; i < threads; ++i) {
        if (why[size_t(i)].empty()) why[size_t(i)] = ins[size_t(i)]->Check();
        if (!why[size_t(i)].empty()) {
            Unsupported(name.c_str(), why[size_t(i)]);
            return 0;
        }
    }
    Report(name.c_str(), g_insertRows * threads, secs, cpu);
    return 0;
}

class SqliteInserter {
public:
    explicit SqliteInserter(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) Die("open " + file);
    }
    ~SqliteInserter() { sqlite3_close(db_); }
    std::string Open() {
        Exec(db_, "DELETE FROM ins");
        return "";
    }
    std::string Run() {
        Exec(db_, "BEGIN");
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, "INSERT INTO ins VALUES (?, ?, ?, ?)", -1, &st, nullptr) != SQLITE_OK)
            return "prepare";
        for (long i = 0; i < g_insertRows; ++i) {
            SQL_TIMESTAMP_STRUCT ts{};
            std::string v;
            {
                NotCounted nc;  // the application's values; the timestamp's text is the API's work
                TimestampOf(i, ts);
                v = VarText(i);
            }
            std::string t = TimestampText(ts);
            sqlite3_bind_int64(st, 1, i);
            sqlite3_bind_double(st, 2, double(i) * 0.25);
            sqlite3_bind_text(st, 3, v.c_str(), int(v.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 4, t.c_str(), int(t.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(st) != SQLITE_DONE) return std::string("insert: ") + sqlite3_errmsg(db_);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        Exec(db_, "COMMIT");
        return "";
    }
    std::string Check() {
        sqlite3_stmt* st = nullptr;
        long count = -1;
        if (sqlite3_prepare_v2(db_, "SELECT COUNT(*) FROM ins", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            count = long(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
        return count == g_insertRows ? "" : "table holds " + std::to_string(count) + " rows after the insert";
    }

private:
    sqlite3* db_ = nullptr;
};

// ---- the floor: SQLite's C API -------------------------------------------------------------

// The timestamp text into the ODBC structure, as a driver has to.
void ParseTimestamp(const unsigned char* s, SQL_TIMESTAMP_STRUCT& ts) {
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, us = 0;
    std::sscanf(reinterpret_cast<const char*>(s), "%u-%u-%u %u:%u:%u.%u", &y, &mo, &d, &h, &mi, &se, &us);
    ts.year = SQLSMALLINT(y);
    ts.month = SQLUSMALLINT(mo);
    ts.day = SQLUSMALLINT(d);
    ts.hour = SQLUSMALLINT(h);
    ts.minute = SQLUSMALLINT(mi);
    ts.second = SQLUSMALLINT(se);
    ts.fraction = us * 1000;
}

int SqliteCase(const std::string& name, const char* file) {
    if (name == "insert") return Inserts<SqliteInserter>(name, file, 1);
    if (name == "insert_threads") return Inserts<SqliteInserter>(name, file, g_threads);
    if (name == "connect") {
        auto t0 = Start();
        for (int i = 0; i < g_connects; ++i) {
            sqlite3* db = nullptr;
            if (sqlite3_open_v2(file, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) Die("open");
            sqlite3_close(db);
        }
        Report(name.c_str(), g_connects, std::chrono::duration<double>(Clock::now() - t0).count());
        return 0;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) Die("open");
    if (name == "fetch1" || name == "fetch100" || name == "getdata") {
        auto t0 = Start();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT id, d, v, ts FROM t", -1, &st, nullptr) != SQLITE_OK) Die("prepare");
        long rows = 0;
        long long sum = 0;
        char v[kVarLen + 1];
        SQL_TIMESTAMP_STRUCT ts{};
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_int64(st, 0);
            sum += static_cast<long long>(sqlite3_column_double(st, 1));
            const unsigned char* text = sqlite3_column_text(st, 2);
            int n = sqlite3_column_bytes(st, 2);
            std::memcpy(v, text, size_t(n > kVarLen ? kVarLen : n));
            ParseTimestamp(sqlite3_column_text(st, 3), ts);
            sum += ts.day;
            ++rows;
        }
        sqlite3_finalize(st);
        Report(name.c_str(), rows, std::chrono::duration<double>(Clock::now() - t0).count());
        if (sum == 42) std::puts("");  // keeps the reads
    } else if (name.starts_with("static_") || name.starts_with("keyset_") || name.starts_with("dynamic_")) {
        Unsupported(name.c_str(), "the C API has no scrollable cursor");
    } else if (name == "connect_pooled") {
        Unsupported(name.c_str(), "the C API has no connection pool");
    } else {
        Die("unknown case " + name);
    }
    sqlite3_close(db);
    return 0;
}

// ---- ODBC ----------------------------------------------------------------------------------

std::string Diag(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {}, msg[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len))) return "no diagnostic";
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(msg);
}

struct Odbc {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    explicit Odbc(const char* conn) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        SQLCHAR out[1024];
        SQLSMALLINT outLen = 0;
        SQLRETURN rc =
            SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn, SQL_NTS, out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) Die("connect: " + Diag(SQL_HANDLE_DBC, dbc));
    }
    ~Odbc() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// What failed: the function called and its diagnostic.
std::string Failure(const char* call, SQLSMALLINT type, SQLHANDLE h) {
    return std::string(call).substr(0, std::string(call).find('(')) + ": " + Diag(type, h);
}

// A failed call ends the case as unsupported (the driver cannot run it), naming the call.
#define CHECK(call, type, h)                                    \
    do {                                                        \
        SQLRETURN rc_ = (call);                                 \
        if (!SQL_SUCCEEDED(rc_)) {                              \
            Unsupported(name.c_str(), Failure(#call, type, h)); \
            return 0;                                           \
        }                                                       \
    } while (0)
// The same in a step that answers what failed.
#define TRY(call, type, h)                                       \
    do {                                                         \
        SQLRETURN rc_ = (call);                                  \
        if (!SQL_SUCCEEDED(rc_)) return Failure(#call, type, h); \
    } while (0)

int OdbcFetch(const std::string& name, const char* conn) {
    const SQLULEN rowset = name == "fetch100" ? 100 : 1;
    Odbc o(conn);
    auto t0 = Start();
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, o.dbc, &st);
    std::vector<SQLBIGINT> id(rowset);
    std::vector<double> d(rowset);
    std::vector<SQLCHAR> v(rowset * (kVarLen + 1));
    std::vector<SQL_TIMESTAMP_STRUCT> ts(rowset);
    std::vector<SQLLEN> ind(rowset * 4);
    SQLULEN fetched = 0;
    if (rowset > 1) {
        CHECK(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0), SQL_HANDLE_STMT,
              st);
    }
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, st);
    CHECK(SQLExecDirect(st, (SQLCHAR*)"SELECT id, d, v, ts FROM t", SQL_NTS), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 1, SQL_C_SBIGINT, id.data(), 0, &ind[0]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 2, SQL_C_DOUBLE, d.data(), 0, &ind[rowset]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 3, SQL_C_CHAR, v.data(), kVarLen + 1, &ind[2 * rowset]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 4, SQL_C_TYPE_TIMESTAMP, ts.data(), sizeof(SQL_TIMESTAMP_STRUCT), &ind[3 * rowset]),
          SQL_HANDLE_STMT, st);
    long rows = 0;
    long long sum = 0;
    std::string bad;
    for (;;) {
        SQLRETURN rc = SQLFetch(st);
        if (rc == SQL_NO_DATA) break;
        CHECK(rc, SQL_HANDLE_STMT, st);
        for (SQLULEN k = 0; k < fetched; ++k) sum += id[k];
        rows += long(fetched);
        if (!bad.empty()) continue;
        // Every row's values are checked against the generator, cheaply: one row per block.
        const SQLULEN k = fetched - 1;
        std::string got(reinterpret_cast<char*>(&v[k * (kVarLen + 1)]));
        if (!Matches(id[k], d[k], got, ts[k])) bad = "row " + std::to_string(id[k]) + " read back wrong: " + got;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSecs() - g_cpu0;
    Count(false);
    if (bad.empty() && sum != static_cast<long long>(rows) * (rows - 1) / 2) bad = "ids do not add up";
    if (!bad.empty()) {
        Unsupported(name.c_str(), bad);
        return 0;
    }
    Report(name.c_str(), rows, secs, cpu);
    return 0;
}

int OdbcGetData(const std::string& name, const char* conn) {
    Odbc o(conn);
    auto t0 = Start();
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, o.dbc, &st);
    CHECK(SQLExecDirect(st, (SQLCHAR*)"SELECT id, d, v, ts FROM t", SQL_NTS), SQL_HANDLE_STMT, st);
    long rows = 0;
    long long sum = 0;
    std::string bad;
    SQLBIGINT id;
    double d;
    SQLCHAR v[kVarLen + 1];
    SQL_TIMESTAMP_STRUCT ts;
    SQLLEN ind;
    for (;;) {
        SQLRETURN rc = SQLFetch(st);
        if (rc == SQL_NO_DATA) break;
        CHECK(rc, SQL_HANDLE_STMT, st);
        CHECK(SQLGetData(st, 1, SQL_C_SBIGINT, &id, 0, &ind), SQL_HANDLE_STMT, st);
        CHECK(SQLGetData(st, 2, SQL_C_DOUBLE, &d, 0, &ind), SQL_HANDLE_STMT, st);
        CHECK(SQLGetData(st, 3, SQL_C_CHAR, v, sizeof v, &ind), SQL_HANDLE_STMT, st);
        CHECK(SQLGetData(st, 4, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind), SQL_HANDLE_STMT, st);
        sum += id;
        ++rows;
        if (bad.empty() && !Matches(id, d, reinterpret_cast<char*>(v), ts))
            bad = "row " + std::to_string(id) + " read back wrong: " + reinterpret_cast<char*>(v);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSecs() - g_cpu0;
    Count(false);
    if (bad.empty() && sum != static_cast<long long>(rows) * (rows - 1) / 2) bad = "ids do not add up";
    if (!bad.empty()) {
        Unsupported(name.c_str(), bad);
        return 0;
    }
    Report(name.c_str(), rows, secs, cpu);
    return 0;
}

class OdbcInserter {
public:
    explicit OdbcInserter(const std::string& conn) : o_(conn.c_str()) { SQLAllocHandle(SQL_HANDLE_STMT, o_.dbc, &st_); }
    ~OdbcInserter() { SQLFreeHandle(SQL_HANDLE_STMT, st_); }
    std::string Open() {
        // Deleting nothing is SQL_NO_DATA.
        if (SQLRETURN rc = SQLExecDirect(st_, (SQLCHAR*)"DELETE FROM ins", SQL_NTS); rc != SQL_NO_DATA) {
            TRY(rc, SQL_HANDLE_STMT, st_);
        }
        SQLFreeStmt(st_, SQL_CLOSE);
        TRY(SQLSetConnectAttr(o_.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
            SQL_HANDLE_DBC, o_.dbc);
        return "";
    }
    std::string Run() {
        SQLHSTMT st = st_;
        TRY(SQLPrepare(st, (SQLCHAR*)"INSERT INTO ins VALUES (?, ?, ?, ?)", SQL_NTS), SQL_HANDLE_STMT, st);
        TRY(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(kParamArray)), 0),
            SQL_HANDLE_STMT, st);
        TRY(SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed_, 0), SQL_HANDLE_STMT, st);
        TRY(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, id_.data(), 0, nullptr),
            SQL_HANDLE_STMT, st);
        TRY(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, d_.data(), 0, nullptr),
            SQL_HANDLE_STMT, st);
        TRY(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, kVarLen, 0, v_.data(), kVarLen + 1,
                             vlen_.data()),
            SQL_HANDLE_STMT, st);
        TRY(SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, ts_.data(),
                             sizeof(SQL_TIMESTAMP_STRUCT), nullptr),
            SQL_HANDLE_STMT, st);
        for (long base = 0; base < g_insertRows; base += kParamArray) {
            {
                NotCounted nc;  // the application's values
                for (int k = 0; k < kParamArray; ++k) {
                    long i = base + k;
                    id_[size_t(k)] = i;
                    d_[size_t(k)] = double(i) * 0.25;
                    std::string s = VarText(i);
                    std::memcpy(&v_[size_t(k) * (kVarLen + 1)], s.c_str(), s.size() + 1);
                    vlen_[size_t(k)] = SQLLEN(s.size());
                    TimestampOf(i, ts_[size_t(k)]);
                }
            }
            TRY(SQLExecute(st), SQL_HANDLE_STMT, st);
            processedAll_ += long(processed_);
        }
        TRY(SQLEndTran(SQL_HANDLE_DBC, o_.dbc, SQL_COMMIT), SQL_HANDLE_DBC, o_.dbc);
        return "";
    }
    // The rows must really be there.
    std::string Check() {
        SQLHSTMT st = st_;
        SQLFreeStmt(st, SQL_RESET_PARAMS);
        SQLFreeStmt(st, SQL_CLOSE);
        TRY(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0), SQL_HANDLE_STMT,
            st);
        TRY(SQLExecDirect(st, (SQLCHAR*)"SELECT COUNT(*) FROM ins", SQL_NTS), SQL_HANDLE_STMT, st);
        SQLBIGINT count = 0;
        TRY(SQLFetch(st), SQL_HANDLE_STMT, st);
        TRY(SQLGetData(st, 1, SQL_C_SBIGINT, &count, 0, nullptr), SQL_HANDLE_STMT, st);
        SQLFreeStmt(st, SQL_CLOSE);
        SQLEndTran(SQL_HANDLE_DBC, o_.dbc, SQL_COMMIT);
        if (count == g_insertRows) return "";
        return "table holds " + std::to_string(count) + " rows after the insert (" + std::to_string(processedAll_) +
               " processed)";
    }

private:
    Odbc o_;
    SQLHSTMT st_ = SQL_NULL_HSTMT;
    std::vector<SQLBIGINT> id_ = std::vector<SQLBIGINT>(kParamArray);
    std::vector<double> d_ = std::vector<double>(kParamArray);
    std::vector<SQLCHAR> v_ = std::vector<SQLCHAR>(size_t(kParamArray) * (kVarLen + 1));
    std::vector<SQL_TIMESTAMP_STRUCT> ts_ = std::vector<SQL_TIMESTAMP_STRUCT>(kParamArray);
    std::vector<SQLLEN> vlen_ = std::vector<SQLLEN>(kParamArray);
    SQLULEN processed_ = 0;
    long processedAll_ = 0;
};

// A scrollable cursor over the whole table: open and fetch LAST, then random ABSOLUTE rowsets.
// The two figures come from one run (*_open prints the first, *_abs the second).
int OdbcScrollable(const std::string& name, const char* conn, SQLULEN cursorType,
                   SQLULEN concurrency = SQL_CONCUR_READ_ONLY) {
    Odbc o(conn);
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, o.dbc, &st);
    const SQLULEN rowset = kStaticRowset;
    std::vector<SQLBIGINT> id(rowset);
    std::vector<double> d(rowset);
    std::vector<SQLCHAR> v(rowset * (kVarLen + 1));
    std::vector<SQL_TIMESTAMP_STRUCT> ts(rowset);
    std::vector<SQLLEN> ind(rowset * 4);
    SQLULEN fetched = 0;
    auto t0 = Start();
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursorType), 0), SQL_HANDLE_STMT, st);
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0), SQL_HANDLE_STMT, st);
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, st);
    const bool updatable = concurrency != SQL_CONCUR_READ_ONLY;
    if (updatable) SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(concurrency), 0);
    SQLULEN type = 0;
    CHECK(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_HANDLE_STMT, st);
    if (type != cursorType) {
        Unsupported(name.c_str(), cursorType == SQL_CURSOR_STATIC ? "no static cursor" : "no keyset-driven cursor");
        return 0;
    }
    CHECK(SQLExecDirect(st, (SQLCHAR*)"SELECT id, d, v, ts FROM t", SQL_NTS), SQL_HANDLE_STMT, st);
    SQLULEN granted = concurrency;
    if (updatable) CHECK(SQLGetStmtAttr(st, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr), SQL_HANDLE_STMT, st);
    if (granted != concurrency) {
        Unsupported(name.c_str(), concurrency == SQL_CONCUR_LOCK ? "no lock concurrency" : "no values concurrency");
        return 0;
    }
    CHECK(SQLBindCol(st, 1, SQL_C_SBIGINT, id.data(), 0, &ind[0]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 2, SQL_C_DOUBLE, d.data(), 0, &ind[rowset]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 3, SQL_C_CHAR, v.data(), kVarLen + 1, &ind[2 * rowset]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 4, SQL_C_TYPE_TIMESTAMP, ts.data(), sizeof(SQL_TIMESTAMP_STRUCT), &ind[3 * rowset]),
          SQL_HANDLE_STMT, st);
    CHECK(SQLFetchScroll(st, SQL_FETCH_LAST, 0), SQL_HANDLE_STMT, st);
    const double openSecs = std::chrono::duration<double>(Clock::now() - t0).count();
    const double openCpu = CpuSecs() - g_cpu0;
    if (fetched == 0) {
        Unsupported(name.c_str(), "LAST fetched no row");
        return 0;
    }
    // The last rowset ends at the last row, so its last id is the row count less one.
    const long total = long(id[fetched - 1]) + 1;
    std::string bad;
    auto check = [&](long first) {
        if (!bad.empty()) return;
        const SQLULEN want = SQLULEN(std::min<long>(long(rowset), total - first));
        if (fetched != want)
            bad = "rowset at " + std::to_string(first + 1) + " holds " + std::to_string(fetched) + " rows";
        for (SQLULEN k = 0; k < fetched && bad.empty(); ++k) {
            std::string got(reinterpret_cast<char*>(&v[k * (kVarLen + 1)]));
            if (id[k] != first + long(k) || !Matches(id[k], d[k], got, ts[k]))
                bad =
                    "row " + std::to_string(first + long(k)) + " read back wrong: " + std::to_string(id[k]) + " " + got;
        }
    };
    check(total - long(std::min<long>(long(rowset), total)));
    // A fixed seed: every driver reads the same positions.
    unsigned long long seed = 88172645463325252ull;
    auto t1 = Start();
    for (int i = 0; i < kStaticFetches; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        const long first = long(seed % (unsigned long long)total);
        CHECK(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, SQLLEN(first + 1)), SQL_HANDLE_STMT, st);
        check(first);
    }
    const double absSecs = std::chrono::duration<double>(Clock::now() - t1).count();
    const double absCpu = CpuSecs() - g_cpu0;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (!bad.empty()) {
        Unsupported(name.c_str(), bad);
        return 0;
    }
    if (name.ends_with("_open"))
        Report(name.c_str(), total, openSecs, openCpu);
    else
        Report(name.c_str(), kStaticFetches, absSecs, absCpu);
    return 0;
}

// A dynamic cursor through the first kDynamicRows ids: NEXT to the end, then PRIOR back to the
// start, every rowset checked. Without an ORDER BY the cursor orders by the table's keys (its row
// ids, in the order the rows were written), so each seek starts at an index; an ORDER BY on the
// column id, which has no index here, would scan and sort the table at every fetch. One run gives
// both figures (*_next the first, *_prior the second).
int OdbcDynamic(const std::string& name, const char* conn) {
    Odbc o(conn);
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, o.dbc, &st);
    const SQLULEN rowset = kDynamicRowset;
    std::vector<SQLBIGINT> id(rowset);
    std::vector<double> d(rowset);
    std::vector<SQLCHAR> v(rowset * (kVarLen + 1));
    std::vector<SQL_TIMESTAMP_STRUCT> ts(rowset);
    std::vector<SQLLEN> ind(rowset * 4);
    SQLULEN fetched = 0;
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0),
          SQL_HANDLE_STMT, st);
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0), SQL_HANDLE_STMT, st);
    CHECK(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, st);
    SQLULEN type = 0;
    CHECK(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), SQL_HANDLE_STMT, st);
    if (type != SQL_CURSOR_DYNAMIC) {
        Unsupported(name.c_str(), "no dynamic cursor");
        return 0;
    }
    const std::string sql = "SELECT id, d, v, ts FROM t WHERE id < " + std::to_string(kDynamicRows);
    auto t0 = Start();
    CHECK(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 1, SQL_C_SBIGINT, id.data(), 0, &ind[0]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 2, SQL_C_DOUBLE, d.data(), 0, &ind[rowset]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 3, SQL_C_CHAR, v.data(), kVarLen + 1, &ind[2 * rowset]), SQL_HANDLE_STMT, st);
    CHECK(SQLBindCol(st, 4, SQL_C_TYPE_TIMESTAMP, ts.data(), sizeof(SQL_TIMESTAMP_STRUCT), &ind[3 * rowset]),
          SQL_HANDLE_STMT, st);
    std::string bad;
    auto check = [&](long first) {
        for (SQLULEN k = 0; k < fetched && bad.empty(); ++k) {
            std::string got(reinterpret_cast<char*>(&v[k * (kVarLen + 1)]));
            if (id[k] != first + long(k) || !Matches(id[k], d[k], got, ts[k]))
                bad = "row " + std::to_string(first + long(k)) + " read back wrong: " + std::to_string(id[k]);
        }
    };
    long seen = 0;
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
        check(seen);
        seen += long(fetched);
    }
    if (rc != SQL_NO_DATA) Die("NEXT: " + Diag(SQL_HANDLE_STMT, st));
    const double nextSecs = std::chrono::duration<double>(Clock::now() - t0).count();
    const double nextCpu = CpuSecs() - g_cpu0;
    const long total = seen;
    auto t1 = Start();
    long back = 0;
    while ((rc = SQLFetchScroll(st, SQL_FETCH_PRIOR, 0)) == SQL_SUCCESS) {
        back += long(fetched);
        check(total - back);
    }
    if (rc != SQL_NO_DATA) Die("PRIOR: " + Diag(SQL_HANDLE_STMT, st));
    const double priorSecs = std::chrono::duration<double>(Clock::now() - t1).count();
    const double priorCpu = CpuSecs() - g_cpu0;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (bad.empty() && back != total) bad = "PRIOR read " + std::to_string(back) + " of " + std::to_string(total);
    if (!bad.empty()) {
        Unsupported(name.c_str(), bad);
        return 0;
    }
    if (name.ends_with("_next"))
        Report(name.c_str(), total, nextSecs, nextCpu);
    else
        Report(name.c_str(), back, priorSecs, priorCpu);
    return 0;
}

int OdbcConnect(const std::string& name, const char* conn) {
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    // The first connect loads the driver: outside the measured loop.
    for (int round = 0; round < 2; ++round) {
        const int n = round == 0 ? 1 : g_connects;
        auto t0 = Start();
        for (int i = 0; i < n; ++i) {
            SQLHDBC dbc = SQL_NULL_HDBC;
            SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
            SQLRETURN rc =
                SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
            if (!SQL_SUCCEEDED(rc)) Die("connect: " + Diag(SQL_HANDLE_DBC, dbc));
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (round == 1) Report(name.c_str(), n, std::chrono::duration<double>(Clock::now() - t0).count());
        Count(false);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "gen") == 0) return Generate(argv[2], std::atol(argv[3]));
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s gen FILE ROWS | sqlite CASE FILE | odbc CASE CONNSTR\n", argv[0]);
        return 2;
    }
    if (const char* n = std::getenv("TV_BENCH_ROWS"); n && std::atol(n) > 0) {
        g_insertRows = std::max<long>(kParamArray, std::atol(n) / kParamArray * kParamArray);
        g_connects = int(std::atol(n));
    }
    if (const char* n = std::getenv("TV_BENCH_THREADS"); n && std::atoi(n) > 0) g_threads = std::atoi(n);
    const std::string target = argv[1], name = argv[2];
    if (target == "sqlite") {
        // With the setting the engine makes when it starts SQLite: the statistics' lock of the
        // whole process around every allocation would otherwise be the loop's own cost.
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return SqliteCase(name, argv[3]);
    }
    if (target != "odbc") Die("unknown target " + target);
    if (name == "fetch1" || name == "fetch100") return OdbcFetch(name, argv[3]);
    if (name == "getdata") return OdbcGetData(name, argv[3]);
    if (name == "insert") return Inserts<OdbcInserter>(name, argv[3], 1);
    if (name == "insert_threads") return Inserts<OdbcInserter>(name, argv[3], g_threads);
    // Pooled or not, as unixODBC's odbcinst.ini says.
    if (name == "connect" || name == "connect_pooled") return OdbcConnect(name, argv[3]);
    if (name == "static_open" || name == "static_abs") return OdbcScrollable(name, argv[3], SQL_CURSOR_STATIC);
    if (name == "static_values_open" || name == "static_values_abs")
        return OdbcScrollable(name, argv[3], SQL_CURSOR_STATIC, SQL_CONCUR_VALUES);
    if (name == "static_lock_open") return OdbcScrollable(name, argv[3], SQL_CURSOR_STATIC, SQL_CONCUR_LOCK);
    if (name == "keyset_open" || name == "keyset_abs") return OdbcScrollable(name, argv[3], SQL_CURSOR_KEYSET_DRIVEN);
    if (name == "dynamic_next" || name == "dynamic_prior") return OdbcDynamic(name, argv[3]);
    Die("unknown case " + name);
}
