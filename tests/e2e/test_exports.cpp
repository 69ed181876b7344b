// Each library's dynamic exports, read back with nm, against the documented set.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/exports_fixture.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& lib) {
    std::set<std::string> names;
    std::string cmd = "nm -D --defined-only '" + lib + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return names;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        char addr[64], type[8], name[400];
        if (sscanf(line, "%63s %7s %399s", addr, type, name) == 3) names.insert(name);
    }
    pclose(p);
    return names;
}

class Exports : public ::testing::TestWithParam<DriverBuild> {};

TEST_P(Exports, ExactlyTheDocumentedNames) {
    const DriverBuild& b = GetParam();
    std::set<std::string> expected;
    for (const char* s : kStringFunctions) expected.insert(b.wide ? std::string(s) + "W" : std::string(s));
    for (const char* s : kCommonExports) expected.insert(s);
    ASSERT_EQ(79u, expected.size());
    std::set<std::string> actual = DefinedDynamicSymbols(LibraryPath(b));
    ASSERT_FALSE(actual.empty()) << "nm could not read " << LibraryPath(b);
    for (const auto& name : expected) EXPECT_TRUE(actual.count(name)) << "missing export " << name;
    for (const auto& name : actual) EXPECT_TRUE(expected.count(name)) << "unexpected export " << name;
    // The other build's string forms and the unexported ODBC 2 attribute function stay hidden.
    EXPECT_FALSE(actual.count(b.wide ? "SQLColumns" : "SQLColumnsW"));
    EXPECT_FALSE(actual.count("SQLColAttributes"));
    EXPECT_FALSE(actual.count("SQLColAttributesW"));
}

// An application's Driver Manager exports the same names; a call from inside the driver through
// the PLT could bind there. None may exist, and the driver imports none of these names.
TEST_P(Exports, TheDriverNeverCallsItsOwnExportsThroughThePlt) {
    const DriverBuild& b = GetParam();
    std::set<std::string> exported;
    for (const char* s : kStringFunctions) {
        exported.insert(s);
        exported.insert(std::string(s) + "W");
    }
    for (const char* s : kCommonExports) exported.insert(s);
    std::string cmd = "objdump -d --no-show-raw-insn '" + LibraryPath(b) + "' 2>/dev/null | grep -o '<[A-Za-z_]*@plt>'";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    char line[256];
    int calls = 0;
    while (fgets(line, sizeof line, p)) {
        ++calls;
        std::string name(line + 1);
        name = name.substr(0, name.find('@'));
        EXPECT_FALSE(exported.count(name)) << "PLT call to " << name;
    }
    pclose(p);
    EXPECT_GT(calls, 0) << "objdump found no PLT calls at all";
    cmd = "nm -D --undefined-only '" + LibraryPath(b) + "' 2>/dev/null";
    p = popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    while (fgets(line, sizeof line, p)) {
        char type[8], name[256];
        if (sscanf(line, "%7s %255s", type, name) == 2) {
            EXPECT_FALSE(exported.count(name)) << "imports " << name;
        }
    }
    pclose(p);
}

// libltdl, through which unixODBC loads the driver, asks for "<module>_LTX_<name>" first and
// calls what it finds: no such name answers, so every call reaches the plain function.
TEST_P(Exports, NoModulePrefixedNamesAnswerTheLoader) {
    const DriverBuild& b = GetParam();
    void* lib = dlopen(LibraryPath(b).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror();
    const std::string prefix = std::string(b.wide ? "telvarinu" : "telvarin") + "_LTX_";
    int checked = 0;
    auto check = [&](const std::string& name) {
        EXPECT_NE(nullptr, dlsym(lib, name.c_str())) << name;
        EXPECT_EQ(nullptr, dlsym(lib, (prefix + name).c_str())) << prefix + name;
        ++checked;
    };
    for (const char* s : kStringFunctions) check(b.wide ? std::string(s) + "W" : std::string(s));
    for (const char* s : kCommonExports) check(s);
    EXPECT_EQ(checked, 79);
    dlclose(lib);
}

INSTANTIATE_TEST_SUITE_P(Builds, Exports, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
