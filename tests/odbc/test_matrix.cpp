// Every source value kind into every C type through GetColumn: which conversions exist, which
// are refused (07006), which the driver cannot do (S1C00), and that fixed-size results report
// their size.
#include "tests/odbc/datapath_fixture.h"

#include <map>
#include <set>

namespace {

const int kAllCTypes[] = {SQL_C_CHAR,     SQL_C_WCHAR,     SQL_C_BINARY,    SQL_C_BIT,       SQL_C_TINYINT,
                          SQL_C_STINYINT, SQL_C_UTINYINT,  SQL_C_SHORT,     SQL_C_SSHORT,    SQL_C_USHORT,
                          SQL_C_LONG,     SQL_C_SLONG,     SQL_C_ULONG,     SQL_C_SBIGINT,   SQL_C_UBIGINT,
                          SQL_C_FLOAT,    SQL_C_DOUBLE,    SQL_C_NUMERIC,   SQL_C_GUID,      SQL_C_DATE,
                          SQL_C_TIME,     SQL_C_TIMESTAMP, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP};

const std::set<int> kDateTimeTypes = {SQL_C_DATE,      SQL_C_TIME,      SQL_C_TIMESTAMP,
                                      SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP};

enum class Src { Integer, Floating, Date, Time, Timestamp, Binary, Text, Wide };

struct KindCase {
    uint32_t kind;
    Src src;
};

const KindCase kKinds[] = {
    {DS_CHAR, Src::Text},           {DS_BIT, Src::Integer},        {DS_TINYINT, Src::Integer},
    {DS_SMALLINT, Src::Integer},    {DS_INTEGER, Src::Integer},    {DS_UTINYINT, Src::Integer},
    {DS_USMALLINT, Src::Integer},   {DS_UINTEGER, Src::Integer},   {DS_REAL, Src::Floating},
    {DS_DOUBLE, Src::Floating},     {DS_DATE, Src::Date},          {DS_TIME, Src::Time},
    {DS_TIMESTAMP, Src::Timestamp}, {DS_BINARY, Src::Binary},      {DS_CHAR_REF, Src::Text},
    {DS_BINARY_REF, Src::Binary},   {DS_CHAR_NTS, Src::Text},      {DS_CHAR_LEN1, Src::Text},
    {DS_CHAR_LEN2, Src::Text},      {DS_CHAR_LEN4, Src::Text},     {DS_BINARY_LEN1, Src::Binary},
    {DS_BINARY_LEN2, Src::Binary},  {DS_BINARY_LEN4, Src::Binary}, {DS_WCHAR, Src::Wide},
    {DS_WCHAR_NTS, Src::Wide},      {DS_WCHAR_REF, Src::Wide},     {DS_WCHAR_LEN4, Src::Wide},
};

// Fills the single cell with a value every accepting C type can take: 1, "1", a date...
void FillOne(OneColumn& c, const KindCase& k) {
    switch (k.src) {
        case Src::Integer: {
            const uint32_t one = 1;
            c.set(&one, c.ds.cols[0].width);
            break;
        }
        case Src::Floating:
            if (k.kind == DS_REAL)
                c.setValue(1.0f);
            else
                c.setValue(1.0);
            break;
        case Src::Date:
            c.setValue(SQL_DATE_STRUCT{2024, 2, 29});
            break;
        case Src::Time:
            c.setValue(SQL_TIME_STRUCT{13, 45, 10});
            break;
        case Src::Timestamp:
            c.setValue(SQL_TIMESTAMP_STRUCT{2024, 2, 29, 13, 45, 10, 0});
            break;
        case Src::Binary:
            c.setText("\x01");
            break;
        // Fixed-length text is blank-padded, as the agent stores CHAR values.
        case Src::Text:
            c.setText(k.kind == DS_CHAR ? "1   " : "1");
            break;
        case Src::Wide:
            c.setWide(k.kind == DS_WCHAR ? u"1   " : u"1");
            break;
    }
}

uint32_t ExpectedError(Src src, int cType) {
    const bool dt = kDateTimeTypes.count(cType) != 0;
    const bool textual = cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
    switch (src) {
        case Src::Integer:
        case Src::Floating:
            return (dt || cType == SQL_C_GUID) ? kErrRestrictedType : kErrNone;
        case Src::Date:
            return textual || cType == SQL_C_DATE || cType == SQL_C_TYPE_DATE || cType == SQL_C_TIMESTAMP ||
                           cType == SQL_C_TYPE_TIMESTAMP
                       ? kErrNone
                       : kErrRestrictedType;
        case Src::Time:
            return textual || cType == SQL_C_TIME || cType == SQL_C_TYPE_TIME || cType == SQL_C_TIMESTAMP ||
                           cType == SQL_C_TYPE_TIMESTAMP
                       ? kErrNone
                       : kErrRestrictedType;
        case Src::Timestamp:
            return textual || dt ? kErrNone : kErrRestrictedType;
        case Src::Binary:
            return textual ? kErrNone : kErrRestrictedType;
        case Src::Text:
            if (dt) return kErrNotCapable;
            if (cType == SQL_C_GUID) return kErrLengthMismatch;  // "1" is not 36 characters
            return 0;
        case Src::Wide:
            if (dt) return kErrNotCapable;
            if (cType == SQL_C_GUID) return kErrRestrictedType;
            return 0;
    }
    return 0;
}

TEST(ConversionMatrix, EveryKindIntoEveryCType) {
    int checked = 0;
    for (const KindCase& k : kKinds) {
        for (int cType : kAllCTypes) {
            OneColumn c(k.kind, 4);
            FillOne(c, k);
            FakeStmt st;
            alignas(8) unsigned char buf[64];
            std::memset(buf, 0xEE, sizeof buf);
            SQLLEN len = -99;
            ColumnBinding b = Bind(1, static_cast<int16_t>(cType), buf, sizeof buf, &len);
            const int rc = GetColumn(st.ctx, 0, b, c.ds);
            const uint32_t want = ExpectedError(k.src, cType);
            SCOPED_TRACE(testing::Message() << "kind " << k.kind << " to " << CTypeName(cType));
            if (want != 0) {
                EXPECT_EQ(rc, -1);
                EXPECT_EQ(st.lastError, want);
                continue;
            }
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(st.lastError, 0u);
            const int fixed = CTypeOctetSize(cType);
            if (fixed > 0) {
                EXPECT_EQ(len, fixed);
            }
            if (cType == SQL_C_LONG &&
                (k.src == Src::Integer || k.src == Src::Floating || k.src == Src::Text || k.src == Src::Wide)) {
                int32_t v;
                std::memcpy(&v, buf, 4);
                EXPECT_EQ(v, 1);
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 380);  // 675 pairs less the refused ones
}

TEST(ConversionMatrix, NullOfEveryKindIntoEveryCType) {
    for (const KindCase& k : kKinds) {
        for (int cType : kAllCTypes) {
            OneColumn c(k.kind, 4);  // every cell starts NULL
            FakeStmt st;
            unsigned char buf[32];
            std::memset(buf, 0xEE, sizeof buf);
            SQLLEN ind = 0;
            ColumnBinding b = Bind(1, static_cast<int16_t>(cType), buf, 24, &ind);
            SCOPED_TRACE(testing::Message() << "kind " << k.kind << " to " << CTypeName(cType));
            EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
            EXPECT_EQ(ind, SQL_NULL_DATA);
            const int size = CTypeOctetSize(cType);
            const int cleared = size > 0 && cType != SQL_C_GUID ? size : 24;
            for (int i = 0; i < cleared; ++i) ASSERT_EQ(buf[i], 0) << i;
            for (int i = cleared; i < 32; ++i) ASSERT_EQ(buf[i], 0xEE) << i;
            ColumnBinding noInd = Bind(1, static_cast<int16_t>(cType), buf, 24, nullptr, nullptr);
            st.fetched();
            EXPECT_EQ(GetColumn(st.ctx, 0, noInd, c.ds), -1);
            EXPECT_EQ(st.lastError, kErrIndicatorRequired);
        }
    }
}

TEST(ConversionMatrix, CTypeNames) {
    std::set<std::string> names;
    for (int cType : kAllCTypes) names.insert(CTypeName(cType));
    EXPECT_EQ(names.size(), 25u);
    EXPECT_EQ(names.count("(unknown type)"), 0u);
    EXPECT_STREQ(CTypeName(SQL_C_TYPE_TIMESTAMP), "SQL_C_TYPE_TIMESTAMP");
    EXPECT_STREQ(CTypeName(12345), "(unknown type)");
}

}  // namespace
