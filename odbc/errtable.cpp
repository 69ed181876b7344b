#include "odbc/errtable.h"

#include <cstring>

// 22003 and 24000 keep their meaning in ODBC 3: their ODBC 3 counterparts (HY019 for pieces
// of SQLPutData, 07005 for describing a statement without a cursor) are raised as such where
// those functions fail.
void MapSqlStateToOdbc3(char* state) {
    static constexpr struct {
        const char* from;
        const char* to;
    } kExact[] = {{"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"}, {"01S04", "01001"},
                  {"22008", "22007"}, {"22005", "22018"}, {"37000", "42000"}, {"70100", "HY018"}};
    for (const auto& m : kExact) {
        if (strncmp(state, m.from, 5) == 0) {
            memcpy(state, m.to, 5);
            return;
        }
    }
    if (state[0] == 'S' && state[1] == '1') {
        state[0] = 'H';
        state[1] = 'Y';
    } else if (state[0] == 'S' && state[1] == '0' && state[2] == '0') {
        memcpy(state, "42S", 3);
    }
}
