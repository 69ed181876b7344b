// Parameter binding: argument checks, the binding store, descriptor records and SQLDescribeParam.
#include "param_fixture.h"

namespace {

using ParamBind = ParamTest;

TEST_F(ParamBind, RefusedArgumentsReportTheirStates) {
    SQLINTEGER v = 1;
    SQLLEN ind = 0;
    struct Case {
        SQLUSMALLINT number;
        SQLSMALLINT direction, cType, sqlType, digits;
        SQLPOINTER value;
        SQLLEN* ind;
        SQLLEN buffer;
        const char* state;
    } cases[] = {
        {1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, nullptr, nullptr, 0, "HY009"},
        {1, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TYPE_TIMESTAMP, -1, &v, &ind, 0, "HY094"},
        {1, SQL_PARAM_INPUT, SQL_C_TIME, SQL_TYPE_TIME, -2, &v, &ind, 0, "HY094"},
        {1, SQL_PARAM_INPUT, 1234, SQL_INTEGER, 0, &v, &ind, 0, "07006"},
        {1, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTEGER, 0, &v, &ind, 0, "07006"},
        {0, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, &v, &ind, 0, "07009"},
        {1025, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, &v, &ind, 0, "07009"},
        {1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 0, &v, &ind, -7, "HY090"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        EXPECT_EQ(SQL_ERROR, SQLBindParameter(hstmt, c.number, c.direction, c.cType, c.sqlType, 10, c.digits, c.value,
                                              c.buffer, c.ind));
        EXPECT_EQ(c.state, State());
    }
    EXPECT_EQ(nullptr, ParamBindingAt(1, stmt));
    // Negative digits are fine for a type without seconds; an output parameter needs no buffer.
    EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, -1, &v, 0, &ind));
    EXPECT_EQ(SQL_SUCCESS,
              SQLBindParameter(hstmt, 2, SQL_PARAM_OUTPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, nullptr, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1024, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind));
}

TEST_F(ParamBind, StoreGrowsByTenAndKeepsEarlierBindings) {
    SQLINTEGER v = 7;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 5, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind));
    ParamStore* ps = StmtParamStore(stmt);
    ASSERT_NE(nullptr, ps);
    EXPECT_EQ(14, ps->count);
    EXPECT_EQ(5, stmt->apd->count);
    EXPECT_EQ(5, stmt->ipd->count);
    EXPECT_EQ(&v, stmt->apd->items[5].dataPtr);
    EXPECT_EQ(&ind, stmt->apd->items[5].indicatorPtr);
    EXPECT_EQ(SQL_INTEGER, stmt->ipd->items[5].conciseType);
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 30, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, &v, 4, &ind));
    ps = StmtParamStore(stmt);
    EXPECT_EQ(39, ps->count);
    ParamBinding* b5 = ParamBindingAt(5, stmt);
    ASSERT_NE(nullptr, b5);
    EXPECT_EQ(SQL_C_LONG, b5->cType);
    EXPECT_EQ(4, b5->elementSize);
    ParamBinding* b30 = ParamBindingAt(30, stmt);
    ASSERT_NE(nullptr, b30);
    EXPECT_EQ(SQL_NTS, b30->elementSize);
    EXPECT_EQ(20u, b30->columnSize);
    EXPECT_EQ(nullptr, ParamBindingAt(6, stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_RESET_PARAMS));
    EXPECT_EQ(nullptr, StmtParamStore(stmt));
    EXPECT_EQ(nullptr, ParamBindingAt(5, stmt));
}

TEST_F(ParamBind, ElementSizesByCType) {
    struct Case {
        SQLSMALLINT cType;
        int64_t size;
    } cases[] = {{SQL_C_UTINYINT, 1},   {SQL_C_STINYINT, 1},     {SQL_C_BIT, 1},        {SQL_C_TINYINT, 1},
                 {SQL_C_UBIGINT, 8},    {SQL_C_SBIGINT, 8},      {SQL_C_DOUBLE, 8},     {SQL_C_ULONG, 4},
                 {SQL_C_SLONG, 4},      {SQL_C_LONG, 4},         {SQL_C_FLOAT, 4},      {SQL_C_USHORT, 2},
                 {SQL_C_SSHORT, 2},     {SQL_C_SHORT, 2},        {SQL_C_GUID, 16},      {SQL_C_TYPE_TIMESTAMP, 16},
                 {SQL_C_TIMESTAMP, 16}, {SQL_C_NUMERIC, 19},     {SQL_C_DATE, 6},       {SQL_C_TYPE_TIME, 6},
                 {SQL_C_CHAR, SQL_NTS}, {SQL_C_BINARY, SQL_NTS}, {SQL_C_WCHAR, SQL_NTS}};
    char buf[32];
    SQLLEN ind = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cType);
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, c.cType, SQL_VARCHAR, 10, 0, buf, 0, &ind));
        EXPECT_EQ(c.size, ParamBindingAt(1, stmt)->elementSize);
    }
}

