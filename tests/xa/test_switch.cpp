// The XA switch as a transaction manager drives it, and the exports that hand the application
// its XA connection.
#include <thread>

#include "tests/xa/xa_odbc_fixture.h"
#include "tests/xa/xa_fixture.h"
#include "odbc/xa_switch.h"

extern "C" int32_t GetXaSwitch(uint32_t flags, xa_switch_t** out);
extern "C" SQLRETURN SQLGetXaEnv(SQLHENV* out);
extern "C" SQLRETURN SQLGetXaConnect(SQLHDBC* out);

namespace xatest {
namespace {

char kInfo[] = "DSN=xadb;UID=;PWD=";

TEST(XaSwitch, IsBuiltOnceWithTheStandardsLayout) {
    xa_switch_t* sw = kiv_xa_switch();
    ASSERT_NE(sw, nullptr);
    EXPECT_STREQ(sw->name, "CORVANTA");
    EXPECT_EQ(sw->flags, 0);
    EXPECT_EQ(sw->version, 0);
    EXPECT_EQ(sw->xa_open_entry, &xa_switch_open);
    EXPECT_EQ(sw->xa_close_entry, &xa_switch_close);
    EXPECT_EQ(sw->xa_start_entry, &xa_switch_start);
    EXPECT_EQ(sw->xa_end_entry, &xa_switch_end);
    EXPECT_EQ(sw->xa_rollback_entry, &xa_switch_rollback);
    EXPECT_EQ(sw->xa_prepare_entry, &xa_switch_prepare);
    EXPECT_EQ(sw->xa_commit_entry, &xa_switch_commit);
    EXPECT_EQ(sw->xa_recover_entry, &xa_switch_recover);
    EXPECT_EQ(sw->xa_forget_entry, &xa_switch_forget);
    EXPECT_EQ(sw->xa_complete_entry, &xa_switch_complete);
    xa_switch_t* viaDtc = nullptr;
    EXPECT_EQ(GetXaSwitch(0, &viaDtc), 0);
    EXPECT_EQ(viaDtc, sw);
    EXPECT_EQ(kiv_xa_switch(), sw);
}

TEST(XaSwitch, TheDataSourceComesFromTheDsnKeyword) {
    char out[256];
    struct Row {
        const char* info;
        int ok;
        const char* dsn;
    } rows[] = {
        {"DSN=abc", 1, "abc"},   {"UID=u;DSN=abc  ;PWD=p", 1, "abc"}, {"DSN=;UID=u", 1, ""},
        {"dsn=abc", 0, nullptr}, {"UID=u;PWD=p", 0, nullptr},
    };
    for (const Row& r : rows) {
        ASSERT_EQ(XaInfoDsn(r.info, out, sizeof out), r.ok) << r.info;
        if (r.ok) {
            EXPECT_STREQ(out, r.dsn);
        }
    }
    std::string longDsn = "DSN=" + std::string(300, 'x');
    EXPECT_EQ(XaInfoDsn(longDsn.c_str(), out, sizeof out), 0);
}

class XaSwitchTest : public OdbcXaTest {};

TEST_F(XaSwitchTest, BadXaInfoTextsAreRefused) {
    char lower[] = "dsn=xadb;UID=;PWD=";
    char none[] = "UID=;PWD=";
    EXPECT_EQ(xa_switch_open(lower, 1, 0), XAER_RMERR);
    EXPECT_EQ(xa_switch_open(none, 1, 0), XAER_RMERR);
    EXPECT_EQ(xa_switch_close(none, 1, 0), XAER_RMERR);
    EXPECT_EQ(xa_switch_open(nullptr, 1, 0), XAER_RMERR);
    std::string tooLong = "DSN=xadb;UID=;PWD=;" + std::string(300, ' ');
    EXPECT_EQ(xa_switch_open(tooLong.data(), 1, 0), XAER_RMERR);
    EXPECT_EQ(XaThreadAssocCount(), 0);
    SQLHDBC h = reinterpret_cast<SQLHDBC>(1);
    EXPECT_EQ(SQLGetXaConnect(&h), SQL_ERROR);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(SQLGetXaEnv(nullptr), SQL_ERROR);
}

TEST_F(XaSwitchTest, ATransactionManagerCommitsWorkDoneOnTheThreadsXaConnection) {
    Table(kInfo, "xs1");
    xa_switch_t* sw = kiv_xa_switch();
    ASSERT_EQ(sw->xa_open_entry(kInfo, 3, TMNOFLAGS), XA_OK);
    SQLHDBC xaConn = SQL_NULL_HDBC;
    SQLHENV xaEnv = SQL_NULL_HENV;
    ASSERT_EQ(SQLGetXaConnect(&xaConn), SQL_SUCCESS);
    ASSERT_EQ(SQLGetXaEnv(&xaEnv), SQL_SUCCESS);
    EXPECT_NE(xaConn, nullptr);
    EXPECT_NE(xaEnv, nullptr);
    EXPECT_NE(xaEnv, henv);  // the switch has an environment of its own
    ConnRecord* rec = ConnOf(xaConn);
    ASSERT_NE(rec, nullptr);
    XaConnHolder* holder = XaHolderOf(rec->agentConn);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->enabled, 1u);  // the switch opens with a worker

