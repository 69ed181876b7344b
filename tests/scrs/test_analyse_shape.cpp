// Statement analysis: shape flags, tables, ORDER BY items, select items and clause edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scrs/scr_analyse.h"
#include "util/scrarray.h"

namespace {

std::string Squeeze(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

const std::string kMark = SCR_EDIT_MARKER;

struct Analysed {
    SCR_Analysis a;
    Analysed() { SCR_AnalysisInit(&a); }
    ~Analysed() { SCR_AnalysisFree(&a); }
    std::string Text() const { return Squeeze(SCR_AnalysisText(&a)); }
};

struct ShapeCase {
    const char* sql;
    int32_t kind;
    uint16_t flags;
};

class Shapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(Shapes, Flags) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, GetParam().sql, 0, 0), 0u) << GetParam().sql;
    EXPECT_EQ(x.a.kind, GetParam().kind) << GetParam().sql;
    EXPECT_EQ(x.a.flags, GetParam().flags) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(Cases, Shapes,
                         ::testing::Values(ShapeCase{"select a from t", 74, 0},
                                           ShapeCase{"SELECT a FROM t1, t2 ORDER BY 1 DESC", 74, 0x4 | 0x20},
                                           ShapeCase{"SELECT COUNT(*) FROM t", 74, 0x80},
                                           ShapeCase{"SELECT * FROM t1 LEFT JOIN t2 ON t1.a = t2.a", 74, 0x100 | 0x20},
                                           ShapeCase{"SELECT a FROM t WHERE a *= b", 74, 0x100},
                                           ShapeCase{"SELECT a, sum(b) FROM t GROUP BY a", 74, 0x8 | 0x80},
                                           ShapeCase{"SELECT a FROM t UNION SELECT b FROM u", 74, 0x10},
                                           ShapeCase{"SELECT a FROM (SELECT b FROM u) AS d", 74, 0},
                                           ShapeCase{"SELECT DISTINCT a, b FROM t ORDER BY a", 74, 0x400 | 0x4},
                                           ShapeCase{"SELECT ALL a FROM t", 74, 0},
                                           ShapeCase{"SELECT a FROM t WHERE a IN (SELECT DISTINCT b FROM u)", 74, 0},
                                           ShapeCase{"SELECT 1 WHERE 1 IN (SELECT b FROM u, v)", 74, 0},
                                           ShapeCase{"DELETE FROM t WHERE a = 1", 19, 0},
                                           ShapeCase{"UPDATE t SET a = 1", 97, 0},
                                           ShapeCase{"INSERT INTO t VALUES (1)", 28, 0}, ShapeCase{"{call p}", 61, 0}));

TEST(Analyse, NotAStatementOfTheGrammar) {
    Analysed x;
    EXPECT_EQ(SCR_AnalyseSQL(&x.a, "SELECT FROM WHERE", 0, 0), 68u);
    EXPECT_NE(x.a.errText, nullptr);
}

struct TableCase {
    const char* sql;
    int qualifiers;
    std::vector<std::vector<std::string>> tables;  // qualifier, owner, table, alias
};

class Tables : public ::testing::TestWithParam<TableCase> {};

TEST_P(Tables, Split) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, GetParam().sql, 0, GetParam().qualifiers), 0u) << GetParam().sql;
    SCR_Array* arr = SCR_ArrayCreate(sizeof(SCR_TableRef));
    ASSERT_EQ(SCR_TablesGet(&x.a, arr, GetParam().qualifiers), 0u);
    std::vector<std::vector<std::string>> got;
    for (uint32_t i = 0; i < arr->count; ++i) {
        auto* t = static_cast<SCR_TableRef*>(SCR_ArrayAt(arr, i));
        got.push_back({t->qualifier, t->owner, t->table, t->alias});
    }
    SCR_ArrayFree(&arr, SCR_TableRefFree);
    EXPECT_EQ(got, GetParam().tables) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Tables,
    ::testing::Values(TableCase{"SELECT a FROM own.t@n", 1, {{"", "own", "t", ""}}},
                      TableCase{"SELECT a FROM t@n", 1, {{"", "", "t", ""}}},
                      TableCase{"SELECT a FROM q.o.t x, u AS y", 1, {{"q", "o", "t", "x"}, {"", "", "u", "y"}}},
                      TableCase{"SELECT a FROM q.o.t x", 0, {{"", "o", "t", "x"}}},
                      TableCase{"SELECT a FROM o.t", 1, {{"", "o", "t", ""}}},
                      TableCase{"SELECT a FROM db:o.t", 1, {{"db", "o", "t", ""}}},
                      TableCase{"SELECT a FROM db:t", 1, {{"db", "", "t", ""}}},
                      TableCase{
                          "SELECT a FROM t1 INNER JOIN t2 ON t1.k = t2.k, {oj t3 LEFT OUTER JOIN t4 ON t3.k = t4.k}",
                          0,
                          {{"", "", "t1", ""}, {"", "", "t2", ""}, {"", "", "t3", ""}, {"", "", "t4", ""}}},
                      TableCase{"SELECT 1", 0, {}}));

