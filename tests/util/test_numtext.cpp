// Plain integer texts: the reading of a cell's digits eight at a time against the one-pass reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "util/numtext.h"

namespace {

constexpr uint64_t kNegLimit = uint64_t(1) << 63;
constexpr uint64_t kPosLimit = uint64_t(INT64_MAX);

struct Read {
    int rc;
    bool negative;
    uint64_t magnitude;
    uint32_t err;
    bool operator==(const Read&) const = default;
};

// `text` at the start of a cell of `room` bytes whose bytes past the text are `fill`.
Read ReadIn(const std::string& text, size_t room, char fill) {
    std::vector<char> cell(room < text.size() ? text.size() : room, fill);
    if (!text.empty()) std::memcpy(cell.data(), text.data(), text.size());
    Read r{-9, false, 77, 99};
    r.rc =
        PlainIntegerIn(cell.data(), text.size(), cell.size(), kNegLimit, kPosLimit, &r.negative, &r.magnitude, &r.err);
    return r;
}

Read ReadPlain(const std::string& text) {
    Read r{-9, false, 77, 99};
    r.rc = PlainInteger(text.data(), text.size(), kNegLimit, kPosLimit, &r.negative, &r.magnitude, &r.err);
    return r;
}

// Every room and fill around each text: the same reading as the one-pass reader, which reads
// the text alone.
void ExpectSameReading(const std::string& text) {
    const Read want = ReadPlain(text);
    for (size_t room : {text.size(), text.size() + 1, size_t(8), size_t(9), size_t(16), size_t(17), size_t(20)})
        for (char fill : {'\0', '7', '-', ' ', '\xFF'}) {
            SCOPED_TRACE(testing::Message()
                         << "\"" << text << "\" in " << room << " bytes after which '" << fill << "'");
            EXPECT_EQ(ReadIn(text, room, fill), want);
        }
}

TEST(PlainIntegerText, DigitsReadEightAtATimeGiveWhatTheOnePassReaderGives) {
    struct Case {
        std::string text;
        Read want;
    };
    const Case cases[] = {
        {"0", {0, false, 0, kErrNone}},
        {"-0", {0, false, 0, kErrNone}},
        {"+7", {0, false, 7, kErrNone}},
        {"9", {0, false, 9, kErrNone}},
        {"10", {0, false, 10, kErrNone}},
        {"00000042", {0, false, 42, kErrNone}},
        {"12345678", {0, false, 12345678, kErrNone}},
        {"-99999999", {0, true, 99999999, kErrNone}},
        {"100000000", {0, false, 100000000, kErrNone}},
        {"1234567890123456", {0, false, 1234567890123456, kErrNone}},
        {"-9999999999999999", {0, true, 9999999999999999, kErrNone}},
        {"10000000000000000", {0, false, 10000000000000000, kErrNone}},
        {"9223372036854775807", {0, false, kPosLimit, kErrNone}},
        {"-9223372036854775808", {0, true, kNegLimit, kErrNone}},
        {"9223372036854775808", {-1, false, 77, kErrNumericRange}},
        {"9999999999999999999", {-1, false, 77, kErrNumericRange}},
        {"12345678901234567890", {2, false, 77, 99}},
        {"", {2, false, 77, 99}},
        {"-", {2, false, 77, 99}},
        {"+-1", {2, false, 77, 99}},
        {" 1", {2, false, 77, 99}},
        {"1 ", {2, false, 77, 99}},
        {"1.0", {2, false, 77, 99}},
        {"1e3", {2, false, 77, 99}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReadPlain(c.text), c.want);
        ExpectSameReading(c.text);
    }
}

// Each position of texts of every length holds in turn the characters next to the digits and
// others no digit is: the word's test must find every one of them.
TEST(PlainIntegerText, EveryNonDigitAtEveryPlaceIsFound) {
    const std::string digits = "9876543210987654321";
    for (size_t n = 1; n <= digits.size(); ++n)
        for (const char* sign : {"", "-"}) {
            const std::string text = sign + digits.substr(0, n);
            ExpectSameReading(text);
            for (size_t at = 0; at < text.size(); ++at)
                for (char bad : {'/', ':', '\0', ' ', '+', '\xB0', '\xFF', 'a'}) {
                    std::string t = text;
                    t[at] = bad;
                    ExpectSameReading(t);
                }
        }
}

}  // namespace
