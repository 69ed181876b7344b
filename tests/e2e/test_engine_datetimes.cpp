// Dates, times and timestamps found by value through the Driver Manager, for both builds: a
// parameter bound as a timestamp, date or time structure or as text, and the ODBC and Ingres
// literal forms, meet the column's stored value whatever its fraction digits, in every table
// however it got its columns (declared, CREATE TABLE AS, ALTER TABLE ADD) and in a view; and a
// plain SQLite file's timestamp column, which another program made, takes them in one form.
#include <sqlite3.h>

#include <string>
#include <vector>

#include "iiapi/iiapi.h"
#include "results_fixture.h"

namespace resultstest {
namespace {

class DateValues : public ResultsTest {
protected:
    // Where rows are read (`read`) and added (`write`): a table declared with its columns, one
    // CREATE TABLE AS made from it, a view over that one, and one whose columns ALTER TABLE ADD
    // gave it.
    struct Source {
        std::string read, write;
    };
    std::vector<Source> sources;
    std::string t;  // the source read now
    std::string view;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        view = Table("dtvals_view");
        Exec("drop view " + view);
        SQLFreeStmt(stmt, SQL_CLOSE);
        const std::string declared =
            Make("dtvals", "n integer, ts timestamp(6), t0 timestamp(0), da ansidate, ig date, tm time");
        AddRows(declared);
        const std::string copy = Table("dtvals_as");
        Exec("drop table " + copy);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + copy + " as select * from " + declared);
        tables.push_back(copy);
        Must("create view " + view + " as select * from " + copy);
        const std::string added = Make("dtvals_add", "n integer");
        for (const char* column : {"ts timestamp(6)", "t0 timestamp(0)", "da ansidate", "ig date", "tm time"})
            Must("alter table " + added + " add column " + column);
        AddRows(added);
        sources = {{declared, declared}, {copy, copy}, {view, copy}, {added, added}};
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop view " + view);
        }
        ResultsTest::TearDown();
    }
    void AddRows(const std::string& table) {
        Must("insert into " + table +
             " values (1, '2024-01-15 10:20:30.123456', '2024-01-15 10:20:30', '2024-01-15', "
             "'2024-01-15 10:20:30', '10:20:30')");
        Must("insert into " + table +
             " values (2, '2024-01-16 00:00:00', '2024-01-16 00:00:00', '2024-01-16', '2024-01-16', '23:00:00')");
    }
    // The n of every row that sql (with its one parameter bound by bind) finds, in order.
    template <class Bind>
    std::vector<int> Found(const std::string& where, Bind bind) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        const std::string sql = "select n from " + t + " where " + where + " order by n";
        EXPECT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << sql << ": " << Diag();
        bind();
        SQLRETURN rc = SQLExecute(stmt);
        EXPECT_EQ(SQL_SUCCESS, rc) << sql << ": " << Diag();
        std::vector<int> ns = SQL_SUCCEEDED(rc) ? ReadIds() : std::vector<int>();
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return ns;
    }
    using Ns = std::vector<int>;
};

// A timestamp structure as pyodbc binds a datetime (column size 26, 6 digits) and as other
// applications bind it (29 and 9, 19 and 0).
TEST_P(DateValues, TimestampParametersFindTheirRow) {
    struct Case {
        const char* where;
        SQL_TIMESTAMP_STRUCT v;
        SQLULEN size;
        SQLSMALLINT digits;
        Ns rows;
    };
    const std::vector<Case> cases = {
        {"ts = ?", {2024, 1, 15, 10, 20, 30, 123456000}, 26, 6, {1}},
        {"ts = ?", {2024, 1, 15, 10, 20, 30, 123456000}, 29, 9, {1}},
        {"ts = ?", {2024, 1, 15, 10, 20, 30, 123457000}, 26, 6, {}},
        {"ts = ?", {2024, 1, 16, 0, 0, 0, 0}, 19, 0, {2}},
        {"t0 = ?", {2024, 1, 15, 10, 20, 30, 0}, 19, 0, {1}},
        {"t0 = ?", {2024, 1, 15, 10, 20, 30, 500000000}, 26, 6, {}},
        {"ig = ?", {2024, 1, 15, 10, 20, 30, 0}, 19, 0, {1}},
        {"ig = ?", {2024, 1, 16, 0, 0, 0, 0}, 19, 0, {2}},
        {"da = ?", {2024, 1, 16, 0, 0, 0, 0}, 19, 0, {2}},
        {"ts >= ?", {2024, 1, 15, 10, 20, 30, 123456000}, 26, 6, {1, 2}},
        {"ts > ?", {2024, 1, 15, 10, 20, 30, 123456000}, 26, 6, {2}},
        {"ts between ? and {ts '2024-01-15 23:59:59'}", {2024, 1, 15, 10, 20, 30, 123456000}, 26, 6, {1}},
        {"ts in (?, {ts '2024-01-16 00:00:00'})", {2024, 1, 15, 10, 20, 30, 123456000}, 26, 6, {1, 2}},
    };
    for (const Source& source : sources) {
        t = source.read;
        SCOPED_TRACE(t);
        for (const Case& c : cases) {
            SQL_TIMESTAMP_STRUCT v = c.v;
            SQLLEN ind = 0;
            EXPECT_EQ(c.rows, Found(c.where,
                                    [&] {
                                        ASSERT_EQ(SQL_SUCCESS,
                                                  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                                                                   SQL_TYPE_TIMESTAMP, c.size, c.digits, &v, 0, &ind))
                                            << Diag();
                                    }))
                << c.where << " fraction " << c.v.fraction << " size " << c.size;
        }
    }
}

