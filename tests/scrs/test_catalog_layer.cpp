// The cursor layer's catalog wrappers, its copy of parameter descriptions, its message helpers,
// the cursor information it answers and the base names it gives result columns.
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "drv_ingii/i-cursors.h"
#include "drv_ingii/i-diag.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_cursor.h"
#include "scrs/scr_analyse.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/errtable.h"

using namespace stmttest;

namespace {

class CatalogLayer : public AgentSession {
protected:
    void SetUp() override { Open(false, false, true); }

    SCS_Cursor& Cursor(uint32_t s) { return (*SCS_StmtBlock(s)); }

    uint32_t Rows(uint32_t s) {
        uint32_t n = 0;
        for (;;) {
            Dataset b{};
            uint32_t rc = AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &b);
            const uint32_t got = b.rows_used;
            DatasetFree(&b);
            if (rc != 0 || got == 0) break;
            n += got;
        }
        return n;
    }

    // Runs catalog slot `slot` through the layer with arguments that find the sample's emp.
    uint32_t CatalogCall(int slot, uint32_t s) {
        const char* names[6] = {nullptr, nullptr, "emp", nullptr, nullptr, nullptr};
        if (slot == DRV_DDProcedures || slot == DRV_DDProcedureColumns) names[2] = "raise_salary";
        if (slot == DRV_DDSpecialColumns) {
            const IngSpecialColumnsArgs a{nullptr, nullptr, "emp", 1, 0, 0};
            return AgentCall<DRV_DDSpecialColumns>(&link, s, &a);
        }
        if (slot == DRV_DDStatistics) {
            const IngStatisticsArgs a{nullptr, nullptr, "emp", 1, 0};
            return AgentCall<DRV_DDStatistics>(&link, s, &a);
        }
        if (slot == DRV_DDTypeInfo) return AgentCall<DRV_DDTypeInfo>(&link, s, uint16_t(0));
        return AgentCatalogByNames(&link, slot, s, names);
    }
};

TEST_F(CatalogLayer, ScrollableStatementsRunCatalogCallsStaticAndReadOnly) {
    struct Case {
        uint32_t type, concurrency, wantType, wantConcurrency;
    };
    const Case cases[] = {
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY},
        {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY},
        {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, SQL_CURSOR_STATIC, SQL_CONCUR_LOCK},
        {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_ROWVER, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_ROWVER},
    };
    for (int slot = DRV_DDColumnPrivileges; slot <= DRV_DDTypeInfo; ++slot) {
        // What the agent gives for the call on a forward-only statement of its own.
        uint32_t direct = Stmt();
        uint32_t lowerRc =
            slot == DRV_DDTypeInfo ? AgentCall<DRV_DDTypeInfo>(SCS_LowerLink(), direct, uint16_t(0)) : kErrNone;
        if (slot != DRV_DDTypeInfo) {
            const AgentLink* lower = SCS_LowerLink();
            AgentLink agentOnly{lower->word, lower->table};
            if (slot == DRV_DDSpecialColumns) {
                const IngSpecialColumnsArgs a{nullptr, nullptr, "emp", 1, 0, 0};
                lowerRc = AgentCall<DRV_DDSpecialColumns>(&agentOnly, direct, &a);
            } else if (slot == DRV_DDStatistics) {
                const IngStatisticsArgs a{nullptr, nullptr, "emp", 1, 0};
                lowerRc = AgentCall<DRV_DDStatistics>(&agentOnly, direct, &a);
            } else {
                const char* names[6] = {nullptr, nullptr, "emp", nullptr, nullptr, nullptr};
                if (slot == DRV_DDProcedures || slot == DRV_DDProcedureColumns) names[2] = "raise_salary";
                lowerRc = AgentCatalogByNames(&agentOnly, slot, direct, names);
            }
        }
        ASSERT_EQ(lowerRc, 0u) << "slot " << slot << Errors(direct);
        const uint32_t expectRows = Rows(direct);
        for (const Case& k : cases) {
            uint32_t s = Stmt();
            Cursor(s).cursorType = k.type;
            Cursor(s).concurrency = k.concurrency;
            ASSERT_EQ(CatalogCall(slot, s), 0u) << "slot " << slot << Errors(s);
            EXPECT_EQ(Cursor(s).cursorType, k.wantType) << "slot " << slot << " type " << k.type;
            EXPECT_EQ(Cursor(s).concurrency, k.wantConcurrency) << "slot " << slot << " type " << k.type;
            EXPECT_EQ(Rows(s), expectRows) << "slot " << slot << " type " << k.type;
        }
    }
    const IngTablesArgs a{nullptr, nullptr, "emp", nullptr};
    EXPECT_EQ(AgentCall<DRV_DDTables>(&link, 0xBEEF0001u, &a), uint32_t(kErrBadArg));
    EXPECT_EQ(AgentCall<DRV_DDTypeInfo>(&link, 0xBEEF0001u, uint16_t(0)), uint32_t(kErrBadArg));
}

