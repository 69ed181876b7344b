// Every Ingres type into its Dataset kind and back as a parameter, against the embedded engine.
#include "tests/support/agent_stmt_fixture.h"

#include <memory>

using namespace stmttest;

namespace {

class TypesTest : public AgentSession {
protected:
    // Creates a one-column table, inserts the parameter rows and reads them back in order.
    void RoundTrip(const std::string& type, ParamSet& p, int32_t sqlType, Block& out, uint16_t columnSize = 0,
                   uint16_t digits = 0) {
        const std::string table = "rt" + std::to_string(++tables);
        Exec(("CREATE TABLE " + table + " (k INTEGER, v " + type + ")").c_str());
        const uint32_t rows = p.ds->rows_used;
        // Key column first, the value second.
        Dataset* ds = p.Give();
        DatasetInsertColumn(ds, 0, DS_INTEGER, 4);
        for (uint32_t r = 0; r < rows; ++r) {
            int32_t k = int32_t(r);
            std::memcpy(DatasetCell(&ds->cols[0], r), &k, 4);
            ds->cols[0].indicators[r] = DS_IND_VALUE;
        }
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, ("INSERT INTO " + table + " VALUES (?, ?)").c_str()), 0u)
            << Errors(s);
        ParamDescEntry d[2] = {{4, 4, 10, 0, 1}, {sqlType, 1, columnSize, digits, 1}};
        ASSERT_EQ(AgentCall<DRV_SetParamDescs>(&link, s, uint16_t(2), d), 0u);
        ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, ds), 0u);
        ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << type << "\n" << Errors(s);
        uint32_t sel = Stmt();
        ASSERT_EQ(Run(sel, ("SELECT v FROM " + table + " ORDER BY k").c_str()), 0u) << Errors(sel);
        // Long columns come one row per call: gather the rows into one Dataset.
        Dataset* all = nullptr;
        for (;;) {
            Block b;
            ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, sel, uint16_t(rows + 1), &b.ds), 0u) << Errors(sel);
            if (b.ds.rows_used == 0) break;
            if (all == nullptr) {
                ASSERT_EQ(DatasetClone(&all, &b.ds), 0);
            } else {
                ASSERT_EQ(DatasetAppendRows(all, &b.ds), 0);
            }
        }
        ASSERT_NE(all, nullptr);
        out.ds = *all;
        std::free(all);
        ASSERT_EQ(out.ds.rows_used, rows) << type;
    }
    int tables = 0;
};

TEST_F(TypesTest, SmallIntegersArriveInTheirOwnWidths) {
    struct Case {
        const char* type;
        uint32_t kind;
        int32_t value;
    } cases[] = {
        {"INTEGER1", DS_TINYINT, -100}, {"INTEGER2", DS_SMALLINT, -30000}, {"INTEGER4", DS_INTEGER, 2000000000}};
    for (const Case& c : cases) {
        ParamSet p({{DS_INTEGER, 4}}, 2);
        p.Put<int32_t>(0, 0, c.value);
        p.Null(0, 1);
        Block b;
        RoundTrip(c.type, p, 4, b);
        ASSERT_EQ(b.ds.cols[0].kind, c.kind) << c.type;
        int32_t got = c.kind == DS_TINYINT    ? b.Get<int8_t>(0, 0)
                      : c.kind == DS_SMALLINT ? b.Get<int16_t>(0, 0)
                                              : b.Get<int32_t>(0, 0);
        EXPECT_EQ(got, c.value) << c.type;
        EXPECT_TRUE(b.IsNull(0, 1)) << c.type;
    }
}

TEST_F(TypesTest, BigintTextBeyond32BitsIsSentWhole) {
    ParamSet p({{DS_CHAR_NTS, 25}}, 3);
    p.Text(0, 0, "3000000000");
    p.Text(0, 1, "-9000000000000000000");
    p.Null(0, 2);
    Block b;
    RoundTrip("BIGINT", p, -5, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_CHAR_LEN2);
    EXPECT_EQ(b.Text(0, 0), "3000000000");
    EXPECT_EQ(b.Text(0, 1), "-9000000000000000000");
    EXPECT_TRUE(b.IsNull(0, 2));
}

