// Seek statements of dynamic cursors, checked against the engine: from every boundary row,
// NEXT reads exactly the rows after it and PRIOR exactly the rows before it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "tests/scrs/keys_fixture.h"
#include "util/dataset.h"

namespace {

using keystest::DescSession;
using stmttest::Block;

class SeekAgent : public DescSession {
protected:
    void SetUp() override {
        DescSession::SetUp();
        Exec("CREATE TABLE sk (id integer NOT NULL PRIMARY KEY, name varchar(10), n integer)");
        const char* rows[] = {"1, 'b', 5", "2, 'a', 5", "3, NULL, 7", "4, 'b', 6", "5, 'c', NULL", "6, NULL, 5"};
        for (const char* r : rows) Exec((std::string("INSERT INTO sk VALUES (") + r + ")").c_str());
        mode[DRV_DDSpecialColumns] = 1;  // key id from the unique index
    }

    // Prepares the context for sql: tables, keys, ORDER BY, ordering columns.
    void Prepare(const char* sql) {
        ASSERT_EQ(Analyse(sql), 0u);
        ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
        if (an.flags & SCR_F_ORDERBY) {
            ASSERT_EQ(scs_p_OrderByAnalyse(&ctx), 0u);
        } else {
            ctx.orderBy = SCR_ArrayCreate(sizeof(OrderByItem));
        }
        scs_p_MarkKeyOrderPositions(&ctx);
        KS_MarkKeyMatches(&ctx);
        uint32_t nonKey = 0;
        for (uint32_t i = 0; i < ctx.orderBy->count; ++i)
            if (!static_cast<const OrderByItem*>(SCR_ArrayAt(ctx.orderBy, i))->keyMatch) ++nonKey;
        ctx.orderColCount = uint16_t(nonKey + ctx.keyCols->count);
        base = sql;
    }

    // The seek statement's text and parameters for an orientation.
    std::string SeekText(uint32_t orientation, Dataset** params) {
        SCR_Analysis a{};
        SCR_AnalysisInit(&a);
        EXPECT_EQ(SCR_AnalyseSQL(&a, base.c_str(), 1, 0), 0u);
        EXPECT_EQ(KS_BuildKeyOrderBy(&a, ctx.keyCols, ctx.tableCount, ctx.orderBy->count, 0), 0u);
        std::string ordered = a.text;
        EXPECT_EQ(SCR_AnalyseSQL(&a, ordered.c_str(), 1, 0), 0u);
        EXPECT_EQ(KS_BuildSeekSelect(&ctx, &a, orientation, 0, params), 0u) << ordered;
        std::string text = a.text;
        if (orientation == 4 || orientation == 3) {
            EXPECT_EQ(SCR_AnalyseSQL(&a, text.c_str(), 1, 0), 0u) << text;
            EXPECT_EQ(SCR_OrderByReverse(&a), 0u);
            text = SCR_AnalysisText(&a);
        }
        SCR_AnalysisFree(&a);
        return text;
    }

    std::vector<int32_t> Ids(const std::string& text, Dataset* params) {
        uint32_t s = Stmt();
        EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, text.c_str()), 0u) << text << Errors(s);
        if (params != nullptr) {
            EXPECT_EQ(AgentCall<DRV_SetParams>(&link, s, params), 0u);
        }
        EXPECT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << text << Errors(s);
        Block b;
        EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(100), &b.ds), 0u);
        std::vector<int32_t> ids;
        for (uint32_t r = 0; r < b.ds.rows_used; ++r) ids.push_back(b.Get<int32_t>(0, r));
        if (keyRows == nullptr) DatasetClone(&keyRows, &b.ds);
        return ids;
    }

    // Runs NEXT and PRIOR from every row of the FIRST read as boundary.
    void CheckEveryBoundary() {
        std::vector<int32_t> all = Ids(SeekText(2, nullptr), nullptr);
        ASSERT_EQ(all.size(), 6u);
        for (uint32_t p = 0; p < all.size(); ++p) {
            Dataset* bound = nullptr;
            ASSERT_EQ(DatasetCreateLike(&bound, keyRows, 2), 0);
            ASSERT_EQ(DatasetCopyRow(bound, keyRows, 0, p, 0), 0);
            ASSERT_EQ(DatasetCopyRow(bound, keyRows, 1, p, 0), 0);
            ctx.boundKeys = bound;
            Dataset* params = nullptr;
            std::string next = SeekText(1, &params);
            std::vector<int32_t> want(all.begin() + p + 1, all.end());
            EXPECT_EQ(Ids(next, params), want) << "NEXT from row " << p << ": " << next;
            std::string prior = SeekText(4, &params);
            std::vector<int32_t> before(all.begin(), all.begin() + p);
            std::vector<int32_t> got = Ids(prior, params);
            std::reverse(got.begin(), got.end());
            EXPECT_EQ(got, before) << "PRIOR from row " << p << ": " << prior;
            DatasetDelete(bound);
            ctx.boundKeys = nullptr;
        }
    }

    // How the engine sorts NULLs: high when they follow the values ascending.
    uint16_t EngineNullCollation() {
        std::vector<int32_t> ids = Ids("SELECT id FROM sk ORDER BY name, id", nullptr);
        DatasetDelete(keyRows);
        keyRows = nullptr;
        return ids.front() == 3 ? 1 : 0;
    }

    void TearDown() override {
        if (keyRows) DatasetDelete(keyRows);
        DescSession::TearDown();
    }
    std::string base;
    Dataset* keyRows = nullptr;
};

