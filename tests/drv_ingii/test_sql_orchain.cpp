// The OR-chain rewrite: done only where the rewritten statement returns the same rows.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "drv_ingii/i-sql.h"

namespace {

std::string translate(const std::string& sql, uint16_t* markers = nullptr) {
    IngSqlText block{};
    IngTranslateSql(&block, sql.c_str());
    std::string out = block.ingres;
    if (markers) *markers = block.markers;
    IngSqlTextFree(&block);
    return out;
}

std::string chain(int terms, const std::string& term, const std::string& sep = " OR ") {
    std::string s;
    for (int i = 0; i < terms; ++i) s += (i ? sep : "") + term;
    return s;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(SqlOrChain, ParenthesisedChainWithOrderBySplitsIntoBranchesOfTen) {
    std::string sql = "SELECT DISTINCT k, n FROM t WHERE (" + chain(12, "k = ?") + ") ORDER BY k";
    uint16_t markers = 0;
    std::string out = translate(sql, &markers);
    std::string branch1 = "SELECT DISTINCT k, n FROM t WHERE (" + chain(10, "(k = ?)") + ")";
    std::string branch2 = "SELECT DISTINCT k, n FROM t WHERE (" + chain(2, "(k = ?)") + ")";
    EXPECT_EQ(out, branch1 + " UNION " + branch2 + " ORDER BY k");
    EXPECT_EQ(markers, 12);
    EXPECT_EQ(count(out, "?"), 12u);
}

TEST(SqlOrChain, BareChainAndMultiMarkerTerms) {
    std::string sql = "select distinct a from t where " + chain(11, "a = ?");
    EXPECT_EQ(translate(sql),
              "select distinct a from t where " + chain(10, "a = ?") + " UNION select distinct a from t where a = ?");
    // Three terms of four markers: two terms per branch.
    std::string term = "(a = ? AND b = ? AND c = ? AND d = ?)";
    std::string multi = "SELECT DISTINCT a, b FROM t WHERE " + chain(3, term);
    EXPECT_EQ(translate(multi), "SELECT DISTINCT a, b FROM t WHERE " + chain(2, term) +
                                    " UNION SELECT DISTINCT a, b FROM t WHERE " + term);
}

TEST(SqlOrChain, AndConditionAfterTheChainGoesIntoEveryBranch) {
    std::string sql = "SELECT DISTINCT k FROM t WHERE (" + chain(11, "k = ?") + ") AND b = 5 ORDER BY 1 DESC";
    std::string out = translate(sql);
    EXPECT_EQ(count(out, " UNION "), 1u);
    EXPECT_EQ(count(out, "AND b = 5"), 2u);
    EXPECT_EQ(out.substr(out.size() - 16), " ORDER BY 1 DESC");
}

TEST(SqlOrChain, OrInsideLiteralsAndParenthesesDoesNotSplit) {
    std::string term = "(k = ? AND n = 'x OR y')";
    std::string sql = "SELECT DISTINCT k FROM t WHERE " + chain(12, term);
    std::string out = translate(sql);
    EXPECT_EQ(count(out, " UNION "), 1u);
    EXPECT_EQ(count(out, "'x OR y'"), 12u);
}

struct Unchanged {
    const char* why;
    std::string sql;
};

TEST(SqlOrChain, StatementsWhoseResultCouldChangeStandAsWritten) {
    const std::string c12 = chain(12, "k = ?");
    const std::vector<Unchanged> cases = {
        {"duplicates would be dropped", "SELECT k FROM t WHERE " + c12},
        {"ALL keeps duplicates", "SELECT ALL k FROM t WHERE " + c12},
        {"aggregate", "SELECT DISTINCT count(*) FROM t WHERE " + c12},
        {"expression", "SELECT DISTINCT k + 1 FROM t WHERE " + c12},
        {"grouping", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") GROUP BY k"},
        {"having", "SELECT DISTINCT k FROM t WHERE " + c12 + " HAVING k > 1"},
        {"first n", "SELECT DISTINCT FIRST 5 k FROM t WHERE " + c12},
        {"tail on the last term only", "SELECT DISTINCT k FROM t WHERE " + c12 + " AND b = 5"},
        {"tail with a marker", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") AND b = ?"},
        {"tail with OR", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") AND b = 5 OR b = 6"},
        {"tail not AND", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") OR b = 5"},
        {"first term differs", "SELECT DISTINCT k FROM t WHERE j = ? OR " + chain(11, "k = ?")},
        {"last term differs", "SELECT DISTINCT k FROM t WHERE " + chain(11, "k = ?") + " OR k > ?"},
        {"marker in FROM", "SELECT DISTINCT k FROM (SELECT k FROM t WHERE b = ?) s WHERE " + chain(11, "k = ?")},
        {"qualified ORDER BY not selected", "SELECT DISTINCT t.k FROM t, s WHERE (" + c12 + ") ORDER BY s.k"},
        {"qualified ORDER BY under *", "SELECT DISTINCT * FROM t WHERE (" + c12 + ") ORDER BY t.k"},
        {"ORDER BY expression", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") ORDER BY k + 1"},
        {"ORDER BY other column", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") ORDER BY b"},
        {"ORDER BY number too big", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") ORDER BY 2"},
        {"FOR UPDATE", "SELECT DISTINCT k FROM t WHERE (" + c12 + ") FOR UPDATE"},
        {"already a UNION", "SELECT DISTINCT k FROM t WHERE " + c12 + " UNION SELECT k FROM u"},
        {"two terms",
         "SELECT DISTINCT k FROM t WHERE " + chain(2, "(a = ? AND b = ? AND c = ? AND d = ? AND e = ? AND f = ?)")},
        {"over 100 terms", "SELECT DISTINCT k FROM t WHERE " + chain(101, "k = ?")},
        {"terms of eleven markers", "SELECT DISTINCT k FROM t WHERE " + chain(3, "k IN (?,?,?,?,?,?,?,?,?,?,?)")},
        {"ten markers", "SELECT DISTINCT k FROM t WHERE " + chain(10, "k = ?")},
        {"not a SELECT", "DELETE FROM t WHERE " + c12},
        {"unbalanced", "SELECT DISTINCT k FROM t WHERE ((" + c12 + ")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(translate(c.sql), c.sql);
        char* direct = SqlOrChainToUnion(c.sql.c_str());
        EXPECT_EQ(direct, nullptr);
        free(direct);
    }
    EXPECT_EQ(SqlOrChainToUnion(nullptr), nullptr);
}

// The rewrite reads no comments: a chain with one stands as written, its markers as counted.
TEST(SqlOrChain, ChainWithACommentStandsAsWritten) {
    for (const std::string tail : {" -- OR k = ?\n", " /* OR k = ? */", " -- it's\n"}) {
        SCOPED_TRACE(tail);
        const std::string sql = "SELECT DISTINCT k FROM t WHERE " + chain(12, "k = ?") + tail;
        uint16_t markers = 0;
        EXPECT_EQ(translate(sql, &markers), sql);
        EXPECT_EQ(markers, 12);
    }
}

TEST(SqlOrChain, SelectListForms) {
    const std::string c11 = chain(11, "k = ?");
    for (const char* list : {"*", "t.*", "k AS key, \"Odd Name\"", "t.k kk, s.n"}) {
        SCOPED_TRACE(list);
        std::string sql = std::string("SELECT DISTINCT ") + list + " FROM t, s WHERE " + c11;
        EXPECT_EQ(count(translate(sql), " UNION "), 1u);
    }
    std::string named = "SELECT DISTINCT t.k AS key FROM t WHERE (" + c11 + ") ORDER BY key ASC, 1";
    std::string out = translate(named);
    EXPECT_EQ(count(out, " UNION "), 1u);
    EXPECT_EQ(out.substr(out.find(") ORDER BY")), ") ORDER BY key ASC, 1");
}

TEST(SqlOrChain, QualifiedOrderByBecomesTheItemNumber) {
    const std::string c11 = chain(11, "k = ?");
    std::string sql = "SELECT DISTINCT s.n, T.K kk FROM t, s WHERE " + c11 + " ORDER BY t.k DESC, \"s\".n, s.n";
    std::string out = translate(sql);
    // A quoted name is another name than a plain one: "s".n is not s.n.
    EXPECT_EQ(out, sql);
    sql = "SELECT DISTINCT s.n, T.K kk FROM t, s WHERE " + c11 + " ORDER BY t.k DESC, s.n";
    out = translate(sql);
    EXPECT_EQ(out.substr(out.find(" ORDER BY")), " ORDER BY 2 DESC, 1");
}

// The engine is SQLite underneath; run both forms of a statement there and compare rows.
class Sqlite {
public:
    Sqlite() {
        lib_ = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib_) return;
        open_ = reinterpret_cast<int (*)(const char*, void**)>(dlsym(lib_, "sqlite3_open"));
        close_ = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "sqlite3_close"));
        exec_ = reinterpret_cast<int (*)(void*, const char*, void*, void*, char**)>(dlsym(lib_, "sqlite3_exec"));
        prepare_ =
            reinterpret_cast<int (*)(void*, const char*, int, void**, const char**)>(dlsym(lib_, "sqlite3_prepare_v2"));
        bind_int_ = reinterpret_cast<int (*)(void*, int, int)>(dlsym(lib_, "sqlite3_bind_int"));
        step_ = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "sqlite3_step"));
        column_count_ = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "sqlite3_column_count"));
        column_text_ = reinterpret_cast<const unsigned char* (*)(void*, int)>(dlsym(lib_, "sqlite3_column_text"));
        finalize_ = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "sqlite3_finalize"));
        if (open_ && open_(":memory:", &db_) != 0) db_ = nullptr;
    }
    ~Sqlite() {
        if (db_) close_(db_);
        if (lib_) dlclose(lib_);
    }
    bool ok() const {
        return db_ && exec_ && prepare_ && bind_int_ && step_ && column_count_ && column_text_ && finalize_;
    }
    bool exec(const char* sql) { return exec_(db_, sql, nullptr, nullptr, nullptr) == 0; }
    // Rows as text, or a single "error" row.
    std::vector<std::string> query(const std::string& sql, const std::vector<int>& params) {
        void* stmt = nullptr;
        if (prepare_(db_, sql.c_str(), -1, &stmt, nullptr) != 0) return {"error"};
        for (size_t i = 0; i < params.size(); ++i) bind_int_(stmt, static_cast<int>(i + 1), params[i]);
        std::vector<std::string> rows;
        while (step_(stmt) == 100) {
            std::string row;
            for (int c = 0; c < column_count_(stmt); ++c) {
                const unsigned char* v = column_text_(stmt, c);
                row += (v ? reinterpret_cast<const char*>(v) : "NULL") + std::string("|");
            }
            rows.push_back(row);
        }
        finalize_(stmt);
        return rows;
    }