TEST_F(TypesTest, DecimalTextKeepsEveryDigit) {
    ParamSet p({{DS_CHAR_NTS, 40}}, 3);
    p.Text(0, 0, "123456789012345678901.0123456789");
    p.Text(0, 1, "-0.0000000001");
    p.Null(0, 2);
    Block b;
    RoundTrip("DECIMAL(31,10)", p, 3, b, 31, 10);
    ASSERT_EQ(b.ds.cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(b.Text(0, 0), "123456789012345678901.0123456789");
    EXPECT_EQ(b.Text(0, 1), "-0.0000000001");
    EXPECT_TRUE(b.IsNull(0, 2));
}

TEST_F(TypesTest, FloatsAndMoney) {
    {
        ParamSet p({{DS_DOUBLE, 8}}, 1);
        p.Put<double>(0, 0, 1.0 / 3.0);
        Block b;
        RoundTrip("FLOAT8", p, 8, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_DOUBLE);
        EXPECT_EQ(b.Get<double>(0, 0), 1.0 / 3.0);
    }
    {
        ParamSet p({{DS_REAL, 4}}, 1);
        p.Put<float>(0, 0, 2.5f);
        Block b;
        RoundTrip("FLOAT4", p, 7, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_REAL);
        EXPECT_EQ(b.Get<float>(0, 0), 2.5f);
    }
    {
        ParamSet p({{DS_DOUBLE, 8}}, 1);
        p.Put<double>(0, 0, 1234.5);
        Block b;
        RoundTrip("MONEY", p, 3, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_DOUBLE);
        EXPECT_DOUBLE_EQ(b.Get<double>(0, 0), 1234.5);
    }
}

TEST_F(TypesTest, TimestampKeepsNanoseconds) {
    ParamSet p({{DS_TIMESTAMP, 0}}, 3);
    p.Put<DsTimestamp>(0, 0, DsTimestamp{2024, 2, 29, 13, 45, 10, 123456789});
    p.Put<DsTimestamp>(0, 1, DsTimestamp{1999, 12, 31, 0, 0, 0, 0});
    p.Null(0, 2);
    Block b;
    RoundTrip("TIMESTAMP(9)", p, 93, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_TIMESTAMP);
    DsTimestamp t = b.Get<DsTimestamp>(0, 0);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 45);
    EXPECT_EQ(t.second, 10);
    EXPECT_EQ(t.fraction, 123456789u);
    DsTimestamp u = b.Get<DsTimestamp>(0, 1);
    EXPECT_EQ(u.year, 1999);
    EXPECT_EQ(u.fraction, 0u);
    EXPECT_TRUE(b.IsNull(0, 2));
}

TEST_F(TypesTest, DatesAndTimes) {
    {
        ParamSet p({{DS_DATE, 0}}, 1);
        p.Put<DsDate>(0, 0, DsDate{2024, 2, 29});
        Block b;
        RoundTrip("ANSIDATE", p, 91, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_DATE);
        DsDate d = b.Get<DsDate>(0, 0);
        EXPECT_EQ(d.year, 2024);
        EXPECT_EQ(d.month, 2);
        EXPECT_EQ(d.day, 29);
    }
    {
        ParamSet p({{DS_TIME, 0}}, 1);
        p.Put<DsTime>(0, 0, DsTime{23, 59, 58});
        Block b;
        RoundTrip("TIME", p, 92, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_TIME);
        DsTime t = b.Get<DsTime>(0, 0);
        EXPECT_EQ(t.hour, 23);
        EXPECT_EQ(t.minute, 59);
        EXPECT_EQ(t.second, 58);
    }
    {
        // An Ingres date without a time part reads as midnight.
        ParamSet p({{DS_DATE, 0}}, 1);
        p.Put<DsDate>(0, 0, DsDate{2031, 7, 4});
        Block b;
        RoundTrip("DATE", p, 91, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_TIMESTAMP);
        DsTimestamp t = b.Get<DsTimestamp>(0, 0);
        EXPECT_EQ(t.year, 2031);
        EXPECT_EQ(t.month, 7);
        EXPECT_EQ(t.day, 4);
        EXPECT_EQ(t.hour, 0);
        EXPECT_EQ(t.fraction, 0u);
    }
}

