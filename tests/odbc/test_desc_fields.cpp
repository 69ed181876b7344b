// Descriptor records and their fields: defaults, reading through the statement, writing with its
// effect on the statement's bindings, the record calls and SQLCopyDesc.
#include <cstring>
#include <string>

#include "odbc/desc.h"
#include "odbc/desc_field.h"
#include "stmt_fixture.h"

namespace {

class DescTest : public StmtTest {
protected:
    // An ODBC 3 application: states in their ODBC 3 form.
    void SetUp() override {
        StmtTest::SetUp();
        EnvOf(pair->env)->odbcVersion = 3;
    }
    SQLHDESC Handle(DescRecord* d) { return HandleValue(d->handle); }
    SQLHDESC Ard() { return Handle(stmt->ard); }
    SQLHDESC Apd() { return Handle(stmt->apd); }
    SQLHDESC Ird() { return Handle(stmt->ird); }
    SQLHDESC Ipd() { return Handle(stmt->ipd); }
    SQLHDESC Alloc() {
        SQLHDESC d = SQL_NULL_HDESC;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, pair->dbc, &d));
        return d;
    }
    std::string DescState(SQLHDESC d) { return State(SQL_HANDLE_DESC, d); }
    SQLSMALLINT Short(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
        SQLSMALLINT v = -999;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, rec, field, &v, 0, nullptr)) << field;
        return v;
    }
    SQLINTEGER Int(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
        SQLINTEGER v = -999;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, rec, field, &v, 0, nullptr)) << field;
        return v;
    }
    SQLLEN Long(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
        SQLLEN v = kPoison;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, rec, field, &v, 0, nullptr)) << field;
        return v;
    }
    void* Ptr(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
        void* v = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, rec, field, &v, SQL_IS_POINTER, nullptr)) << field;
        return v;
    }
    SQLRETURN Set(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, intptr_t v, SQLINTEGER len = 0) {
        return SQLSetDescField(d, rec, field, reinterpret_cast<SQLPOINTER>(v), len);
    }
    SQLRETURN SetP(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, const void* p) {
        return SQLSetDescField(d, rec, field, const_cast<void*>(p), SQL_IS_POINTER);
    }
    // Executes a five-row result of (id integer, name varchar(20), note varchar(10)).
    void Execute() { ASSERT_EQ(SQL_SUCCESS, Run("SELECT id, name, note FROM t", Numbers(5))); }
};

// ---- records and defaults -----------------------------------------------------------------

TEST_F(DescTest, NewDescriptorsHaveTheirHeaderAndRecordZeroDefaults) {
    EXPECT_EQ(1, Long(Ard(), 0, SQL_DESC_ARRAY_SIZE));
    EXPECT_EQ(0, Short(Ard(), 0, SQL_DESC_COUNT));
    EXPECT_EQ(0, Int(Ard(), 0, SQL_DESC_BIND_TYPE));
    EXPECT_EQ(SQL_DESC_ALLOC_AUTO, Short(Ard(), 0, SQL_DESC_ALLOC_TYPE));
    EXPECT_EQ(SQL_C_DEFAULT, Short(Ard(), 0, SQL_DESC_TYPE));
    EXPECT_EQ(SQL_C_DEFAULT, Short(Ard(), 0, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(SQL_PARAM_INPUT, stmt->ipd->items[0].parameterType);
    SQLHDESC user = Alloc();
    EXPECT_EQ(SQL_DESC_ALLOC_USER, Short(user, 0, SQL_DESC_ALLOC_TYPE));
    EXPECT_EQ(0, Short(user, 0, SQL_DESC_CONCISE_TYPE));  // allocated records start all zero
    EXPECT_EQ(0, Short(user, 0, SQL_DESC_COUNT));
}

TEST_F(DescTest, GrowingAndTruncating) {
    ASSERT_EQ(SQL_SUCCESS, Set(Apd(), 0, SQL_DESC_COUNT, 3));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(SQL_C_DEFAULT, Short(Apd(), SQLSMALLINT(i), SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(nullptr, DescItemAt(stmt->apd, 4));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 0, SQL_DESC_COUNT, 2));
    EXPECT_EQ(SQL_PARAM_INPUT, Short(Ipd(), 2, SQL_DESC_PARAMETER_TYPE));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 2, SQL_DESC_NAME, intptr_t("p2"), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 0, SQL_DESC_COUNT, 1));
    EXPECT_EQ(1, Short(Ipd(), 0, SQL_DESC_COUNT));
    EXPECT_EQ(nullptr, stmt->ipd->items[2].name);  // freed with the record
    EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(Ipd(), 2, SQL_DESC_PARAMETER_TYPE, nullptr, 0, nullptr));
}