TEST_F(CatalogLayer, ParameterDescriptionsAreKeptAsACopy) {
    Exec("CREATE TABLE pd (a INTEGER, b VARCHAR(10))");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "INSERT INTO pd VALUES (?, ?)"), 0u) << Errors(s);
    ParamDescEntry d[2] = {{SQL_INTEGER, SQL_C_LONG, 10, 0, SQL_PARAM_INPUT}, {SQL_VARCHAR, SQL_C_CHAR, 10, 0, 1}};
    ASSERT_EQ(AgentCall<DRV_SetParamDescs>(&link, s, uint16_t(2), d), 0u) << Errors(s);
    SCS_Cursor& c = Cursor(s);
    ASSERT_EQ(c.keptDescCount, 2u);
    ASSERT_NE(c.keptDescs, nullptr);
    EXPECT_NE(c.keptDescs, d);
    d[0].sqlType = SQL_SMALLINT;  // the caller's array is the caller's
    EXPECT_EQ(c.keptDescs[0].sqlType, SQL_INTEGER);
    EXPECT_EQ(c.keptDescs[1].sqlType, SQL_VARCHAR);
    EXPECT_EQ(c.keptDescs[1].columnSize, 10u);
    ASSERT_EQ(AgentCall<DRV_SetParamDescs>(&link, s, uint16_t(0), nullptr), 0u);
    EXPECT_EQ(c.keptDescCount, 0u);
    EXPECT_EQ(c.keptDescs, nullptr);
    EXPECT_EQ(AgentCall<DRV_SetParamDescs>(&link, 0xBEEF0001u, uint16_t(2), d), uint32_t(kErrBadArg));
}

std::vector<std::string> States(const IngDiagList& list) {
    std::vector<std::string> out;
    for (const IngDiagEntry* e = list.first; e; e = e->next) out.push_back(e->sqlstate ? e->sqlstate : "");
    return out;
}

TEST_F(CatalogLayer, KeptMessagesAreNotClearedByTheNextOne) {
    uint32_t s = Stmt();
    IngDiagList& m = IngStmtFind(s)->messages;
    SCS_StmtKeepDiags(s, 1);
    IngDiagPostCode(&m, kErrGeneral);
    IngDiagPostCode(&m, kErrRowError);
    EXPECT_EQ(IngDiagCount(&m), 2u);
    SCS_StmtKeepDiags(s, 0);
    IngDiagPostCode(&m, kErrGeneral);
    EXPECT_EQ(IngDiagCount(&m), 1u);
    SCS_StmtKeepDiags(0xBEEF0001u, 1);  // ignored
}

