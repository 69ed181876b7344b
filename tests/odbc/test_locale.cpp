// An application that runs under a comma-decimal locale still gets and gives "1.5".
#include "tests/odbc/datapath_fixture.h"

#include <clocale>
#include <string>

namespace {

class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved_ = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8", "es_ES.UTF-8",
                                 "ru_RU.UTF-8", "de_DE", "fr_FR"}) {
            if (std::setlocale(LC_ALL, name) && std::string(std::localeconv()->decimal_point) == ",") return;
        }
        std::setlocale(LC_ALL, saved_.c_str());
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
    std::string saved_;
};

TEST_F(CommaLocale, NumbersToTextUseAPoint) {
    // The locale really is in force: the C library itself now prints a comma.
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5");

    char buf[40];
    SQLLEN len;
    uint32_t err;
    EXPECT_EQ(ConvertDOUBLE(1.5, SQL_C_CHAR, buf, sizeof buf, &len, &err, 0, 0), 0);
    EXPECT_STREQ(buf, "1.5");
    EXPECT_EQ(ConvertFLOAT(-0.25f, SQL_C_CHAR, buf, sizeof buf, &len, &err, 0, 0), 0);
    EXPECT_STREQ(buf, "-0.25");
    SQLWCHAR w[8];
    EXPECT_EQ(ConvertDOUBLE(2.5, SQL_C_WCHAR, w, sizeof w, &len, &err, 0, 0), 0);
    EXPECT_EQ(WideAt(w, 4), U16(u"2.5") + u'\0');
    const SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, 250000000};
    EXPECT_EQ(ConvertTIMESTAMP(ts, SQL_C_CHAR, buf, sizeof buf, &len, 2, &err), 0);
    EXPECT_STREQ(buf, "2024-02-29 13:45:10.25");
    EXPECT_EQ(ConvertLONG(1234567, true, SQL_C_CHAR, buf, sizeof buf, &len, &err, 0, 0), 0);
    EXPECT_STREQ(buf, "1234567");
}

TEST_F(CommaLocale, TextToNumbersReadsAPoint) {
    double d = 0;
    uint32_t err;
    EXPECT_EQ(CharToDecimal("1.5", 3, &d, &err), 0);
    EXPECT_EQ(d, 1.5);
    // A comma stays a thousands separator, whatever the locale says.
    EXPECT_EQ(CharToDecimal("1,500.25", 8, &d, &err), 0);
    EXPECT_EQ(d, 1500.25);
    SQL_NUMERIC_STRUCT n;
    EXPECT_EQ(CharToNumeric("12.34", 5, &n, 2, 4, &err), 0);
    EXPECT_EQ(n.val[0] | (n.val[1] << 8), 1234);
    NumericToDouble(&d, n, 8);
    EXPECT_DOUBLE_EQ(d, 12.34);
}

TEST_F(CommaLocale, GetColumnOfADoubleColumn) {
    OneColumn c(DS_DOUBLE, 8);
    c.setValue(1.5);
    FakeStmt st;
    char buf[16];
    SQLLEN len;
    ColumnBinding b = Bind(1, SQL_C_CHAR, buf, sizeof buf, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, b, c.ds), 0);
    EXPECT_STREQ(buf, "1.5");
    EXPECT_EQ(len, 3);
    OneColumn t(DS_CHAR_NTS, 8);
    t.setText("1.5");
    st.fetched();
    double d = 0;
    ColumnBinding bd = Bind(1, SQL_C_DOUBLE, &d, 8, &len);
    EXPECT_EQ(GetColumn(st.ctx, 0, bd, t.ds), 0);
    EXPECT_EQ(d, 1.5);
}

}  // namespace
