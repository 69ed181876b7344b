// The operation table, its link and the layers laid over it.
#include <gtest/gtest.h>

#include <set>

#include "odbc/globals.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-optable.h"
#include "scrs/sc_cursor.h"
#include "odbc/xa_switch.h"
#include "xa/xa_agent.h"

namespace {

const std::set<int> kEmptyAgentSlots = {36, 37, 38, 39, 40, 41, 42, 44, 45, 46, 47, 48, 49, 52, 54, 65};
// Every operation slot of the agent is filled but those the layers fill.
const std::set<int> kStatementEngineSlots = {};

TEST(AgentOpTable, AgentLeavesExactlyTheLayerSlotsEmpty) {
    const AgentFuncTable* t = IngAgentOpTable();
    for (int slot = 0; slot < kAgentSlotCount; ++slot) {
        if (kEmptyAgentSlots.count(slot) || kStatementEngineSlots.count(slot))
            EXPECT_FALSE(AgentSlotFilled(t, slot)) << "slot " << slot;
        else
            EXPECT_TRUE(AgentSlotFilled(t, slot)) << "slot " << slot;
    }
}

TEST(AgentOpTable, InstallWritesWordTwoAndLaysBothLayers) {
    AgentLink link{0, nullptr};
    ASSERT_EQ(AgentStackInstall(&link), 0);
    EXPECT_EQ(link.word, 2u);
    ASSERT_NE(link.table, nullptr);
    EXPECT_EQ(link.table, XaLayerTable());
    const AgentFuncTable* scs = SCS_LayerTable();
    ASSERT_NE(scs, nullptr);
    EXPECT_NE(scs, IngAgentOpTable());
    // Slot 40 is empty at every level; 38 and 39 below the XA layer.
    for (const AgentFuncTable* t : {IngAgentOpTable(), scs, static_cast<const AgentFuncTable*>(link.table)})
        EXPECT_EQ(t->DRV_GetData, nullptr);
    EXPECT_EQ(scs->DRV_ParamData, nullptr);
    EXPECT_EQ(scs->DRV_PutData, nullptr);
    // The cursor layer answers slot 0 itself; slots it does not take reach the agent unchanged.
    EXPECT_EQ(scs->DRV_GetInfo, SCS_GetInfo);
    EXPECT_EQ(scs->DRV_Commit, IngAgentOpTable()->DRV_Commit);
}

TEST(AgentOpTable, SecondConnectionReusesTheCursorLayerTable) {
    AgentLink a{}, b{};
    AgentStackInstall(&a);
    const AgentFuncTable* first = SCS_LayerTable();
    AgentStackInstall(&b);
    EXPECT_EQ(SCS_LayerTable(), first);
    EXPECT_EQ(b.word, 2u);
    EXPECT_EQ(a.table, b.table);
}

TEST(AgentOpTable, LayingTheXaLayerTwiceKeepsOneLevel) {
    AgentLink link{};
    AgentStackInstall(&link);
    AgentFuncTable* outer = link.table;
    EXPECT_EQ(XaInterposeOpTable(&link), 0u);
    EXPECT_EQ(link.table, outer);
    // Still reaches the agent: an unknown server handle is refused, not looped on.
    uint16_t len = 0;
    char buf[16];
    EXPECT_EQ(AgentCall<DRV_GetInfo>(&link, 0xAAAA0003u, 0x11010000u, static_cast<void*>(buf), uint16_t(16), &len),
              21u);
}

TEST(AgentOpTable, XaLayerRefusesALinkWithoutWord) {
    AgentLink link{0, const_cast<AgentFuncTable*>(IngAgentOpTable())};
    EXPECT_EQ(XaInterposeOpTable(&link), 43u);
    EXPECT_EQ(link.table, IngAgentOpTable());
    EXPECT_EQ(XaInterposeOpTable(nullptr), 43u);
}

TEST(AgentOpTable, EmptySlotIsNeverCalledAndAnswersNotCapable) {
    AgentLink link{};
    AgentStackInstall(&link);
    EXPECT_EQ(AgentCall<DRV_GetData>(&link, 1u, uint16_t(1), 1u, uint64_t(0), nullptr, nullptr, nullptr, nullptr), 43u);
    // The cursor layer fills the fetch slot; an emptied copy shows the empty-slot answer.
    AgentFuncTable copy = *link.table;
    copy.DRV_Fetch = nullptr;
    AgentLink emptied{2, &copy};
    EXPECT_EQ(AgentCall<DRV_Fetch>(&emptied, 1u, nullptr, 0, nullptr, nullptr), 43u);
    AgentLink none{2, nullptr};
    EXPECT_EQ(AgentCall<DRV_Commit>(&none, 1u), 43u);
    EXPECT_EQ(AgentCall<DRV_Commit>(static_cast<const AgentLink*>(nullptr), 1u), 43u);
}

TEST(AgentOpTable, UnknownHandlesGiveInvalidArgument) {
    AgentLink link{};
    AgentStackInstall(&link);
    EXPECT_EQ(AgentCall<DRV_Cancel>(&link, 0x12345678u), 21u);
    EXPECT_EQ(AgentCall<DRV_Disconnect>(&link, 0u), 21u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, 0xCCCC0000u), 21u);
    EXPECT_EQ(AgentCall<DRV_ServerFree>(&link, 0xAAAA0007u), 21u);
    EXPECT_EQ(AgentCall<DRV_Commit>(&link, 0xBBBB0001u), 21u);
    EXPECT_EQ(AgentCall<DRV_Savepoint>(&link, 0xBBBB0001u, 0u, "s1"), 21u);
    EXPECT_EQ(AgentCall<DRV_GetOpTable>(&link, 0xBBBB0001u, static_cast<AgentOpRequest*>(nullptr)), 21u);
    EXPECT_EQ(AgentCall<DRV_UnsupportedStmtOp>(&link, 1u), 43u);
    EXPECT_EQ(IngBeforeSetPos(99), 0u);
}

