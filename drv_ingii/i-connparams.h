// What the agent's connect (DRV_Connect) is given: the connect parameters and the data source's
// settings they refer to.
#pragma once

#include <cstdint>

// Per-data-source settings of one connect, built by driver connect and handed to the agent's
// connect through IngConnectParams::settings; the agent's connect takes the two texts over.
struct IngDsnSettings {
    uint32_t dynCursSensitivity;  // 0 LOW, 1 HIGH, 2 DISABLED
    uint32_t jet;
    uint32_t noAutoCommit;
    int32_t maxRows;
    uint32_t noRowsetSizeLimit;
    char* initialSql;   // owned (heap) or null
    char* sqlDbmsName;  // owned (heap) or null
    uint32_t rtrimChar;
};

// Connect parameters built by the driver's connection open. The agent reads the marker,
// database, options, read-only flag, user and password.
struct IngConnectParams {
    const char* serverAddress;
    const char* marker;         // on a wide connection begins 'W', 0x7F, 0x01, 0x01
    const char* reservedText1;  // connect texts the agent does not read
    const char* reservedText2;
    const char* database;  // null: "default"
    const char* options;   // "-G group -R role -u user -P password -T"
    uint32_t readOnly;
    const char* user;
    const char* password;
    const char* extraText;
    uint16_t timeout;
    uint16_t flags;
    // The data source's settings for this session; the connect takes over (and clears) its two
    // texts, so a caller keeping the texts of another connection hands copies. Null: all zero.
    IngDsnSettings* settings;
};