TEST_F(TypesTest, TextTypesKeepEmptyStringsApartFromNull) {
    ParamSet p({{DS_CHAR_NTS, 20}}, 3);
    p.Text(0, 0, "hello");
    p.Text(0, 1, "");
    p.Null(0, 2);
    Block b;
    RoundTrip("VARCHAR(20)", p, 12, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(b.Text(0, 0), "hello");
    EXPECT_FALSE(b.IsNull(0, 1));
    EXPECT_EQ(b.Text(0, 1), "");
    EXPECT_TRUE(b.IsNull(0, 2));

    ParamSet c({{DS_CHAR_NTS, 20}}, 1);
    c.Text(0, 0, "ab");
    Block cb;
    RoundTrip("CHAR(5)", c, 1, cb);
    EXPECT_EQ(cb.Text(0, 0), "ab   ");
}

TEST_F(TypesTest, LongVarcharOf100000BytesTravelsInSegments) {
    std::string big(100000, 'x');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 26);
    ParamSet p({{DS_CHAR_REF, 0}}, 3);
    p.Ref(0, 0, big.data(), uint32_t(big.size()));
    p.Ref(0, 1, "", 0);
    p.Null(0, 2);
    Block b;
    RoundTrip("LONG VARCHAR", p, -1, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_CHAR_REF);
    EXPECT_EQ(DatasetRefGet(DatasetCell(&b.ds.cols[0], 0)).length, 100000u);
    EXPECT_TRUE(b.Text(0, 0) == big) << "length " << b.Text(0, 0).size();
    EXPECT_FALSE(b.IsNull(0, 1));
    EXPECT_EQ(b.Text(0, 1), "");
    EXPECT_TRUE(b.IsNull(0, 2));
}

TEST_F(TypesTest, BinaryTypes) {
    std::string bin("\x00\x01\xFE\xFF", 4);
    {
        ParamSet p({{DS_BINARY_REF, 0}}, 2);
        p.Ref(0, 0, bin.data(), 4);
        p.Null(0, 1);
        Block b;
        RoundTrip("VARBYTE(10)", p, -3, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_BINARY_LEN4);
        EXPECT_EQ(b.Text(0, 0), bin);
        EXPECT_TRUE(b.IsNull(0, 1));
    }
    {
        ParamSet p({{DS_BINARY_LEN4, 4}}, 1);
        uint32_t n = 4;
        std::memcpy(p.Cell(0, 0), &n, 4);
        std::memcpy(p.Cell(0, 0) + 4, bin.data(), 4);
        Block b;
        RoundTrip("BYTE(4)", p, -2, b);
        EXPECT_EQ(b.Text(0, 0), bin);
    }
    {
        std::string big(100000, '\0');
        for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
        ParamSet p({{DS_BINARY_REF, 0}}, 1);
        p.Ref(0, 0, big.data(), uint32_t(big.size()));
        Block b;
        RoundTrip("LONG BYTE", p, -4, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_BINARY_REF);
        EXPECT_TRUE(b.Text(0, 0) == big) << "length " << b.Text(0, 0).size();
    }
}

TEST_F(TypesTest, BooleanAsUnsignedByte) {
    ParamSet p({{DS_BIT, 1}}, 2);
    p.Put<uint8_t>(0, 0, 1);
    p.Put<uint8_t>(0, 1, 0);
    Block b;
    RoundTrip("BOOLEAN", p, -7, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_BIT);
    EXPECT_EQ(b.Get<uint8_t>(0, 0), 1);
    EXPECT_EQ(b.Get<uint8_t>(0, 1), 0);
}

class UnicodeTypesTest : public TypesTest {
protected:
    void SetUp() override { Open(true); }
};

std::u16string NonBmp() { return u"a\U0001F600b\u00e9"; }