TEST(Analyse, OrderByGetPositionAndColumns) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t1, t2 ORDER BY 1 DESC", 0, 0), 0u);
    SCR_Array* arr = SCR_ArrayCreate(sizeof(OrderByItem));
    ASSERT_EQ(SCR_OrderByGet(&x.a, arr), 0u);
    EXPECT_TRUE(x.a.flags & SCR_F_ORDERPOS);
    ASSERT_EQ(arr->count, 1u);
    auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(arr, 0));
    EXPECT_EQ(it->position, 1);
    EXPECT_EQ(it->descending, 1u);
    SCR_ArrayFree(&arr, nullptr);

    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t ORDER BY o.t.c, t.b ASC, a DESC", 0, 0), 0u);
    arr = SCR_ArrayCreate(sizeof(OrderByItem));
    ASSERT_EQ(SCR_OrderByGet(&x.a, arr), 0u);
    EXPECT_FALSE(x.a.flags & SCR_F_ORDERPOS);
    ASSERT_EQ(arr->count, 3u);
    auto* i0 = static_cast<OrderByItem*>(SCR_ArrayAt(arr, 0));
    EXPECT_STREQ(i0->text, "o.t.c");
    EXPECT_STREQ(i0->column, "c");
    EXPECT_STREQ(i0->table, "t");
    EXPECT_STREQ(i0->owner, "o");
    EXPECT_EQ(i0->descending, 0u);
    auto* i1 = static_cast<OrderByItem*>(SCR_ArrayAt(arr, 1));
    EXPECT_STREQ(i1->column, "b");
    EXPECT_STREQ(i1->table, "t");
    EXPECT_STREQ(i1->owner, "");
    auto* i2 = static_cast<OrderByItem*>(SCR_ArrayAt(arr, 2));
    EXPECT_STREQ(i2->column, "a");
    EXPECT_EQ(i2->descending, 1u);
    SCR_ArrayFree(&arr, nullptr);

    // A position beyond a byte is refused rather than wrapped onto another column.
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t ORDER BY 257", 0, 0), 0u);
    arr = SCR_ArrayCreate(sizeof(OrderByItem));
    EXPECT_EQ(SCR_OrderByGet(&x.a, arr), 15u);
    EXPECT_EQ(arr->count, 0u);
    SCR_ArrayFree(&arr, nullptr);

    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t", 0, 0), 0u);
    arr = SCR_ArrayCreate(sizeof(OrderByItem));
    EXPECT_EQ(SCR_OrderByGet(&x.a, arr), 15u);
    EXPECT_EQ(arr->count, 0u);
    SCR_ArrayFree(&arr, nullptr);
}

TEST(Analyse, OrderByResolvePositions) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a, b FROM t ORDER BY 2, a DESC", 0, 0), 0u);
    SCR_Array* arr = SCR_ArrayCreate(sizeof(OrderByItem));
    ASSERT_EQ(SCR_OrderByGet(&x.a, arr), 0u);
    ASSERT_EQ(arr->count, 2u);
    // The cursor layer names the select item for the position.
    auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(arr, 0));
    std::snprintf(it->text, sizeof it->text, "%s", "t.b");
    ASSERT_EQ(SCR_OrderByResolvePositions(&x.a, arr), 0u);
    EXPECT_EQ(x.Text(), "SELECT a, b FROM t ORDER BY t.b, a DESC");
    // A position no item carries.
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a, b FROM t ORDER BY 3", 0, 0), 0u);
    EXPECT_EQ(SCR_OrderByResolvePositions(&x.a, arr), 15u);
    SCR_ArrayFree(&arr, nullptr);
}

