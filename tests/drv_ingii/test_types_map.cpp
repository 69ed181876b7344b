// The Ingres type map, parameter descriptors, date texts and value conversions.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-types.h"
#include "drv_ingii/i-value.h"
#include "util/errtable.h"
#include "util/dataset.h"

namespace {

IIAPI_DESCRIPTOR Desc(int16_t type, uint16_t len, int16_t prec = 0, int16_t scale = 0, II_BOOL nullable = 1) {
    IIAPI_DESCRIPTOR d{};
    d.ds_dataType = type;
    d.ds_length = len;
    d.ds_precision = prec;
    d.ds_scale = scale;
    d.ds_nullable = nullable;
    return d;
}

struct MapCase {
    IIAPI_DESCRIPTOR d;
    bool unicode, jet;
    int16_t server;
    int32_t sql;
    uint32_t kind, size, display, length;
    uint16_t scale;
};

TEST(TypeMap, EveryIngresTypeHasItsDescription) {
    const MapCase cases[] = {
        {Desc(IIAPI_DATE_TYPE, 12), false, false, 3, 11, DS_TIMESTAMP, 19, 19, 6, 0},
        {Desc(IIAPI_ADATE_TYPE, 12), false, false, 4, 9, DS_DATE, 10, 10, 6, 0},
        {Desc(IIAPI_MNY_TYPE, 8), false, false, 5, 3, DS_DOUBLE, 12, 17, 8, 2},
        {Desc(IIAPI_TMWO_TYPE, 12), false, false, 6, 10, DS_TIME, 12, 12, 6, 0},
        {Desc(IIAPI_TMTZ_TYPE, 12), false, false, 7, 10, DS_CHAR_LEN2, 16, 16, 16, 0},
        {Desc(IIAPI_TIME_TYPE, 12), false, false, 8, 10, DS_TIME, 12, 12, 6, 0},
        // A timestamp's size and digits follow its declared fraction (the descriptor's precision).
        {Desc(IIAPI_TSWO_TYPE, 12), false, false, 9, 11, DS_TIMESTAMP, 19, 19, 6, 0},
        {Desc(IIAPI_TSWO_TYPE, 12, 6), false, false, 9, 11, DS_TIMESTAMP, 26, 26, 6, 6},
        {Desc(IIAPI_TSWO_TYPE, 12, 3), false, false, 9, 11, DS_TIMESTAMP, 23, 23, 6, 3},
        {Desc(IIAPI_TSWO_TYPE, 12, 9), false, false, 9, 11, DS_TIMESTAMP, 29, 29, 6, 9},
        {Desc(IIAPI_DEC_TYPE, 16, 31, 10), false, false, 10, 3, DS_CHAR_NTS, 31, 43, 43, 10},
        {Desc(IIAPI_LOGKEY_TYPE, 16), false, false, 11, 1, DS_CHAR_NTS, 34, 34, 34, 0},
        {Desc(IIAPI_TABKEY_TYPE, 8), false, false, 12, 1, DS_CHAR_NTS, 18, 18, 18, 0},
        {Desc(IIAPI_TSTZ_TYPE, 12), false, false, 18, 11, DS_CHAR_LEN2, 19, 32, 32, 0},
        {Desc(IIAPI_TS_TYPE, 12), false, false, 19, 11, DS_TIMESTAMP, 19, 19, 6, 0},
        {Desc(IIAPI_TS_TYPE, 12, 2), false, false, 19, 11, DS_TIMESTAMP, 22, 22, 6, 2},
        {Desc(IIAPI_CHA_TYPE, 10), false, false, 20, 1, DS_CHAR_NTS, 10, 10, 10, 0},
        {Desc(IIAPI_CHR_TYPE, 7), false, false, 32, 1, DS_CHAR_NTS, 7, 7, 7, 0},
        {Desc(IIAPI_VCH_TYPE, 22), false, false, 21, 12, DS_CHAR_NTS, 20, 20, 20, 0},
        {Desc(IIAPI_TXT_TYPE, 12), false, false, 37, 12, DS_CHAR_NTS, 10, 10, 10, 0},
        {Desc(IIAPI_LTXT_TYPE, 12), false, false, 37, 12, DS_CHAR_NTS, 10, 10, 10, 0},
        {Desc(IIAPI_LVCH_TYPE, 8192), false, false, 22, -1, DS_CHAR_REF, 2147483646u, 2147483646u, 0, 0},
        {Desc(IIAPI_BYTE_TYPE, 4), false, false, 23, -2, DS_BINARY_LEN4, 4, 8, 4, 0},
        {Desc(IIAPI_VBYTE_TYPE, 12), false, false, 24, -3, DS_BINARY_LEN4, 10, 20, 10, 0},
        {Desc(IIAPI_LBYTE_TYPE, 8192), false, false, 25, -4, DS_BINARY_REF, 2147483646u, 2147483646u, 0, 0},
        {Desc(IIAPI_NCHA_TYPE, 20), true, false, 26, -8, DS_WCHAR_NTS, 10, 10, 10, 0},
        {Desc(IIAPI_NCHA_TYPE, 20), false, false, 26, 1, DS_CHAR_NTS, 10, 10, 30, 0},
        {Desc(IIAPI_NVCH_TYPE, 22), true, false, 27, -9, DS_WCHAR_NTS, 10, 10, 10, 0},
        {Desc(IIAPI_NVCH_TYPE, 22), false, false, 27, 12, DS_CHAR_NTS, 10, 10, 30, 0},
        {Desc(IIAPI_LNVCH_TYPE, 8192), true, false, 28, -10, DS_WCHAR_REF, 1073741823u, 1073741823u, 0, 0},
        {Desc(IIAPI_LNVCH_TYPE, 8192), false, false, 28, -1, DS_CHAR_REF, 1073741823u, 1073741823u, 0, 0},
        {Desc(IIAPI_INT_TYPE, 1), false, false, 30, -6, DS_TINYINT, 3, 4, 1, 0},
        {Desc(IIAPI_INT_TYPE, 2), false, false, 30, 5, DS_SMALLINT, 5, 6, 2, 0},
        {Desc(IIAPI_INT_TYPE, 4), false, false, 30, 4, DS_INTEGER, 10, 11, 4, 0},
        {Desc(IIAPI_INT_TYPE, 8), false, false, 30, -5, DS_CHAR_LEN2, 19, 21, 22, 0},
        {Desc(IIAPI_INT_TYPE, 8), false, true, 30, 2, DS_CHAR_LEN2, 19, 21, 22, 0},
        {Desc(IIAPI_FLT_TYPE, 4), false, false, 31, 7, DS_REAL, 7, 13, 4, 0},
        {Desc(IIAPI_FLT_TYPE, 8), false, false, 31, 8, DS_DOUBLE, 15, 22, 8, 0},
        {Desc(IIAPI_INTYM_TYPE, 12), false, false, 33, 107, DS_CHAR_LEN2, 0, 7, 8, 0},
        {Desc(IIAPI_INTDS_TYPE, 12), false, false, 34, 110, DS_CHAR_LEN2, 0, 10, 12, 0},
        {Desc(IIAPI_BOOL_TYPE, 1), false, false, 38, -7, DS_BIT, 1, 1, 0, 0},
        {Desc(99, 5), false, false, 99, 12, DS_CHAR_LEN2, 64, 64, 64, 0},
        {Desc(IIAPI_INT_TYPE, 3), false, false, 30, 0, 0, 0, 0, 0, 0},
    };
    for (const MapCase& c : cases) {
        ColumnInfo ci{};
        IngMapDescriptor(c.d, c.unicode, c.jet, &ci);
        SCOPED_TRACE("type " + std::to_string(c.d.ds_dataType) + " length " + std::to_string(c.d.ds_length));
        EXPECT_EQ(ci.server_type, c.server);
        EXPECT_EQ(ci.sql_type, c.sql);
        EXPECT_EQ(ci.value_kind, c.kind);
        EXPECT_EQ(ci.column_size, c.size);
        EXPECT_EQ(ci.display_size, c.display);
        EXPECT_EQ(ci.length, c.length);
        EXPECT_EQ(ci.scale, c.scale);
        EXPECT_EQ(ci.nullable, 1u);
    }
    ColumnInfo ci{};
    IngMapDescriptor(Desc(IIAPI_INT_TYPE, 4, 0, 0, 0), false, false, &ci);
    EXPECT_EQ(ci.nullable, 0u);
}

TEST(TypeMap, TypeNamesFollowTheServerTypeAndWidth) {
    EXPECT_STREQ(IngTypeName(30, -6), "INTEGER1");
    EXPECT_STREQ(IngTypeName(30, 5), "INTEGER2");
    EXPECT_STREQ(IngTypeName(30, 4), "INTEGER4");
    EXPECT_STREQ(IngTypeName(30, -5), "INTEGER8");
    EXPECT_STREQ(IngTypeName(30, 2), "INTEGER8");
    EXPECT_STREQ(IngTypeName(31, 7), "FLOAT4");
    EXPECT_STREQ(IngTypeName(31, 8), "FLOAT8");
    EXPECT_STREQ(IngTypeName(27, -9), "VARCHAR");
    EXPECT_STREQ(IngTypeName(25, -4), "LONG BYTE");
    EXPECT_STREQ(IngTypeName(12, 1), "TABLE KEY");
    EXPECT_STREQ(IngTypeName(77, 1), "");
}

// A statement record detached from any session, for the descriptor builder.
struct FakeStmt {
    IngConn conn{};
    IngStmt* s;
    FakeStmt() {
        s = static_cast<IngStmt*>(std::calloc(1, sizeof(IngStmt)));
        s->conn = &conn;
        conn.maxCharLen = 2000;
        conn.maxStringLen = 2000;
        conn.sizeAdvise = 8192;
        conn.apiLevel = 5;
        s->cursorName = strdup("CN1");
        s->stmtName = strdup("ST1");
    }
    ~FakeStmt() {
        if (s->params) DatasetDelete(s->params);
        std::free(s->paramDescs);
        std::free(s->cursorName);
        std::free(s->stmtName);
        ColumnInfoArrayFree(s->paramInfo, s->paramCount);
        IngConvBufsFree(s);
        std::free(s->sendDescs);
        std::free(s);
    }
    void Params(std::initializer_list<std::pair<uint32_t, uint32_t>> cols, uint32_t rows = 1) {
        Dataset* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
        DatasetInit(ds, uint16_t(cols.size()));
        uint16_t i = 0;
        for (auto [kind, len] : cols) {
            ds->cols[i].kind = kind;
            ds->cols[i].width = DatasetWidth(kind, len);
            ++i;
        }
        ds->col_count = uint16_t(cols.size());
        DatasetAllocRows(ds, rows);
        ds->rows_used = rows;
        for (uint16_t c = 0; c < ds->col_count; ++c) ds->cols[c].indicators[0] = DS_IND_VALUE;
        s->params = ds;
        s->text.markers = ds->col_count;
    }
    void SqlTypes(std::initializer_list<int32_t> types) {
        s->paramDescCount = uint16_t(types.size());
        s->paramDescs = static_cast<ParamDescEntry*>(std::calloc(types.size(), sizeof(ParamDescEntry)));
        uint16_t i = 0;
        for (int32_t t : types) s->paramDescs[i++] = ParamDescEntry{t, 1, 31, 10, 1};
    }
};

TEST(ParamDescriptors, TextIsSentByTheBoundSqlType) {
    FakeStmt f;
    f.Params({{DS_CHAR_NTS, 30},
              {DS_CHAR_NTS, 30},
              {DS_CHAR_NTS, 30},
              {DS_CHAR_NTS, 30},
              {DS_CHAR_NTS, 30},
              {DS_CHAR_NTS, 30}});
    f.SqlTypes({4, -5, 3, 2, 8, -6});
    IngParamDescs pd{};
    uint32_t svc = 9;
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC, 0, &pd, &svc), 0u);
    ASSERT_EQ(pd.count, 6);
    EXPECT_EQ(svc, 0u);
    EXPECT_EQ(pd.descs[0].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(pd.descs[0].ds_length, 4);
    // BIGINT: all 8 bytes, so values beyond 2^31 survive.
    EXPECT_EQ(pd.descs[1].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(pd.descs[1].ds_length, 8);
    // DECIMAL and NUMERIC stay text for an exact conversion by the server.
    EXPECT_EQ(pd.descs[2].ds_dataType, IIAPI_CHA_TYPE);
    EXPECT_EQ(pd.descs[2].ds_precision, 31);
    EXPECT_EQ(pd.descs[2].ds_scale, 10);
    EXPECT_EQ(pd.descs[3].ds_dataType, IIAPI_CHA_TYPE);
    EXPECT_EQ(pd.descs[4].ds_dataType, IIAPI_FLT_TYPE);
    EXPECT_EQ(pd.descs[4].ds_length, 8);
    EXPECT_EQ(pd.descs[5].ds_dataType, IIAPI_CHA_TYPE);
    EXPECT_EQ(pd.descs[5].ds_length, 30);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(pd.descs[i].ds_columnType, IIAPI_COL_QPARM);
    IngParamDescsFree(&pd);

    // A text bound against an 8-byte integer arrives whole.
    std::memcpy(DatasetCell(&f.s->params->cols[1], 0), "3000000000", 11);
    IIAPI_DESCRIPTOR d = Desc(IIAPI_INT_TYPE, 8);
    uint32_t len = 0;
    void* val = nullptr;
    ASSERT_EQ(Coldata2IIValue(f.s, 1, 0, &f.s->params->cols[1], &d, &len, &val), 0u);
    ASSERT_EQ(len, 8u);
    int64_t got;
    std::memcpy(&got, val, 8);
    EXPECT_EQ(got, 3000000000LL);
}

TEST(ParamDescriptors, LongTypesBeyondTheServerMaximum) {
    FakeStmt f;
    f.Params({{DS_CHAR_NTS, 3000}, {DS_CHAR_REF, 0}, {DS_BINARY_REF, 0}, {DS_WCHAR_REF, 0}, {DS_CHAR_LEN2, 3000}});
    DatasetSetRef(f.s->params, 0, 1, std::string(100, 'a').data(), 100);
    std::string big(5000, 'b');
    DatasetSetRef(f.s->params, 0, 2, big.data(), 5000);
    std::u16string w(1500, u'x');
    DatasetSetRef(f.s->params, 0, 3, w.data(), 1500);
    uint16_t n = 2999;
    std::memcpy(DatasetCell(&f.s->params->cols[4], 0), &n, 2);
    IngParamDescs pd{};
    uint32_t svc = 0;
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC, 0, &pd, &svc), 0u);
    ASSERT_EQ(pd.count, 5);
    EXPECT_EQ(pd.descs[0].ds_dataType, IIAPI_LVCH_TYPE);
    EXPECT_EQ(pd.descs[0].ds_length, 8192);
    EXPECT_EQ(pd.descs[1].ds_dataType, IIAPI_CHA_TYPE);
    EXPECT_EQ(pd.descs[1].ds_length, 100);
    EXPECT_EQ(pd.descs[2].ds_dataType, IIAPI_LBYTE_TYPE);
    EXPECT_EQ(pd.descs[3].ds_dataType, IIAPI_LNVCH_TYPE);
    EXPECT_EQ(pd.descs[4].ds_dataType, IIAPI_CHA_TYPE);  // text with a length stays CHAR
    IngParamDescsFree(&pd);
}

