#pragma once
// A connected pair on the scripted agent, reset for every test, with helpers to script results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "odbc/datapath.h"
#include "odbc/stmt.h"
#include "tests/odbc/records_fixture.h"

constexpr SQLLEN kPoison = SQLLEN(0x5A5A5A5A5A5A5A5Aull);

class StmtTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        pair = new ConnectedPair();
        conn = ConnOf(pair->dbc);
        ASSERT_NE(nullptr, conn);
        conn->hasScrlCurs = 1;
        hstmt = pair->stmt();
        stmt = StmtOf(hstmt);
        ASSERT_NE(nullptr, stmt);
    }
    void TearDown() override {
        delete pair;
        fake::Reset();
    }
    fake::Stmt& Agent() { return fake::A().stmts[stmt->agentStmt]; }
    // Scripts a result for text and runs it.
    SQLRETURN Run(const std::string& text, const fake::Result& r) {
        fake::A().scripts[text] = r;
        return SQLExecDirect(hstmt, (SQLCHAR*)text.c_str(), SQL_NTS);
    }
    std::string State(SQLSMALLINT type = SQL_HANDLE_STMT, SQLHANDLE h = nullptr) {
        SQLCHAR st[6] = {0};
        SQLINTEGER native = 0;
        SQLCHAR msg[512];
        SQLSMALLINT len = 0;
        if (SQLGetDiagRec(type, h ? h : hstmt, 1, st, &native, msg, sizeof msg, &len) != SQL_SUCCESS) return "";
        return (const char*)st;
    }
    std::string Message() {
        SQLCHAR st[6] = {0};
        SQLINTEGER native = 0;
        SQLCHAR msg[512] = {0};
        SQLSMALLINT len = 0;
        SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, st, &native, msg, sizeof msg, &len);
        return (const char*)msg;
    }
    // Rows 1..n of (id integer, name text, note nullable text: NULL on every third row).
    static fake::Result Numbers(int n) {
        fake::Result r;
        r.cols = {{"id", SQL_INTEGER, DS_INTEGER, 4},
                  {"name", SQL_VARCHAR, DS_CHAR_NTS, 20},
                  {"note", SQL_VARCHAR, DS_CHAR_NTS, 10}};
        for (int i = 1; i <= n; ++i) {
            fake::Cell note;
            if (i % 3 != 0) note = "n" + std::to_string(i);
            r.rows.push_back({std::to_string(i), "row" + std::to_string(i), note});
        }
        return r;
    }
    ConnectedPair* pair = nullptr;
    ConnRecord* conn = nullptr;
    SQLHSTMT hstmt = SQL_NULL_HSTMT;
    StmtRecord* stmt = nullptr;
};