TEST_F(DescTest, CountZeroUnbindsEveryColumnAndANegativeCountIsRefused) {
    SQLINTEGER id = -1;
    char name[21] = "untouched";
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, nullptr));
    EXPECT_EQ(SQL_ERROR, Set(Ard(), 0, SQL_DESC_COUNT, -1));
    EXPECT_EQ("HY024", DescState(Ard()));
    EXPECT_EQ(2, Short(Ard(), 0, SQL_DESC_COUNT));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 0, SQL_DESC_COUNT, 0));
    EXPECT_EQ(0, Short(Ard(), 0, SQL_DESC_COUNT));
    EXPECT_EQ(nullptr, stmt->boundCols);
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(-1, id);
    EXPECT_STREQ("untouched", name);
}

TEST_F(DescTest, CountBelowTheBoundColumnsUnbindsThoseAbove) {
    SQLINTEGER id = -1;
    char name[21] = "untouched";
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 0, SQL_DESC_COUNT, 1));
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);
    EXPECT_STREQ("untouched", name);
}

// ---- writing record fields ------------------------------------------------------------------

TEST_F(DescTest, ConciseTypeSetsTypeIntervalCodeAndPrecision) {
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_TIMESTAMP));
    EXPECT_EQ(SQL_DATETIME, Short(Ard(), 1, SQL_DESC_TYPE));
    EXPECT_EQ(SQL_CODE_TIMESTAMP, Short(Ard(), 1, SQL_DESC_DATETIME_INTERVAL_CODE));
    EXPECT_EQ(6, Short(Ard(), 1, SQL_DESC_PRECISION));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 2, SQL_DESC_CONCISE_TYPE, SQL_C_INTERVAL_DAY_TO_SECOND));
    EXPECT_EQ(SQL_INTERVAL, Short(Ard(), 2, SQL_DESC_TYPE));
    EXPECT_EQ(SQL_CODE_DAY_TO_SECOND, Short(Ard(), 2, SQL_DESC_DATETIME_INTERVAL_CODE));
    EXPECT_EQ(2, Int(Ard(), 2, SQL_DESC_DATETIME_INTERVAL_PRECISION));
    EXPECT_EQ(SQL_ERROR, Set(Ard(), 2, SQL_DESC_CONCISE_TYPE, 777));
    EXPECT_EQ("HY092", DescState(Ard()));
}

TEST_F(DescTest, VerboseTypeWithIntervalCodeGivesConciseType) {
    SQLHDESC d = Alloc();
    ASSERT_EQ(SQL_SUCCESS, Set(d, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_TIME));
    ASSERT_EQ(SQL_SUCCESS, Set(d, 1, SQL_DESC_TYPE, SQL_DATETIME));
    EXPECT_EQ(SQL_TYPE_TIME, Short(d, 1, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(0, Short(d, 1, SQL_DESC_PRECISION));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(d, 2, SQL_DATETIME, SQL_CODE_TIME, 0, 0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(SQL_TYPE_TIME, Short(d, 2, SQL_DESC_CONCISE_TYPE));
}

TEST_F(DescTest, IpdConciseTypeResetsTheParameterType) {
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT));
    EXPECT_EQ(SQL_PARAM_OUTPUT, Short(Ipd(), 1, SQL_DESC_PARAMETER_TYPE));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 1, SQL_DESC_CONCISE_TYPE, SQL_TYPE_DATE));
    EXPECT_EQ(SQL_PARAM_INPUT, Short(Ipd(), 1, SQL_DESC_PARAMETER_TYPE));
    // Parameter type and name belong to implementation descriptors only.
    EXPECT_EQ(SQL_ERROR, Set(Apd(), 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT));
    EXPECT_EQ("HY091", DescState(Apd()));
    EXPECT_EQ(SQL_ERROR, Set(Ipd(), 1, SQL_DESC_UNNAMED, SQL_NAMED + 7));
}