TEST(ParamDescriptors, ServiceParametersAndProcedureDirections) {
    FakeStmt f;
    f.Params({{DS_INTEGER, 4}, {DS_INTEGER, 4}});
    f.s->params->cols[1].indicators[0] = DS_IND_NULL;
    IngParamDescs pd{};
    uint32_t svc = 0;
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_OPEN, 0, &pd, &svc), 0u);
    EXPECT_EQ(svc, 1u);
    ASSERT_EQ(pd.count, 3);
    EXPECT_EQ(pd.descs[0].ds_columnType, IIAPI_COL_SVCPARM);
    EXPECT_EQ(pd.descs[0].ds_length, 3);  // "CN1"
    EXPECT_EQ(pd.descs[2].ds_nullable, II_TRUE);
    EXPECT_EQ(pd.descs[1].ds_nullable, II_FALSE);
    IngParamDescsFree(&pd);

    // A procedure: name and owner first; its input parameters marked by their descriptions.
    std::strcpy(f.s->procName, "p");
    std::strcpy(f.s->procOwner, "o");
    f.s->state = kStmtProcCall;
    f.s->paramInfo = ColumnInfoArrayAlloc(2);
    f.s->paramCount = 2;
    std::strcpy(f.s->paramInfo[0].name, "*I");
    std::strcpy(f.s->paramInfo[1].name, "*B");
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC_PROCEDURE, 0, &pd, &svc), 0u);
    EXPECT_EQ(svc, 2u);
    ASSERT_EQ(pd.count, 4);
    EXPECT_EQ(pd.descs[2].ds_columnType, IIAPI_COL_PROCINPARM);
    EXPECT_EQ(pd.descs[3].ds_columnType, IIAPI_COL_PROCBYREFPARM);
    IngParamDescsFree(&pd);
    f.conn.apiLevel = 4;
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC_PROCEDURE, 0, &pd, &svc), 0u);
    EXPECT_EQ(pd.descs[2].ds_columnType, IIAPI_COL_PROCBYREFPARM);
    IngParamDescsFree(&pd);

    // A kind with no Ingres form is refused.
    f.s->params->cols[0].kind = DS_WCHAR_LEN4;
    EXPECT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC, 0, &pd, &svc), 43u);
}

