// Character-at-a-time UTF-8 / UTF-16 steps for the bounded copies of the conversion family.
// They exist beside the foundation's whole-string conversions because a copy-out must stop on a
// character boundary within a byte budget and tell how many source units it consumed, and
// characters outside the BMP must survive a round trip (surrogate pairs <-> 4-byte UTF-8).
// Malformed input becomes U+FFFD, one source unit at a time, so that every step makes progress.
#pragma once

#include <sqltypes.h>

#include <cstdint>
#include <cstring>

namespace cvutf {

inline constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one character of UTF-8 at s (n > 0 bytes left); sets *used to the bytes it took.
inline uint32_t DecodeUtf8(const unsigned char* s, uint64_t n, unsigned* used) {
  const unsigned char b = s[0];
  if (b < 0x80) {
    *used = 1;
    return b;
  }
  unsigned len;
  uint32_t cp;
  uint32_t min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    *used = 1;
    return kReplacement;
  }
  if (n < len) {
    *used = 1;
    return kReplacement;
  }
  for (unsigned i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      *used = 1;
      return kReplacement;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *used = 1;
    return kReplacement;
  }
  *used = len;
  return cp;
}

inline unsigned Utf16Units(uint32_t cp) { return cp >= 0x10000 ? 2 : 1; }

inline unsigned Utf8Bytes(uint32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

inline SQLWCHAR LoadUnit(const void* base, uint64_t index) {
  SQLWCHAR u;
  std::memcpy(&u, static_cast<const unsigned char*>(base) + index * 2, 2);
  return u;
}

inline void StoreUnit(void* base, uint64_t index, SQLWCHAR u) {
  std::memcpy(static_cast<unsigned char*>(base) + index * 2, &u, 2);
}

// Decodes one character of UTF-16 (units may be unaligned); *used gets 1 or 2 units.
inline uint32_t DecodeUtf16(const void* s, uint64_t n, unsigned* used) {
  const SQLWCHAR u = LoadUnit(s, 0);
  *used = 1;
  if (u >= 0xD800 && u <= 0xDBFF) {
    if (n >= 2) {
      const SQLWCHAR l = LoadUnit(s, 1);
      if (l >= 0xDC00 && l <= 0xDFFF) {
        *used = 2;
        return 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (l - 0xDC00);
      }
    }
    return kReplacement;
  }
  if (u >= 0xDC00 && u <= 0xDFFF) return kReplacement;
  return u;
}

inline unsigned EncodeUtf8(uint32_t cp, unsigned char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<unsigned char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
  return 4;
}

// Writes cp as UTF-16 at unit index i of out; returns the units written.
inline unsigned EncodeUtf16(uint32_t cp, void* out, uint64_t i) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    StoreUnit(out, i, static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
    StoreUnit(out, i + 1, static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
    return 2;
  }
  StoreUnit(out, i, static_cast<SQLWCHAR>(cp));
  return 1;
}

// Number of UTF-16 units that n bytes of UTF-8 become.
inline uint64_t Utf8ToUtf16Count(const char* s, uint64_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  uint64_t units = 0;
  for (uint64_t i = 0; i < n;) {
    unsigned used;
    units += Utf16Units(DecodeUtf8(p + i, n - i, &used));
    i += used;
  }
  return units;
}

// Number of UTF-8 bytes that n units of UTF-16 become.
inline uint64_t Utf16ToUtf8Count(const void* s, uint64_t n) {
  uint64_t bytes = 0;
  for (uint64_t i = 0; i < n;) {
    unsigned used;
    bytes += Utf8Bytes(DecodeUtf16(static_cast<const unsigned char*>(s) + i * 2, n - i, &used));
    i += used;
  }
  return bytes;
}

}  // namespace cvutf
