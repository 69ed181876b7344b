// The SQL analyser over any text: scanning, parsing, every analysis and clause edit the cursor
// layer makes, regeneration, and parameter description by parsing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/sc_parmdesc.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_node.h"
#include "scrs/scr_parse.h"
#include "util/scrarray.h"

namespace {

void Analyse(const std::string& sql, int qualifiers) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    if (SCR_AnalyseSQL(&a, sql.c_str(), 0, qualifiers) == 0) {
        (void)strlen(SCR_AnalysisText(&a));
        if (SCR_Array* t = SCR_ArrayCreate(sizeof(SCR_TableRef))) {
            SCR_TablesGet(&a, t, qualifiers);
            SCR_ArrayFree(&t, SCR_TableRefFree);
        }
        if (SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc))) {
            SCR_SelectListExpand(&a, cols);
            SCR_ArrayFree(&cols, nullptr);
        }
        if (SCR_Array* items = SCR_ArrayCreate(sizeof(OrderByItem))) {
            if (SCR_OrderByGet(&a, items) == 0) {
                // The cursor layer names each position's select item before resolving.
                for (uint32_t i = 0; i < items->count; ++i) {
                    auto* it = static_cast<OrderByItem*>(SCR_ArrayAt(items, i));
                    if (it->position != 0) std::strcpy(it->text, "c");
                }
                SCR_OrderByResolvePositions(&a, items);
            }
            SCR_ArrayFree(&items, nullptr);
        }
        SCR_SelectListMark(&a);
        (void)strlen(SCR_AnalysisText(&a));
        SCR_AddWhereCond(&a);
        SCR_OrderByMark(&a);
        SCR_OrderByReverse(&a);
        (void)strlen(SCR_AnalysisText(&a));
    }
    SCR_AnalysisFree(&a);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    // The first byte chooses qualifiers; the rest is the statement (NULs cut it, as at the API).
    int qualifiers = size > 0 ? data[0] & 1 : 0;
    std::string sql(reinterpret_cast<const char*>(data) + (size > 0), size > 0 ? size - 1 : 0);
    std::string text(sql.c_str());

    ScsqlTokens tokens;
    ScsqlScanAll(text.c_str(), &tokens);

    SCR_Node* root = nullptr;
    char* errText = nullptr;
    char* message = nullptr;
    // The raw parser takes counted text, NULs included.
    ScsqlParseText(sql.data(), sql.size(), &root, &errText, &message);
    std::free(errText);
    std::free(message);
    SCR_NodeFree(&root, nullptr);

    Analyse(text, qualifiers);

    SCS_ParmDesc pd;
    scs_ParmDescInit(&pd, "VARCHAR(254)");
    SCS_DescribeParams(&pd, text.c_str());
    scs_ParmDescFree(&pd);
    return 0;
}
