// Statement attributes and options: negotiation with the agent (01S02 and read-back), the
// attributes kept in descriptors, whole 64-bit values, pointer attributes that null clears, and
// SQLColAttribute/SQLColAttributes over the result descriptions.
#include <cstring>
#include <map>

#include "odbc/stmtattr.h"
#include "util/attr.h"
#include "util/hash.h"
#include "stmt_fixture.h"

namespace {

// The scripted agent with a negotiating option slot: ids in `subst` are answered 01S02 and read
// back as the value given there; `refuse` ids fail with the code given.
struct Negotiator {
    std::map<uint32_t, uint32_t> subst;
    std::map<uint32_t, uint32_t> refuse;
};
Negotiator& N() {
    static Negotiator n;
    return n;
}

ErrCode NegGetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    if (auto it = N().subst.find(id); it != N().subst.end()) {
        std::memcpy(buf, &it->second, 4);
        if (outLen) *outLen = 4;
        return kErrNone;
    }
    return fake::GetInfo(h, id, buf, len, outLen);
}
ErrCode NegSetOption(uint32_t h, uint32_t id, void* value) {
    if (auto it = N().refuse.find(id); it != N().refuse.end()) return ErrCode(it->second);
    fake::SetOption(h, id, value);
    return ErrCode(N().subst.count(id) ? 75 : 0);
}

AgentFuncTable* NegTable() {
    static AgentFuncTable t;
    t = *fake::Table();
    t.DRV_GetInfo = NegGetInfo;
    t.DRV_SetOption = NegSetOption;
    return &t;
}

class AttrTest : public StmtTest {
protected:
    void SetUp() override {
        StmtTest::SetUp();
        N() = Negotiator{};
        conn->link.table = NegTable();
        EnvOf(pair->env)->odbcVersion = 3;
    }
    SQLRETURN SetAttr(SQLINTEGER attr, uint64_t v) {
        return SQLSetStmtAttr(hstmt, attr, reinterpret_cast<SQLPOINTER>(uintptr_t(v)), 0);
    }
    SQLULEN GetAttr(SQLINTEGER attr) {
        SQLULEN v = SQLULEN(kPoison);
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, attr, &v, 0, nullptr)) << attr;
        return v;
    }
    // The options the statement asked of the agent, newest last.
    uint32_t LastAsked(uint32_t id) {
        uint32_t v = 0xFFFFFFFF;
        for (auto& o : fake::A().options)
            if (o.first == id) v = o.second;
        return v;
    }
};

TEST_F(AttrTest, ImplicitDescriptorHandlesAsUnixOdbcReadsThem) {
    const SQLINTEGER attrs[] = {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                                SQL_ATTR_IMP_PARAM_DESC};
    DescRecord* want[] = {stmt->ard, stmt->apd, stmt->ird, stmt->ipd};
    for (int i = 0; i < 4; ++i) {
        SQLHDESC h = reinterpret_cast<SQLHDESC>(kPoison);
        SQLINTEGER len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, attrs[i], &h, SQL_IS_POINTER, &len));
        EXPECT_EQ(HandleValue(want[i]->handle), h);
        EXPECT_EQ(SQL_IS_POINTER, len);
    }
}

TEST_F(AttrTest, SqlulenAttributesAreWrittenAndReadWhole) {
    const uint64_t big = 0x100000005ull;
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_MAX_ROWS, big));
    EXPECT_EQ(big, GetAttr(SQL_ATTR_MAX_ROWS));
    EXPECT_EQ(0xFFFFFFFFu, LastAsked(0x32030001u));  // the agent's word is capped, not cut
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 4));
    EXPECT_EQ(4u, GetAttr(SQL_ATTR_ROW_ARRAY_SIZE));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_QUERY_TIMEOUT, big + 1));
    EXPECT_EQ(big + 1, GetAttr(SQL_ATTR_QUERY_TIMEOUT));
    EXPECT_EQ(0xFFFFFFFFu, LastAsked(0x32030000u));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROW_BIND_TYPE, 24));
    EXPECT_EQ(24u, GetAttr(SQL_ATTR_ROW_BIND_TYPE));
    SQLULEN viaOption = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(hstmt, SQL_BIND_TYPE, &viaOption));
    EXPECT_EQ(24u, viaOption);
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_KEYSET_SIZE, 9));
    EXPECT_EQ(9u, GetAttr(SQL_ATTR_KEYSET_SIZE));
    EXPECT_EQ(SQL_UB_OFF, GetAttr(SQL_ATTR_USE_BOOKMARKS));
    EXPECT_EQ(SQL_RD_ON, GetAttr(SQL_ATTR_RETRIEVE_DATA));
}

