// The connection code's text helpers: UTF-8 and UTF-16 round trips, malformed input as U+FFFD,
// the installer's wide results taken back to their bytes, and cuts on character boundaries.
#include "odbc/conntext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<SQLWCHAR> Units(std::initializer_list<unsigned> units) {
    std::vector<SQLWCHAR> v;
    for (unsigned u : units) v.push_back(static_cast<SQLWCHAR>(u));
    v.push_back(0);
    return v;
}

TEST(ConnText, Utf8AndUtf16RoundTrip) {
    const char* texts[] = {"", "plain", "J\xC3\xBCrgen\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    for (const char* t : texts) {
        auto w = conntext::Utf8ToUtf16(t);
        EXPECT_EQ(conntext::Utf16ToUtf8(w.data()), t);
        EXPECT_EQ(w.back(), 0);
    }
    // One character outside the BMP is a surrogate pair.
    auto smile = conntext::Utf8ToUtf16("\xF0\x9F\x98\x80");
    ASSERT_EQ(smile.size(), 3u);
    EXPECT_EQ(smile[0], 0xD83D);
    EXPECT_EQ(smile[1], 0xDE00);
}

TEST(ConnText, MalformedInputBecomesReplacementCharacters) {
    // A stray continuation byte and a cut sequence.
    auto w = conntext::Utf8ToUtf16(
        "a\x80"
        "b\xE2\x82");
    EXPECT_EQ(conntext::Utf16ToUtf8(w.data()),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    // A lone surrogate unit.
    auto lone = Units({'x', 0xD800, 'y'});
    EXPECT_EQ(conntext::Utf16ToUtf8(lone.data()), "x\xEF\xBF\xBDy");
    // Overlong encodings are not accepted as the character they spell.
    auto overlong = conntext::Utf8ToUtf16("\xC0\xAF");
    EXPECT_EQ(overlong[0], 0xFFFD);
}

TEST(ConnText, InstallerWideResultsAreTakenBackToTheirBytes) {
    // unixODBC widens each byte and sign-extends those above 0x7F.
    auto widened = Units({'J', 0xFFC3, 0xFFBC, 'r', 0xFFE2, 0xFF82, 0xFFAC});
    EXPECT_EQ(conntext::InstallerWideToUtf8(widened.data()), "J\xC3\xBCr\xE2\x82\xAC");
    auto unsignedBytes = Units({0xC3, 0xA4});
    EXPECT_EQ(conntext::InstallerWideToUtf8(unsignedBytes.data()), "\xC3\xA4");
    // Real UTF-16 stays UTF-16: a lone e-acute is no UTF-8 byte sequence, the euro sign is no byte.
    auto eacute = Units({'c', 'a', 'f', 0xE9});
    EXPECT_EQ(conntext::InstallerWideToUtf8(eacute.data()), "caf\xC3\xA9");
    auto euro = Units({0x20AC});
    EXPECT_EQ(conntext::InstallerWideToUtf8(euro.data()), "\xE2\x82\xAC");
    EXPECT_EQ(conntext::InstallerWideToUtf8(nullptr), "");
}

TEST(ConnText, CutsNeverSplitACharacter) {
    std::string s =
        "ab\xE2\x82\xAC"
        "c";
    struct {
        std::size_t max;
        const char* expected;
    } cases[] = {{10,
                  "ab\xE2\x82\xAC"
                  "c"},
                 {6,
                  "ab\xE2\x82\xAC"
                  "c"},
                 {5, "ab\xE2\x82\xAC"},
                 {4, "ab"},
                 {3, "ab"},
                 {2, "ab"},
                 {0, ""}};
    for (auto& c : cases) {
        std::string t = s;
        conntext::CutUtf8(t, c.max);
        EXPECT_EQ(t, c.expected) << c.max;
    }
}

TEST(ConnText, SmallHelpers) {
    EXPECT_TRUE(conntext::IsAscii("odbc.ini"));
    EXPECT_TRUE(conntext::IsAscii(nullptr));
    EXPECT_FALSE(conntext::IsAscii("J\xC3\xBC"));
    EXPECT_TRUE(conntext::EqualNoCase("uId", 3, "UID"));
    EXPECT_FALSE(conntext::EqualNoCase("UIDX", 4, "UID"));
    EXPECT_FALSE(conntext::EqualNoCase(" UID", 4, "UID"));
    EXPECT_EQ(conntext::WideLen(nullptr), 0u);
}

}  // namespace
