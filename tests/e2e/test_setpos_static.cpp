// SQLSetPos and SQLBulkOperations on cursors reached through the Driver Manager: positioning and
// refreshing a static cursor's rows, and the refusals of bad requests, which leave the table as
// it was. The data source offers row operations (drv_ingii/i-cursors.h), so the two calls go
// through the Driver Manager like everything else; were they switched off there, the Driver
// Manager would answer them itself, so the tests would call the driver library straight, on the
// driver's own statement handle.
#include <dlfcn.h>

#include <string>
#include <vector>

#include "drv_ingii/i-cursors.h"
#include "results_fixture.h"

namespace resultstest {
namespace {

class RowOps : public ResultsTest {
protected:
    static constexpr int kRowset = 4;
    std::string t;
    SQLULEN fetched = 0;
    SQLUSMALLINT status[kRowset] = {};
    SQLINTEGER ids[kRowset] = {};
    SQLLEN idLen[kRowset] = {};
    void* so = nullptr;

    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        so = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, so) << dlerror();
        t = Table("rowops");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer, name varchar(12))");
        for (int i = 1; i <= 10; ++i)
            Must("insert into " + t + " values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')");
    }
    void TearDown() override {
        if (stmt && !t.empty()) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
            Exec("drop table " + t);
        }
        if (so) dlclose(so);
        ResultsTest::TearDown();
    }
    void SetAttr(SQLINTEGER attr, SQLULEN v) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, attr, reinterpret_cast<SQLPOINTER>(v), 0))) << Diag();
    }
    void Open(SQLULEN cursorType) {
        SetAttr(SQL_ATTR_CURSOR_TYPE, cursorType);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRowset);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        ASSERT_TRUE(SQL_SUCCEEDED(Exec("select id, name from " + t + " order by id"))) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    }
    // The driver's own statement handle behind the Driver Manager's.
    SQLHSTMT DriverStmt() {
        SQLHSTMT h = stmt;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &h, sizeof h, nullptr));
        return h;
    }
    template <class F>
    F Sym(const char* name) {
        return reinterpret_cast<F>(dlsym(so, name));
    }
    SQLRETURN SetPos(SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock = SQL_LOCK_NO_CHANGE) {
        if (kIngBuiltCursors.rowOperations) return SQLSetPos(stmt, row, op, lock);
        auto fn = Sym<SQLRETURN (*)(SQLHSTMT, SQLSETPOSIROW, SQLUSMALLINT, SQLUSMALLINT)>("SQLSetPos");
        return fn ? fn(DriverStmt(), row, op, lock) : SQLRETURN(-99);
    }
    SQLRETURN Bulk(SQLSMALLINT op) {
        if (kIngBuiltCursors.rowOperations) return SQLBulkOperations(stmt, op);
        auto fn = Sym<SQLRETURN (*)(SQLHSTMT, SQLSMALLINT)>("SQLBulkOperations");
        return fn ? fn(DriverStmt(), op) : SQLRETURN(-99);
    }
    // The SQLSTATE of the last row operation's first diagnostic.
    std::string State() {
        if (kIngBuiltCursors.rowOperations) return FirstDiag(SQL_HANDLE_STMT, stmt).state;
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (GetParam().wide) {
            auto fn = Sym<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*,
                                        SQLSMALLINT, SQLSMALLINT*)>("SQLGetDiagRecW");
            SQLWCHAR st[6] = {}, msg[512] = {};
            if (!fn || fn(SQL_HANDLE_STMT, DriverStmt(), 1, st, &native, msg, 512, &len) != SQL_SUCCESS) return "";
            std::string s;
            for (int i = 0; i < 5; ++i) s += char(st[i]);
            return s;
        }
        auto fn = Sym<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT,
                                    SQLSMALLINT*)>("SQLGetDiagRec");
        SQLCHAR st[6] = {}, msg[512] = {};
        if (!fn || fn(SQL_HANDLE_STMT, DriverStmt(), 1, st, &native, msg, 512, &len) != SQL_SUCCESS) return "";
        return reinterpret_cast<char*>(st);
    }
    // The table as another connection reads it.
    std::string Contents() {
        SQLHDBC other = SQL_NULL_HDBC;
        SQLHSTMT s = SQL_NULL_HSTMT;
        std::string dsn = Dsn(), out;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
        EXPECT_TRUE(SQL_SUCCEEDED(
            SQLConnect(other, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)));
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &s));
        std::string q = "select id, name from " + t + " order by id";
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)q.c_str(), SQL_NTS)));
        SQLINTEGER id = 0;
        char name[16] = {};
        SQLLEN a = 0, b = 0;
        SQLBindCol(s, 1, SQL_C_LONG, &id, 0, &a);
        SQLBindCol(s, 2, SQL_C_CHAR, name, sizeof name, &b);
        while (SQL_SUCCEEDED(SQLFetch(s))) out += std::to_string(id) + ":" + name + " ";
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        SQLDisconnect(other);
        SQLFreeHandle(SQL_HANDLE_DBC, other);
        return out;
    }
};

bool OneOf(const std::string& s, std::initializer_list<const char*> states) {
    for (const char* x : states)
        if (s == x) return true;
    return false;
}