TEST_F(AttrTest, RowsetSizeZeroIsOneAndAChangeIsFlaggedForTheFetch) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(hstmt, SQL_ROWSET_SIZE, 0));
    EXPECT_EQ(1u, stmt->cursor.rowsetSize);
    stmt->cursor.flags &= ~uint32_t(kScsRowsetSizeSet);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(hstmt, SQL_ROWSET_SIZE, 5));
    EXPECT_EQ(5u, stmt->cursor.rowsetSize);
    EXPECT_EQ(1u, stmt->cursor.window.prevRowsetSize());
    EXPECT_NE(0u, stmt->cursor.flags & kScsRowsetSizeSet);
}

TEST_F(AttrTest, NegotiatedCursorTypeIsReadBackWith01S02) {
    N().subst[0x32030006u] = SQL_CURSOR_KEYSET_DRIVEN;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtOption(hstmt, SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC));
    EXPECT_EQ("01S02", State());
    SQLULEN type = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(hstmt, SQL_CURSOR_TYPE, &type));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), type);
    // A refused option keeps its value.
    N().refuse[0x32030007u] = 43;
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK));
    EXPECT_EQ("HY092", State());
    EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), GetAttr(SQL_ATTR_CONCURRENCY));
}

TEST_F(AttrTest, MaxLengthFollowsTheAgentsCapability) {
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SetAttr(SQL_ATTR_MAX_LENGTH, 100));  // no capability
    EXPECT_EQ(0u, GetAttr(SQL_ATTR_MAX_LENGTH));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_MAX_LENGTH, 0));
    conn->capMaxLength = 1;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SetAttr(SQL_ATTR_MAX_LENGTH, 100));
    EXPECT_EQ("01S02", State());
    EXPECT_EQ(8192u, LastAsked(0x32030003u));
    EXPECT_EQ(8192u, GetAttr(SQL_ATTR_MAX_LENGTH));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_MAX_LENGTH, 20000));
    EXPECT_EQ(20000u, GetAttr(SQL_ATTR_MAX_LENGTH));
    ASSERT_EQ(SQL_SUCCESS, Run("SELECT 1", Numbers(2)));
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_MAX_LENGTH, 9000));
    EXPECT_EQ("HY011", State());
    EXPECT_EQ(20000u, GetAttr(SQL_ATTR_MAX_LENGTH));
}

TEST_F(AttrTest, QueryTimeoutNegativeIsZeroAndARefusalResetsIt) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(hstmt, SQL_QUERY_TIMEOUT, SQLULEN(-5)));
    EXPECT_EQ(0u, GetAttr(SQL_ATTR_QUERY_TIMEOUT));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_QUERY_TIMEOUT, 12));
    N().refuse[0x32030000u] = 43;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SetAttr(SQL_ATTR_QUERY_TIMEOUT, 20));
    EXPECT_EQ(0u, GetAttr(SQL_ATTR_QUERY_TIMEOUT));
}

TEST_F(AttrTest, CursorSensitivityAndScrollability) {
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, SQL_INSENSITIVE));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), GetAttr(SQL_ATTR_CURSOR_TYPE));
    EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), GetAttr(SQL_ATTR_CONCURRENCY));
    EXPECT_EQ(SQLULEN(SQL_SCROLLABLE), GetAttr(SQL_ATTR_CURSOR_SCROLLABLE));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, SQL_SCROLLABLE));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), GetAttr(SQL_ATTR_CURSOR_TYPE));  // stays static
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, 5));
    EXPECT_EQ("HY024", State());
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_CURSOR_SCROLLABLE, SQL_NONSCROLLABLE));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_FORWARD_ONLY), GetAttr(SQL_ATTR_CURSOR_TYPE));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_CURSOR_SENSITIVITY, SQL_SENSITIVE));
    EXPECT_EQ(SQLULEN(SQL_CONCUR_VALUES), GetAttr(SQL_ATTR_CONCURRENCY));
    EXPECT_EQ(SQLULEN(SQL_SENSITIVE), GetAttr(SQL_ATTR_CURSOR_SENSITIVITY));
}