TEST(ParamValues, DatesAreSentAsIngresTextWithTheirFraction) {
    FakeStmt f;
    f.Params({{DS_DATE, 0}, {DS_TIMESTAMP, 0}, {DS_TIME, 0}});
    DsDate d{2024, 2, 29};
    std::memcpy(DatasetCell(&f.s->params->cols[0], 0), &d, sizeof d);
    DsTimestamp ts{2024, 2, 29, 13, 45, 10, 5};
    std::memcpy(DatasetCell(&f.s->params->cols[1], 0), &ts, sizeof ts);
    DsTime t{1, 2, 3};
    std::memcpy(DatasetCell(&f.s->params->cols[2], 0), &t, sizeof t);
    IIAPI_DESCRIPTOR c = Desc(IIAPI_CHA_TYPE, 32);
    const char* expect[] = {"2024_02_29", "2024_02_29 13:45:10.000000005", "01:02:03"};
    for (uint16_t col = 0; col < 3; ++col) {
        uint32_t len = 0;
        void* val = nullptr;
        ASSERT_EQ(Coldata2IIValue(f.s, col, 0, &f.s->params->cols[col], &c, &len, &val), 0u);
        EXPECT_EQ(std::string(static_cast<char*>(val), len), expect[col]);
    }
    // Every field at the ends of its width, and beyond it (the digits are never cut).
    const struct {
        DsTimestamp ts;
        const char* text;
    } edges[] = {
        {{1, 1, 1, 0, 0, 0, 1}, "0001_01_01 00:00:00.000000001"},
        {{9999, 12, 31, 23, 59, 59, 999999999}, "9999_12_31 23:59:59.999999999"},
        {{2000, 10, 9, 9, 10, 0, 120000000}, "2000_10_09 09:10:00.120000000"},
        {{12345, 100, 7, 0, 0, 0, 0}, "12345_100_07 00:00:00"},
    };
    for (const auto& e : edges) {
        std::memcpy(DatasetCell(&f.s->params->cols[1], 0), &e.ts, sizeof e.ts);
        uint32_t n = 0;
        void* v = nullptr;
        ASSERT_EQ(Coldata2IIValue(f.s, 1, 0, &f.s->params->cols[1], &c, &n, &v), 0u);
        EXPECT_EQ(std::string(static_cast<char*>(v), n), e.text);
    }
    // A date has no integer form.
    IIAPI_DESCRIPTOR i = Desc(IIAPI_INT_TYPE, 4);
    uint32_t len = 0;
    void* val = nullptr;
    EXPECT_EQ(Coldata2IIValue(f.s, 0, 0, &f.s->params->cols[0], &i, &len, &val), 43u);
    // A NULL gives no value.
    f.s->params->cols[2].indicators[0] = DS_IND_NULL;
    EXPECT_EQ(Coldata2IIValue(f.s, 2, 0, &f.s->params->cols[2], &c, &len, &val), 0u);
    EXPECT_EQ(val, nullptr);
    EXPECT_EQ(len, 0u);
}

