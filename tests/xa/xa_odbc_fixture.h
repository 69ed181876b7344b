// The XA switch and DTC enlistment through the driver's own ODBC layer, with data sources in a
// private odbc.ini.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/diag_text_fixture.h"
#include "tests/support/temp_dirs_fixture.h"
#include "drv_ingii/i-glob.h"
#include "iiapi/iiapi.h"
#include "odbc/gateway.h"
#include "odbc/globals.h"
#include "odbc/handles.h"
#include "xa/xa_agent.h"

namespace xatest {

inline std::string& OdbcDir() {
    static std::string dir;
    return dir;
}

// Data sources: xadb (XaInfo and Driver), xanodrv (no Driver), xanoinfo (Driver, no XaInfo),
// xatm1 to xatm4 (one database each, for a transaction manager's resource managers).
inline bool PrepareOdbc() {
    static const bool done = [] {
        OdbcDir() = tvtest::EngineDataDir("xatest-");
        for (const char* db : {"xadb", "xanodrv", "xanoinfo", "Default", "xatm1", "xatm2", "xatm3", "xatm4"})
            if (!tvtest::CreateDatabase(db)) return false;
        return true;
    }();
    // Written for every test: the program's other suites may have written their own.
    tvtest::UsePrivateIni(
        "[xadb]\nDriver=/opt/corvanta/lib/libtelvarinu.so\nXaInfo=xa-open-text\n\n"
        "[xanodrv]\nXaInfo=other\n\n"
        "[xanoinfo]\nDriver=/opt/corvanta/lib/libtelvarin.so\n\n"
        "[xatm1]\nXaInfo=tm\n\n[xatm2]\nXaInfo=tm\n\n"
        "[xatm3]\nXaInfo=tm\n\n[xatm4]\nXaInfo=tm\n");
    setenv("KIV_LOGIN_SCRIPT", "CANCEL", 1);
    return done;
}

inline ConnRecord* ConnOf(SQLHDBC h) {
    uint32_t n = 0;
    if (!HandleNumber(h, &n)) return nullptr;
    return static_cast<ConnRecord*>(HandleTableGet(&g_ConnTable, n));
}

class OdbcXaTest : public ::testing::Test {
protected:
    SQLHENV henv = SQL_NULL_HENV;

    void SetUp() override {
        ASSERT_TRUE(PrepareOdbc());
        setenv("II_DATABASE_DIR", OdbcDir().c_str(), 1);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    }
    void TearDown() override {
        if (henv) SQLFreeHandle(SQL_HANDLE_ENV, henv);
    }

    SQLHDBC Connect(const char* text) {
        SQLHDBC h = SQL_NULL_HDBC;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, henv, &h));
        SQLCHAR out[512];
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLDriverConnect(h, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)), SQL_NTS, out,
                                        sizeof out, &len, SQL_DRIVER_NOPROMPT);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_DBC, h);
        return h;
    }

    static std::string Diag(SQLSMALLINT type, SQLHANDLE h) { return tvtest::AllDiagText(type, h); }

    static SQLRETURN ExecOn(SQLHDBC h, const char* sql) {
        SQLHSTMT s = SQL_NULL_HSTMT;
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, h, &s);
        if (!SQL_SUCCEEDED(rc)) return rc;
        rc = SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
        if (!SQL_SUCCEEDED(rc)) ADD_FAILURE() << sql << ": " << Diag(SQL_HANDLE_STMT, s);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        return rc;
    }

    // Rows of a table as a fresh plain connection sees them.
    long Rows(const char* dsnText, const char* table) {
        SQLHDBC h = Connect(dsnText);
        SQLHSTMT s = SQL_NULL_HSTMT;
        long n = -1;
        if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, h, &s))) {
            std::string q = std::string("SELECT COUNT(*) FROM ") + table;
            SQLINTEGER v = -1;
            SQLLEN ind = 0;
            if (SQL_SUCCEEDED(SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(q.data()), SQL_NTS)) &&
                SQL_SUCCEEDED(SQLFetch(s)) && SQL_SUCCEEDED(SQLGetData(s, 1, SQL_C_SLONG, &v, 0, &ind)))
                n = v;
            SQLFreeHandle(SQL_HANDLE_STMT, s);
        }
        SQLDisconnect(h);
        SQLFreeHandle(SQL_HANDLE_DBC, h);
        return n;
    }

    void Table(const char* dsnText, const char* name) {
        SQLHDBC h = Connect(dsnText);
        SQLHSTMT s = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, h, &s);
        std::string drop = std::string("DROP TABLE ") + name;
        SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(drop.data()), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        std::string create = std::string("CREATE TABLE ") + name + " (id INTEGER)";
        EXPECT_TRUE(SQL_SUCCEEDED(ExecOn(h, create.c_str())));
        SQLDisconnect(h);
        SQLFreeHandle(SQL_HANDLE_DBC, h);
    }
};

}  // namespace xatest