// A bare name that is the alias of an item of the statement's own select list is a result
// column: it is read as that item's position and written over as a position is. Qualified names,
// names no alias carries and aliases of a subquery's select list stay table columns.
TEST(Analyse, OrderByResultColumnNamesAreTheirPositions) {
    Analysed x;
    const struct {
        const char* sql;
        std::vector<int> positions;  // per item, 0 for a table column
        const char* resolved;        // with every position's item text "r<position>"
    } cases[] = {
        {"SELECT a AS z, b FROM t ORDER BY z DESC, b", {1, 0}, "SELECT a AS z, b FROM t ORDER BY r1 DESC, b"},
        {"SELECT a z, b y FROM t ORDER BY Y, 1", {2, 1}, "SELECT a z, b y FROM t ORDER BY r2, r1"},
        {"SELECT b AS a, a AS b FROM t ORDER BY a", {1}, "SELECT b AS a, a AS b FROM t ORDER BY r1"},
        {"SELECT a AS \"Z\" FROM t ORDER BY \"Z\"", {1}, "SELECT a AS \"Z\" FROM t ORDER BY r1"},
        {"SELECT a AS \"Z\" FROM t ORDER BY \"z\"", {0}, nullptr},
        {"SELECT a AS z FROM t ORDER BY t.z", {0}, nullptr},
        {"SELECT a FROM t WHERE a IN (SELECT c AS z FROM u) ORDER BY z", {0}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_EQ(SCR_AnalyseSQL(&x.a, c.sql, 0, 0), 0u);
        SCR_Array* arr = SCR_ArrayCreate(sizeof(OrderByItem));
        ASSERT_EQ(SCR_OrderByGet(&x.a, arr), 0u);
        ASSERT_EQ(arr->count, c.positions.size());
        bool any = false;
        for (uint32_t i = 0; i < arr->count; ++i) {
            auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(arr, i));
            EXPECT_EQ(it->position, c.positions[i]) << i;
            if (it->position == 0) {
                EXPECT_NE(it->column[0], 0) << i;
                continue;
            }
            any = true;
            std::snprintf(it->text, sizeof it->text, "r%d", it->position);
        }
        EXPECT_EQ(bool(x.a.flags & SCR_F_ORDERPOS), any);
        if (c.resolved) {
            ASSERT_EQ(SCR_OrderByResolvePositions(&x.a, arr), 0u);
            EXPECT_EQ(x.Text(), c.resolved);
        }
        SCR_ArrayFree(&arr, nullptr);
    }
}

TEST(Analyse, OrderByReverse) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a, b FROM t ORDER BY a, b DESC", 0, 0), 0u);
    ASSERT_EQ(SCR_OrderByReverse(&x.a), 0u);
    EXPECT_EQ(x.Text(), "SELECT a, b FROM t ORDER BY a DESC, b");
    ASSERT_EQ(SCR_OrderByReverse(&x.a), 0u);
    EXPECT_EQ(x.Text(), "SELECT a, b FROM t ORDER BY a, b DESC");
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t", 0, 0), 0u);
    EXPECT_EQ(SCR_OrderByReverse(&x.a), 15u);
}

TEST(Analyse, SelectListMark) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a, b + 1 FROM t WHERE c = 1", 0, 0), 0u);
    ASSERT_EQ(SCR_SelectListMark(&x.a), 0u);
    EXPECT_EQ(x.Text(), "SELECT " + kMark + " FROM t WHERE c = 1");
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "DELETE FROM t", 0, 0), 0u);
    EXPECT_EQ(SCR_SelectListMark(&x.a), 15u);
}

TEST(Analyse, AddWhereCond) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t WHERE b = 1 OR c = 2", 0, 0), 0u);
    ASSERT_EQ(SCR_AddWhereCond(&x.a), 0u);
    EXPECT_TRUE(x.a.flags & SCR_F_HADWHERE);
    EXPECT_EQ(x.Text(), "SELECT a FROM t WHERE " + kMark + " AND (b = 1 OR c = 2)");
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t ORDER BY a", 0, 0), 0u);
    ASSERT_EQ(SCR_AddWhereCond(&x.a), 0u);
    EXPECT_FALSE(x.a.flags & SCR_F_HADWHERE);
    EXPECT_EQ(x.Text(), "SELECT a FROM t " + kMark + " ORDER BY a");
}