TEST_P(DateValues, DateTimeAndTextParametersFindTheirRow) {
    for (const Source& source : sources) {
        t = source.read;
        SCOPED_TRACE(t);
        SQLLEN ind = 0;
        SQL_DATE_STRUCT day{2024, 1, 16};
        auto date = [&] {
            ASSERT_EQ(SQL_SUCCESS,
                      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &day, 0, &ind))
                << Diag();
        };
        EXPECT_EQ((Ns{2}), Found("da = ?", date));
        EXPECT_EQ((Ns{2}), Found("ig = ?", date));
        EXPECT_EQ((Ns{2}), Found("ts = ?", date)) << "a date meets a timestamp at its midnight";
        EXPECT_EQ((Ns{1}), Found("ts < ?", date));
        SQL_TIME_STRUCT clock{10, 20, 30};
        auto time = [&] {
            ASSERT_EQ(SQL_SUCCESS,
                      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIME, SQL_TYPE_TIME, 8, 0, &clock, 0, &ind))
                << Diag();
        };
        EXPECT_EQ((Ns{1}), Found("tm = ?", time));
        EXPECT_EQ((Ns{2}), Found("tm > ?", time));
        // Text in the forms applications write.
        for (const auto& [where, text, rows] : std::vector<std::tuple<const char*, const char*, Ns>>{
                 {"ts = ?", "2024-01-15 10:20:30.123456000", {1}},
                 {"ts = ?", "2024-01-15 10:20:30.123456", {1}},
                 {"ts = ?", "2024-01-16", {2}},
                 {"t0 = ?", "2024-01-15 10:20:30.000", {1}},
                 {"t0 = ?", "15-jan-2024 10:20:30", {1}},
                 {"ig = ?", "2024-01-15 10:20:30", {1}},
                 {"da = ?", "01/16/2024", {2}},
                 {"tm = ?", "10:20:30.000000", {1}},
             }) {
            std::string buf = text;
            SQLLEN len = SQL_NTS;
            EXPECT_EQ(rows, Found(where,
                                  [&] {
                                      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR,
                                                                              SQL_VARCHAR, 40, 0, buf.data(), 0, &len))
                                          << Diag();
                                  }))
                << where << " with '" << text << "'";
        }
    }
}

