// The XA exports as a transaction manager uses them: the built library loaded directly, its
// switch taken from kiv_xa_switch or GetXaSwitch, and the thread's XA connection handed out.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "connect_fixture.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/xa_types_fixture.h"

namespace {

using xatypes::kTmEndScan;
using xatypes::kTmStartScan;
using xatypes::kTmSuccess;
using xatypes::XaSwitch;
using xatypes::Xid;

Xid MakeXid(const char* gtrid, const char* bqual) { return xatypes::MakeXid(gtrid, bqual); }

class XaExports : public ::testing::TestWithParam<DriverBuild> {
protected:
    void* lib = nullptr;
    XaSwitch* (*kivXaSwitch)() = nullptr;
    int32_t (*getXaSwitch)(uint32_t, XaSwitch**) = nullptr;
    SQLRETURN (*getXaConnect)(SQLHDBC*) = nullptr;
    SQLRETURN (*getXaEnv)(SQLHENV*) = nullptr;

    void SetUp() override {
        connecttest::EnsureDatabases();
        lib = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        kivXaSwitch = reinterpret_cast<XaSwitch* (*)()>(dlsym(lib, "kiv_xa_switch"));
        getXaSwitch = reinterpret_cast<int32_t (*)(uint32_t, XaSwitch**)>(dlsym(lib, "GetXaSwitch"));
        getXaConnect = reinterpret_cast<SQLRETURN (*)(SQLHDBC*)>(dlsym(lib, "SQLGetXaConnect"));
        getXaEnv = reinterpret_cast<SQLRETURN (*)(SQLHENV*)>(dlsym(lib, "SQLGetXaEnv"));
        ASSERT_NE(kivXaSwitch, nullptr);
        ASSERT_NE(getXaSwitch, nullptr);
        ASSERT_NE(getXaConnect, nullptr);
        ASSERT_NE(getXaEnv, nullptr);
    }
    void TearDown() override {
        if (lib) dlclose(lib);
    }
};

TEST_P(XaExports, BothExportsHandOutTheOneSwitch) {
    XaSwitch* sw = kivXaSwitch();
    ASSERT_NE(sw, nullptr);
    EXPECT_STREQ(sw->name, "CORVANTA");
    EXPECT_EQ(sw->flags, 0);
    XaSwitch* viaDtc = nullptr;
    EXPECT_EQ(getXaSwitch(0, &viaDtc), 0);
    EXPECT_EQ(viaDtc, sw);
    for (auto* entry :
         {reinterpret_cast<void*>(sw->open), reinterpret_cast<void*>(sw->close), reinterpret_cast<void*>(sw->start),
          reinterpret_cast<void*>(sw->end), reinterpret_cast<void*>(sw->rollback), reinterpret_cast<void*>(sw->prepare),
          reinterpret_cast<void*>(sw->commit), reinterpret_cast<void*>(sw->recover),
          reinterpret_cast<void*>(sw->forget), reinterpret_cast<void*>(sw->complete)})
        EXPECT_NE(entry, nullptr);
}

TEST_P(XaExports, ATransactionManagerRunsABranchToItsEnd) {
    XaSwitch* sw = kivXaSwitch();
    ASSERT_NE(sw, nullptr);
    std::string info = std::string("DSN=") + (GetParam().wide ? "cw_wide" : "cw_narrow") + ";UID=tvuser;PWD=secret";
    SQLHDBC dbc = reinterpret_cast<SQLHDBC>(1);
    EXPECT_EQ(getXaConnect(&dbc), SQL_ERROR);
    EXPECT_EQ(dbc, nullptr);
    char bad[] = "UID=tvuser";
    EXPECT_EQ(sw->open(bad, 1, 0), -3);

    ASSERT_EQ(sw->open(info.data(), 1, 0), 0);
    ASSERT_EQ(getXaConnect(&dbc), SQL_SUCCESS);
    EXPECT_NE(dbc, nullptr);
    SQLHENV env = nullptr;
    ASSERT_EQ(getXaEnv(&env), SQL_SUCCESS);
    EXPECT_NE(env, nullptr);

    Xid x = MakeXid("e2e-branch", "1");
    ASSERT_EQ(sw->start(&x, 1, 0), 0);
    EXPECT_EQ(sw->start(&x, 2, 0), -3);  // another resource manager id
    ASSERT_EQ(sw->end(&x, 1, kTmSuccess), 0);
    ASSERT_EQ(sw->prepare(&x, 1, 0), 0);
    Xid found[4];
    int n = sw->recover(found, 4, 1, kTmStartScan | kTmEndScan);
    ASSERT_GE(n, 1);
    bool seen = false;
    for (int i = 0; i < n; ++i)
        seen = seen || (found[i].gtrid_length == x.gtrid_length && std::memcmp(found[i].data, x.data, 11) == 0);
    EXPECT_TRUE(seen);
    ASSERT_EQ(sw->commit(&x, 1, 0), 0);
    EXPECT_EQ(sw->recover(found, 4, 1, kTmStartScan | kTmEndScan), n - 1);
    ASSERT_EQ(sw->close(info.data(), 1, 0), 0);
    EXPECT_EQ(getXaConnect(&dbc), SQL_ERROR);
    EXPECT_EQ(dbc, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Builds, XaExports, ::testing::ValuesIn(DriverBuilds()),
                         [](const ::testing::TestParamInfo<DriverBuild>& i) { return BuildName(i.param); });

}  // namespace
