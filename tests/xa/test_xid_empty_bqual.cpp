// An XID with an empty branch qualifier (which the XA standard allows and the verbs accept)
// survives its branch text, so a prepared branch of that XID is found again by recovery.
#include "tests/xa/xa_fixture.h"

namespace xatest {
namespace {

TEST(XaBranchText, AnEmptyBranchQualifierReadsBack) {
    XID x = MakeXid(0x1234, "gtrid", "");
    char text[1024];
    ASSERT_EQ(XidToText(&x, text, sizeof text), 1);
    EXPECT_STREQ(text, "'00001234:5:0:67747269:64000000:XA:0:7:EX'");
    XID parsed{};
    ASSERT_EQ(XidFromText(text + 1, &parsed), 1);
    EXPECT_EQ(XidEqual(&parsed, &x), 1);
}

class XaEmptyQualifierTest : public XaTest {};

TEST_F(XaEmptyQualifierTest, APreparedBranchIsRecoveredAndCommitted) {
    Table("xbq");
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    XID x = MakeXid(7, "no-branch-qualifier", "");
    ASSERT_EQ(Start(a, &x), XA_OK);
    ASSERT_EQ(Run(a, "INSERT INTO xbq VALUES (1, 'x')"), 0u);
    ASSERT_EQ(End(a, &x, TMNOFLAGS), XA_OK);
    ASSERT_EQ(Prepare(a, &x), XA_OK);
    ASSERT_EQ(Close(a), XA_OK);
    ASSERT_EQ(Disconnect(a), 0u);

    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Open(b), XA_OK);
    XID found[4];
    ASSERT_EQ(Recover(b, found, 4, TMSTARTRSCAN | TMENDRSCAN), 1);
    EXPECT_EQ(XidEqual(&found[0], &x), 1);
    ASSERT_EQ(Commit(b, &x), XA_OK);
    EXPECT_EQ(Rows("xbq"), 1);
    EXPECT_EQ(Recover(b, found, 4, TMSTARTRSCAN | TMENDRSCAN), 0);
    ASSERT_EQ(Close(b), XA_OK);
}

}  // namespace
}  // namespace xatest
