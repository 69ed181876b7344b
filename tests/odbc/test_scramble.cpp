// Password scrambling: round trips narrow and wide, the scrambled form's shape, and malformed
// scrambled text.
#include "odbc/scramble.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "odbc/conntext.h"

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Text = std::unique_ptr<char, FreeDeleter>;
using WText = std::unique_ptr<SQLWCHAR, FreeDeleter>;

std::u16string U16(const SQLWCHAR* s) {
    std::u16string out;
    for (; s && *s; ++s) out += static_cast<char16_t>(*s);
    return out;
}
std::vector<SQLWCHAR> W(const char* utf8) { return conntext::Utf8ToUtf16(utf8); }

const char* const kPasswords[] = {
    "",
    "a",
    "secret",
    "pass word with blanks",
    "p\xC3\xA4ss\xE2\x82\xAC",  // ä and €
    "\xF0\x9F\x98\x80 smile",   // outside the BMP
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*()",
};

TEST(PasswordScramble, NarrowRoundTripsAndHasTheDocumentedShape) {
    for (const char* pwd : kPasswords) {
        SCOPED_TRACE(pwd);
        Text scrambled(PwdScramble(pwd));
        ASSERT_TRUE(scrambled);
        std::string s = scrambled.get();
        EXPECT_EQ(s.size(), 1 + 2 * std::strlen(pwd));
        EXPECT_EQ(s[0], '1');
        EXPECT_EQ(s.find_first_not_of("0123456789ABCDEF", 1), std::string::npos);
        if (!*pwd) continue;  // "1" carries no password and unscrambles to nothing (below)
        Text back(PwdUnscramble(scrambled.get()));
        ASSERT_TRUE(back);
        EXPECT_STREQ(back.get(), pwd);
    }
}

TEST(PasswordScramble, WideRoundTripsExactly) {
    for (const char* pwd : kPasswords) {
        SCOPED_TRACE(pwd);
        if (!*pwd) continue;
        auto wide = W(pwd);
        WText scrambled(PwdScramble(wide.data()));
        ASSERT_TRUE(scrambled);
        // The wide and narrow forms scramble to the same digits.
        Text narrow(PwdScramble(pwd));
        EXPECT_EQ(conntext::Utf16ToUtf8(scrambled.get()), narrow.get());
        WText back(PwdUnscrambleW(scrambled.get()));
        ASSERT_TRUE(back);
        EXPECT_EQ(U16(back.get()), U16(wide.data()));
        // Across forms: scrambled wide, unscrambled narrow.
        Text backNarrow(PwdUnscramble(narrow.get()));
        ASSERT_TRUE(backNarrow);
        EXPECT_STREQ(backNarrow.get(), pwd);
    }
}

TEST(PasswordScramble, ScrambledTextHidesThePassword) {
    // The first byte is XORed with the seed's low byte 0x92: 'A' (0x41) becomes 0xD3.
    Text a(PwdScramble("A"));
    ASSERT_TRUE(a);
    EXPECT_STREQ(a.get(), "1D3");
    // A keystream, not a single byte: repeated characters do not give repeated digit pairs.
    Text same(PwdScramble("aaaaaaaa"));
    ASSERT_TRUE(same);
    std::string s = same.get();
    bool varies = false;
    for (std::size_t i = 3; i + 1 < s.size(); i += 2) varies |= s.compare(i, 2, s, 1, 2) != 0;
    EXPECT_TRUE(varies) << s;
    // The keystream depends only on position: a longer password extends a shorter one's text.
    Text shorter(PwdScramble("abc")), longer(PwdScramble("abcdef"));
    EXPECT_EQ(std::string(longer.get()).rfind(shorter.get(), 0), 0u);
    // And the text is not the plain hex of the password.
    Text plain(PwdScramble("secret"));
    EXPECT_STRNE(plain.get(), "1736563726574");
}

TEST(PasswordScramble, EmptyPasswordGivesOne) {
    Text s(PwdScramble(""));
    ASSERT_TRUE(s);
    EXPECT_STREQ(s.get(), "1");
    auto empty = W("");
    WText w(PwdScramble(empty.data()));
    ASSERT_TRUE(w);
    EXPECT_EQ(U16(w.get()), u"1");
}

TEST(PasswordScramble, MalformedInputGivesNothing) {
    const char* bad[] = {"", "1", "0D3", "xD3", "D3"};
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(PwdUnscramble(text), nullptr);
        auto w = W(text);
        EXPECT_EQ(PwdUnscrambleW(w.data()), nullptr);
    }
    EXPECT_EQ(PwdUnscramble(nullptr), nullptr);
    EXPECT_EQ(PwdUnscrambleW(nullptr), nullptr);
    EXPECT_EQ(PwdScramble(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(PwdScramble(static_cast<const SQLWCHAR*>(nullptr)), nullptr);
}

TEST(PasswordScramble, LowerCaseDigitsAndOddLengthAreAccepted) {
    Text s(PwdScramble("Tiger"));
    ASSERT_TRUE(s);
    std::string lower = s.get();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Text back(PwdUnscramble(lower.c_str()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), "Tiger");
    // An odd last digit is ignored.
    std::string odd = std::string(s.get()) + "7";
    Text backOdd(PwdUnscramble(odd.c_str()));
    ASSERT_TRUE(backOdd);
    EXPECT_STREQ(backOdd.get(), "Tiger");
    auto wlower = W(lower.c_str());
    WText wback(PwdUnscrambleW(wlower.data()));
    ASSERT_TRUE(wback);
    EXPECT_EQ(U16(wback.get()), u"Tiger");
}

TEST(PasswordScramble, HexHelpers) {
    struct {
        char c;
        int v;
    } digits[] = {{'0', 0},  {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10},
                  {'F', 15}, {'g', 0}, {'G', 0},  {' ', 0},  {'\xC3', 0}};
    for (auto d : digits) EXPECT_EQ(PwdHexDigit(d.c), d.v) << d.c;
    unsigned char out[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(PwdHexToBytes("1aFfz", 5, out), 2u);
    EXPECT_EQ(out[0], 0x1A);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0xEE);  // the odd last character wrote nothing
    // A non-digit counts as 0 and still decodes without harm.
    EXPECT_EQ(PwdHexToBytes("zz", 2, out), 1u);
    EXPECT_EQ(out[0], 0x00);
}

}  // namespace
