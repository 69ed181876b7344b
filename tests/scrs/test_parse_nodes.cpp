// Node records, walks and regeneration of the parse tree, and parsing from several threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "scrs/scr_analyse.h"
#include "scrs/scr_node.h"
#include "util/scrarray.h"

namespace {

const char* kTwo = "(\xFF\x01\x01 + \xFF\x01\x02)";

TEST(Nodes, CreateRegenerateAndFree) {
    SCR_Node* a = SCR_NodeLeaf(10, "a");
    SCR_Node* b = SCR_NodeLeaf(10, "b");
    SCR_Node* sum = SCR_NodeCreate(23, kTwo, 2, a, b);
    ASSERT_NE(sum, nullptr);
    EXPECT_EQ(sum->childCount, 2u);
    EXPECT_STREQ(sum->text, "");
    SCR_Node* top = SCR_NodeCreate1(60, "\xFF\x01\x01 * \xFF\x01\x01 \xFF\x01\x05", sum);
    ASSERT_EQ(SCR_Regenerate(top), 1);
    // Beyond the children "NULL" is inserted.
    EXPECT_STREQ(top->text, "(a + b) * (a + b) NULL");
    ASSERT_EQ(SCR_NodeSetText(b, "c"), 1);
    ASSERT_EQ(SCR_Regenerate(top), 1);
    EXPECT_STREQ(sum->text, "(a + c)");
    EXPECT_EQ(SCR_NodeChild(sum, 2), b);
    EXPECT_EQ(SCR_NodeChild(sum, 3), nullptr);
    static int seen;
    seen = 0;
    SCR_NodeFree(&top, [](SCR_Node*) { ++seen; });
    EXPECT_EQ(top, nullptr);
    EXPECT_EQ(seen, 4);
}

TEST(Nodes, NullChildTakesTheOthersWithIt) {
    // Under the leak checker: the leaf handed in is freed with the failed node.
    SCR_Node* a = SCR_NodeLeaf(10, "a");
    EXPECT_EQ(SCR_NodeCreate(23, kTwo, 2, a, nullptr), nullptr);
    EXPECT_EQ(SCR_NodeCreate(23, kTwo, 9, nullptr), nullptr);
    EXPECT_EQ(SCR_Regenerate(nullptr), 1);
}

TEST(Nodes, WalkSkipsChildrenAndLaterSiblings) {
    SCR_Analysis x;
    SCR_AnalysisInit(&x);
    ASSERT_EQ(SCR_AnalyseSQL(&x, "select a, b from t where c = 1", 1, 0), 0u);
    struct Seen {
        std::vector<uint32_t> kinds;
    } seen;
    SCR_Walk(
        x.root,
        [](SCR_Node* n, uint32_t stop, void* p) {
            static_cast<Seen*>(p)->kinds.push_back(n->kind);
            return n->kind == stop ? 0 : 1;
        },
        72, &seen);
    // The query's children and the ORDER BY slot after it are not visited.
    EXPECT_EQ(seen.kinds, (std::vector<uint32_t>{74, 72}));
    static uint32_t count;
    count = 0;
    SCR_Walk2(
        x.root,
        [](SCR_Node*, uint32_t a, uint32_t b) {
            count += a + b;
            return 1;
        },
        1, 0);
    uint32_t all = count;
    SCR_Node* where = SCR_FindIn(x.root, 101);
    ASSERT_NE(where, nullptr);
    count = 0;
    SCR_WalkChildren(
        where,
        [](SCR_Node*, uint32_t, void*) {
            ++count;
            return 1;
        },
        0, nullptr);
    EXPECT_GT(count, 1u);
    EXPECT_LT(count, all);
    SCR_Node* none = nullptr;
    SCR_FindKindStop(x.root, 95, 101, &none);  // the only integer is inside WHERE
    EXPECT_EQ(none, nullptr);
    SCR_FindKind(x.root, 95, &none);
    EXPECT_NE(none, nullptr);
    SCR_AnalysisFree(&x);
}

TEST(Nodes, LongListsRegenerate) {
    std::string sql = "select a from t where b in (";
    for (int i = 0; i < 50000; ++i) sql += (i ? ", " : "") + std::to_string(i);
    sql += ")";
    SCR_Analysis x;
    SCR_AnalysisInit(&x);
    ASSERT_EQ(SCR_AnalyseSQL(&x, sql.c_str(), 0, 0), 0u);
    std::string text = SCR_AnalysisText(&x);
    EXPECT_NE(text.find("49998, 49999 )"), std::string::npos);
    SCR_AnalysisFree(&x);
}

TEST(Nodes, ParsesFromSeveralThreads) {
    const char* stmts[] = {"select a from t where b = 1", "update u set c = ? where d = 2",
                           "delete from v where e like 'x%'", "insert into w (f) values (?)"};
    const char* expect[] = {"SELECT", "UPDATE", "DELETE", "INSERT"};
    std::vector<std::thread> threads;
    std::vector<int> bad(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                SCR_Analysis x;
                SCR_AnalysisInit(&x);
                if (SCR_AnalyseSQL(&x, stmts[t], 0, 0) != 0 ||
                    std::string(SCR_AnalysisText(&x)).rfind(expect[t], 0) != 0)
                    ++bad[size_t(t)];
                SCR_AnalysisFree(&x);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad, std::vector<int>(4, 0));
}

}  // namespace