TEST_F(SeekAgent, KeysOnly) {
    Prepare("SELECT name FROM sk");
    EXPECT_EQ(ctx.orderColCount, 1);
    CheckEveryBoundary();
}

TEST_F(SeekAgent, NullableOrderColumnAscending) {
    ctx.nullCollation = EngineNullCollation();
    Prepare("SELECT name FROM sk ORDER BY name");
    CheckEveryBoundary();
}

TEST_F(SeekAgent, NullableOrderColumnDescending) {
    ctx.nullCollation = EngineNullCollation();
    Prepare("SELECT name FROM sk ORDER BY name DESC");
    CheckEveryBoundary();
}

TEST_F(SeekAgent, TwoOrderColumnsWithOwnCondition) {
    ctx.nullCollation = EngineNullCollation();
    Prepare("SELECT name FROM sk WHERE id > 0 ORDER BY n DESC, name");
    CheckEveryBoundary();
}

TEST_F(SeekAgent, OrderOnTheKey) {
    Prepare("SELECT name FROM sk ORDER BY id DESC");
    EXPECT_EQ(ctx.orderColCount, 1);
    CheckEveryBoundary();
}

TEST_F(SeekAgent, TermTextsAndParameters) {
    ctx.nullCollation = 0;
    Prepare("SELECT name FROM sk ORDER BY name");
    // Boundary rows of two columns: id, name.
    Dataset* b = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    DatasetInit(b, 2);
    b->col_count = 2;
    b->cols[0].kind = DS_INTEGER;
    b->cols[0].width = 4;
    b->cols[1].kind = DS_CHAR_NTS;
    b->cols[1].width = 11;
    DatasetAllocRows(b, 2);
    b->rows_used = 2;
    int32_t id = 4;
    for (uint32_t r = 0; r < 2; ++r) {
        std::memcpy(DatasetCell(&b->cols[0], r), &id, 4);
        b->cols[0].indicators[r] = 0;
        std::memcpy(DatasetCell(&b->cols[1], r), "b", 2);
        b->cols[1].indicators[r] = 0;
    }
    ctx.boundKeys = b;
    ctx.paramDescsOn = 1;
    std::string t1, t2;
    ASSERT_EQ(KS_SeekTerm(&ctx, 1, 1, 0, &t1), 0u);
    ASSERT_EQ(KS_SeekTerm(&ctx, 2, 1, 0, &t2), 0u);
    EXPECT_EQ(t1, " (name > ? OR name IS NULL) ");
    EXPECT_EQ(t2, "name = ? AND \"id\" > ? ");
    Dataset* params = nullptr;
    ASSERT_EQ(KS_SeekParams(&ctx, 1, 0, &params), 0u);
    EXPECT_EQ(params->col_count, 3);
    EXPECT_EQ(ctx.paramDescCount, 3);
    EXPECT_EQ(ctx.paramDescs[2].sqlType, 4);
    DatasetDelete(params);
    // A NULL boundary that sorts last leaves nothing beyond it in its own term.
    b->cols[1].indicators[1] = DS_IND_NULL;
    ASSERT_EQ(KS_SeekTerm(&ctx, 1, 1, 0, &t1), 0u);
    ASSERT_EQ(KS_SeekTerm(&ctx, 2, 1, 0, &t2), 0u);
    EXPECT_EQ(t1, "");
    EXPECT_EQ(t2, "name IS NULL AND \"id\" > ? ");
    ParamDescsReset(&ctx);
    ASSERT_EQ(KS_SeekParams(&ctx, 1, 0, &params), 0u);
    EXPECT_EQ(params->col_count, 1);
    DatasetDelete(params);
    EXPECT_EQ(KS_SeekTerm(&ctx, 3, 1, 0, &t1), 15u);
    SCR_Analysis a{};
    SCR_AnalysisInit(&a);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "SELECT name FROM sk", 1, 0), 0u);
    EXPECT_EQ(KS_BuildSeekWhere(&ctx, &a, 2, 0, nullptr), 15u);
    SCR_AnalysisFree(&a);
    ctx.boundKeys = nullptr;
    DatasetDelete(b);
}

}  // namespace