TEST_F(UnicodeTypesTest, NationalTypesKeepNonBmpText) {
    const std::u16string text = NonBmp();
    {
        ParamSet p({{DS_WCHAR_NTS, 20}}, 2);
        std::memcpy(p.Cell(0, 0), text.c_str(), (text.size() + 1) * 2);
        p.Null(0, 1);
        Block b;
        RoundTrip("NVARCHAR(20)", p, -9, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_WCHAR_NTS);
        std::u16string got(reinterpret_cast<const char16_t*>(DatasetCell(&b.ds.cols[0], 0)));
        EXPECT_EQ(got, text);
        EXPECT_TRUE(b.IsNull(0, 1));
    }
    {
        std::u16string big;
        while (big.size() < 100000) big += text;
        ParamSet p({{DS_WCHAR_REF, 0}}, 1);
        p.Ref(0, 0, big.data(), uint32_t(big.size()));
        Block b;
        RoundTrip("LONG NVARCHAR", p, -10, b);
        ASSERT_EQ(b.ds.cols[0].kind, DS_WCHAR_REF);
        DsRef r = DatasetRefGet(DatasetCell(&b.ds.cols[0], 0));
        ASSERT_EQ(r.length, big.size());
        EXPECT_TRUE(std::u16string(static_cast<const char16_t*>(r.ptr), r.length) == big);
    }
}

}  // namespace

namespace {
TEST_F(TypesTest, NationalTextOnANarrowConnectionKeepsEveryCharacter) {
    const std::u16string text = u"\u00e9\u00e8\u4e2d\u6587xyz";
    ParamSet p({{DS_WCHAR_NTS, 10}}, 1);
    std::memcpy(p.Cell(0, 0), text.c_str(), (text.size() + 1) * 2);
    Block b;
    RoundTrip("NVARCHAR(7)", p, -9, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(b.Text(0, 0), "\xC3\xA9\xC3\xA8\xE4\xB8\xAD\xE6\x96\x87xyz");
}
}  // namespace

#include "drv_ingii/i-value.h"

namespace {
TEST_F(UnicodeTypesTest, QueryTextsBeyond16BitCountsAreConvertedWhole) {
    // More than 65535 characters, non-BMP characters at the seams of the pieces.
    std::string text;
    while (text.size() < 200000) text += "abc\xF0\x9F\x98\x80\xC3\xA9xyz";
    char* out = IngQueryToClientCharset(text.c_str());
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(text == out) << std::strlen(out);
    std::free(out);

    Exec("CREATE TABLE lq (a INTEGER, b NVARCHAR(10))");
    Exec("INSERT INTO lq VALUES (1, '\xC3\xA9')");
    std::string q = "SELECT a FROM lq WHERE a IN (";
    while (q.size() < 70000) q += "1,";
    q += "1) AND b = '\xC3\xA9'";
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, q.c_str()), 0u) << Errors(s);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 5, &b.ds), 0u);
    ASSERT_EQ(b.ds.rows_used, 1u);
    EXPECT_EQ(b.Get<int32_t>(0, 0), 1);
}
}  // namespace

namespace {
TEST_F(TypesTest, NationalConversionHelpers) {
    const std::u16string w = u"h\u00e9!";
    std::string nvch(2 + w.size() * 2, '\0');
    uint16_t count = uint16_t(w.size());
    std::memcpy(nvch.data(), &count, 2);
    std::memcpy(nvch.data() + 2, w.data(), w.size() * 2);
    char vch[32] = {};
    ASSERT_EQ(IngNvarcharToVarchar(uint32_t(nvch.size()), nvch.data(), sizeof vch, vch), 0u);
    uint16_t n;
    std::memcpy(&n, vch, 2);
    EXPECT_EQ(std::string(vch + 2, n), "h\xC3\xA9!");
    char ch[8] = {};
    ASSERT_EQ(IngNcharToChar(uint32_t(w.size() * 2), w.data(), 6, ch), 0u);
    EXPECT_EQ(std::string(ch, 4), "h\xC3\xA9!");
    EXPECT_EQ(IngNcharToChar(70000, w.data(), 6, ch), 15u);

    IIAPI_DESCRIPTOR d{};
    d.ds_dataType = IIAPI_VCH_TYPE;
    d.ds_length = 12;
    char v[] = "\x04\x00t\xC3\xA9x";
    IIAPI_DATAVALUE dv{0, 6, v};
    uint16_t wide[3] = {9, 9, 9};
    ASSERT_EQ(IngValueToWide(d, dv, wide, 3), 0u);
    EXPECT_EQ(wide[0], u't');
    EXPECT_EQ(wide[1], 0xE9);
    EXPECT_EQ(wide[2], 0);  // cut to fit, terminated
}
}  // namespace

