// Drives the XA layer and the agent's branch manager through the operation table against the
// embedded engine.
#pragma once

#include <cstring>
#include <string>

#include "tests/support/agent_fixture.h"
#include "xa/xa_agent.h"

namespace xatest {

inline XID MakeXid(long format, const std::string& gtrid, const std::string& bqual) {
    XID x;
    std::memset(&x, 0, sizeof x);
    x.formatID = format;
    x.gtrid_length = long(gtrid.size());
    x.bqual_length = long(bqual.size());
    std::memcpy(x.data, gtrid.data(), gtrid.size());
    std::memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
    return x;
}

class XaTest : public agenttest::AgentTest {
protected:
    // The ODBC-level tests of this program use a data directory of their own.
    void SetUp() override {
        setenv("II_DATABASE_DIR", agenttest::DataDir().c_str(), 1);
        agenttest::AgentTest::SetUp();
    }
    int Open(uint32_t h, uint32_t mode = 0, long flags = TMNOFLAGS) {
        return AgentCall<DRV_XaOpen>(&link, h, mode, "", 0, flags);
    }
    int Close(uint32_t h, long flags = TMNOFLAGS) { return AgentCall<DRV_XaClose>(&link, h, "", 0, flags); }
    int Start(uint32_t h, XID* x, long flags = TMNOFLAGS) { return AgentCall<DRV_XaStart>(&link, h, x, 0, flags); }
    int End(uint32_t h, XID* x, long flags = TMSUCCESS) { return AgentCall<DRV_XaEnd>(&link, h, x, 0, flags); }
    int Prepare(uint32_t h, XID* x, long flags = TMNOFLAGS) { return AgentCall<DRV_XaPrepare>(&link, h, x, 0, flags); }
    int Commit(uint32_t h, XID* x, long flags = TMNOFLAGS) { return AgentCall<DRV_XaCommit>(&link, h, x, 0, flags); }
    int Rollback(uint32_t h, XID* x, long flags = TMNOFLAGS) {
        return AgentCall<DRV_XaRollback>(&link, h, x, 0, flags);
    }
    int Recover(uint32_t h, XID* xids, long count, long flags) {
        return AgentCall<DRV_XaRecover>(&link, h, xids, count, 0, flags);
    }

    // Runs one statement through the table as the ODBC side does (allocate, prepare, execute, free).
    uint32_t Run(uint32_t h, const char* sql) {
        uint32_t s = 0;
        uint32_t rc = AgentCall<DRV_AllocStmt>(&link, h, &s);
        if (rc != 0) return rc;
        rc = AgentCall<DRV_Prepare>(&link, s, sql);
        if (rc == 0) rc = AgentCall<DRV_Execute>(&link, s);
        uint32_t frc = AgentCall<DRV_FreeStmt>(&link, s);
        return rc != 0 ? rc : frc;
    }

    // A plain connection that reads what others committed.
    uint32_t Reader() {
        uint32_t h = 0;
        EXPECT_EQ(Connect(&h), 0u);
        return h;
    }

    void Table(const char* name) {
        uint32_t h = Reader();
        std::string drop = std::string("DROP TABLE ") + name;
        Exec(h, drop.c_str());
        std::string create = std::string("CREATE TABLE ") + name + " (id INTEGER, v VARCHAR(20))";
        ASSERT_EQ(Exec(h, create.c_str()), 0u) << ::testing::PrintToString(Errors(h));
        Disconnect(h);
    }

    int64_t Rows(const char* table) {
        uint32_t h = Reader();
        std::string q = std::string("SELECT COUNT(*) FROM ") + table;
        int64_t n = Count(h, q.c_str());
        Disconnect(h);
        return n;
    }
};

}  // namespace xatest