TEST_F(DescTest, ScaleCanGoBackToZero) {
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_CONCISE_TYPE, SQL_C_NUMERIC));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_SCALE, 4));
    EXPECT_EQ(4, Short(Ard(), 1, SQL_DESC_SCALE));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_SCALE, 0));
    EXPECT_EQ(0, Short(Ard(), 1, SQL_DESC_SCALE));
    // Precision keeps the rule that 0 leaves it as it is.
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_PRECISION, 0));
    EXPECT_EQ(38, Short(Ard(), 1, SQL_DESC_PRECISION));
}

TEST_F(DescTest, LengthsAreWrittenAndReadWhole) {
    SQLHDESC d = Alloc();
    const SQLLEN big = SQLLEN(0x123456789LL);
    ASSERT_EQ(SQL_SUCCESS, Set(d, 1, SQL_DESC_LENGTH, big));
    ASSERT_EQ(SQL_SUCCESS, Set(d, 1, SQL_DESC_OCTET_LENGTH, big + 1));
    EXPECT_EQ(big, Long(d, 1, SQL_DESC_LENGTH));
    EXPECT_EQ(big + 1, Long(d, 1, SQL_DESC_OCTET_LENGTH));
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(d, 1, nullptr, 0, nullptr, nullptr, nullptr, &len, nullptr, nullptr, nullptr));
    EXPECT_EQ(big + 1, len);
}

TEST_F(DescTest, ReadOnlyUnknownAndIrdWritesAreRefused) {
    EXPECT_EQ(SQL_ERROR, Set(Ard(), 1, SQL_DESC_DISPLAY_SIZE, 5));
    EXPECT_EQ("HY091", DescState(Ard()));
    EXPECT_EQ(SQL_ERROR, Set(Ard(), 1, 4242, 5));
    EXPECT_EQ("IM001", DescState(Ard()));
    EXPECT_EQ(SQL_ERROR, Set(Ird(), 1, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR));
    EXPECT_EQ("HY016", DescState(Ird()));
    EXPECT_EQ(SQL_ERROR, Set(Ird(), 0, SQL_DESC_COUNT, 1));
    EXPECT_EQ("HY091", DescState(Ird()));
    EXPECT_EQ(SQL_ERROR, SQLSetDescRec(Ird(), 1, SQL_CHAR, 0, 1, 0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ("HY016", DescState(Ird()));
    EXPECT_EQ(SQL_ERROR, Set(Ard(), -1, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR));
    EXPECT_EQ("07009", DescState(Ard()));
    EXPECT_EQ(SQL_ERROR, Set(Apd(), 0, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR));
    EXPECT_EQ("07009", DescState(Apd()));
    EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ipd(), 0, SQL_DESC_NAME, nullptr, 0, nullptr));
    EXPECT_EQ("07009", DescState(Ipd()));
    EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ird(), 0, SQL_DESC_ARRAY_SIZE, nullptr, 0, nullptr));
    EXPECT_EQ("HY091", DescState(Ird()));
}

// ---- binding through the ARD ----------------------------------------------------------------

TEST_F(DescTest, DataPointerBindsAndOtherFieldsUnbindUntilItIsSetAgain) {
    SQLINTEGER id = -1;
    SQLLEN ind = kPoison;
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG));
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_INDICATOR_PTR, &ind));
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_DATA_PTR, &id));
    ASSERT_NE(nullptr, BoundColFind(1, stmt));
    EXPECT_EQ(&id, Ptr(Ard(), 1, SQL_DESC_DATA_PTR));
    EXPECT_EQ(&ind, Ptr(Ard(), 1, SQL_DESC_INDICATOR_PTR));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 1, SQL_DESC_PRECISION, 5));
    ASSERT_NE(nullptr, BoundColFind(1, stmt));  // still listed, without a target
    EXPECT_EQ(nullptr, Ptr(Ard(), 1, SQL_DESC_DATA_PTR));
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_DATA_PTR, &id));
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);
    EXPECT_EQ(0, ind);
}

TEST_F(DescTest, NullPointersClearAndUnbind) {
    SQLINTEGER id = -1;
    SQLLEN ind = kPoison, len = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_OCTET_LENGTH_PTR, &len));
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_INDICATOR_PTR, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_OCTET_LENGTH_PTR, nullptr));
    EXPECT_EQ(nullptr, Ptr(Ard(), 1, SQL_DESC_INDICATOR_PTR));
    EXPECT_EQ(nullptr, Ptr(Ard(), 1, SQL_DESC_OCTET_LENGTH_PTR));
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);
    EXPECT_EQ(kPoison, ind);  // the released indicator is never written
    EXPECT_EQ(kPoison, len);
    ASSERT_EQ(SQL_SUCCESS, SetP(Ard(), 1, SQL_DESC_DATA_PTR, nullptr));
    EXPECT_EQ(nullptr, BoundColFind(1, stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);  // unbound: row 2 went nowhere
}

