// IIapi_convertData: the conversions clients use to read and send values.
#include "tests/iiapi/api_fixture.h"
#include "iiapi/internal.h"

using namespace apitest;

namespace {

struct Conv {
    IIAPI_STATUS status;
    std::string bytes;
    uint16_t length;
};

Conv convert(const IIAPI_DESCRIPTOR& sd, const std::string& src, int16_t dstType, uint16_t dstLen,
             int16_t precision = 0, int16_t scale = 0) {
    environment();
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc = sd;
    cv.cv_srcValue.dv_length = uint16_t(src.size());
    cv.cv_srcValue.dv_value = const_cast<char*>(src.data());
    cv.cv_dstDesc.ds_dataType = dstType;
    cv.cv_dstDesc.ds_length = dstLen;
    cv.cv_dstDesc.ds_precision = precision;
    cv.cv_dstDesc.ds_scale = scale;
    std::string buf(dstLen, '\x7f');
    cv.cv_dstValue.dv_value = buf.data();
    IIapi_convertData(&cv);
    return {cv.cv_status, buf.substr(0, cv.cv_dstValue.dv_length), cv.cv_dstValue.dv_length};
}

IIAPI_DESCRIPTOR desc(int16_t type, uint16_t len, int16_t prec = 0, int16_t scale = 0) {
    IIAPI_DESCRIPTOR d{};
    d.ds_dataType = type;
    d.ds_length = len;
    d.ds_precision = prec;
    d.ds_scale = scale;
    return d;
}

std::string rawInt(long long v, int len) {
    std::string s(size_t(len), '\0');
    if (len == 1) {
        int8_t x = int8_t(v);
        std::memcpy(s.data(), &x, 1);
    }
    if (len == 2) {
        int16_t x = int16_t(v);
        std::memcpy(s.data(), &x, 2);
    }
    if (len == 4) {
        int32_t x = int32_t(v);
        std::memcpy(s.data(), &x, 4);
    }
    if (len == 8) {
        int64_t x = v;
        std::memcpy(s.data(), &x, 8);
    }
    return s;
}

std::string rawDouble(double v) { return std::string(reinterpret_cast<const char*>(&v), 8); }

std::string charText(const Conv& c) { return c.bytes; }

TEST(Convert, NumbersToText) {
    struct Case {
        IIAPI_DESCRIPTOR d;
        std::string src;
        const char* text;
    } cases[] = {
        {desc(IIAPI_INT_TYPE, 1), rawInt(-7, 1), "-7"},
        {desc(IIAPI_INT_TYPE, 2), rawInt(-32768, 2), "-32768"},
        {desc(IIAPI_INT_TYPE, 4), rawInt(2147483647, 4), "2147483647"},
        {desc(IIAPI_INT_TYPE, 8), rawInt(-9000000000000000000LL, 8), "-9000000000000000000"},
        {desc(IIAPI_MNY_TYPE, 8), rawDouble(1234.5), "$1234.50"},
        {desc(IIAPI_MNY_TYPE, 8), rawDouble(-0.25), "-$0.25"},
        {desc(IIAPI_FLT_TYPE, 8), rawDouble(0.1), "0.1"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.text);
        Conv r = convert(c.d, c.src, IIAPI_CHA_TYPE, 64);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(r.length, 64);
        std::string t = charText(r);
        EXPECT_EQ(t.substr(0, t.find_last_not_of(' ') + 1), c.text);
    }
}

TEST(Convert, DecimalToTextAndBack) {
    Param p = pDecimal("-98765432109876543210.123", 25, 3);
    ASSERT_EQ(p.bytes.size(), 13u);
    Conv r = convert(p.d, p.bytes, IIAPI_VCH_TYPE, 66);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(r.bytes.substr(2), "-98765432109876543210.123");
    // Rounding to a smaller scale, and overflow of the precision.
    IIAPI_DESCRIPTOR text = desc(IIAPI_CHA_TYPE, 6);
    Conv rounded = convert(text, "1.2351", IIAPI_DEC_TYPE, 3, 5, 3);
    ASSERT_EQ(rounded.status, IIAPI_ST_SUCCESS);
    Conv back = convert(desc(IIAPI_DEC_TYPE, 3, 5, 3), rounded.bytes, IIAPI_VCH_TYPE, 20);
    EXPECT_EQ(back.bytes.substr(2), "1.235");
    Conv over = convert(desc(IIAPI_CHA_TYPE, 7), "1000.00", IIAPI_DEC_TYPE, 3, 5, 3);
    EXPECT_NE(over.status, IIAPI_ST_SUCCESS);
    Conv junk = convert(desc(IIAPI_CHA_TYPE, 3), "abc", IIAPI_DEC_TYPE, 3, 5, 3);
    EXPECT_NE(junk.status, IIAPI_ST_SUCCESS);
}

TEST(Convert, DatesAndTimesToText) {
    struct Case {
        int16_t type;
        const char* in;
        const char* out;
    } cases[] = {
        {IIAPI_DATE_TYPE, "2024-02-29 13:45:10", "2024-02-29 13:45:10"},
        {IIAPI_DATE_TYPE, "2024_02_29", "2024-02-29"},
        {IIAPI_DATE_TYPE, "25-dec-1999", "1999-12-25"},
        {IIAPI_DATE_TYPE, "12/25/1999 10:00", "1999-12-25 10:00:00"},
        {IIAPI_DATE_TYPE, "", ""},
        {IIAPI_ADATE_TYPE, "2000-01-01", "2000-01-01"},
        {IIAPI_TMWO_TYPE, "23:59:58", "23:59:58"},
        {IIAPI_TSWO_TYPE, "2024-02-29 13:45:10.5", "2024-02-29 13:45:10.500000"},
        {IIAPI_INTYM_TYPE, "2 years 3 months", "2-03"},
        {IIAPI_INTYM_TYPE, "1-06", "1-06"},
        {IIAPI_INTYM_TYPE, "-1-06", "-1-06"},
        {IIAPI_INTDS_TYPE, "-2 days", "-2 00:00:00"},
        {IIAPI_INTDS_TYPE, "1 day -1 hours", "0 23:00:00"},
        {IIAPI_DATE_TYPE, "3 days 4 hours", "3 days 4 hrs"},
        {IIAPI_INTDS_TYPE, "1 day 02:03:04", "1 02:03:04"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.in);
        std::string in = c.in;
        Conv d = convert(desc(IIAPI_CHA_TYPE, uint16_t(in.size())), in, c.type, 12);
        ASSERT_EQ(d.status, IIAPI_ST_SUCCESS);
        Conv t = convert(desc(c.type, 12), d.bytes, IIAPI_CHA_TYPE, 64);
        ASSERT_EQ(t.status, IIAPI_ST_SUCCESS);
        std::string s = t.bytes;
        size_t e = s.find_last_not_of(' ');
        EXPECT_EQ(e == std::string::npos ? std::string() : s.substr(0, e + 1), c.out);
    }
    for (const char* bad : {"2023-02-29", "13:99:00", "2024-13-01", "tomorrowish"}) {
        std::string in = bad;
        EXPECT_NE(convert(desc(IIAPI_CHA_TYPE, uint16_t(in.size())), in, IIAPI_DATE_TYPE, 12).status, IIAPI_ST_SUCCESS)
            << bad;
    }
}

// The engine stores every date and time in one form and reads it back by position; that reading
// and the general one (every other spelling) give the same value, to the nanosecond.
TEST(Convert, StoredAndOtherSpellingsOfDatesReadToTheSameValue) {
    struct Case {
        const char* in;
        int kind;  // IIAPI_DTK_*, or -1: refused
        int y, mo, d, h, mi, s;
        unsigned ns;
    } cases[] = {
        {"2024-02-29", IIAPI_DTK_DATE, 2024, 2, 29, 0, 0, 0, 0},
        {"2024-02-29 13:45:10", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 0},
        {"2024-02-29 13:45:10.5", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 500000000},
        {"2024-02-29 13:45:10.123456", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 123456000},
        {"2024-02-29 13:45:10.123456789", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 123456789},
        {"2024-02-29 13:45:10.1234567891", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 123456789},
        {"2024-02-29 13:45:10.", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 0},
        {"0001-01-01 00:00:00", IIAPI_DTK_DATETIME, 1, 1, 1, 0, 0, 0, 0},
        {"9999-12-31 23:59:59.999999999", IIAPI_DTK_DATETIME, 9999, 12, 31, 23, 59, 59, 999999999},
        {"23:59:58", IIAPI_DTK_TIME, 0, 0, 0, 23, 59, 58, 0},
        {"23:59:58.25", IIAPI_DTK_TIME, 0, 0, 0, 23, 59, 58, 250000000},
        {"1999-12-31 00:00:00.000001", IIAPI_DTK_DATETIME, 1999, 12, 31, 0, 0, 0, 1000},
        {"2000-02-29 09:08:07.908070", IIAPI_DTK_DATETIME, 2000, 2, 29, 9, 8, 7, 908070000},
        {"2024-02-29 13:45:10.12345", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 123450000},
        {"2024-02-29 13:45:10.1234567", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 123456700},
        // Other spellings: the general reading.
        {" 2024-02-29 13:45:10 ", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 0},
        {"2024-2-9 3:04:05", IIAPI_DTK_DATETIME, 2024, 2, 9, 3, 4, 5, 0},
        {"2024-02-29T13:45:10Z", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 0},
        {"2024-02-29 13:45", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 0, 0},
        {"2024_02_29 13:45:10.000000007", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 7},
        {"2024-02-29 13:45:10.5 +00:00", IIAPI_DTK_DATETIME, 2024, 2, 29, 13, 45, 10, 500000000},
        // Refused in either reading.
        {"2023-02-29", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-02-30 00:00:00", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-02-29 24:00:00", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-02-29 23:60:00", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-02-29 23:59:60", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-02-29 23:59:59.12x", -1, 0, 0, 0, 0, 0, 0, 0},
        {"0000-01-01", -1, 0, 0, 0, 0, 0, 0, 0},
        {"24:00:00", -1, 0, 0, 0, 0, 0, 0, 0},
        {"1900-02-29 00:00:00.000000", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-00-01 00:00:00", -1, 0, 0, 0, 0, 0, 0, 0},
        {"2024-01-00 00:00:00.000000", -1, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        const std::string in = c.in;
        Conv v = convert(desc(IIAPI_CHA_TYPE, uint16_t(in.size())), in, IIAPI_DATE_TYPE, 12);
        if (c.kind < 0) {
            EXPECT_NE(v.status, IIAPI_ST_SUCCESS);
            continue;
        }
        ASSERT_EQ(v.status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(v.bytes.size(), sizeof(IIAPI_DATETIME));
        IIAPI_DATETIME dt;
        std::memcpy(&dt, v.bytes.data(), sizeof dt);
        EXPECT_EQ(int(dt.dt_kind), c.kind);
        EXPECT_EQ(int(dt.dt_year), c.y);
        EXPECT_EQ(int(dt.dt_month), c.mo);
        EXPECT_EQ(int(dt.dt_day), c.d);
        EXPECT_EQ(int(dt.dt_hour), c.h);
        EXPECT_EQ(int(dt.dt_minute), c.mi);
        EXPECT_EQ(int(dt.dt_second), c.s);
        EXPECT_EQ(dt.dt_nanosecond, c.ns);
    }
}

// Every character of a stored timestamp, with and without its fraction, replaced by characters
// beside the digits' range and the separators: refused, or read by the general reading.
TEST(Convert, StoredTimestampWithAForeignCharacterIsNeverReadAsStored) {
    const std::string stored[] = {"2024-02-29 13:45:10", "2024-02-29 13:45:10.123456"};
    const char foreign[] = {'/', ':', '-', ' ', '.', 'a', '\x80', '\xff', '\0', '+'};
    // The stored value's reading itself: a conversion from text trims the text first.
    auto read = [](const std::string& in, IIAPI_DATETIME& dt) { return iiapi::parseDateText(in, dt); };
    for (const std::string& base : stored) {
        IIAPI_DATETIME want;
        ASSERT_TRUE(read(base, want));
        for (size_t at = 0; at < base.size(); ++at) {
            for (char c : foreign) {
                if (c == base[at]) continue;
                std::string in = base;
                in[at] = c;
                SCOPED_TRACE(testing::Message() << "position " << at << " char " << int(uint8_t(c)));
                IIAPI_DATETIME dt;
                if (!read(in, dt)) continue;
                // The general reading may take it for an interval, or end a field early at a blank,
                // a point or the end of the text; never a date and time with the foreign byte read
                // as a digit or a separator.
                if (dt.dt_kind != IIAPI_DTK_DATETIME) continue;
                EXPECT_TRUE(c == ' ' || c == '.' || c == '\0');
                const bool sameFields = dt.dt_year == want.dt_year && dt.dt_month == want.dt_month &&
                                        dt.dt_day == want.dt_day && dt.dt_hour == want.dt_hour &&
                                        dt.dt_minute == want.dt_minute && dt.dt_second == want.dt_second &&
                                        dt.dt_nanosecond == want.dt_nanosecond;
                EXPECT_FALSE(sameFields);
            }
        }
    }
}

// The store's form of a client's date text, by its rules spelled out one character at a time.
std::string StoredDateForm(const std::string& b) {
    auto digits = [&](std::initializer_list<size_t> at) {
        for (size_t k : at)
            if (k >= b.size() || b[k] < '0' || b[k] > '9') return false;
        return true;
    };
    if (b.size() < 10 || b.size() > 29 || b[4] != '_' || b[7] != '_' || !digits({0, 1, 2, 3, 5, 6, 8, 9})) return b;
    if (b.size() != 10 &&
        (b.size() < 19 || b[10] != ' ' || b[13] != ':' || b[16] != ':' || !digits({11, 12, 14, 15, 17, 18})))
        return b;
    std::string out = b.substr(0, 4) + "-" + b.substr(5, 2) + "-" + b.substr(8, b.size() == 10 ? 2 : 11);
    if (b.size() <= 19) return out;
    if (b[19] != '.' || b.size() == 20) return b;
    std::string fraction = b.substr(20);
    for (char c : fraction)
        if (c < '0' || c > '9') return b;
    fraction.resize(9, '0');
    if (fraction == "000000000") return out;
    return out + "." + (fraction.substr(6) == "000" ? fraction.substr(0, 6) : fraction);
}

// Every length of the driver's form, every character of it replaced by one beside the digits'
// range or a separator, and fractions of every length with zeros where they decide the digits
// kept: mended as the rules say, and said to be a date exactly when the text changed.
TEST(Convert, ClientDatesTakeTheStoresFormByItsRules) {
    std::vector<std::string> inputs;
    const std::string full = "2024_02_29 13:45:10.123456789";
    for (size_t n = 0; n <= full.size(); ++n) inputs.push_back(full.substr(0, n));
    inputs.push_back(full + "1");
    inputs.push_back(full + "12");
    const char foreign[] = {'/', ':', '0', '9', '_', '-', ' ', '.', 'a', '\x80', '\xff', '\0', '\xb6'};
    for (size_t at = 0; at < full.size(); ++at)
        for (char c : foreign) {
            for (size_t n : {size_t(10), size_t(19), size_t(23), full.size()}) {
                if (at >= n) continue;
                std::string in = full.substr(0, n);
                in[at] = c;
                inputs.push_back(in);
            }
        }
    for (const char* fraction : {"0", "00", "000000", "000000000", "000000001", "100000000", "000001", "0000010",
                                 "000000100", "123456", "123456000", "12345600", "5", "999999999", "000000010"})
        inputs.push_back("1999_12_31 23:59:59." + std::string(fraction));
    inputs.push_back("0000_00_00");
    inputs.push_back("9999_99_99 99:99:99.999999999");
    for (const std::string& in : inputs) {
        SCOPED_TRACE(testing::Message() << '"' << in << "\" (" << in.size() << " bytes)");
        std::string mended = in;
        const bool date = iiapi::mendClientDate(mended);
        EXPECT_EQ(mended, StoredDateForm(in));
        EXPECT_EQ(date, mended != in);
    }
}

TEST(Convert, DayMonthOrderFollowsTheDateFormat) {
    auto asText = [](const char* in) {
        std::string s = in;
        Conv d = convert(desc(IIAPI_CHA_TYPE, uint16_t(s.size())), s, IIAPI_DATE_TYPE, 12);
        if (d.status != IIAPI_ST_SUCCESS) return std::string("(failed)");
        Conv t = convert(desc(IIAPI_DATE_TYPE, 12), d.bytes, IIAPI_VCH_TYPE, 66);
        return t.bytes.substr(2);
    };
    const char* old = std::getenv("II_DATE_FORMAT");
    std::string saved = old ? old : "";
    unsetenv("II_DATE_FORMAT");
    EXPECT_EQ(asText("01/02/2024"), "2024-01-02");
    setenv("II_DATE_FORMAT", "MULTINATIONAL4", 1);
    EXPECT_EQ(asText("01/02/2024"), "2024-02-01");
    EXPECT_EQ(asText("15/01/2024 10:20:30"), "2024-01-15 10:20:30");
    if (old)
        setenv("II_DATE_FORMAT", saved.c_str(), 1);
    else
        unsetenv("II_DATE_FORMAT");
}

TEST(Convert, MoneyToFloat) {
    Conv r = convert(desc(IIAPI_MNY_TYPE, 8), rawDouble(19.99), IIAPI_FLT_TYPE, 8);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    double v;
    std::memcpy(&v, r.bytes.data(), 8);
    EXPECT_DOUBLE_EQ(v, 19.99);
    Conv i = convert(desc(IIAPI_CHA_TYPE, 4), " 42 ", IIAPI_INT_TYPE, 4);
    ASSERT_EQ(i.status, IIAPI_ST_SUCCESS);
    int32_t x;
    std::memcpy(&x, i.bytes.data(), 4);
    EXPECT_EQ(x, 42);
    EXPECT_NE(convert(desc(IIAPI_CHA_TYPE, 5), "40000", IIAPI_INT_TYPE, 2).status, IIAPI_ST_SUCCESS);
}

TEST(Convert, NationalTextToAndFromChar) {
    std::u16string w = u"a\u00e9\u4e2d";
    std::string raw(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    Conv c = convert(desc(IIAPI_NCHA_TYPE, uint16_t(raw.size())), raw, IIAPI_CHA_TYPE, 8);
    ASSERT_EQ(c.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(c.bytes, "a\xc3\xa9\xe4\xb8\xad  ");
    // NVARCHAR to VARCHAR.
    std::string nv;
    uint16_t n = uint16_t(w.size());
    nv.append(reinterpret_cast<const char*>(&n), 2);
    nv += raw;
    Conv v = convert(desc(IIAPI_NVCH_TYPE, uint16_t(nv.size())), nv, IIAPI_VCH_TYPE, 20);
    ASSERT_EQ(v.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(v.bytes.substr(2), "a\xc3\xa9\xe4\xb8\xad");
    // VARCHAR to NVARCHAR.
    std::string vc;
    std::string u8 = "x\xc3\xa9";
    uint16_t m = uint16_t(u8.size());
    vc.append(reinterpret_cast<const char*>(&m), 2);
    vc += u8;
    Conv back = convert(desc(IIAPI_VCH_TYPE, uint16_t(vc.size())), vc, IIAPI_NVCH_TYPE, 22);
    ASSERT_EQ(back.status, IIAPI_ST_SUCCESS);
    uint16_t cnt;
    std::memcpy(&cnt, back.bytes.data(), 2);
    EXPECT_EQ(cnt, 2);
    EXPECT_EQ(back.bytes.substr(2), std::string("x\0\xe9\0", 4));
}

TEST(Convert, Utf8IsNeverCutInsideACharacter) {
    std::u16string w = u"\u00e9\u00e9\u00e9";  // 6 bytes in UTF-8
    std::string raw(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    Conv c = convert(desc(IIAPI_NCHA_TYPE, uint16_t(raw.size())), raw, IIAPI_VCH_TYPE, 7);  // room for 5 bytes
    ASSERT_EQ(c.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(c.bytes.substr(2), "\xc3\xa9\xc3\xa9");
    Conv f = convert(desc(IIAPI_NCHA_TYPE, uint16_t(raw.size())), raw, IIAPI_CHA_TYPE, 5);
    ASSERT_EQ(f.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(f.bytes, "\xc3\xa9\xc3\xa9 ");
}

// Text is valid UTF-8 or refused wherever in it the first byte past ASCII stands: at every
// place of a text longer than the words ASCII is scanned in, and across their edges.
TEST(Convert, Utf8ValidityWhereverTheFirstOtherByteStands) {
    const struct {
        const char* piece;
        bool valid;
    } pieces[] = {{"\xc3\xa9", true},      {"\xe4\xb8\xad", true}, {"\xf0\x9f\x98\x80", true},
                  {"\xff", false},         {"\xc3", false},        {"\xc3(", false},
                  {"\xed\xa0\x80", false}, {"\x80", false},        {"\xe4\xb8", false}};
    for (size_t len = 0; len <= 20; ++len) {
        const std::string ascii(len, 'a');
        EXPECT_TRUE(iiapi::utf8Valid(ascii)) << len;
        for (const auto& p : pieces)
            for (size_t at = 0; at <= len; ++at) {
                std::string s = ascii;
                s.insert(at, p.piece);
                EXPECT_EQ(iiapi::utf8Valid(s), p.valid) << len << " " << at << " " << p.piece;
            }
    }
}

TEST(Convert, NullAndBadArguments) {
    environment();
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc = desc(IIAPI_INT_TYPE, 4);
    cv.cv_srcValue.dv_null = II_TRUE;
    cv.cv_dstDesc = desc(IIAPI_CHA_TYPE, 10);
    char buf[10];
    cv.cv_dstValue.dv_value = buf;
    IIapi_convertData(&cv);
    EXPECT_EQ(cv.cv_status, IIAPI_ST_SUCCESS);
    EXPECT_TRUE(cv.cv_dstValue.dv_null);
    IIAPI_CONVERTPARM nobuf{};
    int32_t x = 5;
    nobuf.cv_srcDesc = desc(IIAPI_INT_TYPE, 4);
    nobuf.cv_srcValue.dv_length = 4;
    nobuf.cv_srcValue.dv_value = &x;
    nobuf.cv_dstDesc = desc(IIAPI_CHA_TYPE, 10);
    IIapi_convertData(&nobuf);
    EXPECT_EQ(nobuf.cv_status, IIAPI_ST_FAILURE);
    // An integer of an impossible length.
    Conv odd = convert(desc(IIAPI_INT_TYPE, 3), std::string(3, '\0'), IIAPI_CHA_TYPE, 10);
    EXPECT_EQ(odd.status, IIAPI_ST_FAILURE);
}

}  // namespace
