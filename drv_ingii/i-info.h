// Properties, capabilities and options of the agent's server, connection and statement records.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"

struct SCS_Cursor;

// Property id parts.
constexpr uint32_t IngPropKind(uint32_t id) { return id >> 28; }
constexpr uint32_t IngPropValueKind(uint32_t id) { return (id >> 24) & 0xF; }
constexpr uint32_t IngPropClass(uint32_t id) { return (id >> 16) & 0xFF; }
constexpr uint32_t IngPropItem(uint32_t id) { return id & 0xFFFF; }

struct AgentOpRequest {
  uint16_t type;
  uint32_t count;
  const void* rows;
};

struct IngOperatorRow {
  int32_t sqlType;
  uint32_t value;
  uint32_t mask;
};

uint32_t IngGetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen);
uint32_t IngSetOption(uint32_t h, uint32_t id, void* value);
uint32_t IngGetOpTable(uint32_t conn, AgentOpRequest* request);

// Asks one ODBC information type through the link's slot 0.
uint32_t AgentInfoItem(const AgentLink* link, uint32_t conn, uint16_t infoType, void* buf, int16_t len,
                       uint16_t* outLen);

// Negotiates a cursor type (option 6) or concurrency (option 7) against what the server supports.
uint32_t IngNegotiateCursorOption(SCS_Cursor* c, uint32_t option, uint32_t* value);

uint32_t IngParseDynCursSens(const char* text);
const char* IngDynCursSensName(uint32_t value);
