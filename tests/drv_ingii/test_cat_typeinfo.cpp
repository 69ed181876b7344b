// Type information: rows by server version, OpenAPI level, ODBC version and build; the served
// result through the operation table; the catalog type fix-up.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/agent_fixture.h"
#include "drv_ingii/i-cat.h"
#include "drv_ingii/i-typeinfo.h"
#include "util/dataset.h"

namespace {

IngTypeInfoScope Scope(int16_t type, int32_t version = 10000000, int32_t level = 3, uint32_t odbc = 3, bool wide = true,
                       uint32_t maxChar = 0) {
    return IngTypeInfoScope{type, version, level, odbc, wide, maxChar};
}

std::vector<const IngTypeRow*> AllRows(const IngTypeInfoScope& s) {
    std::vector<const IngTypeRow*> v;
    for (uint32_t p = 0; p < 100; ++p) {
        const IngTypeRow* r = IngTypeInfoPick(s, p);
        if (!r) break;
        v.push_back(r);
    }
    return v;
}

std::vector<std::string> Names(const std::vector<const IngTypeRow*>& rows) {
    std::vector<std::string> v;
    for (auto* r : rows) v.push_back(std::string(r->typeName) + "/" + std::to_string(r->dataType));
    return v;
}

// Text of a served cell, or "-" for NULL.
std::string Text(const Dataset& ds, uint16_t col, uint32_t row) {
    const DatasetColumn& c = ds.cols[col];
    if (c.indicators[row] == DS_IND_NULL) return "-";
    return reinterpret_cast<const char*>(DatasetCell(&c, row));
}
int32_t Num(const Dataset& ds, uint16_t col, uint32_t row) {
    const DatasetColumn& c = ds.cols[col];
    if (c.indicators[row] == DS_IND_NULL) return kTypeInfoNullNum;
    if (c.kind == DS_SMALLINT) {
        int16_t v;
        std::memcpy(&v, DatasetCell(&c, row), 2);
        return v;
    }
    int32_t v;
    std::memcpy(&v, DatasetCell(&c, row), 4);
    return v;
}

TEST(TypeInfoRows, AllTypesByOpenApiLevelOnAWideDriver) {
    auto l3 = AllRows(Scope(0, 10000000, 3));
    ASSERT_EQ(l3.size(), 24u);
    EXPECT_EQ(Names(l3), (std::vector<std::string>{"C/1",
                                                   "TEXT/12",
                                                   "CHAR/1",
                                                   "VARCHAR/12",
                                                   "INTEGER1/-6",
                                                   "SMALLINT/5",
                                                   "INTEGER/4",
                                                   "FLOAT/6",
                                                   "FLOAT/8",
                                                   "FLOAT4/7",
                                                   "MONEY/8",
                                                   "ANSIDATE/91",
                                                   "TIME WITHOUT TIME ZONE/92",
                                                   "TIMESTAMP WITHOUT TIME ZONE/93",
                                                   "DATE/93",
                                                   "DECIMAL/3",
                                                   "LONG VARCHAR/-1",
                                                   "BYTE VARYING/-3",
                                                   "LONG BYTE/-4",
                                                   "BYTE/-2",
                                                   "NCHAR/-8",
                                                   "NVARCHAR/-9",
                                                   "LONG NVARCHAR/-10",
                                                   "INTEGER8/-5"}));
    EXPECT_EQ(AllRows(Scope(0, 10000000, 2)).size(), 23u);
    EXPECT_EQ(AllRows(Scope(0, 10000000, 1)).size(), 20u);
    EXPECT_EQ(AllRows(Scope(0, 10000000, 0)).size(), 20u);
    // ODBC 2 applications: the timestamp and the DATE row, in its place, under the ODBC 2 code.
    auto v2 = AllRows(Scope(0, 10000000, 3, 2));
    ASSERT_EQ(v2.size(), 22u);
    EXPECT_EQ(Names({v2[10], v2[11], v2[12], v2[13]}),
              (std::vector<std::string>{"MONEY/8", "TIMESTAMP WITHOUT TIME ZONE/11", "DATE/11", "DECIMAL/3"}));
}

TEST(TypeInfoRows, NarrowDriverHasNoNationalTypes) {
    auto l3 = AllRows(Scope(0, 10000000, 3, 3, false));
    ASSERT_EQ(l3.size(), 21u);
    EXPECT_STREQ(l3[20]->typeName, "INTEGER8");
    EXPECT_EQ(AllRows(Scope(0, 10000000, 2, 3, false)).size(), 20u);
    EXPECT_EQ(AllRows(Scope(0, 10000000, 3, 2, false)).size(), 19u);
    for (int16_t t : {-8, -9, -10}) EXPECT_EQ(IngTypeInfoPick(Scope(t, 10000000, 3, 3, false), 0), nullptr) << t;
    EXPECT_STREQ(IngTypeInfoPick(Scope(-7, 10000000, 3, 3, false), 0)->typeName, "INTEGER1");
    EXPECT_STREQ(IngTypeInfoPick(Scope(-9, 10000000, 1, 3, true), 0)->typeName, "NVARCHAR");
}

TEST(TypeInfoRows, OdbcVersionPicksTheDateRows) {
    auto v3 = AllRows(Scope(0, 10000000, 3, 3));
    EXPECT_EQ((std::vector<int>{v3[11]->dataType, v3[12]->dataType, v3[13]->dataType, v3[14]->dataType}),
              (std::vector<int>{91, 92, 93, 93}));
    EXPECT_EQ(AllRows(Scope(0, 10000000, 3, 2))[11]->dataType, 11);
}

// The timestamp row holds the whole value: nine fraction digits in its size and its scales;
// every date and time row quotes its literals.
TEST(TypeInfoRows, DateAndTimeRowsQuoteAndTheTimestampHoldsNineDigits) {
    const IngTypeRow* ts = IngTypeInfoPick(Scope(93), 0);
    ASSERT_NE(ts, nullptr);
    EXPECT_STREQ(ts->typeName, "TIMESTAMP WITHOUT TIME ZONE");
    EXPECT_EQ((std::vector<int>{ts->columnSize, ts->minScale, ts->maxScale, ts->sqlDataType, ts->datetimeSub}),
              (std::vector<int>{29, 0, 9, 9, 3}));
    EXPECT_EQ(ts->createParams, nullptr);
    for (uint32_t odbc : {2u, 3u})
        for (const IngTypeRow* r : AllRows(Scope(0, 10000000, 3, odbc))) {
            if (r->sqlDataType != 9) continue;
            SCOPED_TRACE(std::string(r->typeName) + "/" + std::to_string(r->dataType));
            ASSERT_NE(r->literalPrefix, nullptr);
            ASSERT_NE(r->literalSuffix, nullptr);
            EXPECT_STREQ(r->literalPrefix, "'");
            EXPECT_STREQ(r->literalSuffix, "'");
        }
}

TEST(TypeInfoRows, ServerVersionPicksTheSizes) {
    auto fresh = AllRows(Scope(0, 300000));
    auto old = AllRows(Scope(0, 299999));
    for (size_t i : {0u, 1u, 2u, 3u, 17u, 19u}) {
        EXPECT_EQ(fresh[i]->columnSize, 32000) << i;
        EXPECT_EQ(old[i]->columnSize, 2000) << i;
    }
}

struct OneType {
    int16_t type;
    int32_t level;
    const char* name;  // null: no row
    int16_t dataType;
    uint32_t odbc = 3;
    const char* second = nullptr;  // the row after the first, if any
    int16_t secondType = 0;
};

class TypeInfoOne : public ::testing::TestWithParam<OneType> {};

TEST_P(TypeInfoOne, PicksOneRowOnce) {
    const OneType& c = GetParam();
    IngTypeInfoScope s = Scope(c.type, 10000000, c.level, c.odbc);
    const IngTypeRow* r = IngTypeInfoPick(s, 0);
    if (!c.name) {
        EXPECT_EQ(r, nullptr);
        return;
    }
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->typeName, c.name);
    EXPECT_EQ(r->dataType, c.dataType);
    const IngTypeRow* next = IngTypeInfoPick(s, 1);
    if (c.second) {
        ASSERT_NE(next, nullptr);
        EXPECT_STREQ(next->typeName, c.second);
        EXPECT_EQ(next->dataType, c.secondType);
        next = IngTypeInfoPick(s, 2);
    }
    EXPECT_EQ(next, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Types, TypeInfoOne,
                         ::testing::Values(OneType{93, 3, "TIMESTAMP WITHOUT TIME ZONE", 93, 3, "DATE", 93},
                                           OneType{92, 3, "TIME WITHOUT TIME ZONE", 92, 3, "DATE", 92},
                                           OneType{91, 3, "ANSIDATE", 91, 3, "DATE", 91},
                                           OneType{11, 3, "TIMESTAMP WITHOUT TIME ZONE", 93, 3, "DATE", 93},
                                           OneType{9, 3, "ANSIDATE", 91, 3, "DATE", 91}, OneType{93, 3, "DATE", 93, 2},
                                           OneType{11, 3, "TIMESTAMP WITHOUT TIME ZONE", 11, 2, "DATE", 11},
                                           OneType{10, 3, "DATE", 10, 2}, OneType{99, 3, nullptr, 0},
                                           OneType{-5, 2, "FLOAT", 6}, OneType{-5, 3, "INTEGER8", -5},
                                           OneType{-7, 3, "INTEGER1", -6}, OneType{2, 3, "DECIMAL", 3},
                                           OneType{12, 3, "VARCHAR", 12}, OneType{-4, 3, "LONG BYTE", -4},
                                           OneType{-10, 1, "LONG NVARCHAR", -10}, OneType{-11, 3, nullptr, 0}));

TEST(TypeInfoServe, RowsCarryTheirFieldsAndNulls) {
    IngTypeInfoScope s = Scope(0, 10000000, 3, 3, true, 16000);
    uint32_t pos = 0;
    Dataset ds{};
    ASSERT_EQ(IngTypeInfoServe(s, &pos, 30, &ds), 0u);
    ASSERT_EQ(ds.col_count, kTypeInfoColumns);
    ASSERT_EQ(ds.rows_used, 24u);
    EXPECT_EQ(pos, 24u);
    // C: size from the connection, quotes, create params, NULL unsigned attribute.
    EXPECT_EQ(Text(ds, 0, 0), "C");
    EXPECT_EQ(Num(ds, 2, 0), 16000);
    EXPECT_EQ(Text(ds, 3, 0), "'");
    EXPECT_EQ(Text(ds, 5, 0), "maxlength");
    EXPECT_EQ(Num(ds, 9, 0), kTypeInfoNullNum);
    EXPECT_EQ(Text(ds, 12, 0), "-");
    EXPECT_EQ(Num(ds, 18, 0), kTypeInfoNullNum);
    // NCHAR keeps its own size; MONEY is fixed precision with radix 2.
    EXPECT_EQ(Text(ds, 0, 20), "NCHAR");
    EXPECT_EQ(Num(ds, 2, 20), 16000);
    EXPECT_EQ(Text(ds, 0, 10), "MONEY");
    EXPECT_EQ(Num(ds, 10, 10), 1);
    EXPECT_EQ(Num(ds, 14, 10), 2);
    EXPECT_EQ(Num(ds, 17, 10), 2);
    // The timestamp with its size, scales and subcode, then DATE 93, quoted; INTEGER8's
    // SQL_DATA_TYPE is 4.
    EXPECT_EQ(Text(ds, 0, 13), "TIMESTAMP WITHOUT TIME ZONE");
    EXPECT_EQ(Num(ds, 2, 13), 29);
    EXPECT_EQ(Text(ds, 3, 13), "'");
    EXPECT_EQ(Text(ds, 5, 13), "-");
    EXPECT_EQ(Num(ds, 13, 13), 0);
    EXPECT_EQ(Num(ds, 14, 13), 9);
    EXPECT_EQ(Num(ds, 1, 14), 93);
    EXPECT_EQ(Text(ds, 4, 14), "'");
    EXPECT_EQ(Num(ds, 13, 14), kTypeInfoNullNum);
    EXPECT_EQ(Num(ds, 15, 14), 9);
    EXPECT_EQ(Num(ds, 16, 14), 3);
    EXPECT_EQ(Num(ds, 15, 23), 4);
    EXPECT_EQ(Text(ds, 3, 19), "X'");
    EXPECT_EQ(Text(ds, 5, 15), "precision, scale");
    DatasetFree(&ds);
}

TEST(TypeInfoServe, TwoRowsAtATimeContinuesWithoutRepeating) {
    IngTypeInfoScope s = Scope(0, 10000000, 1);
    uint32_t pos = 0;
    std::vector<std::string> seen;
    for (int guard = 0; guard < 20; ++guard) {
        Dataset ds{};
        ASSERT_EQ(IngTypeInfoServe(s, &pos, 2, &ds), 0u);
        for (uint32_t r = 0; r < ds.rows_used; ++r)
            seen.push_back(Text(ds, 0, r) + "/" + std::to_string(Num(ds, 1, r)));
        uint32_t n = ds.rows_used;
        DatasetFree(&ds);
        if (n == 0) break;
    }
    EXPECT_EQ(seen, Names(AllRows(s)));
}

TEST(TypeInfoServe, ZeroRowsGivesNoColumns) {
    uint32_t pos = 0;
    Dataset ds{};
    ASSERT_EQ(IngTypeInfoServe(Scope(0), &pos, 0, &ds), 0u);
    EXPECT_EQ(ds.col_count, 0u);
    EXPECT_EQ(pos, 0u);
    DatasetFree(&ds);
    EXPECT_NE(IngTypeInfoServe(Scope(0), nullptr, 1, &ds), 0u);
}

TEST(TypeInfoDescriptions, NineteenColumnsWithTheRadixName) {
    const ColumnInfo* d = IngTypeInfoDescriptions();
    EXPECT_STREQ(d[0].name, "TYPE_NAME");
    EXPECT_EQ(d[0].sql_type, 12);
    EXPECT_EQ(d[0].column_size, 32u);
    EXPECT_EQ(d[1].sql_type, 5);
    EXPECT_EQ(d[1].display_size, 6u);
    EXPECT_EQ(d[2].sql_type, 4);
    EXPECT_EQ(d[2].display_size, 11u);
    EXPECT_EQ(d[3].column_size, 4u);
    EXPECT_STREQ(d[17].name, "SQL_NUM_PREC_RADIX");
    EXPECT_EQ(d[17].sql_type, 4);
    EXPECT_STREQ(d[18].name, "INTERVAL_PRECISION");
    for (int i = 0; i < kTypeInfoColumns; ++i) EXPECT_EQ(d[i].nullable, 0u) << i;
}

// ---- catalog type fix-up -----------------------------------------------------------------

struct Fix {
    int16_t code;
    uint32_t length;
    uint32_t odbc;
    bool unicode;
    const char* name;
    int16_t dataType;
    uint32_t columnSize, bufferLength;
    uint16_t digits, nullable, sqlType, sub;
    uint32_t octet;
};

class TypeFixup : public ::testing::TestWithParam<Fix> {};

TEST_P(TypeFixup, MapsTheIngresCode) {
    const Fix& f = GetParam();
    int16_t dt = f.code;
    char name[40] = "varchar";
    uint32_t size = 77, len = f.length, octet = 5;
    uint16_t digits = 9, nullable = 7, sqlType = 0, sub = 0;
    IngCatalogTypeFixup({&dt, name, sizeof name, false, &size, &len, &digits, &nullable, &sqlType, &sub, &octet},
                        f.odbc, false);
    EXPECT_STREQ(name, f.name);
    EXPECT_EQ(dt, f.dataType);
    EXPECT_EQ(size, f.columnSize);
    EXPECT_EQ(len, f.bufferLength);
    EXPECT_EQ(digits, f.digits);
    EXPECT_EQ(nullable, f.nullable);
    EXPECT_EQ(sqlType, f.sqlType);
    EXPECT_EQ(sub, f.sub);
    EXPECT_EQ(octet, f.octet);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TypeFixup,
    ::testing::Values(Fix{-30, 8, 3, false, "INTEGER8", -5, 19, 8, 9, 1, 65531 /* -5 */, 65535, 0xFFFFFFFFu},
                      Fix{30, 2, 3, false, "SMALLINT", 5, 5, 2, 9, 0, 5, 65535, 0xFFFFFFFFu},
                      // An Ingres date has whole seconds: 19 characters, no fraction.
                      Fix{3, 12, 3, false, "DATE", 93, 19, 16, 0, 0, 9, 3, 0xFFFFFFFFu},
                      Fix{3, 12, 2, false, "DATE", 11, 19, 16, 0, 0, 9, 3, 0xFFFFFFFFu},
                      Fix{-21, 40, 3, false, "VARCHAR", 12, 77, 40, 9, 1, 12, 65535, 40},
                      Fix{20, 10, 3, false, "CHAR", 1, 77, 10, 9, 0, 1, 65535, 10},
                      Fix{5, 8, 3, false, "MONEY", 3, 12, 8, 2, 0, 3, 65535, 0xFFFFFFFFu},
                      // The fraction digits arrive as DECIMAL_DIGITS (9 here): 20 + 9 characters.
                      Fix{9, 8, 2, false, "TIMESTAMP WITHOUT TIME ZONE", 11, 29, 16, 9, 0, 9, 3, 0xFFFFFFFFu},
                      Fix{-19, 8, 3, false, "TIMESTAMP WITH LOCAL TIME ZONE", 93, 29, 16, 9, 1, 9, 3, 0xFFFFFFFFu},
                      Fix{18, 8, 3, false, "TIMESTAMP WITH TIME ZONE", 93, 35, 16, 9, 0, 9, 3, 0xFFFFFFFFu},
                      Fix{6, 8, 3, false, "TIME WITHOUT TIME ZONE", 92, 10, 6, 9, 0, 10, 2, 0xFFFFFFFFu},
                      Fix{22, 0, 3, false, "LONG VARCHAR", -1, 2147483646, 2147483646, 9, 0, 65535, 65535, 2147483646},
                      Fix{27, 20, 3, false, "NVARCHAR", 12, 77, 20, 9, 0, 12, 65535, 20},
                      Fix{31, 4, 3, false, "FLOAT4", 7, 7, 4, 9, 0, 7, 65535, 0xFFFFFFFFu},
                      Fix{31, 6, 3, false, "varchar", 31, 77, 6, 9, 0, 0, 65535, 0xFFFFFFFFu},
                      Fix{34, 0, 3, false, "INTERVAL DAY TO SECOND", 110, 10, 12, 9, 0, 10, 10, 0xFFFFFFFFu},
                      Fix{38, 1, 3, false, "BOOLEAN", -7, 1, 1, 9, 0, 65529, 65535, 0xFFFFFFFFu}));

TEST(TypeFixupTimestamp, SizeFollowsTheFractionDigits) {
    struct {
        uint16_t digits;
        uint32_t size;
    } cases[] = {{0, 19}, {1, 21}, {3, 23}, {6, 26}, {9, 29}, {12, 29}};
    for (const auto& c : cases) {
        int16_t dt = 9;
        char name[40] = "";
        uint32_t size = 0, len = 8, octet = 0;
        uint16_t digits = c.digits, nullable = 0, sqlType = 0, sub = 0;
        IngCatalogTypeFixup({&dt, name, sizeof name, false, &size, &len, &digits, &nullable, &sqlType, &sub, &octet}, 3,
                            false);
        EXPECT_EQ(size, c.size) << c.digits;
        EXPECT_EQ(digits, c.digits > 9 ? 9 : c.digits) << c.digits;
    }
}

TEST(TypeFixupWide, NationalTypesDoubleOnUnicodeConnections) {
    int16_t dt = -27;
    uint16_t name[20];
    uint32_t size = 10, len = 20, octet = 0;
    uint16_t digits = 0, nullable = 0, sqlType = 0, sub = 0;
    IngCatalogTypeFixup({&dt, name, sizeof name, true, &size, &len, &digits, &nullable, &sqlType, &sub, &octet}, 3,
                        true);
    EXPECT_EQ(dt, -9);
    EXPECT_EQ(int16_t(sqlType), -9);
    EXPECT_EQ(len, 40u);
    EXPECT_EQ(octet, 40u);
    EXPECT_EQ(nullable, 1u);
    std::u16string got(reinterpret_cast<const char16_t*>(name));
    EXPECT_EQ(got, u"NVARCHAR");

    dt = 28;
    IngCatalogTypeFixup({&dt, name, sizeof name, true, &size, &len, &digits, &nullable, &sqlType, &sub, &octet}, 3,
                        true);
    EXPECT_EQ(dt, -10);
    EXPECT_EQ(octet, 2147483646u);
    // A name cell too small for the type name is cut, never overrun.
    uint16_t small[4] = {1, 1, 1, 1};
    dt = 28;
    IngCatalogTypeFixup({&dt, small, 6, true, &size, &len, &digits, &nullable, &sqlType, &sub, &octet}, 3, true);
    EXPECT_EQ(small[0], u'L');
    EXPECT_EQ(small[1], u'O');
    EXPECT_EQ(small[2], 0);
    EXPECT_EQ(small[3], 1);
}

TEST(TypeFixupWide, NationalTypeOnANarrowConnection) {
    int16_t dt = 26;
    char name[20] = "";
    uint32_t size = 10, len = 20, octet = 0;
    uint16_t digits = 0, nullable = 0, sqlType = 0, sub = 0;
    IngCatalogTypeFixup({&dt, name, sizeof name, false, &size, &len, &digits, &nullable, &sqlType, &sub, &octet}, 3,
                        false);
    EXPECT_STREQ(name, "NCHAR");
    EXPECT_EQ(dt, 1);
    EXPECT_EQ(len, 20u);
    EXPECT_EQ(octet, 20u);
}

TEST(TypeFixupWide, AbsentCellsAreSkipped) {
    int16_t dt = -30;
    uint32_t size = 0, len = 4;
    uint16_t digits = 0, nullable = 0;
    IngCatalogTypeFixup({&dt, nullptr, 0, false, &size, &len, &digits, &nullable, nullptr, nullptr, nullptr}, 3, false);
    EXPECT_EQ(dt, 4);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(nullable, 1u);
}

// ---- through the operation table ---------------------------------------------------------

class TypeInfoAgent : public agenttest::AgentTest {};

TEST_F(TypeInfoAgent, ServesTheListThroughTheOperationTable) {
    iiengine_setControl(IIENGINE_API_LEVEL, "1");
    uint32_t c = 0, s = 0;
    ASSERT_EQ(Connect(&c), 0u);
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(&link, c, &s), 0u);
    EXPECT_EQ(AgentCall<DRV_DDTypeInfo>(&link, 0xBEEF0001u, uint16_t(0)), 21u);
    ASSERT_EQ(AgentCall<DRV_DDTypeInfo>(&link, s, uint16_t(0)), 0u);
    IngStmt* st = IngStmtFind(s);
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(st->columnCount, kTypeInfoColumns);
    EXPECT_STREQ(st->columns[17].name, "SQL_NUM_PREC_RADIX");
    EXPECT_TRUE(st->state & kStmtExecuted);
    uint32_t total = 0;
    std::string first;
    for (int guard = 0; guard < 30; ++guard) {
        Dataset ds{};
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(5), &ds), 0u);
        if (total == 0 && ds.rows_used) {
            first = reinterpret_cast<const char*>(DatasetCell(&ds.cols[0], 0));
            EXPECT_EQ(Num(ds, 2, 0), int32_t(IngConnFind(c)->maxCharLen));
        }
        total += ds.rows_used;
        uint32_t n = ds.rows_used;
        DatasetFree(&ds);
        if (n == 0) break;
    }
    EXPECT_EQ(first, "C");
    // An ODBC 2 connection: the timestamp row before the DATE rows.
    EXPECT_EQ(total, IngConnFind(c)->apiLevel >= 2 ? 21u : 18u);

    // A single type replaces the earlier result; closing the cursor ends it.
    ASSERT_EQ(AgentCall<DRV_DDTypeInfo>(&link, s, uint16_t(93)), 0u);
    Dataset one{};
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &one), 0u);
    EXPECT_EQ(one.rows_used, 1u);
    EXPECT_EQ(Num(one, 1, 0), 93);
    DatasetFree(&one);
    EXPECT_EQ(AgentCall<DRV_CloseCursor>(&link, s), 0u);
    Dataset none{};
    EXPECT_NE(AgentCall<DRV_FetchRows>(&link, s, uint16_t(1), &none), 0u);
    DatasetFree(&none);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
}

}  // namespace

namespace {

std::vector<std::pair<int, std::string>> g_logs;
void CaptureLog(int level, const char* text) { g_logs.emplace_back(level, text); }

TEST(TypeFixupLog, UnknownCodeIsLoggedAndLeftWithDefaults) {
    g_logs.clear();
    IngSetLogHook(CaptureLog);
    int16_t dt = -99;
    char name[16] = "keep";
    uint32_t size = 7, len = 7, octet = 3;
    uint16_t digits = 1, nullable = 0, sqlType = 5, sub = 0;
    IngCatalogTypeFixup({&dt, name, sizeof name, false, &size, &len, &digits, &nullable, &sqlType, &sub, &octet}, 3,
                        false);
    IngSetLogHook(nullptr);
    EXPECT_EQ(dt, -99);
    EXPECT_STREQ(name, "keep");
    EXPECT_EQ(nullable, 1u);
    EXPECT_EQ(sub, 65535u);
    EXPECT_EQ(octet, 0xFFFFFFFFu);
    EXPECT_EQ(size, 7u);
    ASSERT_EQ(g_logs.size(), 1u);
    EXPECT_EQ(g_logs[0].first, 3);
    EXPECT_EQ(g_logs[0].second, "Unhandled column type 99");
}

}  // namespace
