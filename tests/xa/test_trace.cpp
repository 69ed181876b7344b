// Code names and the XA and OLE-transactions trace lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/dtc.h"
#include "util/trace.h"
#include "xa/xa_agent.h"
#include "xa/xa_dtc.h"
#include "odbc/xa_switch.h"
#include "xa/xa_trace.h"

extern "C" int32_t GetXaSwitch(uint32_t flags, xa_switch_t** out);

namespace {

TEST(XaCodeNames, NameEveryXOpenCodeAndNothingElse) {
    struct Row {
        int code;
        const char* name;
    } rows[] = {
        {-9, "XAER_OUTSIDE"},   {-8, "XAER_DUPID"},     {-7, "XAER_RMFAIL"},     {-6, "XAER_PROTO"},
        {-5, "XAER_INVAL"},     {-4, "XAER_NOTA"},      {-3, "XAER_RMERR"},      {-2, "XAER_ASYNC"},
        {0, "XA_OK"},           {3, "XA_RDONLY"},       {4, "XA_RETRY"},         {5, "XA_HEURMIX"},
        {6, "XA_HEURRB"},       {7, "XA_HEURCOM"},      {8, "XA_HEURHAZ"},       {9, "XA_NOMIGRATE"},
        {100, "XA_RBROLLBACK"}, {101, "XA_RBCOMMFAIL"}, {102, "XA_RBDEADLOCK"},  {103, "XA_RBINTEGRITY"},
        {105, "XA_RBPROTO"},    {106, "XA_RBTIMEOUT"},  {107, "XA_RBTRANSIENT"}, {-1, "Unknown"},
        {104, "Unknown"},       {1, "Unknown"},         {2, "Unknown"},          {-10, "Unknown"},
        {108, "Unknown"},
    };
    for (const Row& r : rows) EXPECT_STREQ(XaCodeName(r.code), r.name) << r.code;
}

TEST(XaCodeNames, NameTheHresultsTheLayerMeets) {
    struct Row {
        uint32_t value;
        const char* name;
    } rows[] = {
        {0x00000000, "S_OK"},
        {0x0004D002, "XACT_S_READONLY"},
        {0x0004D009, "XACT_S_SINGLEPHASE"},
        {0x80004002, "E_NOINTERFACE"},
        {0x80004005, "E_FAIL"},
        {0x80044002, "E_KIV_DSN2HNDL_FAIL"},
        {0x8004D019, "XACT_E_ABORTED"},
        {0x8004D103, "XACT_E_NOTSINGLEPHASE"},
        {0x80070057, "E_INVALIDARG"},
        {0x8007000E, "E_OUTOFMEMORY"},
        {0x80044001, "Unknown!"},
        {0x80044006, "Unknown!"},
        {0x00000001, "Unknown!"},
    };
    for (const Row& r : rows) EXPECT_STREQ(HresultName(HRESULT(r.value)), r.name) << std::hex << r.value;
}

TEST(XaCodeNames, InterfaceIdsPrintByNameOrInBraces) {
    char out[64];
    IidName(out, sizeof out, IID_IUnknown);
    EXPECT_STREQ(out, "IID_IUnknown");
    IidName(out, sizeof out, IID_ITransactionResourceAsync);
    EXPECT_STREQ(out, "{69E971F0-23CE-11CF-AD60-00AA00A74CCD}");
    IidName(out, sizeof out, IID_IDtcToXaHelperSinglePipe);
    EXPECT_STREQ(out, "{47ED4971-53B3-11D1-BBB9-00C04FD658F6}");
    char small[8];
    IidName(small, sizeof small, IID_IDtcToXaHelperSinglePipe);
    EXPECT_STREQ(small, "{47ED49");
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class XaTraceFile : public ::testing::Test {
protected:
    std::string base;
    void SetUp() override {
        IngXaShutdown();  // the layer starts afresh and opens its trace
        char tmpl[] = "/tmp/xatrace-XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        base = tmpl;
        setenv("KIV_DEBUGFILE", base.c_str(), 1);
    }
    void TearDown() override {
        IngXaShutdown();
        unsetenv("KIV_DEBUGFILE");
        std::remove(base.c_str());
        std::remove((base + "-xa").c_str());
    }
};

TEST_F(XaTraceFile, SwitchCallsAndDtcObjectsWriteIntoTheSameFile) {
    ASSERT_NE(kiv_xa_switch(), nullptr);
    char bad[] = "UID=u";
    EXPECT_EQ(xa_switch_open(bad, 1, 0x10), XAER_RMERR);
    XID x{};
    EXPECT_EQ(xa_switch_start(&x, 2, 0), XAER_RMERR);
    ASSERT_EQ(DtcInit(), 0);
    COdbcResourceDispenser* d = DispenserCreate(nullptr, 0, 0x77, nullptr, nullptr, nullptr, "DSN=a;UID=;PWD=;");
    ASSERT_NE(d, nullptr);
    void* out = nullptr;
    EXPECT_EQ(DispenserInterface(d)->QueryInterface(IID_IDtcToXaHelperSinglePipe, &out), E_NOINTERFACE);
    EXPECT_EQ(DispenserRelease(d), 0);
    IngXaShutdown();

    const std::string text = ReadAll(base + "-xa");
    const std::string tid = "[" + std::to_string(TraceThreadId()) + "] ";
    EXPECT_NE(text.find("** Corvanta XA Trace File **"), std::string::npos) << text;
    EXPECT_NE(text.find(tid + "xa_switch_open(***, 1, 10)\n"), std::string::npos) << text;
    EXPECT_NE(text.find(tid + "xa_switch_open: invalid xaInfo string format\n"), std::string::npos);
    EXPECT_NE(text.find(tid + "Call returned: XAER_RMERR(-3)\n"), std::string::npos);
    char startLine[64];
    std::snprintf(startLine, sizeof startLine, "xa_switch_start(%p, 2, 0)\n", static_cast<void*>(&x));
    EXPECT_NE(text.find(tid + startLine), std::string::npos) << text;
    EXPECT_NE(text.find("** Corvanta OLE Transactions Interface: Trace file **\n"), std::string::npos);
    EXPECT_NE(text.find("** Started on "), std::string::npos);
    EXPECT_NE(text.find(tid + "COdbcResourceDispenser::COdbcResourceDispenser()\n"), std::string::npos);
    EXPECT_NE(text.find(tid + "COdbcResourceDispense::QueryInterface()\n"), std::string::npos);
    EXPECT_NE(text.find(tid + "Call failure >>>: Returned HRESULT: 0x80004002(E_NOINTERFACE)\n"), std::string::npos);
    EXPECT_NE(text.find(tid + "COdbcResourceDispenser::Release(), this="), std::string::npos);
    EXPECT_NE(text.find(tid + "COdbcResourceDispenser::~COdbcResourceDispenser()\n"), std::string::npos);
    EXPECT_NE(text.find("** normal end **"), std::string::npos);
    // The switch opened the stream first: the OLE header follows the XA lines in the one file.
    EXPECT_LT(text.find("xa_switch_open(***"), text.find("** Corvanta OLE Transactions Interface"));
}

TEST_F(XaTraceFile, GetXaSwitchWritesItsCallAndItsResult) {
    xa_switch_t* sw = nullptr;
    ASSERT_EQ(GetXaSwitch(0, &sw), 0);  // starts the layer, which opens the trace
    ASSERT_EQ(GetXaSwitch(0, &sw), 0);  // the layer is up and the trace on
    EXPECT_EQ(sw, kiv_xa_switch());
    IngXaShutdown();
    // The layer cannot start: nothing is traced and nothing stored.
    DtcFailNext(kDtcFailMalloc);
    xa_switch_t* untouched = reinterpret_cast<xa_switch_t*>(&sw);
    EXPECT_EQ(GetXaSwitch(0, &untouched), E_FAIL);
    EXPECT_EQ(untouched, reinterpret_cast<xa_switch_t*>(&sw));

    const std::string text = ReadAll(base + "-xa");
    const std::string tid = "[" + std::to_string(TraceThreadId()) + "] ";
    const std::string call = tid + "GetXaSwitch()\n" + tid + "Call success    : Returned HRESULT: 00000000(S_OK)\n";
    const size_t first = text.find(call);
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_NE(text.find(call, first + call.size()), std::string::npos) << text;
    EXPECT_EQ(text.find("Call failure"), std::string::npos) << text;
    // The call is traced after the OLE-transactions header that its start wrote.
    EXPECT_LT(text.find("** Corvanta OLE Transactions Interface"), first);
}

TEST(XaTraceOff, DtcObjectsWriteNothingAndReturnTheirResultsUnchanged) {
    IngXaShutdown();
    unsetenv("KIV_DEBUGFILE");
    ASSERT_EQ(DtcInit(), 0);
    EXPECT_FALSE(OleTraceOn());
    EXPECT_EQ(OleTraceResult(E_FAIL), E_FAIL);
    COdbcResourceDispenser* d = DispenserCreate(nullptr, 0, 1, nullptr, nullptr, nullptr, "DSN=a;");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(DispenserInterface(d)->AddRef(), 2u);
    EXPECT_EQ(DispenserRelease(d), 1);
    EXPECT_EQ(DispenserRelease(d), 0);
    EXPECT_FALSE(DebugStreamOpen(1));
    IngXaShutdown();
}

}  // namespace
