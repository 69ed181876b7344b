// Text conversion between UTF-16 and UTF-8 (validity, bounded conversions, character boundaries)
// and the Unicode case mapping tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/utf.h"

namespace {

using WStr = std::basic_string<SQLWCHAR>;

WStr W(std::u16string_view s) { return WStr(s.begin(), s.end()); }
std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s.push_back(static_cast<char>(c));
    return s;
}
std::string Hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

// ---- encoding and decoding single texts ----

struct Pair {
    std::u16string wide;
    std::string utf8;
};

const Pair kPairs[] = {
    {u"", ""},
    {u"A", "A"},
    {u"\u00E9", "\xC3\xA9"},
    {u"\u20AC", "\xE2\x82\xAC"},
    {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
    {u"\U0001F600", "\xF0\x9F\x98\x80"},  // a pair is one 4-byte character
    {u"a\U00010400b\U0010FFFF",
     "a\xF0\x90\x90\x80"
     "b\xF4\x8F\xBF\xBF"},
    {u"\uFFFF", "\xEF\xBF\xBF"},
};

TEST(Utf, RoundTripsIncludingNonBmp) {
    for (const Pair& p : kPairs) {
        WStr w = W(p.wide);
        EXPECT_EQ(WideUtf8Length(w.c_str(), TV_NTS), p.utf8.size()) << Hex(p.utf8);
        char* u = WideToUtf8DupNts(w.c_str());
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(std::string(u), p.utf8);
        free(u);
        EXPECT_EQ(Utf8CharCount(p.utf8.c_str(), TV_NTS), w.size()) << Hex(p.utf8);
        SQLWCHAR* back = Utf8ToWideDupNts(p.utf8.c_str());
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(WStr(back), w) << Hex(p.utf8);
        free(back);
    }
}

// A lone surrogate is no text: encoded on its own it is a 3-byte sequence that no decoder reads back
// as a character, and both checks refuse it.
TEST(Utf, LoneSurrogatesAreNoTextEitherWay) {
    WStr lone = W(u"x") + SQLWCHAR(0xD83D) + W(u"y") + SQLWCHAR(0xDE00);
    char* u = WideToUtf8DupNts(lone.c_str());
    EXPECT_EQ(std::string(u), "x\xED\xA0\xBDy\xED\xB8\x80");
    SQLWCHAR* back = Utf8ToWideDupNts(u);
    EXPECT_EQ(WStr(back), W(u"x"));  // decoding stops at the surrogate's sequence
    EXPECT_FALSE(WideTextValid(lone.c_str(), TV_NTS));
    EXPECT_FALSE(Utf8TextValid(u, TV_NTS));
    free(u);
    free(back);
}

// What is text and what is not, both ways: shortest sequences of values up to U+10FFFF that are no
// surrogates, and UTF-16 whose surrogates come in pairs.
TEST(Utf, TextValidity) {
    const struct {
        std::string utf8;
        bool valid;
    } narrow[] = {
        {"", true},
        {"plain 'ascii'", true},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true},
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
        {"\xEF\xBF\xBD", true},      // U+FFFD itself
        {"\xC0\xA7", false},         // an overlong quote
        {"\xC1\xBF", false},
        {"\xE0\x80\xA7", false},
        {"\xF0\x80\x80\xA7", false},
        {"\xE0\x9F\xBF", false},      // U+07FF in three bytes
        {"\xF0\x8F\xBF\xBF", false},  // U+FFFF in four bytes
        {"\xED\xA0\x80", false},      // U+D800
        {"\xED\xBF\xBF", false},      // U+DFFF
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"a\x80", false},
        {"a\xC3", false},
        {"\xFF", false},
    };
    for (const auto& c : narrow) EXPECT_EQ(Utf8TextValid(c.utf8.c_str(), TV_NTS), c.valid) << Hex(c.utf8);
    // The overlong quote decodes to nothing, never to "'".
    SQLWCHAR out[4] = {0x7777, 0x7777, 0x7777, 0x7777};
    EXPECT_EQ(Utf8ToWide("\xC0\xA7", out, 4), 0u);
    // Explicit lengths: a NUL unit is text, a pair cut by the length is not.
    const WStr pair = W(u"a\U0001F600");
    EXPECT_TRUE(WideTextValid(pair.data(), long(pair.size())));
    EXPECT_FALSE(WideTextValid(pair.data(), long(pair.size()) - 1));
    const WStr withNul = W(u"a") + SQLWCHAR(0) + W(u"b");
    EXPECT_TRUE(WideTextValid(withNul.data(), 3));
    const WStr lowFirst = WStr{SQLWCHAR(0xDC00), SQLWCHAR(0xD800)};
    EXPECT_FALSE(WideTextValid(lowFirst.data(), 2));
    EXPECT_TRUE(Utf8TextValid("a\0\xC3", 2));  // the length ends before the cut sequence
    EXPECT_TRUE(WideTextValid(nullptr, TV_NTS));
    EXPECT_TRUE(Utf8TextValid(nullptr, TV_NTS));
}