TEST(XaEntryPoints, DtcSetsUpAndADispenserWithoutConnectionCannotEnlist) {
    EXPECT_EQ(DtcInit(), 0);
    EXPECT_EQ(DtcInit(), 0);
    COdbcResourceDispenser* d = DispenserCreate(nullptr, 1, 2, nullptr, nullptr, nullptr, "DSN=x;UID=u;PWD=p;");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(DispenserRMEnlist(d), -1);
    EXPECT_EQ(DispenserRelease(d), 0);
    EXPECT_EQ(DispenserRelease(nullptr), -1);
    EXPECT_EQ(DispenserRMConnect(nullptr), -1);
    EXPECT_EQ(DispenserRMEnlist(nullptr), -1);
    EXPECT_EQ(XaHolderAssociated(nullptr), 0);
    EXPECT_STREQ(IngErrorState(kErrDtcEnlist), "IM932");
    EXPECT_EQ(IngXaShutdown(), 1);
}

TEST(XaEntryPoints, AgentXaVerbsAnswerXOpenCodes) {
    AgentLink link{};
    AgentStackInstall(&link);
    XID xid{};
    xid.formatID = 1;
    // An unknown agent connection is an invalid argument to every verb.
    EXPECT_EQ(AgentCall<DRV_XaStart>(&link, 1u, &xid, 0, 0L), XAER_INVAL);
    EXPECT_EQ(AgentCall<DRV_XaRecover>(&link, 1u, &xid, 1L, 0, 0L), XAER_INVAL);
    EXPECT_EQ(AgentCall<DRV_XaForget>(&link, 1u, &xid, 0, 0L), XAER_INVAL);
}

}  // namespace

TEST(AgentOpTable, TheAgentInstallsOnlyItsOwnTable) {
    AgentLink link{0, nullptr};
    ASSERT_EQ(IngInstallOpTable(&link), 0);
    EXPECT_EQ(link.word, 2u);
    EXPECT_EQ(link.table, IngAgentOpTable());
    EXPECT_EQ(IngInstallOpTable(nullptr), 21);
}