TEST_F(DescTest, PointerFieldsTakeThePointerLengthsApplicationsPass) {
    SQLUSMALLINT statuses[4];
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ard(), 0, SQL_DESC_ARRAY_STATUS_PTR, statuses, SQL_IS_POINTER));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ard(), 0, SQL_DESC_BIND_OFFSET_PTR, nullptr, 0));
    void* p = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(Ard(), 0, SQL_DESC_ARRAY_STATUS_PTR, &p, SQL_IS_POINTER, nullptr));
    EXPECT_EQ(statuses, p);
    p = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(Ard(), 0, SQL_DESC_ARRAY_STATUS_PTR, &p, 0, nullptr));
    EXPECT_EQ(statuses, p);
    EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ard(), 0, SQL_DESC_ARRAY_STATUS_PTR, &p, 4, nullptr));
    EXPECT_EQ("HY009", DescState(Ard()));
}

TEST_F(DescTest, SetDescRecBindsTheColumnWithBothPointers) {
    char name[21] = {0};
    SQLLEN len = kPoison, ind = kPoison;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(Ard(), 2, SQL_C_CHAR, 0, sizeof name, 0, 0, name, &len, &ind));
    BoundCol* b = BoundColFind(2, stmt);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(name, b->b.target);
    EXPECT_EQ(&len, b->b.lengthPtr);
    EXPECT_EQ(&ind, b->b.indicatorPtr);
    EXPECT_EQ(name, Ptr(Ard(), 2, SQL_DESC_DATA_PTR));
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_STREQ("row1", name);
    EXPECT_EQ(4, len);
}

TEST_F(DescTest, ArraySizeOfTheArdIsTheRowsetSize) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
    EXPECT_EQ(3, Long(Ard(), 0, SQL_DESC_ARRAY_SIZE));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 0, SQL_DESC_ARRAY_SIZE, 7));
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr));
    EXPECT_EQ(7u, size);
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 0, SQL_DESC_ARRAY_SIZE, 0));  // 0 changes nothing
    EXPECT_EQ(7, Long(Ard(), 0, SQL_DESC_ARRAY_SIZE));
    ASSERT_EQ(SQL_SUCCESS, Set(Ard(), 0, SQL_DESC_BIND_TYPE, 48));
    EXPECT_EQ(48u, stmt->rowBindType);
}

// ---- implementation descriptors -------------------------------------------------------------

