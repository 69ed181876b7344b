// Arbitrary input never breaks the scanner, the parser or the analysis built on them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "scrs/sc_parmdesc.h"
#include "scrs/scr_analyse.h"
#include "util/scrarray.h"

namespace {

const char* kPieces[] = {"select ",    "SELECT ",
                         "update ",    "delete ",
                         "insert ",    "into ",
                         "from ",      "where ",
                         "order by ",  "group by ",
                         "having ",    "union ",
                         "all ",       "values ",
                         "set ",       "a",
                         "t.b",        "o.t.c",
                         "?",          "'s'",
                         "'open",      "1",
                         "2.5",        "1e3",
                         "0x1f",       "(",
                         ")",          ",",
                         "*",          "=",
                         "<>",         "*=",
                         "||",         "+",
                         "-",          "/",
                         ":",          "@",
                         "{",          "}",
                         "{fn f(",     "{d '2020-01-01'}",
                         "{oj ",       "--(*vendor(Microsoft),product(ODBC)",
                         "*)--",       "left ",
                         "outer ",     "join ",
                         " on ",       " and ",
                         " or ",       " not ",
                         "between ",   "like ",
                         "escape 'x'", "in ",
                         "is ",        "null ",
                         "exists ",    "case ",
                         "when ",      "then ",
                         "else ",      "end ",
                         "top ",       "distinct ",
                         "count(*)",   "sum(",
                         "\n",         "\t",
                         "\"q\"",      "`b`",
                         "\x80\xff",   "!",
                         "#",          "%",
                         "x@12",       "@@v",
                         ";"};

TEST(Robust, RandomStatements) {
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    int parsed = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string sql = i % 2 ? "select " : "";
        int n = int(next() % 40);
        for (int k = 0; k < n; ++k) {
            if (next() % 10 == 0)
                sql += char(next() % 255 + 1);
            else
                sql += kPieces[next() % (sizeof kPieces / sizeof kPieces[0])];
        }
        SCR_Analysis a;
        SCR_AnalysisInit(&a);
        uint32_t rc = SCR_AnalyseSQL(&a, sql.c_str(), 0, 1);
        EXPECT_TRUE(rc == 0 || rc == 15 || rc == 68) << rc;
        if (rc == 0) {
            ++parsed;
            SCR_Array* arr = SCR_ArrayCreate(sizeof(OrderByItem));
            SCR_OrderByGet(&a, arr);
            SCR_OrderByResolvePositions(&a, arr);
            SCR_ArrayFree(&arr, nullptr);
            arr = SCR_ArrayCreate(sizeof(ColDesc));
            SCR_SelectListExpand(&a, arr);
            SCR_ArrayFree(&arr, nullptr);
            SCR_OrderByReverse(&a);
            SCR_AddWhereCond(&a);
            SCR_OrderByMark(&a);
            SCR_SelectListMark(&a);
        }
        SCR_AnalysisFree(&a);
        SCS_ParmDesc pd;
        scs_ParmDescInit(&pd, "varchar(NULL)");
        SCS_DescribeParams(&pd, sql.c_str());
        scs_ParmDescFree(&pd);
    }
    // Some of them are statements of the grammar.
    EXPECT_GT(parsed, 0);
}

}  // namespace