TEST(ParamValues, NumbersIntoEachTarget) {
    FakeStmt f;
    f.Params({{DS_CHAR_NTS, 10}, {DS_SMALLINT, 0}, {DS_UINTEGER, 0}, {DS_DOUBLE, 0}});
    std::memcpy(DatasetCell(&f.s->params->cols[0], 0), "42abc", 6);
    int16_t sv = -7;
    std::memcpy(DatasetCell(&f.s->params->cols[1], 0), &sv, 2);
    uint32_t uv = 4000000000u;
    std::memcpy(DatasetCell(&f.s->params->cols[2], 0), &uv, 4);
    double dv = 2.75;
    std::memcpy(DatasetCell(&f.s->params->cols[3], 0), &dv, 8);
    IIAPI_DESCRIPTOR i4 = Desc(IIAPI_INT_TYPE, 4), i8 = Desc(IIAPI_INT_TYPE, 8), fl = Desc(IIAPI_FLT_TYPE, 8),
                     ch = Desc(IIAPI_CHA_TYPE, 20);
    uint32_t len;
    void* val;
    // Text into a number is the whole text, never the digits it starts with.
    EXPECT_EQ(Coldata2IIValue(f.s, 0, 0, &f.s->params->cols[0], &i4, &len, &val), uint32_t(kErrAssignment));
    EXPECT_EQ(Coldata2IIValue(f.s, 0, 0, &f.s->params->cols[0], &fl, &len, &val), uint32_t(kErrAssignment));
    for (const auto& [text, number] : {std::pair<const char*, int32_t>{" 42 ", 42}, {"1e3", 1000}, {"-7.00", -7}}) {
        std::memset(DatasetCell(&f.s->params->cols[0], 0), 0, 10);
        std::memcpy(DatasetCell(&f.s->params->cols[0], 0), text, std::strlen(text));
        ASSERT_EQ(Coldata2IIValue(f.s, 0, 0, &f.s->params->cols[0], &i4, &len, &val), 0u) << text;
        EXPECT_EQ(*static_cast<int32_t*>(val), number) << text;
        ASSERT_EQ(Coldata2IIValue(f.s, 0, 0, &f.s->params->cols[0], &fl, &len, &val), 0u) << text;
        EXPECT_EQ(*static_cast<double*>(val), double(number)) << text;
    }
    ASSERT_EQ(Coldata2IIValue(f.s, 1, 0, &f.s->params->cols[1], &ch, &len, &val), 0u);
    EXPECT_EQ(std::string(static_cast<char*>(val), len), "-7");
    ASSERT_EQ(Coldata2IIValue(f.s, 2, 0, &f.s->params->cols[2], &i8, &len, &val), 0u);
    int64_t big;
    std::memcpy(&big, val, 8);
    EXPECT_EQ(big, 4000000000LL);
    ASSERT_EQ(Coldata2IIValue(f.s, 3, 0, &f.s->params->cols[3], &i4, &len, &val), 0u);
    EXPECT_EQ(*static_cast<int32_t*>(val), 2);
    ASSERT_EQ(Coldata2IIValue(f.s, 3, 0, &f.s->params->cols[3], &fl, &len, &val), 0u);
    EXPECT_EQ(*static_cast<double*>(val), 2.75);
    ASSERT_EQ(Coldata2IIValue(f.s, 3, 0, &f.s->params->cols[3], &ch, &len, &val), 0u);
    EXPECT_EQ(std::string(static_cast<char*>(val), len), "2.75");
}