private:
    void* lib_ = nullptr;
    void* db_ = nullptr;
    int (*open_)(const char*, void**) = nullptr;
    int (*close_)(void*) = nullptr;
    int (*exec_)(void*, const char*, void*, void*, char**) = nullptr;
    int (*prepare_)(void*, const char*, int, void**, const char**) = nullptr;
    int (*bind_int_)(void*, int, int) = nullptr;
    int (*step_)(void*) = nullptr;
    int (*column_count_)(void*) = nullptr;
    const unsigned char* (*column_text_)(void*, int) = nullptr;
    int (*finalize_)(void*) = nullptr;
};

TEST(SqlOrChain, RewrittenStatementsReturnTheSameRows) {
    Sqlite db;
    if (!db.ok()) GTEST_SKIP() << "libsqlite3 not loadable";
    ASSERT_TRUE(db.exec("CREATE TABLE t (k INTEGER, n TEXT, b INTEGER)"));
    // Duplicate rows, NULLs, and keys bound more than once below.
    ASSERT_TRUE(
        db.exec("INSERT INTO t VALUES (1,'a',5),(1,'a',5),(2,'b',5),(2,'b',6),(3,NULL,5),(3,NULL,5),"
                "(4,'d',6),(5,'e',5),(6,'f',5),(7,'g',5),(8,'h',5),(9,'i',6),(10,'j',5),(11,'k',5),(12,'l',5)"));
    const std::vector<int> keys = {1, 2, 3, 12, 11, 1, 4, 5, 6, 7, 3, 8, 9, 10, 2, 12, 1, 13, 13, 0, 9, 2, 4};
    const std::vector<std::string> statements = {
        "SELECT DISTINCT k, n FROM t WHERE (" + chain(23, "k = ?") + ") ORDER BY k",
        "SELECT DISTINCT n FROM t WHERE (" + chain(23, "k = ?") + ") AND b = 5 ORDER BY 1 DESC",
        "SELECT DISTINCT b FROM t WHERE " + chain(23, "k = ?"),
        "SELECT DISTINCT * FROM t WHERE " + chain(23, "(k = ? AND b = 5)") + " ORDER BY k, n",
        "SELECT DISTINCT t.n, t.k FROM t WHERE (" + chain(23, "t.k = ?") + ") ORDER BY t.k DESC",
    };
    for (const auto& sql : statements) {
        SCOPED_TRACE(sql);
        std::string out = translate(sql);
        ASSERT_NE(out, sql);
        auto before = db.query(sql, keys);
        auto after = db.query(out, keys);
        ASSERT_NE(after, std::vector<std::string>{"error"});
        if (sql.find("ORDER BY") == std::string::npos) {
            std::sort(before.begin(), before.end());
            std::sort(after.begin(), after.end());
        }
        EXPECT_EQ(before, after);
        EXPECT_FALSE(before.empty());
    }
    // Without DISTINCT the duplicates are part of the result: the statement is left alone.
    std::string plain = "SELECT k, n FROM t WHERE (" + chain(23, "k = ?") + ")";
    EXPECT_EQ(translate(plain), plain);
}

}  // namespace
