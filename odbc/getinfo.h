#pragma once
// What SQLGetInfo answers for each information type.
#include <cstdint>

enum class InfoAnswerKind {
    Unknown,  // out of range (S1096)
    Driver,   // the driver answers in any connection state
    Int16,    // asked of the agent, 16-bit answer
    Int32,    // asked of the agent, 32-bit answer
    Text,     // asked of the agent, text answer
};

InfoAnswerKind InfoTypeKind(uint16_t type);