TEST_F(AttrTest, AutoIpdBookmarksRowNumberAndUnknownAttributes) {
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SetAttr(SQL_ATTR_ENABLE_AUTO_IPD, 1));
    EXPECT_EQ("01S02", State());
    // An SQLULEN attribute: all 64 bits are written.
    SQLULEN autoIpd = ~SQLULEN(0);
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_ENABLE_AUTO_IPD, &autoIpd, 0, nullptr));
    EXPECT_EQ(SQLULEN(SQL_FALSE), autoIpd);
    SQLUINTEGER bm = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(hstmt, SQL_GET_BOOKMARK, &bm));
    EXPECT_EQ("24000", State());          // the same in ODBC 3: only describing maps it
    N().refuse[0x32030000u + 1225] = 43;  // as the Ingres agent answers
    EXPECT_EQ(SQL_ERROR, SetAttr(1225, 1));
    EXPECT_EQ("HY092", State());
    EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(hstmt, 1225, 1));
    EXPECT_EQ("HY092", State());
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_METADATA_ID, 1));
    EXPECT_EQ("HYC00", State());
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_METADATA_ID, 0));
    SQLULEN metadataId = ~SQLULEN(0);
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_METADATA_ID, &metadataId, 0, nullptr));
    EXPECT_EQ(SQLULEN(SQL_FALSE), metadataId);
    EXPECT_EQ(SQL_ERROR, SetAttr(4000, 1));
    EXPECT_EQ("HY092", State());
    ASSERT_EQ(SQL_SUCCESS, Run("SELECT 1", Numbers(9)));
    EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(hstmt, SQL_GET_BOOKMARK, &bm));
    EXPECT_EQ("HY011", State());
    for (int i = 0; i < 7; ++i) ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(7u, GetAttr(SQL_ATTR_ROW_NUMBER));
}

TEST_F(AttrTest, PointerAttributesAreClearedByNull) {
    SQLULEN fetched = 99, stale = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &stale, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0));
    SQLULEN* p = &fetched;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &p, 0, nullptr));
    EXPECT_EQ(nullptr, p);
    SQLUSMALLINT st[2];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_STATUS_PTR, st, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0));
    EXPECT_EQ(nullptr, stmt->ipd->arrayStatusPtr);
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    EXPECT_EQ(&processed, stmt->paramsProcessedPtr);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0));
    EXPECT_EQ(nullptr, stmt->paramsProcessedPtr);
    EXPECT_EQ(nullptr, stmt->ipd->rowsProcessedPtr);
    ASSERT_EQ(SQL_SUCCESS, Run("SELECT 1", Numbers(3)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(99u, stale);  // the released counter is never written
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ(1u, fetched);
    SQLULEN* viaIrd = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(HandleValue(stmt->ird->handle), 0, SQL_DESC_ROWS_PROCESSED_PTR, &viaIrd,
                                           SQL_IS_POINTER, nullptr));
    EXPECT_EQ(&fetched, viaIrd);
}

TEST_F(AttrTest, DescriptorBackedAttributesReadBackThroughBothPaths) {
    SQLLEN offset = 0;
    SQLUSMALLINT ops[3];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAM_BIND_TYPE, 32));
    EXPECT_EQ(&offset, stmt->ard->bindOffsetPtr);
    EXPECT_EQ(ops, stmt->apd->arrayStatusPtr);
    EXPECT_EQ(32u, GetAttr(SQL_ATTR_PARAM_BIND_TYPE));
    void* p = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(hstmt, SQL_ATTR_ROW_BIND_OFFSET_PTR, &p, 0, nullptr));
    EXPECT_EQ(&offset, p);
    // Without parameter arrays on the connection only a set size of 1 is taken.
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAMSET_SIZE, 1));
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_PARAMSET_SIZE, 3));
    EXPECT_EQ(1u, GetAttr(SQL_ATTR_PARAMSET_SIZE));
    conn->hasParamOp = 1;
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAMSET_SIZE, 3));
    EXPECT_EQ(3u, GetAttr(SQL_ATTR_PARAMSET_SIZE));
}