TEST_P(RowOps, PositionAndRefreshOnAStaticCursor) {
    Open(SQL_CURSOR_STATIC);
    ASSERT_EQ(SQL_SUCCESS, SetPos(3, SQL_POSITION)) << State();
    char name[16] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
    EXPECT_STREQ("r3", name);
    ids[1] = -1;
    status[1] = 0xEEEE;
    ASSERT_EQ(SQL_SUCCESS, SetPos(2, SQL_REFRESH)) << State();
    EXPECT_EQ(2, ids[1]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
    // Every row at once.
    for (auto& i : ids) i = -1;
    ASSERT_EQ(SQL_SUCCESS, SetPos(0, SQL_REFRESH)) << State();
    EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3, 4}), std::vector<SQLINTEGER>(ids, ids + kRowset));
    // The cursor still scrolls on from where it was.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ(5, ids[0]);
}

TEST_P(RowOps, BadRequestsAreRefusedAndChangeNothing) {
    const std::string before = Contents();
    ASSERT_NE("", before);
    struct Case {
        const char* what;
        SQLULEN cursorType;
        SQLSETPOSIROW row;  // 0 with bulk set: SQLBulkOperations(op)
        int op;
        bool bulk;
        std::initializer_list<const char*> states;
    } cases[] = {
        {"row beyond the rowset", SQL_CURSOR_STATIC, 5, SQL_POSITION, false, {"HY107", "S1107"}},
        {"a 64-bit row beyond it",
         SQL_CURSOR_STATIC,
         (SQLSETPOSIROW(1) << 32) + 2,
         SQL_DELETE,
         false,
         {"HY107", "S1107"}},
        {"update on a read-only cursor", SQL_CURSOR_STATIC, 1, SQL_UPDATE, false, {"HY009", "S1009", "HY024"}},
        {"delete on a read-only cursor", SQL_CURSOR_STATIC, 0, SQL_DELETE, false, {"HY009", "S1009", "HY024"}},
        {"add on a read-only cursor", SQL_CURSOR_STATIC, 0, SQL_ADD, false, {"HY009", "S1009", "HY024"}},
        {"a lock", SQL_CURSOR_STATIC, 1, SQL_POSITION, false, {"HYC00", "S1C00"}},
        {"delete on a forward-only cursor", SQL_CURSOR_FORWARD_ONLY, 1, SQL_DELETE, false, {"HY109", "S1109"}},
        {"bulk delete without bookmarks", SQL_CURSOR_STATIC, 0, SQL_DELETE_BY_BOOKMARK, true, {"HY092", "S1092"}},
        {"bulk fetch on a forward-only cursor", SQL_CURSOR_FORWARD_ONLY, 0, SQL_FETCH_BY_BOOKMARK, true, {"IM924"}},
    };
    for (const Case& c : cases) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        Open(c.cursorType);
        const SQLUSMALLINT lock = std::string(c.what) == "a lock" ? SQL_LOCK_EXCLUSIVE : SQL_LOCK_NO_CHANGE;
        SQLRETURN rc = c.bulk ? Bulk(SQLSMALLINT(c.op)) : SetPos(c.row, SQLUSMALLINT(c.op), lock);
        EXPECT_EQ(SQL_ERROR, rc) << c.what;
        const std::string st = State();
        EXPECT_TRUE(OneOf(st, c.states)) << c.what << ": " << st;
    }
    // With bookmarks on but no bookmark column bound the bulk operations have nothing to go by.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
    Open(SQL_CURSOR_STATIC);
    EXPECT_EQ(SQL_ERROR, Bulk(SQL_DELETE_BY_BOOKMARK));
    EXPECT_TRUE(OneOf(State(), {"HY092", "S1092"})) << State();
    // A bookmark outside the current rowset.
    SQLLEN bookmarks[kRowset] = {1, 2, 9, 3};
    SQLLEN bmLen[kRowset] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, bookmarks, sizeof(SQLLEN), bmLen)) << Diag();
    EXPECT_EQ(SQL_ERROR, Bulk(SQL_DELETE_BY_BOOKMARK));
    EXPECT_EQ("IM925", State());
    // An update by bookmark with the bookmarks alone bound has no column to write (21S02); a column
    // bound past the result's last names none (07009).
    for (SQLLEN i = 0; i < kRowset; ++i) bookmarks[i] = i + 1;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, nullptr, 0, nullptr)) << Diag();
    EXPECT_EQ(SQL_ERROR, Bulk(SQL_UPDATE_BY_BOOKMARK));
    EXPECT_EQ("21S02", State());
    SQLINTEGER far[kRowset] = {};
    SQLLEN farLen[kRowset] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 5, SQL_C_LONG, far, sizeof(SQLINTEGER), farLen)) << Diag();
    EXPECT_EQ(SQL_ERROR, Bulk(SQL_UPDATE_BY_BOOKMARK));
    EXPECT_TRUE(OneOf(State(), {"07009", "S1002"})) << State();
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_OFF);
    EXPECT_EQ(before, Contents());
}

INSTANTIATE_TEST_SUITE_P(Builds, RowOps, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
