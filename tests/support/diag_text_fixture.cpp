#include "tests/support/diag_text_fixture.h"

namespace tvtest {

std::string AllDiagText(SQLSMALLINT type, SQLHANDLE h) {
    std::string all;
    SQLCHAR state[6], text[512];
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    for (SQLSMALLINT i = 1; SQLGetDiagRec(type, h, i, state, &native, text, sizeof text, &len) == SQL_SUCCESS; ++i)
        all += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text) + "\n";
    return all;
}

std::string FirstDiagText(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {}, msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len))) return "(none)";
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(msg);
}

}  // namespace tvtest