// ---- column attributes ----------------------------------------------------------------------

class ColAttrTest : public AttrTest {
protected:
    void Execute() {
        fake::Result r = Numbers(2);
        r.cols.push_back({"amount", SQL_DECIMAL, DS_CHAR_NTS, 10});
        r.cols.push_back({"memo", SQL_LONGVARCHAR, DS_CHAR_NTS, 100});
        for (auto& row : r.rows) {
            row.push_back(std::string("1.5"));
            row.push_back(std::string("m"));
        }
        ASSERT_EQ(SQL_SUCCESS, Run("SELECT *", r));
    }
    SQLLEN Num(SQLUSMALLINT col, SQLUSMALLINT field) {
        SQLLEN v = kPoison;
        EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, col, field, nullptr, 0, nullptr, &v)) << field;
        return v;
    }
};

TEST_F(ColAttrTest, NumericAnswersByType) {
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, 1, SQL_DESC_TYPE, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ("HY010", State());
    Execute();
    EXPECT_EQ(5, Num(0, SQL_DESC_COUNT));
    EXPECT_EQ(4, Num(1, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(SQL_INTEGER, Num(1, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(0, Num(1, SQL_DESC_UNSIGNED));
    EXPECT_EQ(12, Num(4, SQL_COLUMN_LENGTH));
    EXPECT_EQ(10, Num(4, SQL_DESC_PRECISION));
    EXPECT_EQ(10, Num(4, SQL_DESC_NUM_PREC_RADIX));
    EXPECT_EQ(SQL_PRED_CHAR, Num(5, SQL_DESC_SEARCHABLE));
    EXPECT_EQ(SQL_SEARCHABLE, Num(2, SQL_DESC_SEARCHABLE));
    EXPECT_EQ(SQL_NULLABLE, Num(2, SQL_DESC_NULLABLE));
    EXPECT_EQ(20, Num(2, SQL_DESC_LENGTH));
    EXPECT_EQ(SQL_ATTR_READWRITE_UNKNOWN, Num(2, SQL_DESC_UPDATABLE));
    // A numeric field without a destination succeeds and writes nothing.
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 1, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, nullptr));
    SQLLEN v = 0;
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, 9, SQL_DESC_TYPE, nullptr, 0, nullptr, &v));
    EXPECT_EQ("07009", State());
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, 0, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v));
    EXPECT_EQ("07009", State());
}

TEST_F(ColAttrTest, TextAnswersNarrowAndWide) {
    Execute();
    char name[8];
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 2, SQL_DESC_NAME, name, sizeof name, &len, nullptr));
    EXPECT_STREQ("name", name);
    EXPECT_EQ(4, len);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLColAttribute(hstmt, 4, SQL_DESC_LABEL, name, 4, &len, nullptr));
    EXPECT_STREQ("amo", name);
    EXPECT_EQ(6, len);
    EXPECT_EQ("01004", State());
    SQLWCHAR wide[8];
    ASSERT_EQ(SQL_SUCCESS, SQLColAttributeW(hstmt, 2, SQL_DESC_BASE_COLUMN_NAME, wide, sizeof wide, &len, nullptr));
    EXPECT_EQ(8, len);  // bytes
    EXPECT_EQ(SQLWCHAR('n'), wide[0]);
    EXPECT_EQ(0, wide[4]);
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 2, SQL_DESC_TABLE_NAME, name, sizeof name, &len, nullptr));
    EXPECT_EQ(0, len);
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, 2, SQL_DESC_NAME, name, -1, &len, nullptr));
    EXPECT_EQ("HY090", State());
}

