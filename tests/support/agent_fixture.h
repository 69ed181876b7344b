// The agent's server and connections through its operation table, against the embedded engine:
// one data directory and databases for the program, and the queries and log lines the agent sent
// recorded. The agent's and the XA layer's tests build on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dirs_fixture.h"
#include "odbc/globals.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-initsql.h"
#include "drv_ingii/ingutil.h"
#include "iiapi/iiapi.h"

namespace agenttest {

inline std::mutex& HookLock() {
    static std::mutex m;
    return m;
}
inline std::vector<std::string>& Queries() {
    static std::vector<std::string> v;
    return v;
}
inline std::vector<std::pair<int, std::string>>& Logs() {
    static std::vector<std::pair<int, std::string>> v;
    return v;
}
inline void QueryHook(const char* text) {
    std::lock_guard<std::mutex> g(HookLock());
    Queries().emplace_back(text);
}
inline void LogHook(int level, const char* text) {
    std::lock_guard<std::mutex> g(HookLock());
    Logs().emplace_back(level, text);
}

inline std::string& DataDirName() {
    static std::string name;
    return name;
}

// The data directory of the whole test program, made once and removed at exit.
inline const std::string& DataDir() {
    static std::string dir = [] {
        std::string s = tvtest::EngineDataDir("agenttest-");
        DataDirName() = s;
        tvtest::CreateDatabase("agentdb");
        tvtest::CreateDatabase("default");
        return s;
    }();
    return dir;
}

class AgentTest : public ::testing::Test {
protected:
    AgentLink link{};
    uint32_t server = 0;
    std::vector<uint32_t> conns;
    // The data source's settings every Connect hands the agent, which takes their texts over.
    IngDsnSettings settings{};

    void SetUp() override {
        DataDir();
        ResetEngine();
        {
            std::lock_guard<std::mutex> g(HookLock());
            Queries().clear();
            Logs().clear();
        }
        IngSetQueryHook(QueryHook);
        IngSetLogHook(LogHook);
        ASSERT_EQ(AgentStackInstall(&link), 0);
        unsigned char block[16] = {};
        ASSERT_EQ(AgentCall<DRV_ServerAlloc>(&link, static_cast<void*>(block), &server), 0u);
        ASSERT_NE(server, 0u);
    }

    void TearDown() override {
        for (uint32_t c : conns) AgentCall<DRV_Disconnect>(&link, c);
        conns.clear();
        EXPECT_EQ(AgentCall<DRV_ServerFree>(&link, server), 0u);
        IngSetQueryHook(nullptr);
        IngSetLogHook(nullptr);
        std::free(settings.initialSql);
        std::free(settings.sqlDbmsName);
        settings = IngDsnSettings{};
        ResetEngine();
    }

    static void ResetEngine() {
        for (int s : {IIENGINE_VERSION, IIENGINE_API_LEVEL, IIENGINE_CHARSET, IIENGINE_UNICODE_LEVEL})
            iiengine_setControl(s, nullptr);
    }

    ErrCode Connect(uint32_t* out, const char* db = "agentdb", const char* options = nullptr, uint32_t readOnly = 0,
                    const char* marker = nullptr) {
        IngConnectParams p{};
        p.database = db;
        p.options = options;
        p.readOnly = readOnly;
        p.marker = marker;
        p.user = "";
        p.password = "";
        p.settings = &settings;
        *out = 0;
        uint32_t rc = AgentCall<DRV_Connect>(&link, server, &p, out);
        if (rc == 0) conns.push_back(*out);
        return ErrCode(rc);
    }

    ErrCode Disconnect(uint32_t conn) {
        for (auto it = conns.begin(); it != conns.end(); ++it)
            if (*it == conn) {
                conns.erase(it);
                break;
            }
        return AgentCall<DRV_Disconnect>(&link, conn);
    }

    static IngConn* Conn(uint32_t h) { return IngConnFind(h); }

    // Runs a statement the way the statement engine brackets it (before, run, after).
    static uint32_t Exec(uint32_t h, const char* sql) {
        IngConn* c = IngConnFind(h);
        if (c == nullptr) return 21;
        IngTxnControl(c, kTxnOpBeforeStatement);
        uint32_t rc = IIExecImmediate(&c->connHandle, &c->tranHandle, sql, nullptr, &c->messages);
        if (rc == 0) rc = IngTxnControl(c, kTxnOpAfterStatement);
        return rc;
    }

    static int64_t Count(uint32_t h, const char* sql) {
        IngConn* c = IngConnFind(h);
        uint32_t n = 0;
        IngTxnControl(c, kTxnOpBeforeStatement);
        uint32_t rc = IISelectCount(&c->connHandle, &c->tranHandle, sql, &n, &c->messages);
        // As a statement of the connection: in autocommit it ends its transaction.
        if (rc == 0) rc = IngTxnControl(c, kTxnOpAfterStatement);
        return rc == 0 ? int64_t(n) : -int64_t(rc);
    }

    uint32_t GetInt(uint32_t h, uint32_t id, uint32_t* v) {
        uint16_t len = 0;
        *v = 0xDEADBEEF;
        return AgentCall<DRV_GetInfo>(&link, h, id, static_cast<void*>(v), uint16_t(4), &len);
    }

    uint32_t GetText(uint32_t h, uint32_t id, std::string* out, uint16_t bufLen = 256) {
        std::vector<char> buf(bufLen ? bufLen : 1, '\x7F');
        uint16_t len = 0xFFFF;
        uint32_t rc = AgentCall<DRV_GetInfo>(&link, h, id, static_cast<void*>(buf.data()), bufLen, &len);
        if (rc == 0 && bufLen > 0) {
            EXPECT_EQ(buf[len], '\0');
            *out = std::string(buf.data(), len);
        }
        return rc;
    }

    uint32_t SetInt(uint32_t h, uint32_t id, uint32_t v) {
        return AgentCall<DRV_SetOption>(&link, h, id, static_cast<void*>(&v));
    }

    static bool SentQuery(const std::string& text) {
        std::lock_guard<std::mutex> g(HookLock());
        for (const auto& q : Queries())
            if (q == text) return true;
        return false;
    }

    static size_t QueryCount() {
        std::lock_guard<std::mutex> g(HookLock());
        return Queries().size();
    }

    static bool Logged(int level, const std::string& text) {
        std::lock_guard<std::mutex> g(HookLock());
        for (const auto& l : Logs())
            if (l.first == level && l.second == text) return true;
        return false;
    }

    std::vector<std::string> Errors(uint32_t h, uint32_t* native = nullptr) {
        AgentErrors e{};
        std::vector<std::string> out;
        EXPECT_EQ(AgentCall<DRV_GetErrors>(&link, h, &e), 0u);
        for (uint32_t i = 0; i < e.count; ++i) out.emplace_back(e.texts[i] ? e.texts[i] : "");
        if (native) *native = e.native;
        AgentErrorsFree(&e);
        return out;
    }
};

}  // namespace agenttest