TEST(Analyse, OrderByMark) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t ORDER BY a", 0, 0), 0u);
    ASSERT_EQ(SCR_OrderByMark(&x.a), 0u);
    EXPECT_EQ(x.Text(), "SELECT a FROM t ORDER BY a " + kMark);
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT a FROM t WHERE b = 1", 0, 0), 0u);
    ASSERT_EQ(SCR_OrderByMark(&x.a), 0u);
    EXPECT_FALSE(x.a.flags & SCR_F_ORDERBY);
    EXPECT_EQ(x.Text(), "SELECT a FROM t WHERE b = 1 " + kMark);
}

TEST(Analyse, SelectListExpand) {
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, "SELECT * FROM t", 0, 0), 0u);
    SCR_Array* arr = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(SCR_SelectListExpand(&x.a, arr), 0u);
    ASSERT_EQ(arr->count, 1u);
    EXPECT_EQ(static_cast<ColDesc*>(SCR_ArrayAt(arr, 0))->itemKind, 1u);
    SCR_ArrayFree(&arr, nullptr);

    ASSERT_EQ(SCR_AnalyseSQL(&x.a,
                             "SELECT t.*, o.t.c, a AS x, b + 1, -c, (d), max(e), {fn ucase(f)}, (g + 1), "
                             "(SELECT h FROM u) FROM t",
                             0, 0),
              0u);
    arr = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(SCR_SelectListExpand(&x.a, arr), 0u);
    ASSERT_EQ(arr->count, 10u);
    auto at = [&](uint32_t i) { return static_cast<ColDesc*>(SCR_ArrayAt(arr, i)); };
    EXPECT_EQ(at(0)->itemKind, 2u);
    EXPECT_STREQ(at(0)->table, "t");
    EXPECT_EQ(at(1)->itemKind, 4u);
    EXPECT_STREQ(at(1)->column, "c");
    EXPECT_STREQ(at(1)->table, "t");
    EXPECT_STREQ(at(1)->owner, "o");
    EXPECT_EQ(at(2)->itemKind, 4u);
    EXPECT_STREQ(at(2)->column, "a");
    EXPECT_EQ(at(3)->itemKind, 3u);
    EXPECT_STREQ(at(3)->column, "b + 1");
    EXPECT_EQ(at(4)->itemKind, 3u);
    EXPECT_EQ(at(5)->itemKind, 3u);  // bracketed
    EXPECT_EQ(at(6)->itemKind, 3u);
    EXPECT_EQ(at(7)->itemKind, 3u);
    EXPECT_EQ(at(8)->itemKind, 3u);
    EXPECT_EQ(at(9)->itemKind, 3u);
    SCR_ArrayFree(&arr, nullptr);
}

TEST(Analyse, LongNamesAreCut) {
    std::string col(700, 'c');
    std::string sql = "SELECT x." + col + " FROM x ORDER BY x." + col;
    Analysed x;
    ASSERT_EQ(SCR_AnalyseSQL(&x.a, sql.c_str(), 0, 0), 0u);
    SCR_Array* arr = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(SCR_SelectListExpand(&x.a, arr), 0u);
    EXPECT_EQ(std::string(static_cast<ColDesc*>(SCR_ArrayAt(arr, 0))->column), std::string(508, 'c'));
    SCR_ArrayFree(&arr, nullptr);
    arr = SCR_ArrayCreate(sizeof(OrderByItem));
    ASSERT_EQ(SCR_OrderByGet(&x.a, arr), 0u);
    EXPECT_EQ(std::string(static_cast<OrderByItem*>(SCR_ArrayAt(arr, 0))->column), std::string(508, 'c'));
    SCR_ArrayFree(&arr, nullptr);
}

TEST(Analyse, NullArguments) {
    EXPECT_EQ(SCR_TablesGet(nullptr, nullptr, 0), 15u);
    EXPECT_EQ(SCR_OrderByGet(nullptr, nullptr), 15u);
    EXPECT_EQ(SCR_SelectListMark(nullptr), 15u);
    Analysed x;
    EXPECT_EQ(SCR_AddWhereCond(&x.a), 15u);
    EXPECT_EQ(SCR_OrderByMark(&x.a), 15u);
    EXPECT_STREQ(SCR_AnalysisText(&x.a), "");
}

}  // namespace
