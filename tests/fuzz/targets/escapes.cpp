// The ODBC-to-Ingres translation over any text: escape clauses, separators, markers, the
// OR-chain rewrite, and SQLNativeSql's copy into buffers of every size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-sql.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    // First byte: the output buffer size for SQLNativeSql's path; the rest is the statement.
    uint16_t outSize = size > 0 ? data[0] : 0;
    std::string text(reinterpret_cast<const char*>(data) + (size > 0), size > 0 ? size - 1 : 0);
    const char* sql = text.c_str();

    IngSqlText block{};
    IngTranslateSql(&block, sql);
    // A second text into the same block frees the first.
    std::string translated = block.ingres ? block.ingres : "";
    IngTranslateSql(&block, translated.c_str());
    IngSqlTextFree(&block);

    std::vector<char> out(outSize + 1u, '\x7f');
    uint16_t length = 0xFFFF;
    int rc = IngNativeSqlText(sql, outSize ? out.data() : nullptr, outSize, &length);
    if (rc != 0 && rc != 19) std::abort();
    if (outSize > 0) {
        if (std::memchr(out.data(), 0, outSize) == nullptr) std::abort();  // always terminated
        if (out[outSize] != '\x7f') std::abort();                          // never past the buffer
    }
    (void)IngNativeSqlText(sql, nullptr, 0, nullptr);

    if (char* u = SqlOrChainToUnion(sql)) std::free(u);
    (void)SqlFindTopLevel(sql, ',');
    (void)SqlScalarFunctionForm(sql, unsigned(std::strlen(sql)));
    (void)SqlConvertTypeForm(sql, unsigned(std::strlen(sql)));
    return 0;
}
