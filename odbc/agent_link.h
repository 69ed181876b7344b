#pragma once
// The link through which the ODBC side reaches the agent's operation table.
#include <cstdint>

struct AgentFuncTable;

struct AgentLink {
    uint32_t word;                 // 2: the agent takes concurrent calls
    AgentFuncTable* table;
};

// Provided by the agent.
extern "C++" int IngInstallOpTable(AgentLink* link);
