// Slot 2 must hand out the messages of the record the handle names, even when a connection
// and a statement sit at the same index of their tables.
#include "drv_ingii/i-diag.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/handle_table.h"

namespace {

using stmttest::AgentSession;

class DiagOwner : public AgentSession {};

TEST_F(DiagOwner, ConnectionAndStatementAtTheSameIndexKeepTheirOwnMessages) {
    uint32_t s = Stmt();
    ASSERT_NE(s, 0u);
    ASSERT_EQ(HandleIndex(s), HandleIndex(conn)) << "both records should be first in their tables";
    ASSERT_NE(s, conn);

    IngConn* c = IngConnFind(conn);
    IngStmt* st = IngStmtFind(s);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(IngStmtFind(conn), nullptr);
    EXPECT_EQ(IngConnFind(s), nullptr);
    IngDiagClear(&c->messages);
    IngDiagClear(&st->messages);
    IngDiagPostText(&c->messages, "message of the connection", 15);
    IngDiagPostText(&st->messages, "message of the statement", 15);

    std::string fromConn = Errors(conn);
    EXPECT_NE(fromConn.find("message of the connection"), std::string::npos) << fromConn;
    EXPECT_EQ(fromConn.find("message of the statement"), std::string::npos) << fromConn;
    // Handing out clears only the record asked about.
    EXPECT_EQ(IngDiagCount(&c->messages), 0u);
    EXPECT_EQ(IngDiagCount(&st->messages), 1u);

    std::string fromStmt = Errors(s);
    EXPECT_NE(fromStmt.find("message of the statement"), std::string::npos) << fromStmt;
    EXPECT_EQ(fromStmt.find("message of the connection"), std::string::npos) << fromStmt;
}

TEST_F(DiagOwner, ServerHandleDoesNotReachConnectionOrStatementMessages) {
    uint32_t s = Stmt();
    IngDiagPostText(&IngConnFind(conn)->messages, "conn only", 15);
    IngDiagPostText(&IngStmtFind(s)->messages, "stmt only", 15);
    std::string fromServer = Errors(server);
    EXPECT_EQ(fromServer.find("conn only"), std::string::npos) << fromServer;
    EXPECT_EQ(fromServer.find("stmt only"), std::string::npos) << fromServer;
    EXPECT_EQ(IngDiagCount(&IngConnFind(conn)->messages), 1u);
    EXPECT_EQ(IngDiagCount(&IngStmtFind(s)->messages), 1u);
}

}  // namespace
