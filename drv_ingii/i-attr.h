// What the agent's description slots hand over and take besides the column descriptions: the
// parameter binding summaries (DRV_SetParamDescs) and the attribute rows of DRV_DescribeColsEx.
#pragma once

#include <cstdint>

// One parameter's binding summary from the driver.
struct ParamDescEntry {
    int32_t sqlType;
    int32_t cType;
    uint32_t columnSize;
    uint16_t decimalDigits;
    uint16_t paramType;
};

// Attribute identifiers of the describe rows beyond the ODBC descriptor fields; answered by the
// cursor layer, left negated (not answered) by the agent.
enum IngColumnAttr {
    kColAttrKeyColumn = 1053,   // 1 for a key column of the row's table
    kColAttrExpression = 1055,  // 1 for a select item that is an expression, with no base column
};

// Attribute row of DRV_DescribeColsEx (24 bytes).
struct IngAttrRow {
    uint16_t column;
    int16_t attribute;
    uint32_t reserved1;
    uint32_t form;  // 1 integer, 0 text
    uint32_t reserved2;
    union {
        int64_t value;
        char* text;  // owned by the row
    };
};
static_assert(sizeof(IngAttrRow) == 24);

// The list DRV_DescribeColsEx hands out; the caller frees it with IngAttrListFree.
struct IngAttrList {
    uint32_t count;
    IngAttrRow* rows;
};
void IngAttrListFree(IngAttrList* list);