namespace {
struct TextTypeCase {
    const char* type;
    const char* sent;
    uint32_t kind;
    const char* read;  // as text; for the date kinds "y-m-d h:m:s.f"
};

std::string CellAsText(const Block& b) {
    char t[80];
    switch (b.ds.cols[0].kind) {
        case DS_TIMESTAMP: {
            DsTimestamp x = b.Get<DsTimestamp>(0, 0);
            std::snprintf(t, sizeof t, "%d-%u-%u %u:%u:%u.%u", x.year, x.month, x.day, x.hour, x.minute, x.second,
                          x.fraction);
            return t;
        }
        case DS_TIME: {
            DsTime x = b.Get<DsTime>(0, 0);
            std::snprintf(t, sizeof t, "%u:%u:%u", x.hour, x.minute, x.second);
            return t;
        }
        case DS_WCHAR_NTS: {
            std::u16string w(reinterpret_cast<const char16_t*>(DatasetCell(&b.ds.cols[0], 0)));
            std::string n;
            for (char16_t c : w) n += char(c);
            return n;
        }
        default:
            return b.Text(0, 0);
    }
}

TEST_F(TypesTest, TheOtherTypesFromText) {
    const TextTypeCase cases[] = {
        {"NCHAR(5)", "ab", DS_CHAR_NTS, "ab   "},
        {"C(5)", "xy", DS_CHAR_NTS, "xy   "},
        {"TEXT(10)", "some", DS_CHAR_NTS, "some"},
        {"TIME WITH TIME ZONE", "10:11:12", DS_CHAR_LEN2, "10:11:12"},
        {"TIME WITH LOCAL TIME ZONE", "10:11:12", DS_TIME, "10:11:12"},
        {"TIMESTAMP WITH TIME ZONE", "2024-02-29 13:45:10", DS_CHAR_LEN2, "2024-02-29 13:45:10.000000"},
        {"TIMESTAMP WITH LOCAL TIME ZONE", "2024-02-29 13:45:10.25", DS_TIMESTAMP, "2024-2-29 13:45:10.250000000"},
        {"INTERVAL YEAR TO MONTH", "1-06", DS_CHAR_LEN2, "1-06"},
        {"INTERVAL DAY TO SECOND", "3 04:05:06", DS_CHAR_LEN2, "3 04:05:06"},
    };
    for (const TextTypeCase& c : cases) {
        SCOPED_TRACE(c.type);
        ParamSet p({{DS_CHAR_NTS, 40}}, 2);
        p.Text(0, 0, c.sent);
        p.Null(0, 1);
        Block b;
        RoundTrip(c.type, p, 12, b);
        if (HasFatalFailure()) return;
        EXPECT_EQ(b.ds.cols[0].kind, c.kind);
        EXPECT_EQ(CellAsText(b), c.read);
        EXPECT_TRUE(b.IsNull(0, 1));
    }
}

TEST_F(UnicodeTypesTest, NcharOnAUnicodeConnection) {
    const std::u16string text = u"\U0001F600z";
    ParamSet p({{DS_WCHAR_NTS, 10}}, 1);
    std::memcpy(p.Cell(0, 0), text.c_str(), (text.size() + 1) * 2);
    Block b;
    RoundTrip("NCHAR(4)", p, -8, b);
    ASSERT_EQ(b.ds.cols[0].kind, DS_WCHAR_NTS);
    std::u16string got(reinterpret_cast<const char16_t*>(DatasetCell(&b.ds.cols[0], 0)));
    EXPECT_EQ(got, text + u" ");
}
}  // namespace