struct DecodeCase {
    std::string in;
    std::u16string expect;
};

TEST(Utf, DecodingStopsAtFirstInvalidByte) {
    const DecodeCase cases[] = {
        {"\x41\x80\x42", u"A"},                 // stray continuation byte
        {"ab\xF8xyz", u"ab"},                   // 0xF8 lead
        {"a\xC3", u"a"},                        // missing continuation at the end
        {"a\xE2\x82z", u"a"},                   // missing continuation in the middle
        {"\xF4\x90\x80\x80z", u""},             // above U+10FFFF
        {"\xF0\x9F\x98\x80!", u"\U0001F600!"},  // not U+F600
    };
    for (const DecodeCase& c : cases) {
        std::vector<SQLWCHAR> out(16, 0x7777);
        size_t n = Utf8ToWide(c.in.c_str(), out.data(), out.size());
        EXPECT_EQ(WStr(out.data(), n), W(c.expect)) << Hex(c.in);
        EXPECT_EQ(out[n], 0x7777) << "no terminator is written";
    }
}

TEST(Utf, ExplicitLengthsCountNulUnits) {
    WStr w = W(u"a") + SQLWCHAR(0) + W(u"\u00E9");
    EXPECT_EQ(WideUtf8Length(w.data(), 3), 4u);
    char* u = WideToUtf8Dup(w.data(), 3);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(std::string(u, 4), Bytes({'a', 0, 0xC3, 0xA9}));
    EXPECT_EQ(u[4], '\0');
    free(u);
    EXPECT_EQ(WideToUtf8Dup(nullptr, 3), nullptr);
    EXPECT_EQ(WideToUtf8Dup(w.data(), -7), nullptr);
    EXPECT_EQ(WideUtf8Length(w.data(), -7), 0u);
    // A pair cut by the explicit length stays a lone surrogate, never reads past the length.
    WStr pair = W(u"\U0001F600");
    char* half = WideToUtf8Dup(pair.data(), 1);
    EXPECT_EQ(std::string(half), "\xED\xA0\xBD");
    free(half);
}