TEST_F(ParamBind, DefaultCTypeFollowsTheSqlType) {
    char buf[32];
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_INTEGER, 0, 0, buf, 0, &ind));
    EXPECT_EQ(SQL_C_LONG, ParamBindingAt(1, stmt)->cType);
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_WVARCHAR, 5, 0, buf, 0, &ind));
    EXPECT_EQ(SQL_C_WCHAR, ParamBindingAt(2, stmt)->cType);
    conn->env->odbcVersion = 2;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_WVARCHAR, 5, 0, buf, 0, &ind));
    EXPECT_EQ(SQL_C_CHAR, ParamBindingAt(3, stmt)->cType);
    conn->env->odbcVersion = 3;
}

TEST_F(ParamBind, SetParamIsTheOdbcOneForm) {
    char buf[8] = "x";
    SQLLEN len = SQL_NTS;
    EXPECT_EQ(SQL_ERROR, SQLSetParam(hstmt, 1, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, buf, &len));
    EXPECT_EQ("07006", State());
    EXPECT_EQ(SQL_ERROR, SQLSetParam(hstmt, 1, SQL_C_CHAR, SQL_VARCHAR, 10, -1, buf, &len));
    EXPECT_EQ("HY094", State());
    EXPECT_EQ(SQL_ERROR, SQLSetParam(hstmt, 1, SQL_C_CHAR, SQL_VARCHAR, 10, 0, nullptr, nullptr));
    EXPECT_EQ("HY009", State());
    ASSERT_EQ(SQL_SUCCESS, SQLSetParam(hstmt, 2, SQL_C_CHAR, SQL_VARCHAR, 10, 0, buf, &len));
    ParamBinding* b = ParamBindingAt(2, stmt);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(SQL_PARAM_INPUT, b->direction);
    EXPECT_EQ(&len, b->octetLengthPtr);
    EXPECT_EQ(&len, b->indicatorPtr);
    // The descriptors are left alone by the ODBC 1 form.
    EXPECT_EQ(0, stmt->apd->count);
}

TEST_F(ParamBind, ChangedSummaryClearsTheSentFlag) {
    SQLINTEGER v = 1;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &v, 0, &ind));
    stmt->flags |= kSfParamsSent;
    SQLINTEGER w = 2;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 10, 0, &w, 0, &ind));
    EXPECT_TRUE(stmt->flags & kSfParamsSent) << "same summary, only the buffer moved";
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_BIGINT, 10, 0, &w, 0, &ind));
    EXPECT_FALSE(stmt->flags & kSfParamsSent);
    ParamDescEntry* sums = static_cast<ParamDescEntry*>(stmt->paramSummaries);
    EXPECT_EQ(SQL_BIGINT, sums[0].sqlType);
    EXPECT_EQ(SQL_C_LONG, sums[0].cType);
    EXPECT_EQ(SQL_PARAM_INPUT, sums[0].paramType);
}

TEST_F(ParamBind, DescribeParamReadsTheDescription) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("insert into t values (?)", {"p1"}));
    stmt->params[0].sql_type = SQL_INTEGER;
    stmt->params[0].column_size = 10;
    stmt->params[0].nullable = 1;
    stmt->paramsDescribed = 1;
    SQLSMALLINT type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(hstmt, 1, &type, &size, &digits, &nullable));
    EXPECT_EQ(SQL_INTEGER, type);
    EXPECT_EQ(10u, size);
    EXPECT_EQ(0, digits);
    EXPECT_EQ(1, nullable);
    EXPECT_EQ(SQL_ERROR, SQLDescribeParam(hstmt, 2, &type, &size, &digits, &nullable));
    EXPECT_EQ("07009", State());
    EXPECT_EQ(SQL_SUCCESS, SQLDescribeParam(hstmt, 1, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
