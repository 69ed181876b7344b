#include "odbc/scramble.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc/conntext.h"

namespace {

constexpr std::uint32_t kSeed = 0x3C6E0B92u;
// A small linear congruential step; every constant below 2^18, the modulus the largest.
constexpr std::uint32_t kMultiplier = 106u;
constexpr std::uint32_t kIncrement = 1283u;
constexpr std::uint32_t kModulus = 6075u;

void ApplyKeystream(unsigned char* bytes, std::size_t n) {
    std::uint32_t state = kSeed;
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] ^= static_cast<unsigned char>(state & 0xFFu);
        state = (state * kMultiplier + kIncrement) % kModulus;  // wraps at 2^32 before the remainder
    }
}

std::string ScrambleUtf8(std::string bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    ApplyKeystream(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
    std::string out;
    out.reserve(1 + 2 * bytes.size());
    out += '1';
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

// The password's UTF-8 text, or false when the scrambled text is malformed.
bool UnscrambleUtf8(const char* text, std::size_t n, std::string& out) {
    if (n <= 1 || text[0] != '1') return false;
    std::size_t count = (n - 1) / 2;
    out.assign(count, '\0');
    PwdHexToBytes(text + 1, n - 1, reinterpret_cast<unsigned char*>(out.data()));
    ApplyKeystream(reinterpret_cast<unsigned char*>(out.data()), count);
    // The password ends at its first NUL, like the C text it came from.
    out.resize(std::strlen(out.c_str()));
    return true;
}

}  // namespace

int PwdHexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

std::size_t PwdHexToBytes(const char* hex, std::size_t n, unsigned char* out) {
    std::size_t count = n / 2;
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<unsigned char>(PwdHexDigit(hex[2 * i]) << 4 | PwdHexDigit(hex[2 * i + 1]));
    return count;
}

char* PwdScramble(const char* password) {
    if (!password) return nullptr;
    // The ANSI code page goes through UTF-16 on its way to UTF-8.
    std::vector<SQLWCHAR> wide = conntext::Utf8ToUtf16(password);
    return conntext::HeapCopy(ScrambleUtf8(conntext::Utf16ToUtf8(wide.data())));
}

SQLWCHAR* PwdScramble(const SQLWCHAR* password) {
    if (!password) return nullptr;
    std::string hex = ScrambleUtf8(conntext::Utf16ToUtf8(password));
    return conntext::HeapCopyW(conntext::Utf8ToUtf16(hex.c_str()));
}

char* PwdUnscramble(const char* scrambled) {
    if (!scrambled) return nullptr;
    std::string plain;
    if (!UnscrambleUtf8(scrambled, std::strlen(scrambled), plain)) return nullptr;
    std::vector<SQLWCHAR> wide = conntext::Utf8ToUtf16(plain.c_str());
    return conntext::HeapCopy(conntext::Utf16ToUtf8(wide.data()));
}

SQLWCHAR* PwdUnscrambleW(const SQLWCHAR* scrambled) {
    if (!scrambled) return nullptr;
    std::size_t n = conntext::WideLen(scrambled);
    if (n <= 1 || scrambled[0] != '1') return nullptr;
    std::string narrow = "1" + conntext::Utf16ToUtf8(scrambled + 1);
    std::string plain;
    if (!UnscrambleUtf8(narrow.c_str(), narrow.size(), plain)) return nullptr;
    return conntext::HeapCopyW(conntext::Utf8ToUtf16(plain.c_str()));
}