TEST(Utf, NBoundedConversionsReportConsumption) {
    WStr w = W(u"ab\U0001F600c");
    char out[16];
    size_t used = 99;
    EXPECT_EQ(WideToUtf8N(w.data(), out, w.size(), 5, &used), 2u);  // the 4-byte character does not fit in 3
    EXPECT_EQ(used, 2u);
    EXPECT_EQ(WideToUtf8N(w.data(), out, w.size(), 6, &used), 6u);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(std::string(out, 6), "ab\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8N(w.data(), out, 2, 16, &used), 2u);
    EXPECT_EQ(used, 2u);

    std::string u = std::string("x\0\xC3\xA9\xF0\x9F\x98\x80", 8);
    SQLWCHAR wide[8];
    EXPECT_EQ(Utf8ToWideN(u.data(), wide, u.size(), 8, &used), 5u);  // NUL byte decoded too
    EXPECT_EQ(used, 8u);
    EXPECT_EQ(wide[1], 0);
    EXPECT_EQ(wide[3], 0xD83D);
    EXPECT_EQ(wide[4], 0xDE00);
    EXPECT_EQ(Utf8ToWideN(u.data(), wide, 7, 8, &used), 3u);  // the last sequence crosses the length
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(Utf8ToWideN(u.data(), wide, u.size(), 4, &used), 3u);  // a pair needs two units
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(Utf8ToWideN(nullptr, wide, 3, 3, &used), 0u);
    EXPECT_EQ(used, 0u);
}

TEST(Utf, WideToUtf8StopsBeforeCharacterThatDoesNotFit) {
    WStr w = W(u"a\u20ACb");
    char out[8] = {};
    EXPECT_EQ(WideToUtf8(w.c_str(), out, 3), 1u);
    EXPECT_EQ(WideToUtf8(w.c_str(), out, 4), 4u);
    EXPECT_EQ(WideToUtf8(w.c_str(), out, 8), 5u);
    EXPECT_EQ(std::string(out, 5),
              "a\xE2\x82\xAC"
              "b");
}

// ---- buffer converters: never split a character, report truncation ----

struct WideBufCase {
    std::u16string text;
    size_t size;
    int result;
    std::string written;
};

TEST(Utf, WideToUtf8BufTruncatesOnCharacterBoundaries) {
    const WideBufCase cases[] = {
        {u"a\u00E9", 3, -1, "a"},  // the 2-byte character does not fit in the one byte left
        {u"a\u00E9", 4, 0, "a\xC3\xA9"},
        {u"\U0001F600x", 4, -1, ""},
        {u"\U0001F600x", 5, -1, "\xF0\x9F\x98\x80"},
        {u"\U0001F600x", 6, 0, "\xF0\x9F\x98\x80x"},
        {u"", 1, 0, ""},
    };
    for (const WideBufCase& c : cases) {
        WStr w = W(c.text);
        std::vector<char> out(c.size + 4, '#');
        size_t written = 99;
        EXPECT_EQ(WideToUtf8Buf(w.c_str(), out.data(), c.size, &written), c.result) << c.size;
        EXPECT_EQ(std::string(out.data()), c.written);
        EXPECT_EQ(written, c.written.size());
        EXPECT_EQ(out[c.size], '#') << "wrote past the buffer";
    }
    char one[1];
    WStr w = W(u"a");
    EXPECT_EQ(WideToUtf8Buf(w.c_str(), one, 0, nullptr), -1);
    EXPECT_EQ(WideToUtf8Buf(nullptr, one, 1, nullptr), -1);
    EXPECT_EQ(WideToUtf8Buf(w.c_str(), nullptr, 1, nullptr), -1);
}

struct Utf8BufCase {
    std::string text;
    size_t size_units;
    int result;
    std::u16string written;
};

TEST(Utf, Utf8ToWideBufTruncatesOnCharacterBoundaries) {
    const Utf8BufCase cases[] = {
        {"abc", 4, 0, u"abc"},
        {"abc", 3, -1, u"ab"},
        {"a\xF0\x9F\x98\x80", 4, 0, u"a\U0001F600"},
        {"a\xF0\x9F\x98\x80", 3, -1, u"a"},  // the pair never half-written
        {"a\xF0\x9F\x98\x80", 2, -1, u"a"},
        {"", 1, 0, u""},
    };
    for (const Utf8BufCase& c : cases) {
        std::vector<SQLWCHAR> out(c.size_units + 2, 0x2323);
        size_t written = 99;
        EXPECT_EQ(Utf8ToWideBuf(c.text.c_str(), out.data(), c.size_units, &written), c.result) << Hex(c.text);
        EXPECT_EQ(WStr(out.data()), W(c.written)) << Hex(c.text);
        EXPECT_EQ(written, c.written.size());
        EXPECT_EQ(out[c.size_units], 0x2323);
    }
    SQLWCHAR one[1];
    EXPECT_EQ(Utf8ToWideBuf("a", one, 0, nullptr), -1);
    EXPECT_EQ(Utf8ToWideBuf(nullptr, one, 1, nullptr), -1);
}

TEST(Utf, Utf8ToWideBufBytesStoresFullLengthFirst) {
    size_t len = 0;
    SQLWCHAR out[8];
    EXPECT_EQ(Utf8ToWideBufBytes("h\xC3\xA9llo", nullptr, 0, &len), 0);
    EXPECT_EQ(len, 5u);
    len = 0;
    EXPECT_EQ(Utf8ToWideBufBytes("h\xC3\xA9llo", out, 1, &len), -1);
    EXPECT_EQ(len, 5u);
    EXPECT_EQ(Utf8ToWideBufBytes("h\xC3\xA9llo", out, 12, &len), 0);
    EXPECT_EQ(WStr(out), W(u"h\u00E9llo"));
    EXPECT_EQ(Utf8ToWideBufBytes("h\xC3\xA9llo", out, 7, &len), -1);  // 3 units: 2 characters and the NUL
    EXPECT_EQ(WStr(out), W(u"h\u00E9"));
    EXPECT_EQ(Utf8ToWideBufBytes("\xF0\x9F\x98\x80", out, 4, &len), -1);
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(WStr(out), WStr());  // 2 units hold one unit and the NUL: no room for the pair
    EXPECT_EQ(Utf8ToWideBufBytes("\xF0\x9F\x98\x80", out, 6, &len), 0);
    EXPECT_EQ(WStr(out), W(u"\U0001F600"));
    EXPECT_EQ(Utf8ToWideBufBytes(nullptr, out, 8, &len), -1);

    size_t bytes = 0;
    EXPECT_EQ(AnsiToWideBufBytes("h\xC3\xA9", nullptr, 0, &bytes), 0);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(AnsiToWideBufBytes("h\xC3\xA9", out, 6, &bytes), 0);
    EXPECT_EQ(WStr(out), W(u"h\u00E9"));
    EXPECT_EQ(AnsiToWideBufBytes("h\xC3\xA9", out, 4, &bytes), -1);
    EXPECT_EQ(WStr(out), W(u"h"));
}

TEST(Utf, CopiesIntoCallerBuffers) {
    SQLWCHAR out[8];
    std::fill(std::begin(out), std::end(out), SQLWCHAR(0x2323));
    Utf8ToWideCopy(out, "abc", 3);  // cut to size - 1, terminated
    EXPECT_EQ(WStr(out), W(u"ab"));
    Utf8ToWideCopy(out, "abc", 4);
    EXPECT_EQ(WStr(out), W(u"abc"));
    Utf8ToWideCopyNts(out, "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(WStr(out), W(u"\u00E9\U0001F600"));

    std::fill(std::begin(out), std::end(out), SQLWCHAR(0x2323));
    AnsiToWideCopy(out, "abc", 2);  // does not fit: the maximum, no terminator
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[1], 'b');
    EXPECT_EQ(out[2], 0x2323);
    AnsiToWideCopy(out, "abc", 4);
    EXPECT_EQ(WStr(out), W(u"abc"));
    AnsiToWideCopyNts(out, "\xE2\x82\xAC");
    EXPECT_EQ(WStr(out), W(u"\u20AC"));

    char narrow[8];
    memset(narrow, '#', sizeof narrow);
    WStr w = W(u"x\u20AC");
    WideToAnsiCopy(narrow, w.c_str(), 3);  // the euro sign does not fit in 2 bytes
    EXPECT_EQ(narrow[0], 'x');
    EXPECT_EQ(narrow[1], '#');
    WideToAnsiCopy(narrow, w.c_str(), 5);
    EXPECT_STREQ(narrow, "x\xE2\x82\xAC");

    memset(narrow, '#', sizeof narrow);
    AnsiToUtf8Buf(narrow, "ab\xE2\x82\xAC", 5);
    EXPECT_STREQ(narrow, "ab");
    AnsiToUtf8Buf(narrow, "ab\xE2\x82\xAC", 6);
    EXPECT_STREQ(narrow, "ab\xE2\x82\xAC");
    narrow[0] = '#';
    AnsiToUtf8Buf(narrow, "ab", 0);
    EXPECT_EQ(narrow[0], '#');
    EXPECT_EQ(AnsiToUtf8Buf(nullptr, "x", 4), nullptr);
}

TEST(Utf, AnsiDupsAreUtf8) {
    WStr w = W(u"Gr\u00FC\u00DFe \U0001F600");
    char* a = WideToAnsiDupNts(w.c_str());
    EXPECT_STREQ(a,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e \xF0\x9F\x98\x80");
    SQLWCHAR* back = AnsiToWideDup(a, TV_NTS);
    EXPECT_EQ(WStr(back), w);
    free(back);
    back = AnsiToWideDup(a, 4);  // "Gr" and the 2-byte u-umlaut
    EXPECT_EQ(WStr(back), W(u"Gr\u00FC"));
    free(back);
    char* part = WideToAnsiDup(w.c_str(), 3);
    EXPECT_STREQ(part, "Gr\xC3\xBC");
    free(part);
    free(a);
    EXPECT_EQ(AnsiToWideDup(nullptr, 3), nullptr);
    EXPECT_EQ(Utf8ToWideDup("abc", -9), nullptr);
}

struct CopyOutCase {
    std::u16string text;
    uint16_t size;
    int result;
    std::u16string written;
    uint16_t length;
};

TEST(Utf, WideCopyOutKeepsPairsWhole) {
    const CopyOutCase cases[] = {
        {u"abc", 4, 0, u"abc", 3},
        {u"abc", 3, -1, u"ab", 2},
        {u"a\U0001F600", 3, -1, u"a", 1},  // the pair would be split
        {u"a\U0001F600", 4, 0, u"a\U0001F600", 3},
        {u"", 1, 0, u"", 0},
    };
    for (const CopyOutCase& c : cases) {
        WStr w = W(c.text);
        std::vector<SQLWCHAR> out(c.size + 1, 0x2323);
        uint16_t len = 999;
        EXPECT_EQ(WideCopyOut(w.c_str(), out.data(), c.size, &len), c.result);
        EXPECT_EQ(WStr(out.data()), W(c.written));
        EXPECT_EQ(len, c.length);
        EXPECT_EQ(out[c.size], 0x2323);
        len = 999;
        EXPECT_EQ(WideCopyOutLen(w.c_str(), out.data(), c.size, &len), c.result);
        EXPECT_EQ(len, w.size()) << "full length";
    }
    SQLWCHAR buf[2];
    uint16_t len = 0;
    WStr w = W(u"xyz");
    EXPECT_EQ(WideCopyOut(w.c_str(), buf, 0, &len), -1);
    EXPECT_EQ(WideCopyOut(nullptr, buf, 2, &len), -1);
    EXPECT_EQ(WideCopyOutLen(w.c_str(), nullptr, 0, &len), 0);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(WideCopyOutLen(w.c_str(), buf, 0, &len), -1);
    EXPECT_EQ(WideCopyOutLen(nullptr, buf, 2, &len), -1);
    EXPECT_EQ(WideLen(w.c_str()), 3u);
    EXPECT_EQ(WideLen(nullptr), 0u);
}

TEST(Utf, CodePointToUtf8WritesOneSequence) {
    const struct {
        uint32_t cp;
        std::string utf8;
    } cases[] = {
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xD800, "\xED\xA0\x80"},  // a lone surrogate keeps a sequence of its own
        {0xFFFD, "\xEF\xBF\xBD"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        char buf[5] = {'x', 'x', 'x', 'x', 'x'};
        const size_t n = CodePointToUtf8(c.cp, buf);
        EXPECT_EQ(std::string(buf, n), c.utf8) << std::hex << c.cp;
        EXPECT_EQ(buf[4], 'x') << "writes at most 4 bytes";
    }
}

TEST(Utf, CutLengthEndsOnACharacterBoundary) {
    const std::string s =
        "ab\xE2\x82\xAC"
        "c\xF0\x9F\x98\x80";
    const struct {
        size_t max;
        size_t expected;
    } cases[] = {{100, 10}, {10, 10}, {9, 6}, {7, 6}, {6, 6}, {5, 5}, {4, 2}, {3, 2}, {2, 2}, {1, 1}, {0, 0}};
    for (const auto& c : cases) EXPECT_EQ(Utf8CutLength(s.data(), s.size(), c.max), c.expected) << c.max;
    EXPECT_EQ(Utf8CutLength("\x80\x80\x80", 3, 2), 0u) << "no lead byte to stop at";
}

TEST(Utf, CharCountSizesBuffersForPairs) {
    EXPECT_EQ(Utf8CharCount("", TV_NTS), 0u);
    EXPECT_EQ(Utf8CharCount(nullptr, TV_NTS), 0u);
    EXPECT_EQ(Utf8CharCount("\xF0\x9F\x98\x80\xF0\x9F\x98\x80", TV_NTS), 4u);
    EXPECT_EQ(Utf8CharCount("ab\xC3\xA9zz", 4), 3u);
    EXPECT_EQ(Utf8CharCount(std::string("\0ab", 3).data(), 3), 0u);
    // Every unit count bounds what decoding writes, whatever the input.
    const std::string inputs[] = {"\xF0\x9F\x98",      "\x80\x80\x80", "\xF0\x8F\xBF\xBF",
                                  "a\xF4\x8F\xBF\xBF", "\xE0\xA0",     "\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC"};
    for (const std::string& s : inputs) {
        SQLWCHAR* d = Utf8ToWideDupNts(s.c_str());
        ASSERT_NE(d, nullptr);
        EXPECT_LE(WideLen(d), Utf8CharCount(s.c_str(), TV_NTS)) << Hex(s);
        free(d);
    }
}

// ---- case mapping ----

struct CaseCase {
    uint32_t code, upper, lower;
};

TEST(Case, SimpleMappingsFromTheTables) {
    const CaseCase cases[] = {
        {'a', 'A', 'a'},
        {'A', 'A', 'a'},
        {'1', '1', '1'},
        {0x00E9, 0x00C9, 0x00E9},
        {0x00DF, 0x00DF, 0x00DF},  // sharp s: no simple upper mapping
        {0x1F80, 0x1F88, 0x1F80},
        {0x212A, 0x212A, 0x006B},  // Kelvin sign lowers to k
        {0x0130, 0x0130, 0x0069},
        {0x01C5, 0x01C4, 0x01C6},
        {0x10400, 0x10400, 0x10428},
        {0x10428, 0x10400, 0x10428},  // Deseret, outside the BMP
        {0xAB70, 0x13A0, 0xAB70},
        {0x03A3, 0x03A3, 0x03C3},
    };
    for (const CaseCase& c : cases) {
        EXPECT_EQ(CodePointToUpper(c.code), c.upper) << std::hex << c.code;
        EXPECT_EQ(CodePointToLower(c.code), c.lower) << std::hex << c.code;
        if (c.code < 0x10000) {
            EXPECT_EQ(WideCharToUpper(static_cast<SQLWCHAR>(c.code)), c.upper);
            EXPECT_EQ(WideCharToLower(static_cast<SQLWCHAR>(c.code)), c.lower);
        }
    }
    EXPECT_EQ(WideCharToUpper(0xD801), 0xD801);
    EXPECT_EQ(CaseTableLookup(kUpperCaseTable, kUpperCaseTableCount, 'a'), -32);
    EXPECT_EQ(CaseTableLookup(kLowerCaseTable, kLowerCaseTableCount, 'A'), 32);
    EXPECT_EQ(CaseTableLookup(kUpperCaseTable, kUpperCaseTableCount, '!'), 0);
    EXPECT_EQ(CaseTableLookup(nullptr, 5, 'a'), 0);
}

TEST(Case, TablesAreSortedAndNeverMapToSelf) {
    using Table = std::pair<const CaseEntry*, size_t>;
    for (auto [table, count] :
         {Table{kUpperCaseTable, kUpperCaseTableCount}, Table{kLowerCaseTable, kLowerCaseTableCount}}) {
        ASSERT_GT(count, 700u);
        for (size_t i = 0; i < count; ++i) {
            EXPECT_NE(table[i].delta, 0);
            if (i) {
                EXPECT_LT(table[i - 1].code, table[i].code);
            }
        }
    }
}

struct Utf8CaseCase {
    std::string in;
    size_t size;
    std::string upper, lower;
};

TEST(Case, Utf8InPlaceWithinBufferSize) {
    const Utf8CaseCase cases[] = {
        {"Hello W\xC3\xB6rld", 32, "HELLO W\xC3\x96RLD", "hello w\xC3\xB6rld"},
        {"\xF0\x90\x90\xA8x", 32, "\xF0\x90\x90\x80X", "\xF0\x90\x90\xA8x"},  // Deseret pair
        {"stra\xC3\x9F"
         "e",
         32,
         "STRA\xC3\x9F"
         "E",
         "stra\xC3\x9F"
         "e"},
        {"abc", 4, "ABC", "abc"},
        // U+0250 (2 bytes) upper-cases to U+2C6F (3 bytes): the grown character must not be split.
        {"a\xC9\x90", 4, "A", "a\xC9\x90"},
        {"a\xC9\x90", 5, "A\xE2\xB1\xAF", "a\xC9\x90"},
    };
    for (const Utf8CaseCase& c : cases) {
        ASSERT_LE(c.in.size() + 1, c.size);
        std::vector<char> buf(c.size + 1, '#');
        memcpy(buf.data(), c.in.c_str(), c.in.size() + 1);
        EXPECT_EQ(Utf8ToUpperDup(buf.data(), c.size), buf.data());
        EXPECT_EQ(std::string(buf.data()), c.upper) << Hex(c.in);
        EXPECT_EQ(buf[c.size], '#');
        memcpy(buf.data(), c.in.c_str(), c.in.size() + 1);
        Utf8ToLowerDup(buf.data(), c.size);
        EXPECT_EQ(std::string(buf.data()), c.lower) << Hex(c.in);
    }
    EXPECT_EQ(Utf8ToUpperDup(nullptr, 4), nullptr);
    char keep[] = "abc";
    Utf8ToUpperDup(keep, 0);
    EXPECT_STREQ(keep, "abc");
}

}  // namespace