TEST_F(CatalogLayer, OnlyALastFailedRowMessageIsDropped) {
    uint32_t s = Stmt();
    IngStmt* st = IngStmtFind(s);
    SCS_StmtKeepDiags(s, 1);
    IngDiagPostCode(&st->messages, kErrRowError);
    IngDiagPostCode(&st->messages, kErrGeneral);
    SCS_DropRowErrorDiag(SCS_StmtBlock(s));
    EXPECT_EQ(IngDiagCount(&st->messages), 2u) << "the last message is not a failed row";
    IngDiagPostCode(&st->messages, kErrRowError);
    SCS_DropRowErrorDiag(SCS_StmtBlock(s));
    ASSERT_EQ(IngDiagCount(&st->messages), 2u);
    EXPECT_EQ(States(st->messages).back(), IngErrorState(kErrGeneral));
    IngDiagClear(&st->messages);
    SCS_DropRowErrorDiag(SCS_StmtBlock(s));  // an empty list stays empty
    SCS_DropRowErrorDiag(nullptr);
    EXPECT_EQ(IngDiagCount(&st->messages), 0u);
}

// A call that fails with no message of its own takes those of the layer's statements, which the
// call found empty; a success, the end of the data or a message of its own leaves them be.
TEST_F(CatalogLayer, AFailureWithoutAMessageTakesTheLayersStatementsReasons) {
    uint32_t s = Stmt(), a1 = 0;
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(SCS_LowerLink(), conn, &a1), 0u);
    IngDiagList& own = IngStmtFind(s)->messages;
    IngDiagList& aux = IngStmtFind(a1)->messages;
    SCS_Cursor& c = *SCS_StmtBlock(s);
    c.auxStmt[0] = a1;
    IngDiagPostCode(&aux, kErrRowError);  // an earlier call's
    SCS_StmtQuietOwn(&c);
    EXPECT_EQ(IngDiagCount(&aux), 0u);
    IngDiagPostServer(nullptr, "42S02", "no such table: t", 2753, &aux);
    for (uint32_t rc : {0u, uint32_t(kErrNoData)}) {
        EXPECT_EQ(SCS_StmtFailureCause(&c, rc), rc);
        EXPECT_EQ(IngDiagCount(&own), 0u) << rc;
    }
    IngDiagPostCode(&own, kErrCursorState);
    EXPECT_EQ(SCS_StmtFailureCause(&c, kErrGeneral), uint32_t(kErrGeneral));
    EXPECT_EQ(States(own), (std::vector<std::string>{IngErrorState(kErrCursorState)}));
    IngDiagClear(&own);
    EXPECT_EQ(SCS_StmtFailureCause(&c, kErrTableNotFound), uint32_t(kErrTableNotFound));
    EXPECT_EQ(States(own), (std::vector<std::string>{"42S02"}));
    EXPECT_EQ(IngDiagCount(&aux), 0u);
    SCS_StmtQuietOwn(nullptr);
    EXPECT_EQ(SCS_StmtFailureCause(nullptr, kErrGeneral), uint32_t(kErrGeneral));
}

TEST_F(CatalogLayer, AuxiliaryMessagesFollowTheStatementsOwn) {
    uint32_t s = Stmt(), a1 = 0, a2 = 0;
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(SCS_LowerLink(), conn, &a1), 0u);
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(SCS_LowerLink(), conn, &a2), 0u);
    IngStmt* st = IngStmtFind(s);
    IngDiagPostCode(&st->messages, kErrGeneral);
    IngDiagPostCode(&IngStmtFind(a1)->messages, kErrNoMemory);
    IngDiagPostCode(&IngStmtFind(a2)->messages, kErrRowError);
    SCS_Cursor& c = *SCS_StmtBlock(s);
    c.auxStmt[0] = a1;
    c.auxStmt[1] = a2;
    SCS_StmtGatherDiags(&c);
    EXPECT_EQ(States(st->messages), (std::vector<std::string>{IngErrorState(kErrGeneral), IngErrorState(kErrNoMemory),
                                                              IngErrorState(kErrRowError)}));
    EXPECT_EQ(IngDiagCount(&IngStmtFind(a1)->messages), 0u);
    EXPECT_EQ(IngDiagCount(&IngStmtFind(a2)->messages), 0u);
    SCS_StmtGatherDiags(&c);  // nothing more to move
    EXPECT_EQ(IngDiagCount(&st->messages), 3u);
    // The layer frees its auxiliary statements with the statement.
    ASSERT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
    stmts.erase(std::find(stmts.begin(), stmts.end(), s));
    EXPECT_EQ(IngStmtFind(a1), nullptr);
    EXPECT_EQ(IngStmtFind(a2), nullptr);
}