TEST_P(DateValues, LiteralsInOdbcAndIngresFormsFindTheirRow) {
    const std::vector<std::pair<const char*, Ns>> cases = {
        {"ig = {ts '2024-01-15 10:20:30'}", {1}},
        {"ts = {ts '2024-01-16 00:00:00'}", {2}},
        {"ts = {d '2024-01-16'}", {2}},
        {"t0 = {ts '2024-01-15 10:20:30.000'}", {1}},
        {"da = {d '2024-01-15'}", {1}},
        {"ig = {d '2024-01-16'}", {2}},
        {"tm = {t '23:00:00'}", {2}},
        {"ts = '2024_01_15 10:20:30.123456000'", {1}},
        {"ts = TIMESTAMP '2024-01-16 00:00:00'", {2}},
        {"t0 = '15-jan-2024 10:20:30'", {1}},
        {"ts < '2024-01-15 10:20:30.1234561'", {1}},
        {"tm = TIME '10:20:30'", {1}},
    };
    for (const Source& source : sources) {
        t = source.read;
        SCOPED_TRACE(t);
        for (const auto& [where, rows] : cases) EXPECT_EQ(rows, Found(where, [] {})) << where;
        // Ordering and grouping agree: two spellings of one instant are one group.
        Must("insert into " + source.write + " (n, ts) values (3, '2024_01_15 10:20:30.123456000')");
        Must("insert into " + source.write + " (n, ts) values (4, '2024-01-15 10:20:30.123455')");
        EXPECT_EQ((Ns{4, 1, 3, 2}), ForwardIds("select n from " + t + " order by ts, n"));
        EXPECT_EQ((Ns{1, 1, 2}), ForwardIds("select count(*) from " + t + " group by ts order by 1"));
        Must("delete from " + source.write + " where n > 2");
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, DateValues, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

// A table another program made in the file has no date triggers: what is written into its
// timestamp column through the driver is stored in the one form of the program's own values
// ("yyyy-mm-dd hh:mm:ss" and six fraction digits when there is a fraction), so that it compares
// and sorts with them by its bytes.
class PlainFileDates : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("plain_ts");
        char path[512];
        ASSERT_EQ(0, iiengine_databasePath(Dsn().c_str(), path, sizeof path));
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(path, &db));
        sqlite3_busy_timeout(db, 5000);
        const std::string make = "DROP TABLE IF EXISTS " + t + "; CREATE TABLE " + t +
                                 " (n integer, d timestamp); INSERT INTO " + t +
                                 " VALUES (1, '2020-01-15 09:00:00.250000'), (2, '2020-03-01 00:00:00');";
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, make.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
        sqlite3_close(db);
        tables.push_back(t);
    }
    std::vector<std::string> StoredTexts() {
        char path[512];
        std::vector<std::string> out;
        EXPECT_EQ(0, iiengine_databasePath(Dsn().c_str(), path, sizeof path));
        sqlite3* db = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open(path, &db));
        sqlite3_stmt* st = nullptr;
        const std::string sql = "SELECT d FROM " + t + " ORDER BY n";
        EXPECT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr)) << sqlite3_errmsg(db);
        while (st && sqlite3_step(st) == SQLITE_ROW)
            out.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }
};

TEST_P(PlainFileDates, TimestampsWrittenThroughTheDriverCompareAndSortWithTheFilesOwn) {
    const std::string sql = "insert into " + t + " values (?, ?)";
    const struct {
        SQLINTEGER n;
        SQL_TIMESTAMP_STRUCT v;
    } rows[] = {
        {3, {2020, 1, 15, 10, 0, 0, 500000000}},
        {4, {2020, 1, 15, 10, 0, 0, 0}},
        {5, {2020, 2, 10, 8, 30, 0, 123456789}},
    };
    for (const auto& r : rows) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        SQLINTEGER n = r.n;
        SQL_TIMESTAMP_STRUCT v = r.v;
        SQLLEN ind = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &ind));
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 29,
                                                9, &v, 0, &ind));
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    }
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    EXPECT_EQ(StoredTexts(), (std::vector<std::string>{"2020-01-15 09:00:00.250000", "2020-03-01 00:00:00",
                                                       "2020-01-15 10:00:00.500000", "2020-01-15 10:00:00",
                                                       "2020-02-10 08:30:00.123456789"}));
    EXPECT_EQ((std::vector<int>{1, 4, 3, 5, 2}), ForwardIds("select n from " + t + " order by d"));
    EXPECT_EQ((std::vector<int>{1, 4, 3}), ForwardIds("select n from " + t + " where d < '2020-02-01' order by d"));
    EXPECT_EQ((std::vector<int>{3}),
              ForwardIds("select n from " + t + " where d > '2020-01-15 10:00:00' and d < '2020-02-01'"));
    // Read back whole.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select d from " + t + " where n = 5")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQL_TIMESTAMP_STRUCT back{};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_TYPE_TIMESTAMP, &back, sizeof back, &len)) << Diag();
    EXPECT_EQ(back.fraction, 123456789u);
    EXPECT_EQ(back.month, 2);
    SQLFreeStmt(stmt, SQL_CLOSE);
}

INSTANTIATE_TEST_SUITE_P(Builds, PlainFileDates, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