TEST_F(DescTest, IrdAnswersFromTheResultDescriptions) {
    EXPECT_EQ(SQL_ERROR, SQLGetDescField(Ird(), 0, SQL_DESC_COUNT, nullptr, 0, nullptr));
    EXPECT_EQ("HY010", DescState(Ird()));
    Execute();
    EXPECT_EQ(0, stmt->ird->count);
    EXPECT_EQ(3, Short(Ird(), 0, SQL_DESC_COUNT));
    EXPECT_EQ(SQL_INTEGER, Short(Ird(), 1, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(4, Long(Ird(), 1, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(10, Int(Ird(), 1, SQL_DESC_NUM_PREC_RADIX));
    EXPECT_EQ(SQL_VARCHAR, Short(Ird(), 2, SQL_DESC_TYPE));
    EXPECT_EQ(20, Long(Ird(), 2, SQL_DESC_LENGTH));
    EXPECT_EQ(SQL_NULLABLE, Short(Ird(), 2, SQL_DESC_NULLABLE));
    EXPECT_EQ(SQL_SEARCHABLE, Short(Ird(), 2, SQL_DESC_SEARCHABLE));
    EXPECT_EQ(1, Int(Ird(), 2, SQL_DESC_CASE_SENSITIVE));
    char name[16];
    SQLINTEGER len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(Ird(), 3, SQL_DESC_NAME, name, sizeof name, &len));
    EXPECT_STREQ("note", name);
    EXPECT_EQ(4, len);
    EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(Ird(), 4, SQL_DESC_NAME, name, sizeof name, &len));
    // Record 0, the bookmark record, has fixed answers.
    EXPECT_EQ(SQL_CHAR, Short(Ird(), 0, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(8, Long(Ird(), 0, SQL_DESC_DISPLAY_SIZE));
    EXPECT_EQ(8, Long(Ird(), 0, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(0, Short(Ird(), 0, SQL_DESC_NULLABLE));
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(Ird(), 0, SQL_DESC_LABEL, name, sizeof name, &len));
    EXPECT_STREQ("BOOKMARK", name);
}

TEST_F(DescTest, NamesAreCutWithTheirFullLength) {
    fake::Result r = Numbers(1);
    r.cols[0].name = "abcdefghij";
    ASSERT_EQ(SQL_SUCCESS, Run("SELECT 10", r));
    char name[11];
    SQLINTEGER len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDescField(Ird(), 1, SQL_DESC_NAME, name, 10, &len));
    EXPECT_STREQ("abcdefghi", name);
    EXPECT_EQ(10, len);
    EXPECT_EQ("01004", DescState(Ird()));
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(Ird(), 1, SQL_DESC_NAME, name, 11, &len));
    EXPECT_STREQ("abcdefghij", name);
    SQLWCHAR wide[6];
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDescFieldW(Ird(), 1, SQL_DESC_NAME, wide, sizeof wide, &len));
    EXPECT_EQ(20, len);
    EXPECT_EQ(SQLWCHAR('e'), wide[4]);
    EXPECT_EQ(0, wide[5]);
}

TEST_F(DescTest, GetDescRecOfAnIrdRecord) {
    Execute();
    SQLCHAR name[8];
    SQLSMALLINT nameLen = 0, type = 0, sub = -1, prec = -1, scale = -1, nullable = -1;
    SQLLEN length = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDescRec(Ird(), 2, name, sizeof name, &nameLen, &type, &sub, &length, &prec, &scale, &nullable));
    EXPECT_STREQ("name", (const char*)name);
    EXPECT_EQ(4, nameLen);
    EXPECT_EQ(SQL_VARCHAR, type);
    EXPECT_EQ(0, sub);
    EXPECT_EQ(20, length);
    EXPECT_EQ(0, prec);
    EXPECT_EQ(0, scale);
    EXPECT_EQ(SQL_NULLABLE, nullable);
    EXPECT_EQ(SQL_NO_DATA,
              SQLGetDescRec(Ird(), 9, name, sizeof name, &nameLen, &type, &sub, &length, &prec, &scale, &nullable));
    // An application descriptor never reads name or nullability.
    nullable = 77;
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetDescField(Ard(), 1, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_CHAR), 0));
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDescRec(Ard(), 1, name, sizeof name, &nameLen, &type, &sub, &length, &prec, &scale, &nullable));
    EXPECT_EQ(77, nullable);
    EXPECT_EQ(SQL_C_CHAR, type);
}

// ---- allocated descriptors and copying ------------------------------------------------------

TEST_F(DescTest, AllocatedDescriptorAsArdBindsAndNullRestoresTheImplicitOne) {
    SQLHDESC user = Alloc();
    SQLINTEGER id = -1;
    ASSERT_EQ(SQL_SUCCESS, Set(user, 1, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG));
    ASSERT_EQ(SQL_SUCCESS, SetP(user, 1, SQL_DESC_DATA_PTR, &id));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0));
    SQLHDESC got = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, &got, SQL_IS_POINTER, nullptr));
    EXPECT_EQ(user, got);
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, id);
    // Writes on the attached descriptor reach the statement.
    SQLINTEGER other = -1;
    ASSERT_EQ(SQL_SUCCESS, SetP(user, 1, SQL_DESC_DATA_PTR, &other));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(2, other);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0));
    EXPECT_EQ(stmt->implicitArd, stmt->ard);
    // The allocated descriptor's bindings went with it.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(2, other);
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, &got, SQL_IS_POINTER, nullptr));
    EXPECT_EQ(Handle(stmt->implicitArd), got);
}

TEST_F(DescTest, UnknownOrForeignDescriptorHandlesAreRefused) {
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, reinterpret_cast<SQLPOINTER>(0x4FFFF), 0));
    EXPECT_EQ("HY024", State());
    EXPECT_EQ(SQL_ERROR,
              SQLSetStmtAttr(hstmt, SQL_ATTR_APP_PARAM_DESC, reinterpret_cast<SQLPOINTER>(0xDEAD00000001ull), 0));
    EXPECT_EQ(stmt->implicitApd, stmt->apd);
    SQLHSTMT other = pair->stmt();
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, Handle(StmtOf(other)->ard), 0));
    EXPECT_EQ("HY017", State());
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, Ird(), 0));
    EXPECT_EQ(stmt->implicitArd, stmt->ard);
    SQLHDESC freed = Alloc();
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, freed));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, freed, 0));
    // A descriptor of another connection belongs to another connection's statements.
    ConnectedPair second;
    SQLHDESC foreign = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, second.dbc, &foreign));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, foreign, 0));
    EXPECT_EQ("HY024", State());
}