ColDesc Desc(const char* column, const char* table, const char* owner) {
    ColDesc d{};
    std::snprintf(d.column, sizeof d.column, "%s", column);
    std::snprintf(d.table, sizeof d.table, "%s", table);
    std::snprintf(d.owner, sizeof d.owner, "%s", owner);
    return d;
}

TEST(ColDescFind, NamesTheKeyGivesMustMatch) {
    const ColDesc descs[] = {Desc("a", "t", "o"), Desc("b", "t", "o"), Desc("a", "u", "p"), Desc("a", "tt", "o")};
    struct Case {
        ColDesc key;
        int want;  // index, -1 none
    };
    const Case cases[] = {
        {Desc("a", "", ""), 0},   {Desc("b", "", ""), 1},    {Desc("a", "u", ""), 2},
        {Desc("a", "u", "p"), 2}, {Desc("a", "u", "o"), -1}, {Desc("a", "tt", ""), 3},
        {Desc("a", "", "p"), 2},  {Desc("c", "", ""), -1},   {Desc("a", "t ", ""), -1},
    };
    for (const Case& k : cases) {
        uint32_t at = 99;
        const ColDesc* got = SCS_ColDescFind(descs, 4, &k.key, &at);
        if (k.want < 0) {
            EXPECT_EQ(got, nullptr) << k.key.column << "/" << k.key.table << "/" << k.key.owner;
        } else {
            EXPECT_EQ(got, &descs[k.want]) << k.key.column << "/" << k.key.table << "/" << k.key.owner;
            EXPECT_EQ(at, uint32_t(k.want));
        }
    }
    EXPECT_EQ(SCS_ColDescFind(nullptr, 0, &cases[0].key, nullptr), nullptr);
}

