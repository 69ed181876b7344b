// A column description's type, size and length, taken from another description of the same
// column; its name and nullability stay.
#pragma once

#include "util/dataset.h"

inline void IngTakeColumnType(ColumnInfo& dst, const ColumnInfo& from) {
    dst.server_type = from.server_type;
    dst.sql_type = from.sql_type;
    dst.value_kind = from.value_kind;
    dst.column_size = from.column_size;
    dst.display_size = from.display_size;
    dst.length = from.length;
    dst.scale = from.scale;
}