TEST_F(DescTest, FreeingAnAllocatedDescriptorRevertsEveryStatementAndRebinds) {
    SQLHDESC user = Alloc();
    SQLHSTMT h2 = pair->stmt();
    SQLINTEGER own = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_SLONG, &own, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h2, SQL_ATTR_APP_ROW_DESC, user, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, user));
    EXPECT_EQ(stmt->implicitArd, stmt->ard);
    EXPECT_EQ(StmtOf(h2)->implicitArd, StmtOf(h2)->ard);
    // The implicit ARD's binding is applied again.
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1, own);
}

TEST_F(DescTest, CopyDescCarriesABindingThatThenFetches) {
    SQLINTEGER id = -1;
    char name[21] = {0};
    SQLLEN nameLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_SLONG, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
    SQLHDESC user = Alloc();
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(Ard(), user));
    EXPECT_EQ(2, Short(user, 0, SQL_DESC_COUNT));
    EXPECT_EQ(name, Ptr(user, 2, SQL_DESC_DATA_PTR));
    EXPECT_EQ(21, Long(user, 2, SQL_DESC_OCTET_LENGTH));
    SQLHSTMT h2 = pair->stmt();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h2, SQL_ATTR_APP_ROW_DESC, user, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_UNBIND));
    fake::A().scripts["SELECT 2"] = Numbers(3);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h2, (SQLCHAR*)"SELECT 2", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(h2));
    EXPECT_EQ(1, id);
    EXPECT_STREQ("row1", name);
    EXPECT_EQ(4, nameLen);
}

TEST_F(DescTest, CopyDescFromAnIrdAndItsRefusals) {
    SQLHDESC user = Alloc();
    EXPECT_EQ(SQL_ERROR, SQLCopyDesc(Ird(), user));  // not prepared
    EXPECT_EQ("HY010", DescState(user));
    EXPECT_EQ("HY010", DescState(Ird())) << "the source, whose call failed, says why too";
    Execute();
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(Ird(), user));
    EXPECT_EQ(3, Short(user, 0, SQL_DESC_COUNT));
    EXPECT_EQ(SQL_INTEGER, Short(user, 1, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(20, Long(user, 2, SQL_DESC_LENGTH));
    EXPECT_EQ(SQL_ERROR, SQLCopyDesc(Ard(), Ird()));
    EXPECT_EQ("HY016", DescState(Ird()));
    EXPECT_EQ("HY016", DescState(Ard()));
    SQLHDESC freed = Alloc();
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, freed));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLCopyDesc(Ard(), freed));
    // A target of another connection is not this call's to write.
    ConnectedPair second;
    SQLHDESC foreign = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, second.dbc, &foreign));
    EXPECT_EQ(SQL_ERROR, SQLCopyDesc(Ard(), foreign));
    EXPECT_EQ("HY009", DescState(Ard()));
}

TEST_F(DescTest, FreeingTheStatementLeavesItsAllocatedArdValidWithItsRecords) {
    SQLHDESC user = Alloc();
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 2, SQL_C_LONG, 0, 4, 0, 0, &id, nullptr, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_ROW_DESC, user, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, hstmt));
    hstmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_DESC_ALLOC_USER, Short(user, 0, SQL_DESC_ALLOC_TYPE));
    EXPECT_EQ(2, Short(user, 0, SQL_DESC_COUNT));
    EXPECT_EQ(&id, Ptr(user, 2, SQL_DESC_DATA_PTR));
}

// ---- binding through the APD and IPD --------------------------------------------------------