TEST_F(CatalogLayer, CursorInformationNamesOnlyWhatIsBuilt) {
    auto info = [&](uint16_t type) {
        uint32_t v = 0xDEAD;
        uint16_t len = 0;
        EXPECT_EQ(AgentCall<DRV_GetInfo>(&link, conn, 0x22040000u | type, static_cast<void*>(&v), uint16_t(4), &len),
                  0u);
        EXPECT_EQ(len, 4u);
        return v;
    };
    const IngBuiltCursors& b = kIngBuiltCursors;
    const uint32_t scroll = info(SQL_SCROLL_OPTIONS);
    EXPECT_EQ((scroll & SQL_SO_FORWARD_ONLY) && (scroll & SQL_SO_STATIC), true);
    EXPECT_EQ((scroll & SQL_SO_KEYSET_DRIVEN) != 0, b.keysetDriven);
    EXPECT_EQ((scroll & SQL_SO_MIXED) != 0, b.keysetDriven);
    EXPECT_EQ((scroll & SQL_SO_DYNAMIC) != 0, b.dynamic);
    EXPECT_EQ(info(SQL_KEYSET_CURSOR_ATTRIBUTES1) != 0, b.keysetDriven);
    EXPECT_EQ(info(SQL_KEYSET_CURSOR_ATTRIBUTES2) != 0, b.keysetDriven);
    EXPECT_EQ(info(SQL_DYNAMIC_CURSOR_ATTRIBUTES1) != 0, b.dynamic);
    EXPECT_EQ(info(SQL_POS_OPERATIONS) != 0, b.rowOperations);
    EXPECT_EQ(info(SQL_LOCK_TYPES) != 0, b.rowOperations);
    EXPECT_EQ(info(SQL_SCROLL_CONCURRENCY) != SQL_SCCO_READ_ONLY, b.rowOperations);
    const uint32_t pos = SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH;
    const uint32_t bulk = SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK |
                          SQL_CA1_BULK_FETCH_BY_BOOKMARK;
    EXPECT_EQ(info(SQL_KEYSET_CURSOR_ATTRIBUTES1) & (pos | bulk), b.rowOperations ? pos | bulk : 0u);
    // A forward-only cursor has no SQLSetPos; a static one changes rows as a keyset-driven one.
    EXPECT_EQ(info(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1) & (pos | bulk), 0u);
    EXPECT_EQ(info(SQL_STATIC_CURSOR_ATTRIBUTES1) & (pos | bulk), b.rowOperations ? pos | bulk : 0u);
    EXPECT_EQ(info(SQL_STATIC_CURSOR_ATTRIBUTES2) & (SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY),
              b.rowOperations ? uint32_t(SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY) : 0u);
    EXPECT_EQ(info(SQL_KEYSET_CURSOR_ATTRIBUTES2) & (SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY),
              b.rowOperations ? uint32_t(SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY) : 0u);
    EXPECT_EQ(info(SQL_STATIC_CURSOR_ATTRIBUTES1) & 0xF,
              uint32_t(SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK));
    EXPECT_EQ(info(SQL_STATIC_SENSITIVITY), b.rowOperations ? uint32_t(SQL_SS_DELETIONS | SQL_SS_UPDATES) : 0u);
    // A data source with DynCursSensitivity DISABLED offers forward-only and static cursors only.
    IngConnFind(conn)->dsn.dynCursSensitivity = 2;
    EXPECT_EQ(info(SQL_SCROLL_OPTIONS), uint32_t(SQL_SO_FORWARD_ONLY | SQL_SO_STATIC));
    EXPECT_EQ(info(SQL_KEYSET_CURSOR_ATTRIBUTES1), 0u);
    IngConnFind(conn)->dsn.dynCursSensitivity = 0;
    // Other types are the agent's.
    uint32_t mine = 0, agents = 0;
    uint16_t len = 0;
    ASSERT_EQ(AgentCall<DRV_GetInfo>(&link, conn, 0x22040000u | SQL_MAX_COLUMNS_IN_SELECT, static_cast<void*>(&mine),
                                     uint16_t(4), &len),
              0u);
    ASSERT_EQ(AgentCall<DRV_GetInfo>(SCS_LowerLink(), conn, 0x22040000u | SQL_MAX_COLUMNS_IN_SELECT,
                                     static_cast<void*>(&agents), uint16_t(4), &len),
              0u);
    EXPECT_EQ(mine, agents);
}

// The names the layer adds to the agent's extended description of a prepared statement.
struct Described {
    std::vector<std::string> table, schema, baseColumn;
    std::vector<int> expression;  // -1 not answered
    std::vector<int> updatable;
};

class SelectNames : public CatalogLayer {
protected:
    // A statement that asks for its columns' descriptions (option 1052).
    uint32_t Asking() {
        uint32_t s = Stmt();
        uint32_t on = 1;
        EXPECT_EQ(AgentCall<DRV_SetOption>(&link, s, 0x3203041Cu, static_cast<void*>(&on)), 0u);
        return s;
    }
    Described Describe(const char* sql) {
        uint32_t s = Asking();
        EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 0u) << sql << Errors(s);
        return DescribeStmt(s);
    }
    Described DescribeStmt(uint32_t s) {
        uint16_t n = 0, rowCount = 0;
        ColumnInfo* cols = nullptr;
        void* rows = nullptr;
        Described d;
        EXPECT_EQ(AgentCall<DRV_DescribeColsEx>(&link, s, &n, &rowCount, &cols, &rows), 0u) << Errors(s);
        auto* list = static_cast<IngAttrList*>(rows);
        for (uint16_t i = 0; i < n; ++i) {
            d.table.push_back(cols[i].table ? cols[i].table : "");
            d.schema.push_back(cols[i].schema ? cols[i].schema : "");
            std::string base;
            int expr = -1, upd = -1;
            for (uint32_t r = 0; list && r < list->count; ++r) {
                const IngAttrRow& row = list->rows[r];
                if (row.column != i + 1) continue;
                if (row.attribute == SQL_DESC_BASE_COLUMN_NAME && row.form == 0) base = row.text;
                if (row.attribute == 1055 && row.form == 1) expr = int(row.value);
                if (row.attribute == SQL_DESC_UPDATABLE && row.form == 1) upd = int(row.value);
            }
            d.baseColumn.push_back(base);
            d.expression.push_back(expr);
            d.updatable.push_back(upd);
        }
        IngAttrListFree(list);
        ColumnInfoArrayFree(cols, n);
        return d;
    }
    using V = std::vector<std::string>;
};

