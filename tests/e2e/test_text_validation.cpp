// Text that is no text (a lone UTF-16 surrogate, an overlong or surrogate UTF-8 sequence) is
// refused with 22018 on every road through the driver, never rewritten into other text: a "?"
// that would become a parameter marker, or a quote read back from C0 A7.
#include <sqlite3.h>

#include <cstring>
#include <functional>

#include "iiapi/iiapi.h"
#include "results_fixture.h"

namespace resultstest {
namespace {

class TextValidation : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("tval", "k integer, a varchar(20), b nvarchar(20)");
    }
    std::string State() {
        std::vector<std::string> states = connecttest::States(SQL_HANDLE_STMT, stmt);
        return states.empty() ? "" : states[0];
    }
    long Count() {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLINTEGER n = -1;
        SQLLEN ind = 0;
        EXPECT_EQ(SQL_SUCCESS, Exec("select count(*) from " + t)) << Diag();
        EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt));
        SQLGetData(stmt, 1, SQL_C_SLONG, &n, 0, &ind);
        SQLFreeStmt(stmt, SQL_CLOSE);
        return n;
    }
    // Every value of the table read as wide text: none may hold a quote made of other bytes.
    void NoQuoteReadsBack() {
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, Exec("select a, b from " + t)) << Diag();
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            for (SQLUSMALLINT col : {1, 2}) {
                SQLWCHAR w[64] = {};
                SQLLEN len = 0;
                if (!SQL_SUCCEEDED(SQLGetData(stmt, col, SQL_C_WCHAR, w, sizeof w, &len)) || len <= 0) continue;
                for (SQLLEN i = 0; i < len / 2 && i < 63; ++i) EXPECT_NE(w[i], u'\'') << col;
            }
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
};

// Statement text with a lone surrogate is not run: not with the surrogate rewritten to "?" (a
// marker), not stored in any form.
TEST_P(TextValidation, StatementTextWithALoneSurrogateIsNotRun) {
    for (SQLWCHAR lone : {SQLWCHAR(0xD800), SQLWCHAR(0xDFFF)}) {
        std::u16string q = u"insert into " + std::u16string(t.begin(), t.end()) + u" values (1, 'x";
        q.push_back(char16_t(lone));
        q += u"y', 'z')";
        EXPECT_EQ(SQL_ERROR, SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(q.data()), SQL_NTS));
        // The narrow driver gets what the Driver Manager makes of the text; the wide one refuses it.
        if (GetParam().wide) {
            EXPECT_EQ("22018", State());
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    EXPECT_EQ(0, Count());
    // Narrow text with an overlong quote: the narrow driver hands it to the server as it is, which
    // refuses it; the Driver Manager widens each byte for the wide driver, which then holds no
    // quote either. Either way no quote reads back.
    const std::string narrow = "insert into " + t +
                               " values (2, 'x\xC0\xA7"
                               "y', 'z')";
    SQLRETURN rc = Exec(narrow);
    if (!GetParam().wide) {
        EXPECT_EQ(SQL_ERROR, rc);
        EXPECT_EQ("22018", State());
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    NoQuoteReadsBack();
}

// Parameter values that are no text are refused at execute, whatever the column's type: a wide
// value with a lone surrogate (which became "?"), narrow values with overlong or surrogate
// sequences (C0 A7 became a quote in a wide column).
TEST_P(TextValidation, ParameterValuesThatAreNoTextAreRefused) {
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("insert into " + t + " values (?, ?, ?)").c_str(), SQL_NTS));
    SQLINTEGER k = 1;
    SQLLEN kInd = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &k, 0, &kInd));
    const SQLWCHAR good[] = {u'o', u'k', 0};
    struct Case {
        const char* what;
        std::vector<SQLWCHAR> wide;  // empty: the narrow text below
        std::string narrow;
    } cases[] = {
        {"lone high surrogate", {u'p', 0xD801, u'q', 0}, ""},
        {"lone low surrogate", {0xDC00, 0}, ""},
        {"overlong quote", {}, "r\xC0\xA7s"},
        {"overlong slash", {}, "\xE0\x80\xAF"},
        {"surrogate sequence", {}, "\xED\xA0\x80"},
        {"stray byte", {}, "a\xFF"},
    };
    for (const Case& c : cases) {
        for (SQLUSMALLINT column : {2, 3}) {
            SCOPED_TRACE(std::string(c.what) + (column == 2 ? " into varchar" : " into nvarchar"));
            SQLLEN ind = SQL_NTS, goodInd = SQL_NTS;
            const SQLUSMALLINT other = column == 2 ? 3 : 2;
            ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, other, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0,
                                                    const_cast<SQLWCHAR*>(good), sizeof good, &goodInd));
            const SQLSMALLINT sqlType = column == 2 ? SQL_VARCHAR : SQL_WVARCHAR;
            if (!c.wide.empty()) {
                ASSERT_EQ(SQL_SUCCESS,
                          SQLBindParameter(stmt, column, SQL_PARAM_INPUT, SQL_C_WCHAR, sqlType, 20, 0,
                                           const_cast<SQLWCHAR*>(c.wide.data()), SQLLEN(c.wide.size() * 2), &ind));
            } else {
                ASSERT_EQ(SQL_SUCCESS,
                          SQLBindParameter(stmt, column, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, 20, 0,
                                           const_cast<char*>(c.narrow.c_str()), SQLLEN(c.narrow.size() + 1), &ind));
            }
            EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
            EXPECT_EQ("22018", State());
            SQLFreeStmt(stmt, SQL_CLOSE);
        }
    }
    // Text goes in as it is.
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLLEN ind = SQL_NTS;
    const SQLWCHAR pair[] = {u'a', 0xD83D, 0xDE00, u'\'', 0};
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &k, 0, &kInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_VARCHAR, 20, 0,
                                            const_cast<SQLWCHAR*>(pair), sizeof pair, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0,
                                            const_cast<SQLWCHAR*>(pair), sizeof pair, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    EXPECT_EQ(1, Count());
    ASSERT_EQ(SQL_SUCCESS, Exec("select a, b from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    for (SQLUSMALLINT col : {1, 2}) {
        SQLWCHAR w[16] = {};
        SQLLEN len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, col, SQL_C_WCHAR, w, sizeof w, &len)) << Diag();
        EXPECT_EQ(8, len);
        EXPECT_EQ(0, std::memcmp(w, pair, 8)) << col;
    }
}

