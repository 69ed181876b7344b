// Passwords of a database's users are kept as salted hashes (PBKDF2 with HMAC-SHA-256): the
// database file never holds a password a reader could use elsewhere.
#include "iiapi/internal.h"

#include <sys/random.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace iiapi {

namespace {

constexpr const char* kScheme = "pbkdf2-sha256";
constexpr unsigned kIterations = 10000;
constexpr size_t kSaltBytes = 16;

struct Sha256 {
    uint32_t h[8];
    unsigned char block[64];
    size_t used = 0;
    uint64_t bits = 0;

    Sha256() {
        static const uint32_t init[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
        std::memcpy(h, init, sizeof h);
    }
    static uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
    void compress(const unsigned char* p) {
        static const uint32_t k[64] = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
            uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += hh;
    }
    void update(const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        bits += uint64_t(n) * 8;
        while (n > 0) {
            size_t take = std::min(n, sizeof block - used);
            std::memcpy(block + used, p, take);
            used += take;
            p += take;
            n -= take;
            if (used == sizeof block) {
                compress(block);
                used = 0;
            }
        }
    }
    void digest(unsigned char out[32]) const {
        for (int i = 0; i < 8; ++i) {
            out[4 * i] = static_cast<unsigned char>(h[i] >> 24);
            out[4 * i + 1] = static_cast<unsigned char>(h[i] >> 16);
            out[4 * i + 2] = static_cast<unsigned char>(h[i] >> 8);
            out[4 * i + 3] = static_cast<unsigned char>(h[i]);
        }
    }
    void finish(unsigned char out[32]) {
        const uint64_t total = bits;
        const unsigned char pad = 0x80;
        update(&pad, 1);
        const unsigned char zero = 0;
        while (used != 56) update(&zero, 1);
        unsigned char len[8];
        for (int i = 0; i < 8; ++i) len[i] = static_cast<unsigned char>(total >> (56 - 8 * i));
        update(len, 8);
        digest(out);
    }
};

// HMAC-SHA-256 with the key's inner and outer states computed once.
struct Hmac {
    Sha256 inner, outer;
    explicit Hmac(const std::string& key) {
        unsigned char k[64] = {};
        if (key.size() > 64) {
            Sha256 s;
            s.update(key.data(), key.size());
            s.finish(k);
        } else {
            std::memcpy(k, key.data(), key.size());
        }
        unsigned char ipad[64], opad[64];
        for (int i = 0; i < 64; ++i) {
            ipad[i] = k[i] ^ 0x36;
            opad[i] = k[i] ^ 0x5c;
        }
        inner.update(ipad, 64);
        outer.update(opad, 64);
    }
    void mac(const void* data, size_t n, unsigned char out[32]) const {
        Sha256 i = inner, o = outer;
        i.update(data, n);
        unsigned char mid[32];
        i.finish(mid);
        o.update(mid, 32);
        o.finish(out);
    }
    // The MAC of 32 bytes, the iterated step: one compression each side, the padding laid out
    // in place.
    void mac32(const unsigned char in[32], unsigned char out[32]) const {
        unsigned char block[64] = {};
        block[32] = 0x80;
        block[62] = 0x03;  // (64 + 32) * 8 bits
        std::memcpy(block, in, 32);
        Sha256 i = inner;
        i.compress(block);
        i.digest(block);
        Sha256 o = outer;
        o.compress(block);
        o.digest(out);
    }
};

void pbkdf2(const std::string& password, const std::string& salt, unsigned iterations, unsigned char out[32]) {
    Hmac hmac(password);
    std::string first = salt;
    first.append("\0\0\0\1", 4);  // block 1: 32 bytes are all that is kept
    unsigned char u[32];
    hmac.mac(first.data(), first.size(), u);
    std::memcpy(out, u, 32);
    for (unsigned n = 1; n < iterations; ++n) {
        hmac.mac32(u, u);
        for (int i = 0; i < 32; ++i) out[i] ^= u[i];
    }
}

std::string hex(const unsigned char* p, size_t n) { return hexBytes(p, n, false); }

bool unhex(const std::string& s, std::string& out) {
    if (s.size() % 2) return false;
    out.clear();
    for (size_t i = 0; i < s.size(); i += 2) {
        char* end = nullptr;
        std::string pair = s.substr(i, 2);
        long v = std::strtol(pair.c_str(), &end, 16);
        if (!end || *end) return false;
        out.push_back(char(v));
    }
    return true;
}

bool randomBytes(unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t r = getrandom(p, n, 0);
        if (r < 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

}  // namespace

std::string sha256Hex(const std::string& data) {
    Sha256 s;
    s.update(data.data(), data.size());
    unsigned char out[32];
    s.finish(out);
    return hex(out, sizeof out);
}

std::string pbkdf2Sha256Hex(const std::string& password, const std::string& salt, unsigned iterations) {
    unsigned char key[32];
    pbkdf2(password, salt, iterations, key);
    return hex(key, sizeof key);
}

std::string hashPassword(const std::string& password) {
    unsigned char salt[kSaltBytes];
    if (!randomBytes(salt, sizeof salt)) return std::string();
    unsigned char key[32];
    pbkdf2(password, std::string(reinterpret_cast<char*>(salt), sizeof salt), kIterations, key);
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" + hex(salt, sizeof salt) + "$" +
           hex(key, sizeof key);
}

bool passwordMatches(const std::string& stored, const char* given) {
    const std::string password = given ? given : "";
    const std::string prefix = std::string(kScheme) + "$";
    if (stored.compare(0, prefix.size(), prefix) != 0) {
        // A database made before passwords were hashed keeps its text as it was given.
        return given && stored == password;
    }
    size_t a = prefix.size();
    size_t b = stored.find('$', a);
    size_t c = b == std::string::npos ? b : stored.find('$', b + 1);
    if (c == std::string::npos) return false;
    char* end = nullptr;
    const std::string count = stored.substr(a, b - a);
    unsigned long iterations = std::strtoul(count.c_str(), &end, 10);
    std::string salt, want;
    if (!end || *end || iterations < 1 || iterations > 10000000 || !unhex(stored.substr(b + 1, c - b - 1), salt) ||
        !unhex(stored.substr(c + 1), want) || want.size() != 32)
        return false;
    unsigned char got[32];
    pbkdf2(password, salt, unsigned(iterations), got);
    unsigned char diff = 0;
    for (int i = 0; i < 32; ++i) diff |= static_cast<unsigned char>(got[i] ^ static_cast<unsigned char>(want[i]));
    return diff == 0;
}

}  // namespace iiapi