TEST_F(SelectNames, ColumnsOfASimpleSelectNameTheirTable) {
    Described d = Describe("SELECT ename AS who, empno, sal * 2 FROM emp WHERE empno > 0");
    EXPECT_EQ(d.table, (V{"emp", "emp", ""}));
    EXPECT_EQ(d.schema, (V{"owner", "owner", ""}));
    EXPECT_EQ(d.baseColumn, (V{"ename", "empno", ""}));
    EXPECT_EQ(d.expression, (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(d.updatable[2], SQL_ATTR_READONLY);
}

TEST_F(SelectNames, WildcardsAndJoinsAreResolvedToEachColumnsTable) {
    Described all = Describe("SELECT * FROM dept");
    ASSERT_FALSE(all.table.empty());
    for (size_t i = 0; i < all.table.size(); ++i) {
        EXPECT_EQ(all.table[i], "dept") << i;
        EXPECT_FALSE(all.baseColumn[i].empty()) << i;
    }
    Described j = Describe("SELECT e.ename, dname, d.deptno, 1 FROM emp e, dept d WHERE e.deptno = d.deptno");
    EXPECT_EQ(j.table, (V{"emp", "dept", "dept", ""}));
    EXPECT_EQ(j.baseColumn, (V{"ename", "dname", "deptno", ""}));
    EXPECT_EQ(j.expression, (std::vector<int>{0, 0, 0, 1}));
}

TEST_F(SelectNames, WhatTheAnalysisCannotPlaceStaysUnnamed) {
    // A union, a missing table, a catalog result: no names, no failure.
    Described u = Describe("SELECT ename FROM emp UNION SELECT dname FROM dept");
    EXPECT_EQ(u.table, (V{""}));
    EXPECT_EQ(u.expression, (std::vector<int>{-1}));
    uint32_t s = Asking();
    const IngTablesArgs a{nullptr, nullptr, "emp", nullptr};
    ASSERT_EQ(AgentCall<DRV_DDTables>(&link, s, &a), 0u);
    Described cat = DescribeStmt(s);
    for (size_t i = 0; i < cat.table.size(); ++i) {
        EXPECT_EQ(cat.table[i], "") << i;
        EXPECT_EQ(cat.expression[i], -1) << i;
    }
    EXPECT_EQ(IngDiagCount(&IngStmtFind(s)->messages), 0u);
}

TEST_F(SelectNames, NamesFollowTheStatementsText) {
    uint32_t s = Asking();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT ename FROM emp"), 0u);
    EXPECT_EQ(DescribeStmt(s).table, (V{"emp"}));
    EXPECT_EQ(DescribeStmt(s).table, (V{"emp"})) << "kept names serve a second describe";
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT dname FROM dept"), 0u);
    Described d = DescribeStmt(s);
    EXPECT_EQ(d.table, (V{"dept"}));
    EXPECT_EQ(d.baseColumn, (V{"dname"}));
}

TEST_F(SelectNames, AStatementThatDoesNotAskPaysNoLookUp) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT ename, sal * 2 FROM emp"), 0u);
    Described d = DescribeStmt(s);
    EXPECT_EQ(d.table, (V{"", ""}));
    EXPECT_EQ(d.expression, (std::vector<int>{-1, -1}));
    EXPECT_EQ((*SCS_StmtBlock(s)).auxStmt[0], 0u) << "no catalog statement was needed";
    EXPECT_EQ((*SCS_StmtBlock(s)).selectNames, nullptr);
}

}  // namespace
