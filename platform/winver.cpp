#include "platform/winver.h"

#include <atomic>

namespace {
// An NT-family word: top bit clear, major 10.
constexpr uint32_t kLinuxVersionWord = 0x0000000Au;
std::atomic<uint32_t> g_forced{0};
}  // namespace

uint32_t SystemVersionWord() {
    uint32_t forced = g_forced.load();
    return forced ? forced : kLinuxVersionWord;
}

bool SystemVersionSupported(uint32_t w) { return (w & 0x80000000u) == 0 || (w & 0xFFu) >= 4; }

void SetSystemVersionWordForTest(uint32_t w) { g_forced.store(w); }