// The kinds the common parameter types arrive in give the bytes their descriptor's type asks
// for, however the value is found (in the cell, in a conversion slot, through the general reader).
TEST(ParamValues, UsualKindsIntoTheirTargets) {
    FakeStmt f;
    f.Params(
        {{DS_INTEGER, 0}, {DS_DOUBLE, 0}, {DS_CHAR_LEN4, 6}, {DS_CHAR_REF, 0}, {DS_TIMESTAMP, 0}, {DS_TIMESTAMP, 0}},
        3);
    auto len4 = [&](uint32_t row, const char* text, uint32_t prefix) {
        uint8_t* cell = DatasetCell(&f.s->params->cols[2], row);
        std::memcpy(cell, &prefix, 4);
        std::memcpy(cell + 4, text, std::strlen(text));
    };
    const int32_t iv[3] = {-5, 0, 2147483647};
    const double dv[3] = {2.75, -0.0, 1e300};
    const DsTimestamp ts[3] = {
        {2024, 2, 29, 13, 45, 10, 5}, {-1, 1, 1, 0, 0, 0, 999999999}, {1999, 12, 31, 23, 59, 59, 0}};
    for (uint32_t r = 0; r < 3; ++r) {
        std::memcpy(DatasetCell(&f.s->params->cols[0], r), &iv[r], 4);
        std::memcpy(DatasetCell(&f.s->params->cols[1], r), &dv[r], 8);
        std::memcpy(DatasetCell(&f.s->params->cols[4], r), &ts[r], 16);
        DsTimestamp other = ts[r];
        other.second = 7;
        std::memcpy(DatasetCell(&f.s->params->cols[5], r), &other, 16);
        for (uint16_t c = 0; c < 6; ++c) f.s->params->cols[c].indicators[r] = DS_IND_VALUE;
    }
    len4(0, "42", 2);
    len4(1, "", 0);
    len4(2, "12345678", 99);  // a prefix beyond the cell (8 bytes of text) reads no further
    DatasetSetRef(f.s->params, 0, 3, "xyz", 3);
    DatasetSetRef(f.s->params, 1, 3, "", 0);
    DatasetSetRef(f.s->params, 2, 3, "7", 1);
    const IIAPI_DESCRIPTOR i4 = Desc(IIAPI_INT_TYPE, 4), i8 = Desc(IIAPI_INT_TYPE, 8), fl = Desc(IIAPI_FLT_TYPE, 8),
                           ch = Desc(IIAPI_CHA_TYPE, 32), lv = Desc(IIAPI_LVCH_TYPE, 8192);
    auto bytes = [](const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); };
    auto i32 = [&](int32_t x) { return bytes(&x, 4); };
    auto i64 = [&](int64_t x) { return bytes(&x, 8); };
    auto f64 = [&](double x) { return bytes(&x, 8); };
    const struct {
        uint16_t col;
        uint32_t row;
        const IIAPI_DESCRIPTOR* d;
        std::string want;
    } cases[] = {
        {0, 0, &i4, i32(-5)},
        {0, 2, &i4, i32(2147483647)},
        {0, 0, &i8, i64(-5)},
        {0, 0, &ch, "-5"},
        {0, 0, &fl, f64(-5.0)},
        {1, 0, &fl, f64(2.75)},
        {1, 1, &fl, f64(-0.0)},
        {1, 2, &fl, f64(1e300)},
        {1, 0, &i4, i32(2)},
        {2, 0, &ch, "42"},
        {2, 1, &ch, ""},
        {2, 2, &ch, "12345678"},
        {2, 0, &lv, "42"},
        {2, 0, &i4, i32(42)},
        {2, 0, &i8, i64(42)},
        {2, 0, &fl, f64(42.0)},
        {3, 0, &ch, "xyz"},
        {3, 1, &ch, ""},
        {3, 2, &i4, i32(7)},
        {4, 0, &ch, "2024_02_29 13:45:10.000000005"},
        {4, 1, &ch, "4294967295_01_01 00:00:00.999999999"},  // beyond the kept slot's size
        {4, 2, &ch, "1999_12_31 23:59:59"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "column " << c.col << " row " << c.row);
        uint32_t len = 99;
        void* val = nullptr;
        ASSERT_EQ(Coldata2IIValue(f.s, c.col, c.row, &f.s->params->cols[c.col], c.d, &len, &val), 0u);
        ASSERT_NE(val, nullptr);
        EXPECT_EQ(bytes(val, len), c.want);
    }
    // A row's values are sent together: two columns' converted values stand side by side.
    for (uint32_t r = 0; r < 3; ++r) {
        uint32_t n4 = 0, n5 = 0;
        void *v4 = nullptr, *v5 = nullptr;
        ASSERT_EQ(Coldata2IIValue(f.s, 4, r, &f.s->params->cols[4], &ch, &n4, &v4), 0u);
        ASSERT_EQ(Coldata2IIValue(f.s, 5, r, &f.s->params->cols[5], &ch, &n5, &v5), 0u);
        const char* want4[3] = {"2024_02_29 13:45:10.000000005", "4294967295_01_01 00:00:00.999999999",
                                "1999_12_31 23:59:59"};
        const char* want5[3] = {"2024_02_29 13:45:07.000000005", "4294967295_01_01 00:00:07.999999999",
                                "1999_12_31 23:59:07"};
        EXPECT_EQ(bytes(v4, n4), want4[r]);
        EXPECT_EQ(bytes(v5, n5), want5[r]);
    }
    // A NULL gives no value, whatever its kind.
    for (uint16_t c = 0; c < 5; ++c) {
        f.s->params->cols[c].indicators[1] = DS_IND_NULL;
        uint32_t len = 99;
        void* val = &len;
        ASSERT_EQ(Coldata2IIValue(f.s, c, 1, &f.s->params->cols[c], c == 4 ? &ch : &i4, &len, &val), 0u);
        EXPECT_EQ(val, nullptr);
        EXPECT_EQ(len, 0u);
    }
}