TEST_F(ColAttrTest, UnknownFieldIsRefusedOnlyByTheOdbc3Form) {
    Execute();
    SQLLEN v = kPoison;
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, 1, 19, nullptr, 0, nullptr, &v));
    EXPECT_EQ("HY091", State());
    EXPECT_EQ(SQL_SUCCESS, SQLColAttributes(hstmt, 1, 19, nullptr, 0, nullptr, &v));
    EXPECT_EQ(0, v);
}

TEST_F(ColAttrTest, AttributeRowsOfTheAgentAnswerFirst) {
    Execute();
    stmt->keyInfo = HashCreate(16, 4);
    ASSERT_NE(nullptr, stmt->keyInfo);
    auto put = [&](int16_t attribute, uint16_t column, uint32_t number, const char* text) {
        auto* e = static_cast<AttrEntry*>(calloc(1, sizeof(AttrEntry)));
        e->attribute = attribute;
        e->column = column;
        e->kind = text ? ATTR_KIND_TEXT : ATTR_KIND_INT;
        if (text)
            e->value.ptr = strdup(text);
        else
            e->value.u32 = number;
        ASSERT_EQ(1, AttrTablePut(stmt->keyInfo, e));
    };
    put(SQL_DESC_SEARCHABLE, 2, SQL_PRED_NONE, nullptr);
    put(SQL_DESC_UPDATABLE, 0, SQL_ATTR_WRITE, nullptr);  // every column
    put(SQL_DESC_CASE_SENSITIVE, 1, 1, nullptr);
    put(SQL_DESC_TYPE_NAME, 1, 0, "INT4");
    put(1055, 3, 1, nullptr);
    // Only a connection that describes results with attribute rows consults them.
    EXPECT_EQ(SQL_SEARCHABLE, Num(2, SQL_DESC_SEARCHABLE));
    conn->capDescribeWithAttrs = 1;
    EXPECT_EQ(SQL_PRED_NONE, Num(2, SQL_DESC_SEARCHABLE));
    EXPECT_EQ(SQL_ATTR_WRITE, Num(1, SQL_DESC_UPDATABLE));
    EXPECT_EQ(SQL_ATTR_WRITE, Num(4, SQL_DESC_UPDATABLE));
    EXPECT_EQ(1, Num(1, SQL_DESC_CASE_SENSITIVE));
    EXPECT_EQ(0, Num(2, SQL_DESC_CASE_SENSITIVE));
    char text[16];
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 1, SQL_DESC_TYPE_NAME, text, sizeof text, &len, nullptr));
    EXPECT_STREQ("INT4", text);
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 3, SQL_DESC_BASE_COLUMN_NAME, text, sizeof text, &len, nullptr));
    EXPECT_STREQ("", text);
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 2, SQL_DESC_BASE_COLUMN_NAME, text, sizeof text, &len, nullptr));
    EXPECT_STREQ("name", text);
    SQLSMALLINT searchable = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDescField(HandleValue(stmt->ird->handle), 2, SQL_DESC_SEARCHABLE, &searchable, 0, nullptr));
    EXPECT_EQ(SQL_PRED_NONE, searchable);
}

TEST_F(ColAttrTest, BookmarkColumn) {
    fake::A().bookmarks = 1;
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE));
    Execute();
    EXPECT_EQ(1, Num(0, SQL_DESC_TYPE));
    EXPECT_EQ(8, Num(0, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(0, Num(0, SQL_DESC_COUNT));
    char name[8] = "x";
    SQLSMALLINT len = 9;
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 0, SQL_DESC_NAME, name, sizeof name, &len, nullptr));
    EXPECT_STREQ("", name);
    EXPECT_EQ(0, len);
}

}  // namespace

namespace {

TEST_F(AttrTest, NewStatementsTakeTheConnectionsOptionDefaults) {
    conn->defQueryTimeout = 15;
    conn->defMaxRows = 40;
    conn->defBindType = 16;
    SQLHSTMT h = pair->stmt();
    SQLULEN v = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr));
    EXPECT_EQ(15u, v);
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_MAX_ROWS, &v, 0, nullptr));
    EXPECT_EQ(40u, v);
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, &v, 0, nullptr));
    EXPECT_EQ(16u, v);
}

}  // namespace
