// MD5 message digest (RFC 1321), used to fingerprint rows.
#pragma once

#include <cstdint>

struct MD5Context {
    uint32_t state[4];
    uint32_t count[2];  // bits, low word first
    uint8_t buffer[64];
};

void MD5Init(MD5Context* ctx);
void MD5Update(MD5Context* ctx, const void* bytes, uint32_t length);
void MD5Final(uint8_t digest[16], MD5Context* ctx);