TEST_F(DescTest, ApdDataPointerBindsTheParameterWithTheIpdsDescription) {
    SQLINTEGER value = 5;
    SQLLEN len = 4, ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(Ipd(), 1, SQL_DECIMAL, 0, 0, 12, 3, nullptr, nullptr, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 1, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_INPUT_OUTPUT));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(Apd(), 1, SQL_C_SLONG, 0, 4, 0, 0, &value, &len, &ind)) << DescState(Apd());
    ParamBinding* b = ParamBindingAt(1, stmt);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(&value, b->boundValue);
    EXPECT_EQ(SQL_C_SLONG, b->cType);
    EXPECT_EQ(SQL_DECIMAL, b->sqlType);
    EXPECT_EQ(12u, b->columnSize);
    EXPECT_EQ(3, b->decimalDigits);
    EXPECT_EQ(SQL_PARAM_INPUT_OUTPUT, b->direction);
    EXPECT_EQ(&len, b->octetLengthPtr);  // the record's two pointers stay two
    EXPECT_EQ(&ind, b->indicatorPtr);
    EXPECT_EQ(&ind, Ptr(Apd(), 1, SQL_DESC_INDICATOR_PTR));
    EXPECT_EQ(&value, Ptr(Apd(), 1, SQL_DESC_DATA_PTR));
    EXPECT_EQ(SQL_PARAM_INPUT_OUTPUT, Short(Ipd(), 1, SQL_DESC_PARAMETER_TYPE));
    // The attached IPD carries later changes into the binding and has it described again.
    stmt->flags |= kSfParamsSent;
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 1, SQL_DESC_SCALE, 0));
    EXPECT_EQ(0, ParamBindingAt(1, stmt)->decimalDigits);
    EXPECT_EQ(0, stmt->flags & kSfParamsSent);
    // Any other APD field leaves the parameter unbound until the data pointer is set again.
    ASSERT_EQ(SQL_SUCCESS, Set(Apd(), 1, SQL_DESC_PRECISION, 7));
    EXPECT_EQ(nullptr, Ptr(Apd(), 1, SQL_DESC_DATA_PTR));
    ASSERT_EQ(SQL_SUCCESS, SetP(Apd(), 1, SQL_DESC_DATA_PTR, &value));
    EXPECT_EQ(&value, Ptr(Apd(), 1, SQL_DESC_DATA_PTR));
    ASSERT_EQ(SQL_SUCCESS, SetP(Apd(), 1, SQL_DESC_DATA_PTR, nullptr));
    EXPECT_EQ(nullptr, ParamBindingAt(1, stmt)->boundValue);
    // A count of 0 unbinds every parameter.
    ASSERT_EQ(SQL_SUCCESS, SetP(Apd(), 1, SQL_DESC_DATA_PTR, &value));
    ASSERT_EQ(&value, ParamBindingAt(1, stmt)->boundValue);
    ASSERT_EQ(SQL_SUCCESS, Set(Apd(), 0, SQL_DESC_COUNT, 0));
    EXPECT_EQ(nullptr, ParamBindingAt(1, stmt)->boundValue);
}

TEST_F(DescTest, AllocatedApdBindsItsRecordsWhenApplied) {
    SQLHDESC user = Alloc();
    char text[8] = "abc";
    SQLLEN len = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(user, 2, SQL_C_CHAR, 0, sizeof text, 0, 0, text, &len, &len));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 2, SQL_DESC_CONCISE_TYPE, SQL_VARCHAR));
    ASSERT_EQ(SQL_SUCCESS, Set(Ipd(), 2, SQL_DESC_LENGTH, 30));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_APP_PARAM_DESC, user, 0)) << State();
    ParamBinding* b = ParamBindingAt(2, stmt);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(text, b->boundValue);
    EXPECT_EQ(SQL_VARCHAR, b->sqlType);
    EXPECT_EQ(30u, b->columnSize);
    EXPECT_EQ(2, Short(user, 0, SQL_DESC_COUNT));
    // Its writes reach the statement while it is attached.
    char other[8] = "xyz";
    ASSERT_EQ(SQL_SUCCESS, SetP(user, 2, SQL_DESC_DATA_PTR, other));
    EXPECT_EQ(other, ParamBindingAt(2, stmt)->boundValue);
}

TEST(DescTraceName, ByKind) {
    DescRecord d;
    d.allocKind = SQL_DESC_ALLOC_USER;
    EXPECT_STREQ("USER", DescTraceName(&d));
    d.allocKind = SQL_DESC_ALLOC_AUTO;
    d.descType = 4;
    EXPECT_STREQ("APD", DescTraceName(&d));
    d.descType = 9;
    EXPECT_STREQ("UNKNOWN_DESC", DescTraceName(&d));
}

}  // namespace