// A BIGINT crosses as its digits in a NUL-terminated column, read straight into the 8-byte
// integer: the same value or the same refusal as the general reader gives the same text held by
// reference, over blanks, signs, the limits and beyond them, fractions and what is no number.
TEST(ParamValues, BigintDigitsReadAsTheGeneralReaderReadsThem) {
    const char* const texts[] = {"0",
                                 "-1",
                                 "42",
                                 "  42  ",
                                 "+7",
                                 "9223372036854775807",
                                 "-9223372036854775808",
                                 "9223372036854775808",
                                 "-9223372036854775809",
                                 "99999999999999999999999",
                                 "42.9",
                                 "-0.5",
                                 "1e3",
                                 "",
                                 " ",
                                 "4x2",
                                 "-",
                                 "0x10",
                                 "0000000000000000000000000000012"};
    const uint32_t rows = uint32_t(std::size(texts));
    FakeStmt f;
    f.Params({{DS_CHAR_NTS, 31}, {DS_CHAR_REF, 0}}, rows);
    for (uint32_t r = 0; r < rows; ++r) {
        std::memcpy(DatasetCell(&f.s->params->cols[0], r), texts[r], std::strlen(texts[r]) + 1);
        DatasetSetRef(f.s->params, r, 1, texts[r], uint32_t(std::strlen(texts[r])));
        f.s->params->cols[0].indicators[r] = f.s->params->cols[1].indicators[r] = DS_IND_VALUE;
    }
    const IIAPI_DESCRIPTOR i8 = Desc(IIAPI_INT_TYPE, 8);
    for (uint32_t r = 0; r < rows; ++r) {
        SCOPED_TRACE(testing::Message() << '"' << texts[r] << '"');
        uint32_t fastLen = 99, generalLen = 99;
        void *fast = nullptr, *general = nullptr;
        const uint32_t fastRc = Coldata2IIValue(f.s, 0, r, &f.s->params->cols[0], &i8, &fastLen, &fast);
        int64_t fastValue = 0;
        if (fastRc == 0) std::memcpy(&fastValue, fast, 8);
        const uint32_t generalRc = Coldata2IIValue(f.s, 1, r, &f.s->params->cols[1], &i8, &generalLen, &general);
        EXPECT_EQ(fastRc, generalRc);
        if (fastRc != 0 || generalRc != 0) continue;
        int64_t generalValue = 0;
        std::memcpy(&generalValue, general, 8);
        EXPECT_EQ(fastLen, 8u);
        EXPECT_EQ(generalLen, 8u);
        EXPECT_EQ(fastValue, generalValue);
    }
    // And the plain values are what they say.
    for (const auto& [r, want] : {std::pair<uint32_t, int64_t>{2, 42}, {3, 42}, {5, INT64_MAX}, {6, INT64_MIN}}) {
        uint32_t len = 0;
        void* val = nullptr;
        ASSERT_EQ(Coldata2IIValue(f.s, 0, r, &f.s->params->cols[0], &i8, &len, &val), 0u) << texts[r];
        int64_t got = 0;
        std::memcpy(&got, val, 8);
        EXPECT_EQ(got, want) << texts[r];
    }
}

namespace {
void ExpectSameDescriptor(const IIAPI_DESCRIPTOR& a, const IIAPI_DESCRIPTOR& b) {
    EXPECT_EQ(a.ds_dataType, b.ds_dataType);
    EXPECT_EQ(a.ds_nullable, b.ds_nullable);
    EXPECT_EQ(a.ds_length, b.ds_length);
    EXPECT_EQ(a.ds_precision, b.ds_precision);
    EXPECT_EQ(a.ds_scale, b.ds_scale);
    EXPECT_EQ(a.ds_columnType, b.ds_columnType);
    EXPECT_EQ(a.ds_columnName, b.ds_columnName);
}
}  // namespace

// The rows of one array reuse the previous row's descriptors; each row still gets exactly the
// descriptors a build of its own gives: NULLs, lengths, a text that turns long and back.
TEST(ParamDescriptors, RowsOfAnArrayGetTheirOwnDescriptors) {
    FakeStmt f;
    const uint32_t rows = 6;
    f.Params({{DS_INTEGER, 0},
              {DS_CHAR_LEN4, 3000},
              {DS_CHAR_REF, 0},
              {DS_BINARY, 4},
              {DS_TIMESTAMP, 0},
              {DS_CHAR_REF, 0},
              {DS_CHAR_LEN2, 3000}},
             rows);
    f.SqlTypes({4, 12, 4, -3, 93, 12, 12});
    Dataset* ds = f.s->params;
    const uint32_t textLen[rows] = {3, 2500, 0, 7, 2000, 2001};
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint16_t c = 0; c < ds->col_count; ++c) ds->cols[c].indicators[r] = DS_IND_VALUE;
        const std::string t(textLen[r], '5');
        uint8_t* cell = DatasetCell(&ds->cols[1], r);
        std::memcpy(cell, &textLen[r], 4);
        std::memcpy(cell + 4, t.data(), t.size());
        DatasetSetRef(ds, r, 2, t.data(), uint32_t(t.size()));
        DatasetSetRef(ds, r, 5, t.data(), uint32_t(t.size()));
        const uint16_t n2 = uint16_t(textLen[r]);
        std::memcpy(DatasetCell(&ds->cols[6], r), &n2, 2);
    }
    // NULLs that come and go, in every column.
    for (uint16_t c = 0; c < ds->col_count; ++c) ds->cols[c].indicators[(c + 1) % rows] = DS_IND_NULL;
    ds->cols[3].indicators[4] = DS_IND_NULL;
    f.s->sendRowsOfArray = 1;
    for (uint32_t r = 0; r < rows; ++r) {
        SCOPED_TRACE(testing::Message() << "row " << r);
        IngParamDescs reused{};
        uint32_t svc = 0;
        ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC, r, &reused, &svc), 0u);
        ASSERT_EQ(reused.count, 7);
        std::vector<IIAPI_DESCRIPTOR> got(reused.descs, reused.descs + reused.count);
        IngParamDescsKeep(f.s, &reused);
        // The same row on its own, outside an array.
        FakeStmt g;
        g.s->params = f.s->params;
        g.s->text.markers = f.s->text.markers;
        g.s->paramDescs = f.s->paramDescs;
        g.s->paramDescCount = f.s->paramDescCount;
        IngParamDescs alone{};
        ASSERT_EQ(IngBuildParamDescriptors(g.s, IIAPI_QT_EXEC, r, &alone, &svc), 0u);
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(testing::Message() << "column " << i);
            ExpectSameDescriptor(got[size_t(i)], alone.descs[i]);
        }
        IngParamDescsFree(&alone);
        g.s->params = nullptr;
        g.s->paramDescs = nullptr;
    }
    // What the rows came to: a text beyond the server's maximum goes long (even one bound as a
    // number), and the next short one is a CHAR or a number again.
    IngParamDescs pd{};
    uint32_t svc = 0;
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC, 1, &pd, &svc), 0u);
    EXPECT_EQ(pd.descs[1].ds_dataType, IIAPI_LVCH_TYPE);
    EXPECT_EQ(pd.descs[2].ds_dataType, IIAPI_LVCH_TYPE);
    EXPECT_EQ(pd.descs[5].ds_dataType, IIAPI_LVCH_TYPE);
    IngParamDescsKeep(f.s, &pd);
    ASSERT_EQ(IngBuildParamDescriptors(f.s, IIAPI_QT_EXEC, 3, &pd, &svc), 0u);
    EXPECT_EQ(pd.descs[1].ds_dataType, IIAPI_CHA_TYPE);
    EXPECT_EQ(pd.descs[1].ds_length, 7);
    EXPECT_EQ(pd.descs[2].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(pd.descs[5].ds_dataType, IIAPI_CHA_TYPE);
    EXPECT_EQ(pd.descs[5].ds_length, 7);
    IngParamDescsKeep(f.s, &pd);
}

