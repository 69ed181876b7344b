// A scrollable statement whose kept copy of the parameter values cannot be made: the values
// handed over belong to the table, so they must not be lost on that path.
#include "scrs/sc_cursor.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/trymem.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TV_HAVE_LSAN 1
#endif

using namespace stmttest;

namespace {

class KeptParamsOom : public AgentSession {};

TEST_F(KeptParamsOom, EveryFailingCopyStillDisposesOfTheHandedOverValues) {
    Exec("CREATE TABLE ko (a INTEGER, b VARCHAR(20))");
    uint32_t s = Stmt();
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "INSERT INTO ko VALUES (?, ?)"));
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = 1;
    ASSERT_FALSE(AgentLinkCallerFrees(&link)) << "the table owns values handed to it on this link";

    int failures = 0;
    uint32_t rc = 1;
    for (long k = 0; k < 200 && rc != 0; ++k) {
        ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 20}}, 2);
        p.Put<int32_t>(0, 0, 1);
        p.Text(1, 0, "one");
        p.Put<int32_t>(0, 1, 2);
        p.Text(1, 1, "two");
        Dataset* values = p.Give();
        TryMemFailAfter(k);
        rc = AgentCall<DRV_SetParams>(&link, s, values);
        TryMemFailAfter(-1);
        if (rc != 0) {
            ++failures;
            EXPECT_EQ(16u, rc);
            EXPECT_EQ(nullptr, c.keptParams);
            EXPECT_FALSE(c.layerFlags & kScsLParamsKept);
#ifdef TV_HAVE_LSAN
            EXPECT_EQ(0, __lsan_do_recoverable_leak_check()) << "failure point " << k;
#endif
        }
    }
    ASSERT_EQ(0u, rc) << "the copy never succeeded";
    EXPECT_GT(failures, 0);
    ASSERT_NE(nullptr, c.keptParams);
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
}

}  // namespace