    XID x = MakeXid(11, "switch", "1");
    ASSERT_EQ(sw->xa_start_entry(&x, 3, TMNOFLAGS), XA_OK);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(xaConn, "INSERT INTO xs1 VALUES (1)")));
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(xaConn, "INSERT INTO xs1 VALUES (2)")));
    EXPECT_EQ(Rows(kInfo, "xs1"), 0);
    ASSERT_EQ(sw->xa_end_entry(&x, 3, TMSUCCESS), XA_OK);
    ASSERT_EQ(sw->xa_prepare_entry(&x, 3, TMNOFLAGS), XA_OK);
    ASSERT_EQ(sw->xa_commit_entry(&x, 3, TMNOFLAGS), XA_OK);
    EXPECT_EQ(Rows(kInfo, "xs1"), 2);

    XID y = MakeXid(11, "switch", "2");
    ASSERT_EQ(sw->xa_start_entry(&y, 3, TMNOFLAGS), XA_OK);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(xaConn, "INSERT INTO xs1 VALUES (3)")));
    ASSERT_EQ(sw->xa_end_entry(&y, 3, TMSUCCESS), XA_OK);
    ASSERT_EQ(sw->xa_rollback_entry(&y, 3, TMNOFLAGS), XA_OK);
    EXPECT_EQ(Rows(kInfo, "xs1"), 2);

    XID found[4];
    EXPECT_EQ(sw->xa_recover_entry(found, 4, 3, TMSTARTRSCAN | TMENDRSCAN), 0);
    EXPECT_EQ(sw->xa_forget_entry(&y, 3, TMNOFLAGS), XAER_NOTA);
    int handle = 5, result = 9;
    EXPECT_EQ(sw->xa_complete_entry(&handle, &result, 3, TMNOFLAGS), XAER_INVAL);

    ASSERT_EQ(sw->xa_close_entry(kInfo, 3, TMNOFLAGS), XA_OK);
    EXPECT_EQ(SQLGetXaConnect(&xaConn), SQL_ERROR);
    EXPECT_EQ(xaConn, nullptr);
    EXPECT_EQ(SQLGetXaEnv(&xaEnv), SQL_ERROR);
    EXPECT_EQ(XaThreadAssocCount(), 0);
}

TEST_F(XaSwitchTest, OnlyTheOpeningThreadWithItsRmidAndTextReachesTheConnection) {
    ASSERT_EQ(xa_switch_open(kInfo, 4, TMNOFLAGS), XA_OK);
    XID x = MakeXid(12, "thread", "1");
    int fromOther = 0;
    SQLRETURN connOther = SQL_SUCCESS;
    std::thread t([&] {
        fromOther = xa_switch_start(&x, 4, TMNOFLAGS);
        SQLHDBC h = SQL_NULL_HDBC;
        connOther = SQLGetXaConnect(&h);
    });
    t.join();
    EXPECT_EQ(fromOther, XAER_RMERR);
    EXPECT_EQ(connOther, SQL_ERROR);
    EXPECT_EQ(xa_switch_start(&x, 5, TMNOFLAGS), XAER_RMERR);  // another rmid
    char other[] = "DSN=xadb;UID=;PWD=;";
    EXPECT_EQ(xa_switch_close(other, 4, TMNOFLAGS), XAER_RMERR);  // a text that differs
    SQLHDBC h = SQL_NULL_HDBC;
    EXPECT_EQ(SQLGetXaConnect(&h), SQL_SUCCESS);  // the association stays
    ASSERT_EQ(xa_switch_close(kInfo, 4, TMNOFLAGS), XA_OK);
}

TEST_F(XaSwitchTest, OneThreadMayOpenSeveralResourceManagers) {
    char second[] = "DSN=xanoinfo;UID=;PWD=";
    ASSERT_EQ(xa_switch_open(kInfo, 6, TMNOFLAGS), XA_OK);
    SQLHDBC first = SQL_NULL_HDBC, newest = SQL_NULL_HDBC;
    ASSERT_EQ(SQLGetXaConnect(&first), SQL_SUCCESS);
    // A data source without the XaInfo key opens with an empty one.
    ASSERT_EQ(xa_switch_open(second, 7, TMNOFLAGS), XA_OK);
    ASSERT_EQ(SQLGetXaConnect(&newest), SQL_SUCCESS);
    EXPECT_NE(first, newest);
    EXPECT_EQ(XaThreadAssocCount(), 2);
    XID x = MakeXid(13, "rm6", "1");
    EXPECT_EQ(xa_switch_start(&x, 6, TMNOFLAGS), XA_OK);
    EXPECT_EQ(xa_switch_end(&x, 6, TMNOFLAGS), XA_OK);
    EXPECT_EQ(xa_switch_rollback(&x, 6, TMNOFLAGS), XA_OK);
    ASSERT_EQ(xa_switch_close(second, 7, TMNOFLAGS), XA_OK);
    ASSERT_EQ(xa_switch_close(kInfo, 6, TMNOFLAGS), XA_OK);
    EXPECT_EQ(XaThreadAssocCount(), 0);
}

TEST_F(XaSwitchTest, AFailedOpenLeavesNothingBehind) {
    char missing[] = "DSN=nosuchdb;UID=;PWD=";
    EXPECT_EQ(xa_switch_open(missing, 8, TMNOFLAGS), XAER_RMERR);
    EXPECT_EQ(XaThreadAssocCount(), 0);
    SQLHENV e = SQL_NULL_HENV;
    EXPECT_EQ(SQLGetXaEnv(&e), SQL_ERROR);
    // Opening again works: the shared environment was given back and is made anew.
    ASSERT_EQ(xa_switch_open(kInfo, 8, TMNOFLAGS), XA_OK);
    ASSERT_EQ(xa_switch_close(kInfo, 8, TMNOFLAGS), XA_OK);
}

}  // namespace
}  // namespace xatest