struct DateCase {
    const char* text;
    bool value;
    int year;
    unsigned month, day, hour, minute, second, fraction;
};

TEST(DateText, LayoutsTheServerWrites) {
    const DateCase cases[] = {
        {"2024-02-29", true, 2024, 2, 29, 0, 0, 0, 0},
        {"2024-02-29 13:45:10", true, 2024, 2, 29, 13, 45, 10, 0},
        {"2024-02-29 13:45:10.123456", true, 2024, 2, 29, 13, 45, 10, 123456000},
        {"2024-02-29 13:45:10.123456789", true, 2024, 2, 29, 13, 45, 10, 123456789},
        {"2024-02-29 13:45:10.5", true, 2024, 2, 29, 13, 45, 10, 500000000},
        {"25/12/99 ", true, 1999, 12, 25, 0, 0, 0, 0},
        {"25/12/99", true, 1999, 12, 25, 0, 0, 0, 0},
        {"25/12/2001 10:11:12", true, 2001, 12, 25, 10, 11, 12, 0},
        {"25.12.2001", true, 2001, 12, 25, 0, 0, 0, 0},
        {"05-feb-2024 01:02:03", true, 2024, 2, 5, 1, 2, 3, 0},
        {"991231", true, 1999, 12, 31, 0, 0, 0, 0},
        {"2024-02-29            ", true, 2024, 2, 29, 0, 0, 0, 0},
        {" 2024-02-29", false, 0, 0, 0, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const DateCase& c : cases) {
        DsTimestamp ts;
        bool v = IngParseDateText(c.text, std::strlen(c.text), &ts);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(v, c.value);
        if (!c.value) continue;
        EXPECT_EQ(ts.year, c.year);
        EXPECT_EQ(ts.month, c.month);
        EXPECT_EQ(ts.day, c.day);
        EXPECT_EQ(ts.hour, c.hour);
        EXPECT_EQ(ts.minute, c.minute);
        EXPECT_EQ(ts.second, c.second);
        EXPECT_EQ(ts.fraction, c.fraction);
    }
    // A text cut short is never read past its end.
    std::string shortText = "2024-02-29 13";
    DsTimestamp ts;
    EXPECT_TRUE(IngParseDateText(shortText.data(), shortText.size(), &ts));
    EXPECT_EQ(ts.hour, 13);
    EXPECT_EQ(ts.minute, 0);
}

TEST(ValueText, PlainTypesBecomeText) {
    int32_t i4 = -123;
    IIAPI_DATAVALUE v{0, 4, &i4};
    char* t = nullptr;
    ASSERT_EQ(IngValueToText(Desc(IIAPI_INT_TYPE, 4), v, &t), 0u);
    EXPECT_STREQ(t, "-123");
    std::free(t);
    int64_t i8 = 9000000000LL;
    IIAPI_DATAVALUE v8{0, 8, &i8};
    ASSERT_EQ(IngValueToText(Desc(IIAPI_INT_TYPE, 8), v8, &t), 0u);
    EXPECT_STREQ(t, "9000000000");
    std::free(t);
    unsigned char key[2] = {0xAB, 0x01};
    IIAPI_DATAVALUE vk{0, 2, key};
    ASSERT_EQ(IngValueToText(Desc(IIAPI_TABKEY_TYPE, 2), vk, &t), 0u);
    EXPECT_STREQ(t, "AB 01 ");
    std::free(t);
    char vch[] = "\x03\x00xyzq";
    IIAPI_DATAVALUE vv{0, 5, vch};
    ASSERT_EQ(IngValueToText(Desc(IIAPI_VCH_TYPE, 10), vv, &t), 0u);
    EXPECT_STREQ(t, "xyz");
    std::free(t);
    IIAPI_DATAVALUE vn{1, 0, nullptr};
    ASSERT_EQ(IngValueToText(Desc(IIAPI_VCH_TYPE, 10), vn, &t), 0u);
    EXPECT_EQ(t, nullptr);
}

// A value's bytes as the engine lays them out.
template <typename T>
std::string Raw(T x) {
    return std::string(reinterpret_cast<const char*>(&x), sizeof x);
}
std::string Varying(const std::string& text) { return Raw(uint16_t(text.size())) + text; }
std::string DateTime(int16_t y, uint8_t mo, uint8_t d, uint8_t h, uint8_t mi, uint8_t s, uint8_t kind, uint32_t ns) {
    return Raw(IIAPI_DATETIME{y, mo, d, h, mi, s, kind, ns});
}

// A block's column is written by a writer chosen once for the column; each cell (and its
// indicator) must be the one that writing its value alone makes, for the values the writer takes
// and for those it hands on (other lengths, dates without a time, NULLs). The values lie between
// those of another column, as a block lays its rows out.
TEST(CellWriters, ColumnsOfABlockGetTheCellsOfValueByValue) {
    using Value = std::optional<std::string>;
    const Value null;
    struct Case {
        const char* what;
        IIAPI_DESCRIPTOR d;
        uint32_t kind;
        uint32_t length;  // L of the column's width
        std::vector<Value> values;
    } cases[] = {
        {"double",
         Desc(IIAPI_FLT_TYPE, 8),
         DS_DOUBLE,
         8,
         {Raw(0.0), Raw(-1.5), null, Raw(DBL_MAX), Raw(std::numeric_limits<double>::quiet_NaN()), Raw(float(2.5))}},
        {"real", Desc(IIAPI_FLT_TYPE, 4), DS_REAL, 4, {Raw(float(-0.25)), null, Raw(FLT_MIN), Raw(1.0)}},
        {"integer",
         Desc(IIAPI_INT_TYPE, 4),
         DS_INTEGER,
         4,
         {Raw(INT32_MIN), Raw(int32_t(-1)), null, Raw(INT32_MAX), Raw(int16_t(-7)), Raw(int8_t(-8))}},
        {"smallint",
         Desc(IIAPI_INT_TYPE, 2),
         DS_SMALLINT,
         2,
         {Raw(INT16_MIN), Raw(INT16_MAX), null, Raw(int8_t(-3)), Raw(int32_t(70000))}},
        {"tinyint", Desc(IIAPI_INT_TYPE, 1), DS_TINYINT, 1, {Raw(INT8_MIN), Raw(INT8_MAX), null, Raw(int16_t(300))}},
        {"bigint",
         Desc(IIAPI_INT_TYPE, 8),
         DS_CHAR_LEN2,
         20,
         {Raw(INT64_MIN), Raw(INT64_MAX), Raw(int64_t(0)), Raw(int64_t(-1)), null, Raw(int64_t(9)), Raw(int64_t(10)),
          Raw(int64_t(99)), Raw(int64_t(100)), Raw(int64_t(-12345)), Raw(int64_t(1000000007)), Raw(int32_t(-42))}},
        {"bigint into a narrow cell",
         Desc(IIAPI_INT_TYPE, 8),
         DS_CHAR_LEN2,
         3,
         {Raw(int64_t(123)), Raw(int64_t(1234)), Raw(int64_t(-100)), Raw(INT64_MIN)}},
        {"varchar",
         Desc(IIAPI_VCH_TYPE, 12),
         DS_CHAR_NTS,
         10,
         {Varying(""), Varying("abc"), null, Varying("ten chars!"), Varying("eleven char"), Raw(uint16_t(9)) + "short",
          std::string("\x01")}},
        {"text", Desc(IIAPI_TXT_TYPE, 8), DS_CHAR_NTS, 6, {Varying("a b "), Varying("longer")}},
        {"timestamp",
         Desc(IIAPI_TS_TYPE, 12),
         DS_TIMESTAMP,
         16,
         {DateTime(2024, 2, 29, 13, 45, 10, IIAPI_DTK_DATETIME, 123456789), null,
          DateTime(9999, 12, 31, 23, 59, 59, IIAPI_DTK_DATETIME, 999999999),
          DateTime(1, 1, 1, 0, 0, 0, IIAPI_DTK_DATETIME, 0), DateTime(2001, 2, 3, 0, 0, 0, IIAPI_DTK_DATE, 0),
          DateTime(0, 0, 0, 0, 0, 0, IIAPI_DTK_EMPTY, 0), DateTime(0, 0, 0, 4, 5, 6, IIAPI_DTK_TIME, 0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t rows = uint32_t(c.values.size());
        std::vector<std::string> bytes(rows);
        std::vector<IIAPI_DATAVALUE> block(2 * size_t(rows));
        for (uint32_t r = 0; r < rows; ++r) {
            block[2 * r] = IIAPI_DATAVALUE{1, 0, nullptr};
            if (!c.values[r]) {
                block[2 * r + 1] = IIAPI_DATAVALUE{1, 0, nullptr};
                continue;
            }
            bytes[r] = *c.values[r];
            block[2 * r + 1] = IIAPI_DATAVALUE{0, uint16_t(bytes[r].size()), bytes[r].data()};
        }
        const uint32_t width = DatasetWidth(c.kind, c.length);
        DatasetColumn column{c.kind, width, nullptr, nullptr}, each{c.kind, width, nullptr, nullptr};
        ASSERT_EQ(DatasetColumnAlloc(&column, rows), DS_OK);
        ASSERT_EQ(DatasetColumnAlloc(&each, rows), DS_OK);
        EXPECT_EQ(IngColumnToCells(nullptr, c.d, block.data() + 1, 2, rows, &column), 0u);
        for (uint32_t r = 0; r < rows; ++r) EXPECT_EQ(IngValueToCell(nullptr, c.d, block[2 * r + 1], &each, r), 0u);
        for (uint32_t r = 0; r < rows; ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(column.indicators[r], each.indicators[r]);
            EXPECT_EQ(0, std::memcmp(DatasetCell(&column, r), DatasetCell(&each, r), width));
            // A BIGINT's digits are its decimal text, cut to the cell.
            if (c.kind == DS_CHAR_LEN2 && c.values[r] && c.values[r]->size() == 8) {
                int64_t x;
                std::memcpy(&x, c.values[r]->data(), 8);
                const std::string want = std::to_string(x).substr(0, width - 2);
                uint16_t n;
                std::memcpy(&n, DatasetCell(&column, r), 2);
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(DatasetCell(&column, r)) + 2, n), want);
            }
        }
        DatasetColumnFree(&column, rows);
        DatasetColumnFree(&each, rows);
    }
}

TEST(ParamDescSeam, DescribingByParsingFallsBackToTheDefaults) {
    // A statement the analyser cannot parse (here: no text) keeps the descriptions it built at
    // prepare; the probe does not mark the parameters described.
    IngConn conn{};
    IngStmt* s = static_cast<IngStmt*>(std::calloc(1, sizeof(IngStmt)));
    s->conn = &conn;
    s->text.markers = 1;
    EXPECT_EQ(IngDescribeParamsByProbe(s), 22u);
    s->state = kStmtPrepared;
    EXPECT_EQ(IngDescribeParamsByProbe(s), 0u);
    EXPECT_EQ(s->paramsDescribed, 0u);
    s->state = kStmtPrepared | kStmtExecuted;
    EXPECT_EQ(IngDescribeParamsByProbe(s), 0u);
    std::free(s);
}

}  // namespace