// Bytes in the database that are no UTF-8 (here written behind the engine's back) are refused
// when read as wide text, never decoded into other characters.
TEST_P(TextValidation, StoredBytesThatAreNoTextAreRefusedAsWideText) {
    char path[512];
    ASSERT_EQ(0, iiengine_databasePath(Dsn().c_str(), path, sizeof path));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path, &db));
    sqlite3_busy_timeout(db, 5000);
    // Past the column checks, which call the engine's own functions, as a writer that is not the
    // engine (or a file from before them) may be.
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "PRAGMA ignore_check_constraints = 1", nullptr, nullptr, nullptr));
    const std::string insert = "INSERT INTO " + t + " VALUES (1, CAST(x'72C0A773' AS TEXT), CAST(x'ED' AS TEXT))";
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, insert.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
    sqlite3_close(db);
    ASSERT_EQ(SQL_SUCCESS, Exec("select a from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    SQLWCHAR w[16] = {};
    SQLLEN len = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetData(stmt, 1, SQL_C_WCHAR, w, sizeof w, &len));
    EXPECT_EQ("22018", State());
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A wide column holds only text: the engine refuses to hand out what is not.
    ASSERT_EQ(SQL_SUCCESS, Exec("select b from " + t)) << Diag();
    char narrow[16];
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_SUCCESS) rc = SQLGetData(stmt, 1, SQL_C_CHAR, narrow, sizeof narrow, &len);
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ("22018", State());
    SQLFreeStmt(stmt, SQL_CLOSE);
    NoQuoteReadsBack();
}

// Attribute and descriptor texts with a lone surrogate are refused (22018) before anything is
// set: the current catalog, the translation library and a parameter's name stay as they were,
// for explicit lengths and SQL_NTS alike; a surrogate pair is text and is taken.
TEST_P(TextValidation, AttributeTextsWithALoneSurrogateAreRefused) {
    // The narrow driver gets what the Driver Manager makes of the text.
    if (!GetParam().wide) GTEST_SKIP() << "the Driver Manager converts W text for the narrow driver";
    auto catalog = [&] {
        SQLWCHAR w[64] = {};
        SQLINTEGER len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, w, sizeof w, &len))
            << Diag(SQL_HANDLE_DBC, dbc);
        return std::u16string(reinterpret_cast<char16_t*>(w), size_t(len / 2));
    };
    SQLHDESC ipd = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("insert into " + t + " (k) values (?)").c_str(), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr));
    const SQLWCHAR pair[] = {u'p', 0xD83D, 0xDE00, 0};
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, const_cast<SQLWCHAR*>(pair), SQL_NTS))
        << Diag(SQL_HANDLE_DESC, ipd);
    auto name = [&] {
        SQLWCHAR w[64] = {};
        SQLINTEGER len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescFieldW(ipd, 1, SQL_DESC_NAME, w, sizeof w, &len))
            << Diag(SQL_HANDLE_DESC, ipd);
        return std::u16string(reinterpret_cast<char16_t*>(w), size_t(len / 2));
    };
    ASSERT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pair)), name());
    const std::u16string before = catalog();
    SQLWCHAR lone[] = {u'a', 0xDC00, u'b', 0};
    SQLWCHAR high[] = {0xD800, 0};
    struct Case {
        const char* what;
        std::function<SQLRETURN()> run;
        SQLSMALLINT type;
        SQLHANDLE handle;
    };
    const Case cases[] = {
        {"current catalog", [&] { return SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, lone, SQL_NTS); },
         SQL_HANDLE_DBC, dbc},
        {"current catalog of explicit length",
         [&] { return SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, high, 2); }, SQL_HANDLE_DBC, dbc},
        {"translation library", [&] { return SQLSetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, lone, 6); },
         SQL_HANDLE_DBC, dbc},
        {"current qualifier (ODBC 2)",
         [&] { return SQLSetConnectOptionW(dbc, SQL_CURRENT_QUALIFIER, SQLULEN(reinterpret_cast<uintptr_t>(lone))); },
         SQL_HANDLE_DBC, dbc},
        {"parameter name", [&] { return SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, lone, SQL_NTS); }, SQL_HANDLE_DESC,
         ipd},
        {"parameter name of explicit length", [&] { return SQLSetDescFieldW(ipd, 1, SQL_DESC_NAME, high, 2); },
         SQL_HANDLE_DESC, ipd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SQL_ERROR, c.run());
        EXPECT_EQ("22018", FirstDiag(c.type, c.handle).state) << Diag(c.type, c.handle);
    }
    EXPECT_EQ(before, catalog());
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pair)), name());
}

INSTANTIATE_TEST_SUITE_P(Builds, TextValidation, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
